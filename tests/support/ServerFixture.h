#pragma once

// A demo account set in a temporary folder, with fast password hashing.
// The server tests run on both engines: with VEXA_TEST_ENGINE=postgresql each set is a fresh
// database of the PostgreSQL cluster at VEXA_TEST_PG (scripts/test starts one; ctest
// registers each server test a second time as <name>_pg), dropped at the end.

#include "AppServer.h"
#include "ClientDataSet.h"
#include "PostgresLocation.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <memory>

namespace vexa::test {

inline bool onPostgres()
{
    return qgetenv("VEXA_TEST_ENGINE") == "postgresql";
}

// The location of a new, not yet created set: a file in dir, or on PostgreSQL a database of
// a name no other test process uses.
inline QString newSetLocation(const QTemporaryDir &dir, const QString &fileName)
{
    if (!onPostgres())
        return dir.filePath(fileName);
    const QString cluster = qEnvironmentVariable("VEXA_TEST_PG");
    if (cluster.isEmpty())
        qFatal("VEXA_TEST_ENGINE=postgresql needs VEXA_TEST_PG (scripts/pg-cluster start DIR)");
    static std::atomic<int> counter{0};
    const QString name =
        QStringLiteral("vexa_t%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    const qsizetype slash = cluster.indexOf(u'/', cluster.indexOf(QLatin1String("//")) + 2);
    const qsizetype query = cluster.indexOf(u'?');
    return cluster.left(slash + 1) + name + (query < 0 ? QString() : cluster.mid(query));
}

// Drops a test's PostgreSQL set (nothing for a file: its folder goes).
inline void dropSet(const QString &location)
{
    if (!location.startsWith(QLatin1String("postgresql://")))
        return;
    const auto where = server::PostgresLocation::parse(location);
    server::PostgresServer(where).drop(where.database);
}

// A new set's location, its PostgreSQL database dropped at the end: declare it before the
// server that uses it.
struct NewSetLocation
{
    QString location;
    NewSetLocation(const QTemporaryDir &dir, const QString &fileName)
        : location(newSetLocation(dir, fileName))
    {}
    ~NewSetLocation() { dropSet(location); }
    NewSetLocation(const NewSetLocation &) = delete;
    NewSetLocation &operator=(const NewSetLocation &) = delete;
};

struct ServerFixture
{
    QTemporaryDir dir;
    QString location = newSetLocation(dir, QStringLiteral("demo.vexa"));
    std::unique_ptr<server::AppServer> server;

    explicit ServerFixture(bool demo = true)
    {
        server::AppServer::Options options;
        options.passwordCost = server::PasswordCost::Fast;
        options.maxAttachmentBytes = 1024 * 1024;
        server = server::AppServer::create(path(), demo, options);
    }
    ~ServerFixture()
    {
        server.reset();
        dropSet(location);
    }
    ServerFixture(const ServerFixture &) = delete;
    ServerFixture &operator=(const ServerFixture &) = delete;

    // The set's file, or its PostgreSQL location.
    QString path() const { return location; }

    std::unique_ptr<server::ServerConnection> connect(const char *user = "Manager",
                                                      const char *password = "manager")
    {
        auto c = server->connect();
        if (user)
            c->login(QString::fromUtf8(user), QString::fromUtf8(password));
        return c;
    }
};

// An account row for LX_DMAccounting.
inline void appendAccount(ClientDataSet &ds, int id, const QString &code, const QString &name)
{
    ds.append();
    ds.setValue(QStringLiteral("AcctID"), id);
    ds.setValue(QStringLiteral("AcctCode"), code);
    ds.setValue(QStringLiteral("AcctName"), name);
    ds.setValue(QStringLiteral("IsNode"), true);
    ds.setValue(QStringLiteral("DC"), QStringLiteral("D"));
    ds.post();
}

} // namespace vexa::test
