#include "ChartData.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataPacket.h"

#include <vexa/Error.h>

namespace vexa::ledger {

namespace {

using S = QString;

std::unique_ptr<ClientDataSet> read(const QString &provider, const QString &command)
{
    return gl::ProviderDataSet(provider, command);
}

QVariant call(const char *operation, QVariantList args)
{
    return gl::CallServer(QString::fromLatin1(operation), args);
}

FieldType typeOf(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return FieldType::Boolean;
    case QMetaType::Int:
        return FieldType::Integer;
    case QMetaType::LongLong:
        return FieldType::LargeInt;
    default:
        return FieldType::String;
    }
}

QString onePacket(const QVariantMap &fields)
{
    DataPacket p;
    QVariantList row;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        p.fields.append(FieldDef{it.key(), typeOf(it.value())});
        row.append(it.value());
    }
    p.rows.push_back(row);
    return writeDataPacket(p);
}

QVariant answerValue(const QVariant &answer, const char *field)
{
    const DataPacket p = readDataPacket(answer.toString());
    const int i = indexOfField(p.fields, QLatin1String(field));
    if (p.rows.empty() || i < 0)
        throw Error(S("服务器的回答缺少列“%1”。").arg(QLatin1String(field)));
    return p.rows.front().value(i);
}

} // namespace

QList<ChartAccount> ChartAccounts()
{
    auto ds = read(S("LX_DMAccounting"), S("WHERE 1=1 ORDER BY AcctCode"));
    QList<ChartAccount> chart;
    for (ds->first(); !ds->eof(); ds->next()) {
        ChartAccount a;
        a.id = ds->value(S("AcctID")).toLongLong();
        a.code = ds->asString(S("AcctCode")).trimmed();
        a.name = ds->asString(S("AcctName")).trimmed();
        a.parentId = ds->value(S("ParentID")).toLongLong();
        a.level = std::max(1, int(ds->value(S("Levels")).toInt()));
        a.leaf = ds->value(S("IsNode")).toBool();
        a.dc = ds->asString(S("DC")).trimmed();
        a.currCode = ds->asString(S("CurrCode")).trimmed();
        a.itemList = ds->value(S("ACItemID")).toInt();
        a.itemListName = ds->asString(S("ACItemDesc")).trimmed();
        a.frozen = ds->value(S("Frozen")).toBool();
        a.acctType = ds->value(S("AcctType")).toInt();
        chart.append(a);
    }
    return chart;
}

QList<AccountTypeInfo> AccountTypes()
{
    auto ds = read(S("LX_DMAccttype"), S("WHERE 1=1 ORDER BY AcctType"));
    QList<AccountTypeInfo> types;
    for (ds->first(); !ds->eof(); ds->next())
        types.append({int(ds->value(S("AcctType")).toInt()),
                      ds->asString(S("AcctTypeCode")).trimmed(),
                      ds->asString(S("AcctTypeDesc")).trimmed()});
    return types;
}

QList<std::pair<int, QString>> ItemLists()
{
    auto ds = read(S("LX_FINBaseACheckItem"),
                   S("WHERE ACheckID >= 1 AND ACheckID <= 5 ORDER BY ACheckID"));
    QList<std::pair<int, QString>> lists;
    for (ds->first(); !ds->eof(); ds->next())
        lists.append(
            {int(ds->value(S("ACheckID")).toInt()), ds->asString(S("ACheckDesc")).trimmed()});
    return lists;
}

QList<std::pair<QString, QString>> Currencies()
{
    auto ds = read(S("LX_DMCurrency"), S("WHERE 1=1 ORDER BY CurrCode"));
    QList<std::pair<QString, QString>> list;
    for (ds->first(); !ds->eof(); ds->next())
        list.append({ds->asString(S("CurrCode")).trimmed(), ds->asString(S("CurrName")).trimmed()});
    return list;
}

