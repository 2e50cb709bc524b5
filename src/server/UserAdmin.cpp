#include "UserAdmin.h"

#include "FieldDef.h"
#include "LoginMark.h"
#include "Seed.h"
#include "SqlDialect.h"
#include "StorageErrors.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace vexa::server {

namespace {

// Object types a right can be given on: those of modules, object menus, documents, and the
// fixed ones the console checks (users, groups, enabling, parameters, account confirmation).
const QString kKnownObjTypes = QStringLiteral(
    "SELECT ObjType FROM SMModules WHERE ObjType > 0 UNION SELECT ObjType FROM SMPMDefine "
    "UNION SELECT ObjType FROM DMObjType UNION SELECT 1001 UNION SELECT 1002 UNION SELECT 1005 "
    "UNION SELECT 1006 UNION SELECT 2002");

} // namespace

UserAdmin::UserAdmin(QSqlDatabase db, const SqlDialect &dialect, PasswordCost cost,
                     bool inTransaction)
    : m_db(std::move(db)), m_dialect(dialect), m_cost(cost), m_inTransaction(inTransaction)
{}

int UserAdmin::count(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q(m_db);
    const bool prepared = q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!prepared || !q.exec() || !q.next())
        throw Error(QStringLiteral("无法读取用户数据：%1")
                        .arg(databaseErrorText(q.lastError(), q.driver())));
    return q.value(0).toInt();
}

void UserAdmin::run(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q(m_db);
    const bool prepared = q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!prepared || !q.exec())
        throw Error(QStringLiteral("无法保存用户数据：%1")
                        .arg(databaseErrorText(q.lastError(), q.driver())));
}

UserAdmin::User UserAdmin::require(const QString &userCode) const
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT UserID, UserCode, Manager, Active FROM SysUser WHERE ") +
              m_dialect.equalsIgnoringCase(QStringLiteral("UserCode")));
    q.addBindValue(userCode.trimmed());
    if (!q.exec())
        throw Error(
            QStringLiteral("无法读取用户：%1").arg(databaseErrorText(q.lastError(), q.driver())));
    if (!q.next())
        throw Error(QStringLiteral("用户“%1”不存在。").arg(userCode.trimmed()));
    // No Active value logs in, as the login reads it.
    return {q.value(0).toString(), q.value(1).toString(), q.value(2).toInt() != 0,
            q.value(3).isNull() || q.value(3).toInt() != 0};
}

void UserAdmin::requireGroup(int group) const
{
    if (count(QStringLiteral("SELECT COUNT(*) FROM SysUserGroup WHERE UserGroup = ?"), {group}) ==
        0)
        throw Error(QStringLiteral("用户组 %1 不存在。").arg(group));
}

void UserAdmin::refuseLosingLastAdministrator(const User &user) const
{
    if (!user.manager || !user.active)
        return;
    const int others = count(QStringLiteral("SELECT COUNT(*) FROM SysUser WHERE Manager = 1 AND "
                                            "(Active IS NULL OR Active <> 0) AND UserID <> ? "
                                            "AND PasswordHash IS NOT NULL AND PasswordHash <> ''"),
                             {user.id});
    if (others == 0)
        throw Error(
            QStringLiteral("“%1”是最后一个能登录的系统管理员，不能停用或删除。").arg(user.code));
}

void UserAdmin::addUser(const NewUser &user)
{
    const QString problem = userCodeProblem(user.userCode);
    if (!problem.isEmpty())
        throw Error(problem);
    if (user.password.isEmpty())
        throw Error(QStringLiteral("密码不能为空。"));
    WriteScope work(m_db, m_dialect, m_inTransaction);
    if (count(QStringLiteral("SELECT COUNT(*) FROM SysUser WHERE ") +
                  m_dialect.equalsIgnoringCase(QStringLiteral("UserCode")),
              {user.userCode}) > 0)
        throw Error(QStringLiteral("登录名“%1”已有用户使用。").arg(user.userCode));
    requireGroup(user.group);
    run(QStringLiteral("INSERT INTO SysUser (UserID, UserCode, UserName, UserGroup, Manager, "
                       "Active, PasswordHash) VALUES (?, ?, ?, ?, ?, 1, ?)"),
        {QUuid::createUuid().toString(QUuid::WithBraces).toUpper(), user.userCode,
         user.userName.isEmpty() ? user.userCode : user.userName, user.group, user.manager ? 1 : 0,
         hashPassword(user.password, m_cost)});
    work.commit();
}

