#pragma once

#include "BooksData.h"
#include "LXChildForm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QStandardItemModel;
class QTableView;

namespace vexa::ledger {

// 科目余额表: for a range of periods (cbFromPeriod, cbToPeriod) and a level (cbLevel), every
// account's opening, movement, year-to-date and closing (grdBalances) with the first-level
// totals and whether they balance (lbBalanced); 显示零余额 (chkZero) keeps accounts without
// anything. A double click opens the 明细分类账 of the account for the same range.
// 导出 (btnExport) writes a CSV file, 打印预览 (btnPreview) shows the print.
class TAccountBalanceForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TAccountBalanceForm(QWidget *parent = nullptr) : TAccountBalanceForm(parent, false) {}

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    // Reads the balances for the chosen range and level.
    void Refresh();
    // Opens the 明细分类账 of the selected account.
    void OpenLedger();
    void Command14() override { Refresh(); }

    const QList<BalanceRow> &rows() const { return m_rows; }

protected:
    // trial: the 余额试算平衡表, first-level accounts only.
    TAccountBalanceForm(QWidget *parent, bool trial);

private:
    ReportTable report() const;

    bool m_trial;
    QList<LedgerPeriod> m_periods;
    QList<BalanceRow> m_rows;
    QComboBox *cbFromPeriod;
    QComboBox *cbToPeriod;
    QComboBox *cbLevel = nullptr;
    QCheckBox *chkZero = nullptr;
    QTableView *grdBalances;
    QStandardItemModel *m_model;
    QLabel *lbBalanced;
};

// 余额试算平衡表: the first-level accounts, their totals and 试算结果平衡/不平衡.
class TTrialBalanceForm : public TAccountBalanceForm
{
    Q_OBJECT

public:
    explicit TTrialBalanceForm(QWidget *parent = nullptr) : TAccountBalanceForm(parent, true) {}
};

} // namespace vexa::ledger
