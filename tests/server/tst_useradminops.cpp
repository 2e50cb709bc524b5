// The user, group and rights operations a client calls by name: administrators only, each
// change one piece of work the set keeps (or, inside BeginTrans, gives back on rollback).
#include "AppServer.h"
#include "ClientDataSet.h"
#include "DataPacket.h"
#include "UserAdmin.h"

#include "../support/ServerFixture.h"
#include "../support/TestSupport.h"

#include <QSqlQuery>
#include <QTest>

using namespace vexa;
using namespace vexa::server;

namespace {

const QString kRefusal = QStringLiteral("只有系统管理员才能管理用户和权限组，请找系统管理员。");

QVariant call(ServerConnection &c, const QString &operation, QVariantList args = {})
{
    return c.call(operation, args);
}

UserAdmin adminOf(ServerConnection &c)
{
    return UserAdmin(c.database(), c.server().dialect(), PasswordCost::Fast);
}

} // namespace

class TestUserAdminOperations : public QObject
{
    Q_OBJECT

private slots:
    void onlyAnAdministratorMayCall_data();
    void onlyAnAdministratorMayCall();
    void resetPasswordReplacesTheOldAndLiftsALock();
    void changesAreTheSetsAndFollowTheTransaction();
    void usersAndRightsAreNotWrittenPastTheCheck();
};

void TestUserAdminOperations::onlyAnAdministratorMayCall_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QVariantList>("args");
    QTest::newRow("GetUsers") << "GetUsers" << QVariantList{};
    QTest::newRow("GetUserGroups") << "GetUserGroups" << QVariantList{};
    QTest::newRow("GetGroupRights") << "GetGroupRights" << QVariantList{2};
    QTest::newRow("AddUser") << "AddUser" << QVariantList{"cash", "出纳", 2, true, "pw"};
    QTest::newRow("RemoveUser") << "RemoveUser" << QVariantList{"clerk"};
    QTest::newRow("SetUserActive") << "SetUserActive" << QVariantList{"clerk", false};
    QTest::newRow("ResetUserPassword") << "ResetUserPassword" << QVariantList{"Manager", "x"};
    QTest::newRow("AddUserGroup") << "AddUserGroup" << QVariantList{"出纳组"};
    QTest::newRow("RemoveUserGroup") << "RemoveUserGroup" << QVariantList{3};
    QTest::newRow("GrantRight") << "GrantRight" << QVariantList{2, 1001, 1};
    QTest::newRow("RevokeRight") << "RevokeRight" << QVariantList{1, 1001};
}

// The check is the server's: a client that skips the host's page still gets nowhere, and an
// administrator demoted since the login is one no more.
void TestUserAdminOperations::onlyAnAdministratorMayCall()
{
    QFETCH(QString, operation);
    QFETCH(QVariantList, args);
    test::ServerFixture f;
    auto clerk = f.connect("clerk", "clerk");
    auto manager = f.connect();
    auto anonymous = f.connect(nullptr);
    QCOMPARE(adminOf(*manager).addGroup(QStringLiteral("空组")), 3);
    const QByteArray before = call(*manager, QStringLiteral("GetUsers")).toByteArray() +
                              call(*manager, QStringLiteral("GetUserGroups")).toByteArray() +
                              call(*manager, QStringLiteral("GetGroupRights"), {1}).toByteArray();

    QCOMPARE(errorOf([&] { call(*clerk, operation, args); }), kRefusal);
    QCOMPARE(clerk->lastError(), kRefusal);
    QCOMPARE(errorOf([&] { call(*anonymous, operation, args); }),
             QStringLiteral("尚未登录，不能管理用户和权限组。"));

    // Manager made an ordinary user by another administrator.
    adminOf(*manager).addUser({QStringLiteral("boss"), {}, QStringLiteral("pw"), 1, true});
    auto demoted = f.connect();
    {
        QSqlQuery q(manager->database());
        QVERIFY(
            q.exec(QStringLiteral("UPDATE SysUser SET Manager = 0 WHERE UserCode = 'Manager'")));
    }
    QCOMPARE(errorOf([&] { call(*demoted, operation, args); }), kRefusal);
    // ... and one disabled since.
    {
        QSqlQuery q(manager->database());
        QVERIFY(q.exec(QStringLiteral(
            "UPDATE SysUser SET Manager = 1, Active = 0 WHERE UserCode = 'Manager'")));
    }
    QCOMPARE(errorOf([&] { call(*demoted, operation, args); }), kRefusal);
    {
        QSqlQuery q(manager->database());
        QVERIFY(q.exec(QStringLiteral("UPDATE SysUser SET Active = 1 WHERE UserCode = 'Manager'")));
    }
    adminOf(*manager).removeUser(QStringLiteral("boss"));
    const QByteArray after = call(*manager, QStringLiteral("GetUsers")).toByteArray() +
                             call(*manager, QStringLiteral("GetUserGroups")).toByteArray() +
                             call(*manager, QStringLiteral("GetGroupRights"), {1}).toByteArray();
    QCOMPARE(after, before);

    // The same call is the administrator's to make.
    QCOMPARE(errorOf([&] { call(*manager, operation, args); }), QString());
}

