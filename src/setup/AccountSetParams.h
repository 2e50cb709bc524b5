#pragma once

// The parameter records of an account set as the configuration dialog reads and writes
// them: defaults of a new account set, the fixed code lists of its choices, the display
// format strings built from the number lengths, the six option records and the
// part-custom record. Plain code over client datasets, so the dialog and the tests drive
// the same functions.

#include "DataPacket.h"
#include "FieldDef.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <bitset>
#include <memory>

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

// Posts a pending edit or insert; a dataset in browse state is left alone.
void PostPending(ClientDataSet &ds);
// Writes value into field of the current row, putting a browsing row into edit only when
// the value differs.
void WriteField(ClientDataSet &ds, const QString &field, const QVariant &value);

// ---- Fixed code lists -----------------------------------------------------------------

struct CodeText
{
    QString Code;
    QString Text;
    bool operator==(const CodeText &) const = default;
};

enum class CodeList {
    CostCalCase,        // automatic cost accounting mode
    PartFactorCalCase,  // how quantity factors combine
    PartFactorCalValus, // what the factor result equals
    InvPriceFor,        // default unit price on inventory documents
    SalPriceFor,
    SalCostFor,
    PurPriceFor,
    QtyCalCase,  // recomputed when the quantity changes
    PackCalCase, // ... when the auxiliary quantity changes
    UMRateCase,  // ... when the quantity per auxiliary unit changes
};

QList<CodeText> CodeListEntries(CodeList list);
// The text of a code; empty when the list has no such code.
QString CodeListText(CodeList list, const QString &code);

// Puts the fixed "by warehouse" row in front of the warehouse costing properties
// (provider "LX_BMListProperty"); the row lives in memory only.
void InsertWarehouseCostingRow(ClientDataSet &properties);

// ---- Display formats ------------------------------------------------------------------

// The display record ("LX_InitShowValue"), with the values of a new account set.
struct DisplaySettings
{
    int MoneyLength = 2;
    int QuantitiesLength = 0;
    int RatesLength = 2;
    int PercentLength = 0;
    QString RadixPoint = QStringLiteral(".");
    QString Kilocharacter = QStringLiteral(",");
    bool ShowCurrCode = false;
    bool ShowCurrSymbol = false;
    int PZNumCaLen = 4;

    // From the current row of a display dataset (nulls read as 0, "" and false).
    static DisplaySettings Read(const ClientDataSet &show);
};

// n zeros, then "#" up to six characters (n >= 6: n zeros and no "#").
QString FractionPattern(int decimals);
// K0R<f>;-K0R<f>, the format of rates and quantities.
QString NumberFormat(const DisplaySettings &display, int decimals);
QString RatesFormat(const DisplaySettings &display);
QString QuantitiesFormat(const DisplaySettings &display);
QString PercentFormat(const DisplaySettings &display);
// FormatStr of a currency row, with min(deciDigit, MoneyLength) decimals.
QString CurrencyFormat(const DisplaySettings &display, const QString &currCode,
                       const QString &symbol, int deciDigit);
// FormatStr the base currency row gets when its code is written, before the currency
// loop rewrites it.
QString BaseCurrencyFirstFormat(bool showCurrCode, const QString &currCode);
// "[N:" + fillLength "X" + "]".
QString VoucherNumberFormat(int fillLength);

// Writes RatesFormat, QuantitiesFormat and PercentFormat into the current row of the
// information record (editing it when in browse state; the edit is left pending).
void ApplyInfoFormats(ClientDataSet &info, const DisplaySettings &display);
// Rebuilds FormatStr of every row of the currency table and posts each.
void ApplyCurrencyFormats(ClientDataSet &currencies, const DisplaySettings &display);
// Writes the voucher number format into NumFormat of every row and posts each.
void ApplyVoucherNumberFormat(ClientDataSet &docNums, int fillLength);

// ---- Default rows of a new account set ------------------------------------------------
// Each appends one row with the defaults to an open dataset and posts it (locally),
// except the information record (see there).

// Information record ("LX_SysInitInfo"); firstTemplateCode is the AcctTempCode of the
// first chart-of-accounts template ("" when there is none). Unlike the others the row is
// left in insert state: the company name is required and has no default, so it can be
// posted only once the caller has set it.
void AppendNewInfoRow(ClientDataSet &info, const QString &firstTemplateCode,
                      const QDate &serverDate);
void AppendNewDisplayRow(ClientDataSet &show);   // "LX_InitShowValue"
void AppendNewPurchaseRow(ClientDataSet &pur);   // "LX_InitPurValue"
void AppendNewSalesRow(ClientDataSet &sal);      // "LX_InitSalValue"
void AppendNewInventoryRow(ClientDataSet &part); // "LX_InitPartValue"
// A currency row created by the configuration: code and name with the fixed values of a
// new currency (the formats come from ApplyCurrencyFormats).
void AppendNewCurrencyRow(ClientDataSet &currencies, const QString &code, const QString &name);

// ---- Records opened by key ------------------------------------------------------------

