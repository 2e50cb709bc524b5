#pragma once

// The opening balances as the 科目期初余额 window edits them, without the window: the chart
// as a tree, figures entered on leaf accounts (per auxiliary item where the account has a
// list), a parent's figures the sums of its children's, amounts shown on the account's own
// side, the year's opening and the trial balance (the server's OpeningTrialBalance, to the
// fen). Amounts are whole fen.

#include <QHash>
#include <QList>
#include <QString>
#include <map>

namespace vexa::ledger {

struct OpeningAccount
{
    qint64 id = 0;
    QString code;
    QString name;
    qint64 parentId = 0; // 0: first level
    int level = 1;
    bool leaf = true;
    QString dc = QStringLiteral("D"); // balance side, D or C
    int itemList = 0;                 // ACItemID: 0 none, 1-5 the auxiliary list
};

// One key's figures: balance signed, debit positive; the year's debit and credit before the
// start period (only when the ledger starts after the year's first period).
struct OpeningFigures
{
    qint64 balance = 0;
    qint64 ytdDebit = 0;
    qint64 ytdCredit = 0;

    // The balance at the start of the year.
    qint64 yearOpening() const { return balance - ytdDebit + ytdCredit; }
    bool isZero() const { return balance == 0 && ytdDebit == 0 && ytdCredit == 0; }
    OpeningFigures &operator+=(const OpeningFigures &o)
    {
        balance += o.balance;
        ytdDebit += o.ytdDebit;
        ytdCredit += o.ytdCredit;
        return *this;
    }
    bool operator==(const OpeningFigures &) const = default;
};

// A signed (debit-positive) amount as the account shows it: its own side (借/贷) and the
// amount on that side, negative when the balance lies on the other side.
struct SidedAmount
{
    QString side;
    qint64 amount = 0;
};

struct OpeningTrial
{
    qint64 openingDebit = 0, openingCredit = 0;
    qint64 yearDebit = 0, yearCredit = 0;
    bool balanced() const { return openingDebit == openingCredit && yearDebit == yearCredit; }
};

// One stored row (GLOpening, base currency).
struct OpeningRow
{
    qint64 acctId = 0;
    qint64 dacvId = 0;
    OpeningFigures figures;
    bool operator==(const OpeningRow &) const = default;
};

class OpeningBalanceTree
{
public:
    // The chart, in any order; kept in code order.
    void setAccounts(QList<OpeningAccount> accounts);
    // The stored rows: the figures and the baseline changes() compares with.
    void load(const QList<OpeningRow> &rows);

    const QList<OpeningAccount> &accounts() const { return m_accounts; }
    // Position in accounts(), -1 when unknown.
    int indexOf(qint64 acctId) const { return m_index.value(acctId, -1); }
    const OpeningAccount &account(qint64 acctId) const;

    // Sets a leaf account's figures for an item (0 for an account without a list). Throws
    // vexa::Error in Chinese for a parent account, an item on an account without a list, a
    // missing item on one with.
    void setEntry(qint64 acctId, qint64 dacvId, const OpeningFigures &figures);
    OpeningFigures entry(qint64 acctId, qint64 dacvId) const;
    // The items of an account that hold figures, ascending.
    QList<qint64> itemsOf(qint64 acctId) const;
    // A leaf: the sum over its items; a parent: the sum of its children's totals.
    OpeningFigures total(qint64 acctId) const;

    static SidedAmount onSide(const QString &dc, qint64 signedAmount);

    // Leaf accounts, each netted over its items and put on its side.
    OpeningTrial trial() const;

    // The rows to send to SaveOpenings: every key whose figures differ from the baseline (a
    // cleared key as zeros, which deletes it), in account code order.
    QList<OpeningRow> changes() const;
    // After a save: the current figures become the baseline.
    void markSaved() { m_saved = m_entries; }

private:
    using Key = std::pair<qint64, qint64>; // account, item
    QList<OpeningAccount> m_accounts;
    QHash<qint64, int> m_index;
    QHash<qint64, QList<qint64>> m_children;
    std::map<Key, OpeningFigures> m_entries; // no zero entries
    std::map<Key, OpeningFigures> m_saved;
};

} // namespace vexa::ledger
