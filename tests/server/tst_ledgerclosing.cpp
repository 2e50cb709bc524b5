// 结转损益, 期末结账 and 反结账 on the server: the carry-forward voucher against a SQL oracle,
// the closing checks one by one, what a closed period refuses, who may reopen which period,
// and a whole year of a small company with the invariants of the books after every step.
#include "AppServer.h"
#include "DataPacket.h"

#include "../support/LedgerYear.h"
#include "../support/ServerFixture.h"

#include <QStandardPaths>
#include <QTest>

#include <functional>
#include <map>

using namespace vexa;
using namespace vexa::server;
using namespace vexa::test;

namespace {

QVariant call(ServerConnection &c, const char *op, QVariantList args)
{
    return c.call(QString::fromLatin1(op), args);
}

QString refusal(const std::function<QVariant()> &op)
{
    try {
        op();
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
}

QVariant value(const DataPacket &p, int row, const char *field)
{
    return p.rows[size_t(row)][indexOfField(p.fields, QLatin1String(field))];
}

using Amounts = std::map<std::pair<int, int>, qint64>;

Amounts amountsOf(QSqlDatabase db, const QString &sql)
{
    Amounts out;
    for (const QString &row : ledgerRows(db, sql)) {
        const QStringList c = row.split(u'|');
        out[{c[0].toInt(), c[1].toInt()}] = c[2].toLongLong();
    }
    return out;
}

// The profit-and-loss balances, per account and item, at the end of a period: from the
// posted lines, not from the balance table.
Amounts profitAndLossOracle(QSqlDatabase db, int periodId)
{
    return amountsOf(
        db,
        QStringLiteral("SELECT l.AcctID, l.DacvID, CAST(SUM(l.Debit) - SUM(l.Credit) AS BIGINT) "
                       "FROM FINDocVoucherLine l JOIN FINDocVoucher v "
                       "ON v.DocEntry = l.DocEntry JOIN T0102010 a ON "
                       "a.AcctID = l.AcctID WHERE v.Status = 2 AND "
                       "v.PeriodID <= %1 AND a.AcctTypeCode = 'SY' "
                       "GROUP BY l.AcctID, l.DacvID "
                       "HAVING SUM(l.Debit) <> SUM(l.Credit)")
            .arg(periodId));
}

// The set of LedgerYear.h with the administrator making and posting, clerk reviewing.
struct Year
{
    ServerFixture f;
    std::unique_ptr<ServerConnection> a = f.connect("Manager", "manager");
    std::unique_ptr<ServerConnection> b = f.connect("clerk", "clerk");

    Year()
    {
        setUpLedger(*a);
        setUpYear(*a);
    }
    QSqlDatabase db() const { return a->database(); }

    int save(const QString &word, const QDate &date, const QList<VLine> &lines)
    {
        const DataPacket p = readDataPacket(
            call(*a, "SaveVoucher", {voucherHeader(0, word, date), voucherLines(lines)})
                .toString());
        return value(p, 0, "DocEntry").toInt();
    }
    void reviewAndPost(int periodId)
    {
        const QStringList entries =
            ledgerRows(db(), QStringLiteral("SELECT DocEntry FROM FINDocVoucher WHERE "
                                            "PeriodID = %1 AND Status = 0")
                                 .arg(periodId));
        if (!entries.isEmpty())
            call(*b, "ReviewVouchers", {entries.join(u','), true});
        call(*a, "PostVouchers", {periodId, QString()});
    }
    int carry(int periodId)
    {
        const DataPacket p =
            readDataPacket(call(*a, "CarryForwardProfit", {periodId, QDate()}).toString());
        return value(p, 0, "DocEntry").toInt();
    }
    int sale(const QDate &date, qint64 fen)
    {
        return save(QStringLiteral("记"), date, {{BankIcbc, fen, 0}, {RevenueA, 0, fen}});
    }
    int nowPeriod() const
    {
        return ledgerRows(db(), QStringLiteral("SELECT GLNowPeriodID FROM SysInitInfo"))
            .value(0)
            .toInt();
    }
    QStringList logOf(const char *action) const
    {
        return ledgerRows(db(), QStringLiteral("SELECT ObjType, ObjKey, Detail FROM OperationLog "
                                               "WHERE Action = '%1' ORDER BY LogID")
                                    .arg(QString::fromUtf8(action)));
    }
};

} // namespace

class TestLedgerClosing : public QObject
{
    Q_OBJECT

private slots:
    void init() { QStandardPaths::setTestModeEnabled(true); }

