#include "StorageErrors.h"

#include "SqliteStatement.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>
#include <cerrno>
#include <sqlite3.h>

namespace vexa::server {

QString readOnlyText()
{
    return QStringLiteral("账套是只读的，不能保存更改。");
}

QString diskFullText()
{
    return QStringLiteral("磁盘已满，更改没有保存。请腾出磁盘空间后再试。");
}

QString damagedText(const QString &path)
{
    return QStringLiteral("账套文件“%1”已损坏，请用备份恢复账套。").arg(path);
}

namespace {

// PostgreSQL answers a five-character SQLSTATE; SQLite's codes have at most four digits.
QString sqlState(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code.size() == 5 ? code : QString();
}

bool pageDamage(const QString &state)
{
    return state == u"XX001" || state == u"XX002";
}

int primaryCode(const QSqlError &error)
{
    if (!sqlState(error).isEmpty())
        return -1;
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    return numeric ? code : -1;
}

} // namespace

bool isDamage(const QSqlError &error)
{
    return primaryCode(error) == SQLITE_CORRUPT || pageDamage(sqlState(error));
}

QString storageProblem(const QSqlError &error, const QSqlDriver *driver)
{
    if (const QString state = sqlState(error); !state.isEmpty()) {
        if (state == u"25006") // a read-only transaction
            return readOnlyText();
        if (state == u"53100")
            return diskFullText();
        if (pageDamage(state))
            return QStringLiteral("账套数据库已损坏，请用备份恢复账套。");
        return {};
    }
    switch (primaryCode(error)) {
    case SQLITE_READONLY:
        return readOnlyText();
    case SQLITE_FULL:
        return diskFullText();
    case SQLITE_CORRUPT:
        return QStringLiteral("账套文件已损坏，请用备份恢复账套。");
    case SQLITE_IOERR:
        // A write that ran out of space part-way can surface as an I/O error.
        if (sqlite3 *db = sqliteHandle(driver); db && sqlite3_system_errno(db) == ENOSPC)
            return diskFullText();
        return {};
    default:
        return {};
    }
}

QString databaseErrorText(const QSqlError &error, const QSqlDriver *driver)
{
    if (QString problem = storageProblem(error, driver); !problem.isEmpty())
        return problem;
    const int code = primaryCode(error);
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    // PostgreSQL: the write lock did not come within lock_timeout (55P03), or a deadlock.
    const QString state = sqlState(error);
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED || state == u"55P03" || state == u"40P01" ||
        text.contains(QLatin1String("database is locked")))
        return QStringLiteral("其他用户正在保存数据，等候超时，请稍后再试。");
    return text;
}

} // namespace vexa::server
