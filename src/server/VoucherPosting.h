#pragma once

// What the voucher operations read of the database (a stored voucher, the chart) and the
// posting of reviewed vouchers into the balances.

#include <QDate>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

namespace vexa::server {

class SqlDialect;
struct SessionInfo;
struct VoucherHeader;
struct VoucherLine;

constexpr int kVoucherObjType = 2101;

// Prepares, binds and runs a statement; throws vexa::Error "<what>：<engine's reason>".
QSqlQuery runQuery(QSqlDatabase db, const QString &sql, const QVariantList &binds,
                   const QString &what);

struct StoredVoucher
{
    int docEntry = 0;
    QString numCa;
    int docNum = 0;
    int periodId = 0;
    QDate docDate;
    int status = 0; // 0 entered, 1 reviewed, 2 posted
    QString makerId, maker, ratifierId, ratifier, cashierId, cashier;
    int reversesEntry = 0;
    int reversedBy = 0;
    qint64 debitTotal = 0;
    qint64 creditTotal = 0;
};

// The voucher of that DocEntry; throws vexa::Error when there is none.
StoredVoucher requireVoucher(QSqlDatabase db, int docEntry);

struct LedgerAccount
{
    QString code, name;
    int parentId = 0;
    bool leaf = false; // IsNode: no children
    bool frozen = false;
    int itemList = 0; // ACItemID: the auxiliary list its lines name an item of, 0 when none
};
using LedgerChart = QHash<int, LedgerAccount>;

LedgerChart loadLedgerChart(QSqlDatabase db);
// Whether the account lies under a first-level cash (1001) or bank (1002) account.
bool isCashOrBank(const LedgerChart &chart, int acctId);
bool voucherHasCashLine(QSqlDatabase db, const LedgerChart &chart, int docEntry);

// Posts the reviewed vouchers entries (empty: every reviewed, unposted voucher of the
// periods up to periodId) inside the caller's transaction: checks the openings balance, the
// states, the cashier's signature where the set asks for it and the periods, adds the lines
// to GLBalance for each account and all accounts above it, marks the vouchers posted and
// logs each. Answers the packet text of the posted vouchers (DocEntry, NumCa, DocNum,
// PeriodID) in posting order. Throws vexa::Error with the reason.
QString postVouchers(QSqlDatabase db, const SqlDialect &dialect, const SessionInfo &session,
                     int periodId, const QList<int> &entries);

// A new voucher of the period (its lines already checked, total their sum) inserted with the
// next number of its word and period, unreviewed, with its 新增 log line, inside the
// caller's transaction under its write lock. kind: FINDocVoucher.Kind (0 by hand, 1 结转损益,
// 2 本年利润 to 利润分配). SaveVoucher and the closing vouchers share it (LedgerVouchers.cpp).
StoredVoucher insertNewVoucher(QSqlDatabase db, const SqlDialect &dialect,
                               const SessionInfo &session, const VoucherHeader &h, int periodId,
                               const QList<VoucherLine> &lines, qint64 total, int kind);

} // namespace vexa::server
