#pragma once

// The account-set configuration without its window: the records it loads, the rules that
// decide what may still be changed, the validation order of a save, the questions a save
// asks and the save itself in one server transaction. The configuration dialog binds its
// controls to these records and calls these functions; tests drive the same functions.

#include "AccountSetParams.h"
#include "ClientDataSet.h"

#include <vexa/Error.h>

#include <QDate>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace vexa::gl {

// The dialog's pages, in order.
enum class ConfigPage { Overview, Periods, Finance, Cashier, Sales, Purchase, Inventory, Display };

struct ConfigProblem
{
    QString message;
    ConfigPage page = ConfigPage::Overview;
    QString field; // the field whose control takes the focus; empty: the page only
    bool operator==(const ConfigProblem &) const = default;
};

// One question a save asks before writing anything; a No ends the save.
struct ConfigQuestion
{
    QString text;
    bool enablesAccountSet = false; // a Yes to this one makes the save enable the set
};

enum class PropertyKind { Inventory, Entry, Factor };

class AccountSetConfig
{
public:
    AccountSetConfig();
    ~AccountSetConfig();
    AccountSetConfig(const AccountSetConfig &) = delete;
    AccountSetConfig &operator=(const AccountSetConfig &) = delete;

    // Reads every record from the server, creating the missing ones with the defaults of
    // a new account set (locally; nothing is written before Save).
    void Load(const QDate &serverDate);

    ClientDataSet &Info() const { return *m_info; }
    ClientDataSet &Display() const { return *m_show; }
    ClientDataSet &Address() const { return *m_address; }
    ClientDataSet &Purchase() const { return *m_pur; }
    ClientDataSet &Sales() const { return *m_sal; }
    ClientDataSet &Inventory() const { return *m_part; }
    ClientDataSet &InventoryAccounting() const { return *m_partAcct; }
    ClientDataSet &Periods() const { return *m_periods; }
    ClientDataSet &ObjectTypes() const { return *m_objTypes; }
    ClientDataSet &WarehouseCosting() const { return *m_whCosting; }
    ClientDataSet &CheckLists() const { return *m_checkLists; }
    ClientDataSet &Templates() const { return *m_templates; }
    ClientDataSet &PartCustom() const { return *m_partCustom; }
    OptionRecords &Options() const { return *m_options; }
    FinanceFlags &Flags() { return m_flags; }

    // What was read at open.
    const QString &StoredCurrency() const { return m_storedCurrency; }
    bool EnabledAtOpen() const { return m_enabledAtOpen; }
    bool OptionsStored() const { return m_optionsStored; }
    int StartYear() const { return m_startYear; }
    int YearPeriods() const { return m_yearPeriods; }
    const QString &EntryFlags() const { return m_entryFlags; }
    void SetEntryFlags(const QString &flags) { m_entryFlags = flags; }
    int MinimumCount(PropertyKind kind) const;

    // What may still be changed: the base currency and the industry type until a
    // general-ledger start period is stored; the picker of a start period while that
    // start is not stored (both re-read after every save).
    bool CurrencyEditable() const { return m_glPicker; }
    bool IndustryEditable() const { return m_glPicker; }
    bool GLPickerVisible() const { return m_glPicker; }
    bool CashierPickerVisible() const { return m_cashierPicker; }
    bool BusinessPickerVisible() const { return m_businessPicker; }
    bool CostCalCaseEditable() const;
    bool IncludeAcctCodeEditable() const
    {
        return !Info().asBoolean(QStringLiteral("InitialAudit"));
    }
    bool VoucherFillEditable() const { return !m_enabledAtOpen; }
    // The industry type without a preset chart, chosen in this dialog: the user picks
    // account types instead of the template being loaded.
    bool ChoosesAccountTypes() const;
    // The industry type was changed by the user (AcctTempDesc holds the new code).
    void IndustryChosen();
    // The period dialog may change the structure of the calendar.
    bool CanRegeneratePeriods() const;

    // Shows one year of the period table ("Year = " + year).
    void ShowYear(int year);
    // Takes the period dialog's result back; with no general-ledger start yet, the first
    // period of the shown year becomes it. Answers the year shown.
    int TakePeriods(const DataPacket &periods, int startYear, int yearPeriods, int keepYear);

    // Start periods chosen with the picker.
    void SetGLStart(int periodId, const QString &periodName);
    void SetBusinessStart(int periodId, const QString &periodName, bool alsoGL);
    void SetCashierStart(int periodId, const QString &periodName);
    // The picker's filter for the cashier start, or a problem when there is no
    // general-ledger start to begin from.
    std::optional<ConfigProblem> CashierPickerFilter(QString &filter) const;

    // A property count typed on the inventory page; refused below the count at open.
    std::optional<ConfigProblem> SetPropertyCount(PropertyKind kind, int count);

    // The default account types chosen for the custom chart (a copy is kept).
    void SetChosenAccountTypes(const DataPacket &types);
    const ClientDataSet *ChosenAccountTypes() const { return m_chosenTypes.get(); }
    // What the account-type chooser offers (a saved packet): the choice made before, else
    // the default types of the template without a chart.
    QString AccountTypesToOffer() const;

