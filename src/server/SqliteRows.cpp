#include "SqliteRows.h"

#include "SqlDialect.h"

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

// A null text, blob, date or time is bound as NULL, as Qt's driver does.
bool boundAsNull(const QVariant &v)
{
    if (v.isNull())
        return true;
    switch (v.typeId()) {
    case QMetaType::QString:
        return static_cast<const QString *>(v.constData())->isNull();
    case QMetaType::QByteArray:
        return static_cast<const QByteArray *>(v.constData())->isNull();
    case QMetaType::QDateTime:
        return !v.toDateTime().isValid();
    case QMetaType::QDate:
        return !v.toDate().isValid();
    case QMetaType::QTime:
        return !v.toTime().isValid();
    default:
        return false;
    }
}

int bindText(sqlite3_stmt *s, int i, const QString &text)
{
    return sqlite3_bind_text16(s, i, text.constData(), int(text.size() * sizeof(QChar)),
                               SQLITE_TRANSIENT);
}

// Each value as Qt's SQLite driver binds it.
int bind(sqlite3_stmt *s, int i, const QVariant &v)
{
    if (boundAsNull(v))
        return sqlite3_bind_null(s, i);
    switch (v.typeId()) {
    case QMetaType::QByteArray: {
        const auto *bytes = static_cast<const QByteArray *>(v.constData());
        return sqlite3_bind_blob(s, i, bytes->constData(), int(bytes->size()), SQLITE_STATIC);
    }
    case QMetaType::Int:
    case QMetaType::Bool:
        return sqlite3_bind_int(s, i, v.toInt());
    case QMetaType::Double:
        return sqlite3_bind_double(s, i, v.toDouble());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(s, i, v.toLongLong());
    case QMetaType::QDateTime:
        return bindText(s, i, v.toDateTime().toString(Qt::ISODateWithMs));
    case QMetaType::QTime:
        return bindText(s, i, v.toTime().toString(QStringLiteral("hh:mm:ss.zzz")));
    case QMetaType::QString: {
        const auto *text = static_cast<const QString *>(v.constData());
        return sqlite3_bind_text16(s, i, text->constData(), int(text->size() * sizeof(QChar)),
                                   SQLITE_STATIC);
    }
    default:
        return bindText(s, i, v.toString());
    }
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

sqlite3 *sqliteHandleOf(const QSqlDatabase &db)
{
    const QSqlDriver *driver = db.driver();
    if (!driver)
        return nullptr;
    const QVariant v = driver->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(v.constData());
}

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
        rc = bind(s, i + 1, params[i]);
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
