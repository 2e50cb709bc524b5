#include "SqlDialect.h"

#include "ProviderCatalog.h"

#include <vexa/Error.h>

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QTime>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <sqlite3.h>

namespace vexa::server {

using cond::CompareOp;
using cond::Node;
using cond::NodeKind;

namespace {

const QString kDate = QStringLiteral("yyyy-MM-dd");
const QString kTime = QStringLiteral("HH:mm:ss.zzz");
const QString kDateTime = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

const char *compareText(CompareOp op)
{
    switch (op) {
    case CompareOp::Eq:
        return " = ";
    case CompareOp::Ne:
        return " <> ";
    case CompareOp::Lt:
        return " < ";
    case CompareOp::Gt:
        return " > ";
    case CompareOp::Le:
        return " <= ";
    case CompareOp::Ge:
        return " >= ";
    }
    return " = ";
}

// A bound value as JSON for json_each, which gives back the same SQL value: a whole
// double keeps its ".0" so that it stays REAL.
void appendJson(QString &out, const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        out += QLatin1String("null");
        return;
    case QMetaType::Double: {
        const QString s = QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
        out += s;
        if (!s.contains(u'.') && !s.contains(u'e'))
            out += QLatin1String(".0");
        return;
    }
    case QMetaType::Int:
    case QMetaType::LongLong:
        out += QString::number(v.toLongLong());
        return;
    default:
        break;
    }
    out += u'"';
    for (const QChar c : v.toString()) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    out += u'"';
}

bool isNullLiteral(const Node &n)
{
    return n.kind == NodeKind::Literal && !n.value.isValid();
}

// The engines the printer writes for: the grammar and its limits are the same on both.
enum class Engine { Sqlite, Postgres };

bool numericType(const FieldDef &f)
{
    switch (f.type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LargeInt:
    case FieldType::Boolean:
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD:
        return true;
    default:
        return false;
    }
}

// What an IN list's items are cast to on PostgreSQL, where they arrive as JSON text.
const char *postgresItemType(const FieldDef *f)
{
    if (!f)
        return "TEXT";
    switch (f->type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LargeInt:
    case FieldType::Boolean:
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD:
        return "NUMERIC";
    default:
        return "TEXT";
    }
}

class Printer
{
public:
    Printer(const SqlDialect &dialect, Engine engine, const Provider &provider,
            QVariantList &params)
        : m_dialect(dialect), m_engine(engine), m_provider(provider), m_params(params)
    {}

