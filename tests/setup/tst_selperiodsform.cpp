// The period picker: as a lookup over the server, and over periods the caller hands in.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "FiscalCalendar.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "SelPeriodsForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {

using vexa::test::RecordingHost;

const QString kProvider = QStringLiteral("LX_FINPostingPeriods|");

// The saved copy of count periods numbered 1, 2, ... in calendar order; every
// seventh period is frozen.
QString periodsText(int count)
{
    ClientDataSet ds;
    ds.setFieldDefs(FiscalCalendar::periodFields());
    ds.createDataSet();
    FiscalCalendar(ds).generate(2026);
    ds.setFiltered(false);
    ds.setIndexFieldNames(QStringLiteral("Year;No"));
    int id = 0;
    for (ds.first(); !ds.eof(); ds.next()) {
        ds.edit();
        ds.setValue(QStringLiteral("PeriodID"), ++id);
        ds.setValue(QStringLiteral("Active"), QLatin1String(id % 7 == 0 ? "N" : "Y"));
        ds.post();
    }
    while (ds.recordCount() > count) {
        ds.last();
        ds.deleteRecord();
    }
    ds.mergeChangeLog();
    return ds.saveToText();
}

} // namespace

class TestSelPeriodsForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<RecordingHost> m_host;

    QStringList &requests() { return m_host->recorder.requests; }

    int showPicker(TSelPeriodsForm &form, const std::function<void(QDialog &)> &script)
    {
        ScriptedDialogs dialogs;
        dialogs.answerWith([&](QDialog &d) {
            script(d);
            return d.result();
        });
        return DialogService::instance().exec(form);
    }

    void search(TSelPeriodsForm &form, const QString &text)
    {
        QLineEdit *box = child<QLineEdit>(form, "edtSearch");
        box->setText(text);
        QTest::keyClick(box, Qt::Key_Return);
    }

    // Set up as the account-set configuration sets it for the cashier's start period.
    void useSourceData(TSelPeriodsForm &form, const QString &text, int glNowPeriodID)
    {
        form.SetWhere(QStringLiteral("-1=1"));
        form.DataSet()->setFilter(QStringLiteral("PeriodID >= ") + QString::number(glNowPeriodID));
        form.DataSet()->setFiltered(true);
        form.DataSet()->setIndexFieldNames(QStringLiteral("Year;No"));
        form.SourceData = text;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<RecordingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().DataModule = &m_host->dataModule;
    }

    void init()
    {
        Settings() = ClientSettings();
        requests().clear();
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void components()
    {
        TSelPeriodsForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("从清单选择"));
        QCOMPARE(child<QLabel>(form, "lbTitle")->text(), QStringLiteral(" 会计期间"));
        QCOMPARE(child<QLabel>(form, "lbSearch")->text(), QStringLiteral("查找 - "));
        QCOMPARE(child<QPushButton>(form, "btnOk")->text(), QStringLiteral("选择"));
        QCOMPARE(child<QPushButton>(form, "btnCancel")->text(), QStringLiteral("取消"));
        QCOMPARE(form.DataSet()->providerName(), QStringLiteral("LX_FINPostingPeriods"));
        QCOMPARE(form.KeyFieldNames, QStringLiteral("PeriodID"));
        QVERIFY(requests().isEmpty()); // nothing is read before the picker is shown
    }

    void searches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("command");
        QTest::newRow("year") << "2024"
                              << "TOP 2000   WHERE (PeriodCode Like '2024%' OR PeriodName Like "
                                 "'%2024%')";
        QTest::newRow("quote doubled")
            << "24' OR 1=1 OR PeriodCode = '"
            << "TOP 2000   WHERE (PeriodCode Like '24'' OR 1=1 OR PeriodCode = ''%' OR PeriodName "
               "Like '%24'' OR 1=1 OR PeriodCode = ''%')";
    }

    void searches()
    {
        QFETCH(QString, text);
        QFETCH(QString, command);
        TSelPeriodsForm form;
        bool searchShown = false;
        showPicker(form, [&](QDialog &) {
            searchShown = child<QLineEdit>(form, "edtSearch")->isVisibleTo(&form);
            requests().clear();
            search(form, text);
        });
        QVERIFY(searchShown);
        QCOMPARE(requests(), QStringList{kProvider + command});
        QVERIFY(form.DataSet()->isActive());
    }

    // Typed text is searched when the user presses Enter (once) or leaves the box.
    void searchOnEnterOrLeaving()
    {
        TSelPeriodsForm form;
        QStringList sent;
        showPicker(form, [&](QDialog &) {
            QLineEdit *box = child<QLineEdit>(form, "edtSearch");
            requests().clear();
            QTest::keyClicks(box, QStringLiteral("2025"));
            QTest::keyClick(box, Qt::Key_Return);
            sent << QString::number(requests().size());
            box->clear();
            QTest::keyClicks(box, QStringLiteral("2026"));
            emit box->editingFinished(); // focus moved on
            sent << requests();
        });
        QCOMPARE(sent.value(0), QStringLiteral("1"));
        QCOMPARE(sent.size(), 3);
        QVERIFY(sent.value(2).contains(QStringLiteral("'2026%'")));
    }

    // An empty box queries only to drop a search made before.
    void emptySearch()
    {
        TSelPeriodsForm form;
        QStringList sent;
        showPicker(form, [&](QDialog &) {
            requests().clear();
            search(form, QString());
            sent << QString::number(requests().size());
            search(form, QStringLiteral("2024"));
            search(form, QString());
            sent << requests();
        });
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent.value(0), QStringLiteral("0"));
        QCOMPARE(sent.value(2), kProvider + QStringLiteral("TOP 2000"));
        QVERIFY(form.UserWhere.isEmpty());
    }

    // 600 periods, the cashier's choice from the general ledger's current period 13 on.
    void sourceData()
    {
        TSelPeriodsForm form;
        useSourceData(form, periodsText(600), 13);
        form.SelectedValue = 99;
        auto *grid = child<QTableView>(form, "grdData");
        QVariant firstID, seen = QStringLiteral("not shown");
        int rows = 0;
        bool searchShown = true, hintShown = true;
        QStringList captions;
        QString activeText, frozenText;
        showPicker(form, [&](QDialog &) {
            seen = form.SelectedValue;
            searchShown = child<QLineEdit>(form, "edtSearch")->isVisibleTo(&form) ||
                          child<QLabel>(form, "lbSearch")->isVisibleTo(&form);
            hintShown = form.NoDataHint()->isVisibleTo(&form);
            rows = grid->model()->rowCount();
            firstID = form.DataSet()->value(QStringLiteral("PeriodID"));
            const QHeaderView *header = grid->horizontalHeader();
            for (int v = 0; v < header->count(); ++v) {
                const int c = header->logicalIndex(v);
                if (!grid->isColumnHidden(c))
                    captions << grid->model()->headerData(c, Qt::Horizontal).toString();
            }
            const int active = form.DataSet()->fieldIndex(QStringLiteral("Active"));
            const auto shown = [&](int row) {
                const QModelIndex index = grid->model()->index(row, active);
                auto *delegate =
                    qobject_cast<QStyledItemDelegate *>(grid->itemDelegateForIndex(index));
                return delegate->displayText(index.data(), QLocale());
            };
            activeText = shown(0); // period 13
            frozenText = shown(1); // period 14
            grid->setCurrentIndex(grid->model()->index(2, 0));
            child<QPushButton>(form, "btnOk")->click();
        });
        QVERIFY(seen.isNull());
        QVERIFY(!searchShown);
        QVERIFY(!hintShown);
        // The server is asked once, under the caller's condition that matches nothing.
        QCOMPARE(requests(), QStringList{kProvider + QStringLiteral("TOP 2000  WHERE (-1=1)")});
        QCOMPARE(firstID, QVariant(13));
        QCOMPARE(rows, 600 - 12);
        QCOMPARE(captions, (QStringList{"期间代码", "期间名称", "期间号", "记账开始日期",
                                        "记账结束日期", "激活", "财务结账", "出纳结账"}));
        QCOMPARE(activeText, QStringLiteral("是"));
        QCOMPARE(frozenText, QStringLiteral("否"));
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.SelectedValue, QVariant(15));
        QCOMPARE(form.DataSet()->value(QStringLiteral("PeriodID")), QVariant(15));
        QCOMPARE(form.DataSet()->asString(QStringLiteral("PeriodName")),
                 FiscalCalendar::periodName(2024, 3));
    }

    void choose_data()
    {
        QTest::addColumn<int>("periods");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::addColumn<QVariant>("chosen");
        QTest::newRow("选择") << 24 << "btnOk" << int(QDialog::Accepted) << QVariant(14);
        QTest::newRow("double click") << 24 << "double" << int(QDialog::Accepted) << QVariant(14);
        QTest::newRow("取消") << 24 << "btnCancel" << int(vexa::gl::mrCancel) << QVariant();
        QTest::newRow("选择 without rows")
            << 12 << "btnOk" << int(vexa::gl::mrCancel) << QVariant();
    }

    // The second row from period 13 on; with 12 periods nothing is left to choose.
    void choose()
    {
        QFETCH(int, periods);
        QFETCH(QString, how);
        QFETCH(int, result);
        QFETCH(QVariant, chosen);
        TSelPeriodsForm form;
        useSourceData(form, periodsText(periods), 13);
        auto *grid = child<QTableView>(form, "grdData");
        bool hintShown = false;
        const int answer = showPicker(form, [&](QDialog &) {
            hintShown = form.NoDataHint()->isVisibleTo(&form);
            if (grid->model()->rowCount() > 1)
                grid->setCurrentIndex(grid->model()->index(1, 0));
            if (how == QLatin1String("double"))
                emit grid->doubleClicked(grid->currentIndex());
            else
                child<QPushButton>(form, qPrintable(how))->click();
        });
        QCOMPARE(answer, result);
        QCOMPARE(hintShown, periods <= 12);
        QCOMPARE(form.SelectedValue, chosen);
    }
};

QTEST_MAIN(TestSelPeriodsForm)
#include "tst_selperiodsform.moc"
