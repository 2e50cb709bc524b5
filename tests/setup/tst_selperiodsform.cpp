// The period picker driven by its component names: a search over the server, a choice by Enter
// over periods the caller hands in, an empty list. The configuration drives it further
// (tst_startglform).
#include "ClientDataSet.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "SelPeriodsForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
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

        // Over the periods a caller hands in, Enter on the grid chooses its current row, as
        // 选择 does; on an empty list it does nothing, and 选择 then cancels.
        ClientDataSet periods;
        periods.addField(QStringLiteral("PeriodID"), FieldType::Integer);
        periods.addField(QStringLiteral("PeriodCode"), FieldType::String, 10);
        periods.createDataSet();
        for (int id : {11, 12, 13}) {
            periods.append();
            periods.setValue(QStringLiteral("PeriodID"), id);
            periods.setValue(QStringLiteral("PeriodCode"), QStringLiteral("2027%1").arg(id));
            periods.post();
        }
        lookup.SetWhere(QStringLiteral("-1=1"));
        lookup.SourceData = periods.saveToText();
        auto *grid = child<QTableView>(lookup, "grdData");
        dialogs.answerWith([&](QDialog &) {
            lookup.DataSet()->setRecNo(2);
            QTest::keyClick(grid, Qt::Key_Return);
            return lookup.result();
        });
        QCOMPARE(DialogService::instance().exec(lookup), int(QDialog::Accepted));
        QCOMPARE(lookup.SelectedValue, QVariant(12));

        bool openAfterEnter = false;
        lookup.SourceData.clear();
        dialogs.answerWith([&](QDialog &) {
            QTest::keyClick(grid, Qt::Key_Return);
            openAfterEnter = lookup.isVisible() && lookup.result() == 0;
            child<QPushButton>(lookup, "btnOk")->click();
            return lookup.result();
        });
        QCOMPARE(DialogService::instance().exec(lookup), int(mrCancel));
        QVERIFY(openAfterEnter);
        QVERIFY(lookup.SelectedValue.isNull());

        Globals() = PluginGlobals();
    }
};

QTEST_MAIN(TestSelPeriodsForm)
#include "tst_selperiodsform.moc"
