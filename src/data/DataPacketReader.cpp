#include "DataPacketFormat.h"

#include <vexa/Error.h>

#include <QDate>
#include <QDateTime>
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
// Reading: one pass over the UTF-16 text that knows the JSON grammar and the packet's
// shape together. Each value is checked against its field and converted straight to
// the storage type; no document is built in between. Values under keys the reader does
// not know are checked as JSON and skipped. Nothing is returned before the whole packet
// has passed.

// The packet needs four levels; deeper nesting can only come under unknown keys.
constexpr int kMaxDepth = 512;

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// What may not follow a number or a literal directly.
bool continuesToken(char16_t c)
{
    return isDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'.' ||
           c == u'+' || c == u'-';
}

QString shortened(QStringView s)
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
        const char16_t *resume = m_p;
        const int depth = m_depth;
        m_p = mark.at;
        m_depth = mark.depth;
        read();
        m_p = resume;
        m_depth = depth;
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

void PacketReader::syntaxError(const char *what) const
{
    // At the end the place says nothing: the text stops too early.
    if (m_p >= m_end)
        fail(QStringLiteral("不是有效的 JSON 文本，文本不完整（可能已被截断）"));
    qsizetype line = 1;
    const char16_t *lineStart = m_begin;
    for (const char16_t *q = m_begin; q < m_p; ++q)
        if (*q == u'\n')
            ++line, lineStart = q + 1;
    fail(QStringLiteral("不是有效的 JSON 文本，%1（文本第 %2 行第 %3 列）")
             .arg(QString::fromUtf8(what))
             .arg(line)
             .arg(m_p - lineStart + 1));
}

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

// At the opening quote. Without a place to decode to, the string is only checked.
PacketReader::Text PacketReader::readString(QString *decoded)
{
    const char16_t *const start = ++m_p;
    const char16_t *p = start;
    for (; p < m_end; ++p) {
        if (*p == u'"') {
            m_p = p + 1;
            return {QStringView(start, p), false};
        }
        if (*p == u'\\')
            break;
        if (*p < 0x20) {
            m_p = p;
            syntaxError("文本中有未转义的控制字符");
        }
    }
    if (decoded) {
        decoded->clear();
        decoded->reserve(p - start + 16);
        decoded->append(QStringView(start, p));
    }
    for (;;) {
        // p is at a backslash, the closing quote or the end.
        if (p >= m_end) {
            m_p = m_end;
            syntaxError("");
        }
        if (*p == u'"')
            break;
        const char16_t *const escape = p++;
        if (p >= m_end) {
            m_p = m_end;
            syntaxError("");
        }
        char16_t c = *p++;
        switch (c) {
        case u'"':
        case u'\\':
        case u'/':
            break;
        case u'b':
            c = u'\b';
            break;
        case u'f':
            c = u'\f';
            break;
        case u'n':
            c = u'\n';
            break;
        case u'r':
            c = u'\r';
            break;
        case u't':
            c = u'\t';
            break;
        case u'u':
            // One UTF-16 code unit: a pair of escapes gives a pair, a lone surrogate stays.
            c = 0;
            for (int i = 0; i < 4; ++i, ++p) {
                const char16_t h = p < m_end ? *p : u'\0';
                const int v = isDigit(h)                 ? h - u'0'
                              : (h >= u'a' && h <= u'f') ? h - u'a' + 10
                              : (h >= u'A' && h <= u'F') ? h - u'A' + 10
                                                         : -1;
                if (v < 0) {
                    m_p = p < m_end ? escape : m_end;
                    syntaxError("转义序列无效");
                }
                c = char16_t(c << 4 | v);
            }
            break;
        default:
            m_p = escape;
            syntaxError("转义序列无效");
        }
        if (decoded)
            decoded->append(QChar(c));
        const char16_t *const run = p;
        while (p < m_end && *p != u'"' && *p != u'\\') {
            if (*p < 0x20) {
                m_p = p;
                syntaxError("文本中有未转义的控制字符");
            }
            ++p;
        }
        if (decoded)
            decoded->append(QStringView(run, p));
    }
    m_p = p + 1;
    return {decoded ? QStringView(*decoded) : QStringView(), true};
}

