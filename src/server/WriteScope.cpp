#include "WriteScope.h"

#include "SqlDialect.h"
#include "StorageErrors.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>

namespace vexa::server {

namespace {
const QString kSavepoint = QStringLiteral("vexa_work");
}

WriteScope::WriteScope(QSqlDatabase db, const SqlDialect &dialect, bool inTransaction)
    : m_db(db), m_dialect(dialect), m_nested(inTransaction)
{
    if (m_nested) {
        exec(m_dialect.savepoint(kSavepoint));
    } else {
        const QStringList begin = m_dialect.beginWrite();
        for (qsizetype i = 0; i < begin.size(); ++i) {
            try {
                exec(begin[i]);
            } catch (const Error &) {
                // A transaction that began but did not get the lock is ended here.
                if (i > 0)
                    QSqlQuery(m_db).exec(m_dialect.rollback());
                throw;
            }
        }
    }
    m_open = true;
}

WriteScope::~WriteScope()
{
    if (!m_open)
        return;
    QSqlQuery q(m_db);
    if (m_nested) {
        q.exec(m_dialect.rollbackToSavepoint(kSavepoint));
        q.exec(m_dialect.releaseSavepoint(kSavepoint));
    } else {
        q.exec(m_dialect.rollback());
    }
}

void WriteScope::commit()
{
    // A failed COMMIT (a deferred foreign key) leaves the transaction open: the destructor
    // rolls it back.
    exec(m_nested ? m_dialect.releaseSavepoint(kSavepoint) : m_dialect.commit());
    m_open = false;
}

void WriteScope::exec(const QString &sql)
{
    QSqlQuery q(m_db);
    if (!q.exec(sql))
        throw Error(databaseErrorText(q.lastError(), q.driver()));
}

ReadScope::ReadScope(QSqlDatabase db, const SqlDialect &dialect, bool inTransaction)
    : m_db(db), m_dialect(dialect)
{
    if (inTransaction)
        return;
    QSqlQuery q(m_db);
    if (!q.exec(m_dialect.beginRead()))
        throw Error(databaseErrorText(q.lastError(), q.driver()));
    m_open = true;
}

// Nothing was written: ending the transaction either way only lets the snapshot go.
ReadScope::~ReadScope()
{
    if (m_open)
        QSqlQuery(m_db).exec(m_dialect.rollback());
}

} // namespace vexa::server
