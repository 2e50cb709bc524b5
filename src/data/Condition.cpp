#include "Condition.h"

#include <vexa/Error.h>

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <cmath>

namespace vexa::cond {

namespace {

// Deeper nesting is refused, so that no text can exhaust the stack of the parser, the
// evaluator or the printer, which all recurse over the tree.
constexpr int kMaxDepth = 200;

// ---- Characters and words ------------------------------------------------------------

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Code point at i; width gets 2 for a surrogate pair (CJK extension letters).
char32_t codePointAt(QStringView s, qsizetype i, qsizetype *width)
{
    const bool pair = s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate();
    *width = pair ? 2 : 1;
    return pair ? QChar::surrogateToUcs4(s[i], s[i + 1]) : s[i].unicode();
}

bool isNameStart(char32_t cp)
{
    return cp == U'_' || QChar::isLetter(cp);
}

bool isNamePart(char32_t cp)
{
    return isNameStart(cp) || QChar::isDigit(cp);
}

// End of the name part that starts at i (i itself when there is none).
qsizetype nameEnd(QStringView s, qsizetype i)
{
    qsizetype w = 1;
    while (i < s.size() && isNamePart(codePointAt(s, i, &w)))
        i += w;
    return i;
}

// Keywords match on ASCII letters only: no Unicode case folding turns a name into one.
bool isWord(QStringView text, const char *keyword)
{
    qsizetype i = 0;
    for (; keyword[i]; ++i) {
        const char16_t c = i < text.size() ? text[i].unicode() : 0;
        if ((c >= u'a' && c <= u'z' ? c - 32 : c) != char16_t(keyword[i]))
            return false;
    }
    return i == text.size();
}

bool isAnyWord(QStringView text, std::initializer_list<const char *> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char *w) { return isWord(text, w); });
}

// Words that cannot be column names (write [Order] for such a column).
bool isReserved(QStringView text)
{
    return isAnyWord(text, {"AND", "OR", "NOT", "LIKE", "IN", "IS", "NULL", "TRUE", "FALSE",
                            "WHERE", "ORDER", "TOP", "SELECT", "UNION"});
}

// Words that begin another statement or a sub-query, named as such in the message.
bool isStatementWord(QStringView text)
{
    return isAnyWord(text, {"SELECT", "UNION", "EXISTS", "INSERT", "UPDATE", "DELETE", "DROP",
                            "EXEC", "EXECUTE", "FROM", "INTO", "TRUNCATE", "ALTER", "CREATE"});
}

QString quoted(QStringView text)
{
    constexpr qsizetype kMax = 30;
    const bool cut = text.size() > kMax;
    return u'“' + text.left(kMax).toString() + (cut ? QStringLiteral("…”") : QStringLiteral("”"));
}

// ---- Literal texts read as numbers and dates -----------------------------------------

// "2024-01-31", "2024/1/31", "2024-01-31 10:00:00", "2024/1/31 9:05", "2024-01-31T10:00",
// "10:30:00.5": the ISO form and the one the filter builder writes from a zh-CN workstation.
void readDateTimeText(QStringView text, Node::Cache *c)
{
    const QStringList parts = text.toString().replace(u'T', u' ').split(u' ', Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.size() > 2)
        return;
    const QDate date =
        QDate::fromString(QString(parts.front()).replace(u'/', u'-'), QStringLiteral("yyyy-M-d"));
    QTime time;
    for (const char *format : {"H:mm:ss", "H:mm", "H:mm:ss.z"}) {
        if (!time.isValid())
            time = QTime::fromString(parts.back(), QLatin1String(format));
    }
    if (date.isValid() && (parts.size() == 1 || time.isValid())) {
        c->hasDate = true;
        c->date = date;
        c->hasTime = parts.size() == 2;
        c->time = c->hasTime ? time : QTime(0, 0);
    } else if (parts.size() == 1 && time.isValid()) {
        c->hasTime = true;
        c->time = time;
    }
}

void readNumber(QStringView text, Node::Cache *c)
{
    const QStringView t = text.trimmed();
    c->integer = t.toLongLong(&c->isInteger);
    c->number = c->isInteger ? double(c->integer) : t.toDouble(&c->isNumber);
    c->isNumber = c->isInteger || (c->isNumber && std::isfinite(c->number));
}

// ---- Parser ----------------------------------------------------------------------------

enum class Tok { End, Word, Name, String, Integer, Real, Op, Open, Close, Comma, Minus, Plus };

struct Token
{
    Tok kind = Tok::End;
    int pos = 0;
    int len = 0;
    QString text; // Word, Name: the name; String: the value, quotes undone
    QVariant number;
    CompareOp op = CompareOp::Eq;
};

class Parser
{
public:
    Parser(const QString &source, QString subject) : m_src(source), m_subject(std::move(subject))
    {
        advance();
    }

