#include "ChangePasswordDialog.h"

#include "HostDialogs.h"

#include <vexa/Error.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexa::host {

ChangePasswordDialog::ChangePasswordDialog(const QString &userCode, Change change, QWidget *parent)
    : QDialog(parent), m_change(std::move(change))
{
    setObjectName(QStringLiteral("ChangePasswordDialog"));
    setWindowTitle(QStringLiteral("修改密码"));
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("lbNotice"));
    m_notice->setWordWrap(true);
    m_notice->hide();
    m_old = makeLineEdit(this, "edOldPassword", true);
    m_new = makeLineEdit(this, "edNewPassword", true);
    m_again = makeLineEdit(this, "edNewPasswordAgain", true);
    m_error = makeErrorLabel(this);
    QPushButton *ok = nullptr;
    QDialogButtonBox *buttons = makeOkCancel(this, QStringLiteral("确定"), &ok);
    connect(ok, &QPushButton::clicked, this, &ChangePasswordDialog::tryChange);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("用户："), new QLabel(userCode, this));
    form->addRow(QStringLiteral("原密码："), m_old);
    form->addRow(QStringLiteral("新密码："), m_new);
    form->addRow(QStringLiteral("确认新密码："), m_again);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_notice);
    layout->addLayout(form);
    layout->addWidget(m_error);
    layout->addStretch();
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

void ChangePasswordDialog::setNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

void ChangePasswordDialog::setKnownOldPassword(const QString &password)
{
    m_old->setText(password);
    auto *form = findChild<QFormLayout *>();
    form->setRowVisible(m_old, false);
    m_new->setFocus();
}

void ChangePasswordDialog::showError(const QString &text)
{
    m_error->setText(text);
    m_error->setVisible(!text.isEmpty());
}

void ChangePasswordDialog::tryChange()
{
    showError(QString());
    if (m_new->text().isEmpty())
        return showError(QStringLiteral("新密码不能为空。"));
    if (m_new->text() != m_again->text())
        return showError(QStringLiteral("两次输入的新密码不一致。"));
    if (m_new->text() == m_old->text())
        return showError(QStringLiteral("新密码与原密码相同。"));
    try {
        m_change(m_old->text(), m_new->text());
    } catch (const Error &e) {
        return showError(e.message());
    }
    // Nothing of the passwords stays in the fields of a closed dialog.
    for (QLineEdit *edit : {m_old, m_new, m_again})
        edit->clear();
    accept();
}

} // namespace vexa::host
