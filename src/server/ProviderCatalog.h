#pragma once

#include "FieldDef.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <limits>

namespace vexa::server {

class SqlDialect;

// One provider: the table or view it reads, the table apply-updates writes (empty for
// read-only lists), its key fields, and its columns with the client's field types.
struct Provider
{
    QString name;
    QString source;
    QString update;
    QStringList keys;
    QList<FieldDef> fields;          // source columns in table order
    QHash<QString, int> byLowerName; // column name in lower case -> index in fields

    int column(const QString &name) const { return byLowerName.value(name.toLower(), -1); }
};

// The providers the server publishes, read from the catalog (providers.json) and the
// schema of an open database: declared column types are the field types.
class ProviderCatalog
{
public:
    // Throws vexa::Error when the catalog names a table, view or column the database
    // does not have, or a column has a type the client cannot hold. A provider marked
    // "since": n is left out of a set read at an older schema version (read-only, not
    // upgraded), which lacks its table.
    ProviderCatalog(const QByteArray &catalogJson, QSqlDatabase &db, const SqlDialect &dialect,
                    int schemaVersion = std::numeric_limits<int>::max());

    // nullptr when there is no such provider (names compare without letter case).
    const Provider *find(const QString &name) const;
    const Provider &require(const QString &name) const; // throws with a Chinese message
    QList<const Provider *> providers() const;

    // Columns of a table that appears in the catalog as a source or update table; an
    // empty list otherwise. Used to check the names operations accept.
    QList<FieldDef> tableColumns(const QString &table) const;
    // The columns of such a table that some provider shows to clients (a password hash,
    // which no provider shows, is not among them). Operations that take column names from
    // a client accept only these.
    QList<FieldDef> publishedColumns(const QString &table) const;
    // Per column of such a table: its DEFAULT text, empty when it has none.
    QStringList tableDefaults(const QString &table) const;

    // Maps a declared SQL column type ("VARCHAR(40)", "MONEY", ...) to a field.
    static FieldDef fieldFromDeclaredType(const QString &column, const QString &declared,
                                          bool notNull, bool hasDefault);

private:
    QHash<QString, Provider> m_providers;        // by lower-case name
    QHash<QString, QList<FieldDef>> m_tables;    // by lower-case table name
    QHash<QString, QStringList> m_tableDefaults; // by lower-case table name
};

} // namespace vexa::server
