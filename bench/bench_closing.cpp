// 结转损益 and 期末结账 of one period on the large set (bench/LedgerBenchData.h: 1,000,000
// posted lines over 2,000 leaves and 12 periods), in-process, Release (docs/benchmarks.md).
// The generator's leaves hang under asset accounts, so every fifth of them is made a
// profit-and-loss account (AcctTypeCode SY) before the runs: about 400 accounts with
// balances, so the voucher has about 400 lines. For periods 2024.01 to .05 in turn:
// CarryForwardProfit, then review and posting of its voucher (shown, not a target), then
// ClosePeriod with its checks. Beside them in the same run the bare read the two rest on:
// the grouped sums of GLOpening and GLBalance up to the period through the same
// connection. Medians of the five periods; targets: each operation at most 1 s.
#include "AppServer.h"
#include "DataPacket.h"
#include "LedgerBenchData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vexa;
using namespace vexa::server;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

QVariant call(ServerConnection &c, const char *op, QVariantList args)
{
    return c.call(QString::fromLatin1(op), args);
}

void exec(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        qFatal("%s", qPrintable(sql));
    while (q.next()) {
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 lines = args.size() > 1 ? args[1].toLongLong() : 1000000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("closing.vexa"));
    QElapsedTimer t;
    t.start();
    const bench::LedgerBenchSet set = bench::buildLedgerBenchSet(path, lines);
    std::printf("set: %zu leaves, %lld vouchers, %lld lines, built in %.1f s\n", set.leaves.size(),
                set.vouchers, set.lines, double(t.elapsed()) / 1000);

    AppServer::Options options;
    options.passwordCost = PasswordCost::Fast;
    auto server = AppServer::open(path, options);
    auto manager = server->connect();
    manager->login(QStringLiteral("Manager"), QStringLiteral("manager"));
    auto clerk = server->connect();
    clerk->login(QStringLiteral("clerk"), QStringLiteral("clerk"));
    QSqlDatabase db = manager->database();
    QStringList ids;
    for (size_t i = 0; i < set.leaves.size(); i += 5)
        ids << QString::number(set.leaves[i]);
    exec(db, QStringLiteral("UPDATE T0102010 SET AcctTypeCode = 'SY' WHERE AcctID IN (%1)")
                 .arg(ids.join(u',')));

    std::vector<double> carry, post, close, bare;
    int voucherLines = 0;
    for (int no = 1; no <= 5; ++no) {
        const int period = 202400 + no;
        t.restart();
        exec(db, QStringLiteral("SELECT AcctID, DacvID, SUM(Balance) FROM GLOpening "
                                "GROUP BY AcctID, DacvID"));
        exec(db, QStringLiteral("SELECT AcctID, DacvID, SUM(Debit), SUM(Credit) FROM GLBalance "
                                "WHERE PeriodID <= %1 GROUP BY AcctID, DacvID")
                     .arg(period));
        bare.push_back(double(t.nsecsElapsed()) / 1e6);

        t.restart();
        const DataPacket made =
            readDataPacket(call(*manager, "CarryForwardProfit", {period, QDate()}).toString());
        carry.push_back(double(t.nsecsElapsed()) / 1e6);
        const int entry =
            made.rows.front()[indexOfField(made.fields, QStringLiteral("DocEntry"))].toInt();
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT COUNT(*) FROM FINDocVoucherLine WHERE DocEntry = %1")
                   .arg(entry));
        q.next();
        voucherLines = q.value(0).toInt();
        q.finish();

        t.restart();
        call(*clerk, "ReviewVouchers", {QString::number(entry), true});
        call(*manager, "PostVouchers", {period, QString::number(entry)});
        post.push_back(double(t.nsecsElapsed()) / 1e6);

        t.restart();
        call(*manager, "ClosePeriod", {period});
        close.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("periods 2024.01-05, medians (ms): bare balance read %.1f | CarryForwardProfit "
                "%.1f (%d lines, target 1000) | review+post of it %.1f | ClosePeriod %.1f "
                "(target 1000)\n",
                median(bare), median(carry), voucherLines, median(post), median(close));
    std::printf("ratios to the bare read: carry-forward %.1f, close %.1f\n",
                median(carry) / median(bare), median(close) / median(bare));
    return median(carry) <= 1000 && median(close) <= 1000 ? 0 : 1;
}
