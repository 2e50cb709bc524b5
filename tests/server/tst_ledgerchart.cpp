// The chart's and the opening balances' operations on a set with the A01000 chart loaded:
// what they refuse (and that a refusal changes nothing), the move of a leaf's entries to its
// first sub-account, the trial balance of a mid-year start, the lock after posting.
#include "AppServer.h"
#include "DataPacket.h"

#include "../support/ServerFixture.h"
#include "../support/TemplateChart.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace vexa;
using namespace vexa::server;
using namespace vexa::test;

namespace {

using S = QString;

QSqlQuery sql(ServerConnection &c, const QString &text)
{
    QSqlQuery q(c.database());
    if (!q.exec(text))
        qFatal("%s: %s", qPrintable(text), qPrintable(q.lastError().text()));
    return q;
}

QVariant value(ServerConnection &c, const QString &text)
{
    QSqlQuery q = sql(c, text);
    return q.next() ? q.value(0) : QVariant();
}

qint64 idOf(ServerConnection &c, const char *code)
{
    return value(c, S("SELECT AcctID FROM T0102010 WHERE AcctCode = '%1'").arg(QLatin1String(code)))
        .toLongLong();
}

// A one-row packet of the given fields (name, value); the type follows the value.
QString packet(const QList<std::pair<const char *, QVariant>> &fields)
{
    DataPacket p;
    QVariantList row;
    for (const auto &[name, v] : fields) {
        FieldType type = FieldType::String;
        if (v.typeId() == QMetaType::Bool)
            type = FieldType::Boolean;
        else if (v.typeId() == QMetaType::Int)
            type = FieldType::Integer;
        else if (v.typeId() == QMetaType::LongLong)
            type = FieldType::LargeInt;
        else if (v.typeId() == QMetaType::Double)
            type = FieldType::Float;
        p.fields.append(FieldDef{QString::fromLatin1(name), type});
        row.append(v);
    }
    p.rows.push_back(row);
    return writeDataPacket(p);
}

struct Opening
{
    qint64 acct, dacv, balance, ytdDebit = 0, ytdCredit = 0;
};

QString openings(const QList<Opening> &rows)
{
    DataPacket p;
    p.fields = {FieldDef{S("AcctID"), FieldType::Integer},
                FieldDef{S("DacvID"), FieldType::Integer},
                FieldDef{S("CurrCode"), FieldType::String},
                FieldDef{S("Balance"), FieldType::LargeInt},
                FieldDef{S("YtdDebit"), FieldType::LargeInt},
                FieldDef{S("YtdCredit"), FieldType::LargeInt}};
    for (const Opening &o : rows)
        p.rows.push_back({o.acct, o.dacv, S(), o.balance, o.ytdDebit, o.ytdCredit});
    return writeDataPacket(p);
}

QVariant call(ServerConnection &c, const char *operation, QVariantList args)
{
    return c.call(QString::fromLatin1(operation), args);
}

QVariant answer(const QVariant &packetText, const char *field)
{
    return packetValue(readDataPacket(packetText.toString()), 0, field);
}

// The A01000 chart, twelve periods of 2025, the ledger starting in startPeriod, customers
// 101 and 102 (list 1) and supplier 201 (list 2); 1122 应收账款 by customer.
void prepareSet(ServerConnection &c, int startPeriod)
{
    const TemplateChart chart = templateChart(c);
    insertRows(c, S("LX_DMAccounting"), readDataPacket(chart.accounts),
               [](QVariantMap &row) { row.insert(S("CurrCode"), S("RMB")); });
    insertRows(c, S("LX_DMAccttype"), readDataPacket(chart.types));
    for (int no = 1; no <= 12; ++no) {
        const QDate from(2025, no, 1);
        sql(c, S("INSERT INTO FINPostingPeriods (PeriodID, Year, No, PeriodCode, PeriodName, "
                 "PostingFrom, PostingTo, Active, Locked, GLPost) VALUES "
                 "(%1, 2025, %2, '2025.%2', '2025年第%2期', '%3', '%4', 'Y', 'N', 0)")
                   .arg(202500 + no)
                   .arg(no)
                   .arg(from.toString(Qt::ISODate),
                        from.addMonths(1).addDays(-1).toString(Qt::ISODate)));
    }
    sql(c, S("INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, AcctTempDesc, StartYear, "
             "YearPeriods, GLStartPeriodID) VALUES (1, '测试公司', 'RMB', '人民币', 'A01000', "
             "2025, 12, %1)")
               .arg(startPeriod));
    sql(c, S("INSERT INTO T0102053 (DacvID, ACheckID, DacvCode, DacvDesc, Levels, IsNode, Frozen) "
             "VALUES (101, 1, 'K01', '甲公司', 1, 1, 0), (102, 1, 'K02', '乙公司', 1, 1, 0), "
             "(201, 2, 'G01', '丙公司', 1, 1, 0)"));
    sql(c, S("UPDATE T0102010 SET ACItemID = 1, ACItemDesc = '客户' WHERE AcctCode = '1122'"));
}

int logLines(ServerConnection &c)
{
    return value(c, S("SELECT COUNT(*) FROM OperationLog")).toInt();
}

// Everything the operations write, as text, to see that a refusal wrote nothing.
QString snapshot(ServerConnection &c)
{
    QString out;
    for (const char *table :
         {"SELECT AcctID, AcctCode, AcctName, IsNode, DC, Frozen, ACItemID, ParentID FROM "
          "T0102010 ORDER BY AcctID",
          "SELECT AcctID, DacvID, Balance, YtdDebit, YtdCredit FROM GLOpening ORDER BY 1, 2",
          "SELECT DocEntry, LineNo, AcctID FROM FINDocVoucherLine ORDER BY 1, 2",
          "SELECT AcctID, PeriodID, Debit FROM GLBalance ORDER BY 1, 2",
          "SELECT COUNT(*) FROM OperationLog"}) {
        QSqlQuery q = sql(c, QString::fromLatin1(table));
        while (q.next())
            for (int i = 0; i < q.record().count(); ++i)
                out += q.value(i).toString() + u',';
        out += u'\n';
    }
    return out;
}

} // namespace

