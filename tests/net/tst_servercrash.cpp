// vexa-server killed with SIGKILL at random points of a big apply and of a chart-template
// load, restarted after each kill. Every time the set must pass the administrator's check
// and hold either all of the interrupted work or none of it; the client's call says the
// connection is lost, and a new connection to the restarted server logs in.
#include "AccountTemplate.h"
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "Globals.h"
#include "NetConnection.h"
#include "SetMaintenance.h"
#include "support/ServerFixture.h"

#include <vexa/Error.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <optional>
#include <random>
#include <thread>

using namespace vexa;
using namespace vexa::net;

namespace {

const QString kAccounts = QStringLiteral("LX_DMAccounting");
const QString kLost = QStringLiteral("与服务器的连接已断开。");
constexpr int kKillsPerWorkload = 25;
constexpr int kFirstBigId = 100000;
constexpr int kBigRows = 1500;
const QString kBigRange = QStringLiteral("WHERE AcctID >= %1 ORDER BY AcctID").arg(kFirstBigId);

server::AppServer::Options setOptions()
{
    server::AppServer::Options o;
    o.passwordCost = server::PasswordCost::Fast;
    return o;
}

// The real vexa-server on a loopback port; 0: a free one.
class ServerProcess
{
public:
    ServerProcess(const QString &set, quint16 port)
    {
        m_process.start(QStringLiteral(VEXA_SERVER_PATH),
                        {QStringLiteral("--insecure"), QStringLiteral("--listen"),
                         QStringLiteral("127.0.0.1:%1").arg(port), set});
        if (!m_process.waitForStarted(10000))
            throw Error(QStringLiteral("vexa-server did not start: ") + m_process.errorString());
        static const QRegularExpression serving(QStringLiteral("端口 (\\d+) 上提供"));
        QString said;
        while (m_port == 0) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(20000))
                throw Error(QStringLiteral("vexa-server did not listen: ") + said +
                            QString::fromUtf8(m_process.readAllStandardError()));
            while (m_process.canReadLine()) {
                const QString line = QString::fromUtf8(m_process.readLine());
                said += line;
                if (const auto m = serving.match(line); m.hasMatch())
                    m_port = quint16(m.captured(1).toUInt());
            }
        }
    }
    ~ServerProcess()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    quint16 port() const { return m_port; }

    std::unique_ptr<NetConnection> client() const
    {
        auto c = std::make_unique<NetConnection>(ServerAddress{QStringLiteral("127.0.0.1"), m_port},
                                                 ClientSecurity::plainTcp(), 20000);
        c->login({}, QStringLiteral("Manager"), QStringLiteral("manager"));
        return c;
    }

    // SIGKILL after delayUs microseconds, from another thread while this one waits on
    // the server.
    std::jthread killAfter(qint64 delayUs)
    {
        const pid_t pid = pid_t(m_process.processId());
        return std::jthread([pid, delayUs] {
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            ::kill(pid, SIGKILL);
        });
    }
    bool killed()
    {
        return m_process.waitForFinished(10000) && m_process.exitStatus() == QProcess::CrashExit;
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// Runs work while the server is killed after delayUs. The interrupted call either finished
// or failed with the lost connection; once the server is gone, the next call on that
// connection says the connection is lost. Returns what went wrong, empty when nothing.
QString interrupted(ServerProcess &server, NetConnection &c, qint64 delayUs,
                    const std::function<void()> &work)
{
    auto killer = server.killAfter(delayUs);
    QString thrown;
    try {
        work();
    } catch (const Error &e) {
        thrown = e.message();
    }
    killer.join();
    if (!server.killed())
        return QStringLiteral("vexa-server outlived SIGKILL");
    if (!thrown.isEmpty() && thrown != kLost)
        return QStringLiteral("the interrupted call said: ") + thrown;
    try {
        c.lastError();
        return QStringLiteral("a call after the kill succeeded");
    } catch (const Error &e) {
        if (e.message() != kLost)
            return QStringLiteral("the call after the kill said: ") + e.message();
    }
    return QString();
}

// When to kill: a moment in the work or just after it, so that most kills land inside and a
// few after the commit. The work's length comes from an unkilled first round; a kill that
// came after the commit shows the work took at most that long (the machine may have been
// busy in the first round).
class KillPoints
{
public:
    explicit KillPoints(qint64 workUs) : m_workUs(workUs) {}
    qint64 next()
    {
        m_last = qint64(m_random() % quint64(m_workUs + m_workUs / 4));
        return m_last;
    }
    void committed() { m_workUs = std::max<qint64>(1000, std::min(m_workUs, m_last)); }

private:
    std::mt19937 m_random{20261207};
    qint64 m_workUs;
    qint64 m_last = 0;
};

QString checked(const QString &path)
{
    return server::checkSet(path, setOptions()).join(u'\n');
}

// The stored rows of some providers, read in-process.
// Rows in a fixed order: without ORDER BY, PostgreSQL returns them in whatever order its
// pages hold them, which a rewritten table changes.
DataPacket inOrder(DataPacket packet)
{
    const auto key = [](const QVariantList &row) {
        QStringList cells;
        for (const QVariant &v : row)
            cells << v.toString();
        return cells.join(QChar(0x1f));
    };
    std::sort(packet.rows.begin(), packet.rows.end(),
              [&](const QVariantList &a, const QVariantList &b) { return key(a) < key(b); });
    return packet;
}

std::vector<DataPacket> readBack(const QString &path, const QStringList &providers,
                                 const QString &command)
{
    auto set = server::AppServer::open(path, setOptions());
    auto c = set->connect();
    c->login(QStringLiteral("Manager"), QStringLiteral("manager"));
    std::vector<DataPacket> packets;
    for (const QString &p : providers)
        packets.push_back(inOrder(c->request(p, command)));
    return packets;
}

// Pointing the plug-in's data access at a connection for the template load.
struct PluginConnection
{
    PluginConnection(IRemoteConnection &c, IAppServer &s)
    {
        gl::Globals().Connection = &c;
        gl::Globals().AppServer = &s;
    }
    ~PluginConnection() { gl::Globals() = gl::PluginGlobals(); }
};

// As the configuration save loads it: the template read first, then replaced in one
// server transaction.
void loadTemplate(const gl::ChartTemplate &chart)
{
    gl::BeginTrans();
    gl::LoadAccountTemplate(chart, QStringLiteral("RMB"));
    gl::CommitTrans();
}

const QStringList kTemplateProviders{kAccounts,
                                     QStringLiteral("LX_DMAccttype"),
                                     QStringLiteral("LX_FINGLReportTemplet"),
                                     QStringLiteral("LX_FINGLReportTempletItem"),
                                     QStringLiteral("LX_FINGLReportTempletForAcctDef"),
                                     QStringLiteral("LX_FINGLReportTempletForSUM"),
                                     QStringLiteral("LX_FINBaseACheckLevels"),
                                     QStringLiteral("LX_FINBaseACheckItem")};

} // namespace

