#include "Certificates.h"
#include "ClientDataSet.h"
#include "Frame.h"
#include "NetConnection.h"
#include "NetServer.h"
#include "Protocol.h"
#include "WireValue.h"
#include "support/LedgerSet.h"
#include "support/ServerFixture.h"
#include "support/TestSupport.h"

#include <vexa/Error.h>

#include <QFile>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

using namespace vexa;
using namespace vexa::net;
using vexa::test::ServerFixture;

namespace {

const QString kAccounts = QStringLiteral("LX_DMAccounting");
const QString kAll = QStringLiteral("WHERE 1=1 ORDER BY AcctCode");

const QString kLost = QStringLiteral("与服务器的连接已断开。");

// A key and certificate in a temporary folder, made as vexa-admin cert makes them.
struct ServerCertificate
{
    QTemporaryDir dir;
    QString fingerprint;

    explicit ServerCertificate(const QStringList &hosts = {QStringLiteral("127.0.0.1")})
    {
        fingerprint = Certificates::writeFiles(dir.path(), hosts);
    }
    QString certFile() const { return dir.filePath(QStringLiteral("server.crt")); }
    QString keyFile() const { return dir.filePath(QStringLiteral("server.key")); }
    NetServerOptions options() const
    {
        NetServerOptions o;
        o.loadCertificate(certFile(), keyFile());
        return o;
    }
};

// A demo set served on a free loopback port, over TLS with its own certificate (clients
// trust it as their CA) or plain TCP; limits: the server's timeouts and connection limit.
struct NetFixture
{
    ServerFixture set;
    ServerCertificate certificate;
    bool tls;
    NetServer server;

    explicit NetFixture(NetServerOptions limits = {}, bool tls = true,
                        QMap<QString, server::AppServer *> sets = {})
        : tls(tls), server(withDemo(std::move(sets)), withCertificate(std::move(limits)))
    {
        server.listen(QHostAddress::LocalHost, 0);
    }

    ServerAddress address() const { return {QStringLiteral("127.0.0.1"), server.port()}; }

    ClientSecurity security() const
    {
        if (!tls)
            return ClientSecurity::plainTcp();
        ClientSecurity s;
        s.caFile = certificate.certFile();
        return s;
    }

    std::unique_ptr<NetConnection> client(const char *user = "Manager",
                                          const char *password = "manager")
    {
        auto c = std::make_unique<NetConnection>(address(), security(), 20000);
        if (user)
            c->login({}, QString::fromUtf8(user), QString::fromUtf8(password));
        return c;
    }

private:
    QMap<QString, server::AppServer *> withDemo(QMap<QString, server::AppServer *> sets)
    {
        sets.insert(QStringLiteral("demo"), set.server.get());
        return sets;
    }
    NetServerOptions withCertificate(NetServerOptions options)
    {
        if (tls)
            options.loadCertificate(certificate.certFile(), certificate.keyFile());
        return options;
    }
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::unique_ptr<ClientDataSet> openOn(IRemoteConnection &c)
{
    auto ds = std::make_unique<ClientDataSet>();
    ds->setRemoteConnection(&c);
    ds->setProviderName(kAccounts);
    ds->setCommandText(kAll);
    ds->open();
    return ds;
}

using vexa::test::appendAccount;

void rename(ClientDataSet &ds, const QString &name)
{
    ds.edit();
    ds.setValue(QStringLiteral("AcctName"), name);
    ds.post();
}

int apply(IAppServer &c, ClientDataSet &ds, QVariant owner = QVariant())
{
    int errors = -1;
    c.applyUpdates(ds.providerName(), ds.delta(), -1, errors, owner);
    if (errors == 0)
        ds.mergeChangeLog();
    return errors;
}

QString firstName(IRemoteConnection &c)
{
    const DataPacket p = c.request(kAccounts, kAll);
    return p.rows.empty()
               ? QString()
               : p.rows[0][indexOfField(p.fields, QStringLiteral("AcctName"))].toString();
}

// A client speaking raw frames, for what NetConnection never sends.
struct RawClient
{
    QSslSocket socket;
    FrameReader reader;

