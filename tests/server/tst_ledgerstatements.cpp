// The statements from the report templates against figures worked out by hand: a small
// company's two years on the enterprise chart A01100 (and the small-enterprise A02000).
#include "AppServer.h"
#include "DataPacket.h"

#include "../support/LedgerSet.h"
#include "../support/ServerFixture.h"
#include "../support/TemplateChart.h"

#include <QSqlQuery>
#include <QTest>

using namespace vexa;
using namespace vexa::server;
using namespace vexa::test;

namespace {

using S = QString;

QVariant call(ServerConnection &c, const char *op, QVariantList args)
{
    return c.call(QString::fromLatin1(op), args);
}

QVariant scalar(ServerConnection &c, const QString &sql)
{
    QSqlQuery q(c.database());
    if (!q.exec(sql) || !q.next())
        qFatal("%s", qPrintable(sql));
    return q.value(0);
}

constexpr qint64 Y = 100; // fen per yuan

// A set on a chart template with its report templates bound, periods 2024.01-2025.12, the
// ledger started at start.
struct Company
{
    ServerFixture f;
    std::unique_ptr<ServerConnection> a = f.connect("Manager", "manager");
    std::unique_ptr<ServerConnection> b = f.connect("clerk", "clerk");

    explicit Company(const char *tpl, int start = 202401)
    {
        ServerConnection &c = *a;
        const DataPacket t =
            c.request(S("SYS_SMAcctTempData"), S("WHERE AcctTempCode = '%1'").arg(tpl));
        QCOMPARE(t.rows.size(), size_t(1));
        const auto payload = [&](const char *f) {
            return readDataPacket(packetValue(t, 0, f).toString());
        };
        insertRows(c, S("LX_DMAccounting"), payload("AcctXMLData"),
                   [](QVariantMap &row) { row.insert(S("CurrCode"), S("RMB")); });
        insertRows(c, S("LX_DMAccttype"), payload("AcctTypeXMLData"));
        insertRows(c, S("LX_FINGLReportTemplet"), payload("T0200096"));
        insertRows(c, S("LX_FINGLReportTempletItem"), payload("T0200097"));
        insertRows(c, S("LX_FINGLReportTempletForAcctDef"), payload("T0200098"));
        insertRows(c, S("LX_FINGLReportTempletForSUM"), payload("T0200099"));
        ledgerSql(c.database(), S("UPDATE T0200098 SET AcctID = (SELECT AcctID FROM T0102010 "
                                  "WHERE AcctCode = T0200098.ItemAcctCode)"));
        for (int year : {2024, 2025})
            for (int no = 1; no <= 12; ++no) {
                const QDate from(year, no, 1);
                ledgerSql(c.database(),
                          S("INSERT INTO FINPostingPeriods (PeriodID, Year, No, PeriodCode, "
                            "PeriodName, PostingFrom, PostingTo, Active, Locked, GLPost) "
                            "VALUES (?, ?, ?, ?, ?, ?, ?, 'Y', 'N', 0)"),
                          {year * 100 + no, year, no, S("%1.%2").arg(year).arg(no),
                           S("%1年第%2期").arg(year).arg(no), from.toString(Qt::ISODate),
                           from.addMonths(1).addDays(-1).toString(Qt::ISODate)});
            }
        ledgerSql(c.database(),
                  S("INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, AcctTempDesc, "
                    "StartYear, YearPeriods, GLStartPeriodID) VALUES (1, '测试公司', 'RMB', "
                    "'人民币', ?, 2024, 12, ?)"),
                  {S::fromLatin1(tpl), start});
        ledgerSql(c.database(), S("INSERT INTO T0102053 (DacvID, ACheckID, DacvCode, DacvDesc, "
                                  "Levels, IsNode, Frozen) VALUES (201, 2, 'G01', '甲供应商', 1, "
                                  "1, 0), (202, 2, 'G02', '乙供应商', 1, 1, 0)"));
    }

