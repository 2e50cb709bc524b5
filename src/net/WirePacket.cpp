#include "WirePacket.h"

#include "WireValue.h"

#include <vexa/Error.h>

#include <DataPacketFormat.h>

#include <QDateTime>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace vexa::net {

namespace {

// CBOR written and read by hand: the packet uses few item kinds, always of definite
// length, and a general encoder or decoder costs several times more per value.
enum Major : uchar {
    Unsigned = 0,
    Negative = 1,
    Bytes = 2,
    Text = 3,
    Array = 4,
    Tag = 6,
    Simple = 7
};
constexpr uchar kFalse = 0xF4, kTrue = 0xF5, kNull = 0xF6, kDouble = 0xFB;
constexpr qint64 kMsecsPerDay = 86400000;

// Rows hold the storage types of coerceToField; anything else is converted the way the
// packet text writer does, and what does not convert travels as null.
constexpr QMetaType::Type kStorageTypes[] = {
    QMetaType::QString, QMetaType::QString,   QMetaType::QString,  QMetaType::Int,
    QMetaType::Int,     QMetaType::Int,       QMetaType::LongLong, QMetaType::Bool,
    QMetaType::Double,  QMetaType::Double,    QMetaType::Double,   QMetaType::QDate,
    QMetaType::QTime,   QMetaType::QDateTime, QMetaType::QString,  QMetaType::QByteArray};
static_assert(std::size(kStorageTypes) == std::size_t(FieldType::Blob) + 1);

// Writes into a buffer that grows by doubling; appending byte by byte to a QByteArray
// costs a capacity check and a possible detach each time.
class Writer
{
public:
    explicit Writer(qsizetype expected)
        : m_out(std::max<qsizetype>(expected, 64), Qt::Uninitialized)
    {
        m_p = m_out.data();
    }
    QByteArray finish()
    {
        m_out.truncate(m_p - m_out.constData());
        return std::move(m_out);
    }

    void head(Major major, quint64 n)
    {
        ensure(9);
        const uchar m = uchar(major << 5);
        if (n < 24) {
            *m_p++ = char(m | n);
        } else if (n <= 0xFF) {
            *m_p++ = char(m | 24);
            *m_p++ = char(n);
        } else if (n <= 0xFFFF) {
            *m_p++ = char(m | 25);
            bigEndian(quint16(n));
        } else if (n <= 0xFFFFFFFFu) {
            *m_p++ = char(m | 26);
            bigEndian(quint32(n));
        } else {
            *m_p++ = char(m | 27);
            bigEndian(quint64(n));
        }
    }
    void byte(uchar b)
    {
        ensure(1);
        *m_p++ = char(b);
    }
    void integer(qint64 n)
    {
        if (n >= 0)
            head(Unsigned, quint64(n));
        else
            head(Negative, quint64(-1 - n));
    }
    void real(double d)
    {
        ensure(9);
        *m_p++ = char(kDouble);
        bigEndian(std::bit_cast<quint64>(d));
    }
    void bytes(QByteArrayView b)
    {
        head(Bytes, quint64(b.size()));
        ensure(b.size());
        if (!b.isEmpty())
            std::memcpy(m_p, b.data(), size_t(b.size()));
        m_p += b.size();
    }
    void text(QStringView s)
    {
        // The UTF-8 length first, for the head; a lone surrogate has no UTF-8 form.
        qsizetype length = 0;
        const char16_t *u = s.utf16();
        const qsizetype n = s.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = u[i];
            if (c < 0x80) {
                length += 1;
            } else if (c < 0x800) {
                length += 2;
            } else if (!QChar::isSurrogate(c)) {
                length += 3;
            } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1])) {
                length += 4;
                ++i;
            } else {
                return utf16(s);
            }
        }
        head(Text, quint64(length));
        ensure(length);
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = u[i];
            if (c < 0x80) {
                *m_p++ = char(c);
            } else if (c < 0x800) {
                *m_p++ = char(0xC0 | (c >> 6));
                *m_p++ = char(0x80 | (c & 0x3F));
            } else if (!QChar::isSurrogate(c)) {
                *m_p++ = char(0xE0 | (c >> 12));
                *m_p++ = char(0x80 | ((c >> 6) & 0x3F));
                *m_p++ = char(0x80 | (c & 0x3F));
            } else {
                const char32_t cp = QChar::surrogateToUcs4(c, u[++i]);
                *m_p++ = char(0xF0 | (cp >> 18));
                *m_p++ = char(0x80 | ((cp >> 12) & 0x3F));
                *m_p++ = char(0x80 | ((cp >> 6) & 0x3F));
                *m_p++ = char(0x80 | (cp & 0x3F));
            }
        }
    }

