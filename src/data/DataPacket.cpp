#include "DataPacket.h"

#include <vexa/Error.h>

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace vexa {

namespace {

constexpr int kVersion = 1;
constexpr auto kDataFormat = QLatin1StringView("vexa-datapacket");
constexpr auto kDeltaFormat = QLatin1StringView("vexa-delta");

// Beyond this a double no longer holds four decimals reliably, and rounding again would
// move the value: such currency amounts are kept as written.
constexpr double kCurrencyRoundLimit = 1e11;

// The changes of a delta row, in the order of DeltaRow::Kind.
struct ChangeKind
{
    const char16_t *name;
    DeltaRow::Kind kind;
    bool values, original;
    const char *label;
};
constexpr ChangeKind kChangeKinds[] = {{u"insert", DeltaRow::Kind::Insert, true, false, "插入"},
                                       {u"modify", DeltaRow::Kind::Modify, true, true, "修改"},
                                       {u"delete", DeltaRow::Kind::Delete, false, true, "删除"}};
static_assert(int(DeltaRow::Kind::Insert) == 0 && int(DeltaRow::Kind::Modify) == 1 &&
              int(DeltaRow::Kind::Delete) == 2);

// ---------------------------------------------------------------------------------------
// Writing: the text is produced directly into a UTF-16 buffer that grows geometrically;
// every append first makes room, then writes through a raw pointer.

class TextWriter
{
public:
    explicit TextWriter(qsizetype estimate) { grow(estimate); }

    qsizetype size() const { return m_pos; }
    // Once some rows are written, makes room for the rest in one step, so a big packet
    // is neither copied on growth nor left with much unused capacity.
    void forecast(qsizetype rowsStart, std::size_t rowsDone, std::size_t rowsTotal)
    {
        const double perRow = double(m_pos - rowsStart) / double(rowsDone);
        const auto need = qsizetype(perRow * double(rowsTotal - rowsDone) * 1.05) + 64;
        if (m_size - m_pos < need)
            grow(need);
    }

    void ascii(const char *s, qsizetype n)
    {
        char16_t *p = room(n);
        for (qsizetype i = 0; i < n; ++i)
            p[i] = char16_t(uchar(s[i]));
        m_pos += n;
    }
    template <qsizetype N> void literal(const char (&s)[N]) { ascii(s, N - 1); }
    void ch(char16_t c) { *room(1) = c, ++m_pos; }

    void string(QStringView s);
    void integer(qint64 n)
    {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, n);
        ascii(buf, r.ptr - buf);
    }
    void real(double d);
    void date(QDate d);
    void time(QTime t);
    void blob(const QByteArray &bytes)
    {
        const QByteArray b64 = bytes.toBase64();
        ch(u'"');
        ascii(b64.constData(), b64.size());
        ch(u'"');
    }

    QString take()
    {
        m_buf.resize(m_pos);
        return std::move(m_buf);
    }

private:
    char16_t *room(qsizetype n)
    {
        if (m_size - m_pos < n)
            grow(n);
        return m_data + m_pos;
    }
    void grow(qsizetype n)
    {
        const qsizetype size = std::max(m_size + m_size / 2, m_pos + n + 4096);
        m_buf.resize(size);
        m_data = reinterpret_cast<char16_t *>(m_buf.data());
        m_size = size;
    }
    // The last `width` decimal digits of v, zero-padded.
    void digits(char16_t *p, int width, unsigned v)
    {
        for (int i = width - 1; i >= 0; --i, v /= 10)
            p[i] = char16_t(u'0' + v % 10);
    }

    QString m_buf;
    char16_t *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_pos = 0;
};

void TextWriter::string(QStringView s)
{
    static constexpr char hex[] = "0123456789abcdef";
    static constexpr std::u16string_view shortForms = u"\"\\\b\f\n\r\t";
    static constexpr std::u16string_view shortLetters = u"\"\\bfnrt";
    const qsizetype n = s.size();
    const char16_t *src = s.utf16();
    char16_t *p = room(n + 2);
    char16_t *end = m_data + m_size;
    *p++ = u'"';
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = src[i];
        if (c >= 0x20 && c != u'"' && c != u'\\' && (c < 0xd800 || c > 0xdfff)) {
            *p++ = c;
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(src[i + 1])) {
            *p++ = c;
            *p++ = src[++i];
            continue;
        }
        // An escape takes up to six characters; keep room for the rest plus the quote.
        if (end - p < 6 + (n - i) + 1) {
            m_pos = p - m_data;
            room(6 + (n - i) + 1);
            p = m_data + m_pos;
            end = m_data + m_size;
        }
        *p++ = u'\\';
        if (const auto k = shortForms.find(c); k != std::u16string_view::npos) {
            *p++ = shortLetters[k];
        } else {
            // Other control characters and lone surrogates: a lone surrogate cannot be
            // stored as UTF-8, the escape keeps it exactly.
            *p++ = u'u';
            for (int shift = 12; shift >= 0; shift -= 4)
                *p++ = char16_t(hex[(c >> shift) & 0xf]);
        }
    }
    *p++ = u'"';
    m_pos = p - m_data;
}

