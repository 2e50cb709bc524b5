#pragma once

// A year of a small company on LedgerSet.h's set: the closing accounts, stock, capital and
// cost, opening balances, and a script of a few dozen vouchers of every word (with a
// reversal), posted, carried forward and closed month by month up to the year end. The
// script runs through steps the caller supplies, so the server test drives the operations
// and a window test may drive the same year through the windows.

#include "LedgerInvariants.h"
#include "LedgerSet.h"

#include <functional>

namespace vexa::test {

enum YearAcct : int {
    Inventory = 20,     // 1405 库存商品
    Capital = 21,       // 4001 实收资本
    ProfitYear = 22,    // 4103 本年利润
    ProfitDist = 23,    // 4104 利润分配 (parent)
    Undistributed = 24, // 410415 未分配利润
    Cost = 25,          // 6401 主营业务成本
};

// The figures the year ends with, computed by hand from the script below (month m = 2..12:
// sales 1000.00·m + 500.00, cost 600.00·m, office 300.00; Σm = 77):
// profit 40000·77 + 20000·11 fen.
constexpr qint64 kYearProfit = 3300000;
constexpr qint64 kYearCash = 500000 + 11 * (50000 - 30000);   // 720000
constexpr qint64 kYearBank = 2000000 + (100000 - 60000) * 77; // 5080000
constexpr qint64 kYearCapital = -(500000 + 2000000 + 300000 + 1000000);

// The set of LedgerSet.h (setUpLedger first) made a year's books: every period open, 2025's
// first periods, the accounts above (profit-and-loss accounts typed SY) and balanced
// openings at the ledger's start (2024.02).
inline void setUpYear(server::ServerConnection &c)
{
    QSqlDatabase db = c.database();
    ledgerSql(db, QStringLiteral("UPDATE FINPostingPeriods SET Active = 'Y', GLPost = 0"));
    for (int no = 1; no <= 3; ++no) {
        const QDate from(2025, no, 1);
        ledgerSql(db,
                  QStringLiteral("INSERT INTO FINPostingPeriods (PeriodID, Year, No, PeriodCode, "
                                 "PeriodName, PostingFrom, PostingTo, Active, Locked, GLPost) "
                                 "VALUES (?, 2025, ?, ?, ?, ?, ?, 'Y', 'N', 0)"),
                  {202500 + no, no, QStringLiteral("2025.%1").arg(no, 2, 10, QChar(u'0')),
                   QStringLiteral("2025年第%1期").arg(no), from.toString(Qt::ISODate),
                   from.addMonths(1).addDays(-1).toString(Qt::ISODate)});
    }
    const struct
    {
        int id;
        const char *code, *name;
        int parent;
        bool leaf;
    } accounts[] = {{Inventory, "1405", "库存商品", 0, true},
                    {Capital, "4001", "实收资本", 0, true},
                    {ProfitYear, "4103", "本年利润", 0, true},
                    {ProfitDist, "4104", "利润分配", 0, false},
                    {Undistributed, "410415", "未分配利润", ProfitDist, true},
                    {Cost, "6401", "主营业务成本", 0, true}};
    for (const auto &a : accounts)
        ledgerSql(db,
                  QStringLiteral("INSERT INTO T0102010 (AcctID, AcctCode, AcctName, ParentID, "
                                 "Levels, IsNode, LevelCode, DC, Frozen, ACItemID) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, 'D', 0, 0)"),
                  {a.id, QString::fromUtf8(a.code), QString::fromUtf8(a.name),
                   a.parent ? QVariant(a.parent) : QVariant(QMetaType(QMetaType::Int)),
                   int(strlen(a.code) - 2) / 2, int(a.leaf), QString::fromUtf8(a.code)});
    ledgerSql(db, QStringLiteral("UPDATE T0102010 SET AcctTypeCode = 'SY' "
                                 "WHERE AcctCode LIKE '6%'"));
    const struct
    {
        int acct, item;
        qint64 balance;
    } openings[] = {{Cash, 0, 500000},
                    {BankIcbc, 0, 2000000},
                    {Receivable, 1, 300000},
                    {Inventory, 0, 1000000},
                    {Capital, 0, kYearCapital}};
    for (const auto &o : openings)
        ledgerSql(db,
                  QStringLiteral("INSERT INTO GLOpening (AcctID, DacvID, CurrCode, Balance, "
                                 "YtdDebit, YtdCredit) VALUES (?, ?, '', ?, 0, 0)"),
                  {o.acct, o.item, o.balance});
}

// What the year's script does; each step fails the test itself when it goes wrong.
struct YearSteps
{
    std::function<int(const QString &word, const QDate &date, const QList<VLine> &lines)> save;
    std::function<void(int docEntry, const QDate &date)> reverse;
    std::function<void(int periodId)> reviewAndPost; // every voucher of the period
    std::function<void(int periodId)> carryForward;  // one 结转损益 (or 本年利润) voucher
    std::function<void(int periodId)> close;
    std::function<void(const QString &step)> check; // after every step
};

// 2024.02 to 2024.12: per month a sale on the bank (记), a sale on account (转) and its
// receipt (收), office costs of two departments and a purchase (付), the cost of sales
// (转); in May a voucher posted by mistake and reversed. Each month: post, 结转损益, post,
// close; in December 本年利润 goes to 利润分配 before the close.
inline void runYear(const YearSteps &s)
{
    const QString ji = QStringLiteral("记"), shou = QStringLiteral("收"), fu = QStringLiteral("付"),
                  zhuan = QStringLiteral("转");
    for (int m = 2; m <= 12; ++m) {
        const int period = 202400 + m;
        const int customer = m % 2 + 1;
        const auto day = [m](int d) { return QDate(2024, m, d); };
        s.save(ji, day(3), {{BankIcbc, 100000 * m, 0}, {RevenueA, 0, 100000 * m}});
        s.save(zhuan, day(5), {{Receivable, 50000, 0, customer}, {RevenueB, 0, 50000}});
        s.save(shou, day(8), {{Cash, 50000, 0}, {Receivable, 0, 50000, customer}});
        s.save(fu, day(12),
               {{AdminOffice, 20000, 0, 3}, {AdminOffice, 10000, 0, 4}, {Cash, 0, 30000}});
        s.save(fu, day(15), {{Inventory, 60000 * m, 0}, {BankIcbc, 0, 60000 * m}});
        s.save(zhuan, day(25), {{Cost, 60000 * m, 0}, {Inventory, 0, 60000 * m}});
        if (m == 5) {
            const int wrong = s.save(ji, day(16), {{AdminOffice, 7000, 0, 3}, {Cash, 0, 7000}});
            s.reviewAndPost(period);
            s.check(QStringLiteral("2024.05 before the reversal"));
            s.reverse(wrong, day(20));
        }
        s.reviewAndPost(period);
        s.check(QStringLiteral("%1 posted").arg(period));
        s.carryForward(period);
        s.reviewAndPost(period);
        s.check(QStringLiteral("%1 carried forward").arg(period));
        if (m == 12) {
            s.carryForward(period);
            s.reviewAndPost(period);
            s.check(QStringLiteral("%1 profit to 利润分配").arg(period));
        }
        s.close(period);
        s.check(QStringLiteral("%1 closed").arg(period));
    }
}

// An account's (or item's) posted balance at the end of a period, debit positive.
inline qint64 postedBalance(QSqlDatabase db, int acct, int periodId, int item = 0)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "SELECT CAST((SELECT COALESCE(SUM(Balance), 0) FROM GLOpening WHERE AcctID = ? AND "
        "DacvID = ?) + (SELECT COALESCE(SUM(Debit - Credit), 0) FROM GLBalance WHERE AcctID = ? "
        "AND "
        "DacvID = ? AND PeriodID <= ?) AS BIGINT)"));
    for (const QVariant &v : QVariantList{acct, item, acct, item, periodId})
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        qFatal("postedBalance: %s", qPrintable(q.lastError().text()));
    return q.value(0).toLongLong();
}

} // namespace vexa::test
