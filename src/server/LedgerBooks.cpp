// The balances and the books, read-only: AccountBalances (科目余额表, 余额试算平衡表),
// GeneralLedger (总分类账), DetailLedger (明细分类账), ItemBalances and ItemLedger
// (辅助核算项目余额表/明细账). Balances come from GLOpening and GLBalance only; the lines are
// read for the lines a detail page shows and nothing else.
#include "AppServer.h"
#include "DataPacket.h"
#include "FieldDef.h"
#include "LedgerCommon.h"
#include "StorageErrors.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>
#include <map>
#include <optional>

namespace vexa::server {

namespace {

using S = QString;

// Reports need browsing (RightValue 2) as well as full or modify rights.
void requireReadRight(QSqlDatabase db, const SessionInfo &session, const QString &objTypes,
                      const QString &what)
{
    if (session.userId.isEmpty())
        throw Error(S("尚未登录，不能查询%1。").arg(what));
    QSqlQuery q = ledgerQuery(db,
                              S("SELECT u.Manager, (SELECT MIN(r.RightValue) FROM SysCheckRight r "
                                "WHERE r.UserGroup = u.UserGroup AND r.ObjType IN (%1) "
                                "AND r.RightValue IN (1, 2, 3)) FROM SysUser u WHERE u.UserID = ? "
                                "AND (u.Active IS NULL OR u.Active <> 0)")
                                  .arg(objTypes),
                              {session.userId});
    if (q.next() && (q.value(0).toInt() != 0 || !q.value(1).isNull()))
        return;
    throw Error(S("没有“%1”的权限，请找系统管理员。").arg(what));
}

QVariant argument(const QVariantList &args, int i, const QString &operation)
{
    if (i >= args.size())
        throw Error(S("操作“%1”缺少第 %2 个参数。").arg(operation).arg(i + 1));
    return args[i];
}

int intArgument(const QVariantList &args, int i, const QString &operation)
{
    bool ok = false;
    const int v = argument(args, i, operation).toInt(&ok);
    if (!ok)
        throw Error(S("操作“%1”的第 %2 个参数不是整数。").arg(operation).arg(i + 1));
    return v;
}

// A debit or credit balance as the books print it.
QString sideOf(qint64 balance)
{
    return balance > 0 ? S("借") : balance < 0 ? S("贷") : S("平");
}

struct Period
{
    int id = 0, year = 0, number = 0;
    QString name;
    QDate from;
};

// The range the user asked for, checked, with what the sums need around it.
struct Range
{
    int start = 0; // the ledger's start period
    int startYear = 0;
    int from = 0, to = 0;
    int yearFirst = 0;       // the first period of to's year
    bool ytdOpening = false; // the ledger started in to's year: its openings' YtdDebit/Credit count
    QList<Period> periods;   // from..to in order
    // The first period of p's year; the start period when the ledger started later that year.
    std::map<int, int> yearFirstOf;
};

Range rangeOf(QSqlDatabase db, int from, int to)
{
    Range r;
    r.start = ledgerStartPeriod(db);
    if (r.start == 0)
        throw Error(S("账套还没有指定财务系统启用会计期间。"));
    if (from > to)
        throw Error(S("起始期间不能晚于结束期间。"));
    if (from < r.start)
        throw Error(S("起始期间早于财务系统启用期间，没有账簿数据。"));
    QSqlQuery q =
        ledgerQuery(db,
                    S("SELECT PeriodID, Year, No, PeriodName, PostingFrom FROM FINPostingPeriods "
                      "WHERE PeriodID >= ? AND PeriodID <= ? ORDER BY PeriodID"),
                    {from, to});
    while (q.next())
        r.periods.push_back({q.value(0).toInt(), q.value(1).toInt(), q.value(2).toInt(),
                             q.value(3).toString(),
                             QDate::fromString(q.value(4).toString().left(10), Qt::ISODate)});
    if (r.periods.isEmpty() || r.periods.front().id != from || r.periods.back().id != to)
        throw Error(S("会计期间 %1 或 %2 不存在。").arg(from).arg(to));
    r.from = from;
    r.to = to;
    QSqlQuery firsts =
        ledgerQuery(db, S("SELECT Year, MIN(PeriodID) FROM FINPostingPeriods GROUP BY Year"));
    std::map<int, int> firstOfYear;
    while (firsts.next())
        firstOfYear[firsts.value(0).toInt()] = firsts.value(1).toInt();
    r.startYear = periodById(db, r.start).year;
    for (const Period &p : r.periods)
        r.yearFirstOf[p.id] = qMax(firstOfYear[p.year], r.start);
    r.yearFirst = r.yearFirstOf[to];
    r.ytdOpening = r.startYear == r.periods.back().year;
    return r;
}

struct Account
{
    qint64 id = 0, parentId = 0;
    QString code, name, dc;
    int level = 0, itemList = 0;
    bool leaf = true;
};

Account requireAccount(QSqlDatabase db, qint64 id)
{
    QSqlQuery q =
        ledgerQuery(db,
                    S("SELECT AcctID, ParentID, AcctCode, AcctName, DC, Levels, IsNode, ACItemID "
                      "FROM T0102010 WHERE AcctID = ?"),
                    {id});
    if (!q.next())
        throw Error(S("科目（AcctID %1）不存在。").arg(id));
    return {q.value(0).toLongLong(), q.value(1).toLongLong(),         q.value(2).toString(),
            q.value(3).toString(),   q.value(4).toString().trimmed(), q.value(5).toInt(),
            q.value(7).toInt(),      q.value(6).toInt() != 0};
}

// The account and every account below it (codes extend their parent's), as a list of
// integers for an IN (...) of the statement.
QString subtreeIds(QSqlDatabase db, const Account &a)
{
    if (a.leaf)
        return QString::number(a.id);
    QSqlQuery q = ledgerQuery(db, S("SELECT AcctID FROM T0102010 WHERE SUBSTR(AcctCode, 1, ?) = ?"),
                              {int(a.code.size()), a.code});
    QStringList ids;
    while (q.next())
        ids << QString::number(q.value(0).toLongLong());
    return ids.join(u',');
}

// Opening (base currency) of the account's subtree, one item or all: the balance at the
// start period and the year's movement before it.
struct Opening
{
    qint64 balance = 0, ytdDebit = 0, ytdCredit = 0;
};

Opening openingOf(QSqlDatabase db, const QString &ids, qint64 dacvId)
{
    QSqlQuery q = ledgerQuery(db,
                              S("SELECT COALESCE(SUM(Balance), 0), COALESCE(SUM(YtdDebit), 0), "
                                "COALESCE(SUM(YtdCredit), 0) FROM GLOpening WHERE CurrCode = '' "
                                "AND AcctID IN (%1)%2")
                                  .arg(ids, dacvId > 0 ? S(" AND DacvID = ?") : QString()),
                              dacvId > 0 ? QVariantList{dacvId} : QVariantList{});
    q.next();
    return {q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toLongLong()};
}

// Posted movement of one GLBalance row key in a period, and how many posted lines it is.
struct Moved
{
    qint64 debit = 0, credit = 0, lines = 0;
};

// The movement of one GLBalance row key per period, start..to.
std::map<int, Moved> movementOf(QSqlDatabase db, qint64 acctId, qint64 dacvId, int start, int to)
{
    QSqlQuery q =
        ledgerQuery(db,
                    S("SELECT PeriodID, Debit, Credit, LineCount FROM GLBalance WHERE AcctID = ? "
                      "AND DacvID = ? AND PeriodID >= ? AND PeriodID <= ?"),
                    {acctId, dacvId, start, to});
    std::map<int, Moved> m;
    while (q.next())
        m[q.value(0).toInt()] = {q.value(1).toLongLong(), q.value(2).toLongLong(),
                                 q.value(3).toLongLong()};
    return m;
}

// One key's figures over a range, from its opening and its movement per period.
struct Figures
{
    qint64 opening = 0; // signed, debit positive, before from
    qint64 debit = 0, credit = 0;
    qint64 yearDebit = 0, yearCredit = 0;
    qint64 closing() const { return opening + debit - credit; }
    bool empty() const
    {
        return opening == 0 && debit == 0 && credit == 0 && yearDebit == 0 && yearCredit == 0;
    }
};

void addMovement(Figures &f, const Range &r, int period, qint64 debit, qint64 credit)
{
    if (period < r.from)
        f.opening += debit - credit;
    else {
        f.debit += debit;
        f.credit += credit;
    }
    if (period >= r.yearFirst) {
        f.yearDebit += debit;
        f.yearCredit += credit;
    }
}

void addOpening(Figures &f, const Range &r, const Opening &o)
{
    f.opening += o.balance;
    if (r.ytdOpening) {
        f.yearDebit += o.ytdDebit;
        f.yearCredit += o.ytdCredit;
    }
}

FieldDef field(const char *name, FieldType type)
{
    return FieldDef{QString::fromLatin1(name), type};
}

const char *const kFigureFields[] = {"OpeningDebit", "OpeningCredit", "PeriodDebit",
                                     "PeriodCredit", "YearDebit",     "YearCredit",
                                     "ClosingDebit", "ClosingCredit"};

void appendFigures(QVariantList &row, const Figures &f)
{
    const qint64 closing = f.closing();
    row << qMax<qint64>(f.opening, 0) << qMax<qint64>(-f.opening, 0) << f.debit << f.credit
        << f.yearDebit << f.yearCredit << qMax<qint64>(closing, 0) << qMax<qint64>(-closing, 0);
}

// ---- The detail ledger ------------------------------------------------------------------

// The rows of a detail ledger: the opening line, then per period its posted lines and the
// 本期合计 and 本年累计 lines. Pages are cut from this sequence; each period's block is
// known from the line counts GLBalance keeps, so a page reads only the lines of its
// period up to its end.
class DetailLedger
{
public:
    DetailLedger(QSqlDatabase db, const Range &r, const Account &a, qint64 dacvId)
        : m_db(db), m_range(r), m_account(a), m_dacvId(dacvId), m_ids(subtreeIds(db, a))
    {
        m_movement = movementOf(db, a.id, dacvId, r.start, r.to);
        m_opening = openingOf(db, m_ids, dacvId);
    }

