// The custom property value editor, driven by its component names over a demo account set
// whose value table is seeded through its provider.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "DefPropValueMForm.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "PropValueSave.h"
#include "RemoteConnection.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {

using vexa::test::RecordingHost;

const QString kProvider = QStringLiteral("LX_DMMaterielPropValue");
const QStringList kEntryCaptions = {
    QStringLiteral("颜色"), QStringLiteral("尺码"), QStringLiteral("材质"), QStringLiteral("等级"),
    QStringLiteral("批次"), QStringLiteral("产地"), QStringLiteral("包装"), QStringLiteral("规格"),
    QStringLiteral("季节"), QStringLiteral("款式")};

struct ValueRow
{
    int index, prop, part, type;
    const char *code, *value;
};
// Values of property 0 for all items (R), for item 12 (B) and item 13 (G), of property 1
// (L), and one item property (X).
const ValueRow kSeed[] = {{3, 0, 0, 0, "R", "红"},
                          {8, 0, 12, 0, "B", "蓝"},
                          {5, 1, 0, 0, "L", "大"},
                          {14, 0, 13, 0, "G", "绿"},
                          {21, 0, 0, 1, "X", "甲"}};

// The part-custom record as the account set keeps it: entry property captions DefProp0..9,
// item property captions PartProp1..20.
QString captionPacket()
{
    DataPacket p;
    QVariantList row;
    for (int i = 0; i < 10; ++i) {
        p.fields << FieldDef{QStringLiteral("DefProp%1").arg(i), FieldType::String, 64};
        row << kEntryCaptions[i];
    }
    for (int i = 1; i <= 20; ++i) {
        p.fields << FieldDef{QStringLiteral("PartProp%1").arg(i), FieldType::String};
        row << QStringLiteral("存货属性%1").arg(i);
    }
    p.rows.push_back(row);
    return writeDataPacket(p);
}

std::unique_ptr<ClientDataSet> serverRows(IRemoteConnection *connection, const QString &where)
{
    auto ds = std::make_unique<ClientDataSet>();
    ds->setRemoteConnection(connection);
    ds->setProviderName(kProvider);
    ds->setCommandText(where);
    ds->open();
    return ds;
}

QStringList visible(QTableView &grid, const char *field)
{
    auto *ds = grid.parent()->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
    QStringList values;
    for (int r = 0; r < ds->recordCount(); ++r)
        values << ds->valueAt(r, ds->fieldIndex(QLatin1String(field))).toString();
    return values;
}

QStringList items(QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

// The cell editor that is open in the grid, if any (closed ones are hidden until deleted).
template <typename Editor = QLineEdit> Editor *openEditor(QTableView &grid)
{
    for (Editor *e : grid.viewport()->findChildren<Editor *>())
        if (e->isVisible())
            return e;
    return nullptr;
}

} // namespace

class TestDefPropValueMForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<RecordingHost> m_host;
    qlonglong m_seedMax = 0;

    IRemoteConnection *server() { return m_host->connection.get(); }

    TDefPropValueMForm *makeForm(int propType, int partID, int count, const QString &flags)
    {
        auto *form = new TDefPropValueMForm;
        form->CaptionData = captionPacket();
        form->PropType = propType;
        form->PartID = partID;
        form->PropCount = count;
        form->PriceFlags = flags;
        return form;
    }

    // Shows the editor as a caller does; script runs while it is shown, with dialogs
    // answering the messages it raises.
    int show(TDefPropValueMForm &form, ScriptedDialogs &dialogs,
             const std::function<void(QTableView &)> &script)
    {
        dialogs.answerWith([&](QDialog &d) {
            script(*form.findChild<QTableView *>(QStringLiteral("grdData")));
            return d.result();
        });
        return DialogService::instance().exec(form);
    }

    template <typename T> static T *child(QObject &form, const char *name)
    {
        return form.findChild<T *>(QLatin1String(name));
    }

    // The rows saved after the seed: index above the seed's, PropID, PartID, PropType,
    // code and value.
    QStringList savedRows()
    {
        auto saved = serverRows(
            server(), QStringLiteral("WHERE PropIndex > %1 ORDER BY PropIndex").arg(m_seedMax));
        QStringList got;
        for (saved->first(); !saved->eof(); saved->next())
            got << QStringLiteral("%1 %2 %3 %4 %5 %6")
                       .arg(saved->asInteger(QStringLiteral("PropIndex")) - m_seedMax)
                       .arg(saved->asInteger(QStringLiteral("PropID")))
                       .arg(saved->asInteger(QStringLiteral("PartID")))
                       .arg(saved->asInteger(QStringLiteral("PropType")))
                       .arg(saved->asString(QStringLiteral("PropCode")),
                            saved->asString(QStringLiteral("PropValue")));
        return got;
    }

    // Enter commits a cell through the event loop, which runs before the user's next key.
    static void pressEnter(QWidget *editor)
    {
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    // A new value typed as the user does: Insert, the code, Tab, the value, Enter.
    static void typeNewValue(QTableView &grid, const QString &code, const QString &value)
    {
        QTest::keyClick(&grid, Qt::Key_Insert);
        if (QLineEdit *e = openEditor(grid)) {
            QTest::keyClicks(e, code);
            QTest::keyClick(e, Qt::Key_Tab);
        }
        if (QLineEdit *e = openEditor(grid)) {
            e->setText(value); // typed through an input method: no key events to send
            pressEnter(e);
        }
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    }

    // Each case gets its own account set with the seeded values.
    void init()
    {
        Settings() = ClientSettings();
        Globals() = PluginGlobals();
        m_host = std::make_unique<RecordingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
        auto ds = serverRows(server(), QStringLiteral("WHERE 1=1"));
        for (const ValueRow &r : kSeed) {
            ds->append();
            ds->setValue(QStringLiteral("PropIndex"), r.index);
            ds->setValue(QStringLiteral("PropID"), r.prop);
            ds->setValue(QStringLiteral("PartID"), r.part);
            ds->setValue(QStringLiteral("PropType"), r.type);
            ds->setValue(QStringLiteral("PropCode"), QString::fromUtf8(r.code));
            ds->setValue(QStringLiteral("PropValue"), QString::fromUtf8(r.value));
            ds->post();
            m_seedMax = std::max<qlonglong>(m_seedMax, r.index);
        }
        ApplyChanges(*ds, true);
        m_host->recorder.requests.clear();
    }

    void cleanup()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // The save plan: new rows numbered on from the server's largest index in list order,
    // given back the item (0: all items) and the kind, rows without code and value dropped.
    void savePlan_data()
    {
        QTest::addColumn<int>("partID");
        QTest::newRow("all items") << 0;
        QTest::newRow("item 12") << 12;
    }

    void savePlan()
    {
        QFETCH(int, partID);
        auto ds = serverRows(server(), TDefPropValueMForm::CommandText(0, partID));
        int n = 0;
        for (const auto &[prop, code, value] :
             {std::tuple{0, "W", "白"}, std::tuple{0, "", ""}, std::tuple{1, "M", "中"},
              std::tuple{0, "K", "黑"}}) {
            ds->append();
            ds->setValue(QStringLiteral("PropID"), prop);
            ds->setValue(QStringLiteral("PartID"), partID == 0 ? -1 : -partID);
            ds->setValue(QStringLiteral("PropIndex"), --n);
            ds->setValue(QStringLiteral("PropType"), 1); // the save sets the dialog's kind
            ds->setValue(QStringLiteral("PropCode"), QString::fromUtf8(code));
            ds->setValue(QStringLiteral("PropValue"), QString::fromUtf8(value));
            ds->post();
        }
        ds->edit(); // a row left being edited is saved as well
        ds->setValue(QStringLiteral("PropRemark"), QStringLiteral("备"));
        ds->setFilter(QStringLiteral("PropID = 0"));
        ds->setFiltered(true);
        PropValueSave::PostBeforeSave(*ds);
        PropValueSave::Save(*ds, partID, 0);
        QVERIFY(ds->isFiltered());
        QCOMPARE(ds->changeCount(), 0);
        const QString p = QString::number(partID);
        QCOMPARE(savedRows(),
                 (QStringList{QStringLiteral("1 0 ") + p + QStringLiteral(" 0 W 白"),
                              QStringLiteral("2 1 ") + p + QStringLiteral(" 0 M 中"),
                              QStringLiteral("3 0 ") + p + QStringLiteral(" 0 K 黑")}));
    }

    // Refused or failed saves write nothing and leave the rows as they were: unnumbered,
    // the blank row back, the filter on.
    void saveRefusals_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("a new row without value") << "novalue"
                                                 << "必须输入属性值。";
        QTest::newRow("a row another user deleted") << "deleted"
                                                    << "";
    }

    void saveRefusals()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        auto ds = serverRows(server(), TDefPropValueMForm::CommandText(0, 0));
        const int rows = ds->recordCount();
        for (const auto &[index, code, value] :
             {std::tuple{-1, "N", fault == u"novalue" ? "" : "新"}, std::tuple{-2, "", ""}}) {
            ds->append(); // the second is blank: dropped by a save
            ds->setValue(QStringLiteral("PropIndex"), index);
            for (const char *field : {"PropID", "PartID", "PropType"})
                ds->setValue(QLatin1String(field), 0);
            ds->setValue(QStringLiteral("PropCode"), QString::fromUtf8(code));
            ds->setValue(QStringLiteral("PropValue"), QString::fromUtf8(value));
            ds->post();
        }
        if (fault == u"deleted") {
            ds->first();
            ds->edit();
            ds->setValue(QStringLiteral("PropValue"), QStringLiteral("朱红"));
            ds->post();
            auto gone = serverRows(server(), QStringLiteral("WHERE PropCode = 'R'"));
            gone->deleteRecord();
            ApplyChanges(*gone, true);
        }
        ds->setFilter(QStringLiteral("PropID = 0"));
        ds->setFiltered(true);
        const QString error = errorOf([&] { PropValueSave::Save(*ds, 0, 0); });
        QVERIFY(!error.isEmpty());
        if (!message.isEmpty())
            QCOMPARE(error, message);
        QVERIFY(ds->isFiltered());
        QCOMPARE(ds->state(), ClientDataSet::State::Browse);
        ds->setFiltered(false);
        QCOMPARE(ds->recordCount(), rows + 2); // the blank row is back
        QVERIFY(ds->locate(QStringLiteral("PropCode"), QStringLiteral("N")));
        QCOMPARE(ds->asInteger(QStringLiteral("PropIndex")), -1);
        QCOMPARE(savedRows(), QStringList());
    }

    // The values of the item (and those for all items) of the kind asked for; the property
    // list captioned from the part-custom record by kind; price handling only for entry
    // properties.
    void showLoads_data()
    {
        QTest::addColumn<int>("propType");
        QTest::addColumn<int>("partID");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("entry properties, all items")
            << 0 << 0 << kEntryCaptions.mid(0, 2) << QStringList{QStringLiteral("R")};
        QTest::newRow("entry properties, item 12")
            << 0 << 12 << kEntryCaptions.mid(0, 2)
            << QStringList{QStringLiteral("R"), QStringLiteral("B")};
        QTest::newRow("item properties")
            << 1 << 0 << QStringList{QStringLiteral("存货属性1"), QStringLiteral("存货属性2")}
            << QStringList{QStringLiteral("X")};
    }

    void showLoads()
    {
        QFETCH(int, propType);
        QFETCH(int, partID);
        QFETCH(QStringList, captions);
        QFETCH(QStringList, codes);
        std::unique_ptr<TDefPropValueMForm> form(makeForm(propType, partID, 2, "00"));
        ScriptedDialogs dialogs;
        QStringList shownCodes;
        bool priceShown = false;
        show(*form, dialogs, [&](QTableView &grid) {
            shownCodes = visible(grid, "PropCode");
            priceShown = child<QComboBox>(*form, "cbPriceType")->isVisible();
        });
        QCOMPARE(m_host->recorder.requests,
                 QStringList{kProvider + QLatin1Char('|') +
                             TDefPropValueMForm::CommandText(propType, partID)});
        QCOMPARE(items(child<QComboBox>(*form, "cbDefProp")), captions);
        QCOMPARE(shownCodes, codes);
        QCOMPARE(priceShown, propType == 0);
    }

    // Choosing a price handling changes only the selected property's flag; a short flag
    // text is filled with "0" up to it.
    void priceFlags_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<int>("prop");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("fee for property 2") << "0000" << 2 << "1"
                                            << "0010";
        QTest::newRow("short flag text") << "0" << 2 << "1"
                                         << "0010";
        QTest::newRow("no fee for property 0") << "1101" << 0 << "0"
                                               << "0101";
    }

    void priceFlags()
    {
        QFETCH(QString, flags);
        QFETCH(int, prop);
        QFETCH(QString, code);
        QFETCH(QString, expected);
        std::unique_ptr<TDefPropValueMForm> form(makeForm(0, 0, 4, flags));
        ScriptedDialogs dialogs;
        show(*form, dialogs, [&](QTableView &) {
            child<QComboBox>(*form, "cbDefProp")->setCurrentIndex(prop);
            auto *price = child<QComboBox>(*form, "cbPriceType");
            price->setCurrentIndex(price->findData(code));
        });
        QCOMPARE(form->PriceFlags, expected);
    }

    // The window as a user drives it: values typed into the grid of two properties, an
    // empty row, a fee, then 确认.
    void smoke()
    {
        std::unique_ptr<TDefPropValueMForm> form(makeForm(0, 0, 3, "100"));
        ScriptedDialogs dialogs;
        QString fee;
        const int answer = show(*form, dialogs, [&](QTableView &grid) {
            typeNewValue(grid, QStringLiteral("W"), QStringLiteral("白"));
            auto *ds = form->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
            const QModelIndex feeCell = grid.model()->index(
                ds->recNo() - 1, ds->fieldIndex(QStringLiteral("PropAddPrice")));
            grid.model()->setData(feeCell, 2500.75);
            fee = feeCell.data().toString();
            child<QComboBox>(*form, "cbDefProp")->setCurrentIndex(1);
            typeNewValue(grid, QStringLiteral("M"), QStringLiteral("中"));
            QTest::keyClick(&grid, Qt::Key_Insert); // left empty
            if (QLineEdit *e = openEditor(grid))
                QTest::keyClick(e, Qt::Key_Escape);
            child<QPushButton>(*form, "btnOk")->click();
        });
        QCOMPARE(answer, int(QDialog::Accepted));
        QCOMPARE(fee, QStringLiteral("2,500.75"));
        QCOMPARE(savedRows(),
                 (QStringList{QStringLiteral("1 0 0 0 W 白"), QStringLiteral("2 1 0 0 M 中")}));
    }

    // A value row with a code but no value cannot be left, nor saved; the dialog stays.
    void valueRequired_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("leaving the row") << "row";
        QTest::newRow("choosing another property") << "property";
        QTest::newRow("确认") << "ok";
    }

    void valueRequired()
    {
        QFETCH(QString, how);
        std::unique_ptr<TDefPropValueMForm> form(makeForm(0, 0, 3, "000"));
        auto *ds = form->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
        auto *props = child<QComboBox>(*form, "cbDefProp");
        ScriptedDialogs dialogs;
        QString codeAfter;
        int propAfter = -1;
        ClientDataSet::State stateAfter{};
        const int answer = show(*form, dialogs, [&](QTableView &grid) {
            dialogs.answer(mrOk); // the error
            QTest::keyClick(&grid, Qt::Key_Insert);
            if (QLineEdit *e = openEditor(grid)) {
                QTest::keyClicks(e, QStringLiteral("Z"));
                pressEnter(e);
            }
            if (how == QLatin1String("row"))
                grid.setCurrentIndex(grid.model()->index(0, grid.currentIndex().column()));
            else if (how == QLatin1String("property"))
                props->setCurrentIndex(1);
            else
                child<QPushButton>(*form, "btnOk")->click();
            QCoreApplication::processEvents();
            codeAfter = ds->asString(QStringLiteral("PropCode"));
            propAfter = props->currentIndex();
            stateAfter = ds->state();
        });
        QCOMPARE(answer, 0);
        QCOMPARE(dialogs.shown.value(1).text, QStringLiteral("必须输入属性值。"));
        QCOMPARE(codeAfter, QStringLiteral("Z")); // still on the row being edited
        QCOMPARE(stateAfter, ClientDataSet::State::Edit);
        QCOMPARE(propAfter, 0);
        QCOMPARE(savedRows(), QStringList());
    }

    // Without properties nothing can be added or confirmed.
    void noProperty()
    {
        std::unique_ptr<TDefPropValueMForm> form(makeForm(0, 0, 0, QString()));
        auto *ds = form->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
        ScriptedDialogs dialogs;
        int before = -1, after = -1;
        const int answer = show(*form, dialogs, [&](QTableView &grid) {
            dialogs.answer(mrOk);
            dialogs.answer(mrOk);
            before = ds->recordCount();
            QTest::keyClick(&grid, Qt::Key_Insert);
            after = ds->recordCount();
            child<QPushButton>(*form, "btnOk")->click();
        });
        QCOMPARE(answer, 0);
        QCOMPARE(after, before);
        QCOMPARE(int(dialogs.shown.size()), 3);
        QCOMPARE(dialogs.shown[2].text, QStringLiteral("必须指定自定义属性类别。"));
    }

    // Fees show 2 to 6 decimals with thousands separated.
    void feeFormat_data()
    {
        QTest::addColumn<double>("fee");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 1234.0 << "1,234.00";
        QTest::newRow("six decimals") << 0.123456 << "0.123456";
        QTest::newRow("beyond six") << 1234567.1234567 << "1,234,567.123457";
        QTest::newRow("negative") << -98765.5 << "-98,765.50";
        QTest::newRow("negative rounding to zero") << -0.0000001 << "0.00";
    }

    void feeFormat()
    {
        QFETCH(double, fee);
        QFETCH(QString, text);
        QCOMPARE(TDefPropValueMForm::FormatFee(fee), text);
    }
};

QTEST_MAIN(TestDefPropValueMForm)
#include "tst_defpropvaluemform.moc"