    // The voucher's lines are the profit-and-loss balances per account and item, the net on
    // 本年利润; posted, every such account is at zero. And what the operation refuses.
    void carryForward()
    {
        Year y;
        DataPacket acc = readDataPacket(call(*y.a, "ClosingAccounts", {}).toString());
        QCOMPARE(value(acc, 0, "ProfitAcctID").toInt(), int(ProfitYear));
        QCOMPARE(value(acc, 0, "DistAcctID").toInt(), int(Undistributed));
        QCOMPARE(value(acc, 0, "Stored").toBool(), false);

        const QString zhuan = QStringLiteral("转");
        y.sale(QDate(2024, 3, 3), 300000);
        y.save(zhuan, QDate(2024, 3, 5), {{Receivable, 50000, 0, 1}, {RevenueB, 0, 50000}});
        y.save(QStringLiteral("付"), QDate(2024, 3, 9),
               {{AdminOffice, 20000, 0, 3}, {AdminOffice, 10000, 0, 4}, {Cash, 0, 30000}});
        y.save(zhuan, QDate(2024, 3, 20), {{Cost, 180000, 0}, {Inventory, 0, 180000}});
        // Reviewed is not enough: the balances are the posted figures.
        call(*y.b, "ReviewVouchers",
             {ledgerRows(y.db(), QStringLiteral("SELECT DocEntry FROM FINDocVoucher")).join(u','),
              true});
        QVERIFY(refusal([&] { return y.carry(202403); }).contains(u"4 张凭证未记账"));
        y.reviewAndPost(202403);

        const Amounts oracle = profitAndLossOracle(y.db(), 202403);
        QCOMPARE(oracle.size(), size_t(5)); // two revenues, the office per department, cost
        const int entry = y.carry(202403);
        const QStringList header = ledgerRows(
            y.db(), QStringLiteral("SELECT NumCa, DocNum, DocDate, Kind, Status, DebitTotal, "
                                   "CreditTotal FROM FINDocVoucher WHERE DocEntry = %1")
                        .arg(entry));
        const QStringList h = header.value(0).split(u'|');
        QCOMPARE(h.mid(0, 2), QStringList({zhuan, QStringLiteral("3")}));
        QVERIFY(h[2].startsWith(QLatin1String("2024-03-31")));
        QCOMPARE(h.mid(3, 2), QStringList({QStringLiteral("1"), QStringLiteral("0")}));
        QCOMPARE(h[5], h[6]);
        // Each line cancels its balance: credit - debit is the balance (debit positive).
        Amounts carried =
            amountsOf(y.db(), QStringLiteral("SELECT AcctID, DacvID, "
                                             "CAST(SUM(Credit) - SUM(Debit) AS BIGINT) FROM "
                                             "FINDocVoucherLine WHERE DocEntry = %1 "
                                             "GROUP BY AcctID, DacvID")
                                  .arg(entry));
        qint64 profit = 0;
        for (const auto &[key, amount] : oracle)
            profit -= amount;
        QCOMPARE(profit, qint64(300000 + 50000 - 30000 - 180000));
        QCOMPARE(carried[std::pair(int(ProfitYear), 0)], profit);
        carried.erase(std::pair(int(ProfitYear), 0));
        QCOMPARE(carried, oracle);

        QVERIFY(refusal([&] { return y.carry(202403); }).contains(u"结转凭证转字第3号尚未记账"));
        y.reviewAndPost(202403);
        QVERIFY(profitAndLossOracle(y.db(), 202403).empty());
        QCOMPARE(postedBalance(y.db(), ProfitYear, 202403), -profit);
        QCOMPARE(postedBalance(y.db(), AdminOffice, 202403, 4), qint64(0));
        QVERIFY(refusal([&] { return y.carry(202403); }).contains(u"没有需要结转的损益"));
        QVERIFY(LedgerInvariants().broken(y.db()).isEmpty());

        // A closed period takes no carry-forward.
        call(*y.a, "ClosePeriod", {202402});
        QVERIFY(refusal([&] { return y.carry(202402); }).contains(u"已结账"));
        QVERIFY(y.logOf("结转损益").value(0).startsWith(QLatin1String("2203|202403|")));

        // The accounts chosen are stored; a parent account is refused.
        QVERIFY(refusal([&] {
                    return call(*y.a, "SetClosingAccounts", {int(ProfitDist), int(ProfitYear)});
                }).contains(u"不是明细科目"));
        call(*y.a, "SetClosingAccounts", {int(ProfitYear), int(Undistributed)});
        acc = readDataPacket(call(*y.a, "ClosingAccounts", {}).toString());
        QCOMPARE(value(acc, 0, "Stored").toBool(), true);
        QCOMPARE(value(acc, 0, "DistAcctName").toString(), QStringLiteral("利润分配-未分配利润"));
    }

