// The voucher operations: save, delete, review, cashier's signature, posting and reversal.
// Each is one transaction with its operation-log lines; numbering, balances and states are
// kept here, so a client cannot break them.
#include "AppServer.h"
#include "DataPacket.h"
#include "LedgerCommon.h"
#include "SqlDialect.h"
#include "StorageErrors.h"
#include "VoucherPosting.h"
#include "VoucherRules.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

namespace vexa::server {

namespace {

const QString kWhat = QStringLiteral("无法读写凭证");

QVariant argumentAt(const QVariantList &args, int i, const QString &operation)
{
    if (i >= args.size())
        throw Error(QStringLiteral("操作“%1”缺少第 %2 个参数。").arg(operation).arg(i + 1));
    return args[i];
}

FieldDef field(const char *name, FieldType type)
{
    return FieldDef{QString::fromLatin1(name), type, 0, false, false};
}

QString savedAnswer(const StoredVoucher &v)
{
    DataPacket p;
    p.fields = {field("DocEntry", FieldType::Integer),    field("NumCa", FieldType::String),
                field("DocNum", FieldType::Integer),      field("PeriodID", FieldType::Integer),
                field("Status", FieldType::Integer),      field("DebitTotal", FieldType::LargeInt),
                field("CreditTotal", FieldType::LargeInt)};
    p.rows.push_back(
        {v.docEntry, v.numCa, v.docNum, v.periodId, v.status, v.debitTotal, v.creditTotal});
    return writeDataPacket(p);
}

void checkWord(QSqlDatabase db, const QString &numCa)
{
    QSqlQuery q =
        runQuery(db, QStringLiteral("SELECT 1 FROM DMDocNum WHERE ObjType = ? AND NumCa = ?"),
                 {kVoucherObjType, numCa}, kWhat);
    if (!q.next())
        throw Error(QStringLiteral("凭证字“%1”不存在，请在凭证字设置中选择。").arg(numCa));
}

QString accountText(const LedgerAccount &a)
{
    return QStringLiteral("%1 %2").arg(a.code, a.name);
}

void checkAccounts(QSqlDatabase db, const LedgerChart &chart, const QList<VoucherLine> &lines)
{
    QSqlQuery item(db);
    item.prepare(QStringLiteral("SELECT ACheckID FROM T0102053 WHERE DacvID = ?"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const VoucherLine &l = lines[i];
        const int no = int(i) + 1;
        const auto it = chart.find(l.acctId);
        if (it == chart.end())
            throw Error(QStringLiteral("第 %1 行的会计科目不存在。").arg(no));
        const LedgerAccount &a = *it;
        if (!a.leaf)
            throw Error(QStringLiteral("第 %1 行的科目“%2”不是明细科目，请选择它的下级科目。")
                            .arg(no)
                            .arg(accountText(a)));
        if (a.frozen)
            throw Error(QStringLiteral("第 %1 行的科目“%2”已冻结，不能录入凭证。")
                            .arg(no)
                            .arg(accountText(a)));
        if (a.itemList > 0) {
            if (l.dacvId <= 0)
                throw Error(QStringLiteral("第 %1 行的科目“%2”要做辅助核算，请选择核算项目。")
                                .arg(no)
                                .arg(accountText(a)));
            item.addBindValue(l.dacvId);
            if (!item.exec())
                throw Error(QStringLiteral("%1：%2").arg(
                    kWhat, databaseErrorText(item.lastError(), item.driver())));
            const bool found = item.next() && item.value(0).toInt() == a.itemList;
            item.finish();
            if (!found)
                throw Error(QStringLiteral("第 %1 行的核算项目不存在，或不属于科目“%2”的核算类别。")
                                .arg(no)
                                .arg(accountText(a)));
        } else if (l.dacvId != 0) {
            throw Error(QStringLiteral("第 %1 行的科目“%2”没有辅助核算，不能填写核算项目。")
                            .arg(no)
                            .arg(accountText(a)));
        }
    }
}

int nextNumber(QSqlDatabase db, int periodId, const QString &numCa)
{
    QSqlQuery q = runQuery(db,
                           QStringLiteral("SELECT COALESCE(MAX(DocNum), 0) + 1 FROM FINDocVoucher "
                                          "WHERE PeriodID = ? AND NumCa = ?"),
                           {periodId, numCa}, kWhat);
    return q.next() ? q.value(0).toInt() : 1;
}

// Never the key of a deleted voucher: its log lines go on naming it. The counter is the
// one GetEntityID("DocEntry") hands out, taken under the write lock the caller holds.
int nextDocEntry(QSqlDatabase db)
{
    QSqlQuery q = runQuery(
        db, QStringLiteral("SELECT COALESCE(MAX(DocEntry), 0) + 1 FROM FINDocVoucher"), {}, kWhat);
    int next = q.next() ? q.value(0).toInt() : 1;
    q = runQuery(db, QStringLiteral("SELECT NextID FROM EntityCounter WHERE Name = 'DocEntry'"), {},
                 kWhat);
    const bool counted = q.next();
    if (counted)
        next = std::max(next, q.value(0).toInt());
    runQuery(
        db,
        counted ? QStringLiteral("UPDATE EntityCounter SET NextID = ? WHERE Name = 'DocEntry'")
                : QStringLiteral("INSERT INTO EntityCounter (NextID, Name) VALUES (?, 'DocEntry')"),
        {next + 1}, kWhat);
    return next;
}

// A voucher leaves its number: refused when a posted voucher comes after it in its
// sequence, since the later ones cannot move down and a gap would stay.
void refuseGapBehindPosted(QSqlDatabase db, const StoredVoucher &v, const QString &doing)
{
    QSqlQuery q =
        runQuery(db,
                 QStringLiteral("SELECT MIN(DocNum) FROM FINDocVoucher WHERE PeriodID = ? "
                                "AND NumCa = ? AND DocNum > ? AND Status = 2"),
                 {v.periodId, v.numCa, v.docNum}, kWhat);
    if (q.next() && !q.value(0).isNull())
        throw Error(QStringLiteral("%1之后的%2已记账，%3会在凭证号中留下断号，不能进行。")
                        .arg(voucherLabel(v.numCa, v.docNum),
                             voucherLabel(v.numCa, q.value(0).toInt()), doing));
}

// The later vouchers of the sequence move down by one into the number just freed. Through
// negative numbers, so the unique number index never sees two vouchers on one number
// whatever order the engine updates the rows in.
int closeGap(QSqlDatabase db, int periodId, const QString &numCa, int docNum)
{
    QSqlQuery q = runQuery(db,
                           QStringLiteral("UPDATE FINDocVoucher SET DocNum = 1 - DocNum "
                                          "WHERE PeriodID = ? AND NumCa = ? AND DocNum > ?"),
                           {periodId, numCa, docNum}, kWhat);
    const int moved = q.numRowsAffected();
    runQuery(db,
             QStringLiteral("UPDATE FINDocVoucher SET DocNum = -DocNum "
                            "WHERE PeriodID = ? AND NumCa = ? AND DocNum < 0"),
             {periodId, numCa}, kWhat);
    return moved;
}

// The lines carry their voucher's period: the detail ledger finds an account's lines of a
// period by it. A voucher moved to another period has its lines written again.
void insertLines(QSqlDatabase db, int docEntry, int periodId, const QList<VoucherLine> &lines)
{
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral(
            "INSERT INTO FINDocVoucherLine (DocEntry, LineNo, Summary, AcctID, DacvID, CurrCode, "
            "Rate, FCAmount, Debit, Credit, PeriodID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        throw Error(
            QStringLiteral("%1：%2").arg(kWhat, databaseErrorText(q.lastError(), q.driver())));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const VoucherLine &l = lines[i];
        const QVariantList values{
            docEntry,
            int(i) + 1,
            l.summary,
            l.acctId,
            l.dacvId,
            l.currCode.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(l.currCode),
            l.rate.isNull() ? QVariant(QMetaType(QMetaType::Double)) : QVariant(l.rate.toDouble()),
            l.fcAmount.isNull() ? QVariant(QMetaType(QMetaType::LongLong))
                                : QVariant(l.fcAmount.toLongLong()),
            l.debit,
            l.credit,
            periodId};
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec())
            throw Error(
                QStringLiteral("%1：%2").arg(kWhat, databaseErrorText(q.lastError(), q.driver())));
    }
}

QString describe(const StoredVoucher &v)
{
    return QStringLiteral("%1，%2，第 %3 期，借贷合计 %4")
        .arg(voucherLabel(v.numCa, v.docNum), v.docDate.toString(Qt::ISODate))
        .arg(v.periodId)
        .arg(yuanText(v.debitTotal));
}

void log(QSqlDatabase db, const SessionInfo &s, const QString &action, int docEntry,
         const QString &detail)
{
    writeOperationLog(db, s, LogEntry{action, kVoucherObjType, QString::number(docEntry), detail});
}

void requireOwnOrFlag(QSqlDatabase db, const SessionInfo &s, const StoredVoucher &v,
                      const QString &doing)
{
    if (v.makerId != s.userId && !financeFlag(db, 8))
        throw Error(QStringLiteral("%1是%2填制的，账套设置不允许%3他人填制的凭证。")
                        .arg(voucherLabel(v.numCa, v.docNum), v.maker, doing));
}

void requireEditable(const StoredVoucher &v, const QString &doing)
{
    if (v.status == 2)
        throw Error(QStringLiteral("%1已记账，不能%2；请用红字凭证冲销。")
                        .arg(voucherLabel(v.numCa, v.docNum), doing));
    if (v.status == 1)
        throw Error(QStringLiteral("%1已审核，不能%2；请先取消审核。")
                        .arg(voucherLabel(v.numCa, v.docNum), doing));
    if (!v.cashierId.isEmpty())
        throw Error(QStringLiteral("%1已出纳签字，不能%2；请先取消出纳签字。")
                        .arg(voucherLabel(v.numCa, v.docNum), doing));
}

} // namespace

