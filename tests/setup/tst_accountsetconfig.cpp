// The configuration's rules without its window, against a real account set: the order of
// the save's checks, the questions it asks, a first save end to end (periods renumbered,
// start periods following them, chart loaded, keys and formats written, host copies), what
// is fixed afterwards, and saves that fail leaving the server as it was.
#include "AccountSetConfig.h"
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataModule.h"
#include "FiscalCalendar.h"
#include "Globals.h"
#include "support/FaultInjection.h"
#include "support/TestHost.h"

#include <vexa/Error.h>

#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace vexa;
using namespace vexa::gl;
using vexa::test::TestHost;

namespace {

const QDate kServerDay(2027, 1, 15);

// The period dialog's result for a new set: fifty 12-period years from 2024.
DataPacket generatedPeriods()
{
    ClientDataSet periods;
    periods.setFieldDefs(FiscalCalendar::periodFields());
    periods.createDataSet();
    FiscalCalendar calendar(periods);
    calendar.generate(kServerDay.year());
    periods.setFiltered(false);
    return periods.data();
}

std::unique_ptr<ClientDataSet> open(const char *provider, const char *command = "WHERE 1=1")
{
    return ProviderDataSet(QString::fromLatin1(provider), QString::fromUtf8(command));
}

// What the period dialog does between "设置会计期间" and "确认": it works on a copy of the
// table, which the configuration then takes back.
void periodDialog(AccountSetConfig &config,
                  const std::function<void(FiscalCalendar &, ClientDataSet &)> &change)
{
    ClientDataSet copy;
    copy.setData(config.Periods().data());
    FiscalCalendar calendar(copy);
    calendar.setStartYear(config.StartYear());
    calendar.setYearPeriods(config.YearPeriods());
    calendar.setCanRegenerate(config.CanRegeneratePeriods());
    calendar.prepare(kServerDay.year());
    change(calendar, copy);
    copy.setFiltered(false);
    config.TakePeriods(copy.data(), calendar.startYear(), calendar.yearPeriods(), 0);
}

// A period table as stored or held: one row per (Year, No) and per PeriodID, perYear
// periods in each of fifty years from firstYear. Answers the names by PeriodID.
QHash<qlonglong, QString> checkPeriodTable(const DataPacket &table, int firstYear, int perYear)
{
    const auto column = [&](const char *name) {
        for (int c = 0; c < table.fields.size(); ++c)
            if (table.fields[c].name == QLatin1String(name))
                return c;
        return -1;
    };
    const int id = column("PeriodID"), year = column("Year"), no = column("No"),
              name = column("PeriodName");
    QHash<qlonglong, QString> names;
    QSet<std::pair<int, int>> places;
    int lowest = 9999;
    for (const QVariantList &row : table.rows) {
        names.insert(row[id].toLongLong(), row[name].toString());
        places.insert({row[year].toInt(), row[no].toInt()});
        lowest = std::min(lowest, row[year].toInt());
    }
    const int expected = FiscalCalendar::kYearCount * perYear;
    [&] {
        QCOMPARE(int(table.rows.size()), expected);
        QCOMPARE(int(names.size()), expected);
        QCOMPARE(int(places.size()), expected);
        QCOMPARE(lowest, firstYear);
    }();
    return names;
}

// Every start period set in the information record carries the name of its own period.
void checkStartNames(const ClientDataSet &info, const QHash<qlonglong, QString> &names)
{
    for (const auto &[id, name] : {std::pair{"GLStartPeriodID", "GLStartPeriodName"},
                                   std::pair{"GLNowPeriodID", "GLNowPeriodName"},
                                   std::pair{"CashierStartPeriodID", "CSPeriodName"},
                                   std::pair{"InvStartPeriodID", "KBPeriodName"}}) {
        const qlonglong period = info.asInteger(QLatin1String(id));
        QCOMPARE(info.asString(QLatin1String(name)), period ? names.value(period) : QString());
    }
}

} // namespace

