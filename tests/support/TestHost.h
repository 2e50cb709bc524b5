#pragma once

// An IPluginHost for the plug-in's tests: a real demo account set, a shared data module
// with the host datasets, session values the test can change, and a log of the calls
// the plug-in makes.

#include "AppServer.h"
#include "ClientDataSet.h"
#include "DataModule.h"

#include <vexa/PluginHost.h>

#include <QMainWindow>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace vexa::test {

class TestMainWindow : public QMainWindow, public IHostMainWindow
{
    Q_OBJECT
    Q_INTERFACES(vexa::IHostMainWindow)

public:
    QStringList captions;
    void SetCaptionText(const QString &text) override { captions << text; }
    void SetCaptionIcon(const QString &name, QChar kind, int) override
    {
        captions << QStringLiteral("icon:") + name + QLatin1Char(':') + kind;
    }
};

class TestHost : public IPluginHost
{
public:
    QTemporaryDir dir;
    std::unique_ptr<server::AppServer> server;
    std::unique_ptr<server::ServerConnection> connection;
    DataModule dataModule;
    TestMainWindow mainWindow;
    QHash<QString, QVariant> values;
    QStringList calls;
    int versionAnswer = 0;

    explicit TestHost(const char *user = "Manager", const char *password = "manager")
    {
        server::AppServer::Options options;
        options.passwordCost = server::PasswordCost::Fast;
        server =
            server::AppServer::create(dir.filePath(QStringLiteral("test.vexa")), true, options);
        connection = server->connect();
        logIn(user, password);
        values.insert(QStringLiteral("REGPATH"), QStringLiteral("Software\\Corvane\\Vexa\\Client"));
        values.insert(QStringLiteral("DesignModule"), false);
        values.insert(QStringLiteral("HASRELOGIN"), false);
        auto *info = new ClientDataSet;
        info->setObjectName(QStringLiteral("CDS_SysInitInfo"));
        info->setRemoteConnection(connection.get());
        info->setProviderName(QStringLiteral("LX_SysInitInfo"));
        info->setCommandText(QStringLiteral("WHERE 1=1"));
        info->open();
        dataModule.addDataSet(info);
    }

    ClientDataSet &info() { return *dataModule.dataSet(QStringLiteral("CDS_SysInitInfo")); }

    // What the host's 重新登录 does before it calls Reload and ExecuteForm for the open
    // pages: the connection acts for the new user, whose values the session answers, and
    // the shared dataset is read again.
    void loginAgain(const char *user, const char *password)
    {
        logIn(user, password);
        values.insert(QStringLiteral("HASRELOGIN"), true);
        info().close();
        info().open();
    }

    void logIn(const char *user, const char *password)
    {
        const server::SessionInfo s =
            connection->login(QString::fromUtf8(user), QString::fromUtf8(password));
        values.insert(QStringLiteral("UserID"), s.userId);
        values.insert(QStringLiteral("UserName"), s.userName);
        values.insert(QStringLiteral("UserGroup"), s.userGroup);
        values.insert(QStringLiteral("USERGROUP"), s.userGroup);
    }

    QVariant GetValue(const QString &name) override
    {
        calls << QStringLiteral("GetValue:") + name;
        return values.value(name);
    }
    IRemoteConnection *GetConnection() override { return connection.get(); }
    int OpenModule(const QString &code, int tag, quint32 p1, const QString &p2,
                   QVariant &p3) override
    {
        calls << QStringLiteral("OpenModule:%1:%2:%3:%4:%5")
                     .arg(code)
                     .arg(tag)
                     .arg(p1)
                     .arg(p2, p3.toString());
        return 0;
    }
    DataModule *GetDataModule() override { return &dataModule; }
    int CheckVersion(const QString &family, const QString &version) override
    {
        calls << QStringLiteral("CheckVersion:") + family + QLatin1Char(':') + version;
        return versionAnswer;
    }
    void BeginBusy() override { calls << QStringLiteral("BeginBusy"); }
    void EndBusy(bool flag) override { calls << QStringLiteral("EndBusy:%1").arg(flag); }
    void EndLaunch(bool flag) override { calls << QStringLiteral("EndLaunch:%1").arg(flag); }
    void BeginLaunch() override { calls << QStringLiteral("BeginLaunch"); }
    void Relogin() override { calls << QStringLiteral("Relogin"); }
    void SetActionState(const QString &name, bool flag, int value) override
    {
        calls << QStringLiteral("SetActionState:%1:%2:%3").arg(name).arg(flag).arg(value);
    }
    void ShowHostMessage(const QString &text, QChar kind, const QString &caption) override
    {
        calls << QStringLiteral("ShowHostMessage:") + text + QLatin1Char(':') + kind +
                     QLatin1Char(':') + caption;
    }
    QWidget *MainWindow() override { return &mainWindow; }
};

// Forwards to the real connection and records every provider request.
class RecordingConnection : public IRemoteConnection
{
public:
    explicit RecordingConnection(IRemoteConnection *inner) : m_inner(inner) {}
    DataPacket request(const QString &provider, const QString &commandText) override
    {
        requests << provider + QLatin1Char('|') + commandText;
        return m_inner->request(provider, commandText);
    }
    IAppServer *appServer() override { return m_inner->appServer(); }

    QStringList requests;

private:
    IRemoteConnection *m_inner;
};

// A test host whose plug-in side sees the recording connection.
class RecordingHost : public TestHost
{
public:
    RecordingConnection recorder{connection.get()};
    IRemoteConnection *GetConnection() override { return &recorder; }
};

} // namespace vexa::test