    explicit RawClient(quint16 port, bool tls = true)
    {
        if (!tls) {
            socket.connectToHost(QStringLiteral("127.0.0.1"), port);
            QVERIFY(socket.waitForConnected(5000));
            return;
        }
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        QVERIFY(socket.waitForEncrypted(5000));
    }
    void send(const QByteArray &bytes)
    {
        socket.write(bytes);
        QVERIFY(socket.waitForBytesWritten(5000));
    }
    void send(const Message &m) { send(writeFrame(encodeMessage(m))); }
    // The next message, or an invalid optional when the server closed first.
    std::optional<Message> receive()
    {
        while (!reader.hasFrame()) {
            if (!socket.bytesAvailable() && !socket.waitForReadyRead(5000))
                return std::nullopt;
            reader.feed(socket.readAll());
        }
        return decodeMessage(reader.takeFrame());
    }
    bool closedByServer()
    {
        return socket.state() == QAbstractSocket::UnconnectedState ||
               socket.waitForDisconnected(5000);
    }
};

} // namespace

class tst_NetServer : public QObject
{
    Q_OBJECT

private slots:
    // Over the network the plug-in sees what the in-process server gives it.
    void sameAsInProcess()
    {
        NetFixture f;
        auto local = f.set.connect();
        auto net = f.client(nullptr);
        const server::SessionInfo s =
            net->login({}, QStringLiteral("Manager"), QStringLiteral("manager"));
        QCOMPARE(s.userId, local->session().userId);
        QCOMPARE(s.userName, local->session().userName);
        QCOMPARE(s.manager, local->session().manager);

        auto ds = openOn(*net);
        appendAccount(*ds, 1, QStringLiteral("1001"), QStringLiteral("库存现金"));
        appendAccount(*ds, 2, QStringLiteral("1002"), QStringLiteral("银行存款"));
        const QVariant owner = QVariantList{QStringLiteral("表单"), 7};
        int errors = -1;
        QVariant back = owner;
        net->applyUpdates(kAccounts, ds->delta(), -1, errors, back);
        QCOMPARE(errors, 0);
        QVERIFY(identicalValues(back, owner));
        const DataPacket stored = local->request(kAccounts, kAll);
        QCOMPARE(stored.rows.size(), size_t(2));
        QCOMPARE(net->request(kAccounts, kAll), stored);

        // A named operation: the same value of the same type, the arguments as it left them.
        QVariantList netArgs{QStringLiteral("AcctID"), 1};
        QVariantList localArgs = netArgs;
        const QVariant first = net->call(QStringLiteral("GetEntityID"), netArgs);
        const QVariant second = local->call(QStringLiteral("GetEntityID"), localArgs);
        QCOMPARE(first.metaType(), second.metaType());
        QCOMPARE(second.toLongLong(), first.toLongLong() + 1);
        QVERIFY(identicalValues(QVariant(netArgs), QVariant(localArgs)));

        // A refusal carries the server's message; the session goes on.
        QCOMPARE(errorOf([&] { net->call(QStringLiteral("NoSuchOperation")); }),
                 errorOf([&] { local->call(QStringLiteral("NoSuchOperation")); }));
        QCOMPARE(net->lastError(), local->lastError());
        QVERIFY(qAbs(net->serverDateTime().secsTo(QDateTime::currentDateTime())) < 60);

        // The operation log names the client's address, not the server's host.
        using namespace vexa::test;
        ledgerSql(local->database(), QStringLiteral("DELETE FROM T0102010")); // the two above
        setUpLedger(*local);
        QVariantList voucher{voucherHeader(0, QStringLiteral("记"), QDate(2024, 3, 5)),
                             voucherLines({VLine{Cash, 100, 0}, VLine{Taxes, 0, 100}})};
        net->call(QStringLiteral("SaveVoucher"), voucher);
        QSqlQuery q(local->database());
        QVERIFY(q.exec(QStringLiteral("SELECT Machine FROM OperationLog")) && q.next());
        QVERIFY2(q.value(0).toString().startsWith(QLatin1String("127.0.0.1:")),
                 qPrintable(q.value(0).toString()));
    }

