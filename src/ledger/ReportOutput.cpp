#include "ReportOutput.h"

#include "DialogService.h"

#include <vexa/Error.h>

#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>

namespace vexa::ledger {

namespace {

QString csvCell(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

void csvLine(QByteArray &out, const QStringList &cells)
{
    QStringList quoted;
    quoted.reserve(cells.size());
    for (const QString &c : cells)
        quoted << csvCell(c);
    out += quoted.join(u',').toUtf8();
    out += "\r\n";
}

// Page geometry in device pixels: heights of the header, the column titles, a row and the
// footer, all from the one font so preview and paper agree.
struct PageGeometry
{
    QRect page;
    int titleHeight = 0, infoHeight = 0, rowHeight = 0, footerHeight = 0;
    int rowsPerPage = 1;
};

PageGeometry geometryOf(QPrinter &printer, const QFont &font)
{
    PageGeometry g;
    g.page = printer.pageLayout().paintRectPixels(printer.resolution());
    g.page.moveTo(0, 0);
    const QFontMetrics fm(font, &printer);
    g.rowHeight = fm.height() * 3 / 2;
    g.titleHeight = fm.height() * 5 / 2;
    g.infoHeight = g.rowHeight;
    g.footerHeight = g.rowHeight * 3 / 2;
    const int body = g.page.height() - g.titleHeight - g.infoHeight - g.footerHeight - g.rowHeight;
    g.rowsPerPage = qMax(1, body / qMax(1, g.rowHeight));
    return g;
}

QFont reportFont()
{
    QFont f;
    f.setPointSize(9);
    return f;
}

} // namespace

QByteArray reportCsv(const ReportTable &table)
{
    QByteArray out("\xEF\xBB\xBF");
    csvLine(out, {table.title});
    csvLine(out, {QStringLiteral("单位：%1").arg(table.company),
                  QStringLiteral("期间：%1").arg(table.period)});
    QStringList titles;
    for (const ReportColumn &c : table.columns)
        titles << c.title;
    csvLine(out, titles);
    for (const ReportRow &r : table.rows) {
        QStringList cells = r.cells;
        if (!cells.isEmpty() && r.level > 0)
            cells[0] = QString(r.level * 2, u' ') + cells[0];
        csvLine(out, cells);
    }
    return out;
}

bool exportReportCsv(QWidget *parent, const ReportTable &table)
{
    const QString path = gl::DialogService::instance().saveFileName(
        parent, QStringLiteral("导出"), table.title + QStringLiteral(".csv"),
        QStringLiteral("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(QStringLiteral("无法写入文件“%1”：%2").arg(path, file.errorString()));
    file.write(reportCsv(table));
    if (!file.commit())
        throw Error(QStringLiteral("无法写入文件“%1”：%2").arg(path, file.errorString()));
    return true;
}

QList<int> reportPageRows(QPrinter &printer, const ReportTable &table)
{
    const PageGeometry g = geometryOf(printer, reportFont());
    QList<int> pages;
    for (qsizetype done = 0; done < table.rows.size(); done += g.rowsPerPage)
        pages << int(qMin<qsizetype>(g.rowsPerPage, table.rows.size() - done));
    if (pages.isEmpty())
        pages << 0;
    return pages;
}

int paintReport(QPrinter &printer, const ReportTable &table)
{
    const QFont font = reportFont();
    const PageGeometry g = geometryOf(printer, font);
    const QList<int> pages = reportPageRows(printer, table);
    QPainter p;
    if (!p.begin(&printer))
        throw Error(QStringLiteral("无法打开打印机。"));
    QFont bold = font;
    bold.setBold(true);
    QFont titleFont = font;
    titleFont.setPointSize(14);
    titleFont.setBold(true);

    int totalWidth = 0;
    for (const ReportColumn &c : table.columns)
        totalWidth += qMax(1, c.width);
    QList<int> lefts, widths;
    int x = g.page.left();
    for (const ReportColumn &c : table.columns) {
        const int w = g.page.width() * qMax(1, c.width) / qMax(1, totalWidth);
        lefts << x;
        widths << w;
        x += w;
    }
    const int pad = QFontMetrics(font, &printer).averageCharWidth() / 2;
    const int indent = QFontMetrics(font, &printer).averageCharWidth() * 2;

    qsizetype next = 0;
    for (int page = 0; page < pages.size(); ++page) {
        if (page > 0)
            printer.newPage();
        int y = g.page.top();
        p.setFont(titleFont);
        p.drawText(QRect(g.page.left(), y, g.page.width(), g.titleHeight), Qt::AlignCenter,
                   table.title);
        y += g.titleHeight;
        p.setFont(font);
        const QRect info(g.page.left(), y, g.page.width(), g.infoHeight);
        p.drawText(info, Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("单位：%1").arg(table.company));
        p.drawText(info, Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("期间：%1").arg(table.period));
        y += g.infoHeight;

        auto drawRow = [&](const QStringList &cells, int level, bool isBold) {
            p.setFont(isBold ? bold : font);
            for (int c = 0; c < table.columns.size(); ++c) {
                const QRect cell(lefts[c], y, widths[c], g.rowHeight);
                p.drawRect(cell);
                const int shift = c == 0 ? level * indent : 0;
                p.drawText(cell.adjusted(pad + shift, 0, -pad, 0),
                           table.columns[c].align | Qt::AlignVCenter, cells.value(c));
            }
            y += g.rowHeight;
        };
        QStringList titles;
        for (const ReportColumn &c : table.columns)
            titles << c.title;
        drawRow(titles, 0, true);
        for (int r = 0; r < pages[page]; ++r, ++next) {
            const ReportRow &row = table.rows[next];
            drawRow(row.cells, row.level, row.bold);
        }
        p.setFont(font);
        p.drawText(
            QRect(g.page.left(), g.page.bottom() - g.footerHeight, g.page.width(), g.footerHeight),
            Qt::AlignCenter, QStringLiteral("第 %1 页 共 %2 页").arg(page + 1).arg(pages.size()));
    }
    p.end();
    return int(pages.size());
}

void previewReport(QWidget *parent, const ReportTable &table)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(table.columns.size() > 6 ? QPageLayout::Landscape
                                                        : QPageLayout::Portrait);
    printer.setDocName(table.title);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("打印预览 - %1").arg(table.title));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&table](QPrinter *target) {
                         try {
                             paintReport(*target, table);
                         } catch (const Error &) {
                             // The preview stays empty; nothing crosses the event loop.
                         }
                     });
    gl::DialogService::instance().exec(dialog);
}

} // namespace vexa::ledger
