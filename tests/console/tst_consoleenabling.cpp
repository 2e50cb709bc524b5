// Enabling the account set from the console: the manager check, the checks of the
// account-set record in their order, the saved state on the server and in the host's copy,
// and the rollback when the save fails half-way.
#include "ConsoleEnabling.h"
#include "DataAccess.h"
#include "MessageDialogs.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"

#include <QSettings>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;

namespace {

// The application server with one injected fault on the way to it.
class FaultyServer : public IAppServer
{
public:
    enum Fault { None, RefuseApply, RefuseCommit, LoseTransactionAtCommit };
    IAppServer *real = nullptr;
    Fault fault = None;

    void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                      int &errorCount, QVariant &ownerData) override
    {
        if (fault == RefuseApply)
            errorCount = 1; // all or nothing: the refused delta wrote nothing
        else
            real->applyUpdates(provider, delta, maxErrors, errorCount, ownerData);
    }
    QVariant call(const QString &operation, QVariantList &args) override
    {
        if (fault != None && operation == QLatin1String("GetLastErrorInfo"))
            return QStringLiteral("锁定");
        if (operation == QLatin1String("CommitTrans") && fault >= RefuseCommit) {
            if (fault == LoseTransactionAtCommit) // as a refused commit does: undone already
                real->call(QStringLiteral("RollbackTrans"));
            throw Error(QStringLiteral("锁定"));
        }
        return real->call(operation, args);
    }
};

QString serverRecord()
{
    return ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString())->saveToText();
}

} // namespace

class TestConsoleEnabling : public QObject
{
    Q_OBJECT
    vexa::test::TemporarySettings m_settings;

    // The record as the configuration leaves it, ready to be enabled but for overrides.
    static void writeRecord(test::TestHost &host, const QVariantHash &overrides = {})
    {
        const auto ds = ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString());
        ds->append();
        QVariantHash values{
            {"DefID", 1},         {"AcctTempDesc", "A01000"}, {"UseOrg", "公司"},
            {"SysCur", "RMB"},    {"CurrName", "人民币"},     {"InitialAudit", false},
            {"GLNowPeriodID", 1}, {"StartYear", 2026},        {"YearPeriods", 12}};
        values.insert(overrides);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            ds->setValue(it.key(), it.value());
        ApplyChanges(*ds, true);
        host.info().refresh(); // the host's copy as read at login
    }
    // Runs the console's command; answers what it says and the host calls but GetValue.
    static QString enable(test::TestHost &host, bool manager, QWidget *page = nullptr)
    {
        host.calls.clear();
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        const bool enabled = EnableAccountSetFromConsole(page, manager);
        host.calls.removeIf(
            [](const QString &c) { return c.startsWith(QLatin1String("GetValue")); });
        const QString said = dialogs.shown.isEmpty() ? QString() : dialogs.shown[0].text;
        if (enabled != (said == QStringLiteral("账套已成功启用！")))
            return QStringLiteral("answered wrongly");
        // No transaction may be left open: a new one starts.
        BeginTrans();
        RollbackTrans();
        return said;
    }

private slots:
    void refusalOrder_data()
    {
        QTest::addColumn<bool>("hasRecord");
        QTest::addColumn<QVariantHash>("values");
        QTest::addColumn<QString>("message");
        const QString enabled = QStringLiteral("账套已被启用，不可以重新启用账套。");
        const QString period =
            QStringLiteral("启用账套失败，必须在账套参数配置中指定财务系统启用会计期间。");
        const QString currency = QStringLiteral("启用账套失败，必须指定系统本位币。");
        QTest::newRow("no record")
            << false << QVariantHash() << "启用账套前，必须进行账套参数配置。";
        QTest::newRow("enabled, no period, no currency")
            << true << QVariantHash{{"InitialAudit", true}, {"GLNowPeriodID", 0}, {"SysCur", ""}}
            << enabled;
        QTest::newRow("no period, no currency")
            << true << QVariantHash{{"GLNowPeriodID", 0}, {"CurrName", ""}} << period;
        QTest::newRow("no currency code") << true << QVariantHash{{"SysCur", ""}} << currency;
        QTest::newRow("code without name") << true << QVariantHash{{"CurrName", ""}} << currency;
        QTest::newRow("ready") << true << QVariantHash() << QString();
    }

    void refusalOrder()
    {
        QFETCH(bool, hasRecord);
        QFETCH(QVariantHash, values);
        QFETCH(QString, message);
        test::PluginSession session;
        if (hasRecord)
            writeRecord(*session.host, values);
        QCOMPARE(EnablingRefusal(*ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString())),
                 message);
        if (message.isEmpty())
            return;
        const QString before = serverRecord();
        QCOMPARE(enable(*session.host, true), message);
        QCOMPARE(session->calls, (QStringList{"BeginBusy", "EndBusy:0"}));
        QCOMPARE(serverRecord(), before);
    }

    // The clerk, and a page that read no manager flag, change nothing.
    void managerOnly()
    {
        test::PluginSession session("clerk", "clerk");
        writeRecord(*session.host);
        const QString before = serverRecord();
        QCOMPARE(enable(*session.host, true),
                 QStringLiteral("启用账套失败，只有系统管理员才可以启用账套。"));
        QCOMPARE(session->calls, (QStringList{"BeginBusy", "EndBusy:0"}));
        QCOMPARE(enable(*session.host, false), QString());
        QCOMPARE(session->calls, QStringList());
        QCOMPARE(serverRecord(), before);
    }

    void enablesAndRefreshesHostCopy()
    {
        test::PluginSession session;
        writeRecord(*session.host);
        session->info().first();
        session->info().edit();
        session->info().setValue(QStringLiteral("UseOrg"), QStringLiteral("旧名"));
        session->info().post();
        QWidget page;
        auto *button = new QToolButton(&page);
        button->setObjectName(QStringLiteral("spStartZT"));
        QCOMPARE(enable(*session.host, true, &page), QStringLiteral("账套已成功启用！"));
        QVERIFY(button->isHidden());
        QCOMPARE(session->calls, (QStringList{"BeginBusy", "EndBusy:0"}));
        const auto saved = ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString());
        QCOMPARE(saved->asBoolean(QStringLiteral("InitialAudit")), true);
        QCOMPARE(session->info().changeCount(), 0);
        QCOMPARE(session->info().saveToText(), saved->saveToText());
    }

    void failedSaveRollsBack_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("apply refused") << int(FaultyServer::RefuseApply);
        QTest::newRow("commit refused") << int(FaultyServer::RefuseCommit);
        // The rollback's own error ("no transaction") must not replace the commit's.
        QTest::newRow("commit undone by the server") << int(FaultyServer::LoseTransactionAtCommit);
    }

    void failedSaveRollsBack()
    {
        QFETCH(int, fault);
        test::PluginSession session;
        writeRecord(*session.host);
        const QString before = serverRecord();
        const QString sharedBefore = session->info().saveToText();
        FaultyServer server;
        server.real = session->connection.get();
        server.fault = FaultyServer::Fault(fault);
        Globals().AppServer = &server;
        const QString said = enable(*session.host, true);
        QCOMPARE(said, QStringLiteral("锁定"));
        QCOMPARE(session->calls, (QStringList{"BeginBusy", "EndBusy:0"}));
        QCOMPARE(serverRecord(), before);
        QCOMPARE(session->info().saveToText(), sharedBefore);
    }
};

QTEST_MAIN(TestConsoleEnabling)
#include "tst_consoleenabling.moc"
