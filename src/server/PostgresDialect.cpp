#include "SqlDialect.h"

#include <vexa/Error.h>

#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace vexa::server {

namespace {

QString literalText(const QString &text)
{
    QString q = text;
    q.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

QString sqlState(const QSqlError &error)
{
    return error.nativeErrorCode();
}

} // namespace

// PostgreSQL folds the unquoted names of the schema; the schema text still has them as
// written, and that is the case the clients see.
PostgresDialect::PostgresDialect()
{
    static const QRegularExpression word(QStringLiteral("[A-Za-z_][A-Za-z0-9_]*"));
    // Mixed case is a name as the schema writes it; all capitals are mostly keywords.
    const auto rank = [](const QString &w) {
        return w == w.toLower() ? 0 : w == w.toUpper() ? 1 : 2;
    };
    static const QRegularExpression comment(QStringLiteral("--[^\n]*"));
    for (const char *file :
         {":/server/schema/pg/001_initial.sql", ":/server/schema/pg/002_login_guard.sql",
          ":/server/schema/pg/003_ledger.sql", ":/server/schema/pg/004_ledger_books.sql"}) {
        QFile f(QString::fromLatin1(file));
        if (!f.open(QIODevice::ReadOnly))
            continue; // the catalogue then says which table it cannot read
        QString text = QString::fromUtf8(f.readAll());
        text.remove(comment);
        for (auto it = word.globalMatch(text); it.hasNext();) {
            const QString w = it.next().captured();
            QString &known = m_names[w.toLower()];
            if (known.isEmpty() || rank(w) > rank(known))
                known = w;
        }
    }
}

bool PostgresDialect::isLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString PostgresDialect::driverName() const
{
    return QStringLiteral("QPSQL");
}

// lock_timeout bounds the wait for the write lock as SQLite's busy timeout does.
QStringList PostgresDialect::connectionSetup(int busyTimeoutMs) const
{
    return {QStringLiteral("SET lock_timeout = %1").arg(busyTimeoutMs),
            QStringLiteral("SET client_min_messages = error")};
}

// Every writer takes the same advisory lock at the start of its transaction, so writers of
// a set run one after another across all servers, and each sees all that the one before it
// committed: the conflict checks of apply-updates read rows nobody else is changing.
QStringList PostgresDialect::beginWrite() const
{
    return {QStringLiteral("BEGIN"),
            QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kWriteLock)};
}

// READ COMMITTED would take a new snapshot for each statement.
QString PostgresDialect::beginRead() const
{
    return QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
}

QString PostgresDialect::commit() const
{
    return QStringLiteral("COMMIT");
}

QString PostgresDialect::rollback() const
{
    return QStringLiteral("ROLLBACK");
}

QString PostgresDialect::savepoint(const QString &name) const
{
    return QStringLiteral("SAVEPOINT ") + name;
}

QString PostgresDialect::releaseSavepoint(const QString &name) const
{
    return QStringLiteral("RELEASE SAVEPOINT ") + name;
}

QString PostgresDialect::rollbackToSavepoint(const QString &name) const
{
    return QStringLiteral("ROLLBACK TO SAVEPOINT ") + name;
}

// The schema declares every foreign key deferrable.
QString PostgresDialect::deferForeignKeys() const
{
    return QStringLiteral("SET CONSTRAINTS ALL DEFERRED");
}

QString PostgresDialect::tableNames() const
{
    return QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = current_schema()");
}

QString PostgresDialect::schemaObjectCount() const
{
    return QStringLiteral("SELECT COUNT(*) FROM pg_class c JOIN pg_namespace n ON "
                          "n.oid = c.relnamespace WHERE n.nspname = current_schema()");
}

