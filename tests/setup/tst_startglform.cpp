// The configuration window over a real account set, driven through its components: what OK
// refuses and on which page, the questions before a save and what each answer saves, what
// a saved set fixes when reopened, a read-only user, and the editors with rules of their own.
#include "AccountSetConfig.h"
#include "AccountTemplate.h"
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DefAccttypeForm.h"
#include "FiscalCalendar.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "PeriodsMForm.h"
#include "StartGLForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace vexa;
using namespace vexa::gl;
using vexa::test::TestHost;

namespace {

const QDate kServerDay(2027, 1, 15);
const QString kEnableQuestion = QStringLiteral(
    "是否立即启用此账套（多人同时使用时，建议等账套期初数据输入完毕后再启动账套）？");

template <typename T> T *child(QObject &form, const char *name)
{
    T *found = form.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no component %s", name);
    return found;
}

std::unique_ptr<ClientDataSet> open(const char *provider, const char *command = "WHERE 1=1")
{
    return ProviderDataSet(QString::fromLatin1(provider), QString::fromUtf8(command));
}

// Typed text, arriving as an input method commits it (Chinese is never single key strokes).
void type(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(edit, &commit);
}

int currentPage(TStartGLForm &form)
{
    return child<QTabWidget>(form, "pcMain")->currentIndex();
}

} // namespace

class TestStartGLForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestHost> m_host;

    void useHost(std::unique_ptr<TestHost> host)
    {
        Globals() = PluginGlobals();
        m_host = std::move(host);
        m_host->values.insert(QStringLiteral("DATE"),
                              double(QDate(1899, 12, 30).daysTo(kServerDay)));
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
    }

    // Company typed, periods set through the period dialog (its first period becomes the
    // general-ledger start).
    void fillNewSet(TStartGLForm &form, ScriptedDialogs &dialogs)
    {
        type(child<QLineEdit>(form, "edUseOrg"), QStringLiteral("测试有限公司"));
        dialogs.answer(1);
        child<QPushButton>(form, "btnSetPeriods")->click();
    }

    // Saves a new set, answering Yes to the fixed settings and enable as asked.
    void saveNewSet(bool enable, const std::function<void(TStartGLForm &)> &edit = {})
    {
        ScriptedDialogs dialogs;
        TStartGLForm form;
        form.show();
        fillNewSet(form, dialogs);
        if (edit)
            edit(form);
        for (int answer : {mrOk, mrOk, enable ? mrOk : mrCancel})
            dialogs.answer(answer);
        if (enable)
            dialogs.answer(mrOk);
        child<QPushButton>(form, "btnOk")->click();
        QCOMPARE(form.result(), 1);
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    }

    void init() { useHost(std::make_unique<TestHost>()); }

    void cleanup()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void okRefused_data()
    {
        QTest::addColumn<bool>("company");
        QTest::addColumn<bool>("storedPeriods");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no company") << false << false << "必须输入公司名称。" << 0 << "edUseOrg";
        QTest::newRow("no periods") << true << false << "必须设置会计期间。" << 1 << "";
        // Periods on the server but no information record: no start period yet.
        QTest::newRow("no start period")
            << true << true << "必须选择财务系统的启用会计期间。" << 2 << "";
    }

    void okRefused()
    {
        QFETCH(bool, company);
        QFETCH(bool, storedPeriods);
        QFETCH(QString, message);
        QFETCH(int, page);
        QFETCH(QString, focus);
        if (storedPeriods) {
            ClientDataSet generated;
            generated.setFieldDefs(FiscalCalendar::periodFields());
            generated.createDataSet();
            FiscalCalendar(generated).generate(kServerDay.year());
            auto periods = open("LX_FINPostingPeriods", "WHERE -1=1");
            AppendSharedRows(*periods, generated.data());
            ApplyChanges(*periods, true);
        }
        ScriptedDialogs dialogs;
        TStartGLForm form;
        form.show();
        QVERIFY(!form.ReadOnly());
        if (company)
            type(child<QLineEdit>(form, "edUseOrg"), QStringLiteral("测试有限公司"));
        child<QTabWidget>(form, "pcMain")->setCurrentIndex(7);
        dialogs.answer(mrOk);
        child<QPushButton>(form, "btnOk")->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, message);
        QCOMPARE(currentPage(form), page);
        if (!focus.isEmpty())
            QCOMPARE(form.focusWidget()->objectName(), focus);
        QVERIFY(form.isVisible());
        QCOMPARE(open("LX_SysInitInfo")->recordCount(), 0);
        QVERIFY(!form.SettingsChanged());
    }

    void confirmations_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("all yes") << QList<int>{mrOk, mrOk, mrOk} << true << true;
        QTest::newRow("enable no") << QList<int>{mrOk, mrOk, mrCancel} << true << false;
        QTest::newRow("start period no") << QList<int>{mrCancel} << false << false;
        QTest::newRow("currency no") << QList<int>{mrOk, mrCancel} << false << false;
    }

    // The start period chosen with the picker; every question but the enabling one can
    // stop the save.
    void confirmations()
    {
        QFETCH(QList<int>, answers);
        QFETCH(bool, saved);
        QFETCH(bool, enabled);
        ScriptedDialogs dialogs;
        TStartGLForm form;
        form.show();
        fillNewSet(form, dialogs);
        auto *tree = child<QTreeWidget>(form, "tvYears");
        QCOMPARE(tree->topLevelItem(0)->childCount(), 50);
        QCOMPARE(child<QTableView>(form, "grdPeriods")->model()->rowCount(), 12);
        QCOMPARE(child<QLineEdit>(form, "edGLStartPeriodName")->text(),
                 FiscalCalendar::periodName(2024, 1));

        dialogs.answerWith([](QDialog &picker) {
            auto *grid = child<QTableView>(picker, "grdData");
            grid->setCurrentIndex(grid->model()->index(2, 0));
            child<QPushButton>(picker, "btnOk")->click();
            return picker.result();
        });
        child<QPushButton>(form, "btnGLStart")->click();
        const QString start = FiscalCalendar::periodName(2024, 3);
        QCOMPARE(child<QLineEdit>(form, "edGLNowPeriodName")->text(), start);

        for (int answer : answers)
            dialogs.answer(answer);
        if (enabled)
            dialogs.answer(mrOk);
        const qsizetype before = dialogs.shown.size();
        child<QPushButton>(form, "btnOk")->click();
        QCOMPARE(dialogs.pending(), 0);
        QCOMPARE(dialogs.shown[before].text,
                 FixedSettingQuestion(QStringLiteral("财务系统启用会计期间被设置为"), start));
        const QList<ScriptedDialogs::Shown> after = dialogs.shown.mid(before);
        QCOMPARE(after.size(), answers.size() + (enabled ? 1 : 0));
        QCOMPARE(after.last().text == QStringLiteral("账套已成功启用！"), enabled);

        auto info = open("LX_SysInitInfo");
        QCOMPARE(info->recordCount(), saved ? 1 : 0);
        QCOMPARE(open("LX_FINPostingPeriods")->recordCount(), saved ? 600 : 0);
        QCOMPARE(form.SettingsChanged(), saved);
        QCOMPARE(form.result(), saved ? 1 : 0);
        QCOMPARE(m_host->calls.count(QStringLiteral("BeginBusy")),
                 m_host->calls.count(QStringLiteral("EndBusy:0")));
        if (!saved)
            return;
        QCOMPARE(info->asString(QStringLiteral("UseOrg")), QStringLiteral("测试有限公司"));
        QCOMPARE(info->asBoolean(QStringLiteral("InitialAudit")), enabled);
        QCOMPARE(info->asInteger(QStringLiteral("GLStartPeriodID")), 3);

        // Reopened: currency, industry and general-ledger start are fixed now.
        TStartGLForm again;
        again.show();
        QVERIFY(child<QLineEdit>(again, "edSysCur")->isReadOnly());
        QVERIFY(child<QLineEdit>(again, "edCurrName")->isReadOnly());
        QVERIFY(!child<QComboBox>(again, "cbAcctTempDesc")->isEnabled());
        QVERIFY(child<QPushButton>(again, "btnBrowseTemplate")->isHidden());
        QVERIFY(child<QPushButton>(again, "btnGLStart")->isHidden());
        QVERIFY(!child<QPushButton>(again, "btnCashierStart")->isHidden());
        QVERIFY(child<QLabel>(again, "lbHint")->isHidden());
        QCOMPARE(child<QLineEdit>(again, "edGLStartPeriodName")->text(), start);
        QCOMPARE(child<QLineEdit>(again, "edUseOrg")->text(), QStringLiteral("测试有限公司"));
        // Enabled: flag 5 and the voucher fill length are fixed too.
        QCOMPARE(child<QCheckBox>(again, "chkFlag5")->isEnabled(), !enabled);
        QCOMPARE(child<QLineEdit>(again, "edPZNumCaLen")->isReadOnly(), enabled);
    }

    // Opened for the edition without the general ledger, with the period dialog used twice
    // before the first save, the second time moving the start year: the table keeps one row
    // per period, the start shown names its own period, and the business start chosen on
    // the overview is the general-ledger start too (only its question is asked).
    void periodsAgainAndBusinessPanel()
    {
        ScriptedDialogs dialogs;
        TStartGLForm form;
        form.ShowBusinessPanel(true);
        form.show();
        auto *pages = child<QTabWidget>(form, "pcMain");
        QVERIFY(!pages->isTabVisible(2));
        QVERIFY(!child<QWidget>(form, "pnlBusiness")->isHidden());
        fillNewSet(form, dialogs);
        dialogs.answerWith([](QDialog &dialog) {
            child<QSpinBox>(dialog, "edYear")->setValue(2025);
            QTest::qWaitFor(
                [&] { return static_cast<TPeriodsMForm &>(dialog).StartYear() == 2025; });
            child<QPushButton>(dialog, "btnOk")->click();
            return dialog.result();
        });
        child<QPushButton>(form, "btnSetPeriods")->click();
        ClientDataSet &periods = form.Config().Periods();
        periods.setFiltered(false);
        QSet<std::pair<int, int>> places;
        QSet<qlonglong> ids;
        for (periods.first(); !periods.eof(); periods.next()) {
            places.insert({int(periods.asInteger(QStringLiteral("Year"))),
                           int(periods.asInteger(QStringLiteral("No")))});
            ids.insert(periods.asInteger(QStringLiteral("PeriodID")));
        }
        QCOMPARE(periods.recordCount(), 600);
        QCOMPARE(int(places.size()), 600);
        QCOMPARE(int(ids.size()), 600);
        periods.setFiltered(true);
        QCOMPARE(child<QTreeWidget>(form, "tvYears")->topLevelItem(0)->child(0)->text(0),
                 QStringLiteral("2025"));
        QCOMPARE(child<QLineEdit>(form, "edGLStartPeriodName")->text(),
                 FiscalCalendar::periodName(2025, 1));

        dialogs.answer(mrOk);
        dialogs.answerWith([](QDialog &picker) {
            auto *grid = child<QTableView>(picker, "grdData");
            grid->setCurrentIndex(grid->model()->index(2, 0));
            child<QPushButton>(picker, "btnOk")->click();
            return picker.result();
        });
        child<QPushButton>(form, "btnPanelBusinessStart")->click();
        const QString start = FiscalCalendar::periodName(2025, 3);
        QCOMPARE(child<QLineEdit>(form, "edPanelKBPeriodName")->text(), start);
        QCOMPARE(child<QLineEdit>(form, "edGLStartPeriodName")->text(), start);

        dialogs.answer(mrOk);
        const qsizetype before = dialogs.shown.size();
        child<QPushButton>(form, "btnOk")->click();
        QCOMPARE(form.result(), 1);
        QCOMPARE(dialogs.shown.size(), before + 1);
        QCOMPARE(dialogs.shown[before].text,
                 FixedSettingQuestion(QStringLiteral("业务系统启用会计期间被设置为"), start));
        auto info = open("LX_SysInitInfo");
        QCOMPARE(info->asInteger(QStringLiteral("GLStartPeriodID")), 3);
        QCOMPARE(info->asInteger(QStringLiteral("InvStartPeriodID")), 3);
        QCOMPARE(info->asString(QStringLiteral("GLStartPeriodName")), start);
        QCOMPARE(info->asBoolean(QStringLiteral("InitialAudit")), false);
        auto stored = open("LX_FINPostingPeriods", "WHERE PeriodID = 3");
        QCOMPARE(stored->asString(QStringLiteral("PeriodName")), start);
    }

    void readOnlyClosesAsCancel()
    {
        useHost(std::make_unique<TestHost>("clerk", "clerk"));
        ScriptedDialogs dialogs;
        TStartGLForm form;
        form.show();
        QVERIFY(form.ReadOnly());
        QVERIFY(child<QLineEdit>(form, "edAddrDesc")->isReadOnly());
        QVERIFY(child<QLineEdit>(form, "edUseOrg")->isReadOnly());
        QVERIFY(!child<QPushButton>(form, "btnSetPeriods")->isEnabled());
        // Shown by the start periods, but nothing can be chosen in a read-only dialog.
        QVERIFY(!child<QPushButton>(form, "btnGLStart")->isHidden());
        QVERIFY(!child<QPushButton>(form, "btnGLStart")->isEnabled());
        QVERIFY(!child<QPushButton>(form, "btnCashierStart")->isEnabled());
        child<QPushButton>(form, "btnOk")->click();
        QCOMPARE(form.result(), 2);
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(open("LX_SysInitInfo")->recordCount(), 0);
    }

    void currencyPlacementChecksClearEachOther()
    {
        TStartGLForm form;
        form.show();
        auto *code = child<QCheckBox>(form, "chkShowCurrCode");
        auto *symbol = child<QCheckBox>(form, "chkShowCurrSymbol");
        ClientDataSet &display = form.Config().Display();
        code->click();
        QVERIFY(display.asBoolean(QStringLiteral("ShowCurrCode")));
        symbol->click();
        QVERIFY(!code->isChecked());
        QVERIFY(!display.asBoolean(QStringLiteral("ShowCurrCode")));
        QVERIFY(display.asBoolean(QStringLiteral("ShowCurrSymbol")));
        code->click();
        QVERIFY(!symbol->isChecked());
        QVERIFY(!display.asBoolean(QStringLiteral("ShowCurrSymbol")));
    }

    // Panels follow the count; a count below the stored one is refused and stays.
    void propertyCounts()
    {
        saveNewSet(false, [](TStartGLForm &form) {
            child<QSpinBox>(form, "edPartFixcolCount")->setValue(3);
            QVERIFY(!child<QWidget>(form, "pnlPartProp3")->isHidden());
            QVERIFY(child<QWidget>(form, "pnlPartProp4")->isHidden());
            type(child<QLineEdit>(form, "edPartProp2"), QStringLiteral("颜色"));
        });
        ScriptedDialogs dialogs;
        TStartGLForm form;
        form.show();
        auto *count = child<QSpinBox>(form, "edPartFixcolCount");
        QCOMPARE(count->value(), 3);
        QCOMPARE(child<QLineEdit>(form, "edPartProp2")->text(), QStringLiteral("颜色"));
        dialogs.answer(mrOk);
        count->setValue(2);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("启用存货属性总数必须大于 3"));
        QCOMPARE(count->value(), 3);
        QCOMPARE(form.Config().Info().asInteger(QStringLiteral("PartFixcolCount")), 3);
        QVERIFY(!child<QWidget>(form, "pnlPartProp3")->isHidden());
        count->setValue(5);
        QVERIFY(!child<QWidget>(form, "pnlPartProp5")->isHidden());
    }

    // The chart without preset accounts asks for account types instead of a preview.
    void customChartNeedsAccountTypes()
    {
        ScriptedDialogs dialogs;
        TStartGLForm form;
        form.show();
        fillNewSet(form, dialogs);
        auto *industry = child<QComboBox>(form, "cbAcctTempDesc");
        auto *browse = child<QPushButton>(form, "btnBrowseTemplate");
        auto *types = child<QPushButton>(form, "btnAcctTypes");
        QVERIFY(!browse->isHidden());
        QVERIFY(types->isHidden());
        industry->setCurrentIndex(industry->findData(CustomChartTemplate));
        QVERIFY(browse->isHidden());
        QVERIFY(!types->isHidden());

        dialogs.answer(mrOk);
        child<QPushButton>(form, "btnOk")->click();
        QCOMPARE(dialogs.shown.last().text, QStringLiteral("必须指定账套行业性质。"));
        QCOMPARE(currentPage(form), 0);

        int offered = 0;
        dialogs.answerWith([&](QDialog &dialog) {
            offered = static_cast<TDefAccttypeForm &>(dialog).DataSet->recordCount();
            child<QPushButton>(dialog, "btnOk")->click();
            return dialog.result();
        });
        types->click();
        QVERIFY(offered > 0);
        QVERIFY(form.Config().ChosenAccountTypes());
        QCOMPARE(form.Config().ChosenAccountTypes()->recordCount(), offered);
        QVERIFY(!form.Config().CheckAccountTypes());
    }

    // One telephone box, three numbers; the cashier start needs a general-ledger start.
    void phonesAndCashierStart()
    {
        ScriptedDialogs dialogs;
        TStartGLForm form;
        form.show();
        auto *phone = child<QLineEdit>(form, "edPhone");
        type(phone, QStringLiteral("010-1"));
        child<QToolButton>(form, "sbPhone2")->click();
        QCOMPARE(phone->text(), QString());
        type(phone, QStringLiteral("010-2"));
        child<QToolButton>(form, "sbPhone1")->click();
        QCOMPARE(phone->text(), QStringLiteral("010-1"));
        ClientDataSet &address = form.Config().Address();
        QCOMPARE(address.asString(QStringLiteral("AddPhone")), QStringLiteral("010-1"));
        QCOMPARE(address.asString(QStringLiteral("AddPhone2")), QStringLiteral("010-2"));
        QCOMPARE(address.asString(QStringLiteral("AddPhone3")), QString());

        dialogs.answer(mrOk);
        child<QPushButton>(form, "btnCashierStart")->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("必须首先选择财务系统启用会计期间。"));
        QCOMPARE(form.Config().Info().asInteger(QStringLiteral("CashierStartPeriodID")), 0);
    }

    // A typed account code must name a leaf account of the set.
    void typedAccountCode()
    {
        saveNewSet(false);
        auto leaf = open("LX_BMListAccounting", "TOP 1 WHERE IsNode = 1 ORDER BY AcctCode");
        QVERIFY(!leaf->isEmpty());
        ScriptedDialogs dialogs;
        TStartGLForm form;
        form.show();
        auto *code = child<QLineEdit>(form, "edSalDealAcctCode");
        ClientDataSet &sales = form.Config().Sales();
        dialogs.answer(mrOk);
        type(code, QStringLiteral("9Z9Z"));
        emit code->editingFinished();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("输入科目代码无效。"));
        QCOMPARE(code->text(), QString());
        QVERIFY(sales.isNull(QStringLiteral("DealAcctID")));

        type(code, leaf->asString(QStringLiteral("AcctCode")));
        emit code->editingFinished();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(sales.asInteger(QStringLiteral("DealAcctID")),
                 leaf->asInteger(QStringLiteral("AcctID")));
        QCOMPARE(child<QLineEdit>(form, "edSalDealAcctName")->text(),
                 leaf->asString(QStringLiteral("AcctName")));
    }
};

QTEST_MAIN(TestStartGLForm)
#include "tst_startglform.moc"
