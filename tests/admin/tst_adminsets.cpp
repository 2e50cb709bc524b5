// Account sets for real use from the command line: create with an administrator of one's
// own instead of the demo logins, and the password resets that let a locked-out user back.
#include "AdminCommands.h"
#include "AdminRun.h"

#include "../support/ServerFixture.h"
#include "../support/TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace vexa;
using namespace vexa::admin;
using server::AppServer;

namespace {

AdminOptions options()
{
    return test::fastAdminOptions();
}

using Result = test::AdminResult;

Result run(const QStringList &args, const QString &input = QString())
{
    return test::runAdminCommand(args, input);
}

QString loginError(const QString &path, const QString &user, const QString &password)
{
    const auto server = AppServer::open(path, options().server);
    return errorOf([&] { server->connect()->login(user, password); });
}

int count(const QString &path, const QString &sql)
{
    const auto server = AppServer::open(path, options().server);
    QSqlQuery q(server->openConnection());
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestAdminSets : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    QString passwordFile(const char *name, const QByteArray &content) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return f.fileName();
    }

private slots:
    void createForUseHasItsAdministratorAndNoDemo()
    {
        const QString set = path("company.vexa");
        const Result r = run({QStringLiteral("create"), set, QStringLiteral("--admin"),
                              QStringLiteral("老王"), QStringLiteral("--password-file"),
                              passwordFile("pw", "s3cret 密码\r\nignored\n")});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.status, 0);
        QCOMPARE(loginError(set, QStringLiteral("老王"), QStringLiteral("s3cret 密码")), QString());
        QCOMPARE(loginError(set, QStringLiteral("Manager"), QStringLiteral("manager")),
                 QStringLiteral("用户名或密码错误。"));
        QCOMPARE(count(set, QStringLiteral("SELECT COUNT(*) FROM SysUser")), 1);
        QCOMPARE(count(set, QStringLiteral("SELECT COUNT(*) FROM SysUser WHERE Manager = 1 AND "
                                           "Active = 1 AND UserGroup = 1")),
                 1);
        // Everything of the seed but the demo: modules, the tree without personal nodes,
        // groups and rights, templates with their payloads.
        QCOMPARE(count(set, QStringLiteral("SELECT COUNT(*) FROM SMModuleTree WHERE UserID IS "
                                           "NOT NULL")),
                 0);
        QVERIFY(count(set, QStringLiteral("SELECT COUNT(*) FROM SMModules")) > 100);
        QVERIFY(count(set, QStringLiteral("SELECT COUNT(*) FROM SysCheckRight")) > 100);
        QCOMPARE(count(set, QStringLiteral("SELECT COUNT(*) FROM SMAcctTempData WHERE "
                                           "AcctXMLData IS NOT NULL")),
                 3);
    }

    void createAsksForWhatTheOptionsLeaveOut()
    {
        const QString set = path("asked.vexa");
        Result r = run({QStringLiteral("create"), set}, QStringLiteral("boss\npw1\npw1\n"));
        QCOMPARE(r.status, 0);
        QCOMPARE(loginError(set, QStringLiteral("boss"), QStringLiteral("pw1")), QString());

        const QString other = path("mismatch.vexa");
        r = run(
            {QStringLiteral("create"), other, QStringLiteral("--admin"), QStringLiteral("boss")},
            QStringLiteral("pw1\npw2\n"));
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, QStringLiteral("vexa-admin: 两次输入的新密码不一致，密码未修改。\n"));
        QVERIFY(!QFile::exists(other));
    }

    void createRefusals_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *tag, const QStringList &options, int status,
                            const QString &message) {
            QTest::newRow(tag) << options << status << message;
        };
        const auto admin = [](const QString &name, const QString &file) {
            return QStringList{"--admin", name, "--password-file", file};
        };
        const QString missing = path("no-such-file");
        row("missing password file", admin("boss", missing), 1,
            QStringLiteral("无法读取密码文件“%1”：No such file or directory").arg(missing));
        const QString empty = passwordFile("empty", "\nsecond line\n");
        row("empty first line", admin("boss", empty), 1,
            QStringLiteral("密码文件“%1”的第一行是空的。").arg(empty));
        const QString ok = passwordFile("ok", "pw");
        row("blank around the name", admin(" boss", ok), 1,
            QStringLiteral("登录名“ boss”的首尾不能有空格。"));
        const QString tooLong(21, QChar(u'王'));
        row("name too long", admin(tooLong, ok), 1,
            QStringLiteral("登录名“%1”太长：最多 40 个字节（汉字算 2 个）。").arg(tooLong));
        row("demo with an administrator", {"--demo", "--admin", "boss"}, 2,
            QStringLiteral("演示账套自带用户，--demo 不能与 --admin 或 --password-file 同用。"));
    }
    void createRefusals()
    {
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString set = path("refused.vexa");
        const Result r = run(QStringList{QStringLiteral("create"), set} + options);
        QCOMPARE(r.status, status);
        QCOMPARE(r.err.section(QLatin1Char('\n'), 0, 0), QStringLiteral("vexa-admin: ") + message);
        QVERIFY(!QFile::exists(set));
    }

    void infoAndList()
    {
        QTemporaryDir folder;
        const QString set = folder.filePath(QStringLiteral("a.vexa"));
        QCOMPARE(run({QStringLiteral("create"), set, QStringLiteral("--demo")}).status, 0);
        int version = 0; // the schema's, which grows with the product
        {
            const auto server = AppServer::open(set, options().server);
            version = server->schemaVersion();
            QSqlQuery q(server->openConnection());
            QVERIFY(q.exec(QStringLiteral(
                "INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, AcctTempDesc, "
                "GLStartPeriodName, InitialAudit) VALUES (1, '华东五金', 'RMB', '人民币', "
                "'企业会计准则', '2026年1期', 1)")));
            QVERIFY(
                q.exec(QStringLiteral("UPDATE SysUser SET Active = 0 WHERE UserCode = 'clerk'")));
        }
        Result r = run({QStringLiteral("info"), set});
        QCOMPARE(r.status, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.mid(1, 6),
                 (QStringList{QStringLiteral("单位名称：华东五金"),
                              QStringLiteral("科目模板：企业会计准则"),
                              QStringLiteral("财务启用期间：2026年1期"),
                              QStringLiteral("已启用：是"), QStringLiteral("版本：%1").arg(version),
                              QStringLiteral("用户数：2（停用 1）")}));

        // Only sets are listed: not a text file, not a database of something else.
        QFile(folder.filePath(QStringLiteral("notes.vexa"))).open(QIODevice::WriteOnly);
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
            other.setDatabaseName(folder.filePath(QStringLiteral("other.db")));
            QVERIFY(other.open());
            QSqlQuery(other).exec(QStringLiteral("CREATE TABLE t (x)"));
            other.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        r = run({QStringLiteral("list"), folder.path(), QStringLiteral("--format"),
                 QStringLiteral("csv")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.count(QLatin1Char('\n')), 2);
        QVERIFY2(r.out.contains(
                     QStringLiteral("a.vexa,华东五金,企业会计准则,2026年1期,是,%1,").arg(version)),
                 qPrintable(r.out));
    }

    // A PostgreSQL set is shown by its location without the password, with the database's
    // size; its backup and restore name it the same way.
    void postgresSetInfoBackupAndRestore()
    {
        if (!test::onPostgres())
            QSKIP("PostgreSQL only");
        QTemporaryDir folder;
        test::NewSetLocation set(folder, QStringLiteral("a.vexa")),
            copy(folder, QStringLiteral("b.vexa"));
        const auto withPassword = [](const QString &location) {
            return location + QStringLiteral("&password=s3cret");
        };
        QCOMPARE(
            run({QStringLiteral("create"), withPassword(set.location), QStringLiteral("--demo")})
                .status,
            0);
        Result r = run({QStringLiteral("info"), withPassword(set.location)});
        QCOMPARE(r.status, 0);
        const QString shown = server::PostgresLocation::parse(set.location).display();
        QVERIFY2(r.out.startsWith(QStringLiteral("账套数据库：%1\n").arg(shown)),
                 qPrintable(r.out));
        QVERIFY2(QRegularExpression(QStringLiteral("\n数据库大小：\\d+\\.\\d MB\n"))
                     .match(r.out)
                     .hasMatch(),
                 qPrintable(r.out));

        const QString backup = folder.filePath(QStringLiteral("a.dump"));
        r = run({QStringLiteral("backup"), withPassword(set.location), backup});
        QCOMPARE(r.status, 0);
        r = run({QStringLiteral("restore"), backup, withPassword(copy.location)});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("已恢复到：%1\n")
                            .arg(server::PostgresLocation::parse(copy.location).display()));
        QCOMPARE(run({QStringLiteral("check"), copy.location}).out, QStringLiteral("检查通过。\n"));
    }

    // The command lines of users, groups and rights; the rules behind them are the server's.
    void usersGroupsAndRights()
    {
        const QString set = path("people.vexa");
        const QString pw = passwordFile("people-pw", "pw\n");
        QCOMPARE(run({"create", set, "--admin", "boss", "--password-file", pw}).status, 0);
        const auto ok = [&](const QStringList &args) {
            const Result r = run(args);
            return r.status == 0 ? r.out : r.err;
        };
        QCOMPARE(
            ok({QStringLiteral("groups"), set, QStringLiteral("add"), QStringLiteral("出纳组")}),
            QStringLiteral("已增加用户组 3“出纳组”。\n"));
        QCOMPARE(ok({QStringLiteral("rights"), set, QStringLiteral("3"), QStringLiteral("grant"),
                     QStringLiteral("5001"), QStringLiteral("修改")}),
                 QStringLiteral("用户组 3 对对象类型 5001 的权限：修改。\n"));
        QCOMPARE(ok({QStringLiteral("users"), set, QStringLiteral("add"), QStringLiteral("cash"),
                     QStringLiteral("--group=3"), QStringLiteral("--password-file"), pw}),
                 QStringLiteral("已增加用户“cash”。\n"));
        QCOMPARE(loginError(set, QStringLiteral("cash"), QStringLiteral("pw")), QString());
        QVERIFY(ok({QStringLiteral("rights"), set, QStringLiteral("3")})
                    .contains(QRegularExpression(QStringLiteral("5001 +现金日记账 +修改"))));
    }

    // Command lines of the user commands that must fail before anything changes, and the
    // listings, on one set.
    void userCommandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const auto row = [](const char *tag, QStringList args, int status, const char *says) {
            QTest::newRow(tag) << args << status << QString::fromUtf8(says);
        };
        row("add without group", {"users", "add", "x"}, 2, "增加用户要用 --group 指定用户组。");
        row("add, group not a number", {"users", "add", "x", "--group", "abc"}, 2,
            "用户组“abc”不是正整数。");
        row("disable, no login", {"users", "disable"}, 2, "“users disable”的参数个数不对。");
        row("rename, no new name", {"users", "rename", "boss"}, 2,
            "“users rename”的参数个数不对。");
        row("rename to a name in use", {"users", "rename", "cash", "BOSS"}, 1,
            "登录名“BOSS”已有用户使用。");
        row("group unknown", {"users", "group", "cash", "9"}, 1, "用户组 9 不存在。");
        row("groups, unknown subcommand", {"groups", "drop", "2"}, 2, "groups 没有子命令“drop”。");
        row("groups remove with users", {"groups", "remove", "1"}, 1,
            "用户组 1 还有 1 个用户，不能删除。");
        row("rights, group not a number", {"rights", "x"}, 2, "用户组“x”不是正整数。");
        row("rights grant without level", {"rights", "2", "grant", "5001"}, 2,
            "“rights … grant”要给对象类型和权限级别。");
        row("rights revoke without type", {"rights", "2", "revoke"}, 2,
            "“rights … revoke”要给对象类型。");
        row("rights, unknown level", {"rights", "2", "grant", "5001", "all"}, 2, "权限级别“all”");
        row("users, unknown subcommand", {"users", "promote", "cash"}, 2,
            "users 没有子命令“promote”");
        row("remove the last administrator", {"users", "remove", "boss"}, 1,
            "“boss”是最后一个能登录的系统管理员");
        row("disable and enable", {"users", "disable", "cash"}, 0, "已停用用户“cash”。");
        row("enable", {"users", "enable", "cash"}, 0, "已启用用户“cash”。");
        row("group", {"users", "group", "cash", "1"}, 0, "用户“cash”已归入用户组 1。");
        row("revoke", {"rights", "2", "revoke", "5001"}, 0,
            "已收回用户组 2 对对象类型 5001 的权限。");
        row("groups listed", {"groups"}, 0, "会计组");
        row("rights listed", {"rights", "1"}, 0, "完全");
    }
    void userCommandLines()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        const QString set = path("lines.vexa");
        const QString pw = passwordFile("lines-pw", "pw\n");
        if (!QFile::exists(set)) {
            QCOMPARE(run({"create", set, "--admin", "boss", "--password-file", pw}).status, 0);
            QCOMPARE(run({QStringLiteral("users"), set, QStringLiteral("add"),
                          QStringLiteral("cash"), QStringLiteral("--group"), QStringLiteral("2"),
                          QStringLiteral("--password-file"), pw})
                         .status,
                     0);
        }
        args.insert(1, set);
        const Result r = run(args);
        QCOMPARE(r.status, status);
        QVERIFY2((status == 0 ? r.out : r.err).contains(says), qPrintable(r.out + r.err));
    }

    void passwdFromAFileLetsALockedUserBackIn()
    {
        const QString set = path("locked.vexa");
        QCOMPARE(run({QStringLiteral("create"), set, QStringLiteral("--demo")}).status, 0);
        for (int i = 0; i < 5; ++i)
            loginError(set, QStringLiteral("clerk"), QStringLiteral("x"));
        QVERIFY(loginError(set, QStringLiteral("clerk"), QStringLiteral("clerk"))
                    .startsWith(QStringLiteral("连续登录失败的次数太多")));
        const Result r = run({QStringLiteral("passwd"), set, QStringLiteral("clerk"),
                              QStringLiteral("--password-file"), passwordFile("new", "新的\n")});
        QCOMPARE(r.err, QString());
        QCOMPARE(loginError(set, QStringLiteral("clerk"), QStringLiteral("新的")), QString());
    }
};

QTEST_GUILESS_MAIN(TestAdminSets)
#include "tst_adminsets.moc"
