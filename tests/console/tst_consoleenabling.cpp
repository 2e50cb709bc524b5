// Enabling the account set from the console: the manager check, the checks of the
// account-set record in their order, the saved state on the server and in the host's
// copy, and the rollback when the save fails half-way.
#include "ClientDataSet.h"
#include "ConsoleEnabling.h"
#include "DataAccess.h"
#include "DataModule.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <QSettings>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;

namespace {

const QString kNotManager = QStringLiteral("启用账套失败，只有系统管理员才可以启用账套。");
const QString kNoRecord = QStringLiteral("启用账套前，必须进行账套参数配置。");
const QString kAlreadyEnabled = QStringLiteral("账套已被启用，不可以重新启用账套。");
const QString kNoPeriod =
    QStringLiteral("启用账套失败，必须在账套参数配置中指定财务系统启用会计期间。");
const QString kNoCurrency = QStringLiteral("启用账套失败，必须指定系统本位币。");
const QString kEnabled = QStringLiteral("账套已成功启用！");
const QString kClerkID = QStringLiteral("{1E8C8115-2981-5C5C-AA61-4041A89117C5}");

// The application server with one injected fault on the way to it.
class FaultyServer : public IAppServer
{
public:
    enum Fault { None, RefuseApply, RefuseCommit, LoseTransactionAtCommit };

    IAppServer *real = nullptr;
    Fault fault = None;
    QString text;

    void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                      int &errorCount, QVariant &ownerData) override
    {
        if (fault == RefuseApply) {
            errorCount = 1; // all or nothing: the refused delta wrote nothing
            return;
        }
        real->applyUpdates(provider, delta, maxErrors, errorCount, ownerData);
    }

    QVariant call(const QString &operation, QVariantList &args) override
    {
        if (fault != None && operation == QLatin1String("GetLastErrorInfo"))
            return text;
        if (operation == QLatin1String("CommitTrans")) {
            if (fault == LoseTransactionAtCommit) // as a refused commit does: undone already
                real->call(QStringLiteral("RollbackTrans"));
            if (fault == RefuseCommit || fault == LoseTransactionAtCommit)
                throw Error(text);
        }
        return real->call(operation, args);
    }
};

QStringList hostCallsBut(const QStringList &calls)
{
    QStringList kept;
    for (const QString &call : calls)
        if (!call.startsWith(QLatin1String("GetValue:")))
            kept << call;
    return kept;
}

const QStringList kBusyBracket{QStringLiteral("BeginBusy"), QStringLiteral("EndBusy:0")};

} // namespace