void TextWriter::real(double d)
{
    if (!std::isfinite(d))
        return literal("null"); // JSON has no NaN or infinity
    if (d == 0 && std::signbit(d))
        return literal("-0.0");
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, d); // shortest exact form
    ascii(buf, r.ptr - buf);
}

void TextWriter::date(QDate d)
{
    int y = 0, m = 0, day = 0;
    d.getDate(&y, &m, &day);
    if (y < 0)
        ch(u'-');
    const unsigned year = unsigned(y < 0 ? -qint64(y) : y);
    int width = 4;
    for (unsigned v = year / 10000; v; v /= 10)
        ++width;
    char16_t *p = room(width + 6);
    digits(p, width, year);
    p[width] = u'-';
    digits(p + width + 1, 2, unsigned(m));
    p[width + 3] = u'-';
    digits(p + width + 4, 2, unsigned(day));
    m_pos += width + 6;
}

void TextWriter::time(QTime t)
{
    const unsigned ms = unsigned(t.msecsSinceStartOfDay());
    char16_t *p = room(12);
    digits(p, 2, ms / 3600000);
    p[2] = u':';
    digits(p + 3, 2, ms / 60000 % 60);
    p[5] = u':';
    digits(p + 6, 2, ms / 1000 % 60);
    p[8] = u'.';
    digits(p + 9, 3, ms % 1000);
    m_pos += 12;
}

template <typename T> const T *held(const QVariant &v, int type, QMetaType::Type id)
{
    return type == id ? static_cast<const T *>(v.constData()) : nullptr;
}

// The storage type of each field type, in the order of FieldType.
constexpr QMetaType::Type kStorageTypes[] = {
    QMetaType::QString, QMetaType::QString,   QMetaType::QString,  QMetaType::Int,
    QMetaType::Int,     QMetaType::Int,       QMetaType::LongLong, QMetaType::Bool,
    QMetaType::Double,  QMetaType::Double,    QMetaType::Double,   QMetaType::QDate,
    QMetaType::QTime,   QMetaType::QDateTime, QMetaType::QString,  QMetaType::QByteArray};
static_assert(std::size(kStorageTypes) == std::size_t(FieldType::Blob) + 1);

