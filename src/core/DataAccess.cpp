#include "DataAccess.h"

#include "ClientDataSet.h"
#include "Globals.h"
#include "RemoteConnection.h"

#include <vexa/PluginHost.h>

#include <cmath>

namespace vexa::gl {

namespace {

constexpr qint64 kEpochJulianDay = 2415019; // 1899-12-30

IAppServer &Server()
{
    if (!Globals().AppServer)
        throw Error(QStringLiteral("没有连接应用服务器。"));
    return *Globals().AppServer;
}

// The kind of the server's last failure; a server that does not tell it (an older one,
// or one that fails to answer) reports a general failure.
ErrorKind LastServerErrorKind()
{
    try {
        QVariantList args{QStringLiteral("Kind")};
        bool numeric = false;
        const int kind = Server().call(QStringLiteral("GetLastErrorInfo"), args).toInt(&numeric);
        if (numeric &&
            (kind == int(ErrorKind::DuplicateKey) || kind == int(ErrorKind::ChangedByOther)))
            return ErrorKind(kind);
    } catch (const Error &) {
    }
    return ErrorKind::General;
}

} // namespace

RightLevel RightFromServerValue(int rightValue)
{
    switch (rightValue) {
    case 1:
        return RightFull;
    case 2:
        return RightBrowse;
    case 3:
        return RightModify;
    default:
        return RightNone;
    }
}

double ServerDate()
{
    return HostRef().GetValue(QStringLiteral("DATE")).toDouble();
}

double ServerDateTime()
{
    return HostRef().GetValue(QStringLiteral("DateTime")).toDouble();
}

QString CurrentUserID()
{
    return HostRef().GetValue(QStringLiteral("UserID")).toString();
}

QString CurrentUserName()
{
    return HostRef().GetValue(QStringLiteral("UserName")).toString();
}

QDateTime DayNumberToDateTime(double n)
{
    const double days = std::floor(n);
    const qint64 ms = qRound64((n - days) * 86400000.0);
    return QDateTime(QDate::fromJulianDay(kEpochJulianDay + qint64(days)), QTime(0, 0))
        .addMSecs(ms);
}

QVariant CallServer(const QString &operation, QVariantList &args)
{
    return Server().call(operation, args);
}

QString LastServerError()
{
    return Server().call(QStringLiteral("GetLastErrorInfo")).toString();
}

qlonglong NextEntityID(const QString &name, bool increment)
{
    QVariantList args{name, increment ? 1 : 0};
    const qlonglong id = Server().call(QStringLiteral("GetEntityID"), args).toLongLong();
    if (id == -1)
        throw Error(LastServerError());
    return id;
}

void BeginTrans()
{
    Server().call(QStringLiteral("BeginTrans"));
}

void CommitTrans()
{
    Server().call(QStringLiteral("CommitTrans"));
}

void RollbackTrans()
{
    Server().call(QStringLiteral("RollbackTrans"));
}

void ApplyChanges(ClientDataSet &dataSet, bool mergeAfter)
{
    if (dataSet.state() == ClientDataSet::State::Edit ||
        dataSet.state() == ClientDataSet::State::Insert)
        dataSet.post();
    if (dataSet.changeCount() > 0) {
        int errors = 0;
        QVariant owner;
        Server().applyUpdates(dataSet.providerName(), dataSet.delta(), -1, errors, owner);
        if (errors != 0)
            throw Error(LastServerError(), LastServerErrorKind());
    }
    if (mergeAfter)
        dataSet.mergeChangeLog();
}

std::unique_ptr<ClientDataSet> ProviderDataSet(const QString &provider, const QString &command)
{
    auto ds = std::make_unique<ClientDataSet>();
    ds->setRemoteConnection(Globals().Connection);
    ds->setProviderName(provider);
    ds->setCommandText(command);
    ds->open();
    return ds;
}

RightLevel CheckRight(int objType)
{
    const QString group = HostRef().GetValue(QStringLiteral("UserGroup")).toString();
    const auto ds =
        ProviderDataSet(QStringLiteral("LX_SysCheckRight"),
                        QStringLiteral("WHERE UserGroup = ") + group +
                            QStringLiteral(" AND ObjType = ") + QString::number(objType));
    if (ds->isEmpty())
        return RightNone;
    ds->first();
    return RightFromServerValue(int(ds->asInteger(QStringLiteral("RightValue"))));
}

ServerTransaction::ServerTransaction()
{
    HostRef().BeginBusy();
    try {
        BeginTrans();
    } catch (...) {
        HostRef().EndBusy(false);
        throw;
    }
    m_open = true;
}

ServerTransaction::~ServerTransaction()
{
    if (!m_open)
        return;
    try {
        RollbackTrans();
    } catch (...) {
        // The rollback's own failure must not hide the error that brought us here.
    }
    if (Globals().Host)
        Globals().Host->EndBusy(false);
}

void ServerTransaction::Commit()
{
    CommitTrans();
    m_open = false;
    HostRef().EndBusy(false);
}

QString SaveFailureMessage(const QString &caught)
{
    return Session().DesignModule ? caught : QStringLiteral("数据已被使用，或其他用户已修改数据。");
}

} // namespace vexa::gl
