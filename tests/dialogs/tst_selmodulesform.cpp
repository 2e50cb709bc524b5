// The module picker's search condition, and one walk through the picker over the demo
// module catalogue.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "RemoteConnection.h"
#include "SelModulesForm.h"
#include "SetWhereForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;
using S = QString;

class TestSelModulesForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<vexa::test::RecordingHost> m_host;

    QStringList &requests() { return m_host->recorder.requests; }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<vexa::test::RecordingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().DataModule = &m_host->dataModule;
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // Code at the start, description and search texts anywhere, module file exactly; a quote
    // stays part of the text.
    void searchCondition_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("condition");
        QTest::newRow("GL") << "GL"
                            << "MCode Like 'GL%' OR MDesc Like '%GL%' OR SearchOne Like '%GL%' "
                               "OR SearchTwo Like '%GL%' OR DllFile = 'GL'";
        QTest::newRow("quote that would widen")
            << "x' OR InnerUse = 1 OR '"
            << "MCode Like 'x'' OR InnerUse = 1 OR ''%' OR MDesc Like '%x'' OR InnerUse = 1 OR "
               "''%' OR SearchOne Like '%x'' OR InnerUse = 1 OR ''%' OR SearchTwo Like '%x'' OR "
               "InnerUse = 1 OR ''%' OR DllFile = 'x'' OR InnerUse = 1 OR '''";
    }

    void searchCondition()
    {
        QFETCH(QString, text);
        QFETCH(QString, condition);
        QCOMPARE(TSelModulesForm::SearchCondition(text), condition);
    }

    // Shown: the catalogue without internal modules. Enter in the search box searches and
    // does not close; the find button's condition replaces the search; a code typed and then
    // 选择 is searched first, then chosen. Shown again: no request, the choice forgotten, and
    // a double click chooses; so does Enter on the grid, which does nothing on an empty list.
    void smoke()
    {
        Settings() = ClientSettings();
        TSelModulesForm form;
        auto *ds = child<ClientDataSet>(form, S("cdsData"));
        auto *box = child<QLineEdit>(form, S("edValue"));
        const QString listed = S("SYS_SMModules|TOP 2000  WHERE (InnerUse = 0) %1 ORDER BY MCode");
        ScriptedDialogs dialogs;
        bool openAfterEnter = false;
        const auto walk = [&](QDialog &d) {
            QVERIFY(ds->recordCount() > 100);
            QVERIFY(!ds->locate(S("MCode"), S("GLKMQR"))); // internal
            d.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&d));
            box->setFocus();
            QTest::keyClicks(box, S("GL"));
            QTest::keyClick(box, Qt::Key_Return);
            openAfterEnter = d.isVisible() && d.result() == 0;

            dialogs.answerWith([](QDialog &builder) {
                if (auto *where = qobject_cast<TSetWhereForm *>(&builder))
                    where->WhereText = S("MCode = 'SMQYZT' OR MCode = 'GLPZLR'");
                builder.done(QDialog::Accepted);
                return int(QDialog::Accepted);
            });
            child<QToolButton>(form, S("btnFind"))->click();
            QCOMPARE(ds->recordCount(), 1); // SMQYZT is internal

            box->setFocus();
            box->selectAll();
            QTest::keyClicks(box, S("GLPZGL"));
            QTest::mouseClick(child<QPushButton>(form, S("btnOk")), Qt::LeftButton);
        };
        dialogs.answerWith([&](QDialog &d) {
            walk(d);
            return d.result();
        });
        QCOMPARE(DialogService::instance().exec(form), int(QDialog::Accepted));
        QVERIFY(openAfterEnter);
        QCOMPARE(form.SelectedValue, QVariant(S("GLPZGL")));
        QCOMPARE(requests().filter(S("SYS_SMModules|")),
                 (QStringList{
                     listed.arg(QString()),
                     listed.arg(S(" AND (") + TSelModulesForm::SearchCondition(S("GL")) + S(") ")),
                     listed.arg(S(" AND (MCode = 'SMQYZT' OR MCode = 'GLPZLR') ")),
                     listed.arg(S(" AND (") + TSelModulesForm::SearchCondition(S("GLPZGL")) +
                                S(") "))}));

        requests().clear();
        QVariant seen = S("not shown");
        dialogs.answerWith([&](QDialog &d) {
            seen = form.SelectedValue;
            auto *grid = child<QTableView>(form, S("grdData"));
            emit grid->doubleClicked(grid->currentIndex());
            return d.result();
        });
        QCOMPARE(DialogService::instance().exec(form), int(QDialog::Accepted));
        QVERIFY(seen.isNull());
        QCOMPARE(requests(), QStringList());
        QCOMPARE(form.SelectedValue, QVariant(S("GLPZGL")));

        // The search dropped: Enter on the grid chooses its current row.
        auto *grid = child<QTableView>(form, S("grdData"));
        dialogs.answerWith([&](QDialog &d) {
            box->clear();
            QTest::keyClick(box, Qt::Key_Return);
            ds->locate(S("MCode"), S("GLPZLR"));
            QTest::keyClick(grid, Qt::Key_Enter, Qt::KeypadModifier);
            return d.result();
        });
        QCOMPARE(DialogService::instance().exec(form), int(QDialog::Accepted));
        QCOMPARE(requests().value(0), listed.arg(QString()));
        QCOMPARE(form.SelectedValue, QVariant(S("GLPZLR")));

        // A search that matches nothing: Enter on the grid does nothing, 选择 cancels.
        int rows = -1;
        bool openAfterGridEnter = false;
        dialogs.answerWith([&](QDialog &d) {
            box->setText(S("NOSUCHMODULE"));
            QTest::keyClick(box, Qt::Key_Return);
            rows = ds->recordCount();
            QTest::keyClick(grid, Qt::Key_Return);
            openAfterGridEnter = d.isVisible() && d.result() == 0;
            child<QPushButton>(form, S("btnOk"))->click();
            return d.result();
        });
        QCOMPARE(DialogService::instance().exec(form), int(mrCancel));
        QCOMPARE(rows, 0);
        QVERIFY(openAfterGridEnter);
        QVERIFY(form.SelectedValue.isNull());
    }
};

QTEST_MAIN(TestSelModulesForm)
#include "tst_selmodulesform.moc"
