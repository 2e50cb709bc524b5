#include "LedgerData.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataPacket.h"

#include <vexa/Error.h>

#include <QHash>

namespace vexa::ledger {

namespace {

std::unique_ptr<ClientDataSet> read(const QString &provider, const QString &command)
{
    return gl::ProviderDataSet(provider, command);
}

QString entriesText(const QList<int> &entries)
{
    QStringList parts;
    for (int e : entries)
        parts << QString::number(e);
    return parts.join(u',');
}

SavedVoucher savedFrom(const QVariant &answer)
{
    const DataPacket p = readDataPacket(answer.toString());
    if (p.rows.empty())
        throw Error(QStringLiteral("服务器没有交回保存的凭证。"));
    const auto value = [&p](const char *name) {
        const int i = indexOfField(p.fields, QString::fromLatin1(name));
        return i < 0 ? QVariant() : p.rows.front().value(i);
    };
    SavedVoucher s;
    s.docEntry = value("DocEntry").toInt();
    s.numCa = value("NumCa").toString();
    s.docNum = value("DocNum").toInt();
    s.periodId = value("PeriodID").toInt();
    s.status = value("Status").toInt();
    return s;
}

QVariant call(const char *operation, QVariantList args)
{
    return gl::CallServer(QString::fromLatin1(operation), args);
}

} // namespace

QStringList VoucherWords()
{
    auto ds = read(QStringLiteral("LX_BMListNumCa"),
                   QStringLiteral("WHERE ObjType=2101 ORDER BY ObjType,SortNo,NumCa"));
    QStringList words;
    for (ds->first(); !ds->eof(); ds->next())
        words << ds->asString(QStringLiteral("NumCa")).trimmed();
    return words;
}

LedgerAccount accountOfRow(const ClientDataSet &ds)
{
    LedgerAccount a;
    a.acctId = ds.value(QStringLiteral("AcctID")).toInt();
    a.code = ds.asString(QStringLiteral("AcctCode")).trimmed();
    a.fullName = ds.asString(QStringLiteral("FullName")).trimmed();
    if (a.fullName.isEmpty())
        a.fullName = ds.asString(QStringLiteral("AcctName")).trimmed();
    a.itemList = ds.value(QStringLiteral("ACItemID")).toInt();
    a.leaf = ds.value(QStringLiteral("IsNode")).toBool();
    a.frozen = ds.value(QStringLiteral("Frozen")).toBool();
    return a;
}

QList<LedgerAccount> Accounts()
{
    auto ds = read(QStringLiteral("LX_BMListAccounting"), QStringLiteral("ORDER BY AcctCode"));
    QList<LedgerAccount> accounts;
    for (ds->first(); !ds->eof(); ds->next())
        accounts.append(accountOfRow(*ds));
    return accounts;
}

const LedgerAccount *FindAccount(const QList<LedgerAccount> &accounts, const QString &code)
{
    const QString key = code.trimmed();
    for (const LedgerAccount &a : accounts)
        if (a.code == key)
            return &a;
    return nullptr;
}

const LedgerAccount *FindAccount(const QList<LedgerAccount> &accounts, int acctId)
{
    for (const LedgerAccount &a : accounts)
        if (a.acctId == acctId)
            return &a;
    return nullptr;
}

const LedgerAccount &LineAccount(const QList<LedgerAccount> &accounts, const QString &code)
{
    const LedgerAccount *a = FindAccount(accounts, code);
    if (!a)
        throw Error(
            QStringLiteral("没有代码为“%1”的会计科目。按 F7 可以选择科目。").arg(code.trimmed()));
    if (!a->leaf)
        throw Error(QStringLiteral("科目“%1 %2”不是明细科目，请选择它的下级科目。")
                        .arg(a->code, a->fullName));
    if (a->frozen)
        throw Error(QStringLiteral("科目“%1 %2”已冻结，不能录入凭证。").arg(a->code, a->fullName));
    return *a;
}

QList<AuxItem> AuxItems(int list, bool withFrozen)
{
    auto ds = read(QStringLiteral("LX_FINBaseACheckLevels"),
                   QStringLiteral("WHERE ACheckID = %1 ORDER BY DacvCode").arg(list));
    QList<AuxItem> items;
    for (ds->first(); !ds->eof(); ds->next()) {
        // A group of items is no item; a frozen one takes no new entries.
        const QVariant node = ds->value(QStringLiteral("IsNode"));
        if ((!node.isNull() && !node.toBool()) ||
            (!withFrozen && ds->value(QStringLiteral("Frozen")).toBool()))
            continue;
        items.append({ds->value(QStringLiteral("DacvID")).toInt(),
                      ds->asString(QStringLiteral("DacvCode")).trimmed(),
                      ds->asString(QStringLiteral("DacvDesc")).trimmed()});
    }
    return items;
}

QList<LedgerPeriod> Periods()
{
    auto ds = read(QStringLiteral("LX_FINPostingPeriods"), QStringLiteral("ORDER BY PeriodID"));
    QList<LedgerPeriod> periods;
    for (ds->first(); !ds->eof(); ds->next())
        periods.append({ds->value(QStringLiteral("PeriodID")).toInt(),
                        ds->asString(QStringLiteral("PeriodCode")).trimmed(),
                        ds->value(QStringLiteral("PostingFrom")).toDate(),
                        ds->value(QStringLiteral("PostingTo")).toDate()});
    return periods;
}

LedgerPeriod PeriodOf(const QList<LedgerPeriod> &periods, const QDate &date)
{
    for (const LedgerPeriod &p : periods)
        if (p.from.isValid() && p.to.isValid() && date >= p.from && date <= p.to)
            return p;
    return {};
}

int VoucherNumberLength()
{
    auto ds = read(QStringLiteral("LX_InitShowValue"), QString());
    const int length = ds->isEmpty() ? 0 : ds->value(QStringLiteral("PZNumCaLen")).toInt();
    return qMax(1, length);
}

QString VoucherNumberText(const QString &numCa, int docNum, int length)
{
    return QStringLiteral("%1-%2").arg(numCa).arg(docNum, length, 10, QChar(u'0'));
}

VoucherDraft LoadVoucher(int docEntry)
{
    auto head = read(QStringLiteral("LX_FINDocVoucher"),
                     QStringLiteral("WHERE DocEntry = %1").arg(docEntry));
    if (head->isEmpty())
        throw Error(QStringLiteral("凭证不存在（可能已被删除）。"));
    VoucherDraft d;
    d.docEntry = docEntry;
    d.numCa = head->asString(QStringLiteral("NumCa")).trimmed();
    d.docNum = head->value(QStringLiteral("DocNum")).toInt();
    d.docDate = head->value(QStringLiteral("DocDate")).toDate();
    d.attachments = head->value(QStringLiteral("Attachments")).toInt();
    d.status = head->value(QStringLiteral("Status")).toInt();
    d.memo = head->asString(QStringLiteral("Memo"));
    d.maker = head->asString(QStringLiteral("Maker"));
    d.reviewer = head->asString(QStringLiteral("Ratifier"));
    d.cashier = head->asString(QStringLiteral("Cashier"));
    d.poster = head->asString(QStringLiteral("Poster"));
    d.reversedBy = head->value(QStringLiteral("ReversedBy")).toInt();

    QHash<int, LedgerAccount> accounts;
    for (const LedgerAccount &acct : Accounts())
        accounts.insert(acct.acctId, acct);
    QHash<int, QString> itemNames;
    auto lines = read(QStringLiteral("LX_FINDocVoucherLine"),
                      QStringLiteral("WHERE DocEntry = %1 ORDER BY LineNo").arg(docEntry));
    for (lines->first(); !lines->eof(); lines->next()) {
        VoucherLineDraft l;
        l.summary = lines->asString(QStringLiteral("Summary"));
        l.acctId = lines->value(QStringLiteral("AcctID")).toInt();
        const LedgerAccount a = accounts.value(l.acctId);
        l.acctCode = a.code;
        l.acctName = a.fullName;
        l.itemList = a.itemList;
        l.dacvId = lines->value(QStringLiteral("DacvID")).toInt();
        if (l.dacvId > 0 && l.itemList > 0 && !itemNames.contains(l.dacvId))
            for (const AuxItem &i : AuxItems(l.itemList))
                itemNames.insert(i.dacvId, i.name);
        l.dacvName = itemNames.value(l.dacvId);
        l.debit = lines->value(QStringLiteral("Debit")).toLongLong();
        l.credit = lines->value(QStringLiteral("Credit")).toLongLong();
        d.lines.append(l);
    }
    return d;
}

SavedVoucher SaveVoucher(const VoucherDraft &draft)
{
    return savedFrom(call("SaveVoucher", {draft.headerPacket(), draft.linesPacket()}));
}

void DeleteVoucher(int docEntry)
{
    call("DeleteVoucher", {docEntry});
}

void ReviewVouchers(const QList<int> &entries, bool review)
{
    call("ReviewVouchers", {entriesText(entries), review});
}

void SignVouchers(const QList<int> &entries, bool sign)
{
    call("SignVouchers", {entriesText(entries), sign});
}

int PostVouchers(int periodId, const QList<int> &entries)
{
    const DataPacket p =
        readDataPacket(call("PostVouchers", {periodId, entriesText(entries)}).toString());
    return int(p.rows.size());
}

SavedVoucher ReverseVoucher(int docEntry, const QDate &date)
{
    return savedFrom(call("ReverseVoucher", {docEntry, date}));
}

} // namespace vexa::ledger
