#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;

namespace vexa::host {

// A user changes their own password: the old one, the new one twice. "确定" checks the two
// new ones and hands old and new to the change function; a refusal (vexa::Error, the
// server's "原密码不正确" for instance) is shown inside the dialog, which stays open.
class ChangePasswordDialog : public QDialog
{
    Q_OBJECT

public:
    using Change = std::function<void(const QString &oldPassword, const QString &newPassword)>;

    ChangePasswordDialog(const QString &userCode, Change change, QWidget *parent = nullptr);

    // A note above the fields (why the password should change now); empty hides it.
    void setNotice(const QString &text);
    // The old password is known (just typed at the login): its field is filled and hidden.
    void setKnownOldPassword(const QString &password);

private:
    void tryChange();
    void showError(const QString &text);

    Change m_change;
    QLabel *m_notice;
    QLineEdit *m_old;
    QLineEdit *m_new;
    QLineEdit *m_again;
    QLabel *m_error;
};

} // namespace vexa::host