    // Nothing but the handshake and a login is answered before a successful login; a hello of
    // another version is refused with its reason and the connection closed.
    void refusedBeforeLogin()
    {
        NetFixture f({}, false);
        auto net = f.client(nullptr);
        const QString notLoggedIn = QStringLiteral("尚未登录，请先登录。");
        QCOMPARE(errorOf([&] { net->request(kAccounts, kAll); }), notLoggedIn);
        QCOMPARE(errorOf([&] { net->call(QStringLiteral("GetEntityID")); }), notLoggedIn);
        QCOMPARE(errorOf([&] { net->serverDateTime(); }), notLoggedIn);
        QCOMPARE(errorOf([&] { net->login({}, QStringLiteral("Manager"), QStringLiteral("x")); }),
                 QStringLiteral("用户名或密码错误。"));
        QCOMPARE(errorOf([&] { net->request(kAccounts, kAll); }), notLoggedIn);
        net->login({}, QStringLiteral("Manager"), QStringLiteral("manager"));
        QVERIFY(net->request(kAccounts, kAll).rows.empty());

        RawClient raw(f.server.port(), false);
        raw.send(Hello{kProtocolName, kProtocolVersion + 1, QStringLiteral("2.0")});
        const std::optional<Message> reply = raw.receive();
        QVERIFY(reply);
        const auto *error = std::get_if<ErrorReply>(&*reply);
        QVERIFY(error);
        QCOMPARE(error->id, qint64(0));
        QVERIFY2(error->message.contains(QStringLiteral("第 %1 版").arg(kProtocolVersion + 1)),
                 qPrintable(error->message));
        QVERIFY(raw.closedByServer());
    }

    // A bad stream closes that client with the reason; another client goes on.
    void badFrameClosesOnlyThatClient_data()
    {
        QTest::addColumn<bool>("greet");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("garbage payload") << true << writeFrame("not cbor");
        QTest::newRow("zero length") << true << QByteArray(4, '\0');
        QTest::newRow("oversized length") << true << QByteArray(4, '\xff');
        QTest::newRow("reply kind from a client")
            << true << writeFrame(encodeMessage(Applied{1, 0, {}}));
        QTest::newRow("request before hello")
            << false << writeFrame(encodeMessage(Request{1, kAccounts, kAll}));
    }
    void badFrameClosesOnlyThatClient()
    {
        QFETCH(bool, greet);
        QFETCH(QByteArray, bytes);
        NetFixture f;
        auto good = f.client();
        QSignalSpy closed(&f.server, &NetServer::connectionClosed);
        RawClient raw(f.server.port());
        if (greet) {
            raw.send(Hello{});
            const std::optional<Message> hello = raw.receive();
            QVERIFY(hello && std::holds_alternative<Hello>(*hello));
        }
        raw.send(bytes);
        const std::optional<Message> reply = raw.receive();
        QVERIFY(reply && std::holds_alternative<ErrorReply>(*reply));
        QCOMPARE(std::get<ErrorReply>(*reply).id, qint64(0));
        QVERIFY(std::get<ErrorReply>(*reply).message.startsWith(QStringLiteral("通信协议错误")));
        QVERIFY(raw.closedByServer());
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(good->request(kAccounts, kAll).rows.empty());
    }

    // A client gone inside BeginTrans leaves nothing behind and holds no lock.
    void dropInsideTransactionRollsBack()
    {
        NetFixture f;
        auto local = f.set.connect();
        auto ds = openOn(*local);
        appendAccount(*ds, 1, QStringLiteral("1001"), QStringLiteral("库存现金"));
        QCOMPARE(apply(*local, *ds), 0);
        local.reset();

        QSignalSpy closed(&f.server, &NetServer::connectionClosed);
        auto leaving = f.client();
        leaving->call(QStringLiteral("BeginTrans"));
        auto mine = openOn(*leaving);
        rename(*mine, QStringLiteral("未提交"));
        QCOMPARE(apply(*leaving, *mine), 0);
        leaving.reset(); // the socket drops, no logout
        QTRY_COMPARE(closed.count(), 1);

        auto other = f.client("clerk", "clerk");
        QCOMPARE(firstName(*other), QStringLiteral("库存现金"));
        auto theirs = openOn(*other);
        rename(*theirs, QStringLiteral("已保存"));
        QCOMPARE(apply(*other, *theirs), 0);
        QCOMPARE(firstName(*other), QStringLiteral("已保存"));
    }

