// The visible rows of a client dataset: filter, index order, locate.
#include "ClientDataSetPrivate.h"

#include <vexa/Error.h>

#include <QScopedValueRollback>
#include <algorithm>
#include <string_view>

namespace vexa {

namespace {

// Sort key of one value of an index field: nulls first, then numbers or texts.
struct KeyCell
{
    enum Kind : quint8 { Null, Whole, Real, Text };
    Kind kind = Null;
    // A text is held by its characters, not by its QString: comparing then reads them
    // directly, one indirection less per comparison.
    union {
        qint64 whole = 0;
        double real;
        const char16_t *text;
    };
    qsizetype length = 0;
};

KeyCell keyOf(const QVariant &v)
{
    KeyCell c;
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        break;
    case QMetaType::QString:
        c.kind = KeyCell::Text;
        c.text = reinterpret_cast<const char16_t *>(
            static_cast<const QString *>(v.constData())->utf16());
        c.length = static_cast<const QString *>(v.constData())->size();
        break;
    case QMetaType::Int:
        c.kind = KeyCell::Whole;
        c.whole = *static_cast<const int *>(v.constData());
        break;
    case QMetaType::LongLong:
        c.kind = KeyCell::Whole;
        c.whole = *static_cast<const qlonglong *>(v.constData());
        break;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
        c.kind = KeyCell::Whole;
        c.whole = v.toLongLong();
        break;
    case QMetaType::Double:
        c.kind = KeyCell::Real;
        c.real = *static_cast<const double *>(v.constData());
        break;
    case QMetaType::QDate:
        c.kind = KeyCell::Whole;
        c.whole = v.toDate().toJulianDay();
        break;
    case QMetaType::QTime:
        c.kind = KeyCell::Whole;
        c.whole = v.toTime().msecsSinceStartOfDay();
        break;
    case QMetaType::QDateTime:
        c.kind = KeyCell::Whole;
        c.whole = v.toDateTime().toMSecsSinceEpoch();
        break;
    default:
        c.kind = KeyCell::Null; // blobs do not order
        break;
    }
    return c;
}

int compareCells(const KeyCell &a, const KeyCell &b)
{
    if (a.kind == KeyCell::Null || b.kind == KeyCell::Null)
        return int(a.kind != KeyCell::Null) - int(b.kind != KeyCell::Null);
    if (a.kind == KeyCell::Text && b.kind == KeyCell::Text) {
        // Code-unit order, as QString::compare with Qt::CaseSensitive.
        const int r = std::u16string_view(a.text, size_t(a.length))
                          .compare(std::u16string_view(b.text, size_t(b.length)));
        return (r > 0) - (r < 0);
    }
    if (a.kind == KeyCell::Whole && b.kind == KeyCell::Whole)
        return (a.whole > b.whole) - (a.whole < b.whole);
    const double x = a.kind == KeyCell::Real ? a.real : double(a.whole);
    const double y = b.kind == KeyCell::Real ? b.real : double(b.whole);
    return (x > y) - (x < y);
}

} // namespace

void ClientDataSet::bindFilter(const QList<FieldDef> &fields, const FieldNameIndex &names,
                               Filter &filter) const
{
    try {
        cond::bindColumns(*filter.condition.node,
                          [&names](const QString &name) { return names.indexOf(name); });
    } catch (const Error &e) {
        throw Error(QStringLiteral("筛选条件“%1”无效：%2").arg(m_filterText, e.message()));
    }
    hintFilter(fields, filter);
}

void ClientDataSet::hintFilter(const QList<FieldDef> &fields, Filter &filter)
{
    filter.hint = cond::equalityHint(*filter.condition.node);
    // The hash answers only what "=" would: exact texts of a text column.
    if (filter.hint && !isStringType(fields[filter.hint->index].type))
        filter.hint.reset();
}

// ---- view and cursor ---------------------------------------------------------------

bool ClientDataSet::rowVisible(const Row &row) const
{
    if (row.status == Row::Status::Deleted)
        return false;
    if (m_filtered && m_filter)
        return cond::matches(*m_filter->condition.node, row.values.constData());
    return true;
}

bool ClientDataSet::lessByIndex(const Row *a, const Row *b) const
{
    for (int f : m_indexFields) {
        const int c = compareCells(keyOf(a->values[f]), keyOf(b->values[f]));
        if (c)
            return c < 0;
    }
    return false;
}