UserAdmin::Removal UserAdmin::removeUser(const QString &userCode)
{
    WriteScope work(m_db, m_dialect, m_inTransaction);
    const User user = require(userCode);
    refuseLosingLastAdministrator(user);
    const int uses = count(QStringLiteral("SELECT COUNT(*) FROM FINDocVoucher WHERE MakerID = ? OR "
                                          "RatifierID = ? OR PosterID = ?"),
                           {user.id, user.id, user.id}) +
                     count(QStringLiteral("SELECT COUNT(*) FROM DMAccessories WHERE MakerID = ? OR "
                                          "RatifierID = ?"),
                           {user.id, user.id});
    const bool loggedIn = uses == 0 && LoginMark::held(m_db, user.code);
    if (uses > 0 || loggedIn) {
        run(QStringLiteral("UPDATE SysUser SET Active = 0 WHERE UserID = ?"), {user.id});
        work.commit();
        return loggedIn ? Removal::DisabledLoggedIn : Removal::DisabledForData;
    }
    // Personal console nodes go with their owner.
    run(QStringLiteral("DELETE FROM SMModuleTree WHERE UserID = ?"), {user.id});
    run(QStringLiteral("DELETE FROM LoginFailure WHERE ") +
            m_dialect.equalsIgnoringCase(QStringLiteral("UserCode")),
        {user.code});
    run(QStringLiteral("DELETE FROM SysUser WHERE UserID = ?"), {user.id});
    work.commit();
    return Removal::Removed;
}

void UserAdmin::setActive(const QString &userCode, bool active)
{
    WriteScope work(m_db, m_dialect, m_inTransaction);
    const User user = require(userCode);
    if (!active)
        refuseLosingLastAdministrator(user);
    run(QStringLiteral("UPDATE SysUser SET Active = ? WHERE UserID = ?"),
        {active ? 1 : 0, user.id});
    work.commit();
}

void UserAdmin::renameUser(const QString &userCode, const QString &newCode)
{
    const QString problem = userCodeProblem(newCode);
    if (!problem.isEmpty())
        throw Error(problem);
    WriteScope work(m_db, m_dialect, m_inTransaction);
    const User user = require(userCode);
    if (count(QStringLiteral("SELECT COUNT(*) FROM SysUser WHERE UserID <> ? AND ") +
                  m_dialect.equalsIgnoringCase(QStringLiteral("UserCode")),
              {user.id, newCode}) > 0)
        throw Error(QStringLiteral("登录名“%1”已有用户使用。").arg(newCode));
    run(QStringLiteral("UPDATE SysUser SET UserCode = ? WHERE UserID = ?"), {newCode, user.id});
    run(QStringLiteral("DELETE FROM LoginFailure WHERE ") +
            m_dialect.equalsIgnoringCase(QStringLiteral("UserCode")),
        {user.code});
    work.commit();
}

void UserAdmin::setGroup(const QString &userCode, int group)
{
    WriteScope work(m_db, m_dialect, m_inTransaction);
    const User user = require(userCode);
    requireGroup(group);
    run(QStringLiteral("UPDATE SysUser SET UserGroup = ? WHERE UserID = ?"), {group, user.id});
    work.commit();
}

int UserAdmin::addGroup(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        throw Error(QStringLiteral("用户组的名称不能为空。"));
    if (gbkByteLength(trimmed) > 60)
        throw Error(QStringLiteral("用户组的名称太长：最多 60 个字节（汉字算 2 个）。"));
    WriteScope work(m_db, m_dialect, m_inTransaction);
    if (count(QStringLiteral("SELECT COUNT(*) FROM SysUserGroup WHERE GroupName = ?"), {trimmed}) >
        0)
        throw Error(QStringLiteral("已有名为“%1”的用户组。").arg(trimmed));
    const int group =
        count(QStringLiteral("SELECT COALESCE(MAX(UserGroup), 0) + 1 FROM SysUserGroup"));
    run(QStringLiteral("INSERT INTO SysUserGroup (UserGroup, GroupName) VALUES (?, ?)"),
        {group, trimmed});
    work.commit();
    return group;
}

void UserAdmin::removeGroup(int group)
{
    WriteScope work(m_db, m_dialect, m_inTransaction);
    requireGroup(group);
    if (const int users =
            count(QStringLiteral("SELECT COUNT(*) FROM SysUser WHERE UserGroup = ?"), {group}))
        throw Error(QStringLiteral("用户组 %1 还有 %2 个用户，不能删除。").arg(group).arg(users));
    run(QStringLiteral("DELETE FROM SysCheckRight WHERE UserGroup = ?"), {group});
    run(QStringLiteral("DELETE FROM SysUserGroup WHERE UserGroup = ?"), {group});
    work.commit();
}

QList<UserAdmin::Right> UserAdmin::rights(int group) const
{
    requireGroup(group);
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT r.ObjType, COALESCE((SELECT MIN(MDesc) FROM SMModules m WHERE m.ObjType = "
        "r.ObjType), (SELECT ObjName FROM DMObjType o WHERE o.ObjType = r.ObjType), ''), "
        "r.RightValue FROM SysCheckRight r WHERE r.UserGroup = ? ORDER BY r.ObjType"));
    q.addBindValue(group);
    if (!q.exec())
        throw Error(
            QStringLiteral("无法读取权限：%1").arg(databaseErrorText(q.lastError(), q.driver())));
    QList<Right> out;
    while (q.next())
        out.append({q.value(0).toInt(), q.value(1).toString(), q.value(2).toInt()});
    return out;
}

