#pragma once

#include "Passwords.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace vexa::server {

class SqlDialect;

// Users, groups and rights of one account set, as its administrator changes them. Every
// change is one transaction and is refused, with the reason in Chinese (vexa::Error), when
// it would leave the set without an administrator who can log in, or refer to a user, group
// or object type that does not exist.
class UserAdmin
{
public:
    // inTransaction: the connection is inside BeginTrans, so each change is a savepoint of
    // that transaction instead of a transaction of its own.
    UserAdmin(QSqlDatabase db, const SqlDialect &dialect, PasswordCost cost,
              bool inTransaction = false);

    struct NewUser
    {
        QString userCode;
        QString userName; // empty: the login name
        QString password;
        int group = 0;
        bool manager = false;
    };
    void addUser(const NewUser &user);
    // A user named by saved data (vouchers, attachments) stays, disabled: the books keep
    // who made and reviewed what. So does one logged in now, whose work is not yet saved.
    enum class Removal { Removed, DisabledForData, DisabledLoggedIn };
    Removal removeUser(const QString &userCode);
    void setActive(const QString &userCode, bool active);
    void renameUser(const QString &userCode, const QString &newCode);
    void setGroup(const QString &userCode, int group);
    // The administrator sets a user's password without the old one; the name's failed
    // logins are forgotten with it, so a reset also lifts a lock.
    void resetPassword(const QString &userCode, const QString &password);

    struct UserRow
    {
        QString userCode;
        QString userName;
        int group = 0;
        QString groupName;
        bool manager = false;
        bool active = true;
    };
    QList<UserRow> users() const; // by login name

    struct GroupRow
    {
        int group = 0;
        QString name;
        int users = 0;
    };
    QList<GroupRow> groups() const; // by number

    int addGroup(const QString &name); // returns the new group's number
    void removeGroup(int group);

    enum RightLevel { Full = 1, Browse = 2, Modify = 3 };
    struct Right
    {
        int objType = 0;
        QString objName;
        int level = 0;
    };
    QList<Right> rights(int group) const;
    // Every object type a right can be given on, and any the group holds a right on, with
    // the group's level (0: none), by object type.
    QList<Right> rightTable(int group) const;
    void grant(int group, int objType, int level);
    void revoke(int group, int objType);

private:
    struct User
    {
        QString id;
        QString code;
        bool manager = false;
        bool active = true;
    };
    User require(const QString &userCode) const;
    void requireGroup(int group) const;
    void refuseLosingLastAdministrator(const User &user) const;
    void forgetLoginFailures(const QString &userCode) const;
    int count(const QString &sql, const QVariantList &values = {}) const;
    void run(const QString &sql, const QVariantList &values) const;

    QSqlDatabase m_db;
    const SqlDialect &m_dialect;
    PasswordCost m_cost;
    bool m_inTransaction = false;
};

} // namespace vexa::server
