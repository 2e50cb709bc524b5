#pragma once

// The rules of the automatic accounting configuration that need no window: which account
// slots the configuration record has, how a typed account code is looked up, how the
// document-kind rows of other inbound and outbound stock documents are numbered and checked,
// and the save of everything in one server transaction.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <utility>

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

struct ClientSettings;

// ---- account slots of the configuration record ---------------------------------------------

// A slot X is three fields: X (the account's AcctID), X + "Code" (its AcctCode) and X + "Name"
// (its FullName).
struct AccountSlot
{
    QString field;
    QString caption;
    QString group;
    bool shown = true;
};

// Every slot in page order.
const QList<AccountSlot> &AccountSlots();
// The groups of the slots in page order.
QStringList AccountSlotGroups();
// The slot an editor stands for: its name without the first two characters ("edSalAdvance"
// stands for "SalAdvance"); empty when that is no slot.
QString SlotOfEditor(const QString &editorName);

// ---- accounts -----------------------------------------------------------------------------

struct AccountChoice
{
    QVariant id; // AcctID
    QString code;
    QString name;     // AcctName
    QString fullName; // FullName
};

// The account of the current row of a dataset of "LX_BMListAccounting"'s fields.
AccountChoice AccountOfRow(const ClientDataSet &accounts);

// The command text that finds the active leaf account of that code; a quote in the code
// stays part of it.
QString AccountLookupCommand(const QString &code);
// Looks the code up through lookup (provider set here); none when no active leaf account has
// it.
std::optional<AccountChoice> LookUpAccount(ClientDataSet &lookup, const QString &code);

inline const QString InvalidAccountCodeMessage = QStringLiteral("输入科目代码无效。");

// The choices of a drop-down over a dataset: each row's text field shown, its value field
// stored; none when the dataset lacks either field.
QList<std::pair<QString, QVariant>> ChoiceItems(const ClientDataSet &rows, const QString &textField,
                                                const QString &valueField);
// The name of a voucher word (NumDesc of the row of "LX_BMListNumCa" with that NumCa), or the
// word itself when it is not listed.
QVariant VoucherWordName(const ClientDataSet &words, const QVariant &numCa);

// ---- the configuration record -------------------------------------------------------------

// Puts the configuration record into edit mode; an empty dataset gets a new record with its
// defaults (RowID, automatic posting, changeable contra accounts).
void EditConfiguration(ClientDataSet &config);
// Fills the three fields of a slot with the account (its full name), or empties them.
void SetSlotAccount(ClientDataSet &config, const QString &slot,
                    const std::optional<AccountChoice> &account);
// A code typed for a slot: the slot's own code changes nothing (answers false), an empty one
// clears the slot, any other is looked up and fills the slot. A code of no active leaf
// account throws InvalidAccountCodeMessage; the slot keeps its account.
bool EnterSlotCode(ClientDataSet &config, ClientDataSet &lookup, const QString &slot,
                   const QString &typed);

// ---- document kinds of other inbound and outbound stock documents ------------------------

inline constexpr int InboundObjType = 3511;
inline constexpr int OutboundObjType = 3521;
inline constexpr int MaxDocumentKinds = 100;

// The contra-account sources a kind may post to, in list order.
struct ContraSource
{
    int code;
    QString desc;
};
const QList<ContraSource> &ContraSources();
// Fills a dataset with the fields DocTypeFor and DocTypeForDesc with the sources.
void FillContraSources(ClientDataSet &sources);
QString ContraSourceDesc(const QVariant &code);

// A kind's code: the number as two digits, zero-padded on the left ("07").
QString KindCode(int number);
bool CanAppendKind(int count);
// Appends an unsaved kind (ObjType -1, source 0) numbered count + 1; the row stays in insert
// mode.
void AppendKind(ClientDataSet &kinds, int count);
// Saved kinds cannot be deleted here: only a row whose ObjType is below 1.
bool KindDeletable(const ClientDataSet &kinds);
// Fills the kind's specified contra account (its short name), or empties it.
void SetContraAccount(ClientDataSet &kinds, const std::optional<AccountChoice> &account);
// A new source other than 0 drops the specified contra account.
void ChangeContraSource(ClientDataSet &kinds, const QVariant &source);
// A contra account code typed: empty clears it, any other is looked up; a code of no active
// leaf account throws InvalidAccountCodeMessage and the row keeps its account.
void EnterContraCode(ClientDataSet &kinds, ClientDataSet &lookup, const QString &typed);
// A cell of the current kind row edited in the grid: the source through ChangeContraSource,
// a changed contra code through EnterContraCode, any other field as it is.
void WriteKindCell(ClientDataSet &kinds, ClientDataSet &lookup, const QString &field,
                   const QVariant &value);
// The field the current kind row lacks before it may be posted (DocDesc, or AcctCode while
// the source is 0); empty when it is complete.
QString MissingKindField(const ClientDataSet &kinds);
QString RequiredMessage(const QString &caption);

// Before the save: every unsaved kind gets objType and its record number as code, and loses
// its contra account unless the source is 0. Answers the record numbers changed.
QList<int> NumberNewKinds(ClientDataSet &kinds, int objType);
// Marks those rows unsaved again, after a failed save.
void UnnumberKinds(ClientDataSet &kinds, const QList<int> &recNos);

// ---- save ---------------------------------------------------------------------------------

// Applies the datasets' changes in this order in one server transaction, rolled back as a
// whole on any failure (the change logs stay); after the commit the change logs are merged.
void SaveInOneTransaction(const QList<ClientDataSet *> &ordered);
// The save of "确认" once the kind rows are posted: the record and the voucher words posted,
// the new kinds numbered, everything saved in one transaction. Answers the save's failure
// (empty on success); after one the new kinds are unnumbered again, so they stay deletable.
QString SaveConfiguration(ClientDataSet &config, ClientDataSet &objTypes, ClientDataSet &into,
                          ClientDataSet &out);
// Reads the host's shared dataset of that name again, when the host has it.
void RefreshHostDataSet(const QString &name);

// ---- layout -------------------------------------------------------------------------------

// The height of a grid that shows rows data rows, or as many whole rows as fit into
// maxHeight when that is above 0 and too small for all of them.
int WholeRowsGridHeight(int rows, int maxHeight, int frameWidth, const ClientSettings &settings);

} // namespace vexa::gl
