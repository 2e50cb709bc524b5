#include "MPasswordForm.h"

#include "DataAccess.h"
#include "MessageDialogs.h"

#include <vexa/Error.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexa::gl {

namespace {

// Answers of the server's password change.
constexpr int kChanged = 0;
constexpr int kWrongOldPassword = -2;

} // namespace

TMPasswordForm::TMPasswordForm(QWidget *parent) : TLXCustomForm(parent)
{
    setWindowTitle(QStringLiteral("修改密码"));

    auto masked = [this](const char *name) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setEchoMode(QLineEdit::Password);
        return edit;
    };
    edOldPassword = masked("edOldPassword");
    edPassword = masked("edPassword");
    edOkPassword = masked("edOkPassword");
    lbOldPassword = new QLabel(QStringLiteral("旧密码"), this);
    lbPassword = new QLabel(QStringLiteral("新密码"), this);
    lbOkPassword = new QLabel(QStringLiteral("确认密码"), this);
    lbOldPassword->setBuddy(edOldPassword);
    lbPassword->setBuddy(edPassword);
    lbOkPassword->setBuddy(edOkPassword);

    btnOk = new QPushButton(QStringLiteral("修改"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);

    auto *fields = new QFormLayout;
    fields->addRow(lbOldPassword, edOldPassword);
    fields->addRow(lbPassword, edPassword);
    fields->addRow(lbOkPassword, edOkPassword);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *main = new QVBoxLayout(this);
    main->addLayout(fields);
    main->addLayout(buttons);
    resize(300, 150);

    connect(btnOk, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { ChangePassword(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TMPasswordForm::ChangePassword()
{
    const QString newPassword = edPassword->text().trimmed();
    if (newPassword.isEmpty()) {
        edPassword->setFocus();
        throw Error(QStringLiteral("密码不能为空。"));
    }
    if (newPassword != edOkPassword->text().trimmed()) {
        edPassword->setFocus();
        throw Error(QStringLiteral("新密码与确认密码不同！"));
    }
    QVariantList args{edOldPassword->text().trimmed(), newPassword};
    const int result = CallServer(QStringLiteral("Modifyps"), args).toInt();
    if (result == kChanged) {
        accept();
        return true;
    }
    edOldPassword->setFocus();
    ShowInfoMessage(result == kWrongOldPassword
                        ? QStringLiteral("输入旧密码错误，修改密码失败。")
                        : QStringLiteral("系统修改密码错误，修改密码失败。"));
    return false;
}

} // namespace vexa::gl
