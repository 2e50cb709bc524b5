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
    void contractObjects();
    void openServedModule();
    void openModuleAgainShowsIt();
    void unknownModule_data();
    void unknownModule();
    void pluginErrorIsShownNotThrown();
    void checkVersion_data();
    void checkVersion();
    void busyNesting();
    void launchNesting();
    void reloginOrder();
    void reloginCancelled();
    void toolbarCommands_data();
    void toolbarCommands();
    void toolbarWithoutCommandPage();
    void setActionState_data();
    void setActionState();
    void closingTabs();
    void closingWindowClosesAllForms();
    void moduleMenu();
    void cleanup() { resetHostDialogs(); }
};

void TestPluginHost::contractObjects()
{
    HostRig r;
    QCOMPARE(r.host.GetConnection(), r.fixture.session->connection());
    QCOMPARE(r.host.GetDataModule(), r.fixture.session->dataModule());
    QCOMPARE(r.host.MainWindow(), &r.window);
    // The plug-in finds the caption interface on the main window this way.
    QCOMPARE(qobject_cast<IHostMainWindow *>(r.host.MainWindow()),
             static_cast<IHostMainWindow *>(&r.window));
    QCOMPARE(r.host.GetValue(QStringLiteral("MCODE:SFNF")).toString(),
             QStringLiteral("TNormalForm"));
}

void TestPluginHost::openServedModule()
{
    HostRig r;
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
    QCOMPARE(r.window.windowTitle(), QStringLiteral("Vexa - 主控制台:演示"));
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
    QTest::newRow("catalogue module without page") << "GLPZLR" << true << "";
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
        QSqlQuery q(r.fixture.session->connection()->database());
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
    QVERIFY2(text("lbMessage").contains(QStringLiteral("不在本产品版本之内")),
             qPrintable(text("lbMessage")));
    QVERIFY(r.tabText(page).startsWith(QStringLiteral("未实现的模块")));
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

void TestPluginHost::checkVersion_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("expected");
    QTest::newRow("accepted") << "TARN"
                              << "2013" << 0;
    QTest::newRow("other version") << "TARN"
                                   << "2014" << 1;
    QTest::newRow("letter case") << "tarn"
                                 << "2013" << 1;
}

void TestPluginHost::checkVersion()
{
    QFETCH(QString, family);
    QFETCH(QString, version);
    QFETCH(int, expected);
    HostRig r;
    QCOMPARE(r.host.CheckVersion(family, version), expected);
}

void TestPluginHost::busyNesting()
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
    QVERIFY(r.window.busyShown());
    r.host.EndBusy(true);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
    QVERIFY(!r.window.busyShown());
    r.host.EndBusy(false);
    QCOMPARE(r.host.busyCount(), 0);
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
    QApplication::restoreOverrideCursor();
    QVERIFY(!QApplication::overrideCursor());
}

void TestPluginHost::launchNesting()
{
    HostRig r;
    r.host.EndLaunch(false); // unmatched: must not leave the count below zero
    r.host.BeginLaunch();
    r.host.BeginLaunch();
    QVERIFY(r.window.launchShown());
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
    QCOMPARE(r.window.currentPage(), r.page(normal));

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
    QCOMPARE(r.host.GetValue(QStringLiteral("HASRELOGIN")), QVariant(true));
    QCOMPARE(r.host.GetValue(QStringLiteral("UserGroup")).toString(), QStringLiteral("2"));
    // Each page's caption reached its own tab, not the one in front.
    QCOMPARE(r.tabText(r.page(normal)), QStringLiteral("已刷新 %1").arg(normal));
    QCOMPARE(r.tabText(r.page(console)), QStringLiteral("已刷新 %1").arg(console));
    QVERIFY(r.window.findChild<QLabel *>(QStringLiteral("lbSession"))
                ->text()
                .contains(QStringLiteral("会计张三")));
    QVERIFY(r.messages.messages.isEmpty());
}

void TestPluginHost::reloginCancelled()
{
    HostRig r;
    r.open(QStringLiteral("SFMF"));
    hostDialogs().exec = [](QDialog &) { return int(QDialog::Rejected); };
    const QStringList before = r.plugin.log;
    r.host.Relogin();
    QCOMPARE(r.plugin.log, before);
    QCOMPARE(r.host.GetValue(QStringLiteral("HASRELOGIN")), QVariant(false));
    QCOMPARE(r.host.GetValue(QStringLiteral("UserName")).toString(), QStringLiteral("系统管理员"));
}

void TestPluginHost::toolbarCommands_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QString>("call");
    const QString names[] = {
        "tbOpen",   "tbNew",     "tbModify",  "tbDelete",  "tbSave",
        "tbCancel", "sbEnter",   "sbUnEnter", "tbRefresh", "tbUpdateAttachment",
        "tbPrint",  "tbPreview", "tbExport",  "tbFind",    "BillAccessories",
        "tbUser"};
    for (int position = 6; position <= 21; ++position) {
        QString call = QStringLiteral("Command%1").arg(position, 2, 10, QLatin1Char('0'));
        if (position == 15)
            call = QStringLiteral("UpdateAttachmentAction");
        else if (position == 20)
            call = QStringLiteral("ShowAttachments");
        else if (position == 21)
            call = QStringLiteral("UserCommand(-)");
        QTest::addRow("%d", position) << position << names[position - 6] << call;
    }
}

