// The custom property value editor, driven by its component names over a demo account set
// whose value table is seeded through its provider.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "DefPropValueMForm.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "RemoteConnection.h"
#include "support/FaultInjection.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

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

    // The values of the item (and those for all items) of the kind asked for; the property
    // list captioned from the part-custom record by kind; price handling only for entry
    // properties.
    void showLoads_data()
    {
        QTest::addColumn<int>("propType");
        QTest::addColumn<int>("partID");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("entry properties, all items")
            << 0 << 0 << 3
            << "WHERE PropType = 0 AND (PartID = 0 OR PartID = 0) ORDER BY PropID, PartID, "
               "PropCode, PropIndex"
            << kEntryCaptions.mid(0, 3) << QStringList{QStringLiteral("R")};
        QTest::newRow("entry properties, item 12")
            << 0 << 12 << 2
            << "WHERE PropType = 0 AND (PartID = 0 OR PartID = 12) ORDER BY PropID, PartID, "
               "PropCode, PropIndex"
            << kEntryCaptions.mid(0, 2) << QStringList{QStringLiteral("R"), QStringLiteral("B")};
        QTest::newRow("item properties")
            << 1 << 0 << 2
            << "WHERE PropType = 1 AND (PartID = 0 OR PartID = 0) ORDER BY PropID, PartID, "
               "PropCode, PropIndex"
            << QStringList{QStringLiteral("存货属性1"), QStringLiteral("存货属性2")}
            << QStringList{QStringLiteral("X")};
    }

    void showLoads()
    {
        QFETCH(int, propType);
        QFETCH(int, partID);
        QFETCH(int, count);
        QFETCH(QString, command);
        QFETCH(QStringList, captions);
        QFETCH(QStringList, codes);
        std::unique_ptr<TDefPropValueMForm> form(makeForm(propType, partID, count, "00"));
        ScriptedDialogs dialogs;
        QStringList shownCodes, shownCaptions;
        bool priceShown = false;
        show(*form, dialogs, [&](QTableView &grid) {
            shownCodes = visible(grid, "PropCode");
            priceShown = child<QComboBox>(*form, "cbPriceType")->isVisible();
            for (int c = 0; c < grid.model()->columnCount(); ++c)
                if (!grid.isColumnHidden(c))
                    shownCaptions << grid.model()->headerData(c, Qt::Horizontal).toString();
        });
        QCOMPARE(m_host->recorder.requests, QStringList{kProvider + QLatin1Char('|') + command});
        auto *props = child<QComboBox>(*form, "cbDefProp");
        QCOMPARE(items(props), captions);
        QCOMPARE(props->currentIndex(), 0);
        QCOMPARE(shownCodes, codes);
        QCOMPARE(priceShown, propType == 0);
        QCOMPARE(shownCaptions, (QStringList{QStringLiteral("代码"), QStringLiteral("名称"),
                                             QStringLiteral("备注")}));
        QCOMPARE(form->windowTitle(), QStringLiteral("编辑"));
        QCOMPARE(child<QLabel>(*form, "lbTitle")->text(), QStringLiteral(" 自定义属性值：编辑"));
        QCOMPARE(child<QLabel>(*form, "lbDefProp")->text(), QStringLiteral("自定义属性类别"));
        QCOMPARE(items(child<QComboBox>(*form, "cbPriceType")),
                 (QStringList{QStringLiteral("无价格处理"), QStringLiteral("加工费处理")}));
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

    // The fee column follows the selected property's price handling, and the form's width
    // follows the column, once per change.
    void feeColumn()
    {
        std::unique_ptr<TDefPropValueMForm> form(makeForm(0, 0, 4, "1010"));
        ScriptedDialogs dialogs;
        struct Seen
        {
            bool shown;
            int width;
            QString price;
        };
        QList<Seen> seen;
        show(*form, dialogs, [&](QTableView &grid) {
            auto *ds = form->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
            const int fee = ds->fieldIndex(QStringLiteral("PropAddPrice"));
            auto *props = child<QComboBox>(*form, "cbDefProp");
            auto *price = child<QComboBox>(*form, "cbPriceType");
            for (int p : {-1, 2, 1, 0}) {
                if (p >= 0)
                    props->setCurrentIndex(p);
                seen << Seen{!grid.isColumnHidden(fee), form->width(), price->currentText()};
            }
        });
        const int k = TDefPropValueMForm::kFeeColumnWidth;
        QCOMPARE(seen.size(), 4);
        QVERIFY(seen[0].shown); // property 0 has fee handling
        QCOMPARE(seen[0].price, QStringLiteral("加工费处理"));
        QVERIFY(seen[1].shown); // so has property 2: the form is not widened again
        QCOMPARE(seen[1].width, seen[0].width);
        QVERIFY(!seen[2].shown);
        QCOMPARE(seen[2].width, seen[0].width - k);
        QCOMPARE(seen[2].price, QStringLiteral("无价格处理"));
        QVERIFY(seen[3].shown);
        QCOMPARE(seen[3].width, seen[0].width);
        QCOMPARE(form->PriceFlags, QStringLiteral("1010"));
    }

    // New values are numbered on from the server's largest index in the order they were
    // added, belong to the dialog's item again (0: all items), and a row left without code
    // and value is dropped instead of refused.
    void saveNewValues_data()
    {
        QTest::addColumn<int>("partID");
        QTest::newRow("all items") << 0;
        QTest::newRow("item 12") << 12;
    }

    void saveNewValues()
    {
        QFETCH(int, partID);
        std::unique_ptr<TDefPropValueMForm> form(makeForm(0, partID, 3, "000"));
        auto *ds = form->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
        ScriptedDialogs dialogs;
        QStringList pending; // PropIndex, PartID, PropType of the rows added
        const int answer = show(*form, dialogs, [&](QTableView &grid) {
            typeNewValue(grid, QStringLiteral("W"), QStringLiteral("白"));
            typeNewValue(grid, QStringLiteral("K"), QStringLiteral("黑"));
            child<QComboBox>(*form, "cbDefProp")->setCurrentIndex(1);
            typeNewValue(grid, QStringLiteral("M"), QStringLiteral("中"));
            QTest::keyClick(&grid, Qt::Key_Insert); // left empty
            if (QLineEdit *e = openEditor(grid))
                QTest::keyClick(e, Qt::Key_Escape);
            ds->setFiltered(false);
            for (int r = 0; r < ds->recordCount(); ++r) {
                ds->setRecNo(r + 1);
                if (ds->asInteger(QStringLiteral("PropIndex")) < 1)
                    pending << QStringLiteral("%1 %2 %3")
                                   .arg(ds->asInteger(QStringLiteral("PropIndex")))
                                   .arg(ds->asInteger(QStringLiteral("PartID")))
                                   .arg(ds->asInteger(QStringLiteral("PropType")));
            }
            ds->setFiltered(true);
            child<QPushButton>(*form, "btnOk")->click();
        });
        QCOMPARE(answer, int(QDialog::Accepted));
        QCOMPARE(int(dialogs.shown.size()), 1);
        const QString marked = QString::number(partID == 0 ? -1 : -partID);
        QStringList expected;
        for (int n = 1; n <= 4; ++n)
            expected << QStringLiteral("-%1 %2 0").arg(n).arg(marked);
        QCOMPARE(pending, expected);

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
        const QString p = QString::number(partID);
        QCOMPARE(got, (QStringList{QStringLiteral("1 0 ") + p + QStringLiteral(" 0 W 白"),
                                   QStringLiteral("2 0 ") + p + QStringLiteral(" 0 K 黑"),
                                   QStringLiteral("3 1 ") + p + QStringLiteral(" 0 M 中")}));
        QCOMPARE(serverRows(server(), QStringLiteral("WHERE 1=1"))->recordCount(),
                 int(std::size(kSeed)) + 3);
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
        QCOMPARE(int(dialogs.shown.size()), 2);
        QCOMPARE(dialogs.shown[1].className, QStringLiteral("vexa::gl::TErrorInfoFrom"));
        QCOMPARE(dialogs.shown[1].text, QStringLiteral("必须输入属性值。"));
        QCOMPARE(codeAfter, QStringLiteral("Z")); // still on the row being edited
        QCOMPARE(stateAfter, ClientDataSet::State::Edit);
        QCOMPARE(propAfter, 0);
        QCOMPARE(serverRows(server(), QStringLiteral("WHERE 1=1"))->recordCount(),
                 int(std::size(kSeed)));
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
        for (int i : {1, 2}) {
            QCOMPARE(dialogs.shown[i].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
            QCOMPARE(dialogs.shown[i].text, QStringLiteral("必须指定自定义属性类别。"));
        }
    }

    // A value changed meanwhile by someone else: the server's refusal is shown and the
    // dialog stays open with the change.
    void serverErrorKeepsDialog()
    {
        std::unique_ptr<TDefPropValueMForm> form(makeForm(0, 0, 1, "0"));
        auto *ds = form->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
        ScriptedDialogs dialogs;
        bool stillShown = false;
        const int answer = show(*form, dialogs, [&](QTableView &grid) {
            dialogs.answer(mrOk);
            auto gone = serverRows(server(), QStringLiteral("WHERE PropCode = 'R'"));
            gone->deleteRecord();
            ApplyChanges(*gone, true);
            const int value = ds->fieldIndex(QStringLiteral("PropValue"));
            grid.model()->setData(grid.model()->index(0, value), QStringLiteral("朱红"));
            child<QPushButton>(*form, "btnOk")->click();
            stillShown = form->isVisible();
        });
        QCOMPARE(answer, 0);
        QVERIFY(stillShown);
        QCOMPARE(int(dialogs.shown.size()), 2);
        QCOMPARE(dialogs.shown[1].className, QStringLiteral("vexa::gl::TErrorInfoFrom"));
        QVERIFY(!dialogs.shown[1].text.isEmpty());
        QCOMPARE(ds->changeCount(), 1);
        QCOMPARE(ds->filter(), QStringLiteral("PropID = 0"));
        QVERIFY(ds->isFiltered());
    }

    // A save failed at each step, then tried again: the new value kept the number of the
    // failed try, which another user's value had taken meanwhile, and every retry failed.
    void retryAfterFaultNumbersAgain()
    {
        vexa::test::FaultyConnection faulty(server());
        Globals().AppServer = &faulty;
        for (int step = 1;; ++step) {
            std::unique_ptr<TDefPropValueMForm> form(makeForm(0, 0, 1, "0"));
            ScriptedDialogs dialogs;
            const QString code = QStringLiteral("N%1").arg(step);
            bool faulted = false;
            const int answer = show(*form, dialogs, [&](QTableView &grid) {
                typeNewValue(grid, code, QStringLiteral("新"));
                dialogs.answer(mrOk);
                faulty.failAt(step);
                child<QPushButton>(*form, "btnOk")->click();
                faulted = faulty.faulted();
                faulty.failAt(0);
                if (!faulted)
                    return;
                auto other = serverRows(server(), QStringLiteral("WHERE 1=0"));
                QVariantList args{QStringLiteral("T0101020"), QStringLiteral("PropIndex"),
                                  QString()};
                other->append();
                other->setValue(QStringLiteral("PropIndex"),
                                CallServer(QStringLiteral("GetFieldMaxValue"), args).toLongLong() +
                                    1);
                for (const char *field : {"PropID", "PartID", "PropType"})
                    other->setValue(QLatin1String(field), 0);
                other->setValue(QStringLiteral("PropCode"), QStringLiteral("O%1").arg(step));
                other->setValue(QStringLiteral("PropValue"), QStringLiteral("别人的"));
                ApplyChanges(*other, true);
                child<QPushButton>(*form, "btnOk")->click();
            });
            QVERIFY2(answer == QDialog::Accepted, qPrintable(QStringLiteral("step %1").arg(step)));
            QCOMPARE(serverRows(server(), QStringLiteral("WHERE PropCode = '%1'").arg(code))
                         ->recordCount(),
                     1);
            if (!faulted)
                break;
        }
    }

    // Fees show 2 to 6 decimals with thousands separated, in the grid as well.
    void feeFormat_data()
    {
        QTest::addColumn<double>("fee");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 1234.0 << "1,234.00";
        QTest::newRow("six decimals") << 0.123456 << "0.123456";
        QTest::newRow("beyond six") << 1234567.1234567 << "1,234,567.123457";
        QTest::newRow("negative") << -98765.5 << "-98,765.50";
        QTest::newRow("zero") << 0.0 << "0.00";
        QTest::newRow("negative rounding to zero") << -0.0000001 << "0.00";
    }

    void feeFormat()
    {
        QFETCH(double, fee);
        QFETCH(QString, text);
        QCOMPARE(TDefPropValueMForm::FormatFee(fee), text);
    }

    void feeInGrid()
    {
        std::unique_ptr<TDefPropValueMForm> form(makeForm(0, 0, 1, "1"));
        auto *ds = form->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
        ScriptedDialogs dialogs;
        QString shown;
        show(*form, dialogs, [&](QTableView &grid) {
            const QModelIndex fee =
                grid.model()->index(0, ds->fieldIndex(QStringLiteral("PropAddPrice")));
            grid.model()->setData(fee, 2500.75);
            shown = fee.data().toString();
        });
        QCOMPARE(shown, QStringLiteral("2,500.75"));
    }
};

QTEST_MAIN(TestDefPropValueMForm)
#include "tst_defpropvaluemform.moc"
