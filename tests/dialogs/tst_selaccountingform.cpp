// The account picker and the template-account browser: the tab and display rules without a
// window, then both dialogs over the chart of the enterprise template A01000, driven by their
// component names.
#include "AccountTabs.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataPacket.h"
#include "MessageDialogs.h"
#include "SelAccountingForm.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TemplateChart.h"
#include "support/TestSupport.h"

#include <QBrush>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;
using namespace vexa::test;

namespace {

const QString kAccounts = QStringLiteral("LX_BMListAccounting|");
const QString kTypes = QStringLiteral("LX_DMAccttype|WHERE 1=1 ORDER BY AcctType");
const QString kIndent = QString(1, QChar(0x3000));

// The grid cell of an account's field.
QModelIndex cell(TAccountListForm &form, const char *code, const char *field)
{
    auto *grid = child<QTableView>(form, QStringLiteral("grdData"));
    ClientDataSet *ds = form.DataSet();
    for (int r = 0; r < ds->recordCount(); ++r)
        if (ds->valueAt(r, ds->fieldIndex(QStringLiteral("AcctCode"))).toString() ==
            QLatin1String(code))
            return grid->model()->index(r, ColumnOf(grid, QLatin1String(field)));
    return {};
}

// The account types listed, each once.
QString typesListed(ClientDataSet &ds)
{
    QStringList types;
    for (int r = 0; r < ds.recordCount(); ++r)
        types << ds.valueAt(r, ds.fieldIndex(QStringLiteral("AcctType"))).toString();
    types.removeDuplicates();
    return types.join(u',');
}

bool columnShown(QTableView *grid, const char *field)
{
    const int c = ColumnOf(grid, QLatin1String(field));
    return c >= 0 && !grid->isColumnHidden(c);
}

} // namespace

class TestSelAccountingForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    PluginSession<RecordingHost> m_session;
    TemplateChart m_chart;

    QStringList &requests() { return m_session->recorder.requests; }
    std::unique_ptr<QSettings> clientKey() { return OpenRegistryKey(Session().RegistryPath); }
    int countAccounts(const QString &where)
    {
        return int(m_session->connection->request(QStringLiteral("LX_BMListAccounting"), where)
                       .rows.size());
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        Session().RegistryPath = m_session->values.value(QStringLiteral("REGPATH")).toString();
        auto &c = *m_session->connection;
        m_chart = templateChart(c);
        // What the template lacks is added to the copy: a currency, a control account,
        // auxiliary items and more than eight account types.
        const QHash<QString, QVariantMap> changes = {
            {"1001", {{"CurrCode", "RMB"}, {"ACItemDesc", "无辅助核算项"}}},
            {"1122", {{"IsControl", true}, {"ACItemDesc", "客户"}}}};
        insertRows(c, QStringLiteral("LX_DMAccounting"), readDataPacket(m_chart.accounts),
                   [&](QVariantMap &row) {
                       row.insert(changes.value(row.value(QStringLiteral("AcctCode")).toString()));
                   });
        DataPacket types = readDataPacket(m_chart.types);
        for (int t = 7; t <= 9; ++t) {
            QVariantList row(types.fields.size());
            row[indexOfField(types.fields, QStringLiteral("AcctType"))] = t;
            row[indexOfField(types.fields, QStringLiteral("AcctTypeDesc"))] =
                QStringLiteral("类别%1").arg(t);
            types.rows.push_back(row);
        }
        insertRows(c, QStringLiteral("LX_DMAccttype"), types);
    }

    void init()
    {
        Settings() = ClientSettings();
        requests().clear();
    }

    void cleanupTestCase() { Session() = SessionGlobals(); }

    // The tab and display rules without a window.
    void rules()
    {
        QStringList tabs;
        for (const char *name : {"lb3", "imgClose8", "lb0", "lb9", "lbTitle", "imgClose", "grd"})
            tabs << QString::number(TAccountListForm::TabNumberOf(QLatin1String(name)));
        QCOMPARE(tabs.join(u' '), QStringLiteral("3 8 0 -1 -1 -1 -1"));
        // Type rows past the eighth get no tab; a hidden or the current tab is not selected.
        QCOMPARE(QList<int>({AccountTabs::TabOfTypeRow(0), AccountTabs::TabOfTypeRow(1),
                             AccountTabs::TabOfTypeRow(8), AccountTabs::TabOfTypeRow(9)}),
                 QList<int>({-1, 1, 8, -1}));
        QVERIFY(AccountTabs::Selectable(0, 1, true) && AccountTabs::Selectable(8, 0, true));
        QVERIFY(!AccountTabs::Selectable(3, 3, true) && !AccountTabs::Selectable(3, 1, false));
        QVERIFY(!AccountTabs::Selectable(9, 0, true) && !AccountTabs::Selectable(-1, 0, true));
        QCOMPARE(AccountTabs::Filter(0) + AccountTabs::Filter(7), QStringLiteral("AcctType = '7'"));
        QVERIFY(AccountTabs::KeepsAccount(1001, 3));
        QVERIFY(!AccountTabs::KeepsAccount(1001, 0) && !AccountTabs::KeepsAccount(0, 3));
        QCOMPARE(AccountTabs::Caption(QStringLiteral("资产"), 2), QStringLiteral("资产(&2)"));
        QCOMPARE(QStringList({AccountTabs::CheckBoxCondition(false, false),
                              AccountTabs::CheckBoxCondition(true, false),
                              AccountTabs::CheckBoxCondition(true, true),
                              AccountTabs::CheckBoxCondition(false, true)}),
                 QStringList({"Frozen = 0", "IsNode = 1 AND Frozen = 0", "IsNode = 1", ""}));

        // field|value|levels|indent → the text shown.
        QStringList shown;
        for (const char *row :
             {"AcctName|进项税额|3|1", "acctname|现金|1|1", "AcctName|进项税额|3|0", "DC|D|1|0",
              "DC|C|1|0", "DC|X|1|0", "CurrName||1|0", "CurrName|人民币|1|0",
              "ACItemDesc|无辅助核算项|1|0", "ACItemDesc|客户|1|0"}) {
            const QStringList p = QString::fromUtf8(row).split(u'|');
            shown << AccountDisplay::Text(p[0], p[1], p[2].toInt(), p[3] == u"1").toString();
        }
        QCOMPARE(shown.join(u','),
                 kIndent + kIndent + "进项税额,现金,进项税额,借,贷,X,多货币,人民币,,客户");
        // Parents navy, lighter by 20 a level down to the fifth; leaf control accounts green.
        const QColor navy(0, 0, 128);
        QList<int> lift;
        for (int level = 1; level <= 7; ++level) {
            const QColor c = AccountDisplay::Colour(level, false, level == 1);
            QCOMPARE(c.hslHue(), navy.hslHue());
            lift << c.lightness() - navy.lightness();
        }
        QCOMPARE(lift, (QList<int>{0, 20, 40, 60, 80, 80, 80}));
        QCOMPARE(AccountDisplay::Colour(1, false, false), navy);
        QCOMPARE(AccountDisplay::Colour(2, true, true), QColor(0, 128, 0));
        QVERIFY(!AccountDisplay::Colour(2, true, false).isValid());
    }

    // Nine account types: eight tabs made with the picker. Each showing reads the accounts
    // under the check boxes' condition, which replaces the filter builder's; the full name
    // takes the indented name's place while only leaf accounts are listed. A tab filters the
    // rows read without asking the server, keeping the account when it is of that type. A
    // parent account is refused while LeafOnly holds; every way out but a pick cancels. Enter
    // on the grid picks as 选择 does, refusal included, and does nothing on an empty list.
    void picker()
    {
        QStringList seen;
        const auto idOf = [&](const char *code) {
            return packetValue(
                m_session->connection->request(QStringLiteral("LX_BMListAccounting"),
                                               QStringLiteral("WHERE AcctCode = '%1'").arg(code)),
                0, "AcctID");
        };
        {
            TSelAccountingForm form;
            QCOMPARE(requests(), QStringList{kTypes});
            QCOMPARE(form.TypeTabCount(), 8);
            QCOMPARE(child<QLabel>(form, QStringLiteral("lb8"))->text(),
                     QStringLiteral("类别8(&8)"));
            ClientDataSet *ds = form.DataSet();
            auto *grid = child<QTableView>(form, QStringLiteral("grdData"));
            auto *hint = child<QLabel>(form, QStringLiteral("lbNoData"));
            const auto step = [&] {
                seen << QStringLiteral("%1 %2 %3 %4")
                            .arg(form.CurrentTab)
                            .arg(ds->isEmpty() ? QString()
                                               : ds->asString(QStringLiteral("AcctCode")),
                                 typesListed(*ds), QLatin1String(hint->isHidden() ? "" : "hint"));
            };
            const auto act = [&](QDialog &d, const char *code, const QString &how) {
                if (*code)
                    ds->locate(QStringLiteral("AcctCode"), QLatin1String(code));
                const QModelIndex at = grid->model()->index(std::max(ds->recNo() - 1, 0), 1);
                grid->scrollTo(at);
                const QPoint point = grid->visualRect(at).center();
                if (how == u"double") {
                    // The events of a real double click: press, release, double click, release.
                    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, point);
                    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, point);
                    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, point);
                } else if (how == u"background") {
                    QTest::mouseDClick(&d, Qt::LeftButton, {}, QPoint(2, 2));
                } else if (how == u"escape") {
                    QTest::keyClick(grid, Qt::Key_Escape);
                } else if (how == u"enter") {
                    QTest::keyClick(grid, Qt::Key_Return);
                } else {
                    child<QPushButton>(d, how)->click();
                }
            };
            ScriptedDialogs dialogs;
            const auto closeBy = [&](const char *code, const char *how) {
                dialogs.answerWith([&, code, how](QDialog &d) {
                    act(d, code, QLatin1String(how));
                    return d.result();
                });
                return DialogService::instance().exec(form);
            };
            dialogs.answerWith([&](QDialog &d) {
                const auto colour = [&](const char *code) {
                    return cell(form, code, "AcctCode").data(Qt::ForegroundRole);
                };
                seen << QString::number(ds->recordCount())
                     << cell(form, "22210101", "AcctName").data().toString()
                     << cell(form, "22210101", "AcctName").data(Qt::EditRole).toString()
                     << cell(form, "1001", "DC").data().toString()
                     << QString::number(cell(form, "1001", "Levels")
                                            .data(Qt::TextAlignmentRole)
                                            .value<Qt::Alignment>())
                     << colour("2211").value<QBrush>().color().name() + QLatin1Char(' ') +
                            colour("1122").value<QBrush>().color().name() + QLatin1Char(' ') +
                            QString::number(colour("1001").isValid());
                form.UserWhere = QStringLiteral("AcctCode = '1001'");
                child<QCheckBox>(form, QStringLiteral("cbShowFrozen"))->click();
                child<QCheckBox>(form, QStringLiteral("cbLeafOnly"))->click();
                seen << QString::number(ds->recordCount())
                     << QString::number(columnShown(grid, "AcctName"))
                     << cell(form, "22210101", "FullName").data().toString();
                ds->locate(QStringLiteral("AcctCode"), QStringLiteral("221101"));
                const int reads = requests().size();
                QTest::mouseClick(child<QLabel>(form, QStringLiteral("lb2")), Qt::LeftButton);
                step();
                QTest::mouseClick(child<QToolButton>(form, QStringLiteral("imgClose1")),
                                  Qt::LeftButton);
                step();
                QTest::keyClick(grid, Qt::Key_0, Qt::AltModifier);
                step();
                QTest::keyClick(grid, Qt::Key_8, Qt::AltModifier); // a type without accounts
                step();
                QTest::keyClick(grid, Qt::Key_9, Qt::AltModifier); // there is no ninth tab
                step();
                seen << QString::number(requests().size() - reads);
                // Typing searches the codes, whatever column has the focus.
                QTest::keyClick(grid, Qt::Key_0, Qt::AltModifier);
                grid->setFocus();
                QTest::keyClicks(grid, QStringLiteral("1122"));
                seen << ds->asString(QStringLiteral("AcctCode"));
                child<QCheckBox>(form, QStringLiteral("cbLeafOnly"))->click();
                dialogs.answer(mrOk); // the warning
                act(d, "2211", QStringLiteral("btnOk"));
                seen << QString::number(d.isVisible() && d.focusWidget() == grid);
                dialogs.answer(mrOk); // Enter goes the same way, refusal included
                act(d, "2211", QStringLiteral("enter"));
                seen << QString::number(d.isVisible());
                act(d, "1001", QStringLiteral("double"));
                return d.result();
            });
            QCOMPARE(DialogService::instance().exec(form), int(QDialog::Accepted));
            QCOMPARE(form.SelectedValue, idOf("1001"));
            QCOMPARE(requests().filter(kAccounts),
                     (QStringList{kAccounts + "WHERE (Frozen = 0)  ORDER BY AcctType, LevelCode",
                                  kAccounts + "WHERE 1=1 ORDER BY AcctType, LevelCode",
                                  kAccounts + "WHERE (IsNode = 1)  ORDER BY AcctType, LevelCode",
                                  kAccounts + "WHERE 1=1 ORDER BY AcctType, LevelCode"}));
            QCOMPARE(closeBy("", "btnCancel"), int(mrCancel));
            QCOMPARE(closeBy("", "escape"), int(mrCancel));
            QCOMPARE(closeBy("", "background"), int(mrCancel));
            QCOMPARE(form.SelectedValue, QVariant());
            form.LeafOnly = false;
            QCOMPARE(closeBy("2211", "btnOk"), int(QDialog::Accepted));
            QCOMPARE(form.SelectedValue, idOf("2211"));
            QCOMPARE(closeBy("1122", "enter"), int(QDialog::Accepted));
            QCOMPARE(form.SelectedValue, idOf("1122"));
            form.LeafOnly = true;
            form.SetWhere(QStringLiteral("1=0"));
            QCOMPARE(closeBy("", "enter"), 0); // nothing listed: Enter leaves the dialog open
            QCOMPARE(closeBy("", "btnOk"), int(mrCancel)); // nothing listed
            QStringList shown;
            for (const ScriptedDialogs::Shown &d : std::as_const(dialogs.shown))
                shown << d.text;
            QCOMPARE(shown.join(u','),
                     QStringLiteral(",只能选择最底级科目。,只能选择最底级科目。,,,,,,,"));
        }
        QCOMPARE(
            seen,
            (QStringList{QString::number(countAccounts("WHERE Frozen = 0")),
                         kIndent + kIndent + QStringLiteral("进项税额"), QStringLiteral("进项税额"),
                         QStringLiteral("借"), QString::number(int(Qt::AlignCenter)),
                         QStringLiteral("#000080 #008000 0"),
                         QString::number(countAccounts("WHERE IsNode = 1")), "0",
                         QStringLiteral("应交税费-应交增值税-进项税额"),
                         QStringLiteral("2 221101 2 "), QStringLiteral("1 1001 1 "),
                         QStringLiteral("0 1001 1,2,3,4,5,6 "), QStringLiteral("8   hint"),
                         QStringLiteral("8   hint"), "0", "1122", "1", "1"}));
        // The state of 仅显示最底级科目 is kept for the workstation.
        QVERIFY(clientKey()->contains(QStringLiteral("ShowAllAcct")));
        QCOMPARE(clientKey()->value(QStringLiteral("ShowAllAcct")).toBool(), false);
    }

    void browser_data()
    {
        QTest::addColumn<bool>("handedTypes");
        QTest::newRow("template accounts and types") << true;
        QTest::newRow("list rows, types from the server") << false;
    }

    // The browser lists what it is handed (reading at most the account types), indents
    // always, hides the currency and returns OK on a parent account without a warning.
    void browser()
    {
        QFETCH(bool, handedTypes);
        const DataPacket accounts =
            handedTypes ? readDataPacket(m_chart.accounts)
                        : m_session->connection->request(QStringLiteral("LX_BMListAccounting"),
                                                         QStringLiteral("WHERE 1=1"));
        const int types = int(handedTypes ? readDataPacket(m_chart.types).rows.size() : 9);
        requests().clear();
        clientKey()->remove(QStringLiteral("ShowAllAcct"));
        ScriptedDialogs dialogs;
        QStringList seen;
        int answer = 0;
        {
            TShowTempAccountingForm form;
            QVERIFY(!child<QCheckBox>(form, QStringLiteral("cbLeafOnly")));
            form.LoadTemplate(writeDataPacket(accounts), handedTypes ? m_chart.types : QString());
            auto *grid = child<QTableView>(form, QStringLiteral("grdData"));
            dialogs.answerWith([&](QDialog &d) {
                seen << QString::number(form.DataSet()->recordCount())
                     << QString::number(form.TypeTabCount())
                     << cell(form, "22210101", "AcctName").data().toString()
                     << QString::number(columnShown(grid, "AcctName"))
                     << QString::number(columnShown(grid, "CurrName"));
                QTest::mouseClick(child<QLabel>(form, QStringLiteral("lb2")), Qt::LeftButton);
                seen << typesListed(*form.DataSet());
                form.DataSet()->locate(QStringLiteral("AcctCode"), QStringLiteral("2211"));
                child<QPushButton>(d, QStringLiteral("btnOk"))->click();
                return d.result();
            });
            answer = DialogService::instance().exec(form);
        }
        QCOMPARE(answer, int(QDialog::Accepted));
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(requests(), handedTypes ? QStringList() : QStringList{kTypes});
        QCOMPARE(seen,
                 (QStringList{QString::number(accounts.rows.size()),
                              QString::number(std::min<int>(8, types)),
                              kIndent + kIndent + QStringLiteral("进项税额"), "1", "0", "2"}));
        QVERIFY(!clientKey()->contains(QStringLiteral("ShowAllAcct")));
    }
};

QTEST_MAIN(TestSelAccountingForm)
#include "tst_selaccountingform.moc"
