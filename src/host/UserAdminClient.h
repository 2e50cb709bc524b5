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

    struct User
    {
        QString userCode;
        QString userName;
        int group = 0;
        QString groupName;
        bool manager = false;
        bool active = true;
    };
    struct Group
    {
        int group = 0;
        QString name;
        int users = 0;
    };
    struct Right
    {
        int objType = 0;
        QString objName;
        int level = 0; // 0 none, 1 完全, 2 浏览, 3 修改
    };

    QList<User> users() const;
    QList<Group> groups() const;
    // Every object type of the set with the group's level on it.
    QList<Right> rights(int group) const;

    void addUser(const User &user, const QString &password) const;
    // false: the user is named by saved data and was disabled instead.
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