    qint64 rowCount() const
    {
        qint64 n = 1;
        for (const Period &p : m_range.periods)
            n += count(p.id) + 2;
        return n;
    }

    DataPacket page(qint64 offset, qint64 limit) const
    {
        DataPacket out;
        out.fields = {field("RowType", FieldType::Integer),   field("PeriodID", FieldType::Integer),
                      field("DocEntry", FieldType::Integer),  field("DocDate", FieldType::Date),
                      field("NumCa", FieldType::String),      field("DocNum", FieldType::Integer),
                      field("Summary", FieldType::String),    field("AcctCode", FieldType::String),
                      field("Debit", FieldType::LargeInt),    field("Credit", FieldType::LargeInt),
                      field("Side", FieldType::String),       field("Balance", FieldType::LargeInt),
                      field("TotalRows", FieldType::LargeInt)};
        const qint64 total = rowCount();
        const qint64 end = qMin(total, offset + qMax<qint64>(limit, 0));
        auto push = [&](int type, int period, const QVariant &entry, const QVariant &date,
                        const QVariant &word, const QVariant &number, const QString &summary,
                        const QVariant &code, qint64 debit, qint64 credit, qint64 balance) {
            out.rows.push_back({type, period, entry, date, word, number, summary, code, debit,
                                credit, sideOf(balance), qAbs(balance), total});
        };

        // Balance and the year's sums at the start of the range, as of from's year.
        Range before = m_range;
        before.yearFirst = m_range.yearFirstOf.at(m_range.from);
        before.ytdOpening = m_range.startYear == m_range.periods.front().year;
        Figures f;
        addOpening(f, before, m_opening);
        for (const auto &[period, m] : m_movement)
            if (period < m_range.from)
                addMovement(f, before, period, m.debit, m.credit);
        qint64 balance = f.opening;
        qint64 row = 0;
        if (offset <= 0 && end > 0)
            push(0, m_range.from, {}, m_range.periods.front().from, {}, {}, S("期初余额"), {}, 0, 0,
                 balance);
        row = 1;
        qint64 yearDebit = f.yearDebit, yearCredit = f.yearCredit;
        int year = m_range.periods.front().year;
        for (const Period &p : m_range.periods) {
            if (row >= end)
                break;
            if (p.year != year) {
                year = p.year;
                yearDebit = yearCredit = 0;
            }
            const auto moved = m_movement.find(p.id);
            const Moved m = moved == m_movement.end() ? Moved{} : moved->second;
            const qint64 debit = m.debit, credit = m.credit, lines = m.lines;
            yearDebit += debit;
            yearCredit += credit;
            const qint64 blockEnd = row + lines + 2;
            if (blockEnd <= offset) {
                balance += debit - credit;
                row = blockEnd;
                continue;
            }
            // Lines of this period on the page: from..untill (indexes within the period).
            const qint64 firstLine = qMax<qint64>(0, offset - row);
            const qint64 lastLine = qMin(lines, end - row);
            if (firstLine < lastLine) {
                // One ordered walk: the lines before the page only add to the balance.
                qint64 running = balance;
                qint64 at = 0;
                QSqlQuery q =
                    ledgerQuery(m_db,
                                S("SELECT l.Debit, l.Credit, v.DocEntry, v.DocDate, v.NumCa, "
                                  "v.DocNum, l.Summary, a.AcctCode %1 LIMIT ?")
                                    .arg(linesFrom()),
                                {p.id, lastLine});
                for (; q.next(); ++at) {
                    const qint64 d = q.value(0).toLongLong(), c = q.value(1).toLongLong();
                    running += d - c;
                    if (at >= firstLine)
                        push(1, p.id, q.value(2), q.value(3), q.value(4), q.value(5),
                             q.value(6).toString(), q.value(7), d, c, running);
                }
            }
            balance += debit - credit;
            if (row + lines >= offset && row + lines < end)
                push(2, p.id, {}, {}, {}, {}, S("本期合计"), {}, debit, credit, balance);
            if (row + lines + 1 >= offset && row + lines + 1 < end)
                push(3, p.id, {}, {}, {}, {}, S("本年累计"), {}, yearDebit, yearCredit, balance);
            row = blockEnd;
        }
        return out;
    }

private:
    qint64 count(int period) const
    {
        const auto it = m_movement.find(period);
        return it == m_movement.end() ? 0 : it->second.lines;
    }
    QString lineItemFilter() const
    {
        return m_dacvId > 0 ? S(" AND l.DacvID = %1").arg(m_dacvId) : QString();
    }
    // The posted lines of one period (bound first) in the books' order, found by the lines'
    // own account and period: only the headers of that period's lines are read.
    QString linesFrom() const
    {
        return S("FROM FINDocVoucherLine l JOIN FINDocVoucher v ON v.DocEntry = l.DocEntry "
                 "JOIN T0102010 a ON a.AcctID = l.AcctID WHERE l.PeriodID = ? AND v.Status = 2 "
                 "AND l.AcctID IN (%1)%2 ORDER BY v.DocDate, v.NumCa, v.DocNum, v.DocEntry, "
                 "l.LineNo")
            .arg(m_ids, lineItemFilter());
    }
    QSqlDatabase m_db;
    const Range &m_range;
    Account m_account;
    qint64 m_dacvId;
    QString m_ids;
    Opening m_opening;
    std::map<int, Moved> m_movement;
};

} // namespace

std::optional<QVariant> ServerConnection::booksCall(const QString &operation, QVariantList &args)
{
    auto is = [&operation](const char *name) {
        return operation.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (!is("AccountBalances") && !is("GeneralLedger") && !is("DetailLedger") &&
        !is("ItemLedger") && !is("ItemBalances"))
        return std::nullopt;
    // Balances, counts and lines from one snapshot: a posting committed meanwhile must not
    // give a page whose lines disagree with its totals.
    const ReadScope snapshot(m_db, m_server.dialect(), m_inTransaction);

    if (is("AccountBalances")) {
        const int from = intArgument(args, 0, operation), to = intArgument(args, 1, operation);
        const int maxLevel = args.size() > 2 ? args[2].toInt() : 0;
        const bool withZero = args.size() > 3 && args[3].toBool();
        // The trial balance is the same read: either page's right will do.
        requireReadRight(m_db, m_session, S("2306, 2307"), S("科目余额表"));
        const Range r = rangeOf(m_db, from, to);

        std::vector<Account> accounts;
        std::map<qint64, size_t> index;
        QSqlQuery q =
            ledgerQuery(m_db, S("SELECT AcctID, ParentID, AcctCode, AcctName, DC, Levels, IsNode "
                                "FROM T0102010 ORDER BY AcctCode"));
        while (q.next()) {
            index[q.value(0).toLongLong()] = accounts.size();
            accounts.push_back({q.value(0).toLongLong(), q.value(1).toLongLong(),
                                q.value(2).toString(), q.value(3).toString(),
                                q.value(4).toString().trimmed(), q.value(5).toInt(), 0,
                                q.value(6).toInt() != 0});
        }
        std::vector<Figures> figures(accounts.size());
        // Openings are on leaves: one grouped read, then each adds to its ancestors.
        QSqlQuery o =
            ledgerQuery(m_db, S("SELECT AcctID, SUM(Balance), SUM(YtdDebit), SUM(YtdCredit) "
                                "FROM GLOpening WHERE CurrCode = '' GROUP BY AcctID"));
        while (o.next()) {
            const Opening opening{o.value(1).toLongLong(), o.value(2).toLongLong(),
                                  o.value(3).toLongLong()};
            for (auto it = index.find(o.value(0).toLongLong()); it != index.end();
                 it = index.find(accounts[it->second].parentId))
                addOpening(figures[it->second], r, opening);
        }
        // GLBalance already holds every ancestor's row.
        QSqlQuery b = ledgerQuery(m_db,
                                  S("SELECT AcctID, PeriodID, Debit, Credit FROM GLBalance "
                                    "WHERE DacvID = 0 AND PeriodID >= ? AND PeriodID <= ?"),
                                  {qMin(r.start, r.yearFirst), r.to});
        while (b.next()) {
            const auto it = index.find(b.value(0).toLongLong());
            if (it != index.end())
                addMovement(figures[it->second], r, b.value(1).toInt(), b.value(2).toLongLong(),
                            b.value(3).toLongLong());
        }

        DataPacket p;
        p.fields = {field("AcctID", FieldType::Integer),  field("AcctCode", FieldType::String),
                    field("AcctName", FieldType::String), field("Levels", FieldType::Integer),
                    field("IsNode", FieldType::Boolean),  field("DC", FieldType::String)};
        for (const char *name : kFigureFields)
            p.fields.append(field(name, FieldType::LargeInt));
        p.fields.append(field("Balanced", FieldType::Boolean));
        qint64 totals[8] = {};
        for (size_t i = 0; i < accounts.size(); ++i) {
            const Account &a = accounts[i];
            const Figures &f = figures[i];
            QVariantList row{a.id, a.code, a.name, a.level, a.leaf, a.dc};
            appendFigures(row, f);
            if (a.level == 1)
                for (int k = 0; k < 8; ++k)
                    totals[k] += row[6 + k].toLongLong();
            if ((maxLevel > 0 && a.level > maxLevel) || (!withZero && f.empty()))
                continue;
            row << QVariant(QMetaType(QMetaType::Bool));
            p.rows.push_back(row);
        }
        // The last row: the totals of the first-level accounts and whether they balance.
        QVariantList row{0, QString(), S("合计"), 0, false, QString()};
        for (const qint64 t : totals)
            row << t;
        row << (totals[0] == totals[1] && totals[2] == totals[3] && totals[4] == totals[5] &&
                totals[6] == totals[7]);
        p.rows.push_back(row);
        return writeDataPacket(p);
    }

    if (is("GeneralLedger")) {
        const qint64 acctId = intArgument(args, 0, operation);
        const int from = intArgument(args, 1, operation), to = intArgument(args, 2, operation);
        requireReadRight(m_db, m_session, S("2301"), S("总分类账"));
        const Range r = rangeOf(m_db, from, to);
        const Account a = requireAccount(m_db, acctId);
        const Opening opening = openingOf(m_db, subtreeIds(m_db, a), 0);
        const auto movement = movementOf(m_db, a.id, 0, r.start, r.to);

        DataPacket p;
        p.fields = {
            field("PeriodID", FieldType::Integer),   field("PeriodName", FieldType::String),
            field("OpeningSide", FieldType::String), field("Opening", FieldType::LargeInt),
            field("Debit", FieldType::LargeInt),     field("Credit", FieldType::LargeInt),
            field("YearDebit", FieldType::LargeInt), field("YearCredit", FieldType::LargeInt),
            field("ClosingSide", FieldType::String), field("Closing", FieldType::LargeInt)};
        const int startYear = r.startYear;
        qint64 balance = opening.balance;
        for (const auto &[period, m] : movement)
            if (period < r.from)
                balance += m.debit - m.credit;
        int year = 0;
        qint64 yearDebit = 0, yearCredit = 0;
        for (const Period &period : r.periods) {
            if (period.year != year) {
                // The year's sums before this period (and before the ledger's start).
                year = period.year;
                yearDebit = yearCredit = 0;
                if (year == startYear) {
                    yearDebit = opening.ytdDebit;
                    yearCredit = opening.ytdCredit;
                }
                for (const auto &[id, m] : movement)
                    if (id >= r.yearFirstOf.at(period.id) && id < period.id) {
                        yearDebit += m.debit;
                        yearCredit += m.credit;
                    }
            }
            const auto moved = movement.find(period.id);
            const qint64 debit = moved == movement.end() ? 0 : moved->second.debit;
            const qint64 credit = moved == movement.end() ? 0 : moved->second.credit;
            yearDebit += debit;
            yearCredit += credit;
            const qint64 closing = balance + debit - credit;
            p.rows.push_back({period.id, period.name, sideOf(balance), qAbs(balance), debit, credit,
                              yearDebit, yearCredit, sideOf(closing), qAbs(closing)});
            balance = closing;
        }
        return writeDataPacket(p);
    }

    if (is("DetailLedger") || is("ItemLedger")) {
        const bool item = is("ItemLedger");
        const qint64 acctId = intArgument(args, 0, operation);
        const int shift = item ? 1 : 0;
        const qint64 dacvId = item ? intArgument(args, 1, operation) : 0;
        const int from = intArgument(args, 1 + shift, operation);
        const int to = intArgument(args, 2 + shift, operation);
        const qint64 offset = args.size() > 3 + shift ? args[3 + shift].toLongLong() : 0;
        const qint64 limit = args.size() > 4 + shift ? args[4 + shift].toLongLong() : 1000000;
        if (item)
            requireReadRight(m_db, m_session, S("2309"), S("辅助核算项目明细账"));
        else
            requireReadRight(m_db, m_session, S("2302"), S("明细分类账"));
        if (offset < 0 || limit < 0)
            throw Error(S("分页参数不能为负数。"));
        const Range r = rangeOf(m_db, from, to);
        const Account a = requireAccount(m_db, acctId);
        if (item && (a.itemList == 0 || !a.leaf))
            throw Error(S("科目“%1 %2”没有辅助核算。").arg(a.code, a.name));
        if (item &&
            !ledgerQuery(m_db, S("SELECT 1 FROM T0102053 WHERE DacvID = ? AND ACheckID = ?"),
                         {dacvId, a.itemList})
                 .next())
            throw Error(
                S("核算项目（%1）不属于科目“%2 %3”的辅助核算。").arg(dacvId).arg(a.code, a.name));
        return writeDataPacket(DetailLedger(m_db, r, a, dacvId).page(offset, limit));
    }

    if (is("ItemBalances")) {
        const qint64 acctId = intArgument(args, 0, operation);
        const int from = intArgument(args, 1, operation), to = intArgument(args, 2, operation);
        requireReadRight(m_db, m_session, S("2310"), S("辅助核算项目余额表"));
        const Range r = rangeOf(m_db, from, to);
        const Account a = requireAccount(m_db, acctId);
        if (a.itemList == 0 || !a.leaf)
            throw Error(S("科目“%1 %2”没有辅助核算。").arg(a.code, a.name));
        std::map<qint64, Figures> figures;
        QSqlQuery o = ledgerQuery(m_db,
                                  S("SELECT DacvID, Balance, YtdDebit, YtdCredit FROM GLOpening "
                                    "WHERE AcctID = ? AND CurrCode = '' AND DacvID > 0"),
                                  {a.id});
        while (o.next())
            addOpening(figures[o.value(0).toLongLong()], r,
                       {o.value(1).toLongLong(), o.value(2).toLongLong(), o.value(3).toLongLong()});
        QSqlQuery b = ledgerQuery(m_db,
                                  S("SELECT DacvID, PeriodID, Debit, Credit FROM GLBalance "
                                    "WHERE AcctID = ? AND DacvID > 0 AND PeriodID >= ? "
                                    "AND PeriodID <= ?"),
                                  {a.id, qMin(r.start, r.yearFirst), r.to});
        while (b.next())
            addMovement(figures[b.value(0).toLongLong()], r, b.value(1).toInt(),
                        b.value(2).toLongLong(), b.value(3).toLongLong());
        DataPacket p;
        p.fields = {field("DacvID", FieldType::Integer), field("DacvCode", FieldType::String),
                    field("DacvDesc", FieldType::String)};
        for (const char *name : kFigureFields)
            p.fields.append(field(name, FieldType::LargeInt));
        QSqlQuery items = ledgerQuery(m_db,
                                      S("SELECT DacvID, DacvCode, DacvDesc FROM T0102053 "
                                        "WHERE ACheckID = ? ORDER BY DacvCode"),
                                      {a.itemList});
        while (items.next()) {
            const auto it = figures.find(items.value(0).toLongLong());
            if (it == figures.end() || it->second.empty())
                continue;
            QVariantList row{items.value(0), items.value(1), items.value(2)};
            appendFigures(row, it->second);
            p.rows.push_back(row);
        }
        return writeDataPacket(p);
    }

    return std::nullopt;
}

} // namespace vexa::server
