#include "FakePlugin.h"
#include "HostFixture.h"
#include "HostMainWindow.h"
#include "LoginDialog.h"
#include "PluginHostImpl.h"
#include "UnknownModulePage.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>

using namespace vexa;
using namespace vexa::host;
using vexa::test::FakePage;
using vexa::test::FakePlugin;

namespace {

// A logged-in host with its main window and the fake plug-in attached.
struct HostRig
{
    vexa::test::HostFixture fixture;
    vexa::test::MessageRecorder messages;
    HostMainWindow window;
    PluginHostImpl host{*fixture.session, window};
    FakePlugin plugin;

    HostRig()
    {
        plugin.host = &host;
        host.setPlugin(&plugin);
    }
    ~HostRig() { host.shutdown(); }

    int open(const QString &code, const QString &command = QString(),
             const QVariant &parameter = QVariant())
    {
        QVariant p3 = parameter;
        return host.OpenModule(code, 0, 0, command, p3);
    }
    FakePage *page(int handle) const { return plugin.pages.value(handle); }
    QString tabText(QWidget *page) const
    {
        return window.tabs()->tabText(window.tabs()->indexOf(page));
    }
};

} // namespace

class TestPluginHost : public QObject
{
    Q_OBJECT

private slots:
    void openServedModule();
    void openModuleAgainShowsIt();
    void unknownModule_data();
    void unknownModule();
    void pluginErrorIsShownNotThrown();
    void busyAndLaunchNesting();
    void reloginOrder();
    void toolbarCommands();
    void closingTabsAndWindow();
    void moduleMenu();
    void twoPlugins();
    void cleanup() { resetHostDialogs(); }
};

void TestPluginHost::openServedModule()
{
    HostRig r;
    QCOMPARE(r.host.GetConnection(), r.fixture.session->connection());
    QCOMPARE(r.host.GetDataModule(), r.fixture.session->dataModule());
    // The plug-in finds the caption interface on the main window this way.
    QCOMPARE(qobject_cast<IHostMainWindow *>(r.host.MainWindow()),
             static_cast<IHostMainWindow *>(&r.window));
    QCOMPARE((QList<int>{r.host.CheckVersion(QStringLiteral("TARN"), QStringLiteral("2013")),
                         r.host.CheckVersion(QStringLiteral("TARN"), QStringLiteral("2014")),
                         r.host.CheckVersion(QStringLiteral("tarn"), QStringLiteral("2013"))}),
             (QList<int>{0, 1, 1}));

    QVariant p3 = QStringLiteral("Node=7");
    const int handle =
        r.host.OpenModule(QStringLiteral("SFMF"), 5, 42, QStringLiteral("DataProvider"), p3);
    QVERIFY(handle != 0);
    QCOMPARE(r.plugin.log, QStringList{"Create SFMF 5 42 'DataProvider' Node=7"});
    FakePage *page = r.page(handle);
    QVERIFY(page);
    QCOMPARE(r.window.currentPage(), page);
    QCOMPARE(r.window.pageForHandle(handle), page);
    QCOMPARE(r.window.pageHandles(), QList<int>{handle});
    // The caption the page set while it executed, before it was docked.
    QCOMPARE(r.tabText(page), QStringLiteral("页面 SFMF"));
    QCOMPARE(r.window.windowTitle(), QStringLiteral("Vexa - 页面 SFMF"));
    QCOMPARE(page->calls, QStringList{"UpdateAttachmentAction"});

    // A caption set later goes to the page in front.
    r.window.SetCaptionText(QStringLiteral("主控制台:演示"));
    QCOMPARE(r.tabText(page), QStringLiteral("主控制台:演示"));
    QVERIFY(r.messages.messages.isEmpty());
}

