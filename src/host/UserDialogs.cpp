#include "UserDialogs.h"

#include "HostDialogs.h"

#include <vexa/Error.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexa::host {

namespace {

void showError(QLabel *label, const QString &text)
{
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

QVBoxLayout *dialogLayout(QDialog *dialog, QFormLayout *form, QLabel *error,
                          QDialogButtonBox *buttons)
{
    auto *layout = new QVBoxLayout(dialog);
    layout->addLayout(form);
    layout->addWidget(error);
    layout->addStretch();
    layout->addWidget(buttons);
    dialog->setMinimumWidth(380);
    return layout;
}

} // namespace

QString newPasswordProblem(const QString &password, const QString &again)
{
    if (password.isEmpty())
        return QStringLiteral("密码不能为空。");
    if (password != again)
        return QStringLiteral("两次输入的密码不一致。");
    return {};
}

NewUserDialog::NewUserDialog(const QList<UserAdminClient::Group> &groups, Add add, QWidget *parent)
    : QDialog(parent), m_add(std::move(add))
{
    setObjectName(QStringLiteral("NewUserDialog"));
    setWindowTitle(QStringLiteral("新增用户"));
    m_code = makeLineEdit(this, "edUserCode", false);
    m_name = makeLineEdit(this, "edUserName", false);
    m_name->setPlaceholderText(QStringLiteral("不填则与登录名相同"));
    m_group = new QComboBox(this);
    m_group->setObjectName(QStringLiteral("cbGroup"));
    for (const UserAdminClient::Group &g : groups)
        m_group->addItem(QStringLiteral("%1 %2").arg(g.group).arg(g.name), g.group);
    m_manager = new QCheckBox(QStringLiteral("系统管理员（可以管理用户和权限组）"), this);
    m_manager->setObjectName(QStringLiteral("chkManager"));
    m_password = makeLineEdit(this, "edPassword", true);
    m_again = makeLineEdit(this, "edPasswordAgain", true);
    m_error = makeErrorLabel(this);
    QPushButton *ok = nullptr;
    QDialogButtonBox *buttons = makeOkCancel(this, QStringLiteral("确定"), &ok);
    connect(ok, &QPushButton::clicked, this, &NewUserDialog::tryAdd);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("登录名："), m_code);
    form->addRow(QStringLiteral("姓名："), m_name);
    form->addRow(QStringLiteral("用户组："), m_group);
    form->addRow(QString(), m_manager);
    form->addRow(QStringLiteral("密码："), m_password);
    form->addRow(QStringLiteral("确认密码："), m_again);
    dialogLayout(this, form, m_error, buttons);
}

QString NewUserDialog::userCode() const
{
    return m_code->text().trimmed();
}

void NewUserDialog::tryAdd()
{
    showError(m_error, QString());
    if (userCode().isEmpty())
        return showError(m_error, QStringLiteral("请输入登录名。"));
    if (m_group->currentIndex() < 0)
        return showError(m_error, QStringLiteral("请选择用户组。"));
    const QString problem = newPasswordProblem(m_password->text(), m_again->text());
    if (!problem.isEmpty())
        return showError(m_error, problem);
    UserAdminClient::User user;
    user.userCode = userCode();
    user.userName = m_name->text().trimmed();
    user.group = m_group->currentData().toInt();
    user.manager = m_manager->isChecked();
    try {
        m_add(user, m_password->text());
    } catch (const Error &e) {
        return showError(m_error, e.message());
    }
    m_password->clear();
    m_again->clear();
    accept();
}

ResetPasswordDialog::ResetPasswordDialog(const QString &userCode, Reset reset, QWidget *parent)
    : QDialog(parent), m_reset(std::move(reset))
{
    setObjectName(QStringLiteral("ResetPasswordDialog"));
    setWindowTitle(QStringLiteral("重置密码"));
    m_password = makeLineEdit(this, "edNewPassword", true);
    m_again = makeLineEdit(this, "edNewPasswordAgain", true);
    m_error = makeErrorLabel(this);
    QPushButton *ok = nullptr;
    QDialogButtonBox *buttons = makeOkCancel(this, QStringLiteral("确定"), &ok);
    connect(ok, &QPushButton::clicked, this, &ResetPasswordDialog::tryReset);

    auto *user = new QLabel(userCode, this);
    user->setObjectName(QStringLiteral("lbUser"));
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("用户："), user);
    form->addRow(QStringLiteral("新密码："), m_password);
    form->addRow(QStringLiteral("确认新密码："), m_again);
    dialogLayout(this, form, m_error, buttons);
}

void ResetPasswordDialog::tryReset()
{
    showError(m_error, QString());
    const QString problem = newPasswordProblem(m_password->text(), m_again->text());
    if (!problem.isEmpty())
        return showError(m_error, problem);
    try {
        m_reset(m_password->text());
    } catch (const Error &e) {
        return showError(m_error, e.message());
    }
    m_password->clear();
    m_again->clear();
    accept();
}

NewGroupDialog::NewGroupDialog(Add add, QWidget *parent) : QDialog(parent), m_add(std::move(add))
{
    setObjectName(QStringLiteral("NewGroupDialog"));
    setWindowTitle(QStringLiteral("新增用户组"));
    m_name = makeLineEdit(this, "edGroupName", false);
    m_error = makeErrorLabel(this);
    QPushButton *ok = nullptr;
    QDialogButtonBox *buttons = makeOkCancel(this, QStringLiteral("确定"), &ok);
    connect(ok, &QPushButton::clicked, this, &NewGroupDialog::tryAdd);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("名称："), m_name);
    dialogLayout(this, form, m_error, buttons);
}

void NewGroupDialog::tryAdd()
{
    showError(m_error, QString());
    try {
        m_group = m_add(m_name->text());
    } catch (const Error &e) {
        return showError(m_error, e.message());
    }
    accept();
}

} // namespace vexa::host