class tst_ServerCrash : public QObject
{
    Q_OBJECT

private slots:
    // One apply renames every row of a big range; after a kill all rows carry one round's
    // name, the one before the apply or the apply's.
    void killedInBigApply()
    {
        test::ServerFixture fixture;
        const QString path = fixture.path();
        {
            auto c = fixture.connect();
            ClientDataSet ds;
            ds.setRemoteConnection(c.get());
            ds.setProviderName(kAccounts);
            ds.setCommandText(kBigRange);
            ds.open();
            for (int i = 0; i < kBigRows; ++i)
                test::appendAccount(ds, kFirstBigId + i, QString::number(kFirstBigId + i),
                                    QStringLiteral("第0轮"));
            int errors = -1;
            QVariant owner;
            c->applyUpdates(kAccounts, ds.delta(), -1, errors, owner);
            QCOMPARE(errors, 0);
        }
        fixture.server.reset();

        std::optional<KillPoints> kills;
        quint16 port = 0;
        qint64 applyUs = 0; // how long one apply takes, from the first, unkilled round
        int committed = 0;
        int stored = 0; // the round the set holds
        for (int round = 1; round <= kKillsPerWorkload + 1; ++round) {
            // Restarted where its clients know it, though the killed one's connections
            // may still hold the port.
            ServerProcess server(path, port);
            port = server.port();
            auto c = server.client();
            ClientDataSet ds;
            ds.setRemoteConnection(c.get());
            ds.setProviderName(kAccounts);
            ds.setCommandText(kBigRange);
            ds.open();
            QCOMPARE(ds.recordCount(), kBigRows);
            const QString name = QStringLiteral("第%1轮").arg(round);
            for (ds.first(); !ds.eof(); ds.next()) {
                ds.edit();
                ds.setValue(QStringLiteral("AcctName"), name);
                ds.post();
            }
            const DeltaPacket delta = ds.delta();
            const auto apply = [&] {
                int errors = -1;
                QVariant owner;
                c->applyUpdates(kAccounts, delta, -1, errors, owner);
                if (errors != 0)
                    throw Error(c->lastError());
            };
            if (round == 1) {
                QElapsedTimer clock;
                clock.start();
                apply();
                applyUs = clock.nsecsElapsed() / 1000;
                kills.emplace(applyUs);
                stored = round;
                continue;
            }
            const QString wrong = interrupted(server, *c, kills->next(), apply);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            const QString problems = checked(path);
            QVERIFY2(problems.isEmpty(), qPrintable(problems));
            const DataPacket rows = readBack(path, {kAccounts}, kBigRange)[0];
            QCOMPARE(int(rows.rows.size()), kBigRows);
            const int nameColumn = indexOfField(rows.fields, QStringLiteral("AcctName"));
            const QString first = rows.rows.front()[nameColumn].toString();
            QVERIFY2(first == name || first == QStringLiteral("第%1轮").arg(stored),
                     qPrintable(first));
            for (const QVariantList &row : rows.rows)
                QCOMPARE(row[nameColumn].toString(), first);
            if (first == name) {
                stored = round;
                ++committed;
                kills->committed();
            }
        }
        qInfo("apply of %d rows: %lld ms; %d of %d kills after the commit", kBigRows,
              applyUs / 1000, committed, kKillsPerWorkload);
        // Kills that all came too late would prove nothing.
        QVERIFY(committed < kKillsPerWorkload);
    }