    // Two clients at once each keep their own session; when the server goes, every later
    // call says the connection is lost.
    void twoSessionsThenServerGone()
    {
        NetFixture f;
        auto manager = f.client();
        auto clerk = f.client("clerk", "clerk");
        QCOMPARE(errorOf([&] { clerk->call(QStringLiteral("NoSuchOperation")); }),
                 QStringLiteral("应用服务器没有操作“NoSuchOperation”。"));
        QCOMPARE(manager->lastError(), QString());
        QVariantList args{QStringLiteral("clerk"), QStringLiteral("新密码")};
        QCOMPARE(clerk->call(QStringLiteral("Modifyps"), args).toInt(), 0);
        QCOMPARE(errorOf([&] { f.client("clerk", "clerk"); }),
                 QStringLiteral("用户名或密码错误。"));
        f.client("Manager", "manager"); // the manager's own password is untouched

        f.server.stop();
        const QString lost = QStringLiteral("与服务器的连接已断开。");
        QCOMPARE(errorOf([&] { manager->request(kAccounts, kAll); }), lost);
        QCOMPARE(errorOf([&] { manager->call(QStringLiteral("GetLastErrorInfo")); }), lost);
    }

    // The server's conflict report arrives with its kind.
    void conflictKeepsItsKind()
    {
        NetFixture f;
        auto a = f.client();
        auto b = f.client("clerk", "clerk");
        auto first = openOn(*a);
        appendAccount(*first, 1, QStringLiteral("1001"), QStringLiteral("库存现金"));
        QCOMPARE(apply(*a, *first), 0);
        auto theirs = openOn(*b);
        rename(*theirs, QStringLiteral("由 b 改名"));
        QCOMPARE(apply(*b, *theirs), 0);
        rename(*first, QStringLiteral("由 a 改名"));
        QCOMPARE(apply(*a, *first), 1);
        QVERIFY2(a->lastError().contains(QStringLiteral("已被其他用户修改")),
                 qPrintable(a->lastError()));
        QVariantList kind{QStringLiteral("Kind")};
        QCOMPARE(ErrorKind(a->call(QStringLiteral("GetLastErrorInfo"), kind).toInt()),
                 ErrorKind::ChangedByOther);
        QCOMPARE(firstName(*a), QStringLiteral("由 b 改名"));
    }
    // Trust on first use: an unknown server is asked about and pinned; a pinned one is not
    // asked again; one whose certificate changed is refused, naming both fingerprints,
    // without asking.
    void trustOnFirstUse()
    {
        NetFixture f;
        QTemporaryDir home;
        const QString known = home.filePath(QStringLiteral("vexa/known_servers"));
        const QString line = f.address().toString() + u' ' + f.certificate.fingerprint;
        QStringList asked;
        bool answer = false;
        ClientSecurity tofu;
        tofu.knownServersFile = known;
        tofu.trustNewServer = [&](const QString &server, const QString &fingerprint) {
            asked.append(server + u' ' + fingerprint);
            return answer;
        };

        QVERIFY(errorOf([&] { NetConnection(f.address(), tofu); }).contains(u"没有信任"));
        QVERIFY(!QFile::exists(known));
        answer = true;
        NetConnection(f.address(), tofu)
            .login({}, QStringLiteral("Manager"), QStringLiteral("manager"));
        QCOMPARE(asked, QStringList({line, line}));
        QCOMPARE(contents(known), (line + u'\n').toUtf8());
        NetConnection(f.address(), tofu)
            .login({}, QStringLiteral("clerk"), QStringLiteral("clerk"));
        QCOMPARE(asked.size(), 2);

        // Nobody to ask: the refusal tells the fingerprint and the line that trusts it.
        ClientSecurity unattended;
        unattended.knownServersFile = home.filePath(QStringLiteral("empty"));
        const QString unknown = errorOf([&] { NetConnection(f.address(), unattended); });
        QVERIFY2(unknown.contains(u'“' + line + u'”'), qPrintable(unknown));

        ServerCertificate before;
        QFile pinned(known);
        QVERIFY(pinned.open(QIODevice::WriteOnly));
        pinned.write((f.address().toString() + u' ' + before.fingerprint + u'\n').toUtf8());
        pinned.close();
        const QString changed = errorOf([&] { NetConnection(f.address(), tofu); });
        QVERIFY2(changed.contains(before.fingerprint) &&
                     changed.contains(f.certificate.fingerprint),
                 qPrintable(changed));
        QCOMPARE(asked.size(), 2);
    }

