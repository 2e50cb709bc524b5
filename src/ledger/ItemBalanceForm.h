#pragma once

#include "BooksData.h"
#include "LXChildForm.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QStandardItemModel;
class QTableView;

namespace vexa::ledger {

// 辅助核算项目余额表 GLFZYEB: for a leaf account with an auxiliary list (edAccount, a code, or
// chosen from cbItemAccount) and a range of periods, every item's opening, movement,
// year-to-date and closing (grdBalances) and their 合计. A double click opens the
// 辅助核算项目明细账 of the item for the same range; 导出 and 打印预览 as the other books.
class TItemBalanceForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TItemBalanceForm(QWidget *parent = nullptr);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    // Reads the balances of the typed account for the chosen range.
    void Refresh();
    // Opens the 辅助核算项目明细账 of the selected item.
    void OpenLedger();
    void Command14() override { Refresh(); }

    const QList<ItemBalanceRow> &rows() const { return m_rows; }

private:
    ReportTable report() const;

    QList<LedgerPeriod> m_periods;
    QList<LedgerAccount> m_accounts;
    QList<ItemBalanceRow> m_rows;
    int m_acctId = 0; // the account m_rows are of
    QString m_accountText;
    QLineEdit *edAccount;
    QLabel *lbAccountName;
    QComboBox *cbItemAccount;
    QComboBox *cbFromPeriod;
    QComboBox *cbToPeriod;
    QTableView *grdBalances;
    QStandardItemModel *m_model;
};

} // namespace vexa::ledger
