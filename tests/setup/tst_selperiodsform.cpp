// The period picker as a lookup over the server, driven by its component names; over the
// periods the caller hands in it is driven through the configuration (tst_startglform).
#include "ClientDataSet.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "SelPeriodsForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QLineEdit>
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

        Globals() = PluginGlobals();
    }
};

QTEST_MAIN(TestSelPeriodsForm)
#include "tst_selperiodsform.moc"