class TestLedgerChart : public QObject
{
    Q_OBJECT

    ServerFixture m_set;
    std::unique_ptr<ServerConnection> m_manager;
    std::unique_ptr<ServerConnection> m_clerk;

private slots:
    void initTestCase();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void subAccountTakesOverTheLeafsEntries();
    void trialBalanceOfAMidYearStart();
    void openingsLockOncePosted();
};

void TestLedgerChart::initTestCase()
{
    m_manager = m_set.connect();
    m_clerk = m_set.connect("clerk", "clerk");
    auto &c = *m_manager;
    prepareSet(c, 202501);
    // Entries the refusals run into: 1001 has an opening, 2001 a voucher line.
    call(c, "SaveOpenings", {openings({{idOf(c, "1001"), 0, 10000}})});
    sql(c, S("INSERT INTO FINDocVoucher (DocEntry, ObjType, NumCa, DocNum, DocDate, PeriodID, "
             "Posted, Status) VALUES (1, 2101, '记', 1, '2025-01-05', 202501, 0, 0)"));
    sql(c, S("INSERT INTO FINDocVoucherLine (DocEntry, LineNo, Summary, AcctID, DacvID, Debit, "
             "Credit) VALUES (1, 1, '借款', %1, 0, 0, 5000)")
               .arg(idOf(c, "2001")));
}

