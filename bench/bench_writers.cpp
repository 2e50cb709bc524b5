// Writers at once, run by hand (scripts/bench runs it last): 2 and 4 processes save rows of
// LX_DMCurrency and take GetEntityID keys in a tight loop on one demo account set, first
// each process its own row, then all the same row. Prints the outcomes by kind: saved, the
// conflict message ("已被其他用户修改"), the Chinese busy message (a wait past the busy
// timeout), the English "locked"/"busy" text (must stay 0), anything else.
// Usage: bench_writers [SECONDS]   (30 by default)
#include "AppServer.h"

#include <vexa/Error.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

using namespace vexa;
using namespace vexa::server;

namespace {

const QStringList kKinds = {QStringLiteral("saved"),  QStringLiteral("conflict"),
                            QStringLiteral("busy"),   QStringLiteral("locked"),
                            QStringLiteral("other"),  QStringLiteral("keys"),
                            QStringLiteral("keyfail")};

QString kindOf(const QString &error)
{
    if (error.contains(QStringLiteral("已被其他用户修改")) ||
        error.contains(QStringLiteral("已被其他用户删除")))
        return QStringLiteral("conflict");
    if (error.contains(QStringLiteral("其他用户正在保存")))
        return QStringLiteral("busy");
    if (error.contains(QLatin1String("locked"), Qt::CaseInsensitive) ||
        error.contains(QLatin1String("busy"), Qt::CaseInsensitive))
        return QStringLiteral("locked");
    return QStringLiteral("other");
}

// Reads the currency row and saves a new LastPrcnt: empty when saved, else the error.
QString saveRate(ServerConnection &c, const QString &code, double rate)
{
    try {
        const DataPacket now = c.request(QStringLiteral("LX_DMCurrency"),
                                         QStringLiteral("WHERE CurrCode = '%1'").arg(code));
        if (now.rows.size() != 1)
            return QStringLiteral("no currency ") + code;
        DeltaPacket d;
        d.fields = now.fields;
        QVariantList values = now.rows[0];
        values[indexOfField(now.fields, QStringLiteral("LastPrcnt"))] = rate;
        d.rows.push_back({DeltaRow::Kind::Modify, values, now.rows[0]});
        int errors = -1;
        QVariant owner;
        c.applyUpdates(QStringLiteral("LX_DMCurrency"), d, -1, errors, owner);
        return errors == 0 ? QString() : c.lastError();
    } catch (const Error &e) {
        return e.message();
    }
}

// One writer process: counts as "kind=n" pairs on one line of standard output.
int runChild(const QString &path, const QString &code, int seconds)
{
    QHash<QString, int> counts;
    QHash<QString, QString> sample;
    try {
        auto server = AppServer::open(path);
        auto c = server->connect();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < seconds * 1000) {
            const QString error =
                saveRate(*c, code, 1.0 + QRandomGenerator::global()->bounded(9.0));
            const QString kind = error.isEmpty() ? QStringLiteral("saved") : kindOf(error);
            ++counts[kind];
            sample.insert(kind, error);
            QVariantList args{QStringLiteral("BenchID"), 1};
            if (c->call(QStringLiteral("GetEntityID"), args).toLongLong() > 0) {
                ++counts[QStringLiteral("keys")];
            } else {
                ++counts[QStringLiteral("keyfail")];
                ++counts[kindOf(c->lastError())];
                sample.insert(kindOf(c->lastError()), c->lastError());
            }
        }
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    QStringList parts;
    for (const QString &k : kKinds)
        parts << QStringLiteral("%1=%2").arg(k).arg(counts.value(k));
    std::printf("%s\n", parts.join(QLatin1Char(' ')).toUtf8().constData());
    for (const QString &k : {QStringLiteral("locked"), QStringLiteral("other")})
        if (sample.contains(k))
            std::fprintf(stderr, "  %s: %s\n", qPrintable(k), sample[k].toUtf8().constData());
    return 0;
}

qlonglong nextKey(ServerConnection &c)
{
    QVariantList args{QStringLiteral("BenchID"), 0};
    return c.call(QStringLiteral("GetEntityID"), args).toLongLong();
}

void runWriters(const QString &path, int processes, bool sameRow, int seconds)
{
    const QStringList codes = {QStringLiteral("USD"), QStringLiteral("HKD"), QStringLiteral("EUR"),
                               QStringLiteral("JPY")};
    auto server = AppServer::open(path);
    auto c = server->connect();
    const qlonglong before = nextKey(*c);

    std::vector<std::unique_ptr<QProcess>> children;
    for (int i = 0; i < processes; ++i) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--child"), path, sameRow ? codes[0] : codes[i % codes.size()],
                  QString::number(seconds)});
        children.push_back(std::move(p));
    }
    QHash<QString, qlonglong> total;
    for (auto &p : children) {
        if (!p->waitForFinished((seconds + 60) * 1000) || p->exitCode() != 0) {
            std::printf("a writer process failed (exit %d)\n", p->exitCode());
            continue;
        }
        const QString line = QString::fromUtf8(p->readAllStandardOutput()).trimmed();
        for (const QString &pair : line.split(QLatin1Char(' '))) {
            const int eq = pair.indexOf(QLatin1Char('='));
            total[pair.left(eq)] += pair.mid(eq + 1).toLongLong();
        }
    }
    const qlonglong handedOut = nextKey(*c) - before;
    std::printf("%d processes, %-10s %8lld %8lld %8lld %8lld %8lld %8lld %8lld   %s\n", processes,
                sameRow ? "same row" : "own rows", total.value(QStringLiteral("saved")),
                total.value(QStringLiteral("conflict")), total.value(QStringLiteral("busy")),
                total.value(QStringLiteral("locked")), total.value(QStringLiteral("other")),
                total.value(QStringLiteral("keys")), total.value(QStringLiteral("keyfail")),
                handedOut == total.value(QStringLiteral("keys")) ? "keys ok"
                                                                 : "KEYS LOST OR REPEATED");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--child"))
        return runChild(args[2], args[3], args[4].toInt());
    const int seconds = args.size() > 1 ? args[1].toInt() : 30;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: bench_writers [SECONDS]\n");
        return 2;
    }
    try {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("writers.vexa"));
        AppServer::Options options;
        options.passwordCost = PasswordCost::Fast;
        AppServer::create(path, true, options);
        std::printf("%d s per run; failures by kind (busy: the Chinese wait message, locked: the "
                    "English text)\n",
                    seconds);
        std::printf("%-25s %8s %8s %8s %8s %8s %8s %8s\n", "", "saved", "conflict", "busy",
                    "locked", "other", "keys", "keyfail");
        for (bool sameRow : {false, true})
            for (int processes : {2, 4})
                runWriters(path, processes, sameRow, seconds);
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
