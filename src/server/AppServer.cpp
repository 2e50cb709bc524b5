#include "AppServer.h"

#include "AccountSetFile.h"
#include "AttachmentStore.h"
#include "OwnConnection.h"
#include "PostgresLocation.h"
#include "ProviderCatalog.h"
#include "Seed.h"
#include "SqlDialect.h"
#include "StorageErrors.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <unistd.h>

namespace vexa::server {

namespace {

// Ordered migrations; an account set at version n runs every one above n.
struct Migration
{
    int version;
    const char *resource;
    // This program can read a set that lacks it (a read-only open need not upgrade).
    bool readableWithout;
};
constexpr Migration kMigrations[] = {
    {1, ":/server/schema/001_initial.sql", false},
    {2, ":/server/schema/002_login_guard.sql", true},
    {3, ":/server/schema/003_ledger.sql", true},
    {4, ":/server/schema/004_ledger_books.sql", true},
};
constexpr int kSchemaVersion = 4;

bool readableAt(int version)
{
    for (const Migration &m : kMigrations)
        if (m.version > version && !m.readableWithout)
            return false;
    return true;
}

// A copy of the set as it was, beside it, before an upgrade changes it; the upgrade does
// not start without one.
void keepCopyBeforeUpgrade(const SqlDialect &dialect, QSqlDatabase &db, const QString &path,
                           int version)
{
    if (dialect.copyInto().isEmpty())
        return; // the engine's own backups; the migration is one transaction there
    const QString copy =
        QStringLiteral("%1.v%2-%3.bak")
            .arg(path)
            .arg(version)
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QSqlQuery q(db);
    q.prepare(dialect.copyInto());
    q.addBindValue(copy);
    if (!q.exec()) {
        QFile::remove(copy);
        throw Error(QStringLiteral("账套“%1”要升级到版本 %2，但升级前无法备份到“%3”：%4")
                        .arg(path)
                        .arg(kSchemaVersion)
                        .arg(copy, databaseErrorText(q.lastError(), q.driver())));
    }
}

QString nextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("vexa-server-%1").arg(++counter);
}

QByteArray readResource(const char *name)
{
    QFile f(QString::fromLatin1(name));
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("程序缺少内置文件“%1”。").arg(QString::fromLatin1(name)));
    return f.readAll();
}

// A migration's script in the engine's own SQL.
QByteArray readResource(const char *name, const SqlDialect &dialect)
{
    if (dialect.driverName() != QLatin1String("QPSQL"))
        return readResource(name);
    const QString pg = QString::fromLatin1(name).replace(QLatin1String(":/server/schema/"),
                                                         QLatin1String(":/server/schema/pg/"));
    return readResource(pg.toLatin1().constData());
}

void exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw Error(
            QStringLiteral("数据库操作失败：%1").arg(databaseErrorText(q.lastError(), q.driver())));
}

// SQLite writes the -wal, -shm and journal files beside the set, so a set is writable only
// where both the file and its folder are. access() also answers EROFS for root.
bool writableInPlace(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::access(file.constData(), W_OK) == 0 && ::access(folder.constData(), W_OK) == 0;
}

int countOf(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        throw Error(QStringLiteral("数据库操作失败：%1").arg(q.lastError().text()));
    return q.value(0).toInt();
}

// The schema version of an account set; 0 for a file without any table.
int schemaVersionOf(const SqlDialect &dialect, QSqlDatabase &db, const QString &path)
{
    QSqlQuery q(db);
    if (!q.exec(dialect.tableNames())) {
        if (isDamage(q.lastError()))
            throw Error(damagedText(path));
        throw Error(QStringLiteral("文件“%1”不是账套数据库：%2")
                        .arg(path, databaseErrorText(q.lastError(), q.driver())));
    }
    bool hasVersion = false;
    int tables = 0;
    while (q.next()) {
        ++tables;
        hasVersion = hasVersion || q.value(0).toString().compare(QLatin1String("SchemaVersion"),
                                                                 Qt::CaseInsensitive) == 0;
    }
    if (tables == 0)
        return 0;
    QSqlQuery v(db);
    if (!hasVersion || !v.exec(QStringLiteral("SELECT MAX(version) FROM SchemaVersion")) ||
        !v.next() || v.value(0).toInt() < 1)
        throw Error(QStringLiteral("文件“%1”不是本系统的账套。").arg(path));
    return v.value(0).toInt();
}

