#include "AccountTemplate.h"

#include "DataAccess.h"

#include <vexa/Error.h>

#include <QSet>

#include <algorithm>

namespace vexa::gl {

namespace {

using S = QString;

void executeBatch(const QString &statement)
{
    QVariantList args{statement};
    CallServer(S("ExecuteBatch"), args);
}

// The template's row; a code the server does not know is an error, not an empty chart.
std::unique_ptr<ClientDataSet> templateRecord(const QString &templateCode)
{
    // The code comes from the template list; a quote in it stays inside the literal.
    QString quoted = templateCode;
    quoted.replace(QLatin1Char('\''), S("''"));
    auto record =
        ProviderDataSet(S("SYS_SMAcctTempData"), S("WHERE AcctTempCode = '%1'").arg(quoted));
    if (record->isEmpty())
        throw Error(S("行业科目模板“%1”不存在。").arg(templateCode));
    return record;
}

// The packet in one field of the template row; an empty field is an empty packet.
DataPacket payload(const ClientDataSet &record, const QString &field)
{
    const QString text = record.asString(field);
    if (text.isEmpty())
        return {};
    try {
        return readDataPacket(text);
    } catch (const Error &e) {
        throw Error(S("行业科目模板的“%1”数据无法读取：%2").arg(field, e.message()));
    }
}

// Deletes a table's rows on the server and opens the target empty.
std::unique_ptr<ClientDataSet> replaceTarget(const QString &provider, const QString &table)
{
    executeBatch(S("DELETE ") + table);
    return ProviderDataSet(provider, S("WHERE 1=1"));
}

void copyRows(const QString &provider, const QString &table, const DataPacket &rows)
{
    auto target = replaceTarget(provider, table);
    AppendSharedRows(*target, rows);
    ApplyChanges(*target, false);
}

bool nullToFalse(const ClientDataSet &ds, int field)
{
    const QVariant v = ds.value(field);
    if (!v.isValid())
        return false;
    FieldDef as = ds.fieldDefs()[field];
    as.type = FieldType::Boolean;
    return coerceToField(as, v).toBool();
}

// The (payload column, target field) pairs of the fields the two share by name.
QList<std::pair<int, int>> sharedFields(const ClientDataSet &target, const DataPacket &payload)
{
    QList<std::pair<int, int>> shared;
    for (int c = 0; c < payload.fields.size(); ++c) {
        const int f = target.fieldIndex(payload.fields[c].name);
        if (f >= 0)
            shared.append({c, f});
    }
    return shared;
}

} // namespace

void AppendSharedRows(ClientDataSet &target, const DataPacket &payload)
{
    const auto shared = sharedFields(target, payload);
    for (const QVariantList &row : payload.rows) {
        target.append();
        for (const auto &[c, f] : shared)
            target.setValue(f, row.value(c));
        target.post();
    }
}

void AppendTemplateAccounts(ClientDataSet &accounts, const DataPacket &payload,
                            const QString &sysCur, AccountAdaptation adaptation)
{
    // Income, expense and cost-of-sales types are control accounts by balance side.
    static const QSet<QString> controlTypes{S("SY"), S("SR"), S("SRFY"), S("ZCH")};
    const bool full = adaptation == AccountAdaptation::Full;
    // Names are matched as the shared-field copy matches them, ignoring letter case.
    const int typeColumn = indexOfField(payload.fields, S("AcctTypeCode"));
    const int dcColumn = indexOfField(payload.fields, S("DC"));

    // Every position is looked up once: a chart may have thousands of accounts.
    const auto shared = sharedFields(accounts, payload);
    auto at = [&accounts](const char *name) {
        const QString field = QString::fromLatin1(name);
        accounts.field(field); // throws, naming the field, when the dataset lacks it
        return accounts.fieldIndex(field);
    };
    const int currCode = at("CurrCode"), isControl = at("IsControl"), isNode = at("IsNode"),
              inFull = at("InFull"), controlType = at("ControlType");
    struct Adapted
    {
        int adjustRate, acItemDesc, comeAndGoCheck, isCostRules, acItemId;
        int nullToFalse[8];
    };
    Adapted adapted{};
    if (full) {
        adapted = {at("AdjustRate"),
                   at("ACItemDesc"),
                   at("ComeAndGoCheck"),
                   at("IsCostRules"),
                   at("ACItemID"),
                   {at("ACurrAcct"), at("QtyEnter"), at("IsEquivalent"), at("Budget"), at("Frozen"),
                    at("Fixed"), at("DeleteTag"), inFull}};
    }

    for (const QVariantList &row : payload.rows) {
        accounts.append();
        for (const auto &[c, f] : shared)
            accounts.setValue(f, row.value(c));
        accounts.setValue(currCode, sysCur);
        accounts.setValue(isControl, false);
        if (full) {
            if (nullToFalse(accounts, isNode))
                accounts.setValue(inFull, true);
            accounts.setValue(adapted.adjustRate, false);
            for (const int field : adapted.nullToFalse)
                accounts.setValue(field, nullToFalse(accounts, field));
            accounts.setValue(adapted.acItemDesc, QVariant());
            accounts.setValue(adapted.comeAndGoCheck, false);
            accounts.setValue(adapted.isCostRules, false);
            accounts.setValue(adapted.acItemId, 0);
        }
        const QString type = typeColumn >= 0 ? row.value(typeColumn).toString() : QString();
        if (controlTypes.contains(type)) {
            const QString dc = dcColumn >= 0 ? row.value(dcColumn).toString() : QString();
            accounts.setValue(controlType, dc == S("C") ? 1 : 2);
        }
        accounts.post();
    }
}

namespace {

// The report tables in the order they are replaced, with their providers.
const std::pair<const char *, const char *> kReportTables[] = {
    {"LX_FINGLReportTemplet", "T0200096"},
    {"LX_FINGLReportTempletItem", "T0200097"},
    {"LX_FINGLReportTempletForAcctDef", "T0200098"},
    {"LX_FINGLReportTempletForSUM", "T0200099"}};

} // namespace

ChartTemplate ReadAccountTemplate(const QString &templateCode)
{
    const auto record = templateRecord(templateCode);
    ChartTemplate chart;
    chart.accounts = payload(*record, S("AcctXMLData"));
    if (chart.accounts.isEmpty())
        return chart;
    chart.accountTypes = payload(*record, S("AcctTypeXMLData"));
    if (!record->asString(S("T0200096")).isEmpty())
        for (const auto &[provider, table] : kReportTables)
            chart.reports.push_back(payload(*record, QString::fromLatin1(table)));
    chart.checkLevels = payload(*record, S("T0102053"));
    if (!chart.checkLevels.isEmpty())
        chart.checkItems = payload(*record, S("T0102055"));
    return chart;
}

void LoadAccountTemplate(const ChartTemplate &chart, const QString &sysCur)
{
    if (chart.accounts.isEmpty())
        return;

    auto accounts = replaceTarget(S("LX_DMAccounting"), S("T0102010"));
    AppendTemplateAccounts(*accounts, chart.accounts, sysCur, AccountAdaptation::Full);
    ApplyChanges(*accounts, false);

    // Without types in the template the stored ones stay: an account set needs some.
    if (!chart.accountTypes.isEmpty())
        copyRows(S("LX_DMAccttype"), S("T0102011"), chart.accountTypes);

    for (size_t i = 0; i < chart.reports.size(); ++i)
        copyRows(QString::fromLatin1(kReportTables[i].first),
                 QString::fromLatin1(kReportTables[i].second), chart.reports[i]);
    // Report lines follow the new chart by account code, whether or not they were replaced.
    executeBatch(S("UPDATE T0200098 SET AcctID = NULL WHERE ItemAcctCode NOT IN "
                   "(SELECT AcctCode FROM T0102010)"));
    executeBatch(S("UPDATE T0200098 SET AcctID = T0102010.AcctID FROM T0102010 "
                   "WHERE T0200098.ItemAcctCode = T0102010.AcctCode "));

    // Only check list 0 comes from the template; the account set's own lists stay.
    if (!chart.checkLevels.isEmpty()) {
        for (const char *statement :
             {"DELETE T0102057 WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID = 0)",
              "DELETE T0102056 WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID = 0)",
              "DELETE T0102055 WHERE ACheckID = 0", "DELETE T0102053 WHERE ACheckID = 0"})
            executeBatch(QString::fromLatin1(statement));
        auto levels = ProviderDataSet(S("LX_FINBaseACheckLevels"), S("WHERE -1=1"));
        AppendSharedRows(*levels, chart.checkLevels);
        ApplyChanges(*levels, false);
        auto items = ProviderDataSet(S("LX_FINBaseACheckItem"), S("WHERE -1=1"));
        AppendSharedRows(*items, chart.checkItems);
        ApplyChanges(*items, false);
    }
}

void LoadAccountTemplate(const QString &templateCode, const QString &sysCur)
{
    LoadAccountTemplate(ReadAccountTemplate(templateCode), sysCur);
}

void WriteDefaultAccountTypes(const ClientDataSet &chosen)
{
    auto types = ProviderDataSet(S("LX_DMAccttype"), S("WHERE 1=1 ORDER BY AcctType"));
    // Numbered on from the row count (1, 2, 3 on an empty table); past the largest number
    // when stored types leave a gap, so a new type never takes a used key.
    qlonglong largest = 0;
    for (types->first(); !types->eof(); types->next())
        largest = std::max(largest, types->asInteger(S("AcctType")));
    const DataPacket rows = chosen.data();
    DataPacket one{rows.fields, {}};
    for (const QVariantList &row : rows.rows) {
        const qlonglong number = std::max<qlonglong>(types->recordCount(), largest) + 1;
        largest = number;
        one.rows = {row};
        AppendSharedRows(*types, one);
        types->edit();
        types->setValue(S("AcctType"), number);
        types->post();
    }
    ApplyChanges(*types, false);
}

TemplatePreview BuildTemplatePreview(const QString &templateCode, const QString &sysCur)
{
    const auto record = templateRecord(templateCode);
    TemplatePreview preview;
    // Opened empty: the preview shows the template, not what the account set holds.
    preview.accounts = ProviderDataSet(S("LX_DMAccounting"), S("WHERE -1=1"));
    AppendTemplateAccounts(*preview.accounts, payload(*record, S("AcctXMLData")), sysCur,
                           AccountAdaptation::Preview);
    preview.accountTypes = ProviderDataSet(S("LX_DMAccttype"), S("WHERE -1=1"));
    AppendSharedRows(*preview.accountTypes, payload(*record, S("AcctTypeXMLData")));
    preview.accounts->first();
    preview.accountTypes->first();
    return preview;
}

} // namespace vexa::gl