// The company's address ("LX_DMAddress", "WHERE AddressID = " + addressID). When there is
// no such row an empty one is appended and, like the new information record, left in
// insert state: its key is required and is assigned on the first save. It carries
// addressID when that is above 0, so a set whose address row went missing can still save
// (the first save assigns a key only while the information record's AddressID is 0).
std::unique_ptr<ClientDataSet> OpenAddressRecord(qlonglong addressID);
// The inventory accounting configuration ("LX_BMListPartAcctConfig",
// "WHERE PartAcctID = " + partAcctID), created with that key when none. A null PartAcctID
// of the inventory record is read as 0.
std::unique_ptr<ClientDataSet> OpenPartAcctConfig(const QVariant &partAcctID);
// The check lists an entry property can be bound to ("LX_FINBaseACheckItem"), list 0
// "自定义" always among them; ordered by ACheckID.
std::unique_ptr<ClientDataSet> OpenEntryCheckLists();
// Puts list 0 "自定义" in front when the lists lack it; the row lives in memory only.
void EnsureCustomCheckListRow(ClientDataSet &checkLists);

// The period of the newest posted voucher ("LX_FINDocVoucherPost"); 0 when there is none.
int ReadLastVoucherPeriodID();

// Entry-property flags as stored in TagInfo; an empty value means all clear.
QString EntryPropertyFlags(const QString &tagInfo);

// ---- Option records -------------------------------------------------------------------

inline const QString OptionVersion = QStringLiteral("7.13.23");
constexpr int OptionFlagCount = 512;   // flags of a newly created option record
constexpr int FinanceFlagLength = 500; // length of a saved finance BooleanStr

QList<FieldDef> OptionFieldDefs();
// One row: VerNo "7.13.23", BooleanStr of 512 "0".
DataPacket NewOptionPacket();

struct FinanceFlagDef
{
    int Position; // 1-based in BooleanStr
    QString Caption;
    bool Hidden;     // stored and saved, not shown
    bool NewDefault; // checked for an account set without stored options
};
const QList<FinanceFlagDef> &FinanceFlagDefs();

// The finance flags the dialog edits. Only the listed positions are kept: a saved
// BooleanStr holds exactly these and "0" everywhere else.
class FinanceFlags
{
public:
    enum Position {
        IncludeAcctCode = 5, // mirrored into the information record
        RatifierLimit = 4,   // mirrored too
    };

    static FinanceFlags NewAccountSetDefaults();
    static FinanceFlags FromBooleanStr(const QString &booleanStr);
    // What the dialog shows: the defaults when the options were never saved; otherwise
    // the stored flags, with flag 5 forced on while the account set is not enabled.
    static FinanceFlags ForDialog(const QString &booleanStr, bool optionsStored, bool enabled);

    bool test(int position) const;
    void set(int position, bool on); // unlisted positions are ignored
    QString toBooleanStr() const;    // FinanceFlagLength characters

    bool operator==(const FinanceFlags &) const = default;

private:
    std::bitset<FinanceFlagLength> m_bits;
};

// The six option records: common, finance, purchase, sales, inventory, manufacturing.
class OptionRecords
{
public:
    enum Kind { Com, Fin, Pur, Sal, Inv, Mft };
    static constexpr int Count = 6;
    // "ComOption" ... "MftOption": the field of the information record holding it.
    static QString FieldName(Kind kind);

    OptionRecords();
    ~OptionRecords();
    OptionRecords(const OptionRecords &) = delete;
    OptionRecords &operator=(const OptionRecords &) = delete;

    ClientDataSet &record(Kind kind) const { return *m_records[kind]; }

    // From the information record's current row: the six stored records when ComOption is
    // not empty; otherwise a new option record for all six. Answers whether they were
    // stored.
    bool Load(const ClientDataSet &info);
    QString BooleanStr(Kind kind) const;

    // Rebuilds the finance BooleanStr from the flags, mirrors flags 4 and 5 into
    // RatifierLimit and IncludeAcctCode, and serializes the six records into their fields
    // of the information record's current row (edited when in browse; left pending).
    void Save(ClientDataSet &info, const FinanceFlags &flags);

private:
    std::array<std::unique_ptr<ClientDataSet>, Count> m_records;
};

// ---- Part-custom record ---------------------------------------------------------------

constexpr int EntryPropertyCount = 10; // DefProp0..9, Factor0..9, CheckID0..9
constexpr int PartPropertyCount = 20;  // PartProp1..20

QList<FieldDef> PartCustomFieldDefs();
// One row of the defaults: "属性 i", "因子 i", CheckID 0, "存货属性 i".
DataPacket DefaultPartCustomPacket();
// Builds the record in partCustom from the defaults, then lets every field of the stored
// record (PartCustom text; empty: none) whose name exists here overwrite the default.
void LoadPartCustom(ClientDataSet &partCustom, const QString &stored);
// The text saved into PartCustom; a pending edit is posted first.
QString SavePartCustom(ClientDataSet &partCustom);

} // namespace vexa::gl
