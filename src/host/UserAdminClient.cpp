#include "UserAdminClient.h"

#include "DataPacket.h"
#include "RemoteConnection.h"

#include <vexa/Error.h>

namespace vexa::host {

QVariant UserAdminClient::call(const char *operation, QVariantList args) const
{
    if (!m_server)
        throw Error(QStringLiteral("没有连接到应用服务器。"));
    return m_server->call(QString::fromLatin1(operation), args);
}

QList<UserAdminClient::User> UserAdminClient::users() const
{
    const DataPacket packet = readDataPacket(call("GetUsers", {}).toString());
    const PacketColumns column{packet};
    const int code = column("UserCode"), name = column("UserName"), group = column("UserGroup"),
              groupName = column("GroupName"), manager = column("Manager"),
              active = column("Active");
    QList<User> out;
    for (const QVariantList &row : packet.rows)
        out.append({row[code].toString(), row[name].toString(), row[group].toInt(),
                    row[groupName].toString(), row[manager].toBool(), row[active].toBool()});
    return out;
}

QList<UserAdminClient::Group> UserAdminClient::groups() const
{
    const DataPacket packet = readDataPacket(call("GetUserGroups", {}).toString());
    const PacketColumns column{packet};
    const int group = column("UserGroup"), name = column("GroupName"), users = column("Users");
    QList<Group> out;
    for (const QVariantList &row : packet.rows)
        out.append({row[group].toInt(), row[name].toString(), row[users].toInt()});
    return out;
}

QList<UserAdminClient::Right> UserAdminClient::rights(int group) const
{
    const DataPacket packet = readDataPacket(call("GetGroupRights", {group}).toString());
    const PacketColumns column{packet};
    const int objType = column("ObjType"), name = column("ObjName"), level = column("RightValue");
    QList<Right> out;
    for (const QVariantList &row : packet.rows)
        out.append({row[objType].toInt(), row[name].toString(), row[level].toInt()});
    return out;
}

void UserAdminClient::addUser(const User &user, const QString &password) const
{
    call("AddUser", {user.userCode, user.userName, user.group, user.manager, password});
}

server::UserAdmin::Removal UserAdminClient::removeUser(const QString &userCode) const
{
    return server::UserAdmin::Removal(call("RemoveUser", {userCode}).toInt());
}

void UserAdminClient::setActive(const QString &userCode, bool active) const
{
    call("SetUserActive", {userCode, active});
}

void UserAdminClient::resetPassword(const QString &userCode, const QString &password) const
{
    call("ResetUserPassword", {userCode, password});
}

int UserAdminClient::addGroup(const QString &name) const
{
    return call("AddUserGroup", {name}).toInt();
}

void UserAdminClient::removeGroup(int group) const
{
    call("RemoveUserGroup", {group});
}

void UserAdminClient::grant(int group, int objType, int level) const
{
    call("GrantRight", {group, objType, level});
}

void UserAdminClient::revoke(int group, int objType) const
{
    call("RevokeRight", {group, objType});
}

QString UserAdminClient::yesNo(bool value)
{
    return value ? QStringLiteral("是") : QStringLiteral("否");
}

QString UserAdminClient::levelText(int level)
{
    switch (level) {
    case 1:
        return QStringLiteral("完全");
    case 2:
        return QStringLiteral("浏览");
    case 3:
        return QStringLiteral("修改");
    }
    return QStringLiteral("无");
}

} // namespace vexa::host