class TestConsoleEnabling : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<test::TestHost> m_host;
    FaultyServer m_server;

    // The record as the configuration leaves it: ready to be enabled, or with the
    // values given overriding that; no record at all without hasRecord.
    void writeRecord(bool hasRecord, const QVariantHash &overrides = {})
    {
        const auto ds = ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString());
        if (!hasRecord) {
            while (!ds->isEmpty()) {
                ds->first();
                ds->deleteRecord();
            }
            ApplyChanges(*ds, true);
            m_host->info().refresh();
            return;
        }
        if (ds->isEmpty()) {
            ds->append();
            ds->setValue(QStringLiteral("DefID"), 1);
            ds->setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("A01000"));
        } else {
            ds->first();
            ds->edit();
        }
        QVariantHash values{{QStringLiteral("UseOrg"), QStringLiteral("测试公司")},
                            {QStringLiteral("SysCur"), QStringLiteral("RMB")},
                            {QStringLiteral("CurrName"), QStringLiteral("人民币")},
                            {QStringLiteral("InitialAudit"), false},
                            {QStringLiteral("GLStartPeriodID"), 1},
                            {QStringLiteral("GLNowPeriodID"), 1},
                            {QStringLiteral("StartYear"), 2026},
                            {QStringLiteral("YearPeriods"), 12}};
        values.insert(overrides);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            ds->setValue(it.key(), it.value());
        ApplyChanges(*ds, true);
        m_host->info().refresh(); // the host's copy as read at login
    }

    static QString serverRecord()
    {
        return ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString())->saveToText();
    }

    // Answers the next dialog and keeps the host calls made until it was shown.
    void answerNoting(ScriptedDialogs &dialogs, QStringList &calls)
    {
        dialogs.answerWith([this, &calls](QDialog &dialog) {
            calls = hostCallsBut(m_host->calls);
            dialog.done(mrOk);
            return int(mrOk);
        });
    }

    // No transaction may be left open: a new one starts. Answers the error otherwise.
    static QString transactionLeftOpen()
    {
        try {
            BeginTrans();
            RollbackTrans();
        } catch (const Error &error) {
            return error.message();
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<test::TestHost>();
        m_server.real = m_host->connection.get();
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = &m_server;
        Globals().DataModule = &m_host->dataModule;
    }

    void init()
    {
        m_server.fault = FaultyServer::None;
        // What a failed case left behind must not fail the next one as well.
        try {
            RollbackTrans();
        } catch (const Error &) {
        }
        m_host->info().cancelUpdates();
        m_host->calls.clear();
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void managerOnly_data()
    {
        QTest::addColumn<QString>("userId");
        QTest::addColumn<bool>("pageManager");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("clerk") << kClerkID << true << kNotManager << kBusyBracket;
        QTest::newRow("no user row") << QStringLiteral("{00000000-0000-0000-0000-000000000000}")
                                     << true << kNotManager << kBusyBracket;
        // The console's button is disabled for a page that read no manager flag.
        QTest::newRow("page without manager flag")
            << QString() << false << QString() << QStringList();
    }

    void managerOnly()
    {
        QFETCH(QString, userId);
        QFETCH(bool, pageManager);
        QFETCH(QString, message);
        QFETCH(QStringList, calls);
        writeRecord(true);
        const QString before = serverRecord();
        const QString sharedBefore = m_host->info().saveToText();
        const QVariant manager = m_host->values.value(QStringLiteral("UserID"));
        if (!userId.isEmpty())
            m_host->values.insert(QStringLiteral("UserID"), userId);
        m_host->calls.clear();
        ScriptedDialogs dialogs;
        QStringList callsAtWarning;
        answerNoting(dialogs, callsAtWarning);
        const bool enabled = EnableAccountSetFromConsole(nullptr, pageManager);
        m_host->values.insert(QStringLiteral("UserID"), manager);

        QVERIFY(!enabled);
        QCOMPARE(dialogs.shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
            QCOMPARE(dialogs.shown[0].text, message);
            QCOMPARE(callsAtWarning, kBusyBracket); // not busy while the warning waits
        }
        QCOMPARE(hostCallsBut(m_host->calls), calls);
        QCOMPARE(serverRecord(), before);
        QCOMPARE(m_host->info().saveToText(), sharedBefore);
        QCOMPARE(transactionLeftOpen(), QString());
    }

    void checksInOrder_data()
    {
        QTest::addColumn<bool>("hasRecord");
        QTest::addColumn<QVariantHash>("values");
        QTest::addColumn<QString>("message");
        const QString audit = QStringLiteral("InitialAudit");
        const QString period = QStringLiteral("GLNowPeriodID");
        const QString code = QStringLiteral("SysCur");
        const QString name = QStringLiteral("CurrName");
        QTest::newRow("no record") << false << QVariantHash() << kNoRecord;
        QTest::newRow("enabled") << true << QVariantHash{{audit, true}} << kAlreadyEnabled;
        QTest::newRow("enabled, no period, no currency")
            << true << QVariantHash{{audit, true}, {period, 0}, {code, QString()}}
            << kAlreadyEnabled;
        QTest::newRow("no period") << true << QVariantHash{{period, 0}} << kNoPeriod;
        QTest::newRow("no period, no currency")
            << true << QVariantHash{{period, 0}, {name, QString()}} << kNoPeriod;
        QTest::newRow("no currency code") << true << QVariantHash{{code, QString()}} << kNoCurrency;
        QTest::newRow("code without name")
            << true << QVariantHash{{name, QString()}} << kNoCurrency;
    }

    void checksInOrder()
    {
        QFETCH(bool, hasRecord);
        QFETCH(QVariantHash, values);
        QFETCH(QString, message);
        writeRecord(hasRecord, values);
        const QString before = serverRecord();
        const QString sharedBefore = m_host->info().saveToText();

        // The same check on the record as read, without the dialogs around it.
        QCOMPARE(EnablingRefusal(*ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString())),
                 message);

        m_host->calls.clear();
        ScriptedDialogs dialogs;
        QStringList callsAtWarning;
        answerNoting(dialogs, callsAtWarning);
        QVERIFY(!EnableAccountSetFromConsole(nullptr, true));
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
        QCOMPARE(dialogs.shown[0].text, message);
        QCOMPARE(callsAtWarning, QStringList{QStringLiteral("BeginBusy")});
        QCOMPARE(hostCallsBut(m_host->calls), kBusyBracket);
        QCOMPARE(serverRecord(), before);
        QCOMPARE(m_host->info().saveToText(), sharedBefore);
        QCOMPARE(transactionLeftOpen(), QString());
    }

    void enablesOnceAndRefreshesHostCopy()
    {
        writeRecord(true);
        // Changed on the server after the host read its copy: the copy must follow.
        writeRecord(true, {{QStringLiteral("UseOrg"), QStringLiteral("改名后的公司")}});
        const auto stale = ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString());
        m_host->info().setData(stale->data());
        m_host->info().first();
        m_host->info().edit();
        m_host->info().setValue(QStringLiteral("UseOrg"), QStringLiteral("旧名"));
        m_host->info().post();

        QWidget page;
        auto *button = new QToolButton(&page);
        button->setObjectName(QStringLiteral("spStartZT"));
        m_host->calls.clear();
        ScriptedDialogs dialogs;
        bool hiddenFirst = false;
        QStringList callsBeforeInfo;
        dialogs.answerWith([&](QDialog &dialog) {
            hiddenFirst = button->isHidden();
            callsBeforeInfo = hostCallsBut(m_host->calls);
            dialog.done(mrOk);
            return int(mrOk);
        });
        QVERIFY(EnableAccountSetFromConsole(&page, true));
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TInformationFrom"));
        QCOMPARE(dialogs.shown[0].text, kEnabled);
        QVERIFY(hiddenFirst);
        QCOMPARE(callsBeforeInfo, kBusyBracket);

        const auto saved = ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString());
        QCOMPARE(saved->recordCount(), 1);
        QCOMPARE(saved->asBoolean(QStringLiteral("InitialAudit")), true);
        QCOMPARE(saved->asString(QStringLiteral("UseOrg")), QStringLiteral("改名后的公司"));
        ClientDataSet &shared = m_host->info();
        QCOMPARE(shared.changeCount(), 0);
        QCOMPARE(shared.saveToText(), saved->saveToText());
        QCOMPARE(transactionLeftOpen(), QString());

        // A second attempt finds it enabled and changes nothing.
        const QString before = serverRecord();
        dialogs.answer(mrOk);
        QVERIFY(!EnableAccountSetFromConsole(&page, true));
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[1].text, kAlreadyEnabled);
        QCOMPARE(serverRecord(), before);
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
        writeRecord(true);
        const QString before = serverRecord();
        ClientDataSet &shared = m_host->info();
        const QString sharedBefore = shared.saveToText();
        shared.first();
        const int sharedRow = shared.recNo();

        m_server.fault = FaultyServer::Fault(fault);
        m_server.text = QStringLiteral("账套信息已被其他用户锁定。");
        m_host->calls.clear();
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        const bool enabled = EnableAccountSetFromConsole(nullptr, true);
        m_server.fault = FaultyServer::None;

        QVERIFY(!enabled);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
        QCOMPARE(dialogs.shown[0].text, m_server.text);
        QCOMPARE(hostCallsBut(m_host->calls), kBusyBracket);
        QCOMPARE(serverRecord(), before);
        QCOMPARE(shared.saveToText(), sharedBefore);
        QCOMPARE(shared.changeCount(), 0);
        QCOMPARE(shared.recNo(), sharedRow);
        QCOMPARE(transactionLeftOpen(), QString());
    }
};

QTEST_MAIN(TestConsoleEnabling)
#include "tst_consoleenabling.moc"
