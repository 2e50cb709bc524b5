#pragma once

#include "DocFindForm.h"

#include <QList>

class QCheckBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;

namespace vexa::gl {

// What the account picker and the template-account browser share: the account grid
// (grdData over cdsData on "LX_BMListAccounting", key AcctID) with its display rules, the
// tab strip of account types and the choice of a row (a double-click or Enter on it).
//
// The tab strip: tab 0 "全部(&0)" lists every type, tab k (1..8) the accounts of the k-th
// row of cdsAcctType. Each tab is the image imgCloseK (a flat button) carrying the label
// lbK; the highlight frame imgOpen lies under the current tab. A click on a label or an
// image, or Alt+K, selects the tab when it is visible.
//
// Display rules of the grid (its model answers them, so every view shows the same): the
// account name indented by level with ideographic spaces while IndentNames() holds, the
// balance side as 借/贷, an empty currency as 多货币, "无辅助核算项" as empty, the level
// centred, non-leaf accounts in navy lightened by level and leaf control accounts in green.
class TAccountListForm : public TDocFindForm
{
    Q_OBJECT

public:
    bool TabSwitching = false;
    int CurrentTab = 0; // 0: every type; k: the k-th account type
    bool LeafOnly = true;

    ClientDataSet *DataSet() const { return cdsData; }
    ClientDataSet *AccountTypes() const { return cdsAcctType; }

    // The tab a component stands for: the third character of a label's name ("lb3"), the
    // ninth of an image's name ("imgClose3"); -1 for any other component.
    static int TabNumberOf(const QString &componentName);
    // Shows only the accounts of that tab's type, without asking the server, and keeps the
    // current account when it is of that type.
    void SelectTab(int tab);
    // The visible tabs' count of account types (0..8).
    int TypeTabCount() const;

    // Takes the current row; without rows the dialog is cancelled.
    virtual void Choose();

protected:
    TAccountListForm(QWidget *parent, const QString &caption, const QString &title);

    // One tab per account type (the first eight rows of cdsAcctType), tab 0 current, no
    // filter, the order by type and level code, cdsData the main dataset.
    void PrepareTabs();
    // The name column, or the full-name column in its place (taking its width).
    void ShowFullNames(bool fullNames);
    // The designed columns in their order and widths, every other field hidden.
    void LayOutColumns();
    virtual bool IndentNames() const = 0;

    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

    ClientDataSet *cdsData;
    ClientDataSet *cdsAcctType;
    QLabel *lbTitle;
    QWidget *pnlTabs;
    QFrame *imgOpen;
    QList<QToolButton *> imgClose; // imgClose0 .. imgClose8
    QList<QLabel *> lb;            // lb0 .. lb8
    QTableView *grdData;
    QHBoxLayout *pnlBottom; // the descendant's check boxes and buttons

private:
    void PlaceHighlight();
    void MarkInternalColumns();
};

// Picks one account of the chart of accounts, by default only a bottom-level one. After OK
// the chosen account is the current record of DataSet() and SelectedValue holds its AcctID.
//
// Components besides those of TAccountListForm: the check boxes cbLeafOnly "仅显示最底级科目"
// and cbShowFrozen "显示封存科目" (each click reads the list again), btnOk "选择" and
// btnCancel "取消" (also Escape). Each showing reads every matching account (no row limit)
// under the check boxes' condition; the tab, check boxes and place stay between showings.
// On destruction the state of cbLeafOnly is written as "ShowAllAcct" under the client
// settings key.
class TSelAccountingForm : public TAccountListForm
{
    Q_OBJECT

public:
    explicit TSelAccountingForm(QWidget *parent = nullptr);
    ~TSelAccountingForm() override;

    void RefreshData(bool disableControls) override;
    // Refuses a parent account while LeafOnly holds, with a warning.
    void Choose() override;

protected:
    void FormShow() override;
    bool IndentNames() const override;

private:
    QCheckBox *cbLeafOnly;
    QCheckBox *cbShowFrozen;
    QPushButton *btnOk;
    QPushButton *btnCancel;
};

// Browses the accounts of an industry chart template that the caller hands in; nothing is
// read from the server but, when no account types were handed in, the account types.
//
// Use: LoadTemplate with the template's account and account-type packets (the texts of
// AcctXMLData and AcctTypeXMLData), or fill DataSet() and AccountTypes() directly; then show
// it. The only button btnOk "返回" closes with OK. Names are always indented, the currency
// column is hidden and no parent account is refused.
class TShowTempAccountingForm : public TAccountListForm
{
    Q_OBJECT

public:
    explicit TShowTempAccountingForm(QWidget *parent = nullptr);

    // Loads both packets (an empty types text leaves the types to be read at show).
    void LoadTemplate(const QString &accountsPacket, const QString &typesPacket);

    // Shows the name column and drops the user condition; never queries.
    void RefreshData(bool disableControls) override;

protected:
    void FormShow() override;
    bool IndentNames() const override { return true; }

private:
    QPushButton *btnOk;
};

} // namespace vexa::gl
