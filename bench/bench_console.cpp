// Module console benchmark (scripts/bench), on the demo account set with its console tree
// replaced by a generated one of shared nodes: ten root directories, two more levels of
// directories and modules as leaves.
// - Opening the page (BeforeExecute: the user, the rights, the whole tree, the root levels)
//   beside the bare provider request of the same rows on the same connection: the page's own
//   work should cost at most as much again as the request.
// - "全部展开" on 10,000 nodes beside the same on 2,500: at most five times as long, or the
//   expansion grows faster than the tree.
// VEXA_BENCH_NODES=n makes the large tree n nodes and the small one n/4 (for valgrind runs).
#include "support/TestHost.h"

#include "Globals.h"
#include "MainForm.h"
#include "Process.h"

#include <vexa/Error.h>

#include <QApplication>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUuid>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

using namespace vexa;
using namespace vexa::gl;

namespace {

void fail(const QString &what, const QSqlQuery &query)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(what), qPrintable(query.lastError().text()));
    std::abort();
}

void exec(QSqlQuery &query, const QString &what)
{
    if (!query.exec())
        fail(what, query);
}

struct Module
{
    QVariant MCode, UICommand, CommandData, ParaStr, ObjType, DType, PackNo, InnerUse, MDesc;
};

// Replaces the console tree of the account set by n shared nodes: ten roots (the personal
// and the locked folder among them), f directories under each root and under each of
// those, and the rest as modules spread evenly over the lowest directories.
void buildTree(server::ServerConnection &connection, int n)
{
    QSqlDatabase db = connection.database();
    if (!db.transaction()) {
        std::fprintf(stderr, "begin: %s\n", qPrintable(db.lastError().text()));
        std::abort();
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT MCode, UICommand, CommandData, ParaStr, ObjType, DType, "
                                 "PackNo, InnerUse, MDesc FROM SMModules ORDER BY MCode"));
    exec(query, QStringLiteral("modules"));
    std::vector<Module> modules;
    while (query.next()) {
        Module m;
        QVariant *cols[] = {&m.MCode, &m.UICommand, &m.CommandData, &m.ParaStr, &m.ObjType,
                            &m.DType, &m.PackNo,    &m.InnerUse,    &m.MDesc};
        for (int i = 0; i < 9; ++i)
            *cols[i] = query.value(i);
        modules.push_back(m);
    }
    if (modules.empty()) {
        std::fprintf(stderr, "the demo account set has no modules\n");
        std::abort();
    }
    query.prepare(QStringLiteral("DELETE FROM SMModuleTree"));
    exec(query, QStringLiteral("delete"));

    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT INTO SMModuleTree (NodeID, ParentID, UserID, NodeDesc, MCode, Sort, DType, "
        "UICommand, CommandData, ParaStr, PackNo, ObjType, InnerUse) "
        "VALUES (?, ?, NULL, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    int count = 0;
    auto add = [&](const QString &id, const QString &parent, const QString &desc, int sort,
                   const Module *m) {
        insert.bindValue(0, id);
        insert.bindValue(1, parent.isEmpty() ? QVariant() : QVariant(parent));
        insert.bindValue(2, desc);
        insert.bindValue(3, m ? m->MCode : QVariant());
        insert.bindValue(4, sort);
        insert.bindValue(5, m ? m->DType : QVariant());
        insert.bindValue(6, m ? m->UICommand : QVariant());
        insert.bindValue(7, m ? m->CommandData : QVariant());
        insert.bindValue(8, m ? m->ParaStr : QVariant());
        insert.bindValue(9, m ? m->PackNo : QVariant());
        insert.bindValue(10, m ? m->ObjType : QVariant());
        insert.bindValue(11, m ? m->InnerUse : QVariant());
        exec(insert, QStringLiteral("insert"));
        ++count;
    };
    auto guid = [] { return QUuid::createUuid().toString(QUuid::WithBraces).toUpper(); };

    const QStringList rootNames = {QStringLiteral("我的模块"), QStringLiteral("系统模块"),
                                   QStringLiteral("总账"),     QStringLiteral("出纳"),
                                   QStringLiteral("销售"),     QStringLiteral("采购"),
                                   QStringLiteral("存货"),     QStringLiteral("初始化"),
                                   QStringLiteral("基础资料"), QStringLiteral("报表")};
    const int roots = int(rootNames.size());
    const int fanout = qMax(1, qRound(std::sqrt(double(n - roots) / (roots * 10))));
    QStringList lowest;
    for (int r = 0; r < roots; ++r) {
        const QString root = r == 0   ? QString::fromLatin1(kPersonalFolderID)
                             : r == 1 ? QString::fromLatin1(kLockedFolderID)
                                      : guid();
        add(root, QString(), rootNames[r], r + 1, nullptr);
        for (int a = 0; a < fanout; ++a) {
            const QString dir = guid();
            add(dir, root, QStringLiteral("%1-%2").arg(rootNames[r]).arg(a + 1), a + 1, nullptr);
            for (int b = 0; b < fanout; ++b) {
                const QString sub = guid();
                add(sub, dir, QStringLiteral("%1-%2-%3").arg(rootNames[r]).arg(a + 1).arg(b + 1),
                    b + 1, nullptr);
                lowest << sub;
            }
        }
    }
    const int leaves = n - count;
    for (int i = 0; i < leaves; ++i) {
        const Module &m = modules[size_t(i) % modules.size()];
        const int dir = i % int(lowest.size());
        add(guid(), lowest[dir], m.MDesc.toString(), i / int(lowest.size()) + 1, &m);
    }
    if (!db.commit()) {
        std::fprintf(stderr, "commit: %s\n", qPrintable(db.lastError().text()));
        std::abort();
    }
    query.prepare(QStringLiteral("ANALYZE"));
    exec(query, QStringLiteral("analyze"));
}