    // Each check of the closing, triggered alone (beside the ones it implies).
    void closeChecks_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<QStringList>("problems");
        QTest::addColumn<int>("setUp");
        QTest::newRow("ready") << 202402 << QStringList() << 0;
        QTest::newRow("unreviewed") << 202402 << QStringList{"未审核", "未记账"} << 1;
        QTest::newRow("reviewed, unposted") << 202402 << QStringList{"未记账"} << 2;
        QTest::newRow("not carried") << 202402 << QStringList{"损益类科目余额不为零"} << 3;
        QTest::newRow("out of balance") << 202402 << QStringList{"试算不平衡"} << 4;
        QTest::newRow("cashier open") << 202402 << QStringList{"出纳"} << 5;
        QTest::newRow("earlier open")
            << 202404 << QStringList{"以前期间尚未结账，请按顺序结账（2）"} << 0;
        QTest::newRow("profit left at the year end")
            << 202412 << QStringList{"请按顺序结账（10）", "本年利润尚有余额"} << 6;
    }
    void closeChecks()
    {
        QFETCH(int, period);
        QFETCH(QStringList, problems);
        QFETCH(int, setUp);
        Year y;
        const int entry = setUp >= 1 && setUp <= 3 ? y.sale(QDate(2024, 2, 3), 100000) : 0;
        if (setUp == 2 || setUp == 3)
            call(*y.b, "ReviewVouchers", {QString::number(entry), true});
        if (setUp == 3)
            call(*y.a, "PostVouchers", {period, QString()});
        if (setUp == 4)
            ledgerSql(y.db(), QStringLiteral("UPDATE GLOpening SET Balance = Balance + 1 "
                                             "WHERE AcctID = %1")
                                  .arg(int(Cash)));
        if (setUp == 5)
            ledgerSql(y.db(),
                      QStringLiteral("UPDATE SysInitInfo SET CashierStartPeriodID = 202402"));
        if (setUp == 6) {
            y.save(QStringLiteral("记"), QDate(2024, 12, 3),
                   {{BankIcbc, 5000, 0}, {ProfitYear, 0, 5000}});
            y.reviewAndPost(202412);
        }
        const DataPacket p = readDataPacket(call(*y.a, "CloseCheck", {period}).toString());
        QStringList found;
        for (size_t i = 0; i < p.rows.size(); ++i)
            found << QStringLiteral("%1（%2）")
                         .arg(value(p, int(i), "Problem").toString())
                         .arg(value(p, int(i), "Count").toInt());
        QCOMPARE(found.size(), problems.size());
        for (qsizetype i = 0; i < problems.size(); ++i)
            QVERIFY2(found[i].contains(problems[i]), qPrintable(found.join(u';')));
        const QString refused = refusal([&] { return call(*y.a, "ClosePeriod", {period}); });
        QCOMPARE(refused.isEmpty(), problems.isEmpty());
        for (const QString &line : found)
            QVERIFY2(refused.contains(line), qPrintable(refused));
        QCOMPARE(y.nowPeriod(), problems.isEmpty() ? period + 1 : 0);
    }

