#pragma once

// The packet reader, shared by its JSON scanning (PacketTokenizer.cpp) and its decoding
// of fields, rows and values (DataPacketReader.cpp).

#include "DataPacketFormat.h"

#include <vexa/Error.h>

#include <QScopedValueRollback>
#include <QVarLengthArray>
#include <QtNumeric>
#include <charconv>
#include <limits>
#include <string_view>

namespace vexa::packet {

// Reading: one pass over the UTF-16 text that knows the JSON grammar and the packet's
// shape together. Each value is checked against its field and converted straight to
// the storage type; no document is built in between. Values under keys the reader does
// not know are checked as JSON and skipped. Nothing is returned before the whole packet
// has passed.

// The packet needs four levels; deeper nesting can only come under unknown keys.
constexpr int kMaxDepth = 512;

inline bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// What may not follow a number or a literal directly.
inline bool continuesToken(char16_t c)
{
    return isDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'.' ||
           c == u'+' || c == u'-';
}

inline QString shortened(QStringView s)
{
    return s.size() > 40 ? s.left(40).toString() + QStringLiteral("…") : s.toString();
}

// A number as written; converted once the field says into what.
struct NumberText
{
    const char16_t *begin = nullptr;
    const char16_t *end = nullptr;
    bool integral = false; // neither fraction nor exponent

    QStringView text() const { return QStringView(begin, end); }
    // False outside the range of a double (overflow, or underflow to zero).
    bool toDouble(double &out) const
    {
        const qsizetype n = end - begin;
        QVarLengthArray<char, 64> ascii(n);
        for (qsizetype i = 0; i < n; ++i)
            ascii[i] = char(begin[i]);
        return std::from_chars(ascii.data(), ascii.data() + n, out).ec == std::errc();
    }
    // The rule of Qt's JSON reader, which the format was first read with: an integer as
    // written is exact in the 64-bit range; any other number counts when its double is
    // whole and inside that range (1.0, 1e2, -0).
    bool toInteger(qint64 &out) const
    {
        if (integral) {
            const bool negative = *begin == u'-';
            quint64 v = 0;
            bool overflow = false;
            for (const char16_t *p = begin + negative; p != end && !overflow; ++p)
                overflow =
                    qMulOverflow(v, quint64(10), &v) || qAddOverflow(v, quint64(*p - u'0'), &v);
            if (!overflow && v <= quint64(std::numeric_limits<qint64>::max()) + negative) {
                out = negative ? qint64(0 - v) : qint64(v);
                return true;
            }
        }
        double d = 0;
        if (!toDouble(d) || !(d >= -0x1p63 && d < 0x1p63))
            return false;
        out = qint64(d);
        return double(out) == d;
    }
};

// A scalar read for checking (header keys, field definitions); containers are only
// noted.
struct Scalar
{
    enum Kind { Missing, Null, Bool, Number, String, Container };
    Kind kind = Missing;
    bool boolean = false;
    NumberText number;
    QString text;
};

class PacketReader
{
public:
    PacketReader(const QString &text, bool delta)
        : m_begin(reinterpret_cast<const char16_t *>(text.utf16())), m_end(m_begin + text.size()),
          m_p(m_begin), m_delta(delta),
          m_blank(std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }))
    {}

    // Reads the whole packet and returns its fields; calls readRow(fields, rowNo) with
    // the reader at each element of "rows", once the header and the fields have passed.
    template <typename ReadRow> QList<FieldDef> readPacket(ReadRow readRow);
    QVariantList readValues(const QList<FieldDef> &fields, qsizetype rowNo, bool original);
    DeltaRow readDeltaRow(const QList<FieldDef> &fields, qsizetype rowNo);

