// Application server benchmarks, each beside the same work done through the sqlite3 C API
// on the same file in the same run (scripts/bench):
//   (a) a provider request "TOP 2000 WHERE AcctName LIKE '%存款%' ORDER BY AcctCode" on
//       10,000, 50,000 and 500,000 accounts against prepare / step / reading every column,
//       the two side by side for each size;
//   (b) apply-updates of a 10,000-row insert delta against prepared inserts in one
//       transaction;
//   (c) requests with IN lists of 5,000 to 40,000 items on 50,000 accounts (growth, no
//       baseline);
//   (d) a request for one account by its key on 10,000 accounts against the same on the
//       C API: the request's own overhead;
//   (e) the apply of (b) at 10,000 to 300,000 rows, provider and C API, for how an import
//       grows. Experiments, each on a throw-away set: VEXA_BENCH_CACHE_KB=n gives both
//       connections a page cache of n KiB; VEXA_BENCH_NO_TRIGGER=1 drops the full-name
//       triggers; VEXA_BENCH_SORTED=1 inserts the accounts in code order.
// VEXA_BENCH_ACCOUNTS=n[,n...] sets the sizes of (a), e.g. smaller for runs under valgrind;
// (c) then reads the first. Each set is built once through the C API, in one transaction.
#include "AppServer.h"
#include "Process.h"
#include "ProviderCatalog.h"

#include <vexa/Error.h>

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <functional>
#include <map>
#include <sqlite3.h>
#include <string>
#include <variant>
#include <vector>

using namespace vexa;
using namespace vexa::server;

namespace {

constexpr int kInsertRows = 10000;
const QString kCommand = QStringLiteral("TOP 2000 WHERE AcctName LIKE '%存款%' ORDER BY AcctCode");

// A column value as the C API hands it over.
using CValue = std::variant<std::monostate, sqlite3_int64, double, std::string>;

const char *const kPrefixes[] = {"银行存款", "应收账款",   "库存商品", "定期存款",
                                 "管理费用", "其他应付款", "原材料",   "通知存款"};

// Account i (1-based) of a set of n: codes are a permutation of 0..n-1 so that the code
// order is not the insertion order; three names in eight contain "存款".
QVariantList account(const QList<FieldDef> &fields, int i, int n)
{
    const auto v = [&](const char *name, const QVariant &value) {
        return std::pair<QString, QVariant>(QLatin1String(name), value);
    };
    const qint64 code = (qint64(i) * 7919) % n;
    const QString codeText = QStringLiteral("%1").arg(10000000 + code);
    const QHash<QString, QVariant> values{
        v("AcctID", i),
        v("AcctCode", codeText),
        v("AcctName", QStringLiteral("%1-%2").arg(QString::fromUtf8(kPrefixes[i % 8])).arg(i)),
        v("ParentID", i > 100 ? QVariant(i % 100 + 1) : QVariant()),
        v("Levels", i > 100 ? 2 : 1),
        v("IsNode", i > 100),
        v("LevelCode", codeText),
        v("AcctType", QString::number(i % 6 + 1)),
        v("AcctTypeCode", QStringLiteral("ZC")),
        v("DC", i % 3 ? QStringLiteral("D") : QStringLiteral("C")),
        v("CurrCode", QStringLiteral("RMB")),
        v("ACurrAcct", false),
        v("AdjustRate", false),
        v("QtyEnter", i % 10 == 0),
        v("IsControl", false),
        v("IsEquivalent", false),
        v("InFull", true),
        v("Budget", false),
        v("Frozen", i % 50 == 0),
        v("Fixed", i <= 100),
        v("DeleteTag", false),
        v("ComeAndGoCheck", false),
        v("IsCostRules", false),
        v("ACItemID", 0),
    };
    QVariantList row;
    for (const FieldDef &f : fields)
        row << coerceToField(f, values.value(f.name));
    return row;
}

CValue toC(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        return std::monostate{};
    case QMetaType::Bool:
        return sqlite3_int64(v.toBool());
    case QMetaType::Int:
    case QMetaType::LongLong:
        return sqlite3_int64(v.toLongLong());
    case QMetaType::Double:
        return v.toDouble();
    default:
        return v.toString().toStdString();
    }
}

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::abort();
    }
}

void exec(sqlite3 *db, const std::string &sql)
{
    check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str());
}

