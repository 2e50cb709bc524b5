#include "AccountSetParams.h"

#include "ClientDataSet.h"
#include "DataAccess.h"

#include <vexa/Error.h>

#include <algorithm>

namespace vexa::gl {

namespace {

using S = QString;

// Edits the current row unless an edit or insert is pending already.
void ensureEditing(ClientDataSet &ds)
{
    if (ds.state() == ClientDataSet::State::Browse)
        ds.edit();
}

void setValues(ClientDataSet &ds, const QList<std::pair<const char *, QVariant>> &values)
{
    for (const auto &[name, value] : values)
        ds.setValue(QString::fromLatin1(name), value);
}

} // namespace

void PostPending(ClientDataSet &ds)
{
    if (ds.state() == ClientDataSet::State::Edit || ds.state() == ClientDataSet::State::Insert)
        ds.post();
}

void WriteField(ClientDataSet &ds, const QString &field, const QVariant &value)
{
    if (ds.state() == ClientDataSet::State::Browse) {
        if (ds.value(field) == value)
            return;
        ds.edit();
    }
    ds.setValue(field, value);
}

// ---- Fixed code lists -----------------------------------------------------------------

QList<CodeText> CodeListEntries(CodeList list)
{
    switch (list) {
    case CodeList::CostCalCase:
        return {{S("A"), S("自动存货核算")}, {S("B"), S("采购自动核算，其他手工核算")}};
    case CodeList::PartFactorCalCase:
        return {{S("J"), S("因子相加")}, {S("C"), S("因子相乘")}};
    case CodeList::PartFactorCalValus:
        return {{S("P"), S("等于包装数量")}, {S("Q"), S("等于数量")}};
    case CodeList::InvPriceFor:
        return {{S("1"), S("不取默认值")}, {S("2"), S("当前库存平均价")}, {S("3"), S("标准成本")}};
    case CodeList::SalPriceFor:
        return {{S("1"), S("不取默认值")},       {S("2"), S("按价目表及折扣定价")},
                {S("3"), S("取最近客户售价")},   {S("4"), S("取最近售价")},
                {S("5"), S("取客户存货表价格")}, {S("6"), S("取销售基础价格")}};
    case CodeList::SalCostFor:
        return {{S("1"), S("当前库存平均价")},
                {S("2"), S("最近采购成本")},
                {S("3"), S("标准采购成本")}};
    case CodeList::PurPriceFor:
        return {{S("1"), S("不取默认值")},
                {S("2"), S("最近进价")},
                {S("3"), S("标准采购成本")},
                {S("4"), S("历史最低进价")},
                {S("5"), S("取供应商存货表价格")}};
    case CodeList::QtyCalCase:
        return {{S("P"), S("辅助数量")}, {S("U"), S("每辅助数量")}};
    case CodeList::PackCalCase:
        return {{S("Q"), S("数量")}, {S("U"), S("每辅助数量")}};
    case CodeList::UMRateCase:
        return {{S("Q"), S("数量")}, {S("P"), S("辅助数量")}};
    }
    return {};
}

QString CodeListText(CodeList list, const QString &code)
{
    for (const CodeText &entry : CodeListEntries(list))
        if (entry.Code == code)
            return entry.Text;
    return QString();
}

void InsertWarehouseCostingRow(ClientDataSet &properties)
{
    properties.first();
    properties.insert();
    setValues(properties, {{"PropID", -1},
                           {"PropType", S("WHCoCase")},
                           {"PropValue", S("W")},
                           {"Remark", S("按仓库计价方式")},
                           {"FixTag", true},
                           {"SortNo", 0}});
    properties.post();
}

// ---- Display formats ------------------------------------------------------------------

DisplaySettings DisplaySettings::Read(const ClientDataSet &show)
{
    DisplaySettings d;
    d.MoneyLength = int(show.asInteger(S("MoneyLength")));
    d.QuantitiesLength = int(show.asInteger(S("QuantitiesLength")));
    d.RatesLength = int(show.asInteger(S("RatesLength")));
    d.PercentLength = int(show.asInteger(S("PercentLength")));
    d.RadixPoint = show.asString(S("RadixPoint"));
    d.Kilocharacter = show.asString(S("Kilocharacter"));
    d.ShowCurrCode = show.asBoolean(S("ShowCurrCode"));
    d.ShowCurrSymbol = show.asBoolean(S("ShowCurrSymbol"));
    d.PZNumCaLen = int(show.asInteger(S("PZNumCaLen")));
    return d;
}

QString FractionPattern(int decimals)
{
    const int zeros = std::max(decimals, 0);
    return QString(zeros, QLatin1Char('0')) + QString(std::max(6 - zeros, 0), QLatin1Char('#'));
}

namespace {

// K + "0" + R + fraction: one half of a format.
QString numberHalf(const DisplaySettings &d, int decimals)
{
    return d.Kilocharacter + QLatin1Char('0') + d.RadixPoint + FractionPattern(decimals);
}

} // namespace

QString NumberFormat(const DisplaySettings &display, int decimals)
{
    const QString half = numberHalf(display, decimals);
    return half + S(";-") + half;
}

QString RatesFormat(const DisplaySettings &display)
{
    return NumberFormat(display, display.RatesLength);
}

QString QuantitiesFormat(const DisplaySettings &display)
{
    return NumberFormat(display, display.QuantitiesLength);
}

QString PercentFormat(const DisplaySettings &display)
{
    const QString half = numberHalf(display, display.PercentLength) + QLatin1Char('%');
    return half + S(";-") + half;
}

QString CurrencyFormat(const DisplaySettings &display, const QString &currCode,
                       const QString &symbol, int deciDigit)
{
    const QString half = numberHalf(display, std::min(deciDigit, display.MoneyLength));
    if (display.ShowCurrCode) {
        const QString suffix = QLatin1Char(' ') + currCode;
        return half + suffix + S(";-") + half + suffix;
    }
    if (display.ShowCurrSymbol)
        return symbol + half + QLatin1Char(';') + symbol + QLatin1Char('-') + half;
    return half + S(";-") + half;
}

QString BaseCurrencyFirstFormat(bool showCurrCode, const QString &currCode)
{
    if (!showCurrCode)
        return S(",0.00####;-,0.00####");
    return S(",0.00####") + currCode + S(";-,0.00####") + currCode;
}

QString VoucherNumberFormat(int fillLength)
{
    return S("[N:") + QString(std::max(fillLength, 0), QLatin1Char('X')) + QLatin1Char(']');
}

void ApplyInfoFormats(ClientDataSet &info, const DisplaySettings &display)
{
    ensureEditing(info);
    info.setValue(S("RatesFormat"), RatesFormat(display));
    info.setValue(S("QuantitiesFormat"), QuantitiesFormat(display));
    info.setValue(S("PercentFormat"), PercentFormat(display));
}

void ApplyCurrencyFormats(ClientDataSet &currencies, const DisplaySettings &display)
{
    for (currencies.first(); !currencies.eof(); currencies.next()) {
        currencies.edit();
        currencies.setValue(S("FormatStr"),
                            CurrencyFormat(display, currencies.asString(S("CurrCode")),
                                           currencies.asString(S("Symbol")),
                                           int(currencies.asInteger(S("DeciDigit")))));
        currencies.post();
    }
}

void ApplyVoucherNumberFormat(ClientDataSet &docNums, int fillLength)
{
    const QString format = VoucherNumberFormat(fillLength);
    for (docNums.first(); !docNums.eof(); docNums.next()) {
        docNums.edit();
        docNums.setValue(S("NumFormat"), format);
        docNums.post();
    }
}

// ---- Default rows of a new account set ------------------------------------------------

void AppendNewInfoRow(ClientDataSet &info, const QString &firstTemplateCode,
                      const QDate &serverDate)
{
    info.append();
    setValues(info, {{"DefID", 1},
                     {"SysCur", S("RMB")},
                     {"CurrName", S("人民币")},
                     {"StopAutoPost", false},
                     {"CostCalCase", S("B")},
                     {"BackupDate", serverDate},
                     {"CaptionPartCode", S("存货编码")},
                     {"CaptionPartDesc", S("存货描述")},
                     {"CaptionPartName", S("存货")},
                     {"PartFixcolCount", 0},
                     {"PartPropCount", 0},
                     {"PartFactorCount", 0},
                     {"PartFactorCalCase", S("J")},
                     {"PartFactorCalValus", S("Q")},
                     {"TagInfo", S("0000000000")},
                     {"PriceFor", S("1")},
                     {"Quantities", 3},
                     {"Rates", 4},
                     {"Percentv", 2},
                     {"QuantitiesFormat", S(",0.######;-,0.######")},
                     {"RatesFormat", S(",0.00####;-,0.00####")},
                     {"PercentFormat", S(",0.######%;-,0.######%")},
                     {"ReDocnum", true},
                     {"InitialAudit", false},
                     {"IncludeAcctCode", false},
                     {"RatifierLimit", true},
                     {"GLStartPeriodID", 0},
                     {"GLNowPeriodID", 0},
                     {"CashierStartPeriodID", 0},
                     {"CashierNowPeriodID", 0},
                     {"InvStartPeriodID", 0},
                     {"InvNowPeriodID", 0}});
    if (!firstTemplateCode.isEmpty())
        info.setValue(S("AcctTempDesc"), firstTemplateCode);
}

void AppendNewDisplayRow(ClientDataSet &show)
{
    const DisplaySettings d;
    show.append();
    setValues(show, {{"ValueID", 1},
                     {"MoneyLength", d.MoneyLength},
                     {"QuantitiesLength", d.QuantitiesLength},
                     {"RatesLength", d.RatesLength},
                     {"PercentLength", d.PercentLength},
                     {"RadixPoint", d.RadixPoint},
                     {"Kilocharacter", d.Kilocharacter},
                     {"ShowCurrCode", d.ShowCurrCode},
                     {"ShowCurrSymbol", d.ShowCurrSymbol},
                     {"PZNumCaLen", d.PZNumCaLen}});
    show.post();
}

void AppendNewPurchaseRow(ClientDataSet &pur)
{
    pur.append();
    setValues(pur, {{"ValueID", 1},
                    {"InvoiceTag", false},
                    {"ReceiptTag", false},
                    {"OrderTag", false},
                    {"PreInvoice", false},
                    {"DefInto", true},
                    {"AutoRefdoc", true},
                    {"CYFFL", true},
                    {"PurMXL", true},
                    {"YEToAdvance", true},
                    {"AutoChargeOff", true},
                    {"ImmStocks", true},
                    {"ReReceipt", true}});
    pur.post();
}

void AppendNewSalesRow(ClientDataSet &sal)
{
    sal.append();
    setValues(sal, {{"ValueID", 1},
                    {"CommitmentLimit", false},
                    {"CreditLimit", true},
                    {"DiscPrcntLimit", true},
                    {"ConsiderDlv", false},
                    {"InvoiceTag", true},
                    {"DeliveryTag", true},
                    {"OrderTag", true},
                    {"QuotationTag", true},
                    {"PreInvoice", false},
                    {"DefOut", true},
                    {"OGTag", false},
                    {"AutoRefdoc", true},
                    {"CYSFL", true},
                    {"SalMXL", true},
                    {"YEToAdvance", true},
                    {"AutoChargeOff", true},
                    {"ImmStocks", true}});
    sal.post();
}

void AppendNewInventoryRow(ClientDataSet &part)
{
    part.append();
    part.setValue(S("ValueID"), 1);
    part.post();
}

void AppendNewCurrencyRow(ClientDataSet &currencies, const QString &code, const QString &name)
{
    currencies.append();
    setValues(currencies, {{"CurrCode", code},
                           {"CurrName", name},
                           {"RndMthd", S("N")},
                           {"DeciDigit", 2},
                           {"Amt", S("分")},
                           {"FixPrcnt", 1},
                           {"LastPrcnt", 1},
                           {"AdjustTag", false},
                           {"Active", true}});
    currencies.post();
}

// ---- Records opened by key ------------------------------------------------------------

std::unique_ptr<ClientDataSet> OpenAddressRecord(qlonglong addressID)
{
    auto address = ProviderDataSet(S("LX_DMAddress"), S("WHERE AddressID = %1").arg(addressID));
    if (address->isEmpty()) {
        address->append();
        if (addressID > 0)
            address->setValue(S("AddressID"), addressID);
    }
    return address;
}

std::unique_ptr<ClientDataSet> OpenPartAcctConfig(const QVariant &partAcctID)
{
    const qlonglong key = partAcctID.isNull() ? 0 : partAcctID.toLongLong();
    auto config =
        ProviderDataSet(S("LX_BMListPartAcctConfig"), S("WHERE PartAcctID = %1").arg(key));
    if (config->isEmpty()) {
        config->append();
        config->setValue(S("PartAcctID"), key);
        config->post();
    }
    return config;
}

std::unique_ptr<ClientDataSet> OpenEntryCheckLists()
{
    auto lists = ProviderDataSet(S("LX_FINBaseACheckItem"), S("WHERE 1=1 ORDER BY ACheckID"));
    EnsureCustomCheckListRow(*lists);
    lists->first();
    return lists;
}

void EnsureCustomCheckListRow(ClientDataSet &checkLists)
{
    if (checkLists.locate(S("ACheckID"), QVariant(0)))
        return;
    // Kept out of the change log: the list is a lookup and must never write this row.
    const bool pending = checkLists.changeCount() > 0;
    checkLists.first();
    checkLists.insert();
    checkLists.setValue(S("ACheckID"), 0);
    checkLists.setValue(S("ACheckCode"), S("自定义"));
    checkLists.post();
    if (!pending)
        checkLists.mergeChangeLog();
}

int ReadLastVoucherPeriodID()
{
    auto vouchers = ProviderDataSet(S("LX_FINDocVoucherPost"),
                                    S("TOP 1 WHERE 1=1 ORDER BY DocDate DESC, PeriodID DESC"));
    return vouchers->isEmpty() ? 0 : vouchers->value(S("PeriodID")).toInt();
}

QString EntryPropertyFlags(const QString &tagInfo)
{
    return tagInfo.isEmpty() ? S("0000000000") : tagInfo;
}

// ---- Option records -------------------------------------------------------------------

QList<FieldDef> OptionFieldDefs()
{
    return {FieldDef{S("VerNo"), FieldType::String, 32},
            FieldDef{S("BooleanStr"), FieldType::String, OptionFlagCount}};
}

DataPacket NewOptionPacket()
{
    DataPacket packet;
    packet.fields = OptionFieldDefs();
    packet.rows.push_back({OptionVersion, QString(OptionFlagCount, QLatin1Char('0'))});
    return packet;
}

const QList<FinanceFlagDef> &FinanceFlagDefs()
{
    static const QList<FinanceFlagDef> defs = {
        {1, S("账簿余额方式与科目设置的余额方向相同"), true, false},
        {2, S("明细账（表）摘要自动继承上条分录摘要"), true, false},
        {3, S("不允许跨财务年度反结账"), false, false},
        {4, S("审核人与制单人不可以为同一人"), false, false},
        {5, S("提取记帐凭证分录描述时包含科目代码与辅助核算项代码"), false, true},
        {6, S("编辑凭证时提示资金及往来科目赤字"), false, true},
        {7, S("禁止成批审核"), false, false},
        {8, S("允许修改/删除他人填制的凭证"), true, true},
        {9, S("凭证登帐前必须审核"), false, false},
        {10, S("凭证登帐前必须出纳签字"), false, false},
        {11, S("凭证审核后不允许出纳签字"), false, false},
        {12, S("不允许手工修改凭证号"), false, false},
        {13, S("录入凭证时必须输入现金流量项目"), false, false},
        {14, S("录入凭证时必须指定现金流量附表项目"), false, false},
        {15, S("银行存款科目必须输入结算信息"), false, false},
        {16, S("自动填补凭证断号"), true, false},
        {17, S("多栏账损益类科目期初余额从余额表取数"), true, false},
        {18, S("多栏账成本类科目期初余额从余额表取数"), true, false},
        {19, S("不允许修改/删除业务系统凭证"), false, false},
        {20, S("  启用往来业务核算"), true, false},
        {21, S("凭证序号按期间重新生成"), false, true},
        {51, S("与总账对账期末余额不相等时不许结账"), false, false},
        {52, S("允许从总账引入日记账"), false, true},
    };
    return defs;
}

namespace {

bool isFinanceFlag(int position)
{
    const auto &defs = FinanceFlagDefs();
    return std::any_of(defs.begin(), defs.end(),
                       [position](const FinanceFlagDef &d) { return d.Position == position; });
}

} // namespace

FinanceFlags FinanceFlags::NewAccountSetDefaults()
{
    FinanceFlags flags;
    for (const FinanceFlagDef &d : FinanceFlagDefs())
        flags.set(d.Position, d.NewDefault);
    return flags;
}

FinanceFlags FinanceFlags::FromBooleanStr(const QString &booleanStr)
{
    FinanceFlags flags;
    for (const FinanceFlagDef &d : FinanceFlagDefs())
        flags.set(d.Position, d.Position <= booleanStr.size() &&
                                  booleanStr.at(d.Position - 1) == QLatin1Char('1'));
    return flags;
}

FinanceFlags FinanceFlags::ForDialog(const QString &booleanStr, bool optionsStored, bool enabled)
{
    if (!optionsStored)
        return NewAccountSetDefaults();
    FinanceFlags flags = FromBooleanStr(booleanStr);
    if (!enabled)
        flags.set(IncludeAcctCode, true);
    return flags;
}

bool FinanceFlags::test(int position) const
{
    return position >= 1 && position <= FinanceFlagLength && m_bits.test(position - 1);
}

void FinanceFlags::set(int position, bool on)
{
    if (isFinanceFlag(position))
        m_bits.set(position - 1, on);
}

QString FinanceFlags::toBooleanStr() const
{
    QString text(FinanceFlagLength, QLatin1Char('0'));
    for (int i = 0; i < FinanceFlagLength; ++i)
        if (m_bits.test(i))
            text[i] = QLatin1Char('1');
    return text;
}

QString OptionRecords::FieldName(Kind kind)
{
    static const char *const names[Count] = {"ComOption", "FinOption", "PurOption",
                                             "SalOption", "InvOption", "MftOption"};
    return QString::fromLatin1(names[kind]);
}

OptionRecords::OptionRecords()
{
    for (auto &record : m_records)
        record = std::make_unique<ClientDataSet>();
}

OptionRecords::~OptionRecords() = default;

bool OptionRecords::Load(const ClientDataSet &info)
{
    const bool stored = !info.asString(FieldName(Com)).isEmpty();
    for (int k = 0; k < Count; ++k) {
        // A set may hold some option fields and not others: a missing one starts new.
        const QString text = stored ? info.asString(FieldName(Kind(k))) : QString();
        if (text.isEmpty())
            m_records[k]->setData(NewOptionPacket());
        else
            m_records[k]->loadFromText(text);
    }
    return stored;
}

QString OptionRecords::BooleanStr(Kind kind) const
{
    ClientDataSet &ds = record(kind);
    if (!ds.isActive() || ds.isEmpty())
        return QString();
    ds.first();
    return ds.asString(S("BooleanStr"));
}

void OptionRecords::Save(ClientDataSet &info, const FinanceFlags &flags)
{
    ClientDataSet &fin = record(Fin);
    if (!fin.isActive())
        throw Error(S("财务选项记录未打开，无法保存财务选项。"));
    if (fin.isEmpty()) {
        fin.append();
        fin.setValue(S("VerNo"), OptionVersion);
    } else {
        fin.first();
        fin.edit();
    }
    fin.setValue(S("BooleanStr"), flags.toBooleanStr());
    fin.post();

    ensureEditing(info);
    info.setValue(S("RatifierLimit"), flags.test(FinanceFlags::RatifierLimit));
    info.setValue(S("IncludeAcctCode"), flags.test(FinanceFlags::IncludeAcctCode));
    for (int k = 0; k < Count; ++k)
        info.setValue(FieldName(Kind(k)), m_records[k]->saveToText());
}

// ---- Part-custom record ---------------------------------------------------------------

QList<FieldDef> PartCustomFieldDefs()
{
    QList<FieldDef> fields;
    for (int i = 0; i < EntryPropertyCount; ++i)
        fields << FieldDef{S("DefProp%1").arg(i), FieldType::String, 64};
    for (int i = 0; i < EntryPropertyCount; ++i)
        fields << FieldDef{S("Factor%1").arg(i), FieldType::String, 64};
    for (int i = 0; i < EntryPropertyCount; ++i)
        fields << FieldDef{S("CheckID%1").arg(i), FieldType::Integer};
    for (int i = 1; i <= PartPropertyCount; ++i)
        fields << FieldDef{S("PartProp%1").arg(i), FieldType::String};
    return fields;
}

DataPacket DefaultPartCustomPacket()
{
    DataPacket packet;
    packet.fields = PartCustomFieldDefs();
    QVariantList row;
    for (int i = 0; i < EntryPropertyCount; ++i)
        row << S("属性 %1").arg(i);
    for (int i = 0; i < EntryPropertyCount; ++i)
        row << S("因子 %1").arg(i);
    for (int i = 0; i < EntryPropertyCount; ++i)
        row << QVariant(0);
    for (int i = 1; i <= PartPropertyCount; ++i)
        row << S("存货属性 %1").arg(i);
    packet.rows.push_back(row);
    return packet;
}

void LoadPartCustom(ClientDataSet &partCustom, const QString &stored)
{
    DataPacket packet = DefaultPartCustomPacket();
    if (!stored.trimmed().isEmpty()) {
        const DataPacket old = readDataPacket(stored);
        if (!old.rows.empty()) {
            QVariantList &row = packet.rows.front();
            for (int f = 0; f < old.fields.size(); ++f) {
                const int here = indexOfField(packet.fields, old.fields.at(f).name);
                if (here >= 0)
                    row[here] = coerceToField(packet.fields.at(here), old.rows.front().at(f));
            }
        }
    }
    partCustom.setData(packet);
    partCustom.first();
}

QString SavePartCustom(ClientDataSet &partCustom)
{
    if (partCustom.state() == ClientDataSet::State::Edit ||
        partCustom.state() == ClientDataSet::State::Insert)
        partCustom.post();
    return partCustom.saveToText();
}

} // namespace vexa::gl
