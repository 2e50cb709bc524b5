// The period picker driven by its component names: as a lookup over the server, and over
// the periods the caller hands in, as the configuration uses it.
#include "ClientDataSet.h"
#include "FiscalCalendar.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "SelPeriodsForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

class TestSelPeriodsForm : public QObject
{
    Q_OBJECT

private slots:
    void smoke()
    {
        // A quote typed into the search stays inside the literal.
        QCOMPARE(TSelPeriodsForm::SearchCondition(QStringLiteral("24'")),
                 QStringLiteral("PeriodCode Like '24''%' OR PeriodName Like '%24''%'"));
        const vexa::test::TemporarySettings settings;
        vexa::test::RecordingHost host;
        Globals().Host = &host;
        Globals().Connection = &host.recorder;
        ScriptedDialogs dialogs;

        TSelPeriodsForm lookup;
        dialogs.answerWith([&](QDialog &) {
            auto *box = child<QLineEdit>(lookup, "edtSearch");
            box->setText(QStringLiteral("2024"));
            QTest::keyClick(box, Qt::Key_Return);
            return lookup.result();
        });
        DialogService::instance().exec(lookup);
        QVERIFY(
            host.recorder.requests.constLast().contains(TSelPeriodsForm::SearchCondition("2024")));

        // Over the caller's periods, filtered as the cashier's start is: from period 13 on.
        ClientDataSet periods;
        periods.setData(vexa::test::GeneratedPeriods());
        TSelPeriodsForm picker;
        picker.SetWhere("-1=1");
        picker.DataSet()->setFilter("PeriodID >= 202501");
        picker.DataSet()->setFiltered(true);
        picker.DataSet()->setIndexFieldNames("Year;No");
        picker.SourceData = periods.saveToText();
        auto *grid = child<QTableView>(picker, "grdData");
        int rows = 0;
        dialogs.answerWith([&](QDialog &) {
            rows = grid->model()->rowCount();
            grid->setCurrentIndex(grid->model()->index(2, 0));
            emit grid->doubleClicked(grid->currentIndex());
            return picker.result();
        });
        QCOMPARE(DialogService::instance().exec(picker), int(QDialog::Accepted));
        QCOMPARE(rows, 600 - 12);
        QVERIFY(child<QLineEdit>(picker, "edtSearch")->isHidden());
        QCOMPARE(picker.SelectedValue, QVariant(202503));
        QCOMPARE(picker.DataSet()->asString("PeriodName"), FiscalCalendar::periodName(2025, 3));
        dialogs.click(QStringLiteral("btnCancel"));
        QCOMPARE(DialogService::instance().exec(picker), int(mrCancel));
        Globals() = PluginGlobals();
    }
};

QTEST_MAIN(TestSelPeriodsForm)
#include "tst_selperiodsform.moc"
