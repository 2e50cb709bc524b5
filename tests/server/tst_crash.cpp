// A server process killed in the middle of a write leaves the account set as it was before
// the write. The test runs itself as the child that is killed: with VEXA_CRASH_CHILD set to
// an account-set path, main() writes instead of testing (see runChild).
#include "AppServer.h"
#include "ProviderCatalog.h"

#include <vexa/Error.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>

using namespace vexa;
using namespace vexa::server;

namespace {

constexpr int kTransactionRows = 1000;
constexpr int kDeltaRows = 2000;

// Accounts first + 1 .. first + n, as one insert delta of LX_DMAccounting.
DeltaPacket accounts(const AppServer &server, int first, int n)
{
    const Provider &p = server.catalog().require(QStringLiteral("LX_DMAccounting"));
    DeltaPacket d;
    for (const char *name : {"AcctID", "AcctCode", "AcctName", "Levels", "IsNode", "DC"})
        d.fields.append(p.fields[p.column(QLatin1String(name))]);
    for (int i = first + 1; i <= first + n; ++i)
        d.rows.push_back({DeltaRow::Kind::Insert,
                          {i, QStringLiteral("9%1").arg(i, 7, 10, QChar(u'0')),
                           QStringLiteral("测试科目%1").arg(i), 1, true, QStringLiteral("D")},
                          {}});
    return d;
}

void applyOrThrow(ServerConnection &c, const DeltaPacket &d)
{
    int errors = -1;
    QVariant owner;
    c.applyUpdates(QStringLiteral("LX_DMAccounting"), d, -1, errors, owner);
    if (errors != 0)
        throw Error(c.lastError());
}

void say(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The child: "transaction" inserts inside BeginTrans and waits to be killed; "applies"
// applies one big delta after another, each on its own, until it is killed.
int runChild(const QString &path, const QByteArray &mode)
{
    try {
        auto server = AppServer::open(path);
        auto c = server->connect();
        // A small page cache spills uncommitted pages into the WAL file, so the kill
        // leaves half-written work on disk and not only in memory.
        QSqlQuery(c->database()).exec(QStringLiteral("PRAGMA cache_size = 8"));
        if (mode == "transaction") {
            c->call(QStringLiteral("BeginTrans"));
            applyOrThrow(*c, accounts(*server, 0, kTransactionRows));
            say("ready");
            for (;;)
                QThread::sleep(60);
        }
        for (int k = 0;; ++k) {
            const DeltaPacket d = accounts(*server, k * kDeltaRows, kDeltaRows);
            say("applying " + QByteArray::number(k));
            applyOrThrow(*c, d);
            say("applied " + QByteArray::number(k));
        }
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}

int scalar(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        throw Error(sql + QStringLiteral(": ") + q.lastError().text());
    return q.value(0).toInt();
}

} // namespace

class TestCrash : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_run = 0;
    int m_killsInsideApply = 0;

    // A new, empty account set; no connection stays open, so the WAL file is gone.
    QString newAccountSet()
    {
        const QString path = m_dir.filePath(QStringLiteral("crash%1.vexa").arg(++m_run));
        AppServer::create(path, false);
        return path;
    }

    void startChild(QProcess &p, const QString &path, const char *mode)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VEXA_CRASH_CHILD"), path);
        env.insert(QStringLiteral("VEXA_CRASH_MODE"), QLatin1String(mode));
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY2(p.waitForStarted(), qPrintable(p.errorString()));
    }

    // Waits for a line of the child's output (sanitizer builds start slowly).
    QByteArray nextLine(QProcess &p)
    {
        QElapsedTimer t;
        t.start();
        while (!p.canReadLine() && t.elapsed() < 120000 && p.state() == QProcess::Running)
            p.waitForReadyRead(1000);
        return p.canReadLine() ? p.readLine().trimmed() : QByteArray();
    }

    void kill(QProcess &p)
    {
        p.kill(); // SIGKILL: no destructor, no rollback, no checkpoint runs
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    }

