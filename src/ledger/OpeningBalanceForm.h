#pragma once

// 科目期初余额: the opening balances of the chart at the ledger's start period, entered on
// leaf accounts (per item on accounts with an auxiliary list), parents summed live, a
// trial balance, saved through SaveOpenings; read-only once a voucher is posted.

#include "LXChildForm.h"
#include "OpeningBalanceTree.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

namespace vexa::ledger {

struct AuxItem;

class TOpeningBalanceForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    // Grid columns.
    enum Column { ColCode, ColName, ColSide, ColBalance, ColYtdDebit, ColYtdCredit, ColYear };

    explicit TOpeningBalanceForm(QWidget *parent = nullptr);

    // Reads the chart and the stored openings again (unsaved entries are dropped).
    void Reload();
    void Save();
    // Shows the trial balance of what the grid holds; answers it.
    OpeningTrial ShowTrialBalance();
    // Opens the items of an account with an auxiliary list for entry.
    void EditItems(qint64 acctId);

    const OpeningBalanceTree &Tree() const { return m_tree; }

private:
    void Fill();
    void ShowFigures();
    void CellEdited(int row, int column);

    OpeningBalanceTree m_tree;
    QTableWidget *m_grid;
    QPushButton *m_save;
    QLabel *m_state;
    bool m_midYear = false;
    bool m_locked = false;
    bool m_filling = false;
};

// The items of one account: 核算项目, 期初余额 and (mid-year) 累计借方/累计贷方, entered on
// the account's side. OK reads every cell; an amount that cannot be read keeps the dialog.
class TOpeningItemsDialog : public QDialog
{
    Q_OBJECT

public:
    TOpeningItemsDialog(const OpeningAccount &account, const QList<AuxItem> &items,
                        const OpeningBalanceTree &tree, bool midYear, QWidget *parent = nullptr);
    // The figures entered, by item, after OK.
    QList<std::pair<qint64, OpeningFigures>> Figures() const { return m_figures; }

private:
    void Accept();

    OpeningAccount m_account;
    QList<qint64> m_items;
    QTableWidget *m_grid;
    QList<std::pair<qint64, OpeningFigures>> m_figures;
};

} // namespace vexa::ledger