    // With a CA file the server's certificate must be signed by it and name the host.
    void caFileChecksSignerAndHost_data()
    {
        QTest::addColumn<QString>("host"); // the one name the server's certificate carries
        QTest::addColumn<bool>("ownCa");   // the client's CA file is that certificate
        QTest::addColumn<bool>("accepted");
        QTest::newRow("signed, its host") << QStringLiteral("127.0.0.1") << true << true;
        QTest::newRow("another host") << QStringLiteral("books.example") << true << false;
        QTest::newRow("another CA") << QStringLiteral("127.0.0.1") << false << false;
    }
    void caFileChecksSignerAndHost()
    {
        QFETCH(QString, host);
        QFETCH(bool, ownCa);
        QFETCH(bool, accepted);
        ServerFixture set;
        const ServerCertificate certificate({host});
        const ServerCertificate stranger;
        NetServer server({{QStringLiteral("demo"), set.server.get()}}, certificate.options());
        server.listen(QHostAddress::LocalHost, 0);
        ClientSecurity security;
        security.caFile = ownCa ? certificate.certFile() : stranger.certFile();
        const QString error = errorOf([&] {
            NetConnection({QStringLiteral("127.0.0.1"), server.port()}, security)
                .login({}, QStringLiteral("Manager"), QStringLiteral("manager"));
        });
        QVERIFY2(error.isEmpty() == accepted, qPrintable(error));
        if (!accepted)
            QVERIFY2(error.contains(u"未通过"), qPrintable(error));
    }

    // A certificate the server cannot use stops it before it listens.
    void certificateFilesRefused_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing certificate")
            << QStringLiteral("none.crt") << QStringLiteral("a.key")
            << QStringLiteral("无法读取证书文件");
        QTest::newRow("key of another certificate")
            << QStringLiteral("a.crt") << QStringLiteral("b.key")
            << QStringLiteral("私钥与证书不匹配");
        QTest::newRow("a key for the certificate")
            << QStringLiteral("a.key") << QStringLiteral("a.key")
            << QStringLiteral("没有 PEM 格式的证书");
    }
    void certificateFilesRefused()
    {
        QFETCH(QString, cert);
        QFETCH(QString, key);
        QFETCH(QString, error);
        const ServerCertificate a, b;
        const auto file = [&](const QString &name) {
            const ServerCertificate &c = name.startsWith(u'a') ? a : b;
            return name.endsWith(QLatin1String(".key")) ? c.keyFile()
                   : name == u"none.crt"                ? c.dir.filePath(name)
                                                        : c.certFile();
        };
        NetServerOptions options;
        const QString refusal = errorOf([&] { options.loadCertificate(file(cert), file(key)); });
        QVERIFY2(refusal.contains(error), qPrintable(refusal));
        QVERIFY(!options.tls());
    }

