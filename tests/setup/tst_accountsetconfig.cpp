// The configuration's rules without its window, against a real account set: the order of
// the save's checks, the questions and their answers, the editors' rules, a first save end
// to end and what it fixes, the period dialog's round trips, and saves that fail writing
// nothing. Sets are shared where a case does not save.
#include "AccountSetConfig.h"
#include "AccountTemplate.h"
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataModule.h"
#include "FiscalCalendar.h"
#include "Globals.h"
#include "support/FaultInjection.h"
#include "support/TempSettings.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;
using vexa::test::TestHost;

namespace {

const QDate kServerDay(2027, 1, 15);
const QString kCompany = QStringLiteral("测试有限公司");

std::unique_ptr<ClientDataSet> open(const char *provider, const char *command = "WHERE 1=1")
{
    return ProviderDataSet(QString::fromLatin1(provider), QString::fromUtf8(command));
}

template <typename Connection> void useHost(TestHost &host, Connection *connection)
{
    Globals().Host = &host;
    Globals().Connection = connection;
    Globals().AppServer = connection;
    Globals().DataModule = &host.dataModule;
}
void useHost(TestHost &host)
{
    useHost(host, host.connection.get());
}

// A new set with the company, the periods and the general-ledger start filled in.
void prepareNewSet(AccountSetConfig &config, int glStart)
{
    config.Load(kServerDay);
    config.Info().setValue("UseOrg", kCompany);
    config.TakePeriods(vexa::test::GeneratedPeriods(kServerDay.year()), 2024, 12, 0);
    config.SetGLStart(glStart, QStringLiteral("GL"));
}

// What the period dialog does between "设置会计期间" and "确认", on a copy of the table.
template <typename Change> void periodDialog(AccountSetConfig &config, Change change)
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

// A period table: one row per (Year, No) and per PeriodID, perYear periods in each of
// fifty years from firstYear, and every start period named after its own row.
void checkPeriods(const DataPacket &table, const ClientDataSet &info, int firstYear, int perYear)
{
    const auto column = [&](const char *name) { return indexOfField(table.fields, name); };
    QHash<qlonglong, QString> names;
    QSet<std::pair<int, int>> places;
    int lowest = 9999;
    for (const QVariantList &row : table.rows) {
        names.insert(row[column("PeriodID")].toLongLong(), row[column("PeriodName")].toString());
        places.insert({row[column("Year")].toInt(), row[column("No")].toInt()});
        lowest = std::min(lowest, row[column("Year")].toInt());
    }
    const int expected = FiscalCalendar::kYearCount * perYear;
    QCOMPARE(int(table.rows.size()), expected);
    QCOMPARE(int(names.size()), expected);
    QCOMPARE(int(places.size()), expected);
    QCOMPARE(lowest, firstYear);
    for (const auto &[id, name] : {std::pair{"GLStartPeriodID", "GLStartPeriodName"},
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

    vexa::test::TemporarySettings m_settings;
    std::unique_ptr<TestHost> m_shared; // never saved to: the cases that only read share it

private slots:
    void initTestCase() { m_shared = std::make_unique<TestHost>(); }
    void init() { useHost(*m_shared); }
    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_shared.reset();
    }

    void validationOrder()
    {
        AccountSetConfig config;
        config.Load(kServerDay);
        const auto problem = [&] { return config.Validate().value_or(ConfigProblem{}); };
        QCOMPARE(problem(), (ConfigProblem{QStringLiteral("必须输入公司名称。"),
                                           ConfigPage::Overview, QStringLiteral("UseOrg")}));
        config.Info().setValue("UseOrg", kCompany);
        config.Info().setValue("CurrName", QStringLiteral("  "));
        QCOMPARE(problem().field, QStringLiteral("CurrName"));
        config.Info().setValue("CurrName", QStringLiteral("人民币"));
        QCOMPARE(problem(),
                 (ConfigProblem{QStringLiteral("必须设置会计期间。"), ConfigPage::Periods, {}}));

        // Taking the periods makes the shown year's first period the start.
        QCOMPARE(
            config.TakePeriods(vexa::test::GeneratedPeriods(kServerDay.year()), 2024, 12, 2030),
            2030);
        QCOMPARE(config.Info().asInteger("GLStartPeriodID"), 203001);
        config.SetGLStart(0, QString());
        QCOMPARE(problem().message, QStringLiteral("必须选择财务系统的启用会计期间。"));
        config.SetGLStart(190001, QString());
        QCOMPARE(problem().message, QStringLiteral("选择的财务系统启用会计期间无效。"));
        config.SetGLStart(202407, QString());
        config.SetCashierStart(202405, QString());
        QCOMPARE(problem(),
                 (ConfigProblem{
                     QStringLiteral("选择的出纳系统启用会计期间不可以小于财务系统启用会计期间。"),
                     ConfigPage::Cashier,
                     {}}));
        // A cashier start equal to the ledger's own start is allowed.
        config.SetCashierStart(202407, QString());
        config.SetBusinessStart(207401, QString(), false);
        QCOMPARE(problem().message, QStringLiteral("选择的业务系统启用会计期间无效。"));
        config.SetBusinessStart(202407, QString(), false);
        QVERIFY(!config.Validate());
        QVERIFY(config.Periods().isFiltered()); // the grid stays on the shown year
        QString filter;
        QVERIFY(!config.CashierPickerFilter(filter));
        QCOMPARE(filter, QStringLiteral("PeriodID >= 202407"));

        // The chart-less template needs account types, once chosen here (not stored alone).
        config.Info().edit();
        config.Info().setValue("AcctTempDesc", CustomChartTemplate);
        QVERIFY(!config.Validate());
        config.Info().edit();
        config.IndustryChosen();
        QCOMPARE(problem().message, QStringLiteral("必须指定账套行业性质。"));
        QCOMPARE(config.CheckAccountTypes(), problem());
        QVERIFY(!config.AccountTypesToOffer().isEmpty()); // the template's default types
        config.SetChosenAccountTypes(vexa::test::GeneratedPeriods(kServerDay.year()));
        QVERIFY(!config.CheckAccountTypes());
        QCOMPARE(config.AccountTypesToOffer(), config.ChosenAccountTypes()->saveToText());
    }

    void questionsAndAnswers()
    {
        AccountSetConfig config;
        QString filter;
        config.Load(kServerDay);
        QCOMPARE(config.CashierPickerFilter(filter)->message,
                 QStringLiteral("必须首先选择财务系统启用会计期间。"));
        prepareNewSet(config, 202403);
        config.SetBusinessStart(202403, QStringLiteral("2024年第3期"), true);
        QCOMPARE(config.Info().asString("GLStartPeriodName"), QStringLiteral("2024年第3期"));
        const QList<ConfigQuestion> asked = config.Questions(true);
        QCOMPARE(asked.size(), 4);
        QCOMPARE(asked[0].text, FixedSettingQuestion(QStringLiteral("业务系统启用会计期间被设置为"),
                                                     QStringLiteral("2024年第3期")));
        QCOMPARE(asked[2].text, FixedSettingQuestion(QStringLiteral("账套记账本位币被设置为"),
                                                     QStringLiteral("RMB - 人民币")));
        QVERIFY(asked[3].enablesAccountSet);
        // Without the finance page only the business start is confirmed.
        QCOMPARE(config.Questions(false).size(), 1);

        // Every No but the enabling one stops the save; that one saves without enabling.
        const auto answer = [&](QList<bool> yes) {
            return AnswerQuestions(asked, [&](const QString &) { return yes.takeFirst(); });
        };
        QCOMPARE(answer({true, true, true, true}), std::optional<bool>(true));
        QCOMPARE(answer({true, true, true, false}), std::optional<bool>(false));
        QCOMPARE(answer({true, true, false, true}), std::nullopt);
        QCOMPARE(answer({false, true, true, true}), std::nullopt);
    }

    void editorRules()
    {
        AccountSetConfig config;
        config.Load(kServerDay);
        ClientDataSet &display = config.Display();
        config.CurrencyPlacementChosen(true);
        QVERIFY(!display.asBoolean("ShowCurrSymbol"));
        WriteField(display, QStringLiteral("ShowCurrCode"), true);
        config.CurrencyPlacementChosen(false);
        QVERIFY(!display.asBoolean("ShowCurrCode"));
        QCOMPARE(config.SetVoucherFill(QStringLiteral(" "))->field, QStringLiteral("PZNumCaLen"));
        QVERIFY(!config.SetVoucherFill(QStringLiteral("6")));
        QCOMPARE(display.asInteger("PZNumCaLen"), 6);

        // A typed account code: unknown refused, known taken, emptied cleared.
        ClientDataSet accounts;
        accounts.addField("AcctID", FieldType::Integer);
        accounts.addField("AcctCode", FieldType::String, 20);
        accounts.addField("AcctName", FieldType::String, 20);
        accounts.createDataSet();
        accounts.append();
        accounts.setValue("AcctID", 7);
        accounts.setValue("AcctCode", QStringLiteral("1001"));
        accounts.setValue("AcctName", QStringLiteral("现金"));
        accounts.post();
        QStringList asked;
        const auto find = [&](const QString &code) -> const ClientDataSet & {
            asked << code;
            accounts.setFilter(QStringLiteral("AcctCode = '%1'").arg(code));
            accounts.setFiltered(true);
            return accounts;
        };
        ClientDataSet &sales = config.Sales();
        const QString deal = QStringLiteral("Deal");
        QCOMPARE(EnterAccountCode(sales, deal, QStringLiteral("9Z9Z"), find),
                 QStringLiteral("输入科目代码无效。"));
        QVERIFY(sales.isNull("DealAcctID"));
        QVERIFY(!EnterAccountCode(sales, deal, QStringLiteral(" 1001 "), find));
        QCOMPARE(sales.asString("DealAcctName"), QStringLiteral("现金"));
        QCOMPARE(sales.asInteger("DealAcctID"), 7);
        QVERIFY(!EnterAccountCode(sales, deal, QStringLiteral("1001"), find));
        QCOMPARE(asked, (QStringList{"9Z9Z", "1001"})); // the stored code is not looked up
        QVERIFY(!EnterAccountCode(sales, deal, QString(), find));
        QVERIFY(sales.isNull("DealAcctCode"));

        // Property counts of a new set; the factor message names its minimum as well.
        QVERIFY(!config.SetPropertyCount(PropertyKind::Inventory, 3));
        QCOMPARE(config.Info().asInteger("PartFixcolCount"), 3);
        QCOMPARE(config.SetPropertyCount(PropertyKind::Factor, -1)->message,
                 QStringLiteral("启用存货数量因子总数 0"));
    }

    void firstSaveAndWhatItFixes()
    {
        TestHost host;
        useHost(host);
        AccountSetConfig config;
        prepareNewSet(config, 202403);
        config.SetCashierStart(202405, QStringLiteral("CS"));
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
        QCOMPARE(periods->asString("PeriodCode"), FiscalCalendar::periodCode(2024, 3));
        auto info = open("LX_SysInitInfo");
        QCOMPARE(info->asInteger("GLStartPeriodID"), 3);
        QCOMPARE(info->asInteger("CashierStartPeriodID"), 5);
        QCOMPARE(info->value("BackupDate").toDate(), QDate(2024, 3, 1));
        OptionRecords options;
        QVERIFY(options.Load(*info));
        QCOMPARE(options.BooleanStr(OptionRecords::Fin)[51], QLatin1Char('1'));
        const qlonglong addressId = info->asInteger("AddressID");
        QVERIFY(addressId > 0);
        QCOMPARE(open("LX_DMAddress")->asInteger("AddressID"), addressId);
        QVERIFY(open("LX_DMAccounting")->recordCount() > 100); // the template's chart
        QCOMPARE(open("LX_DMDocNum", "WHERE ObjType = 2101")->asString("NumFormat"),
                 QStringLiteral("[N:XXXX]"));
        // The host sees the saved record and the option sets at once.
        QCOMPARE(host.info().asInteger("GLStartPeriodID"), 3);
        QVERIFY(host.dataModule.dataSet("CDS_FinOption"));

        // Reopened: currency, industry and calendar structure are fixed now.
        AccountSetConfig again;
        again.Load(kServerDay);
        QVERIFY(!again.CurrencyEditable());
        QVERIFY(!again.GLPickerVisible());
        QVERIFY(!again.CashierPickerVisible());
        QVERIFY(again.BusinessPickerVisible());
        QVERIFY(!again.CanRegeneratePeriods());
        QVERIFY(again.Flags().test(52));
        QCOMPARE(again.Questions(true).size(), 0);

        // A later save asks for a new login only when it changed what the session holds
        // from its login; company details and the business defaults read on opening do not.
        const struct
        {
            const char *name;
            std::function<void(AccountSetConfig &)> change;
            bool newLogin;
        } saves[] = {
            {"nothing changed", [](AccountSetConfig &) {}, false},
            {"e-mail", [](AccountSetConfig &c) { WriteField(c.Address(), "EMail", "a@b.cn"); },
             false},
            {"company name and a purchase default",
             [](AccountSetConfig &c) {
                 WriteField(c.Info(), "UseOrg", QStringLiteral("新名称有限公司"));
                 WriteField(c.Purchase(), "OrderTag", !c.Purchase().asBoolean("OrderTag"));
             },
             false},
            {"part caption",
             [](AccountSetConfig &c) {
                 WriteField(c.Info(), "CaptionPartName", QStringLiteral("物料"));
             },
             true},
            {"decimal places", [](AccountSetConfig &c) { WriteField(c.Info(), "Quantities", 5); },
             true},
            {"sales default read at login",
             [](AccountSetConfig &c) {
                 WriteField(c.Sales(), "OGTag", !c.Sales().asBoolean("OGTag"));
             },
             true},
            {"a period frozen",
             [](AccountSetConfig &c) { WriteField(c.Periods(), "Active", QStringLiteral("N")); },
             true},
        };
        for (const auto &save : saves) {
            AccountSetConfig later;
            later.Load(kServerDay);
            save.change(later);
            QVERIFY2(!later.Validate(), save.name);
            QVERIFY2(later.Save(false).settingsChanged == save.newLogin, save.name);
        }

        // Two users change the same record: the later save is told another user saved first.
        AccountSetConfig mine, theirs;
        mine.Load(kServerDay);
        theirs.Load(kServerDay);
        WriteField(theirs.Address(), "EMail", "theirs@b.cn");
        QVERIFY(!theirs.Validate());
        theirs.Save(false);
        WriteField(mine.Address(), "EMail", "mine@b.cn");
        QVERIFY(!mine.Validate());
        QCOMPARE(errorOf([&] { mine.Save(false); }),
                 QStringLiteral("数据已被使用，或其他用户已修改数据。"
                                "其他用户已先保存了账套参数，请关闭后重新打开。"));
    }

    // The period dialog used again and again before the first save: a start-year change
    // gives every row another year while the table is indexed by year (rows were skipped,
    // appended again and the save failed on duplicate periods). The starts follow their
    // rows, a start whose row is gone is cleared. The save, enabling the set with a
    // currency that already exists, stores what was shown.
    void periodDialogRoundTrips()
    {
        TestHost host;
        useHost(host);
        AccountSetConfig config;
        prepareNewSet(config, 202401);
        config.SetCashierStart(202405, QStringLiteral("CS"));
        config.SetBusinessStart(202403, QStringLiteral("KB"), false);
        const auto round = [&](auto change, int firstYear, int perYear) {
            periodDialog(config, change);
            checkPeriods(config.Periods().data(), config.Info(), firstYear, perYear);
        };
        const auto startYear = [](int year) {
            return [year](FiscalCalendar &c, ClientDataSet &) { QVERIFY(c.changeStartYear(year)); };
        };
        const auto count = [](int periods) {
            return [periods](FiscalCalendar &c, ClientDataSet &) { c.setPeriodCount(periods); };
        };
        round(startYear(2025), 2025, 12);
        QCOMPARE(config.Info().asString("CSPeriodName"), FiscalCalendar::periodName(2025, 5));
        round(count(13), 2025, 13);
        config.Periods().setFiltered(false);
        QVERIFY(config.Periods().locate("Year;No", {2028, 13}));
        config.SetCashierStart(int(config.Periods().asInteger("PeriodID")), {});
        config.ShowYear(2025);
        round(startYear(2026), 2026, 13);
        QCOMPARE(config.Info().asString("CSPeriodName"), FiscalCalendar::periodName(2029, 13));
        round(
            [](FiscalCalendar &c, ClientDataSet &periods) {
                c.showYear(2030);
                periods.setRecNo(3);
                c.editPostingFrom(QDate(2030, 3, 5));
            },
            2026, 13);
        // Back to 12: the cashier start on a period 13 has no row any more.
        round(count(12), 2026, 12);
        QCOMPARE(config.Info().asInteger("CashierStartPeriodID"), 0);
        round(startYear(2028), 2028, 12);
        QCOMPARE(config.Info().asString("KBPeriodName"), FiscalCalendar::periodName(2028, 3));

        config.Info().setValue("SysCur", QStringLiteral("USD"));
        config.Info().setValue("CurrName", QStringLiteral("美元"));
        QVERIFY(!config.Validate());
        QVERIFY(config.Save(true).enabledNow);
        auto stored = open("LX_FINPostingPeriods", "WHERE 1=1 ORDER BY PeriodID");
        auto info = open("LX_SysInitInfo");
        checkPeriods(stored->data(), *info, 2028, 12);
        QVERIFY(stored->locate("Year;No", {2032, 3})); // edited in (then) 2030
        QCOMPARE(stored->value("PostingFrom").toDate(), QDate(2032, 3, 5));
        QCOMPARE(info->asInteger("InvStartPeriodID"), 3);
        QVERIFY(info->asBoolean("InitialAudit"));
        // USD's own row became the base; RMB was left as it was.
        auto currencies = open("LX_DMCurrency");
        QVERIFY(currencies->locate("CurrCode", QStringLiteral("RMB")));
        QCOMPARE(currencies->asString("CurrName"), QStringLiteral("人民币"));
        QCOMPARE(open("LX_DMAccounting", "WHERE AcctCode = '1001'")->asString("CurrCode"),
                 QStringLiteral("USD"));
    }

    // A failed save writes nothing and leaves every record of the dialog as before, so a
    // retry with other answers is a first try (it once kept the renumbered periods, the
    // enabling asked for by the failed try, and the address key taken inside the
    // rolled-back try, which the counter then handed out a second time).
    void failedSavesWriteNothing()
    {
        TestHost host;
        vexa::test::FaultyConnection faulty(host.connection.get());
        useHost(host, &faulty);
        AccountSetConfig config;
        prepareNewSet(config, 202401);
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
        const auto setTemplate = [&](const QString &code) {
            config.Info().edit();
            config.Info().setValue("AcctTempDesc", code);
            config.Info().post();
        };
        // A template that cannot be used says so itself.
        setTemplate(QStringLiteral("Z99"));
        QCOMPARE(errorOf([&] { config.Save(false); }), QStringLiteral("行业科目模板“Z99”不存在。"));
        setTemplate(QStringLiteral("A01000"));

        // Another user, on a connection of his own, creates the set while this one
        // configures it.
        const auto other = host.server->connect();
        other->login(QStringLiteral("Manager"), QStringLiteral("manager"));
        useHost(host, other.get());
        auto theirs = open("LX_SysInitInfo", "WHERE -1=1");
        theirs->append();
        theirs->setValue("DefID", 1);
        for (const auto &[field, value] :
             {std::pair{"UseOrg", "别人的公司"}, std::pair{"SysCur", "RMB"},
              std::pair{"CurrName", "人民币"}, std::pair{"AcctTempDesc", "A01000"}})
            theirs->setValue(QLatin1String(field), QString::fromUtf8(value));
        theirs->post();
        ApplyChanges(*theirs, true);
        useHost(host, &faulty);
        QCOMPARE(errorOf([&] { config.Save(true); }),
                 QStringLiteral("数据记录重复。其他用户已先保存了账套参数，请关闭后重新打开。"));
        // In design mode the server's own words, naming the table.
        Session().DesignModule = true;
        const QString designed = errorOf([&] { config.Save(true); });
        Session().DesignModule = false;
        QVERIFY2(designed.contains(QStringLiteral("LX_SysInitInfo")), qPrintable(designed));
        QCOMPARE(open("LX_FINPostingPeriods")->recordCount(), 0);
        QCOMPARE(open("LX_DMAccounting")->recordCount(), 0);
        QCOMPARE(state(), before);
        QVERIFY(config.CanRegeneratePeriods());
        useHost(host, other.get());
        theirs = open("LX_SysInitInfo");
        theirs->deleteRecord();
        ApplyChanges(*theirs, true);
        useHost(host, &faulty);

        // The connection fails at each step of the save in turn; the last try runs through.
        for (int step = 1;; ++step) {
            faulty.failAt(step);
            const QString error = errorOf([&] { config.Save(false); });
            const bool faulted = faulty.faulted();
            faulty.failAt(0);
            if (error.isEmpty())
                break; // ran through, or failed only refreshing the host's copies
            QVERIFY2(faulted, qPrintable(error));
            QCOMPARE(state(), before);
            QCOMPARE(open("LX_SysInitInfo")->recordCount(), 0);
        }
        QCOMPARE(host.calls.count("BeginBusy"), host.calls.count("EndBusy:0"));
        auto info = open("LX_SysInitInfo");
        QVERIFY(!info->asBoolean("InitialAudit"));
        QCOMPARE(open("LX_FINPostingPeriods")->recordCount(), 600);
        const qlonglong address = info->asInteger("AddressID");
        QCOMPARE(open("LX_DMAddress")->asInteger("AddressID"), address);
        QVERIFY(address >= 1 && address < vexa::test::StoredNextID(host, QStringLiteral("1095")));
    }
};

QTEST_MAIN(TestAccountSetConfig)
#include "tst_accountsetconfig.moc"
