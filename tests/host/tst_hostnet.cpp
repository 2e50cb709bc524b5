// The host as a client of vexa-server: started with --server against a server in this
// process (plain TCP on loopback), the login dialog's server, set and user remembered, a
// server that goes away under an open session, and the question for an unknown server.
// The host's dialogs are answered by ScriptedDialogs.

#include "Certificates.h"
#include "ClientDataSet.h"
#include "DataModule.h"
#include "FakePlugin.h"
#include "HostApp.h"
#include "HostFixture.h"
#include "HostLogin.h"
#include "HostMainWindow.h"
#include "HostOptions.h"
#include "LoginDialog.h"
#include "NetServer.h"
#include "PluginHostImpl.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <vexa/Error.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

using namespace vexa;
using namespace vexa::host;

namespace {

const QString kFakePlugin = QStringLiteral(VEXA_FAKE_PLUGIN);
const QString kLost = QStringLiteral("与服务器的连接已断开。");

// A demo set served on a free loopback port, over plain TCP or over TLS with a certificate
// of its own; the server can go away and come back on the same port.
struct ServedSet
{
    QTemporaryDir dir;
    std::unique_ptr<server::AppServer> set;
    std::unique_ptr<net::NetServer> server;
    quint16 port = 0;
    bool tls = false;
    QString fingerprint;

    explicit ServedSet(bool withTls = false) : tls(withTls)
    {
        if (tls)
            fingerprint = net::Certificates::writeFiles(dir.path(), {QStringLiteral("127.0.0.1")});
        server::AppServer::Options options = test::fastServerOptions();
        options.login.delayStepMs = 0;
        set = server::AppServer::create(path(), true, options);
        start(0);
    }
    ~ServedSet() { server.reset(); }
    void start(quint16 onPort)
    {
        net::NetServerOptions options;
        if (tls)
            options.loadCertificate(dir.filePath(QStringLiteral("server.crt")),
                                    dir.filePath(QStringLiteral("server.key")));
        server = std::make_unique<net::NetServer>(
            QMap<QString, server::AppServer *>{{QStringLiteral("demo"), set.get()}}, options);
        server->listen(QHostAddress::LocalHost, onPort);
        port = server->port();
    }
    void stop() { server.reset(); }
    QString path() const { return dir.filePath(QStringLiteral("demo.vexa")); }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    // clerk gets a password of their own: no demo-password question, and one a test can
    // look for in the settings.
    void setClerkPassword(const QString &password)
    {
        auto c = set->connect();
        c->login(QStringLiteral("Manager"), QStringLiteral("manager"));
        QVariantList args{QStringLiteral("clerk"), password};
        c->call(QStringLiteral("ResetUserPassword"), args);
    }
};

// The host's dialog hook hands every dialog to the installed ScriptedDialogs.
struct HostDialogsScripted : ScriptedDialogs
{
    test::MessageRecorder messages;
    HostDialogsScripted()
    {
        hostDialogs().exec = [](QDialog &d) { return gl::DialogService::instance().exec(d); };
    }
};

HostOptions serverOptions(const ServedSet &s, const QString &user = QString(),
                          const QString &password = QString())
{
    HostOptions o;
    o.server = s.address();
    o.insecure = !s.tls;
    o.pluginPath = kFakePlugin;
    o.user = user;
    o.password = password;
    o.hasPassword = !password.isEmpty();
    return o;
}

ScriptedDialogs::Answer fillAndClick(const QList<QPair<QString, QString>> &fields,
                                     const QString &button = QStringLiteral("btnOk"))
{
    return [fields, button](QDialog &dialog) {
        for (const auto &[name, text] : fields)
            dialog.findChild<QLineEdit *>(name)->setText(text);
        dialog.findChild<QPushButton *>(button)->click();
        return dialog.result();
    };
}

QString text(QDialog &dialog, const char *name)
{
    if (auto *edit = dialog.findChild<QLineEdit *>(QLatin1String(name)))
        return edit->text();
    return dialog.findChild<QLabel *>(QLatin1String(name))->text();
}

test::FakePlugin *fakePlugin(HostApp &app)
{
    return static_cast<test::FakePlugin *>(app.pluginHost()->plugin());
}

const QString kUsers = QStringLiteral("LX_SysUser");
const QString kByCode = QStringLiteral("ORDER BY UserCode");

} // namespace