void TestPluginHost::toolbarCommands()
{
    QFETCH(int, position);
    QFETCH(QString, actionName);
    QFETCH(QString, call);
    HostRig r;
    FakePage *behind = r.page(r.open(QStringLiteral("SFMF")));
    FakePage *front = r.page(r.open(QStringLiteral("SFNF")));
    behind->calls.clear();
    front->calls.clear();

    QAction *action = r.window.commandAction(position);
    QVERIFY(action);
    QCOMPARE(action->objectName(), actionName);
    QCOMPARE(r.window.action(actionName), action);
    action->trigger();
    QCOMPARE(front->calls, QStringList{call});
    QVERIFY(behind->calls.isEmpty());
    if (position == 19) { // the page's error is shown, not thrown through the event loop
        QCOMPARE(r.messages.messages.size(), 1);
        QCOMPARE(r.messages.messages[0].caption, action->text());
        QCOMPARE(r.messages.messages[0].text, QStringLiteral("查询条件不完整。"));
    } else {
        QVERIFY(r.messages.messages.isEmpty());
    }
    if (position == 20)
        QCOMPARE(r.window.statusBar()->currentMessage(), QStringLiteral("附件：3 个"));
}

void TestPluginHost::toolbarWithoutCommandPage()
{
    HostRig r;
    for (int position = 6; position <= 21; ++position)
        r.window.commandAction(position)->trigger(); // no page at all
    r.open(QStringLiteral("GLPZLR"));
    for (int position = 6; position <= 21; ++position)
        r.window.commandAction(position)->trigger();
    QVERIFY(r.messages.messages.isEmpty());
    QCOMPARE(r.window.commandAction(5), nullptr);
    QCOMPARE(r.window.commandAction(22), nullptr);
}

void TestPluginHost::setActionState_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("approve") << "sbEnter"
                             << "审核";
}

void TestPluginHost::setActionState()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    HostRig r;
    QAction *action = r.window.action(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QVERIFY(action->isEnabled());

    r.host.SetActionState(name, false, 7);
    QVERIFY(!action->isEnabled());
    QCOMPARE(action->data(), QVariant(7));
    // Only the named action changes.
    for (int position = 6; position <= 21; ++position) {
        QAction *other = r.window.commandAction(position);
        QCOMPARE(other->isEnabled(), other != action);
    }
    r.host.SetActionState(name, true, 1);
    QVERIFY(action->isEnabled());
    QCOMPARE(action->data(), QVariant(1));

    r.host.SetActionState(QStringLiteral("NoSuchAction"), false, 0);
    for (int position = 6; position <= 21; ++position)
        QVERIFY(r.window.commandAction(position)->isEnabled());
}

void TestPluginHost::closingTabs()
{
    HostRig r;
    const int handle = r.open(QStringLiteral("SFMF"));
    QPointer<QWidget> unknown;
    r.open(QStringLiteral("GLPZLR"));
    unknown = r.window.currentPage();
    QPointer<FakePage> page = r.page(handle);

    emit r.window.tabs()->tabCloseRequested(0);
    QCOMPARE(r.plugin.log.last(), QStringLiteral("Close %1").arg(handle));
    QVERIFY(page.isNull());
    QCOMPARE(r.window.tabs()->count(), 1);
    QCOMPARE(r.window.currentPage(), unknown.data());

    emit r.window.tabs()->tabCloseRequested(0);
    QCOMPARE(r.window.tabs()->count(), 0);
    QTRY_VERIFY(unknown.isNull());
    QCOMPARE(r.plugin.log.filter(QStringLiteral("Close")).size(), 1);
    QCOMPARE(r.window.windowTitle(), QStringLiteral("Vexa"));
}

void TestPluginHost::closingWindowClosesAllForms()
{
    HostRig r;
    r.open(QStringLiteral("SFMF"));
    r.open(QStringLiteral("SFNF"));
    r.window.show();
    QVERIFY(r.window.close());
    QCOMPARE(r.plugin.log.last(), QStringLiteral("CloseAll"));
    QCOMPARE(r.window.tabs()->count(), 0);
    r.host.shutdown();
    QCOMPARE(r.plugin.log.filter(QStringLiteral("CloseAll")).size(), 1);
}

void TestPluginHost::moduleMenu()
{
    HostRig r;
    r.host.updateModuleMenu();
    QStringList codes;
    for (QAction *a : r.window.moduleMenu()->actions())
        codes << a->data().toString();
    QStringList expected;
    for (const ModuleInfo &m : r.fixture.session->pageModules())
        expected << m.code;
    QCOMPARE(codes, expected);
    QCOMPARE(codes.size(), 5);

    QAction *navigation =
        r.window.moduleMenu()->actions().at(codes.indexOf(QStringLiteral("SFPF")));
    QCOMPARE(navigation->text(), QStringLiteral("控制中心（专业版）"));
    navigation->trigger();
    QCOMPARE(r.plugin.log.last(), QStringLiteral("Create SFPF 0 0 '' -"));
    QCOMPARE(r.window.pageHandles().size(), 1);

    r.host.setPlugin(nullptr);
    r.host.updateModuleMenu();
    QCOMPARE(r.window.moduleMenu()->actions().size(), 1);
    QVERIFY(!r.window.moduleMenu()->actions().first()->isEnabled());
    r.host.setPlugin(&r.plugin); // so the rig closes the page it opened
}

QTEST_MAIN(TestPluginHost)
#include "tst_pluginhost.moc"
