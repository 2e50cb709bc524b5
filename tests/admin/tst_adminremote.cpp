// vexa-admin on a set served by vexa-server (vexa://HOST:PORT/SET): the same answers as
// on the file, changes through the server's operations and its checks, and clear
// refusals for what only works on the server machine.

#include "AdminRun.h"
#include "NetServer.h"

#include <vexa/Error.h>

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace vexa;
using test::AdminResult;
using test::runAdminCommand;

namespace {

// A demo set served on a free loopback port, refusals not slowed down.
struct ServedSet
{
    QTemporaryDir dir;
    std::unique_ptr<server::AppServer> set;
    std::unique_ptr<net::NetServer> server;

    ServedSet()
    {
        set = server::AppServer::create(path(), true, test::fastAdminOptions().server);
        server = std::make_unique<net::NetServer>(*set);
        server->listen(QHostAddress::LocalHost, 0);
    }
    QString path() const { return dir.filePath(QStringLiteral("demo.vexa")); }
    QString at() const { return QStringLiteral("vexa://127.0.0.1:%1/demo").arg(server->port()); }
};

// A command on the server as Manager, the password on standard input before anything else.
AdminResult asManager(const ServedSet &s, const QStringList &args, const QString &more = {})
{
    QStringList full = args;
    full.insert(1, s.at());
    full << QStringLiteral("--user") << QStringLiteral("Manager") << QStringLiteral("--insecure");
    return runAdminCommand(full, QStringLiteral("manager\n") + more);
}

AdminResult onFile(const ServedSet &s, QStringList args)
{
    args.insert(1, s.path());
    return runAdminCommand(args);
}

} // namespace

class TestAdminRemote : public QObject
{
    Q_OBJECT

private slots:
    void sameAsOnFile_data();
    void sameAsOnFile();
    void changesThroughServer();
    void refusals_data();
    void refusals();
};

void TestAdminRemote::sameAsOnFile_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("users") << QStringList{"users"};
    QTest::newRow("groups") << QStringList{"groups"};
    QTest::newRow("rights") << QStringList{"rights", "2"};
    QTest::newRow("query csv") << QStringList{"query", "LX_DMCurrency", "WHERE CurrCode <> 'RMB'",
                                              "--format", "csv"};
    QTest::newRow("call") << QStringList{"call", "GetFieldMaxValue", "SMModules", "ObjType"};
    QTest::newRow("check") << QStringList{"check"};
    QTest::newRow("dump") << QStringList{"dump", "SMModules"};
}

void TestAdminRemote::sameAsOnFile()
{
    QFETCH(QStringList, args);
    ServedSet s;
    const AdminResult local = onFile(s, args);
    QCOMPARE(local.status, 0);
    const AdminResult remote = asManager(s, args);
    QCOMPARE(remote.err, QString());
    QCOMPARE(remote.status, 0);
    if (QTest::currentDataTag() != QLatin1String("rights")) {
        QCOMPARE(remote.out, local.out);
        return;
    }
    // The server names the object-menu types the file's own listing leaves blank: the same
    // rights, compared by object type and level.
    const auto typesAndLevels = [](const QString &table) {
        QStringList out;
        for (const QString &line : table.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            out << words.first() + QLatin1Char(' ') + words.last();
        }
        return out;
    };
    QCOMPARE(typesAndLevels(remote.out), typesAndLevels(local.out));
}

