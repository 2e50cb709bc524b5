#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace vexa::server {

// Where a PostgreSQL account set lives, from its location text:
//   postgresql://[user[:password]@][host][:port]/database[?host=/socket/dir&port=N&sslmode=...]
// Each set is a database of its own.
struct PostgresLocation
{
    // Throws vexa::Error for a text that is not such a location or names no database.
    static PostgresLocation parse(const QString &location);

    QString user;
    QString password;
    QString host; // a name, an address, or the folder of a Unix socket
    int port = -1;
    QString database;
    QStringList options; // further libpq settings, "key=value"

    // Points db at the database (empty: this location's).
    void applyTo(QSqlDatabase &db, const QString &databaseName = QString()) const;
    // The location without its password, for messages.
    QString display() const;
    // The whole location text (password included) of another database of the same server.
    QString withDatabase(const QString &databaseName) const;
    // How pg_dump and pg_restore reach this location's server as this user: everything but
    // the password, which goes through the environment (PGPASSWORD) so ps does not show it.
    QStringList toolArguments(const QString &databaseName = QString()) const;
};

// Creates, renames and drops the databases of sets through the server's "postgres" database.
class PostgresServer
{
public:
    explicit PostgresServer(const PostgresLocation &location);
    ~PostgresServer();
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    bool exists(const QString &database);
    // A new database that sorts and compares text byte by byte (as SQLite does), in UTF-8.
    void create(const QString &database);
    void rename(const QString &from, const QString &to);
    // Ends the connections to it first.
    void drop(const QString &database);
    // How many logins of vexa hold their mark on the database (see LoginMark).
    int logins(const QString &database);
    // No new connections to the database; those it has stay.
    void allowConnections(const QString &database, bool allow);
    // Ends the connections to the database other than this one's.
    void endConnections(const QString &database);

private:
    void exec(const QString &sql);
    PostgresLocation m_location;
    QString m_name;
};

} // namespace vexa::server
