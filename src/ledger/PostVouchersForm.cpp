#include "PostVouchersForm.h"

namespace vexa::ledger {

TPostVouchersForm::TPostVouchersForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setWindowTitle(QStringLiteral("凭证登帐"));
    SetModuleCaption(QStringLiteral("凭证登帐"));
}

} // namespace vexa::ledger
