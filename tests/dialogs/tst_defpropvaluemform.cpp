// The save of custom property values and their price flags as plain rules, and one walk
// through the editor, over a demo account set whose value table is seeded.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "DefPropValueMForm.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "PropValueSave.h"
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
using S = QString;

const QString kProvider = S("LX_DMMaterielPropValue");

// Values of property 0 for all items (R), for item 12 (B) and item 13 (G), of property 1
// (L), and one item property (X): index, property, item, kind, code, value.
const std::tuple<int, int, int, int, const char *, const char *> kSeed[] = {
    {3, 0, 0, 0, "R", "红"},
    {8, 0, 12, 0, "B", "蓝"},
    {5, 1, 0, 0, "L", "大"},
    {14, 0, 13, 0, "G", "绿"},
    {21, 0, 0, 1, "X", "甲"}};
constexpr int kSeedMax = 21;

// The part-custom record: entry property captions DefProp0..1, item ones PartProp1..2.
QString captionPacket()
{
    DataPacket p;
    for (const char *name : {"DefProp0", "DefProp1", "PartProp1", "PartProp2"})
        p.fields << FieldDef{QLatin1String(name), FieldType::String, 64};
    p.rows.push_back({S("颜色"), S("尺码"), S("存货属性1"), S("存货属性2")});
    return writeDataPacket(p);
}

std::unique_ptr<ClientDataSet> serverRows(const QString &where)
{
    return ProviderDataSet(kProvider, where);
}

// The cell editor that is open in the grid, if any (closed ones are hidden until deleted).
QLineEdit *openEditor(QTableView &grid)
{
    for (QLineEdit *e : grid.viewport()->findChildren<QLineEdit *>())
        if (e->isVisible())
            return e;
    return nullptr;
}

// Enter commits a cell through the event loop, which runs before the user's next key.
void pressEnter(QWidget *editor)
{
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
}

// A new value typed as the user does: Insert, the code, Tab, the value, Enter.
void typeNewValue(QTableView &grid, const QString &code, const QString &value)
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

// The rows saved after the seed: index above the seed's, PropID, PartID, PropType, code
// and value.
QStringList savedRows()
{
    auto saved = serverRows(S("WHERE PropIndex > %1 ORDER BY PropIndex").arg(kSeedMax));
    QStringList got;
    for (saved->first(); !saved->eof(); saved->next()) {
        QStringList row{QString::number(saved->asInteger(S("PropIndex")) - kSeedMax)};
        for (const char *f : {"PropID", "PartID", "PropType", "PropCode", "PropValue"})
            row << saved->asString(QLatin1String(f));
        got << row.join(QLatin1Char(' '));
    }
    return got;
}

// Unsaved rows as the editor makes them, numbered below 0: property, code, value.
void appendNew(ClientDataSet &ds, int partID,
               std::initializer_list<std::tuple<int, const char *, const char *>> rows)
{
    int n = 0;
    for (const auto &[prop, code, value] : rows) {
        ds.append();
        ds.setValue(S("PropID"), prop);
        ds.setValue(S("PartID"), partID == 0 ? -1 : -partID);
        ds.setValue(S("PropIndex"), --n);
        ds.setValue(S("PropType"), 1); // the save sets the dialog's kind
        ds.setValue(S("PropCode"), QString::fromUtf8(code));
        ds.setValue(S("PropValue"), QString::fromUtf8(value));
        ds.post();
    }
}

} // namespace

class TestDefPropValueMForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<RecordingHost> m_host;

    // Shows the editor as a caller does; script runs while it is shown.
    static int show(TDefPropValueMForm &form, ScriptedDialogs &dialogs,
                    const std::function<void(QTableView &)> &script)
    {
        dialogs.answerWith([&](QDialog &d) {
            script(*child<QTableView>(form, S("grdData")));
            return d.result();
        });
        return DialogService::instance().exec(form);
    }

    static std::unique_ptr<TDefPropValueMForm> makeForm(int propType, int partID,
                                                        const QString &flags)
    {
        auto form = std::make_unique<TDefPropValueMForm>();
        form->CaptionData = captionPacket();
        form->PropType = propType;
        form->PartID = partID;
        form->PropCount = 2;
        form->PriceFlags = flags;
        return form;
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
        m_host = std::make_unique<RecordingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
        auto ds = serverRows(S("WHERE 1=1"));
        for (const auto &[index, prop, part, type, code, value] : kSeed) {
            const QVariantList values{index, prop, part, type, S(code), S(value)};
            const char *fields[] = {"PropIndex", "PropID",   "PartID",
                                    "PropType",  "PropCode", "PropValue"};
            ds->append();
            for (int f = 0; f < values.size(); ++f)
                ds->setValue(QLatin1String(fields[f]), values[f]);
            ds->post();
        }
        ApplyChanges(*ds, true);
        m_host->recorder.requests.clear();
    }

    void cleanup()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // New rows numbered on from the server's largest index in list order, given back the
    // item (0: all items) and the kind; rows without code and value dropped.
    void savePlan_data()
    {
        QTest::addColumn<int>("partID");
        QTest::newRow("all items") << 0;
        QTest::newRow("item 12") << 12;
    }

    void savePlan()
    {
        QFETCH(int, partID);
        auto ds = serverRows(TDefPropValueMForm::CommandText(0, partID));
        appendNew(*ds, partID, {{0, "W", "白"}, {0, "", ""}, {1, "M", "中"}, {0, "K", "黑"}});
        ds->setFilter(S("PropID = 0"));
        ds->setFiltered(true);
        ds->edit(); // a row left being edited is saved as well
        ds->setValue(S("PropRemark"), S("备"));
        PropValueSave::PostBeforeSave(*ds);
        PropValueSave::Save(*ds, partID, 0);
        QVERIFY(ds->isFiltered());
        QCOMPARE(ds->changeCount(), 0);
        const QString p = QString::number(partID);
        QCOMPARE(savedRows(), (QStringList{S("1 0 %1 0 W 白").arg(p), S("2 1 %1 0 M 中").arg(p),
                                           S("3 0 %1 0 K 黑").arg(p)}));
    }

    // Refused or failed saves write nothing and leave the rows as they were: unnumbered,
    // the blank row back, the filter on.
    void saveRefusals_data()
    {
        QTest::addColumn<bool>("noValue");
        QTest::newRow("a new row without value") << true;
        QTest::newRow("a row another user deleted") << false;
    }

    void saveRefusals()
    {
        QFETCH(bool, noValue);
        auto ds = serverRows(TDefPropValueMForm::CommandText(0, 0));
        const int rows = ds->recordCount();
        appendNew(*ds, 0, {{0, "N", noValue ? "" : "新"}, {0, "", ""}});
        if (!noValue) {
            ds->first();
            ds->edit();
            ds->setValue(S("PropValue"), S("朱红"));
            ds->post();
            auto gone = serverRows(S("WHERE PropCode = 'R'"));
            gone->deleteRecord();
            ApplyChanges(*gone, true);
        }
        ds->setFilter(S("PropID = 0"));
        ds->setFiltered(true);
        const QString error = errorOf([&] { PropValueSave::Save(*ds, 0, 0); });
        QVERIFY(!error.isEmpty());
        if (noValue)
            QCOMPARE(error, PropValueSave::ValueRequiredMessage);
        QVERIFY(ds->isFiltered());
        QCOMPARE(ds->state(), ClientDataSet::State::Browse);
        ds->setFiltered(false);
        QCOMPARE(ds->recordCount(), rows + 2); // the blank row is back
        QVERIFY(ds->locate(S("PropCode"), S("N")));
        QCOMPARE(ds->asInteger(S("PropIndex")), -1);
        QCOMPARE(savedRows(), QStringList());
    }

    // Only the chosen property's flag changes; a short flag text is filled with "0" up to
    // it or to the property count.
    void priceFlags_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<int>("prop");
        QTest::addColumn<QChar>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("fee for property 2") << "0000" << 2 << QChar(u'1') << "0010";
        QTest::newRow("short flag text") << "0" << 2 << QChar(u'1') << "00100";
        QTest::newRow("short, past the count") << "" << 5 << QChar(u'1') << "000001";
        QTest::newRow("no fee for property 0") << "1101" << 0 << QChar(u'0') << "0101";
        QTest::newRow("short, already without") << "1" << 3 << QChar(u'0') << "1";
    }

    void priceFlags()
    {
        QFETCH(QString, flags);
        QFETCH(int, prop);
        QFETCH(QChar, code);
        QFETCH(QString, expected);
        QCOMPARE(PropValueSave::SetPriceFlag(flags, prop, 5, code), expected);
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

    // The values of the item (and those for all items) of the kind asked for, the property
    // list captioned by kind; price handling only for entry properties.
    void showLoads_data()
    {
        QTest::addColumn<int>("propType");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("entry properties, item 12")
            << 0 << QStringList{S("颜色"), S("尺码")} << QStringList{S("R"), S("B")};
        QTest::newRow("item properties")
            << 1 << QStringList{S("存货属性1"), S("存货属性2")} << QStringList{S("X")};
    }

    void showLoads()
    {
        QFETCH(int, propType);
        QFETCH(QStringList, captions);
        QFETCH(QStringList, codes);
        auto form = makeForm(propType, 12, S("00"));
        ScriptedDialogs dialogs;
        QStringList shown;
        bool priceShown = false;
        show(*form, dialogs, [&](QTableView &) {
            auto *ds = child<ClientDataSet>(*form, S("cdsData"));
            for (ds->first(); !ds->eof(); ds->next())
                shown << ds->asString(S("PropCode"));
            priceShown = child<QComboBox>(*form, S("cbPriceType"))->isVisible();
        });
        QCOMPARE(m_host->recorder.requests,
                 QStringList{kProvider + S("|") + TDefPropValueMForm::CommandText(propType, 12)});
        auto *props = child<QComboBox>(*form, S("cbDefProp"));
        QCOMPARE((QStringList{props->itemText(0), props->itemText(1)}), captions);
        QCOMPARE(shown, codes);
        QCOMPARE(priceShown, propType == 0);
    }

    // The window as a user drives it: values typed into the grid of two properties, a fee,
    // a value missing (neither another row nor another property can be chosen until it is
    // given), a price handling chosen, an empty row, then 确认.
    void smoke()
    {
        auto form = makeForm(0, 0, S("10"));
        auto *ds = child<ClientDataSet>(*form, S("cdsData"));
        auto *props = child<QComboBox>(*form, S("cbDefProp"));
        ScriptedDialogs dialogs;
        QString fee, codeAfter;
        int propAfter = -1;
        const int answer = show(*form, dialogs, [&](QTableView &grid) {
            typeNewValue(grid, S("W"), S("白"));
            const auto cell = [&](const char *field) {
                return grid.model()->index(ds->recNo() - 1, ds->fieldIndex(QLatin1String(field)));
            };
            grid.model()->setData(cell("PropAddPrice"), 2500.75);
            fee = cell("PropAddPrice").data().toString();

            for (int i = 0; i < 3; ++i)
                dialogs.answer(mrOk);
            QTest::keyClick(&grid, Qt::Key_Insert);
            if (QLineEdit *e = openEditor(grid)) {
                QTest::keyClicks(e, S("Z"));
                pressEnter(e);
            }
            const QModelIndex first = grid.model()->index(0, ds->fieldIndex(S("PropRemark")));
            grid.setCurrentIndex(first);
            QCoreApplication::processEvents();
            props->setCurrentIndex(1);
            grid.model()->setData(first, S("备"));
            QCoreApplication::processEvents();
            codeAfter = ds->asString(S("PropCode"));
            propAfter = props->currentIndex();
            grid.model()->setData(cell("PropValue"), S("紫"));
            grid.model()->setData(first, S("备"));
            grid.setCurrentIndex(grid.model()->index(2, 0));

            props->setCurrentIndex(1);
            auto *price = child<QComboBox>(*form, S("cbPriceType"));
            price->setCurrentIndex(price->findData(S("1")));
            typeNewValue(grid, S("M"), S("中"));
            typeNewValue(grid, S("D"), S("删"));
            QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
            QTest::keyClick(&grid, Qt::Key_Insert); // left empty
            if (QLineEdit *e = openEditor(grid))
                QTest::keyClick(e, Qt::Key_Escape);
            child<QPushButton>(*form, S("btnOk"))->click();
        });
        QCOMPARE(answer, int(QDialog::Accepted));
        QCOMPARE(fee, S("2,500.75"));
        QCOMPARE(dialogs.shown.value(1).text, PropValueSave::ValueRequiredMessage);
        QCOMPARE(dialogs.shown.value(2).text, PropValueSave::ValueRequiredMessage);
        QCOMPARE(dialogs.shown.value(3).text, PropValueSave::ValueRequiredMessage);
        QCOMPARE(codeAfter, S("Z")); // still on the row being edited
        QCOMPARE(propAfter, 0);
        QCOMPARE(form->PriceFlags, S("11"));
        QCOMPARE(savedRows(),
                 (QStringList{S("1 0 0 0 W 白"), S("2 0 0 0 Z 紫"), S("3 1 0 0 M 中")}));

        // Without properties nothing can be added or confirmed.
        auto none = makeForm(0, 0, QString());
        none->PropCount = 0;
        int added = -1;
        show(*none, dialogs, [&](QTableView &grid) {
            dialogs.answer(mrOk);
            dialogs.answer(mrOk);
            const int rows = child<ClientDataSet>(*none, S("cdsData"))->recordCount();
            QTest::keyClick(&grid, Qt::Key_Insert);
            added = child<ClientDataSet>(*none, S("cdsData"))->recordCount() - rows;
            child<QPushButton>(*none, S("btnOk"))->click();
        });
        QCOMPARE(dialogs.shown.constLast().text, S("必须指定自定义属性类别。"));
        QCOMPARE(added, 0);
    }
};

QTEST_MAIN(TestDefPropValueMForm)
#include "tst_defpropvaluemform.moc"
