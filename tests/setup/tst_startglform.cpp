// The configuration window driven by its component names over a real account set: a new
// set filled in, refused, saved with its questions; reopened with what the save fixed; and
// a read-only user. The rules themselves are tested on AccountSetConfig.
#include "AccountTemplate.h"
#include "ChartTemplateFile.h"
#include "ChartTemplateStore.h"
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "FiscalCalendar.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "SelAccountingForm.h"
#include "StartGLForm.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace vexa;
using namespace vexa::gl;

namespace {

// Typed text, arriving as an input method commits it.
void type(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty())
        edit->clear();
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(edit, &commit);
    emit edit->editingFinished();
}

// Picks the row of the period (or account) picker, by OK or by a double click.
ScriptedDialogs::Answer pickRow(int row, bool doubleClick = false)
{
    return [=](QDialog &picker) {
        auto *grid = child<QTableView>(picker, "grdData");
        grid->setCurrentIndex(grid->model()->index(row, 0));
        if (doubleClick)
            emit grid->doubleClicked(grid->currentIndex());
        else
            child<QPushButton>(picker, "btnOk")->click();
        return picker.result();
    };
}

// A company's own chart (dotted codes), imported into the set beside the shipped templates.
void importChart(server::ServerConnection &connection, const QString &code)
{
    QFile file(qEnvironmentVariable("VEXA_TEST_DATA") + QStringLiteral("/charts/dotted.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    server::ChartReading read = server::readChartCsv(file.readAll());
    read.chart.code = code;
    read.chart.name = QStringLiteral("本公司科目表");
    QVERIFY(read.problems.isEmpty());
    QVERIFY(server::completeChart(read.chart).isEmpty());
    server::ChartTemplateStore(connection).store(read.chart, false);
}

} // namespace

class TestStartGLForm : public QObject
{
    Q_OBJECT

private slots:
    void smoke()
    {
        const vexa::test::TemporarySettings settings;
        const vexa::test::PluginSession session;
        vexa::test::TestHost &host = *session.host;
        host.values.insert(QStringLiteral("DATE"),
                           double(QDate(1899, 12, 30).daysTo(QDate(2027, 1, 15))));
        ScriptedDialogs dialogs;
        const auto ed = [](QObject &form, const char *name) {
            return child<QLineEdit>(form, QLatin1String(name));
        };
        const auto click = [](QObject &form, const char *name) {
            child<QAbstractButton>(form, QLatin1String(name))->click();
        };
        const auto lastShown = [&] { return dialogs.shown.constLast().text; };
        importChart(*host.connection, QStringLiteral("B01000"));

        auto form = std::make_unique<TStartGLForm>();
        form->show();
        auto *pages = child<QTabWidget>(*form, "pcMain");
        pages->setCurrentIndex(7);
        dialogs.answer(mrOk);
        click(*form, "btnOk");
        QCOMPARE(lastShown(), QStringLiteral("必须输入公司名称。"));
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(form->focusWidget(), ed(*form, "edUseOrg"));
        type(ed(*form, "edUseOrg"), QStringLiteral("测试有限公司"));
        dialogs.answer(mrOk);
        click(*form, "btnCashierStart");
        QCOMPARE(lastShown(), QStringLiteral("必须首先选择财务系统启用会计期间。"));

        // Periods through the period dialog; the years in the tree choose the grid's year.
        dialogs.answer(1);
        click(*form, "btnSetPeriods");
        auto *years = child<QTreeWidget>(*form, "tvYears")->topLevelItem(0);
        QCOMPARE(years->childCount(), 50);
        years->treeWidget()->setCurrentItem(years->child(2));
        QCOMPARE(form->Config().Periods().asInteger("Year"), 2026);
        years->treeWidget()->setCurrentItem(years);
        QCOMPARE(years->treeWidget()->currentItem(), years->child(0));
        QCOMPARE(ed(*form, "edGLStartPeriodName")->text(), FiscalCalendar::periodName(2024, 1));

        // One telephone box for three numbers; code and symbol exclude each other.
        type(ed(*form, "edPhone"), QStringLiteral("010-1"));
        click(*form, "sbPhone2");
        type(ed(*form, "edPhone"), QStringLiteral("010-2"));
        click(*form, "sbPhone1");
        QCOMPARE(ed(*form, "edPhone")->text(), QStringLiteral("010-1"));
        QCOMPARE(form->Config().Address().asString("AddPhone2"), QStringLiteral("010-2"));
        click(*form, "chkShowCurrCode");
        click(*form, "chkShowCurrSymbol");
        QVERIFY(!child<QCheckBox>(*form, "chkShowCurrCode")->isChecked());
        child<QSpinBox>(*form, "edPartFixcolCount")->setValue(3);
        QVERIFY(!child<QWidget>(*form, "pnlPartProp3")->isHidden());
        QVERIFY(child<QWidget>(*form, "pnlPartProp4")->isHidden());
        dialogs.answer(mrOk);
        type(ed(*form, "edPZNumCaLen"), QString());
        QCOMPARE(lastShown(), QStringLiteral("必须输入凭证号填充长度。"));

        // The chart-less industry asks for account types instead of a preview.
        auto *industry = child<QComboBox>(*form, "cbAcctTempDesc");
        industry->setCurrentIndex(industry->findData(CustomChartTemplate));
        QVERIFY(child<QWidget>(*form, "btnBrowseTemplate")->isHidden());
        dialogs.answer(mrOk);
        click(*form, "btnOk");
        QCOMPARE(lastShown(), QStringLiteral("必须指定账套行业性质。"));
        dialogs.click(QStringLiteral("btnOk"));
        click(*form, "btnAcctTypes");
        QVERIFY(form->Config().ChosenAccountTypes()->recordCount() > 0);
        // The imported chart is picked like a shipped one; 科目查阅 shows its tree unsaved.
        industry->setCurrentIndex(industry->findData(QStringLiteral("B01000")));
        QStringList previewed;
        dialogs.answerWith([&](QDialog &d) {
            auto &browser = dynamic_cast<TShowTempAccountingForm &>(d);
            ClientDataSet &shown = *browser.DataSet();
            shown.locate(QStringLiteral("AcctCode"), QStringLiteral("2221.01.01"));
            previewed << QString::number(shown.recordCount()) << shown.asString("AcctName")
                      << shown.asString("Levels") << QString::number(browser.TypeTabCount());
            d.accept();
            return d.result();
        });
        click(*form, "btnBrowseTemplate");
        QCOMPARE(previewed, (QStringList{"11", "进项税额", "3", "3"}));
        QVERIFY(ProviderDataSet("LX_DMAccounting", QStringLiteral("WHERE 1=1"))->isEmpty());

        // Start periods with the picker, then every question answered Yes: saved and enabled.
        dialogs.answerWith(pickRow(2));
        click(*form, "btnGLStart");
        QCOMPARE(ed(*form, "edGLNowPeriodName")->text(), FiscalCalendar::periodName(2024, 3));
        dialogs.answer(mrOk);
        dialogs.answerWith(pickRow(1));
        click(*form, "btnCashierStart");
        QCOMPARE(ed(*form, "edCSPeriodName")->text(), FiscalCalendar::periodName(2024, 4));
        dialogs.answer(mrOk);
        dialogs.answerWith(pickRow(4, true));
        click(*form, "btnBusinessStart");
        for (int answer : {mrOk, mrOk, mrOk, mrOk, mrOk}) // the last one: "账套已成功启用！"
            dialogs.answer(answer);
        click(*form, "btnOk");
        QCOMPARE(dialogs.pending(), 0);
        QCOMPARE(lastShown(), QStringLiteral("账套已成功启用！"));
        QCOMPARE(form->result(), 1);
        QVERIFY(form->SettingsChanged());
        QCOMPARE(host.calls.count("BeginBusy"), host.calls.count("EndBusy:0"));
        auto info = ProviderDataSet("LX_SysInitInfo", QStringLiteral("WHERE 1=1"));
        QCOMPARE(info->asInteger("GLStartPeriodID"), 3);
        QCOMPARE(info->asInteger("CashierStartPeriodID"), 4);
        QVERIFY(info->asBoolean("InitialAudit"));
        QCOMPARE(info->asString("AcctTempDesc"), QStringLiteral("B01000"));
        QCOMPARE(ProviderDataSet("LX_DMAccounting", QStringLiteral("WHERE 1=1"))->recordCount(),
                 11);

        // Reopened: the fixed settings are read-only, the pickers of stored starts gone.
        form = std::make_unique<TStartGLForm>();
        form->show();
        QVERIFY(ed(*form, "edSysCur")->isReadOnly());
        QVERIFY(!child<QWidget>(*form, "cbAcctTempDesc")->isEnabled());
        QVERIFY(child<QWidget>(*form, "btnGLStart")->isHidden());
        QCOMPARE(ed(*form, "edPhone")->text(), QStringLiteral("010-1"));
        dialogs.answer(mrOk);
        child<QSpinBox>(*form, "edPartFixcolCount")->setValue(2);
        QCOMPARE(lastShown(), QStringLiteral("启用存货属性总数必须大于 3"));
        QCOMPARE(child<QSpinBox>(*form, "edPartFixcolCount")->value(), 3);
        // A typed account code must name a leaf account of the set.
        QLineEdit *code = ed(*form, "edSalDealAcctCode");
        dialogs.answer(mrOk);
        type(code, QStringLiteral("9Z9Z"));
        QCOMPARE(lastShown(), QStringLiteral("输入科目代码无效。"));
        QCOMPARE(code->text(), QString());
        auto leaf = ProviderDataSet("LX_BMListAccounting",
                                    QStringLiteral("TOP 1 WHERE IsNode = 1 ORDER BY AcctCode"));
        type(code, leaf->asString("AcctCode"));
        QCOMPARE(ed(*form, "edSalDealAcctName")->text(), leaf->asString("AcctName"));
        dialogs.answerWith(pickRow(0));
        click(*form, "btnPurDealAcct");
        QVERIFY(!ed(*form, "edPurDealAcctName")->text().isEmpty());
        dialogs.answer(mrOk);
        click(*form, "btnPartPropValues");
        dialogs.answer(QDialog::Accepted);
        click(*form, "btnDefPropValues");

        // A user without the right to change it: OK closes as Cancel, nothing asked.
        form.reset();
        host.loginAgain("clerk", "clerk");
        TStartGLForm readOnly;
        readOnly.ShowBusinessPanel(true);
        readOnly.show();
        QVERIFY(readOnly.ReadOnly());
        QVERIFY(ed(readOnly, "edUseOrg")->isReadOnly());
        QVERIFY(!child<QWidget>(readOnly, "btnSetPeriods")->isEnabled());
        const qsizetype asked = dialogs.shown.size();
        click(readOnly, "btnOk");
        QCOMPARE(readOnly.result(), 2);
        QCOMPARE(dialogs.shown.size(), asked);
        Globals() = PluginGlobals();
    }

    // 取消, Escape and closing the window threw unsaved changes away without a word.
    void closingAsksBeforeDiscarding()
    {
        const vexa::test::TemporarySettings settings;
        const vexa::test::PluginSession session;
        session.host->values.insert(QStringLiteral("DATE"),
                                    double(QDate(1899, 12, 30).daysTo(QDate(2027, 1, 15))));
        ScriptedDialogs dialogs;
        const QString question = QStringLiteral("账套参数已修改，放弃修改吗？");

        // Nothing changed: Escape closes at once.
        auto form = std::make_unique<TStartGLForm>();
        form->show();
        QTest::keyClick(form.get(), Qt::Key_Escape);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), 2);
        QCOMPARE(dialogs.shown.size(), 0);

        // A typed company name: 否 keeps the dialog open with it.
        form = std::make_unique<TStartGLForm>();
        form->show();
        auto *company = child<QLineEdit>(*form, "edUseOrg");
        type(company, QStringLiteral("测试有限公司"));
        dialogs.answer(mrCancel);
        child<QAbstractButton>(*form, "btnCancel")->click();
        QCOMPARE(dialogs.shown.constLast().text, question);
        QVERIFY(form->isVisible());
        QCOMPARE(company->text(), QStringLiteral("测试有限公司"));

        // The periods set too (the grid says 是 for an active period); 是 closes.
        dialogs.answer(1);
        child<QAbstractButton>(*form, "btnSetPeriods")->click();
        const auto *grid = child<QTableView>(*form, "grdPeriods");
        const int active = form->Config().Periods().fieldIndex("Active");
        QCOMPARE(grid->model()->index(0, active).data().toString(), QStringLiteral("是"));
        dialogs.answer(mrOk);
        form->close();
        QCOMPARE(dialogs.shown.size(), 3);
        QCOMPARE(dialogs.shown.constLast().text, question);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), 2);
        form.reset();
        Globals() = PluginGlobals();
    }
};

QTEST_MAIN(TestStartGLForm)
#include "tst_startglform.moc"