std::map<int, std::unique_ptr<test::TestHost>> g_hosts; // by node count

// The account set with a tree of that many nodes (built on first use), as the globals' host.
test::TestHost &use(int nodes)
{
    std::unique_ptr<test::TestHost> &slot = g_hosts[nodes];
    if (!slot) {
        slot = std::make_unique<test::TestHost>();
        buildTree(*slot->connection, nodes);
    }
    test::TestHost &host = *slot;
    Globals() = PluginGlobals();
    Globals().Host = &host;
    Globals().Connection = host.connection.get();
    Globals().AppServer = host.connection.get();
    Globals().DataModule = &host.dataModule;
    return host;
}

std::unique_ptr<TMainForm> openPage()
{
    auto form = std::make_unique<TMainForm>();
    bool ok = false;
    form->BeforeExecute(ok);
    if (!ok)
        throw Error(QStringLiteral("主控台未能打开。"));
    return form;
}

int itemCount(const TMainForm &form)
{
    int items = 0;
    for (QTreeWidgetItemIterator it(form.findChild<QTreeWidget *>(QStringLiteral("tvModule"))); *it;
         ++it)
        ++items;
    return items;
}

void BM_OpenConsole(benchmark::State &state)
{
    use(int(state.range(0)));
    int items = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<TMainForm>();
        state.ResumeTiming();
        bool ok = false;
        form->BeforeExecute(ok);
        state.PauseTiming();
        if (!ok)
            state.SkipWithError("BeforeExecute failed");
        items = itemCount(*form);
        form.reset();
        state.ResumeTiming();
    }
    state.counters["items"] = items;
}

void BM_OpenConsole_Request(benchmark::State &state)
{
    test::TestHost &host = use(int(state.range(0)));
    const QString userID = host.values.value(QStringLiteral("UserID")).toString();
    // The command text the page sends.
    const QString command = QStringLiteral("WHERE (UserID IS NULL) OR (UserID='") + userID +
                            QStringLiteral("') ORDER BY ParentID,Sort");
    size_t rows = 0;
    for (auto _ : state) {
        const DataPacket packet =
            host.connection->request(QStringLiteral("SYS_SMModuleTree"), command);
        rows = packet.rows.size();
        benchmark::DoNotOptimize(packet.rows.data());
    }
    state.counters["rows"] = double(rows);
}

void BM_ExpandAll(benchmark::State &state)
{
    use(int(state.range(0)));
    int items = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = openPage();
        form->resize(1000, 700);
        form->show();
        QApplication::processEvents();
        auto *sbExpanded = form->findChild<QToolButton *>(QStringLiteral("sbExpanded"));
        state.ResumeTiming();
        sbExpanded->click();
        QApplication::processEvents(); // the tree lays out and paints
        state.PauseTiming();
        items = itemCount(*form);
        form.reset();
        state.ResumeTiming();
    }
    state.counters["items"] = items;
}

// The offscreen platform says so for every window shown; nothing else is dropped.
void quietOffscreen(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QLatin1String("propagateSizeHints")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

} // namespace

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler(quietOffscreen);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const int large = qEnvironmentVariableIsSet("VEXA_BENCH_NODES")
                          ? qEnvironmentVariableIntValue("VEXA_BENCH_NODES")
                          : 10000;
    const int small = large / 4;
    benchmark::RegisterBenchmark("BM_OpenConsole", BM_OpenConsole)
        ->Arg(large)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_OpenConsole_Request", BM_OpenConsole_Request)
        ->Arg(large)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_ExpandAll", BM_ExpandAll)
        ->Arg(small)
        ->Arg(large)
        ->Unit(benchmark::kMillisecond);
    try {
        benchmark::RunSpecifiedBenchmarks();
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    Globals() = PluginGlobals();
    g_hosts.clear();
    benchmark::Shutdown();
    return 0;
}
