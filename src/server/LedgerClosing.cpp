// The period's end: 结转损益 (the voucher that moves every profit-and-loss balance to 本年利润,
// and at the year's last period 本年利润 to 利润分配), the checks of 期末结账, the closing
// and 反结账. Balances are the posted figures: GLOpening plus GLBalance up to the period,
// so a new year's openings are the old year's closings without a copy (上年结转).
#include "AppServer.h"
#include "DataPacket.h"
#include "LedgerCommon.h"
#include "SqlDialect.h"
#include "VoucherPosting.h"
#include "VoucherRules.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QSet>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <map>

namespace vexa::server {

namespace {

const QString kWhat = QStringLiteral("无法结转损益或结账");
constexpr int kCarryObjType = 2203; // 结转损益
constexpr int kCloseObjType = 2205; // 期末结账

FieldDef field(const char *name, FieldType type)
{
    return FieldDef{QString::fromLatin1(name), type, 0, false, false};
}

QVariant argumentAt(const QVariantList &args, int i, const QString &operation)
{
    if (i >= args.size())
        throw Error(QStringLiteral("操作“%1”缺少第 %2 个参数。").arg(operation).arg(i + 1));
    return args[i];
}

QString periodText(const LedgerPeriod &p)
{
    return QStringLiteral("%1年第%2期").arg(p.year).arg(p.number);
}

LedgerPeriod requirePeriod(QSqlDatabase db, int periodId)
{
    const LedgerPeriod p = periodById(db, periodId);
    if (p.periodId == 0)
        throw Error(QStringLiteral("会计期间 %1 不存在。").arg(periodId));
    return p;
}

// Every row of a statement, read before the next statement runs: on PostgreSQL a
// forward-only result still open when another statement starts loses its rows.
std::vector<QVariantList> rowsOf(QSqlDatabase db, const QString &sql, const QVariantList &binds)
{
    QSqlQuery q = runQuery(db, sql, binds, kWhat);
    std::vector<QVariantList> rows;
    const int columns = q.record().count();
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < columns; ++i)
            row.append(q.value(i));
        rows.push_back(row);
    }
    return rows;
}

int countOf(QSqlDatabase db, const QString &sql, const QVariantList &binds)
{
    QSqlQuery q = runQuery(db, sql, binds, kWhat);
    return q.next() ? q.value(0).toInt() : 0;
}

bool lastOfYear(QSqlDatabase db, const LedgerPeriod &p)
{
    return countOf(db,
                   QStringLiteral("SELECT COUNT(*) FROM FINPostingPeriods "
                                  "WHERE Year = ? AND PeriodID > ?"),
                   {p.year, p.periodId}) == 0;
}

// ---- The closing accounts ------------------------------------------------------------

struct ClosingAccounts
{
    int profitId = 0; // 本年利润
    int distId = 0;   // 利润分配 - 未分配利润
    bool stored = false;
};

int storedOption(QSqlDatabase db, const char *name)
{
    QSqlQuery q = runQuery(db, QStringLiteral("SELECT Value FROM GLOption WHERE Name = ?"),
                           {QString::fromLatin1(name)}, kWhat);
    return q.next() ? q.value(0).toString().trimmed().toInt() : 0;
}

// The accounts the chart suggests: the first-level 本年利润, the 未分配利润 leaf under the
// first-level 利润分配.
ClosingAccounts proposedAccounts(const LedgerChart &chart)
{
    ClosingAccounts a;
    QString profitCode, distCode;
    for (auto it = chart.cbegin(); it != chart.cend(); ++it) {
        const LedgerAccount &acct = it.value();
        if (acct.parentId == 0 && acct.name == QStringLiteral("本年利润") &&
            (a.profitId == 0 || acct.code < profitCode)) {
            a.profitId = it.key();
            profitCode = acct.code;
        }
        if (acct.leaf && acct.name == QStringLiteral("未分配利润")) {
            int top = it.key();
            while (chart.value(top).parentId != 0 && chart.contains(chart.value(top).parentId))
                top = chart.value(top).parentId;
            if (top != it.key() && chart.value(top).name == QStringLiteral("利润分配") &&
                (a.distId == 0 || acct.code < distCode)) {
                a.distId = it.key();
                distCode = acct.code;
            }
        }
    }
    return a;
}