class TestHostNet : public QObject
{
    Q_OBJECT

private slots:
    // The user's settings in a folder of the test's own.
    void init()
    {
        m_settings = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings->path());
        qputenv("XDG_CONFIG_HOME", m_settings->path().toLocal8Bit()); // known_servers
    }
    void cleanup()
    {
        resetHostDialogs();
        m_settings.reset();
    }

    // vexa --server over TLS: the new server's certificate is trusted on the user's word
    // and pinned, the login goes over the wire, the console opens and the plug-in reads the
    // set through the connection the host hands it.
    void startsAgainstServer()
    {
        ServedSet s(true);
        HostDialogsScripted dialogs;
        dialogs.click(QStringLiteral("btnOk"));     // 信任并连接
        dialogs.click(QStringLiteral("btnCancel")); // Manager/manager: the own-password question
        HostApp app(serverOptions(s, QStringLiteral("Manager"), QStringLiteral("manager")),
                    test::fastServerOptions());
        QVERIFY(app.start());
        QCOMPARE(dialogs.pending(), 0);
        QVERIFY(dialogs.shown[0].text.contains(s.fingerprint));
        QFile known(m_settings->filePath(QStringLiteral("vexa/known_servers")));
        QVERIFY(known.open(QIODevice::ReadOnly));
        QVERIFY(known.readAll().contains(s.fingerprint.toLatin1()));
        QVERIFY(app.session()->remote());
        QCOMPARE(app.session()->localConnection(), nullptr);
        QVERIFY(app.window()->pageForCode(QStringLiteral("SFMF")));

        IPluginHost *host = fakePlugin(app)->host;
        auto local = s.set->connect();
        QCOMPARE(host->GetConnection()->request(kUsers, kByCode), local->request(kUsers, kByCode));
        QCOMPARE(host->GetValue(QStringLiteral("UserName")).toString(),
                 QStringLiteral("系统管理员"));
        QCOMPARE(host->GetValue(QStringLiteral("DATE")).toDouble(),
                 HostSession::dayNumber(QDateTime::currentDateTime(), false));
        ClientDataSet *shared = host->GetDataModule()->dataSet(QStringLiteral("CDS_GLAcct"));
        QVERIFY(shared && shared->isActive());
        QCOMPARE(shared->remoteConnection(), host->GetConnection());

        // A refused re-login leaves the session as it was.
        QString refusal;
        dialogs.answerWith([&](QDialog &d) {
            fillAndClick({{QStringLiteral("edPassword"), QStringLiteral("wrong")}})(d);
            refusal = text(d, "lbError");
            d.findChild<QPushButton *>(QStringLiteral("btnCancel"))->click();
            return d.result();
        });
        host->Relogin();
        QCOMPARE(refusal, QStringLiteral("用户名或密码错误。"));
        QCOMPARE(host->GetConnection()->request(kUsers, kByCode), local->request(kUsers, kByCode));
        QVERIFY(!host->GetValue(QStringLiteral("HASRELOGIN")).toBool());
    }

    // A set the server can only read: the user is told after the login, as for a file.
    void readOnlyOverServer()
    {
        ServedSet s;
        s.setClerkPassword(QStringLiteral("只有张三知道-9"));
        s.stop();
        server::AppServer::Options readOnly = test::fastServerOptions();
        readOnly.readOnly = true;
        s.set = server::AppServer::open(s.path(), readOnly);
        s.start(0);
        HostDialogsScripted dialogs;
        HostApp app(serverOptions(s, QStringLiteral("clerk"), QStringLiteral("只有张三知道-9")),
                    test::fastServerOptions());
        QVERIFY(app.start());
        QVERIFY(app.session()->readOnly());
        QCOMPARE(dialogs.messages.messages.size(), 1);
        QCOMPARE(dialogs.messages.messages[0].text,
                 QStringLiteral("账套“%1”是只读的：可以查看数据，不能保存更改。").arg(s.address()));
    }

    // The login dialog keeps server, set and user for the next start, never the password;
    // an empty server there means the set file on this machine.
    void loginRemembered()
    {
        ServedSet s;
        const QString secret = QStringLiteral("只有张三知道-7");
        s.setClerkPassword(secret);
        HostDialogsScripted dialogs;
        dialogs.answerWith([&](QDialog &d) {
            d.findChild<QLineEdit *>(QStringLiteral("edSet"))->setText(QStringLiteral("demo"));
            return fillAndClick({{QStringLiteral("edUser"), QStringLiteral("clerk")},
                                 {QStringLiteral("edPassword"), secret}})(d);
        });
        {
            HostApp app(serverOptions(s), test::fastServerOptions());
            QVERIFY(app.start());
            QVERIFY(app.session()->remote());
            QCOMPARE(app.session()->setName(), QStringLiteral("demo"));
            QCOMPARE(app.session()->session().userCode, QStringLiteral("clerk"));
        }
        const LastLogin last = LastLogin::load();
        QCOMPARE(last.server, s.address());
        QCOMPARE(last.set, QStringLiteral("demo"));
        QCOMPARE(last.user, QStringLiteral("clerk"));
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvane"),
                           QStringLiteral("Vexa"));
        QFile file(settings.fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray stored = file.readAll();
        QVERIFY(stored.contains("clerk"));
        QVERIFY(!QString::fromUtf8(stored).contains(secret));

        // A file named on the command line wins over the remembered server.
        {
            HostOptions onFile;
            onFile.dataPath = s.path();
            onFile.pluginPath = kFakePlugin;
            onFile.user = QStringLiteral("clerk");
            onFile.password = secret;
            onFile.hasPassword = true;
            HostApp app(onFile, test::fastServerOptions());
            QVERIFY(app.start());
            QVERIFY(!app.session()->remote());
        }
        LastLogin{s.address(), QStringLiteral("demo"), QStringLiteral("clerk")}.save();

        // A plain start shows what was remembered; the user picks the file instead.
        QStringList shown;
        dialogs.answerWith([&](QDialog &d) {
            shown = QStringList{text(d, "edServer"), text(d, "edSet"), text(d, "edUser"),
                                text(d, "edPassword")};
            return fillAndClick({{QStringLiteral("edServer"), QString()},
                                 {QStringLiteral("edSet"), s.path()},
                                 {QStringLiteral("edPassword"), secret}})(d);
        });
        HostOptions plain;
        plain.pluginPath = kFakePlugin;
        {
            HostApp app(plain, test::fastServerOptions());
            QVERIFY(app.start());
            QCOMPARE(shown, (QStringList{
                                s.address(), QStringLiteral("demo"), QStringLiteral("clerk"), {}}));
            QVERIFY(!app.session()->remote());
            QVERIFY(app.session()->localConnection());
            QCOMPARE(app.session()->session().userCode, QStringLiteral("clerk"));
        }
        QCOMPARE(LastLogin::load().server, QString());
    }

    // A server that goes away under an open session: every call says so, the status bar
    // points to 重新登录, and a re-login once the server is back carries on in the same
    // window with the same datasets.
    void serverLostAndBack()
    {
        ServedSet s;
        const QString secret = QStringLiteral("只有张三知道-8");
        s.setClerkPassword(secret);
        HostDialogsScripted dialogs;
        HostApp app(serverOptions(s, QStringLiteral("clerk"), secret), test::fastServerOptions());
        QVERIFY(app.start());
        IPluginHost *host = fakePlugin(app)->host;
        IRemoteConnection *connection = host->GetConnection();
        const DataPacket before = connection->request(kUsers, kByCode);
        ClientDataSet *shared = host->GetDataModule()->dataSet(QStringLiteral("CDS_GLAcct"));

        const quint16 port = s.port;
        s.stop();
        QCOMPARE(errorOf([&] { connection->request(kUsers, kByCode); }), kLost);
        QCOMPARE(errorOf([&] { host->GetValue(QStringLiteral("DATE")); }), kLost);
        QVERIFY(app.session()->connectionLost());
        QCOMPARE(app.window()->statusNote(),
                 QStringLiteral("与服务器的连接已断开。请用“系统 → 重新登录”再次登录。"));
        const auto sessionText = [&] {
            return app.window()->findChild<QLabel *>(QStringLiteral("lbSession"))->text();
        };
        QVERIFY2(sessionText().endsWith(QStringLiteral("（与服务器的连接已断开）")),
                 qPrintable(sessionText()));

        // While the server is away the login dialog says why and stays open.
        QString notice, refusal;
        dialogs.answerWith([&](QDialog &d) {
            notice = text(d, "lbNotice");
            fillAndClick({{QStringLiteral("edPassword"), secret}})(d);
            refusal = text(d, "lbError");
            d.findChild<QPushButton *>(QStringLiteral("btnCancel"))->click();
            return d.result();
        });
        host->Relogin();
        QCOMPARE(notice, QStringLiteral("与服务器的连接已断开。登录后继续工作。"));
        QVERIFY2(refusal.startsWith(QStringLiteral("无法连接到服务器 127.0.0.1:%1").arg(port)),
                 qPrintable(refusal));
        QVERIFY(app.session()->connectionLost());

        s.start(port);
        dialogs.answerWith(fillAndClick({{QStringLiteral("edPassword"), secret}}));
        fakePlugin(app)->log.clear();
        host->Relogin();
        QCOMPARE(dialogs.pending(), 0);
        QVERIFY(!app.session()->connectionLost());
        QVERIFY(!sessionText().contains(kLost.chopped(1)));
        QCOMPARE(host->GetConnection(), connection);
        QCOMPARE(connection->request(kUsers, kByCode), before);
        QVERIFY(host->GetValue(QStringLiteral("HASRELOGIN")).toBool());
        QCOMPARE(host->GetDataModule()->dataSet(QStringLiteral("CDS_GLAcct")), shared);
        QVERIFY(shared->isActive());
        QVERIFY(!fakePlugin(app)->log.isEmpty());
        QVERIFY(fakePlugin(app)->log.first().startsWith(QStringLiteral("Reload(false)")));
        QCOMPARE(dialogs.messages.messages.size(), 0);

        // Lost a second time: said again.
        app.window()->showStatusNote(QString());
        s.stop();
        QCOMPARE(errorOf([&] { connection->request(kUsers, kByCode); }), kLost);
        QCOMPARE(app.window()->statusNote(),
                 QStringLiteral("与服务器的连接已断开。请用“系统 → 重新登录”再次登录。"));
    }

    // An unknown server's certificate is trusted only on 信任并连接; Enter cancels.
    void trustQuestion()
    {
        HostDialogsScripted dialogs;
        const net::ClientSecurity security = clientSecurity({}, nullptr);
        QVERIFY(!security.insecure);
        QVERIFY(security.trustNewServer);
        const QString print = QStringLiteral("AB:CD:EF");
        dialogs.click(QStringLiteral("btnOk"));
        QVERIFY(security.trustNewServer(QStringLiteral("books.example:7070"), print));
        dialogs.click(QStringLiteral("btnCancel"));
        QVERIFY(!security.trustNewServer(QStringLiteral("books.example:7070"), print));
        dialogs.answerWith([](QDialog &d) {
            QTest::keyClick(&d, Qt::Key_Return);
            return d.result();
        });
        QVERIFY(!security.trustNewServer(QStringLiteral("books.example:7070"), print));
        QCOMPARE(dialogs.shown.size(), 3);
        QVERIFY(dialogs.shown[0].text.contains(print));
        QVERIFY(dialogs.shown[0].text.contains(QStringLiteral("books.example:7070")));

        const net::ClientSecurity plain = clientSecurity({true, {}}, nullptr);
        QVERIFY(plain.insecure);
        QVERIFY(!plain.trustNewServer);
        QCOMPARE(clientSecurity({false, QStringLiteral("/etc/ca.pem")}, nullptr).caFile,
                 QStringLiteral("/etc/ca.pem"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_settings;
};

QTEST_MAIN(TestHostNet)
#include "tst_hostnet.moc"
