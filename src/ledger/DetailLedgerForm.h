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
// The 辅助核算项目明细账 (TItemLedgerForm) is the same for one item (cbItem) of a leaf account
// with an auxiliary list, chosen by its code or from cbItemAccount; started with
// "Range <from> <to> <DacvID>" it shows that item.
class TDetailLedgerForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    static constexpr int kPageRows = 100;

    explicit TDetailLedgerForm(QWidget *parent = nullptr) : TDetailLedgerForm(parent, false) {}

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    // Reads page (from 0) of the account's ledger for the chosen range.
    void ShowPage(qint64 page);
    void Query() { ShowPage(0); }
    void OpenVoucher();
    void Command14() override { ShowPage(m_page); }

    const QList<DetailRow> &rows() const { return m_rows; }

protected:
    // items: the 辅助核算项目明细账, one item of a leaf account with an auxiliary list.
    TDetailLedgerForm(QWidget *parent, bool items);

private:
    const LedgerAccount &account() const;
    ReportTable report() const;
    // The chosen item; throws when there is none.
    int item() const;
    // The ledger's rows from offset: the account's, or the chosen item's.
    DetailPage read(const LedgerAccount &a, qint64 offset, qint64 limit) const;
    // Lists the items of the account typed, keeping the chosen one where it is listed.
    void fillItems();

    bool m_items;
    int m_itemsOf = 0; // the account whose items cbItem lists
    QList<LedgerPeriod> m_periods;
    QList<LedgerAccount> m_accounts;
    QList<DetailRow> m_rows;
    qint64 m_page = 0, m_pages = 0;
    QLineEdit *edAccount;
    QLabel *lbAccountName;
    QComboBox *cbItemAccount = nullptr;
    QComboBox *cbItem = nullptr;
    QComboBox *cbFromPeriod;
    QComboBox *cbToPeriod;
    QTableView *grdLines;
    QStandardItemModel *m_model;
    QPushButton *btnPrevPage;
    QPushButton *btnNextPage;
    QLabel *lbPage;
};

// 辅助核算项目明细账 GLFZMXZ.
class TItemLedgerForm : public TDetailLedgerForm
{
    Q_OBJECT

public:
    explicit TItemLedgerForm(QWidget *parent = nullptr) : TDetailLedgerForm(parent, true) {}
};

} // namespace vexa::ledger
