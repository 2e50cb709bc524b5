#pragma once

#include <QColor>
#include <QString>
#include <QVariant>

namespace vexa::gl {

// Which accounts each tab of the account picker shows, without the window. Tab 0 lists
// every account; tab k (1..8) the accounts whose AcctType is k, made for the k-th row of the
// account types (rows past the eighth get no tab).
class AccountTabs
{
public:
    static constexpr int Count = 9; // "全部" and up to eight account types

    // The tab a component stands for: the third character of a label's name ("lb3"), the
    // ninth of an image's name ("imgClose3"); -1 for any other component.
    static int TabOf(const QString &componentName);
    // The tab that the type row recNo (1-based) gets, -1 when it gets none.
    static int TabOfTypeRow(int recNo);
    // The tab's label: the type's description and its Alt key.
    static QString Caption(const QString &typeDesc, int tab);
    // Whether a click or key on tab moves there from current (a hidden tab does not).
    static bool Selectable(int tab, int current, bool tabShown);
    // The local filter of the tab's accounts (empty: every account).
    static QString Filter(int tab);
    // Whether the account key is looked up again after the switch to tab.
    static bool KeepsAccount(const QVariant &key, int tab);
    // The condition of the picker's two check boxes.
    static QString CheckBoxCondition(bool leafOnly, bool showFrozen);
};

// How the account grid shows an account, without the grid.
struct AccountDisplay
{
    // The text shown for value of field (its name compared without regard to case): the
    // account name indented by level with ideographic spaces while indent holds, the balance
    // side as 借/贷, an empty currency as 多货币, "无辅助核算项" as empty; else value.
    static QVariant Text(const QString &field, const QVariant &value, int levels, bool indent);
    // Non-leaf accounts in navy, lighter by 20 a level down to the fifth (deeper ones like the
    // fifth); leaf control accounts in green; invalid (the view's own colour) otherwise.
    static QColor Colour(int levels, bool isNode, bool isControl);
};

} // namespace vexa::gl