private:
    // UTF-8 would replace a lone surrogate; the code units travel as they are.
    void utf16(QStringView s)
    {
        head(Tag, quint64(WireTag::Utf16Text));
        head(Bytes, quint64(s.size()) * 2);
        ensure(s.size() * 2);
        for (QChar c : s) {
            *m_p++ = char(c.unicode() & 0xFF);
            *m_p++ = char(c.unicode() >> 8);
        }
    }
    template <typename T> void bigEndian(T v)
    {
        qToBigEndian(v, m_p);
        m_p += sizeof v;
    }
    void ensure(qsizetype n)
    {
        const qsizetype used = m_p - m_out.constData();
        if (m_out.size() - used >= n)
            return;
        m_out.resize(std::max(m_out.size() * 2, used + n));
        m_p = m_out.data() + used;
    }

    QByteArray m_out;
    char *m_p = nullptr;
};

template <typename T> const T *held(const QVariant &v, int type, QMetaType::Type want)
{
    return type == want ? static_cast<const T *>(v.constData()) : nullptr;
}

void writeValue(Writer &w, const FieldDef &field, const QVariant &v)
{
    const int type = v.data_ptr().type().id();
    if (v.data_ptr().is_null || (type != kStorageTypes[int(field.type)] && v.isNull()))
        return w.byte(kNull);
    bool ok = true;
    switch (field.type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo:
        if (const QString *s = held<QString>(v, type, QMetaType::QString))
            return w.text(*s);
        return w.text(v.toString());
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
        return ok ? w.integer(n) : w.byte(kNull);
    }
    case FieldType::Boolean:
        return w.byte(v.toBool() ? kTrue : kFalse);
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD: {
        const double *exact = held<double>(v, type, QMetaType::Double);
        const double d = exact ? *exact : v.toDouble(&ok);
        // As in the packet text, which has no NaN or infinity.
        return ok && std::isfinite(d) ? w.real(d) : w.byte(kNull);
    }
    case FieldType::Date: {
        const QDate d = type == QMetaType::QDateTime ? v.toDateTime().date() : v.toDate();
        return d.isValid() ? w.integer(d.toJulianDay()) : w.byte(kNull);
    }
    case FieldType::Time: {
        const QTime t = v.toTime();
        return t.isValid() ? w.integer(t.msecsSinceStartOfDay()) : w.byte(kNull);
    }
    case FieldType::DateTime: {
        const QDateTime dt = type == QMetaType::QDate ? v.toDate().startOfDay() : v.toDateTime();
        if (!dt.isValid())
            return w.byte(kNull);
        // The stored wall-clock time, no zone conversion, as the packet text has it.
        w.head(Array, 2);
        w.integer(dt.date().toJulianDay());
        return w.integer(dt.time().msecsSinceStartOfDay());
    }
    case FieldType::Blob:
        if (const QByteArray *b = held<QByteArray>(v, type, QMetaType::QByteArray))
            return w.bytes(*b);
        return w.bytes(v.toByteArray());
    }
}

[[noreturn]] void fail(const QString &what)
{
    throw Error(what);
}

// Thrown inside the reader; turned into a message naming where it happened by the caller,
// so that nothing is formatted while all goes well.
struct Malformed
{
    enum Kind { Incomplete, Form, Range } kind;
};

[[noreturn]] void malformed(Malformed::Kind kind = Malformed::Form)
{
    throw Malformed{kind};
}

class Reader
{
public:
    explicit Reader(QByteArrayView bytes)
        : m_p(reinterpret_cast<const uchar *>(bytes.data())), m_end(m_p + bytes.size())
    {}

    bool atEnd() const { return m_p == m_end; }
    qsizetype left() const { return m_end - m_p; }