    const Token &token() const { return m_tok; }
    bool at(Tok kind) const { return m_tok.kind == kind; }
    bool atWord(const char *keyword) const { return at(Tok::Word) && isWord(m_tok.text, keyword); }
    void advance()
    {
        m_tok = m_hasPeek ? std::move(m_peek) : lex();
        m_hasPeek = false;
    }
    const Token &peek()
    {
        if (!m_hasPeek)
            m_peek = lex(), m_hasPeek = true;
        return m_peek;
    }

    [[noreturn]] void fail(int pos, const QString &problem) const
    {
        constexpr qsizetype kExcerpt = 80;
        QString excerpt = m_src.simplified();
        if (excerpt.size() > kExcerpt)
            excerpt = excerpt.left(kExcerpt) + u'…';
        const QString where = QStringLiteral("第 %1 个字符处").arg(pos + 1) +
                              (pos >= m_src.size() ? QStringLiteral("（结尾）") : QString());
        throw Error(
            QStringLiteral("%1%2有错误：%3。（%4）").arg(m_subject, where, problem, excerpt));
    }

    // The current token does not fit where expected would.
    [[noreturn]] void unexpected(const QString &expected) const
    {
        if (at(Tok::End))
            fail(m_tok.pos, QStringLiteral("内容不完整，此处应为%1").arg(expected));
        const QStringView text = QStringView(m_src).mid(m_tok.pos, m_tok.len);
        if (at(Tok::Word) && isStatementWord(text))
            fail(m_tok.pos, QStringLiteral("不允许子查询或其他语句%1").arg(quoted(text)));
        fail(m_tok.pos, QStringLiteral("此处应为%1，实际为%2").arg(expected, quoted(text)));
    }

    NodePtr orExpression() { return chain(NodeKind::Or, "OR"); }
    NodePtr column(const QString &expected);

private:
    Token lex();
    qsizetype lexNumber(Token &t, qsizetype i);
    qsizetype lexQuoted(Token &t, qsizetype i, QChar close);
    NodePtr chain(NodeKind kind, const char *keyword);
    NodePtr notExpression();
    NodePtr predicate();
    NodePtr operand();
    void enter(int pos)
    {
        if (++m_depth > kMaxDepth)
            fail(pos, QStringLiteral("括号或 NOT 嵌套超过 %1 层").arg(kMaxDepth));
    }

    const QString &m_src;
    QString m_subject;
    qsizetype m_next = 0;
    Token m_tok, m_peek;
    bool m_hasPeek = false;
    int m_depth = 0;
};

Token Parser::lex()
{
    const QStringView s(m_src);
    qsizetype i = m_next;
    while (i < s.size() && s[i].isSpace())
        ++i;
    Token t;
    t.pos = int(i);
    const auto token = [&](Tok kind, qsizetype end) {
        t.kind = kind;
        t.len = int(end - i);
        m_next = end;
        return t;
    };
    if (i >= s.size())
        return token(Tok::End, i);
    const QChar c = s[i], next = i + 1 < s.size() ? s[i + 1] : QChar();
    qsizetype w = 1;
    if (c == u'\'')
        return token(Tok::String, lexQuoted(t, i, u'\''));
    if (c == u'[')
        return token(Tok::Name, lexQuoted(t, i, u']'));
    if (isAsciiDigit(c) || (c == u'.' && isAsciiDigit(next)))
        return token(t.kind, lexNumber(t, i));
    if (isNameStart(codePointAt(s, i, &w))) {
        t.text = s.mid(i, nameEnd(s, i + w) - i).toString();
        return token(Tok::Word, i + t.text.size());
    }
    switch (c.unicode()) {
    case u'(':
        return token(Tok::Open, i + 1);
    case u')':
        return token(Tok::Close, i + 1);
    case u',':
        return token(Tok::Comma, i + 1);
    case u'+':
        return token(Tok::Plus, i + 1);
    case u'=':
        return token(Tok::Op, i + 1);
    case u'<':
        t.op = next == u'=' ? CompareOp::Le : next == u'>' ? CompareOp::Ne : CompareOp::Lt;
        return token(Tok::Op, t.op == CompareOp::Lt ? i + 1 : i + 2);
    case u'>':
        t.op = next == u'=' ? CompareOp::Ge : CompareOp::Gt;
        return token(Tok::Op, t.op == CompareOp::Gt ? i + 1 : i + 2);
    case u'!':
        if (next != u'=')
            break;
        t.op = CompareOp::Ne;
        return token(Tok::Op, i + 2);
    case u'-':
        if (next == u'-')
            fail(t.pos, QStringLiteral("不允许注释“--”"));
        return token(Tok::Minus, i + 1);
    case u'/':
        if (next == u'*')
            fail(t.pos, QStringLiteral("不允许注释“/*”"));
        [[fallthrough]];
    case u'*':
    case u'%':
        fail(t.pos, QStringLiteral("不支持算术运算%1，条件中只能比较字段和常量值")
                        .arg(quoted(s.mid(i, 1))));
    case u'"':
        fail(t.pos, QStringLiteral("不允许用双引号括起的内容，文本值请用单引号括起"));
    case u';':
        fail(t.pos, QStringLiteral("不允许分号“;”，只能写一个条件"));
    default:
        break;
    }
    fail(t.pos, QStringLiteral("不认识的符号%1").arg(quoted(s.mid(i, w))));
}

