// Balances and books on a set of 2,000 leaf accounts, 12 periods and 1,000,000 posted lines
// (LedgerBenchData.h), in-process, Release (docs/benchmarks.md). Medians of 15 runs each,
// side by side in one run:
// (a) the trial balance: AccountBalances of 2024.01-12, all levels (target: at most 100 ms),
//     beside the same figures summed from the lines in one SQL statement (what a report that
//     scans the lines pays);
// (b) a 明细账 page: DetailLedger, 100 rows, of the busiest leaf (5% of the lines), in the
//     middle of June, the range June alone and the whole year (target: at most 50 ms),
//     beside the same page read as the ledger read it before the lines kept their period
//     and GLBalance their count: a grouped count of the account's posted lines joined to
//     their headers, and the period's lines found through the headers.
#include "AppServer.h"
#include "DataPacket.h"
#include "LedgerBenchData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

using namespace vexa;
using namespace vexa::server;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double measure(int runs, const std::function<void()> &work)
{
    work(); // warm the cache: a report is read from a set in use
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

QVariant call(ServerConnection &c, const char *op, QVariantList args)
{
    return c.call(QString::fromLatin1(op), args);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 lines = args.size() > 1 ? args[1].toLongLong() : 1000000;
    const int runs = 15;
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("VEXA_BENCH_KEEP")); // to look at the plans
    const QString path = dir.filePath(QStringLiteral("books.vexa"));
    QElapsedTimer build;
    build.start();
    const bench::LedgerBenchSet set = bench::buildLedgerBenchSet(path, lines);
    std::printf("set: %zu leaves, %lld vouchers, %lld lines, built in %.1f s\n", set.leaves.size(),
                set.vouchers, set.lines, double(build.elapsed()) / 1000);

    AppServer::Options options;
    options.passwordCost = PasswordCost::Fast;
    auto server = AppServer::open(path, options);
    auto c = server->connect();
    c->login(QStringLiteral("Manager"), QStringLiteral("manager"));

    size_t rows = 0;
    const double trial = measure(runs, [&] {
        rows = readDataPacket(call(*c, "AccountBalances", {202401, 202412, 0, false}).toString())
                   .rows.size();
    });
    const double scan = measure(runs, [&] {
        QSqlQuery q(c->database());
        q.exec(QStringLiteral("SELECT l.AcctID, SUM(l.Debit), SUM(l.Credit) FROM "
                              "FINDocVoucherLine l JOIN FINDocVoucher v ON v.DocEntry = "
                              "l.DocEntry WHERE v.Status = 2 AND v.PeriodID BETWEEN 202401 AND "
                              "202412 GROUP BY l.AcctID"));
        while (q.next()) {
        }
    });
    std::printf("(a) trial balance, 2024.01-12, all levels (%zu rows): median %.2f ms (target <= "
                "100 ms); the leaves' sums from the lines alone: %.0f ms (%.0fx)\n",
                rows, trial, scan, scan / trial);

    const auto page = [&](int from, int to, qint64 offset) {
        const DataPacket p = readDataPacket(
            call(*c, "DetailLedger", {set.busyLeaf, from, to, offset, 100}).toString());
        if (p.rows.size() != 100)
            qFatal("page of %zu rows", p.rows.size());
    };
    // The middle of June: its own range starts with the opening line; in the year's range
    // the period's block starts after January-May.
    const DataPacket june =
        readDataPacket(call(*c, "DetailLedger", {set.busyLeaf, 202406, 202406, 0, 1}).toString());
    const qint64 juneRows = june.rows[0][12].toLongLong();
    const DataPacket year =
        readDataPacket(call(*c, "DetailLedger", {set.busyLeaf, 202401, 202412, 0, 1}).toString());
    const qint64 yearRows = year.rows[0][12].toLongLong();
    const qint64 yearMiddle = yearRows / 2;
    const auto measurePages = [&](const char *label) {
        const double m = measure(runs, [&] { page(202406, 202406, juneRows / 2); });
        const double y = measure(runs, [&] { page(202401, 202412, yearMiddle); });
        std::printf("(b) %s: 明细账 page of 100 rows, busiest leaf, range June (%lld rows, page at "
                    "%lld): %.2f ms; range the year (%lld rows, page at %lld): %.2f ms (target "
                    "<= 50 ms)\n",
                    label, juneRows, juneRows / 2, m, yearRows, yearMiddle, y);
    };
    measurePages("DetailLedger");
    // The earlier reads of the same page (the balances before it are read alike and cost
    // little): the lines' count per period, then the ordered walk up to the page's end.
    const auto earlierPage = [&](int from, int to, qint64 offset) {
        QSqlQuery count(c->database());
        count.exec(QStringLiteral("SELECT v.PeriodID, COUNT(*) FROM FINDocVoucherLine l "
                                  "JOIN FINDocVoucher v ON v.DocEntry = l.DocEntry "
                                  "WHERE l.AcctID IN (%1) AND v.Status = 2 AND v.PeriodID >= %2 "
                                  "AND v.PeriodID <= %3 GROUP BY v.PeriodID")
                       .arg(set.busyLeaf)
                       .arg(from)
                       .arg(to));
        std::map<int, qint64> counts;
        while (count.next())
            counts[count.value(0).toInt()] = count.value(1).toLongLong();
        qint64 row = 1;
        for (const auto &[period, n] : counts) {
            if (row + n + 2 <= offset) {
                row += n + 2;
                continue;
            }
            QSqlQuery walk(c->database());
            walk.exec(QStringLiteral("SELECT l.Debit, l.Credit, v.DocEntry, v.DocDate, v.NumCa, "
                                     "v.DocNum, l.Summary, a.AcctCode FROM FINDocVoucher v "
                                     "JOIN FINDocVoucherLine l ON l.DocEntry = v.DocEntry "
                                     "JOIN T0102010 a ON a.AcctID = l.AcctID WHERE v.PeriodID = "
                                     "%1 AND v.Status = 2 AND l.AcctID IN (%2) ORDER BY "
                                     "v.DocDate, v.NumCa, v.DocNum, v.DocEntry, l.LineNo LIMIT %3")
                          .arg(period)
                          .arg(set.busyLeaf)
                          .arg(qMin(n, offset + 100 - row)));
            qint64 seen = 0;
            while (walk.next())
                ++seen;
            if (seen == 0)
                qFatal("the earlier reads found no lines");
            return;
        }
    };
    const double earlierJune = measure(runs, [&] { earlierPage(202406, 202406, juneRows / 2); });
    const double earlierYear = measure(runs, [&] { earlierPage(202401, 202412, yearMiddle); });
    std::printf("(b) as read before: range June %.2f ms; range the year %.2f ms\n", earlierJune,
                earlierYear);
    // An ordinary leaf (about 475 lines a year) and the busiest leaf's first-level account
    // (its 80 leaves, about 88,000 lines a year): the first page of the year.
    const int ordinary = set.leaves[500];
    const double leaf = measure(runs, [&] {
        call(*c, "DetailLedger", {ordinary, 202401, 202412, 0, 100});
    });
    const double parent = measure(runs, [&] {
        call(*c, "DetailLedger", {set.busyParent, 202401, 202412, 0, 100});
    });
    std::printf("(c) first page of the year: an ordinary leaf %.2f ms; the busiest first-level "
                "account %.2f ms\n",
                leaf, parent);
    return 0;
}
