// vexa-server's network layer against the in-process server on the same set, in one run
// (scripts/bench):
//   (a) the provider request "TOP 2000 WHERE AcctName LIKE '%存款%' ORDER BY AcctCode" on
//       50,000 accounts, over loopback and in-process (target: at most 1.5 times);
//   (b) apply-updates of a 10,000-row insert delta, likewise (target: at most 1.3 times);
//   (c) 50 clients at once each looking accounts up by code: requests per second and the
//       50th and 99th percentile of a lookup's latency.
// Each on SQLite and on PostgreSQL, the engines taking turns, with the PostgreSQL/SQLite
// ratio per workload.
// Usage: bench_network [--engine sqlite|postgresql|both] [--postgres LOCATION] [--seconds N]
//                      [--clients N] [--repeat N] [--tls] [--no-load] [--only-top]
//   --engine    which engines (sqlite; both and postgresql need --postgres)
//   --postgres  a cluster's location, postgresql://USER@/postgres?host=DIR&port=PORT
//               (scripts/pg-cluster start prints it); the sets are databases made and
//               dropped in it
//   --seconds   how long (c) runs (30; a few for a quick check)
//   --tls       TLS with a certificate made for the run, trusted on first use (scripts/bench
//               passes it: clients of a real server use TLS)
//   --no-load   leaves (c) out; --only-top leaves (b) and (c) out (for a profiler)
//   --codec     also times the steps of (a)'s reply on its way (the CBOR packet, the
//               message, the frame, and back) beside the packet text
#include "AppServer.h"
#include "Certificates.h"
#include "Frame.h"
#include "NetConnection.h"
#include "NetServer.h"
#include "PostgresLocation.h"
#include "Process.h"
#include "Protocol.h"
#include "ProviderCatalog.h"
#include "WirePacket.h"

#include <vexa/Error.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
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

std::unique_ptr<AppServer> makeSet(const QString &location)
{
    AppServer::Options options;
    options.passwordCost = PasswordCost::Fast;
    return AppServer::create(location, Administrator{kUser, kPassword}, options);
}

struct Options
{
    int seconds = 30;
    int clients = 50;
    int repeat = 5;
    bool tls = false;
    bool load = true;
    bool onlyTop = false;
    bool codec = false;
    QStringList engines{QStringLiteral("sqlite")};
    QString postgres;             // the cluster for the PostgreSQL sets
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

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Where one engine keeps a set called `name`; a PostgreSQL database is dropped with the
// object, however the run ends.
class SetLocation
{
public:
    SetLocation(const Options &o, const QString &engine, const QTemporaryDir &dir,
                const QString &name)
    {
        if (engine == u"sqlite") {
            m_location = dir.filePath(name + QStringLiteral(".vexa"));
            return;
        }
        const QString &cluster = o.postgres;
        const qsizetype slash = cluster.indexOf(u'/', cluster.indexOf(QLatin1String("//")) + 2);
        const qsizetype query = cluster.indexOf(u'?');
        if (slash < 0)
            throw Error(QStringLiteral("--postgres takes postgresql://USER@/postgres?host=DIR"));
        m_location =
            cluster.left(slash + 1) +
            QStringLiteral("vexa_bench_%1_%2").arg(QCoreApplication::applicationPid()).arg(name) +
            (query < 0 ? QString() : cluster.mid(query));
        m_postgres = true;
    }
    ~SetLocation()
    {
        if (!m_postgres)
            return;
        try {
            const auto where = PostgresLocation::parse(m_location);
            PostgresServer(where).drop(where.database);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "bench_network: %s\n", errorText(e).toUtf8().constData());
        }
    }
    SetLocation(const SetLocation &) = delete;
    SetLocation &operator=(const SetLocation &) = delete;
    const QString &location() const { return m_location; }

private:
    QString m_location;
    bool m_postgres = false;
};