// Rows hold the storage types of coerceToField; anything else is converted the way
// QVariant does, and what does not convert is written as null.
void writeValue(TextWriter &w, const FieldDef &field, const QVariant &v)
{
    // QVariant::isNull() and typeId() are calls into Qt that cost about as much as
    // writing a number; for values of the storage type the variant's header, public
    // through data_ptr(), answers inline. is_null is set for invalid and typed nulls.
    const int type = v.data_ptr().type().id();
    if (v.data_ptr().is_null || (type != kStorageTypes[int(field.type)] && v.isNull()))
        return w.literal("null");
    bool ok = true;
    switch (field.type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo:
        if (const QString *s = held<QString>(v, type, QMetaType::QString))
            return w.string(*s);
        return w.string(v.toString());
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
        if (const int *n = held<int>(v, type, QMetaType::Int))
            return w.integer(*n);
        [[fallthrough]];
    case FieldType::LargeInt: {
        if (const qlonglong *n = held<qlonglong>(v, type, QMetaType::LongLong))
            return w.integer(*n);
        const qlonglong n = v.toLongLong(&ok);
        return ok ? w.integer(n) : w.literal("null");
    }
    case FieldType::Boolean:
        return v.toBool() ? w.literal("true") : w.literal("false");
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD: {
        if (const double *d = held<double>(v, type, QMetaType::Double))
            return w.real(*d);
        const double d = v.toDouble(&ok);
        return ok ? w.real(d) : w.literal("null");
    }
    case FieldType::Date: {
        const QDate d = type == QMetaType::QDateTime ? v.toDateTime().date() : v.toDate();
        if (!d.isValid())
            return w.literal("null");
        w.ch(u'"');
        w.date(d);
        return w.ch(u'"');
    }
    case FieldType::Time: {
        const QTime t = v.toTime();
        if (!t.isValid())
            return w.literal("null");
        w.ch(u'"');
        w.time(t);
        return w.ch(u'"');
    }
    case FieldType::DateTime: {
        const QDateTime dt = type == QMetaType::QDate ? v.toDate().startOfDay() : v.toDateTime();
        if (!dt.isValid())
            return w.literal("null");
        // The stored wall-clock time, no zone conversion.
        w.ch(u'"');
        w.date(dt.date());
        w.ch(u'T');
        w.time(dt.time());
        return w.ch(u'"');
    }
    case FieldType::Blob:
        if (const QByteArray *b = held<QByteArray>(v, type, QMetaType::QByteArray))
            return w.blob(*b);
        return w.blob(v.toByteArray());
    }
}

void writeHeader(TextWriter &w, QLatin1StringView format, const QList<FieldDef> &fields)
{
    w.literal("{\"format\":\"");
    w.ascii(format.data(), format.size());
    w.literal("\",\"version\":");
    w.integer(kVersion);
    w.literal(",\n\"fields\":[");
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const FieldDef &f = fields[i];
        if (i)
            w.ch(u',');
        w.literal("\n{\"name\":");
        w.string(f.name);
        w.literal(",\"type\":");
        w.string(fieldTypeName(f.type));
        if (f.size != 0) {
            w.literal(",\"size\":");
            w.integer(f.size);
        }
        if (f.required)
            w.literal(",\"required\":true");
        if (f.calculated)
            w.literal(",\"calculated\":true");
        w.ch(u'}');
    }
    w.literal("],\n\"rows\":[");
}

// Missing values are written as null so the row still has one value per field.
void writeValues(TextWriter &w, const QList<FieldDef> &fields, const QVariantList &values)
{
    w.ch(u'[');
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            w.ch(u',');
        if (i < values.size())
            writeValue(w, fields[i], values[i]);
        else
            w.literal("null");
    }
    w.ch(u']');
}

// Writes the whole packet, one row per line. The buffer starts with a guess; after the
// first rows the writer measures and reserves the rest at once.
template <typename Row, typename WriteRow>
QString writePacket(QLatin1StringView format, const QList<FieldDef> &fields,
                    const std::vector<Row> &rows, WriteRow writeRow)
{
    constexpr std::size_t forecastRows = 64;
    TextWriter w(256 + fields.size() * 64 +
                 qsizetype(std::min(rows.size(), forecastRows)) * (fields.size() * 16 + 4));
    writeHeader(w, format, fields);
    const qsizetype rowsStart = w.size();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i == forecastRows)
            w.forecast(rowsStart, forecastRows, rows.size());
        if (i)
            w.ch(u',');
        w.ch(u'\n');
        writeRow(w, rows[i]);
    }
    w.literal("]}\n");
    return w.take();
}

// ---------------------------------------------------------------------------------------
// Reading: QJsonDocument parses, then every value is checked against its field and
// converted to the storage type. Nothing is returned before the whole packet has passed.

class PacketReader
{
public:
    explicit PacketReader(bool delta) : m_delta(delta) {}

    QJsonObject parse(const QString &text);
    QList<FieldDef> readFields(const QJsonObject &root);
    QJsonArray rowsArray(const QJsonObject &root);
    QVariantList readValues(const QJsonValue &row, const QList<FieldDef> &fields, qsizetype rowNo,
                            bool original);

