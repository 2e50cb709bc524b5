#pragma once

// The chart's code levels as the client checks a new code before it asks the server
// (which checks again): lengths per level, cumulative ("ends": 4, 6, 8 for 4-2-2).

#include <QList>
#include <QString>
#include <utility>

namespace vexa::ledger {

class AccountCode
{
public:
    // 4-2-2-2-2-2, the shipped templates' lengths.
    AccountCode();
    explicit AccountCode(QList<int> ends);

    // The levels a chart uses, from its accounts' (level, code) pairs: per level the one
    // length its codes share, else (or where the chart has no account at that level) 4 for
    // the first level and 2 more per level; at least six levels. The server derives them
    // the same way.
    static AccountCode fromChart(const QList<std::pair<int, QString>> &levelCodes);

    // The code's level (1 = first), 0 when its length fits no level.
    int levelOf(const QString &code) const;
    // The parent's code; empty for a first-level code or one that does not fit.
    QString parentOf(const QString &code) const;
    // Why a code cannot be a new account's, in Chinese; empty when it fits. Only the shape:
    // duplicates and missing parents are the chart's to say.
    QString problem(const QString &code) const;
    // "4-2-2-2-2-2".
    QString text() const;
    const QList<int> &ends() const { return m_ends; }

private:
    QList<int> m_ends;
};

} // namespace vexa::ledger
