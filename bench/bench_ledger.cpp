// Ledger benchmark: posting, in-process, Release (docs/benchmarks.md).
// (a) one 20-line voucher saved, reviewed by another user and posted, each its own
//     operation as the client calls them: the median of 25 runs (target: at most 50 ms);
// (b) 100,000 saved and reviewed vouchers of 2 to 4 lines posted in one PostVouchers call,
//     beside a bare insert of the same lines through the SQLite C API in one transaction
//     into a set of the same kind that holds the same headers: the posting should take at
//     most twice the insert. Three rounds, fresh sets each, medians; the ratio per round;
//     and the insert once more without the lines' period index, to see what it adds.
#include "AppServer.h"
#include "SqliteStatement.h"
#include "support/LedgerSet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <map>
#include <sqlite3.h>
#include <vector>

using namespace vexa;
using namespace vexa::server;
using namespace vexa::test;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void run(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("%s: %s", sql, error);
}

struct Set
{
    QTemporaryDir dir;
    std::unique_ptr<AppServer> server;
    std::unique_ptr<ServerConnection> manager, clerk;

    Set()
    {
        AppServer::Options options;
        options.passwordCost = PasswordCost::Fast;
        server = AppServer::create(dir.filePath(QStringLiteral("bench.vexa")), true, options);
        manager = server->connect();
        manager->login(QStringLiteral("Manager"), QStringLiteral("manager"));
        clerk = server->connect();
        clerk->login(QStringLiteral("clerk"), QStringLiteral("clerk"));
        setUpLedger(*manager);
    }
};

QVariant call(ServerConnection &c, const char *op, QVariantList args)
{
    return c.call(QString::fromLatin1(op), args);
}

// One voucher of the bulk: its lines (AcctID, DacvID, Debit, Credit).
struct BulkLine
{
    int acct, item;
    qint64 debit, credit;
};
struct BulkVoucher
{
    int period;
    std::vector<BulkLine> lines;
};

std::vector<BulkVoucher> bulkVouchers(int count)
{
    QRandomGenerator rng(18);
    std::vector<BulkVoucher> vouchers;
    vouchers.reserve(size_t(count));
    const int debitAccts[] = {Cash, BankIcbc, Receivable, AdminOffice};
    const int creditAccts[] = {RevenueA, RevenueB, Taxes};
    for (int i = 0; i < count; ++i) {
        BulkVoucher v;
        v.period = 202402 + int(rng.bounded(7)); // 2024.02-08, all open
        const int debits = 1 + int(rng.bounded(2)), credits = 1 + int(rng.bounded(2));
        const qint64 each = 100 + qint64(rng.bounded(100000));
        for (int d = 0; d < debits; ++d) {
            const int acct = debitAccts[rng.bounded(4)];
            const int item = acct == Receivable    ? 1 + int(rng.bounded(2))
                             : acct == AdminOffice ? 3 + int(rng.bounded(2))
                                                   : 0;
            v.lines.push_back({acct, item, each * credits, 0});
        }
        for (int c = 0; c < credits; ++c)
            v.lines.push_back({creditAccts[rng.bounded(3)], 0, 0, each * debits});
        vouchers.push_back(std::move(v));
    }
    return vouchers;
}

