// Data runtime benchmarks. Each figure has its baseline beside it, run in the same
// process, so ratios stay meaningful on a shared machine (scripts/bench).
#include "BenchData.h"
#include "Condition.h"
#include "Process.h"

#include <QJsonDocument>
#include <algorithm>
#include <benchmark/benchmark.h>

using namespace vexa;
using namespace vexa::bench;

namespace {

constexpr int kRows = 100000;

ClientDataSet &tree100k()
{
    static auto ds = makeTree(kRows, 100); // 1,000 parents of 100 children
    return *ds;
}

// (a) One filter "ParentID = 'x'" over 100,000 rows, the first on a fresh change of the
// rows (a scan: the hash is not built for a single filter).
void BM_Filter_Scan(benchmark::State &state)
{
    ClientDataSet &ds = tree100k();
    ds.setFiltered(true);
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ds.setFilter(QString());
        ds.setRecNo(1);
        ds.mergeChangeLog(); // drops the hash: the next filter scans
        state.ResumeTiming();
        ds.setFilter(QStringLiteral("ParentID = '%1'").arg(nodeId(++i % 997)));
        benchmark::DoNotOptimize(ds.recordCount());
    }
    ds.setFiltered(false);
}
BENCHMARK(BM_Filter_Scan)->Unit(benchmark::kMillisecond);

// (a) baseline: the same test written by hand over the same values.
void BM_Filter_HandLoop(benchmark::State &state)
{
    ClientDataSet &ds = tree100k();
    std::vector<QVariantList> rows = ds.data().rows;
    int i = 0;
    for (auto _ : state) {
        const QString wanted = nodeId(++i % 997);
        std::vector<const QVariantList *> hits;
        hits.reserve(rows.size());
        for (const QVariantList &r : rows) {
            const QVariant &v = r[1];
            if (v.isValid() && v.toString() == wanted)
                hits.push_back(&r);
        }
        benchmark::DoNotOptimize(hits.size());
    }
}
BENCHMARK(BM_Filter_HandLoop)->Unit(benchmark::kMillisecond);

// (a) once the hash is there: further filters on the same column.
void BM_Filter_Hashed(benchmark::State &state)
{
    ClientDataSet &ds = tree100k();
    ds.setFiltered(true);
    int i = 0;
    for (auto _ : state) {
        ds.setFilter(QStringLiteral("ParentID = '%1'").arg(nodeId(++i % 997)));
        benchmark::DoNotOptimize(ds.recordCount());
    }
    ds.setFiltered(false);
}
BENCHMARK(BM_Filter_Hashed)->Unit(benchmark::kMicrosecond);

// (b) A tree view reading its levels: one filter per parent over every node.
void BM_TreeLevels(benchmark::State &state)
{
    const int n = int(state.range(0));
    auto ds = makeTree(n);
    ds->setFiltered(true);
    for (auto _ : state) {
        int seen = 0;
        std::vector<QString> queue{QString()};
        for (size_t q = 0; q < queue.size(); ++q) {
            ds->setFilter(queue[q].isEmpty() ? QStringLiteral("ParentID = null ")
                                             : QStringLiteral("ParentID = '%1'").arg(queue[q]));
            for (ds->first(); !ds->eof(); ds->next()) {
                queue.push_back(ds->asString(QStringLiteral("NodeID")));
                ++seen;
            }
        }
        if (seen != n)
            state.SkipWithError("tree not read whole");
    }
}
BENCHMARK(BM_TreeLevels)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

// (c) Save plus load of a packet of 100,000 rows by 10 fields ...
void BM_Packet_SaveLoad(benchmark::State &state)
{
    ClientDataSet &ds = tree100k();
    ClientDataSet copy;
    for (auto _ : state) {
        const QString text = ds.saveToText();
        copy.loadFromText(text);
        benchmark::DoNotOptimize(copy.recordCount());
    }
    state.counters["bytes"] = double(ds.saveToText().toUtf8().size());
}
BENCHMARK(BM_Packet_SaveLoad)->Unit(benchmark::kMillisecond);

