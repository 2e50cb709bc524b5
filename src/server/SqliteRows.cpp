#include "SqliteRows.h"

#include "SqlDialect.h"
#include "SqliteStatement.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <memory>
#include <sqlite3.h>

namespace vexa::server {

namespace {

struct StatementDeleter
{
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

QSqlError engineError(sqlite3 *db, const char *what, QSqlError::ErrorType type, int code)
{
    return QSqlError(QCoreApplication::translate("QSQLiteResult", what),
                     QString(reinterpret_cast<const QChar *>(sqlite3_errmsg16(db))), type,
                     QString::number(code));
}

bool isTextField(FieldType type)
{
    switch (type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo:
        return true;
    default:
        return false;
    }
}

// A text cell as Qt's driver reads it: SQLite's own UTF-16 conversion, which differs from
// Qt's only for bytes that are not UTF-8; those take the driver's way.
QString textOf(sqlite3_stmt *s, int i)
{
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(s, i));
    const int bytes = sqlite3_column_bytes(s, i);
    if (utf8 && QByteArrayView(utf8, bytes).isValidUtf8())
        return bytes ? QString::fromUtf8(utf8, bytes)
                     : QString(reinterpret_cast<const QChar *>(u""), 0); // empty, not null
    return QString(reinterpret_cast<const QChar *>(sqlite3_column_text16(s, i)),
                   sqlite3_column_bytes16(s, i) / qsizetype(sizeof(QChar)));
}

// The cell as Qt's driver hands it over (a double for REAL: the connections keep the
// default precision), for the dialect to convert.
QVariant stored(sqlite3_stmt *s, int i, int type)
{
    switch (type) {
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(s, i)),
                          sqlite3_column_bytes(s, i));
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(s, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(s, i);
    default:
        return textOf(s, i);
    }
}

// What dialect.fromStorage gives for the driver's value, the common cases without the
// round trip through a QVariant.
QVariant cell(sqlite3_stmt *s, int i, const FieldDef &field, const SqlDialect &dialect)
{
    const int type = sqlite3_column_type(s, i);
    if (type == SQLITE_NULL)
        return {};
    if (type == SQLITE_TEXT && isTextField(field.type))
        return textOf(s, i);
    if (type == SQLITE_INTEGER) {
        const qint64 n = sqlite3_column_int64(s, i);
        switch (field.type) {
        case FieldType::SmallInt:
        case FieldType::Integer:
        case FieldType::Word:
            return int(n); // what QVariant::toInt makes of a 64-bit value
        case FieldType::LargeInt:
            return qlonglong(n);
        case FieldType::Boolean:
            return n != 0;
        default:
            break;
        }
    }
    return dialect.fromStorage(field, stored(s, i, type));
}

} // namespace

bool readSqliteRows(sqlite3 *db, const QString &sql, const QVariantList &params,
                    const QList<FieldDef> &fields, const SqlDialect &dialect,
                    std::vector<QVariantList> &rows, QSqlError &error)
{
    // Qt's UTF-8 conversion is faster than SQLite's from UTF-16.
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *raw = nullptr;
    const char *tail = nullptr;
    int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size() + 1), &raw, &tail);
    Statement statement(raw);
    if (rc != SQLITE_OK) {
        error = engineError(db, "Unable to execute statement", QSqlError::StatementError, rc);
        return false;
    }
    if (tail && !QString::fromUtf8(tail).trimmed().isEmpty()) {
        error = engineError(db, "Unable to execute multiple statements at a time",
                            QSqlError::StatementError, SQLITE_MISUSE);
        return false;
    }
    sqlite3_stmt *s = statement.get();
    if (sqlite3_bind_parameter_count(s) != params.size()) {
        error = QSqlError(QCoreApplication::translate("QSQLiteResult", "Parameter count mismatch"),
                          QString(), QSqlError::StatementError);
        return false;
    }
    for (int i = 0; i < params.size(); ++i) {
        rc = bindSqliteValue(s, i + 1, params[i]);
        if (rc != SQLITE_OK) {
            error = engineError(db, "Unable to bind parameters", QSqlError::StatementError, rc);
            return false;
        }
    }

    const int n = int(fields.size());
    for (;;) {
        rc = sqlite3_step(s);
        if (rc == SQLITE_DONE)
            return true;
        if (rc != SQLITE_ROW) {
            // The generic error's details come with the reset.
            if (rc == SQLITE_ERROR || rc == SQLITE_CONSTRAINT)
                rc = sqlite3_reset(s);
            error = engineError(db, "Unable to fetch row", QSqlError::ConnectionError, rc);
            return false;
        }
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row.append(cell(s, i, fields[i], dialect));
        rows.push_back(std::move(row));
    }
}

} // namespace vexa::server