    QString print(const Node &n, const FieldDef *context = nullptr)
    {
        switch (n.kind) {
        case NodeKind::Literal:
            return literal(n.value, context);
        case NodeKind::Column:
            return m_dialect.quoteIdentifier(field(n).name);
        case NodeKind::Not: {
            // NOT NOT x is x: a chain of NOTs prints as at most one.
            const Node *inner = n.children[0].get();
            bool negate = true;
            while (inner->kind == NodeKind::Not) {
                inner = inner->children[0].get();
                negate = !negate;
            }
            return negate ? QStringLiteral("NOT (%1)").arg(print(*inner)) : print(*inner, context);
        }
        case NodeKind::Negate: {
            const Node &c = *n.children[0];
            if (c.kind == NodeKind::Literal && c.value.isValid()) {
                const QVariant v = c.value.typeId() == QMetaType::Double
                                       ? QVariant(-c.value.toDouble())
                                       : QVariant(-c.value.toLongLong());
                return literal(v, context);
            }
            return QStringLiteral("-(%1)").arg(print(c));
        }
        case NodeKind::And:
        case NodeKind::Or: {
            // (a AND (b AND c)) is one AND of three: fewer parentheses for the engine.
            QStringList parts;
            std::vector<const Node *> stack;
            for (auto it = n.children.rbegin(); it != n.children.rend(); ++it)
                stack.push_back(it->get());
            while (!stack.empty()) {
                const Node *c = stack.back();
                stack.pop_back();
                if (c->kind == n.kind) {
                    for (auto it = c->children.rbegin(); it != c->children.rend(); ++it)
                        stack.push_back(it->get());
                    continue;
                }
                parts << print(*c);
            }
            return QLatin1Char('(') +
                   parts.join(n.kind == NodeKind::And ? QLatin1String(" AND ")
                                                      : QLatin1String(" OR ")) +
                   QLatin1Char(')');
        }
        case NodeKind::Compare: {
            const Node &a = *n.children[0];
            const Node &b = *n.children[1];
            // "x = NULL" as the client filters write it means IS NULL, here as there.
            if ((n.op == CompareOp::Eq || n.op == CompareOp::Ne) &&
                (isNullLiteral(a) || isNullLiteral(b))) {
                const Node &other = isNullLiteral(a) ? b : a;
                return QStringLiteral("(%1 IS %2NULL)")
                    .arg(print(other),
                         n.op == CompareOp::Ne ? QLatin1String("NOT ") : QLatin1String(""));
            }
            const FieldDef *fa = columnField(a);
            const FieldDef *fb = columnField(b);
            return QLatin1Char('(') + print(a, fb) + QLatin1String(compareText(n.op)) +
                   print(b, fa) + QLatin1Char(')');
        }
        case NodeKind::Like:
            // SQLite's LIKE ignores letter case and has no escape character; a text cast
            // under a plain collation lets it run on any column.
            if (m_engine == Engine::Postgres)
                return QStringLiteral(
                           "(CAST(%1 AS TEXT) COLLATE \"C\" %2ILIKE CAST(%3 AS TEXT) ESCAPE '')")
                    .arg(print(*n.children[0]),
                         n.negated ? QLatin1String("NOT ") : QLatin1String(""),
                         print(*n.children[1]));
            return QStringLiteral("(%1 %2LIKE %3)")
                .arg(print(*n.children[0]), n.negated ? QLatin1String("NOT ") : QLatin1String(""),
                     print(*n.children[1]));
        case NodeKind::In: {
            // The list is one parameter, a JSON array. SQLite looks up each parameter of a
            // statement by name among the earlier ones (Qt names them): 40,000 "?" took a minute.
            // "+value" has no affinity, so the column's applies as it does to "?".
            const FieldDef *f = columnField(*n.children[0]);
            const QString left = print(*n.children[0]);
            QString items;
            for (size_t i = 1; i < n.children.size(); ++i) {
                items += i > 1 ? u',' : u'[';
                appendJson(items, bound(itemValue(*n.children[i]), f));
            }
            items += u']';
            if (m_engine == Engine::Postgres)
                return QStringLiteral("(%1 %2IN (SELECT CAST(value AS %3) FROM "
                                      "json_array_elements_text(CAST(%4 AS JSON))))")
                    .arg(f ? left : QStringLiteral("CAST(%1 AS TEXT)").arg(left),
                         n.negated ? QLatin1String("NOT ") : QLatin1String(""),
                         QLatin1String(postgresItemType(f)), parameter(items));
            return QStringLiteral("(%1 %2IN (SELECT +value FROM json_each(%3)))")
                .arg(left, n.negated ? QLatin1String("NOT ") : QLatin1String(""), parameter(items));
        }
        case NodeKind::IsNull:
            return QStringLiteral("(%1 IS %2NULL)")
                .arg(print(*n.children[0]), n.negated ? QLatin1String("NOT ") : QLatin1String(""));
        }
        Q_UNREACHABLE();
        return {};
    }

    const FieldDef &field(const Node &column) const
    {
        const int i = m_provider.column(column.name);
        if (i < 0)
            throw Error(QStringLiteral("提供者“%1”没有列“%2”。").arg(m_provider.name, column.name));
        return m_provider.fields[i];
    }

private:
    const FieldDef *columnField(const Node &n) const
    {
        return n.kind == NodeKind::Column ? &field(n) : nullptr;
    }

