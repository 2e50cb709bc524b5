#pragma once

#include "LXChildForm.h"

namespace vexa::ledger {

// 冲销凭证
class TReverseVoucherForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TReverseVoucherForm(QWidget *parent = nullptr);
};

} // namespace vexa::ledger
