// The module picker over the demo module catalogue, driven by its component names.
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

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;

namespace {

using vexa::test::RecordingConnection;
using vexa::test::RecordingHost;

const QString kSearchGL =
    QStringLiteral("SYS_SMModules|TOP 2000  WHERE (InnerUse = 0)  AND (MCode Like 'GL%' OR MDesc "
                   "Like '%GL%' OR SearchOne Like '%GL%' OR SearchTwo Like '%GL%' OR DllFile = "
                   "'GL')  ORDER BY MCode");

QStringList column(ClientDataSet &ds, const char *field)
{
    QStringList values;
    for (int r = 0; r < ds.recordCount(); ++r)
        values << ds.valueAt(r, ds.fieldIndex(QLatin1String(field))).toString();
    return values;
}

} // namespace

class TestSelModulesForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<RecordingHost> m_host;
    QStringList m_internal; // codes of the internal modules of the catalogue

    QStringList &requests() { return m_host->recorder.requests; }

    // Shows the picker as a caller does; script runs while it is shown.
    int showPicker(TSelModulesForm &form, const std::function<void(QDialog &)> &script)
    {
        ScriptedDialogs dialogs;
        dialogs.answerWith([&](QDialog &d) {
            script(d);
            return d.result();
        });
        return DialogService::instance().exec(form);
    }

    void search(TSelModulesForm &form, const QString &text)
    {
        QLineEdit *box = child<QLineEdit>(form, "edValue");
        box->setText(text);
        QTest::keyClick(box, Qt::Key_Return);
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<RecordingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().DataModule = &m_host->dataModule;
        const DataPacket internal = m_host->connection->request(
            QStringLiteral("SYS_SMModules"), QStringLiteral("WHERE InnerUse = 1"));
        for (const QVariantList &row : internal.rows)
            m_internal << row[indexOfField(internal.fields, QStringLiteral("MCode"))].toString();
        QVERIFY(m_internal.contains(QStringLiteral("GLKMQR")));
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

    // Shown once: the list without internal modules;
    // shown again: the same list without a request, the previous choice forgotten.
    void showLists()
    {
        TSelModulesForm form;
        auto *ds = child<ClientDataSet>(form, "cdsData");
        showPicker(form, [&](QDialog &) {});
        QCOMPARE(requests(), QStringList{QStringLiteral(
                                 "SYS_SMModules|TOP 2000  WHERE (InnerUse = 0)  ORDER BY MCode")});
        const QStringList codes = column(*ds, "MCode");
        QVERIFY(codes.size() > 100);
        for (const QString &internal : std::as_const(m_internal))
            QVERIFY2(!codes.contains(internal), qPrintable(internal));
        QStringList sorted = codes;
        sorted.sort();
        QCOMPARE(codes, sorted);

        form.SelectedValue = QStringLiteral("GLPZLR");
        QVariant seen = QStringLiteral("not shown");
        showPicker(form, [&](QDialog &) { seen = form.SelectedValue; });
        QVERIFY(seen.isNull());
        QCOMPARE(requests().size(), 1);
    }

    void searches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("mustList");
        QTest::newRow("GL") << "GL" << kSearchGL << QStringList{QStringLiteral("GLPZLR")};
        QTest::newRow("quote") << "GL'"
                               << QStringLiteral(
                                      "SYS_SMModules|TOP 2000  WHERE (InnerUse = 0)  AND (MCode "
                                      "Like 'GL''%' OR MDesc Like '%GL''%' OR SearchOne Like "
                                      "'%GL''%' OR SearchTwo Like '%GL''%' OR DllFile = 'GL'''"
                                      ")  ORDER BY MCode")
                               << QStringList();
        QTest::newRow("quote that would widen")
            << "x' OR InnerUse = 1 OR MCode = '"
            << QStringLiteral("SYS_SMModules|TOP 2000  WHERE (InnerUse = 0)  AND (MCode Like 'x'' "
                              "OR InnerUse = 1 OR MCode = ''%' OR MDesc Like '%x'' OR InnerUse = 1 "
                              "OR MCode = ''%' OR SearchOne Like '%x'' OR InnerUse = 1 OR MCode = "
                              "''%' OR SearchTwo Like '%x'' OR InnerUse = 1 OR MCode = ''%' OR "
                              "DllFile = 'x'' OR InnerUse = 1 OR MCode = ''')  ORDER BY MCode")
            << QStringList();
        QTest::newRow("description")
            << QString::fromUtf8("凭证") << QString()
            << QStringList{QStringLiteral("GLPZLR"), QStringLiteral("GLPZGL")};
        QTest::newRow("module file, internal one matched") << "SYS" << QString() << QStringList();
    }

    // Whatever is typed, internal modules never appear and every row listed matches.
    void searches()
    {
        QFETCH(QString, text);
        QFETCH(QString, command);
        QFETCH(QStringList, mustList);
        TSelModulesForm form;
        auto *ds = child<ClientDataSet>(form, "cdsData");
        showPicker(form, [&](QDialog &) {
            requests().clear();
            search(form, text);
        });
        QCOMPARE(requests().size(), 1);
        if (!command.isEmpty())
            QCOMPARE(requests().constFirst(), command);
        QVERIFY(ds->isActive());
        const QStringList codes = column(*ds, "MCode");
        for (const QString &code : mustList)
            QVERIFY2(codes.contains(code), qPrintable(code));
        for (const QString &internal : std::as_const(m_internal))
            QVERIFY2(!codes.contains(internal), qPrintable(internal));
        for (int r = 0; r < ds->recordCount(); ++r) {
            ds->setRecNo(r + 1);
            const bool matches =
                ds->asString(QStringLiteral("MCode")).startsWith(text, Qt::CaseInsensitive) ||
                ds->asString(QStringLiteral("MDesc")).contains(text, Qt::CaseInsensitive) ||
                ds->asString(QStringLiteral("SearchOne")).contains(text, Qt::CaseInsensitive) ||
                ds->asString(QStringLiteral("SearchTwo")).contains(text, Qt::CaseInsensitive) ||
                ds->asString(QStringLiteral("DllFile")) == text;
            QVERIFY2(matches, qPrintable(ds->asString(QStringLiteral("MCode"))));
        }
        auto *hint = form.findChild<QLabel *>(QStringLiteral("lbNoData"));
        QCOMPARE(!hint->isHidden(), ds->isEmpty());
    }

    void emptySearch()
    {
        TSelModulesForm form;
        auto *ds = child<ClientDataSet>(form, "cdsData");
        int allRows = 0, found = 0, rowsAfter = 0;
        QStringList sent;
        showPicker(form, [&](QDialog &) {
            allRows = ds->recordCount();
            requests().clear();
            search(form, QString()); // no user condition yet: nothing to do
            sent << QString::number(requests().size());
            search(form, QStringLiteral("GLPZ"));
            found = ds->recordCount();
            search(form, QString()); // drops the search
            rowsAfter = ds->recordCount();
            sent << requests();
        });
        QCOMPARE(sent.value(0), QStringLiteral("0"));
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent.value(2),
                 QStringLiteral("SYS_SMModules|TOP 2000  WHERE (InnerUse = 0)  ORDER BY MCode"));
        QVERIFY(found > 0 && found < allRows);
        QCOMPARE(rowsAfter, allRows);
        QVERIFY(form.UserWhere.isEmpty());
    }

    void choose_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("result");
        QTest::newRow("选择") << "btnOk" << 3 << int(QDialog::Accepted);
        QTest::newRow("double click") << "double" << 5 << int(QDialog::Accepted);
        QTest::newRow("取消") << "btnCancel" << 3 << int(vexa::gl::mrCancel);
        QTest::newRow("Escape") << "escape" << 3 << int(vexa::gl::mrCancel);
        QTest::newRow("选择 without rows") << "btnOk" << -1 << int(vexa::gl::mrCancel);
    }

    void choose()
    {
        QFETCH(QString, how);
        QFETCH(int, row);
        QFETCH(int, result);
        TSelModulesForm form;
        auto *ds = child<ClientDataSet>(form, "cdsData");
        auto *grid = child<QTableView>(form, "grdData");
        QString code;
        const int answer = showPicker(form, [&](QDialog &) {
            if (row < 0) {
                search(form, QStringLiteral("NOSUCHMODULE"));
            } else {
                grid->setCurrentIndex(grid->model()->index(row, 0));
                code = ds->asString(QStringLiteral("MCode"));
            }
            if (how == QLatin1String("double"))
                emit grid->doubleClicked(grid->currentIndex());
            else if (how == QLatin1String("escape"))
                QTest::keyClick(grid, Qt::Key_Escape);
            else
                child<QPushButton>(form, qPrintable(how))->click();
        });
        QCOMPARE(answer, result);
        if (result == QDialog::Accepted) {
            QCOMPARE(ds->recNo(), row + 1);
            QVERIFY(!code.isEmpty());
            QCOMPARE(form.SelectedValue, QVariant(code));
        } else {
            QVERIFY(form.SelectedValue.isNull());
        }
    }

    // Fault: Enter in the search box also pressed the dialog's default button, choosing a
    // row instead of searching.
    void enterOnlySearches()
    {
        TSelModulesForm form;
        bool open = false;
        const int answer = showPicker(form, [&](QDialog &d) {
            QLineEdit *box = child<QLineEdit>(form, "edValue");
            box->setFocus();
            QTest::keyClicks(box, QStringLiteral("GLPZ"));
            QTest::keyClick(box, Qt::Key_Return);
            open = d.isVisible() && d.result() == 0;
        });
        QVERIFY(open);
        QCOMPARE(answer, 0);
        QCOMPARE(requests().size(), 2);
    }

    // Fault: only Enter searched, so a code typed before clicking 选择 chose the highlighted
    // row of the list shown before.
    void typedCodeThenChosen()
    {
        TSelModulesForm form;
        const int answer = showPicker(form, [&](QDialog &d) {
            d.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&d));
            QLineEdit *box = child<QLineEdit>(form, "edValue");
            box->setFocus();
            QTest::keyClicks(box, QStringLiteral("GLPZGL"));
            QTest::mouseClick(child<QPushButton>(form, "btnOk"), Qt::LeftButton);
        });
        QCOMPARE(answer, int(QDialog::Accepted));
        QCOMPARE(form.SelectedValue, QVariant(QStringLiteral("GLPZGL")));
        QCOMPARE(requests().size(), 2);
    }

    // The find button opens the filter builder; its condition replaces the search.
    void findButton()
    {
        TSelModulesForm form;
        auto *ds = child<ClientDataSet>(form, "cdsData");
        showPicker(form, [&](QDialog &) {
            search(form, QStringLiteral("GL"));
            ScriptedDialogs builder;
            builder.answerWith([](QDialog &d) {
                if (auto *f = qobject_cast<TSetWhereForm *>(&d))
                    f->WhereText = QStringLiteral("MCode = 'SMQYZT' OR MCode = 'GLPZLR'");
                d.done(QDialog::Accepted);
                return int(QDialog::Accepted);
            });
            child<QToolButton>(form, "btnFind")->click();
        });
        QCOMPARE(form.UserWhere, QStringLiteral("MCode = 'SMQYZT' OR MCode = 'GLPZLR'"));
        QCOMPARE(requests().filter(QStringLiteral("SYS_SMModules|")).constLast(),
                 QStringLiteral("SYS_SMModules|TOP 2000  WHERE (InnerUse = 0)  AND (MCode = "
                                "'SMQYZT' OR MCode = 'GLPZLR')  ORDER BY MCode"));
        QCOMPARE(column(*ds, "MCode"), QStringList{QStringLiteral("GLPZLR")}); // SMQYZT is internal
    }
};

QTEST_MAIN(TestSelModulesForm)
#include "tst_selmodulesform.moc"
