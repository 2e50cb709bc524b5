#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVariant>
#include <vector>

class QSqlDriver;
struct sqlite3;
struct sqlite3_stmt;

namespace vexa::server {

// The sqlite3 handle under a Qt connection, or null when the connection is not SQLite's.
sqlite3 *sqliteHandle(const QSqlDatabase &db);
sqlite3 *sqliteHandle(const QSqlDriver *driver);

// Binds parameter i (from 1) as Qt's SQLite driver binds the value: a null value, a null
// QString or QByteArray, an invalid date or time as NULL; a QByteArray as a blob; int and bool
// as integers, qint64 and uint as 64-bit integers, double as a real; dates and times as ISO
// text; anything else as its text. Texts and blobs are not copied: the value must outlive
// the step. Returns SQLite's result code.
int bindSqliteValue(sqlite3_stmt *s, int i, const QVariant &value);

// One statement prepared through the sqlite3 C API on a Qt connection's own handle, run
// many times with values bound the way Qt's SQLite driver binds them (a null or invalid
// value, a null QString or QByteArray as NULL; a QByteArray as a blob; int and bool as
// integers, qint64 and uint as 64-bit integers, double as a real; anything else as its
// text). For bulk writes: it skips Qt's per-value placeholder bookkeeping. The statement is
// reset after every run, so it never holds a transaction open; it must be destroyed before
// the connection closes.
class SqliteStatement
{
public:
    // When the statement does not compile, isValid() answers false and lastError() says why.
    SqliteStatement(sqlite3 *db, const QString &sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    // Binds values (as many as the statement has parameters) and runs it once; on a
    // failure answers false and lastError() says why, as Qt's driver would have said it.
    bool exec(const std::vector<QVariant> &values);
    QSqlError lastError() const { return m_error; }

private:
    QSqlError engineError(int code) const;

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    QSqlError m_error;
};

} // namespace vexa::server
