#pragma once

#include "ClosingData.h"
#include "LXChildForm.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableWidget;

namespace vexa::ledger {

// 结转损益: the period (cbPeriod, the open ones) and the voucher's date (edDate, the
// period's last day), the closing accounts (lbProfit 本年利润, lbDist 利润分配, changed
// through the account picker by btnProfit / btnDist and stored at once), the lines the
// voucher will have (tvLines: 科目, 借方, 贷方; lbKind says which step), and 生成凭证
// (btnMake) making it; lbResult names the voucher made. At the year's last period, once the
// 结转损益 voucher is posted, the same button makes the 本年利润 → 利润分配 voucher.
class TCarryForwardForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TCarryForwardForm(QWidget *parent = nullptr);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    // The preview of the chosen period; answers its number of lines.
    int Preview();
    // Asks, then makes the voucher; answers it (docEntry 0 when cancelled or refused).
    CarryResult Make();
    // The account picker for 本年利润 (profit) or 利润分配; stores the choice.
    void ChooseAccount(bool profit);

    void Command14() override { Preview(); }

private:
    void ShowAccounts();

    QList<ClosePeriodInfo> m_periods;
    ClosingAccountsInfo m_accounts;
    QComboBox *cbPeriod;
    QDateEdit *edDate;
    QLabel *lbProfit;
    QLabel *lbDist;
    QPushButton *btnProfit;
    QPushButton *btnDist;
    QLabel *lbKind;
    QTableWidget *tvLines;
    QPushButton *btnMake;
    QLabel *lbResult;
};

} // namespace vexa::ledger
