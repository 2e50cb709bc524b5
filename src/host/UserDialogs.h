#pragma once

#include "UserAdminClient.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace vexa::host {

// 新增用户: login name, display name, group, administrator, the password twice. "确定" checks
// the fields and hands the user to add; a refusal (vexa::Error, the server's reason) is shown
// inside the dialog, which stays open with what was typed.
class NewUserDialog : public QDialog
{
    Q_OBJECT

public:
    using Add = std::function<void(const UserAdminClient::User &user, const QString &password)>;

    NewUserDialog(const QList<UserAdminClient::Group> &groups, Add add, QWidget *parent = nullptr);
    QString userCode() const;

private:
    void tryAdd();

    Add m_add;
    QLineEdit *m_code;
    QLineEdit *m_name;
    QComboBox *m_group;
    QCheckBox *m_manager;
    QLineEdit *m_password;
    QLineEdit *m_again;
    QLabel *m_error;
};

// 重置密码: the administrator sets a user's new password, typed twice; no old one is asked.
class ResetPasswordDialog : public QDialog
{
    Q_OBJECT

public:
    using Reset = std::function<void(const QString &password)>;

    ResetPasswordDialog(const QString &userCode, Reset reset, QWidget *parent = nullptr);

private:
    void tryReset();

    Reset m_reset;
    QLineEdit *m_password;
    QLineEdit *m_again;
    QLabel *m_error;
};

// 新增用户组: the group's name; answers the new group's number.
class NewGroupDialog : public QDialog
{
    Q_OBJECT

public:
    using Add = std::function<int(const QString &name)>;

    explicit NewGroupDialog(Add add, QWidget *parent = nullptr);
    int group() const { return m_group; }

private:
    void tryAdd();

    Add m_add;
    QLineEdit *m_name;
    QLabel *m_error;
    int m_group = 0;
};

// The two password fields agree and are not empty: empty, else why not.
QString newPasswordProblem(const QString &password, const QString &again);

} // namespace vexa::host
