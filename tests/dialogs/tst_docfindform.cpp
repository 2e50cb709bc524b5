// The lookup dialog base: its rules (command text, sizes, part columns) without a window,
// and a lookup over the demo account set driven by its component names.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataModule.h"
#include "DataSetModel.h"
#include "DocFindForm.h"
#include "PartColumns.h"
#include "SetWhereForm.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QHeaderView>
#include <QLabel>
#include <QScopedValueRollback>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

using namespace vexa;
using namespace vexa::gl;

namespace {

using vexa::test::PluginSession;
using vexa::test::RecordingHost;

// A lookup dialog as the pickers build one: a title, a grid over one provider.
class TestFindForm : public TDocFindForm
{
public:
    explicit TestFindForm(const QString &provider)
    {
        auto *layout = new QVBoxLayout(this);
        auto *label = new QLabel(QStringLiteral(" 系统模块"), this);
        label->setObjectName(QStringLiteral("lbTitle"));
        layout->addWidget(label);
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

// The account-set record with the part columns' counts and captions (field → caption).
void setPartInfo(ClientDataSet &info, int propCount, int fixCount,
                 const QList<std::pair<const char *, const char *>> &captions)
{
    DataPacket custom;
    QVariantList row;
    for (const auto &[field, caption] : captions) {
        custom.fields << FieldDef{QLatin1String(field), FieldType::String, 20};
        row << QString::fromUtf8(caption);
    }
    custom.rows.push_back(row);
    info.addField(QStringLiteral("PartPropCount"), FieldType::Integer);
    info.addField(QStringLiteral("PartFixcolCount"), FieldType::Integer);
    info.addField(QStringLiteral("PartCustom"), FieldType::Memo);
    info.createDataSet();
    info.append();
    info.setValue(QStringLiteral("PartPropCount"), propCount);
    info.setValue(QStringLiteral("PartFixcolCount"), fixCount);
    info.setValue(QStringLiteral("PartCustom"), writeDataPacket(custom));
    info.post();
}

QList<FieldDef> stringFields(const QStringList &names)
{
    QList<FieldDef> f;
    for (const QString &n : names)
        f << FieldDef{n, FieldType::String, 20};
    return f;
}

} // namespace

class TestDocFindForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    PluginSession<RecordingHost> m_session;

    QStringList &requests() { return m_session->recorder.requests; }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        Session().CaptionPartCode = QStringLiteral("物料编码");
        Session().CaptionPartDesc = QStringLiteral("物料名称");
    }

    void init()
    {
        Settings() = ClientSettings();
        m_session->values.insert(QStringLiteral("DesignModule"), false);
        m_session->calls.clear();
        requests().clear();
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

    // Width (maxWidth >= 0) or height (maxWidth -1) of the dialog over a main window.
    void sizeRules_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("main");
        QTest::addColumn<int>("maxWidth");
        QTest::addColumn<int>("size");
        QTest::newRow("narrow host: minimum") << 500 << 700 << 0 << 660;
        QTest::newRow("wide host: cap") << 500 << 1600 << 0 << 980;
        QTest::newRow("wide host, wide form") << 500 << 1600 << 1400 << 1330;
        QTest::newRow("form as wide as the cap allows") << 500 << 1600 << 980 << 980;
        QTest::newRow("grows") << 700 << 1000 << 0 << 830;
        QTest::newRow("never shrinks") << 900 << 1000 << 0 << 900;
        QTest::newRow("height grows") << 300 << 600 << -1 << 400;
        QTest::newRow("height minimum") << 300 << 480 << -1 << 348;
        QTest::newRow("height never shrinks") << 500 << 600 << -1 << 500;
        QTest::newRow("height above the host") << 300 << 300 << -1 << 348;
    }

