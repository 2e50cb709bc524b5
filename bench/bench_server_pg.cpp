// The provider request of bench_server on the PostgreSQL engine, beside the same SELECT
// through libpq (PQexecParams, text results, every cell read) on the same database, in the
// same run: "TOP 2000 WHERE AcctName LIKE '%存款%' ORDER BY AcctCode" over 10,000, 50,000
// and 500,000 accounts.
// Usage: VEXA_BENCH_PG=postgresql://USER@/postgres?host=DIR&port=PORT bench_server_pg
// (scripts/pg-cluster start DIR prints such a location; each set is a database of its own,
// dropped at the end). VEXA_BENCH_ACCOUNTS=n[,n...] sets the sizes.
#include "AppServer.h"
#include "Condition.h"
#include "PostgresLocation.h"
#include "Process.h"
#include "ProviderCatalog.h"
#include "SqlDialect.h"

#include <vexa/Error.h>

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <libpq-fe.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace vexa;
using namespace vexa::server;

namespace {

const QString kProvider = QStringLiteral("LX_DMAccounting");
const QString kCommand = QStringLiteral("TOP 2000 WHERE AcctName LIKE '%存款%' ORDER BY AcctCode");

const char *const kPrefixes[] = {"银行存款", "应收账款",   "库存商品", "定期存款",
                                 "管理费用", "其他应付款", "原材料",   "通知存款"};

[[noreturn]] void die(const std::string &what)
{
    std::fprintf(stderr, "bench_server_pg: %s\n", what.c_str());
    std::exit(1);
}

void checkResult(PGresult *r, PGconn *c, const char *what)
{
    const ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK && s != PGRES_COPY_IN)
        die(std::string(what) + ": " + PQerrorMessage(c));
}

void exec(PGconn *c, const char *sql)
{
    PGresult *r = PQexec(c, sql);
    checkResult(r, c, sql);
    PQclear(r);
}

std::string conninfo(const PostgresLocation &where)
{
    const auto quoted = [](const QString &v) {
        QString q = v;
        q.replace(u'\\', QLatin1String("\\\\")).replace(u'\'', QLatin1String("\\'"));
        return QStringLiteral("'%1'").arg(q);
    };
    QStringList parts{QStringLiteral("dbname=") + quoted(where.database)};
    if (!where.user.isEmpty())
        parts << QStringLiteral("user=") + quoted(where.user);
    if (!where.password.isEmpty())
        parts << QStringLiteral("password=") + quoted(where.password);
    if (!where.host.isEmpty())
        parts << QStringLiteral("host=") + quoted(where.host);
    if (where.port > 0)
        parts << QStringLiteral("port=%1").arg(where.port);
    for (const QString &o : where.options)
        parts << o;
    return parts.join(u' ').toStdString();
}

// The account rows of bench_server as COPY text: the same values, booleans as 0/1.
std::string copyLine(const QList<FieldDef> &fields, int i, int n)
{
    const qint64 code = (qint64(i) * 7919) % n;
    const std::string codeText = std::to_string(10000000 + code);
    const std::map<QString, std::string> values{
        {QStringLiteral("AcctID"), std::to_string(i)},
        {QStringLiteral("AcctCode"), codeText},
        {QStringLiteral("AcctName"), std::string(kPrefixes[i % 8]) + "-" + std::to_string(i)},
        {QStringLiteral("ParentID"), i > 100 ? std::to_string(i % 100 + 1) : "\\N"},
        {QStringLiteral("Levels"), i > 100 ? "2" : "1"},
        {QStringLiteral("IsNode"), i > 100 ? "1" : "0"},
        {QStringLiteral("LevelCode"), codeText},
        {QStringLiteral("AcctType"), std::to_string(i % 6 + 1)},
        {QStringLiteral("AcctTypeCode"), "ZC"},
        {QStringLiteral("DC"), i % 3 ? "D" : "C"},
        {QStringLiteral("CurrCode"), "RMB"},
        {QStringLiteral("QtyEnter"), i % 10 == 0 ? "1" : "0"},
        {QStringLiteral("InFull"), "1"},
        {QStringLiteral("Frozen"), i % 50 == 0 ? "1" : "0"},
        {QStringLiteral("Fixed"), i <= 100 ? "1" : "0"},
        {QStringLiteral("ACurrAcct"), "0"},
        {QStringLiteral("AdjustRate"), "0"},
        {QStringLiteral("IsControl"), "0"},
        {QStringLiteral("IsEquivalent"), "0"},
        {QStringLiteral("Budget"), "0"},
        {QStringLiteral("DeleteTag"), "0"},
        {QStringLiteral("ComeAndGoCheck"), "0"},
        {QStringLiteral("IsCostRules"), "0"},
        {QStringLiteral("ACItemID"), "0"},
    };
    std::string line;
    for (const FieldDef &f : fields) {
        if (!line.empty())
            line += '\t';
        const auto it = values.find(f.name);
        line += it != values.end() ? it->second : "\\N";
    }
    return line + '\n';
}

struct AccountSet
{
    QString location;
    std::unique_ptr<AppServer> server;
    std::unique_ptr<ServerConnection> connection;
    PGconn *c = nullptr;
    std::string select;                  // the provider's statement, $1 for its parameter
    std::vector<std::string> parameters; // its values as text

    ~AccountSet()
    {
        connection.reset();
        server.reset();
        PQfinish(c);
        try {
            const auto where = PostgresLocation::parse(location);
            PostgresServer(where).drop(where.database);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "bench_server_pg: %s\n", e.what());
        }
    }
};

