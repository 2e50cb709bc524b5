#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vexa::cond {

// Syntax tree of the SQL condition subset used by command texts and client filters.
// See docs/condition-grammar.md.
struct Node;
using NodePtr = std::unique_ptr<Node>;

enum class NodeKind {
    Literal, // value: QString, qlonglong, double, bool, or invalid for NULL
    Column,  // name; index once bound
    Not,     // children[0]
    Negate,  // unary minus, children[0]
    And,     // children[0..n)
    Or,      // children[0..n)
    Compare, // op, children[0], children[1]
    Like,    // children[0] LIKE children[1]; negated for NOT LIKE
    In,      // children[0] IN (children[1..n)); negated for NOT IN
    IsNull,  // children[0] IS NULL; negated for IS NOT NULL
};

enum class CompareOp { Eq, Ne, Lt, Gt, Le, Ge };

struct Node
{
    NodeKind kind = NodeKind::Literal;
    QVariant value; // Literal
    QString name;   // Column, as written
    int index = -1; // Column: bound field index
    CompareOp op = CompareOp::Eq;
    bool negated = false; // Like, In, IsNull
    int position = 0;     // character offset in the source text, for messages
    std::vector<NodePtr> children;

    // Worked out once by the parser and again by bindColumns, so that evaluating a row
    // converts no literal. Not part of the condition's meaning; ignore it elsewhere.
    struct Cache
    {
        bool ready = false;
        int textIndex = -1;     // Compare by = or <> of a bound column with a text literal:
        QString text;           // the column's field index and the literal
        QVariant negated;       // Negate: the value of the negated literal
        bool isInteger = false; // text literal read as a number
        bool isNumber = false;
        qlonglong integer = 0;
        double number = 0;
        bool hasDate = false; // text literal read as a date, a time or a date-time
        bool hasTime = false;
        QDate date;
        QTime time;
    } cache;
};

struct OrderItem
{
    QString column;
    bool descending = false;
    int position = 0;
};

// "[TOP n] [WHERE condition] [ORDER BY column [ASC|DESC], ...]", any blanks anywhere.
struct CommandText
{
    std::optional<qlonglong> top;
    NodePtr where; // null when there is no WHERE
    std::vector<OrderItem> orderBy;
};

// Parse a bare condition (a client filter). Throws vexa::Error naming the position of
// the first character that does not fit the grammar. An empty or blank text is an error.
NodePtr parseCondition(const QString &text);

// Longest command text, in characters (1 MiB). Command texts travel to the server with
// every request; a longer one is refused before it is parsed.
constexpr qsizetype kMaxCommandText = 1 << 20;

// A condition parsed once for every text of its shape: texts that differ only in their
// text and number literals (a tree read level by level filters "ParentID = 'x'" once per
// node) share one tree, whose literals and positions are set again for each text.
struct ShapedCondition
{
    struct Token
    {
        int kind = 0;
        int op = 0;   // of an operator
        QString name; // of a word or a bracketed name
        int pos = 0;  // where it starts in the text set last
    };
    NodePtr node;
    std::vector<Token> tokens;    // of the text set last
    std::vector<Node *> literals; // the nodes of text and number literals, in text order
};
// Parses as parseCondition does, and throws as it does.
ShapedCondition parseShapedCondition(const QString &text);
// When text has the shape of condition: its literals and positions go into condition's
// tree, every node's cache is worked out again (column indexes stay bound) and the answer
// is true. Otherwise false, condition unchanged.
bool refillCondition(ShapedCondition &condition, const QString &text);

// Parse a command text. An empty or blank text gives an empty CommandText; a text longer
// than kMaxCommandText is refused.
CommandText parseCommandText(const QString &text);

// Resolve every Column node to a field index through resolve (which answers -1 for an
// unknown name). Throws vexa::Error naming the first unknown column.
void bindColumns(Node &root, const std::function<int(const QString &)> &resolve);

// SQL semantics over a row of values indexed by the bound column indexes: NULL makes a
// comparison unknown; "x = NULL" written literally is treated as "x IS NULL" (as the
// client filters write it). Numbers compare numerically, a number and a text by
// converting the text; text compares case-sensitively with "=", LIKE ignores the case
// of ASCII letters.
// Returns true only when the condition is TRUE for the row.
bool matches(const Node &root, const QVariant *row);

// If the condition requires one column to equal one text literal (or to be null) in
// every matching row - the condition itself, or one operand of a top-level AND - tell
// which; the client dataset answers such filters from a hash of that column.
struct EqualityHint
{
    int index = -1; // bound column index
    QString name;
    QVariant value; // QString literal, or invalid for IS NULL / = NULL
};
std::optional<EqualityHint> equalityHint(const Node &root);

// Canonical text of a tree (keywords upper case, single blanks, literals quoted with
// '' doubled). parseCondition(toText(n)) gives an equal tree.
QString toText(const Node &root);

// Canonical text of a command text ("TOP n WHERE ... ORDER BY a, b DESC"); empty for an
// empty CommandText. parseCommandText(toText(c)) gives an equal command text.
QString toText(const CommandText &command);

} // namespace vexa::cond