ClosingAccounts closingAccounts(QSqlDatabase db, const LedgerChart &chart)
{
    ClosingAccounts a;
    a.profitId = storedOption(db, "ProfitAcctID");
    a.distId = storedOption(db, "ProfitDistAcctID");
    if (!chart.contains(a.profitId))
        a.profitId = 0;
    if (!chart.contains(a.distId))
        a.distId = 0;
    a.stored = a.profitId != 0 && a.distId != 0;
    if (!a.stored) {
        const ClosingAccounts proposed = proposedAccounts(chart);
        if (a.profitId == 0)
            a.profitId = proposed.profitId;
        if (a.distId == 0)
            a.distId = proposed.distId;
    }
    return a;
}

ClosingAccounts requireClosingAccounts(QSqlDatabase db, const LedgerChart &chart)
{
    const ClosingAccounts a = closingAccounts(db, chart);
    if (a.profitId == 0)
        throw Error(QStringLiteral("账套还没有指定本年利润科目，请在结转损益中指定。"));
    if (a.distId == 0)
        throw Error(
            QStringLiteral("账套还没有指定利润分配（未分配利润）科目，请在结转损益中指定。"));
    return a;
}

QString accountText(const LedgerChart &chart, int id)
{
    const LedgerAccount a = chart.value(id);
    return QStringLiteral("%1 %2").arg(a.code, a.name);
}

// ---- Balances --------------------------------------------------------------------------

using BalanceKey = std::pair<int, int>; // AcctID, DacvID
using Balances = std::map<BalanceKey, qint64>;

// The posted closing balance, signed debit positive, of every account and item with an
// opening or a movement up to the end of periodId: leaf openings and the balance rows (an
// account as a whole is DacvID 0; parents have rows of their own).
Balances closingBalances(QSqlDatabase db, int periodId)
{
    Balances b;
    for (const QVariantList &r :
         rowsOf(db,
                QStringLiteral("SELECT AcctID, DacvID, CAST(SUM(Balance) AS BIGINT) FROM GLOpening "
                               "GROUP BY AcctID, DacvID"),
                {}))
        b[{r[0].toInt(), r[1].toInt()}] += r[2].toLongLong();
    for (const QVariantList &r :
         rowsOf(db,
                QStringLiteral("SELECT AcctID, DacvID, CAST(SUM(Debit) AS BIGINT), "
                               "CAST(SUM(Credit) AS BIGINT) FROM GLBalance "
                               "WHERE PeriodID <= ? GROUP BY AcctID, DacvID"),
                {periodId}))
        b[{r[0].toInt(), r[1].toInt()}] += r[2].toLongLong() - r[3].toLongLong();
    return b;
}

// Leaf profit-and-loss accounts: the account's type code SY, or its type is the one coded SY
// or named 损益.
QSet<int> profitAndLossLeaves(QSqlDatabase db, const LedgerChart &chart)
{
    QSet<QString> types;
    for (const QVariantList &r : rowsOf(
             db, QStringLiteral("SELECT AcctType, AcctTypeCode, AcctTypeDesc FROM T0102011"), {}))
        if (r[1].toString().trimmed() == QLatin1String("SY") ||
            r[2].toString().trimmed() == QStringLiteral("损益"))
            types.insert(r[0].toString().trimmed());
    QSet<int> leaves;
    for (const QVariantList &r :
         rowsOf(db, QStringLiteral("SELECT AcctID, AcctType, AcctTypeCode FROM T0102010"), {})) {
        const int id = r[0].toInt();
        const QString type = r[1].toString().trimmed();
        if (chart.value(id).leaf && (r[2].toString().trimmed() == QLatin1String("SY") ||
                                     (!type.isEmpty() && types.contains(type))))
            leaves.insert(id);
    }
    return leaves;
}

// The profit-and-loss balances not at zero: per item where the account carries items.
Balances profitAndLossBalances(QSqlDatabase db, const LedgerChart &chart, int periodId)
{
    const QSet<int> pl = profitAndLossLeaves(db, chart);
    Balances out;
    for (const auto &[key, amount] : closingBalances(db, periodId)) {
        if (amount == 0 || !pl.contains(key.first))
            continue;
        const bool items = chart.value(key.first).itemList > 0;
        if (items == (key.second > 0))
            out[key] = amount;
    }
    return out;
}

