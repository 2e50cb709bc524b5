// Fiscal calendar operations on a full table of 13-period years (650 rows): each is one
// user action in the period dialog and should stay well under 20 ms.
#include "FiscalCalendar.h"
#include "Process.h"

#include <benchmark/benchmark.h>
#include <memory>

using namespace vexa;
using namespace vexa::gl;

namespace {

struct Table
{
    ClientDataSet ds;
    FiscalCalendar cal{ds};
    explicit Table(int periods)
    {
        ds.setFieldDefs(FiscalCalendar::periodFields());
        ds.createDataSet();
        cal.prepare(2027);
        cal.setPeriodCount(periods);
        ds.mergeChangeLog();
    }
};

void BM_Generate(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto t = std::make_unique<Table>(13); // generation deletes these 650 rows first
        state.ResumeTiming();
        t->cal.generate(2027);
        benchmark::DoNotOptimize(t->ds.recordCount());
        state.PauseTiming();
        t.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Generate)->Unit(benchmark::kMillisecond);

// 600 rows to 650 and back, each direction timed alone.
void BM_SwitchTo13(benchmark::State &state)
{
    Table t(12);
    for (auto _ : state) {
        t.cal.setPeriodCount(13);
        state.PauseTiming();
        t.cal.setPeriodCount(12);
        t.ds.mergeChangeLog();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SwitchTo13)->Unit(benchmark::kMillisecond);

void BM_SwitchTo12(benchmark::State &state)
{
    Table t(13);
    for (auto _ : state) {
        t.cal.setPeriodCount(12);
        state.PauseTiming();
        t.cal.setPeriodCount(13);
        t.ds.mergeChangeLog();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SwitchTo12)->Unit(benchmark::kMillisecond);

void BM_ChangeStartYear(benchmark::State &state)
{
    Table t(13);
    int delta = 1;
    for (auto _ : state) {
        t.cal.changeStartYear(t.cal.startYear() + delta);
        delta = -delta;
    }
}
BENCHMARK(BM_ChangeStartYear)->Unit(benchmark::kMillisecond);

// Period 1 of the start year: every later period is re-dated.
void BM_EditStartDate(benchmark::State &state)
{
    Table t(13);
    int day = 1;
    for (auto _ : state) {
        t.cal.showYear(2024);
        day = day % 27 + 1;
        t.cal.editPostingFrom(QDate(2024, 1, day));
    }
}
BENCHMARK(BM_EditStartDate)->Unit(benchmark::kMillisecond);

void BM_EditStartDateRefused(benchmark::State &state)
{
    Table t(13);
    t.cal.showYear(2050);
    for (auto _ : state) {
        t.ds.setRecNo(5);
        benchmark::DoNotOptimize(t.cal.editPostingFrom(QDate(2050, 3, 1)));
    }
}
BENCHMARK(BM_EditStartDateRefused)->Unit(benchmark::kMillisecond);

void BM_SetActiveAllYears(benchmark::State &state)
{
    Table t(13);
    bool on = false;
    for (auto _ : state) {
        t.cal.setActive(on, FiscalCalendar::Scope::AllYears);
        on = !on;
    }
}
BENCHMARK(BM_SetActiveAllYears)->Unit(benchmark::kMillisecond);

void BM_SetActiveShownYear(benchmark::State &state)
{
    Table t(13);
    t.cal.showYear(2040);
    bool on = false;
    for (auto _ : state) {
        t.cal.setActive(on, FiscalCalendar::Scope::ShownYear);
        on = !on;
    }
}
BENCHMARK(BM_SetActiveShownYear)->Unit(benchmark::kMillisecond);

void BM_ToggleActive(benchmark::State &state)
{
    Table t(13);
    t.cal.showYear(2040);
    for (auto _ : state)
        t.cal.toggleActive();
}
BENCHMARK(BM_ToggleActive)->Unit(benchmark::kMillisecond);

void BM_ShowYear(benchmark::State &state)
{
    Table t(13);
    int year = 0;
    for (auto _ : state) {
        t.cal.showYear(2024 + year);
        benchmark::DoNotOptimize(t.cal.isShownYearEditable());
        year = (year + 7) % 50;
    }
}
BENCHMARK(BM_ShowYear)->Unit(benchmark::kMillisecond);

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
