// Editing a client dataset and its change log: post, cancel, delete, delta, merge and
// cancel of the changes, snapshot and restore.
#include "ClientDataSetPrivate.h"

#include <vexa/Error.h>

#include <algorithm>

namespace vexa {

// ---- editing -----------------------------------------------------------------------

void ClientDataSet::edit()
{
    requireActive("编辑");
    if (isEditing())
        return;
    Row *row = currentRow();
    if (!row) {
        // Editing an empty dataset appends, as a grid does when the user types into it.
        append();
        return;
    }
    m_buffer = row->values;
    setState(State::Edit);
}

void ClientDataSet::insert()
{
    requireActive("插入");
    checkBrowseMode();
    RowPtr row(new Row);
    row->values = QVariantList(fieldCount());
    row->status = Row::Status::Inserted;
    Row *before = currentRow();
    const int pos = before ? m_pos : int(m_view.size());
    m_insertBefore = before;
    m_buffer = row->values;
    m_view.insert(m_view.begin() + pos, row.get());
    m_pendingInsert = std::move(row);
    m_pos = pos;
    m_bof = m_eof = false;
    setState(State::Insert);
    notifyReset();
}

void ClientDataSet::append()
{
    requireActive("追加");
    checkBrowseMode();
    RowPtr row(new Row);
    row->values = QVariantList(fieldCount());
    row->status = Row::Status::Inserted;
    m_insertBefore = nullptr;
    m_buffer = row->values;
    m_view.push_back(row.get());
    m_pendingInsert = std::move(row);
    m_pos = int(m_view.size()) - 1;
    m_bof = m_eof = false;
    setState(State::Insert);
    notifyReset();
}

void ClientDataSet::validateRequired(const QVariantList &values) const
{
    for (int i = 0; i < fieldCount(); ++i)
        if (m_fields[i].required && !m_fields[i].calculated && !values[i].isValid())
            throw Error(QStringLiteral("字段“%1”必须有值。").arg(m_fields[i].name));
}

void ClientDataSet::post()
{
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    validateRequired(m_buffer);

    Row *row = m_view[m_pos];
    const int oldPos = m_pos;
    m_view.erase(m_view.begin() + m_pos);

    if (m_state == State::Insert) {
        row->values = std::move(m_buffer);
        row->seq = ++m_changeSeq;
        if (m_insertBefore) {
            auto it = std::find_if(m_rows.begin(), m_rows.end(),
                                   [this](const auto &r) { return r.get() == m_insertBefore; });
            m_rows.insert(it, std::move(m_pendingInsert));
        } else {
            m_rows.push_back(std::move(m_pendingInsert));
        }
        m_insertBefore = nullptr;
    } else {
        bool changed = false;
        for (int i = 0; i < fieldCount() && !changed; ++i)
            changed = !m_fields[i].calculated && !(row->values[i] == m_buffer[i]);
        if (changed && row->status == Row::Status::Unchanged) {
            row->original = row->values;
            row->status = Row::Status::Modified;
            row->seq = ++m_changeSeq;
        }
        row->values = std::move(m_buffer);
    }
    m_buffer.clear();
    invalidateHash();

    const int pos = placeInView(row, oldPos);
    m_state = State::Browse;
    if (pos >= 0) {
        m_pos = pos;
        m_bof = m_eof = false;
    } else if (m_view.empty()) {
        m_pos = -1;
        m_bof = m_eof = true;
    } else {
        m_pos = std::min(oldPos, int(m_view.size()) - 1);
        m_bof = m_eof = false;
    }
    if (pos == oldPos && m_indexFields.empty())
        notifyRow(pos);
    else
        notifyReset();
    notifyCurrent();
    emit stateChanged(m_state);
}

void ClientDataSet::cancel()
{
    if (m_state == State::Edit) {
        m_buffer.clear();
        setState(State::Browse);
        notifyRow(m_pos);
    } else if (m_state == State::Insert) {
        m_view.erase(m_view.begin() + m_pos);
        m_pendingInsert.reset();
        m_insertBefore = nullptr;
        m_buffer.clear();
        setState(State::Browse);
        setCursor(m_pos);
        notifyReset();
    }
}

void ClientDataSet::removeRow(const Row *row)
{
    auto it =
        std::find_if(m_rows.begin(), m_rows.end(), [row](const auto &r) { return r.get() == row; });
    Q_ASSERT(it != m_rows.end());
    m_rows.erase(it);
}

void ClientDataSet::deleteRecord()
{
    requireActive("删除");
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_state == State::Edit)
        cancel();
    Row *row = currentRow();
    if (!row)
        throw Error(QStringLiteral("数据集“%1”为空，没有可删除的记录。").arg(dataSetName(this)));
    m_view.erase(m_view.begin() + m_pos);
    if (row->status == Row::Status::Inserted) {
        removeRow(row); // never sent: nothing to log
    } else {
        if (row->status == Row::Status::Unchanged)
            row->original = row->values;
        row->status = Row::Status::Deleted;
        row->seq = ++m_changeSeq;
    }
    invalidateHash();
    setCursor(m_pos);
    notifyReset();
}

ClientDataSet::RowStatus ClientDataSet::rowStatus() const
{
    if (m_state == State::Insert)
        return RowStatus::Inserted;
    const Row *row = currentRow();
    if (!row)
        return RowStatus::Unchanged;
    switch (row->status) {
    case Row::Status::Inserted:
        return RowStatus::Inserted;
    case Row::Status::Modified:
        return RowStatus::Modified;
    default:
        return RowStatus::Unchanged;
    }
}

// ---- change log --------------------------------------------------------------------

int ClientDataSet::changeCount() const
{
    int n = 0;
    for (const auto &row : m_rows)
        n += row->status != Row::Status::Unchanged;
    return n;
}

