// The named operations behind the host's 用户 and 权限组 pages and vexa-admin over a server:
// the same work as vexa-admin's users, groups, rights, check and dump commands, for a
// logged-in administrator.
#include "AppServer.h"
#include "DataPacket.h"
#include "SetMaintenance.h"
#include "StorageErrors.h"
#include "UserAdmin.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>

namespace vexa::server {

namespace {

struct Operation
{
    const char *name;
    int arguments;
    bool writes;
};

constexpr Operation kOperations[] = {
    {"GetUsers", 0, false},         {"GetUserGroups", 0, false}, {"GetGroupRights", 1, false},
    {"AddUser", 5, true},           {"RemoveUser", 1, true},     {"SetUserActive", 2, true},
    {"ResetUserPassword", 2, true}, {"AddUserGroup", 1, true},   {"RemoveUserGroup", 1, true},
    {"GrantRight", 3, true},        {"RevokeRight", 2, true},    {"CheckSet", 0, false},
    {"DumpTable", 1, false},
};

const Operation *find(const QString &operation)
{
    for (const Operation &o : kOperations)
        if (operation.compare(QLatin1String(o.name), Qt::CaseInsensitive) == 0)
            return &o;
    return nullptr;
}

int number(const QVariantList &args, int i, const char *operation)
{
    bool ok = false;
    const int value = args[i].toInt(&ok);
    if (!ok)
        throw Error(QStringLiteral("操作“%1”的第 %2 个参数应为整数。")
                        .arg(QLatin1String(operation))
                        .arg(i + 1));
    return value;
}

FieldDef field(const char *name, FieldType type)
{
    return FieldDef{QString::fromLatin1(name), type, 0, false, false};
}

} // namespace

bool ServerConnection::isUserAdminOperation(const QString &operation)
{
    return find(operation) != nullptr;
}

void ServerConnection::requireAdministrator() const
{
    if (!loggedIn())
        throw Error(QStringLiteral("尚未登录，不能管理用户和权限组。"));
    // Read now, not at the login: an administrator disabled or demoted since is one no more.
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT Manager, Active FROM SysUser WHERE UserID = ?"));
    q.addBindValue(m_session.userId);
    if (!q.exec())
        throw Error(
            QStringLiteral("无法读取用户：%1").arg(databaseErrorText(q.lastError(), q.driver())));
    const bool administrator =
        q.next() && q.value(0).toInt() != 0 && (q.value(1).isNull() || q.value(1).toInt() != 0);
    if (!administrator)
        throw Error(QStringLiteral("只有系统管理员才能管理用户和权限组，请找系统管理员。"));
}

QVariant ServerConnection::userAdminCall(const QString &operation, QVariantList &args)
{
    const Operation &op = *find(operation);
    requireAdministrator();
    if (args.size() < op.arguments)
        throw Error(QStringLiteral("操作“%1”缺少第 %2 个参数。")
                        .arg(QLatin1String(op.name))
                        .arg(args.size() + 1));
    if (op.writes)
        refuseOnReadOnly();
    const auto is = [&op](const char *name) { return qstrcmp(op.name, name) == 0; };
    if (is("CheckSet")) {
        DataPacket packet;
        packet.fields = {field("Problem", FieldType::String)};
        for (const QString &problem : checkSet(m_server.path(), m_server.options()))
            packet.rows.push_back({problem});
        return writeDataPacket(packet);
    }
    if (is("DumpTable")) {
        DataPacket packet = tableRows(args[0].toString());
        // Password hashes never leave the server.
        const int hash = indexOfField(packet.fields, QStringLiteral("PasswordHash"));
        if (hash >= 0) {
            packet.fields.removeAt(hash);
            for (QVariantList &row : packet.rows)
                row.removeAt(hash);
        }
        return writeDataPacket(packet);
    }
    UserAdmin admin(m_db, m_server.dialect(), m_server.options().passwordCost, m_inTransaction);

    if (is("GetUsers")) {
        DataPacket packet;
        packet.fields = {
            field("UserCode", FieldType::String),   field("UserName", FieldType::String),
            field("UserGroup", FieldType::Integer), field("GroupName", FieldType::String),
            field("Manager", FieldType::Boolean),   field("Active", FieldType::Boolean)};
        for (const UserAdmin::UserRow &u : admin.users())
            packet.rows.push_back(
                {u.userCode, u.userName, u.group, u.groupName, u.manager, u.active});
        return writeDataPacket(packet);
    }
    if (is("GetUserGroups")) {
        DataPacket packet;
        packet.fields = {field("UserGroup", FieldType::Integer),
                         field("GroupName", FieldType::String), field("Users", FieldType::Integer)};
        for (const UserAdmin::GroupRow &g : admin.groups())
            packet.rows.push_back({g.group, g.name, g.users});
        return writeDataPacket(packet);
    }
    if (is("GetGroupRights")) {
        DataPacket packet;
        packet.fields = {field("ObjType", FieldType::Integer), field("ObjName", FieldType::String),
                         field("RightValue", FieldType::Integer)};
        for (const UserAdmin::Right &r : admin.rightTable(number(args, 0, op.name)))
            packet.rows.push_back({r.objType, r.objName, r.level});
        return writeDataPacket(packet);
    }
    if (is("AddUser")) {
        UserAdmin::NewUser user;
        user.userCode = args[0].toString();
        user.userName = args[1].toString().trimmed();
        user.group = number(args, 2, op.name);
        user.manager = args[3].toBool();
        user.password = args[4].toString();
        admin.addUser(user);
        return QVariant();
    }
    if (is("RemoveUser"))
        return int(admin.removeUser(args[0].toString()));
    if (is("SetUserActive")) {
        admin.setActive(args[0].toString(), args[1].toBool());
        return QVariant();
    }
    if (is("ResetUserPassword")) {
        admin.resetPassword(args[0].toString(), args[1].toString());
        return QVariant();
    }
    if (is("AddUserGroup"))
        return admin.addGroup(args[0].toString());
    if (is("RemoveUserGroup")) {
        admin.removeGroup(number(args, 0, op.name));
        return QVariant();
    }
    if (is("GrantRight")) {
        admin.grant(number(args, 0, op.name), number(args, 1, op.name), number(args, 2, op.name));
        return QVariant();
    }
    // RevokeRight
    admin.revoke(number(args, 0, op.name), number(args, 1, op.name));
    return QVariant();
}

} // namespace vexa::server