    // The next item's argument, the item being of the major type wanted.
    quint64 head(Major want)
    {
        need(1);
        const uchar b = *m_p;
        if ((b >> 5) != want)
            malformed();
        ++m_p;
        const uchar info = b & 31;
        if (info < 24)
            return info;
        if (info > 27)
            malformed(); // indefinite lengths and reserved values are never written
        const int n = 1 << (info - 24);
        need(n);
        quint64 v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 8) | *m_p++;
        return v;
    }
    bool takeNull()
    {
        if (m_p < m_end && *m_p == kNull) {
            ++m_p;
            return true;
        }
        return false;
    }
    // A count of items that follow: each takes at least one byte, so a count above the
    // bytes left is a lie, refused before anything is reserved for it.
    qsizetype count()
    {
        const quint64 n = head(Array);
        if (n > quint64(left()))
            malformed(Malformed::Incomplete);
        return qsizetype(n);
    }
    qint64 integer()
    {
        need(1);
        const bool negative = (*m_p >> 5) == Negative;
        const quint64 n = head(negative ? Negative : Unsigned);
        if (n > quint64(std::numeric_limits<qint64>::max()))
            malformed(Malformed::Range);
        return negative ? -1 - qint64(n) : qint64(n);
    }
    bool boolean()
    {
        need(1);
        const uchar b = *m_p;
        if (b != kTrue && b != kFalse)
            malformed();
        ++m_p;
        return b == kTrue;
    }
    double real()
    {
        need(1);
        if (*m_p != kDouble)
            malformed();
        ++m_p;
        need(8);
        quint64 bits;
        std::memcpy(&bits, m_p, 8);
        m_p += 8;
        return std::bit_cast<double>(qFromBigEndian(bits));
    }
    QByteArrayView bytes(Major major)
    {
        const quint64 n = head(major);
        if (n > quint64(left()))
            malformed(Malformed::Incomplete);
        const QByteArrayView b(reinterpret_cast<const char *>(m_p), qsizetype(n));
        m_p += n;
        return b;
    }
    QString text()
    {
        need(1);
        if ((*m_p >> 5) == Tag) {
            if (head(Tag) != quint64(WireTag::Utf16Text))
                malformed();
            const QByteArrayView units = bytes(Bytes);
            if (units.size() % 2 != 0)
                malformed();
            QString s(units.size() / 2, Qt::Uninitialized);
            for (qsizetype i = 0; i < s.size(); ++i)
                s[i] = QChar(char16_t(uchar(units[2 * i]) | (uchar(units[2 * i + 1]) << 8)));
            return s;
        }
        const QByteArrayView utf8 = bytes(Text);
        if (!utf8.isValidUtf8())
            malformed();
        return QString::fromUtf8(utf8);
    }

private:
    void need(qsizetype n) const
    {
        if (m_end - m_p < n)
            malformed(Malformed::Incomplete);
    }
    const uchar *m_p;
    const uchar *m_end;
};

const QString &incomplete()
{
    static const QString text = QStringLiteral("数据不完整。");
    return text;
}

QList<FieldDef> readFields(Reader &r)
{
    qsizetype n = 0;
    try {
        n = r.count();
    } catch (const Malformed &m) {
        fail(m.kind == Malformed::Incomplete ? incomplete() : QStringLiteral("字段表应为数组。"));
    }
    if (n > kMaxPacketFields)
        fail(QStringLiteral("字段表超过 %1 个字段的上限。").arg(kMaxPacketFields));
    QList<FieldDef> fields;
    fields.reserve(n);
    FieldNameIndex names;
    for (qsizetype i = 0; i < n; ++i) {
        FieldDef f;
        QString typeName;
        qint64 size = 0;
        try {
            if (r.count() != 5)
                malformed();
            f.name = r.text();
            typeName = r.text();
            size = r.integer();
            f.required = r.boolean();
            f.calculated = r.boolean();
        } catch (const Malformed &m) {
            fail(m.kind == Malformed::Incomplete
                     ? incomplete()
                     : QStringLiteral("第 %1 个字段的定义格式错误。").arg(i + 1));
        }
        if (f.name.isEmpty())
            fail(QStringLiteral("第 %1 个字段没有名称。").arg(i + 1));
        if (!names.add(f.name, int(i)))
            fail(QStringLiteral("字段“%1”重复（字段名不区分大小写）。").arg(f.name));
        const std::optional<FieldType> type = fieldTypeFromName(typeName);
        if (!type)
            fail(QStringLiteral("字段“%1”的类型“%2”未知。").arg(f.name, typeName));
        f.type = *type;
        if (size < 0 || size > std::numeric_limits<int>::max())
            fail(QStringLiteral("字段“%1”的长度 %2 超出范围。").arg(f.name).arg(size));
        f.size = int(size);
        fields.append(std::move(f));
    }
    return fields;
}