// The reviewed headers, numbered per period, straight into the file (set-up, not timed).
void insertHeaders(ServerConnection &c, const std::vector<BulkVoucher> &vouchers)
{
    sqlite3 *db = sqliteHandle(c.database());
    run(db, "BEGIN IMMEDIATE");
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO FINDocVoucher (DocEntry, ObjType, NumCa, DocNum, DocDate, "
                       "PeriodID, Attachments, MakerID, Maker, Posted, Status, DebitTotal, "
                       "CreditTotal, RatifierID, Ratifier, SubNo, SubCount) VALUES (?, 2101, '记', "
                       "?, ?, ?, 0, 'maker', '制单人', 0, 1, ?, ?, 'reviewer', '审核人', 0, 0)",
                       -1, &s, nullptr);
    std::map<int, int> numbers;
    for (size_t i = 0; i < vouchers.size(); ++i) {
        const BulkVoucher &v = vouchers[i];
        qint64 total = 0;
        for (const BulkLine &l : v.lines)
            total += l.debit;
        const QByteArray date =
            QStringLiteral("2024-%1-15").arg(v.period % 100, 2, 10, QChar(u'0')).toLatin1();
        sqlite3_bind_int64(s, 1, sqlite3_int64(i + 1));
        sqlite3_bind_int(s, 2, ++numbers[v.period]);
        sqlite3_bind_text(s, 3, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(s, 4, v.period);
        sqlite3_bind_int64(s, 5, total);
        sqlite3_bind_int64(s, 6, total);
        if (sqlite3_step(s) != SQLITE_DONE)
            qFatal("header: %s", sqlite3_errmsg(db));
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    run(db, "COMMIT");
}

// The lines through the C API in one transaction: the bare insert (timed for the baseline).
size_t insertLines(ServerConnection &c, const std::vector<BulkVoucher> &vouchers)
{
    sqlite3 *db = sqliteHandle(c.database());
    run(db, "BEGIN IMMEDIATE");
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO FINDocVoucherLine (DocEntry, LineNo, Summary, AcctID, DacvID, "
                       "Debit, Credit, PeriodID) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                       -1, &s, nullptr);
    static const QByteArray summary = QStringLiteral("销售商品收到货款").toUtf8();
    size_t lines = 0;
    for (size_t i = 0; i < vouchers.size(); ++i) {
        int no = 0;
        for (const BulkLine &l : vouchers[i].lines) {
            sqlite3_bind_int64(s, 1, sqlite3_int64(i + 1));
            sqlite3_bind_int(s, 2, ++no);
            sqlite3_bind_text(s, 3, summary.constData(), int(summary.size()), SQLITE_STATIC);
            sqlite3_bind_int(s, 4, l.acct);
            sqlite3_bind_int(s, 5, l.item);
            sqlite3_bind_int64(s, 6, l.debit);
            sqlite3_bind_int64(s, 7, l.credit);
            sqlite3_bind_int(s, 8, vouchers[i].period);
            if (sqlite3_step(s) != SQLITE_DONE)
                qFatal("line: %s", sqlite3_errmsg(db));
            sqlite3_reset(s);
            ++lines;
        }
    }
    sqlite3_finalize(s);
    run(db, "COMMIT");
    return lines;
}

void oneVoucher()
{
    Set set;
    QList<VLine> lines;
    for (int i = 0; i < 10; ++i) {
        lines << VLine{i % 2 ? Cash : AdminOffice, 1000 + i, 0, i % 2 ? 0 : 3 + i % 4 / 2,
                       QStringLiteral("报销办公用品第%1笔").arg(i + 1)};
        lines << VLine{i % 2 ? RevenueA : RevenueB, 0, 1000 + i, 0, QStringLiteral("销售收入")};
    }
    const QString linesText = voucherLines(lines);
    std::vector<double> save, review, post, total;
    for (int run = 0; run < 25; ++run) {
        QElapsedTimer t;
        t.start();
        const DataPacket saved = readDataPacket(
            call(*set.manager, "SaveVoucher",
                 {voucherHeader(0, QStringLiteral("记"), QDate(2024, 3, 5)), linesText})
                .toString());
        const double s = double(t.nsecsElapsed()) / 1e6;
        const QString entry = saved.rows[0][0].toString();
        call(*set.clerk, "ReviewVouchers", {entry, true});
        const double r = double(t.nsecsElapsed()) / 1e6;
        call(*set.manager, "PostVouchers", {202412, entry});
        const double p = double(t.nsecsElapsed()) / 1e6;
        save.push_back(s);
        review.push_back(r - s);
        post.push_back(p - r);
        total.push_back(p);
    }
    std::printf("(a) one 20-line voucher, median of %zu runs: save %.2f ms + review %.2f ms + "
                "post %.2f ms = %.2f ms (target <= 50 ms)\n",
                total.size(), median(save), median(review), median(post), median(total));
}

void bulkPosting(int count, int rounds)
{
    const std::vector<BulkVoucher> vouchers = bulkVouchers(count);
    std::vector<double> posting, bare, ratios, plain, plainRatios;
    size_t lines = 0;
    for (int round = 0; round < rounds; ++round) {
        // The bare insert first, on a set holding the same headers.
        {
            Set baseline;
            insertHeaders(*baseline.manager, vouchers);
            QElapsedTimer t;
            t.start();
            lines = insertLines(*baseline.manager, vouchers);
            bare.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        // The same without the lines' account-and-period index (what the insert cost before
        // the detail ledger asked for it), to see what the index adds to the baseline.
        {
            Set baseline;
            insertHeaders(*baseline.manager, vouchers);
            run(sqliteHandle(baseline.manager->database()), "DROP INDEX FINDocVoucherLine_Period");
            QElapsedTimer t;
            t.start();
            insertLines(*baseline.manager, vouchers);
            plain.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        Set set;
        insertHeaders(*set.manager, vouchers);
        insertLines(*set.manager, vouchers);
        QElapsedTimer t;
        t.start();
        const DataPacket posted =
            readDataPacket(call(*set.manager, "PostVouchers", {202412, QString()}).toString());
        posting.push_back(double(t.nsecsElapsed()) / 1e6);
        if (posted.rows.size() != size_t(count))
            qFatal("posted %zu of %d", posted.rows.size(), count);
        ratios.push_back(posting.back() / bare.back());
        plainRatios.push_back(posting.back() / plain.back());
        std::printf("    round %d: post %.0f ms, bare insert %.0f ms, ratio %.2f; without the "
                    "period index %.0f ms, ratio %.2f\n",
                    round + 1, posting.back(), bare.back(), ratios.back(), plain.back(),
                    plainRatios.back());
    }
    std::printf("(b) %d vouchers (%zu lines) posted in one call: median %.0f ms; bare insert of "
                "the lines %.0f ms; ratio %.2f (target <= 2)\n",
                count, lines, median(posting), median(bare), median(ratios));
    std::printf("    against the insert without the period index: %.0f ms, ratio %.2f\n",
                median(plain), median(plainRatios));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = args.size() > 1 ? args[1].toInt() : 100000;
    oneVoucher();
    bulkPosting(count, 3);
    return 0;
}
