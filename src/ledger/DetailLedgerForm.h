#pragma once

#include "BooksData.h"
#include "LXChildForm.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace vexa::ledger {

// 明细分类账: the posted lines of an account (edAccount, a code; its sub-accounts included)
// for a range of periods, with the opening line, 本期合计 and 本年累计 and the running
// balance (grdLines), a page of kPageRows at a time (btnPrevPage, btnNextPage, lbPage).
// A double click on a line opens its voucher (凭证录入, read only once posted). Started with
// p1 an AcctID and p2 "Range <from> <to>" it shows that account for that range.
class TDetailLedgerForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    static constexpr int kPageRows = 100;

    explicit TDetailLedgerForm(QWidget *parent = nullptr);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    // Reads page (from 0) of the account's ledger for the chosen range.
    void ShowPage(qint64 page);
    void Query() { ShowPage(0); }
    void Export();
    void Preview();
    void OpenVoucher();
    void Command14() override { ShowPage(m_page); }

    const QList<DetailRow> &rows() const { return m_rows; }

private:
    const LedgerAccount &account() const;
    ReportTable report() const;

    QList<LedgerPeriod> m_periods;
    QList<LedgerAccount> m_accounts;
    QList<DetailRow> m_rows;
    qint64 m_page = 0, m_pages = 0;
    QLineEdit *edAccount;
    QLabel *lbAccountName;
    QComboBox *cbFromPeriod;
    QComboBox *cbToPeriod;
    QTableView *grdLines;
    QStandardItemModel *m_model;
    QPushButton *btnPrevPage;
    QPushButton *btnNextPage;
    QLabel *lbPage;
};

} // namespace vexa::ledger
