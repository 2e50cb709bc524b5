#include "SetMaintenance.h"

#include "AccountSetFile.h"
#include "AttachmentStore.h"
#include "AttachmentTable.h"
#include "OwnConnection.h"
#include "PostgresLocation.h"
#include "SqlDialect.h"
#include "StorageErrors.h"

#include <vexa/Error.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

namespace vexa::server {

namespace {

AppServer::Options forReading(const AppServer::Options &options)
{
    AppServer::Options reading = options;
    reading.readOnly = true;
    return reading;
}

QSqlQuery run(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql))
        throw Error(
            QStringLiteral("无法读取账套：%1").arg(databaseErrorText(q.lastError(), q.driver())));
    return q;
}

int countOf(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q = run(db, sql);
    return q.next() ? q.value(0).toInt() : 0;
}

qint64 countOf64(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q = run(db, sql);
    return q.next() ? q.value(0).toLongLong() : 0;
}

// The stored file name of an attachment record.
QString attachmentName(const QString &id, const QString &suffix)
{
    return suffix.isEmpty() ? id : id + QLatin1Char('.') + normalizedAttachmentSuffix(suffix);
}

QStringList attachmentNames(QSqlDatabase &db)
{
    QSqlQuery q = run(db, QStringLiteral("SELECT AccessoriesID, FileSuffix FROM DMAccessories "
                                         "ORDER BY AccessoriesID"));
    QStringList names;
    while (q.next())
        names << attachmentName(q.value(0).toString(), q.value(1).toString().trimmed());
    return names;
}

// Copies the database behind db into the new file at target, consistent as of one read,
// with nothing outside the file: a live set in WAL mode, an archive (a backup) with a
// rollback journal, which a read-only open leaves without side files. Returns the
// attachment files the copy's records name.
QStringList copyDatabase(const SqlDialect &dialect, QSqlDatabase &db, const QString &target,
                         bool archive)
{
    QSqlQuery q(db);
    q.prepare(dialect.copyInto());
    q.addBindValue(target);
    if (!q.exec())
        throw Error(QStringLiteral("无法把账套复制到“%1”：%2")
                        .arg(QDir::toNativeSeparators(target),
                             databaseErrorText(q.lastError(), q.driver())));
    OwnConnection copy(dialect, target);
    const QStringList settle =
        archive ? QStringList{SqliteDialect::buildJournal()}
                : QStringList{SqliteDialect::finalJournal(), SqliteDialect::checkpoint()};
    for (const QString &sql : settle) {
        QSqlQuery w(copy.db());
        if (!w.exec(sql))
            throw Error(QStringLiteral("无法写入“%1”：%2")
                            .arg(QDir::toNativeSeparators(target), w.lastError().text()));
    }
    return attachmentNames(copy.db());
}

void makeFolderFor(const QString &file)
{
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder))
        throw Error(QStringLiteral("无法创建文件夹“%1”。").arg(QDir::toNativeSeparators(folder)));
}

QDateTime lastChange(const QString &path)
{
    QDateTime latest = QFileInfo(path).lastModified();
    const QFileInfo wal(path + QStringLiteral("-wal"));
    if (wal.exists() && wal.size() > 0 && wal.lastModified() > latest)
        latest = wal.lastModified();
    return latest;
}

} // namespace

SetSummary summarizeSet(const QString &path, const AppServer::Options &options)
{
    const auto server = AppServer::open(path, forReading(options));
    OwnConnection c(server->openConnection());
    SetSummary s;
    s.schemaVersion = server->schemaVersion();
    QSqlQuery q = run(c.db(), QStringLiteral("SELECT UseOrg, AcctTempDesc, GLStartPeriodName, "
                                             "InitialAudit FROM SysInitInfo"));
    if (q.next()) {
        s.company = q.value(0).toString();
        s.chartTemplate = q.value(1).toString();
        s.startPeriod = q.value(2).toString();
        s.enabled = q.value(3).toInt() != 0;
    }
    s.users = countOf(c.db(), QStringLiteral("SELECT COUNT(*) FROM SysUser"));
    // A user without an Active value logs in, as the login reads it.
    s.activeUsers = countOf(
        c.db(), QStringLiteral("SELECT COUNT(*) FROM SysUser WHERE Active IS NULL OR Active <> 0"));
    s.bytes = PostgresDialect::isLocation(path)
                  ? countOf64(c.db(), QStringLiteral("SELECT pg_database_size(current_database())"))
                  : QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
    return s;
}

