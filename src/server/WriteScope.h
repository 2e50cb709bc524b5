#pragma once

#include <QSqlDatabase>
#include <QString>

namespace vexa::server {

class SqlDialect;

// One piece of write work, all or nothing; the destructor rolls back unless commit() ran,
// and never throws. Outside BeginTrans the work is a transaction of its own that takes the
// write lock before it reads (BEGIN IMMEDIATE): SQLite waits for the lock only when a
// transaction starts, so work that had read first could not wait for another writer and
// failed at once with "database is locked". Inside BeginTrans, which holds the lock
// already, the work is a savepoint.
class WriteScope
{
public:
    // Throws vexa::Error when the lock does not come within the busy timeout.
    WriteScope(QSqlDatabase db, const SqlDialect &dialect, bool inTransaction);
    ~WriteScope();
    WriteScope(const WriteScope &) = delete;
    WriteScope &operator=(const WriteScope &) = delete;

    void commit();

private:
    void exec(const QString &sql);

    QSqlDatabase m_db;
    const SqlDialect &m_dialect;
    bool m_nested;
    bool m_open = false;
};

// A report's reads, all from one snapshot, so that a posting committed meanwhile cannot
// give totals that disagree with the rows. Inside BeginTrans the connection's transaction
// is already one snapshot (it holds the write lock), and nothing is done.
class ReadScope
{
public:
    // Throws vexa::Error when the transaction cannot begin.
    ReadScope(QSqlDatabase db, const SqlDialect &dialect, bool inTransaction);
    ~ReadScope();
    ReadScope(const ReadScope &) = delete;
    ReadScope &operator=(const ReadScope &) = delete;

private:
    QSqlDatabase m_db;
    const SqlDialect &m_dialect;
    bool m_open = false;
};

} // namespace vexa::server