sqlite3 *openC(const QString &path)
{
    sqlite3 *db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db, "open");
    // The settings of the server's connections.
    exec(db, "PRAGMA foreign_keys = ON; PRAGMA busy_timeout = 5000; PRAGMA synchronous = FULL");
    return db;
}

// Not "bind": std::bind, found through CValue, would take a non-const value.
void bindValue(sqlite3_stmt *s, int i, const CValue &v)
{
    if (const auto *n = std::get_if<sqlite3_int64>(&v))
        sqlite3_bind_int64(s, i, *n);
    else if (const auto *d = std::get_if<double>(&v))
        sqlite3_bind_double(s, i, *d);
    else if (const auto *t = std::get_if<std::string>(&v))
        sqlite3_bind_text(s, i, t->data(), int(t->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(s, i);
}

std::string insertStatement(const QList<FieldDef> &fields)
{
    std::string columns, marks;
    for (const FieldDef &f : fields) {
        columns += (columns.empty() ? "\"" : ", \"") + f.name.toStdString() + "\"";
        marks += marks.empty() ? "?" : ", ?";
    }
    return "INSERT INTO T0102010 (" + columns + ") VALUES (" + marks + ")";
}

void insertAll(sqlite3 *db, const std::string &sql, const std::vector<std::vector<CValue>> &rows)
{
    exec(db, "BEGIN");
    sqlite3_stmt *s = nullptr;
    check(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), db, "prepare insert");
    for (const auto &row : rows) {
        for (size_t i = 0; i < row.size(); ++i)
            bindValue(s, int(i) + 1, row[i]);
        check(sqlite3_step(s), db, "insert");
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    exec(db, "COMMIT");
}

// Account i of n as account() gives it and toC() converts it, made without a QVariant:
// 500,000 accounts are built in seconds. One maker per field, chosen once by its name.
using Maker = std::function<CValue(int i, int n)>;

std::vector<Maker> cAccountMakers(const QList<FieldDef> &fields)
{
    const auto code = [](int i, int n) { return (qint64(i) * 7919) % n; };
    const auto flag = [](auto f) {
        return [f](int i, int) { return CValue(sqlite3_int64(f(i))); };
    };
    const auto text = [](const char *t) {
        return [t](int, int) { return CValue(std::string(t)); };
    };
    const std::map<QString, Maker> byName{
        {QStringLiteral("AcctID"), [](int i, int) { return CValue(sqlite3_int64(i)); }},
        {QStringLiteral("AcctCode"),
         [code](int i, int n) { return CValue(std::to_string(10000000 + code(i, n))); }},
        {QStringLiteral("LevelCode"),
         [code](int i, int n) { return CValue(std::to_string(10000000 + code(i, n))); }},
        {QStringLiteral("AcctName"),
         [](int i, int) {
             return CValue(std::string(kPrefixes[i % 8]) + "-" + std::to_string(i));
         }},
        {QStringLiteral("ParentID"),
         [](int i, int) { return i > 100 ? CValue(sqlite3_int64(i % 100 + 1)) : CValue(); }},
        {QStringLiteral("Levels"), flag([](int i) { return i > 100 ? 2 : 1; })},
        {QStringLiteral("IsNode"), flag([](int i) { return i > 100; })},
        {QStringLiteral("AcctType"), [](int i, int) { return CValue(std::to_string(i % 6 + 1)); }},
        {QStringLiteral("AcctTypeCode"), text("ZC")},
        {QStringLiteral("DC"), [](int i, int) { return CValue(std::string(i % 3 ? "D" : "C")); }},
        {QStringLiteral("CurrCode"), text("RMB")},
        {QStringLiteral("QtyEnter"), flag([](int i) { return i % 10 == 0; })},
        {QStringLiteral("InFull"), flag([](int) { return true; })},
        {QStringLiteral("Frozen"), flag([](int i) { return i % 50 == 0; })},
        {QStringLiteral("Fixed"), flag([](int i) { return i <= 100; })},
        {QStringLiteral("ACurrAcct"), flag([](int) { return 0; })},
        {QStringLiteral("AdjustRate"), flag([](int) { return 0; })},
        {QStringLiteral("IsControl"), flag([](int) { return 0; })},
        {QStringLiteral("IsEquivalent"), flag([](int) { return 0; })},
        {QStringLiteral("Budget"), flag([](int) { return 0; })},
        {QStringLiteral("DeleteTag"), flag([](int) { return 0; })},
        {QStringLiteral("ComeAndGoCheck"), flag([](int) { return 0; })},
        {QStringLiteral("IsCostRules"), flag([](int) { return 0; })},
        {QStringLiteral("ACItemID"), flag([](int) { return 0; })},
    };
    std::vector<Maker> makers;
    for (const FieldDef &f : fields) {
        const auto it = byName.find(f.name);
        makers.push_back(it != byName.end() ? it->second
                                            : Maker([](int, int) { return CValue(); }));
    }
    // The same rows as the delta's: checked on the first accounts.
    for (int i = 1; i <= 300; ++i) {
        const QVariantList row = account(fields, i, 1000);
        for (int c = 0; c < fields.size(); ++c)
            if (makers[size_t(c)](i, 1000) != toC(row[c])) {
                std::fprintf(stderr, "account %d column %s differs\n", i,
                             qPrintable(fields[c].name));
                std::abort();
            }
    }
    return makers;
}

// A set of n accounts with a connection of the server and one of the C API.
struct AccountSet
{
    std::unique_ptr<AppServer> server;
    std::unique_ptr<ServerConnection> connection;
    sqlite3 *c = nullptr;

    ~AccountSet()
    {
        connection.reset();
        sqlite3_close(c);
    }
};

// Everything the benchmarks share, made once per run; the account sets when first used.
struct Setup
{
    QTemporaryDir dir;
    std::map<int, std::unique_ptr<AccountSet>> sets; // by number of accounts
    std::unique_ptr<AppServer> empty;                // no accounts, written by (b)
    std::unique_ptr<ServerConnection> emptyConnection;
    sqlite3 *emptyC = nullptr;
    QList<FieldDef> fields;
    std::vector<Maker> makers;
    DeltaPacket delta;                      // (b) as the server gets it
    std::vector<std::vector<CValue>> cRows; // (b) as the C API binds it
    std::string insertSql, selectSql, oneSql;

    Setup()
    {
        empty = AppServer::create(dir.filePath(QStringLiteral("empty.vexa")), false);
        fields = empty->catalog().require(QStringLiteral("LX_DMAccounting")).fields;
        insertSql = insertStatement(fields);
        makers = cAccountMakers(fields);

        delta.fields = fields;
        for (int i = 1; i <= kInsertRows; ++i) {
            QVariantList row = account(fields, i, kInsertRows);
            std::vector<CValue> c;
            for (const QVariant &v : row)
                c.push_back(toC(v));
            cRows.push_back(std::move(c));
            delta.rows.push_back({DeltaRow::Kind::Insert, std::move(row), {}});
        }
        emptyC = openC(empty->path());
        emptyConnection = empty->connect();
        if (qEnvironmentVariableIsSet("VEXA_BENCH_NO_TRIGGER"))
            exec(emptyC, "DROP TRIGGER T0102010_FullName_Insert; "
                         "DROP TRIGGER T0102010_FullName_Update");
        if (const int kb = qEnvironmentVariableIntValue("VEXA_BENCH_CACHE_KB"); kb > 0) {
            const std::string pragma = "PRAGMA cache_size = -" + std::to_string(kb);
            exec(emptyC, pragma);
            QSqlQuery(emptyConnection->database()).exec(QString::fromStdString(pragma));
        }

        std::string columns;
        for (const FieldDef &f : fields)
            columns += (columns.empty() ? "\"" : ", \"") + f.name.toStdString() + "\"";
        selectSql = "SELECT " + columns +
                    " FROM \"T0102010\" WHERE (\"AcctName\" LIKE ?) ORDER BY \"AcctCode\" "
                    "LIMIT 2000";
        oneSql = "SELECT " + columns + " FROM \"T0102010\" WHERE (\"AcctID\" = ?)";
    }

    AccountSet &accounts(int n)
    {
        std::unique_ptr<AccountSet> &set = sets[n];
        if (set)
            return *set;
        set = std::make_unique<AccountSet>();
        set->server =
            AppServer::create(dir.filePath(QStringLiteral("accounts-%1.vexa").arg(n)), false);
        set->c = openC(set->server->path());
        // The load alone with a large cache and no syncs: the baseline then reads with the
        // server's settings again.
        exec(set->c, "PRAGMA cache_size = -262144; PRAGMA synchronous = OFF; BEGIN");
        sqlite3_stmt *s = nullptr;
        check(sqlite3_prepare_v2(set->c, insertSql.c_str(), -1, &s, nullptr), set->c,
              "prepare insert");
        for (int i = 1; i <= n; ++i) {
            for (size_t c = 0; c < makers.size(); ++c)
                bindValue(s, int(c) + 1, makers[c](i, n));
            check(sqlite3_step(s), set->c, "insert");
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
        exec(set->c, "COMMIT");
        exec(set->c, "ANALYZE");
        exec(set->c, "PRAGMA cache_size = -2000; PRAGMA synchronous = FULL");
        set->connection = set->server->connect();
        return *set;
    }

    ~Setup()
    {
        sets.clear();
        emptyConnection.reset();
        sqlite3_close(emptyC);
    }
};

// The sizes of (a): VEXA_BENCH_ACCOUNTS or 10,000, 50,000 and 500,000.
std::vector<int> accountSizes()
{
    std::vector<int> sizes;
    for (const QString &n :
         qEnvironmentVariable("VEXA_BENCH_ACCOUNTS").split(u',', Qt::SkipEmptyParts))
        if (n.toInt() > 0)
            sizes.push_back(n.toInt());
    if (sizes.empty())
        sizes = {10000, 50000, 500000};
    return sizes;
}

Setup *g_setup = nullptr;

void BM_Request_Provider(benchmark::State &state)
{
    ServerConnection &c = *g_setup->accounts(int(state.range(0))).connection;
    size_t rows = 0;
    for (auto _ : state) {
        const DataPacket packet = c.request(QStringLiteral("LX_DMAccounting"), kCommand);
        rows = packet.rows.size();
        benchmark::DoNotOptimize(packet.rows.data());
    }
    state.counters["rows"] = double(rows);
}
// Prepare, bind, step and read every column, as a program on the C API would.
size_t readC(sqlite3 *db, const std::string &sql, const CValue &parameter)
{
    sqlite3_stmt *s = nullptr;
    check(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), db, "prepare");
    bindValue(s, 1, parameter);
    const int n = sqlite3_column_count(s);
    std::vector<std::vector<CValue>> out;
    while (sqlite3_step(s) == SQLITE_ROW) {
        std::vector<CValue> row;
        row.reserve(n);
        for (int i = 0; i < n; ++i) {
            switch (sqlite3_column_type(s, i)) {
            case SQLITE_INTEGER:
                row.emplace_back(sqlite3_column_int64(s, i));
                break;
            case SQLITE_FLOAT:
                row.emplace_back(sqlite3_column_double(s, i));
                break;
            case SQLITE_NULL:
                row.emplace_back(std::monostate{});
                break;
            default:
                row.emplace_back(
                    std::string(reinterpret_cast<const char *>(sqlite3_column_text(s, i)),
                                size_t(sqlite3_column_bytes(s, i))));
            }
        }
        out.push_back(std::move(row));
    }
    sqlite3_finalize(s);
    benchmark::DoNotOptimize(out.data());
    return out.size();
}

void BM_Request_CApi(benchmark::State &state)
{
    sqlite3 *db = g_setup->accounts(int(state.range(0))).c;
    const CValue pattern = std::string("%存款%");
    size_t rows = 0;
    for (auto _ : state)
        rows = readC(db, g_setup->selectSql, pattern);
    state.counters["rows"] = double(rows);
}

// (d) One account by its key: what the request costs beyond the engine's own work (the
// command text parsed, the statement printed and prepared) where there is little to read.
void BM_RequestOne_Provider(benchmark::State &state)
{
    ServerConnection &c = *g_setup->accounts(int(state.range(0))).connection;
    for (auto _ : state) {
        const DataPacket packet =
            c.request(QStringLiteral("LX_DMAccounting"), QStringLiteral("WHERE AcctID = 5"));
        if (packet.rows.size() != 1)
            state.SkipWithError("not one row");
        benchmark::DoNotOptimize(packet.rows.data());
    }
}

void BM_RequestOne_CApi(benchmark::State &state)
{
    sqlite3 *db = g_setup->accounts(int(state.range(0))).c;
    for (auto _ : state)
        if (readC(db, g_setup->oneSql, sqlite3_int64(5)) != 1)
            state.SkipWithError("not one row");
}

// (c) A request whose condition is an IN list of n account codes, one in 1,000 of them
// an account's: the time should double with n.
void BM_Request_InList(benchmark::State &state)
{
    const int accounts =
        qEnvironmentVariableIsSet("VEXA_BENCH_ACCOUNTS") ? accountSizes().front() : 50000;
    ServerConnection &c = *g_setup->accounts(accounts).connection;
    const int n = int(state.range(0));
    QString command = QStringLiteral("WHERE AcctCode IN (");
    for (int i = 0; i < n; ++i)
        command +=
            QStringLiteral("%1'%2'")
                .arg(i ? QStringLiteral(", ") : QString())
                .arg(i % 1000 ? QStringLiteral("X%1").arg(i) : QString::number(10000000 + i));
    command += u')';
    size_t rows = 0;
    for (auto _ : state) {
        const DataPacket packet = c.request(QStringLiteral("LX_DMAccounting"), command);
        rows = packet.rows.size();
        benchmark::DoNotOptimize(packet.rows.data());
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_Request_InList)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond);

// Between iterations the inserted accounts are deleted again, outside the timing.
void clearAccounts()
{
    exec(g_setup->emptyC, "DELETE FROM T0102010");
}

void BM_Apply_Provider(benchmark::State &state)
{
    ServerConnection &c = *g_setup->emptyConnection;
    for (auto _ : state) {
        int errors = -1;
        QVariant owner;
        c.applyUpdates(QStringLiteral("LX_DMAccounting"), g_setup->delta, -1, errors, owner);
        if (errors != 0) {
            state.SkipWithError(c.lastError().toStdString().c_str());
            break;
        }
        state.PauseTiming();
        clearAccounts();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Apply_Provider)->Unit(benchmark::kMillisecond);

void BM_Apply_CApi(benchmark::State &state)
{
    for (auto _ : state) {
        insertAll(g_setup->emptyC, g_setup->insertSql, g_setup->cRows);
        state.PauseTiming();
        clearAccounts();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Apply_CApi)->Unit(benchmark::kMillisecond);

// (d) n accounts as (b) makes them, as a delta and as the C API binds them.
struct Rows
{
    DeltaPacket delta;
    std::vector<std::vector<CValue>> c;
};

Rows growthRows(int n)
{
    Rows r;
    r.delta.fields = g_setup->fields;
    const bool sorted = qEnvironmentVariableIsSet("VEXA_BENCH_SORTED");
    for (int i = 1; i <= n; ++i) {
        QVariantList row = account(g_setup->fields, i, n);
        if (sorted) {
            const int code = indexOfField(g_setup->fields, QStringLiteral("AcctCode"));
            row[code] = QStringLiteral("%1").arg(10000000 + i);
        }
        std::vector<CValue> c;
        for (const QVariant &v : row)
            c.push_back(toC(v));
        r.c.push_back(std::move(c));
        r.delta.rows.push_back({DeltaRow::Kind::Insert, std::move(row), {}});
    }
    return r;
}

void BM_ApplyGrowth_Provider(benchmark::State &state)
{
    const int n = int(state.range(0));
    const Rows rows = growthRows(n);
    ServerConnection &c = *g_setup->emptyConnection;
    for (auto _ : state) {
        int errors = -1;
        QVariant owner;
        c.applyUpdates(QStringLiteral("LX_DMAccounting"), rows.delta, -1, errors, owner);
        if (errors != 0) {
            state.SkipWithError(c.lastError().toStdString().c_str());
            break;
        }
        state.PauseTiming();
        clearAccounts();
        state.ResumeTiming();
    }
    state.counters["rows/s"] = benchmark::Counter(double(n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ApplyGrowth_Provider)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Arg(300000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_ApplyGrowth_CApi(benchmark::State &state)
{
    const int n = int(state.range(0));
    const Rows rows = growthRows(n);
    for (auto _ : state) {
        insertAll(g_setup->emptyC, g_setup->insertSql, rows.c);
        state.PauseTiming();
        clearAccounts();
        state.ResumeTiming();
    }
    state.counters["rows/s"] = benchmark::Counter(double(n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ApplyGrowth_CApi)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Arg(300000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    try {
        Setup setup;
        g_setup = &setup;
        // Each size's provider request beside its C API baseline, in one run.
        for (const int n : accountSizes()) {
            benchmark::RegisterBenchmark("BM_Request_Provider", BM_Request_Provider)
                ->Arg(n)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("BM_Request_CApi", BM_Request_CApi)
                ->Arg(n)
                ->Unit(benchmark::kMillisecond);
        }
        const int one = accountSizes().front();
        benchmark::RegisterBenchmark("BM_RequestOne_Provider", BM_RequestOne_Provider)
            ->Arg(one)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("BM_RequestOne_CApi", BM_RequestOne_CApi)
            ->Arg(one)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RunSpecifiedBenchmarks();
        g_setup = nullptr;
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
