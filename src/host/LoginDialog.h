#pragma once

#include <QDialog>
#include <functional>

class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vexa::host {

// Asks for the server, the account set, user name and password. "登录" hands user and
// password to the attempt function, which reads server() and setName() where the user may
// choose them; a refusal (vexa::Error) is shown inside the dialog, which stays open for
// another try. An empty server means an account-set file on this machine, named by the
// set field.
class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    using Attempt = std::function<void(const QString &user, const QString &password)>;

    explicit LoginDialog(const QString &accountSetPath, QWidget *parent = nullptr);

    void setAttempt(Attempt attempt) { m_attempt = std::move(attempt); }
    // The server ("host[:port]", empty for a file) and the set (its name on the server, or
    // the file). Editable: the user may choose another; otherwise both are shown only, and
    // the server line only for a set on a server.
    void setPlace(const QString &server, const QString &set, bool editable);
    QString server() const;
    QString setName() const;
    void setUser(const QString &user);
    QString user() const;
    void setPassword(const QString &password);
    void setError(const QString &text);
    QString error() const;
    // A note above the error, such as that the account set is read-only; empty hides it.
    void setNotice(const QString &text);

private:
    void tryLogin();

    void updateSetLabel();

    Attempt m_attempt;
    QFormLayout *m_form;
    QLineEdit *m_server;
    QLineEdit *m_set;
    QLabel *m_setLabel;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLabel *m_error;
    QLabel *m_notice;
    QPushButton *m_ok;
};

} // namespace vexa::host
