#include "LoginDialog.h"

#include "HostDialogs.h"

#include <vexa/Error.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexa::host {

LoginDialog::LoginDialog(const QString &accountSetPath, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LoginDialog"));
    setWindowTitle(QStringLiteral("登录"));

    auto *accountSet = new QLabel(QDir::toNativeSeparators(accountSetPath), this);
    accountSet->setObjectName(QStringLiteral("lbAccountSet"));
    accountSet->setTextInteractionFlags(Qt::TextSelectableByMouse);
    accountSet->setWordWrap(true);

    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("edUser"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("edPassword"));
    m_password->setEchoMode(QLineEdit::Password);

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("lbNotice"));
    m_notice->setWordWrap(true);
    m_notice->hide();

    m_error = makeErrorLabel(this);
    QDialogButtonBox *buttons = makeOkCancel(this, QStringLiteral("登录"), &m_ok);
    // Accepting is tryLogin's decision, not the button box's.
    connect(m_ok, &QPushButton::clicked, this, &LoginDialog::tryLogin);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("账套："), accountSet);
    form->addRow(QStringLiteral("用户名："), m_user);
    form->addRow(QStringLiteral("密码："), m_password);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_notice);
    layout->addWidget(m_error);
    layout->addStretch();
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

void LoginDialog::setUser(const QString &user)
{
    m_user->setText(user);
    (user.isEmpty() ? m_user : m_password)->setFocus();
}

QString LoginDialog::user() const
{
    return m_user->text().trimmed();
}

void LoginDialog::setPassword(const QString &password)
{
    m_password->setText(password);
}

void LoginDialog::setError(const QString &text)
{
    m_error->setText(text);
    m_error->setVisible(!text.isEmpty());
}

void LoginDialog::setNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

QString LoginDialog::error() const
{
    return m_error->text();
}

void LoginDialog::tryLogin()
{
    if (user().isEmpty()) {
        setError(QStringLiteral("请输入用户名。"));
        m_user->setFocus();
        return;
    }
    try {
        if (m_attempt)
            m_attempt(user(), m_password->text());
    } catch (const Error &e) {
        setError(e.message());
        m_password->clear();
        m_password->setFocus();
        return;
    }
    setError(QString());
    accept();
}

} // namespace vexa::host
