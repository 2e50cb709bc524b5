#pragma once

#include "LXChildForm.h"
#include "LedgerData.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace vexa::ledger {

// 凭证登帐: every reviewed voucher up to the chosen period (cbPeriod) is posted at once
// (btnPost 记账), in one server transaction. lbWaiting tells how many wait, lbResult how
// many were posted.
class TPostVouchersForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TPostVouchersForm(QWidget *parent = nullptr);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    // The reviewed vouchers up to the chosen period; shown in lbWaiting.
    int Waiting();
    // Asks, then posts. Answers how many were posted (0 when cancelled or refused).
    int Post();

    void Command14() override { Waiting(); }

private:
    QList<LedgerPeriod> m_periods;
    QComboBox *cbPeriod;
    QLabel *lbWaiting;
    QLabel *lbResult;
    QPushButton *btnPost;
};

} // namespace vexa::ledger