QString BaseCurrency()
{
    auto info = read(S("LX_SysInitInfo"), S("WHERE 1=1"));
    return info->isEmpty() ? QString() : info->asString(S("SysCur")).trimmed();
}

AccountUse AccountUsage(qint64 acctId)
{
    const QVariant answer = call("AccountUsage", {acctId});
    AccountUse u;
    u.openings = answerValue(answer, "HasOpenings").toBool();
    u.lines = answerValue(answer, "HasLines").toBool();
    u.balances = answerValue(answer, "HasBalances").toBool();
    u.children = answerValue(answer, "Children").toInt();
    return u;
}

qint64 AddAccount(const QVariantMap &fields, bool moveBalances)
{
    return call("AddAccount", {onePacket(fields), moveBalances}).toLongLong();
}

int ModifyAccount(qint64 acctId, const QVariantMap &fields)
{
    QVariantMap all = fields;
    all.insert(S("AcctID"), acctId);
    return call("ModifyAccount", {onePacket(all)}).toInt();
}

void DeleteAccount(qint64 acctId)
{
    call("DeleteAccount", {acctId});
}

QList<OpeningRow> OpeningRows()
{
    auto ds = read(S("LX_GLOpening"), S("WHERE 1=1"));
    QList<OpeningRow> rows;
    for (ds->first(); !ds->eof(); ds->next())
        if (ds->asString(S("CurrCode")).trimmed().isEmpty())
            rows.append(
                {ds->value(S("AcctID")).toLongLong(),
                 ds->value(S("DacvID")).toLongLong(),
                 {ds->value(S("Balance")).toLongLong(), ds->value(S("YtdDebit")).toLongLong(),
                  ds->value(S("YtdCredit")).toLongLong()}});
    return rows;
}

int SaveOpenings(const QList<OpeningRow> &rows)
{
    DataPacket p;
    p.fields = {FieldDef{S("AcctID"), FieldType::LargeInt},
                FieldDef{S("DacvID"), FieldType::LargeInt},
                FieldDef{S("CurrCode"), FieldType::String},
                FieldDef{S("Balance"), FieldType::LargeInt},
                FieldDef{S("YtdDebit"), FieldType::LargeInt},
                FieldDef{S("YtdCredit"), FieldType::LargeInt}};
    for (const OpeningRow &r : rows)
        p.rows.push_back({r.acctId, r.dacvId, S(""), r.figures.balance, r.figures.ytdDebit,
                          r.figures.ytdCredit});
    return call("SaveOpenings", {writeDataPacket(p)}).toInt();
}

OpeningTrial ServerOpeningTrial()
{
    const QVariant answer = call("OpeningTrialBalance", {});
    return {answerValue(answer, "OpeningDebit").toLongLong(),
            answerValue(answer, "OpeningCredit").toLongLong(),
            answerValue(answer, "YearDebit").toLongLong(),
            answerValue(answer, "YearCredit").toLongLong()};
}

bool AnyVoucherPosted()
{
    return !read(S("LX_FINDocVoucher"), S("TOP 1 WHERE Posted = 1"))->isEmpty();
}

bool LedgerStartsMidYear()
{
    auto info = read(S("LX_SysInitInfo"), S("WHERE 1=1"));
    const int start = info->isEmpty() ? 0 : int(info->value(S("GLStartPeriodID")).toInt());
    auto period = read(S("LX_FINPostingPeriods"), S("WHERE PeriodID = %1").arg(start));
    return !period->isEmpty() && period->value(S("No")).toInt() > 1;
}

QList<OpeningAccount> OpeningAccounts(const QList<ChartAccount> &chart)
{
    QList<OpeningAccount> accounts;
    for (const ChartAccount &a : chart)
        accounts.append({a.id, a.code, a.name, a.parentId, a.level, a.leaf,
                         a.dc == u"C" ? S("C") : S("D"), a.itemList});
    return accounts;
}

} // namespace vexa::ledger
