#pragma once

#include "Condition.h"
#include "FieldDef.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

class QSqlError;

namespace vexa::server {

struct Provider;

// Everything that differs between storage engines: the statements the server runs that
// are not plain SQL, and how a provider request is turned into SQL. Literals never enter
// the text: they become bound parameters.
// PostgreSQL text cannot hold U+0000: throws vexa::Error for a text that contains it.
void refuseNul(const QString &text);

class SqlDialect
{
public:
    virtual ~SqlDialect() = default;

    // The Qt SQL driver, and the statements run on every new connection.
    virtual QString driverName() const = 0;
    virtual QStringList connectionSetup(int busyTimeoutMs) const = 0;

    // A write transaction that holds the set's write lock from its start, so that it waits
    // for another writer there instead of failing at its first write: the statements in order.
    virtual QStringList beginWrite() const = 0;
    // A read-only transaction whose statements all see one snapshot of the set.
    virtual QString beginRead() const = 0;
    virtual QString commit() const = 0;
    virtual QString rollback() const = 0;
    virtual QString savepoint(const QString &name) const = 0;
    virtual QString releaseSavepoint(const QString &name) const = 0;
    virtual QString rollbackToSavepoint(const QString &name) const = 0;
    // Foreign keys checked at the commit for the rest of the transaction.
    virtual QString deferForeignKeys() const = 0;

    // One row per table, its name in column 0 (letter case as the engine keeps it).
    virtual QString tableNames() const = 0;
    // One row: the number of schema objects (tables, indexes, views, triggers).
    virtual QString schemaObjectCount() const = 0;
    // One row per column of the table: name, declared type, not-null flag and default
    // text (null when none) in columns 1 to 4. The name is quoted here.
    virtual QString tableColumns(const QString &table) const = 0;
    // A column name as tableColumns answers it, in the letter case the schema writes it.
    virtual QString columnName(const QString &engineName) const = 0;
    // A check of the stored pages: its first value is "ok" when they are whole.
    virtual QString pageCheck() const = 0;
    // Writes a consistent copy of the whole database to the file bound as its one value;
    // empty where the engine keeps its own backups.
    virtual QString copyInto() const = 0;
    // Every page checked: one row "ok", or one row per problem found.
    virtual QString integrityCheck() const = 0;
    // Rows that refer to a missing row: (table, rowid, referenced table) per broken reference.
    virtual QString foreignKeyCheck() const = 0;
    // A script of several statements (triggers included). Throws vexa::Error.
    virtual void runScript(QSqlDatabase &db, const QByteArray &script) const = 0;

    // INSERT of keys and values (a "?" for each, in that order) that replaces the values
    // of a row with the same keys.
    virtual QString upsert(const QString &table, const QStringList &keys,
                           const QStringList &values) const = 0;
    // "column equals ?" with letter case ignored.
    virtual QString equalsIgnoringCase(const QString &column) const = 0;

    // How an engine error reads: a failed constraint of which kind, or a condition too
    // complex for the engine's parser.
    enum class Constraint { None, Unique, NotNull, ForeignKey };
    virtual Constraint failedConstraint(const QSqlError &error) const = 0;
    virtual bool tooComplex(const QSqlError &error) const = 0;

    virtual QString quoteIdentifier(const QString &name) const = 0;

    // A client value (storage type of coerceToField) as the engine binds it, and back.
    virtual QVariant toStorage(const FieldDef &field, const QVariant &value) const = 0;
    virtual QVariant fromStorage(const FieldDef &field, const QVariant &stored) const = 0;

    // SELECT of the provider's columns under a parsed command text. Every column the
    // command names must be one of the provider's; params receives the literals in
    // order. Throws vexa::Error naming the provider and the unknown column.
    virtual QString selectStatement(const Provider &provider, const cond::CommandText &command,
                                    QVariantList &params) const = 0;
    // The condition alone, for operations that take a condition text.
    virtual QString condition(const Provider &provider, const cond::Node &node,
                              QVariantList &params) const = 0;
};

class SqliteDialect : public SqlDialect
{
public:
    // Deepest AND/OR/NOT nesting passed to SQLite, whose parser has a fixed stack.
    static constexpr int kMaxNesting = 30;
    // Most parameters of one statement. SQLite finds each parameter by name among the
    // earlier ones, so their cost grows with the square of their number; an IN list is one.
    static constexpr int kMaxParameters = 1000;

