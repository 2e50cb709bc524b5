// Account-set setup benchmark (scripts/bench), on the demo account set:
// - the chart-of-accounts template load of 企业会计准则 (accounts, types, four report
//   tables, the rebinding statements) beside copying the same rows unadapted through the
//   same providers in one transaction: the load's own work (adapting each account, the two
//   rebinding statements) should stay a small share;
// - the whole first save of a new set (600 periods, start periods, options, chart, every
//   record) as the configuration dialog runs it.
#include "support/TestHost.h"

#include "AccountSetConfig.h"
#include "AccountTemplate.h"
#include "DataAccess.h"
#include "FiscalCalendar.h"
#include "Globals.h"
#include "Process.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

using namespace vexa;
using namespace vexa::gl;

namespace {

void useHost(test::TestHost &host)
{
    Globals().Host = &host;
    Globals().Connection = host.connection.get();
    Globals().AppServer = host.connection.get();
    Globals().DataModule = &host.dataModule;
}

DataPacket payload(const char *field)
{
    auto record = ProviderDataSet(QStringLiteral("SYS_SMAcctTempData"),
                                  QStringLiteral("WHERE AcctTempCode = 'A01000'"));
    return readDataPacket(record->asString(QString::fromLatin1(field)));
}

void BM_LoadTemplate(benchmark::State &state)
{
    test::TestHost host;
    useHost(host);
    for (auto _ : state) {
        BeginTrans();
        LoadAccountTemplate(QStringLiteral("A01000"), QStringLiteral("RMB"));
        state.PauseTiming();
        RollbackTrans();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadTemplate)->Unit(benchmark::kMillisecond);

void BM_CopyTemplateRowsUnadapted(benchmark::State &state)
{
    test::TestHost host;
    useHost(host);
    const QList<std::pair<const char *, const char *>> tables = {
        {"LX_DMAccounting", "AcctXMLData"},
        {"LX_DMAccttype", "AcctTypeXMLData"},
        {"LX_FINGLReportTemplet", "T0200096"},
        {"LX_FINGLReportTempletItem", "T0200097"},
        {"LX_FINGLReportTempletForAcctDef", "T0200098"},
        {"LX_FINGLReportTempletForSUM", "T0200099"}};
    for (auto _ : state) {
        BeginTrans();
        // Read and parsed each time, as the load reads the template row each time.
        for (const auto &[provider, field] : tables) {
            auto target =
                ProviderDataSet(QString::fromLatin1(provider), QStringLiteral("WHERE 1=1"));
            AppendSharedRows(*target, payload(field));
            ApplyChanges(*target, false);
        }
        state.PauseTiming();
        RollbackTrans();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CopyTemplateRowsUnadapted)->Unit(benchmark::kMillisecond);

void BM_FirstSave(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto host = std::make_unique<test::TestHost>();
        useHost(*host);
        ClientDataSet periods;
        periods.setFieldDefs(FiscalCalendar::periodFields());
        periods.createDataSet();
        FiscalCalendar(periods).generate(2027);
        periods.setFiltered(false);
        const DataPacket rows = periods.data();
        state.ResumeTiming();

        AccountSetConfig config;
        config.Load(QDate(2027, 1, 15));
        config.Info().setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
        config.TakePeriods(rows, 2024, 12, 0);
        if (config.Validate())
            state.SkipWithError("validation refused the new set");
        config.Save(false);

        state.PauseTiming();
        Globals() = PluginGlobals();
        host.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstSave)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Globals() = PluginGlobals();
    return 0;
}