class TestAccountSetConfig : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestHost> m_host;

    void useHost(TestHost &host)
    {
        Globals().Host = &host;
        Globals().Connection = host.connection.get();
        Globals().AppServer = host.connection.get();
        Globals().DataModule = &host.dataModule;
    }

    // A new set with the company, the periods and the start periods filled in.
    void prepareNewSet(AccountSetConfig &config, int glStart, int cashierStart)
    {
        config.Load(kServerDay);
        config.Info().setValue(QStringLiteral("UseOrg"), QStringLiteral("测试有限公司"));
        QCOMPARE(config.TakePeriods(generatedPeriods(), 2024, 12, 0), 2024);
        config.SetGLStart(glStart, QStringLiteral("GL"));
        if (cashierStart)
            config.SetCashierStart(cashierStart, QStringLiteral("CS"));
    }

private slots:
    void init()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<TestHost>();
        useHost(*m_host);
    }

    void cleanup()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void validationOrder()
    {
        AccountSetConfig config;
        config.Load(kServerDay);
        QVERIFY(config.CurrencyEditable());
        QCOMPARE(config.Info().asString(QStringLiteral("AcctTempDesc")), QStringLiteral("A01000"));
        const auto problem = [&] { return config.Validate().value_or(ConfigProblem{}); };
        QCOMPARE(problem(), (ConfigProblem{QStringLiteral("必须输入公司名称。"),
                                           ConfigPage::Overview, QStringLiteral("UseOrg")}));
        config.Info().setValue(QStringLiteral("UseOrg"), QStringLiteral("测试有限公司"));
        config.Info().setValue(QStringLiteral("CurrName"), QStringLiteral("  "));
        QCOMPARE(problem().message, QStringLiteral("必须输入记账本位币名称。"));
        config.Info().setValue(QStringLiteral("CurrName"), QStringLiteral("人民币"));
        QCOMPARE(problem(),
                 (ConfigProblem{QStringLiteral("必须设置会计期间。"), ConfigPage::Periods, {}}));

        // Taking the periods makes the shown year's first period the start.
        QCOMPARE(config.TakePeriods(generatedPeriods(), 2024, 12, 2030), 2030);
        QCOMPARE(config.Info().asInteger(QStringLiteral("GLStartPeriodID")), 203001);
        QCOMPARE(config.Periods().recordCount(), 12);
        config.SetGLStart(0, QString());
        QCOMPARE(problem(),
                 (ConfigProblem{
                     QStringLiteral("必须选择财务系统的启用会计期间。"), ConfigPage::Finance, {}}));
        config.SetGLStart(190001, QString());
        QCOMPARE(problem().message, QStringLiteral("选择的财务系统启用会计期间无效。"));
        config.SetGLStart(202407, QString());
        config.SetCashierStart(202405, QString());
        QCOMPARE(problem(),
                 (ConfigProblem{
                     QStringLiteral("选择的出纳系统启用会计期间不可以小于财务系统启用会计期间。"),
                     ConfigPage::Cashier,
                     {}}));
        config.SetCashierStart(202407, QString()); // the ledger's own start is allowed
        config.SetBusinessStart(207401, QString(), false);
        QCOMPARE(problem().message, QStringLiteral("选择的业务系统启用会计期间无效。"));
        config.SetBusinessStart(202407, QString(), false);
        QVERIFY(!config.Validate());
        // The checks leave the grid on the shown year.
        QVERIFY(config.Periods().isFiltered());

        QString filter;
        QVERIFY(!config.CashierPickerFilter(filter));
        QCOMPARE(filter, QStringLiteral("PeriodID >= 202407"));

        // The custom chart needs the account types chosen first.
        QVERIFY(!config.CheckAccountTypes());
        config.Info().edit();
        config.Info().setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("A05000"));
        // Stored alone it is still the template load; chosen here it needs the types.
        QVERIFY(!config.Validate());
        config.Info().edit();
        config.IndustryChosen();
        QCOMPARE(problem().message, QStringLiteral("必须指定账套行业性质。"));
        QCOMPARE(config.CheckAccountTypes(), problem());
        // Only whether rows were chosen counts here; their shape is the template load's.
        config.SetChosenAccountTypes(generatedPeriods());
        QVERIFY(!config.CheckAccountTypes());
    }

    void questions()
    {
        AccountSetConfig config;
        prepareNewSet(config, 202403, 0);
        config.SetBusinessStart(202403, QStringLiteral("2024年第3期"), true);
        const QList<ConfigQuestion> asked = config.Questions(true);
        QCOMPARE(asked.size(), 4);
        QCOMPARE(asked[0].text, QStringLiteral("业务系统启用会计期间被设置为\"2024年第3期\"，\r\n"
                                               "确认后系统将不允许再次修改，是否继续？"));
        QCOMPARE(asked[1].text, QStringLiteral("财务系统启用会计期间被设置为\"2024年第3期\"，\r\n"
                                               "确认后系统将不允许再次修改，是否继续？"));
        QCOMPARE(asked[2].text, QStringLiteral("账套记账本位币被设置为\"RMB - 人民币\"，\r\n"
                                               "确认后系统将不允许再次修改，是否继续？"));
        QVERIFY(!asked[2].enablesAccountSet);
        QVERIFY(asked[3].enablesAccountSet);
        // Without the finance page only the business start is confirmed.
        QCOMPARE(config.Questions(false).size(), 1);
    }

    void firstSaveAndWhatItFixes()
    {
        AccountSetConfig config;
        prepareNewSet(config, 202403, 202405);
        QVERIFY(config.CanRegeneratePeriods());
        config.Flags().set(52, true);
        QVERIFY(!config.Validate());
        const AccountSetConfig::SaveResult saved = config.Save(false);
        QVERIFY(saved.settingsChanged);
        QVERIFY(!saved.enabledNow);

        // Periods numbered 1..600 in (Year, No) order; the starts follow their periods.
        auto periods = open("LX_FINPostingPeriods", "WHERE 1=1 ORDER BY PeriodID");
        QCOMPARE(periods->recordCount(), 600);
        periods->setRecNo(3);
        QCOMPARE(periods->asInteger(QStringLiteral("PeriodID")), 3);
        QCOMPARE(periods->asString(QStringLiteral("PeriodCode")),
                 FiscalCalendar::periodCode(2024, 3));
        periods->last();
        QCOMPARE(periods->asInteger(QStringLiteral("PeriodID")), 600);
        QCOMPARE(periods->asInteger(QStringLiteral("Year")), 2073);

        auto info = open("LX_SysInitInfo");
        QCOMPARE(info->asInteger(QStringLiteral("GLStartPeriodID")), 3);
        QCOMPARE(info->asInteger(QStringLiteral("GLNowPeriodID")), 3);
        QCOMPARE(info->asInteger(QStringLiteral("CashierStartPeriodID")), 5);
        QCOMPARE(info->asBoolean(QStringLiteral("InitialAudit")), false);
        QCOMPARE(info->value(QStringLiteral("BackupDate")).toDate(), QDate(2024, 3, 1));
        QCOMPARE(info->asString(QStringLiteral("StartYear")), QStringLiteral("2024"));
        const QString finance = [&] {
            ClientDataSet fin;
            fin.loadFromText(info->asString(QStringLiteral("FinOption")));
            return fin.asString(QStringLiteral("BooleanStr"));
        }();
        QCOMPARE(finance.size(), 500);
        QCOMPARE(finance[51], QLatin1Char('1'));
        const qlonglong addressId = info->asInteger(QStringLiteral("AddressID"));
        QVERIFY(addressId > 0);
        QCOMPARE(open("LX_DMAddress", "WHERE 1=1")->asInteger(QStringLiteral("AddressID")),
                 addressId);
        QCOMPARE(open("LX_DMAccounting")->recordCount(),
                 int(readDataPacket(open("SYS_SMAcctTempData", "WHERE AcctTempCode = 'A01000'")
                                        ->asString(QStringLiteral("AcctXMLData")))
                         .rows.size()));
        auto docNums = open("LX_DMDocNum", "WHERE ObjType = 2101");
        QCOMPARE(docNums->asString(QStringLiteral("NumFormat")), QStringLiteral("[N:XXXX]"));
        QCOMPARE(open("LX_InitShowValue")->recordCount(), 1);
        QCOMPARE(open("LX_BMListPartAcctConfig")->recordCount(), 1);

        // The host sees the saved record and the option sets at once.
        ClientDataSet *shared = m_host->dataModule.dataSet(QStringLiteral("CDS_SysInitInfo"));
        QCOMPARE(shared->asInteger(QStringLiteral("GLStartPeriodID")), 3);
        QVERIFY(m_host->dataModule.dataSet(QStringLiteral("CDS_FinOption")));

        // Reopened: currency, industry and calendar structure are fixed now.
        AccountSetConfig again;
        again.Load(kServerDay);
        QVERIFY(!again.CurrencyEditable());
        QVERIFY(!again.GLPickerVisible());
        QVERIFY(!again.CashierPickerVisible());
        QVERIFY(again.BusinessPickerVisible());
        QVERIFY(!again.CanRegeneratePeriods());
        QVERIFY(again.OptionsStored());
        QVERIFY(again.Flags().test(52));
        QCOMPARE(again.Periods().recordCount(), 12);
        QCOMPARE(again.Questions(true).size(), 0);

        // Counts may grow but not fall below what was stored.
        QVERIFY(!again.SetPropertyCount(PropertyKind::Inventory, 3));
        QVERIFY(!again.Validate());
        again.Save(false);
        AccountSetConfig third;
        third.Load(kServerDay);
        QCOMPARE(third.MinimumCount(PropertyKind::Inventory), 3);
        const auto refused = third.SetPropertyCount(PropertyKind::Inventory, 2);
        QVERIFY(refused);
        QCOMPARE(refused->message, QStringLiteral("启用存货属性总数必须大于 3"));
        QCOMPARE(third.Info().asInteger(QStringLiteral("PartFixcolCount")), 3);
        QCOMPARE(third.SetPropertyCount(PropertyKind::Factor, -1)->message,
                 QStringLiteral("启用存货数量因子总数 0"));
    }

    // The period dialog used again and again before the first save. A start-year change
    // gives every row another year while the table is indexed by year: rows were skipped,
    // appended again and the save failed on duplicate periods. The start periods follow
    // their rows (a start whose row is gone is cleared) and the save stores what was shown.
    void periodDialogRoundTrips()
    {
        AccountSetConfig config;
        config.Load(kServerDay);
        config.Info().setValue(QStringLiteral("UseOrg"), QStringLiteral("测试有限公司"));
        QCOMPARE(config.TakePeriods(generatedPeriods(), 2024, 12, 0), 2024);
        config.SetCashierStart(202405, FiscalCalendar::periodName(2024, 5));
        config.SetBusinessStart(202403, FiscalCalendar::periodName(2024, 3), false);

        const auto round = [&](const std::function<void(FiscalCalendar &, ClientDataSet &)> &change,
                               int firstYear, int perYear) {
            periodDialog(config, change);
            checkStartNames(config.Info(),
                            checkPeriodTable(config.Periods().data(), firstYear, perYear));
        };
        const auto startYear = [](int year) {
            return [year](FiscalCalendar &c, ClientDataSet &) { QVERIFY(c.changeStartYear(year)); };
        };
        round(startYear(2025), 2025, 12);
        QCOMPARE(config.Info().asString(QStringLiteral("GLStartPeriodName")),
                 FiscalCalendar::periodName(2025, 1));
        QCOMPARE(config.Info().asString(QStringLiteral("CSPeriodName")),
                 FiscalCalendar::periodName(2025, 5));
        round(startYear(2027), 2027, 12);
        round([](FiscalCalendar &c, ClientDataSet &) { QVERIFY(c.setPeriodCount(13)); }, 2027, 13);
        config.Periods().setFiltered(false);
        QVERIFY(config.Periods().locate(QStringLiteral("Year;No"), {2030, 13}));
        const qlonglong thirteenth = config.Periods().asInteger(QStringLiteral("PeriodID"));
        config.ShowYear(2027);
        config.SetCashierStart(int(thirteenth), FiscalCalendar::periodName(2030, 13));
        round(startYear(2026), 2026, 13);
        QCOMPARE(config.Info().asString(QStringLiteral("CSPeriodName")),
                 FiscalCalendar::periodName(2029, 13));
        round(
            [](FiscalCalendar &c, ClientDataSet &periods) {
                c.showYear(2030);
                periods.setRecNo(3);
                QCOMPARE(c.editPostingFrom(QDate(2030, 3, 5)).outcome,
                         FiscalCalendar::EditResult::Accepted);
            },
            2026, 13);
        // Back to 12: the cashier start on a period 13 has no row any more.
        round([](FiscalCalendar &c, ClientDataSet &) { QVERIFY(c.setPeriodCount(12)); }, 2026, 12);
        QCOMPARE(config.Info().asInteger(QStringLiteral("CashierStartPeriodID")), 0);
        round(startYear(2028), 2028, 12);
        QCOMPARE(config.Info().asString(QStringLiteral("GLStartPeriodName")),
                 FiscalCalendar::periodName(2028, 1));
        QCOMPARE(config.Info().asString(QStringLiteral("KBPeriodName")),
                 FiscalCalendar::periodName(2028, 3));

        QVERIFY(!config.Validate());
        config.Save(false);
        auto stored = open("LX_FINPostingPeriods", "WHERE 1=1 ORDER BY PeriodID");
        const auto names = checkPeriodTable(stored->data(), 2028, 12);
        stored->last();
        QCOMPARE(stored->asInteger(QStringLiteral("PeriodID")), 600);
        // The start date edited in (then) 2030 moved with its year.
        QVERIFY(stored->locate(QStringLiteral("Year;No"), {2032, 3}));
        QCOMPARE(stored->value(QStringLiteral("PostingFrom")).toDate(), QDate(2032, 3, 5));
        auto info = open("LX_SysInitInfo");
        QCOMPARE(info->asInteger(QStringLiteral("GLStartPeriodID")), 1);
        QCOMPARE(info->asInteger(QStringLiteral("InvStartPeriodID")), 3);
        checkStartNames(*info, names);
    }

    void enablingAndCurrencyChoice()
    {
        AccountSetConfig config;
        prepareNewSet(config, 202401, 0);
        // USD is already a currency: its row becomes the base, RMB is left as it was.
        config.Info().setValue(QStringLiteral("SysCur"), QStringLiteral("USD"));
        config.Info().setValue(QStringLiteral("CurrName"), QStringLiteral("美元"));
        QVERIFY(!config.Validate());
        const AccountSetConfig::SaveResult saved = config.Save(true);
        QVERIFY(saved.enabledNow);
        QVERIFY(open("LX_SysInitInfo")->asBoolean(QStringLiteral("InitialAudit")));
        auto currencies = open("LX_DMCurrency", "WHERE 1=1 ORDER BY CurrCode");
        QVERIFY(currencies->locate(QStringLiteral("CurrCode"), QStringLiteral("RMB")));
        QCOMPARE(currencies->asString(QStringLiteral("CurrName")), QStringLiteral("人民币"));
        QVERIFY(currencies->locate(QStringLiteral("CurrCode"), QStringLiteral("USD")));
        QCOMPARE(currencies->asInteger(QStringLiteral("FixPrcnt")), 1);
        QCOMPARE(open("LX_DMAccounting", "WHERE AcctCode = '1001'")
                     ->asString(QStringLiteral("CurrCode")),
                 QStringLiteral("USD"));
    }

    // A failed save writes nothing and leaves every record of the dialog as before, so a
    // retry with other answers is a first try (it once kept the renumbered periods and the
    // enabling asked for by the failed try).
    void failedSavesWriteNothing()
    {
        AccountSetConfig config;
        prepareNewSet(config, 202401, 0);
        QVERIFY(!config.Validate());
        const auto state = [&] {
            QStringList records;
            for (ClientDataSet *ds :
                 {&config.Info(), &config.Periods(), &config.Address(), &config.Inventory(),
                  &config.Options().record(OptionRecords::Fin)})
                records << ds->deltaText() << QString::number(int(ds->state()));
            return records;
        };
        const QStringList before = state();

        // A template that cannot be used says so itself; nothing is written.
        config.Info().edit();
        config.Info().setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("Z99"));
        config.Info().post();
        try {
            config.Save(false);
            QFAIL("an unknown template was saved");
        } catch (const Error &e) {
            QCOMPARE(e.message(), QStringLiteral("行业科目模板“Z99”不存在。"));
        }
        config.Info().edit();
        config.Info().setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("A01000"));
        config.Info().post();
        QCOMPARE(open("LX_SysInitInfo")->recordCount(), 0);

        // Another user creates the set while this one configures it.
        auto info = open("LX_SysInitInfo", "WHERE -1=1");
        info->append();
        info->setValue(QStringLiteral("DefID"), 1);
        info->setValue(QStringLiteral("UseOrg"), QStringLiteral("别人的公司"));
        info->setValue(QStringLiteral("SysCur"), QStringLiteral("RMB"));
        info->setValue(QStringLiteral("CurrName"), QStringLiteral("人民币"));
        info->setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("A01000"));
        info->post();
        ApplyChanges(*info, true);
        try {
            config.Save(true);
            QFAIL("a second information record was saved");
        } catch (const Error &e) {
            QCOMPARE(e.message(), QStringLiteral("数据记录重复。"));
        }
        QCOMPARE(open("LX_FINPostingPeriods")->recordCount(), 0);
        QCOMPARE(open("LX_DMAccounting")->recordCount(), 0);
        QCOMPARE(open("LX_SysInitInfo")->asString(QStringLiteral("UseOrg")),
                 QStringLiteral("别人的公司"));
        QCOMPARE(m_host->calls.count(QStringLiteral("BeginBusy")),
                 m_host->calls.count(QStringLiteral("EndBusy:0")));
        QCOMPARE(state(), before);
        QVERIFY(config.CanRegeneratePeriods());
        QVERIFY(config.Periods().isFiltered());

        // The other record goes away; the retry, not enabling now, saves as a first save.
        info = open("LX_SysInitInfo");
        info->deleteRecord();
        ApplyChanges(*info, true);
        const AccountSetConfig::SaveResult saved = config.Save(false);
        QVERIFY(!saved.enabledNow);
        QCOMPARE(open("LX_SysInitInfo")->asBoolean(QStringLiteral("InitialAudit")), false);
        QCOMPARE(open("LX_SysInitInfo")->asInteger(QStringLiteral("GLStartPeriodID")), 1);
        QCOMPARE(open("LX_FINPostingPeriods")->recordCount(), 600);

        // The set changed by another connection after it was opened here.
        AccountSetConfig mine;
        mine.Load(kServerDay);
        mine.Info().edit();
        mine.Info().setValue(QStringLiteral("UseOrg"), QStringLiteral("我的公司"));
        QVERIFY(!mine.Validate());
        auto second = m_host->server->connect();
        second->login(QStringLiteral("Manager"), QStringLiteral("manager"));
        Globals().Connection = second.get();
        Globals().AppServer = second.get();
        auto theirs = open("LX_SysInitInfo");
        theirs->edit();
        theirs->setValue(QStringLiteral("UseOrg"), QStringLiteral("他们的公司"));
        ApplyChanges(*theirs, true);
        useHost(*m_host);
        try {
            mine.Save(false);
            QFAIL("a change made by another connection was overwritten");
        } catch (const Error &e) {
            QCOMPARE(e.message(), QStringLiteral("数据已被使用，或其他用户已修改数据。"));
        }
        QCOMPARE(open("LX_SysInitInfo")->asString(QStringLiteral("UseOrg")),
                 QStringLiteral("他们的公司"));
        QCOMPARE(mine.Info().asString(QStringLiteral("UseOrg")), QStringLiteral("我的公司"));
    }

    // A save failed at any step, then tried again: the retry once stored the address key
    // taken inside the rolled-back try, which the counter then handed out a second time.
    void retryAfterFaultTakesNewKeys()
    {
        for (int step = 1;; ++step) {
            TestHost host;
            useHost(host);
            vexa::test::FaultyConnection faulty(host.connection.get());
            Globals().Connection = &faulty;
            Globals().AppServer = &faulty;
            AccountSetConfig config;
            prepareNewSet(config, 202401, 0);
            QVERIFY(!config.Validate());
            faulty.failAt(step);
            bool faulted = false;
            try {
                config.Save(false);
                faulted = faulty.faulted();
            } catch (const Error &) {
                faulted = true;
                QVERIFY(faulty.faulted());
                QCOMPARE(config.Info().asInteger(QStringLiteral("AddressID")), 0);
                faulty.failAt(0);
                config.Save(false);
            }
            faulty.failAt(0);
            const qlonglong address =
                open("LX_SysInitInfo")->asInteger(QStringLiteral("AddressID"));
            QCOMPARE(open("LX_DMAddress")->asInteger(QStringLiteral("AddressID")), address);
            QVERIFY2(address >= 1 &&
                         address < vexa::test::StoredNextID(host, QStringLiteral("1095")),
                     qPrintable(QStringLiteral("fault at step %1: key %2, counter %3")
                                    .arg(step)
                                    .arg(address)
                                    .arg(vexa::test::StoredNextID(host, QStringLiteral("1095")))));
            if (!faulted)
                break; // the whole save ran without reaching the step
        }
        useHost(*m_host);
    }
};

QTEST_MAIN(TestAccountSetConfig)
#include "tst_accountsetconfig.moc"