QStringList checkSet(const QString &path, const AppServer::Options &options)
{
    std::unique_ptr<AppServer> server;
    try {
        server = AppServer::open(path, forReading(options));
    } catch (const Error &e) {
        return {e.message()};
    }
    OwnConnection c(server->openConnection());
    QSqlDatabase &db = c.db();
    const SqlDialect &dialect = server->dialect();
    QStringList problems;

    QSqlQuery pages = run(db, dialect.integrityCheck());
    while (pages.next())
        if (pages.value(0).toString() != QLatin1String("ok"))
            problems << QStringLiteral("数据库页面有错：%1").arg(pages.value(0).toString());
    QSqlQuery keys = run(db, dialect.foreignKeyCheck());
    while (keys.next())
        problems << QStringLiteral("表 %1 的第 %2 行引用了表 %3 中不存在的记录。")
                        .arg(keys.value(0).toString(), keys.value(1).toString(),
                             keys.value(2).toString());

    if (const int n = countOf(db, QStringLiteral("SELECT COUNT(*) FROM SchemaVersion")); n != 1)
        problems << QStringLiteral("版本记录应当只有一行，现在有 %1 行。").arg(n);
    if (const int n = countOf(db, QStringLiteral("SELECT COUNT(*) FROM SysInitInfo")); n > 1)
        problems << QStringLiteral("账套信息应当只有一行，现在有 %1 行。").arg(n);

    QSqlQuery periods = run(db, QStringLiteral("SELECT Year, No, COUNT(*) FROM FINPostingPeriods "
                                               "GROUP BY Year, No HAVING COUNT(*) > 1"));
    while (periods.next())
        problems << QStringLiteral("会计期间 %1 年第 %2 期有 %3 行。")
                        .arg(periods.value(0).toString(), periods.value(1).toString(),
                             periods.value(2).toString());
    QSqlQuery spans = run(db, QStringLiteral("SELECT Year, No FROM FINPostingPeriods "
                                             "WHERE PostingFrom > PostingTo ORDER BY Year, No"));
    while (spans.next())
        problems << QStringLiteral("会计期间 %1 年第 %2 期的开始日期晚于结束日期。")
                        .arg(spans.value(0).toString(), spans.value(1).toString());

    const std::pair<const char *, const char *> starts[] = {
        {"GLStartPeriodID", "财务启用期间"},      {"GLNowPeriodID", "财务当前期间"},
        {"CashierStartPeriodID", "出纳启用期间"}, {"CashierNowPeriodID", "出纳当前期间"},
        {"InvStartPeriodID", "存货启用期间"},     {"InvNowPeriodID", "存货当前期间"}};
    for (const auto &[column, label] : starts) {
        QSqlQuery q =
            run(db, QStringLiteral("SELECT %1 FROM SysInitInfo WHERE %1 > 0 AND %1 NOT IN "
                                   "(SELECT PeriodID FROM FINPostingPeriods)")
                        .arg(QLatin1String(column)));
        while (q.next())
            problems << QStringLiteral("账套信息中的%1（期间号 %2）不是已有的会计期间。")
                            .arg(QString::fromUtf8(label), q.value(0).toString());
    }

    if (countOf(db, QStringLiteral("SELECT COUNT(*) FROM SysUser WHERE Manager = 1 AND "
                                   "(Active IS NULL OR Active <> 0) AND PasswordHash IS NOT NULL "
                                   "AND PasswordHash <> ''")) == 0)
        problems << QStringLiteral(
            "没有能登录的系统管理员：至少要有一个启用的、设了密码的管理员用户。");
    QSqlQuery nodes = run(db, QStringLiteral("SELECT NodeDesc, UserID FROM SMModuleTree "
                                             "WHERE UserID IS NOT NULL AND UserID <> '' AND "
                                             "UserID NOT IN (SELECT UserID FROM SysUser)"));
    while (nodes.next())
        problems << QStringLiteral("控制台节点“%1”属于不存在的用户 %2。")
                        .arg(nodes.value(0).toString(), nodes.value(1).toString());

    const QString folder = server->attachments().folder();
    const bool inTable = PostgresDialect::isLocation(server->path());
    for (const QString &name : attachmentNames(db)) {
        try {
            if (inTable
                    ? !AttachmentTable::holds(db, name)
                    : !QFileInfo::exists(QDir(folder).filePath(AttachmentStore::diskName(name))))
                problems << (inTable ? QStringLiteral("附件文件 %1 不在账套中。").arg(name)
                                     : QStringLiteral("附件文件 %1 不在“%2”里。")
                                           .arg(name, QDir::toNativeSeparators(folder)));
        } catch (const Error &e) {
            problems << QStringLiteral("附件 %1：%2").arg(name, e.message());
        }
    }
    return problems;
}