private:
    // A value to come back to: its place and the nesting level it sits at.
    struct Mark
    {
        const char16_t *at = nullptr;
        int depth = 0;
    };
    // A string: the text itself when it holds no escapes, else the decoded copy.
    struct Text
    {
        QStringView view;
        bool decoded = false;
    };

    [[noreturn]] void fail(const QString &detail) const
    {
        throw Error(
            (m_delta ? QStringLiteral("变更包格式错误：") : QStringLiteral("数据包格式错误：")) +
            detail + u'。');
    }
    [[noreturn]] void syntaxError(const char *what) const;
    [[noreturn]] void duplicateKey(const QString &where, QStringView key) const
    {
        fail(QStringLiteral("%1键“%2”重复").arg(where, key));
    }
    [[noreturn]] void badValue(const QString &what) const
    {
        fail(QStringLiteral("第 %1 行%2字段“%3”%4")
                 .arg(m_rowNo)
                 .arg(m_original ? QStringLiteral("原值中") : QString(), m_field->name, what));
    }
    // The value has the wrong JSON type: it must still be valid JSON, or that is the fault.
    [[noreturn]] void wrongType(const char *what)
    {
        skipValue();
        badValue(QString::fromUtf8(what));
    }
    [[noreturn]] void badText(QStringView s, const char *expected) const
    {
        badValue(
            QStringLiteral("的值“%1”不是有效的%2").arg(shortened(s), QString::fromUtf8(expected)));
    }

    char16_t peek() const { return m_p < m_end ? *m_p : u'\0'; }
    void skipSpace()
    {
        while (m_p < m_end && (*m_p == u' ' || *m_p == u'\n' || *m_p == u'\r' || *m_p == u'\t'))
            ++m_p;
    }
    void enter()
    {
        if (++m_depth > kMaxDepth)
            syntaxError("嵌套层次过深");
        ++m_p;
    }
    // Reads the value at mark, then goes on where the reader was.
    template <typename F> void revisit(Mark mark, F read)
    {
        const QScopedValueRollback atMark(m_p, mark.at);
        const QScopedValueRollback depth(m_depth, mark.depth);
        read();
    }

    template <typename F> void forEachItem(F item);
    template <typename F> void forEachMember(F member);
    Text readString(QString *decoded);
    NumberText readNumber();
    void readLiteral(std::u16string_view word);
    Scalar readScalar();
    void skipValue();
    void checkHeader(const Scalar &format, const Scalar &version) const;
    QList<FieldDef> readFields();
    QVariant readValue(const FieldDef &field);

    const char16_t *const m_begin;
    const char16_t *const m_end;
    const char16_t *m_p;
    int m_depth = 0;
    bool m_delta;
    bool m_blank;
    // Where the value being read sits, for messages.
    qsizetype m_rowNo = 0;
    bool m_original = false;
    const FieldDef *m_field = nullptr;
};

// At '[': calls item() with the reader at each element; item reads exactly that value.
template <typename F> void PacketReader::forEachItem(F item)
{
    enter();
    skipSpace();
    if (peek() == u']') {
        ++m_p, --m_depth;
        return;
    }
    for (;;) {
        skipSpace();
        item();
        skipSpace();
        const char16_t c = peek();
        if (c == u']')
            break;
        if (c != u',')
            syntaxError("缺少逗号");
        ++m_p;
    }
    ++m_p, --m_depth;
}

// At '{': calls member(key) with the reader at each member's value, which member reads.
template <typename F> void PacketReader::forEachMember(F member)
{
    enter();
    skipSpace();
    if (peek() == u'}') {
        ++m_p, --m_depth;
        return;
    }
    QString decoded;
    for (;;) {
        skipSpace();
        if (peek() != u'"')
            syntaxError("键名应为带引号的文本");
        const QStringView key = readString(&decoded).view;
        skipSpace();
        if (peek() != u':')
            syntaxError("缺少冒号");
        ++m_p;
        skipSpace();
        member(key);
        skipSpace();
        const char16_t c = peek();
        if (c == u'}')
            break;
        if (c != u',')
            syntaxError("缺少逗号");
        ++m_p;
    }
    ++m_p, --m_depth;
}

} // namespace vexa::packet