    QString literal(const QVariant &value, const FieldDef *context)
    {
        if (!value.isValid())
            return QStringLiteral("NULL");
        QVariant v = bound(value, context);
        if (m_engine != Engine::Postgres)
            return parameter(v);
        // PostgreSQL takes a bare parameter's type from the column it meets. SQLite compares
        // a number with a text column as text, and a number with a numeric column as the
        // number it is (1e20 matches no integer): so a number meets a text column as text,
        // and is typed by its value everywhere else.
        if (context && numericType(*context) && v.typeId() == QMetaType::QString) {
            bool isNumber = false;
            const double d = v.toString().trimmed().toDouble(&isNumber);
            if (isNumber)
                v = d;
        }
        if (context && !numericType(*context)) {
            if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Int ||
                v.typeId() == QMetaType::LongLong) {
                QString text;
                appendJson(text, v); // SQLite's text of a number: 1.0 stays "1.0"
                v = text;
            }
            return parameter(v);
        }
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
            return QStringLiteral("CAST(%1 AS BIGINT)").arg(parameter(v));
        case QMetaType::Double:
            return QStringLiteral("CAST(%1 AS DOUBLE PRECISION)").arg(parameter(v));
        default:
            return QStringLiteral("CAST(%1 AS TEXT)").arg(parameter(v));
        }
    }

    QString parameter(const QVariant &value)
    {
        if (m_params.size() >= SqliteDialect::kMaxParameters)
            throw Error(QStringLiteral("查询条件中的常量值过多（最多 %1 个，一个 IN 列表算一个），"
                                       "请简化条件。")
                            .arg(SqliteDialect::kMaxParameters));
        m_params.append(value);
        return QStringLiteral("?");
    }

    // An IN item: a literal or a negated number.
    static QVariant itemValue(const Node &n)
    {
        if (n.kind != NodeKind::Negate)
            return n.value;
        const QVariant &v = n.children[0]->value;
        return v.typeId() == QMetaType::Double ? QVariant(-v.toDouble())
                                               : QVariant(-v.toLongLong());
    }

    // A literal compared with a column is bound the way the column stores its values
    // (dates in their canonical text), so "2024/1/31" finds '2024-01-31'.
    QVariant bound(const QVariant &value, const FieldDef *context) const
    {
        if (!value.isValid())
            return value;
        if (m_engine == Engine::Postgres && value.typeId() == QMetaType::QString)
            refuseNul(value.toString());
        QVariant bound = value;
        if (value.typeId() == QMetaType::Bool)
            bound = value.toBool() ? 1 : 0;
        if (context && value.typeId() == QMetaType::QString &&
            (context->type == FieldType::Date || context->type == FieldType::DateTime ||
             context->type == FieldType::Time)) {
            try {
                FieldDef plain = *context;
                plain.required = false;
                bound = m_dialect.toStorage(plain, coerceToField(plain, value));
            } catch (const Error &) {
                // Not a date: compared as the text it is.
            }
        }
        return bound;
    }

    const SqlDialect &m_dialect;
    Engine m_engine;
    const Provider &m_provider;
    QVariantList &m_params;
};

} // namespace

void refuseNul(const QString &text)
{
    if (text.contains(QChar(u'\0')))
        throw Error(QStringLiteral("PostgreSQL 账套中的文本不能含有空字符（U+0000）。"));
}

