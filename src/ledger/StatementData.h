#pragma once

// A statement (资产负债表, 利润表) as the server computes it from a report template, and its
// text for the window, the CSV file and the printout.

#include "ReportOutput.h"

#include <QList>
#include <QString>
#include <optional>

namespace vexa::ledger {

struct StatementLine
{
    int itemId = 0;
    QString line; // 行次, empty for headings
    QString name;
    int indent = 0;
    int type = 0; // 0 heading, 1 accounts, 2 sum, 3 by hand
    std::optional<qint64> amount1, amount2;
};

struct Statement
{
    int templetType = 0; // 1 balance sheet, 2 income statement
    QString code, name;
    QString caption1, caption2;
    QList<StatementLine> lines;
    std::optional<bool> balanced; // balance sheets that have both total lines
    std::optional<qint64> difference1, difference2;
    QStringList uncovered; // "1405 库存商品"
    QStringList warnings;
};

struct StatementTemplet
{
    int id = 0;
    QString code, name;
};

// The set's templates of a type (1 balance sheet, 2 income statement).
QList<StatementTemplet> StatementTemplets(int type);
// Operation Statement; throws vexa::Error with the server's reason.
Statement ReadStatement(int templetId, int periodId);
// What was typed into a line filled in by hand; nullopt: nothing (clears the stored figure).
struct StatementValue
{
    int itemId = 0;
    std::optional<qint64> amount1, amount2;
};
// Operation SaveStatementValues; answers the number of lines changed. Throws vexa::Error with
// the server's reason.
int SaveStatementValues(int templetId, int periodId, const QList<StatementValue> &values);
// The latest period with posted entries; 0 when nothing is posted.
int LatestPostedPeriod();

// What the balance check says: "资产总计与负债和所有者权益总计相等。" or the differences
// and the accounts no line takes; empty for a statement without the check.
QString BalanceText(const Statement &s);
// The statement as a report table: 项目, 行次 and the two amount columns.
ReportTable StatementTable(const Statement &s, const QString &company, const QString &period);

} // namespace vexa::ledger
