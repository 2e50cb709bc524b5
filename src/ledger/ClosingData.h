#pragma once

// What the closing windows (结转损益, 期末结账) read and ask of the server. The server
// checks every rule again.

#include <QDate>
#include <QList>
#include <QString>

namespace vexa::ledger {

struct ClosePeriodInfo
{
    int periodId = 0;
    QString code; // "2024.03"
    QDate from, to;
    bool closed = false;
};

// The periods from the general-ledger start on, in order.
QList<ClosePeriodInfo> LedgerPeriods();
// The first period not closed (0 when all are); the latest closed one (0 when none).
int OpenPeriodOf(const QList<ClosePeriodInfo> &periods);
int LatestClosedOf(const QList<ClosePeriodInfo> &periods);

struct CloseProblem
{
    QString text;
    int count = 0;
};
QList<CloseProblem> CloseCheck(int periodId);
// Answer the period that is current afterwards.
int ClosePeriod(int periodId);
int ReopenPeriod(int periodId);

struct ClosingAccountsInfo
{
    int profitId = 0, distId = 0;
    QString profitText, distText; // "4103 本年利润"
    bool stored = false;
};
ClosingAccountsInfo ClosingAccounts();
void SetClosingAccounts(int profitId, int distId);

struct CarryLine
{
    int kind = 0; // 1 结转损益, 2 本年利润 to 利润分配
    QString code, name;
    int dacvId = 0;
    qint64 debit = 0, credit = 0;
};
QList<CarryLine> CarryForwardPreview(int periodId);

struct CarryResult
{
    int docEntry = 0;
    QString numCa;
    int docNum = 0;
    int kind = 0;
};
CarryResult CarryForwardProfit(int periodId, const QDate &date);

} // namespace vexa::ledger