namespace {

// Nesting the engine has to parse once NOT chains and same-kind groups are folded the
// way the printer folds them.
int nesting(const Node &n)
{
    switch (n.kind) {
    case NodeKind::Not: {
        const Node *inner = n.children[0].get();
        int nots = 1;
        while (inner->kind == NodeKind::Not) {
            inner = inner->children[0].get();
            ++nots;
        }
        return (nots % 2) + nesting(*inner);
    }
    case NodeKind::And:
    case NodeKind::Or: {
        int deepest = 0;
        for (const auto &c : n.children)
            deepest = std::max(deepest, c->kind == n.kind ? nesting(*c) - 1 : nesting(*c));
        return 1 + deepest;
    }
    default: {
        int deepest = 0;
        for (const auto &c : n.children)
            deepest = std::max(deepest, nesting(*c));
        return deepest;
    }
    }
}

void checkNesting(const Node &n)
{
    if (nesting(n) > SqliteDialect::kMaxNesting)
        throw Error(QStringLiteral("查询条件嵌套层数过多（最多 %1 层），请简化条件。")
                        .arg(SqliteDialect::kMaxNesting));
}

sqlite3 *handleOf(QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        throw Error(QStringLiteral("数据库驱动不是 SQLite。"));
    return *static_cast<sqlite3 *const *>(v.constData());
}

} // namespace

QString SqliteDialect::driverName() const
{
    return QStringLiteral("QSQLITE");
}

QStringList SqliteDialect::connectionSetup(int busyTimeoutMs) const
{
    return {QStringLiteral("PRAGMA busy_timeout = %1").arg(busyTimeoutMs),
            QStringLiteral("PRAGMA foreign_keys = ON"), QStringLiteral("PRAGMA synchronous = FULL"),
            // A savepoint's journal in memory: spilled to a temporary file it costs a write
            // call per page of every large apply.
            QStringLiteral("PRAGMA temp_store = MEMORY")};
}

// IMMEDIATE takes the write lock at the start: SQLite waits for a busy lock only when a
// transaction starts, so one that had read first could not wait at its first write.
QStringList SqliteDialect::beginWrite() const
{
    return {QStringLiteral("BEGIN IMMEDIATE")};
}

// A WAL set: the snapshot is taken at the first read and kept to the end, whatever
// writers commit meanwhile; it takes no lock that a writer waits for.
QString SqliteDialect::beginRead() const
{
    return QStringLiteral("BEGIN DEFERRED");
}

QString SqliteDialect::commit() const
{
    return QStringLiteral("COMMIT");
}

QString SqliteDialect::rollback() const
{
    return QStringLiteral("ROLLBACK");
}

QString SqliteDialect::savepoint(const QString &name) const
{
    return QStringLiteral("SAVEPOINT ") + name;
}

QString SqliteDialect::releaseSavepoint(const QString &name) const
{
    return QStringLiteral("RELEASE ") + name;
}

QString SqliteDialect::rollbackToSavepoint(const QString &name) const
{
    return QStringLiteral("ROLLBACK TO ") + name;
}

QString SqliteDialect::deferForeignKeys() const
{
    return QStringLiteral("PRAGMA defer_foreign_keys = ON");
}

QString SqliteDialect::tableNames() const
{
    return QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'");
}

QString SqliteDialect::schemaObjectCount() const
{
    return QStringLiteral("SELECT COUNT(*) FROM sqlite_master");
}

// PRAGMA takes no parameters; the name comes from our own catalog and is quoted.
QString SqliteDialect::tableColumns(const QString &table) const
{
    return QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(table));
}

// quick_check reads each page once and leaves out the index-against-table comparison of
// integrity_check, which costs far more.
QString SqliteDialect::pageCheck() const
{
    return QStringLiteral("PRAGMA quick_check(1)");
}

void SqliteDialect::runScript(QSqlDatabase &db, const QByteArray &script) const
{
    char *message = nullptr;
    if (sqlite3_exec(handleOf(db), script.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : "unknown");
        sqlite3_free(message);
        throw Error(QStringLiteral("执行数据库脚本失败：%1").arg(text));
    }
}

QString SqliteDialect::copyInto() const
{
    return QStringLiteral("VACUUM INTO ?");
}

QString SqliteDialect::integrityCheck() const
{
    return QStringLiteral("PRAGMA integrity_check");
}

QString SqliteDialect::foreignKeyCheck() const
{
    return QStringLiteral("SELECT \"table\", rowid, parent FROM pragma_foreign_key_check");
}

