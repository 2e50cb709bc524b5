// Backups taken while a set is in use, their restore, and the check that tells an
// administrator what is wrong with a set.
#include "AttachmentStore.h"
#include "OwnConnection.h"
#include "PostgresLocation.h"
#include "SetMaintenance.h"

#include "../support/ServerFixture.h"
#include "../support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

using namespace vexa;
using namespace vexa::server;

namespace {

const char kFileId[] = "{0F0F0F0F-1111-2222-3333-444444444444}";

void exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        QFAIL(qPrintable(sql));
}

int countOf(const QString &path, const QString &sql)
{
    AppServer::Options reading;
    reading.readOnly = true;
    const auto server = AppServer::open(path, reading);
    OwnConnection c(server->openConnection());
    QSqlQuery q(c.db());
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

QString text(const QString &path, const QString &sql)
{
    AppServer::Options reading;
    reading.readOnly = true;
    const auto server = AppServer::open(path, reading);
    OwnConnection c(server->openConnection());
    QSqlQuery q(c.db());
    return q.exec(sql) && q.next() ? q.value(0).toString() : QStringLiteral("(none)");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestSetMaintenance : public QObject
{
    Q_OBJECT

private slots:
    // The copy holds what was committed when it was made (also what still sits in the
    // WAL), nothing of a transaction still open, and the files its records name.
    void backupWhileInUseAndRestoreElsewhere()
    {
        if (test::onPostgres())
            QSKIP("a set file's backup");
        test::ServerFixture set;
        OwnConnection writer(set.server->openConnection());
        exec(writer.db(), QStringLiteral("INSERT INTO EntityCounter VALUES ('committed', 1)"));
        exec(writer.db(), QStringLiteral("INSERT INTO DMAccessories (AccessoriesID, FileSuffix) "
                                         "VALUES ('%1', 'pdf'), ('{0F0F0F0F-1111-2222-3333-"
                                         "555555555555}', NULL)")
                              .arg(QLatin1String(kFileId)));
        writeFile(set.dir.filePath(QStringLiteral("doc/accessories/%1.pdf").arg(kFileId)), "PDF");
        OwnConnection open(set.server->openConnection());
        exec(open.db(), QStringLiteral("BEGIN IMMEDIATE"));
        exec(open.db(), QStringLiteral("INSERT INTO EntityCounter VALUES ('uncommitted', 2)"));

        const QString backup = set.dir.filePath(QStringLiteral("saved/set.bak"));
        const BackupReport report = backupSet(set.path(), backup, set.server->options());
        exec(open.db(), QStringLiteral("ROLLBACK"));
        QCOMPARE(report.files, 1);
        QCOMPARE(report.missingFiles,
                 QStringList{QStringLiteral("{0F0F0F0F-1111-2222-3333-555555555555}")});
        QCOMPARE(QDir(QFileInfo(backup).absolutePath()).entryList(QDir::Files),
                 QStringList{QStringLiteral("set.bak")}); // no -wal or -shm beside it
        QCOMPARE(countOf(backup, QStringLiteral("SELECT COUNT(*) FROM EntityCounter WHERE Name "
                                                "IN ('committed', 'uncommitted')")),
                 1);
        QCOMPARE(errorOf([&] { backupSet(set.path(), backup, set.server->options()); }),
                 QStringLiteral("备份文件“%1”已存在。").arg(backup));

        QTemporaryDir elsewhere;
        const QString restored = elsewhere.filePath(QStringLiteral("books/set.vexa"));
        restoreSet(backup, restored, false, set.server->options());
        QFile file(elsewhere.filePath(QStringLiteral("books/doc/accessories/%1.pdf").arg(kFileId)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("PDF"));
        QCOMPARE(countOf(restored, QStringLiteral("SELECT COUNT(*) FROM EntityCounter WHERE Name "
                                                  "= 'committed'")),
                 1);
        // The same backup again needs no force: the restored set has not changed since.
        restoreSet(backup, restored, false, set.server->options());
    }

    void restoreRefusals()
    {
        if (test::onPostgres())
            QSKIP("a set file's backup");
        test::ServerFixture set;
        const QString backup = set.dir.filePath(QStringLiteral("set.bak"));
        backupSet(set.path(), backup, set.server->options());

        // Open by this process's server (any connection counts, of any process).
        QVERIFY(setInUse(set.path()));
        QVERIFY(errorOf([&] {
                    restoreSet(backup, set.path(), true, set.server->options());
                }).contains(QStringLiteral("正在使用")));
        const AppServer::Options options = set.server->options();
        {
            OwnConnection c(set.server->openConnection());
            QThread::msleep(20); // a change the file times can tell from the backup's
            exec(c.db(), QStringLiteral("INSERT INTO EntityCounter VALUES ('later', 1)"));
        }
        set.server.reset();
        QVERIFY(!setInUse(set.path()));
        QVERIFY(errorOf([&] {
                    restoreSet(backup, set.path(), false, options);
                }).contains(QStringLiteral("在备份之后改过")));
        restoreSet(backup, set.path(), true, options);
        QCOMPARE(countOf(set.path(), QStringLiteral("SELECT COUNT(*) FROM EntityCounter WHERE "
                                                    "Name = 'later'")),
                 0);

        const QString other = set.dir.filePath(QStringLiteral("notes.txt"));
        writeFile(other, "keep me");
        QCOMPARE(errorOf([&] { restoreSet(backup, other, true, options); }),
                 QStringLiteral("“%1”不是账套文件，不能用备份覆盖它。").arg(other));
    }

    // pg_dump's snapshot: what was committed when the backup began, attachment files (rows
    // of the set) included, nothing of a transaction still open; the restore is a sound set.
    void postgresBackupWhileWritingRestoresThatMoment()
    {
        if (!test::onPostgres())
            QSKIP("PostgreSQL only");
        test::ServerFixture set;
        OwnConnection writer(set.server->openConnection());
        exec(writer.db(), QStringLiteral("INSERT INTO EntityCounter VALUES ('committed', 1)"));
        exec(writer.db(), QStringLiteral("INSERT INTO DMAccessories (AccessoriesID, FileSuffix) "
                                         "VALUES ('%1', 'pdf')")
                              .arg(QLatin1String(kFileId)));
        exec(writer.db(),
             QStringLiteral("INSERT INTO AccessoryFile VALUES ('%1', 'PDF')")
                 .arg(AttachmentStore::diskName(QLatin1String(kFileId) + QStringLiteral(".pdf"))));
        OwnConnection open(set.server->openConnection());
        exec(open.db(), QStringLiteral("BEGIN"));
        exec(open.db(), QStringLiteral("INSERT INTO EntityCounter VALUES ('uncommitted', 2)"));
        exec(open.db(), QStringLiteral("UPDATE EntityCounter SET NextID = 7 WHERE Name = "
                                       "'committed'"));

        const QString backup = set.dir.filePath(QStringLiteral("saved/set.dump"));
        QCOMPARE(backupSet(set.path(), backup, set.server->options()).files, 0);
        exec(open.db(), QStringLiteral("COMMIT"));
        QCOMPARE(QDir(QFileInfo(backup).absolutePath()).entryList(QDir::Files),
                 QStringList{QStringLiteral("set.dump")}); // nothing half-written beside it
        QCOMPARE(errorOf([&] { backupSet(set.path(), backup, set.server->options()); }),
                 QStringLiteral("备份文件“%1”已存在。").arg(backup));

        test::NewSetLocation elsewhere(set.dir, QStringLiteral("restored.vexa"));
        restoreSet(backup, elsewhere.location, false, set.server->options());
        QCOMPARE(checkSet(elsewhere.location, set.server->options()), QStringList());
        QCOMPARE(text(elsewhere.location, QStringLiteral("SELECT string_agg(Name || '=' || "
                                                         "NextID, ',') FROM EntityCounter "
                                                         "WHERE Name LIKE '%committed'")),
                 QStringLiteral("committed=1"));
        QCOMPARE(text(elsewhere.location,
                      QStringLiteral("SELECT encode(FileData, 'escape') FROM AccessoryFile")),
                 QStringLiteral("PDF"));
        // Its size is the database's, not that of a file of its name.
        QVERIFY(summarizeSet(elsewhere.location, set.server->options()).bytes > 100000);
    }

    // The target stays as it was when anyone is logged in to it, when the backup cannot be
    // read or is not a sound set, and when it is no PostgreSQL backup at all.
    void postgresRestoreKeepsTheSetWhenRefusedOrFailing()
    {
        if (!test::onPostgres())
            QSKIP("PostgreSQL only");
        test::ServerFixture set;
        const AppServer::Options options = set.server->options();
        const QString backup = set.dir.filePath(QStringLiteral("set.dump"));
        backupSet(set.path(), backup, options);
        {
            OwnConnection c(set.server->openConnection());
            exec(c.db(), QStringLiteral("INSERT INTO EntityCounter VALUES ('later', 1)"));
        }
        const auto later = [&] {
            return countOf(set.path(), QStringLiteral("SELECT COUNT(*) FROM EntityCounter WHERE "
                                                      "Name = 'later'"));
        };
        {
            const auto session = set.connect("clerk", "clerk");
            QVERIFY(errorOf([&] {
                        restoreSet(backup, set.path(), true, options);
                    }).contains(QStringLiteral("正在使用")));
        }
        QVERIFY(errorOf([&] {
                    restoreSet(backup, set.path(), false, options);
                }).contains(QStringLiteral("--force")));

        QFile whole(backup);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QString cut = set.dir.filePath(QStringLiteral("cut.dump"));
        writeFile(cut, whole.read(whole.size() * 2 / 3));
        const QString sqlite = set.dir.filePath(QStringLiteral("file.bak"));
        writeFile(sqlite, QByteArray("SQLite format 3", 16) + QByteArray(4080, '\0'));
        QString unsound;
        {
            test::ServerFixture other;
            OwnConnection c(other.server->openConnection());
            exec(c.db(), QStringLiteral("UPDATE SysUser SET Active = 0 WHERE Manager = 1"));
            unsound = other.dir.filePath(QStringLiteral("unsound.dump"));
            backupSet(other.path(), unsound, options);
            QVERIFY(QFile::copy(unsound, set.dir.filePath(QStringLiteral("unsound.dump"))));
            unsound = set.dir.filePath(QStringLiteral("unsound.dump"));
        }
        const std::pair<QString, QString> failing[] = {
            {cut, QStringLiteral("pg_restore")},
            {unsound, QStringLiteral("没有能登录的系统管理员")},
            {sqlite, QStringLiteral("是 SQLite 账套文件的备份")}};
        for (const auto &[file, reason] : failing) {
            const QString &bad = file; // clang 14 cannot capture a structured binding
            const QString error = errorOf([&] { restoreSet(bad, set.path(), true, options); });
            QVERIFY2(error.contains(reason), qPrintable(error));
            QCOMPARE(later(), 1);
        }
        const auto where = PostgresLocation::parse(set.path());
        QVERIFY(!PostgresServer(where).exists(where.database + QStringLiteral("__vexa_restore")));

        restoreSet(backup, set.path(), true, options);
        QCOMPARE(later(), 0);
        QCOMPARE(checkSet(set.path(), options), QStringList());
    }

    void checkNamesWhatIsWrong_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("problem");
        const QString period = QStringLiteral(
            "INSERT INTO FINPostingPeriods (PeriodID, Year, No, PostingFrom, PostingTo) VALUES ");
        QTest::newRow("period twice") << period + QStringLiteral("(1, 2026, 1, '2026-01-01', "
                                                                 "'2026-01-31'), (2, 2026, 1, "
                                                                 "'2026-01-01', '2026-01-31')")
                                      << QStringLiteral("会计期间 2026 年第 1 期有 2 行。");
        QTest::newRow("period backwards")
            << period + QStringLiteral("(1, 2026, 2, '2026-02-28', '2026-02-01')")
            << QStringLiteral("会计期间 2026 年第 2 期的开始日期晚于结束日期。");
        QTest::newRow("start period missing")
            << QStringLiteral("INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, "
                              "AcctTempDesc, CashierStartPeriodID) VALUES (1, 'X', 'RMB', "
                              "'人民币', 'A01000', 7)")
            << QStringLiteral("账套信息中的出纳启用期间（期间号 7）不是已有的会计期间。");
        QTest::newRow("no administrator can log in")
            << QStringLiteral("UPDATE SysUser SET Active = 0 WHERE Manager = 1")
            << QStringLiteral("没有能登录的系统管理员：至少要有一个启用的、设了密码的管理员用户。");
        QTest::newRow("node of a removed user")
            << QStringLiteral("DELETE FROM SysUser WHERE UserCode = 'clerk'")
            << QStringLiteral("控制台节点“凭证录入”属于不存在的用户 "
                              "{1E8C8115-2981-5C5C-AA61-4041A89117C5}。");
        QTest::newRow("broken reference")
            << QStringLiteral("PRAGMA foreign_keys = OFF; UPDATE SysUser SET UserGroup = 9 WHERE "
                              "UserCode = 'clerk'")
            << QStringLiteral("表 SysUser 的第 2 行引用了表 SysUserGroup 中不存在的记录。");
        QTest::newRow("attachment file missing")
            << QStringLiteral("INSERT INTO DMAccessories (AccessoriesID, FileSuffix) VALUES ('%1', "
                              "'doc')")
                   .arg(QLatin1String(kFileId))
            << QStringLiteral("附件文件 %1.doc 不在“").arg(QLatin1String(kFileId));
    }
    void checkNamesWhatIsWrong()
    {
        if (test::onPostgres())
            QSKIP("the damage is written for SQLite");
        QFETCH(QString, damage);
        QFETCH(QString, problem);
        test::ServerFixture set;
        QCOMPARE(checkSet(set.path(), set.server->options()), QStringList());
        {
            OwnConnection c(set.server->openConnection());
            for (const QString &sql : damage.split(QStringLiteral("; ")))
                exec(c.db(), sql);
        }
        const QStringList problems = checkSet(set.path(), set.server->options());
        QVERIFY(!problems.isEmpty());
        for (const QString &p : problems) // the clerk has two nodes: one line each
            QVERIFY2(p.startsWith(problem.left(problem.indexOf(QChar(u'“')) + 1)), qPrintable(p));
        QVERIFY2(problems[0].startsWith(problem), qPrintable(problems[0]));
    }
};

QTEST_GUILESS_MAIN(TestSetMaintenance)
#include "tst_setmaintenance.moc"
