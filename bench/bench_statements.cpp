// 资产负债表 and 利润表 (operation Statement) on a large set: 1,000,000 posted lines over
// 2,000 leaf accounts and 12 periods, the enterprise chart's report templates bound. Beside
// them, in the same run, a scan of every posted line summed per account: what a statement
// computed from the lines would at least cost (docs/benchmarks.md).
#include "LedgerBenchData.h"

#include "AppServer.h"
#include "DataPacket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace vexa;

namespace {

using S = QString;

void exec(QSqlDatabase db, const QString &sql, const QVariantList &binds = {})
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant &v : binds)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

// The template's report tables, copied field by field from the seed's payloads.
void loadReports(server::ServerConnection &c, const char *tpl)
{
    const DataPacket t =
        c.request(S("SYS_SMAcctTempData"), S("WHERE AcctTempCode = '%1'").arg(tpl));
    for (const char *table : {"T0200096", "T0200097", "T0200098", "T0200099"}) {
        const DataPacket p = readDataPacket(
            t.rows.front().value(indexOfField(t.fields, QLatin1String(table))).toString());
        QStringList names, marks;
        for (const FieldDef &f : p.fields) {
            names << f.name;
            marks << S("?");
        }
        const QString sql = S("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(QLatin1String(table), names.join(u','), marks.join(u','));
        for (const QVariantList &r : p.rows)
            exec(c.database(), sql, r);
    }
    exec(c.database(), S("UPDATE T0200098 SET AcctID = (SELECT AcctID FROM T0102010 "
                         "WHERE AcctCode = T0200098.ItemAcctCode)"));
}

double medianMs(int reps, const std::function<void()> &work)
{
    std::vector<double> ms;
    for (int i = 0; i < reps; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 lines = args.size() > 1 ? args[1].toLongLong() : 1000000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("statements.vexa"));
    QElapsedTimer t;
    t.start();
    const bench::LedgerBenchSet set = bench::buildLedgerBenchSet(path, lines);
    std::printf("set: %zu leaves, %lld vouchers, %lld lines, built in %.1f s\n", set.leaves.size(),
                set.vouchers, set.lines, double(t.elapsed()) / 1000);

    server::AppServer::Options options;
    options.passwordCost = server::PasswordCost::Fast;
    auto appServer = server::AppServer::open(path, options);
    auto c = appServer->connect();
    c->login(S("Manager"), S("manager"));
    loadReports(*c, "A01000");

    const auto statement = [&c](int templet, int period) {
        QVariantList a{templet, period};
        const QVariantList answer = c->call(S("Statement"), a).toList();
        if (answer.size() != 2)
            qFatal("no statement");
    };
    const auto scan = [&c] {
        QSqlQuery q(c->database());
        q.setForwardOnly(true);
        if (!q.exec(S("SELECT l.AcctID, SUM(l.Debit - l.Credit) FROM FINDocVoucherLine l "
                      "JOIN FINDocVoucher v ON v.DocEntry = l.DocEntry WHERE v.Status = 2 "
                      "AND v.PeriodID <= 202412 GROUP BY l.AcctID")))
            qFatal("%s", qPrintable(q.lastError().text()));
        while (q.next()) {
        }
    };
    statement(1, 202412); // warm the page cache once, as a user's second look would be
    const int reps = 7;
    for (int period : {202401, 202406, 202412}) {
        std::printf("balance sheet %d: %.1f ms (median of %d)\n", period,
                    medianMs(reps, [&] { statement(1, period); }), reps);
        std::printf("income statement %d: %.1f ms (median of %d)\n", period,
                    medianMs(reps, [&] { statement(2, period); }), reps);
    }
    std::printf("line scan baseline 202412: %.1f ms (median of %d)\n", medianMs(3, scan), 3);
    return 0;
}