StoredVoucher insertNewVoucher(QSqlDatabase db, const SqlDialect &dialect,
                               const SessionInfo &session, const VoucherHeader &h, int periodId,
                               const QList<VoucherLine> &lines, qint64 total, int kind)
{
    StoredVoucher saved;
    saved.numCa = h.numCa;
    saved.periodId = periodId;
    saved.docDate = h.docDate;
    saved.debitTotal = saved.creditTotal = total;
    saved.docEntry = nextDocEntry(db);
    saved.docNum = nextNumber(db, periodId, h.numCa);
    runQuery(db,
             QStringLiteral(
                 "INSERT INTO FINDocVoucher (DocEntry, ObjType, NumCa, DocNum, DocDate, PeriodID, "
                 "Attachments, Memo, MakerID, Maker, MakeDate, Posted, Status, SubNo, SubCount, "
                 "DebitTotal, CreditTotal, Kind) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, "
                 "?, ?, ?, ?)"),
             {saved.docEntry, kVoucherObjType, h.numCa, saved.docNum,
              dialect.toStorage(field("", FieldType::Date), h.docDate), periodId, h.attachments,
              h.memo, session.userId, session.userName,
              dialect.toStorage(field("", FieldType::DateTime), QDateTime::currentDateTime()),
              dialect.toStorage(field("", FieldType::Boolean), false), h.subNo, h.subCount, total,
              total, kind},
             kWhat);
    insertLines(db, saved.docEntry, periodId, lines);
    log(db, session, QStringLiteral("新增"), saved.docEntry,
        describe(saved) + QStringLiteral("，%1 行分录").arg(lines.size()));
    return saved;
}

