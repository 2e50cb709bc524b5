#include "PostgresLocation.h"

#include "LoginMark.h"

#include <vexa/Error.h>

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <atomic>

namespace vexa::server {

namespace {

QString decoded(const QString &part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

QString quotedName(const QString &name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

PostgresLocation PostgresLocation::parse(const QString &location)
{
    static const QRegularExpression re(
        QStringLiteral(
            R"(^postgres(?:ql)?://(?:([^:@/]*)(?::([^@/]*))?@)?([^/:?]*)(?::(\d+))?/([^?]*)(?:\?(.*))?$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(location);
    PostgresLocation l;
    if (!m.hasMatch())
        throw Error(QStringLiteral("“%1”不是 PostgreSQL 数据库的地址"
                                   "（postgresql://用户@主机:端口/数据库）。")
                        .arg(location));
    l.user = decoded(m.captured(1));
    l.password = decoded(m.captured(2));
    l.host = decoded(m.captured(3));
    l.port = m.captured(4).isEmpty() ? -1 : m.captured(4).toInt();
    l.database = decoded(m.captured(5));
    for (const auto &[key, value] : QUrlQuery(m.captured(6)).queryItems(QUrl::FullyDecoded)) {
        if (key == u"host")
            l.host = value;
        else if (key == u"port")
            l.port = value.toInt();
        else if (key == u"user")
            l.user = value;
        else if (key == u"password")
            l.password = value;
        else
            l.options << key + QLatin1Char('=') + value;
    }
    if (l.database.isEmpty() || l.database.contains(QLatin1Char('/')))
        throw Error(QStringLiteral("PostgreSQL 地址“%1”没有指明数据库名。").arg(l.display()));
    return l;
}

void PostgresLocation::applyTo(QSqlDatabase &db, const QString &databaseName) const
{
    db.setDatabaseName(databaseName.isEmpty() ? database : databaseName);
    db.setHostName(host);
    db.setPort(port);
    db.setUserName(user);
    db.setPassword(password);
    db.setConnectOptions(options.join(QLatin1Char(';')));
}

QString PostgresLocation::display() const
{
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += user + QLatin1Char('@');
    if (!host.startsWith(QLatin1Char('/')))
        text += host;
    if (port > 0 && !host.startsWith(QLatin1Char('/')))
        text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char('/') + database;
    if (host.startsWith(QLatin1Char('/')))
        text += QStringLiteral("?host=%1").arg(host) +
                (port > 0 ? QStringLiteral("&port=%1").arg(port) : QString());
    return text;
}

QString PostgresLocation::withDatabase(const QString &databaseName) const
{
    const auto part = [](const QString &text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    };
    QStringList items;
    for (const QString &option : options) {
        const qsizetype eq = option.indexOf(QLatin1Char('='));
        items << part(option.left(eq)) + QLatin1Char('=') + part(option.mid(eq + 1));
    }
    const std::pair<const char *, QString> settings[] = {
        {"host", host},
        {"port", port > 0 ? QString::number(port) : QString()},
        {"user", user},
        {"password", password}};
    for (const auto &[key, value] : settings)
        if (!value.isEmpty())
            items << QLatin1String(key) + QLatin1Char('=') + part(value);
    return QStringLiteral("postgresql:///") + part(databaseName) +
           (items.isEmpty() ? QString() : QLatin1Char('?') + items.join(QLatin1Char('&')));
}

QStringList PostgresLocation::toolArguments(const QString &databaseName) const
{
    QStringList args{QStringLiteral("--no-password")};
    if (!host.isEmpty())
        args << QStringLiteral("--host=") + host;
    if (port > 0)
        args << QStringLiteral("--port=") + QString::number(port);
    if (!user.isEmpty())
        args << QStringLiteral("--username=") + user;
    // A connection string, so the libpq settings (sslmode ...) come along.
    const auto quoted = [](QString value) {
        value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        value.replace(QLatin1Char('\''), QLatin1String("\\'"));
        return QLatin1Char('\'') + value + QLatin1Char('\'');
    };
    QStringList conninfo{QStringLiteral("dbname=") +
                         quoted(databaseName.isEmpty() ? database : databaseName)};
    for (const QString &option : options) {
        const qsizetype eq = option.indexOf(QLatin1Char('='));
        conninfo << option.left(eq) + QLatin1Char('=') + quoted(option.mid(eq + 1));
    }
    args << QStringLiteral("--dbname=") + conninfo.join(QLatin1Char(' '));
    return args;
}

PostgresServer::PostgresServer(const PostgresLocation &location) : m_location(location)
{
    static std::atomic<int> counter{0};
    m_name = QStringLiteral("vexa-postgres-admin-%1").arg(++counter);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    m_location.applyTo(db, QStringLiteral("postgres"));
    if (!db.open()) {
        const QString text = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw Error(
            QStringLiteral("无法连接 PostgreSQL 服务器“%1”：%2").arg(m_location.display(), text));
    }
    exec(QStringLiteral("SET client_min_messages = error"));
}

PostgresServer::~PostgresServer()
{
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

void PostgresServer::exec(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (!q.exec(sql))
        throw Error(QStringLiteral("PostgreSQL 服务器“%1”拒绝了操作：%2")
                        .arg(m_location.display(), q.lastError().text()));
}

bool PostgresServer::exists(const QString &database)
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.prepare(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?"));
    q.addBindValue(database);
    if (!q.exec())
        throw Error(QStringLiteral("无法读取 PostgreSQL 服务器“%1”的数据库列表：%2")
                        .arg(m_location.display(), q.lastError().text()));
    return q.next();
}

void PostgresServer::create(const QString &database)
{
    exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' "
                        "LC_COLLATE 'C' LC_CTYPE 'C'")
             .arg(quotedName(database)));
}

void PostgresServer::rename(const QString &from, const QString &to)
{
    exec(QStringLiteral("ALTER DATABASE %1 RENAME TO %2").arg(quotedName(from), quotedName(to)));
}

void PostgresServer::drop(const QString &database)
{
    exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(quotedName(database)));
}

int PostgresServer::logins(const QString &database)
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.prepare(QStringLiteral(
        "SELECT COUNT(*) FROM pg_locks l JOIN pg_database d ON d.oid = l.database WHERE "
        "d.datname = ? AND l.locktype = 'advisory' AND l.classid = CAST(? AS BIGINT) & "
        "4294967295 AND l.objsubid = 2 AND l.granted"));
    q.addBindValue(database);
    q.addBindValue(LoginMark::kPostgresSpace);
    if (!q.exec() || !q.next())
        throw Error(QStringLiteral("无法读取 PostgreSQL 服务器“%1”上的登录：%2")
                        .arg(m_location.display(), q.lastError().text()));
    return q.value(0).toInt();
}

void PostgresServer::allowConnections(const QString &database, bool allow)
{
    exec(QStringLiteral("ALTER DATABASE %1 WITH ALLOW_CONNECTIONS %2")
             .arg(quotedName(database), allow ? QStringLiteral("true") : QStringLiteral("false")));
}

void PostgresServer::endConnections(const QString &database)
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.prepare(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                             "datname = ? AND pid <> pg_backend_pid()"));
    q.addBindValue(database);
    if (!q.exec())
        throw Error(QStringLiteral("PostgreSQL 服务器“%1”拒绝了操作：%2")
                        .arg(m_location.display(), q.lastError().text()));
}

} // namespace vexa::server
