#include "PacketReader.h"

namespace vexa::packet {

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

} // namespace vexa::packet
