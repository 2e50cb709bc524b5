#include "WriteScope.h"

#include "StorageErrors.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

namespace vexa::server {

WriteScope::WriteScope(QSqlDatabase db, bool inTransaction) : m_db(db), m_nested(inTransaction)
{
    exec(m_nested ? QStringLiteral("SAVEPOINT vexa_work") : QStringLiteral("BEGIN IMMEDIATE"));
    m_open = true;
}

WriteScope::~WriteScope()
{
    if (!m_open)
        return;
    QSqlQuery q(m_db);
    if (m_nested) {
        q.exec(QStringLiteral("ROLLBACK TO vexa_work"));
        q.exec(QStringLiteral("RELEASE vexa_work"));
    } else {
        q.exec(QStringLiteral("ROLLBACK"));
    }
}

void WriteScope::commit()
{
    // A failed COMMIT (a deferred foreign key) leaves the transaction open: the destructor
    // rolls it back.
    exec(m_nested ? QStringLiteral("RELEASE vexa_work") : QStringLiteral("COMMIT"));
    m_open = false;
}

void WriteScope::exec(const QString &sql)
{
    QSqlQuery q(m_db);
    if (!q.exec(sql))
        throw Error(databaseErrorText(q.lastError(), q.driver()));
}

} // namespace vexa::server