qint64 accountBalance(QSqlDatabase db, int acctId, int periodId)
{
    const Balances b = closingBalances(db, periodId);
    const auto it = b.find({acctId, 0});
    return it == b.end() ? 0 : it->second;
}

// ---- The carry-forward voucher -------------------------------------------------------

struct CarryPlan
{
    int kind = 0; // 0 nothing to carry, 1 结转损益, 2 本年利润 to 利润分配
    QList<VoucherLine> lines;
    qint64 total = 0;
};

VoucherLine carryLine(const QString &summary, int acct, int dacv, qint64 signedBalance)
{
    // The line that brings a balance (debit positive) to zero.
    VoucherLine l;
    l.summary = summary;
    l.acctId = acct;
    l.dacvId = dacv;
    if (signedBalance > 0)
        l.credit = signedBalance;
    else
        l.debit = -signedBalance;
    return l;
}

CarryPlan carryPlan(QSqlDatabase db, const LedgerChart &chart, const ClosingAccounts &accounts,
                    const LedgerPeriod &period)
{
    CarryPlan plan;
    const Balances pl = profitAndLossBalances(db, chart, period.periodId);
    if (!pl.empty()) {
        plan.kind = 1;
        const QString summary = QStringLiteral("结转本期损益");
        qint64 net = 0;
        std::vector<std::pair<BalanceKey, qint64>> rows(pl.begin(), pl.end());
        std::sort(rows.begin(), rows.end(), [&chart](const auto &a, const auto &b) {
            return std::make_pair(chart.value(a.first.first).code, a.first.second) <
                   std::make_pair(chart.value(b.first.first).code, b.first.second);
        });
        for (const auto &[key, amount] : rows) {
            plan.lines.append(carryLine(summary, key.first, key.second, amount));
            net += amount;
        }
        // The net goes to 本年利润 on the opposite side: a profit (credit net) is credited.
        if (net != 0)
            plan.lines.append(carryLine(summary, accounts.profitId, 0, -net));
    } else if (lastOfYear(db, period)) {
        const qint64 profit = accountBalance(db, accounts.profitId, period.periodId);
        if (profit != 0) {
            plan.kind = 2;
            const QString summary = QStringLiteral("结转本年利润");
            plan.lines.append(carryLine(summary, accounts.profitId, 0, profit));
            plan.lines.append(carryLine(summary, accounts.distId, 0, -profit));
        }
    }
    for (const VoucherLine &l : plan.lines)
        plan.total += l.debit;
    return plan;
}

QString voucherWord(QSqlDatabase db)
{
    for (const QString &word : {QStringLiteral("转"), QStringLiteral("记")}) {
        QSqlQuery q =
            runQuery(db, QStringLiteral("SELECT 1 FROM DMDocNum WHERE ObjType = ? AND NumCa = ?"),
                     {kVoucherObjType, word}, kWhat);
        if (q.next())
            return word;
    }
    throw Error(QStringLiteral("账套没有“转”或“记”凭证字，不能生成结转凭证。"));
}

// ---- The checks of the closing --------------------------------------------------------

struct Problem
{
    QString text;
    int count = 0;
};

