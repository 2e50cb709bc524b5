// Account-set setup benchmark (scripts/bench), on the demo account set:
// - the chart-of-accounts template load of 企业会计准则 (accounts, types, four report
//   tables, the rebinding statements) beside copying the same rows unadapted through the
//   same providers in one transaction: the load's own work (adapting each account, the two
//   rebinding statements) should stay a small share;
// - the same load beside a bare insert of the rows it writes (BM_BareInsert): on the same
//   connection, in one transaction, the six deletes, every row through sqlite3_bind_* and
//   the two rebinding updates. The load should take at most twice that;
// - a company's chart of 5,000 accounts (4-2-2 codes) imported as vexa-admin imports it
//   (CSV parsed, every row checked, the template row stored) beside the template load of the
//   same chart: the import should take at most twice the load;
// - the whole first save of a new set (600 periods, start periods, options, chart, every
//   record) as the configuration dialog runs it.
#include "support/TestHost.h"

#include "AccountSetConfig.h"
#include "AccountTemplate.h"
#include "ChartTemplateFile.h"
#include "ChartTemplateStore.h"
#include "DataAccess.h"
#include "FiscalCalendar.h"
#include "Globals.h"
#include "Process.h"
#include "SqliteStatement.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <variant>
#include <vector>

using namespace vexa;
using namespace vexa::gl;

