// Eight clients at once on one set through vexa-server's network layer, each for a few
// seconds incrementing counters of rows all of them share and of a row of its own, the way
// the plug-in saves (a delta carrying the values it read). No update may be lost, every
// refusal must be the conflict report naming the shared row, and one apply stays all or
// nothing: a refused apply leaves the client's own row untouched too.
#include "ClientDataSet.h"
#include "NetConnection.h"
#include "NetServer.h"
#include "support/ServerFixture.h"

#include <vexa/Error.h>

#include <QElapsedTimer>
#include <QTest>
#include <array>
#include <random>
#include <thread>

using namespace vexa;
using namespace vexa::net;

namespace {

const QString kAccounts = QStringLiteral("LX_DMAccounting");
// An integer column of the accounts serves as the counter.
const QString kCounter = QStringLiteral("ACItemID");

constexpr int kClients = 8;
constexpr int kShared = 2; // few shared rows, so that clients collide often
constexpr int kSeconds = 4;

int sharedId(int s)
{
    return 1 + s;
}
int ownId(int client)
{
    return 101 + client;
}

// What one client did and saw.
struct Tally
{
    std::array<int, kShared> sharedDone{}; // successful applies per shared row
    int ownDone = 0;                       // successful applies that included its own row
    int conflicts = 0;
    QStringList wrong; // refusals that were not the expected conflict report
};

void run(quint16 port, int client, Tally &tally)
{
    NetConnection c(ServerAddress{QStringLiteral("127.0.0.1"), port}, ClientSecurity::plainTcp(),
                    30000);
    c.login({}, QStringLiteral("Manager"), QStringLiteral("manager"));
    std::mt19937 random(unsigned(client) * 7919u + 1u);
    ClientDataSet ds;
    ds.setRemoteConnection(&c);
    ds.setProviderName(kAccounts);
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; clock.elapsed() < kSeconds * 1000; ++round) {
        // Every third save touches its own row only; the others a shared row with it, its
        // own row first, so that a refused apply must undo a row it had already written.
        const int shared = round % 3 == 2 ? -1 : int(random() % kShared);
        ds.setCommandText(shared < 0
                              ? QStringLiteral("WHERE AcctID = %1").arg(ownId(client))
                              : QStringLiteral("WHERE AcctID IN (%1, %2) ORDER BY AcctID DESC")
                                    .arg(sharedId(shared))
                                    .arg(ownId(client)));
        ds.close();
        ds.open();
        for (ds.first(); !ds.eof(); ds.next()) {
            ds.edit();
            ds.setValue(kCounter, ds.asInteger(kCounter) + 1);
            ds.post();
        }
        int errors = -1;
        QVariant owner;
        c.applyUpdates(kAccounts, ds.delta(), -1, errors, owner);
        if (errors == 0) {
            ++tally.ownDone;
            if (shared >= 0)
                ++tally.sharedDone[size_t(shared)];
            continue;
        }
        QVariantList kind{QStringLiteral("Kind")};
        const auto reported = ErrorKind(c.call(QStringLiteral("GetLastErrorInfo"), kind).toInt());
        const QString message = c.lastError();
        ++tally.conflicts;
        if (shared < 0 || reported != ErrorKind::ChangedByOther ||
            !message.contains(
                QStringLiteral("AcctID=%1 的记录已被其他用户修改").arg(sharedId(shared))))
            tally.wrong << QStringLiteral("%1（类别 %2）").arg(message).arg(int(reported));
    }
    c.logout();
}

} // namespace

class tst_Concurrency : public QObject
{
    Q_OBJECT

private slots:
    void eightClientsNoLostUpdate()
    {
        test::ServerFixture set;
        {
            auto local = set.connect();
            ClientDataSet ds;
            ds.setRemoteConnection(local.get());
            ds.setProviderName(kAccounts);
            ds.setCommandText(QStringLiteral("WHERE 1=0"));
            ds.open();
            const auto add = [&](int id) {
                test::appendAccount(ds, id, QString::number(9000 + id),
                                    QStringLiteral("计数%1").arg(id));
                ds.edit();
                ds.setValue(kCounter, 0);
                ds.post();
            };
            for (int s = 0; s < kShared; ++s)
                add(sharedId(s));
            for (int i = 0; i < kClients; ++i)
                add(ownId(i));
            int errors = -1;
            QVariant owner;
            local->applyUpdates(kAccounts, ds.delta(), -1, errors, owner);
            QCOMPARE(errors, 0);
        }

        NetServer server(*set.server);
        server.listen(QHostAddress::LocalHost, 0);
        std::array<Tally, kClients> tallies;
        std::array<QString, kClients> failures;
        {
            std::vector<std::jthread> clients;
            for (int i = 0; i < kClients; ++i)
                clients.emplace_back([&, i] {
                    try {
                        run(server.port(), i, tallies[size_t(i)]);
                    } catch (const std::exception &e) {
                        failures[size_t(i)] = errorText(e);
                    }
                });
        }
        for (int i = 0; i < kClients; ++i) {
            QVERIFY2(failures[size_t(i)].isEmpty(), qPrintable(failures[size_t(i)]));
            QVERIFY2(tallies[size_t(i)].wrong.isEmpty(),
                     qPrintable(tallies[size_t(i)].wrong.join(u'\n')));
        }

        auto local = set.connect();
        const DataPacket stored =
            local->request(kAccounts, QStringLiteral("WHERE 1=1 ORDER BY AcctID"));
        const int idColumn = indexOfField(stored.fields, QStringLiteral("AcctID"));
        const int counterColumn = indexOfField(stored.fields, kCounter);
        QHash<int, int> value;
        for (const QVariantList &row : stored.rows)
            value[row[idColumn].toInt()] = row[counterColumn].toInt();
        int conflicts = 0;
        for (int s = 0; s < kShared; ++s) {
            int done = 0;
            for (const Tally &t : tallies)
                done += t.sharedDone[size_t(s)];
            QCOMPARE(value.value(sharedId(s), -1), done);
        }
        for (int i = 0; i < kClients; ++i) {
            QVERIFY(tallies[size_t(i)].ownDone > 0);
            QCOMPARE(value.value(ownId(i), -1), tallies[size_t(i)].ownDone);
            conflicts += tallies[size_t(i)].conflicts;
        }
        // Without collisions the run proves nothing.
        QVERIFY2(conflicts > 0, "no client ever met another's change");
        qInfo(
            "%d successful saves, %d conflicts",
            [&] {
                int n = 0;
                for (const Tally &t : tallies)
                    n += t.ownDone;
                return n;
            }(),
            conflicts);
    }
};

QTEST_GUILESS_MAIN(tst_Concurrency)
#include "tst_concurrency.moc"