void ClientDataSet::rebuildView(const Row *keep)
{
    m_view.clear();
    const bool filtering = m_filtered && m_filter;
    const std::vector<Row *> *candidates = filtering ? hashedCandidates() : nullptr;
    if (candidates) {
        for (Row *row : *candidates)
            if (rowVisible(*row))
                m_view.push_back(row);
    } else {
        m_view.reserve(m_rows.size());
        for (const auto &row : m_rows)
            if (rowVisible(*row))
                m_view.push_back(row.get());
    }

    if (!m_indexFields.empty() && m_view.size() > 1) {
        // Sort on extracted keys: one conversion per value, not one per comparison.
        switch (m_indexFields.size()) {
        case 1:
            sortView<1>();
            break;
        case 2:
            sortView<2>();
            break;
        case 3:
            sortView<3>();
            break;
        default:
            sortView<0>();
            break;
        }
    }

    int pos = m_view.empty() ? -1 : 0;
    if (keep) {
        auto it = std::find(m_view.begin(), m_view.end(), keep);
        if (it != m_view.end())
            pos = int(it - m_view.begin());
    }
    m_pos = pos;
    m_bof = true;
    m_eof = m_view.empty();
    if (keep && pos > 0)
        m_bof = false;
}

template <int K> void ClientDataSet::sortView()
{
    // K > 0: the keys travel with the row (fewer cache misses while merging);
    // K == 0: any number of keys, sorted through a permutation.
    const size_t n = m_view.size();
    if constexpr (K > 0) {
        struct Entry
        {
            KeyCell keys[K];
            Row *row;
        };
        std::vector<Entry> entries(n);
        for (size_t r = 0; r < n; ++r) {
            entries[r].row = m_view[r];
            for (int j = 0; j < K; ++j)
                entries[r].keys[j] = keyOf(m_view[r]->values[m_indexFields[j]]);
        }
        std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
            for (int j = 0; j < K; ++j) {
                const int c = compareCells(a.keys[j], b.keys[j]);
                if (c)
                    return c < 0;
            }
            return false;
        });
        for (size_t r = 0; r < n; ++r)
            m_view[r] = entries[r].row;
    } else {
        const size_t k = m_indexFields.size();
        std::vector<KeyCell> cells(n * k);
        for (size_t r = 0; r < n; ++r)
            for (size_t j = 0; j < k; ++j)
                cells[r * k + j] = keyOf(m_view[r]->values[m_indexFields[j]]);
        std::vector<quint32> perm(n);
        for (size_t r = 0; r < n; ++r)
            perm[r] = quint32(r);
        std::stable_sort(perm.begin(), perm.end(), [&](quint32 a, quint32 b) {
            for (size_t j = 0; j < k; ++j) {
                const int c = compareCells(cells[a * k + j], cells[b * k + j]);
                if (c)
                    return c < 0;
            }
            return false;
        });
        std::vector<Row *> sorted(n);
        for (size_t r = 0; r < n; ++r)
            sorted[r] = m_view[perm[r]];
        m_view.swap(sorted);
    }
}

int ClientDataSet::placeInView(Row *row, int hint)
{
    if (!rowVisible(*row))
        return -1;
    int pos;
    if (!m_indexFields.empty()) {
        auto it =
            std::upper_bound(m_view.begin(), m_view.end(), row,
                             [this](const Row *a, const Row *b) { return lessByIndex(a, b); });
        pos = int(it - m_view.begin());
    } else {
        pos = std::clamp(hint, 0, int(m_view.size()));
    }
    m_view.insert(m_view.begin() + pos, row);
    return pos;
}

void ClientDataSet::setCursor(int pos)
{
    if (m_view.empty()) {
        m_pos = -1;
        m_bof = m_eof = true;
    } else {
        m_pos = std::clamp(pos, 0, int(m_view.size()) - 1);
        m_bof = m_eof = false;
    }
    notifyCurrent();
}

ClientDataSet::Row *ClientDataSet::currentRow() const
{
    if (m_pos < 0 || m_pos >= int(m_view.size()))
        return nullptr;
    return m_view[m_pos];
}

void ClientDataSet::checkBrowseMode()
{
    if (isEditing())
        post();
}

// ---- filter and index --------------------------------------------------------------