QList<Problem> closeProblems(QSqlDatabase db, const LedgerPeriod &period)
{
    QList<Problem> problems;
    const auto add = [&problems](const QString &text, int count) {
        if (count > 0)
            problems.append(Problem{text, count});
    };
    add(QStringLiteral("本期有凭证未审核"),
        countOf(db,
                QStringLiteral("SELECT COUNT(*) FROM FINDocVoucher WHERE PeriodID = ? "
                               "AND Status = 0"),
                {period.periodId}));
    add(QStringLiteral("本期有凭证未记账"),
        countOf(db,
                QStringLiteral("SELECT COUNT(*) FROM FINDocVoucher WHERE PeriodID = ? "
                               "AND Status < 2"),
                {period.periodId}));

    const LedgerChart chart = loadLedgerChart(db);
    const Balances balances = closingBalances(db, period.periodId);
    // The first-level accounts' closing balances: leaf openings rolled up, and the posted
    // movement of the first-level account itself.
    std::map<int, qint64> top;
    for (const QVariantList &r :
         rowsOf(db,
                QStringLiteral(
                    "SELECT AcctID, CAST(SUM(Balance) AS BIGINT) FROM GLOpening GROUP BY AcctID"),
                {})) {
        int a = r[0].toInt();
        for (int guard = 0; chart.value(a).parentId != 0 && guard < 64; ++guard)
            a = chart.value(a).parentId;
        top[a] += r[1].toLongLong();
    }
    for (const QVariantList &r :
         rowsOf(db,
                QStringLiteral("SELECT AcctID, CAST(SUM(Debit) AS BIGINT), CAST(SUM(Credit) AS "
                               "BIGINT) FROM GLBalance "
                               "WHERE PeriodID <= ? AND DacvID = 0 GROUP BY AcctID"),
                {period.periodId})) {
        const int a = r[0].toInt();
        if (chart.contains(a) && chart.value(a).parentId == 0)
            top[a] += r[1].toLongLong() - r[2].toLongLong();
    }
    qint64 debit = 0, credit = 0;
    for (const auto &[acct, amount] : top)
        (amount > 0 ? debit : credit) += amount > 0 ? amount : -amount;
    if (debit != credit)
        add(QStringLiteral("试算不平衡：期末借方余额合计 %1，贷方余额合计 %2")
                .arg(yuanText(debit), yuanText(credit)),
            1);

    add(QStringLiteral("损益类科目余额不为零，请先结转损益"),
        int(profitAndLossBalances(db, chart, period.periodId).size()));

    const auto cashier =
        rowsOf(db, QStringLiteral("SELECT CashierStartPeriodID FROM SysInitInfo"), {});
    const int cashierStart = cashier.empty() ? 0 : cashier[0][0].toInt();
    if (cashierStart != 0 && period.periodId >= cashierStart) {
        const auto post = rowsOf(
            db, QStringLiteral("SELECT CashierPost FROM FINPostingPeriods WHERE PeriodID = ?"),
            {period.periodId});
        if (post.empty() || post[0][0].toInt() == 0)
            add(QStringLiteral("出纳管理本期尚未结账，请先由出纳结账"), 1);
    }

    int earlier = 0;
    const int start = ledgerStartPeriod(db);
    for (const QVariantList &r : rowsOf(db,
                                        QStringLiteral("SELECT GLPost FROM FINPostingPeriods "
                                                       "WHERE PeriodID < ? AND PeriodID >= ?"),
                                        {period.periodId, start}))
        if (r[0].toInt() == 0)
            ++earlier;
    add(QStringLiteral("以前期间尚未结账，请按顺序结账"), earlier);

    if (lastOfYear(db, period)) {
        const ClosingAccounts accounts = closingAccounts(db, chart);
        if (accounts.profitId != 0) {
            const auto it = balances.find({accounts.profitId, 0});
            if (it != balances.end() && it->second != 0)
                add(QStringLiteral("本年利润尚有余额，年末请先结转到利润分配"), 1);
        }
    }
    return problems;
}

QString problemsPacket(const QList<Problem> &problems)
{
    DataPacket p;
    p.fields = {field("Problem", FieldType::String), field("Count", FieldType::Integer)};
    for (const Problem &pr : problems)
        p.rows.push_back({pr.text, pr.count});
    return writeDataPacket(p);
}

struct PeriodRow
{
    int periodId = 0;
    QString name;
};

PeriodRow periodAfter(QSqlDatabase db, int periodId)
{
    QSqlQuery q = runQuery(db,
                           QStringLiteral("SELECT PeriodID, PeriodName FROM FINPostingPeriods "
                                          "WHERE PeriodID > ? ORDER BY PeriodID"),
                           {periodId}, kWhat);
    return q.next() ? PeriodRow{q.value(0).toInt(), q.value(1).toString()} : PeriodRow{};
}

