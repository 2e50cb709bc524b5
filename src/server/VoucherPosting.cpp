#include "VoucherPosting.h"

#include "AppServer.h"
#include "DataPacket.h"
#include "LedgerCommon.h"
#include "SqlDialect.h"
#include "SqliteStatement.h"
#include "StorageErrors.h"
#include "VoucherRules.h"

#include <vexa/Error.h>

#include <QDateTime>
#include <QSet>
#include <QSqlError>
#include <algorithm>
#include <memory>
#include <sqlite3.h>
#include <vector>

namespace vexa::server {

namespace {

const QString kPosting = QStringLiteral("无法记账");

[[noreturn]] void failed(const QSqlQuery &q, const QString &what)
{
    throw Error(QStringLiteral("%1：%2").arg(what, databaseErrorText(q.lastError(), q.driver())));
}

QSqlQuery prepared(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        failed(q, kPosting);
    return q;
}

void execBound(QSqlQuery &q, std::initializer_list<QVariant> binds)
{
    int i = 0;
    for (const QVariant &v : binds)
        q.bindValue(i++, v);
    if (!q.exec())
        failed(q, kPosting);
}

FieldDef plain(FieldType type)
{
    return FieldDef{QString(), type, 0, false, false};
}

QString text(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString();
}

struct Target
{
    int docEntry = 0;
    QString numCa;
    int docNum = 0;
    int periodId = 0;
    bool cashierSigned = false;
};

struct BalanceKey
{
    int acctId;
    int periodId;
    int dacvId;
    bool operator==(const BalanceKey &) const = default;
};

size_t qHash(const BalanceKey &k, size_t seed = 0)
{
    return qHashMulti(seed, k.acctId, k.periodId, k.dacvId);
}

struct Movement
{
    qint64 debit = 0;
    qint64 credit = 0;
    qint64 lines = 0; // the detail ledger places its pages by these counts
};

// The posted lines summed per account (and each account above it), period and item, so
// the balances take one write per row whatever the number of lines.
class BalanceChanges
{
public:
    explicit BalanceChanges(const LedgerChart &chart) : m_chart(chart) {}

    void add(const Target &v, int acctId, int dacvId, qint64 debit, qint64 credit)
    {
        const QList<int> &chain = chainOf(v, acctId);
        for (const int a : chain) {
            Movement &m = m_rows[BalanceKey{a, v.periodId, 0}];
            m.debit += debit;
            m.credit += credit;
            ++m.lines;
        }
        if (dacvId > 0) {
            Movement &m = m_rows[BalanceKey{acctId, v.periodId, dacvId}];
            m.debit += debit;
            m.credit += credit;
            ++m.lines;
        }
    }

    void write(QSqlDatabase db) const
    {
        QSqlQuery update = prepared(
            db, QStringLiteral("UPDATE GLBalance SET Debit = Debit + ?, Credit = Credit + ?, "
                               "LineCount = LineCount + ? "
                               "WHERE AcctID = ? AND PeriodID = ? AND DacvID = ?"));
        QSqlQuery insert = prepared(
            db, QStringLiteral("INSERT INTO GLBalance (AcctID, PeriodID, DacvID, Debit, Credit, "
                               "LineCount) VALUES (?, ?, ?, ?, ?, ?)"));
        for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
            const BalanceKey &k = it.key();
            const Movement &m = it.value();
            execBound(update, {m.debit, m.credit, m.lines, k.acctId, k.periodId, k.dacvId});
            if (update.numRowsAffected() == 0)
                execBound(insert, {k.acctId, k.periodId, k.dacvId, m.debit, m.credit, m.lines});
        }
    }

private:
    const QList<int> &chainOf(const Target &v, int acctId)
    {
        auto found = m_chains.find(acctId);
        if (found != m_chains.end())
            return *found;
        const auto leaf = m_chart.find(acctId);
        const QString label = voucherLabel(v.numCa, v.docNum);
        if (leaf == m_chart.end())
            throw Error(QStringLiteral("%1的分录科目已不存在，不能记账。").arg(label));
        if (!leaf->leaf)
            throw Error(
                QStringLiteral("%1的科目“%2 %3”已有下级科目，请把分录改到下级科目后再记账。")
                    .arg(label, leaf->code, leaf->name));
        QList<int> chain;
        for (int a = acctId; a != 0;) {
            if (chain.contains(a) || chain.size() > 64)
                throw Error(
                    QStringLiteral("科目“%1”的上级科目关系有循环，不能记账。").arg(leaf->code));
            chain.append(a);
            const auto it = m_chart.find(a);
            if (it == m_chart.end())
                throw Error(QStringLiteral("科目“%1”的上级科目不存在，不能记账。").arg(leaf->code));
            a = it->parentId;
        }
        return *m_chains.insert(acctId, chain);
    }

