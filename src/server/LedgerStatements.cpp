// The statements (资产负债表, 利润表) computed from the report templates T0200096-99 and the
// balances kept at posting (GLBalance + GLOpening): operation Statement; the figures of the
// lines filled in by hand: SaveStatementValues.
#include "LedgerStatements.h"
#include "AppServer.h"
#include "DataPacket.h"
#include "FieldDef.h"
#include "LedgerCommon.h"
#include "StorageErrors.h"
#include "VoucherRules.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>
#include <functional>
#include <map>
#include <optional>
#include <set>

namespace vexa::server {

namespace {

using S = QString;
using Amount = std::optional<qint64>;

constexpr int kBalanceSheetObj = 2401;
constexpr int kIncomeObj = 2402;

// Reading a statement needs any right on it (browse included), read now.
void requireReadRight(QSqlDatabase db, const SessionInfo &session, int objType, const QString &what)
{
    if (session.userId.isEmpty())
        throw Error(S("尚未登录，不能查看%1。").arg(what));
    QSqlQuery q = ledgerQuery(db,
                              S("SELECT u.Manager, (SELECT MIN(r.RightValue) FROM SysCheckRight r "
                                "WHERE r.UserGroup = u.UserGroup AND r.ObjType = ? AND "
                                "r.RightValue IN (1, 2, 3)) FROM SysUser u WHERE u.UserID = ? AND "
                                "(u.Active IS NULL OR u.Active <> 0)"),
                              {objType, session.userId});
    if (q.next() && (q.value(0).toInt() != 0 || !q.value(1).isNull()))
        return;
    throw Error(S("没有“%1”的权限，请找系统管理员。").arg(what));
}

QString periodText(int period)
{
    return S("%1年第%2期").arg(period / 100).arg(period % 100);
}

struct Account
{
    qint64 id = 0;
    QString code, name;
    qint64 parent = 0;
    int side = 1; // +1 debit, -1 credit
    std::vector<qint64> children;
};

// One balance key's sums: the opening (debit positive) and the net movements (debit minus
// credit) that the statement's columns need.
struct Sums
{
    qint64 opening = 0, ytdDebit = 0, ytdCredit = 0;
    qint64 toPeriod = 0;  // start .. P
    qint64 toPrevEnd = 0; // start .. the end of the previous year
    qint64 spanCur = 0;   // the current span of the income statement
    qint64 spanPrev = 0;  // the comparison span
};

struct Span
{
    int from = 0, to = 0;
    bool valid = false;
    bool withYtd = false; // add the year's movements before the ledger's start
};

struct Line
{
    qint64 itemId = 0;
    QVariant itemLine;
    QString name;
    int indent = 0, type = 0;
    Amount a1, a2;
};

struct Term
{
    qint64 itemId = 0;
    QString code, fetch;
    int sign = 1;
    qint64 acctId = 0; // 0: not bound
};

class Statement
{
public:
    Statement(QSqlDatabase db, qint64 templetId, int periodId)
        : m_db(db), m_templetId(templetId), m_period(periodId)
    {}

    QVariant answer(const SessionInfo &session);

private:
    void readTemplate();
    void readValues();
    void readAccounts();
    void readBalances();
    void computeLines();
    void checkBalance();
    std::vector<qint64> leavesOf(qint64 id) const;
    Amount termAmount(const Term &t, int column) const;
    Amount balanceAt(qint64 acct, qint64 dacv, int column) const; // debit positive

