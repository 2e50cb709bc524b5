// Chart-of-accounts templates through vexa-admin, on a set of either engine: charts as
// accountants' files hold them read, every problem of a wrong file reported with nothing
// written, the shipped templates exported and imported back unchanged, and an imported chart
// loaded by the configuration's template load and exported again as it came in.
#include "AccountTemplate.h"
#include "AdminRun.h"
#include "ChartTemplateFile.h"
#include "DataAccess.h"
#include "Globals.h"

#include "support/ServerFixture.h"
#include "support/TempSettings.h"
#include "support/TestHost.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {

QString chartFile(const char *name)
{
    return qEnvironmentVariable("VEXA_TEST_DATA") + QStringLiteral("/charts/") +
           QLatin1String(name);
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return f.readAll();
}

test::AdminResult run(const QStringList &args)
{
    return test::runAdminCommand(args);
}

const QStringList kPayloadFields{"AcctXMLData", "AcctTypeXMLData", "T0200096", "T0200097",
                                 "T0200098",    "T0200099",        "T0102053", "T0102055"};

} // namespace

class TestAdminTemplates : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::ServerFixture> m_set;
    QTemporaryDir m_files;

    // The packets of a stored template by field (an empty field: no entry).
    std::map<QString, DataPacket> packets(const QString &code)
    {
        QSqlQuery q(m_set->server->openConnection());
        q.prepare(QStringLiteral("SELECT %1 FROM SMAcctTempData WHERE AcctTempCode = ?")
                      .arg(kPayloadFields.join(QLatin1String(", "))));
        q.addBindValue(code);
        std::map<QString, DataPacket> out;
        if (!q.exec() || !q.next())
            return out;
        for (int i = 0; i < kPayloadFields.size(); ++i)
            if (!q.value(i).toString().isEmpty())
                out[kPayloadFields[i]] = readDataPacket(q.value(i).toString());
        return out;
    }
    int count(const char *table)
    {
        QSqlQuery q(m_set->server->openConnection());
        return q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))) &&
                       q.next()
                   ? q.value(0).toInt()
                   : -1;
    }

