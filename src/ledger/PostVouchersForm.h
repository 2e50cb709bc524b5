#pragma once

#include "LXChildForm.h"

namespace vexa::ledger {

// 凭证登帐
class TPostVouchersForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TPostVouchersForm(QWidget *parent = nullptr);
};

} // namespace vexa::ledger
