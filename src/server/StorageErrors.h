#pragma once

#include <QString>

class QSqlDriver;
class QSqlError;

namespace vexa::server {

// Failures of the storage itself (a read-only set, a full disk, a damaged file), told the
// same way wherever they surface, so a user reads what happened instead of SQLite's English.
QString readOnlyText();
QString diskFullText();
QString damagedText(const QString &path);

// The text for a storage failure behind error, or an empty string when the error is about
// the statement or its data. driver is the connection that failed; its last system error
// tells a full disk from other I/O errors.
QString storageProblem(const QSqlError &error, const QSqlDriver *driver);
// A database error as a user reads it: a storage failure as storageProblem tells it,
// SQLite's busy answer (another client kept the write lock past the busy timeout) in
// Chinese, any other error with the engine's text, which the callers explain.
QString databaseErrorText(const QSqlError &error, const QSqlDriver *driver = nullptr);
// The error says a page of the file is damaged.
bool isDamage(const QSqlError &error);

} // namespace vexa::server
