#pragma once

// A report as a table of text cells, written to a CSV file Excel opens (UTF-8 with a BOM,
// CRLF, cells quoted where they need it) or printed through Qt's printing with the title,
// the company, the period range and "第 n 页 共 m 页" on every page. The windows of the
// books and statements fill a ReportTable from what they show and call these.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QPainter;
class QPrinter;
class QWidget;

namespace vexa::ledger {

struct ReportColumn
{
    QString title;
    Qt::Alignment align = Qt::AlignLeft; // amounts Qt::AlignRight
    int width = 10;                      // relative width on paper
};

struct ReportRow
{
    QStringList cells;
    int level = 0;     // indent of the first cell (account level - 1)
    bool bold = false; // totals
};

struct ReportTable
{
    QString title;   // 科目余额表
    QString company; // SysInitInfo.UseOrg
    QString period;  // 2024年第1期 至 2024年第3期
    QList<ReportColumn> columns;
    QList<ReportRow> rows;
};

// The file's bytes: a BOM, the title, a line with the company and the period, the column
// titles and the rows; CRLF after every line; a cell with a comma, a quote or a line break
// is quoted, its quotes doubled.
QByteArray reportCsv(const ReportTable &table);

// Asks for a file name through the dialog service and writes reportCsv there (whole or
// not at all). Answers false when the user cancelled; throws vexa::Error when the file
// cannot be written.
bool exportReportCsv(QWidget *parent, const ReportTable &table);

// Rows of each page when printed on printer (the last may hold fewer); at least one page.
QList<int> reportPageRows(QPrinter &printer, const ReportTable &table);

// Paints every page on printer (which must be set up); answers the number of pages.
int paintReport(QPrinter &printer, const ReportTable &table);

// The print preview (QPrintPreviewDialog, shown through the dialog service), landscape
// when the table is wide.
void previewReport(QWidget *parent, const ReportTable &table);

} // namespace vexa::ledger
