// The account picker and the template-account browser over the chart of the enterprise
// template A01000, driven by their component names.
#include "AccountTabs.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "RemoteConnection.h"
#include "SelAccountingForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"
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

namespace {

using vexa::test::RecordingHost;

const QString kAccounts = QStringLiteral("LX_BMListAccounting|");
const QString kTypes = QStringLiteral("LX_DMAccttype|WHERE 1=1 ORDER BY AcctType");
const QString kOrder = QStringLiteral("  ORDER BY AcctType, LevelCode");
const QString kIndent = QString(1, QChar(0x3000));
// The bottom of the seven-level chain of type 7 that the set-up adds.
const QString kChainLeaf = QStringLiteral("7001") + QStringLiteral("01").repeated(6);

QVariant valueOf(const DataPacket &p, int row, const char *field)
{
    return p.rows[row][indexOfField(p.fields, QLatin1String(field))];
}

int countRows(const DataPacket &p, const std::function<bool(int)> &keep)
{
    int n = 0;
    for (int r = 0; r < int(p.rows.size()); ++r)
        n += keep(r) ? 1 : 0;
    return n;
}

// The grid cell of an account's field.
QModelIndex cell(TAccountListForm &form, const QString &code, const char *field)
{
    auto *grid = child<QTableView>(form, QStringLiteral("grdData"));
    ClientDataSet *ds = form.DataSet();
    for (int r = 0; r < ds->recordCount(); ++r)
        if (ds->valueAt(r, ds->fieldIndex(QStringLiteral("AcctCode"))).toString() == code)
            return grid->model()->index(r, ColumnOf(grid, QLatin1String(field)));
    return {};
}

QStringList fieldValues(ClientDataSet &ds, const char *field)
{
    QStringList values;
    for (int r = 0; r < ds.recordCount(); ++r)
        values << ds.valueAt(r, ds.fieldIndex(QLatin1String(field))).toString();
    return values;
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
    std::unique_ptr<RecordingHost> m_host;
    QString m_accountsPacket, m_typesPacket; // the template's payloads

    QStringList &requests() { return m_host->recorder.requests; }

    int showDialog(QDialog &form, const std::function<void(QDialog &)> &script)
    {
        ScriptedDialogs dialogs;
        dialogs.answerWith([&](QDialog &d) {
            script(d);
            return d.result();
        });
        return DialogService::instance().exec(form);
    }

    DataPacket request(const char *provider, const QString &command)
    {
        return m_host->connection->request(QLatin1String(provider), command);
    }
    DataPacket allAccounts() { return request("LX_BMListAccounting", QStringLiteral("WHERE 1=1")); }

    // Inserts rows through a dataset, copying the provider's fields by name; adjust
    // changes a row before it is inserted.
    void insert(const char *provider, const DataPacket &rows,
                const std::function<void(QVariantMap &)> &adjust = {})
    {
        ClientDataSet ds;
        ds.setRemoteConnection(m_host->connection.get());
        ds.setProviderName(QLatin1String(provider));
        ds.setCommandText(QStringLiteral("WHERE 1=0"));
        ds.open();
        for (const QVariantList &r : rows.rows) {
            QVariantMap row;
            for (int i = 0; i < rows.fields.size(); ++i)
                row.insert(rows.fields[i].name, r[i]);
            if (adjust)
                adjust(row);
            ds.append();
            for (auto it = row.begin(); it != row.end(); ++it)
                if (ds.findField(it.key()))
                    ds.setValue(it.key(), it.value());
            ds.post();
        }
        ApplyChanges(ds, true);
    }

    std::unique_ptr<QSettings> clientKey() { return OpenRegistryKey(Session().RegistryPath); }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<RecordingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().AppServer = m_host->connection->appServer();
        Globals().DataModule = &m_host->dataModule;
        Session().RegistryPath = m_host->values.value(QStringLiteral("REGPATH")).toString();

        const DataPacket tpl =
            request("SYS_SMAcctTempData", QStringLiteral("WHERE AcctTempCode = 'A01000'"));
        QCOMPARE(int(tpl.rows.size()), 1);
        m_accountsPacket = valueOf(tpl, 0, "AcctXMLData").toString();
        m_typesPacket = valueOf(tpl, 0, "AcctTypeXMLData").toString();
        // What the template lacks is added to the copy: a currency, control accounts,
        // auxiliary items, more than eight account types and a tree seven levels deep.
        const QHash<QString, QVariantMap> changes = {
            {"1001", {{"CurrCode", "RMB"}, {"ACItemDesc", "无辅助核算项"}}},
            {"1122", {{"IsControl", true}, {"ACItemDesc", "客户"}}}};
        insert("LX_DMAccounting", readDataPacket(m_accountsPacket), [&](QVariantMap &row) {
            row.insert(changes.value(row.value(QStringLiteral("AcctCode")).toString()));
        });
        const auto addRow = [](DataPacket &p, const QVariantMap &values) {
            QVariantList row(p.fields.size());
            for (auto it = values.begin(); it != values.end(); ++it)
                row[indexOfField(p.fields, it.key())] = it.value();
            p.rows.push_back(row);
        };
        DataPacket types = readDataPacket(m_typesPacket);
        for (int t = 7; t <= 9; ++t)
            addRow(types, {{"AcctType", t}, {"AcctTypeDesc", QStringLiteral("类别%1").arg(t)}});
        insert("LX_DMAccttype", types);
        DataPacket chain{readDataPacket(m_accountsPacket).fields, {}};
        QString code = QStringLiteral("7001");
        for (int level = 1; level <= 7; ++level, code += QStringLiteral("01"))
            addRow(chain, {{"AcctID", 9000 + level},
                           {"AcctCode", code},
                           {"LevelCode", code},
                           {"AcctName", QStringLiteral("备查%1级").arg(level)},
                           {"ParentID", level > 1 ? QVariant(8999 + level) : QVariant()},
                           {"Levels", level},
                           {"IsNode", level == 7},
                           {"AcctType", "7"},
                           {"Frozen", false}});
        insert("LX_DMAccounting", chain);
    }