    const LedgerChart &m_chart;
    QHash<int, QList<int>> m_chains;
    QHash<BalanceKey, Movement> m_rows;
};

void requireBalancedOpenings(QSqlDatabase db)
{
    QSqlQuery q = runQuery(db,
                           QStringLiteral("SELECT COALESCE(SUM(Balance), 0), "
                                          "COALESCE(SUM(Balance - YtdDebit + YtdCredit), 0) "
                                          "FROM GLOpening WHERE CurrCode = ''"),
                           {}, kPosting);
    if (q.next() && (q.value(0).toLongLong() != 0 || q.value(1).toLongLong() != 0))
        throw Error(QStringLiteral("期初余额试算不平衡，不能记账。"));
}

// A large read. On a SQLite set straight through the C API: Qt's driver wraps every cell in
// a QVariant and copies it, most of the time of reading 100,000 rows; elsewhere through Qt.
class RowReader
{
public:
    RowReader(QSqlDatabase db, const QString &sql, const QVariantList &binds)
        : m_handle(sqliteHandle(db)), m_query(db)
    {
        if (!m_handle) {
            m_query = runQuery(db, sql, binds, kPosting);
            return;
        }
        if (sqlite3_prepare16_v2(m_handle, sql.constData(), int(sql.size() * sizeof(QChar)),
                                 &m_stmt, nullptr) != SQLITE_OK)
            fail();
        for (int i = 0; i < binds.size(); ++i)
            if (bindSqliteValue(m_stmt, i + 1, binds[i]) != SQLITE_OK)
                fail();
    }
    ~RowReader() { sqlite3_finalize(m_stmt); }
    RowReader(const RowReader &) = delete;
    RowReader &operator=(const RowReader &) = delete;