bool setInUse(const QString &path)
{
    // Every open connection holds a shared lock on a WAL set; only an exclusive lock that
    // does not wait tells that none is left.
    const SqliteDialect dialect;
    const QString name = QStringLiteral("vexa-in-use-probe");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driverName(), name);
        db.setDatabaseName(path);
        db.setConnectOptions(SqliteDialect::noWaitOptions());
        bool inUse = true;
        if (db.open()) {
            QSqlQuery q(db);
            inUse = false;
            for (const QString &sql : SqliteDialect::takeWholeFile())
                inUse = inUse || !q.exec(sql);
            q.exec(dialect.rollback());
            q.finish();
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        return inUse;
    }
}

QString backupFilesFolder(const QString &backup)
{
    return QFileInfo(backup).absoluteFilePath() + QStringLiteral(".accessories");
}

namespace {

// What a backup file is, from its first bytes.
enum class BackupKind { Unknown, Sqlite, Postgres };

BackupKind backupKind(const QString &backup)
{
    QFile f(backup);
    if (!f.open(QIODevice::ReadOnly))
        return BackupKind::Unknown;
    const QByteArray head = f.read(16);
    if (head.startsWith("PGDMP")) // pg_dump's custom format
        return BackupKind::Postgres;
    if (head == QByteArray("SQLite format 3", 16))
        return BackupKind::Sqlite;
    return BackupKind::Unknown;
}

// pg_dump or pg_restore: from VEXA_PG_BIN when set, else on PATH, else the newest of
// Debian's /usr/lib/postgresql/N/bin.
QString postgresTool(const QString &name)
{
    const QString chosen = qEnvironmentVariable("VEXA_PG_BIN");
    if (!chosen.isEmpty())
        return QStandardPaths::findExecutable(name, {chosen});
    QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty())
        return found;
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    int newest = -1;
    for (const QString &version : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString tool = QStandardPaths::findExecutable(
            name, {versions.filePath(version + QStringLiteral("/bin"))});
        if (!tool.isEmpty() && version.toInt() > newest) {
            newest = version.toInt();
            found = tool;
        }
    }
    return found;
}

// Runs pg_dump or pg_restore against where, the password in its environment only.
void runPostgresTool(const QString &name, const PostgresLocation &where,
                     const QStringList &arguments)
{
    const QString tool = postgresTool(name);
    if (tool.isEmpty())
        throw Error(QStringLiteral("找不到 PostgreSQL 的 %1 程序：请安装 PostgreSQL 客户端"
                                   "（如 postgresql-client），或用环境变量 VEXA_PG_BIN "
                                   "指明它所在的文件夹。")
                        .arg(name));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!where.password.isEmpty())
        env.insert(QStringLiteral("PGPASSWORD"), where.password);
    env.insert(QStringLiteral("PGCONNECT_TIMEOUT"), QStringLiteral("30"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(tool, arguments);
    if (!process.waitForStarted(-1))
        throw Error(QStringLiteral("无法运行 %1（%2）：%3").arg(name, tool, process.errorString()));
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw Error(QStringLiteral("%1 失败（退出状态 %2）：%3")
                        .arg(name)
                        .arg(process.exitCode())
                        .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed()));
}

QString hiddenDatabase(const PostgresLocation &where, const char *suffix)
{
    const QString name = where.database + QLatin1String(suffix);
    if (name.toUtf8().size() > 63)
        throw Error(QStringLiteral("数据库名“%1”太长。").arg(where.database));
    return name;
}

void refuseLoggedIn(PostgresServer &server, const PostgresLocation &where)
{
    if (server.logins(where.database) > 0)
        throw Error(QStringLiteral("账套“%1”正在使用，不能用备份覆盖它：请所有用户先退出。")
                        .arg(where.display()));
}