    int acct(const char *code)
    {
        return scalar(*a, S("SELECT AcctID FROM T0102010 WHERE AcctCode = '%1'").arg(code)).toInt();
    }
    void opening(const char *code, qint64 debitPositive, int dacv = 0, qint64 ytdDebit = 0,
                 qint64 ytdCredit = 0)
    {
        ledgerSql(a->database(),
                  S("INSERT INTO GLOpening (AcctID, DacvID, CurrCode, Balance, YtdDebit, "
                    "YtdCredit) VALUES (?, ?, '', ?, ?, ?)"),
                  {acct(code), dacv, debitPositive, ytdDebit, ytdCredit});
    }
    // Saves, reviews and posts a voucher; kind 1 marks it a closing voucher (结转损益), kind 2
    // the year end's 本年利润 to 利润分配.
    void post(const QDate &date, const QList<VLine> &lines, int kind = 0)
    {
        const DataPacket saved = readDataPacket(
            call(*a, "SaveVoucher", {voucherHeader(0, S("记"), date), voucherLines(lines)})
                .toString());
        const int e = packetValue(saved, 0, "DocEntry").toInt();
        if (kind)
            ledgerSql(a->database(), S("UPDATE FINDocVoucher SET Kind = ? WHERE DocEntry = ?"),
                      {kind, e});
        call(*b, "ReviewVouchers", {QString::number(e), true});
        call(*a, "PostVouchers", {date.year() * 100 + date.month(), QString::number(e)});
    }
    VLine d(const char *code, qint64 fen, int dacv = 0) { return VLine{acct(code), fen, 0, dacv}; }
    VLine c(const char *code, qint64 fen, int dacv = 0) { return VLine{acct(code), 0, fen, dacv}; }
};

struct Result
{
    DataPacket lines, info;
    // Amount (1 or 2) of the line named name; -1 for an empty amount.
    qint64 amount(const QString &name, int column) const
    {
        for (size_t r = 0; r < lines.rows.size(); ++r)
            if (packetValue(lines, int(r), "ItemName").toString() == name) {
                const QVariant v = packetValue(lines, int(r), column == 1 ? "Amount1" : "Amount2");
                return v.isNull() ? -1 : v.toLongLong();
            }
        qFatal("no line %s", qPrintable(name));
    }
    QVariant info_(const char *f) const { return packetValue(info, 0, f); }
};

Result statement(ServerConnection &c, const char *code, int period)
{
    const int templet =
        scalar(c, S("SELECT TempletID FROM T0200096 WHERE TempletCode = '%1'").arg(code)).toInt();
    const QVariantList answer = call(c, "Statement", {templet, period}).toList();
    if (answer.size() != 2)
        qFatal("Statement answered %d parts", int(answer.size()));
    return {readDataPacket(answer[0].toString()), readDataPacket(answer[1].toString())};
}

// Openings at 2024.01 and the two years' vouchers (yuan):
//  1001 5,000  1002 100,000  1405 80,000  1122 10,000  | 123102 500 C  2202 甲 20,000 C
//  4001 174,500 C
//  2024.02 sales 50,000 on credit, their cost 30,000; 2024.03 40,000 received, 2,000 office
//  costs in cash; 2024.05 5,000 prepaid to supplier 乙 (2202 debit); 2024.12 结转损益 (profit
//  18,000 to 4103). 2025.01 sales 20,000 on credit, 2025.02 cost 12,000, 2025.03 1,000
//  drawn from the bank; 2025 not closed.
void enterEnterpriseYears(Company &w)
{
    ledgerSql(w.a->database(), S("UPDATE T0102010 SET ACItemID = 2 WHERE AcctCode = '2202'"));
    w.opening("1001", 5000 * Y);
    w.opening("1002", 100000 * Y);
    w.opening("1405", 80000 * Y);
    w.opening("1122", 10000 * Y);
    w.opening("123102", -500 * Y);
    w.opening("2202", -20000 * Y, 201);
    w.opening("4001", -174500 * Y);
    w.post(QDate(2024, 2, 10), {w.d("1122", 50000 * Y), w.c("6001", 50000 * Y)});
    w.post(QDate(2024, 2, 20), {w.d("6401", 30000 * Y), w.c("1405", 30000 * Y)});
    w.post(QDate(2024, 3, 5), {w.d("1002", 40000 * Y), w.c("1122", 40000 * Y)});
    w.post(QDate(2024, 3, 9), {w.d("660201", 2000 * Y), w.c("1001", 2000 * Y)});
    w.post(QDate(2024, 5, 9), {w.d("2202", 5000 * Y, 202), w.c("1002", 5000 * Y)});
    w.post(QDate(2024, 12, 31),
           {w.d("6001", 50000 * Y), w.c("6401", 30000 * Y), w.c("660201", 2000 * Y),
            w.c("4103", 18000 * Y)},
           1);
    w.post(QDate(2025, 1, 10), {w.d("1122", 20000 * Y), w.c("6001", 20000 * Y)});
    w.post(QDate(2025, 2, 10), {w.d("6401", 12000 * Y), w.c("1405", 12000 * Y)});
    w.post(QDate(2025, 3, 10), {w.d("1001", 1000 * Y), w.c("1002", 1000 * Y)});
}

} // namespace

