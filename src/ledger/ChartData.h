#pragma once

// What the chart and opening-balance windows read through the providers and change
// through the server's operations (AddAccount, ModifyAccount, DeleteAccount, AccountUsage,
// SaveOpenings, OpeningTrialBalance), which check every rule again.

#include "OpeningBalanceTree.h"

#include <QList>
#include <QString>
#include <QVariantMap>

namespace vexa::ledger {

inline constexpr int kAccountObjType = 2001;
inline constexpr int kOpeningObjType = 2007;

struct ChartAccount
{
    qint64 id = 0;
    QString code;
    QString name;
    qint64 parentId = 0;
    int level = 1;
    bool leaf = true;
    QString dc; // D or C
    QString currCode;
    int itemList = 0;
    QString itemListName;
    bool frozen = false;
    int acctType = 0;
};

// Every account, by code.
QList<ChartAccount> ChartAccounts();
struct AccountTypeInfo
{
    int number = 0;
    QString code; // ZC, FZ ...
    QString name;
};
// The account types, by number.
QList<AccountTypeInfo> AccountTypes();
// The auxiliary lists 1-5 (number, name).
QList<std::pair<int, QString>> ItemLists();
// The set's base currency (SysInitInfo.SysCur).
QString BaseCurrency();
// The currencies (code, name).
QList<std::pair<QString, QString>> Currencies();

struct AccountUse
{
    bool openings = false, lines = false, balances = false;
    int children = 0;
    bool used() const { return openings || lines || balances; }
};
AccountUse AccountUsage(qint64 acctId);

// fields: AcctCode, AcctName and any of DC, CurrCode, ACItemID, Frozen, AcctTypeCode.
// Answers the new AcctID.
qint64 AddAccount(const QVariantMap &fields, bool moveBalances);
// fields: any of AcctName, Frozen, DC, CurrCode, ACItemID. Answers how many changed.
int ModifyAccount(qint64 acctId, const QVariantMap &fields);
void DeleteAccount(qint64 acctId);

// The stored openings in the base currency.
QList<OpeningRow> OpeningRows();
int SaveOpenings(const QList<OpeningRow> &rows);
OpeningTrial ServerOpeningTrial();
// Whether a voucher has been posted (the openings are locked then).
bool AnyVoucherPosted();
// Whether the ledger starts after the first period of its year (year-to-date figures).
bool LedgerStartsMidYear();

// The tree's accounts from the chart.
QList<OpeningAccount> OpeningAccounts(const QList<ChartAccount> &chart);

} // namespace vexa::ledger