QVariant readTyped(Reader &r, const FieldDef &field)
{
    switch (field.type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo:
        return r.text();
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LargeInt: {
        const qint64 n = r.integer();
        if (field.type == FieldType::LargeInt)
            return QVariant(qlonglong(n));
        const auto [low, high] = integerRange(field.type);
        if (n < low || n > high)
            malformed(Malformed::Range);
        return QVariant(int(n));
    }
    case FieldType::Boolean:
        return QVariant(r.boolean());
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD: {
        double d = r.real();
        if (!std::isfinite(d))
            malformed(Malformed::Range);
        // Four decimals, as the packet text's reader keeps them.
        if (field.type == FieldType::Currency && std::fabs(d) < packet::kCurrencyRoundLimit)
            d = std::round(d * 10000.0) / 10000.0;
        return QVariant(d);
    }
    case FieldType::Date: {
        const QDate d = QDate::fromJulianDay(r.integer());
        if (!d.isValid())
            malformed(Malformed::Range);
        return QVariant(d);
    }
    case FieldType::Time: {
        const qint64 ms = r.integer();
        if (ms < 0 || ms >= kMsecsPerDay)
            malformed(Malformed::Range);
        return QVariant(QTime::fromMSecsSinceStartOfDay(int(ms)));
    }
    case FieldType::DateTime: {
        if (r.count() != 2)
            malformed();
        const QDate d = QDate::fromJulianDay(r.integer());
        const qint64 ms = r.integer();
        if (!d.isValid() || ms < 0 || ms >= kMsecsPerDay)
            malformed(Malformed::Range);
        const QDateTime dt(d, QTime::fromMSecsSinceStartOfDay(int(ms)));
        if (!dt.isValid() || dt.date() != d)
            malformed(Malformed::Range);
        return QVariant(dt);
    }
    case FieldType::Blob:
        return QVariant(r.bytes(Bytes).toByteArray());
    }
    Q_UNREACHABLE();
    return {};
}

// The value of `field` in row `rowNo` (from 1).
QVariant readValue(Reader &r, const FieldDef &field, qsizetype rowNo)
{
    if (r.takeNull())
        return QVariant();
    try {
        return readTyped(r, field);
    } catch (const Malformed &m) {
        if (m.kind == Malformed::Incomplete)
            fail(incomplete());
        fail(QStringLiteral("第 %1 行字段“%2”的值%3")
                 .arg(rowNo)
                 .arg(field.name,
                      m.kind == Malformed::Range
                          ? QStringLiteral("超出范围。")
                          : QStringLiteral("不是“%1”类型。").arg(fieldTypeName(field.type))));
    }
}

} // namespace

QByteArray writeWirePacket(const DataPacket &packet)
{
    Writer w(64 + packet.fields.size() * 32 +
             qsizetype(packet.rows.size()) * (packet.fields.size() * 8 + 3));
    w.head(Array, 2);
    w.head(Array, quint64(packet.fields.size()));
    for (const FieldDef &f : packet.fields) {
        w.head(Array, 5);
        w.text(f.name);
        w.text(fieldTypeName(f.type));
        w.integer(f.size);
        w.byte(f.required ? kTrue : kFalse);
        w.byte(f.calculated ? kTrue : kFalse);
    }
    const qsizetype width = packet.fields.size();
    w.head(Array, quint64(packet.rows.size()));
    for (const QVariantList &row : packet.rows) {
        w.head(Array, quint64(width));
        for (qsizetype i = 0; i < width; ++i)
            writeValue(w, packet.fields[i], i < row.size() ? row[i] : QVariant());
    }
    return w.finish();
}

DataPacket readWirePacket(QByteArrayView bytes)
{
    Reader r(bytes);
    // An array's count, or the message when there is none.
    const auto count = [&r](const auto &what) {
        try {
            return r.count();
        } catch (const Malformed &m) {
            fail(m.kind == Malformed::Incomplete ? incomplete() : what());
        }
    };
    if (count([] { return QStringLiteral("应为字段表和行表两项的数组。"); }) != 2)
        fail(QStringLiteral("应为字段表和行表两项的数组。"));
    DataPacket packet;
    packet.fields = readFields(r);
    const qsizetype rows = count([] { return QStringLiteral("行表应为数组。"); });
    const qsizetype width = packet.fields.size();
    // A whole row takes a byte, and a byte for each value, at least: a count beyond that
    // reserves no more than the bytes can fill.
    packet.rows.reserve(size_t(std::min(rows, r.left() / (width + 1))));
    for (qsizetype i = 1; i <= rows; ++i) {
        const qsizetype n = count([i] { return QStringLiteral("第 %1 行应为数组。").arg(i); });
        if (n != width)
            fail(QStringLiteral("第 %1 行有 %2 个值，应为 %3 个。").arg(i).arg(n).arg(width));
        QVariantList values;
        values.reserve(width);
        for (const FieldDef &f : packet.fields)
            values.emplaceBack(readValue(r, f, i));
        packet.rows.push_back(std::move(values));
    }
    if (!r.atEnd())
        fail(QStringLiteral("结尾有 %1 个多余的字节。").arg(r.left()));
    return packet;
}

} // namespace vexa::net
