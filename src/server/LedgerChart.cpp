// The chart of accounts after the template load and the opening balances: AddAccount,
// AccountUsage, ModifyAccount, DeleteAccount, SaveOpenings, OpeningTrialBalance.
#include "AppServer.h"
#include "DataPacket.h"
#include "FieldDef.h"
#include "LedgerCommon.h"
#include "SqlDialect.h"
#include "StorageErrors.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>
#include <map>
#include <optional>
#include <set>

namespace vexa::server {

namespace {

using S = QString;

constexpr int kAccountObj = 2001;
constexpr int kOpeningObj = 2007;
constexpr int kNameBytes = 80; // T0102010.AcctName
constexpr int kCodeBytes = 40; // T0102010.AcctCode

// Income, expense and cost-of-sales types are control accounts by balance side, as the
// template load marks them.
bool isControlType(const QString &typeCode)
{
    return typeCode == u"SY" || typeCode == u"SR" || typeCode == u"SRFY" || typeCode == u"ZCH";
}

QVariant scalar(QSqlDatabase db, const QString &sql, const QVariantList &binds = {})
{
    QSqlQuery q = ledgerQuery(db, sql, binds);
    return q.next() ? q.value(0) : QVariant();
}

bool exists(QSqlDatabase db, const QString &sql, const QVariantList &binds)
{
    return ledgerQuery(db, sql, binds).next();
}

QString yuan(qint64 fen)
{
    const qint64 whole = fen / 100, cents = fen % 100;
    return S("%1%2.%3")
        .arg(fen < 0 ? S("-") : S())
        .arg(qAbs(whole))
        .arg(qAbs(cents), 2, 10, QChar(u'0'));
}

QString sideText(const QString &dc)
{
    return dc == u"C" ? S("贷") : S("借");
}

QString yesNo(bool b)
{
    return b ? S("是") : S("否");
}

struct Account
{
    qint64 id = 0;
    QString code, name, dc, currCode, typeCode, acctType;
    qint64 parentId = 0;
    int level = 0;
    bool leaf = true, frozen = false, fixed = false;
    int controlType = 0;
    int acItemId = 0;