class TestLedgerStatements : public QObject
{
    Q_OBJECT

private slots:
    void balanceSheet();
    void incomeStatement();
    void smallEnterprise();
    void startedMidYear();
    void refusals();
};

void TestLedgerStatements::balanceSheet()
{
    Company w("A01100");
    enterEnterpriseYears(w);

    // End of 2024, after the closing: whole books balance; the second column is the opening.
    Result r = statement(*w.a, "会企01表", 202412);
    const struct
    {
        const char *line;
        qint64 end, opening;
    } expected[] = {
        {"货币资金", 138000, 105000}, // 1001 + 1002
        {"应收账款", 19500, 9500},    // 1122 less 坏账准备
        {"预付款项", 5000, 0},        // 2202's debit item (乙)
        {"存货", 50000, 80000},
        {"流动资产合计", 212500, 194500},
        {"资产总计", 212500, 194500},
        {"应付账款", 20000, 20000}, // 2202's credit item (甲)
        {"实收资本（或股本）", 174500, 174500},
        {"未分配利润", 18000, 0}, // 4103 after 结转损益
        {"负债和所有者权益（或股东权益）总计", 212500, 194500},
    };
    for (const auto &e : expected) {
        QCOMPARE(r.amount(S::fromUtf8(e.line), 1), e.end * Y);
        QCOMPARE(r.amount(S::fromUtf8(e.line), 2), e.opening * Y);
    }
    QCOMPARE(r.info_("Balanced").toBool(), true);
    QVERIFY(r.info_("Warnings").toString().isEmpty());

    // 2025.03: the second column is the end of 2024; 2025's profit is not closed, so the
    // income accounts are in no line and the sheet says which.
    r = statement(*w.a, "会企01表", 202503);
    QCOMPARE(r.amount(S("货币资金"), 1), 138000 * Y); // 4,000 + 134,000
    QCOMPARE(r.amount(S("应收账款"), 1), 39500 * Y);
    QCOMPARE(r.amount(S("存货"), 1), 38000 * Y);
    QCOMPARE(r.amount(S("资产总计"), 2), 212500 * Y);
    QCOMPARE(r.info_("Balanced").toBool(), false);
    QCOMPARE(r.info_("Difference1").toLongLong(), 8000 * Y);
    QCOMPARE(r.info_("Difference2").toLongLong(), 0);
    QCOMPARE(r.info_("Uncovered").toString(), S("6001 主营业务收入\n6401 主营业务成本"));

    // An account left out of the template: the difference and the account named; an
    // unbound term is reported.
    ledgerSql(w.a->database(),
              S("DELETE FROM T0200098 WHERE ItemAcctCode = '1405' AND TempletID = "
                "(SELECT TempletID FROM T0200096 WHERE TempletCode = '会企01表')"));
    ledgerSql(w.a->database(), S("UPDATE T0200098 SET AcctID = NULL WHERE ItemAcctCode = '1001'"));
    r = statement(*w.a, "会企01表", 202412);
    QCOMPARE(r.info_("Balanced").toBool(), false);
    QCOMPARE(r.info_("Difference1").toLongLong(), -(50000 + 3000) * Y);
    QCOMPARE(r.info_("Difference2").toLongLong(), -(80000 + 5000) * Y);
    QCOMPARE(r.info_("Uncovered").toString(), S("1001 库存现金\n1405 库存商品"));
    QVERIFY2(r.info_("Warnings").toString().contains(S("1001")),
             qPrintable(r.info_("Warnings").toString()));
}