void TestPluginHost::openModuleAgainShowsIt()
{
    HostRig r;
    const int first = r.open(QStringLiteral("SFMF"));
    const int second = r.open(QStringLiteral("SFNF"));
    QCOMPARE(r.window.currentPage(), r.page(second));

    QCOMPARE(r.open(QStringLiteral("SFMF"), QStringLiteral("X")), first);
    QCOMPARE(r.plugin.log.last(), QStringLiteral("Show %1").arg(first));
    QCOMPARE(r.window.tabs()->count(), 2);
    QCOMPARE(r.window.currentPage(), r.page(first));

    // A page that refuses to show stays where it is.
    r.plugin.showResult = -1;
    QCOMPARE(r.open(QStringLiteral("SFNF")), 0);
    QCOMPARE(r.window.currentPage(), r.page(first));
    QCOMPARE(r.window.tabs()->count(), 2);
}

void TestPluginHost::unknownModule_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("withPlugin");
    QTest::addColumn<QString>("otherLibrary"); // module moved to another library first
    QTest::newRow("catalogue module without page") << "GLPZMB" << true << "";
    QTest::newRow("code not in the catalogue") << "NOPE" << true << "";
    QTest::newRow("page module, no plug-in loaded") << "SFMF" << false << "";
    QTest::newRow("page of another library") << "SFNF" << true << "OTHERGL";
}

void TestPluginHost::unknownModule()
{
    QFETCH(QString, code);
    QFETCH(bool, withPlugin);
    QFETCH(QString, otherLibrary);
    HostRig r;
    if (!withPlugin)
        r.host.setPlugin(nullptr);
    if (!otherLibrary.isEmpty()) {
        QSqlQuery q(r.fixture.session->localConnection()->database());
        QVERIFY(q.exec(QStringLiteral("UPDATE SMModules SET DllFile = '%1' WHERE MCode = '%2'")
                           .arg(otherLibrary, code)));
    }

    QCOMPARE(r.open(code, QStringLiteral("DataProvider"), QStringLiteral("ObjType=2101")), 0);
    QVERIFY(r.plugin.log.filter(QStringLiteral("Create")).isEmpty());
    auto *page = qobject_cast<UnknownModulePage *>(r.window.currentPage());
    QVERIFY(page);
    const auto text = [page](const char *name) {
        return page->findChild<QLabel *>(QString::fromLatin1(name))->text();
    };
    QCOMPARE(text("lbCode"), code);
    QCOMPARE(text("lbCommand"), QStringLiteral("DataProvider"));
    QCOMPARE(text("lbParameter"), QStringLiteral("ObjType=2101"));
    QCOMPARE(r.window.pageHandles(), QList<int>{});
    QVERIFY(r.messages.messages.isEmpty());

    // Started again with other values: the same page shows them.
    QCOMPARE(r.open(code, QString(), QVariant()), 0);
    QCOMPARE(r.window.tabs()->count(), 1);
    QCOMPARE(text("lbCommand"), QStringLiteral("（无）"));
    QCOMPARE(text("lbParameter"), QStringLiteral("（无）"));
}

void TestPluginHost::pluginErrorIsShownNotThrown()
{
    HostRig r;
    r.plugin.throwOnCreate = true;
    QCOMPARE(r.open(QStringLiteral("SFMF")), 0);
    QCOMPARE(r.messages.messages.size(), 1);
    QCOMPARE(r.messages.messages[0].kind, QLatin1Char('E'));
    QCOMPARE(r.messages.messages[0].text,
             QStringLiteral("系统错误1020: 动态库内没有注册 SFMF 类错误"));
    QCOMPARE(r.window.tabs()->count(), 0);

    // A page that refuses to open is no error.
    r.plugin.throwOnCreate = false;
    r.plugin.refuseCreate = true;
    QCOMPARE(r.open(QStringLiteral("SFMF")), 0);
    QCOMPARE(r.messages.messages.size(), 1);
    QCOMPARE(r.window.tabs()->count(), 0);
    QCOMPARE(r.window.windowTitle(), QStringLiteral("Vexa"));
}