void TestUserAdminOperations::resetPasswordReplacesTheOldAndLiftsALock()
{
    QTemporaryDir dir;
    AppServer::Options options;
    options.passwordCost = PasswordCost::Fast;
    options.login.maxFailures = 2;
    options.login.delayStepMs = 0;
    const test::NewSetLocation set(dir, QStringLiteral("s.vexa"));
    auto server = AppServer::create(set.location, true, options);
    auto manager = server->connect();
    manager->login(QStringLiteral("Manager"), QStringLiteral("manager"));
    const auto loginError = [&](const char *user, const char *password) {
        return errorOf([&] {
            server->connect()->login(QString::fromUtf8(user), QString::fromUtf8(password));
        });
    };
    loginError("clerk", "wrong");
    loginError("CLERK", "wrong"); // the lock is the name's, letter case aside
    QVERIFY(loginError("clerk", "clerk").startsWith(QStringLiteral("连续登录失败的次数太多")));

    call(*manager, QStringLiteral("ResetUserPassword"), {QStringLiteral("Clerk"), "新密码-1"});
    QCOMPARE(loginError("clerk", "clerk"), QStringLiteral("用户名或密码错误。"));
    QCOMPARE(loginError("clerk", "新密码-1"), QString());
    QCOMPARE(
        errorOf([&] {
            call(*manager, QStringLiteral("ResetUserPassword"), {QStringLiteral("nobody"), "x"});
        }),
        QStringLiteral("用户“nobody”不存在。"));
}

void TestUserAdminOperations::changesAreTheSetsAndFollowTheTransaction()
{
    test::ServerFixture f;
    auto manager = f.connect();
    const int group = call(*manager, QStringLiteral("AddUserGroup"), {"出纳组"}).toInt();
    call(*manager, QStringLiteral("AddUser"), {"cash", "出纳李四", group, false, "pw"});
    call(*manager, QStringLiteral("GrantRight"), {group, 1001, int(UserAdmin::Browse)});
    call(*manager, QStringLiteral("SetUserActive"), {"clerk", false});

    // Inside BeginTrans each change is part of the client's transaction.
    call(*manager, QStringLiteral("BeginTrans"));
    call(*manager, QStringLiteral("GrantRight"), {group, 5002, int(UserAdmin::Full)});
    QCOMPARE(call(*manager, QStringLiteral("RemoveUser"), {"cash"}).toInt(),
             int(UserAdmin::Removal::Removed));
    call(*manager, QStringLiteral("RollbackTrans"));

    // Read back outside the operations, on another connection.
    auto other = f.connect();
    const UserAdmin admin = adminOf(*other);
    QList<UserAdmin::UserRow> users = admin.users();
    QCOMPARE(users.size(), 3);
    QCOMPARE(users[0].userCode, QStringLiteral("cash"));
    QCOMPARE(users[0].userName, QStringLiteral("出纳李四"));
    QCOMPARE(users[0].group, group);
    QCOMPARE(users[0].manager, false);
    QCOMPARE(users[1].userCode, QStringLiteral("clerk"));
    QCOMPARE(users[1].active, false);
    const QList<UserAdmin::Right> rights = admin.rights(group);
    QCOMPARE(rights.size(), 1);
    QCOMPARE(rights[0].objType, 1001);
    QCOMPARE(rights[0].level, int(UserAdmin::Browse));
    QCOMPARE(errorOf([&] { other->login(QStringLiteral("cash"), QStringLiteral("pw")); }),
             QString());

    // What the page reads: every object type, the group's level where it has one; each
    // group's own (1001 is the new group's and the administrators', not the clerks').
    for (int g : {1, 2, group}) {
        const DataPacket table =
            readDataPacket(call(*manager, QStringLiteral("GetGroupRights"), {g}).toString());
        QVERIFY(table.rows.size() > 100);
        QList<std::pair<int, int>> shown, held;
        for (const QVariantList &row : table.rows)
            if (row[2].toInt() != 0)
                shown.append({row[0].toInt(), row[2].toInt()});
        for (const UserAdmin::Right &r : admin.rights(g))
            held.append({r.objType, r.level});
        QCOMPARE(shown, held);
    }
}

QTEST_GUILESS_MAIN(TestUserAdminOperations)
#include "tst_useradminops.moc"

// The providers the console reads logins and rights through stay writable, but only for an
// administrator: a clerk making himself one through them gets the operations' refusal.
void TestUserAdminOperations::usersAndRightsAreNotWrittenPastTheCheck()
{
    test::ServerFixture f;
    auto clerk = f.connect("clerk", "clerk");
    auto manager = f.connect();
    const auto write = [](ServerConnection &c, const QString &provider, const QString &command,
                          const char *field, const QVariant &value) {
        ClientDataSet ds;
        ds.setRemoteConnection(&c);
        ds.setProviderName(provider);
        ds.setCommandText(command);
        ds.open();
        ds.edit();
        ds.setValue(QString::fromLatin1(field), value);
        ds.post();
        int errors = 0;
        QVariant owner;
        c.applyUpdates(provider, ds.delta(), -1, errors, owner);
        return errors ? c.lastError() : QString();
    };
    const QString self = QStringLiteral("WHERE UserCode = 'clerk'");
    const QString rights = QStringLiteral("WHERE UserGroup = 2 AND ObjType = 1006");
    QVERIFY(write(*clerk, "LX_SysUser", self, "Manager", true).contains(kRefusal));
    QVERIFY(write(*clerk, "LX_SysCheckRight", rights, "RightValue", 1).contains(kRefusal));
    QSqlQuery q(manager->database());
    QVERIFY(q.exec(QStringLiteral("SELECT u.Manager, r.RightValue FROM SysUser u, SysCheckRight r "
                                  "WHERE u.UserCode = 'clerk' AND r.UserGroup = 2 AND "
                                  "r.ObjType = 1006")) &&
            q.next());
    QCOMPARE(q.value(0).toInt(), 0);
    QCOMPARE(q.value(1).toInt(), 2);

    QCOMPARE(write(*manager, "LX_SysUser", self, "UserName", QStringLiteral("张会计")), QString());
    QCOMPARE(write(*manager, "LX_SysCheckRight", rights, "RightValue", 1), QString());
}
