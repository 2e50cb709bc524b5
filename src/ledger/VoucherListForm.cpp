#include "VoucherListForm.h"

namespace vexa::ledger {

TVoucherListForm::TVoucherListForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setWindowTitle(QStringLiteral("凭证管理"));
    SetModuleCaption(QStringLiteral("凭证管理"));
}

} // namespace vexa::ledger
