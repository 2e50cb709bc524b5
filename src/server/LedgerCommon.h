#pragma once

// What the ledger's operations share: the operation log, the rights check, the set's
// finance options and the periods vouchers may go into.

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

namespace vexa::server {

// Prepares, binds (in order) and runs a forward-only statement; the engine's refusal as
// vexa::Error in Chinese.
QSqlQuery ledgerQuery(QSqlDatabase db, const QString &sql, const QVariantList &binds = {});

struct SessionInfo;

// One line of the operation log (table OperationLog), written by the caller inside the
// transaction of the change it records, so the change and its line commit or vanish
// together. The caller holds the write lock (a WriteScope), which keeps LogID unique.
struct LogEntry
{
    QString action;  // 新增, 修改, 删除, 审核, 取消审核, 记账, 冲销 ...
    int objType = 0; // 2101 voucher, 2001 account, 2007 opening balance
    QString objKey;  // the voucher's DocEntry, the account's code ...
    QString detail;  // what changed, old and new values
};

// Throws vexa::Error when the line cannot be written.
void writeOperationLog(QSqlDatabase db, const SessionInfo &session, const LogEntry &entry);

// Refuses (vexa::Error "没有“<what>”的权限，请找系统管理员。") unless the user is an
// administrator or the user's group holds right 1 (full) or 3 (modify) on objType, read
// now, not at the login.
void requireRight(QSqlDatabase db, const SessionInfo &session, int objType, const QString &what);

// Finance option flag at position (1-based) of the set's FinOption record: "审核人与制单人
// 不可以为同一人" is 4, "禁止成批审核" 7, "允许修改/删除他人填制的凭证" 8, "凭证登帐前必须
// 出纳签字" 10, "凭证审核后不允许出纳签字" 11. Without stored options: the defaults of a new set.
bool financeFlag(QSqlDatabase db, int position);

// A fiscal period as the ledger sees it.
struct LedgerPeriod
{
    int periodId = 0; // year * 100 + number; 0 when none was found
    int year = 0;
    int number = 0;
    QDate from, to;
    bool active = false; // Active = 'Y'
    bool closed = false; // GLPost: the period has been closed (期末结账)
};

// The period whose posting dates hold date; periodId 0 when there is none.
LedgerPeriod periodOfDate(QSqlDatabase db, const QDate &date);
// The period of that id; periodId 0 when there is none.
LedgerPeriod periodById(QSqlDatabase db, int periodId);
// The general-ledger start period (SysInitInfo.GLStartPeriodID); 0 when not configured.
int ledgerStartPeriod(QSqlDatabase db);

// Refuses a voucher date no entry may go to, with the reason in Chinese: no period holds
// it, the period lies before the general-ledger start, is frozen (Active 'N') or closed.
// Answers the period.
LedgerPeriod requireOpenPeriod(QSqlDatabase db, const QDate &date);

// The chart's code level ends (cumulative lengths: 4, 6, 8 ... for 4-2-2): the set keeps
// no setting of its own, so the lengths its chart already uses, 4 then 2 per level where
// it has no account yet (LedgerChart.cpp).
QList<int> chartLevelEnds(QSqlDatabase db);

// Refuses (vexa::Error) deleting an account that has opening balances, voucher lines or
// balances; nothing for an account that does not exist (LedgerChart.cpp).
void refuseUsedAccountDelete(QSqlDatabase db, qint64 acctId);
// The same for a change, through apply-updates, of what the entries of a used account rest
// on (code, parent, side, currency, type, auxiliary list); changed: the fields that differ.
void refuseUsedAccountChange(QSqlDatabase db, qint64 acctId, const QStringList &changed);

// Whether any account has an opening balance, a voucher line or a balance (LedgerChart.cpp).
bool ledgerHasEntries(QSqlDatabase db);

// The trial balance of the opening balances: leaf accounts in the base currency, each
// account's net on its side; the year's opening is Balance - YtdDebit + YtdCredit.
struct OpeningTotals
{
    qint64 openingDebit = 0, openingCredit = 0;
    qint64 yearDebit = 0, yearCredit = 0;
    bool balanced() const { return openingDebit == openingCredit && yearDebit == yearCredit; }
};
OpeningTotals openingTotals(QSqlDatabase db);

} // namespace vexa::server