// Runs every migration above version, each with its version mark in one transaction: a
// crash between two leaves the account set at the previous version.
int migrate(const SqlDialect &dialect, QSqlDatabase &db, int version)
{
    for (const Migration &m : kMigrations) {
        if (m.version <= version)
            continue;
        auto undo = qScopeGuard([&] { QSqlQuery(db).exec(dialect.rollback()); });
        for (const QString &sql : dialect.beginWrite())
            exec(db, sql);
        // Another server of the set may have run it while this one waited for the lock.
        if (version > 0) {
            QSqlQuery now(db);
            if (now.exec(QStringLiteral("SELECT MAX(version) FROM SchemaVersion")) && now.next() &&
                now.value(0).toInt() >= m.version) {
                version = now.value(0).toInt();
                continue; // the guard ends the transaction
            }
        }
        dialect.runScript(db, readResource(m.resource, dialect));
        exec(db, QStringLiteral("DELETE FROM SchemaVersion"));
        exec(db, QStringLiteral("INSERT INTO SchemaVersion (version) VALUES (%1)").arg(m.version));
        exec(db, dialect.commit());
        undo.dismiss();
        version = m.version;
    }
    return version;
}

// Fills a new, empty file with a whole account set. It is built in rollback-journal mode and
// switched to WAL at the end, checkpointed and closed, so that the file alone is the set
// when it is renamed into place: no -wal holds part of it.
void buildAccountSet(const QString &path,
                     const std::function<void(QSqlDatabase &, const SqlDialect &)> &fill)
{
    {
        const SqliteDialect dialect;
        OwnConnection c(dialect, path);
        exec(c.db(), SqliteDialect::buildJournal());
        migrate(dialect, c.db(), 0);
        if (fill)
            fill(c.db(), dialect);
        QSqlQuery q(c.db());
        if (!q.exec(SqliteDialect::finalJournal()) || !q.next() ||
            q.value(0).toString() != QLatin1String("wal"))
            throw Error(QStringLiteral("账套文件“%1”不能使用 WAL 日志模式。").arg(path));
        q.finish();
        exec(c.db(), SqliteDialect::checkpoint());
    }
    // The last connection's close has checkpointed and removed them; an empty pair left by
    // a system that keeps them is harmless to drop.
    const QString wal = path + QStringLiteral("-wal");
    if (QFileInfo(wal).size() > 0)
        throw Error(QStringLiteral("新的账套文件“%1”没能写完整。").arg(path));
    QFile::remove(wal);
    QFile::remove(path + QStringLiteral("-shm"));
}

qint64 fileSystemTypeFor(const QString &path, const AppServer::Options &options)
{
    return options.fileSystemType ? options.fileSystemType(path) : fileSystemType(path);
}

} // namespace

QSqlDatabase openDatabase(const SqlDialect &dialect, const QString &path, const QString &name,
                          const QString &connectOptions, const QString &databaseName)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driverName(), name);
    auto forget = qScopeGuard([&] {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    });
    if (PostgresDialect::isLocation(path)) {
        const PostgresLocation location = PostgresLocation::parse(path);
        location.applyTo(db, databaseName);
        if (!db.open())
            throw Error(QStringLiteral("无法连接账套数据库“%1”：%2")
                            .arg(location.display(), db.lastError().text()));
    } else {
        db.setDatabaseName(databaseName.isEmpty() ? path : databaseName);
        db.setConnectOptions(connectOptions);
        if (!db.open())
            throw Error(
                QStringLiteral("无法打开账套文件“%1”：%2").arg(path, db.lastError().text()));
    }
    for (const QString &sql : dialect.connectionSetup(AppServer::kBusyTimeoutMs))
        exec(db, sql);
    forget.dismiss();
    return db;
}

OwnConnection::OwnConnection(const SqlDialect &dialect, const QString &path,
                             const QString &connectOptions)
    : m_name(nextConnectionName()), m_db(openDatabase(dialect, path, m_name, connectOptions))
{}

OwnConnection::OwnConnection(QSqlDatabase db) : m_name(db.connectionName()), m_db(std::move(db)) {}

OwnConnection::~OwnConnection()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

