// Balances and books on a large set (docs/benchmarks.md).
#include "LedgerBenchData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

using namespace vexa;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 lines = args.size() > 1 ? args[1].toLongLong() : 1000000;
    QTemporaryDir dir;
    QElapsedTimer t;
    t.start();
    const bench::LedgerBenchSet set =
        bench::buildLedgerBenchSet(dir.filePath(QStringLiteral("books.vexa")), lines);
    std::printf("set: %zu leaves, %lld vouchers, %lld lines, built in %.1f s\n", set.leaves.size(),
                set.vouchers, set.lines, double(t.elapsed()) / 1000);
    return 0;
}