    void sizeRules()
    {
        QFETCH(int, current);
        QFETCH(int, main);
        QFETCH(int, maxWidth);
        QFETCH(int, size);
        QCOMPARE(maxWidth < 0 ? FindDialogHeight(current, main)
                              : FindDialogWidth(current, main, maxWidth),
                 size);
    }

    // The growth that makes the grid's data area hold whole rows, for each grid-line style.
    void wholeRows()
    {
        ClientSettings s;
        s.ScrollBarHeight = 17;
        for (int lines : {0, 2, 3})
            for (int height : {200, 255, 301, 317})
                for (bool fit : {false, true}) {
                    s.CFindGridLines = lines;
                    const int grow = FindDialogRowsGrowth({height, 1, false, false, fit}, s);
                    const int space = height + grow - (fit ? 0 : 17) - s.CGridLineWidth -
                                      s.CGridHeaderHeight - 2 - (lines >= 2 ? 1 : 0);
                    QVERIFY(grow >= 0 && grow < s.CGridDataRowHeight);
                    QCOMPARE(space % s.CGridDataRowHeight, 0);
                }
    }

    // Which property columns a lookup shows, by the account set's counts and the fields the
    // grid's dataset has.
    void partColumnPlan_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("fixCount");
        QTest::addColumn<int>("propCount");
        QTest::addColumn<QString>("plan"); // field:shown per column, F for fixed
        QTest::newRow("no fixed columns set") << QStringList{"PartProp1"} << 0 << 3 << "";
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
        ClientDataSet info;
        setPartInfo(info, propCount, fixCount, {{"PartProp1", "颜色"}, {"DefProp1", "属性1"}});
        ClientDataSet data;
        data.setFieldDefs(stringFields(fields));
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
        QVERIFY(!PartColumns::ShowsMarque(true, true, false));         // the grid shows it already
    }

    // The place kept across a new read: the key when it is still listed, else the row
    // number, else the last row; the first row when nothing was read before.
    void restorePlace_data()
    {
        QTest::addColumn<QString>("keyFields");
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("user");     // %1: the key of row 10
        QTest::addColumn<QString>("expected"); // key, last or the row number
        const auto row = [](const char *tag, const char *keyFields, const char *order,
                            const char *user, const char *expected) {
            QTest::newRow(tag) << keyFields << order << user << expected;
        };
        row("key found elsewhere", "MCode", "MDesc", "", "key");
        row("key gone, same number", "MCode", "MCode", "MCode <> '%1'", "10");
        row("key gone, fewer rows", "MCode", "MCode", "MCode Like 'GLPZ%'", "last");
        row("no key fields", "", "MDesc", "", "10");
        row("key field not in dataset", "NoSuchField", "MDesc", "", "10");
        row("nothing read before", "MCode", "MDesc", "", "1");
    }

    void restorePlace()
    {
        QFETCH(QString, keyFields);
        QFETCH(QString, order);
        QFETCH(QString, user);
        QFETCH(QString, expected);
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        form.KeyFieldNames = keyFields;
        form.OrderText = QStringLiteral("MCode");
        ClientDataSet &ds = *form.cdsData;
        QString key;
        if (expected != u"1") {
            form.RefreshData(true);
            ds.setRecNo(10);
            key = ds.asString(QStringLiteral("MCode"));
        }
        form.OrderText = order;
        form.UserWhere = user.contains(QLatin1String("%1")) ? user.arg(key) : user;
        form.RefreshData(true);
        int keyAt = 0;
        for (int r = 0; r < ds.recordCount() && !keyAt; ++r)
            if (ds.valueAt(r, ds.fieldIndex(QStringLiteral("MCode"))).toString() == key)
                keyAt = r + 1;
        QCOMPARE(ds.recNo(), expected == u"key"    ? keyAt
                             : expected == u"last" ? ds.recordCount()
                                                   : expected.toInt());
        QVERIFY(expected != u"key" || keyAt != 10);                            // it moved
        QVERIFY(expected != u"last" || (ds.recordCount() < 10 && keyAt == 0)); // it went
        // The grid's focused row is the dataset's, and it is selected.
        QCOMPARE(form.grdData->currentIndex().row(), ds.recNo() - 1);
        QVERIFY(form.grdData->selectionModel()->isRowSelected(ds.recNo() - 1));
    }

    // A lookup shown over the host: the read it sends, the hint when nothing is found, the
    // layout kept across reads, a refused read, the sizing, the filter dialogs and the
    // layout reload of design mode.
    void lookup()
    {
        Settings().CFindTopCount = 500;
        Settings().ScrollBarHeight = 17;
        m_session->mainWindow.resize(1600, 900);
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        form.setMaximumWidth(1400);
        form.OrderText = QStringLiteral("MCode");
        form.SetWhere(QStringLiteral("InnerUse = 0"));
        form.RefreshData(false);
        QCOMPARE(requests(), QStringList{QStringLiteral(
                                 "SYS_SMModules|TOP 500  WHERE (InnerUse = 0)  ORDER BY MCode")});
        QCOMPARE(m_session->calls.filter(QStringLiteral("Busy")),
                 (QStringList{QStringLiteral("BeginBusy"), QStringLiteral("EndBusy:0")}));

        // Fault: a new read forgot hidden columns, widths and order.
        QTableView *view = form.grdData;
        QHeaderView *header = view->horizontalHeader();
        const int desc = ColumnOf(view, QStringLiteral("MDesc"));
        const int file = ColumnOf(view, QStringLiteral("DllFile"));
        view->setColumnHidden(desc, true);
        view->setColumnWidth(file, 123);
        header->moveSection(header->visualIndex(file), 0);
        auto *hint = child<QLabel>(form, QStringLiteral("lbNoData"));
        QVERIFY(hint->isHidden());
        form.UserWhere = QStringLiteral("MCode = 'NOSUCH'");
        form.RefreshData(true);
        QVERIFY(!hint->isHidden());
        QVERIFY(view->isColumnHidden(desc));
        QCOMPARE(view->columnWidth(file), 123);
        QCOMPARE(header->visualIndex(file), 0);

        // A refused read reaches the caller with the busy bracket, the grid lock and the
        // dataset's controls released.
        m_session->calls.clear();
        form.UserWhere = QStringLiteral("NoSuchColumn = 1");
        QVERIFY(!errorOf([&] { form.RefreshData(true); }).isEmpty());
        QCOMPARE(m_session->calls.filter(QStringLiteral("Busy")),
                 (QStringList{QStringLiteral("BeginBusy"), QStringLiteral("EndBusy:0")}));
        QVERIFY(!form.MainGridLocked());
        QVERIFY(!form.cdsData->controlsDisabled());

        // Shown: sized to the host, the grid's data area holding whole rows. The filter
        // builder, made once, gets the title and the grid and its condition is read; its
        // cancel changes nothing. Ctrl+Alt+Shift+L lays the columns out from the data
        // object's configuration.
        form.UserWhere.clear();
        form.RefreshData(true);
        requests().clear();
        ScriptedDialogs dialogs;
        QSize shownSize;
        TSetWhereForm *builder = nullptr;
        QStringList seen;
        dialogs.answerWith([&](QDialog &d) {
            shownSize = d.size();
            dialogs.answerWith([&](QDialog &filter) {
                builder = qobject_cast<TSetWhereForm *>(&filter);
                seen << builder->lbTitle->text() << builder->WhereText;
                seen << QString::number(builder->SourceView == view &&
                                        builder->SourceDataSet == form.cdsData);
                builder->WhereText = QStringLiteral("MCode = 'GLPZLR'");
                filter.done(QDialog::Accepted);
                return int(QDialog::Accepted);
            });
            form.ShowFilter();
            dialogs.answerWith([&](QDialog &filter) {
                seen << builder->WhereText;
                filter.done(QDialog::Rejected);
                return int(QDialog::Rejected);
            });
            form.ShowFilter();
            const auto all = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
            QTest::keyClick(view, Qt::Key_L, all); // not in design mode
            m_session->values.insert(QStringLiteral("DesignModule"), true);
            QTest::keyClick(view, Qt::Key_L, Qt::ControlModifier | Qt::AltModifier);
            QTest::keyClick(view, Qt::Key_L, all);
            d.done(QDialog::Rejected);
            return int(QDialog::Rejected);
        });
        QCOMPARE(DialogService::instance().exec(form), int(QDialog::Rejected));
        QCOMPARE(shownSize.width(), 1330);
        QVERIFY(shownSize.height() >= 900 / 6 * 4);
        const ClientSettings &s = Settings();
        const int space = view->height() - s.ScrollBarHeight - s.CGridLineWidth -
                          s.CGridHeaderHeight - 2 * view->frameWidth() - 1;
        QCOMPARE(space % s.CGridDataRowHeight, 0);
        QCOMPARE(form.shows, 1);
        QCOMPARE(seen, (QStringList{QStringLiteral(" 系统模块"), QString(), "1",
                                    QStringLiteral("MCode = 'GLPZLR'")}));
        QCOMPARE(form.FilterForm(), builder);
        QCOMPARE(form.UserWhere, QStringLiteral("MCode = 'GLPZLR'"));
        QCOMPARE(form.cdsData->recordCount(), 1);
        QCOMPARE(requests().filter(QStringLiteral("SYS_SMModules|")),
                 QStringList{QStringLiteral("SYS_SMModules|TOP 500  WHERE (InnerUse = 0)  AND "
                                            "(MCode = 'GLPZLR')  ORDER BY MCode")});
        QCOMPARE(requests().filter(QStringLiteral("' ORDER BY Index")),
                 QStringList{QStringLiteral(
                     "ENV_EnvDataObject|WHERE DataObject = 'SYS_SMModules' ORDER BY Index")});
        QVERIFY(view->isColumnHidden(ColumnOf(view, QStringLiteral("SearchTwo")))); // not visible
        QVERIFY(view->isColumnHidden(ColumnOf(view, QStringLiteral("InnerUse"))));  // internal
        QVERIFY(!view->isColumnHidden(desc));
        QCOMPARE(ColumnCaption(view, desc), QStringLiteral("模块描述"));
        QCOMPARE(view->columnWidth(desc), 200);
        QCOMPARE(header->visualIndex(desc), 1);
        QCOMPARE(header->visualIndex(file), 4);
        QVERIFY(!view->isColumnHidden(ColumnOf(view, QStringLiteral("UICommand")))); // no row
    }

    // A filter dialog of the caller's own, made once and owned by the lookup; its condition
    // is read from the property named.
    void customFilter()
    {
        TestFindForm form(QStringLiteral("SYS_SMModules"));
        form.OrderText = QStringLiteral("MCode");
        int made = 0;
        form.FilterFormClass.create = [&made](QWidget *owner) {
            ++made;
            auto *d = new QDialog(owner);
            d->setProperty("Where", QStringLiteral("DllFile = 'SYS'"));
            return d;
        };
        form.FilterFormClass.whereProperty = "Where";
        delete child<QLabel>(form, QStringLiteral("lbTitle")); // a lookup without a title
        ScriptedDialogs dialogs;
        dialogs.answer(QDialog::Accepted);
        dialogs.answer(QDialog::Rejected);
        form.ShowFilter();
        QCOMPARE(form.UserWhere, QStringLiteral("DllFile = 'SYS'"));
        QCOMPARE(requests(),
                 QStringList{QStringLiteral(
                     "SYS_SMModules|TOP 2000   WHERE (DllFile = 'SYS')  ORDER BY MCode")});
        form.CustomFilterForm()->setProperty("Where", QStringLiteral("DllFile = 'GL'"));
        form.ShowFilter();
        QCOMPARE(made, 1);
        QCOMPARE(form.UserWhere, QStringLiteral("DllFile = 'SYS'"));
        QCOMPARE(requests().size(), 1);
        QCOMPARE(form.CustomFilterForm()->parent(), &form);
        QVERIFY(!form.FilterForm());
    }

    // The lookup grid laid out from the template: captions, widths and the order after the
    // name column, once per dialog.
    void partColumns()
    {
        DataModule parameters;
        auto *info = new ClientDataSet;
        info->setObjectName(QStringLiteral("CDS_SysInitInfo"));
        setPartInfo(*info, 3, 2,
                    {{"PartProp1", "颜色"}, {"PartProp2", "尺码"}, {"DefProp1", "属性1"}});
        parameters.addDataSet(info);
        const QScopedValueRollback<DataModule *> restore(Globals().DataModule, &parameters);

        // The document grid the lookup takes its layout from.
        ClientDataSet templateData;
        templateData.setFieldDefs(
            stringFields({"PartCode", "ItDesc", "Marque", "PartProp2", "Qty"}));
        templateData.createDataSet();
        QTableView templateView;
        DataSetModel templateModel(&templateData);
        templateView.setModel(&templateModel);
        for (const auto &[c, w] : {std::pair{0, 120}, {1, 150}, {2, 90}, {3, 66}})
            templateView.setColumnWidth(c, w);
        templateModel.setCaption(QStringLiteral("Marque"), QStringLiteral("规格型号"));
        templateModel.setCaption(QStringLiteral("PartProp2"), QStringLiteral("码"));
        templateModel.setCaption(QStringLiteral("Qty"), QStringLiteral("数量"));
        templateView.setColumnHidden(4, true);

        TestFindForm form(QStringLiteral("LX_DMMaterielPropValue"));
        form.cdsData->setProviderName(QString());
        QStringList names{"Qty", "PartCode", "Marque", "ItDesc", "PartProp1", "PartProp2"};
        for (int i = 0; i <= 9; ++i)
            names << QStringLiteral("DefProp%1").arg(i);
        form.cdsData->setFieldDefs(stringFields(names << "Memo"));
        form.cdsData->createDataSet();
        form.cdsData->append();
        form.cdsData->post();
        QTableView *view = form.grdData;
        const auto column = [view](const char *f) { return ColumnOf(view, QLatin1String(f)); };
        view->setColumnHidden(column("Marque"), true);
        form.TemplateView = &templateView;
        form.SetupPartColumns();

        QStringList shown; // field:caption:width in visual order
        for (int v = 0; v < view->horizontalHeader()->count(); ++v) {
            const int c = view->horizontalHeader()->logicalIndex(v);
            if (!view->isColumnHidden(c))
                shown << QStringLiteral("%1:%2")
                             .arg(ColumnCaption(view, c))
                             .arg(view->columnWidth(c));
        }
        const int w = view->horizontalHeader()->defaultSectionSize();
        QCOMPARE(shown.join(u' '),
                 QStringLiteral("物料编码:120 物料名称:150 规格型号:90 颜色:78 码:66 DefProp0:%1 "
                                "属性1:%1 DefProp2:%1 Memo:%1")
                     .arg(w));
        QCOMPARE(ColumnCaption(view, column("Qty")), QStringLiteral("数量"));
        // The property columns are labels: no editor.
        QVERIFY(!view->itemDelegateForColumn(column("PartProp1"))
                     ->createEditor(view->viewport(), QStyleOptionViewItem(),
                                    view->model()->index(0, column("PartProp1"))));
        view->setColumnHidden(column("PartProp1"), true);
        form.SetupPartColumns();
        QVERIFY(view->isColumnHidden(column("PartProp1")));
    }
};

QTEST_MAIN(TestDocFindForm)
#include "tst_docfindform.moc"