AppServer::AppServer(QString path, Options options) : m_options(options)
{
    if (PostgresDialect::isLocation(path)) {
        m_path = path;
        m_dialect = std::make_unique<PostgresDialect>();
        // Only the limits: the files are in the set (AttachmentTable).
        m_attachments =
            std::make_unique<AttachmentStore>(QStringLiteral("/"), m_options.maxAttachmentBytes);
        return;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    m_dialect = std::make_unique<SqliteDialect>();
    const QString folder = QFileInfo(m_path).absolutePath();
    m_attachments = std::make_unique<AttachmentStore>(folder + QStringLiteral("/doc/accessories"),
                                                      m_options.maxAttachmentBytes, folder);
}

AppServer::~AppServer()
{
    if (!m_adminConnection.isEmpty()) {
        QSqlDatabase::database(m_adminConnection, false).close();
        QSqlDatabase::removeDatabase(m_adminConnection);
    }
}

QSqlDatabase AppServer::openConnection() const
{
    if (!m_readOnly)
        return openDatabase(*m_dialect, m_path, nextConnectionName());
    if (PostgresDialect::isLocation(m_path)) {
        QSqlDatabase db = openDatabase(*m_dialect, m_path, nextConnectionName());
        exec(db, QStringLiteral("SET default_transaction_read_only = on"));
        return db;
    }
    const ReadingTarget target = readingTarget();
    return openDatabase(*m_dialect, m_path, nextConnectionName(), target.connectOptions,
                        target.databaseName);
}

std::unique_ptr<AppServer> AppServer::open(const QString &path, const Options &options)
{
    if (PostgresDialect::isLocation(path)) {
        PostgresLocation::parse(path); // a bad address says so before any connection
        std::unique_ptr<AppServer> server(new AppServer(path, options));
        server->m_readOnly = options.readOnly;
        server->load();
        return server;
    }
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("账套文件“%1”不存在。").arg(path));
    if (!info.isFile() || !info.isReadable())
        throw Error(QStringLiteral("账套文件“%1”无法读取。").arg(path));
    if (!SqliteDialect::isDatabaseFile(path))
        throw Error(QStringLiteral("文件“%1”不是账套数据库。").arg(path));
    refuseNetworkFileSystem(path, fileSystemTypeFor(path, options));
    std::unique_ptr<AppServer> server(new AppServer(path, options));
    server->m_readOnly = options.readOnly || !writableInPlace(server->m_path);
    server->load();
    return server;
}

std::unique_ptr<AppServer> AppServer::create(const QString &path, bool demo, const Options &options)
{
    if (!demo)
        return createFilled(path, options, {});
    return createFilled(path, options, [&](QSqlDatabase &db, const SqlDialect &dialect) {
        loadSeed(db, dialect, options.passwordCost, nullptr);
    });
}

std::unique_ptr<AppServer> AppServer::create(const QString &path, const Administrator &admin,
                                             const Options &options)
{
    // Checked before anything is made, so a wrong name leaves no file behind.
    const QString problem = userCodeProblem(admin.userCode);
    if (!problem.isEmpty())
        throw Error(problem);
    return createFilled(path, options, [&](QSqlDatabase &db, const SqlDialect &dialect) {
        loadSeed(db, dialect, options.passwordCost, &admin);
    });
}

std::unique_ptr<AppServer>
AppServer::createFilled(const QString &path, const Options &options,
                        const std::function<void(QSqlDatabase &, const SqlDialect &)> &fill)
{
    if (PostgresDialect::isLocation(path))
        return createPostgres(path, options, fill);
    const QString target = QFileInfo(path).absoluteFilePath();
    if (QFileInfo::exists(target))
        throw Error(QStringLiteral("账套文件“%1”已存在。").arg(path));
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder))
        throw Error(QStringLiteral("无法创建文件夹“%1”。").arg(folder));
    refuseNetworkFileSystem(target, fileSystemTypeFor(folder, options));
    {
        // The set appears under its name complete or not at all: a kill at any moment leaves
        // at most a hidden file, which the next creation of the same name removes.
        PendingSetFile::removeAbandoned(target);
        PendingSetFile pending(target);
        buildAccountSet(pending.path(), fill);
        pending.publish();
    } // the lock is let go before the set is opened: that would drop SQLite's locks too
    std::unique_ptr<AppServer> server(new AppServer(target, options));
    server->load();
    return server;
}

// The set is built in a database of a hidden name and renamed into place when complete, so
// the name never holds half a set; what a killed builder left behind is dropped first.
std::unique_ptr<AppServer>
AppServer::createPostgres(const QString &location, const Options &options,
                          const std::function<void(QSqlDatabase &, const SqlDialect &)> &fill)
{
    const PostgresLocation where = PostgresLocation::parse(location);
    const QString pending = where.database + QStringLiteral("__vexa_new");
    if (pending.toUtf8().size() > 63)
        throw Error(QStringLiteral("数据库名“%1”太长。").arg(where.database));
    {
        PostgresServer server(where);
        if (server.exists(where.database))
            throw Error(QStringLiteral("账套数据库“%1”已存在。").arg(where.display()));
        server.drop(pending);
        server.create(pending);
        auto abandon = qScopeGuard([&] {
            try {
                server.drop(pending);
            } catch (const Error &) {
                // the next creation of this name drops it
            }
        });
        {
            const PostgresDialect dialect;
            OwnConnection c(
                openDatabase(dialect, location, nextConnectionName(), QString(), pending));
            migrate(dialect, c.db(), 0);
            if (fill)
                fill(c.db(), dialect);
        }
        server.rename(pending, where.database);
        abandon.dismiss();
    }
    std::unique_ptr<AppServer> server(new AppServer(location, options));
    server->load();
    return server;
}

