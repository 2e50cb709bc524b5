// (e) Peak memory of a dataset of 100,000 rows by 10 fields, as the process sees it.
#include "BenchData.h"
#include "Process.h"

#include <QFile>
#include <cstdio>

namespace {

long statusKiB(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main()
{
    vexa::prepareProcess();
    const long before = statusKiB("VmRSS:");
    auto ds = vexa::bench::makeTree(100000, 100);
    ds->setIndexFieldNames(QStringLiteral("ParentID;Sort"));
    const long held = statusKiB("VmRSS:");
    const long peak = statusKiB("VmHWM:");
    std::printf("rows=%d fields=%d  rss_before=%.1f MB  rss_with_dataset=%.1f MB  "
                "dataset=%.1f MB  peak=%.1f MB  (limit 120 MB)\n",
                ds->recordCount(), ds->fieldCount(), before / 1024.0, held / 1024.0,
                (held - before) / 1024.0, peak / 1024.0);
    return (peak - before) / 1024.0 <= 120 ? 0 : 1;
}