void TestLedgerStatements::incomeStatement()
{
    Company w("A01100");
    enterEnterpriseYears(w);

    // 2024 after its 结转损益: the year's amounts, not the zero the closing left.
    Result r = statement(*w.a, "会企02表", 202412);
    QCOMPARE(r.amount(S("一、营业收入"), 1), 50000 * Y);
    QCOMPARE(r.amount(S("减：营业成本"), 1), 30000 * Y);
    QCOMPARE(r.amount(S("管理费用"), 1), 2000 * Y);
    QCOMPARE(r.amount(S("二、营业利润（亏损以“－”号填列）"), 1), 18000 * Y);
    QCOMPARE(r.amount(S("四、净利润（净亏损以“－”号填列）"), 1), 18000 * Y);
    QCOMPARE(r.amount(S("四、净利润（净亏损以“－”号填列）"), 2), -1); // no 2023 in the books
    QCOMPARE(r.info_("Caption1").toString(), S("本期金额"));

    // The year end's second closing voucher (本年利润 to 利润分配) is taken out as well: a
    // line that reads 本年利润's movement keeps nothing of either transfer.
    ledgerSql(w.a->database(),
              S("INSERT INTO T0200098 (TempletID, ItemID, ItemAcctCode, FetchType, Operator, "
                "AcctID) SELECT TempletID, 20, '4103', 'SY', '+', ? FROM T0200096 "
                "WHERE TempletCode = '会企02表'"),
              {w.acct("4103")});
    w.post(QDate(2024, 12, 31), {w.d("4103", 18000 * Y), w.c("410406", 18000 * Y)}, 2);
    r = statement(*w.a, "会企02表", 202412);
    QCOMPARE(r.amount(S("加：营业外收入"), 1), 0);
    QCOMPARE(r.amount(S("四、净利润（净亏损以“－”号填列）"), 1), 18000 * Y);

    // 2025.03: the year to date, and 2024.01-03 beside it.
    r = statement(*w.a, "会企02表", 202503);
    QCOMPARE(r.amount(S("一、营业收入"), 1), 20000 * Y);
    QCOMPARE(r.amount(S("减：营业成本"), 1), 12000 * Y);
    QCOMPARE(r.amount(S("四、净利润（净亏损以“－”号填列）"), 1), 8000 * Y);
    QCOMPARE(r.amount(S("一、营业收入"), 2), 50000 * Y);
    QCOMPARE(r.amount(S("管理费用"), 2), 2000 * Y);
    QCOMPARE(r.amount(S("四、净利润（净亏损以“－”号填列）"), 2), 18000 * Y);

    // A 结转损益 voucher posted into 2025.03 leaves the statement as it was.
    w.post(QDate(2025, 3, 31),
           {w.d("6001", 20000 * Y), w.c("6401", 12000 * Y), w.c("4103", 8000 * Y)}, 1);
    const Result after = statement(*w.a, "会企02表", 202503);
    QCOMPARE(after.lines, r.lines);
    // ... and the balance sheet now balances.
    QCOMPARE(statement(*w.a, "会企01表", 202503).info_("Balanced").toBool(), true);
}

