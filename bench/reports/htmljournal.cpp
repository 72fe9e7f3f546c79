#include "htmljournal.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QLocale>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTextDocument>

namespace {

// Heading, serial number (%1) and calibration date (%2), then the opening of
// the table. One line; the runs of spaces belong to it.
const char journalTemplate[] =
    "<html>                 <head>                 <style>                 "
    "table, th, td {                   border: 2px solid black;                 "
    "}                                  th, td {                   "
    "padding: 3px;                   spacing: 1px;                 }                 "
    "</style>                 </head>                 <body>                 "
    "<header>                   <h1>ЖУРНАЛ</h1>                   "
    "<p>Серийный номер: %1</p>                   <p>Дата поверки: %2</p>                   "
    "<p>      </p>                 </header>                 <table border><thead>";

QString cellText(const QAbstractItemModel *model, int row, int column)
{
    const QString text = model->data(model->index(row, column), Qt::DisplayRole).toString();
    return text.isEmpty() ? QStringLiteral(" ") : text.toHtmlEscaped();
}

QString journalHtml(const QAbstractItemModel *model, const QString &serialNumber,
                    const QDate &calibrationDate)
{
    QString html = QString::fromUtf8(journalTemplate)
                       .arg(serialNumber.toHtmlEscaped(),
                            QLocale::c().toString(calibrationDate, QStringLiteral("yyyy-MM-dd")));
    const int columns = model->columnCount();
    const int rows = model->rowCount();
    html += QLatin1String("<tr>");
    for (int i = 0; i < columns; ++i) {
        html += QLatin1String("<th>");
        html += model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString().toHtmlEscaped();
        html += QLatin1String("</th>");
    }
    html += QLatin1String("</tr></thead><tbody>");
    for (int r = 0; r < rows; ++r) {
        html += QLatin1String("<tr>");
        for (int i = 0; i < columns; ++i) {
            html += QLatin1String("<td>");
            html += cellText(model, r, i);
            html += QLatin1String("</td>");
        }
        html += QLatin1String("</tr>");
    }
    html += QLatin1String("</tbody></table></body></html>");
    return html;
}

} // namespace

bool printHtmlJournal(const QAbstractItemModel *model, const QString &serialNumber,
                      const QDate &calibrationDate, const QString &fileName)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(20, 10, 10, 10), QPageLayout::Millimeter);
    printer.setOutputFileName(fileName);

    QTextDocument document;
    document.setHtml(journalHtml(model, serialNumber, calibrationDate));
    document.setPageSize(printer.paperRect(QPrinter::Point).size());
    document.print(&printer);
    return printer.printerState() != QPrinter::Error;
}
