#include "ClosingData.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataPacket.h"

namespace vexa::ledger {

namespace {

QVariant call(const char *operation, QVariantList args)
{
    return gl::CallServer(QString::fromLatin1(operation), args);
}

QVariant cell(const DataPacket &p, size_t row, const char *name)
{
    const int i = indexOfField(p.fields, QString::fromLatin1(name));
    return i < 0 ? QVariant() : p.rows[row].value(i);
}

} // namespace

QList<ClosePeriodInfo> LedgerPeriods()
{
    auto info = gl::ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QStringLiteral("WHERE 1=1"));
    const int start = info->isEmpty() ? 0 : info->value(QStringLiteral("GLStartPeriodID")).toInt();
    if (start <= 0)
        return {}; // the ledger has not started
    auto ds =
        gl::ProviderDataSet(QStringLiteral("LX_FINPostingPeriods"),
                            QStringLiteral("WHERE PeriodID >= %1 ORDER BY PeriodID").arg(start));
    QList<ClosePeriodInfo> periods;
    for (ds->first(); !ds->eof(); ds->next())
        periods.append({ds->value(QStringLiteral("PeriodID")).toInt(),
                        ds->asString(QStringLiteral("PeriodCode")).trimmed(),
                        ds->value(QStringLiteral("PostingFrom")).toDate(),
                        ds->value(QStringLiteral("PostingTo")).toDate(),
                        ds->value(QStringLiteral("GLPost")).toInt() != 0});
    return periods;
}

int OpenPeriodOf(const QList<ClosePeriodInfo> &periods)
{
    for (const ClosePeriodInfo &p : periods)
        if (!p.closed)
            return p.periodId;
    return 0;
}

int LatestClosedOf(const QList<ClosePeriodInfo> &periods)
{
    int latest = 0;
    for (const ClosePeriodInfo &p : periods)
        if (p.closed)
            latest = p.periodId;
    return latest;
}

QList<CloseProblem> CloseCheck(int periodId)
{
    const DataPacket p = readDataPacket(call("CloseCheck", {periodId}).toString());
    QList<CloseProblem> problems;
    for (size_t i = 0; i < p.rows.size(); ++i)
        problems.append({cell(p, i, "Problem").toString(), cell(p, i, "Count").toInt()});
    return problems;
}

int ClosePeriod(int periodId)
{
    return call("ClosePeriod", {periodId}).toInt();
}

int ReopenPeriod(int periodId)
{
    return call("ReopenPeriod", {periodId}).toInt();
}

ClosingAccountsInfo ClosingAccounts()
{
    const DataPacket p = readDataPacket(call("ClosingAccounts", {}).toString());
    ClosingAccountsInfo a;
    if (p.rows.empty())
        return a;
    a.profitId = cell(p, 0, "ProfitAcctID").toInt();
    a.distId = cell(p, 0, "DistAcctID").toInt();
    if (a.profitId)
        a.profitText = QStringLiteral("%1 %2").arg(cell(p, 0, "ProfitAcctCode").toString(),
                                                   cell(p, 0, "ProfitAcctName").toString());
    if (a.distId)
        a.distText = QStringLiteral("%1 %2").arg(cell(p, 0, "DistAcctCode").toString(),
                                                 cell(p, 0, "DistAcctName").toString());
    a.stored = cell(p, 0, "Stored").toBool();
    return a;
}

void SetClosingAccounts(int profitId, int distId)
{
    call("SetClosingAccounts", {profitId, distId});
}

QList<CarryLine> CarryForwardPreview(int periodId)
{
    const DataPacket p = readDataPacket(call("CarryForwardPreview", {periodId}).toString());
    QList<CarryLine> lines;
    for (size_t i = 0; i < p.rows.size(); ++i)
        lines.append({cell(p, i, "Kind").toInt(), cell(p, i, "AcctCode").toString(),
                      cell(p, i, "AcctName").toString(), cell(p, i, "DacvID").toInt(),
                      cell(p, i, "Debit").toLongLong(), cell(p, i, "Credit").toLongLong()});
    return lines;
}

CarryResult CarryForwardProfit(int periodId, const QDate &date)
{
    const DataPacket p = readDataPacket(call("CarryForwardProfit", {periodId, date}).toString());
    CarryResult r;
    if (p.rows.empty())
        return r;
    r.docEntry = cell(p, 0, "DocEntry").toInt();
    r.numCa = cell(p, 0, "NumCa").toString();
    r.docNum = cell(p, 0, "DocNum").toInt();
    r.kind = cell(p, 0, "Kind").toInt();
    return r;
}

} // namespace vexa::ledger
