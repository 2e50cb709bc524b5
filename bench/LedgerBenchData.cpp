#include "LedgerBenchData.h"

#include "AppServer.h"
#include "Csv.h"
#include "SqliteStatement.h"

#include <QFile>
#include <QRandomGenerator>
#include <map>
#include <sqlite3.h>

namespace vexa::bench {

namespace {

void exec(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("%s: %s", sql, error);
}

sqlite3_stmt *prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
        qFatal("%s: %s", sql, sqlite3_errmsg(db));
    return s;
}

void step(sqlite3 *db, sqlite3_stmt *s)
{
    if (sqlite3_step(s) != SQLITE_DONE)
        qFatal("insert: %s", sqlite3_errmsg(db));
    sqlite3_reset(s);
}

void bindText(sqlite3_stmt *s, int i, const QString &text)
{
    if (text.isEmpty()) {
        sqlite3_bind_null(s, i);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

qint64 scalar(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *s = prepare(db, sql);
    if (sqlite3_step(s) != SQLITE_ROW)
        qFatal("%s: %s", sql, sqlite3_errmsg(db));
    const qint64 v = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return v;
}

struct Acct
{
    int id = 0, parent = 0, level = 1;
    QString code, name, dc, type, typeCode;
};

} // namespace

LedgerBenchSet buildLedgerBenchSet(const QString &path, qint64 lineCount, quint32 seed)
{
    server::AppServer::Options options;
    options.passwordCost = server::PasswordCost::Fast;
    auto appServer = server::AppServer::create(path, true, options);
    auto c = appServer->connect();
    sqlite3 *db = server::sqliteHandle(c->database());
    exec(db, "BEGIN IMMEDIATE");

    // The chart template's accounts, as the template load lays them out.
    QFile file(QStringLiteral(VEXA_SOURCE_DIR "/src/server/seed/templates/A01000/AcctXMLData.csv"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the chart template");
    const server::CsvTable chart = server::parseCsv(QString::fromUtf8(file.readAll()));
    {
        QStringList marks;
        for (qsizetype i = 0; i < chart.header.size(); ++i)
            marks << QStringLiteral("?");
        const QByteArray sql = QStringLiteral("INSERT INTO T0102010 (%1) VALUES (%2)")
                                   .arg(chart.header.join(u','), marks.join(u','))
                                   .toUtf8();
        sqlite3_stmt *s = prepare(db, sql.constData());
        for (const QStringList &row : chart.rows) {
            for (int i = 0; i < int(row.size()); ++i)
                bindText(s, i + 1, row[i]);
            step(db, s);
        }
        sqlite3_finalize(s);
    }
    const auto col = [&chart](const char *name) {
        return int(chart.header.indexOf(QLatin1String(name)));
    };
    std::vector<Acct> parents;
    int nextId = 0;
    for (const QStringList &row : chart.rows) {
        nextId = qMax(nextId, row[col("AcctID")].toInt());
        if (parents.size() < 25 && row[col("Levels")] == u"1" && row[col("IsNode")] == u"1" &&
            row[col("Frozen")] == u"0")
            parents.push_back({row[col("AcctID")].toInt(), 0, 1, row[col("AcctCode")],
                               row[col("AcctName")], row[col("DC")], row[col("AcctType")],
                               row[col("AcctTypeCode")]});
    }

    LedgerBenchSet set;
    std::map<int, int> parentOf;
    {
        sqlite3_stmt *s = prepare(
            db, "INSERT INTO T0102010 (AcctID, AcctCode, AcctName, ParentID, Levels, IsNode, "
                "LevelCode, AcctType, AcctTypeCode, DC, CurrCode, ACurrAcct, AdjustRate, "
                "QtyEnter, IsControl, IsEquivalent, InFull, Budget, Frozen, Fixed, DeleteTag, "
                "ComeAndGoCheck, IsCostRules, ACItemID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                "NULL, 0, 0, 0, 0, 0, ?, 0, 0, 0, 0, 0, 0, 0)");
        const auto add = [&](const Acct &parent, const QString &code, const QString &name,
                             bool leaf) {
            const int id = ++nextId;
            sqlite3_bind_int(s, 1, id);
            bindText(s, 2, code);
            bindText(s, 3, name);
            sqlite3_bind_int(s, 4, parent.id);
            sqlite3_bind_int(s, 5, parent.level + 1);
            sqlite3_bind_int(s, 6, int(leaf));
            bindText(s, 7, code);
            bindText(s, 8, parent.type);
            bindText(s, 9, parent.typeCode);
            bindText(s, 10, parent.dc);
            sqlite3_bind_int(s, 11, int(leaf));
            step(db, s);
            parentOf[id] = parent.id;
            Acct a = parent;
            a.id = id;
            a.parent = parent.id;
            a.level = parent.level + 1;
            a.code = code;
            return a;
        };
        for (const Acct &p : parents) {
            for (int i = 1; i <= 8; ++i) {
                const Acct mid = add(p, p.code + QStringLiteral("%1").arg(i, 2, 10, QChar(u'0')),
                                     QStringLiteral("%1明细%2").arg(p.name).arg(i), false);
                for (int j = 1; j <= 10; ++j)
                    set.leaves.push_back(
                        add(mid, mid.code + QStringLiteral("%1").arg(j, 2, 10, QChar(u'0')),
                            QStringLiteral("项目%1-%2").arg(i).arg(j), true)
                            .id);
            }
        }
        sqlite3_finalize(s);
        exec(db, "UPDATE T0102010 SET IsNode = 0, InFull = 0 WHERE AcctID IN "
                 "(SELECT DISTINCT ParentID FROM T0102010 WHERE ParentID IS NOT NULL)");
    }
    set.busyLeaf = set.leaves[0];
    set.busyParent = parents[0].id;

    exec(db, "INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, AcctTempDesc, "
             "GLStartPeriodID, StartYear, YearPeriods) VALUES (1, '基准测试公司', 'RMB', "
             "'人民币', 'A01000', 202401, 2024, 12)");
    {
        sqlite3_stmt *s = prepare(
            db, "INSERT INTO FINPostingPeriods (PeriodID, Year, No, PeriodCode, PeriodName, "
                "PostingFrom, PostingTo, Active, Locked, GLPost) VALUES (?, 2024, ?, ?, ?, ?, "
                "?, 'Y', 'N', 0)");
        for (int no = 1; no <= 12; ++no) {
            const QDate from(2024, no, 1);
            sqlite3_bind_int(s, 1, 202400 + no);
            sqlite3_bind_int(s, 2, no);
            bindText(s, 3, QStringLiteral("2024.%1").arg(no, 2, 10, QChar(u'0')));
            bindText(s, 4, QStringLiteral("2024年第%1期").arg(no));
            bindText(s, 5, from.toString(Qt::ISODate));
            bindText(s, 6, from.addMonths(1).addDays(-1).toString(Qt::ISODate));
            step(db, s);
        }
        sqlite3_finalize(s);
    }

    QRandomGenerator rng(seed);
    // Balanced openings: the last leaf takes what the others lack.
    {
        sqlite3_stmt *s = prepare(db, "INSERT INTO GLOpening (AcctID, DacvID, CurrCode, Balance, "
                                      "YtdDebit, YtdCredit) VALUES (?, 0, '', ?, 0, 0)");
        qint64 sum = 0;
        for (size_t i = 0; i < set.leaves.size(); ++i) {
            const qint64 b =
                i + 1 < set.leaves.size() ? qint64(rng.bounded(2000000)) - 1000000 : -sum;
            sum += b;
            sqlite3_bind_int(s, 1, set.leaves[i]);
            sqlite3_bind_int64(s, 2, b);
            step(db, s);
        }
        sqlite3_finalize(s);
    }

    // Vouchers of two debit and two credit lines, numbered per period in date order.
    struct Sum
    {
        qint64 debit = 0, credit = 0, lines = 0;
    };
    std::map<std::pair<int, int>, Sum> balances; // (acct, period)
    sqlite3_stmt *header = prepare(
        db, "INSERT INTO FINDocVoucher (DocEntry, ObjType, NumCa, DocNum, DocDate, PeriodID, "
            "Attachments, MakerID, Maker, RatifierID, Ratifier, Posted, PosterID, Poster, "
            "Status, SubNo, SubCount, DebitTotal, CreditTotal, Kind) VALUES (?, 2101, '记', ?, "
            "?, ?, 1, 'maker', '制单人', 'reviewer', '审核人', 1, 'poster', '记账人', 2, 0, 0, "
            "?, ?, 0)");
    sqlite3_stmt *line =
        prepare(db, "INSERT INTO FINDocVoucherLine (DocEntry, LineNo, Summary, AcctID, DacvID, "
                    "Debit, Credit, PeriodID) VALUES (?, ?, ?, ?, 0, ?, ?, ?)");
    const QByteArray summaries[] = {
        QStringLiteral("销售商品收到货款").toUtf8(), QStringLiteral("支付供应商材料款").toUtf8(),
        QStringLiteral("报销差旅费").toUtf8(), QStringLiteral("计提本月工资").toUtf8()};
    const qint64 total = lineCount / 4;
    qint64 entry = 0;
    const auto pick = [&]() {
        return rng.bounded(20) == 0 ? set.busyLeaf
                                    : set.leaves[rng.bounded(quint32(set.leaves.size()))];
    };
    for (int no = 1; no <= 12; ++no) {
        const int period = 202400 + no;
        const int days = QDate(2024, no, 1).daysInMonth();
        const qint64 perPeriod = total * no / 12 - total * (no - 1) / 12;
        for (qint64 k = 0; k < perPeriod; ++k) {
            ++entry;
            const QByteArray date =
                QDate(2024, no, 1 + int(k * days / perPeriod)).toString(Qt::ISODate).toLatin1();
            const qint64 a = 100 + rng.bounded(1000000), b = 100 + rng.bounded(1000000);
            const struct
            {
                int acct;
                qint64 debit, credit;
            } lines[4] = {
                {pick(), a, 0}, {pick(), b, 0}, {pick(), 0, a + b / 2}, {pick(), 0, b - b / 2}};
            sqlite3_bind_int64(header, 1, entry);
            sqlite3_bind_int64(header, 2, k + 1);
            sqlite3_bind_text(header, 3, date.constData(), int(date.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int(header, 4, period);
            sqlite3_bind_int64(header, 5, a + b);
            sqlite3_bind_int64(header, 6, a + b);
            step(db, header);
            const QByteArray &summary = summaries[entry % 4];
            for (int l = 0; l < 4; ++l) {
                sqlite3_bind_int64(line, 1, entry);
                sqlite3_bind_int(line, 2, l + 1);
                sqlite3_bind_text(line, 3, summary.constData(), int(summary.size()), SQLITE_STATIC);
                sqlite3_bind_int(line, 4, lines[l].acct);
                sqlite3_bind_int64(line, 5, lines[l].debit);
                sqlite3_bind_int64(line, 6, lines[l].credit);
                sqlite3_bind_int(line, 7, period);
                step(db, line);
                for (int id = lines[l].acct; id > 0;) {
                    auto &sum = balances[{id, period}];
                    sum.debit += lines[l].debit;
                    sum.credit += lines[l].credit;
                    ++sum.lines;
                    const auto up = parentOf.find(id);
                    id = up == parentOf.end() ? 0 : up->second;
                }
                ++set.lines;
            }
        }
    }
    set.vouchers = entry;
    sqlite3_finalize(header);
    sqlite3_finalize(line);
    {
        sqlite3_stmt *s = prepare(db, "INSERT INTO GLBalance (AcctID, PeriodID, DacvID, Debit, "
                                      "Credit, LineCount) VALUES (?, ?, 0, ?, ?, ?)");
        for (const auto &[key, sum] : balances) {
            sqlite3_bind_int(s, 1, key.first);
            sqlite3_bind_int(s, 2, key.second);
            sqlite3_bind_int64(s, 3, sum.debit);
            sqlite3_bind_int64(s, 4, sum.credit);
            sqlite3_bind_int64(s, 5, sum.lines);
            step(db, s);
        }
        sqlite3_finalize(s);
    }
    exec(db, "COMMIT");
    exec(db, "ANALYZE");

    // The invariants, once, in SQL: lines balance, every leaf's balance rows are its lines,
    // the first-level rows sum to all lines.
    if (scalar(db, "SELECT SUM(Debit) - SUM(Credit) FROM FINDocVoucherLine") != 0)
        qFatal("bench set: the lines do not balance");
    if (scalar(db, "SELECT COUNT(*) FROM (SELECT l.AcctID, v.PeriodID, SUM(l.Debit) d, "
                   "SUM(l.Credit) c, COUNT(*) n FROM FINDocVoucherLine l JOIN FINDocVoucher v "
                   "ON v.DocEntry = l.DocEntry AND v.PeriodID = l.PeriodID "
                   "GROUP BY l.AcctID, v.PeriodID) x "
                   "LEFT JOIN GLBalance b ON b.AcctID = x.AcctID AND b.PeriodID = x.PeriodID "
                   "AND b.DacvID = 0 WHERE b.Debit IS NOT x.d OR b.Credit IS NOT x.c "
                   "OR b.LineCount IS NOT x.n") != 0)
        qFatal("bench set: GLBalance differs from the lines");
    if (scalar(db, "SELECT SUM(b.Debit) FROM GLBalance b JOIN T0102010 a ON a.AcctID = b.AcctID "
                   "WHERE a.Levels = 1") != scalar(db, "SELECT SUM(Debit) FROM FINDocVoucherLine"))
        qFatal("bench set: the first-level balances do not add up to the lines");
    if (scalar(db, "SELECT SUM(Balance) FROM GLOpening") != 0)
        qFatal("bench set: the openings do not balance");
    return set;
}

} // namespace vexa::bench
