// The report output: the CSV file Excel opens and the pages of the print.
#include "ReportOutput.h"
#include "support/ScriptedDialogs.h"

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>

using namespace vexa::ledger;

class TestReportOutput : public QObject
{
    Q_OBJECT

private:
    static ReportTable table(int rows)
    {
        ReportTable t;
        t.title = QStringLiteral("明细分类账");
        t.company = QStringLiteral("测试公司");
        t.period = QStringLiteral("2024年第1期 至 2024年第3期");
        t.columns = {{QStringLiteral("摘要")}, {QStringLiteral("借方"), Qt::AlignRight}};
        for (int i = 0; i < rows; ++i)
            t.rows.push_back({{QStringLiteral("行%1").arg(i), QString::number(i)}, 0, false});
        return t;
    }

private slots:
    void csvFile()
    {
        ReportTable t = table(0);
        t.rows = {
            {{QStringLiteral("收到\"甲\"公司货款, 现金"), QStringLiteral("1,234.50")}, 0, false},
            {{QStringLiteral("库存现金"), QStringLiteral("2.00")}, 1, true}};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        ScriptedDialogs dialogs;
        dialogs.answerFiles({path});
        QVERIFY(exportReportCsv(nullptr, t));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray expected =
            QByteArray("\xEF\xBB\xBF") +
            QStringLiteral("明细分类账\r\n单位：测试公司,期间：2024年第1期 至 2024年第3期\r\n"
                           "摘要,借方\r\n\"收到\"\"甲\"\"公司货款, 现金\",\"1,234.50\"\r\n"
                           "  库存现金,2.00\r\n")
                .toUtf8();
        QCOMPARE(f.readAll(), expected);

        // Cancelling the chooser writes nothing.
        QVERIFY(QFile::remove(path));
        dialogs.answerFiles({});
        QVERIFY(!exportReportCsv(nullptr, t));
        QVERIFY(!QFile::exists(path));
    }

    // Every row is printed once, over as many pages as it takes.
    void pages()
    {
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("out.pdf")));
        const ReportTable t = table(250);
        const QList<int> rows = reportPageRows(printer, t);
        QVERIFY(rows.size() > 2);
        int sum = 0;
        for (int i = 0; i < rows.size(); ++i) {
            QVERIFY(rows[i] > 0);
            QVERIFY(i == rows.size() - 1 || rows[i] == rows[0]);
            sum += rows[i];
        }
        QCOMPARE(sum, 250);
        QCOMPARE(paintReport(printer, t), int(rows.size()));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("out.pdf"))).size() > 0);
    }
};

QTEST_MAIN(TestReportOutput)
#include "tst_reportoutput.moc"
