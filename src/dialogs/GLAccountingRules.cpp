#include "GLAccountingRules.h"

#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataModule.h"
#include "Globals.h"

#include <vexa/Error.h>

#include <QScopeGuard>

#include <algorithm>

namespace vexa::gl {

namespace {

#define S QStringLiteral

const QString kObjType = S("ObjType");
const QString kDocType = S("DocType");
const QString kDocDesc = S("DocDesc");
const QString kDocTypeFor = S("DocTypeFor");
const QString kDocTypeAcctID = S("DocTypeAcctID");
const QString kAcctCode = S("AcctCode");
const QString kAcctName = S("AcctName");
const QString kFullName = S("FullName");

QString text(const ClientDataSet &ds, const QString &field)
{
    return ds.findField(field) ? ds.asString(field) : QString();
}

} // namespace

const QList<AccountSlot> &AccountSlots()
{
    static const QList<AccountSlot> all = {
        {S("SalAdvance"), S("客户订金负债帐户"), S("销售"), true},
        {S("SalCashDiscount"), S("折扣支出或销售成本帐"), S("销售"), true},
        {S("PurAdvance"), S("供应商订金资产帐户"), S("采购"), true},
        {S("PurCashDiscount"), S("折扣收入科目"), S("采购"), true},
        {S("RoundingAccount"), S("舍入科目"), S("总账"), true},
        {S("REDiffGain"), S("已实现的汇兑收益"), S("总账"), true},
        {S("REDiffLoss"), S("已实现的汇兑损失"), S("总账"), true},
        {S("ReconciliationDifference"), S("对帐差异"), S("总账"), false},
        {S("MBaseCost"), S("生产成本科目"), S("生产"), true},
        {S("MBaseOCost"), S("入库生产成本科目"), S("生产"), false},
    };
    return all;
}

QStringList AccountSlotGroups()
{
    QStringList groups;
    for (const AccountSlot &slot : AccountSlots())
        if (!groups.contains(slot.group))
            groups << slot.group;
    return groups;
}

QString SlotOfEditor(const QString &editorName)
{
    const QString slot = editorName.mid(2);
    const auto &all = AccountSlots();
    const bool known =
        std::any_of(all.begin(), all.end(), [&](const AccountSlot &s) { return s.field == slot; });
    return known ? slot : QString();
}

AccountChoice AccountOfRow(const ClientDataSet &accounts)
{
    return {accounts.value(S("AcctID")), text(accounts, kAcctCode), text(accounts, kAcctName),
            text(accounts, kFullName)};
}

QString AccountLookupCommand(const QString &code)
{
    QString quoted = code;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return S("TOP 1 WHERE IsNode = 1 AND Frozen = 0 AND AcctCode = '") + quoted + QLatin1Char('\'');
}

std::optional<AccountChoice> LookUpAccount(ClientDataSet &lookup, const QString &code)
{
    lookup.close();
    lookup.setProviderName(S("LX_BMListAccounting"));
    lookup.setCommandText(AccountLookupCommand(code));
    lookup.open();
    if (lookup.isEmpty())
        return std::nullopt;
    lookup.first();
    return AccountOfRow(lookup);
}

QList<std::pair<QString, QVariant>> ChoiceItems(const ClientDataSet &rows, const QString &textField,
                                                const QString &valueField)
{
    QList<std::pair<QString, QVariant>> items;
    const int text = rows.fieldIndex(textField);
    const int value = rows.fieldIndex(valueField);
    for (int r = 0; text >= 0 && value >= 0 && r < rows.recordCount(); ++r)
        items.push_back({rows.valueAt(r, text).toString(), rows.valueAt(r, value)});
    return items;
}

QVariant VoucherWordName(const ClientDataSet &words, const QVariant &numCa)
{
    const int code = words.fieldIndex(S("NumCa"));
    const int desc = words.fieldIndex(S("NumDesc"));
    for (int r = 0; code >= 0 && desc >= 0 && r < words.recordCount(); ++r)
        if (words.valueAt(r, code) == numCa)
            return words.valueAt(r, desc);
    return numCa;
}

void EditConfiguration(ClientDataSet &config)
{
    if (config.isEditing())
        return;
    const bool empty = config.isEmpty();
    const int count = config.recordCount();
    config.edit(); // appends on an empty dataset
    if (!empty)
        return;
    config.setValue(S("RowID"), count + 1);
    config.setValue(S("AutoPost"), true);
    config.setValue(S("PurAllowChangingCA"), true);
    config.setValue(S("SalAllowChangingCA"), true);
}

void SetSlotAccount(ClientDataSet &config, const QString &slot,
                    const std::optional<AccountChoice> &account)
{
    EditConfiguration(config);
    config.setValue(slot, account ? account->id : QVariant());
    config.setValue(slot + S("Code"), account ? QVariant(account->code) : QVariant());
    config.setValue(slot + S("Name"), account ? QVariant(account->fullName) : QVariant());
}

bool EnterSlotCode(ClientDataSet &config, ClientDataSet &lookup, const QString &slot,
                   const QString &typed)
{
    const QString current = config.isEmpty() ? QString() : config.asString(slot + S("Code"));
    if (typed == current)
        return false;
    if (typed.isEmpty()) {
        SetSlotAccount(config, slot, std::nullopt);
        return true;
    }
    const auto account = LookUpAccount(lookup, typed);
    if (!account)
        throw Error(InvalidAccountCodeMessage);
    SetSlotAccount(config, slot, account);
    return true;
}

const QList<ContraSource> &ContraSources()
{
    // Codes 11-21 name an account of the inventory item on each document line; 17 is unused.
    static const QList<ContraSource> sources = {
        {0, S("指定对方科目")},        {11, S("行存货资产科目")},
        {12, S("行存货暂估收货科目")}, {13, S("行存货采购在途科目")},
        {14, S("行存货委托代销科目")}, {15, S("行存货分期收款发货科目")},
        {16, S("行存货生产成本科目")}, {18, S("行存货销售成本科目")},
        {19, S("行存货销售收入科目")}, {20, S("行存货盘点损失科目")},
        {21, S("行存货盘点收益科目")},
    };
    return sources;
}

void FillContraSources(ClientDataSet &sources)
{
    sources.close();
    sources.setFieldDefs(
        {{kDocTypeFor, FieldType::Integer}, {S("DocTypeForDesc"), FieldType::String, 120}});
    sources.createDataSet();
    for (const ContraSource &s : ContraSources()) {
        sources.append();
        sources.setValue(kDocTypeFor, s.code);
        sources.setValue(S("DocTypeForDesc"), s.desc);
        sources.post();
    }
    sources.first();
}

QString ContraSourceDesc(const QVariant &code)
{
    if (!code.isValid() || code.isNull())
        return QString();
    for (const ContraSource &s : ContraSources())
        if (s.code == code.toInt())
            return s.desc;
    return QString();
}

QString KindCode(int number)
{
    return QString::number(number).rightJustified(2, QLatin1Char('0'));
}

bool CanAppendKind(int count)
{
    return count < MaxDocumentKinds;
}

void AppendKind(ClientDataSet &kinds, int count)
{
    kinds.append();
    kinds.setValue(kObjType, -1);
    kinds.setValue(kDocTypeFor, 0);
    kinds.setValue(kDocType, KindCode(count + 1));
}

bool KindDeletable(const ClientDataSet &kinds)
{
    return kinds.isActive() && !kinds.isEmpty() && kinds.asInteger(kObjType) < 1;
}

void SetContraAccount(ClientDataSet &kinds, const std::optional<AccountChoice> &account)
{
    kinds.edit();
    kinds.setValue(kDocTypeAcctID, account ? account->id : QVariant());
    kinds.setValue(kAcctCode, account ? QVariant(account->code) : QVariant());
    kinds.setValue(kAcctName, account ? QVariant(account->name) : QVariant());
}

void ChangeContraSource(ClientDataSet &kinds, const QVariant &source)
{
    kinds.edit();
    kinds.setValue(kDocTypeFor, source);
    if (source.toInt() != 0)
        SetContraAccount(kinds, std::nullopt);
}

void EnterContraCode(ClientDataSet &kinds, ClientDataSet &lookup, const QString &typed)
{
    const QString code = typed.trimmed();
    if (code.isEmpty()) {
        SetContraAccount(kinds, std::nullopt);
        return;
    }
    const auto account = LookUpAccount(lookup, code);
    if (!account)
        throw Error(InvalidAccountCodeMessage);
    SetContraAccount(kinds, account);
}

void WriteKindCell(ClientDataSet &kinds, ClientDataSet &lookup, const QString &field,
                   const QVariant &value)
{
    if (field == kDocTypeFor) {
        ChangeContraSource(kinds, value);
    } else if (field == kAcctCode) {
        if (value.toString().trimmed() != kinds.asString(kAcctCode))
            EnterContraCode(kinds, lookup, value.toString());
    } else {
        kinds.edit();
        kinds.setValue(field, value);
    }
}

QString MissingKindField(const ClientDataSet &kinds)
{
    if (kinds.asString(kDocDesc).trimmed().isEmpty())
        return kDocDesc;
    if (kinds.asInteger(kDocTypeFor) == 0 && kinds.asString(kAcctCode).trimmed().isEmpty())
        return kAcctCode;
    return QString();
}

QString RequiredMessage(const QString &caption)
{
    return S("必须输入 '") + caption + S(" '");
}

QList<int> NumberNewKinds(ClientDataSet &kinds, int objType)
{
    QList<int> numbered;
    if (!kinds.isActive())
        return numbered;
    kinds.post();
    kinds.disableControls();
    const int keep = kinds.recNo();
    auto cancelOnFailure = qScopeGuard([&kinds] {
        kinds.cancel();
        kinds.enableControls();
    });
    for (int r = 1; r <= kinds.recordCount(); ++r) {
        kinds.setRecNo(r);
        if (kinds.asInteger(kObjType) >= 1)
            continue;
        kinds.edit();
        kinds.setValue(kObjType, objType);
        kinds.setValue(kDocType, KindCode(r));
        if (kinds.asInteger(kDocTypeFor) != 0)
            SetContraAccount(kinds, std::nullopt);
        kinds.post();
        numbered << r;
    }
    cancelOnFailure.dismiss();
    if (keep > 0)
        kinds.setRecNo(keep);
    kinds.enableControls();
    return numbered;
}

void UnnumberKinds(ClientDataSet &kinds, const QList<int> &recNos)
{
    if (!kinds.isActive() || recNos.isEmpty())
        return;
    kinds.disableControls();
    const int keep = kinds.recNo();
    for (int r : recNos) {
        kinds.setRecNo(r);
        kinds.edit();
        kinds.setValue(kObjType, -1);
        kinds.post();
    }
    if (keep > 0)
        kinds.setRecNo(keep);
    kinds.enableControls();
}

void SaveInOneTransaction(const QList<ClientDataSet *> &ordered)
{
    {
        ServerTransaction transaction;
        for (ClientDataSet *ds : ordered)
            if (ds->isActive())
                ApplyChanges(*ds, false);
        transaction.Commit();
    }
    for (ClientDataSet *ds : ordered)
        if (ds->isActive())
            ds->mergeChangeLog();
}

QString SaveConfiguration(ClientDataSet &config, ClientDataSet &objTypes, ClientDataSet &into,
                          ClientDataSet &out)
{
    if (config.isEditing())
        config.post();
    if (objTypes.isEditing())
        objTypes.post();
    const QList<int> newInto = NumberNewKinds(into, InboundObjType);
    const QList<int> newOut = NumberNewKinds(out, OutboundObjType);
    try {
        SaveInOneTransaction({&config, &objTypes, &into, &out});
    } catch (const Error &e) {
        // Nothing was written; the rows stay new and deletable.
        UnnumberKinds(into, newInto);
        UnnumberKinds(out, newOut);
        return e.message();
    }
    return QString();
}

void RefreshHostDataSet(const QString &name)
{
    // The host reads the posting configuration from its own copy.
    if (DataModule *module = Globals().DataModule)
        if (ClientDataSet *shared = module->dataSet(name)) {
            shared->close();
            shared->open();
        }
}

int WholeRowsGridHeight(int rows, int maxHeight, int frameWidth, const ClientSettings &settings)
{
    const int chrome = settings.CGridHeaderHeight + settings.CGridLineWidth + 2 * frameWidth;
    const int rowHeight = std::max(1, settings.CGridDataRowHeight);
    int shown = std::max(0, rows);
    if (maxHeight > 0)
        shown = std::min(shown, std::max(0, (maxHeight - chrome) / rowHeight));
    return chrome + shown * rowHeight;
}

#undef S

} // namespace vexa::gl