void TestLedgerChart::refusalsChangeNothing_data()
{
    QTest::addColumn<bool>("clerk");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("message");
    auto &c = *m_manager;
    const qint64 cash = idOf(c, "1001"), loan = idOf(c, "2001"), receivable = idOf(c, "1122"),
                 taxes = idOf(c, "2221"), capital = idOf(c, "4001");
    const auto add = [](const char *code, const QString &name) {
        return QVariantList{packet({{"AcctCode", S(code)}, {"AcctName", name}})};
    };
    QTest::newRow("code off the levels")
        << false << "AddAccount" << add("10010", S("零钱")) << "与级次长度 4-2-2-2-2-2 不符";
    QTest::newRow("code too deep")
        << false << "AddAccount" << add("2221010101010101", S("深")) << "与级次长度";
    QTest::newRow("duplicate code")
        << false << "AddAccount" << add("222101", S("应交增值税")) << "科目代码“222101”已经存在";
    QTest::newRow("no parent") << false << "AddAccount" << add("999901", S("无上级"))
                               << "上级科目“9999”不存在";
    QTest::newRow("name of 81 bytes")
        << false << "AddAccount" << add("222199", QString(40, u'税').append(u'x'))
        << "超过 80 个字节";
    QTest::newRow("first level without type")
        << false << "AddAccount" << add("1009", S("自有一级")) << "须指定科目类别";
    QTest::newRow("list 6") << false << "AddAccount"
                            << QVariantList{packet({{"AcctCode", S("222199")},
                                                    {"AcctName", S("其他")},
                                                    {"ACItemID", 6}})}
                            << "辅助核算类别“6”不存在";
    QTest::newRow("leaf with an opening, not moving")
        << false << "AddAccount" << add("100101", S("零钱"))
        << "科目“1001 库存现金”已有期初余额或凭证分录，增加下级科目后将转入新科目“100101 零钱”。";
    QTest::newRow("leaf with a line, not moving")
        << false << "AddAccount" << (add("200101", S("工行借款")) << false) << "增加下级科目后";
    QTest::newRow("no right to accounts")
        << true << "AddAccount" << add("222199", S("其他")) << "没有“会计科目”的权限";
    QTest::newRow("side of an account with lines")
        << false << "ModifyAccount" << QVariantList{packet({{"AcctID", loan}, {"DC", S("D")}})}
        << "不能修改余额方向、币别或辅助核算";
    QTest::newRow("list of an account with an opening")
        << false << "ModifyAccount"
        << QVariantList{packet({{"AcctID", idOf(c, "1001")}, {"ACItemID", 3}})}
        << "不能修改余额方向";
    QTest::newRow("name too long on rename")
        << false << "ModifyAccount"
        << QVariantList{packet({{"AcctID", capital}, {"AcctName", QString(41, u'本')}})}
        << "超过 80 个字节";
    QTest::newRow("delete with children")
        << false << "DeleteAccount" << QVariantList{taxes} << "有下级科目，不能删除";
    QTest::newRow("delete with a line") << false << "DeleteAccount" << QVariantList{loan}
                                        << "已有期初余额、凭证分录或余额，不能删除";
    QTest::newRow("delete used through apply-updates")
        << false << "applyDelete" << QVariantList{cash}
        << "科目“1001 库存现金”已有期初余额、凭证分录或余额，不能删除。";
    QTest::newRow("side of a used account through apply-updates")
        << false << "applyChange" << QVariantList{cash, S("DC"), S("C")}
        << "科目“1001 库存现金”已有期初余额、凭证分录或余额，不能修改代码、上级、余额方向";
    QTest::newRow("template load over entries")
        << false << "ExecuteBatch" << QVariantList{S("DELETE T0102010")}
        << "账套已有期初余额或凭证，不能重新装入会计科目。";
    QTest::newRow("delete fixed") << false << "DeleteAccount" << QVariantList{capital}
                                  << "是固定科目，不能删除";
    QTest::newRow("opening on a parent")
        << false << "SaveOpenings" << QVariantList{openings({{taxes, 0, 100}})} << "不是末级科目";
    QTest::newRow("opening without its item")
        << false << "SaveOpenings" << QVariantList{openings({{receivable, 0, 100}})}
        << "须按项目录入";
    QTest::newRow("item of another list")
        << false << "SaveOpenings" << QVariantList{openings({{receivable, 201, 100}})}
        << "不属于科目“1122 应收账款”的辅助核算";
    QTest::newRow("item on an account without a list")
        << false << "SaveOpenings" << QVariantList{openings({{capital, 101, 100}})}
        << "没有辅助核算";
    QTest::newRow("year-to-date at a January start")
        << false << "SaveOpenings" << QVariantList{openings({{capital, 0, -100, 0, 100}})}
        << "没有累计借方和累计贷方";
    QTest::newRow("the same key twice, the second refused after the first was written")
        << false << "SaveOpenings"
        << QVariantList{openings({{capital, 0, -100}, {capital, 0, -200}})} << "出现了两次";
    QTest::newRow("amount as a fraction")
        << false << "SaveOpenings"
        << QVariantList{packet({{"AcctID", capital}, {"DacvID", 0}, {"Balance", 12.5}})}
        << "须为整数分";
}

void TestLedgerChart::refusalsChangeNothing()
{
    QFETCH(bool, clerk);
    QFETCH(QString, operation);
    QFETCH(QVariantList, args);
    QFETCH(QString, message);
    auto &c = clerk ? *m_clerk : *m_manager;
    const QString before = snapshot(*m_manager);
    QString error;
    if (operation.startsWith(u"apply")) {
        ClientDataSet ds;
        ds.setRemoteConnection(&c);
        ds.setProviderName(S("LX_DMAccounting"));
        ds.setCommandText(S("WHERE AcctID = %1").arg(args[0].toLongLong()));
        ds.open();
        QCOMPARE(ds.recordCount(), 1);
        if (operation == u"applyDelete") {
            ds.deleteRecord();
        } else {
            ds.edit();
            ds.setValue(args[1].toString(), args[2]);
            ds.post();
        }
        int errors = 0;
        QVariant owner;
        c.applyUpdates(S("LX_DMAccounting"), ds.delta(), -1, errors, owner);
        QCOMPARE(errors, 1);
        error = c.lastError();
    } else {
        try {
            c.call(operation, args);
            QFAIL("the operation was not refused");
        } catch (const Error &e) {
            error = e.message();
        }
    }
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(snapshot(*m_manager), before);
}