// A set of 50,000 accounts.
std::unique_ptr<AppServer> makeBigSet(const QString &location)
{
    auto set = makeSet(location);
    auto c = set->connect();
    c->login(kUser, kPassword);
    applyOrDie(*c, inserts(set->catalog().require(kAccounts).fields, 1, kBigAccounts),
               [&] { return c->lastError(); });
    return set;
}

// One engine's sets, servers and connections, and what (a) and (b) measured on it.
struct Engine
{
    QString name;
    std::unique_ptr<SetLocation> bigWhere, emptyWhere; // outlive the sets
    std::unique_ptr<AppServer> big, empty;
    std::unique_ptr<ServerConnection> bigLocal, emptyLocal;
    std::unique_ptr<net::NetServer> bigServer, emptyServer;
    std::unique_ptr<net::NetConnection> bigNet, emptyNet;
    QSqlDatabase clear;
    std::vector<double> requestLocal, requestNet, applyLocal, applyNet;
    double rate = 0, p50 = 0, p99 = 0; // (c)

    Engine(const Options &o, const QString &engine, const QTemporaryDir &dir,
           const net::ClientSecurity &sec)
        : name(engine)
    {
        QElapsedTimer t;
        t.start();
        bigWhere = std::make_unique<SetLocation>(o, engine, dir, QStringLiteral("big"));
        emptyWhere = std::make_unique<SetLocation>(o, engine, dir, QStringLiteral("empty"));
        big = makeBigSet(bigWhere->location());
        empty = makeSet(emptyWhere->location());
        std::printf("%s: a set of %d accounts made in %.1f s\n", qPrintable(name), kBigAccounts,
                    msSince(t) / 1000);
        bigLocal = big->connect();
        bigLocal->login(kUser, kPassword);
        emptyLocal = empty->connect();
        emptyLocal->login(kUser, kPassword);
        bigServer = serve(*big, o);
        emptyServer = serve(*empty, o);
        bigNet = std::make_unique<net::NetConnection>(
            net::ServerAddress{QStringLiteral("127.0.0.1"), bigServer->port()}, sec);
        bigNet->login({}, kUser, kPassword);
        emptyNet = std::make_unique<net::NetConnection>(
            net::ServerAddress{QStringLiteral("127.0.0.1"), emptyServer->port()}, sec);
        emptyNet->login({}, kUser, kPassword);
        clear = empty->openConnection();
        bigLocal->request(kAccounts, kTop); // warm both caches once
        bigNet->request(kAccounts, kTop);
    }
    ~Engine()
    {
        clear = QSqlDatabase();
        try {
            if (emptyNet)
                emptyNet->logout();
            if (bigNet)
                bigNet->logout();
        } catch (const std::exception &) {
        }
    }

    void requestOnce()
    {
        QElapsedTimer t;
        t.start();
        const size_t local = bigLocal->request(kAccounts, kTop).rows.size();
        requestLocal.push_back(msSince(t));
        t.restart();
        const size_t remote = bigNet->request(kAccounts, kTop).rows.size();
        requestNet.push_back(msSince(t));
        if (local != 2000 || remote != 2000)
            throw Error(QStringLiteral("%1: TOP 2000 answered %2 and %3 rows")
                            .arg(name)
                            .arg(local)
                            .arg(remote));
    }

    void applyOnce(const DeltaPacket &delta)
    {
        const auto clearAccounts = [&] {
            QSqlQuery q(clear);
            if (!q.exec(QStringLiteral("DELETE FROM T0102010")))
                throw Error(QStringLiteral("%1: cannot clear the accounts").arg(name));
        };
        QElapsedTimer t;
        t.start();
        applyOrDie(*emptyLocal, delta, [&] { return emptyLocal->lastError(); });
        applyLocal.push_back(msSince(t));
        clearAccounts();
        t.restart();
        applyOrDie(*emptyNet, delta, [&] { return emptyNet->lastError(); });
        applyNet.push_back(msSince(t));
        clearAccounts();
    }
};

