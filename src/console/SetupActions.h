#pragma once

class QWidget;

namespace vexa::gl {

// The account-set configuration, opened modally and owned by page. When it closes with OK
// and the settings that need a new login changed, the user is told
// "改变账套参数后需要重新登录系统！" and the host is asked to log in again. Answers whether
// the host was asked to log in again.
bool RunParameterConfiguration(QWidget *page);

// The general-ledger automatic accounting configuration, opened modally and owned by
// page.
void RunAccountConfirmation(QWidget *page);

} // namespace vexa::gl