QString SqliteDialect::upsert(const QString &table, const QStringList &keys,
                              const QStringList &values) const
{
    QStringList columns, marks, sets;
    for (const QString &c : keys + values) {
        columns << c;
        marks << QStringLiteral("?");
    }
    for (const QString &v : values)
        sets << QStringLiteral("%1 = excluded.%1").arg(v);
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT (%4) DO UPDATE SET %5")
        .arg(table, columns.join(QLatin1String(", ")), marks.join(QLatin1String(", ")),
             keys.join(QLatin1String(", ")), sets.join(QLatin1String(", ")));
}

QString SqliteDialect::equalsIgnoringCase(const QString &column) const
{
    return column + QStringLiteral(" = ? COLLATE NOCASE");
}

SqlDialect::Constraint SqliteDialect::failedConstraint(const QSqlError &error) const
{
    const QString engineText = error.databaseText();
    if (engineText.contains(QLatin1String("UNIQUE constraint failed")))
        return Constraint::Unique;
    if (engineText.contains(QLatin1String("NOT NULL constraint failed")))
        return Constraint::NotNull;
    if (engineText.contains(QLatin1String("FOREIGN KEY constraint failed")))
        return Constraint::ForeignKey;
    return Constraint::None;
}

bool SqliteDialect::tooComplex(const QSqlError &error) const
{
    const QString engineText = error.databaseText();
    return engineText.contains(QLatin1String("parser stack overflow")) ||
           engineText.contains(QLatin1String("too many")) ||
           engineText.contains(QLatin1String("too big")) ||
           engineText.contains(QLatin1String("too large"));
}

bool SqliteDialect::isDatabaseFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

QString SqliteDialect::readOnlyOptions(bool immutable)
{
    return immutable ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI")
                     : QStringLiteral("QSQLITE_OPEN_READONLY");
}

QString SqliteDialect::immutableName(const QString &path)
{
    return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()) +
           QStringLiteral("?immutable=1");
}

QString SqliteDialect::buildJournal()
{
    return QStringLiteral("PRAGMA journal_mode = DELETE");
}

QString SqliteDialect::noWaitOptions()
{
    return QStringLiteral("QSQLITE_BUSY_TIMEOUT=0");
}

QStringList SqliteDialect::takeWholeFile()
{
    return {QStringLiteral("PRAGMA locking_mode = EXCLUSIVE"), QStringLiteral("BEGIN EXCLUSIVE")};
}

QString SqliteDialect::finalJournal()
{
    return QStringLiteral("PRAGMA journal_mode = WAL");
}

QString SqliteDialect::checkpoint()
{
    return QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)");
}

// Built in one allocation: a request quotes every column of its provider.
QString SqliteDialect::quoteIdentifier(const QString &name) const
{
    QString q;
    q.reserve(name.size() + 2);
    q += u'"';
    if (name.contains(u'"'))
        q += QString(name).replace(QLatin1Char('"'), QLatin1String("\"\""));
    else
        q += name;
    q += u'"';
    return q;
}

QVariant SqliteDialect::toStorage(const FieldDef &field, const QVariant &value) const
{
    if (!value.isValid())
        return QVariant();
    switch (field.type) {
    case FieldType::Date:
        return value.toDate().toString(kDate);
    case FieldType::Time:
        return value.toTime().toString(kTime);
    case FieldType::DateTime:
        return value.toDateTime().toString(kDateTime);
    case FieldType::Boolean:
        return value.toBool() ? 1 : 0;
    default:
        return value;
    }
}

