#pragma once

#include "UserAdmin.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace vexa {
class IAppServer;
}

namespace vexa::host {

// The client side of the server's user, group and rights operations (administrators
// only; the server checks). Each call is one request; a refusal throws vexa::Error with the
// server's reason in Chinese.
class UserAdminClient
{
public:
    explicit UserAdminClient(IAppServer *server) : m_server(server) {}

    using User = server::UserAdmin::UserRow;
    using Group = server::UserAdmin::GroupRow;
    using Right = server::UserAdmin::Right; // level 0: none

    QList<User> users() const;
    QList<Group> groups() const;
    // Every object type of the set with the group's level on it.
    QList<Right> rights(int group) const;

    void addUser(const User &user, const QString &password) const;
    server::UserAdmin::Removal removeUser(const QString &userCode) const;
    void setActive(const QString &userCode, bool active) const;
    void resetPassword(const QString &userCode, const QString &password) const;
    int addGroup(const QString &name) const;
    void removeGroup(int group) const;
    void grant(int group, int objType, int level) const;
    void revoke(int group, int objType) const;

    static QString yesNo(bool value);    // 是 / 否
    static QString levelText(int level); // 完全 / 浏览 / 修改 / 无

private:
    QVariant call(const char *operation, QVariantList args) const;

    IAppServer *m_server;
};

} // namespace vexa::host
