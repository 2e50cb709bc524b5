#pragma once

#include "LXChildForm.h"
#include "LedgerData.h"

class QDateEdit;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace vexa::ledger {

// 冲销凭证: a posted voucher not yet reversed is chosen in grdVouchers (started with p2
// "DocEntry", p1 picks that one), the red voucher's date in edDocDate; btnReverse 冲销 makes
// the red voucher (ReverseVoucher) and opens the 凭证录入 page with a blue voucher holding
// the original's lines, to be corrected and saved.
class TReverseVoucherForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TReverseVoucherForm(QWidget *parent = nullptr);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    void Refresh();
    // The chosen voucher's DocEntry, 0 when none.
    int Chosen() const;
    // Asks, reverses, opens the correction. False when cancelled or refused.
    bool Reverse();

    void Command14() override { Refresh(); }

private:
    QList<LedgerPeriod> m_periods;
    QStandardItemModel *m_model;
    QTableView *grdVouchers;
    QDateEdit *edDocDate;
    QLabel *lbResult;
    QPushButton *btnReverse;
};

} // namespace vexa::ledger