// (a) and (b): the two paths, and the engines, taking turns so that all see the same machine.
void compare(const Options &o, std::vector<std::unique_ptr<Engine>> &engines)
{
    for (int r = 0; r < o.repeat; ++r)
        for (auto &e : engines)
            e->requestOnce();
    if (o.onlyTop)
        return;
    const DeltaPacket delta =
        inserts(engines.front()->big->catalog().require(kAccounts).fields, 1, kInsertRows);
    for (int r = 0; r < o.repeat; ++r)
        for (auto &e : engines)
            e->applyOnce(delta);
}

// (c) Many clients, each one lookup after another for the given time.
void load(const Options &o, Engine &engine, const net::ClientSecurity &sec)
{
    const auto server = serve(*engine.big, o);

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
    engine.rate = double(all.size()) / seconds;
    engine.p50 = percentile(0.50);
    engine.p99 = percentile(0.99);
    std::printf("(c) %-10s %d clients, lookups by code for %.1f s: %zu requests, %.0f per "
                "second, latency p50 %.2f ms, p99 %.2f ms\n",
                qPrintable(engine.name), o.clients, seconds, all.size(), engine.rate, engine.p50,
                engine.p99);
}

// The machine's load average, for reading the figures.
QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(f.readAll()).section(u' ', 0, 2);
}

// Where the network's extra time in (a) goes, step by step on the reply, without sockets;
// the packet text beside it, for comparison.
void codec(const Options &o, Engine &e)
{
    const net::PacketReply reply{7, e.bigLocal->request(kAccounts, kTop)};
    std::vector<double> text, untext, wire, unwire, encode, frame, unframe, decode;
    QByteArray payload;
    qsizetype textBytes = 0;
    for (int r = 0; r < o.repeat; ++r) {
        QElapsedTimer t;
        t.start();
        const QString packetText = writeDataPacket(reply.packet);
        text.push_back(msSince(t));
        textBytes = packetText.toUtf8().size();
        t.restart();
        const DataPacket p = readDataPacket(packetText);
        untext.push_back(msSince(t));
        t.restart();
        const QByteArray cbor = net::writeWirePacket(reply.packet);
        wire.push_back(msSince(t));
        t.restart();
        const DataPacket q = net::readWirePacket(cbor);
        unwire.push_back(msSince(t));
        t.restart();
        payload = net::encodeMessage(reply);
        encode.push_back(msSince(t));
        t.restart();
        const QByteArray framed = net::writeFrame(payload);
        frame.push_back(msSince(t));
        t.restart();
        net::FrameReader reader;
        for (qsizetype at = 0; at < framed.size(); at += 16384) // as TLS records arrive
            reader.feed(QByteArrayView(framed.constData() + at,
                                       std::min<qsizetype>(16384, framed.size() - at)));
        const QByteArray back = reader.takeFrame();
        unframe.push_back(msSince(t));
        t.restart();
        const net::Message m = net::decodeMessage(back);
        decode.push_back(msSince(t));
        if (!std::holds_alternative<net::PacketReply>(m) ||
            std::get<net::PacketReply>(m).packet.rows.size() != 2000 || p.rows.size() != 2000 ||
            q.rows.size() != 2000)
            throw Error(QStringLiteral("the reply did not survive its way"));
    }
    std::printf("%-10s (a)'s reply: packet text %lld bytes, written %.2f ms, read %.2f ms; CBOR "
                "packet written %.2f ms, read %.2f ms; message of %lld bytes: encodeMessage "
                "%.2f ms, writeFrame %.2f, FrameReader %.2f, decodeMessage %.2f ms\n",
                qPrintable(e.name), qint64(textBytes), median(text), median(untext), median(wire),
                median(unwire), qint64(payload.size()), median(encode), median(frame),
                median(unframe), median(decode));
}

void printPair(const Engine &e, const char *what, const std::vector<double> &local,
               const std::vector<double> &net, double target)
{
    const double l = median(local), n = median(net);
    const auto [lmin, lmax] = std::minmax_element(local.begin(), local.end());
    const auto [nmin, nmax] = std::minmax_element(net.begin(), net.end());
    std::printf("%-10s %-26s in-process %8.1f ms   network %8.1f ms   ratio %.2f (target <= "
                "%.1f) %s   [in-process %.1f-%.1f, network %.1f-%.1f]\n",
                qPrintable(e.name), what, l, n, n / l, target, n / l <= target ? "ok" : "MISSED",
                *lmin, *lmax, *nmin, *nmax);
}

