#include "ReverseVoucherForm.h"

namespace vexa::ledger {

TReverseVoucherForm::TReverseVoucherForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setWindowTitle(QStringLiteral("冲销凭证"));
    SetModuleCaption(QStringLiteral("冲销凭证"));
}

} // namespace vexa::ledger
