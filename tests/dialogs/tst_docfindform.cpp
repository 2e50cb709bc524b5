// The lookup dialog base over the demo account set: command texts, keeping the user's
// place, the no-data hint, sizing, the filter dialogs, part columns and the layout reload.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataModule.h"
#include "DataSetModel.h"
#include "DocFindForm.h"
#include "Globals.h"
#include "PartColumns.h"
#include "RemoteConnection.h"
#include "SetWhereForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <vexa/Error.h>

#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

using namespace vexa;
using namespace vexa::gl;

namespace {

using vexa::test::RecordingConnection;
using vexa::test::RecordingHost;

// A lookup dialog as the pickers build one: a title, a grid over one provider.
class TestFindForm : public TDocFindForm
{
public:
    explicit TestFindForm(const QString &provider, const QString &title = QString())
    {
        auto *layout = new QVBoxLayout(this);
        if (!title.isNull()) {
            auto *label = new QLabel(title, this);
            label->setObjectName(QStringLiteral("lbTitle"));
            layout->addWidget(label);
        }
        cdsData = new ClientDataSet(this);
        cdsData->setObjectName(QStringLiteral("cdsData"));
        cdsData->setProviderName(provider);
        grdData = new QTableView(this);
        grdData->setObjectName(QStringLiteral("grdData"));
        layout->addWidget(grdData, 1);
        BindGrid(grdData, cdsData);
        InitDocFind();
    }

    void FormShow() override { ++shows; }

    ClientDataSet *cdsData;
    QTableView *grdData;
    int shows = 0;
};

QStringList keysOf(ClientDataSet &ds, const QString &field)
{
    QStringList keys;
    for (int r = 0; r < ds.recordCount(); ++r)
        keys << ds.valueAt(r, ds.fieldIndex(field)).toString();
    return keys;
}

} // namespace

class TestDocFindForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<RecordingHost> m_host;

    QStringList &requests() { return m_host->recorder.requests; }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<RecordingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().DataModule = &m_host->dataModule;
        Session().CaptionPartCode = QStringLiteral("物料编码");
        Session().CaptionPartDesc = QStringLiteral("物料名称");
    }

    void init()
    {
        Settings() = ClientSettings();
        m_host->values.insert(QStringLiteral("DesignModule"), false);
        m_host->calls.clear();
        requests().clear();
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // Rows: "top|fixed|link|extra|user|order" and the command text.
    void commandText_data()
    {
        QTest::addColumn<QString>("parts");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *parts, const char *expected) {
            QTest::newRow(parts) << QString::fromUtf8(parts) << QString::fromUtf8(expected);
        };
        row("TOP 2000 |IsNode = 1||||AcctType, LevelCode",
            "TOP 2000  WHERE (IsNode = 1)  ORDER BY AcctType, LevelCode");
        row("TOP 2000 |||||", "TOP 2000");
        row("|||||AcctType", "WHERE 1=1 ORDER BY AcctType");
        row("TOP 2000 ||||MCode = 'A'|", "TOP 2000   WHERE (MCode = 'A')");
        row("|F|L|E||", "WHERE ( (F) AND (L)  AND (E))");
        row("TOP 2000 |F|L|E|U|X", "TOP 2000  WHERE ( (F) AND (L)  AND (E))  AND (U)  ORDER BY X");
        row("||IsNode = 1|||AcctCode", "WHERE (IsNode = 1)  ORDER BY AcctCode");
        row("TOP 2000 |||E||X", "TOP 2000  WHERE (E)  ORDER BY X");
        row("|F||E||", "WHERE (F AND (E))");
        row("TOP 2000 |F||||order by A DESC", "TOP 2000  WHERE (F)  order by A DESC");
        row("TOP 2000 ||||U|A", "TOP 2000   WHERE (U)  ORDER BY A");
    }

    void commandText()
    {
        QFETCH(QString, parts);
        QFETCH(QString, expected);
        const QStringList p = parts.split(u'|');
        QCOMPARE(TDocFindForm::ComposeCommandText(p[0], p[1], p[2], p[3], p[4], p[5]), expected);
    }

    // The row limit follows the client setting; the text composed is the one sent, inside
    // the host's busy bracket.
    void refreshSendsCommand()
    {
        Settings().CFindTopCount = 500;
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        QCOMPARE(form.TopText, QStringLiteral("TOP 500 "));
        form.SetWhere(QStringLiteral("InnerUse = 0"));
        form.OrderText = QStringLiteral("MCode");
        QVERIFY(requests().isEmpty());
        form.RefreshData(true);
        QCOMPARE(requests(), QStringList{QStringLiteral(
                                 "SYS_SMModules|TOP 500  WHERE (InnerUse = 0)  ORDER BY MCode")});
        QCOMPARE(m_host->calls.filter(QStringLiteral("Busy")),
                 (QStringList{QStringLiteral("BeginBusy"), QStringLiteral("EndBusy:0")}));
        QVERIFY(form.cdsData->recordCount() > 0);
        QCOMPARE(form.cdsData->recNo(), 1);
    }

    void restorePlace_data()
    {
        QTest::addColumn<QString>("keyFields");
        QTest::addColumn<bool>("openFirst");
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("expected"); // key, same, last, first

        QTest::newRow("key found elsewhere") << "MCode" << true << "MDesc"
                                             << ""
                                             << "key";
        QTest::newRow("key gone, same number") << "MCode" << true << "MCode"
                                               << "MCode <> '%1'"
                                               << "same";
        QTest::newRow("key gone, fewer rows") << "MCode" << true << "MCode"
                                              << "MCode Like 'GLPZ%'"
                                              << "last";
        QTest::newRow("no key fields") << "" << true << "MDesc"
                                       << ""
                                       << "same";
        QTest::newRow("key field not in dataset") << "NoSuchField" << true << "MDesc"
                                                  << ""
                                                  << "same";
        QTest::newRow("closed before") << "MCode" << false << "MDesc"
                                       << ""
                                       << "first";
    }

    void restorePlace()
    {
        QFETCH(QString, keyFields);
        QFETCH(bool, openFirst);
        QFETCH(QString, order);
        QFETCH(QString, user);
        QFETCH(QString, expected);
        constexpr int start = 10;

        TestFindForm form(QStringLiteral("SYS_SMModules"));
        form.KeyFieldNames = keyFields;
        form.OrderText = QStringLiteral("MCode");
        ClientDataSet &ds = *form.cdsData;
        QString key;
        if (openFirst) {
            form.RefreshData(true);
            ds.setRecNo(start);
            key = ds.asString(QStringLiteral("MCode"));
            QVERIFY(!key.startsWith(QLatin1String("GLPZ")));
        }
        form.OrderText = order;
        form.UserWhere = user.contains(QLatin1String("%1")) ? user.arg(key) : user;
        form.RefreshData(true);

        const QStringList keys = keysOf(ds, QStringLiteral("MCode"));
        if (expected == QLatin1String("key")) {
            QVERIFY(keys.indexOf(key) + 1 != start); // the key has moved
            QCOMPARE(ds.asString(QStringLiteral("MCode")), key);
        } else if (expected == QLatin1String("same")) {
            QVERIFY(keys.size() >= start);
            QCOMPARE(ds.recNo(), start);
        } else if (expected == QLatin1String("last")) {
            QVERIFY(keys.size() < start);
            QVERIFY(!keys.contains(key));
            QCOMPARE(ds.recNo(), ds.recordCount());
        } else {
            QCOMPARE(ds.recNo(), 1);
        }
        // The grid's focused row is the dataset's, and it is selected.
        QCOMPARE(form.grdData->currentIndex().row(), ds.recNo() - 1);
        QVERIFY(form.grdData->selectionModel()->isRowSelected(ds.recNo() - 1));
    }

    void noDataHint()
    {
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        QLabel *hint = form.findChild<QLabel *>(QStringLiteral("lbNoData"));
        QVERIFY(hint);
        QCOMPARE(hint->text(), QStringLiteral("未查询到满足条件的记录！"));
        QVERIFY(hint->isHidden());
        form.UserWhere = QStringLiteral("MCode = 'NOSUCH'");
        form.RefreshData(true);
        QCOMPARE(form.cdsData->recordCount(), 0);
        QVERIFY(!hint->isHidden());
        form.UserWhere.clear();
        form.RefreshData(false);
        QVERIFY(form.cdsData->recordCount() > 0);
        QVERIFY(hint->isHidden());
    }

    // Fault: a refresh without disabled controls lets the grid see the dataset closed, and
    // the header forgot hidden columns, widths and order.
    void layoutKeptAcrossRefresh_data()
    {
        QTest::addColumn<bool>("disable");
        QTest::newRow("controls disabled") << true;
        QTest::newRow("controls enabled") << false;
    }

    void layoutKeptAcrossRefresh()
    {
        QFETCH(bool, disable);
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        form.RefreshData(disable);
        QTableView *view = form.grdData;
        const int desc = ColumnOf(view, QStringLiteral("MDesc"));
        const int file = ColumnOf(view, QStringLiteral("DllFile"));
        view->setColumnHidden(desc, true);
        view->setColumnWidth(file, 123);
        view->horizontalHeader()->moveSection(view->horizontalHeader()->visualIndex(file), 0);
        form.UserWhere = QStringLiteral("MCode Like 'GL%'");
        form.RefreshData(disable);
        QVERIFY(view->isColumnHidden(desc));
        QCOMPARE(view->columnWidth(file), 123);
        QCOMPARE(view->horizontalHeader()->visualIndex(file), 0);
    }

    // A refused request reaches the caller; the busy bracket, the grid lock and the
    // dataset's controls are all released.
    void providerErrorPropagates()
    {
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        form.UserWhere = QStringLiteral("NoSuchColumn = 1");
        bool thrown = false;
        try {
            form.RefreshData(true);
        } catch (const Error &) {
            thrown = true;
        }
        QVERIFY(thrown);
        QCOMPARE(m_host->calls.filter(QStringLiteral("Busy")),
                 (QStringList{QStringLiteral("BeginBusy"), QStringLiteral("EndBusy:0")}));
        QVERIFY(!form.MainGridLocked());
        QVERIFY(!form.cdsData->controlsDisabled());
    }

    void sizeRules_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("mainWidth");
        QTest::addColumn<int>("maxWidth");
        QTest::addColumn<int>("width");
        QTest::newRow("narrow host: minimum") << 500 << 700 << 0 << 660;
        QTest::newRow("wide host: cap") << 500 << 1600 << 0 << 980;
        QTest::newRow("wide host, wide form") << 500 << 1600 << 1400 << 1330;
        QTest::newRow("form as wide as the cap allows") << 500 << 1600 << 980 << 980;
        QTest::newRow("grows") << 700 << 1000 << 0 << 830;
        QTest::newRow("never shrinks") << 900 << 1000 << 0 << 900;
    }

    void sizeRules()
    {
        QFETCH(int, current);
        QFETCH(int, mainWidth);
        QFETCH(int, maxWidth);
        QFETCH(int, width);
        QCOMPARE(FindDialogWidth(current, mainWidth, maxWidth), width);
    }

    void heightRule()
    {
        QCOMPARE(FindDialogHeight(300, 600), 400);
        QCOMPARE(FindDialogHeight(300, 480), 348); // 320 is below the minimum
        QCOMPARE(FindDialogHeight(500, 600), 500); // never shrinks
        QCOMPARE(FindDialogHeight(300, 300), 348);
    }

    void wholeRows_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("fitWidth");
        for (int lines : {0, 2, 3})
            for (int h : {200, 255, 301, 317})
                for (bool fit : {false, true})
                    QTest::addRow("h%d lines%d fit%d", h, lines, int(fit)) << h << lines << fit;
    }

    void wholeRows()
    {
        QFETCH(int, height);
        QFETCH(int, lines);
        QFETCH(bool, fitWidth);
        ClientSettings s;
        s.ScrollBarHeight = 17;
        s.CFindGridLines = lines;
        FindGridMeasures grid;
        grid.gridHeight = height;
        grid.borderWidth = 1;
        grid.columnsFitWidth = fitWidth;
        const int grow = FindDialogRowsGrowth(grid, s);
        const int space = height + grow - (fitWidth ? 0 : 17) - s.CGridLineWidth -
                          s.CGridHeaderHeight - 2 - (lines >= 2 ? 1 : 0);
        QVERIFY(grow >= 0 && grow < s.CGridDataRowHeight);
        QCOMPARE(space % s.CGridDataRowHeight, 0);
    }

    void showSizesToHost_data()
    {
        QTest::addColumn<QSize>("mainWindow");
        QTest::addColumn<int>("maxWidth");
        QTest::addColumn<int>("width");
        QTest::newRow("1600 wide, form may be wider") << QSize(1600, 900) << 1400 << 1330;
    }

    void showSizesToHost()
    {
        QFETCH(QSize, mainWindow);
        QFETCH(int, maxWidth);
        QFETCH(int, width);
        Settings().ScrollBarHeight = 17;
        m_host->mainWindow.resize(mainWindow);
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        form.resize(400, 300);
        if (maxWidth)
            form.setMaximumWidth(maxWidth);
        form.RefreshData(true);
        ScriptedDialogs dialogs;
        dialogs.answer(QDialog::Rejected);
        DialogService::instance().exec(form);
        QCOMPARE(dialogs.shown.value(0).size.width(), width);
        QVERIFY(dialogs.shown.value(0).size.height() >= mainWindow.height() / 6 * 4);
        // The grid's data area holds whole rows.
        const ClientSettings &s = Settings();
        const int space = form.grdData->height() - s.ScrollBarHeight - s.CGridLineWidth -
                          s.CGridHeaderHeight - 2 * form.grdData->frameWidth() - 1;
        QCOMPARE(space % s.CGridDataRowHeight, 0);
        QCOMPARE(form.shows, 1);
        QVERIFY(form.PartColumnsDone);
    }

    void showFilterBuilder()
    {
        TestFindForm form(QStringLiteral("SYS_SMModules"), QStringLiteral(" 系统模块"));
        form.OrderText = QStringLiteral("MCode");
        form.RefreshData(true);
        requests().clear();
        ScriptedDialogs dialogs;
        TSetWhereForm *first = nullptr;
        QString title, whereBefore;
        QTableView *sourceView = nullptr;
        ClientDataSet *sourceData = nullptr;
        dialogs.answerWith([&](QDialog &d) -> int {
            first = qobject_cast<TSetWhereForm *>(&d);
            if (!first)
                return QDialog::Rejected;
            title = first->lbTitle->text();
            whereBefore = first->WhereText;
            sourceView = first->SourceView;
            sourceData = first->SourceDataSet;
            first->WhereText = QStringLiteral("MCode = 'GLPZLR'");
            d.done(QDialog::Accepted);
            return QDialog::Accepted;
        });
        form.ShowFilter();
        QVERIFY(first);
        QCOMPARE(title, QStringLiteral(" 系统模块"));
        QCOMPARE(sourceView, form.grdData);
        QCOMPARE(sourceData, form.cdsData);
        QCOMPARE(form.UserWhere, QStringLiteral("MCode = 'GLPZLR'"));
        QCOMPARE(requests().filter(QStringLiteral("SYS_SMModules|")),
                 QStringList{QStringLiteral(
                     "SYS_SMModules|TOP 2000   WHERE (MCode = 'GLPZLR')  ORDER BY MCode")});
        QCOMPARE(form.cdsData->recordCount(), 1);

        // The same builder again, showing the current condition; cancelling changes nothing.
        QString seen;
        QDialog *second = nullptr;
        dialogs.answerWith([&](QDialog &d) -> int {
            second = &d;
            seen = first->WhereText;
            d.done(QDialog::Rejected);
            return QDialog::Rejected;
        });
        form.ShowFilter();
        QCOMPARE(second, static_cast<QDialog *>(first));
        QCOMPARE(seen, QStringLiteral("MCode = 'GLPZLR'"));
        QCOMPARE(form.UserWhere, QStringLiteral("MCode = 'GLPZLR'"));
        QCOMPARE(requests().filter(QStringLiteral("SYS_SMModules|")).size(), 1);
        QCOMPARE(form.FilterForm(), first);
    }

    void showCustomFilter()
    {
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        form.OrderText = QStringLiteral("MCode");
        int made = 0;
        form.FilterFormClass.create = [&made](QWidget *owner) {
            ++made;
            auto *d = new QDialog(owner);
            d->setProperty("WhereText", QStringLiteral("DllFile = 'SYS'"));
            return d;
        };
        ScriptedDialogs dialogs;
        dialogs.answer(QDialog::Accepted);
        dialogs.answer(QDialog::Rejected);
        form.ShowFilter();
        QCOMPARE(form.UserWhere, QStringLiteral("DllFile = 'SYS'"));
        QCOMPARE(
            requests().value(0),
            QStringLiteral("SYS_SMModules|TOP 2000   WHERE (DllFile = 'SYS')  ORDER BY MCode"));
        form.CustomFilterForm()->setProperty("WhereText", QStringLiteral("DllFile = 'GL'"));
        form.ShowFilter();
        QCOMPARE(made, 1);
        QCOMPARE(form.UserWhere, QStringLiteral("DllFile = 'SYS'"));
        QCOMPARE(requests().size(), 1);
        QCOMPARE(form.CustomFilterForm()->parent(), &form);
        QVERIFY(!form.FilterForm());
    }

    void layoutReload_data()
    {
        QTest::addColumn<bool>("design");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("reloaded");
        const auto all = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
        QTest::newRow("design mode") << true << Qt::KeyboardModifiers(all) << true;
        QTest::newRow("not design mode") << false << Qt::KeyboardModifiers(all) << false;
        QTest::newRow("without shift")
            << true << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << false;
    }

    void layoutReload()
    {
        QFETCH(bool, design);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, reloaded);
        m_host->values.insert(QStringLiteral("DesignModule"), design);
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        form.RefreshData(true);
        form.show();
        requests().clear();
        QTableView *view = form.grdData;
        const int searchTwo = ColumnOf(view, QStringLiteral("SearchTwo"));
        const int inner = ColumnOf(view, QStringLiteral("InnerUse"));
        const int desc = ColumnOf(view, QStringLiteral("MDesc"));
        const int file = ColumnOf(view, QStringLiteral("DllFile"));
        QTest::keyClick(view, Qt::Key_L, modifiers);
        if (!reloaded) {
            QVERIFY(requests().isEmpty());
            QVERIFY(!view->isColumnHidden(searchTwo));
            QCOMPARE(ColumnCaption(view, desc), QStringLiteral("MDesc"));
            return;
        }
        QCOMPARE(requests(),
                 QStringList{QStringLiteral(
                     "ENV_EnvDataObject|WHERE DataObject = 'SYS_SMModules' ORDER BY Index")});
        QVERIFY(view->isColumnHidden(searchTwo)); // not visible
        QVERIFY(view->isColumnHidden(inner));     // internal
        QVERIFY(!view->isColumnHidden(desc));
        QCOMPARE(ColumnCaption(view, desc), QStringLiteral("模块描述"));
        QCOMPARE(view->columnWidth(desc), 200);
        QCOMPARE(view->horizontalHeader()->visualIndex(desc), 1);
        QCOMPARE(view->horizontalHeader()->visualIndex(file), 4);
        QVERIFY(!view->isColumnHidden(ColumnOf(view, QStringLiteral("UICommand")))); // no row
    }

    // Which property columns a lookup shows, by the account set's counts and the fields the
    // grid's dataset has.
    void partColumnPlan_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("fixCount");
        QTest::addColumn<int>("propCount");
        QTest::addColumn<QString>("plan"); // field:shown per column, F for fixed
        QTest::newRow("both kinds") << QStringList{"PartProp1", "DefProp0"} << 2 << 3
                                    << "PartProp1F PartProp2F DefProp0:1 DefProp1:1 DefProp2:1 "
                                       "DefProp3:0 DefProp4:0 DefProp5:0 DefProp6:0 DefProp7:0 "
                                       "DefProp8:0 DefProp9:0";
        QTest::newRow("no fixed columns set") << QStringList{"PartProp1"} << 0 << 3 << "";
        QTest::newRow("one fixed column") << QStringList{"PartProp1"} << 1 << 0 << "PartProp1F";
        QTest::newRow("no custom properties")
            << QStringList{"DefProp0"} << 2 << 0
            << "DefProp0:0 DefProp1:0 DefProp2:0 DefProp3:0 DefProp4:0 DefProp5:0 DefProp6:0 "
               "DefProp7:0 DefProp8:0 DefProp9:0";
        QTest::newRow("all ten custom") << QStringList{"DefProp0"} << 0 << 10
                                        << "DefProp0:1 DefProp1:1 DefProp2:1 DefProp3:1 "
                                           "DefProp4:1 DefProp5:1 DefProp6:1 DefProp7:1 "
                                           "DefProp8:1 DefProp9:1";
        QTest::newRow("no property fields") << QStringList{"PartCode"} << 2 << 3 << "";
    }

    void partColumnPlan()
    {
        QFETCH(QStringList, fields);
        QFETCH(int, fixCount);
        QFETCH(int, propCount);
        QFETCH(QString, plan);
        DataPacket custom;
        custom.fields << FieldDef{QStringLiteral("PartProp1"), FieldType::String, 20}
                      << FieldDef{QStringLiteral("DefProp1"), FieldType::String, 20};
        custom.rows.push_back({QStringLiteral("颜色"), QStringLiteral("属性1")});
        ClientDataSet info;
        info.addField(QStringLiteral("PartPropCount"), FieldType::Integer);
        info.addField(QStringLiteral("PartFixcolCount"), FieldType::Integer);
        info.addField(QStringLiteral("PartCustom"), FieldType::Memo);
        info.createDataSet();
        info.append();
        info.setValue(QStringLiteral("PartPropCount"), propCount);
        info.setValue(QStringLiteral("PartFixcolCount"), fixCount);
        info.setValue(QStringLiteral("PartCustom"), writeDataPacket(custom));
        info.post();
        ClientDataSet data;
        for (const QString &f : fields)
            data.addField(f, FieldType::String, 20);
        data.createDataSet();
        QStringList got;
        for (const PartColumn &c : PartColumns(&info).PropertyColumns(data)) {
            got << c.field + (c.fixedProperty ? QStringLiteral("F")
                                              : QStringLiteral(":%1").arg(int(c.shown)));
            // Captions come from the part-custom record when it names the field.
            QCOMPARE(c.hasCaption, c.field == u"PartProp1" || c.field == u"DefProp1");
        }
        QCOMPARE(got.join(u' '), plan);
        QVERIFY(PartColumns(nullptr).PropertyColumns(data).isEmpty()); // no system record
        QCOMPARE(PartColumns::DescField(true), QStringLiteral("ItDesc"));
        QCOMPARE(PartColumns::DescField(false), QStringLiteral("PartDesc"));
        QVERIFY(PartColumns::ShowsMarque(true, true, true));
        QVERIFY(!PartColumns::ShowsMarque(false, true, true));
        QVERIFY(!PartColumns::ShowsMarque(true, true, false));
    }

    // The lookup grid laid out from the template: captions, widths and the order after the
    // name column.
    void partColumns()
    {
        // The account-set parameters: two fixed property columns, three custom ones.
        DataModule parameters;
        auto *info = new ClientDataSet;
        info->setObjectName(QStringLiteral("CDS_SysInitInfo"));
        info->addField(QStringLiteral("PartPropCount"), FieldType::Integer);
        info->addField(QStringLiteral("PartFixcolCount"), FieldType::Integer);
        info->addField(QStringLiteral("PartCustom"), FieldType::Memo);
        info->createDataSet();
        parameters.addDataSet(info);
        DataPacket custom;
        custom.fields << FieldDef{QStringLiteral("PartProp1"), FieldType::String, 20}
                      << FieldDef{QStringLiteral("PartProp2"), FieldType::String, 20};
        QVariantList captions{QStringLiteral("颜色"), QStringLiteral("尺码")};
        for (int i = 0; i <= 9; ++i) {
            custom.fields << FieldDef{QStringLiteral("DefProp%1").arg(i), FieldType::String, 20};
            captions << QStringLiteral("属性%1").arg(i);
        }
        custom.rows.push_back(captions);
        info->append();
        info->setValue(QStringLiteral("PartPropCount"), 3);
        info->setValue(QStringLiteral("PartFixcolCount"), 2);
        info->setValue(QStringLiteral("PartCustom"), writeDataPacket(custom));
        info->post();
        Globals().DataModule = &parameters;
        struct Restore
        {
            DataModule *previous;
            ~Restore() { Globals().DataModule = previous; }
        } restore{&m_host->dataModule};

        // The document grid the lookup takes its layout from.
        const auto partFields = [](QStringList extra) {
            QList<FieldDef> f;
            for (const QString &n : extra)
                f << FieldDef{n, FieldType::String, 20};
            return f;
        };
        ClientDataSet templateData;
        templateData.setFieldDefs(partFields({QStringLiteral("PartCode"), QStringLiteral("ItDesc"),
                                              QStringLiteral("Marque"), QStringLiteral("PartProp2"),
                                              QStringLiteral("Qty")}));
        templateData.createDataSet();
        QTableView templateView;
        DataSetModel templateModel(&templateData);
        templateView.setModel(&templateModel);
        templateView.setColumnWidth(0, 120);
        templateView.setColumnWidth(1, 150);
        templateView.setColumnWidth(2, 90);
        templateModel.setCaption(QStringLiteral("Marque"), QStringLiteral("规格型号"));
        templateView.setColumnWidth(3, 66);
        templateModel.setCaption(QStringLiteral("PartProp2"), QStringLiteral("码"));
        templateModel.setCaption(QStringLiteral("Qty"), QStringLiteral("数量"));
        templateView.setColumnHidden(4, true);

        TestFindForm form(QStringLiteral("LX_DMMaterielPropValue"));
        QStringList names{QStringLiteral("Qty"),       QStringLiteral("PartCode"),
                          QStringLiteral("Marque"),    QStringLiteral("ItDesc"),
                          QStringLiteral("PartProp1"), QStringLiteral("PartProp2")};
        for (int i = 0; i <= 9; ++i)
            names << QStringLiteral("DefProp%1").arg(i);
        names << QStringLiteral("Memo");
        form.cdsData->setProviderName(QString());
        form.cdsData->setFieldDefs(partFields(names));
        form.cdsData->createDataSet();
        form.cdsData->append();
        form.cdsData->setValue(QStringLiteral("PartCode"), QStringLiteral("P01"));
        form.cdsData->post();
        QTableView *view = form.grdData;
        view->setColumnHidden(ColumnOf(view, QStringLiteral("Marque")), true);
        form.TemplateView = &templateView;
        form.SetupPartColumns();

        const auto column = [view](const char *f) { return ColumnOf(view, QLatin1String(f)); };
        const auto at = [view, column](const char *f) {
            return view->horizontalHeader()->visualIndex(column(f));
        };
        QCOMPARE(ColumnCaption(view, column("PartCode")), QStringLiteral("物料编码"));
        QCOMPARE(view->columnWidth(column("PartCode")), 120);
        QCOMPARE(ColumnCaption(view, column("ItDesc")), QStringLiteral("物料名称"));
        QCOMPARE(view->columnWidth(column("ItDesc")), 150);
        // Marque, then the fixed property columns, then the custom ones, after the description.
        QStringList order{QStringLiteral("ItDesc"), QStringLiteral("Marque"),
                          QStringLiteral("PartProp1"), QStringLiteral("PartProp2")};
        for (int i = 0; i <= 9; ++i)
            order << QStringLiteral("DefProp%1").arg(i);
        for (int i = 1; i < order.size(); ++i)
            QCOMPARE(view->horizontalHeader()->visualIndex(ColumnOf(view, order[i])),
                     at("ItDesc") + i);
        QVERIFY(!view->isColumnHidden(column("Marque")));
        QCOMPARE(ColumnCaption(view, column("Marque")), QStringLiteral("规格型号"));
        QCOMPARE(view->columnWidth(column("Marque")), 90);
        QCOMPARE(ColumnCaption(view, column("PartProp1")), QStringLiteral("颜色"));
        QCOMPARE(view->columnWidth(column("PartProp1")), 78);
        QCOMPARE(ColumnCaption(view, column("PartProp2")), QStringLiteral("码")); // template's
        QCOMPARE(view->columnWidth(column("PartProp2")), 66);
        QCOMPARE(ColumnCaption(view, column("DefProp1")), QStringLiteral("属性1"));
        QVERIFY(!view->isColumnHidden(column("DefProp2")));
        QVERIFY(view->isColumnHidden(column("DefProp3")));
        QVERIFY(view->isColumnHidden(column("DefProp9")));
        QCOMPARE(ColumnCaption(view, column("Qty")), QStringLiteral("数量"));
        QVERIFY(view->isColumnHidden(column("Qty")));
        QCOMPARE(ColumnCaption(view, column("Memo")), QStringLiteral("Memo"));
        // The property columns are labels: no editor.
        QVERIFY(!view->itemDelegateForColumn(column("PartProp1"))
                     ->createEditor(view->viewport(), QStyleOptionViewItem(),
                                    view->model()->index(0, column("PartProp1"))));

        // Only once per dialog.
        QVERIFY(form.PartColumnsDone);
        view->setColumnHidden(column("PartProp1"), true);
        form.SetupPartColumns();
        QVERIFY(view->isColumnHidden(column("PartProp1")));
    }
};

QTEST_MAIN(TestDocFindForm)
#include "tst_docfindform.moc"