// 'text' with '' for a quote, or [name] with ]] for a bracket; answers the end.
qsizetype Parser::lexQuoted(Token &t, qsizetype i, QChar close)
{
    const QStringView s(m_src);
    for (qsizetype from = i + 1, j = from; j < s.size(); ++j) {
        if (s[j] != close)
            continue;
        t.text += s.mid(from, j - from);
        if (j + 1 < s.size() && s[j + 1] == close) {
            t.text += close;
            from = ++j + 1;
            continue;
        }
        if (close == u']' && t.text.isEmpty())
            fail(t.pos, QStringLiteral("方括号内缺少字段名"));
        return j + 1;
    }
    if (close == u']')
        fail(t.pos, QStringLiteral("字段名%1缺少结尾的“]”").arg(quoted(s.mid(i))));
    fail(t.pos, QStringLiteral("文本%1缺少结尾的单引号").arg(quoted(s.mid(i))));
}

// digits [. digits] [e [+-] digits], or . digits ...; answers the end.
qsizetype Parser::lexNumber(Token &t, qsizetype i)
{
    const QStringView s(m_src);
    const auto digits = [&](qsizetype j) {
        while (j < s.size() && isAsciiDigit(s[j]))
            ++j;
        return j;
    };
    const qsizetype start = i;
    i = digits(i);
    bool whole = true;
    if (i < s.size() && s[i] == u'.')
        i = digits(i + 1), whole = false;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        const qsizetype sign = i + 1 < s.size() && (s[i + 1] == u'+' || s[i + 1] == u'-');
        if (i + 1 + sign < s.size() && isAsciiDigit(s[i + 1 + sign]))
            i = digits(i + 1 + sign), whole = false;
    }
    if (const qsizetype end = nameEnd(s, i); end > i)
        fail(t.pos, QStringLiteral("数字后面紧跟着字母%1").arg(quoted(s.mid(start, end - start))));
    const QStringView text = s.mid(start, i - start);
    bool ok = false;
    const qlonglong n = whole ? text.toLongLong(&ok) : 0;
    t.kind = ok ? Tok::Integer : Tok::Real;
    t.number = ok ? QVariant(n) : QVariant(text.toDouble(&ok));
    if (!ok || !std::isfinite(t.number.toDouble()))
        fail(t.pos, QStringLiteral("数值%1超出范围").arg(quoted(text)));
    return i;
}

NodePtr makeNode(NodeKind kind, int position)
{
    auto n = std::make_unique<Node>();
    n->kind = kind;
    n->position = position;
    return n;
}

void prepare(Node &n)
{
    n.cache = Node::Cache();
    if (n.kind == NodeKind::Literal && n.value.typeId() == QMetaType::QString) {
        const QString &text = *static_cast<const QString *>(n.value.constData());
        readNumber(text, &n.cache);
        if (!text.trimmed().isEmpty() && isAsciiDigit(text.trimmed().front()))
            readDateTimeText(text, &n.cache);
    } else if (n.kind == NodeKind::Negate && n.children.size() == 1) {
        const QVariant &v = n.children[0]->value;
        if (v.typeId() == QMetaType::Double)
            n.cache.negated = -v.toDouble();
        else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
            n.cache.negated = -v.toLongLong();
    } else if (n.kind == NodeKind::Compare && n.children.size() == 2 &&
               (n.op == CompareOp::Eq || n.op == CompareOp::Ne)) {
        for (int i : {0, 1}) {
            const Node &column = *n.children[i], &other = *n.children[1 - i];
            if (column.kind == NodeKind::Column && column.index >= 0 &&
                other.kind == NodeKind::Literal && other.value.typeId() == QMetaType::QString &&
                !other.value.isNull()) {
                n.cache.textIndex = column.index;
                n.cache.text = other.value.toString();
            }
        }
    }
    n.cache.ready = true;
}

// OR of AND terms, or AND of NOT terms. Terms of the same kind merge: "(a AND b) AND c"
// is one AND of three.
NodePtr Parser::chain(NodeKind kind, const char *keyword)
{
    const auto term = [&] {
        return kind == NodeKind::Or ? chain(NodeKind::And, "AND") : notExpression();
    };
    NodePtr first = term();
    if (!atWord(keyword))
        return first;
    NodePtr node = makeNode(kind, first->position);
    for (NodePtr t = std::move(first); t; t = atWord(keyword) ? (advance(), term()) : nullptr) {
        if (t->kind != kind)
            node->children.push_back(std::move(t));
        else
            std::move(t->children.begin(), t->children.end(), std::back_inserter(node->children));
    }
    return node;
}

