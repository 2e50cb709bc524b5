#pragma once

#include "LXChildForm.h"

namespace vexa::ledger {

// 凭证管理
class TVoucherListForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TVoucherListForm(QWidget *parent = nullptr);
};

} // namespace vexa::ledger