    // The key is readable by its owner only, and a second run never replaces a key in use.
    void certificateFilesWrittenOnce()
    {
        const ServerCertificate first;
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFile::permissions(first.keyFile()) & others, QFileDevice::Permissions());
        const QByteArray key = contents(first.keyFile());
        QCOMPARE(
            errorOf([&] { Certificates::writeFiles(first.dir.path(), {QStringLiteral("x")}); }),
            QStringLiteral("文件“%1”已存在，不会覆盖。").arg(first.keyFile()));
        QCOMPARE(contents(first.keyFile()), key);
    }

    // Login names one of the server's sets; a refused login leaves the connection usable.
    void loginNamesTheSet_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("accounts");
        QTest::newRow("demo") << QStringLiteral("demo") << QString() << 0;
        QTest::newRow("second") << QStringLiteral("second") << QString() << 1;
        QTest::newRow("unknown") << QStringLiteral("third")
                                 << QStringLiteral("服务器上没有名为“third”的账套。") << 1;
        QTest::newRow("none of two")
            << QString() << QStringLiteral("服务器上有 2 个账套，登录时请指明账套名称。") << 1;
    }
    void loginNamesTheSet()
    {
        QFETCH(QString, set);
        QFETCH(QString, error);
        QFETCH(int, accounts);
        ServerFixture second;
        {
            auto local = second.connect();
            auto ds = openOn(*local);
            appendAccount(*ds, 1, QStringLiteral("1001"), QStringLiteral("库存现金"));
            QCOMPARE(apply(*local, *ds), 0);
        }
        NetFixture f({}, true, {{QStringLiteral("second"), second.server.get()}});
        auto net = f.client(nullptr);
        const auto login = [&](const QString &name) {
            net->login(name, QStringLiteral("Manager"), QStringLiteral("manager"));
        };
        QCOMPARE(errorOf([&] { login(set); }), error);
        if (!error.isEmpty())
            login(QStringLiteral("second"));
        QCOMPARE(int(net->request(kAccounts, kAll).rows.size()), accounts);
    }

    // A connection that never finishes TLS, or never logs in, is closed; so is a logged-in
    // one left idle, and its next call says why. A busy one is kept.
    void timeoutsClose()
    {
        NetServerOptions limits;
        limits.handshakeTimeoutMs = 300;
        limits.loginTimeoutMs = 1000;
        limits.idleTimeoutMs = 1000;
        NetFixture f(limits);
        QSignalSpy closed(&f.server, &NetServer::connectionClosed);

        QTcpSocket silent;
        silent.connectToHost(QStringLiteral("127.0.0.1"), f.server.port());
        QVERIFY(silent.waitForConnected(5000));
        QVERIFY(silent.waitForDisconnected(5000));
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(closed[0][1].toString(), QStringLiteral("TLS 握手没有在 300 毫秒内完成。"));

        auto late = f.client(nullptr);
        QTRY_COMPARE(closed.count(), 2);
        QCOMPARE(
            errorOf([&] { late->login({}, QStringLiteral("Manager"), QStringLiteral("manager")); }),
            QStringLiteral("没有在 1 秒内登录，服务器断开了连接。"));

        auto busy = f.client();
        for (int i = 0; i < 5; ++i) {
            QTest::qWait(300);
            QCOMPARE(errorOf([&] { busy->request(kAccounts, kAll); }), QString());
        }
        QTRY_COMPARE(closed.count(), 3);
        const QString idle = errorOf([&] { busy->request(kAccounts, kAll); });
        QVERIFY2(idle.startsWith(kLost) && idle.contains(u"空闲超过 1 秒"), qPrintable(idle));
        QCOMPARE(errorOf([&] { busy->request(kAccounts, kAll); }), kLost);
    }

    // Beyond the limit a new connection is told the server is full; the others go on, and a
    // place freed is taken again.
    void fullServerRefuses()
    {
        NetServerOptions limits;
        limits.maxConnections = 1;
        NetFixture f(limits);
        QSignalSpy closed(&f.server, &NetServer::connectionClosed);
        auto first = f.client();
        const QString full = errorOf([&] { f.client(); });
        QVERIFY2(full.startsWith(QStringLiteral("服务器的连接数已满")), qPrintable(full));
        QVERIFY(first->request(kAccounts, kAll).rows.empty());
        first->logout();
        QTRY_COMPARE(closed.count(), 2);
        QVERIFY(f.client()->request(kAccounts, kAll).rows.empty());
    }

    // A client that sends requests and reads none of the replies stalls only its own
    // connection: with its socket buffers full, another client is still answered.
    void slowClientStallsOnlyItself()
    {
        NetFixture f;
        QSignalSpy closed(&f.server, &NetServer::connectionClosed);
        RawClient slow(f.server.port());
        slow.send(Hello{});
        QVERIFY(slow.receive());
        slow.send(Login{1, {}, QStringLiteral("Manager"), QStringLiteral("manager")});
        const std::optional<Message> session = slow.receive();
        QVERIFY(session && std::holds_alternative<Session>(*session));
        slow.socket.setReadBufferSize(1);
        QByteArray burst;
        for (qint64 id = 2; id < 400; ++id)
            burst += writeFrame(encodeMessage(
                Request{id, QStringLiteral("SYS_SMAcctTempData"), QStringLiteral("WHERE 1=1")}));
        slow.send(burst);
        QThread::msleep(1500); // the server writes replies until the buffers are full
        std::unique_ptr<NetConnection> other;
        QCOMPARE(errorOf([&] { other = f.client(); }), QString());
        QVERIFY(other->request(kAccounts, kAll).rows.empty());
        QCOMPARE(closed.count(), 0); // the slow one is still served
    }
};

QTEST_GUILESS_MAIN(tst_NetServer)
#include "tst_netserver.moc"
