#pragma once

// Failing a save at each of its steps in turn: a connection that forwards to the real one
// and fails its Nth step, and the key counter as the account set stores it.

#include "RemoteConnection.h"
#include "support/TestHost.h"

#include <vexa/Error.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace vexa::test {

// A step is a provider request, an apply or an operation call. Reading the last error and
// the rollback after a fault are not steps: they are how a failed save ends.
class FaultyConnection : public IRemoteConnection, public IAppServer
{
public:
    explicit FaultyConnection(IRemoteConnection *inner) : m_inner(inner) {}

    // Counts steps from now and fails the given one (1 the first; 0 none).
    void failAt(int step)
    {
        m_failAt = step;
        m_steps = 0;
        m_faulted = false;
    }
    bool faulted() const { return m_faulted; }
    int steps() const { return m_steps; }

    DataPacket request(const QString &provider, const QString &commandText) override
    {
        step(provider);
        return m_inner->request(provider, commandText);
    }
    IAppServer *appServer() override { return this; }

    void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                      int &errorCount, QVariant &ownerData) override
    {
        step(provider);
        m_inner->appServer()->applyUpdates(provider, delta, maxErrors, errorCount, ownerData);
    }
    using IAppServer::call;
    QVariant call(const QString &operation, QVariantList &args) override
    {
        if (operation != QLatin1String("GetLastErrorInfo") &&
            operation != QLatin1String("RollbackTrans"))
            step(operation);
        return m_inner->appServer()->call(operation, args);
    }

private:
    void step(const QString &what)
    {
        if (++m_steps != m_failAt)
            return;
        m_faulted = true;
        throw Error(QStringLiteral("连接在第 %1 步（%2）中断。").arg(m_steps).arg(what));
    }

    IRemoteConnection *m_inner;
    int m_failAt = 0;
    int m_steps = 0;
    bool m_faulted = false;
};

// The next key the counter holds for name as stored (0 when it has none yet), read past
// the server, which would also skip keys in use.
inline qlonglong StoredNextID(TestHost &host, const QString &name)
{
    const QString connection = QStringLiteral("counter");
    qlonglong next = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(host.dir.filePath(QStringLiteral("test.vexa")));
        if (!db.open())
            throw Error(db.lastError().text());
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT NextID FROM EntityCounter WHERE Name = ?"));
        q.addBindValue(name);
        if (!q.exec())
            throw Error(q.lastError().text());
        if (q.next())
            next = q.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(connection);
    return next;
}

} // namespace vexa::test