    [[noreturn]] void fail(const QString &detail) const
    {
        throw Error(
            (m_delta ? QStringLiteral("变更包格式错误：") : QStringLiteral("数据包格式错误：")) +
            detail + u'。');
    }

private:
    QVariant readValue(QJsonValueConstRef v, const FieldDef &field);
    [[noreturn]] void badValue(const QString &what) const
    {
        fail(QStringLiteral("第 %1 行%2字段“%3”%4")
                 .arg(m_rowNo)
                 .arg(m_original ? QStringLiteral("原值中") : QString(), m_field->name, what));
    }
    [[noreturn]] void badText(QJsonValueConstRef v, const char *expected) const
    {
        QString s = v.toString();
        if (s.size() > 40)
            s = s.left(40) + QStringLiteral("…");
        badValue(QStringLiteral("的值“%1”不是有效的%2").arg(s, QString::fromUtf8(expected)));
    }

    bool m_delta;
    // Where the value being read sits, for messages.
    qsizetype m_rowNo = 0;
    bool m_original = false;
    const FieldDef *m_field = nullptr;
};

QString parseErrorText(QJsonParseError::ParseError error)
{
    using E = QJsonParseError;
    static const std::pair<E::ParseError, const char *> texts[] = {
        {E::UnterminatedObject, "文本不完整（可能已被截断）"},
        {E::UnterminatedArray, "文本不完整（可能已被截断）"},
        {E::UnterminatedString, "文本不完整（可能已被截断）"},
        {E::MissingNameSeparator, "缺少冒号"},
        {E::MissingValueSeparator, "缺少逗号"},
        {E::IllegalNumber, "数字无效或不完整"},
        {E::TerminationByNumber, "数字无效或不完整"},
        {E::IllegalEscapeSequence, "转义序列无效"},
        {E::IllegalUTF8String, "文本编码无效"},
        {E::MissingObject, "顶层不是对象"},
        {E::DeepNesting, "嵌套层次过深"},
        {E::DocumentTooLarge, "文本过大"},
        {E::GarbageAtEnd, "结尾有多余内容"},
    };
    for (const auto &[code, text] : texts)
        if (code == error)
            return QString::fromUtf8(text);
    return QStringLiteral("值无效或文本不完整");
}

QJsonObject PacketReader::parse(const QString &text)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }))
        fail(QStringLiteral("内容为空"));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        fail(QStringLiteral("不是有效的 JSON 文本，%1（位置 %2 字节）")
                 .arg(parseErrorText(error.error))
                 .arg(error.offset));
    if (!doc.isObject())
        fail(QStringLiteral("顶层不是 JSON 对象"));
    const QJsonObject root = doc.object();

    const QJsonValue format = root.value(QLatin1StringView("format"));
    const QLatin1StringView expected = m_delta ? kDeltaFormat : kDataFormat;
    if (format.isUndefined())
        fail(QStringLiteral("缺少“format”"));
    if (!format.isString() || format.toString() != expected) {
        const QString other = format.toString();
        if (other == (m_delta ? kDataFormat : kDeltaFormat))
            fail(m_delta ? QStringLiteral("这是数据包，不是变更包")
                         : QStringLiteral("这是变更包，不是数据包"));
        fail(QStringLiteral("“format”应为“%1”").arg(expected));
    }

    const QJsonValue version = root.value(QLatin1StringView("version"));
    if (version.isUndefined())
        fail(QStringLiteral("缺少版本号“version”"));
    const qint64 v = version.toInteger(-1);
    if (!version.isDouble() || v < 1 || version.toInteger(-2) != v)
        fail(QStringLiteral("版本号“version”无效"));
    if (v > kVersion)
        fail(QStringLiteral("版本为 %1，本程序只能读取版本 %2 及以前的格式，请升级程序后再打开")
                 .arg(v)
                 .arg(kVersion));
    return root;
}