namespace {

void useHost(test::TestHost &host)
{
    Globals().Host = &host;
    Globals().Connection = host.connection.get();
    Globals().AppServer = host.connection.get();
    Globals().DataModule = &host.dataModule;
}

DataPacket payload(const char *field)
{
    auto record = ProviderDataSet(QStringLiteral("SYS_SMAcctTempData"),
                                  QStringLiteral("WHERE AcctTempCode = 'A01000'"));
    return readDataPacket(record->asString(QString::fromLatin1(field)));
}

void BM_LoadTemplate(benchmark::State &state)
{
    test::TestHost host;
    useHost(host);
    for (auto _ : state) {
        BeginTrans();
        LoadAccountTemplate(QStringLiteral("A01000"), QStringLiteral("RMB"));
        state.PauseTiming();
        RollbackTrans();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadTemplate)->Unit(benchmark::kMillisecond);

void BM_CopyTemplateRowsUnadapted(benchmark::State &state)
{
    test::TestHost host;
    useHost(host);
    const QList<std::pair<const char *, const char *>> tables = {
        {"LX_DMAccounting", "AcctXMLData"},
        {"LX_DMAccttype", "AcctTypeXMLData"},
        {"LX_FINGLReportTemplet", "T0200096"},
        {"LX_FINGLReportTempletItem", "T0200097"},
        {"LX_FINGLReportTempletForAcctDef", "T0200098"},
        {"LX_FINGLReportTempletForSUM", "T0200099"}};
    for (auto _ : state) {
        BeginTrans();
        // Read and parsed each time, as the load reads the template row each time.
        for (const auto &[provider, field] : tables) {
            auto target =
                ProviderDataSet(QString::fromLatin1(provider), QStringLiteral("WHERE 1=1"));
            AppendSharedRows(*target, payload(field));
            ApplyChanges(*target, false);
        }
        state.PauseTiming();
        RollbackTrans();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CopyTemplateRowsUnadapted)->Unit(benchmark::kMillisecond);

// A stored value as the C API hands it over, and one table's rows.
using CValue = std::variant<std::monostate, sqlite3_int64, double, std::string>;
struct TableRows
{
    std::string insert; // INSERT INTO t (every column) VALUES (?, ...)
    std::vector<std::vector<CValue>> rows;
};

sqlite3 *handleOf(test::TestHost &host)
{
    sqlite3 *db = server::sqliteHandle(host.connection->database());
    if (!db)
        qFatal("the benchmark's set is not SQLite");
    return db;
}

void run(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK)
        qFatal("%s: %s", sql, message);
}

const char *const kLoadedTables[] = {"T0102010", "T0200096", "T0200097",
                                     "T0200098", "T0200099", "T0102011"};

// The rows a load of the template writes: loaded once and read back before a rollback.
std::vector<TableRows> loadedRows(test::TestHost &host, const QString &code)
{
    sqlite3 *db = handleOf(host);
    BeginTrans();
    LoadAccountTemplate(code, QStringLiteral("RMB"));
    std::vector<TableRows> tables;
    for (const char *table : kLoadedTables) {
        TableRows t;
        sqlite3_stmt *s = nullptr;
        const std::string select = std::string("SELECT * FROM ") + table;
        sqlite3_prepare_v2(db, select.c_str(), -1, &s, nullptr);
        std::string columns, marks;
        for (int c = 0; c < sqlite3_column_count(s); ++c) {
            columns += std::string(c ? ", \"" : "\"") + sqlite3_column_name(s, c) + "\"";
            marks += c ? ", ?" : "?";
        }
        t.insert =
            std::string("INSERT INTO ") + table + " (" + columns + ") VALUES (" + marks + ")";
        while (sqlite3_step(s) == SQLITE_ROW) {
            std::vector<CValue> row;
            for (int c = 0; c < sqlite3_column_count(s); ++c) {
                switch (sqlite3_column_type(s, c)) {
                case SQLITE_INTEGER:
                    row.emplace_back(sqlite3_column_int64(s, c));
                    break;
                case SQLITE_FLOAT:
                    row.emplace_back(sqlite3_column_double(s, c));
                    break;
                case SQLITE_NULL:
                    row.emplace_back(std::monostate{});
                    break;
                default:
                    row.emplace_back(
                        std::string(reinterpret_cast<const char *>(sqlite3_column_text(s, c)),
                                    size_t(sqlite3_column_bytes(s, c))));
                }
            }
            t.rows.push_back(std::move(row));
        }
        sqlite3_finalize(s);
        tables.push_back(std::move(t));
    }
    RollbackTrans();
    return tables;
}

// The load done bare: the six deletes, every row bound and stepped, the two updates.
void bareInsert(sqlite3 *db, const std::vector<TableRows> &tables)
{
    run(db, "BEGIN IMMEDIATE");
    for (const char *table : kLoadedTables)
        run(db, (std::string("DELETE FROM ") + table).c_str());
    for (const TableRows &t : tables) {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db, t.insert.c_str(), -1, &s, nullptr) != SQLITE_OK)
            qFatal("%s: %s", t.insert.c_str(), sqlite3_errmsg(db));
        for (const auto &row : t.rows) {
            for (size_t i = 0; i < row.size(); ++i) {
                const int n = int(i) + 1;
                if (const auto *w = std::get_if<sqlite3_int64>(&row[i]))
                    sqlite3_bind_int64(s, n, *w);
                else if (const auto *d = std::get_if<double>(&row[i]))
                    sqlite3_bind_double(s, n, *d);
                else if (const auto *text = std::get_if<std::string>(&row[i]))
                    sqlite3_bind_text(s, n, text->data(), int(text->size()), SQLITE_STATIC);
                else
                    sqlite3_bind_null(s, n);
            }
            if (sqlite3_step(s) != SQLITE_DONE)
                qFatal("%s: %s", t.insert.c_str(), sqlite3_errmsg(db));
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
    }
    run(db, "UPDATE T0200098 SET AcctID = NULL WHERE ItemAcctCode NOT IN "
            "(SELECT AcctCode FROM T0102010)");
    run(db, "UPDATE T0200098 SET AcctID = T0102010.AcctID FROM T0102010 "
            "WHERE T0200098.ItemAcctCode = T0102010.AcctCode ");
}

void BM_BareInsert(benchmark::State &state)
{
    test::TestHost host;
    useHost(host);
    sqlite3 *db = handleOf(host);
    const std::vector<TableRows> tables = loadedRows(host, QStringLiteral("A01000"));
    size_t rows = 0;
    for (const TableRows &t : tables)
        rows += t.rows.size();
    for (auto _ : state) {
        bareInsert(db, tables);
        state.PauseTiming();
        run(db, "ROLLBACK");
        state.ResumeTiming();
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_BareInsert)->Unit(benchmark::kMillisecond);

// 100 first-level accounts, 7 regions under each, 6 companies under each region: 5,000
// accounts in 4-2-2 codes, as a company's own chart saved from Excel holds them.
QByteArray companyChart()
{
    struct First
    {
        int from;
        const char *type;
        const char *side;
        QStringList names;
    };
    const QList<First> firsts{
        {1001, "资产", "借",
         QStringList{
             "库存现金",         "银行存款",       "其他货币资金", "交易性金融资产", "应收票据",
             "应收账款",         "预付账款",       "应收股利",     "应收利息",       "其他应收款",
             "材料采购",         "在途物资",       "原材料",       "材料成本差异",   "库存商品",
             "发出商品",         "委托加工物资",   "周转材料",     "长期股权投资",   "投资性房地产",
             "长期应收款",       "固定资产",       "在建工程",     "工程物资",       "固定资产清理",
             "无形资产",         "商誉",           "长期待摊费用", "递延所得税资产", "合同资产",
             "债权投资",         "其他债权投资",   "使用权资产",   "应收款项融资",   "持有待售资产",
             "其他权益工具投资", "生产性生物资产", "油气资产",     "存货跌价准备",   "坏账准备"}},
        {2001, "负债", "贷",
         QStringList{"短期借款",     "交易性金融负债", "应付票据",   "应付账款",   "预收账款",
                     "应付职工薪酬", "应交税费",       "应付利息",   "应付股利",   "其他应付款",
                     "长期借款",     "应付债券",       "长期应付款", "专项应付款", "预计负债",
                     "递延收益",     "递延所得税负债", "合同负债",   "租赁负债",   "持有待售负债"}},
        {4001, "所有者权益", "贷",
         QStringList{"实收资本", "资本公积", "盈余公积", "本年利润", "利润分配", "库存股",
                     "其他综合收益", "专项储备"}},
        {5001, "成本", "借",
         QStringList{"生产成本", "制造费用", "劳务成本", "研发支出", "合同履约成本", "合同取得成本",
                     "工程施工", "机械作业"}},
        {6001, "损益", "贷",
         QStringList{"主营业务收入", "其他业务收入", "投资收益",         "营业外收入",
                     "其他收益",     "资产处置损益", "公允价值变动损益", "汇兑损益",
                     "主营业务成本", "其他业务成本", "税金及附加",       "销售费用",
                     "管理费用",     "财务费用",     "信用减值损失",     "资产减值损失",
                     "营业外支出",   "所得税费用",   "以前年度损益调整", "研发费用",
                     "勘探费用",     "利息支出",     "手续费及佣金支出", "提取保险责任准备金"}}};
    const QStringList regions{"华东区", "华南区", "华北区", "华中区", "西南区", "西北区", "东北区"};
    const QStringList cities{"上海", "广州", "北京", "武汉", "成都", "西安"};
    const QStringList trades{"宏达机械", "永信电子", "恒丰纺织",
                             "金桥物流", "新华建材", "瑞丰食品"};
    QString text = QStringLiteral("科目代码,科目名称,科目类别,余额方向\r\n");
    for (const First &first : firsts) {
        for (int i = 0; i < first.names.size(); ++i) {
            const QString code = QString::number(first.from + i);
            const QString type = QString::fromUtf8(first.type);
            text += QStringLiteral("%1,%2,%3,%4\r\n")
                        .arg(code, first.names[i], type, QString::fromUtf8(first.side));
            for (int r = 0; r < regions.size(); ++r) {
                const QString region =
                    code + QStringLiteral("%1").arg(r + 1, 2, 10, QLatin1Char('0'));
                text += QStringLiteral("%1,%2,,\r\n").arg(region, regions[r]);
                for (int c = 0; c < cities.size(); ++c)
                    text += QStringLiteral("%1%2,\"%3%4有限公司,%5分公司\",,\r\n")
                                .arg(region)
                                .arg(c + 1, 2, 10, QLatin1Char('0'))
                                .arg(cities[c], trades[(c + r + i) % trades.size()], regions[r]);
            }
        }
    }
    return text.toUtf8();
}

// Parsed, checked and stored as `vexa-admin templates import` does it (replacing the copy
// of the iteration before).
void importCompanyChart(server::ServerConnection &connection, const QByteArray &csv)
{
    server::ChartReading reading = server::readChartCsv(csv);
    reading.chart.code = QStringLiteral("B5000");
    reading.chart.name = QStringLiteral("五千科目的公司");
    QList<server::ChartProblem> problems = reading.problems;
    problems += server::completeChart(reading.chart, server::LevelLengths::parse("4-2-2"));
    if (!problems.isEmpty() || reading.chart.accounts.size() != 5000)
        qFatal("the benchmark's chart is wrong: %s",
               qPrintable(problems.isEmpty()
                              ? QStringLiteral("not 5000 accounts")
                              : server::problemText(problems.first(), reading.chart.source)));
    server::ChartTemplateStore(connection).store(reading.chart, true);
}

void BM_ImportChart5000(benchmark::State &state)
{
    test::TestHost host;
    useHost(host);
    const QByteArray csv = companyChart();
    for (auto _ : state)
        importCompanyChart(*host.connection, csv);
}
BENCHMARK(BM_ImportChart5000)->Unit(benchmark::kMillisecond);

void BM_LoadChart5000(benchmark::State &state)
{
    test::TestHost host;
    useHost(host);
    importCompanyChart(*host.connection, companyChart());
    for (auto _ : state) {
        BeginTrans();
        LoadAccountTemplate(QStringLiteral("B5000"), QStringLiteral("RMB"));
        state.PauseTiming();
        RollbackTrans();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadChart5000)->Unit(benchmark::kMillisecond);

void BM_BareInsertChart5000(benchmark::State &state)
{
    test::TestHost host;
    useHost(host);
    importCompanyChart(*host.connection, companyChart());
    sqlite3 *db = handleOf(host);
    const std::vector<TableRows> tables = loadedRows(host, QStringLiteral("B5000"));
    for (auto _ : state) {
        bareInsert(db, tables);
        state.PauseTiming();
        run(db, "ROLLBACK");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BareInsertChart5000)->Unit(benchmark::kMillisecond);

void BM_FirstSave(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto host = std::make_unique<test::TestHost>();
        useHost(*host);
        ClientDataSet periods;
        periods.setFieldDefs(FiscalCalendar::periodFields());
        periods.createDataSet();
        FiscalCalendar(periods).generate(2027);
        periods.setFiltered(false);
        const DataPacket rows = periods.data();
        state.ResumeTiming();

        AccountSetConfig config;
        config.Load(QDate(2027, 1, 15));
        config.Info().setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
        config.TakePeriods(rows, 2024, 12, 0);
        if (config.Validate())
            state.SkipWithError("validation refused the new set");
        config.Save(false);

        state.PauseTiming();
        Globals() = PluginGlobals();
        host.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstSave)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Globals() = PluginGlobals();
    return 0;
}
