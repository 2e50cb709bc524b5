// The statements from the report templates against figures worked out by hand: a small
// company's two years on the enterprise chart A01100 (and the small-enterprise A02000).
#include "AppServer.h"
#include "DataPacket.h"
#include "ReportTemplateData.h"

#include "../support/LedgerCompany.h"
#include "../support/ServerFixture.h"

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

// A set on a chart template (LedgerCompany.h) with two suppliers, the ledger started at start.
struct Company
{
    ServerFixture f;
    std::unique_ptr<ServerConnection> a = f.connect("Manager", "manager");
    std::unique_ptr<ServerConnection> b = f.connect("clerk", "clerk");

    explicit Company(const char *tpl, int start = 202401)
    {
        setUpCompany(*a, tpl, start);
        ServerConnection &c = *a;
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

// A format as the editing window reads it.
ledger::TemplateDraft loadFormat(ServerConnection &c, const char *code)
{
    const int id =
        scalar(c, S("SELECT TempletID FROM T0200096 WHERE TempletCode = '%1'").arg(code)).toInt();
    const QString where = S("WHERE TempletID = %1").arg(id);
    return ledger::TemplateDraft::fromRows(c.request(S("LX_FINGLReportTemplet"), where),
                                           c.request(S("LX_FINGLReportTempletItem"), where),
                                           c.request(S("LX_FINGLReportTempletForAcctDef"), where),
                                           c.request(S("LX_FINGLReportTempletForSUM"), where));
}

int lineNamed(const ledger::TemplateDraft &d, const QString &name)
{
    for (int i = 0; i < d.lines.size(); ++i)
        if (d.lines[i].name == name)
            return i;
    qFatal("no line %s", qPrintable(name));
}

// Changes field of row r in packet p (0 header, 1 lines, 2 terms, 3 sums) of args.
void setPacketValue(QVariantList &args, int p, int r, const char *field, const QVariant &v)
{
    DataPacket packet = readDataPacket(args[p].toString());
    packet.rows[size_t(r)][indexOfField(packet.fields, QLatin1String(field))] = v;
    args[p] = writeDataPacket(packet);
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
    void handEnteredValues();
    void editedFormat();
    void formatRefusals();
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

// Lines filled in by hand: stored per period, counted by the sum lines, logged old → new,
// NULL clears; formula lines, closed periods and a browse-only user are refused.
void TestLedgerStatements::handEnteredValues()
{
    Company w("A01100");
    enterEnterpriseYears(w);
    const int templet =
        scalar(*w.a, S("SELECT TempletID FROM T0200096 WHERE TempletCode = '会企01表'")).toInt();
    const auto itemOf = [&](const char *name) {
        return scalar(*w.a,
                      S("SELECT ItemID FROM T0200097 WHERE TempletID = %1 AND ItemName = '%2'")
                          .arg(templet)
                          .arg(S::fromUtf8(name)))
            .toInt();
    };
    const int other = itemOf("其他应收款");
    ledgerSql(w.a->database(),
              S("UPDATE T0200097 SET ItemType = 3 WHERE TempletID = ? AND ItemID = ?"),
              {templet, other});
    ledgerSql(w.a->database(), S("DELETE FROM T0200098 WHERE TempletID = ? AND ItemID = ?"),
              {templet, other});
    const auto save = [&](ServerConnection &c, int period, QList<QVariantList> rows) {
        DataPacket p;
        p.fields = {FieldDef{S("ItemID"), FieldType::Integer, 0, false, false},
                    FieldDef{S("Amount1"), FieldType::LargeInt, 0, false, false},
                    FieldDef{S("Amount2"), FieldType::LargeInt, 0, false, false}};
        for (const QVariantList &r : rows)
            p.rows.push_back(r);
        return call(c, "SaveStatementValues", {templet, period, writeDataPacket(p)}).toInt();
    };

    QCOMPARE(save(*w.a, 202412, {{other, 300 * Y, QVariant()}}), 1);
    Result r = statement(*w.a, "会企01表", 202412);
    QCOMPARE(r.amount(S("其他应收款"), 1), 300 * Y);
    QCOMPARE(r.amount(S("其他应收款"), 2), -1);
    QCOMPARE(r.amount(S("流动资产合计"), 1), 212800 * Y);
    QCOMPARE(r.amount(S("资产总计"), 2), 194500 * Y);
    QCOMPARE(r.info_("Difference1").toLongLong(), 300 * Y);
    // Another period keeps its own (none).
    QCOMPARE(statement(*w.a, "会企01表", 202411).amount(S("其他应收款"), 1), -1);
    QCOMPARE(scalar(*w.a, S("SELECT Detail FROM OperationLog WHERE ObjType = 2401 AND "
                            "ObjKey = '%1/202412'")
                              .arg(templet))
                 .toString(),
             S("资产负债表 2024年第12期 手工填列：第 8 行“其他应收款”：空 → 300.00，空 → 空"));
    // Saving the same again changes nothing; both NULL clears the line.
    QCOMPARE(save(*w.a, 202412, {{other, 300 * Y, QVariant()}}), 0);
    QCOMPARE(save(*w.a, 202412, {{other, QVariant(), QVariant()}}), 1);
    QCOMPARE(statement(*w.a, "会企01表", 202412).amount(S("流动资产合计"), 1), 212500 * Y);
    QCOMPARE(scalar(*w.a, S("SELECT COUNT(*) FROM FINGLReportValue")).toInt(), 0);

    ledgerSql(w.a->database(),
              S("UPDATE FINPostingPeriods SET GLPost = 1 WHERE PeriodID = 202401"));
    const struct
    {
        ServerConnection *by;
        int period, item;
        const char *refusal;
    } refused[] = {
        {w.a.get(), 202412, itemOf("货币资金"), "不是手工填列的项目"},
        {w.a.get(), 202401, other, "已经结账"},
        {w.a.get(), 202312, other, "不存在"},
        {w.b.get(), 202412, other, "没有“资产负债表”的权限"},
    };
    for (const auto &e : refused) {
        try {
            save(*e.by, e.period, {{e.item, 1 * Y, 2 * Y}});
            QFAIL(e.refusal);
        } catch (const Error &error) {
            QVERIFY2(error.message().contains(S::fromUtf8(e.refusal)), qPrintable(error.message()));
        }
    }
    QCOMPARE(scalar(*w.a, S("SELECT COUNT(*) FROM FINGLReportValue")).toInt(), 0);
}

// A shipped format edited as the window does it: a line with two terms and a sum line
// inserted, a line by hand removed; saved, the statement shows them, the lines that stayed
// keep their ids and figures, a copy is a format of its own and goes with its rows.
void TestLedgerStatements::editedFormat()
{
    using ledger::TemplateLine;
    Company w("A01100");
    enterEnterpriseYears(w);
    const int id =
        scalar(*w.a, S("SELECT TempletID FROM T0200096 WHERE TempletCode = '会企01表'")).toInt();
    ledgerSql(w.a->database(),
              S("INSERT INTO FINGLReportValue (TempletID, ItemID, PeriodID, "
                "Amount1) VALUES (?, 13, 202412, 700), (?, 22, 202412, 900)"),
              {id, id});

    ledger::TemplateDraft d = loadFormat(*w.a, "会企01表");
    const int a = d.insertLine(lineNamed(d, S("存货")) + 1);
    d.lines[a].name = S("现金与存货");
    d.lines[a].terms = {{S("1001"), S("QM"), false}, {S("1405"), S("QM"), false}};
    const int b = d.insertLine(a + 1, TemplateLine::Sum);
    d.lines[b].name = S("现金存货减应收");
    d.lines[b].sums = {{d.lines[a].key, false}, {d.lines[lineNamed(d, S("应收账款"))].key, true}};
    d.removeLine(lineNamed(d, S("其他非流动金融资产")));
    QVariantList args = d.packets();
    QCOMPARE(w.a->call(S("SaveReportTemplate"), args).toInt(), id);

    Result r = statement(*w.a, "会企01表", 202412);
    QCOMPARE(r.amount(S("现金与存货"), 1), (3000 + 50000) * Y);
    QCOMPARE(r.amount(S("现金存货减应收"), 1), (53000 - 19500) * Y);
    // The new lines are in no total; the 7.00 entered by hand on item 13 (an asset) is.
    QCOMPARE(r.amount(S("资产总计"), 1) - 700,
             r.amount(S("负债和所有者权益（或股东权益）总计"), 1));
    QCOMPARE(scalar(*w.a, S("SELECT ItemLine FROM T0200097 WHERE ItemName = '现金与存货'")).toInt(),
             10);
    QCOMPARE(scalar(*w.a, S("SELECT ItemID FROM T0200097 WHERE TempletID = %1 AND "
                            "ItemName = '短期借款'")
                              .arg(id))
                 .toInt(),
             38);
    QCOMPARE(
        scalar(*w.a, S("SELECT COUNT(*) || ':' || MIN(ItemID) FROM FINGLReportValue")).toString(),
        S("1:13"));

    ledger::TemplateDraft copy = loadFormat(*w.a, "会企01表");
    copy.copyAsNew(S("会企01表-2"), S("资产负债表（二）"));
    args = copy.packets();
    const int copyId = w.a->call(S("SaveReportTemplate"), args).toInt();
    QVERIFY(copyId != id);
    QCOMPARE(statement(*w.a, "会企01表-2", 202412).amount(S("现金存货减应收"), 1), 33500 * Y);
    QVariantList del{copyId};
    w.a->call(S("DeleteReportTemplate"), del);
    for (const char *t : {"T0200096", "T0200097", "T0200098", "T0200099"})
        QCOMPARE(
            scalar(
                *w.a,
                S("SELECT COUNT(*) FROM %1 WHERE TempletID = %2").arg(QLatin1String(t)).arg(copyId))
                .toInt(),
            0);
    QCOMPARE(statement(*w.a, "会企01表", 202412).amount(S("现金与存货"), 1), 53000 * Y);
    QCOMPARE(scalar(*w.a, S("SELECT COUNT(*) FROM OperationLog WHERE ObjType = 2406")).toInt(), 3);
}

void TestLedgerStatements::formatRefusals()
{
    using Draft = ledger::TemplateDraft;
    using OnDraft = std::function<void(Draft &)>;
    using OnPackets = std::function<void(const Draft &, QVariantList &)>;
    const auto line = [](const Draft &d, const char *name) {
        return lineNamed(d, S::fromUtf8(name));
    };
    const struct
    {
        const char *what, *message;
        OnDraft onDraft;
        OnPackets onPackets;
    } cases[] = {
        {"no code", "报表代码不能为空", [](Draft &d) { d.code = S(" "); }, {}},
        {"code taken", "报表代码“会企02表”已经存在", [](Draft &d) { d.code = S("会企02表"); }, {}},
        {"no name", "报表名称不能为空", [](Draft &d) { d.name.clear(); }, {}},
        {"行次 twice",
         "第 1 行“交易性金融资产”：行次 1 与“货币资金”重复",
         [&](Draft &d) { d.lines[line(d, "交易性金融资产")].line = 1; },
         {}},
        {"account not in the chart",
         "第 9 行“存货”：科目 9999 不在科目表中",
         [&](Draft &d) {
             d.lines[line(d, "存货")].terms.append({S("9999"), S("QM"), false});
         },
         {}},
        {"fetch type",
         "的取数方式“QMX”无效，应为 QM、JQM、DQM 或 SY",
         [&](Draft &d) { d.lines[line(d, "存货")].terms[0].fetch = S("QMX"); },
         {}},
        {"operator",
         "运算符号只能是 + 或 −",
         {},
         [](const Draft &, QVariantList &args) { setPacketValue(args, 2, 0, "Operator", S("*")); }},
        {"term on a sum line",
         "第 14 行“流动资产合计”：只有“科目取数”的行",
         {},
         [&](const Draft &d, QVariantList &args) {
             setPacketValue(args, 2, 0, "Row", line(d, "流动资产合计") + 1);
         }},
        {"sum on a line of accounts",
         "第 1 行“货币资金”：只有“行合计”的行",
         {},
         [&](const Draft &d, QVariantList &args) {
             setPacketValue(args, 3, 0, "Row", line(d, "货币资金") + 1);
         }},
        {"sum of a line not in the format",
         "报表项目第 999 项不存在",
         {},
         [](const Draft &, QVariantList &args) { setPacketValue(args, 3, 0, "SumRow", 999); }},
        {"cycle",
         "第 14 行“流动资产合计”：合计行经由其他合计行引用了自身",
         [&](Draft &d) {
             d.lines[line(d, "流动资产合计")].sums.append(
                 {d.lines[line(d, "资产总计")].key, false});
         },
         {}},
        {"line of another format",
         "不属于这张报表",
         [](Draft &d) { d.lines[1].itemId = 9999; },
         {}},
    };
    Company w("A01100");
    const auto tableRows = [&] {
        return scalar(*w.a, S("SELECT (SELECT COUNT(*) FROM T0200097) * 1000000 + (SELECT "
                              "COUNT(*) FROM T0200098) * 1000 + (SELECT COUNT(*) FROM T0200099)"))
            .toLongLong();
    };
    const qint64 before = tableRows();
    for (const auto &c : cases) {
        Draft d = loadFormat(*w.a, "会企01表");
        if (c.onDraft)
            c.onDraft(d);
        QVariantList args = d.packets();
        if (c.onPackets)
            c.onPackets(d, args);
        try {
            w.a->call(S("SaveReportTemplate"), args);
            QFAIL(c.what);
        } catch (const Error &e) {
            QVERIFY2(e.message().contains(S::fromUtf8(c.message)),
                     qPrintable(S("%1: %2").arg(QLatin1String(c.what), e.message())));
        }
    }
    QVariantList args = loadFormat(*w.a, "会企01表").packets();
    try {
        w.b->call(S("SaveReportTemplate"), args);
        QFAIL("saved without the right");
    } catch (const Error &e) {
        QVERIFY2(e.message().contains(S("没有“报表定义”的权限")), qPrintable(e.message()));
    }
    QCOMPARE(tableRows(), before);
    QCOMPARE(scalar(*w.a, S("SELECT COUNT(*) FROM OperationLog WHERE ObjType = 2406")).toInt(), 0);
}

QTEST_GUILESS_MAIN(TestLedgerStatements)
#include "tst_ledgerstatements.moc"
