#pragma once

#include "BooksData.h"
#include "LXChildForm.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QStandardItemModel;
class QTableView;

namespace vexa::ledger {

// 总分类账: an account (edAccount, a code) for a range of periods, one row per period
// (grdPeriods): 期初余额 with its side, 本期合计 debit and credit, 本年累计 debit and credit,
// 期末余额 with its side. A double click opens the 明细分类账 of that period.
class TGeneralLedgerForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TGeneralLedgerForm(QWidget *parent = nullptr);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    void Refresh();
    void OpenLedger();
    void Command14() override { Refresh(); }

private:
    ReportTable report() const;

    QList<LedgerPeriod> m_periods;
    QList<LedgerAccount> m_accounts;
    QList<GeneralLedgerRow> m_rows;
    int m_acctId = 0;
    QString m_account;
    QLineEdit *edAccount;
    QLabel *lbAccountName;
    QComboBox *cbFromPeriod;
    QComboBox *cbToPeriod;
    QTableView *grdPeriods;
    QStandardItemModel *m_model;
};

} // namespace vexa::ledger