void report(const Options &o, const std::vector<std::unique_ptr<Engine>> &engines)
{
    std::printf("medians of %d, each path and engine in turn:\n", o.repeat);
    for (const auto &e : engines) {
        printPair(*e, "(a) TOP 2000 of 50,000", e->requestLocal, e->requestNet, 1.5);
        if (!o.onlyTop)
            printPair(*e, "(b) apply 10,000 inserts", e->applyLocal, e->applyNet, 1.3);
    }
}

void reportEngines(const Options &o, const Engine &sqlite, const Engine &pg)
{
    const auto line = [](const char *what, double s, double p, const char *unit) {
        std::printf("postgresql/sqlite %-34s %9.1f / %9.1f %-4s ratio %.2f\n", what, p, s, unit,
                    p / s);
    };
    line("(a) TOP 2000, in-process", median(sqlite.requestLocal), median(pg.requestLocal), "ms");
    line("(a) TOP 2000, network", median(sqlite.requestNet), median(pg.requestNet), "ms");
    if (!o.onlyTop) {
        line("(b) apply 10,000, in-process", median(sqlite.applyLocal), median(pg.applyLocal),
             "ms");
        line("(b) apply 10,000, network", median(sqlite.applyNet), median(pg.applyNet), "ms");
    }
    if (o.load && !o.onlyTop) {
        line("(c) lookups per second", sqlite.rate, pg.rate, "/s");
        line("(c) lookup p50", sqlite.p50, pg.p50, "ms");
        line("(c) lookup p99", sqlite.p99, pg.p99, "ms");
    }
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
        const auto text = [&]() {
            if (i + 1 >= args.size())
                throw Error(a + QStringLiteral(" takes a value"));
            return args[++i];
        };
        if (a == u"--seconds")
            o.seconds = number();
        else if (a == u"--clients")
            o.clients = number();
        else if (a == u"--repeat")
            o.repeat = number();
        else if (a == u"--tls")
            o.tls = true;
        else if (a == u"--no-load")
            o.load = false;
        else if (a == u"--codec")
            o.codec = true;
        else if (a == u"--only-top")
            o.onlyTop = true;
        else if (a == u"--postgres")
            o.postgres = text();
        else if (a == u"--engine") {
            const QString e = text();
            if (e == u"both")
                o.engines = {QStringLiteral("sqlite"), QStringLiteral("postgresql")};
            else if (e == u"sqlite" || e == u"postgresql")
                o.engines = {e};
            else
                throw Error(QStringLiteral("--engine takes sqlite, postgresql or both"));
        } else
            throw Error(QStringLiteral("unknown option ") + a);
    }
    if (o.engines.contains(QStringLiteral("postgresql")) && o.postgres.isEmpty())
        throw Error(QStringLiteral("--engine postgresql needs --postgres LOCATION"));
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
        std::printf("bench_network: %s over loopback, %s; load average %s\n",
                    o.tls ? "TLS" : "plain TCP",
                    qPrintable(o.engines.join(QStringLiteral(" and "))), qPrintable(loadAverage()));
        std::vector<std::unique_ptr<Engine>> engines;
        for (const QString &e : o.engines)
            engines.push_back(std::make_unique<Engine>(o, e, dir, sec));
        compare(o, engines);
        report(o, engines);
        if (o.codec)
            for (auto &e : engines)
                codec(o, *e);
        if (o.load && !o.onlyTop)
            for (auto &e : engines)
                load(o, *e, sec);
        if (engines.size() == 2)
            reportEngines(o, *engines[0], *engines[1]);
        std::printf("load average at the end %s\n", qPrintable(loadAverage()));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_network: %s\n", errorText(e).toUtf8().constData());
        return 1;
    }
    return 0;
}