// pg_dump takes one snapshot of the whole database, so the copy is consistent while others
// write; the attachment files are rows of the set and come along.
BackupReport backupPostgres(const QString &location, const QString &dest,
                            const AppServer::Options &options)
{
    const PostgresLocation where = PostgresLocation::parse(location);
    const QString target = QFileInfo(dest).absoluteFilePath();
    if (QFileInfo::exists(target))
        throw Error(QStringLiteral("备份文件“%1”已存在。").arg(QDir::toNativeSeparators(target)));
    AppServer::open(location, forReading(options)); // only a set is backed up
    makeFolderFor(target);
    PendingSetFile::removeAbandoned(target);
    PendingSetFile pending(target);
    runPostgresTool(QStringLiteral("pg_dump"), where,
                    where.toolArguments() << QStringLiteral("--format=custom")
                                          << QStringLiteral("--file=") + pending.path());
    pending.publish();
    return {};
}

// The backup is restored into a database of a hidden name and checked; only a sound set
// takes the place of the old one, and only while nobody is logged in to it.
void restorePostgres(const QString &backup, const QString &location, bool force,
                     const AppServer::Options &options)
{
    const PostgresLocation where = PostgresLocation::parse(location);
    switch (backupKind(backup)) {
    case BackupKind::Postgres:
        break;
    case BackupKind::Sqlite:
        throw Error(QStringLiteral("“%1”是 SQLite 账套文件的备份，不能恢复到 PostgreSQL 账套"
                                   "“%2”：请恢复成账套文件。")
                        .arg(QDir::toNativeSeparators(backup), where.display()));
    case BackupKind::Unknown:
        throw Error(QStringLiteral("“%1”不是 PostgreSQL 账套的备份（vexa-admin backup 或 "
                                   "pg_dump -Fc 做的）。")
                        .arg(QDir::toNativeSeparators(backup)));
    }
    const QString pending = hiddenDatabase(where, "__vexa_restore");
    const QString old = hiddenDatabase(where, "__vexa_old");
    PostgresServer server(where);
    const bool replacing = server.exists(where.database);
    if (replacing) {
        refuseLoggedIn(server, where);
        // PostgreSQL keeps no time of a database's last change to tell whether it changed
        // after the backup: replacing a set always needs the administrator's word.
        if (!force)
            throw Error(QStringLiteral("账套“%1”已存在；一定要用备份覆盖它，请加 --force。")
                            .arg(where.display()));
    }
    server.drop(pending); // what a killed restore left behind
    server.create(pending);
    auto abandon = qScopeGuard([&] {
        try {
            server.drop(pending);
        } catch (const Error &) {
            // the next restore of this set drops it
        }
    });
    try {
        runPostgresTool(QStringLiteral("pg_restore"), where,
                        where.toolArguments(pending)
                            << QStringLiteral("--exit-on-error")
                            << QStringLiteral("--single-transaction")
                            << QStringLiteral("--no-owner") << QStringLiteral("--no-privileges")
                            << QFileInfo(backup).absoluteFilePath());
    } catch (const Error &e) {
        throw Error(QStringLiteral("无法恢复备份“%1”，原来的账套没有动：%2")
                        .arg(QDir::toNativeSeparators(backup), e.message()));
    }
    const QStringList problems = checkSet(where.withDatabase(pending), options);
    if (!problems.isEmpty())
        throw Error(QStringLiteral("备份“%1”恢复出的账套有问题，原来的账套没有动：\n%2")
                        .arg(QDir::toNativeSeparators(backup), problems.join(QLatin1Char('\n'))));

    if (!replacing) {
        server.rename(pending, where.database);
        abandon.dismiss();
        return;
    }
    // Nobody may log in between the look at the logins and the swap.
    server.allowConnections(where.database, false);
    auto reopen = qScopeGuard([&] {
        try {
            server.allowConnections(where.database, true);
        } catch (const Error &) {
            // nothing more to try: the error on its way says what failed
        }
    });
    refuseLoggedIn(server, where);
    server.endConnections(where.database); // servers of the set with nobody logged in
    server.drop(old);
    server.rename(where.database, old);
    try {
        server.rename(pending, where.database);
    } catch (const Error &e) {
        try {
            server.rename(old, where.database);
        } catch (const Error &) {
            throw Error(QStringLiteral("%1\n原来的账套现在是数据库“%2”，请改回“%3”。")
                            .arg(e.message(), old, where.database));
        }
        throw;
    }
    reopen.dismiss();
    abandon.dismiss();
    try {
        server.drop(old);
    } catch (const Error &) {
        // restored all the same; the next restore of this set drops it
    }
}

} // namespace