DeltaPacket ClientDataSet::delta() const
{
    DeltaPacket d;
    std::vector<int> stored;
    for (int i = 0; i < fieldCount(); ++i)
        if (!m_fields[i].calculated) {
            d.fields.append(m_fields[i]);
            stored.push_back(i);
        }
    auto pick = [&stored](const QVariantList &values) {
        QVariantList out;
        out.reserve(qsizetype(stored.size()));
        for (int i : stored)
            out.append(values[i]);
        return out;
    };

    std::vector<const Row *> changed;
    for (const auto &row : m_rows)
        if (row->status != Row::Status::Unchanged)
            changed.push_back(row.get());
    std::sort(changed.begin(), changed.end(),
              [](const Row *a, const Row *b) { return a->seq < b->seq; });

    d.rows.reserve(changed.size());
    for (const Row *row : changed) {
        DeltaRow r;
        switch (row->status) {
        case Row::Status::Inserted:
            r.kind = DeltaRow::Kind::Insert;
            r.values = pick(row->values);
            break;
        case Row::Status::Modified:
            r.kind = DeltaRow::Kind::Modify;
            r.original = pick(row->original);
            r.values = pick(row->values);
            break;
        case Row::Status::Deleted:
            r.kind = DeltaRow::Kind::Delete;
            r.original = pick(row->original);
            break;
        case Row::Status::Unchanged:
            continue;
        }
        d.rows.push_back(std::move(r));
    }
    return d;
}

void ClientDataSet::mergeChangeLog()
{
    if (!isActive())
        return;
    checkBrowseMode();
    const auto gone = std::remove_if(m_rows.begin(), m_rows.end(), [](const auto &row) {
        return row->status == Row::Status::Deleted;
    });
    m_rows.erase(gone, m_rows.end());
    for (auto &row : m_rows) {
        row->status = Row::Status::Unchanged;
        row->original.clear();
        row->seq = 0;
    }
    m_changeSeq = 0;
    invalidateHash();
}

void ClientDataSet::cancelUpdates()
{
    if (!isActive())
        return;
    cancel();
    const Row *keep = currentRow();
    const auto gone = std::remove_if(m_rows.begin(), m_rows.end(), [keep](const auto &row) {
        return row->status == Row::Status::Inserted;
    });
    bool keepGone = false;
    for (auto it = gone; it != m_rows.end(); ++it)
        keepGone = keepGone || it->get() == keep;
    m_rows.erase(gone, m_rows.end());
    for (auto &row : m_rows) {
        if (row->status == Row::Status::Modified || row->status == Row::Status::Deleted)
            row->values = std::move(row->original);
        row->original.clear();
        row->status = Row::Status::Unchanged;
        row->seq = 0;
    }
    m_changeSeq = 0;
    invalidateHash();
    rebuildView(keepGone ? nullptr : keep);
    notifyReset();
    notifyCurrent();
}

struct ClientDataSet::Snapshot
{
    State state = State::Inactive;
    QList<FieldDef> fields;
    std::vector<Row> rows; // base order, deleted rows included
    int current = -1;      // index into rows; -1: none, or the row being inserted
    quint64 changeSeq = 0;
    QVariantList buffer;   // the pending edit
    int insertBefore = -1; // index into rows of the row a pending insert goes before
    int insertPos = -1;    // place of a pending insert in the view
};

std::shared_ptr<const ClientDataSet::Snapshot> ClientDataSet::snapshot() const
{
    auto s = std::make_shared<Snapshot>();
    s->state = m_state;
    s->fields = m_fields;
    s->changeSeq = m_changeSeq;
    s->buffer = m_buffer;
    s->rows.reserve(m_rows.size());
    const Row *current = currentRow();
    for (const auto &row : m_rows) {
        if (row.get() == current)
            s->current = int(s->rows.size());
        if (row.get() == m_insertBefore)
            s->insertBefore = int(s->rows.size());
        s->rows.push_back(*row);
    }
    if (m_state == State::Insert)
        s->insertPos = m_pos;
    return s;
}

void ClientDataSet::restore(const Snapshot &snapshot)
{
    if (snapshot.state == State::Inactive) {
        close();
        return;
    }
    // Opens empty on the snapshot's fields, binding filter and index to them.
    DataPacket shape;
    shape.fields = snapshot.fields;
    loadPacket(std::move(shape));
    const Row *current = nullptr;
    if (!snapshot.rows.empty()) {
        m_block = std::make_unique<RowBlock>(snapshot.rows.size());
        m_rows.reserve(snapshot.rows.size());
        Row *slot = m_block->rows;
        for (const Row &saved : snapshot.rows) {
            Row *row = new (slot++) Row(saved);
            row->inBlock = true;
            m_rows.emplace_back(row);
        }
        if (snapshot.current >= 0)
            current = m_rows[size_t(snapshot.current)].get();
    }
    m_changeSeq = snapshot.changeSeq;
    invalidateHash();
    rebuildView(current);
    if (snapshot.state == State::Insert) {
        RowPtr row(new Row);
        row->values = QVariantList(fieldCount());
        row->status = Row::Status::Inserted;
        m_insertBefore =
            snapshot.insertBefore >= 0 ? m_rows[size_t(snapshot.insertBefore)].get() : nullptr;
        m_pos = std::clamp(snapshot.insertPos, 0, int(m_view.size()));
        m_view.insert(m_view.begin() + m_pos, row.get());
        m_pendingInsert = std::move(row);
        m_bof = m_eof = false;
    }
    if (snapshot.state != State::Browse)
        m_buffer = snapshot.buffer;
    setState(snapshot.state);
    notifyReset();
    notifyCurrent();
}

} // namespace vexa