    // A closed period takes no voucher, posting or reversal; 反结账 only of the latest closed
    // period and only by an administrator, each logged.
    void closeAndReopen()
    {
        Year y;
        const int sale = y.sale(QDate(2024, 2, 3), 100000);
        y.reviewAndPost(202402);
        y.carry(202402);
        y.reviewAndPost(202402);
        const int reviewed = y.sale(QDate(2024, 3, 3), 5000);
        call(*y.b, "ReviewVouchers", {QString::number(reviewed), true});
        QCOMPARE(call(*y.a, "ClosePeriod", {202402}).toInt(), 202403);
        QCOMPARE(y.nowPeriod(), 202403);
        QVERIFY(refusal([&] { return y.sale(QDate(2024, 2, 28), 100); }).contains(u"已结账"));
        QVERIFY(refusal([&] {
                    return call(*y.a, "ReverseVoucher", {sale, QDate(2024, 2, 20)});
                }).contains(u"已结账"));
        // Moved into the closed period behind the server's back, it still cannot be posted.
        ledgerSql(y.db(), QStringLiteral("UPDATE FINDocVoucher SET PeriodID = 202402, DocNum = 9 "
                                         "WHERE DocEntry = %1")
                              .arg(reviewed));
        QVERIFY(refusal([&] {
                    return call(*y.a, "PostVouchers", {202402, QString::number(reviewed)});
                }).contains(u"已结账"));
        ledgerSql(y.db(), QStringLiteral("UPDATE FINDocVoucher SET PeriodID = 202403, DocNum = 1 "
                                         "WHERE DocEntry = %1")
                              .arg(reviewed));
        call(*y.a, "ReverseVoucher", {sale, QDate(2024, 3, 20)});
        y.reviewAndPost(202403);
        y.carry(202403);
        y.reviewAndPost(202403);
        QCOMPARE(call(*y.a, "ClosePeriod", {202403}).toInt(), 202404);

        QVERIFY(refusal([&] {
                    return call(*y.b, "ReopenPeriod", {202403});
                }).contains(u"只有系统管理员"));
        QVERIFY(refusal([&] {
                    return call(*y.a, "ReopenPeriod", {202402});
                }).contains(u"只能反结账最近结账的期间"));
        QVERIFY(
            refusal([&] { return call(*y.a, "ReopenPeriod", {202404}); }).contains(u"尚未结账"));
        QCOMPARE(call(*y.a, "ReopenPeriod", {202403}).toInt(), 202403);
        QCOMPARE(y.nowPeriod(), 202403);
        y.sale(QDate(2024, 3, 28), 100); // open again
        // The administrator's flag is read now, not at the login.
        ledgerSql(y.db(),
                  QStringLiteral("UPDATE SysUser SET Manager = 1 WHERE UserCode = 'clerk'"));
        QCOMPARE(call(*y.b, "ReopenPeriod", {202402}).toInt(), 202402);
        QCOMPARE(
            y.logOf("结账"),
            QStringList({QStringLiteral("2205|202402|2024年第2期结账，当前期间：2024年第3期"),
                         QStringLiteral("2205|202403|2024年第3期结账，当前期间：2024年第4期")}));
        QCOMPARE(y.logOf("反结账").size(), 2);
        QVERIFY(y.logOf("反结账").value(1).startsWith(QLatin1String("2205|202402|")));
    }

    // A year of a small company: every month posted, carried forward and closed, 本年利润 to
    // 利润分配 in December; the books' invariants after every step, the hand-computed figures
    // at the end, and the new year opening on the old year's closing.
    void wholeYear()
    {
        Year y;
        YearSteps s;
        s.save = [&y](const QString &word, const QDate &date, const QList<VLine> &lines) {
            return y.save(word, date, lines);
        };
        s.reverse = [&y](int entry, const QDate &date) {
            call(*y.a, "ReverseVoucher", {entry, date});
        };
        s.reviewAndPost = [&y](int periodId) { y.reviewAndPost(periodId); };
        s.carryForward = [&y](int periodId) { y.carry(periodId); };
        s.close = [&y](int periodId) { call(*y.a, "ClosePeriod", {periodId}); };
        LedgerInvariants books;
        s.check = [&y, &books](const QString &step) {
            const QString broken = books.broken(y.db());
            QVERIFY2(broken.isEmpty(), qPrintable(step + QStringLiteral(": ") + broken));
        };
        runYear(s);
        QVERIFY(!QTest::currentTestFailed());

        const QSqlDatabase db = y.db();
        QCOMPARE(y.nowPeriod(), 202501);
        QCOMPARE(postedBalance(db, ProfitYear, 202412), qint64(0));
        QCOMPARE(postedBalance(db, Undistributed, 202412), -kYearProfit);
        QCOMPARE(postedBalance(db, Cash, 202412), kYearCash);
        QCOMPARE(postedBalance(db, BankIcbc, 202412), kYearBank);
        QCOMPARE(postedBalance(db, Receivable, 202412, 1), qint64(300000));
        QCOMPARE(postedBalance(db, Capital, 202412), kYearCapital);
        QCOMPARE(ledgerRows(db, QStringLiteral("SELECT Kind, COUNT(*) FROM FINDocVoucher "
                                               "WHERE Kind > 0 GROUP BY Kind ORDER BY Kind")),
                 QStringList({QStringLiteral("1|11"), QStringLiteral("2|1")}));
        QVERIFY(profitAndLossOracle(db, 202412).empty());

        // The new year starts on December's closing: January's movement adds to it.
        y.sale(QDate(2025, 1, 6), 1000);
        y.reviewAndPost(202501);
        QCOMPARE(postedBalance(db, BankIcbc, 202501), kYearBank + 1000);
        QCOMPARE(postedBalance(db, Undistributed, 202501), -kYearProfit);
        // Across the year only where the set allows it.
        setFinanceFlags(*y.a, {3});
        QVERIFY(refusal([&] {
                    return call(*y.a, "ReopenPeriod", {202412});
                }).contains(u"不允许跨财务年度反结账"));
        setFinanceFlags(*y.a, {});
        QCOMPARE(call(*y.a, "ReopenPeriod", {202412}).toInt(), 202412);
    }
};

QTEST_GUILESS_MAIN(TestLedgerClosing)
#include "tst_ledgerclosing.moc"
