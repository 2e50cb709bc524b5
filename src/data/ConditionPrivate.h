#pragma once

// What the parser, the evaluator and the printer of conditions share.

#include "Condition.h"

#include <QStringView>

namespace vexa::cond::detail {

// Code point at i; width gets 2 for a surrogate pair (CJK extension letters).
char32_t codePointAt(QStringView s, qsizetype i, qsizetype *width);
bool isNameStart(char32_t cp);
// End of the name part that starts at i (i itself when there is none).
qsizetype nameEnd(QStringView s, qsizetype i);
// Words that cannot be column names (write [Order] for such a column).
bool isReserved(QStringView text);
// “text”, cut after 30 characters, for messages.
QString quoted(QStringView text);

// What a text literal means as a date, a time or a date-time, and as a number.
void readDateTimeText(QStringView text, Node::Cache *c);
void readNumber(QStringView text, Node::Cache *c);

enum class Cat { Number, Text, Moment, Other };
Cat categoryOf(const QVariant &v);
bool isFloating(const QVariant &v);
// A value as text: a QString itself, else converted into scratch.
const QString &textOf(const QVariant &v, QString &scratch);
// Text of any value as LIKE sees it; scratch holds it when it is not a QString already.
const QString &likeText(const QVariant &v, QString &scratch);

} // namespace vexa::cond::detail
