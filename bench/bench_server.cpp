// Application server benchmarks, each beside the same work done through the sqlite3 C API
// on the same file in the same run (scripts/bench):
//   (a) a provider request "TOP 2000 WHERE AcctName LIKE '%存款%' ORDER BY AcctCode" on
//       50,000 accounts against prepare / step / reading every column;
//   (b) apply-updates of a 10,000-row insert delta against prepared inserts in one
//       transaction;
//   (c) requests with IN lists of 5,000 to 40,000 items (growth, no baseline);
//   (d) the apply of (b) at 10,000 to 300,000 rows, provider and C API, for how an import
//       grows. Experiments, each on a throw-away set: VEXA_BENCH_CACHE_KB=n gives both
//       connections a page cache of n KiB; VEXA_BENCH_NO_TRIGGER=1 drops the full-name
//       triggers; VEXA_BENCH_SORTED=1 inserts the accounts in code order.
// VEXA_BENCH_ACCOUNTS=n makes the account set smaller (for runs under valgrind).
#include "AppServer.h"
#include "Process.h"
#include "ProviderCatalog.h"

#include <vexa/Error.h>

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
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

void bind(sqlite3_stmt *s, int i, const CValue &v)
{
    if (const auto *n = std::get_if<sqlite3_int64>(&v))
        sqlite3_bind_int64(s, i, *n);
    else if (const auto *d = std::get_if<double>(&v))
        sqlite3_bind_double(s, i, *d);
    else if (const auto *t = std::get_if<std::string>(&v))
        sqlite3_bind_text(s, i, t->data(), int(t->size()), SQLITE_STATIC);
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
            bind(s, int(i) + 1, row[i]);
        check(sqlite3_step(s), db, "insert");
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    exec(db, "COMMIT");
}

// Everything the benchmarks share, made once per run.
struct Setup
{
    QTemporaryDir dir;
    std::unique_ptr<AppServer> big;   // 50,000 accounts, read by (a)
    std::unique_ptr<AppServer> empty; // no accounts, written by (b)
    std::unique_ptr<ServerConnection> bigConnection, emptyConnection;
    sqlite3 *bigC = nullptr, *emptyC = nullptr;
    QList<FieldDef> fields;
    DeltaPacket delta;                      // (b) as the server gets it
    std::vector<std::vector<CValue>> cRows; // (b) as the C API binds it
    std::string insertSql, selectSql;

    Setup()
    {
        const int accounts = qEnvironmentVariableIsSet("VEXA_BENCH_ACCOUNTS")
                                 ? qEnvironmentVariableIntValue("VEXA_BENCH_ACCOUNTS")
                                 : 50000;
        big = AppServer::create(dir.filePath(QStringLiteral("big.vexa")), false);
        empty = AppServer::create(dir.filePath(QStringLiteral("empty.vexa")), false);
        fields = big->catalog().require(QStringLiteral("LX_DMAccounting")).fields;
        insertSql = insertStatement(fields);

        bigC = openC(big->path());
        std::vector<std::vector<CValue>> all;
        for (int i = 1; i <= accounts; ++i) {
            std::vector<CValue> row;
            for (const QVariant &v : account(fields, i, accounts))
                row.push_back(toC(v));
            all.push_back(std::move(row));
        }
        insertAll(bigC, insertSql, all);
        exec(bigC, "ANALYZE");
        bigConnection = big->connect();

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
    }

    ~Setup()
    {
        bigConnection.reset();
        emptyConnection.reset();
        sqlite3_close(bigC);
        sqlite3_close(emptyC);
    }
};

Setup *g_setup = nullptr;

void BM_Request_Provider(benchmark::State &state)
{
    ServerConnection &c = *g_setup->bigConnection;
    size_t rows = 0;
    for (auto _ : state) {
        const DataPacket packet = c.request(QStringLiteral("LX_DMAccounting"), kCommand);
        rows = packet.rows.size();
        benchmark::DoNotOptimize(packet.rows.data());
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_Request_Provider)->Unit(benchmark::kMillisecond);

void BM_Request_CApi(benchmark::State &state)
{
    sqlite3 *db = g_setup->bigC;
    const std::string pattern = "%存款%";
    size_t rows = 0;
    for (auto _ : state) {
        sqlite3_stmt *s = nullptr;
        check(sqlite3_prepare_v2(db, g_setup->selectSql.c_str(), -1, &s, nullptr), db, "prepare");
        sqlite3_bind_text(s, 1, pattern.data(), int(pattern.size()), SQLITE_STATIC);
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
        rows = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_Request_CApi)->Unit(benchmark::kMillisecond);

// (c) A request whose condition is an IN list of n account codes, one in 1,000 of them
// an account's: the time should double with n.
void BM_Request_InList(benchmark::State &state)
{
    ServerConnection &c = *g_setup->bigConnection;
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
        benchmark::RunSpecifiedBenchmarks();
        g_setup = nullptr;
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
