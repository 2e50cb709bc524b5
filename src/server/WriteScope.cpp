#include "WriteScope.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

namespace vexa::server {

QString databaseErrorText(const QSqlError &error)
{
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if ((numeric && (code == SQLITE_BUSY || code == SQLITE_LOCKED)) ||
        text.contains(QLatin1String("database is locked")))
        return QStringLiteral("其他用户正在保存数据，等候超时，请稍后再试。");
    return text;
}

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
        throw Error(databaseErrorText(q.lastError()));
}

} // namespace vexa::server