// A number in the strict JSON form: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
NumberText PacketReader::readNumber()
{
    NumberText n;
    n.begin = m_p;
    n.integral = true;
    const auto digits = [this] {
        const char16_t *start = m_p;
        while (m_p < m_end && isDigit(*m_p))
            ++m_p;
        if (m_p == start)
            syntaxError("数字无效或不完整");
    };
    if (peek() == u'-')
        ++m_p;
    if (peek() == u'0')
        ++m_p;
    else
        digits();
    if (peek() == u'.') {
        ++m_p, n.integral = false;
        digits();
    }
    if (peek() == u'e' || peek() == u'E') {
        ++m_p, n.integral = false;
        if (peek() == u'+' || peek() == u'-')
            ++m_p;
        digits();
    }
    if (m_p < m_end && continuesToken(*m_p))
        syntaxError("数字无效或不完整");
    n.end = m_p;
    return n;
}

void PacketReader::readLiteral(std::u16string_view word)
{
    const auto n = std::min(std::size_t(m_end - m_p), word.size());
    if (std::u16string_view(m_p, n) != word.substr(0, n))
        syntaxError("值无效");
    if (n < word.size()) {
        m_p = m_end;
        syntaxError("");
    }
    m_p += n;
    if (m_p < m_end && continuesToken(*m_p))
        syntaxError("值无效");
}

Scalar PacketReader::readScalar()
{
    Scalar s;
    switch (peek()) {
    case u'"': {
        const Text t = readString(&s.text);
        if (!t.decoded)
            s.text = t.view.toString();
        s.kind = Scalar::String;
        break;
    }
    case u't':
    case u'f':
        s.boolean = peek() == u't';
        readLiteral(s.boolean ? u"true" : u"false");
        s.kind = Scalar::Bool;
        break;
    case u'n':
        readLiteral(u"null");
        s.kind = Scalar::Null;
        break;
    case u'{':
    case u'[':
        skipValue();
        s.kind = Scalar::Container;
        break;
    default:
        if (peek() != u'-' && !isDigit(peek()))
            syntaxError("值无效");
        s.number = readNumber();
        s.kind = Scalar::Number;
    }
    return s;
}

// Checks and passes over any value. Not recursive: the open containers are kept in an
// array as deep as the nesting allowed.
void PacketReader::skipValue()
{
    const int base = m_depth;
    bool inObject[kMaxDepth + 1];
    const auto key = [this] {
        skipSpace();
        if (peek() != u'"')
            syntaxError("键名应为带引号的文本");
        readString(nullptr);
        skipSpace();
        if (peek() != u':')
            syntaxError("缺少冒号");
        ++m_p;
    };
    for (;;) {
        skipSpace();
        switch (const char16_t c = peek()) {
        case u'{':
        case u'[':
            enter();
            inObject[m_depth] = c == u'{';
            skipSpace();
            if (peek() != (c == u'{' ? u'}' : u']')) {
                if (c == u'{')
                    key();
                continue; // to the first element
            }
            ++m_p, --m_depth;
            break;
        case u'"':
            readString(nullptr);
            break;
        case u't':
            readLiteral(u"true");
            break;
        case u'f':
            readLiteral(u"false");
            break;
        case u'n':
            readLiteral(u"null");
            break;
        default:
            if (c != u'-' && !isDigit(c))
                syntaxError("值无效");
            readNumber();
        }
        // After a value: close what ends here, or go on to the next element.
        for (;;) {
            if (m_depth == base)
                return;
            skipSpace();
            const char16_t c = peek();
            if (c == (inObject[m_depth] ? u'}' : u']')) {
                ++m_p, --m_depth;
                continue;
            }
            if (c != u',')
                syntaxError("缺少逗号");
            ++m_p;
            if (inObject[m_depth])
                key();
            break;
        }
    }
}

void PacketReader::checkHeader(const Scalar &format, const Scalar &version) const
{
    const QLatin1StringView expected = m_delta ? kDeltaFormat : kDataFormat;
    if (format.kind == Scalar::Missing)
        fail(QStringLiteral("缺少“format”"));
    if (format.kind != Scalar::String || format.text != expected) {
        if (format.kind == Scalar::String && format.text == (m_delta ? kDataFormat : kDeltaFormat))
            fail(m_delta ? QStringLiteral("这是数据包，不是变更包")
                         : QStringLiteral("这是变更包，不是数据包"));
        fail(QStringLiteral("“format”应为“%1”").arg(expected));
    }
    if (version.kind == Scalar::Missing)
        fail(QStringLiteral("缺少版本号“version”"));
    qint64 v = 0;
    if (version.kind != Scalar::Number || !version.number.toInteger(v) || v < 1)
        fail(QStringLiteral("版本号“version”无效"));
    if (v > kVersion)
        fail(QStringLiteral("版本为 %1，本程序只能读取版本 %2 及以前的格式，请升级程序后再打开")
                 .arg(v)
                 .arg(kVersion));
}

