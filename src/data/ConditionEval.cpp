#include "ConditionPrivate.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>
#include <limits>

namespace vexa::cond {

namespace detail {

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

} // namespace detail

namespace {

using namespace detail;

enum class Truth : unsigned char { False, True, Unknown };

Truth truthOf(bool b)
{
    return b ? Truth::True : Truth::False;
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

} // namespace vexa::cond