private slots:
    void initTestCase() { m_set = std::make_unique<test::ServerFixture>(); }
    void cleanupTestCase() { m_set.reset(); }

    // Where each account goes: the parent from the codes or the column, the type and side
    // from the account or its ancestors, the flags as accountants write them.
    void readsRealWorldFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("detected");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("side");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QVariant>("flagValue");

        const QString gb = chartFile("excel-gb18030.csv");
        const QString dotted = chartFile("dotted.csv");
        const QString own = chartFile("chart-422.csv");
        const auto row = [](const char *tag, const QString &file, const char *encoding,
                            const char *detected, const char *code, const char *name,
                            const char *parent, int level, const char *type, const char *side,
                            const char *flag, const QVariant &flagValue) {
            QTest::newRow(tag) << file << encoding << detected << code << QString::fromUtf8(name)
                               << parent << level << type << side << flag << flagValue;
        };
        row("Excel GB18030, quoted name with commas", gb, "", "GB18030", "140301",
            "原料及主要材料,辅助材料", "1403", 2, "ZC", "D", "QtyEnter", true);
        row("Excel GB18030, type and side from the parent", gb, "", "GB18030", "140302",
            "燃料,动力", "1403", 2, "ZC", "D", "QtyEnter", true);
        row("Excel GB18030 named GBK, third level, a tick", gb, "gbk", "GBK", "22210101",
            "进项税额", "222101", 3, "FZ", "D", "ACurrAcct", false);
        row("Excel GB18030, a tick", gb, "gb18030", "GB18030", "100202", "中国银行（美元户）",
            "1002", 2, "ZC", "D", "ACurrAcct", true);
        row("Excel GB18030, 所有者权益类 by name", gb, "", "GB18030", "4103", "本年利润", "", 1,
            "QY", "C", "Fixed", QVariant());
        row("dotted codes, third level", dotted, "", "UTF-8", "2221.01.02", "销项税额", "2221.01",
            3, "FZ", "C", "", QVariant());
        row("dotted codes, side of the parent, not of the type", dotted, "", "UTF-8", "1231.01",
            "应收账款坏账准备", "1231", 2, "ZC", "C", "", QVariant());
        row("4-2-2 with a parent column", own, "", "UTF-8", "14030102", "热轧卷,开平板", "140301",
            3, "ZC", "D", "Fixed", false);
    }
    void readsRealWorldFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, encoding);
        QFETCH(QString, detected);
        QFETCH(QString, code);
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(int, level);
        QFETCH(QString, type);
        QFETCH(QString, side);
        QFETCH(QString, flag);
        QFETCH(QVariant, flagValue);

        server::ChartReading reading = server::readChartCsv(contents(file), encoding);
        reading.chart.code = QStringLiteral("T1");
        reading.chart.name = QStringLiteral("测试");
        QList<server::ChartProblem> problems = reading.problems;
        problems += server::completeChart(reading.chart, server::LevelLengths::parse("4-2-2"));
        for (const server::ChartProblem &p : problems)
            qWarning() << server::problemText(p, reading.chart.source);
        QVERIFY(problems.isEmpty());
        QCOMPARE(reading.encoding, detected);
        const auto &accounts = reading.chart.accounts;
        const auto a = std::find_if(accounts.begin(), accounts.end(),
                                    [&](const server::ChartAccount &x) { return x.code == code; });
        QVERIFY(a != accounts.end());
        QCOMPARE(a->name, name);
        QCOMPARE(a->parent, parent);
        QCOMPARE(a->level, level);
        QCOMPARE(a->type, type);
        QCOMPARE(a->side, side);
        if (!flag.isEmpty())
            QCOMPARE(a->flags.value(flag), flagValue);
        // Ids in code order, parents pointing at their accounts.
        for (size_t i = 0; i < accounts.size(); ++i) {
            QCOMPARE(accounts[i].id, int(i) + 1);
            if (!accounts[i].parent.isEmpty())
                QCOMPARE(accounts[size_t(accounts[i].parentId - 1)].code, accounts[i].parent);
        }
    }

    // Every wrong row is reported, by line and column, and nothing is written.
    void refusesWrongFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("codes") << chartFile("errors-codes.csv")
                               << QStringList{
                                      "第 4 行，“科目代码”：科目代码“1002”与第 3 行重复。",
                                      "第 5 行，“科目代码”：科目代码“100”有 3 位，与级次长度 "
                                      "4-2-2-2-2-2 不符。",
                                      "第 6 行，“科目代码”：上级科目“1003”不存在。",
                                      "第 7 行，“科目类别”：未知的科目类别“应收类”。",
                                      "第 8 行，“余额方向”：余额方向“左”应为 借 或 贷（D 或 C）。",
                                      "第 9 行，“科目名称”：科目名称“这个科目名称写得非常非常长"
                                      "以至于超过了科目名称字段所能容纳的八十个字节的长度限制所以"
                                      "导入时应当被拒绝而不是截断”太长：最多 80 个字节（汉字算 2 "
                                      "个）。",
                                      "第 10 行，“科目名称”：科目名称不能为空。",
                                      "第 11 行，“科目类别”：科目类别“负债”与一级科目“1403”的类别"
                                      "“资产”不同。",
                                      "第 12 行，“封存”：“也许”应为 是 或 否。",
                                      "第 13 行，“科目代码”：科目代码不能为空。",
                                      "第 14 行，“科目名称”：科目名称不能含有换行或其他控制字符。"};
        QTest::newRow("json") << chartFile("errors.json")
                              << QStringList{"第 2 个科目，“Frozen”：应为 true 或 false。",
                                             "第 3 个科目，“type”：未知的科目类别“FZ”。",
                                             "T0200098 第 2 行，“ItemAcctCode”：报表取数的科目"
                                             "“6051”不在科目表中。"};
        QTest::newRow("parents") << chartFile("errors-parents.csv")
                                 << QStringList{"第 3 行，“上级科目”：科目“A1”的上级科目关系成环。",
                                                "第 6 行，“上级科目”：上级科目“1009”不存在。"};
    }
    void refusesWrongFiles()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, expected);
        const int templates = count("SMAcctTemp"), payloads = count("SMAcctTempData");
        const auto r = run({"templates", "import", m_set->path(), file, "--code", "BAD", "--name",
                            QStringLiteral("错误的科目表")});
        QCOMPARE(r.status, 1);
        QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        QCOMPARE(
            lines.takeLast(),
            QStringLiteral("vexa-admin: 共 %1 处错误，没有导入任何内容。").arg(expected.size()));
        QCOMPARE(lines, expected);
        QCOMPARE(count("SMAcctTemp"), templates);
        QCOMPARE(count("SMAcctTempData"), payloads);
    }

    // Exported and imported back, a template's packets are the shipped ones, and its export
    // the same file.
    void roundTrips_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("format");
        QSqlQuery q(m_set->server->openConnection());
        QVERIFY(q.exec(QStringLiteral("SELECT AcctTempCode FROM SMAcctTemp")));
        int templates = 0;
        while (q.next()) {
            const QString code = q.value(0).toString();
            QTest::newRow(qPrintable(code + QStringLiteral(" json"))) << code << "json";
            ++templates;
        }
        QVERIFY(templates >= 3);
        for (const char *code : {"A01000", "A02000"})
            QTest::newRow(qPrintable(QStringLiteral("%1 csv").arg(QLatin1String(code))))
                << QString::fromLatin1(code) << "csv";
    }
    void roundTrips()
    {
        QFETCH(QString, code);
        QFETCH(QString, format);
        const QString first = m_files.filePath(code + QStringLiteral(".") + format);
        const QString again = m_files.filePath(code + QStringLiteral("-again.") + format);
        const QString copy = QStringLiteral("RT") + code + format;
        QCOMPARE(run({"templates", "export", m_set->path(), code, first}).status, 0);
        const auto imported = run({"templates", "import", m_set->path(), first, "--code", copy,
                                   "--name", QStringLiteral("副本")});
        QVERIFY2(imported.status == 0, qPrintable(imported.err));
        QCOMPARE(run({"templates", "export", m_set->path(), copy, again}).status, 0);

        auto original = packets(code);
        auto back = packets(copy);
        if (format == u"csv") // a CSV file holds the accounts and their types only
            for (auto *p : {&original, &back})
                for (const char *field :
                     {"T0200096", "T0200097", "T0200098", "T0200099", "T0102053", "T0102055"})
                    p->erase(QString::fromLatin1(field));
        QVERIFY(!original.empty());
        QCOMPARE(back.size(), original.size());
        for (const auto &[field, packet] : original) {
            QCOMPARE(back[field].fields, packet.fields);
            QCOMPARE(back[field].rows.size(), packet.rows.size());
            for (size_t r = 0; r < packet.rows.size(); ++r)
                QCOMPARE(back[field].rows[r], packet.rows[r]);
        }

        QByteArray expected = contents(first);
        if (format == u"json") {
            const auto r = server::readChartJson(expected).chart;
            expected.replace(("\"code\": \"" + code + "\"").toUtf8(),
                             ("\"code\": \"" + copy + "\"").toUtf8());
            expected.replace(("\"name\": \"" + r.name + "\"").toUtf8(),
                             QStringLiteral("\"name\": \"副本\"").toUtf8());
        }
        QCOMPARE(contents(again), expected);
    }

    // The whole way: a company's chart imported, listed, loaded by the configuration's
    // template load into the set's chart of accounts, and exported as it came in.
    void importedChartLoads()
    {
        test::TemporarySettings settings;
        test::TestHost host;
        Globals().Host = &host;
        Globals().Connection = host.connection.get();
        Globals().AppServer = host.connection.get();
        const auto cleanup = qScopeGuard([] { Globals() = PluginGlobals(); });
        const QString set = host.dir.filePath(QStringLiteral("test.vexa"));
        const QString input = chartFile("chart-422.csv");

        const auto imported = run({"templates", "import", set, input, "--code", "Z422", "--name",
                                   QStringLiteral("本公司科目表")});
        QVERIFY2(imported.status == 0, qPrintable(imported.err));
        const auto listed = run({"templates", "list", set});
        QCOMPARE(listed.status, 0);
        const QString row =
            listed.out.split(QLatin1Char('\n')).filter(QStringLiteral("Z422")).value(0);
        QVERIFY2(row.contains(QStringLiteral("本公司科目表")) &&
                     row.contains(QStringLiteral(" 36 ")),
                 qPrintable(listed.out));

        {
            ServerTransaction transaction;
            LoadAccountTemplate(QStringLiteral("Z422"), QStringLiteral("RMB"));
            transaction.Commit();
        }
        server::ChartReading file = server::readChartCsv(contents(input));
        file.chart.code = QStringLiteral("Z422");
        file.chart.name = QStringLiteral("本公司科目表");
        QVERIFY(server::completeChart(file.chart).isEmpty());
        auto accounts =
            ProviderDataSet(QStringLiteral("LX_DMAccounting"), QStringLiteral("WHERE 1=1"));
        QCOMPARE(accounts->recordCount(), int(file.chart.accounts.size()));
        QHash<qlonglong, QString> codeOf;
        for (accounts->first(); !accounts->eof(); accounts->next())
            codeOf.insert(accounts->asInteger(QStringLiteral("AcctID")),
                          accounts->asString(QStringLiteral("AcctCode")));
        for (const server::ChartAccount &a : file.chart.accounts) {
            QVERIFY(accounts->locate(QStringLiteral("AcctCode"), a.code));
            QCOMPARE(accounts->asString(QStringLiteral("AcctName")), a.name);
            QCOMPARE(codeOf.value(accounts->asInteger(QStringLiteral("ParentID"))), a.parent);
            QCOMPARE(accounts->asString(QStringLiteral("AcctTypeCode")), a.type);
            QCOMPARE(accounts->asString(QStringLiteral("DC")), a.side);
            QCOMPARE(accounts->value(QStringLiteral("ACurrAcct")).toBool(),
                     a.flags.value(QStringLiteral("ACurrAcct")).toBool());
            QCOMPARE(accounts->value(QStringLiteral("QtyEnter")).toBool(),
                     a.flags.value(QStringLiteral("QtyEnter")).toBool());
        }

        // The set's own chart exported is a template again, with the same tree.
        const QString current = m_files.filePath(QStringLiteral("current.json"));
        QCOMPARE(run({"templates", "export", set, "--current", current}).status, 0);
        const auto again = run({"templates", "import", set, current, "--code", "Z422B", "--name",
                                QStringLiteral("从账套导出")});
        QVERIFY2(again.status == 0, qPrintable(again.err));
        const auto back = server::readChartJson(contents(current)).chart;
        QCOMPARE(back.accounts.size(), file.chart.accounts.size());
        for (size_t i = 0; i < back.accounts.size(); ++i) {
            QCOMPARE(back.accounts[i].code, file.chart.accounts[i].code);
            QCOMPARE(back.accounts[i].parent, file.chart.accounts[i].parent);
            QCOMPARE(back.accounts[i].type, file.chart.accounts[i].type);
        }

        // The template the set's parameters name stays.
        QSqlQuery info(host.server->openConnection());
        QVERIFY(info.exec(QStringLiteral(
            "INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, AcctTempDesc) "
            "VALUES (1, '测试公司', 'RMB', '人民币', 'Z422')")));
        const auto removed = run({"templates", "remove", set, "Z422"});
        QCOMPARE(removed.status, 1);
        QVERIFY2(removed.err.contains(QStringLiteral("不能删除")), qPrintable(removed.err));

        const QString exported = m_files.filePath(QStringLiteral("z422.csv"));
        QCOMPARE(run({"templates", "export", set, "Z422", exported}).status, 0);
        QCOMPARE(contents(exported), contents(input));
    }
};

QTEST_MAIN(TestAdminTemplates)
#include "tst_admintemplates.moc"