NodePtr Parser::notExpression()
{
    if (!atWord("NOT"))
        return predicate();
    NodePtr node = makeNode(NodeKind::Not, m_tok.pos);
    enter(m_tok.pos);
    advance();
    node->children.push_back(notExpression());
    --m_depth;
    return node;
}

NodePtr Parser::predicate()
{
    if (at(Tok::Open)) {
        const int open = m_tok.pos;
        enter(open);
        advance();
        if (at(Tok::Close))
            fail(m_tok.pos, QStringLiteral("括号内缺少条件"));
        NodePtr inner = orExpression();
        if (!at(Tok::Close))
            unexpected(QStringLiteral("与第 %1 个字符处的“(”配对的“)”").arg(open + 1));
        --m_depth;
        advance();
        return inner;
    }
    NodePtr left = operand();
    const bool negated = atWord("NOT");
    if (negated) {
        advance();
        if (!atWord("LIKE") && !atWord("IN"))
            unexpected(QStringLiteral("LIKE 或 IN"));
    }
    const NodeKind kind = at(Tok::Op)      ? NodeKind::Compare
                          : atWord("LIKE") ? NodeKind::Like
                          : atWord("IN")   ? NodeKind::In
                          : atWord("IS")   ? NodeKind::IsNull
                                           : NodeKind::Literal;
    if (kind == NodeKind::Literal)
        unexpected(QStringLiteral("比较运算符（= <> < > <= >=、LIKE、IN 或 IS NULL）"));
    NodePtr node = makeNode(kind, left->position);
    node->op = m_tok.op;
    node->negated = negated;
    node->children.push_back(std::move(left));
    advance();
    if (kind == NodeKind::Compare || kind == NodeKind::Like) {
        node->children.push_back(operand());
    } else if (kind == NodeKind::IsNull) {
        node->negated = atWord("NOT");
        if (node->negated)
            advance();
        if (!atWord("NULL"))
            unexpected(QStringLiteral("NULL"));
        advance();
    } else {
        if (!at(Tok::Open))
            unexpected(QStringLiteral("IN 后面的“(”"));
        do {
            advance();
            NodePtr item = operand();
            if (item->kind == NodeKind::Column)
                fail(item->position, QStringLiteral("IN 的列表中只能写常量值，不能写字段%1")
                                         .arg(quoted(item->name)));
            node->children.push_back(std::move(item));
        } while (at(Tok::Comma));
        if (!at(Tok::Close))
            unexpected(QStringLiteral("“,”或“)”"));
        advance();
    }
    return node;
}

NodePtr Parser::column(const QString &expected)
{
    const bool word = at(Tok::Word) && !isReserved(m_tok.text);
    if (word && peek().kind == Tok::Open)
        fail(m_tok.pos, QStringLiteral("不允许调用函数%1").arg(quoted(QString(m_tok.text + u'('))));
    if (!word && !at(Tok::Name))
        unexpected(expected);
    NodePtr node = makeNode(NodeKind::Column, m_tok.pos);
    node->name = m_tok.text;
    advance();
    return node;
}

// A column, a literal, or a number with a sign. Nothing else: no arithmetic, no calls.
NodePtr Parser::operand()
{
    NodePtr node;
    if (at(Tok::String) || at(Tok::Integer) || at(Tok::Real) || atWord("NULL") || atWord("TRUE") ||
        atWord("FALSE")) {
        node = makeNode(NodeKind::Literal, m_tok.pos);
        node->value = at(Tok::String) ? QVariant(m_tok.text)
                      : at(Tok::Word) ? (atWord("NULL") ? QVariant() : QVariant(atWord("TRUE")))
                                      : m_tok.number;
        advance();
    } else if (at(Tok::Minus) || at(Tok::Plus)) {
        const bool minus = at(Tok::Minus);
        const int sign = m_tok.pos;
        advance();
        if (!at(Tok::Integer) && !at(Tok::Real))
            unexpected(QStringLiteral("正负号后面的数字"));
        node = operand();
        if (!minus)
            return node;
        NodePtr number = std::move(node);
        node = makeNode(NodeKind::Negate, sign);
        node->children.push_back(std::move(number));
    } else {
        node = column(QStringLiteral("字段名或常量值"));
    }
    if (at(Tok::Plus) || at(Tok::Minus))
        fail(m_tok.pos, QStringLiteral("不支持算术运算%1，条件中只能比较字段和常量值")
                            .arg(quoted(at(Tok::Plus) ? u"+" : u"-")));
    prepare(*node);
    return node;
}

// ---- Evaluation ------------------------------------------------------------------------

enum class Truth : unsigned char { False, True, Unknown };

