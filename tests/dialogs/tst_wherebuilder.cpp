// The filter builder's rules without its window: the condition text of the rows, the value
// checks by field type and their messages, the dates, and the editing rules of the rows.
#include "ClientDataSet.h"
#include "WhereBuilder.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace vexa;
using namespace vexa::gl;

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

QStringList column(const ClientDataSet &ds, const char *field)
{
    QStringList out;
    for (int r = 0; r < ds.recordCount(); ++r)
        out << ds.valueAt(r, ds.fieldIndex(QLatin1String(field))).toString();
    return out;
}

} // namespace

class TestWhereBuilder : public QObject
{
    Q_OBJECT

private slots:
    // Rows and the text they give; with a message, the row that does not convert stops the
    // build there and the text keeps what came before it.
    void build_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const auto row = [](const QStringList &rows, const char *text, const char *message = "") {
            QTest::newRow(qPrintable(rows.join(u';')))
                << rows << QString::fromUtf8(text) << QString::fromUtf8(message);
        };
        row({"PartCode|Like|A01", "Qty|>|5"}, "PartCode Like  '%A01%' AND Qty > 5");
        row({"Memo|IS NULL|", "Memo|IS NULL|ignored"}, "Memo IS NULL  AND Memo IS NULL ");
        row({"|=|x", "||", "PartCode||A"}, "");
        // Skipped rows do not open the text with " AND ".
        row({"PartCode||A", "Qty|=|3", "Memo|=|  "}, "Qty = 3");
        row({"Qty|=| 7 ", "Small|<>|-2", "Count|<=|+9", "qty|>|5"},
            "Qty = 7 AND Small <> -2 AND Count <= +9 AND qty > 5");
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

        row({"PartCode|=|A", "||", "Qty|=|5x"},
            "PartCode =  'A' AND Qty = ", "第 3 行筛选值为无效整数。");
        row({"Qty|=|5 OR 1=1"}, "Qty = ", "第 1 行筛选值为无效整数。");
        row({"||", "Small|>|1.5"}, "Small > ", "第 2 行筛选值为无效整数。");
        row({"Count|Like|abc"}, "Count Like ", "第 1 行筛选值为无效整数。");
        row({"PartCode|=|A", "Price|=|1,5"},
            "PartCode =  'A' AND Price = ", "第 2 行筛选值为无效浮点数。");
        row({"Amount|>|nan"}, "Amount > ", "第 1 行筛选值为无效浮点数。");
        row({"Price|>|1e5 OR 1=1"}, "Price > ", "第 1 行筛选值为无效浮点数。");
        row({"||", "||", "||", "Flag|=|2"}, "Flag = ", "第 4 行筛选值为无效布尔值。");
        row({"Flag|=|maybe"}, "Flag = ", "第 1 行筛选值为无效布尔值。");
        row({"PartCode|=|A", "Stamp|<|2024-13-45"}, "PartCode =  'A' AND Stamp < ",
            "第 2 行筛选值为无效日期数据。");
        row({"At|=|noon"}, "At = ", "第 1 行筛选值为无效日期数据。");
    }

    void build()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QString built;
        QCOMPARE(errorOf([&] { WhereBuilder(kFields).AppendTo(rowsOf(rows), built); }), message);
        QCOMPARE(built, text);
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
        const WhereBuilder builder(kFields, locale.isEmpty() ? QLocale::system() : QLocale(locale));
        QString built;
        QCOMPARE(errorOf([&] { built = builder.Build(rowsOf({row})); }),
                 text.isEmpty() ? QStringLiteral("第 1 行筛选值为无效日期数据。") : QString());
        QCOMPARE(built, text);
    }

    // A quote in the data object name cannot end the literal of the column query.
    void columnsCommand()
    {
        QCOMPARE(WhereBuilder::ColumnsCommand(QStringLiteral("X' OR DataObject = 'Y"),
                                              QStringLiteral("2'")),
                 QStringLiteral("WHERE DataObject = 'X'' OR DataObject = ''Y' AND ShowNo = '2''' "
                                "AND FindTag = True ORDER BY Index"));
    }

    // The editing rules of the rows and the clearing of them.
    void editRows()
    {
        ClientDataSet data;
        ConditionRows rows(data);
        rows.Create();
        QCOMPARE(column(data, "ColIndex").join(u','),
                 QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13"));
        // Choosing a column fills in "=" and posts; a relation already chosen stays.
        rows.SetCell(1, ConditionRows::FieldNameColumn, QStringLiteral("AcctCode"));
        QCOMPARE(data.state(), ClientDataSet::State::Browse);
        rows.SetCell(2, ConditionRows::FieldNameColumn, QStringLiteral("AcctName"));
        rows.SetCell(2, ConditionRows::RelationColumn, QStringLiteral(">"));
        rows.SetCell(2, ConditionRows::FieldNameColumn, QStringLiteral("Levels"));
        rows.SetCell(2, ConditionRows::ValueColumn, QStringLiteral("2"));
        // A row without a column keeps neither relation nor value.
        rows.SetCell(3, ConditionRows::ValueColumn, QStringLiteral("x"));
        rows.SetCell(4, ConditionRows::FieldNameColumn, QStringLiteral("AcctName"));
        rows.SetCell(4, ConditionRows::ValueColumn, QStringLiteral("y"));
        rows.SetCell(4, ConditionRows::FieldNameColumn, QString());
        // An edit left open is posted under the same rule.
        data.setRecNo(6);
        data.edit();
        data.setValue(QStringLiteral("Value"), QStringLiteral("z"));
        rows.Post();
        QCOMPARE(data.state(), ClientDataSet::State::Browse);
        QCOMPARE(WhereBuilder().Build(rows.Rows()), QStringLiteral("Levels >  '2'"));
        QStringList texts;
        for (const ConditionRow &r : rows.Rows())
            texts << r.fieldName + r.relation + r.value;
        QCOMPARE(texts.join(u','), QStringLiteral(",AcctCode=,Levels>2,,,,,,,,,,"));

        data.setRecNo(9);
        rows.Clear();
        QCOMPARE((column(data, "FieldName") + column(data, "IFValue") + column(data, "Value"))
                     .join(QString()),
                 QString());
        QCOMPARE(data.recNo(), 1);
        QVERIFY(!data.controlsDisabled());
    }

    // A row whose column is no longer offered goes; the empty row for it comes at the end,
    // numbered past the others until the rows are numbered again; the cursor stays on the
    // record number it was on.
    void dropUnoffered()
    {
        ClientDataSet data;
        ConditionRows rows(data);
        rows.Create();
        for (int r : {2, 3, 5})
            rows.SetCell(r - 1, ConditionRows::FieldNameColumn,
                         r == 3 ? QStringLiteral("Kept") : QStringLiteral("Gone%1").arg(r));
        rows.DropUnoffered({QStringLiteral("kept")});
        QCOMPARE(data.recordCount(), 13);
        QCOMPARE(data.recNo(), 13);
        QCOMPARE(column(data, "FieldName").indexOf(QStringLiteral("Kept")), 1);
        QCOMPARE(column(data, "FieldName").join(QString()), QStringLiteral("Kept"));
        QCOMPARE(column(data, "ColIndex").mid(9), QStringList({"12", "13", "113", "113"}));
        QVERIFY(!data.controlsDisabled());
        data.setRecNo(5);
        rows.Renumber();
        QCOMPARE(column(data, "ColIndex").mid(9), QStringList({"10", "11", "12", "13"}));
        QCOMPARE(data.recNo(), 5);
    }
};

QTEST_MAIN(TestWhereBuilder)
#include "tst_wherebuilder.moc"