void TestAdminRemote::changesThroughServer()
{
    ServedSet s;
    // users add: the new user's password is typed twice after the login's.
    AdminResult r = asManager(s, {"users", "add", "王会计", "--group", "2", "--name", "王芳"},
                              QStringLiteral("新密码1\n新密码1\n"));
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QStringLiteral("已增加用户“王会计”。\n"));
    r = asManager(s, {"passwd", "clerk"}, QStringLiteral("另一个2\n另一个2\n"));
    QCOMPARE(r.out, QStringLiteral("已修改用户“clerk”的密码。\n"));
    r = asManager(s, {"users", "disable", "王会计"});
    QCOMPARE(r.status, 0);
    auto c = s.set->connect();
    c->login(QStringLiteral("clerk"), QStringLiteral("另一个2"));
    QVERIFY(onFile(s, {"users"}).out.contains(QStringLiteral("王芳")));
    QVERIFY_THROWS_EXCEPTION(
        Error, s.set->connect()->login(QStringLiteral("王会计"), QStringLiteral("新密码1")));

    r = asManager(s, {"info"});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.startsWith(QStringLiteral("账套：%1\n").arg(s.at())), qPrintable(r.out));
    const QStringList onServer = r.out.split(QLatin1Char('\n')).mid(1);
    const QStringList local = onFile(s, {"info"}).out.split(QLatin1Char('\n')).mid(1);
    // All but the file size, which grows with the log.
    QCOMPARE(onServer.mid(0, 6), local.mid(0, 6));
    QVERIFY(onServer.contains(QStringLiteral("用户数：3（停用 1）")));

    // The users' table leaves the server without the password hashes.
    r = asManager(s, {"dump", "SysUser"});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains(QStringLiteral("王芳")));
    QVERIFY(onFile(s, {"dump", "SysUser"}).out.contains(QStringLiteral("$argon2id$")));
    QVERIFY2(!r.out.contains(QStringLiteral("PasswordHash")) &&
                 !r.out.contains(QStringLiteral("argon2")),
             qPrintable(r.out));

    // check runs on the server and reports what it finds there.
    const auto direct = s.set->connect();
    QSqlQuery q(direct->database());
    QVERIFY(q.exec(QStringLiteral("INSERT INTO FINPostingPeriods (PeriodID, Year, No, PostingFrom, "
                                  "PostingTo) VALUES (901, 2030, 1, '2030-02-01', '2030-01-01')")));
    r = asManager(s, {"check"});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.out.contains(QStringLiteral("会计期间 2030 年第 1 期的开始日期晚于结束日期。")),
             qPrintable(r.out));
}

void TestAdminRemote::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    const auto row = [](const char *tag, const QStringList &args, const char *input, int status,
                        const char *error) {
        QTest::newRow(tag) << args << input << status << error;
    };
    const QStringList asManager{"--user", "Manager", "--insecure"};
    row("backup", {"backup", "@", "/tmp/x.bak"}, "", 1, "请在那台机器上用账套文件的路径");
    row("restore onto a server", {"restore", "/tmp/x.bak", "@"}, "", 1,
        "请在那台机器上用账套文件的路径");
    row("rename", QStringList{"users", "@", "rename", "clerk", "x"} + asManager, "manager\n", 1,
        "不能通过服务器做");
    row("no login name", {"users", "@", "--insecure"}, "", 2, "--user");
    row("wrong password", QStringList{"users", "@"} + asManager, "nope\n", 1, "用户名或密码错误。");
    row("not an administrator", {"groups", "@", "add", "出纳组", "--user", "clerk", "--insecure"},
        "clerk\n", 1, "只有系统管理员才能管理用户和权限组");
    row("no host", QStringList{"users", "vexa://:7070/demo"} + asManager, "manager\n", 1,
        "写法不对");
    row("nobody listening", QStringList{"users", "vexa://127.0.0.1:1/demo"} + asManager,
        "manager\n", 1, "无法连接到服务器 127.0.0.1:1");
    row("connection options on a file", {"users", "FILE", "--insecure"}, "", 2,
        "没有选项“--insecure”");
}

void TestAdminRemote::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(QString, input);
    QFETCH(int, status);
    QFETCH(QString, error);
    ServedSet s;
    args.replaceInStrings(QStringLiteral("@"), s.at());
    args.replaceInStrings(QStringLiteral("FILE"), s.path());
    const QString before = onFile(s, {"groups"}).out;
    const AdminResult r = runAdminCommand(args, input);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QCOMPARE(r.status, status);
    QCOMPARE(r.out, QString());
    QCOMPARE(onFile(s, {"groups"}).out, before);
}

QTEST_MAIN(TestAdminRemote)
#include "tst_adminremote.moc"
