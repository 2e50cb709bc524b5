#include "OpeningBalanceTree.h"

#include <vexa/Error.h>

#include <algorithm>
#include <limits>

namespace vexa::ledger {

void OpeningBalanceTree::setAccounts(QList<OpeningAccount> accounts)
{
    std::sort(accounts.begin(), accounts.end(),
              [](const OpeningAccount &a, const OpeningAccount &b) { return a.code < b.code; });
    m_accounts = std::move(accounts);
    m_index.clear();
    m_children.clear();
    for (int i = 0; i < m_accounts.size(); ++i) {
        m_index.insert(m_accounts[i].id, i);
        if (m_accounts[i].parentId != 0)
            m_children[m_accounts[i].parentId].append(m_accounts[i].id);
    }
}

void OpeningBalanceTree::load(const QList<OpeningRow> &rows)
{
    m_entries.clear();
    for (const OpeningRow &r : rows)
        if (!r.figures.isZero())
            m_entries[{r.acctId, r.dacvId}] = r.figures;
    m_saved = m_entries;
}

const OpeningAccount &OpeningBalanceTree::account(qint64 acctId) const
{
    const int i = indexOf(acctId);
    if (i < 0)
        throw Error(QStringLiteral("科目（AcctID %1）不在科目表中。").arg(acctId));
    return m_accounts[i];
}

void OpeningBalanceTree::setEntry(qint64 acctId, qint64 dacvId, const OpeningFigures &figures)
{
    const OpeningAccount &a = account(acctId);
    const QString label = QStringLiteral("“%1 %2”").arg(a.code, a.name);
    if (!a.leaf || m_children.contains(acctId))
        throw Error(
            QStringLiteral("科目%1不是末级科目，期初余额只能录入在末级科目上。").arg(label));
    if (a.itemList != 0 && dacvId == 0)
        throw Error(QStringLiteral("科目%1按辅助核算项目核算，期初余额须按项目录入。").arg(label));
    if (a.itemList == 0 && dacvId != 0)
        throw Error(QStringLiteral("科目%1没有辅助核算，不能按核算项目录入期初余额。").arg(label));
    if (figures.isZero())
        m_entries.erase({acctId, dacvId});
    else
        m_entries[{acctId, dacvId}] = figures;
}

OpeningFigures OpeningBalanceTree::entry(qint64 acctId, qint64 dacvId) const
{
    const auto it = m_entries.find({acctId, dacvId});
    return it == m_entries.end() ? OpeningFigures{} : it->second;
}

QList<qint64> OpeningBalanceTree::itemsOf(qint64 acctId) const
{
    QList<qint64> items;
    for (auto it = m_entries.lower_bound({acctId, std::numeric_limits<qint64>::min()});
         it != m_entries.end() && it->first.first == acctId; ++it)
        items.append(it->first.second);
    return items;
}

OpeningFigures OpeningBalanceTree::total(qint64 acctId) const
{
    OpeningFigures sum;
    const auto children = m_children.constFind(acctId);
    if (children != m_children.constEnd()) {
        for (qint64 child : *children)
            sum += total(child);
        return sum;
    }
    for (auto it = m_entries.lower_bound({acctId, std::numeric_limits<qint64>::min()});
         it != m_entries.end() && it->first.first == acctId; ++it)
        sum += it->second;
    return sum;
}

SidedAmount OpeningBalanceTree::onSide(const QString &dc, qint64 signedAmount)
{
    if (dc == u"C")
        return {QStringLiteral("贷"), -signedAmount};
    return {QStringLiteral("借"), signedAmount};
}

OpeningTrial OpeningBalanceTree::trial() const
{
    OpeningTrial t;
    for (const OpeningAccount &a : m_accounts) {
        if (m_children.contains(a.id))
            continue;
        const OpeningFigures f = total(a.id);
        const qint64 opening = f.balance, year = f.yearOpening();
        (opening >= 0 ? t.openingDebit : t.openingCredit) += qAbs(opening);
        (year >= 0 ? t.yearDebit : t.yearCredit) += qAbs(year);
    }
    return t;
}

QList<OpeningRow> OpeningBalanceTree::changes() const
{
    std::map<Key, OpeningFigures> keys = m_saved;
    for (auto &[key, figures] : keys)
        figures = {};
    for (const auto &[key, figures] : m_entries)
        keys[key] = figures;
    QList<OpeningRow> rows;
    for (const auto &[key, figures] : keys) {
        const auto saved = m_saved.find(key);
        if (saved == m_saved.end() ? figures.isZero() : saved->second == figures)
            continue;
        rows.append({key.first, key.second, figures});
    }
    std::stable_sort(rows.begin(), rows.end(), [this](const OpeningRow &a, const OpeningRow &b) {
        return indexOf(a.acctId) < indexOf(b.acctId);
    });
    return rows;
}

} // namespace vexa::ledger