    // The file after the crash: consistent, with exactly the rows counted, and writable.
    void checkAfterCrash(const QString &path, int expectedRows)
    {
        auto server = AppServer::open(path);
        auto c = server->connect();
        QSqlDatabase db = c->database();
        QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM T0102010")), expectedRows);
        QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM AcctFullName")), expectedRows);
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
        QVERIFY(q.exec(QStringLiteral("PRAGMA foreign_key_check")));
        QVERIFY(!q.next());
        q.finish();

        const int next = expectedRows + 1000000;
        applyOrThrow(*c, accounts(*server, next, 1));
        const DataPacket back = c->request(QStringLiteral("LX_BMListAccounting"),
                                           QStringLiteral("WHERE AcctID = %1").arg(next + 1));
        QCOMPARE(int(back.rows.size()), 1);
        QCOMPARE(back.rows[0][indexOfField(back.fields, QStringLiteral("FullName"))].toString(),
                 QStringLiteral("测试科目%1").arg(next + 1));
    }

private slots:
    void killedInsideTransaction()
    {
        const QString path = newAccountSet();
        QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
        QProcess child;
        startChild(child, path, "transaction");
        QCOMPARE(nextLine(child), QByteArray("ready"));
        {
            // Another client sees nothing of the open transaction, although part of it
            // already sits in the WAL file.
            auto server = AppServer::open(path);
            auto c = server->connect();
            QCOMPARE(scalar(c->database(), QStringLiteral("SELECT COUNT(*) FROM T0102010")), 0);
            QVERIFY(QFileInfo(path + QStringLiteral("-wal")).size() > 0);
        }
        kill(child);
        checkAfterCrash(path, 0);
    }

    // Killed at a random moment of a run of applies outside a transaction: every apply is
    // in the file whole or not at all, and every apply the child reported is there.
    void killedDuringApplies_data()
    {
        QTest::addColumn<int>("round");
        for (int i = 1; i <= 3; ++i)
            QTest::newRow(qPrintable(QStringLiteral("round %1").arg(i))) << i;
    }
    void killedDuringApplies()
    {
        const QString path = newAccountSet();
        QProcess child;
        startChild(child, path, "applies");
        QCOMPARE(nextLine(child), QByteArray("applying 0"));
        QCOMPARE(nextLine(child), QByteArray("applied 0"));
        const int delay = QRandomGenerator::global()->bounded(50, 1500);
        QThread::msleep(delay);
        kill(child);
        int reported = 1, started = 1;
        QByteArray last;
        for (QByteArray line; !(line = nextLine(child)).isEmpty(); last = line) {
            const int k = line.mid(line.indexOf(' ') + 1).toInt();
            (line.startsWith("applied ") ? reported : started) = k + 1;
        }
        const bool insideApply = last.startsWith("applying ");
        m_killsInsideApply += insideApply;

        int rows = 0;
        {
            auto server = AppServer::open(path);
            auto c = server->connect();
            rows = scalar(c->database(), QStringLiteral("SELECT COUNT(*) FROM T0102010"));
            // Whole deltas only: each group of kDeltaRows keys complete, no group missing.
            QSqlQuery q(c->database());
            QVERIFY(q.exec(QStringLiteral("SELECT (AcctID - 1) / %1, COUNT(*) FROM T0102010 "
                                          "GROUP BY 1 ORDER BY 1")
                               .arg(kDeltaRows)));
            for (int k = 0; q.next(); ++k) {
                QCOMPARE(q.value(0).toInt(), k);
                QCOMPARE(q.value(1).toInt(), kDeltaRows);
            }
        }
        qInfo("killed %d ms after the first apply%s: %d applies reported, %d rows", delay,
              insideApply ? " inside an apply" : "", reported, rows);
        QCOMPARE(rows % kDeltaRows, 0);
        QVERIFY(rows / kDeltaRows >= reported);
        QVERIFY(rows / kDeltaRows <= started);
        checkAfterCrash(path, rows);
    }

    // The rounds above prove something only if a kill interrupted an apply.
    void someKillInsideAnApply() { QVERIFY(m_killsInsideApply > 0); }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray child = qgetenv("VEXA_CRASH_CHILD");
    if (!child.isEmpty())
        return runChild(QString::fromLocal8Bit(child), qgetenv("VEXA_CRASH_MODE"));
    TestCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash.moc"