QVariant SqliteDialect::fromStorage(const FieldDef &field, const QVariant &stored) const
{
    if (stored.isNull())
        return QVariant();
    switch (field.type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo:
        return stored.typeId() == QMetaType::QString ? stored : QVariant(stored.toString());
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
        return stored.toInt();
    case FieldType::LargeInt:
        return stored.toLongLong();
    case FieldType::Boolean:
        return stored.toLongLong() != 0;
    case FieldType::Float:
    case FieldType::BCD:
        return stored.toDouble();
    case FieldType::Currency:
        return std::round(stored.toDouble() * 10000.0) / 10000.0;
    case FieldType::Date: {
        const QString s = stored.toString();
        return QDate::fromString(s.left(10), kDate);
    }
    case FieldType::Time: {
        const QString s = stored.toString();
        QTime t = QTime::fromString(s, kTime);
        return t.isValid() ? t : QTime::fromString(s, QStringLiteral("HH:mm:ss"));
    }
    case FieldType::DateTime: {
        const QString s = stored.toString();
        QDateTime dt = QDateTime::fromString(s, kDateTime);
        if (!dt.isValid())
            dt = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!dt.isValid())
            dt = QDate::fromString(s.left(10), kDate).startOfDay();
        return dt;
    }
    case FieldType::Blob:
        return stored.toByteArray();
    }
    return stored;
}

namespace {

QString printCondition(const SqlDialect &dialect, Engine engine, const Provider &provider,
                       const cond::Node &node, QVariantList &params)
{
    checkNesting(node);
    Printer printer(dialect, engine, provider, params);
    return printer.print(node);
}

QString printSelect(const SqlDialect &dialect, Engine engine, const Provider &provider,
                    const cond::CommandText &command, QVariantList &params)
{
    QString sql = QStringLiteral("SELECT ");
    sql.reserve(provider.fields.size() * 20 + 200);
    for (const FieldDef &f : provider.fields) {
        if (&f != &provider.fields.front())
            sql += QLatin1String(", ");
        sql += dialect.quoteIdentifier(f.name);
    }
    sql += QLatin1String(" FROM ") + dialect.quoteIdentifier(provider.source);
    Printer printer(dialect, engine, provider, params);
    if (command.where) {
        checkNesting(*command.where);
        sql += QStringLiteral(" WHERE ") + printer.print(*command.where);
    }
    QStringList order;
    for (const cond::OrderItem &o : command.orderBy) {
        Node column;
        column.kind = NodeKind::Column;
        column.name = o.column;
        QString item = dialect.quoteIdentifier(printer.field(column).name);
        if (o.descending)
            item += QLatin1String(" DESC");
        // SQLite sorts NULL before every value.
        if (engine == Engine::Postgres)
            item += o.descending ? QLatin1String(" NULLS LAST") : QLatin1String(" NULLS FIRST");
        order << item;
    }
    // Where nothing else decides, SQLite answers in the order of the table or index it
    // reads, the same from one request to the next; PostgreSQL in the order its pages hold
    // the rows, which an update changes. The keys decide there, so a list keeps its order
    // and a TOP takes the same rows each time.
    if (engine == Engine::Postgres)
        for (const QString &key : provider.keys)
            if (const int i = provider.column(key); i >= 0)
                order << dialect.quoteIdentifier(provider.fields[i].name);
    if (!order.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + order.join(QLatin1String(", "));
    if (command.top)
        sql += QStringLiteral(" LIMIT %1").arg(*command.top);
    return sql;
}

} // namespace

QString SqliteDialect::condition(const Provider &provider, const cond::Node &node,
                                 QVariantList &params) const
{
    return printCondition(*this, Engine::Sqlite, provider, node, params);
}

QString SqliteDialect::selectStatement(const Provider &provider, const cond::CommandText &command,
                                       QVariantList &params) const
{
    return printSelect(*this, Engine::Sqlite, provider, command, params);
}

QString PostgresDialect::condition(const Provider &provider, const cond::Node &node,
                                   QVariantList &params) const
{
    return printCondition(*this, Engine::Postgres, provider, node, params);
}

QString PostgresDialect::selectStatement(const Provider &provider, const cond::CommandText &command,
                                         QVariantList &params) const
{
    return printSelect(*this, Engine::Postgres, provider, command, params);
}

} // namespace vexa::server
