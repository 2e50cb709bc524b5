#pragma once

#include <QSqlDatabase>
#include <QString>

namespace vexa::server {

class SqlDialect;

// A connection to path with this system's settings, under the given name. On failure the
// name is free again. databaseName, when given, is what SQLite opens (a read-only URI).
QSqlDatabase openDatabase(const SqlDialect &dialect, const QString &path, const QString &name,
                          const QString &connectOptions = QString(),
                          const QString &databaseName = QString());

// A connection of the caller's own, closed and forgotten on every path.
class OwnConnection
{
public:
    OwnConnection(const SqlDialect &dialect, const QString &path,
                  const QString &connectOptions = QString());
    explicit OwnConnection(QSqlDatabase db); // takes over one opened elsewhere
    ~OwnConnection();
    OwnConnection(const OwnConnection &) = delete;
    OwnConnection &operator=(const OwnConnection &) = delete;
    QSqlDatabase &db() { return m_db; }

private:
    QString m_name;
    QSqlDatabase m_db;
};

} // namespace vexa::server
