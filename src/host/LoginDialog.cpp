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

    m_server = makeLineEdit(this, "edServer");
    m_server->setPlaceholderText(QStringLiteral("空：本机的账套文件"));
    m_set = makeLineEdit(this, "edSet");
    m_setLabel = new QLabel(this);
    connect(m_server, &QLineEdit::textChanged, this, &LoginDialog::updateSetLabel);

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

    m_form = new QFormLayout;
    m_form->addRow(QStringLiteral("服务器："), m_server);
    m_form->addRow(m_setLabel, m_set);
    m_form->addRow(QStringLiteral("用户名："), m_user);
    m_form->addRow(QStringLiteral("密码："), m_password);
    setPlace(QString(), QDir::toNativeSeparators(accountSetPath), false);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    layout->addWidget(m_notice);
    layout->addWidget(m_error);
    layout->addStretch();
    layout->addWidget(buttons);
    setMinimumWidth(400);
}

void LoginDialog::setPlace(const QString &server, const QString &set, bool editable)
{
    m_server->setText(server);
    m_set->setText(set);
    for (QLineEdit *edit : {m_server, m_set}) {
        edit->setReadOnly(!editable);
        edit->setFrame(editable);
    }
    m_form->setRowVisible(m_server, editable || !server.isEmpty());
    updateSetLabel();
}

QString LoginDialog::server() const
{
    return m_server->text().trimmed();
}

QString LoginDialog::setName() const
{
    return m_set->text().trimmed();
}

void LoginDialog::updateSetLabel()
{
    const bool onServer = !server().isEmpty();
    m_setLabel->setText(onServer ? QStringLiteral("账套：") : QStringLiteral("账套文件："));
    m_set->setPlaceholderText(onServer ? QStringLiteral("空：服务器上唯一的账套")
                                       : QStringLiteral("本机账套文件的路径（空：演示账套）"));
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