void TestPluginHost::busyAndLaunchNesting()
{
    HostRig r;
    // Someone else's cursor must survive the host's brackets, also an unmatched EndBusy.
    QApplication::setOverrideCursor(Qt::PointingHandCursor);
    r.host.BeginBusy();
    r.host.BeginBusy();
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QVERIFY(r.window.busyShown());
    r.host.EndBusy(false);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    r.host.EndBusy(true);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
    QVERIFY(!r.window.busyShown());
    r.host.EndBusy(false);
    QCOMPARE(r.host.busyCount(), 0);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
    QApplication::restoreOverrideCursor();
    QVERIFY(!QApplication::overrideCursor());

    r.host.EndLaunch(false); // unmatched: must not leave the count below zero
    r.host.BeginLaunch();
    r.host.BeginLaunch();
    r.host.EndLaunch(false);
    QVERIFY(r.window.launchShown());
    r.host.EndLaunch(false);
    QVERIFY(!r.window.launchShown());
    QCOMPARE(r.host.launchCount(), 0);
    QVERIFY(!QApplication::overrideCursor());
}

void TestPluginHost::reloginOrder()
{
    HostRig r;
    const int console = r.open(QStringLiteral("SFMF"));
    r.open(QStringLiteral("GLPZLR")); // a host page: not the plug-in's to execute
    const int normal = r.open(QStringLiteral("SFNF"));
    r.window.tabs()->tabBar()->moveTab(2, 0); // tab order: SFNF, SFMF, GLPZLR
    QCOMPARE(r.window.pageHandles(), (QList<int>{normal, console}));

    // Cancelled: nothing happens.
    hostDialogs().exec = [](QDialog &) { return int(QDialog::Rejected); };
    const QStringList untouched = r.plugin.log;
    r.host.Relogin();
    QCOMPARE(r.plugin.log, untouched);
    QCOMPARE(r.host.GetValue(QStringLiteral("HASRELOGIN")), QVariant(false));

    QString prefilled;
    hostDialogs().exec = [&](QDialog &dialog) {
        auto *login = qobject_cast<LoginDialog *>(&dialog);
        if (!login)
            return int(QDialog::Rejected);
        prefilled = login->user();
        login->findChild<QLineEdit *>(QStringLiteral("edUser"))->setText(QStringLiteral("clerk"));
        login->findChild<QLineEdit *>(QStringLiteral("edPassword"))
            ->setText(QStringLiteral("clerk"));
        login->findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
        return login->result();
    };
    const qsizetype before = r.plugin.log.size();
    r.host.Relogin();

    QCOMPARE(prefilled, QStringLiteral("Manager"));
    QCOMPARE(r.plugin.log.mid(before),
             (QStringList{"Reload(false) user=会计张三 relogin=true",
                          QStringLiteral("Execute %1 0 '' -").arg(normal),
                          QStringLiteral("Execute %1 0 '' -").arg(console)}));
    // Each page's caption reached its own tab, not the one in front.
    QCOMPARE(r.tabText(r.page(normal)), QStringLiteral("已刷新 %1").arg(normal));
    QCOMPARE(r.tabText(r.page(console)), QStringLiteral("已刷新 %1").arg(console));
    QVERIFY(r.window.findChild<QLabel *>(QStringLiteral("lbSession"))
                ->text()
                .contains(QStringLiteral("会计张三")));
    QVERIFY(r.messages.messages.isEmpty());
}

