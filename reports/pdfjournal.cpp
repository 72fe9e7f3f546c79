#include "pdfjournal.h"
#include "devicewrite.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QFile>
#include <QIODevice>
#include <QLocale>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryDir>
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
    // An empty cell still gets content, so the grid stays complete.
    return text.isEmpty() ? QStringLiteral(" ") : text.toHtmlEscaped();
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

QString journalHtml(const QAbstractItemModel *model, const QString &serialNumber,
                    const QDate &calibrationDate)
{
    // The placeholders are filled in the template alone, in one pass, so
    // nothing from the serial number or the table is taken for a placeholder.
    QString html = QString::fromUtf8(journalTemplate)
                       .arg(serialNumber.toHtmlEscaped(),
                            QLocale::c().toString(calibrationDate, QStringLiteral("yyyy-MM-dd")));

    const int columns = model ? model->columnCount() : 0;
    const int rows = model ? model->rowCount() : 0;

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

bool writeJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                     const QDate &calibrationDate, QIODevice *out, QString *error,
                     const JournalProgress &progress, int *sheets)
{
    if (!out || !out->isWritable()) {
        setError(error, QStringLiteral("The output is not open for writing"));
        return false;
    }

    // The printer writes only to a named file: print into a private folder
    // first and hand the finished bytes on.
    QTemporaryDir workDir;
    if (!workDir.isValid()) {
        setError(error,
                 QStringLiteral("Cannot create a temporary folder: %1").arg(workDir.errorString()));
        return false;
    }
    const QString pdfName = workDir.filePath(QStringLiteral("journal.pdf"));

    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(QPageLayout::Portrait);
        printer.setPageMargins(QMarginsF(20, 10, 10, 10), QPageLayout::Millimeter);
        printer.setOutputFileName(pdfName);

        QTextDocument document;
        document.setHtml(journalHtml(model, serialNumber, calibrationDate));
        document.setPageSize(printer.paperRect(QPrinter::Point).size());
        const int pages = document.pageCount();
        document.print(&printer);
        if (progress)
            for (int page = 1; page <= pages; ++page)
                progress(page, pages);
        if (sheets)
            *sheets = pages;
        if (printer.printerState() == QPrinter::Error) {
            setError(error, QStringLiteral("The PDF could not be produced"));
            return false;
        }
    } // the printer finishes the file when it goes

    QFile pdf(pdfName);
    if (!pdf.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("The PDF could not be produced: %1").arg(pdf.errorString()));
        return false;
    }
    const QByteArray bytes = pdf.readAll();
    // A file cut short (a full disk) lacks the closing end-of-file marker.
    if (pdf.error() != QFileDevice::NoError || !bytes.trimmed().endsWith("%%EOF")) {
        setError(error, QStringLiteral("The PDF could not be produced completely"));
        return false;
    }
    return writeAllBytes(out, bytes, error);
}

bool saveJournalPdf(const QAbstractItemModel *model, const QString &serialNumber,
                    const QDate &calibrationDate, const QString &fileName, QString *error,
                    const JournalProgress &progress, int *sheets)
{
    return saveAllOrNothing(fileName, error, [&](QIODevice *out) {
        return writeJournalPdf(model, serialNumber, calibrationDate, out, error, progress, sheets);
    });
}
