// Starting a module from a console node: the account-set checks by package tag, the silent
// stops, and the host calls in order, also when the host fails to open the module.
#include "ClientDataSet.h"
#include "DataModule.h"
#include "Globals.h"
#include "LaunchGate.h"
#include "MessageDialogs.h"
#include "NodeData.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <QSettings>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {

const QString kNotEnabled =
    QStringLiteral("无法执行此模块，请在初始化完成后单击工具栏\"启用账套\"按钮启用此账套后继续。");
const QString kNoLedgerStart = QStringLiteral(
    "无法执行此模块，请单击工具栏\"参数配置\"按钮在窗口中指定总账启用会计期间后继续。");
const QString kNoCashier =
    QStringLiteral("无法执行此模块，请单击工具栏\"参数配置\"按钮在窗口中启用出纳系统后继续。");

class FailingHost : public vexa::test::TestHost
{
public:
    bool failOpen = false;
    int OpenModule(const QString &code, int tag, quint32 p1, const QString &p2,
                   QVariant &p3) override
    {
        TestHost::OpenModule(code, tag, p1, p2, p3);
        if (failOpen)
            throw Error(QStringLiteral("模块打不开"));
        return 7;
    }
};

QString openCall(const QString &code, char command, const QString &parameter)
{
    return QStringLiteral("OpenModule:%1:0:%2:DataProvider:%3")
        .arg(code)
        .arg(QChar::fromLatin1(command).unicode())
        .arg(parameter);
}

QStringList launched(const QString &openModule)
{
    return {QStringLiteral("BeginBusy"), QStringLiteral("BeginLaunch"), openModule,
            QStringLiteral("EndBusy:0"), QStringLiteral("EndLaunch:0")};
}

} // namespace