template <typename ReadRow> QList<FieldDef> PacketReader::readPacket(ReadRow readRow)
{
    if (m_blank)
        fail(QStringLiteral("内容为空"));
    if (peek() == u'\xfeff') // a byte order mark
        ++m_p;
    skipSpace();
    if (peek() != u'{') {
        skipValue();
        skipSpace();
        if (m_p < m_end)
            syntaxError("结尾有多余内容");
        fail(QStringLiteral("顶层不是 JSON 对象"));
    }

    Scalar format, version;
    Mark fieldsAt, rowsAt;
    bool headerChecked = false, fieldsRead = false, rowsRead = false;
    QList<FieldDef> fields;
    const auto readRows = [&] {
        if (peek() != u'[') {
            skipValue();
            fail(QStringLiteral("行表“rows”不是数组"));
        }
        qsizetype rowNo = 0;
        forEachItem([&] { readRow(fields, ++rowNo); });
    };
    // In the writer's order (format, version, fields, rows) everything is read where it
    // stands; what comes before a key it depends on is read once the object has ended.
    forEachMember([&](QStringView key) {
        if (key == u"format" || key == u"version") {
            Scalar &slot = key == u"format" ? format : version;
            if (slot.kind != Scalar::Missing)
                duplicateKey(QString(), key);
            slot = readScalar();
            return;
        }
        const bool isFields = key == u"fields";
        if (!isFields && key != u"rows")
            return skipValue();
        Mark &mark = isFields ? fieldsAt : rowsAt;
        if (mark.at)
            duplicateKey(QString(), key);
        mark = {m_p, m_depth};
        if (!headerChecked && format.kind != Scalar::Missing && version.kind != Scalar::Missing) {
            checkHeader(format, version);
            headerChecked = true;
        }
        if (isFields && headerChecked) {
            fields = readFields();
            fieldsRead = true;
        } else if (!isFields && fieldsRead) {
            readRows();
            rowsRead = true;
        } else {
            skipValue();
        }
    });
    skipSpace();
    if (m_p < m_end)
        syntaxError("结尾有多余内容");

    if (!headerChecked)
        checkHeader(format, version);
    if (!fieldsRead) {
        if (!fieldsAt.at)
            fail(QStringLiteral("缺少字段表“fields”"));
        revisit(fieldsAt, [&] { fields = readFields(); });
    }
    if (!rowsRead) {
        if (!rowsAt.at)
            fail(QStringLiteral("缺少行表“rows”"));
        revisit(rowsAt, readRows);
    }
    return fields;
}

QList<FieldDef> PacketReader::readFields()
{
    if (peek() != u'[') {
        skipValue();
        fail(QStringLiteral("字段表“fields”不是数组"));
    }
    QList<FieldDef> fields;
    FieldNameIndex names;
    forEachItem([&] {
        if (fields.size() == kMaxPacketFields)
            fail(QStringLiteral("字段表“fields”超过 %1 个字段的上限").arg(kMaxPacketFields));
        const QString where = QStringLiteral("第 %1 个字段").arg(fields.size() + 1);
        if (peek() != u'{') {
            skipValue();
            fail(where + QStringLiteral("不是对象"));
        }
        Scalar name, type, size, required, calculated;
        forEachMember([&](QStringView key) {
            Scalar *slot = key == u"name"         ? &name
                           : key == u"type"       ? &type
                           : key == u"size"       ? &size
                           : key == u"required"   ? &required
                           : key == u"calculated" ? &calculated
                                                  : nullptr;
            if (!slot)
                return skipValue();
            if (slot->kind != Scalar::Missing)
                duplicateKey(where + u'的', key);
            *slot = readScalar();
        });

        FieldDef f;
        if (name.kind != Scalar::String || name.text.isEmpty())
            fail(where + QStringLiteral("缺少名称“name”或名称不是文本"));
        f.name = name.text;
        const QString label = QStringLiteral("字段“%1”").arg(f.name);
        if (!names.add(f.name, int(fields.size())))
            fail(label + QStringLiteral("重复（字段名不区分大小写）"));

        if (type.kind != Scalar::String)
            fail(label + QStringLiteral("缺少类型“type”或类型不是文本"));
        const std::optional<FieldType> t = fieldTypeFromName(type.text);
        if (!t)
            fail(label + QStringLiteral("的类型“%1”未知").arg(type.text));
        f.type = *t;

        if (size.kind != Scalar::Missing) {
            qint64 n = -1;
            if (size.kind != Scalar::Number || !size.number.toInteger(n) || n < 0 ||
                n > std::numeric_limits<int>::max())
                fail(label + QStringLiteral("的长度“size”不是非负整数"));
            f.size = int(n);
        }
        const auto flag = [&](const Scalar &value, const char *key) {
            if (value.kind == Scalar::Missing)
                return false;
            if (value.kind != Scalar::Bool)
                fail(label +
                     QStringLiteral("的“%1”不是 true 或 false").arg(QLatin1StringView(key)));
            return value.boolean;
        };
        f.required = flag(required, "required");
        f.calculated = flag(calculated, "calculated");
        fields.append(std::move(f));
    });
    return fields;
}

