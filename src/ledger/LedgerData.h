#pragma once

// What the ledger's windows read through the providers and change through the server's
// named operations. Nothing here writes a table: the server checks every rule again.

#include "VoucherDraft.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace vexa {
struct DataPacket;
}

namespace vexa::ledger {

inline constexpr int kVoucherObjType = 2101;

struct LedgerAccount
{
    int acctId = 0;
    QString code;
    QString fullName;
    int itemList = 0; // auxiliary list (T0102055), 0: none
    bool leaf = false;
    bool frozen = false;
};

struct AuxItem
{
    int dacvId = 0;
    QString code;
    QString name;
};

struct LedgerPeriod
{
    int periodId = 0;
    QString code; // "2024.03"
    QDate from;
    QDate to;
};

// The voucher words of the set (收, 付, 转, 记 ...), in their order.
QStringList VoucherWords();
// The chart, by code.
QList<LedgerAccount> Accounts();
// The account of that code (blanks ignored) among accounts; nullptr when none.
const LedgerAccount *FindAccount(const QList<LedgerAccount> &accounts, const QString &code);
const LedgerAccount *FindAccount(const QList<LedgerAccount> &accounts, int acctId);
// The account a voucher line may take for a typed code: a leaf that is not frozen. Throws
// vexa::Error saying why another code is refused.
const LedgerAccount &LineAccount(const QList<LedgerAccount> &accounts, const QString &code);
// The items of an auxiliary list that can be chosen (leaf, not frozen; withFrozen: frozen
// ones too, for the books of their past), by code.
QList<AuxItem> AuxItems(int list, bool withFrozen = false);
// The periods of the set, in order; the period of a date among them (periodId 0: none).
QList<LedgerPeriod> Periods();
LedgerPeriod PeriodOf(const QList<LedgerPeriod> &periods, const QDate &date);
// The digits of a voucher number ("记-0001" with 4); at least 1.
int VoucherNumberLength();
// "记-0001".
QString VoucherNumberText(const QString &numCa, int docNum, int length);

// The voucher of DocEntry with its lines, accounts and items filled in. Throws when it
// does not exist.
VoucherDraft LoadVoucher(int docEntry);

// The answer of SaveVoucher and ReverseVoucher.
struct SavedVoucher
{
    int docEntry = 0;
    QString numCa;
    int docNum = 0;
    int periodId = 0;
    int status = 0;
};
SavedVoucher SaveVoucher(const VoucherDraft &draft);
void DeleteVoucher(int docEntry);
// entries: DocEntry values.
void ReviewVouchers(const QList<int> &entries, bool review);
void SignVouchers(const QList<int> &entries, bool sign);
// Posts the given vouchers, or (entries empty) every reviewed one up to the period.
// Answers how many were posted.
int PostVouchers(int periodId, const QList<int> &entries);
SavedVoucher ReverseVoucher(int docEntry, const QDate &date);

} // namespace vexa::ledger