QString g_cluster;
std::map<int, std::unique_ptr<AccountSet>> g_sets;

AccountSet &accounts(int n)
{
    std::unique_ptr<AccountSet> &set = g_sets[n];
    if (set)
        return *set;
    set = std::make_unique<AccountSet>();
    const qsizetype slash = g_cluster.indexOf(u'/', g_cluster.indexOf(QLatin1String("//")) + 2);
    const qsizetype query = g_cluster.indexOf(u'?');
    set->location =
        g_cluster.left(slash + 1) +
        QStringLiteral("vexa_bench_%1_%2").arg(QCoreApplication::applicationPid()).arg(n) +
        (query < 0 ? QString() : g_cluster.mid(query));
    set->server = AppServer::create(set->location, false);
    const Provider &provider = set->server->catalog().require(kProvider);

    set->c = PQconnectdb(conninfo(PostgresLocation::parse(set->location)).c_str());
    if (PQstatus(set->c) != CONNECTION_OK)
        die(PQerrorMessage(set->c));
    std::string columns;
    for (const FieldDef &f : provider.fields)
        columns += (columns.empty() ? "" : ", ") + f.name.toLower().toStdString();
    // The full-name trigger, which LX_DMAccounting does not read, is left out of the load:
    // with it a COPY of 50,000 accounts took minutes.
    exec(set->c, "BEGIN");
    exec(set->c, "ALTER TABLE t0102010 DISABLE TRIGGER USER");
    PGresult *r = PQexec(set->c, ("COPY t0102010 (" + columns + ") FROM STDIN").c_str());
    checkResult(r, set->c, "copy");
    PQclear(r);
    std::string chunk;
    for (int i = 1; i <= n; ++i) {
        chunk += copyLine(provider.fields, i, n);
        if (chunk.size() > 1 << 16 || i == n) {
            if (PQputCopyData(set->c, chunk.data(), int(chunk.size())) != 1)
                die(PQerrorMessage(set->c));
            chunk.clear();
        }
    }
    if (PQputCopyEnd(set->c, nullptr) != 1)
        die(PQerrorMessage(set->c));
    r = PQgetResult(set->c);
    checkResult(r, set->c, "copy end");
    PQclear(r);
    exec(set->c, "COMMIT"); // the references are checked here
    exec(set->c, "ALTER TABLE t0102010 ENABLE TRIGGER USER");
    exec(set->c, "ANALYZE");

    // The very statement the server runs for the command text.
    QVariantList params;
    const QString sql =
        set->server->dialect().selectStatement(provider, cond::parseCommandText(kCommand), params);
    int k = 0;
    for (const char ch : sql.toStdString()) // no '?' but the parameters
        if (ch == '?') {
            set->select += '$';
            set->select += std::to_string(++k);
        } else {
            set->select += ch;
        }
    for (const QVariant &p : params)
        set->parameters.push_back(p.toString().toStdString());
    set->connection = set->server->connect();
    return *set;
}

void BM_Request_Provider(benchmark::State &state)
{
    ServerConnection &c = *accounts(int(state.range(0))).connection;
    size_t rows = 0;
    for (auto _ : state) {
        const DataPacket packet = c.request(kProvider, kCommand);
        rows = packet.rows.size();
        benchmark::DoNotOptimize(packet.rows.data());
    }
    state.counters["rows"] = double(rows);
}

// A cell as libpq hands it over: NULL or its text.
struct Cell
{
    bool null = true;
    std::string text;
};

void BM_Request_Libpq(benchmark::State &state)
{
    AccountSet &set = accounts(int(state.range(0)));
    std::vector<const char *> values;
    for (const std::string &p : set.parameters)
        values.push_back(p.c_str());
    size_t rows = 0;
    for (auto _ : state) {
        PGresult *r = PQexecParams(set.c, set.select.c_str(), int(values.size()), nullptr,
                                   values.data(), nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            die(PQerrorMessage(set.c));
        const int n = PQntuples(r), columns = PQnfields(r);
        std::vector<std::vector<Cell>> out(size_t(n), std::vector<Cell>(size_t(columns), Cell{}));
        for (int row = 0; row < n; ++row)
            for (int col = 0; col < columns; ++col)
                if (!PQgetisnull(r, row, col))
                    out[size_t(row)][size_t(col)] = {
                        false,
                        std::string(PQgetvalue(r, row, col), size_t(PQgetlength(r, row, col)))};
        PQclear(r);
        rows = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["rows"] = double(rows);
}

} // namespace

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    g_cluster = qEnvironmentVariable("VEXA_BENCH_PG");
    if (!g_cluster.startsWith(QLatin1String("postgresql://")))
        die("VEXA_BENCH_PG=postgresql://USER@/postgres?host=DIR&port=PORT is needed "
            "(scripts/pg-cluster start DIR)");
    std::vector<int> sizes;
    for (const QString &n :
         qEnvironmentVariable("VEXA_BENCH_ACCOUNTS").split(u',', Qt::SkipEmptyParts))
        if (n.toInt() > 0)
            sizes.push_back(n.toInt());
    if (sizes.empty())
        sizes = {10000, 50000, 500000};
    for (const int n : sizes) {
        benchmark::RegisterBenchmark("BM_Request_Provider", BM_Request_Provider)
            ->Arg(n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_Request_Libpq", BM_Request_Libpq)
            ->Arg(n)
            ->Unit(benchmark::kMillisecond);
    }
    try {
        benchmark::RunSpecifiedBenchmarks();
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        g_sets.clear();
        return 1;
    }
    g_sets.clear();
    benchmark::Shutdown();
    return 0;
}
