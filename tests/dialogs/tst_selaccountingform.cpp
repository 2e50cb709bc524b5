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

    // Which component stands for which tab, which type rows get one, which switches happen
    // and what each tab lists.
    void tabRules_data()
    {
        QTest::addColumn<QString>("component");
        QTest::addColumn<int>("tab");
        QTest::newRow("label") << "lb3" << 3;
        QTest::newRow("image") << "imgClose8" << 8;
        QTest::newRow("all") << "lb0" << 0;
        QTest::newRow("past the last tab") << "lb9" << -1;
        QTest::newRow("no number") << "lbTitle" << -1;
        QTest::newRow("too short") << "imgClose" << -1;
        QTest::newRow("other") << "grdData" << -1;
    }

    void tabRules()
    {
        QFETCH(QString, component);
        QFETCH(int, tab);
        QCOMPARE(TAccountListForm::TabNumberOf(component), tab);
        QCOMPARE(AccountTabs::Selectable(tab, tab == 1 ? 2 : 1, true), tab >= 0);
        if (tab < 0)
            return;
        QCOMPARE(AccountTabs::Filter(tab),
                 tab == 0 ? QString() : QStringLiteral("AcctType = '%1'").arg(tab));
        QCOMPARE(AccountTabs::TabOfTypeRow(tab), tab == 0 ? -1 : tab);
        QVERIFY(!AccountTabs::Selectable(tab, tab, true));
        QVERIFY(!AccountTabs::Selectable(tab, tab == 1 ? 2 : 1, false));
        QCOMPARE(AccountTabs::KeepsAccount(QVariant(1001), tab), tab != 0);
        QVERIFY(!AccountTabs::KeepsAccount(QVariant(0), tab));
        QCOMPARE(AccountTabs::Caption(QStringLiteral("资产"), tab),
                 QStringLiteral("资产(&%1)").arg(tab));
    }

    void tabBoundaries()
    {
        QCOMPARE(AccountTabs::TabOfTypeRow(AccountTabs::Count), -1); // a ninth type gets none
        QVERIFY(!AccountTabs::Selectable(AccountTabs::Count, 0, true));
        QCOMPARE(AccountTabs::CheckBoxCondition(false, false), QStringLiteral("Frozen = 0"));
        QCOMPARE(AccountTabs::CheckBoxCondition(true, false),
                 QStringLiteral("IsNode = 1 AND Frozen = 0"));
        QCOMPARE(AccountTabs::CheckBoxCondition(true, true), QStringLiteral("IsNode = 1"));
        QCOMPARE(AccountTabs::CheckBoxCondition(false, true), QString());
    }

    // The grid's texts and colours: field|value|levels|indent and what is shown.
    void display_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *r, const char *text) {
            QTest::newRow(r) << QString::fromUtf8(r) << QString::fromUtf8(text);
        };
        row("AcctName|进项税额|3|1", "\u3000\u3000进项税额");
        row("acctname|现金|1|1", "现金");
        row("AcctName|进项税额|3|0", "进项税额");
        row("DC|D|1|0", "借");
        row("DC|C|1|0", "贷");
        row("DC|X|1|0", "X");
        row("CurrName||1|0", "多货币");
        row("CurrName|人民币|1|0", "人民币");
        row("ACItemDesc|无辅助核算项|1|0", "");
        row("ACItemDesc|客户|1|0", "客户");
        row("AcctCode||1|0", "");
    }

    void display()
    {
        QFETCH(QString, row);
        QFETCH(QString, text);
        const QStringList p = row.split(u'|');
        QCOMPARE(AccountDisplay::Text(p[0], p[1], p[2].toInt(), p[3] == u"1").toString(), text);
    }

    // Parents navy, lighter by 20 a level down to the fifth; leaf control accounts green.
    void colours()
    {
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
    // rows read without asking the server, keeping the account when it is of that type.
    void picker()
    {
        QStringList seen;
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
            ScriptedDialogs dialogs;
            dialogs.answerWith([&](QDialog &) {
                seen << QString::number(ds->recordCount())
                     << cell(form, "22210101", "AcctName").data().toString()
                     << cell(form, "1001", "DC").data().toString();
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
                return int(mrCancel);
            });
            DialogService::instance().exec(form);
            const QStringList reads = requests().filter(kAccounts);
            QCOMPARE(reads,
                     (QStringList{kAccounts + "WHERE (Frozen = 0)  ORDER BY AcctType, LevelCode",
                                  kAccounts + "WHERE 1=1 ORDER BY AcctType, LevelCode",
                                  kAccounts + "WHERE (IsNode = 1)  ORDER BY AcctType, LevelCode"}));
        }
        QCOMPARE(seen,
                 (QStringList{QString::number(countAccounts("WHERE Frozen = 0")),
                              kIndent + kIndent + QStringLiteral("进项税额"), QStringLiteral("借"),
                              QString::number(countAccounts("WHERE IsNode = 1")), "0",
                              QStringLiteral("应交税费-应交增值税-进项税额"),
                              QStringLiteral("2 221101 2 "), QStringLiteral("1 1001 1 "),
                              QStringLiteral("0 1001 1,2,3,4,5,6 "), QStringLiteral("8   hint"),
                              QStringLiteral("8   hint"), "0", "1122"}));
        // The state of 仅显示最底级科目 is kept for the workstation.
        QCOMPARE(clientKey()->value(QStringLiteral("ShowAllAcct")), QVariant(true));
    }

    void choose_data()
    {
        QTest::addColumn<QString>("code"); // empty: nothing listed
        QTest::addColumn<bool>("leafOnly");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result"); // -1: refused, the picker stays open
        const int ok = QDialog::Accepted, cancel = mrCancel, open = -1;
        QTest::newRow("leaf, 选择") << "221101" << true << "btnOk" << ok;
        QTest::newRow("leaf, double click") << "1001" << true << "double" << ok;
        QTest::newRow("parent refused") << "2211" << true << "btnOk" << open;
        QTest::newRow("parent refused, double click") << "2211" << true << "double" << open;
        QTest::newRow("parent allowed") << "2211" << false << "btnOk" << ok;
        QTest::newRow("取消") << "221101" << true << "btnCancel" << cancel;
        QTest::newRow("Escape") << "221101" << true << "escape" << cancel;
        QTest::newRow("background double click") << "221101" << true << "background" << cancel;
        QTest::newRow("nothing listed") << "" << true << "btnOk" << cancel;
    }

    void choose()
    {
        QFETCH(QString, code);
        QFETCH(bool, leafOnly);
        QFETCH(QString, how);
        QFETCH(int, result);
        TSelAccountingForm form;
        form.LeafOnly = leafOnly;
        if (code.isEmpty())
            form.SetWhere(QStringLiteral("1=0"));
        ClientDataSet *ds = form.DataSet();
        auto *grid = child<QTableView>(form, QStringLiteral("grdData"));
        ScriptedDialogs dialogs;
        QVariant id;
        bool stayed = false;
        QWidget *focused = nullptr;
        dialogs.answerWith([&](QDialog &d) {
            if (!code.isEmpty() && ds->locate(QStringLiteral("AcctCode"), code))
                id = ds->value(QStringLiteral("AcctID"));
            if (result < 0)
                dialogs.answer(mrOk); // the warning
            const QModelIndex at = grid->model()->index(ds->recNo() - 1, 1);
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
            } else {
                child<QPushButton>(d, how)->click();
            }
            stayed = d.isVisible();
            focused = d.focusWidget();
            return d.result();
        });
        const int answer = DialogService::instance().exec(form);
        QCOMPARE(stayed, result < 0);
        if (result >= 0)
            QCOMPARE(answer, result);
        else
            QCOMPARE(focused, static_cast<QWidget *>(grid));
        QCOMPARE(id.isValid(), !code.isEmpty());
        QStringList warnings;
        for (const ScriptedDialogs::Shown &s : std::as_const(dialogs.shown))
            if (s.className.endsWith(QLatin1String("TWarningInfoFrom")))
                warnings << s.text;
        QCOMPARE(warnings,
                 result < 0 ? QStringList{QStringLiteral("只能选择最底级科目。")} : QStringList());
        QCOMPARE(form.SelectedValue, result == QDialog::Accepted ? id : QVariant());
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
