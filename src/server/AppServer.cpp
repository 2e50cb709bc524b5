#include "AppServer.h"

#include "AttachmentStore.h"
#include "ProviderCatalog.h"
#include "Seed.h"
#include "SqlDialect.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <sqlite3.h>

namespace vexa::server {

namespace {

// Ordered migrations; an account set at version n runs every one above n.
struct Migration
{
    int version;
    const char *resource;
};
constexpr Migration kMigrations[] = {
    {1, ":/server/schema/001_initial.sql"},
};
constexpr int kSchemaVersion = 1;

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

sqlite3 *handleOf(QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        throw Error(QStringLiteral("数据库驱动不是 SQLite。"));
    return *static_cast<sqlite3 *const *>(v.constData());
}

// A script of several statements (the schema has triggers), run by SQLite itself.
void runScript(QSqlDatabase &db, const QByteArray &sql)
{
    char *message = nullptr;
    if (sqlite3_exec(handleOf(db), sql.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : "unknown");
        sqlite3_free(message);
        throw Error(QStringLiteral("执行数据库脚本失败：%1").arg(text));
    }
}

void exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw Error(QStringLiteral("数据库操作失败：%1").arg(databaseErrorText(q.lastError())));
}

bool looksLikeSqlite(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

void removeDatabaseFiles(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

AppServer::AppServer(QString path, Options options)
    : m_path(QFileInfo(path).absoluteFilePath()), m_options(options),
      m_dialect(std::make_unique<SqliteDialect>())
{
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
    const QString name = nextConnectionName();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(m_path);
    if (!db.open()) {
        const QString text = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw Error(QStringLiteral("无法打开账套文件“%1”：%2").arg(m_path, text));
    }
    try {
        exec(db, QStringLiteral("PRAGMA busy_timeout = %1").arg(kBusyTimeoutMs));
        exec(db, QStringLiteral("PRAGMA foreign_keys = ON"));
        exec(db, QStringLiteral("PRAGMA synchronous = FULL"));
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw;
    }
    return db;
}

std::unique_ptr<AppServer> AppServer::open(const QString &path, const Options &options)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("账套文件“%1”不存在。").arg(path));
    if (!info.isFile() || !info.isReadable())
        throw Error(QStringLiteral("账套文件“%1”无法读取。").arg(path));
    if (!looksLikeSqlite(path))
        throw Error(QStringLiteral("文件“%1”不是账套数据库。").arg(path));
    std::unique_ptr<AppServer> server(new AppServer(path, options));
    server->load();
    return server;
}

std::unique_ptr<AppServer> AppServer::create(const QString &path, bool demo, const Options &options)
{
    if (QFileInfo::exists(path))
        throw Error(QStringLiteral("账套文件“%1”已存在。").arg(path));
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw Error(QStringLiteral("无法创建文件夹“%1”。").arg(QFileInfo(path).absolutePath()));
    std::unique_ptr<AppServer> server(new AppServer(path, options));
    try {
        {
            QSqlDatabase db = server->openConnection();
            const QString name = db.connectionName();
            try {
                exec(db, QStringLiteral("PRAGMA journal_mode = WAL"));
            } catch (...) {
                db.close();
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(name);
                throw;
            }
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
        }
        server->load();
        if (demo) {
            QSqlDatabase db = QSqlDatabase::database(server->m_adminConnection, false);
            loadDemoSeed(db, options.passwordCost);
        }
    } catch (...) {
        server.reset();
        removeDatabaseFiles(path); // nothing half-made is left behind
        throw;
    }
    return server;
}

void AppServer::load()
{
    QSqlDatabase db = openConnection();
    m_adminConnection = db.connectionName();

    int version = 0;
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
            throw Error(QStringLiteral("文件“%1”不是账套数据库：%2")
                            .arg(m_path, databaseErrorText(q.lastError())));
        bool hasVersion = false;
        int tables = 0;
        while (q.next()) {
            ++tables;
            hasVersion = hasVersion || q.value(0).toString() == QLatin1String("SchemaVersion");
        }
        if (hasVersion) {
            QSqlQuery v(db);
            if (!v.exec(QStringLiteral("SELECT MAX(version) FROM SchemaVersion")) || !v.next())
                throw Error(QStringLiteral("文件“%1”不是本系统的账套。").arg(m_path));
            version = v.value(0).toInt();
        } else if (tables > 0) {
            throw Error(QStringLiteral("文件“%1”不是本系统的账套。").arg(m_path));
        }
    }
    if (version > kSchemaVersion)
        throw Error(QStringLiteral("账套“%1”的版本 %2 高于本程序支持的版本 %3，请升级程序。")
                        .arg(m_path)
                        .arg(version)
                        .arg(kSchemaVersion));

    for (const Migration &m : kMigrations) {
        if (m.version <= version)
            continue;
        // Each migration and its version mark are one transaction: a crash between
        // leaves the account set at the previous version.
        exec(db, QStringLiteral("BEGIN IMMEDIATE"));
        try {
            runScript(db, readResource(m.resource));
            exec(db, QStringLiteral("DELETE FROM SchemaVersion"));
            exec(db,
                 QStringLiteral("INSERT INTO SchemaVersion (version) VALUES (%1)").arg(m.version));
            exec(db, QStringLiteral("COMMIT"));
        } catch (...) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
        version = m.version;
    }
    m_schemaVersion = version;
    m_catalog =
        std::make_unique<ProviderCatalog>(readResource(":/server/schema/providers.json"), db);
}

std::unique_ptr<ServerConnection> AppServer::connect()
{
    return std::unique_ptr<ServerConnection>(new ServerConnection(*this));
}

} // namespace vexa::server