QList<FieldDef> PacketReader::readFields(const QJsonObject &root)
{
    const QJsonValue value = root.value(QLatin1StringView("fields"));
    if (!value.isArray())
        fail(value.isUndefined() ? QStringLiteral("缺少字段表“fields”")
                                 : QStringLiteral("字段表“fields”不是数组"));
    const QJsonArray array = value.toArray();
    QList<FieldDef> fields;
    fields.reserve(array.size());
    QSet<QString> names;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("第 %1 个字段").arg(i + 1);
        const QJsonValue item = array.at(i);
        if (!item.isObject())
            fail(where + QStringLiteral("不是对象"));
        const QJsonObject obj = item.toObject();
        FieldDef f;
        const QJsonValue name = obj.value(QLatin1StringView("name"));
        if (!name.isString() || name.toString().isEmpty())
            fail(where + QStringLiteral("缺少名称“name”或名称不是文本"));
        f.name = name.toString();
        const QString label = QStringLiteral("字段“%1”").arg(f.name);
        const QString folded = f.name.toCaseFolded();
        if (names.contains(folded))
            fail(label + QStringLiteral("重复（字段名不区分大小写）"));
        names.insert(folded);

        const QJsonValue type = obj.value(QLatin1StringView("type"));
        if (!type.isString())
            fail(label + QStringLiteral("缺少类型“type”或类型不是文本"));
        const std::optional<FieldType> t = fieldTypeFromName(type.toString());
        if (!t)
            fail(label + QStringLiteral("的类型“%1”未知").arg(type.toString()));
        f.type = *t;

        const QJsonValue size = obj.value(QLatin1StringView("size"));
        if (!size.isUndefined()) {
            const qint64 n = size.toInteger(-1);
            if (!size.isDouble() || n < 0 || n > std::numeric_limits<int>::max())
                fail(label + QStringLiteral("的长度“size”不是非负整数"));
            f.size = int(n);
        }
        const auto flag = [&](QLatin1StringView key) {
            const QJsonValue flagValue = obj.value(key);
            if (flagValue.isUndefined())
                return false;
            if (!flagValue.isBool())
                fail(label + QStringLiteral("的“%1”不是 true 或 false").arg(key));
            return flagValue.toBool();
        };
        f.required = flag(QLatin1StringView("required"));
        f.calculated = flag(QLatin1StringView("calculated"));
        fields.append(std::move(f));
    }
    return fields;
}

QJsonArray PacketReader::rowsArray(const QJsonObject &root)
{
    const QJsonValue value = root.value(QLatin1StringView("rows"));
    if (!value.isArray())
        fail(value.isUndefined() ? QStringLiteral("缺少行表“rows”")
                                 : QStringLiteral("行表“rows”不是数组"));
    return value.toArray();
}

QVariantList PacketReader::readValues(const QJsonValue &row, const QList<FieldDef> &fields,
                                      qsizetype rowNo, bool original)
{
    m_rowNo = rowNo;
    m_original = original;
    const QString part = original ? QStringLiteral("的原值") : QString();
    if (!row.isArray())
        fail(QStringLiteral("第 %1 行%2不是数组").arg(rowNo).arg(part));
    const QJsonArray array = row.toArray();
    if (array.size() != fields.size())
        fail(QStringLiteral("第 %1 行%2有 %3 个值，应为 %4 个")
                 .arg(rowNo)
                 .arg(part)
                 .arg(array.size())
                 .arg(fields.size()));
    QVariantList values;
    values.reserve(fields.size());
    const FieldDef *field = fields.constData();
    for (auto it = array.constBegin(), end = array.constEnd(); it != end; ++it, ++field)
        values.emplaceBack(readValue(*it, *field));
    return values;
}

// "[-]yyyy-MM-dd" with a year of four to maxDigits digits; advances pos past it.
bool parseDate(QStringView s, qsizetype &pos, int maxDigits, QDate &out)
{
    const qsizetype n = s.size();
    const bool negative = pos < n && s[pos] == u'-';
    pos += negative ? 1 : 0;
    int year = 0, digits = 0;
    while (pos < n && s[pos] >= u'0' && s[pos] <= u'9' && digits < maxDigits) {
        year = year * 10 + (s[pos].unicode() - u'0');
        ++pos, ++digits;
    }
    if (digits < 4)
        return false;
    const auto two = [&](int &v) {
        if (pos + 3 > n || s[pos] != u'-')
            return false;
        const char16_t a = s[pos + 1].unicode(), b = s[pos + 2].unicode();
        if (a < u'0' || a > u'9' || b < u'0' || b > u'9')
            return false;
        v = (a - u'0') * 10 + (b - u'0');
        pos += 3;
        return true;
    };
    int month = 0, day = 0;
    if (!two(month) || !two(day))
        return false;
    if (negative)
        year = -year;
    if (!QDate::isValid(year, month, day))
        return false;
    out = QDate(year, month, day);
    return true;
}