Truth truthOf(bool b)
{
    return b ? Truth::True : Truth::False;
}

enum class Cat { Number, Text, Moment, Other };

Cat categoryOf(const QVariant &v)
{
    static constexpr int kNumbers[] = {QMetaType::Bool,     QMetaType::Int,       QMetaType::UInt,
                                       QMetaType::LongLong, QMetaType::ULongLong, QMetaType::Short,
                                       QMetaType::UShort,   QMetaType::Long,      QMetaType::ULong,
                                       QMetaType::Double,   QMetaType::Float};
    const int id = v.typeId();
    if (id == QMetaType::QString || id == QMetaType::QByteArray || id == QMetaType::QChar)
        return Cat::Text;
    if (id == QMetaType::QDate || id == QMetaType::QDateTime || id == QMetaType::QTime)
        return Cat::Moment;
    return std::find(std::begin(kNumbers), std::end(kNumbers), id) != std::end(kNumbers)
               ? Cat::Number
               : Cat::Other;
}

bool isFloating(const QVariant &v)
{
    return v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
}

// A value taking part in a comparison, with what the parser read from it when it is a
// text literal (null for row values, which are read when needed).
struct Value
{
    const QVariant *v = nullptr;
    const Node::Cache *cache = nullptr;
};

Value valueOf(const Node &n, const QVariant *row)
{
    static const QVariant null;
    switch (n.kind) {
    case NodeKind::Column:
        return {n.index >= 0 ? &row[n.index] : &null};
    case NodeKind::Literal:
        return {&n.value, n.cache.ready ? &n.cache : nullptr};
    case NodeKind::Negate:
        return {n.cache.ready ? &n.cache.negated : &null};
    default:
        return {};
    }
}

const QString &textOf(const QVariant &v, QString &scratch)
{
    if (v.typeId() == QMetaType::QString)
        return *static_cast<const QString *>(v.constData());
    if (v.typeId() == QMetaType::QByteArray)
        return scratch = QString::fromUtf8(*static_cast<const QByteArray *>(v.constData()));
    return scratch = v.toString();
}

// Text of any value as LIKE sees it.
const QString &likeText(const QVariant &v, QString &scratch)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return scratch = QString::number(int(v.toBool()));
    case QMetaType::Double:
    case QMetaType::Float:
        return scratch = QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QDate:
        return scratch = v.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return scratch = v.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::QDateTime:
        return scratch = v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    default:
        return textOf(v, scratch);
    }
}

// What a text means as a number or a date: worked out already for a literal, read now
// for a row value.
const Node::Cache &readIfNeeded(const Value &v, Node::Cache &scratch,
                                void (*read)(QStringView, Node::Cache *))
{
    if (v.cache)
        return *v.cache;
    QString text;
    read(textOf(*v.v, text), &scratch);
    return scratch;
}

template <typename T> std::optional<int> threeWay(const T &a, const T &b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// A number against a text that reads as a number; nothing when it does not.
std::optional<int> numberAgainstText(const QVariant &number, const Value &text)
{
    Node::Cache scratch;
    const Node::Cache &c = readIfNeeded(text, scratch, readNumber);
    if (!c.isNumber || (isFloating(number) && std::isnan(number.toDouble())))
        return std::nullopt;
    if (!isFloating(number) && c.isInteger)
        return threeWay(number.toLongLong(), c.integer);
    return threeWay(number.toDouble(), c.number);
}

constexpr qint64 kNoDay = std::numeric_limits<qint64>::min();

// A date, a time or a date-time as (day, milliseconds); a time alone has no day, and
// compares only with another time.
std::optional<std::pair<qint64, int>> momentOf(const Value &v)
{
    switch (v.v->typeId()) {
    case QMetaType::QDate:
        return std::pair(v.v->toDate().toJulianDay(), 0);
    case QMetaType::QTime:
        return std::pair(kNoDay, v.v->toTime().msecsSinceStartOfDay());
    case QMetaType::QDateTime: {
        const QDateTime dt = v.v->toDateTime();
        return std::pair(dt.date().toJulianDay(), dt.time().msecsSinceStartOfDay());
    }
    default:
        break;
    }
    Node::Cache scratch;
    const Node::Cache &c = readIfNeeded(v, scratch, readDateTimeText);
    if (!c.hasDate && !c.hasTime)
        return std::nullopt;
    return std::pair(c.hasDate ? c.date.toJulianDay() : kNoDay, c.time.msecsSinceStartOfDay());
}

// -1, 0 or 1; nothing when the values do not compare (the comparison is then unknown).
// Neither value is null.
std::optional<int> order(const Value &a, const Value &b)
{
    const Cat ca = categoryOf(*a.v), cb = categoryOf(*b.v);
    if (ca == Cat::Text && cb == Cat::Text) {
        QString sa, sb;
        return threeWay(QString::compare(textOf(*a.v, sa), textOf(*b.v, sb)), 0);
    }
    if (ca == Cat::Number && cb == Cat::Number) {
        if (!isFloating(*a.v) && !isFloating(*b.v))
            return threeWay(a.v->toLongLong(), b.v->toLongLong());
        const double x = a.v->toDouble(), y = b.v->toDouble();
        return std::isnan(x) || std::isnan(y) ? std::nullopt : threeWay(x, y);
    }
    if (ca == Cat::Number && cb == Cat::Text)
        return numberAgainstText(*a.v, b);
    if (ca == Cat::Text && cb == Cat::Number) {
        const auto r = numberAgainstText(*b.v, a);
        return r ? std::optional(-*r) : std::nullopt;
    }
    if ((ca == Cat::Moment || ca == Cat::Text) && (cb == Cat::Moment || cb == Cat::Text)) {
        const auto x = momentOf(a), y = momentOf(b);
        if (!x || !y || (x->first == kNoDay) != (y->first == kNoDay))
            return std::nullopt;
        return threeWay(*x, *y);
    }
    return std::nullopt;
}

bool isNullLiteral(const Node &n)
{
    return n.kind == NodeKind::Literal && n.value.isNull();
}

char16_t foldAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? c + 32 : c;
}

