#include "SqliteStatement.h"

#include <QByteArray>
#include <QDateTime>
#include <QSqlDriver>
#include <sqlite3.h>

namespace vexa::server {

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    return sqliteHandle(db.driver());
}

sqlite3 *sqliteHandle(const QSqlDriver *driver)
{
    if (!driver)
        return nullptr;
    const QVariant v = driver->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(v.constData());
}

SqliteStatement::SqliteStatement(sqlite3 *db, const QString &sql) : m_db(db)
{
    const int rc =
        sqlite3_prepare16_v2(db, sql.utf16(), int(sql.size() * sizeof(char16_t)), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        m_error = engineError(sqlite3_extended_errcode(db));
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_stmt);
}

// The error as Qt's driver reports a failed step: the engine's text and its (extended)
// result code, which StorageErrors and the dialect read.
QSqlError SqliteStatement::engineError(int code) const
{
    return QSqlError(QStringLiteral("Unable to fetch row"),
                     QString::fromUtf16(static_cast<const char16_t *>(sqlite3_errmsg16(m_db))),
                     QSqlError::StatementError, QString::number(code));
}

namespace {

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

} // namespace

int bindSqliteValue(sqlite3_stmt *s, int i, const QVariant &v)
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

bool SqliteStatement::exec(const std::vector<QVariant> &values)
{
    if (!m_stmt)
        return false;
    // Texts and blobs are bound without a copy: values outlives the step.
    sqlite3_clear_bindings(m_stmt);
    const int count = sqlite3_bind_parameter_count(m_stmt);
    if (int(values.size()) != count) {
        m_error = QSqlError(QStringLiteral("Parameter count mismatch"), QString(),
                            QSqlError::StatementError);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (const int rc = bindSqliteValue(m_stmt, i + 1, values[size_t(i)]); rc != SQLITE_OK) {
            m_error = engineError(rc);
            return false;
        }
    }
    const int rc = sqlite3_step(m_stmt);
    const bool ok = rc == SQLITE_DONE || rc == SQLITE_ROW;
    if (!ok)
        m_error = engineError(sqlite3_extended_errcode(m_db));
    sqlite3_reset(m_stmt);
    return ok;
}

} // namespace vexa::server
