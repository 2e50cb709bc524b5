#include "AccountSetConfig.h"

#include "AccountTemplate.h"
#include "DataAccess.h"
#include "DataModule.h"
#include "Globals.h"
#include "SessionContext.h"

#include <vexa/Error.h>

#include <QHash>
#include <QScopeGuard>

namespace vexa::gl {

namespace {

using S = QString;

std::unique_ptr<ClientDataSet> openOrCreate(const char *provider, void (*create)(ClientDataSet &))
{
    auto ds = ProviderDataSet(QString::fromLatin1(provider), S("WHERE 1=1"));
    if (ds->isEmpty())
        create(*ds);
    return ds;
}

void ensureEditing(ClientDataSet &ds)
{
    if (ds.state() == ClientDataSet::State::Browse)
        ds.edit();
}

QString quoted(QString text)
{
    return S("'") + text.replace(QLatin1Char('\''), S("''")) + S("'");
}

bool blank(const ClientDataSet &ds, const char *field)
{
    return ds.asString(QString::fromLatin1(field)).trimmed().isEmpty();
}

int intValue(const ClientDataSet &ds, const char *field)
{
    return int(ds.asInteger(QString::fromLatin1(field)));
}

// Makes target hold exactly rows, matched by key: changed rows are modified in place, so a
// period that vouchers refer to is never deleted and inserted again.
void replaceRows(ClientDataSet &target, const DataPacket &rows, const QString &key)
{
    int keyColumn = -1;
    QList<std::pair<int, int>> shared; // packet column, target field
    for (int c = 0; c < rows.fields.size(); ++c) {
        const int f = target.fieldIndex(rows.fields[c].name);
        if (f < 0)
            continue;
        shared.append({c, f});
        if (rows.fields[c].name == key)
            keyColumn = c;
    }
    if (keyColumn < 0)
        throw Error(S("会计期间数据缺少字段“%1”。").arg(key));

    QHash<qlonglong, const QVariantList *> wanted;
    for (const QVariantList &row : rows.rows)
        wanted.insert(row.value(keyColumn).toLongLong(), &row);
    // Without its index while merging: a row whose index fields change would otherwise
    // move past the cursor, be skipped and come back as a new row.
    const QString index = target.indexFieldNames();
    target.setIndexFieldNames(QString());
    const auto reindex = qScopeGuard([&] { target.setIndexFieldNames(index); });
    QList<qlonglong> gone;
    for (target.first(); !target.eof(); target.next()) {
        const qlonglong id = target.asInteger(key);
        const QVariantList *row = wanted.value(id);
        if (!row) {
            gone.append(id);
            continue;
        }
        wanted.remove(id);
        bool changed = false;
        for (const auto &[c, f] : shared)
            changed = changed || target.value(f) != row->value(c);
        if (changed) {
            target.edit();
            for (const auto &[c, f] : shared)
                target.setValue(f, row->value(c));
            target.post();
        }
    }
    for (qlonglong id : gone)
        if (target.locate(key, id))
            target.deleteRecord();
    for (const QVariantList &row : rows.rows) {
        if (!wanted.contains(row.value(keyColumn).toLongLong()))
            continue;
        target.append();
        for (const auto &[c, f] : shared)
            target.setValue(f, row.value(c));
        target.post();
    }
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const auto blank = [](const QVariant &v) {
        return !v.isValid() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
    };
    return a == b || (blank(a) && blank(b));
}

// Whether one of the fields the delta changes needs a new login: every field of an
// inserted or deleted row, the fields whose value differs on a modified row.
bool deltaNeedsNewLogin(const QString &provider, const DeltaPacket &delta)
{
    for (const DeltaRow &row : delta.rows)
        for (int c = 0; c < int(delta.fields.size()); ++c) {
            if (row.kind == DeltaRow::Kind::Modify &&
                sameValue(row.values.value(c), row.original.value(c)))
                continue;
            if (ChangeNeedsNewLogin(provider, delta.fields[c].name))
                return true;
        }
    return false;
}

} // namespace

bool ChangeNeedsNewLogin(const QString &provider, const QString &field)
{
    static const QStringList wholeRecords = {S("LX_FINPostingPeriods"), S("LX_DMCurrency"),
                                             S("LX_InitShowValue"), S("LX_DMDocNum"),
                                             S("LX_InitSalValue")};
    // Fields of the information record, by what holds them: the base currency, the chart,
    // the calendar and its start periods, enabling, the part captions, the number formats.
    static const QStringList sessionInfo =
        S("SysCur CurrName AcctTempDesc "
          "StartYear YearPeriods GLStartPeriodID GLNowPeriodID GLStartPeriodName "
          "GLNowPeriodName CashierStartPeriodID CashierNowPeriodID CSPeriodName CCPeriodName "
          "InvStartPeriodID InvNowPeriodID KBPeriodName KCPeriodName "
          "InitialAudit "
          "CaptionPartCode CaptionPartDesc CaptionPartName "
          "Quantities Rates Percentv QuantitiesFormat RatesFormat PercentFormat")
            .split(QLatin1Char(' '));
    if (wholeRecords.contains(provider, Qt::CaseInsensitive))
        return true;
    return provider.compare(S("LX_SysInitInfo"), Qt::CaseInsensitive) == 0 &&
           sessionInfo.contains(field, Qt::CaseInsensitive);
}

QString ConfigSaveFailure(bool newInfo, ErrorKind kind)
{
    QString text = newInfo ? S("数据记录重复。") : S("数据已被使用，或其他用户已修改数据。");
    if (kind == ErrorKind::DuplicateKey || kind == ErrorKind::ChangedByOther)
        text += S("其他用户已先保存了账套参数，请关闭后重新打开。");
    return text;
}

QString FixedSettingQuestion(const QString &prefix, const QString &value)
{
    return prefix + QLatin1Char('"') + value + S("\"，\r\n确认后系统将不允许再次修改，是否继续？");
}

AccountSetConfig::AccountSetConfig() = default;
AccountSetConfig::~AccountSetConfig() = default;

void AccountSetConfig::Load(const QDate &serverDate)
{
    m_templates = ProviderDataSet(S("SYS_SMAcctTemp"), S("WHERE 1=1 ORDER BY AcctTempCode"));
    m_templates->first();
    const QString firstTemplate =
        m_templates->isEmpty() ? QString() : m_templates->asString(S("AcctTempCode"));
    m_info = ProviderDataSet(S("LX_SysInitInfo"), S("WHERE 1=1"));
    m_newInfo = m_info->isEmpty();
    if (m_newInfo) {
        AppendNewInfoRow(*m_info, firstTemplate, serverDate);
    } else if (blank(*m_info, "AcctTempDesc") && !firstTemplate.isEmpty()) {
        m_info->edit();
        m_info->setValue(S("AcctTempDesc"), firstTemplate);
        m_info->post();
    }
    m_entryFlags = EntryPropertyFlags(m_info->asString(S("TagInfo")));
    m_options = std::make_unique<OptionRecords>();
    m_optionsStored = m_options->Load(*m_info);
    m_partCustom = std::make_unique<ClientDataSet>();
    LoadPartCustom(*m_partCustom, m_info->asString(S("PartCustom")));
    m_storedCurrency = m_info->asString(S("SysCur"));
    m_enabledAtOpen = m_info->asBoolean(S("InitialAudit"));
    readPickers();

    m_address = OpenAddressRecord(m_info->asInteger(S("AddressID")));
    m_show = openOrCreate("LX_InitShowValue", AppendNewDisplayRow);
    m_flags = FinanceFlags::ForDialog(m_options->BooleanStr(OptionRecords::Fin), m_optionsStored,
                                      m_enabledAtOpen);

    m_yearPeriods = intValue(*m_info, "YearPeriods");
    m_startYear = intValue(*m_info, "StartYear");
    m_periods = ProviderDataSet(S("LX_FINPostingPeriods"), S("WHERE 1=1 ORDER BY PeriodID"));
    m_periods->setIndexFieldNames(S("Year;No"));
    ShowYear(m_startYear);

    m_whCosting = ProviderDataSet(S("LX_BMListProperty"),
                                  S("WHERE (PropType = 'WHCoCase') ORDER BY PropType, SortNo"));
    InsertWarehouseCostingRow(*m_whCosting);
    m_part = openOrCreate("LX_InitPartValue", AppendNewInventoryRow);
    m_partAcct = OpenPartAcctConfig(m_part->value(S("PartAcctID")));
    m_pur = openOrCreate("LX_InitPurValue", AppendNewPurchaseRow);
    m_sal = openOrCreate("LX_InitSalValue", AppendNewSalesRow);
    m_objTypes =
        ProviderDataSet(S("LX_DMObjType"), S("WHERE QtyCalTag = 1 Order By IndexNo, ObjType"));
    m_checkLists = OpenEntryCheckLists();

    m_minCounts[int(PropertyKind::Inventory)] = intValue(*m_info, "PartFixcolCount");
    m_minCounts[int(PropertyKind::Entry)] = intValue(*m_info, "PartPropCount");
    m_minCounts[int(PropertyKind::Factor)] = intValue(*m_info, "PartFactorCount");
    m_savedState = editState();
}

AccountSetConfig::EditState AccountSetConfig::editState() const
{
    EditState state;
    for (const ClientDataSet *record : editedRecords()) {
        if (!record->isActive())
            continue;
        state.rows.append(record->data());
        if (record->isEditing()) {
            QVariantList values;
            for (int f = 0; f < record->fieldCount(); ++f)
                values.append(record->value(f));
            state.pending.append(values);
        }
    }
    state.flags = m_flags.toBooleanStr();
    state.entryFlags = m_entryFlags;
    if (m_chosenTypes && m_chosenTypes->isActive())
        state.chosenTypes = m_chosenTypes->data();
    return state;
}

bool AccountSetConfig::Modified() const
{
    return !(editState() == m_savedState);
}

void AccountSetConfig::readPickers()
{
    m_glPicker = m_info->asInteger(S("GLStartPeriodID")) == 0;
    m_cashierPicker = m_info->asInteger(S("CashierStartPeriodID")) == 0;
    m_businessPicker = m_info->asInteger(S("InvStartPeriodID")) == 0;
}

int AccountSetConfig::MinimumCount(PropertyKind kind) const
{
    return m_minCounts[int(kind)];
}

bool AccountSetConfig::CostCalCaseEditable() const
{
    return CurrencyEditable() || m_info->asString(S("CostCalCase")) == S("A");
}

bool AccountSetConfig::ChoosesAccountTypes() const
{
    return IndustryEditable() && m_customChart;
}

void AccountSetConfig::IndustryChosen()
{
    m_customChart = m_info->asString(S("AcctTempDesc")) == CustomChartTemplate;
}

bool AccountSetConfig::CanRegeneratePeriods() const
{
    // A saved table is numbered from 1: its structure is fixed.
    const bool filtered = m_periods->isFiltered();
    m_periods->setFiltered(false);
    m_periods->first();
    const bool numbered = !m_periods->isEmpty() && m_periods->asInteger(S("PeriodID")) == 1;
    m_periods->setFiltered(filtered);
    return m_glPicker && !numbered;
}

void AccountSetConfig::ShowYear(int year)
{
    m_periods->setFilter(S("Year = %1").arg(year));
    m_periods->setFiltered(true);
    m_periods->first();
}

int AccountSetConfig::TakePeriods(const DataPacket &periods, int startYear, int yearPeriods,
                                  int keepYear)
{
    m_startYear = startYear;
    m_yearPeriods = yearPeriods;
    ensureEditing(*m_info);
    m_info->setValue(S("StartYear"), startYear);
    m_info->setValue(S("YearPeriods"), yearPeriods);

    m_periods->setFiltered(false);
    replaceRows(*m_periods, periods, S("PeriodID"));
    followStartPeriods();
    const bool kept = keepYear != 0 && m_periods->locate(S("Year"), keepYear);
    const int shown = kept ? keepYear : startYear;
    ShowYear(shown);
    if (m_info->asInteger(S("GLStartPeriodID")) == 0 && !m_periods->isEmpty())
        SetGLStart(intValue(*m_periods, "PeriodID"), m_periods->asString(S("PeriodName")));
    return shown;
}

void AccountSetConfig::followStartPeriods()
{
    // A start keeps its PeriodID, but a start-year change gives that period another year:
    // its name is read again. A start whose period is gone (a period 13 after switching to
    // 12) is cleared. Starts already stored cannot move and are left alone.
    const struct
    {
        bool open;
        const char *id, *name;
    } starts[] = {{m_glPicker, "GLStartPeriodID", "GLStartPeriodName"},
                  {m_glPicker, "GLNowPeriodID", "GLNowPeriodName"},
                  {m_cashierPicker, "CashierStartPeriodID", "CSPeriodName"},
                  {m_cashierPicker, "CashierNowPeriodID", "CCPeriodName"},
                  {m_businessPicker, "InvStartPeriodID", "KBPeriodName"},
                  {m_businessPicker, "InvNowPeriodID", "KCPeriodName"}};
    for (const auto &start : starts) {
        const QString idField = QLatin1String(start.id);
        const QString nameField = QLatin1String(start.name);
        const qlonglong id = m_info->asInteger(idField);
        if (!start.open || id == 0)
            continue;
        const bool found = m_periods->locate(S("PeriodID"), id);
        const QString name = found ? m_periods->asString(S("PeriodName")) : QString();
        if (found && m_info->asString(nameField) == name)
            continue;
        ensureEditing(*m_info);
        m_info->setValue(idField, found ? id : 0);
        m_info->setValue(nameField, name);
    }
}

void AccountSetConfig::SetGLStart(int periodId, const QString &periodName)
{
    ensureEditing(*m_info);
    m_info->setValue(S("GLStartPeriodID"), periodId);
    m_info->setValue(S("GLNowPeriodID"), periodId);
    m_info->setValue(S("GLStartPeriodName"), periodName);
    m_info->setValue(S("GLNowPeriodName"), periodName);
}

void AccountSetConfig::SetBusinessStart(int periodId, const QString &periodName, bool alsoGL)
{
    ensureEditing(*m_info);
    m_info->setValue(S("InvStartPeriodID"), periodId);
    m_info->setValue(S("InvNowPeriodID"), periodId);
    m_info->setValue(S("KBPeriodName"), periodName);
    m_info->setValue(S("KCPeriodName"), periodName);
    if (alsoGL)
        SetGLStart(periodId, periodName);
}

void AccountSetConfig::SetCashierStart(int periodId, const QString &periodName)
{
    ensureEditing(*m_info);
    m_info->setValue(S("CashierStartPeriodID"), periodId);
    m_info->setValue(S("CashierNowPeriodID"), periodId);
    m_info->setValue(S("CSPeriodName"), periodName);
    m_info->setValue(S("CCPeriodName"), periodName);
}

std::optional<ConfigProblem> AccountSetConfig::CashierPickerFilter(QString &filter) const
{
    const qlonglong glNow = m_info->asInteger(S("GLNowPeriodID"));
    if (glNow == 0)
        return ConfigProblem{S("必须首先选择财务系统启用会计期间。"), ConfigPage::Cashier, {}};
    filter = S("PeriodID >= %1").arg(glNow);
    return std::nullopt;
}

std::optional<ConfigProblem> AccountSetConfig::SetPropertyCount(PropertyKind kind, int count)
{
    static const char *const fields[] = {"PartFixcolCount", "PartPropCount", "PartFactorCount"};
    static const char *const messages[] = {"启用存货属性总数必须大于 ", "启用输入属性总数必须大于 ",
                                           "启用存货数量因子总数 "};
    const int minimum = MinimumCount(kind);
    const QString field = QString::fromLatin1(fields[int(kind)]);
    if (count < minimum)
        return ConfigProblem{QString::fromUtf8(messages[int(kind)]) + QString::number(minimum),
                             ConfigPage::Inventory, field};
    const bool wasBrowsing = m_info->state() == ClientDataSet::State::Browse;
    ensureEditing(*m_info);
    m_info->setValue(field, count);
    // A new record waits for its company name; a stored one takes the count at once.
    if (wasBrowsing)
        m_info->post();
    return std::nullopt;
}

void AccountSetConfig::SetChosenAccountTypes(const DataPacket &types)
{
    m_chosenTypes = std::make_unique<ClientDataSet>();
    m_chosenTypes->setData(types);
}

QString AccountSetConfig::AccountTypesToOffer() const
{
    if (m_chosenTypes && m_chosenTypes->isActive())
        return m_chosenTypes->saveToText();
    return ProviderDataSet(S("SYS_SMAcctTempData"),
                           S("WHERE AcctTempCode = '%1'").arg(CustomChartTemplate))
        ->asString(S("AcctTypeXMLData"));
}

void AccountSetConfig::CurrencyPlacementChosen(bool code)
{
    WriteField(*m_show, code ? S("ShowCurrSymbol") : S("ShowCurrCode"), false);
}

std::optional<ConfigProblem> AccountSetConfig::SetVoucherFill(const QString &text)
{
    if (text.trimmed().isEmpty())
        return ConfigProblem{S("必须输入凭证号填充长度。"), ConfigPage::Display, S("PZNumCaLen")};
    WriteField(*m_show, S("PZNumCaLen"), text.toInt());
    return std::nullopt;
}

std::optional<bool> AnswerQuestions(const QList<ConfigQuestion> &questions,
                                    const std::function<bool(const QString &)> &yes)
{
    bool enableNow = false;
    for (const ConfigQuestion &question : questions) {
        const bool answer = yes(question.text);
        if (question.enablesAccountSet)
            enableNow = answer;
        else if (!answer)
            return std::nullopt;
    }
    return enableNow;
}

namespace {

const char *const kAccountFields[] = {"AcctID", "AcctCode", "AcctName"};

} // namespace

std::optional<QString>
EnterAccountCode(ClientDataSet &ds, const QString &prefix, const QString &typed,
                 const std::function<const ClientDataSet &(const QString &code)> &find)
{
    const QString code = typed.trimmed();
    if (code == ds.asString(prefix + S("AcctCode")))
        return std::nullopt;
    if (code.isEmpty()) {
        for (const char *field : kAccountFields)
            WriteField(ds, prefix + QLatin1String(field), QVariant());
        return std::nullopt;
    }
    const ClientDataSet &found = find(code);
    if (found.isEmpty())
        return S("输入科目代码无效。");
    SetAccount(ds, prefix, found);
    return std::nullopt;
}

void SetAccount(ClientDataSet &ds, const QString &prefix, const ClientDataSet &account)
{
    for (const char *field : kAccountFields)
        WriteField(ds, prefix + QLatin1String(field), account.value(QLatin1String(field)));
}

std::optional<ConfigProblem> AccountSetConfig::CheckAccountTypes() const
{
    if (ChoosesAccountTypes() && (!m_chosenTypes || m_chosenTypes->isEmpty()))
        return ConfigProblem{S("必须指定账套行业性质。"), ConfigPage::Overview, S("AcctTempDesc")};
    return std::nullopt;
}

std::optional<ConfigProblem> AccountSetConfig::Validate()
{
    if (auto problem = CheckAccountTypes())
        return problem;

    // Checked before the pending edits are posted, so a new information record without a
    // company name gets this message rather than the dataset's required-field error.
    const ClientDataSet &info = *m_info;
    if (blank(info, "UseOrg"))
        return ConfigProblem{S("必须输入公司名称。"), ConfigPage::Overview, S("UseOrg")};
    if (blank(info, "SysCur"))
        return ConfigProblem{S("必须输入记账本位币代码。"), ConfigPage::Overview, S("SysCur")};
    if (blank(info, "CurrName"))
        return ConfigProblem{S("必须输入记账本位币名称。"), ConfigPage::Overview, S("CurrName")};
    if (blank(info, "AcctTempDesc"))
        return ConfigProblem{S("必须输入账套行业性质。"), ConfigPage::Overview, S("AcctTempDesc")};

    for (ClientDataSet *ds :
         {m_info.get(), m_show.get(), m_part.get(), m_partAcct.get(), m_pur.get(), m_sal.get()})
        PostPending(*ds);
    // A new address row gets its key in the save.
    if (!m_address->isNull(S("AddressID")))
        PostPending(*m_address);

    m_periods->setFiltered(false);
    const bool noPeriods = m_periods->isEmpty();
    const qlonglong gl = info.asInteger(S("GLStartPeriodID"));
    const qlonglong cashier = info.asInteger(S("CashierStartPeriodID"));
    const qlonglong business = info.asInteger(S("InvStartPeriodID"));
    const auto found = [this](qlonglong id) { return m_periods->locate(S("PeriodID"), id); };
    std::optional<ConfigProblem> problem;
    if (noPeriods)
        problem = ConfigProblem{S("必须设置会计期间。"), ConfigPage::Periods, {}};
    else if (gl == 0)
        problem = ConfigProblem{S("必须选择财务系统的启用会计期间。"), ConfigPage::Finance, {}};
    else if (!found(gl))
        problem = ConfigProblem{S("选择的财务系统启用会计期间无效。"), ConfigPage::Finance, {}};
    else if (cashier != 0 && !found(cashier))
        problem = ConfigProblem{S("选择的出纳系统启用会计期间无效。"), ConfigPage::Cashier, {}};
    else if (cashier != 0 && cashier < gl)
        problem = ConfigProblem{S("选择的出纳系统启用会计期间不可以小于财务系统启用会计期间。"),
                                ConfigPage::Cashier,
                                {}};
    else if (business != 0 && !found(business))
        problem = ConfigProblem{S("选择的业务系统启用会计期间无效。"), ConfigPage::Finance, {}};
    m_periods->setFiltered(true);
    m_periods->first();
    return problem;
}

QList<ConfigQuestion> AccountSetConfig::Questions(bool financePageShown) const
{
    const ClientDataSet &info = *m_info;
    const QString currency =
        FixedSettingQuestion(S("账套记账本位币被设置为"),
                             info.asString(S("SysCur")) + S(" - ") + info.asString(S("CurrName")));
    QList<ConfigQuestion> questions;
    if (m_businessPicker && info.asInteger(S("InvStartPeriodID")) > 0)
        questions.append({FixedSettingQuestion(S("业务系统启用会计期间被设置为"),
                                               info.asString(S("KBPeriodName")))});
    if (m_glPicker && info.asInteger(S("GLStartPeriodID")) > 0 && financePageShown) {
        questions.append({FixedSettingQuestion(S("财务系统启用会计期间被设置为"),
                                               info.asString(S("GLStartPeriodName")))});
        questions.append({currency});
        questions.append(
            {S("是否立即启用此账套（多人同时使用时，建议等账套期初数据输入完毕后再启动账套）？"),
             true});
    }
    if (m_storedCurrency.isEmpty())
        questions.append({currency});
    return questions;
}

void AccountSetConfig::renumberPeriods(int &glStart, int &cashierStart, int &businessStart)
{
    m_periods->setFiltered(false);
    int position = 0;
    for (m_periods->first(); !m_periods->eof(); m_periods->next()) {
        const int old = intValue(*m_periods, "PeriodID");
        ++position;
        if (businessStart == old)
            businessStart = position;
        if (glStart == old)
            glStart = position;
        if (cashierStart == old)
            cashierStart = position;
        if (old == position)
            continue;
        m_periods->edit();
        m_periods->setValue(S("PeriodID"), position);
        m_periods->post();
    }
}

std::unique_ptr<ClientDataSet> AccountSetConfig::currencyTable()
{
    const DisplaySettings display = DisplaySettings::Read(*m_show);
    if (!CurrencyEditable()) {
        auto all = ProviderDataSet(S("LX_DMCurrency"), S("WHERE 1=1"));
        ApplyCurrencyFormats(*all, display);
        return all;
    }
    const QString code = m_info->asString(S("SysCur"));
    const QString name = m_info->asString(S("CurrName"));
    // The entered code's own row is taken when it exists, rather than renaming the stored
    // currency onto a key that is already used.
    auto table = ProviderDataSet(
        S("LX_DMCurrency"),
        S("WHERE CurrCode = %1 OR CurrCode = %2").arg(quoted(m_storedCurrency), quoted(code)));
    const bool existing =
        table->locate(S("CurrCode"), code) ||
        (!m_storedCurrency.isEmpty() && table->locate(S("CurrCode"), m_storedCurrency));
    if (existing) {
        table->edit();
        table->setValue(S("CurrCode"), code);
        table->setValue(S("CurrName"), name);
        table->setValue(S("FixPrcnt"), 1);
        table->setValue(S("LastPrcnt"), 1);
        table->setValue(S("AdjustTag"), false);
        table->setValue(S("Active"), true);
    } else {
        AppendNewCurrencyRow(*table, code, name);
        table->edit();
    }
    table->setValue(S("FormatStr"), BaseCurrencyFirstFormat(display.ShowCurrCode, code));
    table->post();
    ApplyCurrencyFormats(*table, display);
    return table;
}

QList<ClientDataSet *> AccountSetConfig::editedRecords() const
{
    QList<ClientDataSet *> records = {
        m_info.get(), m_show.get(),     m_address.get(), m_pur.get(),      m_sal.get(),
        m_part.get(), m_partAcct.get(), m_periods.get(), m_objTypes.get(), m_partCustom.get()};
    for (int k = 0; k < OptionRecords::Count; ++k)
        records.append(&m_options->record(OptionRecords::Kind(k)));
    return records;
}

AccountSetConfig::SaveResult AccountSetConfig::Save(bool enableNow)
{
    ClientDataSet &info = *m_info;
    // Read before anything changes: a template that cannot be used fails with its own
    // message, not as a save the server refused.
    std::optional<ChartTemplate> chart;
    if (IndustryEditable() && !ChoosesAccountTypes())
        chart = ReadAccountTemplate(info.asString(S("AcctTempDesc")));

    // A save that fails leaves every record as it was before, so that trying again (with
    // other answers) is a first try: nothing renumbered, no key taken, not enabled.
    struct Saved
    {
        ClientDataSet *record;
        std::shared_ptr<const ClientDataSet::Snapshot> snapshot;
        bool filtered;
    };
    QList<Saved> before;
    for (ClientDataSet *record : editedRecords())
        before.append({record, record->snapshot(), record->isFiltered()});
    auto restoreOnFailure = qScopeGuard([&] {
        for (const Saved &saved : std::as_const(before)) {
            saved.record->restore(*saved.snapshot);
            saved.record->setFiltered(saved.filtered);
        }
    });

    const bool optionsStoredBefore = !info.asString(S("ComOption")).isEmpty();
    int gl = intValue(info, "GLStartPeriodID");
    int cashier = intValue(info, "CashierStartPeriodID");
    int business = intValue(info, "InvStartPeriodID");
    renumberPeriods(gl, cashier, business);
    if (IndustryEditable()) {
        ensureEditing(info);
        info.setValue(S("GLStartPeriodID"), gl);
        info.setValue(S("GLNowPeriodID"), gl);
        info.setValue(S("CashierStartPeriodID"), cashier);
        info.setValue(S("CashierNowPeriodID"), cashier);
        info.setValue(S("InvStartPeriodID"), business);
        info.setValue(S("InvNowPeriodID"), business);
        PostPending(info);
    }
    SaveResult result;

    try {
        auto currencies = currencyTable();
        ServerTransaction transaction;
        ensureEditing(info);
        ApplyInfoFormats(info, DisplaySettings::Read(*m_show));
        if (info.asInteger(S("AddressID")) == 0) {
            const qlonglong id = NextEntityID(S("1095"), true);
            info.setValue(S("AddressID"), id);
            ensureEditing(*m_address);
            m_address->setValue(S("AddressID"), id);
        }
        PostPending(*m_address);
        m_options->Save(info, m_flags);
        // The books run from the general-ledger start: the first date the set holds data for.
        if (!m_enabledAtOpen && m_startYear != 0 && m_periods->locate(S("PeriodID"), gl))
            info.setValue(S("BackupDate"), m_periods->value(S("PostingFrom")));
        info.setValue(S("StartYear"), m_startYear);
        info.setValue(S("YearPeriods"), m_yearPeriods);
        info.setValue(S("PartCustom"), SavePartCustom(*m_partCustom));
        info.setValue(S("TagInfo"), m_entryFlags);
        if (enableNow)
            info.setValue(S("InitialAudit"), true);
        info.post();

        ensureEditing(*m_part);
        m_part->setValue(S("PartWHCode"), QVariant());
        m_part->post();

        std::unique_ptr<ClientDataSet> docNums;
        if (VoucherFillEditable()) {
            docNums = ProviderDataSet(
                S("LX_DMDocNum"),
                S("WHERE (ObjType = 2101) or (ObjType = 2102) ORDER BY ObjType, NumCa"));
            ApplyVoucherNumberFormat(*docNums, DisplaySettings::Read(*m_show).PZNumCaLen);
        }

        if (ChoosesAccountTypes()) {
            if (m_chosenTypes)
                WriteDefaultAccountTypes(*m_chosenTypes);
        } else if (chart) {
            LoadAccountTemplate(*chart, info.asString(S("SysCur")));
        }

        QList<ClientDataSet *> applied = {currencies.get(), m_periods.get(), m_address.get(),
                                          m_show.get(),     m_part.get(),    m_partAcct.get(),
                                          m_pur.get(),      m_sal.get()};
        if (docNums)
            applied.append(docNums.get());
        applied.append(m_objTypes.get());
        applied.append(m_info.get());
        for (ClientDataSet *ds : applied) {
            PostPending(*ds);
            result.settingsChanged =
                result.settingsChanged || deltaNeedsNewLogin(ds->providerName(), ds->delta());
        }
        for (ClientDataSet *ds : applied)
            ApplyChanges(*ds, false);
        transaction.Commit();
        restoreOnFailure.dismiss();
        for (ClientDataSet *ds : applied)
            ds->mergeChangeLog();
    } catch (const Error &e) {
        if (Session().DesignModule)
            throw;
        throw Error(ConfigSaveFailure(m_newInfo, e.kind()), e.kind());
    }
    m_newInfo = false;
    m_periods->setFiltered(true);
    m_periods->first();
    readPickers();
    result.enabledNow = !m_enabledAtOpen && info.asBoolean(S("InitialAudit"));
    m_savedState = editState();
    // Everything is saved by now: a failure here must not look like a failed save.
    try {
        updateHostCopies(optionsStoredBefore);
    } catch (const Error &e) {
        result.hostCopyError = e.message();
    }
    return result;
}

void AccountSetConfig::updateHostCopies(bool optionsStoredBefore)
{
    DataModule *module = Globals().DataModule;
    if (!module)
        return;
    if (ClientDataSet *shared = module->dataSet(S("CDS_SysInitInfo")))
        shared->setData(m_info->data());
    if (optionsStoredBefore) {
        for (int k = 0; k < OptionRecords::Count; ++k) {
            const auto kind = OptionRecords::Kind(k);
            if (ClientDataSet *copy = module->dataSet(S("CDS_") + OptionRecords::FieldName(kind)))
                copy->setData(m_options->record(kind).data());
        }
    } else {
        BuildOptionDataSets(module);
    }
}

} // namespace vexa::gl