std::optional<QVariant> ServerConnection::voucherCall(const QString &operation, QVariantList &args)
{
    auto is = [&operation](const char *name) {
        return operation.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    const SqlDialect &dialect = m_server.dialect();

    if (is("SaveVoucher")) {
        refuseOnReadOnly();
        requireRight(m_db, m_session, kVoucherObjType, QStringLiteral("凭证录入"));
        const VoucherHeader h = readVoucherHeader(argumentAt(args, 0, operation).toString());
        const QList<VoucherLine> lines =
            readVoucherLines(argumentAt(args, 1, operation).toString());
        const qint64 total = checkVoucherLines(lines);

        WriteScope work(m_db, dialect, m_inTransaction);
        const LedgerPeriod period = requireOpenPeriod(m_db, h.docDate);
        checkWord(m_db, h.numCa);
        checkAccounts(m_db, loadLedgerChart(m_db), lines);

        StoredVoucher saved;
        saved.numCa = h.numCa;
        saved.periodId = period.periodId;
        saved.docDate = h.docDate;
        saved.debitTotal = saved.creditTotal = total;
        QString action;
        QString detail;
        if (h.docEntry > 0) {
            const StoredVoucher old = requireVoucher(m_db, h.docEntry);
            requireEditable(old, QStringLiteral("修改"));
            requireOwnOrFlag(m_db, m_session, old, QStringLiteral("修改"));
            saved.docEntry = old.docEntry;
            const bool moves = old.numCa != h.numCa || old.periodId != period.periodId;
            if (moves) {
                refuseGapBehindPosted(m_db, old, QStringLiteral("改变它的凭证字或期间"));
                saved.docNum = nextNumber(m_db, period.periodId, h.numCa);
            } else {
                saved.docNum = old.docNum;
            }
            runQuery(
                m_db,
                QStringLiteral(
                    "UPDATE FINDocVoucher SET NumCa = ?, DocNum = ?, DocDate = ?, PeriodID = ?, "
                    "Attachments = ?, Memo = ?, SubNo = ?, SubCount = ?, DebitTotal = ?, "
                    "CreditTotal = ? WHERE DocEntry = ?"),
                {h.numCa, saved.docNum, dialect.toStorage(field("", FieldType::Date), h.docDate),
                 period.periodId, h.attachments, h.memo, h.subNo, h.subCount, total, total,
                 saved.docEntry},
                kWhat);
            int moved = 0;
            if (moves)
                moved = closeGap(m_db, old.periodId, old.numCa, old.docNum);
            runQuery(m_db, QStringLiteral("DELETE FROM FINDocVoucherLine WHERE DocEntry = ?"),
                     {saved.docEntry}, kWhat);
            action = QStringLiteral("修改");
            detail = QStringLiteral("原：%1；现：%2").arg(describe(old), describe(saved));
            if (moved > 0)
                detail +=
                    QStringLiteral("；原凭证字和期间中其后 %1 张凭证的号码各前移一号").arg(moved);
        } else {
            const StoredVoucher made =
                insertNewVoucher(m_db, dialect, m_session, h, period.periodId, lines, total, 0);
            work.commit();
            return savedAnswer(made);
        }
        insertLines(m_db, saved.docEntry, saved.periodId, lines);
        log(m_db, m_session, action, saved.docEntry, detail);
        work.commit();
        return savedAnswer(saved);
    }

    if (is("DeleteVoucher")) {
        refuseOnReadOnly();
        requireRight(m_db, m_session, kVoucherObjType, QStringLiteral("删除凭证"));
        const int entry = argumentAt(args, 0, operation).toInt();
        WriteScope work(m_db, dialect, m_inTransaction);
        const StoredVoucher v = requireVoucher(m_db, entry);
        requireEditable(v, QStringLiteral("删除"));
        requireOwnOrFlag(m_db, m_session, v, QStringLiteral("删除"));
        refuseGapBehindPosted(m_db, v, QStringLiteral("删除它"));
        runQuery(m_db, QStringLiteral("DELETE FROM FINDocVoucherLine WHERE DocEntry = ?"), {entry},
                 kWhat);
        runQuery(m_db, QStringLiteral("DELETE FROM FINDocVoucher WHERE DocEntry = ?"), {entry},
                 kWhat);
        // A red voucher deleted before posting: its original may be reversed again.
        runQuery(m_db,
                 QStringLiteral("UPDATE FINDocVoucher SET ReversedBy = NULL WHERE ReversedBy = ?"),
                 {entry}, kWhat);
        const int moved = closeGap(m_db, v.periodId, v.numCa, v.docNum);
        QString detail = describe(v);
        if (moved > 0)
            detail += QStringLiteral("；其后 %1 张凭证的号码各前移一号").arg(moved);
        log(m_db, m_session, QStringLiteral("删除"), entry, detail);
        work.commit();
        return 1;
    }

    if (is("ReviewVouchers") || is("SignVouchers")) {
        const bool review = is("ReviewVouchers");
        refuseOnReadOnly();
        const QList<int> entries = parseVoucherEntries(argumentAt(args, 0, operation).toString());
        const bool on = argumentAt(args, 1, operation).toBool();
        requireRight(m_db, m_session, 2103,
                     review ? QStringLiteral("凭证审核") : QStringLiteral("出纳签字"));
        WriteScope work(m_db, dialect, m_inTransaction);
        if (review && entries.size() > 1 && financeFlag(m_db, 7))
            throw Error(QStringLiteral("账套设置禁止成批审核，请一次审核一张凭证。"));
        const bool noSignAfterReview = !review && on && financeFlag(m_db, 11);
        const LedgerChart chart = review ? LedgerChart() : loadLedgerChart(m_db);
        const QVariant now =
            dialect.toStorage(field("", FieldType::DateTime), QDateTime::currentDateTime());
        for (const int entry : entries) {
            const StoredVoucher v = requireVoucher(m_db, entry);
            const QString label = voucherLabel(v.numCa, v.docNum);
            if (v.status == 2)
                throw Error(QStringLiteral("%1已记账，不能%2。")
                                .arg(label, review ? (on ? QStringLiteral("再审核")
                                                         : QStringLiteral("取消审核"))
                                                   : (on ? QStringLiteral("再签字")
                                                         : QStringLiteral("取消出纳签字"))));
            if (review && on) {
                if (v.status != 0)
                    throw Error(QStringLiteral("%1已经审核过了。").arg(label));
                // The reviewer is never the maker, whatever the set's options say.
                if (v.makerId == m_session.userId)
                    throw Error(
                        QStringLiteral("%1是您自己填制的，审核人不能是制单人。").arg(label));
                runQuery(m_db,
                         QStringLiteral("UPDATE FINDocVoucher SET Status = 1, RatifierID = ?, "
                                        "Ratifier = ?, RatifyDate = ? WHERE DocEntry = ?"),
                         {m_session.userId, m_session.userName, now, entry}, kWhat);
            } else if (review) {
                if (v.status != 1)
                    throw Error(QStringLiteral("%1尚未审核，不能取消审核。").arg(label));
                if (v.ratifierId != m_session.userId && !m_session.manager)
                    throw Error(QStringLiteral("%1由%2审核，只有审核人或系统管理员可以取消审核。")
                                    .arg(label, v.ratifier));
                runQuery(m_db,
                         QStringLiteral("UPDATE FINDocVoucher SET Status = 0, RatifierID = NULL, "
                                        "Ratifier = NULL, RatifyDate = NULL WHERE DocEntry = ?"),
                         {entry}, kWhat);
            } else {
                if (!voucherHasCashLine(m_db, chart, entry))
                    throw Error(QStringLiteral("%1没有现金或银行存款科目的分录，不需要出纳签字。")
                                    .arg(label));
                if (on) {
                    if (!v.cashierId.isEmpty())
                        throw Error(QStringLiteral("%1已由%2出纳签字。").arg(label, v.cashier));
                    if (noSignAfterReview && v.status == 1)
                        throw Error(
                            QStringLiteral("%1已审核，账套设置不允许审核后出纳签字。").arg(label));
                    runQuery(m_db,
                             QStringLiteral("UPDATE FINDocVoucher SET CashierID = ?, Cashier = ?, "
                                            "CashierDate = ? WHERE DocEntry = ?"),
                             {m_session.userId, m_session.userName, now, entry}, kWhat);
                } else {
                    if (v.cashierId.isEmpty())
                        throw Error(QStringLiteral("%1尚未出纳签字。").arg(label));
                    if (v.cashierId != m_session.userId && !m_session.manager)
                        throw Error(
                            QStringLiteral("%1由%2签字，只有签字的出纳或系统管理员可以取消。")
                                .arg(label, v.cashier));
                    runQuery(
                        m_db,
                        QStringLiteral("UPDATE FINDocVoucher SET CashierID = NULL, "
                                       "Cashier = NULL, CashierDate = NULL WHERE DocEntry = ?"),
                        {entry}, kWhat);
                }
            }
            const QString action =
                review ? (on ? QStringLiteral("审核") : QStringLiteral("取消审核"))
                       : (on ? QStringLiteral("出纳签字") : QStringLiteral("取消出纳签字"));
            log(m_db, m_session, action, entry, describe(v));
        }
        work.commit();
        return int(entries.size());
    }

    if (is("PostVouchers")) {
        refuseOnReadOnly();
        requireRight(m_db, m_session, 2107, QStringLiteral("凭证记账"));
        const int periodId = argumentAt(args, 0, operation).toInt();
        const QString text = args.size() > 1 ? args[1].toString().trimmed() : QString();
        const QList<int> entries = text.isEmpty() ? QList<int>() : parseVoucherEntries(text);
        WriteScope work(m_db, dialect, m_inTransaction);
        const QString answer = postVouchers(m_db, dialect, m_session, periodId, entries);
        work.commit();
        return answer;
    }

    if (is("ReverseVoucher")) {
        refuseOnReadOnly();
        requireRight(m_db, m_session, 2105, QStringLiteral("冲销凭证"));
        const int entry = argumentAt(args, 0, operation).toInt();
        const QDate date = argumentAt(args, 1, operation).toDate();
        WriteScope work(m_db, dialect, m_inTransaction);
        const StoredVoucher original = requireVoucher(m_db, entry);
        const QString label = voucherLabel(original.numCa, original.docNum);
        if (original.status != 2)
            throw Error(QStringLiteral("%1尚未记账，不需要冲销：请直接修改或删除。").arg(label));
        if (original.reversedBy > 0)
            throw Error(QStringLiteral("%1已经冲销过了。").arg(label));
        if (original.reversesEntry > 0)
            throw Error(QStringLiteral("%1是红字冲销凭证，不能再冲销。").arg(label));
        const LedgerPeriod period = requireOpenPeriod(m_db, date);
        checkWord(m_db, original.numCa);

        const QString summary = reversalSummary(original.docDate, original.numCa, original.docNum);
        QList<VoucherLine> lines;
        {
            QSqlQuery q =
                runQuery(m_db,
                         QStringLiteral("SELECT AcctID, DacvID, CurrCode, Rate, FCAmount, "
                                        "Debit, Credit FROM FINDocVoucherLine "
                                        "WHERE DocEntry = ? ORDER BY LineNo"),
                         {entry}, kWhat);
            while (q.next()) {
                VoucherLine l;
                l.summary = summary;
                l.acctId = q.value(0).toInt();
                l.dacvId = q.value(1).toInt();
                l.currCode = q.value(2).toString();
                l.rate = q.value(3);
                l.fcAmount = q.value(4).isNull() ? QVariant() : QVariant(-q.value(4).toLongLong());
                l.debit = -q.value(5).toLongLong();
                l.credit = -q.value(6).toLongLong();
                lines.append(l);
            }
        }
        StoredVoucher red;
        red.docEntry = nextDocEntry(m_db);
        red.numCa = original.numCa;
        red.docNum = nextNumber(m_db, period.periodId, red.numCa);
        red.periodId = period.periodId;
        red.docDate = date;
        red.debitTotal = -original.debitTotal;
        red.creditTotal = -original.creditTotal;
        runQuery(
            m_db,
            QStringLiteral(
                "INSERT INTO FINDocVoucher (DocEntry, ObjType, NumCa, DocNum, DocDate, PeriodID, "
                "Attachments, Memo, MakerID, Maker, MakeDate, Posted, Status, SubNo, SubCount, "
                "DebitTotal, CreditTotal, ReversesEntry) "
                "VALUES (?, ?, ?, ?, ?, ?, 0, ?, ?, ?, ?, ?, 0, 0, 0, ?, ?, ?)"),
            {red.docEntry, kVoucherObjType, red.numCa, red.docNum,
             dialect.toStorage(field("", FieldType::Date), date), red.periodId, summary,
             m_session.userId, m_session.userName,
             dialect.toStorage(field("", FieldType::DateTime), QDateTime::currentDateTime()),
             dialect.toStorage(field("", FieldType::Boolean), false), red.debitTotal,
             red.creditTotal, entry},
            kWhat);
        insertLines(m_db, red.docEntry, red.periodId, lines);
        // A link only: the posted original keeps every value it was posted with.
        runQuery(m_db, QStringLiteral("UPDATE FINDocVoucher SET ReversedBy = ? WHERE DocEntry = ?"),
                 {red.docEntry, entry}, kWhat);
        log(m_db, m_session, QStringLiteral("冲销"), entry,
            QStringLiteral("%1；红字凭证：%2（内码 %3）")
                .arg(describe(original), describe(red))
                .arg(red.docEntry));
        log(m_db, m_session, QStringLiteral("新增"), red.docEntry,
            describe(red) + QStringLiteral("，冲销%1").arg(label));
        work.commit();
        return savedAnswer(red);
    }

    return std::nullopt;
}

} // namespace vexa::server
