#pragma once

#include <QString>
#include <optional>

namespace vexa::server {

// ExecuteBatch runs only the statements the chart-of-accounts template load sends,
// translated for SQLite. Anything else is refused: the operation is not a general
// SQL door.
//
// Accepted (letter case and runs of blanks do not matter; a trailing blank is allowed):
//   DELETE T0102010 | T0102011 | T0200096 | T0200097 | T0200098 | T0200099
//   UPDATE T0200098 SET AcctID = NULL WHERE ItemAcctCode NOT IN (SELECT AcctCode FROM T0102010)
//   UPDATE T0200098 SET AcctID = T0102010.AcctID FROM T0102010 WHERE T0200098.ItemAcctCode =
//   T0102010.AcctCode DELETE T0102057 WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID =
//   0) DELETE T0102056 WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID = 0) DELETE
//   T0102055 WHERE ACheckID = 0 DELETE T0102053 WHERE ACheckID = 0
//
// Returns the SQLite statement, or nullopt when the text is not one of these.
std::optional<QString> translateBatchStatement(const QString &sql);

} // namespace vexa::server
