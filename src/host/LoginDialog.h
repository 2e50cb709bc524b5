#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vexa::host {

// Asks for user name and password. "登录" hands them to the attempt function; a refusal
// (vexa::Error) is shown inside the dialog, which stays open for another try.
class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    using Attempt = std::function<void(const QString &user, const QString &password)>;

    explicit LoginDialog(const QString &accountSetPath, QWidget *parent = nullptr);

    void setAttempt(Attempt attempt) { m_attempt = std::move(attempt); }
    void setUser(const QString &user);
    QString user() const;
    void setPassword(const QString &password);
    void setError(const QString &text);
    QString error() const;
    // A note above the error, such as that the account set is read-only; empty hides it.
    void setNotice(const QString &text);

private:
    void tryLogin();

    Attempt m_attempt;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLabel *m_error;
    QLabel *m_notice;
    QPushButton *m_ok;
};

} // namespace vexa::host