// (c) split: the save alone and the load alone.
void BM_Packet_Save(benchmark::State &state)
{
    ClientDataSet &ds = tree100k();
    for (auto _ : state)
        benchmark::DoNotOptimize(ds.saveToText().size());
}
BENCHMARK(BM_Packet_Save)->Unit(benchmark::kMillisecond);

void BM_Packet_Load(benchmark::State &state)
{
    const QString text = tree100k().saveToText();
    ClientDataSet copy;
    for (auto _ : state) {
        copy.loadFromText(text);
        benchmark::DoNotOptimize(copy.recordCount());
    }
}
BENCHMARK(BM_Packet_Load)->Unit(benchmark::kMillisecond);

void BM_Packet_ReadOnly(benchmark::State &state)
{
    const QString text = tree100k().saveToText();
    for (auto _ : state)
        benchmark::DoNotOptimize(readDataPacket(text).rows.size());
}
BENCHMARK(BM_Packet_ReadOnly)->Unit(benchmark::kMillisecond);

// (c) baseline: the bare parse of the same bytes by the JSON library the format uses.
void BM_Packet_BareJsonParse(benchmark::State &state)
{
    const QByteArray bytes = tree100k().saveToText().toUtf8();
    for (auto _ : state) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
        benchmark::DoNotOptimize(doc.isObject());
    }
}
BENCHMARK(BM_Packet_BareJsonParse)->Unit(benchmark::kMillisecond);

// (d) An index on two fields over 100,000 rows ...
void BM_Index_TwoFields(benchmark::State &state)
{
    ClientDataSet &ds = tree100k();
    for (auto _ : state) {
        state.PauseTiming();
        ds.setIndexFieldNames(QString());
        state.ResumeTiming();
        ds.setIndexFieldNames(QStringLiteral("MCode;Sort"));
        benchmark::DoNotOptimize(ds.recNo());
    }
    ds.setIndexFieldNames(QString());
}
BENCHMARK(BM_Index_TwoFields)->Unit(benchmark::kMillisecond);

// (d) baseline: std::stable_sort of the extracted keys.
void BM_Index_StableSortKeys(benchmark::State &state)
{
    std::vector<std::pair<QString, int>> keys;
    for (const QVariantList &r : tree100k().data().rows)
        keys.emplace_back(r[3].toString(), r[4].toInt());
    for (auto _ : state) {
        state.PauseTiming();
        auto work = keys;
        state.ResumeTiming();
        std::stable_sort(work.begin(), work.end());
        benchmark::DoNotOptimize(work.data());
    }
}
BENCHMARK(BM_Index_StableSortKeys)->Unit(benchmark::kMillisecond);

// (e) Growth with the size of one input: a command text with an IN list of n items
// (parse and canonical text), and a one-row packet of n fields (load into a dataset).
// Each step doubles n, so linear code doubles its time.
QString inListCommand(int n)
{
    QString text = QStringLiteral("WHERE NodeID IN (");
    for (int i = 0; i < n; ++i)
        text += (i ? QStringLiteral(", '") : QStringLiteral("'")) + nodeId(i) + u'\'';
    return text + u')';
}

void BM_Condition_InList(benchmark::State &state)
{
    const QString text = inListCommand(int(state.range(0)));
    for (auto _ : state) {
        const cond::CommandText command = cond::parseCommandText(text);
        benchmark::DoNotOptimize(cond::toText(command).size());
    }
}
BENCHMARK(BM_Condition_InList)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond);

void BM_Packet_WideRow(benchmark::State &state)
{
    DataPacket packet;
    QVariantList row;
    for (int i = 0; i < state.range(0); ++i) {
        packet.fields.append(FieldDef{QStringLiteral("F%1").arg(i), FieldType::Integer});
        row.append(i);
    }
    packet.rows.push_back(row);
    const QString text = writeDataPacket(packet);
    ClientDataSet ds;
    for (auto _ : state) {
        ds.loadFromText(text);
        benchmark::DoNotOptimize(ds.fieldCount());
    }
}
BENCHMARK(BM_Packet_WideRow)
    ->Arg(1250)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