    QString driverName() const override;
    QStringList connectionSetup(int busyTimeoutMs) const override;
    QStringList beginWrite() const override;
    QString beginRead() const override;
    QString commit() const override;
    QString rollback() const override;
    QString savepoint(const QString &name) const override;
    QString releaseSavepoint(const QString &name) const override;
    QString rollbackToSavepoint(const QString &name) const override;
    QString deferForeignKeys() const override;
    QString tableNames() const override;
    QString schemaObjectCount() const override;
    QString tableColumns(const QString &table) const override;
    QString columnName(const QString &engineName) const override { return engineName; }
    QString pageCheck() const override;
    void runScript(QSqlDatabase &db, const QByteArray &script) const override;
    QString copyInto() const override;
    QString integrityCheck() const override;
    QString foreignKeyCheck() const override;
    QString upsert(const QString &table, const QStringList &keys,
                   const QStringList &values) const override;
    QString equalsIgnoringCase(const QString &column) const override;
    Constraint failedConstraint(const QSqlError &error) const override;
    bool tooComplex(const QSqlError &error) const override;

    QString quoteIdentifier(const QString &name) const override;
    QVariant toStorage(const FieldDef &field, const QVariant &value) const override;
    QVariant fromStorage(const FieldDef &field, const QVariant &stored) const override;
    QString selectStatement(const Provider &provider, const cond::CommandText &command,
                            QVariantList &params) const override;

    QString condition(const Provider &provider, const cond::Node &node,
                      QVariantList &params) const override;

    // A file of one account set. Its header says whether it is a database of this engine.
    static bool isDatabaseFile(const QString &path);
    // Connect options for reading only; a file opened as immutable is read without its
    // -shm file (for a folder that cannot take one while no writer has the set open).
    static QString readOnlyOptions(bool immutable);
    static QString immutableName(const QString &path);
    // Whether anyone has a set open: connect options that never wait for a lock, and the
    // statements that then take the file for this connection alone, failing while any
    // other connection holds it.
    static QString noWaitOptions();
    static QStringList takeWholeFile();
    // A new set is built with a rollback journal and switched to WAL when complete; the
    // switch answers "wal"; the checkpoint empties the -wal into the file.
    static QString buildJournal();
    static QString finalJournal();
    static QString checkpoint();
};

// One account set in a PostgreSQL database. Names are unquoted in every statement, so the
// engine folds them to lower case, in the schema as in the server's statements; columns get
// their letter case back from the schema text. Writers of a set queue on one advisory
// transaction lock, the way SQLite's writers queue on the file's write lock, so any number
// of server processes can serve one set.
class PostgresDialect : public SqlDialect
{
public:
    PostgresDialect();

    QString driverName() const override;
    QStringList connectionSetup(int busyTimeoutMs) const override;
    QStringList beginWrite() const override;
    QString beginRead() const override;
    QString commit() const override;
    QString rollback() const override;
    QString savepoint(const QString &name) const override;
    QString releaseSavepoint(const QString &name) const override;
    QString rollbackToSavepoint(const QString &name) const override;
    QString deferForeignKeys() const override;
    QString tableNames() const override;
    QString schemaObjectCount() const override;
    QString tableColumns(const QString &table) const override;
    QString columnName(const QString &engineName) const override;
    QString pageCheck() const override;
    void runScript(QSqlDatabase &db, const QByteArray &script) const override;
    QString copyInto() const override;
    QString integrityCheck() const override;
    QString foreignKeyCheck() const override;
    QString upsert(const QString &table, const QStringList &keys,
                   const QStringList &values) const override;
    QString equalsIgnoringCase(const QString &column) const override;
    Constraint failedConstraint(const QSqlError &error) const override;
    bool tooComplex(const QSqlError &error) const override;

    QString quoteIdentifier(const QString &name) const override;
    QVariant toStorage(const FieldDef &field, const QVariant &value) const override;
    QVariant fromStorage(const FieldDef &field, const QVariant &stored) const override;
    QString selectStatement(const Provider &provider, const cond::CommandText &command,
                            QVariantList &params) const override;
    QString condition(const Provider &provider, const cond::Node &node,
                      QVariantList &params) const override;

    // Whether a set's location names a PostgreSQL database (postgresql://...).
    static bool isLocation(const QString &location);
    // The number of the advisory lock that writers of a set queue on.
    static constexpr qint64 kWriteLock = 0x56455841'00000001; // "VEXA", 1

private:
    QHash<QString, QString> m_names; // lower case -> as the schema writes it
};

} // namespace vexa::server
