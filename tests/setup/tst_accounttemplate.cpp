// The chart-of-accounts template load against a real account set: what each account is
// adapted to (the control type of SY, SR, SRFY and ZCH accounts among it), report lines
// bound by account code, check list 0 replaced and the others kept, a failing load rolled
// back, the chart-less template's account types and the preview that writes nothing; and
// the parameter records opened by key on a set that lacks them; every shipped chart through
// the load, and the current enterprise chart's statements against a made-up trial balance.
#include "AccountSetParams.h"
#include "AccountTemplate.h"
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "Globals.h"
#include "support/TempSettings.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {

std::unique_ptr<ClientDataSet> open(const char *provider, const char *command = "WHERE 1=1")
{
    return ProviderDataSet(QString::fromLatin1(provider), QString::fromUtf8(command));
}

int count(const char *provider)
{
    return open(provider)->recordCount();
}

DataPacket templatePayload(const char *field, const QString &code = QStringLiteral("A01000"))
{
    return readDataPacket(open("SYS_SMAcctTempData",
                               qPrintable(QStringLiteral("WHERE AcctTempCode = '%1'").arg(code)))
                              ->asString(QString::fromLatin1(field)));
}

void load(const QString &code)
{
    ServerTransaction transaction;
    LoadAccountTemplate(code, QStringLiteral("USD"));
    transaction.Commit();
}

// Rows for tables no provider writes, straight into the account set's file; or a value.
QString sql(const QString &statement)
{
    QSqlQuery q(QSqlDatabase::database(QStringLiteral("direct")));
    if (!q.exec(statement))
        qFatal("%s", qPrintable(statement));
    return q.next() ? q.value(0).toString() : QString();
}

// Rows of a statement on the set's file.
QList<QVariantList> rows(const QString &statement)
{
    QSqlQuery q(QSqlDatabase::database(QStringLiteral("direct")));
    if (!q.exec(statement))
        qFatal("%s", qPrintable(statement));
    QList<QVariantList> out;
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i);
        out << row;
    }
    return out;
}

// The loaded chart's report lines worked out from leaf balances (debit positive), the way
// the fetch types read them: QM and SY on the account's own side, JQM and DQM the debit or
// credit part of its balance; sum lines add their lines, lines by hand stay 0.
class StatementEvaluator
{
public:
    QMap<QString, QString> dc;     // account code -> D/C
    QMap<QString, qint64> balance; // leaf code -> debit-positive balance

    qint64 line(int report, const QString &itemCode)
    {
        const auto found = rows(QStringLiteral("SELECT ItemID FROM T0200097 WHERE TempletID = %1 "
                                               "AND ItemCode = '%2'")
                                    .arg(report)
                                    .arg(itemCode));
        if (found.size() != 1)
            qFatal("line %s of report %d", qPrintable(itemCode), report);
        return value(report, found[0][0].toInt(), 0);
    }

private:
    qint64 net(const QString &code) const
    {
        qint64 sum = 0;
        for (auto it = balance.cbegin(); it != balance.cend(); ++it)
            if (it.key().startsWith(code))
                sum += it.value();
        return sum;
    }
    qint64 fetch(const QString &code, const QString &type) const
    {
        const qint64 n = net(code);
        if (type == u"JQM")
            return std::max<qint64>(n, 0);
        if (type == u"DQM")
            return std::max<qint64>(-n, 0);
        return dc.value(code) == u"C" ? -n : n;
    }
    qint64 value(int report, int item, int depth)
    {
        if (depth > 20)
            qFatal("report %d: the sum lines form a cycle", report);
        const auto type = rows(QStringLiteral("SELECT ItemType FROM T0200097 WHERE TempletID = "
                                              "%1 AND ItemID = %2")
                                   .arg(report)
                                   .arg(item));
        qint64 sum = 0;
        if (type.value(0).value(0).toInt() == 1) {
            for (const QVariantList &t :
                 rows(QStringLiteral("SELECT ItemAcctCode, FetchType, Operator FROM T0200098 "
                                     "WHERE TempletID = %1 AND ItemID = %2")
                          .arg(report)
                          .arg(item)))
                sum += (t[2].toString() == u"-" ? -1 : 1) * fetch(t[0].toString(), t[1].toString());
        } else if (type.value(0).value(0).toInt() == 2) {
            for (const QVariantList &t :
                 rows(QStringLiteral("SELECT SumItemID, Operator FROM T0200099 WHERE TempletID = "
                                     "%1 AND ItemID = %2")
                          .arg(report)
                          .arg(item)))
                sum += (t[1].toString() == u"-" ? -1 : 1) * value(report, t[0].toInt(), depth + 1);
        }
        return sum;
    }
};