    void init()
    {
        Settings() = ClientSettings();
        requests().clear();
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        Session() = SessionGlobals();
        m_host.reset();
    }

    // The tab rules: which component stands for which tab, which type rows get a tab,
    // which switches happen and what each tab lists.
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
        QCOMPARE(AccountTabs::TabOf(component), tab);
        QCOMPARE(TAccountListForm::TabNumberOf(component), tab);
        if (tab < 0)
            return;
        QCOMPARE(AccountTabs::Filter(tab),
                 tab == 0 ? QString() : QStringLiteral("AcctType = '%1'").arg(tab));
        QCOMPARE(AccountTabs::TabOfTypeRow(tab), tab == 0 ? -1 : tab);
        QVERIFY(AccountTabs::Selectable(tab, tab == 1 ? 2 : 1, true));
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
        QCOMPARE(AccountTabs::TabOfTypeRow(0), -1);
        QVERIFY(!AccountTabs::Selectable(AccountTabs::Count, 0, true));
        QVERIFY(!AccountTabs::Selectable(-1, 0, true));
        QCOMPARE(AccountTabs::CheckBoxCondition(false, false), QStringLiteral("Frozen = 0"));
        QCOMPARE(AccountTabs::CheckBoxCondition(true, false),
                 QStringLiteral("IsNode = 1 AND Frozen = 0"));
        QCOMPARE(AccountTabs::CheckBoxCondition(true, true), QStringLiteral("IsNode = 1"));
        QCOMPARE(AccountTabs::CheckBoxCondition(false, true), QString());
    }

    // Nine account types: eight tabs after "全部", in type order, made with the picker; the
    // accounts are read only when it is shown, and a showing reads them again.
    void tabsOfTypes()
    {
        TSelAccountingForm form;
        QCOMPARE(requests(), QStringList{kTypes});
        const DataPacket types =
            request("LX_DMAccttype", QStringLiteral("WHERE 1=1 ORDER BY AcctType"));
        QCOMPARE(int(types.rows.size()), 9);
        QCOMPARE(form.TypeTabCount(), 8);
        QCOMPARE(child<QLabel>(form, "lb8")->text(),
                 valueOf(types, 7, "AcctTypeDesc").toString() + QStringLiteral("(&8)"));
        showDialog(form, [](QDialog &) {});
        showDialog(form, [](QDialog &) {});
        QCOMPARE(requests().filter(kAccounts).size(), 2);
    }

    void commandTexts_data()
    {
        QTest::addColumn<bool>("leafOnly");
        QTest::addColumn<bool>("showFrozen");
        QTest::addColumn<QString>("fixed");
        QTest::addColumn<QString>("command");
        QTest::newRow("defaults") << false << false << QString()
                                  << QStringLiteral("WHERE (Frozen = 0)") + kOrder;
        QTest::newRow("frozen too") << false << true << QString()
                                    << QStringLiteral("WHERE 1=1 ORDER BY AcctType, LevelCode");
        QTest::newRow("caller condition")
            << true << false << QStringLiteral("AcctType = '2'")
            << QStringLiteral("WHERE (AcctType = '2')  AND (IsNode = 1 AND Frozen = 0)") + kOrder;
    }

    // The first showing reads unfrozen accounts; each check box click reads again under the
    // boxes' condition, replacing one the filter builder set, and the full name takes the
    // indented name's place while only leaf accounts are listed.
    void commandTexts()
    {
        QFETCH(bool, leafOnly);
        QFETCH(bool, showFrozen);
        QFETCH(QString, fixed);
        QFETCH(QString, command);
        TSelAccountingForm form;
        form.SetWhere(fixed);
        auto *grid = child<QTableView>(form, "grdData");
        QString firstRead, name, fullName;
        bool nameShown = false, fullNameShown = false;
        showDialog(form, [&](QDialog &) {
            firstRead = requests().filter(kAccounts).value(0);
            form.UserWhere = QStringLiteral("AcctCode = '1001'");
            for (const auto &[box, on] :
                 {std::pair{"cbLeafOnly", leafOnly}, std::pair{"cbShowFrozen", showFrozen}}) {
                auto *check = child<QCheckBox>(form, QLatin1String(box));
                check->click();
                if (check->isChecked() != on)
                    check->click();
            }
            nameShown = columnShown(grid, "AcctName");
            fullNameShown = columnShown(grid, "FullName");
            name = cell(form, QStringLiteral("22210101"), "AcctName").data().toString();
            fullName = cell(form, QStringLiteral("22210101"), "FullName").data().toString();
        });
        if (fixed.isEmpty())
            QCOMPARE(firstRead, kAccounts + QStringLiteral("WHERE (Frozen = 0)") + kOrder);
        const QStringList reads = requests().filter(kAccounts);
        QCOMPARE(reads.size(), 1 + (leafOnly ? 1 : 2) + (showFrozen ? 1 : 2));
        QCOMPARE(reads.constLast(), kAccounts + command);
        const DataPacket all = allAccounts();
        QCOMPARE(form.DataSet()->recordCount(), countRows(all, [&](int r) {
                     return (!leafOnly || valueOf(all, r, "IsNode").toBool()) &&
                            (showFrozen || !valueOf(all, r, "Frozen").toBool()) &&
                            (fixed.isEmpty() || valueOf(all, r, "AcctType").toString() == u"2");
                 }));
        QCOMPARE(nameShown, !leafOnly);
        QCOMPARE(fullNameShown, leafOnly);
        QCOMPARE(name, (leafOnly ? QString() : kIndent + kIndent) + QStringLiteral("进项税额"));
        QCOMPARE(fullName, QStringLiteral("应交税费-应交增值税-进项税额"));
    }

    // A tab filters the rows already read: it keeps the account when it is of that type and
    // lands on the type's first row otherwise; a new read keeps the tab.
    void switchTabs()
    {
        TSelAccountingForm form;
        ClientDataSet *ds = form.DataSet();
        auto *grid = child<QTableView>(form, "grdData");
        auto *hint = form.findChild<QLabel *>(QStringLiteral("lbNoData"));
        QStringList seen; // per step: tab, current code, types listed, hint shown
        const auto step = [&] {
            QStringList types = fieldValues(*ds, "AcctType");
            types.removeDuplicates();
            seen << QStringLiteral("%1 %2 %3 %4")
                        .arg(form.CurrentTab)
                        .arg(ds->isEmpty() ? QString() : ds->asString(QStringLiteral("AcctCode")),
                             types.join(u','), QLatin1String(hint->isHidden() ? "" : "hint"));
        };
        int allRows = 0, rowsOfType2 = 0, highlight = -1, requestsMade = -1;
        showDialog(form, [&](QDialog &) {
            allRows = ds->recordCount();
            QVERIFY(ds->locate(QStringLiteral("AcctCode"), QStringLiteral("221101")));
            requests().clear();
            QTest::mouseClick(child<QLabel>(form, "lb2"), Qt::LeftButton);
            step();
            rowsOfType2 = ds->recordCount();
            highlight =
                child<QWidget>(form, "imgOpen")->x() - child<QWidget>(form, "imgClose2")->x();
            QTest::mouseClick(child<QToolButton>(form, "imgClose1"), Qt::LeftButton);
            step();
            QTest::keyClick(grid, Qt::Key_0, Qt::AltModifier);
            step();
            QTest::keyClick(grid, Qt::Key_8, Qt::AltModifier); // a type without accounts
            step();
            QTest::keyClick(grid, Qt::Key_9, Qt::AltModifier); // there is no ninth tab
            step();
            requestsMade = requests().size();
            QTest::keyClick(grid, Qt::Key_7, Qt::AltModifier);
            child<QCheckBox>(form, "cbLeafOnly")->click();
            step();
        });
        QCOMPARE(seen, (QStringList{QStringLiteral("2 221101 2 "), QStringLiteral("1 1001 1 "),
                                    QStringLiteral("0 1001 1,2,3,4,5,6,7 "),
                                    QStringLiteral("8   hint"), QStringLiteral("8   hint"),
                                    QStringLiteral("7 %1 7 ").arg(kChainLeaf)}));
        QCOMPARE(requestsMade, 0);
        QCOMPARE(highlight, 0);
        const DataPacket all = allAccounts();
        QCOMPARE(allRows,
                 countRows(all, [&](int r) { return !valueOf(all, r, "Frozen").toBool(); }));
        QCOMPARE(rowsOfType2, countRows(all, [&](int r) {
                     return !valueOf(all, r, "Frozen").toBool() &&
                            valueOf(all, r, "AcctType").toString() == u"2";
                 }));
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
        const int open = -1;
        QFETCH(QString, code);
        QFETCH(bool, leafOnly);
        QFETCH(QString, how);
        QFETCH(int, result);
        TSelAccountingForm form;
        form.LeafOnly = leafOnly;
        if (code.isEmpty())
            form.SetWhere(QStringLiteral("1=0"));
        ClientDataSet *ds = form.DataSet();
        auto *grid = child<QTableView>(form, "grdData");
        ScriptedDialogs dialogs;
        QVariant id;
        QWidget *focused = nullptr;
        bool stayed = false;
        dialogs.answerWith([&](QDialog &d) {
            if (!code.isEmpty() && ds->locate(QStringLiteral("AcctCode"), code))
                id = ds->value(QStringLiteral("AcctID"));
            if (result == open)
                dialogs.answer(mrOk); // the warning
            const QModelIndex at = grid->model()->index(ds->recNo() - 1, 1);
            grid->scrollTo(at);
            const QPoint point = grid->visualRect(at).center();
            if (how == QLatin1String("double")) {
                // The events of a real double click: press, release, double click, release.
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, point);
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, point);
                QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, point);
            } else if (how == QLatin1String("background")) {
                QTest::mouseDClick(&d, Qt::LeftButton, {}, QPoint(2, 2));
            } else if (how == QLatin1String("escape")) {
                QTest::keyClick(grid, Qt::Key_Escape);
            } else {
                child<QPushButton>(d, how)->click();
            }
            focused = d.focusWidget();
            stayed = d.isVisible();
            return d.result();
        });
        const int answer = DialogService::instance().exec(form);
        QCOMPARE(stayed, result == open);
        if (result != open)
            QCOMPARE(answer, result);
        QCOMPARE(id.isValid(), !code.isEmpty());
        QStringList warnings;
        for (const ScriptedDialogs::Shown &s : std::as_const(dialogs.shown))
            if (s.className.endsWith(QLatin1String("TWarningInfoFrom")))
                warnings << s.text;
        QCOMPARE(warnings, result == open ? QStringList{QStringLiteral("只能选择最底级科目。")}
                                          : QStringList());
        if (result == open)
            QCOMPARE(focused, grid);
        QCOMPARE(form.SelectedValue, result == QDialog::Accepted ? id : QVariant());
    }

    // The grid shows other texts than the stored values, and colours by level and kind.
    void displayRoles()
    {
        TSelAccountingForm form;
        showDialog(form, [](QDialog &) {});
        const auto text = [&](const char *code, const char *field, int role = Qt::DisplayRole) {
            return cell(form, QLatin1String(code), field).data(role).toString();
        };
        QCOMPARE(text("1001", "DC") + text("2211", "DC"), QStringLiteral("借贷"));
        QCOMPARE(text("1001", "CurrName"), QStringLiteral("人民币"));
        QCOMPARE(text("1012", "CurrName"), QStringLiteral("多货币"));
        QCOMPARE(text("1001", "ACItemDesc"), QString());
        QCOMPARE(text("1122", "ACItemDesc"), QStringLiteral("客户"));
        QCOMPARE(text("1001", "AcctName"), QStringLiteral("库存现金"));
        QCOMPARE(text("22210101", "AcctName"), kIndent + kIndent + QStringLiteral("进项税额"));
        QCOMPARE(text("22210101", "AcctName", Qt::EditRole), QStringLiteral("进项税额"));
        QCOMPARE(cell(form, QStringLiteral("1001"), "Levels")
                     .data(Qt::TextAlignmentRole)
                     .value<Qt::Alignment>(),
                 Qt::Alignment(Qt::AlignCenter));

        const auto colour = [&](const QString &code) {
            return cell(form, code, "AcctCode").data(Qt::ForegroundRole).value<QBrush>().color();
        };
        // Parents: navy, lighter by 20 a level down to the fifth, deeper ones like the fifth.
        const QColor navy(0, 0, 128);
        QCOMPARE(colour(QStringLiteral("2211")), navy);
        QList<int> lift;
        for (QString code = QStringLiteral("7001"); code.size() < kChainLeaf.size();
             code += QStringLiteral("01")) {
            QCOMPARE(colour(code).hslHue(), navy.hslHue());
            lift << colour(code).lightness() - navy.lightness();
        }
        QCOMPARE(lift, (QList<int>{0, 20, 40, 60, 80, 80}));
        // Leaves: green for a control account, else the view's own colour.
        QCOMPARE(colour(QStringLiteral("1122")), QColor(0, 128, 0));
        QVERIFY(!cell(form, kChainLeaf, "AcctCode").data(Qt::ForegroundRole).isValid());
    }

    // Fault guarded: typing searched the focused column, the hidden key, not the codes.
    void typingSearchesCodes()
    {
        TSelAccountingForm form;
        showDialog(form, [&](QDialog &) {
            child<QTableView>(form, "grdData")->setFocus();
            QTest::keyClicks(child<QTableView>(form, "grdData"), QStringLiteral("2211"));
        });
        QCOMPARE(form.DataSet()->asString(QStringLiteral("AcctCode")), QStringLiteral("2211"));
    }

    void showAllAcct()
    {
        for (const bool checked : {true, false}) {
            clientKey()->remove(QStringLiteral("ShowAllAcct"));
            {
                TSelAccountingForm form;
                showDialog(form, [&](QDialog &) {
                    if (checked)
                        child<QCheckBox>(form, "cbLeafOnly")->click();
                });
            }
            QVERIFY(clientKey()->contains(QStringLiteral("ShowAllAcct")));
            QCOMPARE(clientKey()->value(QStringLiteral("ShowAllAcct")).toBool(), checked);
        }
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
        const DataPacket accounts = handedTypes ? readDataPacket(m_accountsPacket) : allAccounts();
        const DataPacket types = handedTypes
                                     ? readDataPacket(m_typesPacket)
                                     : request("LX_DMAccttype", QStringLiteral("WHERE 1=1"));
        clientKey()->remove(QStringLiteral("ShowAllAcct"));
        ScriptedDialogs dialogs;
        QStringList seen;
        int answer = 0;
        {
            TShowTempAccountingForm form;
            QVERIFY(!child<QCheckBox>(form, "cbLeafOnly"));
            form.LoadTemplate(writeDataPacket(accounts), handedTypes ? m_typesPacket : QString());
            auto *grid = child<QTableView>(form, "grdData");
            dialogs.answerWith([&](QDialog &d) {
                seen << QString::number(form.DataSet()->recordCount())
                     << QString::number(form.TypeTabCount())
                     << cell(form, QStringLiteral("22210101"), "AcctName").data().toString()
                     << QString::number(columnShown(grid, "AcctName"))
                     << QString::number(columnShown(grid, "CurrName"));
                QTest::mouseClick(child<QLabel>(form, "lb2"), Qt::LeftButton);
                QStringList listed = fieldValues(*form.DataSet(), "AcctType");
                listed.removeDuplicates();
                seen << listed.join(u',');
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
                              QString::number(std::min<int>(8, types.rows.size())),
                              kIndent + kIndent + QStringLiteral("进项税额"), "1", "0", "2"}));
        QVERIFY(!clientKey()->contains(QStringLiteral("ShowAllAcct")));
    }
};

QTEST_MAIN(TestSelAccountingForm)
#include "tst_selaccountingform.moc"