    // The two industry templates loaded in turn; after a kill the template tables hold
    // exactly the template loaded before or the one being loaded.
    void killedInTemplateLoad()
    {
        test::ServerFixture fixture;
        const QString path = fixture.path();
        const QString codes[2] = {QStringLiteral("A01000"), QStringLiteral("A02000")};
        const QString all = QStringLiteral("WHERE 1=1");
        std::vector<DataPacket> loaded[2]; // the tables with each template loaded
        gl::ChartTemplate charts[2];
        {
            auto c = fixture.connect();
            PluginConnection plugin(*c, *c);
            for (int t = 0; t < 2; ++t)
                charts[t] = gl::ReadAccountTemplate(codes[t]);
            // Once each first: what a load keeps of the other's tables is then the same
            // every round.
            for (int t : {0, 1, 0, 1}) {
                loadTemplate(charts[t]);
                loaded[t].clear();
                for (const QString &p : kTemplateProviders)
                    loaded[t].push_back(inOrder(c->request(p, all)));
            }
        }
        QVERIFY(loaded[0] != loaded[1]);
        fixture.server.reset();

        std::optional<KillPoints> kills;
        quint16 port = 0;
        qint64 loadUs = 0;
        int committed = 0;
        int stored = 1;
        for (int round = 0; round <= kKillsPerWorkload; ++round) {
            // Restarted where its clients know it, though the killed one's connections
            // may still hold the port.
            ServerProcess server(path, port);
            port = server.port();
            auto c = server.client();
            PluginConnection plugin(*c, *c);
            const int target = 1 - stored;
            if (round == 0) {
                QElapsedTimer clock;
                clock.start();
                loadTemplate(charts[target]);
                loadUs = clock.nsecsElapsed() / 1000;
                kills.emplace(loadUs);
                stored = target;
                continue;
            }
            const QString wrong =
                interrupted(server, *c, kills->next(), [&] { loadTemplate(charts[target]); });
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            const QString problems = checked(path);
            QVERIFY2(problems.isEmpty(), qPrintable(problems));
            const std::vector<DataPacket> now = readBack(path, kTemplateProviders, all);
            QVERIFY2(now == loaded[stored] || now == loaded[target],
                     qPrintable(QStringLiteral("round %1: a part of template %2 was stored")
                                    .arg(round)
                                    .arg(codes[target])));
            if (now == loaded[target]) {
                stored = target;
                ++committed;
                kills->committed();
            }
        }
        qInfo("template load: %lld ms; %d of %d kills after the commit", loadUs / 1000, committed,
              kKillsPerWorkload);
        QVERIFY(committed < kKillsPerWorkload);
    }
};

QTEST_GUILESS_MAIN(tst_ServerCrash)
#include "tst_servercrash.moc"
