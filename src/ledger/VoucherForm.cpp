#include "VoucherForm.h"

namespace vexa::ledger {

TVoucherForm::TVoucherForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setWindowTitle(QStringLiteral("凭证录入"));
    SetModuleCaption(QStringLiteral("凭证录入"));
}

} // namespace vexa::ledger