void setCurrentPeriod(QSqlDatabase db, int periodId)
{
    const auto rows =
        rowsOf(db, QStringLiteral("SELECT PeriodName FROM FINPostingPeriods WHERE PeriodID = ?"),
               {periodId});
    const QString name = rows.empty() ? QString() : rows[0][0].toString();
    runQuery(db, QStringLiteral("UPDATE SysInitInfo SET GLNowPeriodID = ?, GLNowPeriodName = ?"),
             {periodId, name}, kWhat);
}

void setClosed(QSqlDatabase db, const SqlDialect &dialect, int periodId, bool closed)
{
    runQuery(db, QStringLiteral("UPDATE FINPostingPeriods SET GLPost = ? WHERE PeriodID = ?"),
             {dialect.toStorage(field("", FieldType::Boolean), closed), periodId}, kWhat);
}

} // namespace

std::optional<QVariant> ServerConnection::closingCall(const QString &operation, QVariantList &args)
{
    auto is = [&operation](const char *name) {
        return operation.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    const SqlDialect &dialect = m_server.dialect();

    if (is("ClosingAccounts")) {
        const LedgerChart chart = loadLedgerChart(m_db);
        const ClosingAccounts a = closingAccounts(m_db, chart);
        const auto fullName = [this](int id) {
            QSqlQuery q =
                runQuery(m_db, QStringLiteral("SELECT FullName FROM AcctFullName WHERE AcctID = ?"),
                         {id}, kWhat);
            return q.next() ? q.value(0).toString() : QString();
        };
        DataPacket p;
        p.fields = {
            field("ProfitAcctID", FieldType::Integer),  field("ProfitAcctCode", FieldType::String),
            field("ProfitAcctName", FieldType::String), field("DistAcctID", FieldType::Integer),
            field("DistAcctCode", FieldType::String),   field("DistAcctName", FieldType::String),
            field("Stored", FieldType::Boolean)};
        p.rows.push_back({a.profitId, chart.value(a.profitId).code, fullName(a.profitId), a.distId,
                          chart.value(a.distId).code, fullName(a.distId), a.stored});
        return writeDataPacket(p);
    }

    if (is("SetClosingAccounts")) {
        refuseOnReadOnly();
        requireRight(m_db, m_session, kCarryObjType, QStringLiteral("结转损益"));
        const int profit = argumentAt(args, 0, operation).toInt();
        const int dist = argumentAt(args, 1, operation).toInt();
        WriteScope work(m_db, dialect, m_inTransaction);
        const LedgerChart chart = loadLedgerChart(m_db);
        for (const auto &[id, what] : {std::pair{profit, QStringLiteral("本年利润")},
                                       std::pair{dist, QStringLiteral("利润分配")}}) {
            if (!chart.contains(id))
                throw Error(QStringLiteral("%1科目不存在。").arg(what));
            const LedgerAccount &a = *chart.find(id);
            if (!a.leaf)
                throw Error(QStringLiteral("%1科目“%2 %3”不是明细科目，请选择它的下级科目。")
                                .arg(what, a.code, a.name));
            if (a.itemList > 0)
                throw Error(QStringLiteral("%1科目“%2 %3”有辅助核算，不能用于结转。")
                                .arg(what, a.code, a.name));
        }
        if (profit == dist)
            throw Error(QStringLiteral("本年利润科目和利润分配科目不能是同一个科目。"));
        const ClosingAccounts old = closingAccounts(m_db, chart);
        runQuery(m_db,
                 QStringLiteral("DELETE FROM GLOption WHERE Name IN ('ProfitAcctID', "
                                "'ProfitDistAcctID')"),
                 {}, kWhat);
        runQuery(m_db,
                 QStringLiteral("INSERT INTO GLOption (Name, Value) VALUES ('ProfitAcctID', ?), "
                                "('ProfitDistAcctID', ?)"),
                 {QString::number(profit), QString::number(dist)}, kWhat);
        writeOperationLog(
            m_db, m_session,
            LogEntry{
                QStringLiteral("修改"), kCarryObjType, QStringLiteral("ClosingAccounts"),
                QStringLiteral("本年利润：%1 → %2；利润分配：%3 → %4")
                    .arg(old.profitId ? accountText(chart, old.profitId) : QStringLiteral("未指定"),
                         accountText(chart, profit),
                         old.distId ? accountText(chart, old.distId) : QStringLiteral("未指定"),
                         accountText(chart, dist))});
        work.commit();
        return 1;
    }

    if (is("CarryForwardPreview") || is("CarryForwardProfit")) {
        const bool make = is("CarryForwardProfit");
        const int periodId = argumentAt(args, 0, operation).toInt();
        if (make) {
            refuseOnReadOnly();
            requireRight(m_db, m_session, kCarryObjType, QStringLiteral("结转损益"));
        }
        std::optional<WriteScope> work;
        if (make)
            work.emplace(m_db, dialect, m_inTransaction);
        const LedgerPeriod period = requirePeriod(m_db, periodId);
        const LedgerChart chart = loadLedgerChart(m_db);
        const ClosingAccounts accounts = requireClosingAccounts(m_db, chart);
        if (!make) {
            const CarryPlan plan = carryPlan(m_db, chart, accounts, period);
            DataPacket p;
            p.fields = {field("Kind", FieldType::Integer),    field("AcctID", FieldType::Integer),
                        field("AcctCode", FieldType::String), field("AcctName", FieldType::String),
                        field("DacvID", FieldType::Integer),  field("Summary", FieldType::String),
                        field("Debit", FieldType::LargeInt),  field("Credit", FieldType::LargeInt)};
            for (const VoucherLine &l : plan.lines)
                p.rows.push_back({plan.kind, l.acctId, chart.value(l.acctId).code,
                                  chart.value(l.acctId).name, l.dacvId, l.summary, l.debit,
                                  l.credit});
            return writeDataPacket(p);
        }
        QDate date = args.size() > 1 ? args[1].toDate() : QDate();
        if (!date.isValid())
            date = period.to;
        if (date < period.from || date > period.to)
            throw Error(
                QStringLiteral("结转日期%1不在%2内。")
                    .arg(date.toString(QStringLiteral("yyyy年M月d日")), periodText(period)));
        requireOpenPeriod(m_db, date);
        {
            QSqlQuery q = runQuery(m_db,
                                   QStringLiteral("SELECT NumCa, DocNum FROM FINDocVoucher "
                                                  "WHERE PeriodID = ? AND Kind IN (1, 2) AND "
                                                  "Status < 2 ORDER BY DocEntry"),
                                   {period.periodId}, kWhat);
            if (q.next())
                throw Error(QStringLiteral("本期的结转凭证%1尚未记账，请先审核、记账。")
                                .arg(voucherLabel(q.value(0).toString(), q.value(1).toInt())));
        }
        const int unposted = countOf(m_db,
                                     QStringLiteral("SELECT COUNT(*) FROM FINDocVoucher "
                                                    "WHERE PeriodID <= ? AND Status < 2"),
                                     {period.periodId});
        if (unposted > 0)
            throw Error(QStringLiteral("%1及以前还有 %2 张凭证未记账，请先审核、记账后再结转损益。")
                            .arg(periodText(period))
                            .arg(unposted));
        const CarryPlan plan = carryPlan(m_db, chart, accounts, period);
        if (plan.kind == 0)
            throw Error(QStringLiteral("%1没有需要结转的损益。").arg(periodText(period)));
        VoucherHeader h;
        h.numCa = voucherWord(m_db);
        h.docDate = date;
        h.memo = plan.lines.first().summary;
        const StoredVoucher v =
            insertNewVoucher(m_db, dialect, m_session, h, period.periodId, plan.lines,
                             checkVoucherLines(plan.lines), plan.kind);
        writeOperationLog(
            m_db, m_session,
            LogEntry{plan.kind == 1 ? QStringLiteral("结转损益") : QStringLiteral("结转本年利润"),
                     kCarryObjType, QString::number(period.periodId),
                     QStringLiteral("%1：%2，%3 行分录，金额 %4")
                         .arg(periodText(period), voucherLabel(v.numCa, v.docNum))
                         .arg(plan.lines.size())
                         .arg(yuanText(plan.total))});
        work->commit();
        DataPacket p;
        p.fields = {field("DocEntry", FieldType::Integer), field("NumCa", FieldType::String),
                    field("DocNum", FieldType::Integer), field("Kind", FieldType::Integer),
                    field("Total", FieldType::LargeInt)};
        p.rows.push_back({v.docEntry, v.numCa, v.docNum, plan.kind, plan.total});
        return writeDataPacket(p);
    }

    if (is("CloseCheck")) {
        const LedgerPeriod period = requirePeriod(m_db, argumentAt(args, 0, operation).toInt());
        return problemsPacket(closeProblems(m_db, period));
    }

    if (is("ClosePeriod")) {
        refuseOnReadOnly();
        requireRight(m_db, m_session, kCloseObjType, QStringLiteral("期末结账"));
        const int periodId = argumentAt(args, 0, operation).toInt();
        WriteScope work(m_db, dialect, m_inTransaction);
        const LedgerPeriod period = requirePeriod(m_db, periodId);
        if (period.closed)
            throw Error(QStringLiteral("%1已经结账了。").arg(periodText(period)));
        if (period.periodId < ledgerStartPeriod(m_db))
            throw Error(
                QStringLiteral("%1在财务系统启用期间之前，不需要结账。").arg(periodText(period)));
        const QList<Problem> problems = closeProblems(m_db, period);
        if (!problems.isEmpty()) {
            QStringList lines;
            for (const Problem &p : problems)
                lines << QStringLiteral("%1（%2）").arg(p.text).arg(p.count);
            throw Error(QStringLiteral("%1不能结账：\n%2")
                            .arg(periodText(period), lines.join(QLatin1Char('\n'))));
        }
        setClosed(m_db, dialect, period.periodId, true);
        const PeriodRow next = periodAfter(m_db, period.periodId);
        setCurrentPeriod(m_db, next.periodId != 0 ? next.periodId : period.periodId);
        writeOperationLog(
            m_db, m_session,
            LogEntry{QStringLiteral("结账"), kCloseObjType, QString::number(period.periodId),
                     QStringLiteral("%1结账，当前期间：%2")
                         .arg(periodText(period),
                              next.periodId != 0 ? next.name : QStringLiteral("不变"))});
        work.commit();
        return next.periodId;
    }

    if (is("ReopenPeriod")) {
        refuseOnReadOnly();
        const int periodId = argumentAt(args, 0, operation).toInt();
        WriteScope work(m_db, dialect, m_inTransaction);
        {
            // Read now: an administrator's flag taken away after the login counts at once.
            QSqlQuery q =
                runQuery(m_db, QStringLiteral("SELECT Manager FROM SysUser WHERE UserID = ?"),
                         {m_session.userId}, kWhat);
            if (!(q.next() && q.value(0).toInt() != 0))
                throw Error(QStringLiteral("只有系统管理员可以反结账。"));
        }
        const LedgerPeriod period = requirePeriod(m_db, periodId);
        if (!period.closed)
            throw Error(QStringLiteral("%1尚未结账，不需要反结账。").arg(periodText(period)));
        {
            QSqlQuery q = runQuery(m_db,
                                   QStringLiteral("SELECT PeriodID, GLPost FROM FINPostingPeriods "
                                                  "WHERE PeriodID > ?"),
                                   {period.periodId}, kWhat);
            while (q.next())
                if (q.value(1).toInt() != 0)
                    throw Error(QStringLiteral("只能反结账最近结账的期间：%1之后还有已结账的期间。")
                                    .arg(periodText(period)));
        }
        if (lastOfYear(m_db, period) && financeFlag(m_db, 3) &&
            countOf(m_db, QStringLiteral("SELECT COUNT(*) FROM FINDocVoucher WHERE PeriodID > ?"),
                    {period.periodId}) > 0)
            throw Error(QStringLiteral("账套设置不允许跨财务年度反结账：%1年已经开始录入凭证。")
                            .arg(period.year + 1));
        setClosed(m_db, dialect, period.periodId, false);
        setCurrentPeriod(m_db, period.periodId);
        writeOperationLog(
            m_db, m_session,
            LogEntry{QStringLiteral("反结账"), kCloseObjType, QString::number(period.periodId),
                     QStringLiteral("%1反结账，当前期间：%1").arg(periodText(period))});
        work.commit();
        return period.periodId;
    }

    return std::nullopt;
}

} // namespace vexa::server