// A template with the given accounts and, when given, check list 0's levels.
void addTemplate(const QString &code, const DataPacket &accounts, const DataPacket &levels = {})
{
    auto list = open("SYS_SMAcctTemp");
    list->append();
    list->setValue("AcctTempCode", code);
    list->setValue("AcctTempDesc", QStringLiteral("测试行业"));
    ApplyChanges(*list, true);
    auto data = open("SYS_SMAcctTempData");
    data->append();
    data->setValue("AcctTempCode", code);
    data->setValue("AcctXMLData", writeDataPacket(accounts));
    if (!levels.isEmpty())
        data->setValue("T0102053", writeDataPacket(levels));
    ApplyChanges(*data, true);
}

} // namespace

class TestAccountTemplate : public QObject
{
    Q_OBJECT

    vexa::test::TemporarySettings m_settings;
    std::unique_ptr<vexa::test::TestHost> m_host;

private slots:
    void initTestCase()
    {
        m_host = std::make_unique<vexa::test::TestHost>();
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = m_host->connection.get();
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("direct"));
        db.setDatabaseName(m_host->dir.filePath(QStringLiteral("test.vexa")));
        QVERIFY(db.open());
    }
    void cleanupTestCase()
    {
        QSqlDatabase::database(QStringLiteral("direct")).close();
        QSqlDatabase::removeDatabase(QStringLiteral("direct"));
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // Loaded twice: one copy of every table, each account adapted to the set.
    void loadAdaptsAccounts()
    {
        load(QStringLiteral("A01000"));
        load(QStringLiteral("A01000"));
        DataPacket tpl = templatePayload("AcctXMLData");
        QCOMPARE(count("LX_DMAccttype"), int(templatePayload("AcctTypeXMLData").rows.size()));
        QCOMPARE(count("LX_FINGLReportTempletItem"), int(templatePayload("T0200097").rows.size()));
        auto accounts = open("LX_DMAccounting");
        QCOMPARE(accounts->recordCount(), int(tpl.rows.size()));
        const auto cell = [&](const QVariantList &row, const char *field) {
            return row.value(indexOfField(tpl.fields, QLatin1String(field)));
        };
        int controlled = 0;
        for (const QVariantList &row : tpl.rows) {
            QVERIFY(accounts->locate("AcctCode", cell(row, "AcctCode")));
            QCOMPARE(accounts->asString("CurrCode"), QStringLiteral("USD"));
            QCOMPARE(accounts->value("IsControl"), QVariant(false));
            QCOMPARE(accounts->value("Frozen"), QVariant(cell(row, "Frozen").toBool()));
            QCOMPARE(accounts->value("InFull"),
                     QVariant(cell(row, "IsNode").toBool() || cell(row, "InFull").toBool()));
            const QVariant control = accounts->value("ControlType");
            if (cell(row, "AcctTypeCode").toString() == u"SY") {
                ++controlled;
                QCOMPARE(control.toInt(), cell(row, "DC").toString() == u"C" ? 1 : 2);
            }
        }
        QVERIFY(controlled > 5); // or the loop proved little
        // Every report line points at the account of its code or at none.
        QCOMPARE(
            sql(QStringLiteral("SELECT COUNT(*) FROM T0200098 r LEFT JOIN T0102010 a "
                               "ON a.AcctCode = r.ItemAcctCode WHERE r.AcctID IS NOT a.AcctID")),
            QStringLiteral("0"));
        QVERIFY(sql(QStringLiteral("SELECT COUNT(*) FROM T0200098 WHERE AcctID IS NULL")).toInt() <
                int(templatePayload("T0200098").rows.size()));
    }

    // A smaller template: the report templates stay but their lines follow the new chart;
    // only check list 0 is replaced; SR, SRFY and ZCH accounts are control accounts too.
    void smallerTemplateAndCheckListZero()
    {
        sql(QStringLiteral("UPDATE T0200098 SET ItemAcctCode = '9999', AcctID = 1 WHERE rowid = "
                           "(SELECT MIN(rowid) FROM T0200098 WHERE AcctID IS NOT NULL)"));
        sql(QStringLiteral("INSERT INTO T0102053 (DacvID, ACheckID, DacvCode) VALUES "
                           "(100, 0, 'OLD'), (200, 5, 'D01')"));
        sql(QStringLiteral("INSERT INTO T0102057 (DacvID, AcctID, PeriodID) VALUES (100, 1, "
                           "1), (200, 1, 1)"));
        DataPacket accounts = templatePayload("AcctXMLData");
        accounts.rows.resize(3);
        const char *types[][3] = {{"SR", "C", "1"}, {"SRFY", "D", "2"}, {"ZCH", "C", "1"}};
        for (int i = 0; i < 3; ++i) {
            accounts.rows[i][indexOfField(accounts.fields, "AcctTypeCode")] = types[i][0];
            accounts.rows[i][indexOfField(accounts.fields, "DC")] = types[i][1];
            accounts.rows[i][indexOfField(accounts.fields, "ControlType")] = 0;
        }
        DataPacket levels{open("LX_FINBaseACheckLevels")->fieldDefs(), {}};
        QVariantList level(levels.fields.size());
        level[indexOfField(levels.fields, "DacvID")] = 300;
        level[indexOfField(levels.fields, "ACheckID")] = 0;
        levels.rows.push_back(level);
        addTemplate(QStringLiteral("T2"), accounts, levels);
        const int reports = count("LX_FINGLReportTempletForAcctDef");
        load(QStringLiteral("T2"));

        QCOMPARE(count("LX_FINGLReportTempletForAcctDef"), reports);
        QVERIFY(open("LX_FINGLReportTempletForAcctDef", "WHERE ItemAcctCode = '9999'")
                    ->isNull("AcctID"));
        QCOMPARE(
            sql(QStringLiteral("SELECT GROUP_CONCAT(DacvID) FROM T0102053 WHERE ACheckID = 5")),
            QStringLiteral("200"));
        QCOMPARE(
            sql(QStringLiteral("SELECT GROUP_CONCAT(DacvID) FROM T0102053 WHERE ACheckID = 0")),
            QStringLiteral("300"));
        QCOMPARE(sql(QStringLiteral("SELECT GROUP_CONCAT(DacvID) FROM T0102057")),
                 QStringLiteral("200"));
        auto loaded = open("LX_DMAccounting");
        QCOMPARE(loaded->recordCount(), 3);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(loaded->locate("AcctCode",
                                   accounts.rows[i][indexOfField(accounts.fields, "AcctCode")]));
            QCOMPARE(loaded->asString("ControlType"), QLatin1String(types[i][2]));
        }
    }

    // The address, the inventory accounting row and the check lists of a set lacking them.
    void recordsOpenedByKey()
    {
        auto address = OpenAddressRecord(0);
        QVERIFY(address->value("AddressID").isNull());
        QCOMPARE(address->state(), ClientDataSet::State::Insert);
        // A key the information record names but the table lacks stays on the new row.
        address = OpenAddressRecord(77);
        address->setValue("AddrDesc", QStringLiteral("上海市浦东新区"));
        address->post();
        ApplyChanges(*address, true);
        address = OpenAddressRecord(77);
        QCOMPARE(address->changeCount(), 0);
        QCOMPARE(address->asString("AddrDesc"), QStringLiteral("上海市浦东新区"));
        // A new inventory record has no PartAcctID yet: read as 0.
        QCOMPARE(OpenPartAcctConfig(QVariant())->asInteger("PartAcctID"), 0);
        QCOMPARE(OpenPartAcctConfig(5)->asInteger("PartAcctID"), 5);

        // The template load above left the server without list 0: it is still offered, and
        // saving the lookup never writes it.
        QVERIFY(open("LX_FINBaseACheckItem", "WHERE ACheckID = 0")->isEmpty());
        auto lists = OpenEntryCheckLists();
        QCOMPARE(lists->asInteger("ACheckID"), 0);
        QCOMPARE(lists->asString("ACheckCode"), QStringLiteral("自定义"));
        QCOMPARE(lists->changeCount(), 0);
    }

    void emptyUnknownAndFailingTemplates()
    {
        const int stored = count("LX_DMAccounting");
        load(CustomChartTemplate); // no accounts: nothing is deleted
        QCOMPARE(count("LX_DMAccounting"), stored);
        QCOMPARE(errorOf([] { load(QStringLiteral("Z'99")); }),
                 QStringLiteral("行业科目模板“Z'99”不存在。"));
        // Two accounts with one code: the apply fails and the deleted chart comes back.
        DataPacket twice = templatePayload("AcctXMLData");
        twice.rows.resize(2);
        const int code = indexOfField(twice.fields, "AcctCode");
        twice.rows[1][code] = twice.rows[0][code];
        addTemplate(QStringLiteral("T3"), twice);
        QVERIFY(!errorOf([] { load(QStringLiteral("T3")); }).isEmpty());
        QCOMPARE(count("LX_DMAccounting"), stored);
    }

    void defaultAccountTypesAndPreview()
    {
        sql(QStringLiteral("DELETE FROM T0102011"));
        auto chosen = open("LX_DMAccttype", "WHERE -1=1");
        for (const char *name : {"资产", "负债", "权益"}) {
            chosen->append();
            chosen->setValue("AcctType", 1);
            chosen->setValue("AcctTypeDesc", QString::fromUtf8(name));
            chosen->post();
        }
        WriteDefaultAccountTypes(*chosen);
        const QString types = QStringLiteral(
            "SELECT GROUP_CONCAT(AcctType) FROM (SELECT AcctType FROM T0102011 ORDER BY AcctType)");
        QCOMPARE(sql(types), QStringLiteral("1,2,3"));
        // A gap among the stored numbers: the next type goes past the largest, not onto it.
        sql(QStringLiteral("UPDATE T0102011 SET AcctType = 7 WHERE AcctType = 2"));
        WriteDefaultAccountTypes(*chosen);
        QCOMPARE(sql(types), QStringLiteral("1,3,7,8,9,10"));

        const int stored = count("LX_DMAccounting");
        const DataPacket tpl = templatePayload("AcctXMLData", QStringLiteral("A02000"));
        const TemplatePreview preview = BuildTemplatePreview(QStringLiteral("A02000"), "RMB");
        QCOMPARE(preview.accounts->recordCount(), int(tpl.rows.size()));
        QVERIFY(preview.accountTypes->recordCount() > 0);
        QCOMPARE(preview.accounts->asString("CurrCode"), QStringLiteral("RMB"));
        // Only currency, control flag and control type are adapted for browsing.
        QCOMPARE(preview.accounts->value("InFull"),
                 tpl.rows[0][indexOfField(tpl.fields, "InFull")]);
        QCOMPARE(count("LX_DMAccounting"), stored);
    }
    // The shipped charts with their reports, each loaded as a company loads it.
    void shippedCharts_data()
    {
        QTest::addColumn<QString>("code");
        auto templates = open("SYS_SMAcctTempData", "WHERE 1=1 ORDER BY AcctTempCode");
        int charts = 0;
        for (templates->first(); !templates->eof(); templates->next())
            if (!templates->asString("T0200096").isEmpty() && ++charts)
                QTest::newRow(qPrintable(templates->asString("AcctTempCode")))
                    << templates->asString("AcctTempCode");
        QVERIFY(charts >= 3);
    }
    void shippedCharts()
    {
        QFETCH(QString, code);
        load(code);
        QCOMPARE(sql(QStringLiteral("SELECT COUNT(*) FROM T0200098 WHERE AcctID IS NULL")),
                 QStringLiteral("0"));
        // Each account has its first-level account's type; a profit-and-loss sub-account its
        // side too, as the load sets the control type from it.
        StatementEvaluator chart;
        struct Account
        {
            QString code, parent, type, dc;
            bool leaf, frozen;
        };
        QMap<QString, Account> accounts; // by AcctID
        for (const QVariantList &r :
             rows(QStringLiteral("SELECT AcctID, AcctCode, ParentID, AcctType || AcctTypeCode, "
                                 "DC, IsNode, Frozen FROM T0102010")))
            accounts.insert(r[0].toString(), {r[1].toString(), r[2].toString(), r[3].toString(),
                                              r[4].toString(), r[5].toBool(), r[6].toBool()});
        QVERIFY(accounts.size() > 100);
        for (const Account &a : accounts) {
            const Account *top = &a;
            while (!top->parent.isEmpty()) {
                const auto parent = accounts.constFind(top->parent);
                QVERIFY2(parent != accounts.cend(), qPrintable(top->code));
                top = &*parent;
            }
            QVERIFY2(a.type == top->type, qPrintable(a.code));
            if (a.type.endsWith(u"SY"))
                QVERIFY2(a.dc == top->dc, qPrintable(a.code));
            chart.dc.insert(a.code, a.dc);
        }
        // Made-up amounts on every usable profit-and-loss leaf: the net profit is what they
        // close into the current-year profit (prior-year adjustments go to retained profit).
        int i = 0;
        qint64 profit = 0;
        for (const Account &a : accounts) {
            if (!a.leaf || a.frozen || !a.type.endsWith(u"SY") || a.code == u"6901")
                continue;
            const qint64 amount = (100 + ++i * 37) * (a.dc == u"D" ? 1 : -1);
            chart.balance.insert(a.code, amount);
            profit -= amount;
        }
        QVERIFY(i > 10 && profit != 0);
        QCOMPARE(chart.line(2, QStringLiteral("JLR")), profit);
        if (code != u"A02000") // the small-enterprise form has no comprehensive income
            QCOMPARE(chart.line(2, QStringLiteral("ZHSYZE")), profit); // no OCI typed in

        // Made-up closing balances on every other usable leaf, every third on the other side,
        // the paid-in capital taking the difference: assets and the other side agree.
        chart.balance.clear();
        qint64 total = 0;
        for (const Account &a : accounts) {
            if (!a.leaf || a.frozen || a.type.endsWith(u"SY"))
                continue;
            ++i;
            const qint64 amount = (100 + i * 37) * (a.dc == u"D" ? 1 : -1) * (i % 3 ? 1 : -1);
            chart.balance.insert(a.code, amount);
            total += amount;
        }
        chart.balance[QStringLiteral("4001")] -= total;
        QVERIFY(chart.balance[QStringLiteral("4001")] != 0);
        const qint64 assets = chart.line(1, QStringLiteral("ZCZJ"));
        QVERIFY(assets > 0);
        QCOMPARE(chart.line(1, QStringLiteral("FZSYZQYZJ")), assets);
    }
};

QTEST_MAIN(TestAccountTemplate)
#include "tst_accounttemplate.moc"