    QString label() const { return S("“%1 %2”").arg(code, name); }
};

const QString kAccountColumns =
    S("SELECT AcctID, AcctCode, AcctName, DC, CurrCode, AcctTypeCode, AcctType, ParentID, "
      "Levels, IsNode, Frozen, Fixed, ControlType, ACItemID FROM T0102010 ");

std::optional<Account> readAccount(QSqlDatabase db, const QString &where, const QVariant &key)
{
    QSqlQuery q = ledgerQuery(db, kAccountColumns + where, {key});
    if (!q.next())
        return std::nullopt;
    Account a;
    a.id = q.value(0).toLongLong();
    a.code = q.value(1).toString();
    a.name = q.value(2).toString();
    a.dc = q.value(3).toString().trimmed();
    a.currCode = q.value(4).toString();
    a.typeCode = q.value(5).toString();
    a.acctType = q.value(6).toString();
    a.parentId = q.value(7).toLongLong();
    a.level = q.value(8).toInt();
    a.leaf = q.value(9).toInt() != 0;
    a.frozen = q.value(10).toInt() != 0;
    a.fixed = q.value(11).toInt() != 0;
    a.controlType = q.value(12).toInt();
    a.acItemId = q.value(13).toInt();
    return a;
}

Account requireAccount(QSqlDatabase db, qint64 id)
{
    if (auto a = readAccount(db, S("WHERE AcctID = ?"), id))
        return *a;
    throw Error(S("科目（AcctID %1）不存在。").arg(id));
}

struct Usage
{
    bool openings = false, lines = false, balances = false;
    int children = 0;
    bool used() const { return openings || lines || balances; }
};

Usage usageOf(QSqlDatabase db, qint64 id)
{
    Usage u;
    u.openings = exists(db, S("SELECT 1 FROM GLOpening WHERE AcctID = ?"), {id});
    u.lines = exists(db, S("SELECT 1 FROM FINDocVoucherLine WHERE AcctID = ?"), {id});
    u.balances = exists(db, S("SELECT 1 FROM GLBalance WHERE AcctID = ?"), {id});
    u.children = scalar(db, S("SELECT COUNT(*) FROM T0102010 WHERE ParentID = ?"), {id}).toInt();
    return u;
}

// Openings or lines on the account or any account below it (codes extend their parent's).
bool subtreeHasEntries(QSqlDatabase db, const Account &a)
{
    const QString below = S("SELECT AcctID FROM T0102010 WHERE SUBSTR(AcctCode, 1, ?) = ?");
    const QVariantList binds{int(a.code.size()), a.code};
    return exists(db, S("SELECT 1 FROM GLOpening WHERE AcctID IN (%1)").arg(below), binds) ||
           exists(db, S("SELECT 1 FROM FINDocVoucherLine WHERE AcctID IN (%1)").arg(below), binds);
}

QString baseCurrency(QSqlDatabase db)
{
    return scalar(db, S("SELECT SysCur FROM SysInitInfo")).toString();
}

void requireCurrency(QSqlDatabase db, const QString &code)
{
    if (code.isEmpty() || code == baseCurrency(db))
        return;
    if (!exists(db, S("SELECT 1 FROM DMCurrency WHERE CurrCode = ?"), {code}))
        throw Error(S("币别“%1”不存在。").arg(code));
}

// The name of auxiliary list id (1-5), or a refusal.
QString requireItemList(QSqlDatabase db, int id)
{
    if (id < 1 || id > 5)
        throw Error(S("辅助核算类别“%1”不存在，只能是客户、供应商、部门、职员或项目。").arg(id));
    QSqlQuery q = ledgerQuery(db, S("SELECT ACheckDesc FROM T0102055 WHERE ACheckID = ?"), {id});
    if (!q.next())
        throw Error(S("辅助核算类别“%1”不存在。").arg(id));
    return q.value(0).toString();
}

void requireName(const QString &name)
{
    if (name.isEmpty())
        throw Error(S("科目名称不能为空。"));
    if (gbkByteLength(name) > kNameBytes)
        throw Error(
            S("科目名称“%1”超过 %2 个字节（一个汉字算 2 个字节）。").arg(name).arg(kNameBytes));
}

QString requireSide(const QString &dc)
{
    const QString side = dc.trimmed().toUpper();
    if (side != u"D" && side != u"C")
        throw Error(S("余额方向只能是借（D）或贷（C）。"));
    return side;
}

// The one row of a packet argument, with its values by field name.
struct PacketRow
{
    DataPacket packet;
    int row = 0;
    bool has(const char *name) const { return at(name) >= 0; }
    int at(const char *name) const { return indexOfField(packet.fields, QLatin1String(name)); }
    QVariant value(const char *name) const
    {
        const int i = at(name);
        return i < 0 ? QVariant() : packet.rows[size_t(row)].value(i);
    }
    QString text(const char *name) const { return value(name).toString().trimmed(); }
};

PacketRow oneRow(const QVariantList &args, const QString &operation)
{
    if (args.isEmpty())
        throw Error(S("操作“%1”缺少第 1 个参数。").arg(operation));
    PacketRow r{readDataPacket(args[0].toString()), 0};
    if (r.packet.rows.size() != 1)
        throw Error(S("操作“%1”的数据应为一行。").arg(operation));
    return r;
}

qint64 idArgument(const QVariantList &args, const QString &operation)
{
    bool ok = false;
    const qint64 id = args.isEmpty() ? 0 : args[0].toLongLong(&ok);
    if (!ok || id <= 0)
        throw Error(S("操作“%1”需要科目的 AcctID。").arg(operation));
    return id;
}

// Whole fen from a packet value: integer fields only, so an amount never passed through a
// binary fraction on its way here.
qint64 fenValue(const DataPacket &p, const QVariantList &row, const char *name)
{
    const int i = indexOfField(p.fields, QLatin1String(name));
    if (i < 0 || !row.value(i).isValid())
        return 0;
    if (!isIntegerType(p.fields[i].type))
        throw Error(
            S("期初余额的“%1”须为整数分（LargeInt），不能用小数。").arg(QLatin1String(name)));
    return row.value(i).toLongLong();
}

qint64 nextAccountId(QSqlDatabase db, const SqlDialect &dialect)
{
    qint64 next =
        scalar(db, S("SELECT NextID FROM EntityCounter WHERE Name = 'AcctID'")).toLongLong();
    // The template load copies its keys without the counter.
    next = std::max(
        next, scalar(db, S("SELECT COALESCE(MAX(AcctID), 0) + 1 FROM T0102010")).toLongLong());
    ledgerQuery(db, dialect.upsert(S("EntityCounter"), {S("Name")}, {S("NextID")}),
                {S("AcctID"), next + 1});
    return next;
}

QString usedMessage(const Account &a)
{
    return S("科目%1已有期初余额、凭证分录或余额，不能删除。").arg(a.label());
}

} // namespace

// ---- Code levels ---------------------------------------------------------------------

QList<int> chartLevelEnds(QSqlDatabase db)
{
    // No setting of its own: the lengths the chart already uses (the template's or an
    // import's), 4 then 2 per level where the chart has no account yet.
    std::map<int, std::set<int>> seen;
    QSqlQuery q =
        ledgerQuery(db, S("SELECT Levels, LENGTH(AcctCode) FROM T0102010 "
                          "WHERE Levels BETWEEN 1 AND 32 GROUP BY Levels, LENGTH(AcctCode)"));
    while (q.next())
        seen[q.value(0).toInt()].insert(q.value(1).toInt());
    const int depth = std::max(6, seen.empty() ? 0 : seen.rbegin()->first);
    QList<int> ends;
    for (int level = 1; level <= depth; ++level) {
        const int previous = ends.isEmpty() ? 0 : ends.back();
        int end = previous + (level == 1 ? 4 : 2);
        const auto it = seen.find(level);
        if (it != seen.end() && it->second.size() == 1 && *it->second.begin() > previous)
            end = *it->second.begin();
        ends.append(end);
    }
    return ends;
}

QString levelText(const QList<int> &ends)
{
    QStringList parts;
    int previous = 0;
    for (int end : ends) {
        parts << QString::number(end - previous);
        previous = end;
    }
    return parts.join(u'-');
}

// ---- Rules shared with apply-updates ------------------------------------------------

void refuseUsedAccountDelete(QSqlDatabase db, qint64 acctId)
{
    const std::optional<Account> a = readAccount(db, S("WHERE AcctID = ?"), acctId);
    if (a && usageOf(db, acctId).used())
        throw Error(usedMessage(*a));
}

void refuseUsedAccountChange(QSqlDatabase db, qint64 acctId, const QStringList &changed)
{
    static const QStringList kept = {S("AcctCode"), S("ParentID"), S("DC"),
                                     S("CurrCode"), S("ACItemID"), S("AcctType")};
    bool touches = false;
    for (const QString &f : changed)
        touches = touches || kept.contains(f, Qt::CaseInsensitive);
    if (!touches)
        return;
    const std::optional<Account> a = readAccount(db, S("WHERE AcctID = ?"), acctId);
    if (a && usageOf(db, acctId).used())
        throw Error(S("科目%1已有期初余额、凭证分录或余额，不能修改代码、上级、余额方向、币别、"
                      "类别或辅助核算。")
                        .arg(a->label()));
}

bool ledgerHasEntries(QSqlDatabase db)
{
    return exists(db, S("SELECT 1 FROM GLOpening"), {}) ||
           exists(db, S("SELECT 1 FROM FINDocVoucherLine"), {}) ||
           exists(db, S("SELECT 1 FROM GLBalance"), {});
}

OpeningTotals openingTotals(QSqlDatabase db)
{
    OpeningTotals t;
    // Per account, the net of its items: an account's balance is on one side.
    QSqlQuery q = ledgerQuery(db, S("SELECT o.AcctID, SUM(o.Balance), "
                                    "SUM(o.Balance - o.YtdDebit + o.YtdCredit) FROM GLOpening o "
                                    "JOIN T0102010 a ON a.AcctID = o.AcctID "
                                    "WHERE a.IsNode = 1 AND o.CurrCode = '' GROUP BY o.AcctID"));
    while (q.next()) {
        const qint64 opening = q.value(1).toLongLong(), year = q.value(2).toLongLong();
        (opening >= 0 ? t.openingDebit : t.openingCredit) += qAbs(opening);
        (year >= 0 ? t.yearDebit : t.yearCredit) += qAbs(year);
    }
    return t;
}

// ---- The operations ------------------------------------------------------------------

std::optional<QVariant> ServerConnection::chartCall(const QString &operation, QVariantList &args)
{
    auto is = [&operation](const char *name) {
        return operation.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    const SqlDialect &dialect = m_server.dialect();

    if (is("AccountUsage")) {
        const Account a = requireAccount(m_db, idArgument(args, operation));
        const Usage u = usageOf(m_db, a.id);
        DataPacket p;
        p.fields = {FieldDef{S("HasOpenings"), FieldType::Boolean},
                    FieldDef{S("HasLines"), FieldType::Boolean},
                    FieldDef{S("HasBalances"), FieldType::Boolean},
                    FieldDef{S("Children"), FieldType::Integer}};
        p.rows.push_back({u.openings, u.lines, u.balances, u.children});
        return writeDataPacket(p);
    }

    if (is("OpeningTrialBalance")) {
        const OpeningTotals t = openingTotals(m_db);
        DataPacket p;
        for (const char *name : {"OpeningDebit", "OpeningCredit", "YearDebit", "YearCredit"})
            p.fields.append(FieldDef{QString::fromLatin1(name), FieldType::LargeInt});
        p.fields.append(FieldDef{S("Balanced"), FieldType::Boolean});
        p.rows.push_back(
            {t.openingDebit, t.openingCredit, t.yearDebit, t.yearCredit, t.balanced()});
        return writeDataPacket(p);
    }

    if (is("AddAccount")) {
        const PacketRow in = oneRow(args, operation);
        const bool moveBalances = args.size() > 1 && args[1].toBool();
        refuseOnReadOnly();
        WriteScope work(m_db, dialect, m_inTransaction);
        requireRight(m_db, m_session, kAccountObj, S("会计科目"));

        const QString code = in.text("AcctCode");
        const QString name = in.text("AcctName");
        if (code.isEmpty())
            throw Error(S("科目代码不能为空。"));
        if (gbkByteLength(code) > kCodeBytes || code.contains(u' ') || code.contains(u'\''))
            throw Error(S("科目代码“%1”无效。").arg(code));
        requireName(name);
        const QList<int> ends = chartLevelEnds(m_db);
        const int level = int(ends.indexOf(int(code.size()))) + 1;
        if (level == 0)
            throw Error(S("科目代码“%1”有 %2 位，与级次长度 %3 不符。")
                            .arg(code)
                            .arg(code.size())
                            .arg(levelText(ends)));
        if (readAccount(m_db, S("WHERE AcctCode = ?"), code))
            throw Error(S("科目代码“%1”已经存在。").arg(code));

        Account a;
        a.code = code;
        a.name = name;
        a.level = level;
        std::optional<Account> parent;
        QString typeDc;
        if (level > 1) {
            const QString parentCode = code.left(ends[level - 2]);
            parent = readAccount(m_db, S("WHERE AcctCode = ?"), parentCode);
            if (!parent)
                throw Error(S("上级科目“%1”不存在。").arg(parentCode));
            a.parentId = parent->id;
            a.typeCode = parent->typeCode;
            a.acctType = parent->acctType;
            a.controlType = parent->controlType;
        } else {
            // A first-level account is the user's own: it needs its type.
            a.typeCode = in.text("AcctTypeCode");
            if (a.typeCode.isEmpty())
                throw Error(S("一级科目须指定科目类别。"));
            QSqlQuery t = ledgerQuery(m_db,
                                      S("SELECT AcctType, AcctTypeDC FROM T0102011 "
                                        "WHERE AcctTypeCode = ?"),
                                      {a.typeCode});
            if (!t.next())
                throw Error(S("科目类别“%1”不存在。").arg(a.typeCode));
            a.acctType = t.value(0).toString();
            typeDc = t.value(1).toString().trimmed();
        }
        a.dc =
            requireSide(in.text("DC").isEmpty() ? (parent ? parent->dc : typeDc) : in.text("DC"));
        if (level == 1)
            a.controlType = isControlType(a.typeCode) ? (a.dc == u"C" ? 1 : 2) : 0;
        a.currCode = in.has("CurrCode") ? in.text("CurrCode")
                                        : (parent ? parent->currCode : baseCurrency(m_db));
        requireCurrency(m_db, a.currCode);
        a.frozen = in.value("Frozen").toBool();

        Usage parentUsage;
        if (parent && parent->leaf)
            parentUsage = usageOf(m_db, parent->id);
        const bool moving = parentUsage.used();
        // Moved entries keep their items, so the new account keeps the parent's list.
        a.acItemId = in.value("ACItemID").isValid() ? in.value("ACItemID").toInt()
                                                    : (moving ? parent->acItemId : 0);
        QString itemList;
        if (a.acItemId != 0)
            itemList = requireItemList(m_db, a.acItemId);
        if (moving) {
            if (!moveBalances)
                throw Error(S("科目%1已有期初余额或凭证分录，增加下级科目后将转入新科目“%2 %3”。")
                                .arg(parent->label(), code, name));
            if (a.acItemId != parent->acItemId &&
                (exists(m_db, S("SELECT 1 FROM GLOpening WHERE AcctID = ? AND DacvID <> 0"),
                        {parent->id}) ||
                 exists(m_db, S("SELECT 1 FROM FINDocVoucherLine WHERE AcctID = ? AND DacvID <> 0"),
                        {parent->id})))
                throw Error(
                    S("科目%1的期初余额或凭证分录按核算项目记录，新科目须采用相同的辅助核算。")
                        .arg(parent->label()));
        }

        a.id = nextAccountId(m_db, dialect);
        const bool foreign = !a.currCode.isEmpty() && a.currCode != baseCurrency(m_db);
        ledgerQuery(
            m_db,
            S("INSERT INTO T0102010 (AcctID, AcctCode, AcctName, ParentID, Levels, IsNode, "
              "LevelCode, AcctType, AcctTypeCode, DC, CurrCode, ACurrAcct, AdjustRate, QtyEnter, "
              "IsControl, ControlType, IsEquivalent, InFull, Budget, Frozen, Fixed, DeleteTag, "
              "ComeAndGoCheck, IsCostRules, ACItemID, ACItemDesc) VALUES (?, ?, ?, ?, ?, 1, ?, "
              "?, ?, ?, ?, ?, 0, 0, 0, ?, 0, 1, 0, ?, 0, 0, 0, 0, ?, ?)"),
            {a.id, code, name, parent ? QVariant(parent->id) : QVariant(), level, code, a.acctType,
             a.typeCode, a.dc, a.currCode, int(foreign),
             a.controlType ? QVariant(a.controlType) : QVariant(), int(a.frozen), a.acItemId,
             itemList.isEmpty() ? QVariant() : QVariant(itemList)});
        QString detail = S("科目 %1 %2，余额方向%3").arg(code, name, sideText(a.dc));
        if (!a.currCode.isEmpty())
            detail += S("，币别 %1").arg(a.currCode);
        if (!itemList.isEmpty())
            detail += S("，辅助核算 %1").arg(itemList);
        if (a.frozen)
            detail += S("，封存");
        if (parent) {
            ledgerQuery(m_db, S("UPDATE T0102010 SET IsNode = 0, InFull = 0 WHERE AcctID = ?"),
                        {parent->id});
            if (moving) {
                ledgerQuery(m_db, S("UPDATE GLOpening SET AcctID = ? WHERE AcctID = ?"),
                            {a.id, parent->id});
                ledgerQuery(m_db, S("UPDATE FINDocVoucherLine SET AcctID = ? WHERE AcctID = ?"),
                            {a.id, parent->id});
                // The parent's balances stay as the sum of its (one) child.
                ledgerQuery(m_db,
                            S("INSERT INTO GLBalance (AcctID, PeriodID, DacvID, Debit, Credit, "
                              "LineCount) SELECT ?, PeriodID, DacvID, Debit, Credit, LineCount "
                              "FROM GLBalance "
                              "WHERE AcctID = ?"),
                            {a.id, parent->id});
                detail +=
                    S("；上级科目%1的期初余额、凭证分录和余额已转入本科目").arg(parent->label());
            }
        }
        writeOperationLog(m_db, m_session, {S("新增"), kAccountObj, code, detail});
        work.commit();
        return a.id;
    }

    if (is("ModifyAccount")) {
        const PacketRow in = oneRow(args, operation);
        refuseOnReadOnly();
        WriteScope work(m_db, dialect, m_inTransaction);
        requireRight(m_db, m_session, kAccountObj, S("会计科目"));
        const Account a = requireAccount(m_db, in.value("AcctID").toLongLong());
        Account to = a;
        if (in.has("AcctName")) {
            to.name = in.text("AcctName");
            requireName(to.name);
        }
        if (in.has("Frozen"))
            to.frozen = in.value("Frozen").toBool();
        if (in.has("DC"))
            to.dc = requireSide(in.text("DC"));
        if (in.has("CurrCode")) {
            to.currCode = in.text("CurrCode");
            requireCurrency(m_db, to.currCode);
        }
        QString itemList;
        if (in.has("ACItemID")) {
            to.acItemId = in.value("ACItemID").toInt();
            if (to.acItemId != 0)
                itemList = requireItemList(m_db, to.acItemId);
        }
        const bool booksChange =
            to.dc != a.dc || to.currCode != a.currCode || to.acItemId != a.acItemId;
        if (booksChange && subtreeHasEntries(m_db, a))
            throw Error(S("科目%1已有期初余额或凭证分录，不能修改余额方向、币别或辅助核算。")
                            .arg(a.label()));
        QStringList changes;
        if (to.name != a.name)
            changes << S("科目名称 %1 → %2").arg(a.name, to.name);
        if (to.frozen != a.frozen)
            changes << S("封存 %1 → %2").arg(yesNo(a.frozen), yesNo(to.frozen));
        if (to.dc != a.dc)
            changes << S("余额方向 %1 → %2").arg(sideText(a.dc), sideText(to.dc));
        if (to.currCode != a.currCode)
            changes << S("币别 %1 → %2").arg(a.currCode, to.currCode);
        if (to.acItemId != a.acItemId)
            changes << S("辅助核算 %1 → %2").arg(a.acItemId).arg(to.acItemId);
        if (changes.isEmpty())
            return 0;
        const bool foreign = !to.currCode.isEmpty() && to.currCode != baseCurrency(m_db);
        ledgerQuery(
            m_db,
            S("UPDATE T0102010 SET AcctName = ?, Frozen = ?, DC = ?, CurrCode = ?, ACurrAcct = ?, "
              "ACItemID = ?, ACItemDesc = ? WHERE AcctID = ?"),
            {to.name, int(to.frozen), to.dc, to.currCode, int(foreign), to.acItemId,
             itemList.isEmpty() ? QVariant() : QVariant(itemList), a.id});
        writeOperationLog(m_db, m_session,
                          {S("修改"), kAccountObj, a.code, changes.join(QStringLiteral("；"))});
        work.commit();
        return int(changes.size());
    }

    if (is("DeleteAccount")) {
        const qint64 id = idArgument(args, operation);
        refuseOnReadOnly();
        WriteScope work(m_db, dialect, m_inTransaction);
        requireRight(m_db, m_session, kAccountObj, S("会计科目"));
        const Account a = requireAccount(m_db, id);
        const Usage u = usageOf(m_db, id);
        if (u.children > 0)
            throw Error(S("科目%1有下级科目，不能删除。").arg(a.label()));
        if (u.used())
            throw Error(usedMessage(a));
        if (a.fixed)
            throw Error(S("科目%1是固定科目，不能删除。").arg(a.label()));
        ledgerQuery(m_db, S("DELETE FROM AcctFullName WHERE AcctID = ?"), {id});
        ledgerQuery(m_db, S("DELETE FROM T0102010 WHERE AcctID = ?"), {id});
        if (a.parentId > 0 &&
            !exists(m_db, S("SELECT 1 FROM T0102010 WHERE ParentID = ?"), {a.parentId}))
            ledgerQuery(m_db, S("UPDATE T0102010 SET IsNode = 1, InFull = 1 WHERE AcctID = ?"),
                        {a.parentId});
        writeOperationLog(m_db, m_session,
                          {S("删除"), kAccountObj, a.code, S("科目 %1 %2").arg(a.code, a.name)});
        work.commit();
        return true;
    }

    if (is("SaveOpenings")) {
        if (args.isEmpty())
            throw Error(S("操作“%1”缺少第 1 个参数。").arg(operation));
        const DataPacket p = readDataPacket(args[0].toString());
        for (const char *need : {"AcctID", "DacvID", "Balance"})
            if (indexOfField(p.fields, QLatin1String(need)) < 0)
                throw Error(S("期初余额数据缺少字段“%1”。").arg(QLatin1String(need)));
        refuseOnReadOnly();
        WriteScope work(m_db, dialect, m_inTransaction);
        requireRight(m_db, m_session, kOpeningObj, S("科目期初余额"));
        if (exists(m_db, S("SELECT 1 FROM FINDocVoucher WHERE Posted = 1"), {}))
            throw Error(S("已有凭证记账，期初余额已锁定，不能修改。"));
        const int start = ledgerStartPeriod(m_db);
        const LedgerPeriod startPeriod = periodById(m_db, start);
        if (startPeriod.periodId == 0)
            throw Error(S("账套还没有指定财务系统启用会计期间，不能录入期初余额。"));
        const bool midYear = startPeriod.number > 1;
        const QString base = baseCurrency(m_db);

        const int acct = indexOfField(p.fields, S("AcctID"));
        const int dacv = indexOfField(p.fields, S("DacvID"));
        const int curr = indexOfField(p.fields, S("CurrCode"));
        std::map<qint64, Account> accounts;
        std::map<QString, QStringList> changes; // by account code, in code order
        std::set<std::pair<qint64, qint64>> keys;
        int changed = 0;
        for (const QVariantList &row : p.rows) {
            const qint64 id = row.value(acct).toLongLong();
            auto found = accounts.find(id);
            if (found == accounts.end())
                found = accounts.emplace(id, requireAccount(m_db, id)).first;
            const Account &a = found->second;
            if (!a.leaf)
                throw Error(S("科目%1不是末级科目，期初余额只能录入在末级科目上。").arg(a.label()));
            const qint64 item = row.value(dacv).toLongLong();
            QString itemName;
            if (a.acItemId != 0) {
                if (item == 0)
                    throw Error(
                        S("科目%1按辅助核算项目核算，期初余额须按项目录入。").arg(a.label()));
                QSqlQuery q = ledgerQuery(m_db,
                                          S("SELECT DacvCode, DacvDesc FROM T0102053 "
                                            "WHERE DacvID = ? AND ACheckID = ?"),
                                          {item, a.acItemId});
                if (!q.next())
                    throw Error(
                        S("核算项目（%1）不属于科目%2的辅助核算。").arg(item).arg(a.label()));
                itemName = q.value(0).toString() + u' ' + q.value(1).toString();
            } else if (item != 0) {
                throw Error(S("科目%1没有辅助核算，不能按核算项目录入期初余额。").arg(a.label()));
            }
            const QString currCode = curr < 0 ? QString() : row.value(curr).toString().trimmed();
            if (!currCode.isEmpty())
                throw Error(S("期初余额按本位币录入（科目%1）；外币科目的原币金额填在原币余额中。")
                                .arg(a.label()));
            if (!keys.insert({id, item}).second)
                throw Error(S("科目%1的同一核算项目在期初余额数据中出现了两次。").arg(a.label()));
            const qint64 balance = fenValue(p, row, "Balance");
            const qint64 ytdDebit = fenValue(p, row, "YtdDebit");
            const qint64 ytdCredit = fenValue(p, row, "YtdCredit");
            const qint64 fcBalance = fenValue(p, row, "FCBalance");
            if (!midYear && (ytdDebit != 0 || ytdCredit != 0))
                throw Error(S("财务系统从年初第一期启用，没有累计借方和累计贷方（科目%1）。")
                                .arg(a.label()));
            if (fcBalance != 0 && (a.currCode.isEmpty() || a.currCode == base))
                throw Error(S("科目%1不核算外币，不能录入原币余额。").arg(a.label()));

            const QVariantList key{id, item, QStringLiteral("")}; // not null: a key column
            QSqlQuery old =
                ledgerQuery(m_db,
                            S("SELECT Balance, YtdDebit, YtdCredit, FCBalance FROM GLOpening "
                              "WHERE AcctID = ? AND DacvID = ? AND CurrCode = ?"),
                            key);
            const bool had = old.next();
            const qint64 was[4] = {
                had ? old.value(0).toLongLong() : 0, had ? old.value(1).toLongLong() : 0,
                had ? old.value(2).toLongLong() : 0, had ? old.value(3).toLongLong() : 0};
            old.finish();
            const qint64 now[4] = {balance, ytdDebit, ytdCredit, fcBalance};
            if (std::equal(std::begin(was), std::end(was), std::begin(now)))
                continue;
            const bool zero = balance == 0 && ytdDebit == 0 && ytdCredit == 0 && fcBalance == 0;
            if (had)
                ledgerQuery(
                    m_db,
                    S("DELETE FROM GLOpening WHERE AcctID = ? AND DacvID = ? AND CurrCode = ?"),
                    key);
            if (!zero)
                ledgerQuery(m_db,
                            S("INSERT INTO GLOpening (AcctID, DacvID, CurrCode, Balance, YtdDebit, "
                              "YtdCredit, FCBalance) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                            key + QVariantList{balance, ytdDebit, ytdCredit, fcBalance});
            ++changed;
            static const char *const labels[4] = {"期初余额", "累计借方", "累计贷方", "原币余额"};
            QStringList parts;
            for (int i = 0; i < 4; ++i)
                if (was[i] != now[i])
                    parts << S("%1 %2 → %3")
                                 .arg(QString::fromUtf8(labels[i]), yuan(was[i]), yuan(now[i]));
            changes[a.code + u' ' + a.name]
                << (itemName.isEmpty() ? QString() : itemName + S("：")) + parts.join(S("，"));
        }
        for (const auto &[label, parts] : changes)
            writeOperationLog(
                m_db, m_session,
                {S("修改"), kOpeningObj, label.section(u' ', 0, 0), parts.join(S("；"))});
        work.commit();
        return changed;
    }

    return std::nullopt;
}

} // namespace vexa::server