qsizetype charWidth(QStringView s, qsizetype i)
{
    return (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) ? 2 : 1;
}

// LIKE with % (any run) and _ (one character), ASCII letters in either case. Greedy with
// one point to back-track to, never recursive.
bool likeMatch(QStringView s, QStringView p)
{
    qsizetype si = 0, pi = 0, starP = -1, starS = 0;
    while (si < s.size()) {
        const char16_t pc = pi < p.size() ? p[pi].unicode() : 0;
        if (pi < p.size() && pc == u'%') {
            starP = ++pi;
            starS = si;
        } else if (pi < p.size() && (pc == u'_' || foldAscii(pc) == foldAscii(s[si].unicode()))) {
            si += pc == u'_' ? charWidth(s, si) : 1;
            ++pi;
        } else if (starP < 0) {
            return false;
        } else {
            starS += charWidth(s, starS);
            si = starS;
            pi = starP;
        }
    }
    while (pi < p.size() && p[pi] == u'%')
        ++pi;
    return pi == p.size();
}

Truth isNullTruth(const Node &n, const QVariant *row, bool negated)
{
    const Value v = valueOf(n, row);
    return v.v ? truthOf(v.v->isNull() != negated) : Truth::Unknown;
}

Truth evaluate(const Node &n, const QVariant *row);

Truth compare(const Node &n, const QVariant *row)
{
    if (n.cache.ready && n.cache.textIndex >= 0) {
        // The usual client filter "ParentID = 'x'" on a text column: plain equality, and no
        // QVariant::isNull unless the text is a null string (that call dominated the time).
        const QVariant &v = row[n.cache.textIndex];
        if (v.metaType() == QMetaType::fromType<QString>()) {
            const QString &s = *static_cast<const QString *>(v.constData());
            if (!s.isNull() || !v.isNull())
                return truthOf((s == n.cache.text) == (n.op == CompareOp::Eq));
        }
    }
    const Node &l = *n.children[0], &r = *n.children[1];
    if (isNullLiteral(l) || isNullLiteral(r)) {
        // "x = NULL" as the client filters write it: IS NULL; "x <> NULL": IS NOT NULL.
        if (n.op != CompareOp::Eq && n.op != CompareOp::Ne)
            return Truth::Unknown;
        return isNullTruth(isNullLiteral(r) ? l : r, row, n.op == CompareOp::Ne);
    }
    const Value a = valueOf(l, row), b = valueOf(r, row);
    if (!a.v || !b.v || a.v->isNull() || b.v->isNull())
        return Truth::Unknown;
    const std::optional<int> o = order(a, b);
    if (!o)
        return Truth::Unknown;
    const int c = *o;
    const bool byOp[] = {c == 0, c != 0, c < 0, 0 < c, c <= 0, c >= 0};
    return truthOf(byOp[int(n.op)]);
}

