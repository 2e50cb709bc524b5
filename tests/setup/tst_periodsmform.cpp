// The period dialog driven by its component names: the year tree and grid, 13 periods, a
// refused switch, the delayed start-year change, freezing, a typed start date, a read-only
// year and the modal results. The date rules themselves are tested on FiscalCalendar.
#include "ClientDataSet.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "PeriodsMForm.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

using namespace vexa;
using namespace vexa::gl;

class TestPeriodsMForm : public QObject
{
    Q_OBJECT

private slots:
    void smoke()
    {
        // Qt warned that closeEditor got an editor not of the view when an edit was applied
        // while the view still held its editor.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("closeEditor")));
        const vexa::test::TemporarySettings settings;
        const vexa::test::PluginSession session;
        vexa::test::TestHost &host = *session.host;
        host.values.insert(QStringLiteral("DATE"),
                           double(QDate(1899, 12, 30).daysTo(QDate(2027, 1, 15))));
        ScriptedDialogs dialogs;

        TPeriodsMForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *tree = child<QTreeWidget>(form, "tvYears");
        auto *grid = child<QTableView>(form, "gdPeriods");
        auto *rb13 = child<QRadioButton>(form, "rbPeriods13");
        const auto column = [&](const char *f) { return form.Periods().fieldIndex(f); };
        const auto cell = [&](int row, const char *f, int role = Qt::EditRole) {
            return grid->model()->data(grid->model()->index(row, column(f)), role);
        };
        QTreeWidgetItem *root = tree->topLevelItem(0);
        QCOMPARE(root->child(0)->text(0), QStringLiteral("2024"));
        tree->setCurrentItem(root->child(7));
        QCOMPARE(cell(0, "PostingFrom").toDate(), QDate(2031, 1, 1));
        QCOMPARE(cell(0, "Active", Qt::DisplayRole).toString(), QStringLiteral("是"));

        rb13->setChecked(true);
        QCOMPARE(grid->model()->rowCount(), 13);
        QCOMPARE(form.YearPeriods(), 13);
        child<QRadioButton>(form, "rbPeriods12")->setChecked(true);
        // A refused switch keeps the option the table still has.
        QVERIFY(grid->model()->setData(grid->model()->index(11, column("PostingFrom")),
                                       QDate(2031, 12, 31)));
        dialogs.answer(mrOk);
        rb13->setChecked(true);
        QCOMPARE(dialogs.shown.constLast().text,
                 QStringLiteral("2031年第12期只有一天，不能再分出第13期。"));
        QVERIFY(!rb13->isChecked());
        QCOMPARE(form.YearPeriods(), 12);

        // A start-year change waits for the user to stop typing; the shown year follows.
        child<QSpinBox>(form, "edYear")->setValue(2025);
        QCOMPARE(form.StartYear(), 2024);
        QTRY_COMPARE(form.StartYear(), 2025);
        QCOMPARE(tree->currentItem()->text(0), QStringLiteral("2032"));
        emit child<QSpinBox>(form, "edYear")->editingFinished(); // unchanged: nothing moves
        QTest::qWait(400);
        QCOMPARE(form.StartYear(), 2025);

        dialogs.answer(mrCancel); // 否: the shown year only
        child<QPushButton>(form, "btnFreeze")->click();
        QCOMPARE(cell(3, "Active", Qt::DisplayRole).toString(), QStringLiteral("否"));
        emit grid->doubleClicked(grid->model()->index(3, column("No")));
        QCOMPARE(cell(3, "Active").toString(), QStringLiteral("Y"));
        dialogs.answer(mrOk);
        child<QPushButton>(form, "btnActivate")->click();

        // A start date typed into the grid's editor is taken as typed; text that is no date
        // is refused with a message.
        const auto typeDate = [&](int row, const QString &text) {
            const QModelIndex index = grid->model()->index(row, column("PostingFrom"));
            grid->setCurrentIndex(index);
            QTest::keyClick(grid, Qt::Key_F2);
            auto *editor = qobject_cast<QLineEdit *>(grid->indexWidget(index));
            QVERIFY(editor);
            QTest::keyClicks(editor, text);
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_VERIFY(!grid->indexWidget(index));
            QCoreApplication::processEvents();
        };
        typeDate(0, QStringLiteral("2031-12-26"));
        QCOMPARE(cell(0, "PostingFrom").toDate(), QDate(2031, 12, 26));
        QCOMPARE(cell(1, "PostingFrom").toDate(), QDate(2032, 1, 26));
        dialogs.answer(mrOk);
        typeDate(2, QStringLiteral("2032-13-45"));
        QVERIFY(dialogs.shown.constLast().text.contains(QStringLiteral("2032-13-45")));
        QCOMPARE(cell(2, "PostingFrom").toDate(), QDate(2032, 2, 26));
        dialogs.answer(mrOk);
        typeDate(2, QStringLiteral("2032-01-26"));
        QCOMPARE(dialogs.shown.constLast().text,
                 QStringLiteral("第3期开始日期不能早于第2期开始日期!"));
        // The editor's calendar button picks a date instead.
        grid->setCurrentIndex(grid->model()->index(5, column("PostingFrom")));
        QTest::keyClick(grid, Qt::Key_F2);
        auto *editor = qobject_cast<QLineEdit *>(grid->indexWidget(grid->currentIndex()));
        editor->findChild<QAction *>("acPickDate")->trigger();
        emit editor->findChild<QCalendarWidget *>("calPickDate")->clicked(QDate(2032, 5, 20));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(cell(5, "PostingFrom").toDate(), QDate(2032, 5, 20));
        tree->setCurrentItem(root);
        QCOMPARE(tree->currentItem(), root->child(0));

        // A year up to the newest voucher cannot be re-dated.
        tree->setCurrentItem(root->child(8));
        form.SetLastVoucherPeriodID(cell(0, "PeriodID").toInt());
        tree->setCurrentItem(root->child(9));
        tree->setCurrentItem(root->child(8));
        QVERIFY(!(grid->model()->flags(grid->model()->index(0, column("PostingFrom"))) &
                  Qt::ItemIsEditable));

        dialogs.click(QStringLiteral("btnOk"));
        QCOMPARE(DialogService::instance().exec(form), 1);
        dialogs.click(QStringLiteral("btnCancel"));
        QCOMPARE(DialogService::instance().exec(form), 2);
        Globals() = PluginGlobals();
    }
};

QTEST_MAIN(TestPeriodsMForm)
#include "tst_periodsmform.moc"
