// vexa-server's network layer against the in-process server on the same set, in one run
// (scripts/bench):
//   (a) the provider request "TOP 2000 WHERE AcctName LIKE '%存款%' ORDER BY AcctCode" on
//       50,000 accounts, over loopback and in-process (target: at most 1.5 times);
//   (b) apply-updates of a 10,000-row insert delta, likewise (target: at most 1.3 times);
//   (c) 50 clients at once each looking accounts up by code: requests per second and the
//       50th and 99th percentile of a lookup's latency.
// Usage: bench_network [--seconds N] [--clients N] [--repeat N] [--tls]
//   --seconds  how long (c) runs (30; a few for a quick check)
//   --tls      TLS with a certificate made for the run, trusted on first use (scripts/bench
//              passes it: clients of a real server use TLS)
#include "AppServer.h"
#include "Certificates.h"
#include "NetConnection.h"
#include "NetServer.h"
#include "Process.h"
#include "ProviderCatalog.h"

#include <vexa/Error.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

using namespace vexa;
using namespace vexa::server;

namespace {

const QString kAccounts = QStringLiteral("LX_DMAccounting");
const QString kTop = QStringLiteral("TOP 2000 WHERE AcctName LIKE '%存款%' ORDER BY AcctCode");
const QString kUser = QStringLiteral("admin");
const QString kPassword = QStringLiteral("bench-password");
constexpr int kBigAccounts = 50000;
constexpr int kInsertRows = 10000;

const char *const kPrefixes[] = {"银行存款", "应收账款",   "库存商品", "定期存款",
                                 "管理费用", "其他应付款", "原材料",   "通知存款"};

QString code(int i)
{
    return QString::number(10000000 + i);
}

// Account i of the provider's fields; three names in eight contain "存款".
QVariantList account(const QList<FieldDef> &fields, int i)
{
    QVariantList row;
    for (const FieldDef &f : fields) {
        QVariant v;
        if (f.name == u"AcctID")
            v = i;
        else if (f.name == u"AcctCode" || f.name == u"LevelCode")
            v = code(i);
        else if (f.name == u"AcctName")
            v = QStringLiteral("%1-%2").arg(QString::fromUtf8(kPrefixes[i % 8])).arg(i);
        else if (f.name == u"Levels")
            v = 1;
        else if (f.name == u"IsNode")
            v = true;
        else if (f.name == u"DC")
            v = i % 3 ? QStringLiteral("D") : QStringLiteral("C");
        else if (f.name == u"CurrCode")
            v = QStringLiteral("RMB");
        row << coerceToField(f, v);
    }
    return row;
}

DeltaPacket inserts(const QList<FieldDef> &fields, int from, int count)
{
    DeltaPacket delta;
    delta.fields = fields;
    for (int i = from; i < from + count; ++i)
        delta.rows.push_back({DeltaRow::Kind::Insert, account(fields, i), {}});
    return delta;
}

void applyOrDie(IAppServer &c, const DeltaPacket &delta, const std::function<QString()> &why)
{
    int errors = -1;
    QVariant owner;
    c.applyUpdates(kAccounts, delta, -1, errors, owner);
    if (errors != 0)
        throw Error(why());
}

std::unique_ptr<AppServer> makeSet(const QString &path)
{
    AppServer::Options options;
    options.passwordCost = PasswordCost::Fast;
    return AppServer::create(path, Administrator{kUser, kPassword}, options);
}

struct Options
{
    int seconds = 30;
    int clients = 50;
    int repeat = 5;
    bool tls = false;
    net::NetServerOptions server; // with a certificate under --tls
};

net::ClientSecurity security(const Options &o, const QTemporaryDir &dir)
{
    if (!o.tls)
        return net::ClientSecurity::plainTcp();
    net::ClientSecurity s;
    s.knownServersFile = dir.filePath(QStringLiteral("known_servers"));
    s.trustNewServer = [](const QString &, const QString &) { return true; };
    return s;
}

// The set served on a free loopback port.
std::unique_ptr<net::NetServer> serve(AppServer &set, const Options &o)
{
    auto server = std::make_unique<net::NetServer>(
        QMap<QString, AppServer *>{{QStringLiteral("set"), &set}}, o.server);
    server->listen(QHostAddress::LocalHost, 0);
    return server;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void printPair(const char *what, const std::vector<double> &local, const std::vector<double> &net,
               double target)
{
    const double l = median(local), n = median(net);
    std::printf("%-28s in-process %8.1f ms   network %8.1f ms   ratio %.2f (target <= %.1f) %s\n",
                what, l, n, n / l, target, n / l <= target ? "ok" : "MISSED");
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// A set of 50,000 accounts.
std::unique_ptr<AppServer> makeBigSet(const QString &path)
{
    auto set = makeSet(path);
    auto c = set->connect();
    c->login(kUser, kPassword);
    applyOrDie(*c, inserts(set->catalog().require(kAccounts).fields, 1, kBigAccounts),
               [&] { return c->lastError(); });
    return set;
}

// (a) and (b), the two paths taking turns so that both see the same machine.
void compare(const Options &o, AppServer &big, const QTemporaryDir &dir,
             const net::ClientSecurity &sec)
{
    auto empty = makeSet(dir.filePath(QStringLiteral("empty.vexa")));
    const QList<FieldDef> fields = big.catalog().require(kAccounts).fields;
    auto bigLocal = big.connect();
    bigLocal->login(kUser, kPassword);
    auto emptyLocal = empty->connect();
    emptyLocal->login(kUser, kPassword);

    const auto bigServer = serve(big, o);
    const auto emptyServer = serve(*empty, o);
    net::NetConnection bigNet({QStringLiteral("127.0.0.1"), bigServer->port()}, sec);
    bigNet.login({}, kUser, kPassword);
    net::NetConnection emptyNet({QStringLiteral("127.0.0.1"), emptyServer->port()}, sec);
    emptyNet.login({}, kUser, kPassword);

    std::vector<double> requestLocal, requestNet, applyLocal, applyNet;
    size_t rows[2] = {0, 0};
    bigLocal->request(kAccounts, kTop); // warm both caches once
    bigNet.request(kAccounts, kTop);
    for (int r = 0; r < o.repeat; ++r) {
        QElapsedTimer t;
        t.start();
        rows[0] = bigLocal->request(kAccounts, kTop).rows.size();
        requestLocal.push_back(msSince(t));
        t.restart();
        rows[1] = bigNet.request(kAccounts, kTop).rows.size();
        requestNet.push_back(msSince(t));
    }
    if (rows[0] != 2000 || rows[1] != 2000)
        throw Error(QStringLiteral("TOP 2000 answered %1 and %2 rows").arg(rows[0]).arg(rows[1]));

    const DeltaPacket delta = inserts(fields, 1, kInsertRows);
    QSqlDatabase clear = empty->openConnection();
    const auto clearAccounts = [&] {
        QSqlQuery q(clear);
        if (!q.exec(QStringLiteral("DELETE FROM T0102010")))
            throw Error(QStringLiteral("cannot clear the accounts"));
    };
    for (int r = 0; r < o.repeat; ++r) {
        QElapsedTimer t;
        t.start();
        applyOrDie(*emptyLocal, delta, [&] { return emptyLocal->lastError(); });
        applyLocal.push_back(msSince(t));
        clearAccounts();
        t.restart();
        applyOrDie(emptyNet, delta, [&] { return emptyNet.lastError(); });
        applyNet.push_back(msSince(t));
        clearAccounts();
    }
    std::printf("medians of %d, each path in turn:\n", o.repeat);
    printPair("(a) TOP 2000 of 50,000", requestLocal, requestNet, 1.5);
    printPair("(b) apply 10,000 inserts", applyLocal, applyNet, 1.3);
    emptyNet.logout();
    bigNet.logout();
}

// (c) Many clients, each one lookup after another for the given time.
void load(const Options &o, AppServer &set, const net::ClientSecurity &sec)
{
    const auto server = serve(set, o);

    std::vector<std::vector<double>> latencies(size_t(o.clients));
    std::vector<QString> failures(size_t(o.clients));
    std::atomic<int> ready = 0;
    std::atomic<bool> go = false;
    QElapsedTimer wall;
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < o.clients; ++i)
            threads.emplace_back([&, i] {
                try {
                    net::NetConnection c({QStringLiteral("127.0.0.1"), server->port()}, sec);
                    c.login({}, kUser, kPassword);
                    std::mt19937 random(unsigned(i) + 1u);
                    ++ready;
                    while (!go)
                        std::this_thread::yield();
                    auto &mine = latencies[size_t(i)];
                    while (wall.elapsed() < o.seconds * 1000) {
                        const int id = int(random() % kBigAccounts) + 1;
                        QElapsedTimer t;
                        t.start();
                        const DataPacket p = c.request(
                            kAccounts, QStringLiteral("WHERE AcctCode = '%1'").arg(code(id)));
                        mine.push_back(msSince(t));
                        if (p.rows.size() != 1)
                            throw Error(QStringLiteral("account %1 not found").arg(id));
                    }
                    c.logout();
                } catch (const std::exception &e) {
                    failures[size_t(i)] = errorText(e);
                    ++ready;
                }
            });
        while (ready < o.clients)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        wall.start();
        go = true;
    }
    const double seconds = msSince(wall) / 1000.0;
    for (const QString &f : failures)
        if (!f.isEmpty())
            throw Error(f);
    std::vector<double> all;
    for (const auto &l : latencies)
        all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    const auto percentile = [&](double p) {
        return all.empty() ? 0.0 : all[std::min(all.size() - 1, size_t(p * double(all.size())))];
    };
    std::printf("(c) %d clients, lookups by code for %.1f s: %zu requests, %.0f per second, "
                "latency p50 %.2f ms, p99 %.2f ms\n",
                o.clients, seconds, all.size(), double(all.size()) / seconds, percentile(0.50),
                percentile(0.99));
}

Options parse(const QStringList &args)
{
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        const auto number = [&]() {
            bool ok = false;
            const int n = i + 1 < args.size() ? args[++i].toInt(&ok) : 0;
            if (!ok || n <= 0)
                throw Error(a + QStringLiteral(" takes a positive number"));
            return n;
        };
        if (a == u"--seconds")
            o.seconds = number();
        else if (a == u"--clients")
            o.clients = number();
        else if (a == u"--repeat")
            o.repeat = number();
        else if (a == u"--tls")
            o.tls = true;
        else
            throw Error(QStringLiteral("unknown option ") + a);
    }
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    QCoreApplication app(argc, argv);
    try {
        Options o = parse(app.arguments());
        QTemporaryDir dir;
        if (o.tls) {
            net::Certificates::writeFiles(dir.path(), {QStringLiteral("127.0.0.1")});
            o.server.loadCertificate(dir.filePath(QStringLiteral("server.crt")),
                                     dir.filePath(QStringLiteral("server.key")));
        }
        const net::ClientSecurity sec = security(o, dir);
        std::printf("bench_network: %s over loopback\n", o.tls ? "TLS" : "plain TCP");
        auto big = makeBigSet(dir.filePath(QStringLiteral("big.vexa")));
        compare(o, *big, dir, sec);
        load(o, *big, sec);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_network: %s\n", errorText(e).toUtf8().constData());
        return 1;
    }
    return 0;
}
