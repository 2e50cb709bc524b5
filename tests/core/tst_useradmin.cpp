// Users, groups and rights as an administrator changes them, read back the way the
// plug-in's rights check and the login read them.
#include "DataAccess.h"
#include "UserAdmin.h"

#include "../support/PluginSession.h"
#include "../support/TestSupport.h"

#include <QSqlQuery>
#include <QTest>

using namespace vexa;
using namespace vexa::server;

class TestUserAdmin : public QObject
{
    Q_OBJECT

    static UserAdmin adminOf(test::TestHost &host)
    {
        return UserAdmin(host.connection->database(), host.server->dialect(), PasswordCost::Fast);
    }

private slots:
    // A group with one right of each level; its user's session sees exactly those.
    void rightsGrantedAreTheRightsTheClientReads()
    {
        test::PluginSession<> session;
        UserAdmin admin = adminOf(*session.host);
        const int cashiers = admin.addGroup(QStringLiteral("出纳组"));
        QCOMPARE(cashiers, 3);
        admin.grant(cashiers, 5001, UserAdmin::Browse);
        admin.grant(cashiers, 5002, UserAdmin::Modify);
        admin.grant(cashiers, 2101, UserAdmin::Full);
        admin.grant(cashiers, 2101, UserAdmin::Browse); // a second grant replaces the first
        admin.addUser({QStringLiteral("cash"), QStringLiteral("出纳李四"), QStringLiteral("pw"),
                       cashiers, false});

        session.host->logIn("cash", "pw");
        QCOMPARE(gl::CheckRight(5001), gl::RightBrowse);
        QCOMPARE(gl::CheckRight(5002), gl::RightModify);
        QCOMPARE(gl::CheckRight(2101), gl::RightBrowse);
        QCOMPARE(gl::CheckRight(1001), gl::RightNone);
        admin.revoke(cashiers, 5001);
        QCOMPARE(gl::CheckRight(5001), gl::RightNone);

        QCOMPARE(errorOf([&] { admin.grant(cashiers, 99999, UserAdmin::Full); }),
                 QStringLiteral("没有对象类型 99999。"));
        QCOMPARE(errorOf([&] { admin.grant(cashiers, 5001, 4); }),
                 QStringLiteral("权限级别只能是 1 完全、2 浏览 或 3 修改。"));
        QCOMPARE(errorOf([&] { admin.removeGroup(cashiers); }),
                 QStringLiteral("用户组 3 还有 1 个用户，不能删除。"));
        admin.setGroup(QStringLiteral("cash"), 2);
        admin.removeGroup(cashiers);
        QCOMPARE(errorOf([&] { admin.setGroup(QStringLiteral("cash"), cashiers); }),
                 QStringLiteral("用户组 3 不存在。"));
    }

    void usersComeAndGoButTheSetKeepsAnAdministrator()
    {
        test::PluginSession<> session;
        UserAdmin admin = adminOf(*session.host);
        const auto loginError = [&](const char *user, const char *password) {
            return errorOf([&] { session.host->logIn(user, password); });
        };

        QCOMPARE(errorOf([&] { admin.setActive(QStringLiteral("manager"), false); }),
                 QStringLiteral("“Manager”是最后一个能登录的系统管理员，不能停用或删除。"));
        QCOMPARE(errorOf([&] { admin.removeUser(QStringLiteral("Manager")); }),
                 QStringLiteral("“Manager”是最后一个能登录的系统管理员，不能停用或删除。"));
        admin.addUser({QStringLiteral("boss2"), QString(), QStringLiteral("pw"), 1, true});
        admin.setActive(QStringLiteral("Manager"), false);
        QCOMPARE(loginError("Manager", "manager"), QStringLiteral("用户“Manager”已停用。"));
        admin.setActive(QStringLiteral("Manager"), true);
        QCOMPARE(loginError("Manager", "manager"), QString());

        QCOMPARE(
            errorOf([&] { admin.renameUser(QStringLiteral("boss2"), QStringLiteral("CLERK")); }),
            QStringLiteral("登录名“CLERK”已有用户使用。"));
        QCOMPARE(
            errorOf([&] {
                admin.addUser({QStringLiteral("Clerk"), QString(), QStringLiteral("x"), 2, false});
            }),
            QStringLiteral("登录名“Clerk”已有用户使用。"));
        admin.renameUser(QStringLiteral("boss2"), QStringLiteral("老板"));
        QCOMPARE(loginError("老板", "pw"), QString());

        // A user the books name stays, disabled; one they do not name goes with its nodes.
        {
            QSqlQuery q(session.host->connection->database());
            QVERIFY(q.exec(QStringLiteral("INSERT INTO FINDocVoucher (DocEntry, MakerID) SELECT 1, "
                                          "UserID FROM SysUser WHERE UserCode = 'clerk'")));
        }
        QCOMPARE(admin.removeUser(QStringLiteral("clerk")), UserAdmin::Removal::DisabledForData);
        QCOMPARE(loginError("clerk", "clerk"), QStringLiteral("用户“clerk”已停用。"));
        QCOMPARE(admin.removeUser(QStringLiteral("Manager")), // 老板 administers now
                 UserAdmin::Removal::Removed);
        QCOMPARE(loginError("Manager", "manager"), QStringLiteral("用户名或密码错误。"));
        // One logged in now (on any connection, of any process) is disabled instead.
        admin.addUser({QStringLiteral("temp"), QString(), QStringLiteral("pw"), 2, false});
        auto other = session.host->server->connect();
        other->login(QStringLiteral("TEMP"), QStringLiteral("pw"));
        QCOMPARE(admin.removeUser(QStringLiteral("temp")), UserAdmin::Removal::DisabledLoggedIn);
        other.reset();
        admin.setActive(QStringLiteral("temp"), true);
        QCOMPARE(admin.removeUser(QStringLiteral("temp")), UserAdmin::Removal::Removed);
        QSqlQuery nodes(session.host->connection->database());
        QVERIFY(nodes.exec(QStringLiteral("SELECT COUNT(*) FROM SMModuleTree WHERE UserID IS NOT "
                                          "NULL AND UserID NOT IN (SELECT UserID FROM SysUser)")));
        QVERIFY(nodes.next());
        QCOMPARE(nodes.value(0).toInt(), 0);
    }
};

QTEST_MAIN(TestUserAdmin)
#include "tst_useradmin.moc"