    bool next()
    {
        if (!m_handle)
            return m_query.next();
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    qint64 integer(int i) const
    {
        return m_handle ? sqlite3_column_int64(m_stmt, i) : m_query.value(i).toLongLong();
    }
    QString text(int i) const
    {
        if (!m_handle)
            return m_query.value(i).isNull() ? QString() : m_query.value(i).toString();
        const auto *chars = static_cast<const QChar *>(sqlite3_column_text16(m_stmt, i));
        return chars ? QString(chars, sqlite3_column_bytes16(m_stmt, i) / int(sizeof(QChar)))
                     : QString();
    }

private:
    [[noreturn]] void fail() const
    {
        throw Error(
            QStringLiteral("%1：%2").arg(kPosting, QString::fromUtf8(sqlite3_errmsg(m_handle))));
    }

    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    QSqlQuery m_query;
};

// One INSERT run many times: through the C API on a SQLite set, through Qt elsewhere.
class BulkInsert
{
public:
    BulkInsert(QSqlDatabase db, const QString &sql) : m_query(db)
    {
        if (sqlite3 *handle = sqliteHandle(db)) {
            m_sqlite = std::make_unique<SqliteStatement>(handle, sql);
            if (!m_sqlite->isValid())
                throw Error(QStringLiteral("%1：%2").arg(kPosting, m_sqlite->lastError().text()));
        } else {
            m_query = prepared(db, sql);
        }
    }
    void exec(const std::vector<QVariant> &values)
    {
        if (m_sqlite) {
            if (!m_sqlite->exec(values))
                throw Error(QStringLiteral("%1：%2").arg(kPosting, m_sqlite->lastError().text()));
            return;
        }
        for (size_t i = 0; i < values.size(); ++i)
            m_query.bindValue(int(i), values[i]);
        if (!m_query.exec())
            failed(m_query, kPosting);
    }

private:
    std::unique_ptr<SqliteStatement> m_sqlite;
    QSqlQuery m_query;
};

// Writes the log lines of many vouchers through one prepared statement.
class PostingLog
{
public:
    PostingLog(QSqlDatabase db, const SessionInfo &s)
        : m_session(s),
          m_insert(db, QStringLiteral("INSERT INTO OperationLog (LogID, LogTime, UserID, UserName, "
                                      "Machine, Action, ObjType, ObjKey, Detail) "
                                      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"))
    {
        QSqlQuery q =
            runQuery(db, QStringLiteral("SELECT COALESCE(MAX(LogID), 0) + 1 FROM OperationLog"), {},
                     kPosting);
        m_next = q.next() ? q.value(0).toLongLong() : 1;
        m_time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    }

    void write(const Target &v)
    {
        m_insert.exec(
            {m_next++, m_time, m_session.userId, m_session.userName, m_session.machine, m_action,
             kVoucherObjType, QString::number(v.docEntry),
             QStringLiteral("%1，第 %2 期").arg(voucherLabel(v.numCa, v.docNum)).arg(v.periodId)});
    }

private:
    const SessionInfo &m_session;
    BulkInsert m_insert;
    qint64 m_next = 1;
    QString m_time;
    const QString m_action = QStringLiteral("记账");
};

} // namespace

QSqlQuery runQuery(QSqlDatabase db, const QString &sql, const QVariantList &binds,
                   const QString &what)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        failed(q, what);
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds[i]);
    if (!q.exec())
        failed(q, what);
    return q;
}

StoredVoucher requireVoucher(QSqlDatabase db, int docEntry)
{
    QSqlQuery q = runQuery(
        db,
        QStringLiteral("SELECT DocEntry, NumCa, DocNum, PeriodID, DocDate, Status, MakerID, Maker, "
                       "RatifierID, Ratifier, CashierID, Cashier, ReversesEntry, ReversedBy, "
                       "DebitTotal, CreditTotal FROM FINDocVoucher WHERE DocEntry = ?"),
        {docEntry}, QStringLiteral("无法读取凭证"));
    if (!q.next())
        throw Error(QStringLiteral("凭证（内码 %1）不存在，可能已被他人删除。").arg(docEntry));
    StoredVoucher v;
    v.docEntry = q.value(0).toInt();
    v.numCa = text(q.value(1));
    v.docNum = q.value(2).toInt();
    v.periodId = q.value(3).toInt();
    v.docDate = QDate::fromString(q.value(4).toString().left(10), Qt::ISODate);
    v.status = q.value(5).toInt();
    v.makerId = text(q.value(6));
    v.maker = text(q.value(7));
    v.ratifierId = text(q.value(8));
    v.ratifier = text(q.value(9));
    v.cashierId = text(q.value(10));
    v.cashier = text(q.value(11));
    v.reversesEntry = q.value(12).toInt();
    v.reversedBy = q.value(13).toInt();
    v.debitTotal = q.value(14).toLongLong();
    v.creditTotal = q.value(15).toLongLong();
    return v;
}

LedgerChart loadLedgerChart(QSqlDatabase db)
{
    QSqlQuery q = runQuery(db,
                           QStringLiteral("SELECT AcctID, AcctCode, AcctName, ParentID, IsNode, "
                                          "Frozen, ACItemID FROM T0102010"),
                           {}, QStringLiteral("无法读取会计科目"));
    LedgerChart chart;
    while (q.next()) {
        LedgerAccount a;
        a.code = text(q.value(1));
        a.name = text(q.value(2));
        a.parentId = q.value(3).toInt();
        a.leaf = q.value(4).toBool();
        a.frozen = q.value(5).toBool();
        a.itemList = q.value(6).toInt();
        chart.insert(q.value(0).toInt(), a);
    }
    return chart;
}

bool isCashOrBank(const LedgerChart &chart, int acctId)
{
    auto it = chart.find(acctId);
    for (int depth = 0; it != chart.end() && depth < 64; ++depth) {
        if (it->parentId == 0 || !chart.contains(it->parentId))
            return it->code == QLatin1String("1001") || it->code == QLatin1String("1002");
        it = chart.find(it->parentId);
    }
    return false;
}

bool voucherHasCashLine(QSqlDatabase db, const LedgerChart &chart, int docEntry)
{
    QSqlQuery q =
        runQuery(db, QStringLiteral("SELECT AcctID FROM FINDocVoucherLine WHERE DocEntry = ?"),
                 {docEntry}, QStringLiteral("无法读取凭证"));
    while (q.next())
        if (isCashOrBank(chart, q.value(0).toInt()))
            return true;
    return false;
}

QString postVouchers(QSqlDatabase db, const SqlDialect &dialect, const SessionInfo &session,
                     int periodId, const QList<int> &entries)
{
    requireBalancedOpenings(db);
    const LedgerChart chart = loadLedgerChart(db);
    const bool signatureFirst = financeFlag(db, 10);
    const bool all = entries.isEmpty();

    QList<Target> targets;
    if (all) {
        RowReader q(db,
                    QStringLiteral("SELECT DocEntry, NumCa, DocNum, PeriodID, CashierID "
                                   "FROM FINDocVoucher WHERE Status = 1 AND PeriodID <= ? "
                                   "ORDER BY PeriodID, NumCa, DocNum"),
                    {periodId});
        while (q.next())
            targets.append(Target{int(q.integer(0)), q.text(1), int(q.integer(2)),
                                  int(q.integer(3)), !q.text(4).isEmpty()});
    } else {
        for (const int entry : entries) {
            const StoredVoucher v = requireVoucher(db, entry);
            const QString label = voucherLabel(v.numCa, v.docNum);
            if (v.status == 2)
                throw Error(QStringLiteral("%1已经记账，不能重复记账。").arg(label));
            if (v.status != 1)
                throw Error(QStringLiteral("%1尚未审核，不能记账。").arg(label));
            targets.append(
                Target{v.docEntry, v.numCa, v.docNum, v.periodId, !v.cashierId.isEmpty()});
        }
        std::sort(targets.begin(), targets.end(), [](const Target &a, const Target &b) {
            return std::tie(a.periodId, a.numCa, a.docNum) <
                   std::tie(b.periodId, b.numCa, b.docNum);
        });
    }

    QSet<int> periods;
    for (const Target &t : targets)
        periods.insert(t.periodId);
    for (const int id : periods) {
        const LedgerPeriod p = periodById(db, id);
        if (p.periodId == 0)
            throw Error(QStringLiteral("会计期间 %1 不存在，不能记账。").arg(id));
        if (p.closed)
            throw Error(
                QStringLiteral("会计期间%1年第%2期已结账，不能记账。").arg(p.year).arg(p.number));
    }

    BalanceChanges changes(chart);
    const auto addLine = [&](const Target &t, int acct, int dacv, qint64 debit, qint64 credit) {
        if (signatureFirst && !t.cashierSigned && isCashOrBank(chart, acct))
            throw Error(QStringLiteral("%1尚未出纳签字，账套设置要求记账前出纳签字。")
                            .arg(voucherLabel(t.numCa, t.docNum)));
        changes.add(t, acct, dacv, debit, credit);
    };
    if (all) {
        QHash<int, qsizetype> byEntry;
        byEntry.reserve(targets.size());
        for (qsizetype i = 0; i < targets.size(); ++i)
            byEntry.insert(targets[i].docEntry, i);
        RowReader q(db,
                    QStringLiteral("SELECT l.DocEntry, l.AcctID, l.DacvID, l.Debit, l.Credit "
                                   "FROM FINDocVoucherLine l JOIN FINDocVoucher v "
                                   "ON v.DocEntry = l.DocEntry "
                                   "WHERE v.Status = 1 AND v.PeriodID <= ?"),
                    {periodId});
        while (q.next())
            addLine(targets[byEntry.value(int(q.integer(0)))], int(q.integer(1)), int(q.integer(2)),
                    q.integer(3), q.integer(4));
    } else {
        QSqlQuery q = prepared(db, QStringLiteral("SELECT AcctID, DacvID, Debit, Credit "
                                                  "FROM FINDocVoucherLine WHERE DocEntry = ?"));
        for (const Target &t : targets) {
            execBound(q, {t.docEntry});
            while (q.next())
                addLine(t, q.value(0).toInt(), q.value(1).toInt(), q.value(2).toLongLong(),
                        q.value(3).toLongLong());
        }
    }
    changes.write(db);

    const QVariant now =
        dialect.toStorage(plain(FieldType::DateTime), QDateTime::currentDateTime());
    const QVariant yes = dialect.toStorage(plain(FieldType::Boolean), true);
    if (all) {
        QSqlQuery q = runQuery(db,
                               QStringLiteral("UPDATE FINDocVoucher SET Status = 2, Posted = ?, "
                                              "PosterID = ?, Poster = ?, PostDate = ? "
                                              "WHERE Status = 1 AND PeriodID <= ?"),
                               {yes, session.userId, session.userName, now, periodId}, kPosting);
        if (q.numRowsAffected() != targets.size())
            throw Error(QStringLiteral("记账时凭证被他人改变，请重试。"));
    } else {
        QSqlQuery q =
            prepared(db, QStringLiteral("UPDATE FINDocVoucher SET Status = 2, Posted = ?, "
                                        "PosterID = ?, Poster = ?, PostDate = ? "
                                        "WHERE DocEntry = ? AND Status = 1"));
        for (const Target &t : targets) {
            execBound(q, {yes, session.userId, session.userName, now, t.docEntry});
            if (q.numRowsAffected() != 1)
                throw Error(QStringLiteral("记账时凭证被他人改变，请重试。"));
        }
    }

    PostingLog log(db, session);
    DataPacket answer;
    answer.fields = {FieldDef{QStringLiteral("DocEntry"), FieldType::Integer, 0, false, false},
                     FieldDef{QStringLiteral("NumCa"), FieldType::String, 0, false, false},
                     FieldDef{QStringLiteral("DocNum"), FieldType::Integer, 0, false, false},
                     FieldDef{QStringLiteral("PeriodID"), FieldType::Integer, 0, false, false}};
    answer.rows.reserve(size_t(targets.size()));
    for (const Target &t : targets) {
        log.write(t);
        answer.rows.push_back({t.docEntry, t.numCa, t.docNum, t.periodId});
    }
    return writeDataPacket(answer);
}

} // namespace vexa::server