bool AppServer::removeEmptyShell(const QString &path)
{
    if (PostgresDialect::isLocation(path))
        return false;
    const QFileInfo info(path);
    if (!info.isFile() || (info.size() > 0 && !SqliteDialect::isDatabaseFile(path)))
        return false;
    bool empty = false;
    try {
        const SqliteDialect dialect;
        OwnConnection c(dialect, path, SqliteDialect::readOnlyOptions(false));
        empty = countOf(c.db(), dialect.schemaObjectCount()) == 0 ||
                (schemaVersionOf(dialect, c.db(), path) > 0 &&
                 countOf(c.db(), QStringLiteral("SELECT COUNT(*) FROM SysUser")) == 0 &&
                 countOf(c.db(), QStringLiteral("SELECT COUNT(*) FROM SMModules")) == 0);
    } catch (const Error &) {
        return false; // damaged or foreign: the open says why
    }
    if (!empty)
        return false;
    for (const char *suffix : {"-wal", "-shm", "-journal", ""})
        QFile::remove(path + QLatin1String(suffix));
    return !QFileInfo::exists(path);
}

void AppServer::load()
{
    QSqlDatabase db = openConnection();
    m_adminConnection = db.connectionName();

    // Messages name a PostgreSQL set without its password.
    const QString shown =
        PostgresDialect::isLocation(m_path) ? PostgresLocation::parse(m_path).display() : m_path;
    // Only create() makes a schema: a file without one is not written to.
    const int version = schemaVersionOf(*m_dialect, db, shown);
    if (version == 0)
        throw Error(
            QStringLiteral("%1“%2”不是账套数据库。")
                .arg(shown == m_path ? QStringLiteral("文件") : QStringLiteral("数据库"), shown));
    if (version > kSchemaVersion)
        throw Error(QStringLiteral("账套“%1”的版本 %2 高于本程序支持的版本 %3，请升级程序。")
                        .arg(shown)
                        .arg(version)
                        .arg(kSchemaVersion));
    checkPages(db);
    if (m_readOnly && !readableAt(version))
        throw Error(QStringLiteral("账套“%1”要升级到版本 %2 才能使用，但它是只读的。")
                        .arg(shown)
                        .arg(kSchemaVersion));
    if (!m_readOnly && version < kSchemaVersion)
        keepCopyBeforeUpgrade(*m_dialect, db, m_path, version);
    m_schemaVersion = m_readOnly ? version : migrate(*m_dialect, db, version);
    m_catalog = std::make_unique<ProviderCatalog>(readResource(":/server/schema/providers.json"),
                                                  db, *m_dialect, m_schemaVersion);
}

// SQLite reads a WAL set through its -shm file. Where the folder cannot take one and no
// writer has the set open (neither -wal nor -shm exists), the file is read as immutable.
AppServer::ReadingTarget AppServer::readingTarget() const
{
    const QByteArray folder = QFile::encodeName(QFileInfo(m_path).absolutePath());
    const bool immutable = ::access(folder.constData(), W_OK) != 0 &&
                           !QFileInfo::exists(m_path + QLatin1String("-wal")) &&
                           !QFileInfo::exists(m_path + QLatin1String("-shm"));
    if (!immutable)
        return {SqliteDialect::readOnlyOptions(false), QString()};
    return {SqliteDialect::readOnlyOptions(true), SqliteDialect::immutableName(m_path)};
}

// A damaged page found at open is one clear message instead of odd failures later, at the
// first read or write that touches it.
void AppServer::checkPages(QSqlDatabase &db) const
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(m_dialect->pageCheck())) {
        if (isDamage(q.lastError()))
            throw Error(damagedText(m_path));
        throw Error(QStringLiteral("无法读取账套文件“%1”：%2").arg(m_path, q.lastError().text()));
    }
    if (!q.next() || q.value(0).toString() != QLatin1String("ok"))
        throw Error(damagedText(m_path));
}

std::unique_ptr<ServerConnection> AppServer::connect()
{
    return std::unique_ptr<ServerConnection>(new ServerConnection(*this));
}

} // namespace vexa::server