Truth evaluate(const Node &n, const QVariant *row)
{
    switch (n.kind) {
    case NodeKind::And:
    case NodeKind::Or: {
        // AND: any FALSE decides; OR: any TRUE decides; otherwise UNKNOWN wins.
        const Truth decisive = n.kind == NodeKind::And ? Truth::False : Truth::True;
        bool unknown = false;
        for (const NodePtr &c : n.children) {
            const Truth t = evaluate(*c, row);
            if (t == decisive)
                return decisive;
            unknown |= t == Truth::Unknown;
        }
        return unknown ? Truth::Unknown : truthOf(decisive == Truth::False);
    }
    case NodeKind::Not: {
        const Truth t = n.children.empty() ? Truth::Unknown : evaluate(*n.children[0], row);
        return t == Truth::Unknown ? t : truthOf(t == Truth::False);
    }
    case NodeKind::Compare:
        return n.children.size() == 2 ? compare(n, row) : Truth::Unknown;
    case NodeKind::Like: {
        if (n.children.size() != 2)
            return Truth::Unknown;
        const Value a = valueOf(*n.children[0], row), p = valueOf(*n.children[1], row);
        if (!a.v || !p.v || a.v->isNull() || p.v->isNull())
            return Truth::Unknown;
        QString sa, sp;
        return truthOf(likeMatch(likeText(*a.v, sa), likeText(*p.v, sp)) != n.negated);
    }
    case NodeKind::In: {
        const Value a = n.children.empty() ? Value() : valueOf(*n.children[0], row);
        if (!a.v || a.v->isNull())
            return Truth::Unknown;
        bool unknown = false;
        for (size_t i = 1; i < n.children.size(); ++i) {
            const Value b = valueOf(*n.children[i], row);
            const std::optional<int> o = b.v && !b.v->isNull() ? order(a, b) : std::nullopt;
            if (o == 0)
                return truthOf(!n.negated);
            unknown |= !o;
        }
        return unknown ? Truth::Unknown : truthOf(n.negated);
    }
    case NodeKind::IsNull:
        return n.children.empty() ? Truth::Unknown : isNullTruth(*n.children[0], row, n.negated);
    default: {
        // A bare value as a condition, only in trees built by hand: a number is a truth.
        const Value v = valueOf(n, row);
        if (!v.v || v.v->isNull() || categoryOf(*v.v) != Cat::Number)
            return Truth::Unknown;
        return truthOf(v.v->toDouble() != 0);
    }
    }
}

// ---- Printing --------------------------------------------------------------------------

QString literalText(const QVariant &v)
{
    if (v.isNull())
        return QStringLiteral("NULL");
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (isFloating(v)) {
        // Shortest text that reads back to the same double, and still reads as a decimal.
        QString s = QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
        if (std::isfinite(v.toDouble()) && !s.contains(u'.') && !s.contains(u'e'))
            s += QStringLiteral(".0");
        return s;
    }
    if (categoryOf(v) == Cat::Number)
        return v.toString();
    QString scratch;
    return u'\'' + QString(likeText(v, scratch)).replace(u'\'', QStringLiteral("''")) + u'\'';
}

QString columnText(const QString &name)
{
    qsizetype width = 1;
    const bool bare = !name.isEmpty() && isNameStart(codePointAt(name, 0, &width)) &&
                      nameEnd(name, 0) == name.size() && !isReserved(name);
    return bare ? name : u'[' + QString(name).replace(u']', QStringLiteral("]]")) + u']';
}

bool isOperand(const Node &n)
{
    return n.kind == NodeKind::Literal || n.kind == NodeKind::Column || n.kind == NodeKind::Negate;
}

void print(const Node &n, QString &out)
{
    static const char *const kOps[] = {" = ", " <> ", " < ", " > ", " <= ", " >= "};
    const auto child = [&](size_t i) {
        if (i >= n.children.size())
            return;
        const Node &c = *n.children[i];
        const bool logical = c.kind == NodeKind::And || c.kind == NodeKind::Or;
        const bool parens = n.kind == NodeKind::And   ? c.kind == NodeKind::Or
                            : n.kind == NodeKind::Or  ? false
                            : n.kind == NodeKind::Not ? logical
                                                      : !isOperand(c);
        out += parens ? QStringLiteral("(") : QString();
        print(c, out);
        out += parens ? QStringLiteral(")") : QString();
    };
    switch (n.kind) {
    case NodeKind::Literal:
        out += literalText(n.value);
        break;
    case NodeKind::Column:
        out += columnText(n.name);
        break;
    case NodeKind::Negate:
    case NodeKind::Not:
        out += n.kind == NodeKind::Negate ? QStringLiteral("-") : QStringLiteral("NOT ");
        child(0);
        break;
    case NodeKind::And:
    case NodeKind::Or:
        for (size_t i = 0; i < n.children.size(); ++i) {
            if (i > 0)
                out += n.kind == NodeKind::And ? QStringLiteral(" AND ") : QStringLiteral(" OR ");
            child(i);
        }
        break;
    case NodeKind::Compare:
        child(0);
        out += QLatin1String(kOps[int(n.op)]);
        child(1);
        break;
    case NodeKind::Like:
        child(0);
        out += n.negated ? QStringLiteral(" NOT LIKE ") : QStringLiteral(" LIKE ");
        child(1);
        break;
    case NodeKind::In:
        child(0);
        out += n.negated ? QStringLiteral(" NOT IN (") : QStringLiteral(" IN (");
        for (size_t i = 1; i < n.children.size(); ++i) {
            out += i > 1 ? QStringLiteral(", ") : QString();
            child(i);
        }
        out += u')';
        break;
    case NodeKind::IsNull:
        child(0);
        out += n.negated ? QStringLiteral(" IS NOT NULL") : QStringLiteral(" IS NULL");
        break;
    }
}

