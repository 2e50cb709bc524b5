#pragma once

#include "LXChildForm.h"

namespace vexa::ledger {

// 凭证录入
class TVoucherForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TVoucherForm(QWidget *parent = nullptr);
};

} // namespace vexa::ledger