    QSqlDatabase m_db;
    qint64 m_templetId;
    int m_period;
    int m_type = 0;
    QString m_code, m_name;
    int m_start = 0;
    std::vector<Line> m_lines;
    std::multimap<qint64, Term> m_terms;
    std::multimap<qint64, std::pair<qint64, int>> m_sums; // line -> (line, sign)
    std::map<qint64, Account> m_accounts;
    std::map<std::pair<qint64, qint64>, Sums> m_bal; // (AcctID, DacvID)
    std::map<qint64, qint64> m_closingLines;         // own account's closing-voucher net, per span
    std::map<qint64, qint64> m_closingLinesPrev;
    bool m_prevBalanceValid = false;
    bool m_prevBalanceFromOpening = false;
    Span m_cur, m_prev;
    QStringList m_warnings;
    QString m_caption1, m_caption2;
    QVariant m_balanced, m_diff1, m_diff2;
    QStringList m_uncovered;
};

void Statement::readTemplate()
{
    QSqlQuery t = ledgerQuery(m_db,
                              S("SELECT TempletType, TempletCode, TempletName FROM T0200096 "
                                "WHERE TempletID = ?"),
                              {m_templetId});
    if (!t.next())
        throw Error(S("报表模板 %1 不存在。").arg(m_templetId));
    m_type = t.value(0).toInt();
    m_code = t.value(1).toString();
    m_name = t.value(2).toString();
    if (m_type != 1 && m_type != 2)
        throw Error(S("报表模板“%1”不是资产负债表或利润表。").arg(m_name));

    QSqlQuery l = ledgerQuery(m_db,
                              S("SELECT ItemID, ItemLine, ItemName, Indent, ItemType FROM T0200097 "
                                "WHERE TempletID = ? ORDER BY SortNo, ItemID"),
                              {m_templetId});
    while (l.next())
        m_lines.push_back(Line{l.value(0).toLongLong(),
                               l.value(1),
                               l.value(2).toString(),
                               l.value(3).toInt(),
                               l.value(4).toInt(),
                               {},
                               {}});

    QSqlQuery a =
        ledgerQuery(m_db,
                    S("SELECT ItemID, ItemAcctCode, FetchType, Operator, AcctID FROM T0200098 "
                      "WHERE TempletID = ? ORDER BY ItemID, ItemAcctCode"),
                    {m_templetId});
    while (a.next())
        m_terms.emplace(a.value(0).toLongLong(),
                        Term{a.value(0).toLongLong(), a.value(1).toString().trimmed(),
                             a.value(2).toString().trimmed().toUpper(),
                             a.value(3).toString().trimmed() == u"-" ? -1 : 1,
                             a.value(4).isNull() ? 0 : a.value(4).toLongLong()});

    QSqlQuery s =
        ledgerQuery(m_db, S("SELECT ItemID, SumItemID, Operator FROM T0200099 WHERE TempletID = ?"),
                    {m_templetId});
    while (s.next())
        m_sums.emplace(
            s.value(0).toLongLong(),
            std::pair{s.value(1).toLongLong(), s.value(2).toString().trimmed() == u"-" ? -1 : 1});
}

// The lines filled in by hand keep what was entered for the period; nothing entered is NULL.
void Statement::readValues()
{
    std::map<qint64, std::pair<QVariant, QVariant>> stored;
    QSqlQuery q = ledgerQuery(m_db,
                              S("SELECT ItemID, Amount1, Amount2 FROM FINGLReportValue "
                                "WHERE TempletID = ? AND PeriodID = ?"),
                              {m_templetId, m_period});
    while (q.next())
        stored[q.value(0).toLongLong()] = {q.value(1), q.value(2)};
    for (Line &l : m_lines)
        if (l.type == 3)
            if (const auto it = stored.find(l.itemId); it != stored.end()) {
                l.a1 = it->second.first.isNull() ? Amount() : it->second.first.toLongLong();
                l.a2 = it->second.second.isNull() ? Amount() : it->second.second.toLongLong();
            }
}

void Statement::readAccounts()
{
    QSqlQuery q =
        ledgerQuery(m_db, S("SELECT AcctID, AcctCode, AcctName, ParentID, DC FROM T0102010"));
    while (q.next()) {
        Account a;
        a.id = q.value(0).toLongLong();
        a.code = q.value(1).toString();
        a.name = q.value(2).toString();
        a.parent = q.value(3).isNull() ? 0 : q.value(3).toLongLong();
        a.side = q.value(4).toString().trimmed() == u"C" ? -1 : 1;
        m_accounts.emplace(a.id, a);
    }
    for (auto &[id, a] : m_accounts)
        if (a.parent != 0)
            if (auto p = m_accounts.find(a.parent); p != m_accounts.end())
                p->second.children.push_back(id);
}

void Statement::readBalances()
{
    const int year = m_period / 100;
    const int no = m_period % 100;
    const int startYear = m_start / 100;
    // Balance sheet comparison: the end of the previous year, or the year's opening when
    // the ledger started in this year.
    m_prevBalanceValid = startYear <= year;
    m_prevBalanceFromOpening = startYear == year;

    // Income statement spans: the year to date, and a year back the same span (or, on the
    // small-enterprise form, the month).
    const bool small = m_code.contains(u"小企");
    m_cur = Span{year * 100 + 1, m_period, m_period >= m_start, year * 100 + 1 < m_start};
    if (m_type == 2 && small)
        m_prev = Span{m_period, m_period, m_period >= m_start, false};
    else
        m_prev = Span{(year - 1) * 100 + 1, (year - 1) * 100 + no, (year - 1) * 100 + no >= m_start,
                      (year - 1) * 100 + 1 < m_start};

    QSqlQuery o =
        ledgerQuery(m_db, S("SELECT AcctID, DacvID, Balance, YtdDebit, YtdCredit FROM GLOpening "
                            "WHERE CurrCode = ''"));
    while (o.next()) {
        Sums &s = m_bal[{o.value(0).toLongLong(), o.value(1).toLongLong()}];
        s.opening += o.value(2).toLongLong();
        s.ytdDebit += o.value(3).toLongLong();
        s.ytdCredit += o.value(4).toLongLong();
    }
    // Summed by the database: one row per account and item, not per period.
    const int prevEnd = year * 100;
    QSqlQuery b = ledgerQuery(m_db,
                              S("SELECT AcctID, DacvID, SUM(Debit - Credit), "
                                "SUM(CASE WHEN PeriodID <= ? THEN Debit - Credit ELSE 0 END), "
                                "SUM(CASE WHEN PeriodID >= ? AND PeriodID <= ? THEN Debit - Credit "
                                "ELSE 0 END), "
                                "SUM(CASE WHEN PeriodID >= ? AND PeriodID <= ? THEN Debit - Credit "
                                "ELSE 0 END) "
                                "FROM GLBalance WHERE PeriodID <= ? GROUP BY AcctID, DacvID"),
                              {prevEnd, m_cur.from, m_cur.to, m_prev.from, m_prev.to, m_period});
    while (b.next()) {
        Sums &s = m_bal[{b.value(0).toLongLong(), b.value(1).toLongLong()}];
        s.toPeriod += b.value(2).toLongLong();
        s.toPrevEnd += b.value(3).toLongLong();
        s.spanCur += b.value(4).toLongLong();
        s.spanPrev += b.value(5).toLongLong();
    }

    if (m_type != 2)
        return;
    // The closing vouchers (结转损益, 本年利润 to 利润分配) zero the profit-and-loss
    // accounts: their lines are taken out of the income statement's amounts.
    QSqlQuery c =
        ledgerQuery(m_db,
                    S("SELECT l.AcctID, v.PeriodID, SUM(l.Debit - l.Credit) FROM "
                      "FINDocVoucherLine l JOIN FINDocVoucher v ON v.DocEntry = l.DocEntry "
                      "WHERE v.Kind IN (1, 2) AND v.Status = 2 AND v.PeriodID <= ? "
                      "GROUP BY l.AcctID, v.PeriodID"),
                    {m_period});
    while (c.next()) {
        const qint64 acct = c.value(0).toLongLong();
        const int p = c.value(1).toInt();
        const qint64 net = c.value(2).toLongLong();
        if (p >= m_cur.from && p <= m_cur.to)
            m_closingLines[acct] += net;
        if (p >= m_prev.from && p <= m_prev.to)
            m_closingLinesPrev[acct] += net;
    }
}

std::vector<qint64> Statement::leavesOf(qint64 id) const
{
    std::vector<qint64> out, stack{id};
    while (!stack.empty()) {
        const qint64 a = stack.back();
        stack.pop_back();
        const auto it = m_accounts.find(a);
        if (it == m_accounts.end())
            continue;
        if (it->second.children.empty())
            out.push_back(a);
        else
            stack.insert(stack.end(), it->second.children.begin(), it->second.children.end());
    }
    return out;
}

// Column 1 / 2: the statement's two amount columns.
Amount Statement::balanceAt(qint64 acct, qint64 dacv, int column) const
{
    const auto it = m_bal.find({acct, dacv});
    if (column == 2 && !m_prevBalanceValid)
        return std::nullopt;
    if (it == m_bal.end())
        return 0;
    const Sums &s = it->second;
    if (column == 1)
        return s.opening + s.toPeriod;
    if (m_prevBalanceFromOpening)
        return s.opening - s.ytdDebit + s.ytdCredit;
    return s.opening + s.toPrevEnd;
}

Amount Statement::termAmount(const Term &t, int column) const
{
    const auto acct = m_accounts.find(t.acctId);
    const int side = acct->second.side;
    if (t.fetch == u"SY") {
        const Span &span = column == 1 ? m_cur : m_prev;
        if (!span.valid)
            return std::nullopt;
        const auto &closing = column == 1 ? m_closingLines : m_closingLinesPrev;
        qint64 net = 0;
        if (const auto b = m_bal.find({t.acctId, 0}); b != m_bal.end())
            net = column == 1 ? b->second.spanCur : b->second.spanPrev;
        std::vector<qint64> stack{t.acctId};
        while (!stack.empty()) {
            const qint64 a = stack.back();
            stack.pop_back();
            if (const auto c = closing.find(a); c != closing.end())
                net -= c->second;
            const auto it = m_accounts.find(a);
            if (it == m_accounts.end())
                continue;
            stack.insert(stack.end(), it->second.children.begin(), it->second.children.end());
            // The year's amounts before a mid-year start: what the account's own side moved
            // (the other side held the monthly transfers to 本年利润).
            if (span.withYtd && it->second.children.empty()) {
                for (auto o = m_bal.lower_bound({a, 0}); o != m_bal.end() && o->first.first == a;
                     ++o)
                    net += side > 0 ? o->second.ytdDebit : -o->second.ytdCredit;
            }
        }
        return side * net;
    }
    if (t.fetch == u"QM") {
        // The account as a whole: openings sit on its leaves, movements on its own row.
        if (column == 2 && !m_prevBalanceValid)
            return std::nullopt;
        qint64 total = 0;
        for (const qint64 leaf : leavesOf(t.acctId))
            for (auto o = m_bal.lower_bound({leaf, 0}); o != m_bal.end() && o->first.first == leaf;
                 ++o) {
                const Sums &s = o->second;
                total += column == 2 && m_prevBalanceFromOpening
                             ? s.opening - s.ytdDebit + s.ytdCredit
                             : s.opening;
            }
        if (const auto b = m_bal.find({t.acctId, 0}); b != m_bal.end()) {
            if (column == 1)
                total += b->second.toPeriod;
            else if (!m_prevBalanceFromOpening)
                total += b->second.toPrevEnd;
        }
        return side * total;
    }
    // JQM / DQM: the debit (credit) balances of the leaves, item by item where a leaf
    // carries items.
    const bool debit = t.fetch == u"JQM";
    qint64 total = 0;
    for (const qint64 leaf : leavesOf(t.acctId)) {
        bool items = false;
        for (auto o = m_bal.upper_bound({leaf, 0}); o != m_bal.end() && o->first.first == leaf;
             ++o) {
            items = true;
            const Amount v = balanceAt(leaf, o->first.second, column);
            if (!v)
                return std::nullopt;
            total += debit ? std::max<qint64>(*v, 0) : std::max<qint64>(-*v, 0);
        }
        if (items) {
            // An item account's whole-account opening without an item, if any.
            const auto z = m_bal.find({leaf, 0});
            if (z != m_bal.end() && z->second.opening != 0) {
                const qint64 v = z->second.opening;
                total += debit ? std::max<qint64>(v, 0) : std::max<qint64>(-v, 0);
            }
            continue;
        }
        const Amount v = balanceAt(leaf, 0, column);
        if (!v)
            return std::nullopt;
        total += debit ? std::max<qint64>(*v, 0) : std::max<qint64>(-*v, 0);
    }
    return total;
}

void Statement::computeLines()
{
    std::map<qint64, size_t> index;
    for (size_t i = 0; i < m_lines.size(); ++i)
        index[m_lines[i].itemId] = i;

    for (Line &l : m_lines) {
        if (l.type != 1)
            continue;
        l.a1 = 0;
        l.a2 = 0;
        const auto [from, to] = m_terms.equal_range(l.itemId);
        for (auto it = from; it != to; ++it) {
            const Term &t = it->second;
            const QString where = S("第 %1 行“%2”").arg(l.itemLine.toString(), l.name);
            if (t.fetch != u"QM" && t.fetch != u"JQM" && t.fetch != u"DQM" && t.fetch != u"SY") {
                m_warnings << S("%1：科目 %2 的取数方式“%3”无法识别，未计入。")
                                  .arg(where, t.code, t.fetch);
                continue;
            }
            if (t.acctId == 0 || !m_accounts.count(t.acctId)) {
                m_warnings << S("%1：科目 %2 不在科目表中，未计入。").arg(where, t.code);
                continue;
            }
            for (int column : {1, 2}) {
                Amount &target = column == 1 ? l.a1 : l.a2;
                const Amount v = termAmount(t, column);
                if (!v || !target)
                    target = std::nullopt;
                else
                    *target += t.sign * *v;
            }
        }
    }

    // Sum lines in dependency order; a cycle is refused.
    std::vector<qint64> sumIds;
    for (const Line &l : m_lines)
        if (l.type == 2)
            sumIds.push_back(l.itemId);
    std::multimap<qint64, qint64> members;
    for (const auto &[id, member] : m_sums)
        members.emplace(id, member.first);
    const SumLineOrder order = sumLineOrder(sumIds, members);
    if (order.cycle != 0)
        throw Error(S("报表“%1”的合计行“%2”循环引用了自身，请在报表定义中修改。")
                        .arg(m_name, m_lines[index[order.cycle]].name));
    for (const qint64 id : order.order) {
        Line &l = m_lines[index[id]];
        const auto [from, to] = m_sums.equal_range(id);
        Amount a1 = 0, a2 = 0;
        for (auto it = from; it != to; ++it) {
            const auto member = index.find(it->second.first);
            if (member == index.end())
                continue;
            const Line &m = m_lines[member->second];
            const int sign = it->second.second;
            if (m.a1 && a1)
                *a1 += sign * *m.a1;
            if (m.a2 && a2)
                *a2 += sign * *m.a2;
        }
        const Span &second = m_prev;
        // A comparison column without data stays empty, not zero.
        if (m_type == 1 ? !m_prevBalanceValid : !second.valid)
            a2 = std::nullopt;
        if (m_type == 2 && !m_cur.valid)
            a1 = std::nullopt;
        l.a1 = a1;
        l.a2 = a2;
    }
}

void Statement::checkBalance()
{
    const Line *assets = nullptr, *claims = nullptr;
    for (const Line &l : m_lines) {
        const QString name = l.name.trimmed();
        if (name == u"资产总计")
            assets = &l;
        else if (name.startsWith(u"负债和所有者"))
            claims = &l;
    }
    if (!assets || !claims)
        return;
    const auto diff = [](const Amount &a, const Amount &b) -> QVariant {
        if (!a || !b)
            return QVariant();
        return *a - *b;
    };
    m_diff1 = diff(assets->a1, claims->a1);
    m_diff2 = diff(assets->a2, claims->a2);
    const bool balanced = (m_diff1.isNull() || m_diff1.toLongLong() == 0) &&
                          (m_diff2.isNull() || m_diff2.toLongLong() == 0);
    m_balanced = balanced;
    if (balanced)
        return;

    // The usual cause: first-level accounts with a balance that no line of the template
    // takes (neither the account, one above nor one below it).
    std::set<qint64> covered;
    for (const auto &[item, t] : m_terms)
        if (t.acctId != 0)
            covered.insert(t.acctId);
    const auto isCovered = [&](qint64 id) {
        std::vector<qint64> stack{id};
        while (!stack.empty()) {
            const qint64 a = stack.back();
            stack.pop_back();
            if (covered.count(a))
                return true;
            const auto it = m_accounts.find(a);
            if (it != m_accounts.end())
                stack.insert(stack.end(), it->second.children.begin(), it->second.children.end());
        }
        return false;
    };
    for (const auto &[id, a] : m_accounts) {
        if (a.parent != 0 || isCovered(id))
            continue;
        const Term whole{0, a.code, S("QM"), 1, id};
        const Amount v1 = termAmount(whole, 1), v2 = termAmount(whole, 2);
        if ((v1 && *v1 != 0) || (v2 && *v2 != 0))
            m_uncovered << S("%1 %2").arg(a.code, a.name);
    }
}

QVariant Statement::answer(const SessionInfo &session)
{
    readTemplate();
    requireReadRight(m_db, session, m_type == 1 ? kBalanceSheetObj : kIncomeObj,
                     m_type == 1 ? S("资产负债表") : S("利润表"));
    m_start = ledgerStartPeriod(m_db);
    if (m_start == 0)
        throw Error(S("尚未设置总账启用期间，不能出报表。"));
    if (periodById(m_db, m_period).periodId == 0)
        throw Error(S("会计期间 %1 不存在。").arg(periodText(m_period)));
    if (m_period < m_start)
        throw Error(S("会计期间 %1 早于总账启用期间 %2，没有数据。")
                        .arg(periodText(m_period), periodText(m_start)));
    readAccounts();
    readBalances();
    readValues();
    computeLines();

    const bool small = m_code.contains(u"小企");
    if (m_type == 1) {
        m_caption1 = S("期末余额");
        m_caption2 = small ? S("年初余额") : S("上年年末余额");
        checkBalance();
    } else {
        m_caption1 = small ? S("本年累计金额") : S("本期金额");
        m_caption2 = small ? S("本月金额") : S("上期金额");
    }

    const auto f = [](const char *name, FieldType t) {
        return FieldDef{QString::fromLatin1(name), t, 0, false, false};
    };
    DataPacket lines;
    lines.fields = {f("ItemID", FieldType::Integer),   f("ItemLine", FieldType::Integer),
                    f("ItemName", FieldType::String),  f("Indent", FieldType::Integer),
                    f("ItemType", FieldType::Integer), f("Amount1", FieldType::LargeInt),
                    f("Amount2", FieldType::LargeInt)};
    const auto value = [](const Amount &a) { return a ? QVariant(*a) : QVariant(); };
    for (const Line &l : m_lines)
        lines.rows.push_back(
            {l.itemId, l.itemLine, l.name, l.indent, l.type, value(l.a1), value(l.a2)});

    DataPacket info;
    info.fields = {f("TempletType", FieldType::Integer),  f("TempletCode", FieldType::String),
                   f("TempletName", FieldType::String),   f("Caption1", FieldType::String),
                   f("Caption2", FieldType::String),      f("Balanced", FieldType::Boolean),
                   f("Difference1", FieldType::LargeInt), f("Difference2", FieldType::LargeInt),
                   f("Uncovered", FieldType::String),     f("Warnings", FieldType::String)};
    info.rows.push_back({m_type, m_code, m_name, m_caption1, m_caption2, m_balanced, m_diff1,
                         m_diff2, m_uncovered.join(u'\n'), m_warnings.join(u'\n')});
    return QVariantList{writeDataPacket(lines), writeDataPacket(info)};
}

Amount amountOf(const QVariant &v)
{
    return v.isNull() ? Amount() : Amount(v.toLongLong());
}

QString valueText(const Amount &a)
{
    return a ? yuanText(*a) : S("空");
}

QVariant bindable(const Amount &a)
{
    return a ? QVariant(*a) : QVariant(QMetaType(QMetaType::LongLong));
}

// The hand-filled figures of one template and period: rows ItemID, Amount1, Amount2 (NULL
// clears). Answers the number of lines changed.
int saveValues(QSqlDatabase db, const SessionInfo &session, qint64 templetId, int periodId,
               const DataPacket &rows)
{
    QSqlQuery t = ledgerQuery(
        db, S("SELECT TempletType, TempletName FROM T0200096 WHERE TempletID = ?"), {templetId});
    if (!t.next())
        throw Error(S("报表模板 %1 不存在。").arg(templetId));
    const int type = t.value(0).toInt();
    const QString name = t.value(1).toString().trimmed();
    if (type != 1 && type != 2)
        throw Error(S("报表模板“%1”不是资产负债表或利润表。").arg(name));
    const int objType = type == 1 ? kBalanceSheetObj : kIncomeObj;
    requireRight(db, session, objType, type == 1 ? S("资产负债表") : S("利润表"));

    const LedgerPeriod period = periodById(db, periodId);
    if (period.periodId == 0)
        throw Error(S("会计期间 %1 不存在。").arg(periodText(periodId)));
    const int start = ledgerStartPeriod(db);
    if (start == 0 || periodId < start)
        throw Error(
            S("会计期间 %1 早于总账启用期间，不能填写报表数据。").arg(periodText(periodId)));
    // A closed period's statement is what was reported: it stays as it was.
    if (period.closed)
        throw Error(S("会计期间 %1 已经结账，不能修改报表数据。").arg(periodText(periodId)));

    const PacketColumns col{rows};
    const int cItem = col("ItemID"), c1 = col("Amount1"), c2 = col("Amount2");
    QStringList changes;
    std::set<qint64> seen;
    for (const QVariantList &r : rows.rows) {
        const qint64 itemId = r.value(cItem).toLongLong();
        if (!seen.insert(itemId).second)
            throw Error(S("报表项目 %1 重复出现。").arg(itemId));
        QSqlQuery l = ledgerQuery(db,
                                  S("SELECT ItemLine, ItemName, ItemType FROM T0200097 "
                                    "WHERE TempletID = ? AND ItemID = ?"),
                                  {templetId, itemId});
        if (!l.next())
            throw Error(S("报表“%1”没有项目 %2。").arg(name).arg(itemId));
        const QString where = S("第 %1 行“%2”").arg(l.value(0).toString(), l.value(1).toString());
        if (l.value(2).toInt() != 3)
            throw Error(S("%1不是手工填列的项目，金额由报表公式计算，不能填写。").arg(where));
        const Amount a1 = amountOf(r.value(c1)), a2 = amountOf(r.value(c2));
        Amount old1, old2;
        QSqlQuery o =
            ledgerQuery(db,
                        S("SELECT Amount1, Amount2 FROM FINGLReportValue WHERE TempletID = ? "
                          "AND ItemID = ? AND PeriodID = ?"),
                        {templetId, itemId, periodId});
        if (o.next()) {
            old1 = amountOf(o.value(0));
            old2 = amountOf(o.value(1));
        }
        if (old1 == a1 && old2 == a2)
            continue;
        ledgerQuery(
            db,
            S("DELETE FROM FINGLReportValue WHERE TempletID = ? AND ItemID = ? AND PeriodID = ?"),
            {templetId, itemId, periodId});
        if (a1 || a2)
            ledgerQuery(
                db,
                S("INSERT INTO FINGLReportValue (TempletID, ItemID, PeriodID, Amount1, Amount2) "
                  "VALUES (?, ?, ?, ?, ?)"),
                {templetId, itemId, periodId, bindable(a1), bindable(a2)});
        changes << S("%1：%2 → %3，%4 → %5")
                       .arg(where, valueText(old1), valueText(a1), valueText(old2), valueText(a2));
    }
    if (!changes.isEmpty())
        writeOperationLog(db, session,
                          LogEntry{S("修改"), objType, S("%1/%2").arg(templetId).arg(periodId),
                                   S("%1 %2 手工填列：").arg(name, periodText(periodId)) +
                                       changes.join(S("；"))});
    return int(changes.size());
}

} // namespace

SumLineOrder sumLineOrder(const std::vector<qint64> &sumLines,
                          const std::multimap<qint64, qint64> &members)
{
    SumLineOrder out;
    const std::set<qint64> isSum(sumLines.begin(), sumLines.end());
    std::map<qint64, int> state; // 1 visiting, 2 done
    std::function<bool(qint64)> visit = [&](qint64 id) {
        int &st = state[id];
        if (st == 2)
            return true;
        if (st == 1) {
            out.cycle = id;
            return false;
        }
        st = 1;
        const auto [from, to] = members.equal_range(id);
        for (auto it = from; it != to; ++it)
            if (isSum.count(it->second) && !visit(it->second))
                return false;
        state[id] = 2;
        out.order.push_back(id);
        return true;
    };
    for (const qint64 id : sumLines)
        if (!visit(id))
            break;
    return out;
}

std::optional<QVariant> ServerConnection::statementsCall(const QString &operation,
                                                         QVariantList &args)
{
    const auto is = [&operation](const char *name) {
        return operation.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (!is("Statement") && !is("SaveStatementValues"))
        return std::nullopt;
    bool okT = false, okP = false;
    const qint64 templet = args.value(0).toLongLong(&okT);
    const int period = args.value(1).toInt(&okP);
    if (!okT || !okP || templet <= 0 || period <= 0)
        throw Error(S("操作“%1”需要报表模板和会计期间。").arg(operation));
    if (is("Statement")) {
        // Every figure from one snapshot, whatever is posted meanwhile.
        const ReadScope snapshot(m_db, m_server.dialect(), m_inTransaction);
        return Statement(m_db, templet, period).answer(m_session);
    }
    if (args.size() < 3)
        throw Error(S("操作“%1”缺少第 3 个参数。").arg(operation));
    const DataPacket rows = readDataPacket(args[2].toString());
    refuseOnReadOnly();
    WriteScope work(m_db, m_server.dialect(), m_inTransaction);
    const int changed = saveValues(m_db, m_session, templet, period, rows);
    work.commit();
    return changed;
}

} // namespace vexa::server
