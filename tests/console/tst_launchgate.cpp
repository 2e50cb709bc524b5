// Starting a module from a console node or a navigation page: the account-set checks by
// package tag, the page rights and the host calls, also when the host fails.
#include "LaunchGate.h"
#include "MessageDialogs.h"
#include "NodeData.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QSettings>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {

class FailingHost : public test::TestHost
{
public:
    using TestHost::TestHost;
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

QStringList launched(const QString &parameter, int command = 'N')
{
    return {"BeginBusy", "BeginLaunch",
            QStringLiteral("OpenModule:GLPZLR:0:%1:DataProvider:%2").arg(command).arg(parameter),
            "EndBusy:0", "EndLaunch:0"};
}

} // namespace

class TestLaunchGate : public QObject
{
    Q_OBJECT
    vexa::test::TemporarySettings m_settings;

private slots:
    // Which check fails first: N not enabled, L no ledger start, C no cashier, - none.
    void refusals_data()
    {
        QTest::addColumn<QString>("packNo");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("glStart");
        QTest::addColumn<int>("cashierStart");
        QTest::addColumn<char>("gap");
        QTest::newRow("plain, not enabled") << "" << false << 3 << 3 << 'N';
        QTest::newRow("plain, enabled") << "" << true << 0 << 0 << '-';
        QTest::newRow("[B], not enabled") << "[B]" << false << 0 << 0 << '-';
        QTest::newRow("[I], no GL start") << "[I]" << false << 0 << 3 << 'L';
        QTest::newRow("[I], GL start") << "[I]" << false << 5 << 0 << '-';
        QTest::newRow("[I], enabled") << "[I]" << true << 0 << 0 << '-';
        QTest::newRow("[B][I], no GL start") << "[B][I]" << false << 0 << 0 << 'L';
        QTest::newRow("[C], not enabled") << "[C]" << false << 5 << 0 << 'N';
        QTest::newRow("[C], no cashier") << "[C]" << true << 5 << 0 << 'C';
        QTest::newRow("[C], cashier") << "[C]" << true << 5 << 2 << '-';
        QTest::newRow("[I][C], no cashier") << "[I][C]" << false << 5 << 0 << 'C';
        QTest::newRow("lower-case tag") << "[b]" << false << 5 << 5 << 'N';
    }

    void refusals()
    {
        QFETCH(QString, packNo);
        QFETCH(bool, enabled);
        QFETCH(int, glStart);
        QFETCH(int, cashierStart);
        QFETCH(char, gap);
        const AccountSetState state{enabled, glStart, cashierStart};
        const QString console = ConsoleLaunchRefusal(packNo, state);
        QCOMPARE(console.isEmpty(), gap == '-');
        const QString key = gap == 'N'   ? "启用此账套"
                            : gap == 'L' ? "总账启用会计期间"
                                         : "出纳系统";
        for (auto kind : {NavigationPageKind::Tabbed, NavigationPageKind::Spread})
            for (auto way : {NavigationLaunchWay::Control, NavigationLaunchWay::ObjectMenu}) {
                const QString page = PageLaunchRefusal(packNo, state, kind, way);
                QCOMPARE(page.isEmpty(), gap == '-');
                QVERIFY2(gap == '-' || (page.contains(key) && console.contains(key)),
                         qPrintable(page + console));
            }
    }

    // Object types above 25000 are never granted to a page; 25000 itself is.
    void pageRights()
    {
        ClientDataSet rights;
        rights.addField(QStringLiteral("ObjType"), FieldType::Integer);
        rights.addField(QStringLiteral("RightValue"), FieldType::Integer);
        rights.createDataSet();
        QVERIFY(!PageHasRight(2101, rights));
        for (const auto &[type, value] :
             {std::pair{2101, 3}, {2102, 4}, {25000, 1}, {25001, 2}, {0, 0}}) {
            rights.append();
            rights.setValue(QStringLiteral("ObjType"), type);
            rights.setValue(QStringLiteral("RightValue"), value);
            rights.post();
        }
        for (const auto &[type, granted] : {std::pair{2101, true},
                                            {2102, false},
                                            {2103, false},
                                            {25000, true},
                                            {25001, false},
                                            {0, false}})
            QVERIFY2(PageHasRight(type, rights) == granted, qPrintable(QString::number(type)));
    }

    void launchNode()
    {
        test::PluginSession<FailingHost> session;
        TNodeData node;
        node.MCode = QStringLiteral("GLPZLR");
        node.UICommand = QStringLiteral("N");
        node.CommandData = QStringLiteral("ObjType=2101");
        node.PackNo = QStringLiteral("[C]");
        ScriptedDialogs dialogs;
        // No information row yet: nothing is set up. No item, directory, no right: silence.
        dialogs.answer(mrOk);
        QVERIFY(!LaunchConsoleNode(&node));
        QCOMPARE(dialogs.shown.value(0).className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
        TNodeData directory, denied = node;
        denied.Permitted = false;
        for (const TNodeData *silent : {(TNodeData *)nullptr, &directory, &denied})
            QVERIFY(!LaunchConsoleNode(silent));
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(session->calls.filter("Busy"), QStringList());

        test::SetAccountSet(*session.host, true, 1, 1);
        QVERIFY(LaunchConsoleNode(&node));
        QCOMPARE(session->calls, launched("ObjType=2101"));
        node.ParaStr = QStringLiteral("Report=1");
        node.UICommand.clear();
        session->calls.clear();
        LaunchConsoleNode(&node);
        QCOMPARE(session->calls, launched("Report=1", 0));

        // A host error while opening must not leave the host busy or launching.
        session->failOpen = true;
        session->calls.clear();
        QCOMPARE(errorOf([&] { LaunchConsoleNode(&node); }), QStringLiteral("模块打不开"));
        QCOMPARE(session->calls, launched("Report=1", 0));
    }
};

QTEST_MAIN(TestLaunchGate)
#include "tst_launchgate.moc"