void TestLedgerChart::subAccountTakesOverTheLeafsEntries()
{
    auto &c = *m_manager;
    const qint64 bank = idOf(c, "1002"), capital = idOf(c, "4001");
    call(c, "SaveOpenings", {openings({{bank, 0, 50000}, {capital, 0, -50000}})});
    sql(c, S("INSERT INTO FINDocVoucher (DocEntry, ObjType, NumCa, DocNum, DocDate, PeriodID, "
             "Posted, Status) VALUES (2, 2101, '记', 2, '2025-01-06', 202501, 0, 0)"));
    sql(c, S("INSERT INTO FINDocVoucherLine (DocEntry, LineNo, Summary, AcctID, DacvID, Debit, "
             "Credit) VALUES (2, 1, '存现', %1, 0, 3000, 0), (2, 2, '存现', %2, 0, 0, 3000)")
               .arg(bank)
               .arg(idOf(c, "1001")));
    sql(c, S("INSERT INTO GLBalance (AcctID, PeriodID, DacvID, Debit, Credit) VALUES "
             "(%1, 202501, 0, 3000, 0)")
               .arg(bank));
    const auto trial = [&c] { return call(c, "OpeningTrialBalance", {}).toString(); };
    const QString trialBefore = trial();
    const int logBefore = logLines(c);
    const qint64 largestId = value(c, S("SELECT MAX(AcctID) FROM T0102010")).toLongLong();

    const qint64 first =
        call(c, "AddAccount",
             {packet({{"AcctCode", S("100201")}, {"AcctName", S("工商银行")}}), true})
            .toLongLong();
    QCOMPARE(first, largestId + 1);
    QCOMPARE(value(c, S("SELECT COUNT(*) FROM GLOpening WHERE AcctID = %1").arg(bank)).toInt(), 0);
    QCOMPARE(value(c, S("SELECT Balance FROM GLOpening WHERE AcctID = %1").arg(first)).toLongLong(),
             50000);
    QCOMPARE(value(c, S("SELECT AcctID FROM FINDocVoucherLine WHERE DocEntry = 2 AND LineNo = 1"))
                 .toLongLong(),
             first);
    QCOMPARE(value(c, S("SELECT IsNode FROM T0102010 WHERE AcctID = %1").arg(bank)).toInt(), 0);
    QSqlQuery added = sql(c, S("SELECT ParentID, Levels, IsNode, DC, AcctTypeCode, LevelCode, "
                               "f.FullName FROM T0102010 a JOIN AcctFullName f ON f.AcctID = "
                               "a.AcctID WHERE a.AcctID = %1")
                                 .arg(first));
    QVERIFY(added.next());
    QCOMPARE(added.value(0).toLongLong(), bank);
    QCOMPARE(added.value(1).toInt(), 2);
    QCOMPARE(added.value(2).toInt(), 1);
    QCOMPARE(added.value(3).toString(), S("D"));
    QCOMPARE(added.value(4).toString(), S("ZC"));
    QCOMPARE(added.value(5).toString(), S("100201"));
    QCOMPARE(added.value(6).toString(), S("银行存款-工商银行"));
    QCOMPARE(trial(), trialBefore);

    // The second sub-account finds the parent a parent: nothing moves. Its name is 80 bytes,
    // the most the column holds.
    const qint64 second =
        call(c, "AddAccount",
             {packet({{"AcctCode", S("100202")}, {"AcctName", QString(40, u'行')}})})
            .toLongLong();
    QCOMPARE(value(c, S("SELECT COUNT(*) FROM GLOpening WHERE AcctID = %1").arg(second)).toInt(),
             0);
    // The parent's balance stays the sum of its children's.
    QCOMPARE(
        value(c, S("SELECT Debit FROM GLBalance WHERE AcctID = %1").arg(bank)).toLongLong(),
        value(c,
              S("SELECT SUM(Debit) FROM GLBalance WHERE AcctID IN (%1, %2)").arg(first).arg(second))
            .toLongLong());

    QCOMPARE(logLines(c), logBefore + 2);
    QSqlQuery log = sql(c, S("SELECT Action, ObjType, ObjKey, Detail, UserName FROM OperationLog "
                             "WHERE ObjKey = '100201'"));
    QVERIFY(log.next());
    QCOMPARE(log.value(0).toString(), S("新增"));
    QCOMPARE(log.value(1).toInt(), 2001);
    QVERIFY2(log.value(3).toString().contains(S("已转入本科目")),
             qPrintable(log.value(3).toString()));
    QCOMPARE(log.value(4).toString(), S("系统管理员"));

    // Deleting the unused one leaves the parent a parent; the used one stays.
    QVERIFY(call(c, "DeleteAccount", {second}).toBool());
    QCOMPARE(value(c, S("SELECT IsNode FROM T0102010 WHERE AcctID = %1").arg(bank)).toInt(), 0);
    QVERIFY_THROWS_EXCEPTION(Error, call(c, "DeleteAccount", {first}));
    // Under a parent whose children all go, the parent is a leaf again.
    const qint64 alone =
        call(c, "AddAccount",
             {packet({{"AcctCode", S("400101")}, {"AcctName", S("国家资本")}}), true})
            .toLongLong();
    QCOMPARE(value(c, S("SELECT Balance FROM GLOpening WHERE AcctID = %1").arg(alone)).toLongLong(),
             -50000);
    call(c, "SaveOpenings", {openings({{alone, 0, 0}})});
    call(c, "DeleteAccount", {alone});
    QCOMPARE(value(c, S("SELECT IsNode FROM T0102010 WHERE AcctID = %1").arg(capital)).toInt(), 1);
    call(c, "SaveOpenings", {openings({{capital, 0, -50000}})});
}

