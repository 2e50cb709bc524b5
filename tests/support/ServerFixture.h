#pragma once

// A demo account set in a temporary folder, with fast password hashing.

#include "AppServer.h"
#include "ClientDataSet.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace vexa::test {

struct ServerFixture
{
    QTemporaryDir dir;
    std::unique_ptr<server::AppServer> server;

    explicit ServerFixture(bool demo = true)
    {
        server::AppServer::Options options;
        options.passwordCost = server::PasswordCost::Fast;
        options.maxAttachmentBytes = 1024 * 1024;
        server = server::AppServer::create(path(), demo, options);
    }

    QString path() const { return dir.filePath(QStringLiteral("demo.vexa")); }

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