    // The base currency shows its code or its symbol: ticking one clears the other.
    void CurrencyPlacementChosen(bool code);
    // The voucher number fill length as typed; an empty text is refused.
    std::optional<ConfigProblem> SetVoucherFill(const QString &text);

    // Checks what a save needs, in the order the user is told (industry type, company,
    // currency, period table, start periods). Posts the pending edits of the records the
    // controls edit once the required values are present.
    std::optional<ConfigProblem> Validate();
    // The first of those checks alone (the custom chart without account types): it comes
    // before everything else, even before a read-only dialog closes.
    std::optional<ConfigProblem> CheckAccountTypes() const;
    // The questions to ask, in order, before Save.
    QList<ConfigQuestion> Questions(bool financePageShown) const;

    // Something was changed since the records were read or last saved: closing now
    // would lose it.
    bool Modified() const;

    struct SaveResult
    {
        // The save changed what the running session holds from its login
        // (ChangeNeedsNewLogin): the caller asks the host to log in again.
        bool settingsChanged = false;
        bool enabledNow = false; // "账套已成功启用！"
        // Set when everything was saved but the host's copies could not be refreshed.
        QString hostCopyError;
    };
    // Renumbers the periods, writes the start periods, the formats, the options, the
    // chart of accounts and every record in one server transaction, then updates the
    // host's copies. Throws vexa::Error with the message the user is shown; nothing is
    // written then.
    SaveResult Save(bool enableNow);

private:
    // What the user can change, as values: the records' rows and pending edits, the
    // finance flags, the entry-property flags and the chosen account types.
    struct EditState
    {
        QList<DataPacket> rows;
        QList<QVariantList> pending;
        QString flags, entryFlags;
        std::optional<DataPacket> chosenTypes;
        bool operator==(const EditState &) const = default;
    };
    EditState editState() const;

    void openRecords(const QDate &serverDate);
    void readPickers();
    void followStartPeriods();
    // The records a save changes locally before the server has them.
    QList<ClientDataSet *> editedRecords() const;
    void renumberPeriods(int &glStart, int &cashierStart, int &businessStart);
    std::unique_ptr<ClientDataSet> currencyTable();
    void updateHostCopies(bool optionsStoredBefore);

    std::unique_ptr<ClientDataSet> m_info, m_show, m_address, m_pur, m_sal, m_part, m_partAcct,
        m_periods, m_objTypes, m_whCosting, m_checkLists, m_templates, m_partCustom, m_chosenTypes;
    std::unique_ptr<OptionRecords> m_options;
    FinanceFlags m_flags;
    QString m_storedCurrency;
    QString m_entryFlags;
    bool m_newInfo = false;     // the information record was created by this load
    bool m_customChart = false; // the chart-less industry type chosen by the user
    bool m_enabledAtOpen = false;
    bool m_optionsStored = false;
    bool m_glPicker = true;
    bool m_cashierPicker = true;
    bool m_businessPicker = true;
    int m_startYear = 0;
    int m_yearPeriods = 0;
    int m_minCounts[3] = {0, 0, 0};
    EditState m_savedState; // as read or last saved
};

// Asks the questions in order (yes answers one); none when a No ends the save, else
// whether to enable the set: a No to the enabling question still saves.
std::optional<bool> AnswerQuestions(const QList<ConfigQuestion> &questions,
                                    const std::function<bool(const QString &)> &yes);

// A default account typed into its code box: the fields prefix + AcctID, AcctCode and
// AcctName of the current row of ds. The code as stored does nothing, an empty one clears
// the account, a code find answers no row for is refused with the message to show and
// changes nothing. find looks up a leaf account by code.
std::optional<QString>
EnterAccountCode(ClientDataSet &ds, const QString &prefix, const QString &typed,
                 const std::function<const ClientDataSet &(const QString &code)> &find);
// The account of the current row of account (a picker's choice) into those fields.
void SetAccount(ClientDataSet &ds, const QString &prefix, const ClientDataSet &account);

// Whether a saved change of field in the rows of provider needs a new login: the running
// session holds it from its login and nothing refreshes it while it runs. That is the
// fiscal calendar (the period table, StartYear, YearPeriods), the start and current
// periods, the base currency and its rows, the chart template, enabling, the part
// captions and number formats of the information record, the number display record, the
// voucher numbering, and the sales defaults the host reads once at login. Company details,
// the options (their host copies are refreshed by the save) and the records the business
// modules read when they open do not.
bool ChangeNeedsNewLogin(const QString &provider, const QString &field);

// The message of a configuration save the server refused: the first sentence says what
// was being saved (a new information record or a changed one), a second one that another
// user saved first when the server reports a duplicate key or a row changed meanwhile.
QString ConfigSaveFailure(bool newInfo, ErrorKind kind);

// "<prefix>"<value>"，" CR LF "确认后系统将不允许再次修改，是否继续？"
QString FixedSettingQuestion(const QString &prefix, const QString &value);

} // namespace vexa::gl