void ClientDataSet::setFilter(const QString &text)
{
    std::unique_ptr<Filter> filter;
    if (isActive() && m_state == State::Browse && m_filter &&
        cond::refillCondition(m_filter->condition, text)) {
        // The same condition with other literals: the bound tree is reused.
        filter = std::move(m_filter);
        hintFilter(m_fields, *filter);
    } else if (!text.trimmed().isEmpty()) {
        filter = std::make_unique<Filter>();
        try {
            filter->condition = cond::parseShapedCondition(text);
        } catch (const Error &e) {
            throw Error(QStringLiteral("筛选条件“%1”无效：%2").arg(text, e.message()));
        }
        if (isActive()) {
            QScopedValueRollback forMessage(m_filterText, text); // back on a refusal
            bindFilter(m_fields, m_fieldNames, *filter);
            forMessage.commit();
        }
    }
    if (isActive())
        checkBrowseMode();
    m_filterText = text;
    m_filter = std::move(filter);
    if (isActive() && m_filtered) {
        rebuildView(nullptr);
        notifyReset();
        notifyCurrent();
    }
}

void ClientDataSet::setFiltered(bool on)
{
    if (on == m_filtered)
        return;
    if (isActive())
        checkBrowseMode();
    m_filtered = on;
    if (isActive()) {
        rebuildView(on ? nullptr : currentRow());
        notifyReset();
        notifyCurrent();
    }
}

void ClientDataSet::setIndexFieldNames(const QString &names)
{
    std::vector<int> fields;
    if (isActive()) {
        try {
            fields = parseFieldList(names);
        } catch (const Error &e) {
            throw Error(QStringLiteral("索引字段“%1”无效：%2").arg(names, e.message()));
        }
        checkBrowseMode();
    }
    m_indexText = names;
    m_indexFields = std::move(fields);
    if (isActive()) {
        rebuildView(currentRow());
        notifyReset();
        notifyCurrent();
    }
}

bool ClientDataSet::locate(const QString &keyFields, const QVariantList &values,
                           LocateOptions options)
{
    requireActive("查找");
    const std::vector<int> keys = parseFieldList(keyFields);
    if (keys.empty() || int(keys.size()) != values.size())
        throw Error(QStringLiteral("查找字段“%1”与查找值的个数不符。").arg(keyFields));
    QVariantList wanted;
    for (size_t i = 0; i < keys.size(); ++i) {
        try {
            wanted.append(coerceToField(m_fields[keys[i]], values[int(i)]));
        } catch (const Error &) {
            return false; // a value the field cannot hold matches no row
        }
    }
    checkBrowseMode();
    for (size_t r = 0; r < m_view.size(); ++r) {
        const QVariantList &row = m_view[r]->values;
        bool match = true;
        for (size_t i = 0; i < keys.size() && match; ++i) {
            const QVariant &have = row[keys[i]];
            const QVariant &want = wanted[int(i)];
            if (have.typeId() == QMetaType::QString && want.typeId() == QMetaType::QString &&
                options) {
                const Qt::CaseSensitivity cs =
                    options.testFlag(CaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
                const QString h = have.toString();
                const QString w = want.toString();
                match = options.testFlag(PartialKey) ? h.startsWith(w, cs) : h.compare(w, cs) == 0;
            } else {
                match = have.isValid() == want.isValid() && (!have.isValid() || have == want);
            }
        }
        if (match) {
            setCursor(int(r));
            return true;
        }
    }
    return false;
}

bool ClientDataSet::locate(const QString &keyField, const QVariant &value, LocateOptions options)
{
    return locate(keyField, QVariantList{value}, options);
}

const std::vector<ClientDataSet::Row *> *ClientDataSet::hashedCandidates()
{
    if (!m_filter || !m_filter->hint)
        return nullptr;
    const cond::EqualityHint &hint = *m_filter->hint;
    EqualityHash &h = *m_hash;
    if (h.column != hint.index) {
        invalidateHash();
        h.column = hint.index;
    }
    if (!h.built) {
        if (++h.uses < 2)
            return nullptr;
        for (const auto &row : m_rows) {
            const QVariant &v = row->values[h.column];
            if (!v.isValid())
                h.nulls.push_back(row.get());
            else if (v.typeId() == QMetaType::QString)
                h.rows[*static_cast<const QString *>(v.constData())].push_back(row.get());
            else
                h.rows[v.toString()].push_back(row.get());
        }
        h.built = true;
    }
    if (!hint.value.isValid())
        return &h.nulls;
    static const std::vector<Row *> none;
    auto it = h.rows.constFind(hint.value.toString());
    return it == h.rows.cend() ? &none : &it.value();
}

void ClientDataSet::invalidateHash()
{
    EqualityHash &h = *m_hash;
    h.uses = 0;
    if (h.built) {
        h.built = false;
        h.rows.clear();
        h.nulls.clear();
    }
}

} // namespace vexa
