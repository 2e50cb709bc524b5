#include "ClientDataSet.h"
#include "Frame.h"
#include "NetConnection.h"
#include "NetServer.h"
#include "Protocol.h"
#include "WireValue.h"
#include "support/ServerFixture.h"

#include <vexa/Error.h>

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace vexa;
using namespace vexa::net;
using vexa::test::ServerFixture;

namespace {

const QString kAccounts = QStringLiteral("LX_DMAccounting");
const QString kAll = QStringLiteral("WHERE 1=1 ORDER BY AcctCode");

// A demo set served on a free loopback port.
struct NetFixture
{
    ServerFixture set;
    NetServer server{*set.server};

    NetFixture() { server.listen(QHostAddress::LocalHost, 0); }

    std::unique_ptr<NetConnection> client(const char *user = "Manager",
                                          const char *password = "manager")
    {
        auto c = std::make_unique<NetConnection>(ServerAddress{QStringLiteral("127.0.0.1"), server.port()},
                                                 ClientSecurity::plainTcp(), 20000);
        if (user)
            c->login({}, QString::fromUtf8(user), QString::fromUtf8(password));
        return c;
    }
};

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
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
    QTcpSocket socket;
    FrameReader reader;

    explicit RawClient(quint16 port)
    {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(socket.waitForConnected(5000));
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
    }

    // Nothing but the handshake and a login is answered before a successful login; a hello of
    // another version is refused with its reason and the connection closed.
    void refusedBeforeLogin()
    {
        NetFixture f;
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

        RawClient raw(f.server.port());
        raw.send(Hello{kProtocolName, 2, QStringLiteral("2.0")});
        const std::optional<Message> reply = raw.receive();
        QVERIFY(reply);
        const auto *error = std::get_if<ErrorReply>(&*reply);
        QVERIFY(error);
        QCOMPARE(error->id, qint64(0));
        QVERIFY2(error->message.contains(QStringLiteral("第 2 版")), qPrintable(error->message));
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
};

QTEST_GUILESS_MAIN(tst_NetServer)
#include "tst_netserver.moc"