// Each toolbar position reaches its own command of the page in front, and no other page.
void TestPluginHost::toolbarCommands()
{
    HostRig r;
    for (int position = 6; position <= 21; ++position)
        r.window.commandAction(position)->trigger(); // no page at all
    r.open(QStringLiteral("GLPZLR"));
    for (int position = 6; position <= 21; ++position)
        r.window.commandAction(position)->trigger(); // a page without commands
    QVERIFY(r.messages.messages.isEmpty());
    QCOMPARE(r.window.commandAction(5), nullptr);
    QCOMPARE(r.window.commandAction(22), nullptr);

    FakePage *behind = r.page(r.open(QStringLiteral("SFMF")));
    FakePage *front = r.page(r.open(QStringLiteral("SFNF")));
    behind->calls.clear();
    front->calls.clear();
    // The plug-in names the actions when it sets their state.
    const QStringList names{"tbOpen",   "tbNew",     "tbModify",  "tbDelete",  "tbSave",
                            "tbCancel", "sbEnter",   "sbUnEnter", "tbRefresh", "tbUpdateAttachment",
                            "tbPrint",  "tbPreview", "tbExport",  "tbFind",    "BillAccessories",
                            "tbUser"};
    QStringList expected;
    for (int position = 6; position <= 21; ++position) {
        QAction *action = r.window.commandAction(position);
        QCOMPARE(r.window.action(names[position - 6]), action);
        action->trigger();
        expected << (position == 15   ? QStringLiteral("UpdateAttachmentAction")
                     : position == 20 ? QStringLiteral("ShowAttachments")
                     : position == 21
                         ? QStringLiteral("UserCommand(-)")
                         : QStringLiteral("Command%1").arg(position, 2, 10, QLatin1Char('0')));
        if (position == 20)
            QCOMPARE(r.window.statusBar()->currentMessage(), QStringLiteral("附件：3 个"));
    }
    QCOMPARE(front->calls, expected);
    QVERIFY(behind->calls.isEmpty());
    // The page's error is shown, not thrown through the event loop.
    QCOMPARE(r.messages.messages.size(), 1);
    QCOMPARE(r.messages.messages[0].caption, r.window.commandAction(19)->text());
    QCOMPARE(r.messages.messages[0].text, QStringLiteral("查询条件不完整。"));

    // The plug-in's state for one action changes that action only; an unknown name none.
    QAction *approve = r.window.action(QStringLiteral("sbEnter"));
    r.host.SetActionState(QStringLiteral("sbEnter"), false, 7);
    QCOMPARE(approve->data(), QVariant(7));
    for (int position = 6; position <= 21; ++position) {
        QAction *other = r.window.commandAction(position);
        QCOMPARE(other->isEnabled(), other != approve);
    }
    r.host.SetActionState(QStringLiteral("sbEnter"), true, 1);
    r.host.SetActionState(QStringLiteral("NoSuchAction"), false, 0);
    for (int position = 6; position <= 21; ++position)
        QVERIFY(r.window.commandAction(position)->isEnabled());
}

void TestPluginHost::closingTabsAndWindow()
{
    HostRig r;
    const int handle = r.open(QStringLiteral("SFMF"));
    r.open(QStringLiteral("GLPZLR"));
    QPointer<QWidget> unknown = r.window.currentPage();
    QPointer<FakePage> page = r.page(handle);

    emit r.window.tabs()->tabCloseRequested(0);
    QCOMPARE(r.plugin.log.last(), QStringLiteral("Close %1").arg(handle));
    QVERIFY(page.isNull());
    QCOMPARE(r.window.currentPage(), unknown.data());

    emit r.window.tabs()->tabCloseRequested(0);
    QCOMPARE(r.window.tabs()->count(), 0);
    QTRY_VERIFY(unknown.isNull());
    QCOMPARE(r.plugin.log.filter(QStringLiteral("Close")).size(), 1);
    QCOMPARE(r.window.windowTitle(), QStringLiteral("Vexa"));

    // Closing the window closes every form once.
    r.open(QStringLiteral("SFMF"));
    r.open(QStringLiteral("SFNF"));
    r.window.show();
    QVERIFY(r.window.close());
    QCOMPARE(r.plugin.log.last(), QStringLiteral("CloseAll"));
    QCOMPARE(r.window.tabs()->count(), 0);
    r.host.shutdown();
    QCOMPARE(r.plugin.log.filter(QStringLiteral("CloseAll")).size(), 1);
}

