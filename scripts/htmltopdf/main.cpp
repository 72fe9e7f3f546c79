// htmltopdf INPUT.html OUTPUT.pdf
//
// Lays the HTML file (UTF-8) out with the toolkit's rich-text engine and prints
// it to an A4 PDF with page numbers at the foot of each page. The document's
// <title> becomes the PDF title. Run with QT_QPA_PLATFORM=offscreen.
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: htmltopdf INPUT.html OUTPUT.pdf\n");
        return 2;
    }

    QFile input(args.at(1));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "htmltopdf: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QString html = QString::fromUtf8(input.readAll());

    // DejaVu Sans carries the Cyrillic glyphs; the PDF embeds what is used.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(9.5);
    if (!QFontDatabase().families().contains(font.family()))
        std::fprintf(stderr, "htmltopdf: font \"DejaVu Sans\" not installed, using a fallback\n");

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(20, 12, 15, 10), QPageLayout::Millimeter));
    printer.setOutputFileName(args.at(2));
    printer.setCreator(QStringLiteral("htmltopdf"));

    // The text is measured on the printer itself, so point sizes come out as
    // points on paper whatever the screen resolution. The foot of each page
    // is kept free for the page number.
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&printer);
    document.setDefaultFont(font);
    document.setHtml(html);
    printer.setDocName(document.metaInformation(QTextDocument::DocumentTitle));

    const QRectF paper = printer.pageLayout().paintRectPixels(printer.resolution());
    const qreal footer = printer.resolution() * 7 / 25.4; // 7 mm
    const QSizeF body(paper.width(), paper.height() - footer);
    document.setPageSize(body);
    const int pages = document.pageCount();

    QPainter painter;
    if (!painter.begin(&printer)) {
        std::fprintf(stderr, "htmltopdf: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    QFont footerFont = font;
    footerFont.setPointSizeF(8);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            printer.newPage();
        const QRectF slice(0, page * body.height(), body.width(), body.height());
        painter.save();
        painter.translate(0, -slice.top());
        document.drawContents(&painter, slice);
        painter.restore();
        painter.setFont(footerFont);
        painter.drawText(QRectF(0, body.height(), body.width(), footer),
                         Qt::AlignRight | Qt::AlignBottom,
                         QStringLiteral("%1 / %2").arg(page + 1).arg(pages));
    }
    painter.end();
    if (printer.printerState() == QPrinter::Error) {
        std::fprintf(stderr, "htmltopdf: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