void TestLedgerChart::trialBalanceOfAMidYearStart()
{
    ServerFixture set;
    auto conn = set.connect();
    auto &c = *conn;
    prepareSet(c, 202504);
    const qint64 cash = idOf(c, "1001"), loan = idOf(c, "2001"), receivable = idOf(c, "1122"),
                 capital = idOf(c, "4001");
    // 1122 nets its customers: 300.00 debit and 100.00 credit make 200.00 debit.
    const int changed = call(c, "SaveOpenings",
                             {openings({{cash, 0, 100000, 30000, 10000},
                                        {loan, 0, -60000, 0, 20000},
                                        {receivable, 101, 30000},
                                        {receivable, 102, -10000},
                                        {capital, 0, -60000}})})
                            .toInt();
    QCOMPARE(changed, 5);
    QCOMPARE(value(c, S("SELECT COUNT(*) FROM OperationLog WHERE ObjType = 2007")).toInt(), 4);
    const QVariant t = call(c, "OpeningTrialBalance", {});
    QCOMPARE(answer(t, "OpeningDebit").toLongLong(), 120000);
    QCOMPARE(answer(t, "OpeningCredit").toLongLong(), 120000);
    // The year's openings: 1001 800.00 debit, 1122 200.00 debit; 2001 400.00, 4001 600.00 credit.
    QCOMPARE(answer(t, "YearDebit").toLongLong(), 100000);
    QCOMPARE(answer(t, "YearCredit").toLongLong(), 100000);
    QCOMPARE(answer(t, "Balanced").toBool(), true);

    // Year-to-date figures that leave the year's start unbalanced.
    call(c, "SaveOpenings", {openings({{capital, 0, -60000, 1, 0}})});
    const QVariant off = call(c, "OpeningTrialBalance", {});
    QCOMPARE(answer(off, "OpeningDebit").toLongLong(), answer(off, "OpeningCredit").toLongLong());
    QCOMPARE(answer(off, "YearCredit").toLongLong(), 100001);
    QCOMPARE(answer(off, "Balanced").toBool(), false);
    QSqlQuery log = sql(c, S("SELECT Detail FROM OperationLog WHERE ObjType = 2007 AND ObjKey = "
                             "'4001' ORDER BY LogID DESC"));
    QVERIFY(log.next());
    QCOMPARE(log.value(0).toString(), S("累计借方 0.00 → 0.01"));
}

void TestLedgerChart::openingsLockOncePosted()
{
    auto &c = *m_manager;
    const qint64 capital = idOf(c, "4001");
    sql(c, S("UPDATE FINDocVoucher SET Posted = 1, Status = 2 WHERE DocEntry = 1"));
    const QString before = snapshot(c);
    try {
        call(c, "SaveOpenings", {openings({{capital, 0, -1}})});
        QFAIL("openings changed after a posting");
    } catch (const Error &e) {
        QCOMPARE(e.message(), S("已有凭证记账，期初余额已锁定，不能修改。"));
    }
    QCOMPARE(snapshot(c), before);
}

QTEST_GUILESS_MAIN(TestLedgerChart)
#include "tst_ledgerchart.moc"