// "col = 'text'", "'text' = col", "col = NULL", "col IS NULL".
std::optional<EqualityHint> hintOf(const Node &n)
{
    const Node *col = nullptr, *other = nullptr;
    if (n.kind == NodeKind::Compare && n.op == CompareOp::Eq && n.children.size() == 2) {
        const bool leftIsColumn = n.children[0]->kind == NodeKind::Column;
        col = n.children[leftIsColumn ? 0 : 1].get();
        other = n.children[leftIsColumn ? 1 : 0].get();
        if (col->kind != NodeKind::Column || other->kind != NodeKind::Literal ||
            (!other->value.isNull() && other->value.typeId() != QMetaType::QString))
            return std::nullopt;
    } else if (n.kind == NodeKind::IsNull && !n.negated && n.children.size() == 1 &&
               n.children[0]->kind == NodeKind::Column) {
        col = n.children[0].get();
    }
    if (!col || col->index < 0)
        return std::nullopt;
    return EqualityHint{col->index, col->name,
                        other && !other->value.isNull() ? other->value : QVariant()};
}

} // namespace

NodePtr parseCondition(const QString &text)
{
    Parser p(text, QStringLiteral("条件表达式"));
    if (p.at(Tok::End))
        p.fail(0, QStringLiteral("条件为空"));
    NodePtr root = p.orExpression();
    if (!p.at(Tok::End))
        p.unexpected(QStringLiteral("AND、OR 或条件的结尾"));
    return root;
}

CommandText parseCommandText(const QString &text)
{
    if (text.size() > kMaxCommandText)
        throw Error(QStringLiteral("命令文本过长：%1 个字符，最多 %2 个字符（1 MiB）。")
                        .arg(text.size())
                        .arg(kMaxCommandText));
    Parser p(text, QStringLiteral("命令文本"));
    CommandText command;
    if (p.atWord("TOP")) {
        p.advance();
        if (!p.at(Tok::Integer))
            p.unexpected(QStringLiteral("TOP 后面的行数（不小于 0 的整数）"));
        command.top = p.token().number.toLongLong();
        p.advance();
    }
    if (p.atWord("WHERE")) {
        p.advance();
        command.where = p.orExpression();
    }
    if (p.atWord("ORDER")) {
        p.advance();
        if (!p.atWord("BY"))
            p.unexpected(QStringLiteral("ORDER 后面的 BY"));
        do {
            p.advance();
            OrderItem item;
            item.position = p.token().pos;
            item.column = p.column(QStringLiteral("排序的字段名"))->name;
            item.descending = p.atWord("DESC");
            if (p.atWord("ASC") || p.atWord("DESC"))
                p.advance();
            command.orderBy.push_back(std::move(item));
        } while (p.at(Tok::Comma));
    }
    if (!p.at(Tok::End)) {
        p.unexpected(!command.orderBy.empty() ? QStringLiteral("“,”、ASC、DESC 或命令文本的结尾")
                     : command.where ? QStringLiteral("AND、OR、ORDER BY 或命令文本的结尾")
                                     : QStringLiteral("TOP、WHERE 或 ORDER BY"));
    }
    return command;
}

void bindColumns(Node &root, const std::function<int(const QString &)> &resolve)
{
    if (root.kind == NodeKind::Column) {
        root.index = resolve(root.name);
        if (root.index < 0)
            throw Error(QStringLiteral("条件表达式第 %1 个字符处的字段%2不存在。")
                            .arg(QString::number(root.position + 1), quoted(root.name)));
    }
    for (NodePtr &c : root.children)
        bindColumns(*c, resolve);
    prepare(root);
}

bool matches(const Node &root, const QVariant *row)
{
    return evaluate(root, row) == Truth::True;
}

std::optional<EqualityHint> equalityHint(const Node &root)
{
    if (root.kind != NodeKind::And)
        return hintOf(root);
    for (const NodePtr &c : root.children) {
        if (auto hint = equalityHint(*c))
            return hint;
    }
    return std::nullopt;
}

QString toText(const Node &root)
{
    QString out;
    print(root, out);
    return out;
}

QString toText(const CommandText &command)
{
    QStringList parts;
    if (command.top)
        parts << QStringLiteral("TOP %1").arg(*command.top);
    if (command.where)
        parts << QStringLiteral("WHERE ") + toText(*command.where);
    QStringList items;
    for (const OrderItem &item : command.orderBy)
        items << columnText(item.column) + (item.descending ? QStringLiteral(" DESC") : QString());
    if (!items.isEmpty())
        parts << QStringLiteral("ORDER BY ") + items.join(QStringLiteral(", "));
    return parts.join(u' ');
}

} // namespace vexa::cond
