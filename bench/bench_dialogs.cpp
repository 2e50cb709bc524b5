// Lookup dialog benchmark (scripts/bench): RefreshData of a lookup dialog on
// "LX_BMListAccounting" with the default row limit, over 50,000 accounts, into its grid
// (offscreen, shown, painted), beside the bare provider request of the same command text on
// the same connection. The dialog's own work (loading the rows, the grid, keeping the place)
// should cost at most half as much again as the request.
// VEXA_BENCH_ACCOUNTS=n makes the account set smaller (for runs under valgrind).
#include "AppServer.h"
#include "ClientDataSet.h"
#include "DataModule.h"
#include "DocFindForm.h"
#include "Globals.h"
#include "Process.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <sqlite3.h>
#include <string>

using namespace vexa;
using namespace vexa::gl;
using namespace vexa::server;

namespace {

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::abort();
    }
}

// n accounts: a hundred top-level ones, the rest below them; codes are a permutation so
// that the code order is not the insertion order.
void fillAccounts(const QString &path, int n)
{
    sqlite3 *db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db, "open");
    check(sqlite3_exec(db, "PRAGMA foreign_keys = ON; BEGIN", nullptr, nullptr, nullptr), db,
          "begin");
    const char *sql =
        "INSERT INTO T0102010 (AcctID, AcctCode, AcctName, ParentID, Levels, IsNode, LevelCode, "
        "AcctType, AcctTypeCode, DC, CurrCode, ACurrAcct, AdjustRate, QtyEnter, IsControl, "
        "IsEquivalent, InFull, Budget, Frozen, Fixed, DeleteTag, ComeAndGoCheck, IsCostRules, "
        "ACItemID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 'ZC', ?, 'RMB', 0, 0, ?, 0, 0, 1, 0, ?, ?, 0, "
        "0, 0, 0)";
    sqlite3_stmt *s = nullptr;
    check(sqlite3_prepare_v2(db, sql, -1, &s, nullptr), db, "prepare");
    const char *const names[] = {"银行存款", "应收账款",   "库存商品", "定期存款",
                                 "管理费用", "其他应付款", "原材料",   "通知存款"};
    for (int i = 1; i <= n; ++i) {
        const std::string code = std::to_string(10000000 + (qint64(i) * 7919) % n);
        const std::string name = std::string(names[i % 8]) + "-" + std::to_string(i);
        const std::string type = std::to_string(i % 6 + 1);
        sqlite3_bind_int(s, 1, i);
        sqlite3_bind_text(s, 2, code.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, name.c_str(), -1, SQLITE_TRANSIENT);
        if (i > 100)
            sqlite3_bind_int(s, 4, i % 100 + 1);
        else
            sqlite3_bind_null(s, 4);
        sqlite3_bind_int(s, 5, i > 100 ? 2 : 1);
        sqlite3_bind_int(s, 6, i > 100);
        sqlite3_bind_text(s, 7, code.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 8, type.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 9, i % 3 ? "D" : "C", -1, SQLITE_STATIC);
        sqlite3_bind_int(s, 10, i % 10 == 0);
        sqlite3_bind_int(s, 11, i % 50 == 0);
        sqlite3_bind_int(s, 12, i <= 100);
        check(sqlite3_step(s), db, "insert");
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    check(sqlite3_exec(db, "COMMIT; ANALYZE", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
}

// Just what a lookup dialog asks of its host.
class BenchHost : public IPluginHost
{
public:
    IRemoteConnection *connection = nullptr;
    DataModule dataModule;
    QWidget mainWindow;

    QVariant GetValue(const QString &) override { return QVariant(); }
    IRemoteConnection *GetConnection() override { return connection; }
    int OpenModule(const QString &, int, quint32, const QString &, QVariant &) override
    {
        return 0;
    }
    DataModule *GetDataModule() override { return &dataModule; }
    int CheckVersion(const QString &, const QString &) override { return 0; }
    void BeginBusy() override {}
    void EndBusy(bool) override {}
    void EndLaunch(bool) override {}
    void BeginLaunch() override {}
    void Relogin() override {}
    void SetActionState(const QString &, bool, int) override {}
    void ShowHostMessage(const QString &, QChar, const QString &) override {}
    QWidget *MainWindow() override { return &mainWindow; }
};

// An account lookup as the pickers build one.
class AccountFind : public TDocFindForm
{
public:
    AccountFind()
    {
        cdsData = new ClientDataSet(this);
        cdsData->setObjectName(QStringLiteral("cdsData"));
        cdsData->setProviderName(QStringLiteral("LX_BMListAccounting"));
        grdData = new QTableView(this);
        grdData->setObjectName(QStringLiteral("grdData"));
        (new QVBoxLayout(this))->addWidget(grdData);
        BindGrid(grdData, cdsData);
        KeyFieldNames = QStringLiteral("AcctID");
        // The visible columns of the account list's layout in the demo configuration.
        SetDesignedColumns({{QStringLiteral("Levels"), QStringLiteral("级次"), 40},
                            {QStringLiteral("AcctCode"), QStringLiteral("科目代码"), 110},
                            {QStringLiteral("AcctName"), QStringLiteral("科目名称"), 200},
                            {QStringLiteral("DC"), QStringLiteral("余额方向"), 60},
                            {QStringLiteral("CurrName"), QStringLiteral("核算货币"), 80},
                            {QStringLiteral("ACItemDesc"), QStringLiteral("辅助核算项目"), 140}});
        SetWhere(QStringLiteral("IsNode = 1"));
        OrderText = QStringLiteral("AcctType, LevelCode");
        InitDocFind();
    }

    ClientDataSet *cdsData;
    QTableView *grdData;
};

struct Setup
{
    QTemporaryDir dir;
    std::unique_ptr<AppServer> server;
    std::unique_ptr<ServerConnection> connection;
    BenchHost host;
    std::unique_ptr<AccountFind> form;

    Setup()
    {
        const int accounts = qEnvironmentVariableIsSet("VEXA_BENCH_ACCOUNTS")
                                 ? qEnvironmentVariableIntValue("VEXA_BENCH_ACCOUNTS")
                                 : 50000;
        server = AppServer::create(dir.filePath(QStringLiteral("accounts.vexa")), false);
        fillAccounts(server->path(), accounts);
        connection = server->connect();
        host.connection = connection.get();
        host.mainWindow.resize(1280, 800);
        Globals().Host = &host;
        Globals().Connection = connection.get();
        Globals().DataModule = &host.dataModule;
        form = std::make_unique<AccountFind>();
        form->show();
        QApplication::processEvents();
    }

    ~Setup()
    {
        form.reset();
        Globals() = PluginGlobals();
    }
};

Setup *g_setup = nullptr;

void BM_RefreshData_Grid(benchmark::State &state)
{
    AccountFind &form = *g_setup->form;
    form.RefreshData(true);
    form.cdsData->setRecNo(form.cdsData->recordCount() / 2); // a place to keep
    for (auto _ : state) {
        form.RefreshData(true);
        QApplication::processEvents(); // the grid paints its visible rows
    }
    state.counters["rows"] = double(form.cdsData->recordCount());
}
BENCHMARK(BM_RefreshData_Grid)->Unit(benchmark::kMillisecond);

void BM_RefreshData_Request(benchmark::State &state)
{
    AccountFind &form = *g_setup->form;
    const QString command =
        TDocFindForm::ComposeCommandText(form.TopText, form.FixedWhere, form.LinkWhere,
                                         form.ExtraWhere, form.UserWhere, form.OrderText);
    size_t rows = 0;
    for (auto _ : state) {
        const DataPacket packet =
            g_setup->connection->request(QStringLiteral("LX_BMListAccounting"), command);
        rows = packet.rows.size();
        benchmark::DoNotOptimize(packet.rows.data());
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_RefreshData_Request)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    try {
        Setup setup;
        g_setup = &setup;
        benchmark::RunSpecifiedBenchmarks();
        g_setup = nullptr;
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