void TestLedgerStatements::smallEnterprise()
{
    Company w("A02000");
    w.opening("1002", 10000 * Y);
    w.opening("3001", -10000 * Y);
    w.post(QDate(2024, 1, 10), {w.d("1122", 3000 * Y), w.c("5001", 3000 * Y)});
    w.post(QDate(2024, 2, 10), {w.d("1122", 4000 * Y), w.c("5001", 4000 * Y)});
    w.post(QDate(2024, 2, 12), {w.d("5401", 2500 * Y), w.c("1002", 2500 * Y)});
    w.post(QDate(2024, 2, 28),
           {w.d("5001", 7000 * Y), w.c("5401", 2500 * Y), w.c("3103", 4500 * Y)}, 1);

    Result r = statement(*w.a, "会小企02表", 202402);
    QCOMPARE(r.info_("Caption1").toString(), S("本年累计金额"));
    QCOMPARE(r.amount(S("一、营业收入"), 1), 7000 * Y);
    QCOMPARE(r.amount(S("一、营业收入"), 2), 4000 * Y); // the month
    QCOMPARE(r.amount(S("四、净利润（净亏损以“－”号填列）"), 1), 4500 * Y);
    QCOMPARE(r.amount(S("四、净利润（净亏损以“－”号填列）"), 2), 1500 * Y);

    r = statement(*w.a, "会小企01表", 202402);
    QCOMPARE(r.info_("Caption2").toString(), S("年初余额"));
    QCOMPARE(r.amount(S("货币资金"), 1), 7500 * Y);
    QCOMPARE(r.amount(S("应收账款"), 1), 7000 * Y);
    QCOMPARE(r.amount(S("资产总计"), 1), 14500 * Y);
    QCOMPARE(r.amount(S("资产总计"), 2), 10000 * Y);
    QCOMPARE(r.info_("Balanced").toBool(), true);
}

// The ledger started at 2024.07: January to June are in the openings' year movement, on
// each income account's own side (the other side held the monthly transfers to 本年利润).
void TestLedgerStatements::startedMidYear()
{
    Company w("A01100", 202407);
    w.opening("1002", 60000 * Y, 0, 30000 * Y, 20000 * Y);
    w.opening("4001", -50000 * Y);
    w.opening("4103", -10000 * Y, 0, 20000 * Y, 30000 * Y);
    w.opening("6001", 0, 0, 30000 * Y, 30000 * Y);
    w.opening("6401", 0, 0, 18000 * Y, 18000 * Y);
    w.opening("660201", 0, 0, 2000 * Y, 2000 * Y);
    w.post(QDate(2024, 8, 10), {w.d("1002", 5000 * Y), w.c("6001", 5000 * Y)});
    w.post(QDate(2024, 8, 20), {w.d("6401", 3000 * Y), w.c("1002", 3000 * Y)});

    const Result r = statement(*w.a, "会企02表", 202408);
    QCOMPARE(r.amount(S("一、营业收入"), 1), 35000 * Y); // 30,000 + 5,000
    QCOMPARE(r.amount(S("减：营业成本"), 1), 21000 * Y); // 18,000 + 3,000
    QCOMPARE(r.amount(S("管理费用"), 1), 2000 * Y);      // all before the start
    QCOMPARE(r.amount(S("四、净利润（净亏损以“－”号填列）"), 1), 12000 * Y);
    QCOMPARE(r.amount(S("一、营业收入"), 2), -1); // no 2023 in the books
}

void TestLedgerStatements::refusals()
{
    Company w("A01100");
    // A sum line that reaches itself.
    ledgerSql(w.a->database(),
              S("INSERT INTO T0200099 (TempletID, ItemID, SumItemID, Operator) SELECT TempletID, "
                "15, 36, '+' FROM T0200096 WHERE TempletCode = '会企01表'"));
    try {
        statement(*w.a, "会企01表", 202401);
        QFAIL("a cycle was not refused");
    } catch (const Error &e) {
        QVERIFY2(e.message().contains(S("循环")), qPrintable(e.message()));
    }
}

QTEST_GUILESS_MAIN(TestLedgerStatements)
#include "tst_ledgerstatements.moc"
