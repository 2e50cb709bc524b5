// The filter builder: the condition text its rows give, the value checks and their
// messages, the offered columns, the rows kept between openings, and that what it writes
// runs on the server like the hand-written condition.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataSetModel.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "SetWhereForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <vexa/Error.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;
using vexa::test::TestHost;

namespace {

const QList<FieldDef> kFields = {
    {QStringLiteral("PartCode"), FieldType::String, 20},
    {QStringLiteral("Memo"), FieldType::Memo},
    {QStringLiteral("Qty"), FieldType::Integer},
    {QStringLiteral("Small"), FieldType::SmallInt},
    {QStringLiteral("Count"), FieldType::Word},
    {QStringLiteral("Big"), FieldType::LargeInt},
    {QStringLiteral("Price"), FieldType::Float},
    {QStringLiteral("Amount"), FieldType::Currency},
    {QStringLiteral("Rate"), FieldType::BCD},
    {QStringLiteral("Flag"), FieldType::Boolean},
    {QStringLiteral("Day"), FieldType::Date},
    {QStringLiteral("At"), FieldType::Time},
    {QStringLiteral("Stamp"), FieldType::DateTime},
};

// "field|relation|value" per row.
QList<ConditionRow> rowsOf(const QStringList &texts)
{
    QList<ConditionRow> rows;
    for (const QString &t : texts) {
        const QStringList p = t.split(u'|');
        rows.append({p.value(0), p.value(1), p.value(2)});
    }
    return rows;
}

QStringList column(const ClientDataSet &ds, const QString &field)
{
    QStringList out;
    for (int r = 0; r < ds.recordCount(); ++r)
        out << ds.valueAt(r, ds.fieldIndex(field)).toString();
    return out;
}

QStringList keysOf(const DataPacket &packet, const QString &key)
{
    QStringList out;
    for (const QVariantList &row : packet.rows)
        out << row[indexOfField(packet.fields, key)].toString();
    out.sort();
    return out;
}

} // namespace

class TestSetWhereForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<ClientDataSet> m_accounts; // the lookup's dataset on LX_BMListAccounting
    std::unique_ptr<QTableView> m_accountView;

    QTableView *grid(TSetWhereForm &f)
    {
        return f.findChild<QTableView *>(QStringLiteral("grdData"));
    }
    ClientDataSet *data(TSetWhereForm &f)
    {
        return f.findChild<ClientDataSet *>(QStringLiteral("cdsData"));
    }
    ClientDataSet *viewCols(TSetWhereForm &f)
    {
        return f.findChild<ClientDataSet *>(QStringLiteral("cdsViewCol"));
    }
    QModelIndex cell(TSetWhereForm &f, int row, const char *field)
    {
        return grid(f)->model()->index(row, data(f)->fieldIndex(QLatin1String(field)));
    }
    // Types into a row through the grid, as the editors do.
    void type(TSetWhereForm &f, int row, const QString &field, const QString &relation,
              const QString &value)
    {
        QAbstractItemModel *m = grid(f)->model();
        QVERIFY(m->setData(cell(f, row, "FieldName"), field));
        QVERIFY(m->setData(cell(f, row, "IFValue"), relation));
        QVERIFY(m->setData(cell(f, row, "Value"), value));
    }
    void click(TSetWhereForm &f, const char *button)
    {
        f.findChild<QPushButton *>(QLatin1String(button))->click();
    }
    // Shows the form modally; act runs while it is open.
    int run(ScriptedDialogs &dialogs, TSetWhereForm &f, std::function<void()> act)
    {
        dialogs.answerWith([act](QDialog &d) {
            act();
            return d.result();
        });
        return DialogService::instance().exec(f);
    }
    std::unique_ptr<TSetWhereForm> accountForm()
    {
        auto f = std::make_unique<TSetWhereForm>();
        f->SourceView = m_accountView.get();
        f->SourceDataSet = m_accounts.get();
        return f;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<TestHost>();
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = m_host->connection.get();

        // The enterprise chart of accounts, loaded as the template load does.
        auto &c = *m_host->connection;
        const DataPacket tpl = c.request(QStringLiteral("SYS_SMAcctTempData"),
                                         QStringLiteral("WHERE AcctTempCode = 'A01000'"));
        QCOMPARE(int(tpl.rows.size()), 1);
        const DataPacket chart = readDataPacket(
            tpl.rows[0][indexOfField(tpl.fields, QStringLiteral("AcctXMLData"))].toString());
        ClientDataSet target;
        target.setRemoteConnection(&c);
        target.setProviderName(QStringLiteral("LX_DMAccounting"));
        target.setCommandText(QStringLiteral("WHERE -1=1"));
        target.open();
        for (const QVariantList &row : chart.rows) {
            target.append();
            for (int i = 0; i < chart.fields.size(); ++i)
                if (target.fieldIndex(chart.fields[i].name) >= 0)
                    target.setValue(chart.fields[i].name, row[i]);
            target.post();
        }
        int errors = -1;
        QVariant owner;
        c.applyUpdates(QStringLiteral("LX_DMAccounting"), target.delta(), -1, errors, owner);
        QVERIFY2(errors == 0, qPrintable(c.lastError()));

        m_accounts = std::make_unique<ClientDataSet>();
        m_accounts->setRemoteConnection(&c);
        m_accounts->setProviderName(QStringLiteral("LX_BMListAccounting"));
        m_accounts->setCommandText(QStringLiteral("TOP 10"));
        m_accounts->open();
        m_accountView = std::make_unique<QTableView>();
        m_accountView->setModel(new DataSetModel(m_accounts.get(), m_accountView.get()));
    }

    void cleanupTestCase()
    {
        m_accountView.reset();
        m_accounts.reset();
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void buildText_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("text");
        const auto row = [](const QStringList &rows, const QString &text) {
            QTest::newRow(qPrintable(rows.join(u';'))) << rows << text;
        };
        row({"PartCode|Like|A01", "Qty|>|5"}, "PartCode Like  '%A01%' AND Qty > 5");
        row({"Memo|IS NULL|"}, "Memo IS NULL ");
        row({"Memo|IS NULL|ignored"}, "Memo IS NULL ");
        row({"Field|LLike|AB"}, "Field Like  'AB%'");
        row({"Field|RLike|AB"}, "Field Like  '%AB'");
        row({"|=|x", "||", "PartCode||A"}, "");
        // Skipped rows do not open the text with " AND ".
        row({"PartCode||A", "Qty|=|3", "Memo|=|  "}, "Qty = 3");
        row({"Qty|=| 7 ", "Small|<>|-2", "Count|<=|+9"}, "Qty = 7 AND Small <> -2 AND Count <= +9");
        row({"qty|>|5"}, "qty > 5");
        row({"Qty|Like|5"}, "Qty Like  '%5%'");
        row({"Price|>=|1.5", "Amount|<|-2e3"}, "Price >= 1.5 AND Amount < -2e3");
        row({"Rate|=|abc", "Big|=|12"}, "Rate =  'abc' AND Big =  '12'");
        row({"Flag|=|yes", "Flag|=|是", "Flag|<>|True", "Flag|=|1"},
            "Flag = 1 AND Flag = 1 AND Flag <> 1 AND Flag = 1");
        row({"Flag|=|No", "Flag|=|否", "Flag|=|f", "Flag|=|0"},
            "Flag = 0 AND Flag = 0 AND Flag = 0 AND Flag = 0");
        row({"Flag|RLike|y"}, "Flag Like  '%1'");
        row({"Stamp|>=|2024-03-31 12:00:00", "At|LLike|08:30"},
            "Stamp >=  '2024-03-31 12:00:00' AND At Like  '08:30%'");
        // A quote stays part of the value in every quoted form.
        row({"PartCode|=|O'Brien", "PartCode|Like|a'b", "PartCode|LLike|'", "PartCode|RLike|x'"},
            "PartCode =  'O''Brien' AND PartCode Like  '%a''b%' AND PartCode Like  '''%' AND "
            "PartCode Like  '%x'''");
        row({"Elsewhere|>|' OR 'a'='a"}, "Elsewhere >  ''' OR ''a''=''a'");
    }

    void buildText()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, text);
        QCOMPARE(BuildWhereText(rowsOf(rows), kFields), text);
    }

    void invalidValues_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("built");
        const QString a = QStringLiteral("PartCode =  'A'");
        QTest::newRow("integer") << QStringList{"PartCode|=|A", "||", "Qty|=|5x"}
                                 << "第 3 行筛选值为无效整数。" << a + " AND Qty = ";
        QTest::newRow("integer or") << QStringList{"Qty|=|5 OR 1=1"} << "第 1 行筛选值为无效整数。"
                                    << "Qty = ";
        QTest::newRow("small fraction")
            << QStringList{"||", "Small|>|1.5"} << "第 2 行筛选值为无效整数。"
            << "Small > ";
        QTest::newRow("word like") << QStringList{"Count|Like|abc"} << "第 1 行筛选值为无效整数。"
                                   << "Count Like ";
        QTest::newRow("float comma") << QStringList{"PartCode|=|A", "Price|=|1,5"}
                                     << "第 2 行筛选值为无效浮点数。" << a + " AND Price = ";
        QTest::newRow("float nan") << QStringList{"Amount|>|nan"} << "第 1 行筛选值为无效浮点数。"
                                   << "Amount > ";
        QTest::newRow("float or") << QStringList{"Price|>|1e5 OR 1=1"}
                                  << "第 1 行筛选值为无效浮点数。"
                                  << "Price > ";
        QTest::newRow("boolean 2")
            << QStringList{"||", "||", "||", "Flag|=|2"} << "第 4 行筛选值为无效布尔值。"
            << "Flag = ";
        QTest::newRow("boolean word")
            << QStringList{"Flag|=|maybe"} << "第 1 行筛选值为无效布尔值。"
            << "Flag = ";
        QTest::newRow("date-time") << QStringList{"PartCode|=|A", "Stamp|<|2024-13-45"}
                                   << "第 2 行筛选值为无效日期数据。" << a + " AND Stamp < ";
        QTest::newRow("time") << QStringList{"At|=|noon"} << "第 1 行筛选值为无效日期数据。"
                              << "At = ";
    }

    // A value that does not convert stops at its row; the text keeps what came before.
    void invalidValues()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, message);
        QFETCH(QString, built);
        QString text;
        QString error;
        try {
            BuildWhereText(rowsOf(rows), kFields, text);
        } catch (const Error &e) {
            error = e.message();
        }
        QCOMPARE(error, message);
        QCOMPARE(text, built);
    }

    // Fault: a date in one of the workstation's formats went into the condition as typed,
    // which the server cannot read, so the lookup found nothing instead of saying so.
    void dates_data()
    {
        QTest::addColumn<QString>("row");    // field|relation|value
        QTest::addColumn<QString>("locale"); // empty: the system's
        QTest::addColumn<QString>("text");   // empty: refused
        const QDateTime dt(QDate(2024, 3, 31), QTime(14, 5, 6));
        const QLocale system = QLocale::system();
        const auto add = [](const char *name, const QString &row, const char *locale,
                            const char *text) {
            QTest::newRow(name) << row << QString::fromLatin1(locale) << QString::fromUtf8(text);
        };
        add("system long date", "Day|=|" + system.toString(dt.date(), QLocale::LongFormat), "",
            "Day =  '2024-03-31'");
        add("system long date-time", "Stamp|>=|" + system.toString(dt, QLocale::LongFormat), "",
            "Stamp >=  '2024-03-31 14:05:06'");
        add("weekday after a blank", "Day|=|2024年1月5日 星期五", "zh_CN", "Day =  '2024-01-05'");
        add("zh long date, date-time column", "Stamp|<|2024年1月5日星期五", "zh_CN",
            "Stamp <  '2024-01-05 00:00:00'");
        add("zh short date-time", "Stamp|<=|2024/1/5 8:30", "zh_CN",
            "Stamp <=  '2024-01-05 08:30:00'");
        add("pattern keeps what was typed", "Stamp|Like|2024/1/5 8:30", "",
            "Stamp Like  '%2024-01-05 08:30%'");
        add("pattern of a day", "Stamp|LLike|2024-01-05", "", "Stamp Like  '2024-01-05%'");
        add("time typed for a date column", "Day|>=|2024-01-05 09:00", "",
            "Day >=  '2024-01-05 09:00:00'");
        add("time column", "At|=|14:05", "", "At =  '14:05:00'");
        for (const char *refused : {"Day|=|2024年1月5日 星期六", "Day|=|14:05", "Stamp|=|14:05",
                                    "At|=|2024-01-05", "Day|=|2024-02-30", "Stamp|=|yesterday",
                                    "Day|=|2024-03-31' OR 'a'='a", "Stamp|=|2024-03-31 14:05x"})
            add(refused, QString::fromUtf8(refused), "zh_CN", "");
    }

    void dates()
    {
        QFETCH(QString, row);
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QString built, error;
        try {
            built = BuildWhereText(rowsOf({row}), kFields,
                                   locale.isEmpty() ? QLocale::system() : QLocale(locale));
        } catch (const Error &e) {
            error = e.message();
        }
        QCOMPARE(built, text);
        QCOMPARE(error,
                 text.isEmpty() ? QStringLiteral("第 1 行筛选值为无效日期数据。") : QString());
    }

    // Offered: the layout rows of the data object marked FindTag, in Index order.
    void offeredColumnsFromLayout()
    {
        const DataPacket layout = m_host->connection->request(
            QStringLiteral("ENV_EnvDataObject"),
            QStringLiteral("WHERE DataObject = 'LX_BMListAccounting' ORDER BY Index"));
        QStringList expected, captions;
        for (const QVariantList &r : layout.rows)
            if (r[indexOfField(layout.fields, QStringLiteral("FindTag"))].toBool()) {
                expected << r[indexOfField(layout.fields, QStringLiteral("ColumnName"))].toString();
                captions << r[indexOfField(layout.fields, QStringLiteral("Caption"))].toString();
            }
        QVERIFY(expected.size() > 5 && expected.size() < int(layout.rows.size()));

        ScriptedDialogs dialogs;
        auto f = accountForm();
        QStringList listed;
        run(dialogs, *f, [&] {
            QTableView *g = grid(*f);
            g->setCurrentIndex(cell(*f, 0, "FieldName"));
            g->edit(cell(*f, 0, "FieldName"));
            auto *combo = g->findChild<QComboBox *>(QStringLiteral("cbFieldName"));
            QVERIFY(combo);
            for (int i = 0; i < combo->count(); ++i)
                listed << combo->itemText(i);
            f->reject();
        });
        QCOMPARE(dialogs.shown.size(), 1); // no error box
        QCOMPARE(viewCols(*f)->commandText(),
                 QStringLiteral("WHERE DataObject = 'LX_BMListAccounting' AND ShowNo = '0' AND "
                                "FindTag = True ORDER BY Index"));
        QCOMPARE(column(*viewCols(*f), "ColumnName"), expected);
        QCOMPARE(listed, captions);

        // Another variant number asks for that variant (none here: the grid's columns).
        f->FindShowNo = QStringLiteral("2");
        run(dialogs, *f, [&] { f->reject(); });
        QCOMPARE(viewCols(*f)->commandText(),
                 QStringLiteral("WHERE DataObject = 'LX_BMListAccounting' AND ShowNo = '2' AND "
                                "FindTag = True ORDER BY Index"));
        QCOMPARE(viewCols(*f)->recordCount(), m_accounts->fieldCount());
    }

    // A quote in the data object name cannot end the literal of the column query.
    void quoteInDataObjectName()
    {
        ScriptedDialogs dialogs;
        TSetWhereForm f;
        f.DataObjectName = QStringLiteral("X' OR DataObject = 'LX_BMListAccounting");
        run(dialogs, f, [&] { f.reject(); });
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(viewCols(f)->commandText(),
                 QStringLiteral("WHERE DataObject = 'X'' OR DataObject = ''LX_BMListAccounting' "
                                "AND ShowNo = '0' AND FindTag = True ORDER BY Index"));
        QCOMPARE(viewCols(f)->recordCount(), 0);
    }

    // Without layout rows the grid's columns are offered in the order shown, hidden ones
    // too, never one tagged below 0; a row whose column is no longer offered is dropped.
    void gridColumnsAndCleanUp()
    {
        ClientDataSet source;
        source.setObjectName(QStringLiteral("NoLayout"));
        for (const char *name : {"A", "B", "C", "D"})
            source.addField(QLatin1String(name), FieldType::String, 10);
        source.createDataSet();
        QTableView view;
        auto *model = new DataSetModel(&source, &view);
        model->setCaption(QStringLiteral("A"), QStringLiteral("甲"));
        model->setCaption(QStringLiteral("D"), QStringLiteral("丁"));
        view.setModel(model);
        setColumnTag(&view, 1, -1);
        view.setColumnHidden(2, true);
        view.horizontalHeader()->moveSection(3, 0);
        QCOMPARE(columnTag(&view, 1), -1);
        QCOMPARE(columnTag(&view, 3), 0);

        ScriptedDialogs dialogs;
        TSetWhereForm f;
        f.DataObjectName = QStringLiteral("NoLayout");
        f.SourceView = &view;
        run(dialogs, f, [&] {
            type(f, 0, "A", "=", "1");
            type(f, 1, "C", "Like", "x");
            type(f, 2, "D", ">", "d");
            click(f, "btnOk");
        });
        QCOMPARE(column(*viewCols(f), "ColumnName"), QStringList({"D", "A", "C"}));
        QCOMPARE(column(*viewCols(f), "Caption"), QStringList({"丁", "甲", "C"}));
        QCOMPARE(f.WhereText, QStringLiteral("A =  '1' AND C Like  '%x%' AND D >  'd'"));

        // Kept for the next opening, which builds the same text again.
        QCOMPARE(run(dialogs, f, [&] { click(f, "btnOk"); }), int(mrOk));
        QCOMPARE(f.WhereText, QStringLiteral("A =  '1' AND C Like  '%x%' AND D >  'd'"));

        // A column turned internal is no longer offered: its row goes, an empty one comes
        // at the end, the rows are numbered again.
        setColumnTag(&view, 0, -1);
        run(dialogs, f, [&] { click(f, "btnOk"); });
        QCOMPARE(f.WhereText, QStringLiteral("C Like  '%x%' AND D >  'd'"));
        QCOMPARE(column(*data(f), "FieldName").mid(0, 3), QStringList({"C", "D", ""}));
        QCOMPARE(column(*data(f), "Value").join(u','), QStringLiteral("x,d,,,,,,,,,,,"));
        QCOMPARE(column(*data(f), "ColIndex").last(), QStringLiteral("13"));
        QCOMPARE(data(f)->recordCount(), 13);
    }

    // The replacement row is numbered past the others until the rows are renumbered,
    // and the cursor stays on the record number it was on.
    void dropUnofferedRows()
    {
        TSetWhereForm f;
        ClientDataSet &rows = *data(f);
        for (int r : {2, 3, 5}) {
            rows.setRecNo(r);
            rows.edit();
            rows.setValue(QStringLiteral("FieldName"),
                          r == 3 ? QStringLiteral("Kept") : QStringLiteral("Gone%1").arg(r));
            rows.post();
        }
        TSetWhereForm::DropUnofferedRows(rows, {QStringLiteral("kept")});
        QCOMPARE(rows.recordCount(), 13);
        QCOMPARE(rows.recNo(), 13);
        QCOMPARE(column(rows, "FieldName").indexOf(QStringLiteral("Kept")), 1);
        QCOMPARE(column(rows, "FieldName").join(QString()), QStringLiteral("Kept"));
        QCOMPARE(column(rows, "ColIndex").mid(9),
                 QStringList({"12", "13", "113", "113"})); // the rows after a dropped one moved up
        TSetWhereForm::RenumberRows(rows);
        QCOMPARE(column(rows, "ColIndex").mid(9), QStringList({"10", "11", "12", "13"}));
    }

    void editingRules()
    {
        ScriptedDialogs dialogs;
        auto f = accountForm();
        run(dialogs, *f, [&] {
            QTableView *g = grid(*f);
            ClientDataSet *rows = data(*f);
            // Choosing a column in the drop-down fills in "等于" and posts the row.
            g->setCurrentIndex(cell(*f, 1, "FieldName"));
            g->edit(cell(*f, 1, "FieldName"));
            auto *combo = g->findChild<QComboBox *>(QStringLiteral("cbFieldName"));
            QVERIFY(combo);
            const int i = combo->findText(QStringLiteral("科目代码"));
            QVERIFY(i >= 0);
            combo->setCurrentIndex(i);
            emit combo->activated(i);
            QCOMPARE(rows->state(), ClientDataSet::State::Browse);
            QCOMPARE(rows->valueAt(1, 1).toString(), QStringLiteral("AcctCode"));
            QCOMPARE(rows->valueAt(1, 2).toString(), QStringLiteral("="));

            // A relation already chosen stays.
            QAbstractItemModel *m = g->model();
            QVERIFY(m->setData(cell(*f, 2, "FieldName"), QStringLiteral("AcctName")));
            QVERIFY(m->setData(cell(*f, 2, "IFValue"), QStringLiteral(">")));
            QVERIFY(m->setData(cell(*f, 2, "FieldName"), QStringLiteral("Levels")));
            QCOMPARE(rows->valueAt(2, 2).toString(), QStringLiteral(">"));
            // A row without a column keeps neither relation nor value.
            QVERIFY(m->setData(cell(*f, 3, "Value"), QStringLiteral("x")));
            QCOMPARE(rows->valueAt(3, 3).toString(), QString());
            QVERIFY(m->setData(cell(*f, 2, "Value"), QStringLiteral("1")));
            QVERIFY(m->setData(cell(*f, 2, "FieldName"), QString()));
            QCOMPARE(rows->valueAt(2, 2).toString(), QString());
            QCOMPARE(rows->valueAt(2, 3).toString(), QString());

            // A value but no relation: the row is skipped.
            type(*f, 4, "AcctName", QString(), "现金");
            // OK pressed while a value is still being typed takes that value.
            g->setCurrentIndex(cell(*f, 1, "Value"));
            g->edit(cell(*f, 1, "Value"));
            auto *line = g->findChild<QLineEdit *>(QStringLiteral("edValue"));
            QVERIFY(line);
            line->setText(QStringLiteral("10"));
            click(*f, "btnOk");
        });
        QCOMPARE(f->result(), int(mrOk));
        QCOMPARE(f->WhereText, QStringLiteral("AcctCode =  '10'"));
        QCOMPARE(data(*f)->changeCount(), 0);
    }

    // The OK of a row that does not convert shows the message, keeps the dialog open and
    // the rows as they are; the next OK builds the text anew.
    void invalidRowKeepsDialogOpen()
    {
        ScriptedDialogs dialogs;
        auto f = accountForm();
        f->WhereText = QStringLiteral("old");
        bool stillOpen = false;
        int firstResult = -1;
        QString partial;
        run(dialogs, *f, [&] {
            type(*f, 0, "AcctCode", "LLike", "1");
            type(*f, 2, "Levels", "<=", "two");
            dialogs.answer(mrOk); // the error box
            click(*f, "btnOk");
            firstResult = f->result();
            stillOpen = f->isVisible();
            partial = f->WhereText;
            QVERIFY(grid(*f)->model()->setData(cell(*f, 2, "Value"), QStringLiteral("2")));
            click(*f, "btnOk");
        });
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[1].className, QStringLiteral("vexa::gl::TErrorInfoFrom"));
        QCOMPARE(dialogs.shown[1].text, QStringLiteral("第 3 行筛选值为无效整数。"));
        QCOMPARE(firstResult, 0);
        QVERIFY(stillOpen);
        QCOMPARE(partial, QStringLiteral("AcctCode Like  '1%' AND Levels <= "));
        QCOMPARE(f->result(), int(mrOk));
        QCOMPARE(f->WhereText, QStringLiteral("AcctCode Like  '1%' AND Levels <= 2"));
    }

    void clearAndCancel()
    {
        ScriptedDialogs dialogs;
        auto f = accountForm();
        f->WhereText = QStringLiteral("kept");
        QWidget *focus = nullptr;
        QModelIndex current;
        QStringList afterClear;
        const int result = run(dialogs, *f, [&] {
            type(*f, 0, "AcctCode", "=", "1001");
            type(*f, 12, "DC", "<>", "D");
            data(*f)->setRecNo(13);
            f->findChild<QPushButton *>(QStringLiteral("btnOk"))->setFocus();
            click(*f, "btnClear");
            afterClear = column(*data(*f), "FieldName") + column(*data(*f), "IFValue") +
                         column(*data(*f), "Value");
            current = grid(*f)->currentIndex();
            focus = f->focusWidget();
            QTest::keyClick(grid(*f), Qt::Key_Escape);
        });
        QCOMPARE(afterClear.join(QString()), QString());
        QCOMPARE(afterClear.size(), 39);
        QCOMPARE(data(*f)->recNo(), 1);
        QCOMPARE(current.row(), 0);
        QCOMPARE(current.column(), data(*f)->fieldIndex(QStringLiteral("FieldName")));
        QCOMPARE(focus, static_cast<QWidget *>(grid(*f)));
        QCOMPARE(result, int(mrCancel));
        QCOMPARE(f->WhereText, QStringLiteral("kept"));
        QCOMPARE(run(dialogs, *f, [&] { click(*f, "btnCancel"); }), int(mrCancel));
    }

    // What the builder writes runs on the server and selects the rows of the hand-written
    // condition; a quoted value cannot widen it.
    void runsOnServer()
    {
        ScriptedDialogs dialogs;
        auto f = accountForm();
        run(dialogs, *f, [&] {
            type(*f, 0, "AcctCode", "LLike", "1");
            type(*f, 1, "AcctName", "Like", "款");
            type(*f, 2, "IsNode", "=", "是");
            type(*f, 3, "Levels", "<=", "2");
            click(*f, "btnOk");
        });
        QCOMPARE(f->result(), int(mrOk));
        auto &c = *m_host->connection;
        const QString key = QStringLiteral("AcctID");
        const QStringList built =
            keysOf(c.request(QStringLiteral("LX_BMListAccounting"), "WHERE " + f->WhereText), key);
        const QStringList hand =
            keysOf(c.request(QStringLiteral("LX_BMListAccounting"),
                             QStringLiteral("WHERE AcctCode LIKE '1%' AND AcctName LIKE '%款%' AND "
                                            "IsNode = True AND Levels <= 2")),
                   key);
        const int all =
            int(c.request(QStringLiteral("LX_BMListAccounting"), QString()).rows.size());
        QVERIFY(!hand.isEmpty() && hand.size() < all);
        QCOMPARE(built, hand);

        run(dialogs, *f, [&] {
            click(*f, "btnClear");
            type(*f, 0, "AcctName", "=", "x' OR 'a'='a");
            type(*f, 1, "AcctCode", "RLike", "' OR AcctCode LIKE '");
            click(*f, "btnOk");
        });
        QCOMPARE(
            c.request(QStringLiteral("LX_BMListAccounting"), "WHERE " + f->WhereText).rows.size(),
            size_t(0));
    }
};

QTEST_MAIN(TestSetWhereForm)
#include "tst_setwhereform.moc"
// TestHost.h declares a QObject class; this target does not list the header, so its moc
// output is included here.
