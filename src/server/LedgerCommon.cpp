#include "LedgerCommon.h"

#include "AppServer.h"
#include "DataPacket.h"
#include "FieldDef.h"
#include "StorageErrors.h"

#include <vexa/Error.h>

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

namespace vexa::server {

namespace {

Error queryFailed(const QSqlQuery &q, const QString &what)
{
    return Error(QStringLiteral("%1：%2").arg(what, databaseErrorText(q.lastError(), q.driver())));
}

// Finance flags of a set whose options were never saved (the configuration's defaults).
constexpr int kDefaultOnFlags[] = {5, 6, 8, 21, 52};

LedgerPeriod readPeriod(QSqlQuery &q)
{
    LedgerPeriod p;
    if (!q.next())
        return p;
    p.periodId = q.value(0).toInt();
    p.year = q.value(1).toInt();
    p.number = q.value(2).toInt();
    p.from = QDate::fromString(q.value(3).toString(), Qt::ISODate);
    p.to = QDate::fromString(q.value(4).toString(), Qt::ISODate);
    p.active =
        q.value(5).toString().trimmed().compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0;
    p.closed = q.value(6).toInt() != 0;
    return p;
}

const QString kPeriodColumns =
    QStringLiteral("SELECT PeriodID, Year, No, PostingFrom, PostingTo, Active, GLPost "
                   "FROM FINPostingPeriods ");

} // namespace

void writeOperationLog(QSqlDatabase db, const SessionInfo &session, const LogEntry &entry)
{
    QSqlQuery q(db);
    const QString what = QStringLiteral("无法写入操作日志");
    if (!q.exec(QStringLiteral("SELECT COALESCE(MAX(LogID), 0) + 1 FROM OperationLog")) ||
        !q.next())
        throw queryFailed(q, what);
    const qint64 id = q.value(0).toLongLong();
    q.finish();
    if (!q.prepare(QStringLiteral(
            "INSERT INTO OperationLog (LogID, LogTime, UserID, UserName, Machine, Action, "
            "ObjType, ObjKey, Detail) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        throw queryFailed(q, what);
    q.addBindValue(id);
    q.addBindValue(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
    q.addBindValue(session.userId);
    q.addBindValue(session.userName);
    q.addBindValue(session.machine);
    q.addBindValue(entry.action);
    q.addBindValue(entry.objType);
    q.addBindValue(entry.objKey);
    q.addBindValue(entry.detail);
    if (!q.exec())
        throw queryFailed(q, what);
}

void requireRight(QSqlDatabase db, const SessionInfo &session, int objType, const QString &what)
{
    if (session.userId.isEmpty())
        throw Error(QStringLiteral("尚未登录，不能%1。").arg(what));
    QSqlQuery q(db);
    // Read now: a right taken away after the login counts at once.
    q.prepare(QStringLiteral(
        "SELECT u.Manager, (SELECT MIN(r.RightValue) FROM SysCheckRight r "
        "WHERE r.UserGroup = u.UserGroup AND r.ObjType = ? AND r.RightValue IN (1, 3)) "
        "FROM SysUser u WHERE u.UserID = ? AND (u.Active IS NULL OR u.Active <> 0)"));
    q.addBindValue(objType);
    q.addBindValue(session.userId);
    if (!q.exec())
        throw queryFailed(q, QStringLiteral("无法读取权限"));
    if (q.next() && (q.value(0).toInt() != 0 || !q.value(1).isNull()))
        return;
    throw Error(QStringLiteral("没有“%1”的权限，请找系统管理员。").arg(what));
}

bool financeFlag(QSqlDatabase db, int position)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT FinOption FROM SysInitInfo")))
        throw queryFailed(q, QStringLiteral("无法读取账套参数"));
    QString text;
    if (q.next())
        text = q.value(0).toString();
    if (text.trimmed().isEmpty())
        return std::find(std::begin(kDefaultOnFlags), std::end(kDefaultOnFlags), position) !=
               std::end(kDefaultOnFlags);
    const DataPacket packet = readDataPacket(text);
    const int column = indexOfField(packet.fields, QStringLiteral("BooleanStr"));
    if (column < 0 || packet.rows.empty())
        return false;
    const QString flags = packet.rows.front().value(column).toString();
    return position >= 1 && position <= flags.size() && flags.at(position - 1) == u'1';
}

LedgerPeriod periodOfDate(QSqlDatabase db, const QDate &date)
{
    QSqlQuery q(db);
    q.prepare(kPeriodColumns + QStringLiteral("WHERE PostingFrom <= ? AND PostingTo >= ? "
                                              "ORDER BY PeriodID"));
    const QString day = date.toString(Qt::ISODate);
    q.addBindValue(day);
    q.addBindValue(day);
    if (!q.exec())
        throw queryFailed(q, QStringLiteral("无法读取会计期间"));
    return readPeriod(q);
}

LedgerPeriod periodById(QSqlDatabase db, int periodId)
{
    QSqlQuery q(db);
    q.prepare(kPeriodColumns + QStringLiteral("WHERE PeriodID = ?"));
    q.addBindValue(periodId);
    if (!q.exec())
        throw queryFailed(q, QStringLiteral("无法读取会计期间"));
    return readPeriod(q);
}

int ledgerStartPeriod(QSqlDatabase db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT GLStartPeriodID FROM SysInitInfo")))
        throw queryFailed(q, QStringLiteral("无法读取账套参数"));
    return q.next() ? q.value(0).toInt() : 0;
}

LedgerPeriod requireOpenPeriod(QSqlDatabase db, const QDate &date)
{
    if (!date.isValid())
        throw Error(QStringLiteral("凭证日期无效。"));
    const LedgerPeriod p = periodOfDate(db, date);
    const QString day = date.toString(QStringLiteral("yyyy年M月d日"));
    if (p.periodId == 0)
        throw Error(QStringLiteral("%1不在任何会计期间内。").arg(day));
    const int start = ledgerStartPeriod(db);
    if (start == 0)
        throw Error(QStringLiteral("账套还没有指定财务系统启用会计期间，不能录入凭证。"));
    if (p.periodId < start)
        throw Error(QStringLiteral("%1在财务系统启用期间之前，不能录入凭证。").arg(day));
    if (!p.active)
        throw Error(QStringLiteral("%1所在的会计期间%2年第%3期已冻结。")
                        .arg(day)
                        .arg(p.year)
                        .arg(p.number));
    if (p.closed)
        throw Error(QStringLiteral("%1所在的会计期间%2年第%3期已结账，不能再录入或记账。")
                        .arg(day)
                        .arg(p.year)
                        .arg(p.number));
    return p;
}

QSqlQuery ledgerQuery(QSqlDatabase db, const QString &sql, const QVariantList &binds)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw Error(databaseErrorText(q.lastError(), q.driver()));
    for (const QVariant &v : binds)
        q.addBindValue(v);
    if (!q.exec())
        throw Error(databaseErrorText(q.lastError(), q.driver()));
    return q;
}

} // namespace vexa::server