BackupReport backupSet(const QString &path, const QString &dest, const AppServer::Options &options)
{
    if (PostgresDialect::isLocation(path))
        return backupPostgres(path, dest, options);
    const QString target = QFileInfo(dest).absoluteFilePath();
    if (QFileInfo::exists(target))
        throw Error(QStringLiteral("备份文件“%1”已存在。").arg(QDir::toNativeSeparators(target)));
    if (QFileInfo::exists(backupFilesFolder(target)))
        throw Error(QStringLiteral("附件文件夹“%1”已存在。")
                        .arg(QDir::toNativeSeparators(backupFilesFolder(target))));
    const auto server = AppServer::open(path, forReading(options));
    makeFolderFor(target);
    QStringList names;
    {
        PendingSetFile::removeAbandoned(target);
        PendingSetFile pending(target);
        {
            OwnConnection source(server->openConnection());
            names = copyDatabase(server->dialect(), source.db(), pending.path(), true);
        }
        pending.publish();
    }

    // The files the copy's records name, from the set's folder as it is now.
    BackupReport report;
    if (names.isEmpty())
        return report;
    const AttachmentStore files(backupFilesFolder(target), options.maxAttachmentBytes);
    for (const QString &name : names) {
        const std::optional<QByteArray> bytes = server->attachments().load(name);
        if (!bytes) {
            report.missingFiles << name;
            continue;
        }
        files.save(name, *bytes);
        ++report.files;
    }
    return report;
}

void restoreSet(const QString &backup, const QString &path, bool force,
                const AppServer::Options &options)
{
    if (PostgresDialect::isLocation(path))
        return restorePostgres(backup, path, force, options);
    if (backupKind(backup) == BackupKind::Postgres)
        throw Error(QStringLiteral("“%1”是 PostgreSQL 账套的备份，只能恢复到 PostgreSQL 账套"
                                   "（postgresql://…）。")
                        .arg(QDir::toNativeSeparators(backup)));
    const QString target = QFileInfo(path).absoluteFilePath();
    const auto source = AppServer::open(backup, forReading(options));
    if (QFileInfo::exists(target)) {
        if (!SqliteDialect::isDatabaseFile(target))
            throw Error(QStringLiteral("“%1”不是账套文件，不能用备份覆盖它。")
                            .arg(QDir::toNativeSeparators(target)));
        if (setInUse(target))
            throw Error(QStringLiteral("账套“%1”正在使用，不能用备份覆盖它：请所有用户先退出。")
                            .arg(QDir::toNativeSeparators(target)));
        const QDateTime changed = lastChange(target), made = QFileInfo(backup).lastModified();
        if (changed > made && !force)
            throw Error(QStringLiteral("账套“%1”在备份之后改过（%2，备份是 %3 的）；"
                                       "一定要用备份覆盖它，请加 --force。")
                            .arg(QDir::toNativeSeparators(target),
                                 changed.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                 made.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    }
    makeFolderFor(target);
    refuseNetworkFileSystem(target, options.fileSystemType
                                        ? options.fileSystemType(QFileInfo(target).absolutePath())
                                        : fileSystemType(QFileInfo(target).absolutePath()));
    {
        PendingSetFile::removeAbandoned(target);
        PendingSetFile pending(target);
        {
            OwnConnection from(source->openConnection());
            copyDatabase(source->dialect(), from.db(), pending.path(), false);
        }
        // The restored set counts as changed when the backup was made: restoring the same
        // backup again needs no --force, a change made after the restore does.
        QFile restored(pending.path());
        if (restored.open(QIODevice::ReadWrite))
            restored.setFileTime(QFileInfo(backup).lastModified(),
                                 QFileDevice::FileModificationTime);
        // The old set's log must not be read into the restored file.
        for (const char *suffix : {"-wal", "-shm", "-journal"})
            QFile::remove(target + QLatin1String(suffix));
        pending.publish(true);
    }

    const QString saved = backupFilesFolder(backup);
    if (!QFileInfo(saved).isDir())
        return;
    const AttachmentStore from(saved, options.maxAttachmentBytes);
    const AttachmentStore to(QFileInfo(target).absolutePath() + QStringLiteral("/doc/accessories"),
                             options.maxAttachmentBytes, QFileInfo(target).absolutePath());
    for (const QString &name : QDir(saved).entryList(QDir::Files)) {
        if (!AttachmentStore::isValidStoredName(name))
            continue; // not one of ours: left where it is
        if (const std::optional<QByteArray> bytes = from.load(name))
            to.save(name, *bytes);
    }
}

} // namespace vexa::server
