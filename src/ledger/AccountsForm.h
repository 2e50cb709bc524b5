#pragma once

// 会计科目: the chart after the template load, as a tree by account type; new sub-accounts
// (and first-level accounts), renaming and the other account fields, freezing, deleting an
// unused account. The server checks every rule again; a leaf with entries asks first
// whether they move to the new sub-account.

#include "ChartData.h"
#include "LXChildForm.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabBar;
class QTreeWidget;

namespace vexa::ledger {

class TAccountsForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    enum Column { ColCode, ColName, ColSide, ColCurrency, ColItems, ColFrozen };

    explicit TAccountsForm(QWidget *parent = nullptr);

    void Reload();
    // The account selected in the tree, nullptr when none.
    const ChartAccount *Selected() const;
    void Select(const QString &code);

    void AddAccount();
    void EditAccount();
    void DeleteAccount();
    void ToggleFrozen();

private:
    void Fill();
    void UpdateButtons();

    QList<ChartAccount> m_chart;
    QList<AccountTypeInfo> m_types;
    QTabBar *m_tabs;
    QTreeWidget *m_tree;
    QPushButton *m_edit, *m_delete, *m_freeze;
};

// The fields of one account: 科目代码, 科目名称, 余额方向, 币别, 辅助核算, 科目类别 (first
// level only), 封存. New: the code starts as the selected account's; Modify: the code stays.
class TAccountDialog : public QDialog
{
    Q_OBJECT

public:
    TAccountDialog(const ChartAccount *account, const QString &codePrefix,
                   const QList<AccountTypeInfo> &types, QWidget *parent = nullptr);

    // A new account starts with the side, currency and list of the account it goes under.
    void TakeDefaults(const ChartAccount &parent);

    QString Code() const;
    // The fields as AddAccount or ModifyAccount take them (DC, CurrCode, ACItemID, Frozen,
    // AcctName, and AcctTypeCode for a new account).
    QVariantMap Fields() const;

private:
    QLineEdit *m_code, *m_name;
    QComboBox *m_side, *m_currency, *m_items, *m_type;
    QCheckBox *m_frozen;
};

} // namespace vexa::ledger
