#include "ConditionPrivate.h"

#include <vexa/Error.h>

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace vexa::cond {

namespace detail {

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

} // namespace detail

namespace {

using namespace detail;

// Deeper nesting is refused, so that no text can exhaust the stack of the parser, the
// evaluator or the printer, which all recurse over the tree.
constexpr int kMaxDepth = 200;

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
    // Collects the nodes made from text and number literals, in the text's order.
    void collectLiterals(std::vector<Node *> *literals) { m_literals = literals; }

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
    std::vector<Node *> *m_literals = nullptr;
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
    if (isAsciiDigit(c) || (c == u'.' && isAsciiDigit(next))) {
        // lexNumber sets the kind: read it only after the call (argument order is unspecified)
        const qsizetype end = lexNumber(t, i);
        return token(t.kind, end);
    }
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
        if (t.text.isNull()) // '' is an empty text; a null one would be bound as NULL
            t.text = QStringLiteral("");
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
        if (const QStringView t = QStringView(text).trimmed();
            !t.isEmpty() && isAsciiDigit(t.front()))
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
        if (m_literals && !at(Tok::Word))
            m_literals->push_back(node.get());
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

namespace {

// The tokens of a text with its text and number literals left out, and the literals. The
// parser decides by the tokens alone, never by a literal's value.
using ShapeToken = ShapedCondition::Token;

ShapeToken shapeToken(const Token &t)
{
    ShapeToken s;
    s.kind = int(t.kind);
    s.pos = t.pos;
    if (t.kind == Tok::Op)
        s.op = int(t.op);
    else if (t.kind == Tok::Word || t.kind == Tok::Name)
        s.name = t.text;
    return s;
}

bool isLiteral(const Token &t)
{
    return t.kind == Tok::String || t.kind == Tok::Integer || t.kind == Tok::Real;
}

void prepareAll(Node &n)
{
    for (NodePtr &c : n.children)
        prepareAll(*c);
    prepare(n);
}

void movePositions(Node &n, const std::vector<ShapeToken> &from, const std::vector<int> &to)
{
    // Every node starts where one of its tokens does.
    const auto it = std::lower_bound(from.begin(), from.end(), n.position,
                                     [](const ShapeToken &t, int pos) { return t.pos < pos; });
    if (it != from.end() && it->pos == n.position)
        n.position = to[size_t(it - from.begin())];
    for (NodePtr &c : n.children)
        movePositions(*c, from, to);
}

} // namespace

ShapedCondition parseShapedCondition(const QString &text)
{
    ShapedCondition shaped;
    {
        Parser p(text, QStringLiteral("条件表达式"));
        if (p.at(Tok::End))
            p.fail(0, QStringLiteral("条件为空"));
        p.collectLiterals(&shaped.literals);
        shaped.node = p.orExpression();
        if (!p.at(Tok::End))
            p.unexpected(QStringLiteral("AND、OR 或条件的结尾"));
    }
    Parser p(text, QStringLiteral("条件表达式"));
    for (; !p.at(Tok::End); p.advance())
        shaped.tokens.push_back(shapeToken(p.token()));
    return shaped;
}

bool refillCondition(ShapedCondition &condition, const QString &text)
{
    if (!condition.node)
        return false;
    std::vector<int> positions;
    QVariantList literals;
    positions.reserve(condition.tokens.size());
    try {
        Parser p(text, QStringLiteral("条件表达式"));
        for (; !p.at(Tok::End); p.advance()) {
            const Token &t = p.token();
            if (positions.size() == condition.tokens.size())
                return false;
            const ShapeToken &was = condition.tokens[positions.size()];
            if (was.kind != int(t.kind) || (t.kind == Tok::Op && was.op != int(t.op)) ||
                ((t.kind == Tok::Word || t.kind == Tok::Name) && was.name != t.text))
                return false;
            positions.push_back(t.pos);
            if (isLiteral(t))
                literals.push_back(t.kind == Tok::String ? QVariant(t.text) : t.number);
        }
    } catch (const Error &) {
        return false; // the full parse tells what is wrong
    }
    if (positions.size() != condition.tokens.size() ||
        literals.size() != qsizetype(condition.literals.size()))
        return false;
    for (size_t i = 0; i < condition.literals.size(); ++i)
        condition.literals[i]->value = literals[qsizetype(i)];
    movePositions(*condition.node, condition.tokens, positions);
    for (size_t i = 0; i < positions.size(); ++i)
        condition.tokens[i].pos = positions[i];
    prepareAll(*condition.node);
    return true;
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

} // namespace vexa::cond
