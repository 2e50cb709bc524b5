#include "DataPacketFormat.h"

#include <vexa/Error.h>

#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QTime>
#include <QVarLengthArray>
#include <QtNumeric>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace vexa {

namespace {

using namespace packet;

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

} // namespace

QString writeDataPacket(const DataPacket &packet)
{
    return writePacket(
        kDataFormat, packet.fields, packet.rows,
        [&](TextWriter &w, const QVariantList &row) { writeValues(w, packet.fields, row); });
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

} // namespace vexa