// The menu lists the modules that have a page, and opens them.
void TestPluginHost::moduleMenu()
{
    HostRig r;
    r.host.updateModuleMenu();
    QStringList codes;
    QAction *navigation = nullptr;
    for (QAction *a : r.window.moduleMenu()->actions()) {
        codes << a->data().toString();
        if (codes.last() == QLatin1String("SFPF"))
            navigation = a;
    }
    codes.sort();
    QCOMPARE(codes, (QStringList{"SFJF", "SFMF", "SFNF", "SFPF", "SFSF"}));

    navigation->trigger();
    QCOMPARE(r.plugin.log.last(), QStringLiteral("Create SFPF 0 0 '' -"));
    QCOMPARE(r.window.pageHandles().size(), 1);

    r.host.setPlugin(nullptr);
    r.host.updateModuleMenu();
    QCOMPARE(r.window.moduleMenu()->actions().size(), 1);
    QVERIFY(!r.window.moduleMenu()->actions().first()->isEnabled());
    r.host.setPlugin(&r.plugin); // so the rig closes the page it opened
}

// Each plug-in gets the modules of its library and every later call for its own pages,
// though both hand out the same handle numbers.
void TestPluginHost::twoPlugins()
{
    FakePlugin ledger; // outlives the rig, which closes the pages at its end
    HostRig r;
    ledger.host = &r.host;
    r.host.setPlugin(&ledger, QStringLiteral("VEXALEDGER"));
    QCOMPARE(r.plugin.nextHandle, ledger.nextHandle);

    const int console = r.open(QStringLiteral("SFMF"));
    const int voucher = r.open(QStringLiteral("GLPZLR"));
    QCOMPARE(voucher, console);
    QCOMPARE(r.plugin.log, QStringList{"Create SFMF 0 0 '' -"});
    QCOMPARE(ledger.log, QStringList{"Create GLPZLR 0 0 '' -"});
    QPointer<FakePage> voucherPage = ledger.pages.value(voucher);
    QCOMPARE(r.window.currentPage(), voucherPage.data());

    // Started again: the page of its own plug-in comes forward.
    r.window.activatePage(r.page(console));
    r.open(QStringLiteral("GLPZLR"));
    QCOMPARE(ledger.log.last(), QStringLiteral("Show %1").arg(voucher));
    QCOMPARE(r.plugin.log.filter(QStringLiteral("Show")), QStringList{});
    QCOMPARE(r.window.currentPage(), voucherPage.data());

    r.host.updateModuleMenu();
    QStringList codes;
    for (QAction *a : r.window.moduleMenu()->actions())
        codes << a->data().toString();
    QVERIFY2(codes.contains(QStringLiteral("GLPZGL")) && codes.contains(QStringLiteral("SFMF")),
             qPrintable(codes.join(u',')));

    // Its tab closes its page only.
    emit r.window.tabs()->tabCloseRequested(r.window.tabs()->indexOf(voucherPage));
    QCOMPARE(ledger.log.last(), QStringLiteral("Close %1").arg(voucher));
    QVERIFY(voucherPage.isNull());
    QVERIFY(r.page(console));
    QCOMPARE(r.plugin.log.filter(QStringLiteral("Close")), QStringList{});

    r.open(QStringLiteral("GLPZGL"));
    r.host.shutdown();
    QCOMPARE(r.plugin.log.last(), QStringLiteral("CloseAll"));
    QCOMPARE(ledger.log.last(), QStringLiteral("CloseAll"));

    // Without the ledger's library its modules open the page of modules not built.
    r.host.setPlugin(nullptr, QStringLiteral("VEXALEDGER"));
    r.host.resume();
    r.open(QStringLiteral("GLPZDZ"));
    QVERIFY(qobject_cast<UnknownModulePage *>(r.window.currentPage()));
    QCOMPARE(ledger.log.filter(QStringLiteral("GLPZDZ")), QStringList{});
}

QTEST_MAIN(TestPluginHost)
#include "tst_pluginhost.moc"
