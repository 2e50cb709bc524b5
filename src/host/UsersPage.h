#pragma once

#include "UserAdminClient.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace vexa::host {

// The host's 用户 page (module SMSU), for administrators: the set's users with 新增…, 停用,
// 启用, 删除 and 重置密码…. Every change is one server operation; a refusal is shown with
// the server's reason and the list is read again.
class UsersPage : public QWidget
{
    Q_OBJECT

public:
    static const QString kModuleCode; // "SMSU"

    explicit UsersPage(UserAdminClient client, QWidget *parent = nullptr);

    // Reads the users again, keeping the selected one.
    void refresh();

private:
    void load(const QString &select);
    QString selectedCode() const;
    const UserAdminClient::User *selectedUser() const;
    void updateButtons();
    void setStatus(const QString &text);

    void addUser();
    void setSelectedActive(bool active);
    void removeUser();
    void resetPassword();

    UserAdminClient m_client;
    QList<UserAdminClient::User> m_users;
    QTableWidget *m_grid;
    QPushButton *m_add;
    QPushButton *m_disable;
    QPushButton *m_enable;
    QPushButton *m_remove;
    QPushButton *m_reset;
    QPushButton *m_refresh;
    QLabel *m_status;
};

} // namespace vexa::host