QVariantList PacketReader::readValues(const QList<FieldDef> &fields, qsizetype rowNo, bool original)
{
    m_rowNo = rowNo;
    m_original = original;
    const QString part = original ? QStringLiteral("的原值") : QString();
    if (peek() != u'[') {
        skipValue();
        fail(QStringLiteral("第 %1 行%2不是数组").arg(rowNo).arg(part));
    }
    const qsizetype width = fields.size();
    const FieldDef *field = fields.constData();
    QVariantList values;
    values.reserve(width);
    qsizetype count = 0;
    forEachItem([&] {
        if (count < width)
            values.emplaceBack(readValue(field[count]));
        else
            skipValue(); // counted for the message
        ++count;
    });
    if (count != width)
        fail(QStringLiteral("第 %1 行%2有 %3 个值，应为 %4 个")
                 .arg(rowNo)
                 .arg(part)
                 .arg(count)
                 .arg(width));
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

QVariant PacketReader::readValue(const FieldDef &field)
{
    m_field = &field;
    const char16_t c = peek();
    if (c == u'n') {
        readLiteral(u"null");
        return QVariant();
    }

    switch (field.type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo: {
        if (c != u'"')
            wrongType("的值不是文本");
        QString decoded;
        const Text text = readString(&decoded);
        QString s = text.decoded ? std::move(decoded) : text.view.toString();
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
        if (c != u'-' && !isDigit(c))
            wrongType("的值不是整数");
        const NumberText number = readNumber();
        qint64 n = 0;
        if (!number.toInteger(n))
            badValue(QStringLiteral("的值 %1 不是整数或超出范围").arg(shortened(number.text())));
        if (field.type == FieldType::LargeInt)
            return QVariant(qlonglong(n));
        qint64 low = std::numeric_limits<qint32>::min(), high = std::numeric_limits<qint32>::max();
        if (field.type == FieldType::SmallInt)
            low = std::numeric_limits<qint16>::min(), high = std::numeric_limits<qint16>::max();
        else if (field.type == FieldType::Word)
            low = 0, high = std::numeric_limits<quint16>::max();
        if (n < low || n > high)
            badValue(QStringLiteral("的值 %1 超出范围（%2 至 %3）").arg(n).arg(low).arg(high));
        return QVariant(int(n));
    }
    case FieldType::Boolean:
        if (c != u't' && c != u'f')
            wrongType("的值不是 true 或 false");
        readLiteral(c == u't' ? u"true" : u"false");
        return QVariant(c == u't');
    case FieldType::Float:
    case FieldType::BCD:
    case FieldType::Currency: {
        if (c != u'-' && !isDigit(c))
            wrongType("的值不是数字");
        const NumberText number = readNumber();
        double d = 0;
        if (!number.toDouble(d))
            badValue(QStringLiteral("的值 %1 超出范围").arg(shortened(number.text())));
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
        if (c != u'"')
            wrongType("的值不是文本");
        QString decoded;
        const QStringView s = readString(&decoded).view;
        qsizetype pos = 0;
        QDate d;
        QTime t;
        if (field.type == FieldType::Time) {
            if (!parseTime(s, 0, t))
                badText(s, expected[k]);
            return QVariant(t);
        }
        // A date's year may have up to nine digits; a date and time stays well inside
        // the range QDateTime counts in milliseconds.
        if (!parseDate(s, pos, field.type == FieldType::Date ? 9 : 6, d))
            badText(s, expected[k]);
        if (field.type == FieldType::Date) {
            if (pos != s.size())
                badText(s, expected[k]);
            return QVariant(d);
        }
        if (pos >= s.size() || s[pos] != u'T' || !parseTime(s, pos + 1, t))
            badText(s, expected[k]);
        const QDateTime dt(d, t);
        if (!dt.isValid() || dt.date() != d)
            badText(s, expected[k]);
        return QVariant(dt);
    }
    case FieldType::Blob: {
        if (c != u'"')
            wrongType("的值不是 Base64 文本");
        QString decoded;
        const QStringView s = readString(&decoded).view;
        // Characters outside Latin-1 become '?', which the decoder refuses.
        auto bytes =
            QByteArray::fromBase64Encoding(s.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!bytes)
            badText(s, "Base64 编码");
        return QVariant(std::move(*bytes));
    }
    }
    Q_UNREACHABLE();
    return {};
}

DeltaRow PacketReader::readDeltaRow(const QList<FieldDef> &fields, qsizetype rowNo)
{
    if (peek() != u'{') {
        skipValue();
        fail(QStringLiteral("第 %1 行不是对象").arg(rowNo));
    }
    const auto valuesKey = QLatin1StringView("values");
    const auto originalKey = QLatin1StringView("original");
    DeltaRow row;
    const ChangeKind *kind = nullptr;
    bool changeSeen = false, valuesRead = false, originalRead = false;
    Mark valuesAt, originalAt;
    const auto unknownChange = [&] {
        fail(QStringLiteral("第 %1 行的变更类型“change”未知，应为 insert、modify 或 delete")
                 .arg(rowNo));
    };
    const auto shape = [&](QLatin1StringView key, bool present, bool wanted) {
        if (present != wanted)
            fail(QStringLiteral("第 %1 行是%2，%3“%4”")
                     .arg(rowNo)
                     .arg(QString::fromUtf8(kind->label),
                          wanted ? QStringLiteral("缺少") : QStringLiteral("不应有"), key));
    };
    const auto read = [&](bool original) {
        (original ? row.original : row.values) = readValues(fields, rowNo, original);
    };
    // With "change" first, as the writer puts it, the values are read where they stand.
    forEachMember([&](QStringView key) {
        if (key == u"change") {
            if (changeSeen)
                duplicateKey(QStringLiteral("第 %1 行的").arg(rowNo), key);
            changeSeen = true;
            const Scalar change = readScalar();
            const auto it = std::find_if(
                std::begin(kChangeKinds), std::end(kChangeKinds), [&](const ChangeKind &k) {
                    return change.kind == Scalar::String && change.text == QStringView(k.name);
                });
            if (it == std::end(kChangeKinds))
                unknownChange();
            kind = it;
            row.kind = kind->kind;
            return;
        }
        const bool original = key == originalKey;
        if (!original && key != valuesKey)
            return skipValue();
        Mark &mark = original ? originalAt : valuesAt;
        if (mark.at)
            duplicateKey(QStringLiteral("第 %1 行的").arg(rowNo), key);
        mark = {m_p, m_depth};
        if (!kind)
            return skipValue();
        shape(original ? originalKey : valuesKey, true, original ? kind->original : kind->values);
        read(original);
        (original ? originalRead : valuesRead) = true;
    });
    if (!kind)
        unknownChange();
    shape(originalKey, originalAt.at, kind->original);
    shape(valuesKey, valuesAt.at, kind->values);
    if (kind->original && !originalRead)
        revisit(originalAt, [&] { read(true); });
    if (kind->values && !valuesRead)
        revisit(valuesAt, [&] { read(false); });
    return row;
}

} // namespace

DataPacket readDataPacket(const QString &text)
{
    PacketReader reader(text, false);
    DataPacket packet;
    packet.fields = reader.readPacket([&](const QList<FieldDef> &fields, qsizetype rowNo) {
        packet.rows.push_back(reader.readValues(fields, rowNo, false));
    });
    return packet;
}

DeltaPacket readDeltaPacket(const QString &text)
{
    PacketReader reader(text, true);
    DeltaPacket delta;
    delta.fields = reader.readPacket([&](const QList<FieldDef> &fields, qsizetype rowNo) {
        delta.rows.push_back(reader.readDeltaRow(fields, rowNo));
    });
    return delta;
}

} // namespace vexa
