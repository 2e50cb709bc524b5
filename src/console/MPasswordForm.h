#pragma once

#include "LXCustomForm.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vexa::gl {

// Changes the current user's login password on the application server.
//
// Components: edOldPassword "旧密码", edPassword "新密码", edOkPassword "确认密码" (all
// masked), btnOk "修改", btnCancel "取消". Closes with OK once the server has taken the
// new password.
class TMPasswordForm : public TLXCustomForm
{
    Q_OBJECT

public:
    explicit TMPasswordForm(QWidget *parent = nullptr);

    // The OK button: checks the fields (raises for an empty or unconfirmed new password)
    // and asks the server; answers whether the password was changed.
    bool ChangePassword();

private:
    QLabel *lbOldPassword;
    QLineEdit *edOldPassword;
    QLabel *lbPassword;
    QLineEdit *edPassword;
    QLabel *lbOkPassword;
    QLineEdit *edOkPassword;
    QPushButton *btnOk;
    QPushButton *btnCancel;
};

} // namespace vexa::gl