// The declared type as the SQLite schema writes it: the vx_ domains by name, the built-in
// types by their SQL names.
QString PostgresDialect::tableColumns(const QString &table) const
{
    return QStringLiteral(
               "SELECT a.attnum, a.attname, "
               "CASE WHEN t.typtype = 'd' AND t.typname LIKE 'vx\\_%' THEN upper(substr(t.typname, "
               "4)) "
               "WHEN t.typname = 'varchar' THEN 'VARCHAR(' || (a.atttypmod - 4) || ')' "
               "WHEN t.typname = 'bpchar' THEN 'CHAR(' || (a.atttypmod - 4) || ')' "
               "WHEN t.typname = 'numeric' THEN 'DECIMAL(' || ((a.atttypmod - 4) >> 16) || ',' || "
               "((a.atttypmod - 4) & 65535) || ')' "
               "WHEN t.typname = 'int2' THEN 'SMALLINT' WHEN t.typname = 'int4' THEN 'INTEGER' "
               "WHEN t.typname = 'int8' THEN 'BIGINT' WHEN t.typname = 'bytea' THEN 'BLOB' "
               "WHEN t.typname = 'float8' THEN 'FLOAT' "
               "ELSE upper(t.typname) END, "
               "CASE WHEN a.attnotnull THEN 1 ELSE 0 END, pg_get_expr(d.adbin, d.adrelid) "
               "FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
               "JOIN pg_namespace n ON n.oid = c.relnamespace "
               "JOIN pg_type t ON t.oid = a.atttypid "
               "LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
               "WHERE n.nspname = current_schema() AND c.relname = %1 AND a.attnum > 0 "
               "AND NOT a.attisdropped ORDER BY a.attnum")
        .arg(literalText(table.toLower()));
}

QString PostgresDialect::columnName(const QString &engineName) const
{
    return m_names.value(engineName.toLower(), engineName);
}

// PostgreSQL checks its pages as it reads them; a damaged one fails the statement (XX001).
QString PostgresDialect::pageCheck() const
{
    return QStringLiteral("SELECT 'ok'");
}

void PostgresDialect::runScript(QSqlDatabase &db, const QByteArray &script) const
{
    QSqlQuery q(db);
    if (!q.exec(QString::fromUtf8(script)))
        throw Error(QStringLiteral("执行数据库脚本失败：%1").arg(q.lastError().text()));
}

// A copy of a PostgreSQL set is the database administrator's (pg_dump); migrations run in
// transactions, so a failed one leaves the set as it was.
QString PostgresDialect::copyInto() const
{
    return QString();
}

QString PostgresDialect::integrityCheck() const
{
    return QStringLiteral("SELECT 'ok'");
}

// PostgreSQL never commits a broken reference.
QString PostgresDialect::foreignKeyCheck() const
{
    return QStringLiteral("SELECT NULL, NULL, NULL WHERE FALSE");
}

QString PostgresDialect::upsert(const QString &table, const QStringList &keys,
                                const QStringList &values) const
{
    QStringList marks, sets;
    for (qsizetype i = 0; i < keys.size() + values.size(); ++i)
        marks << QStringLiteral("?");
    for (const QString &v : values)
        sets << QStringLiteral("%1 = excluded.%1").arg(v);
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT (%4) DO UPDATE SET %5")
        .arg(table, (keys + values).join(QLatin1String(", ")), marks.join(QLatin1String(", ")),
             keys.join(QLatin1String(", ")), sets.join(QLatin1String(", ")));
}

QString PostgresDialect::equalsIgnoringCase(const QString &column) const
{
    return column + QStringLiteral(" COLLATE nocase = ?");
}

SqlDialect::Constraint PostgresDialect::failedConstraint(const QSqlError &error) const
{
    const QString state = sqlState(error);
    if (state == u"23505")
        return Constraint::Unique;
    if (state == u"23502")
        return Constraint::NotNull;
    if (state == u"23503")
        return Constraint::ForeignKey;
    return Constraint::None;
}

// Class 54: a statement past one of the engine's limits (stack depth, arguments ...).
bool PostgresDialect::tooComplex(const QSqlError &error) const
{
    return sqlState(error).startsWith(QLatin1String("54"));
}

QString PostgresDialect::quoteIdentifier(const QString &name) const
{
    QString q = name.toLower();
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// Values are stored the way SQLite stores them (dates as canonical text, booleans 0/1), so
// both engines compare and sort them alike.
QVariant PostgresDialect::toStorage(const FieldDef &field, const QVariant &value) const
{
    static const SqliteDialect same;
    if (value.typeId() == QMetaType::QString)
        refuseNul(value.toString());
    return same.toStorage(field, value);
}

// CHAR(n) comes back padded to n with spaces; SQLite gives back what was stored.
QVariant PostgresDialect::fromStorage(const FieldDef &field, const QVariant &stored) const
{
    static const SqliteDialect same;
    if (field.type == FieldType::FixedChar && !stored.isNull()) {
        QString s = stored.toString();
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        return s;
    }
    return same.fromStorage(field, stored);
}

} // namespace vexa::server