void UserAdmin::grant(int group, int objType, int level)
{
    if (level != Full && level != Browse && level != Modify)
        throw Error(QStringLiteral("权限级别只能是 1 完全、2 浏览 或 3 修改。"));
    WriteScope work(m_db, m_dialect, m_inTransaction);
    requireGroup(group);
    if (count(QStringLiteral("SELECT COUNT(*) FROM (") + kKnownObjTypes +
                  QStringLiteral(") AS known WHERE ObjType = ?"),
              {objType}) == 0)
        throw Error(QStringLiteral("没有对象类型 %1。").arg(objType));
    run(m_dialect.upsert(QStringLiteral("SysCheckRight"),
                         {QStringLiteral("UserGroup"), QStringLiteral("ObjType")},
                         {QStringLiteral("RightValue")}),
        {group, objType, level});
    work.commit();
}

void UserAdmin::revoke(int group, int objType)
{
    WriteScope work(m_db, m_dialect, m_inTransaction);
    requireGroup(group);
    run(QStringLiteral("DELETE FROM SysCheckRight WHERE UserGroup = ? AND ObjType = ?"),
        {group, objType});
    work.commit();
}

void UserAdmin::resetPassword(const QString &userCode, const QString &password)
{
    if (password.isEmpty())
        throw Error(QStringLiteral("密码不能为空。"));
    const QString hash = hashPassword(password, m_cost);
    WriteScope work(m_db, m_dialect, m_inTransaction);
    const User user = require(userCode);
    run(QStringLiteral("UPDATE SysUser SET PasswordHash = ? WHERE UserID = ?"), {hash, user.id});
    forgetLoginFailures(user.code);
    work.commit();
}

void UserAdmin::forgetLoginFailures(const QString &userCode) const
{
    run(QStringLiteral("DELETE FROM LoginFailure WHERE ") +
            m_dialect.equalsIgnoringCase(QStringLiteral("UserCode")),
        {userCode});
}

QList<UserAdmin::UserRow> UserAdmin::users() const
{
    QSqlQuery q(m_db);
    if (!q.exec(
            QStringLiteral("SELECT u.UserCode, u.UserName, u.UserGroup, g.GroupName, u.Manager, "
                           "u.Active FROM SysUser u LEFT JOIN SysUserGroup g ON g.UserGroup = "
                           "u.UserGroup ORDER BY u.UserCode")))
        throw Error(
            QStringLiteral("无法读取用户：%1").arg(databaseErrorText(q.lastError(), q.driver())));
    QList<UserRow> out;
    while (q.next())
        out.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toInt(),
                    q.value(3).toString(), q.value(4).toInt() != 0,
                    q.value(5).isNull() || q.value(5).toInt() != 0});
    return out;
}

QList<UserAdmin::GroupRow> UserAdmin::groups() const
{
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT g.UserGroup, g.GroupName, (SELECT COUNT(*) FROM SysUser u "
                               "WHERE u.UserGroup = g.UserGroup) FROM SysUserGroup g ORDER BY "
                               "g.UserGroup")))
        throw Error(
            QStringLiteral("无法读取用户组：%1").arg(databaseErrorText(q.lastError(), q.driver())));
    QList<GroupRow> out;
    while (q.next())
        out.append({q.value(0).toInt(), q.value(1).toString(), q.value(2).toInt()});
    return out;
}

QList<UserAdmin::Right> UserAdmin::rightTable(int group) const
{
    requireGroup(group);
    // The object menus have no module of their own: they are named by their object.
    static const QHash<int, QString> menus = {{2501, QStringLiteral("客户（对象菜单）")},
                                              {2502, QStringLiteral("供应商（对象菜单）")},
                                              {2503, QStringLiteral("职员（对象菜单）")},
                                              {2504, QStringLiteral("部门（对象菜单）")},
                                              {2505, QStringLiteral("工程项目（对象菜单）")},
                                              {2506, QStringLiteral("存货（对象菜单）")},
                                              {2507, QStringLiteral("仓库（对象菜单）")},
                                              {2508, QStringLiteral("存货次分类（对象菜单）")},
                                              {2509, QStringLiteral("存货主分类（对象菜单）")}};
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT k.ObjType, COALESCE((SELECT MIN(MDesc) FROM SMModules m WHERE "
                             "m.ObjType = k.ObjType), (SELECT ObjName FROM DMObjType o WHERE "
                             "o.ObjType = k.ObjType), ''), (SELECT RightValue FROM SysCheckRight r "
                             "WHERE r.UserGroup = ? AND r.ObjType = k.ObjType) FROM (") +
              kKnownObjTypes +
              QStringLiteral(" UNION SELECT ObjType FROM SysCheckRight WHERE UserGroup = ?) k "
                             "ORDER BY k.ObjType"));
    q.addBindValue(group);
    q.addBindValue(group);
    if (!q.exec())
        throw Error(
            QStringLiteral("无法读取权限：%1").arg(databaseErrorText(q.lastError(), q.driver())));
    QList<Right> out;
    while (q.next()) {
        const int objType = q.value(0).toInt();
        QString name = q.value(1).toString();
        if (name.isEmpty())
            name = menus.value(objType);
        out.append({objType, name, q.value(2).toInt()});
    }
    return out;
}

} // namespace vexa::server