// "HH:mm:ss.zzz" exactly.
bool parseTime(QStringView s, qsizetype pos, QTime &out)
{
    if (s.size() - pos != 12)
        return false;
    const char16_t *p = s.utf16() + pos;
    if (p[2] != u':' || p[5] != u':' || p[8] != u'.')
        return false;
    int v[4] = {};
    const int at[4][2] = {{0, 2}, {3, 2}, {6, 2}, {9, 3}};
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < at[k][1]; ++j) {
            const char16_t c = p[at[k][0] + j];
            if (c < u'0' || c > u'9')
                return false;
            v[k] = v[k] * 10 + (c - u'0');
        }
    if (!QTime::isValid(v[0], v[1], v[2], v[3]))
        return false;
    out = QTime(v[0], v[1], v[2], v[3]);
    return true;
}

QVariant PacketReader::readValue(QJsonValueConstRef v, const FieldDef &field)
{
    m_field = &field;
    const QJsonValue::Type type = v.type();
    if (type == QJsonValue::Null)
        return QVariant();

    switch (field.type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo: {
        if (type != QJsonValue::String)
            badValue(QStringLiteral("的值不是文本"));
        QString s = v.toString();
        if (field.size > 0 && field.type != FieldType::Memo && s.size() > field.size / 2) {
            // Longer than the field is an error, never cut.
            const int len = gbkByteLength(s);
            if (len > field.size)
                badValue(QStringLiteral("的值过长：最多 %1 字节，实际 %2 字节")
                             .arg(field.size)
                             .arg(len));
        }
        return QVariant(std::move(s));
    }
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LargeInt: {
        if (type != QJsonValue::Double)
            badValue(QStringLiteral("的值不是整数"));
        const qint64 n = v.toInteger(1);
        if (n == 1 && v.toInteger(2) != 1)
            badValue(QStringLiteral("的值 %1 不是整数或超出范围")
                         .arg(QString::number(v.toDouble(), 'g', 17)));
        qint64 low = std::numeric_limits<qint32>::min(), high = std::numeric_limits<qint32>::max();
        if (field.type == FieldType::LargeInt)
            return QVariant(qlonglong(n));
        if (field.type == FieldType::SmallInt)
            low = std::numeric_limits<qint16>::min(), high = std::numeric_limits<qint16>::max();
        else if (field.type == FieldType::Word)
            low = 0, high = std::numeric_limits<quint16>::max();
        if (n < low || n > high)
            badValue(QStringLiteral("的值 %1 超出范围（%2 至 %3）").arg(n).arg(low).arg(high));
        return QVariant(int(n));
    }
    case FieldType::Boolean:
        if (type != QJsonValue::Bool)
            badValue(QStringLiteral("的值不是 true 或 false"));
        return QVariant(v.toBool());
    case FieldType::Float:
    case FieldType::BCD:
    case FieldType::Currency: {
        if (type != QJsonValue::Double)
            badValue(QStringLiteral("的值不是数字"));
        double d = v.toDouble();
        if (field.type == FieldType::Currency && std::fabs(d) < kCurrencyRoundLimit)
            d = std::round(d * 10000.0) / 10000.0;
        return QVariant(d);
    }
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime: {
        static const char *const expected[] = {"日期（应为 yyyy-MM-dd）",
                                               "时间（应为 HH:mm:ss.zzz）",
                                               "日期时间（应为 yyyy-MM-ddTHH:mm:ss.zzz）"};
        const int k = int(field.type) - int(FieldType::Date);
        if (type != QJsonValue::String)
            badValue(QStringLiteral("的值不是文本"));
        const QString s = v.toString();
        qsizetype pos = 0;
        QDate d;
        QTime t;
        if (field.type == FieldType::Time) {
            if (!parseTime(s, 0, t))
                badText(v, expected[k]);
            return QVariant(t);
        }
        // A date's year may have up to nine digits; a date and time stays well inside
        // the range QDateTime counts in milliseconds.
        if (!parseDate(s, pos, field.type == FieldType::Date ? 9 : 6, d))
            badText(v, expected[k]);
        if (field.type == FieldType::Date) {
            if (pos != s.size())
                badText(v, expected[k]);
            return QVariant(d);
        }
        if (pos >= s.size() || s[pos] != u'T' || !parseTime(s, pos + 1, t))
            badText(v, expected[k]);
        const QDateTime dt(d, t);
        if (!dt.isValid() || dt.date() != d)
            badText(v, expected[k]);
        return QVariant(dt);
    }
    case FieldType::Blob: {
        if (type != QJsonValue::String)
            badValue(QStringLiteral("的值不是 Base64 文本"));
        const QString s = v.toString();
        // Characters outside Latin-1 become '?', which the decoder refuses.
        auto decoded =
            QByteArray::fromBase64Encoding(s.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            badText(v, "Base64 编码");
        return QVariant(std::move(*decoded));
    }
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace

QString writeDataPacket(const DataPacket &packet)
{
    return writePacket(
        kDataFormat, packet.fields, packet.rows,
        [&](TextWriter &w, const QVariantList &row) { writeValues(w, packet.fields, row); });
}

DataPacket readDataPacket(const QString &text)
{
    PacketReader reader(false);
    const QJsonObject root = reader.parse(text);
    DataPacket packet;
    packet.fields = reader.readFields(root);
    const QJsonArray rows = reader.rowsArray(root);
    packet.rows.reserve(std::size_t(rows.size()));
    qsizetype rowNo = 0;
    for (auto it = rows.constBegin(), end = rows.constEnd(); it != end; ++it)
        packet.rows.push_back(reader.readValues(*it, packet.fields, ++rowNo, false));
    return packet;
}

QString writeDeltaPacket(const DeltaPacket &delta)
{
    return writePacket(kDeltaFormat, delta.fields, delta.rows,
                       [&](TextWriter &w, const DeltaRow &row) {
                           const ChangeKind &kind = kChangeKinds[int(row.kind)];
                           w.literal("{\"change\":");
                           w.string(kind.name);
                           if (kind.original) {
                               w.literal(",\"original\":");
                               writeValues(w, delta.fields, row.original);
                           }
                           if (kind.values) {
                               w.literal(",\"values\":");
                               writeValues(w, delta.fields, row.values);
                           }
                           w.ch(u'}');
                       });
}

DeltaPacket readDeltaPacket(const QString &text)
{
    PacketReader reader(true);
    const QJsonObject root = reader.parse(text);
    DeltaPacket delta;
    delta.fields = reader.readFields(root);
    const QJsonArray rows = reader.rowsArray(root);
    delta.rows.reserve(std::size_t(rows.size()));
    const auto valuesKey = QLatin1StringView("values");
    const auto originalKey = QLatin1StringView("original");
    qsizetype rowNo = 0;
    for (auto it = rows.constBegin(), end = rows.constEnd(); it != end; ++it) {
        ++rowNo;
        const QJsonValue item = *it;
        if (!item.isObject())
            reader.fail(QStringLiteral("第 %1 行不是对象").arg(rowNo));
        const QJsonObject obj = item.toObject();
        const QString change = obj.value(QLatin1StringView("change")).toString();
        const auto kind = std::find_if(std::begin(kChangeKinds), std::end(kChangeKinds),
                                       [&](const ChangeKind &k) { return change == k.name; });
        if (kind == std::end(kChangeKinds))
            reader.fail(
                QStringLiteral("第 %1 行的变更类型“change”未知，应为 insert、modify 或 delete")
                    .arg(rowNo));
        DeltaRow row;
        row.kind = kind->kind;
        const bool wantValues = kind->values, wantOriginal = kind->original;
        const QString kindName = QString::fromUtf8(kind->label);
        const auto shape = [&](QLatin1StringView key, bool wanted) {
            const bool present = obj.contains(key);
            if (present != wanted)
                reader.fail(QStringLiteral("第 %1 行是%2，%3“%4”")
                                .arg(rowNo)
                                .arg(kindName,
                                     wanted ? QStringLiteral("缺少") : QStringLiteral("不应有"),
                                     key));
        };
        shape(originalKey, wantOriginal);
        shape(valuesKey, wantValues);
        if (wantOriginal)
            row.original = reader.readValues(obj.value(originalKey), delta.fields, rowNo, true);
        if (wantValues)
            row.values = reader.readValues(obj.value(valuesKey), delta.fields, rowNo, false);
        delta.rows.push_back(std::move(row));
    }
    return delta;
}

} // namespace vexa
