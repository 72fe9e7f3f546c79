// Prints how long the CSV export and the PDF journal take for history tables
// of several sizes. The output goes to memory (CSV) and through the printer's
// temporary file into memory (PDF).

#include "csvexport.h"
#include "pdfjournal.h"

#include <QApplication>
#include <QBuffer>
#include <QDate>
#include <QElapsedTimer>
#include <QStandardItemModel>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

std::unique_ptr<QStandardItemModel> historyTable(int rows)
{
    auto model = std::make_unique<QStandardItemModel>();
    model->setHorizontalHeaderLabels({QStringLiteral("Дата"), QStringLiteral("Событие"),
                                      QStringLiteral("CPS гамма (имп/с)"),
                                      QStringLiteral("CPS нейтроны (имп/с)"),
                                      QStringLiteral("МЭД (Зв/ч)"), QStringLiteral("ЭД (Зв)")});
    for (int r = 0; r < rows; ++r) {
        const QList<QStandardItem *> cells = {
            new QStandardItem(QStringLiteral("16.02.1999 12:%1").arg(r % 60, 2, 10, QChar('0'))),
            new QStandardItem(r % 7 ? QStringLiteral("Фон") : QStringLiteral("Тревога гамма")),
            new QStandardItem(QString::number(r % 500)),
            new QStandardItem(QString::number(1.0 + r % 3, 'f', 2)),
            new QStandardItem(QString::number(7.63e-07 * (1 + r % 10), 'e', 2)),
            new QStandardItem(QString::number(0.15625 + r * 1e-4, 'e', 2))};
        model->appendRow(cells);
    }
    return model;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDate calibration(2020, 11, 27);
    const QLocale russian(QLocale::Russian, QLocale::Russia);

    std::printf("%8s %10s %10s %12s %10s %8s\n", "rows", "CSV ms", "CSV bytes", "PDF ms",
                "PDF bytes", "ok");
    for (const int rows : {1000, 5000, 20000}) {
        const auto model = historyTable(rows);

        QBuffer csv;
        csv.open(QIODevice::WriteOnly);
        QElapsedTimer timer;
        timer.start();
        const bool csvOk = writeHistoryCsv(model.get(), calibration, &csv, russian);
        const qint64 csvMs = timer.elapsed();

        QBuffer pdf;
        pdf.open(QIODevice::WriteOnly);
        QString error;
        timer.restart();
        const bool pdfOk =
            writeJournalPdf(model.get(), QStringLiteral("12345"), calibration, &pdf, &error);
        const qint64 pdfMs = timer.elapsed();

        std::printf("%8d %10lld %10lld %12lld %10lld %8s\n", rows, csvMs,
                    static_cast<long long>(csv.size()), pdfMs, static_cast<long long>(pdf.size()),
                    csvOk && pdfOk ? "yes" : "NO");
        if (!pdfOk)
            std::printf("PDF failed: %s\n", qPrintable(error));
    }
    return 0;
}