class TestLaunchGate : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<FailingHost> m_host;

    void setAccountSet(bool enabled, int glStart, int cashierStart)
    {
        ClientDataSet &info = m_host->info();
        if (info.isEmpty()) {
            info.append();
            info.setValue(QStringLiteral("DefID"), 1);
            info.setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
            info.setValue(QStringLiteral("SysCur"), QStringLiteral("RMB"));
            info.setValue(QStringLiteral("CurrName"), QStringLiteral("人民币"));
            info.setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("A01000"));
        } else {
            info.first();
            info.edit();
        }
        info.setValue(QStringLiteral("InitialAudit"), enabled);
        info.setValue(QStringLiteral("GLStartPeriodID"), glStart);
        info.setValue(QStringLiteral("CashierStartPeriodID"), cashierStart);
        info.post();
    }

    static TNodeData moduleNode(const QString &packNo)
    {
        TNodeData node;
        node.NodeID = QStringLiteral("{00000000-0000-0000-0000-000000000001}");
        node.MCode = QStringLiteral("GLPZLR");
        node.UICommand = QStringLiteral("N");
        node.CommandData = QStringLiteral("ObjType=2101");
        node.PackNo = packNo;
        node.ObjType = 2101;
        return node;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<FailingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
    }

    void init()
    {
        m_host->calls.clear();
        m_host->failOpen = false;
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // A new account set has no information row yet: nothing is set up.
    void withoutAccountSetRow()
    {
        QVERIFY(m_host->info().isEmpty());
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        const TNodeData cashier = moduleNode(QStringLiteral("[C]"));
        const TNodeData base = moduleNode(QStringLiteral("[B]"));
        QVERIFY(!LaunchConsoleNode(&cashier));
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, kNotEnabled);
        QVERIFY(LaunchConsoleNode(&base));
        QCOMPARE(m_host->calls,
                 launched(openCall(QStringLiteral("GLPZLR"), 'N', QStringLiteral("ObjType=2101"))));
    }

    void matrix_data()
    {
        QTest::addColumn<QString>("packNo");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("glStart");
        QTest::addColumn<int>("cashierStart");
        QTest::addColumn<QString>("warning"); // empty: the module starts

        const QString none;
        QTest::newRow("plain, not enabled") << "" << false << 3 << 3 << kNotEnabled;
        QTest::newRow("plain, enabled") << "" << true << 0 << 0 << none;
        QTest::newRow("[B], not enabled") << "[B]" << false << 0 << 0 << none;
        QTest::newRow("[I], not enabled, no GL start")
            << "[I]" << false << 0 << 3 << kNoLedgerStart;
        QTest::newRow("[I], not enabled, GL start") << "[I]" << false << 5 << 0 << none;
        QTest::newRow("[I], enabled, no GL start") << "[I]" << true << 0 << 0 << none;
        QTest::newRow("[B][I], not enabled, no GL start")
            << "[B][I]" << false << 0 << 0 << kNoLedgerStart;
        QTest::newRow("[C], not enabled") << "[C]" << false << 5 << 0 << kNotEnabled;
        QTest::newRow("[C], enabled, no cashier") << "[C]" << true << 5 << 0 << kNoCashier;
        QTest::newRow("[C], enabled, cashier") << "[C]" << true << 5 << 2 << none;
        QTest::newRow("[B][C], enabled, no cashier") << "[B][C]" << true << 0 << 0 << kNoCashier;
        QTest::newRow("[I][C], not enabled, no cashier")
            << "[I][C]" << false << 5 << 0 << kNoCashier;
        QTest::newRow("[I][C], not enabled, neither start")
            << "[I][C]" << false << 0 << 0 << kNoLedgerStart;
        QTest::newRow("[I][C], not enabled, both starts") << "[I][C]" << false << 5 << 2 << none;
        QTest::newRow("tag inside a longer run") << "[S][I][P]" << false << 5 << 0 << none;
        QTest::newRow("lower-case tag is no tag") << "[b]" << false << 5 << 5 << kNotEnabled;
    }

    void matrix()
    {
        QFETCH(QString, packNo);
        QFETCH(bool, enabled);
        QFETCH(int, glStart);
        QFETCH(int, cashierStart);
        QFETCH(QString, warning);
        setAccountSet(enabled, glStart, cashierStart);
        m_host->calls.clear();

        ScriptedDialogs dialogs;
        if (!warning.isEmpty())
            dialogs.answer(mrOk);
        const TNodeData node = moduleNode(packNo);
        QCOMPARE(LaunchConsoleNode(&node), warning.isEmpty());
        if (warning.isEmpty()) {
            QVERIFY(dialogs.shown.isEmpty());
            QCOMPARE(m_host->calls, launched(openCall(QStringLiteral("GLPZLR"), 'N',
                                                      QStringLiteral("ObjType=2101"))));
        } else {
            QCOMPARE(dialogs.shown.size(), 1);
            QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
            QCOMPARE(dialogs.shown[0].text, warning);
            QCOMPARE(m_host->calls, QStringList());
        }
    }

    // No item, no module number or no right: nothing at all happens, not even a message,
    // whatever the account set lacks.
    void silentStops_data()
    {
        QTest::addColumn<bool>("hasRecord");
        QTest::addColumn<QString>("mcode");
        QTest::addColumn<bool>("permitted");
        QTest::newRow("no record") << false << "GLPZLR" << true;
        QTest::newRow("directory") << true << "" << true;
        QTest::newRow("not permitted") << true << "GLPZLR" << false;
    }

    void silentStops()
    {
        QFETCH(bool, hasRecord);
        QFETCH(QString, mcode);
        QFETCH(bool, permitted);
        setAccountSet(false, 0, 0);
        m_host->calls.clear();
        TNodeData node = moduleNode(QString());
        node.MCode = mcode;
        node.Permitted = permitted;
        ScriptedDialogs dialogs;
        QVERIFY(!LaunchConsoleNode(hasRecord ? &node : nullptr));
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(m_host->calls, QStringList());
    }

    void startParameterAndCommand_data()
    {
        QTest::addColumn<QString>("uiCommand");
        QTest::addColumn<QString>("paraStr");
        QTest::addColumn<QString>("commandData");
        QTest::addColumn<QString>("openModule");
        QTest::newRow("ParaStr set, CommandData ignored")
            << "R"
            << "Report=BalanceSheet"
            << "ObjType=2101"
            << openCall(QStringLiteral("GLPZLR"), 'R', QStringLiteral("Report=BalanceSheet"));
        QTest::newRow("ParaStr empty, CommandData passed")
            << "B"
            << ""
            << "Dept=SAL" << openCall(QStringLiteral("GLPZLR"), 'B', QStringLiteral("Dept=SAL"));
        QTest::newRow("no command, no parameter")
            << ""
            << ""
            << "" << QStringLiteral("OpenModule:GLPZLR:0:0:DataProvider:");
    }

    void startParameterAndCommand()
    {
        QFETCH(QString, uiCommand);
        QFETCH(QString, paraStr);
        QFETCH(QString, commandData);
        QFETCH(QString, openModule);
        setAccountSet(true, 1, 1);
        m_host->calls.clear();
        TNodeData node = moduleNode(QStringLiteral("[I]"));
        node.UICommand = uiCommand;
        node.ParaStr = paraStr;
        node.CommandData = commandData;
        QVERIFY(LaunchConsoleNode(&node));
        QCOMPARE(m_host->calls, launched(openModule));
    }

    // A host error while opening the module must not leave the host busy or launching.
    void hostErrorStillEndsBrackets()
    {
        setAccountSet(true, 1, 1);
        m_host->calls.clear();
        m_host->failOpen = true;
        const TNodeData node = moduleNode(QStringLiteral("[B]"));
        QString caught;
        try {
            LaunchConsoleNode(&node);
        } catch (const Error &e) {
            caught = e.message();
        }
        QCOMPARE(caught, QStringLiteral("模块打不开"));
        QCOMPARE(m_host->calls,
                 launched(openCall(QStringLiteral("GLPZLR"), 'N', QStringLiteral("ObjType=2101"))));
    }
};

QTEST_MAIN(TestLaunchGate)
#include "tst_launchgate.moc"
