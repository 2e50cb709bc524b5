#pragma once

// The balances and books as the windows show them: the server's answers (AccountBalances,
// DetailLedger, ItemBalances, ItemLedger) as rows, and those rows as a report to export or
// print.

#include "LedgerData.h"
#include "ReportOutput.h"

#include <array>

namespace vexa::ledger {

// One account of the 科目余额表; the last row of an answer is the totals (acctId 0).
struct BalanceRow
{
    int acctId = 0;
    QString code, name;
    int level = 0;
    bool leaf = false;
    // Opening, period, year and closing: debit and credit each, in fen.
    std::array<qint64, 8> figures{};
    bool total = false;
    bool balanced = false; // on the totals row: debits equal credits in every pair
};
QList<BalanceRow> AccountBalances(int fromPeriod, int toPeriod, int maxLevel, bool withZero);

// One row of the 明细账: rowType 0 期初余额, 1 a posted line, 2 本期合计, 3 本年累计.
struct DetailRow
{
    int rowType = 0;
    int periodId = 0;
    int docEntry = 0;
    QDate date;
    QString word; // 记-0003
    QString summary, acctCode;
    qint64 debit = 0, credit = 0;
    QString side; // 借/贷/平
    qint64 balance = 0;
};
struct DetailPage
{
    QList<DetailRow> rows;
    qint64 totalRows = 0;
};
DetailPage DetailLedger(int acctId, int fromPeriod, int toPeriod, qint64 offset, qint64 limit);
// The same rows for one auxiliary item of a leaf account.
DetailPage ItemLedger(int acctId, int dacvId, int fromPeriod, int toPeriod, qint64 offset,
                      qint64 limit);

// One item of the 辅助核算项目余额表; the last row is the totals (total, dacvId 0).
struct ItemBalanceRow
{
    int dacvId = 0;
    QString code, name;
    std::array<qint64, 8> figures{}; // as BalanceRow's
    bool total = false;
};
// The items with anything for the range, by code, and the 合计 row: each column summed.
QList<ItemBalanceRow> ItemBalances(int acctId, int fromPeriod, int toPeriod);

// The account the item books take for a typed code: a leaf that carries an auxiliary list.
// Throws vexa::Error saying why another is refused.
const LedgerAccount &ItemAccount(const QList<LedgerAccount> &accounts, const QString &code);

// One period of the 总分类账.
struct GeneralLedgerRow
{
    int periodId = 0;
    QString periodName;
    QString openingSide, closingSide;
    qint64 opening = 0, debit = 0, credit = 0, yearDebit = 0, yearCredit = 0, closing = 0;
};
QList<GeneralLedgerRow> GeneralLedger(int acctId, int fromPeriod, int toPeriod);

// The company (SysInitInfo.UseOrg) and "2024.01 至 2024.03" for the report's head.
QString CompanyName();
QString PeriodRangeText(const QList<LedgerPeriod> &periods, int from, int to);

// The reports: titles, columns and cells as the windows show them.
ReportTable BalanceReport(const QString &title, const QList<BalanceRow> &rows);
ReportTable GeneralLedgerReport(const QString &account, const QList<GeneralLedgerRow> &rows);
ReportTable DetailReport(const QString &account, const QList<DetailRow> &rows);
ReportTable ItemBalanceReport(const QString &title, const QList<ItemBalanceRow> &rows);

} // namespace vexa::ledger
