// Prints how long the CSV export and the PDF journal take for history tables
// of several sizes, the journal's file size and the memory it needs at its
// peak, and beside it the old HTML journal (the reference) with the ratio.
// The journals are saved as files in a temporary folder. With two arguments,
// ROWS and FILE, it saves one journal of that many rows as FILE.

#include "csvexport.h"
#include "htmljournal.h"
#include "pdfjournal.h"

#include <QApplication>
#include <QBrush>
#include <QBuffer>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

const QStringList events = {QStringLiteral("Фон"),
                            QStringLiteral("Фон"),
                            QStringLiteral("Тревога гамма"),
                            QStringLiteral("Фон"),
                            QStringLiteral("Тревога нейтронная"),
                            QStringLiteral("Изменение количества сигм"),
                            QStringLiteral("Включение прибора")};

std::unique_ptr<QStandardItemModel> historyTable(int rows)
{
    auto model = std::make_unique<QStandardItemModel>();
    model->setHorizontalHeaderLabels({QStringLiteral("Дата"), QStringLiteral("Событие"),
                                      QStringLiteral("CPS гамма (имп/с)"),
                                      QStringLiteral("CPS нейтроны (имп/с)"),
                                      QStringLiteral("МЭД (Зв/ч)"), QStringLiteral("ЭД (Зв)")});
    const QVariant red = QBrush(QColor(255, 0, 0));
    const QDateTime start(QDate(1999, 2, 16), QTime(12, 0));
    for (int r = 0; r < rows; ++r) {
        const QString &event = events.at(r % events.size());
        QList<QStandardItem *> cells = {
            new QStandardItem(start.addSecs(60 * r).toString(QStringLiteral("dd.MM.yyyy HH:mm"))),
            new QStandardItem(event),
            new QStandardItem(QString::number(r % 500)),
            new QStandardItem(QString::number(1.0 + r % 3, 'f', 2)),
            new QStandardItem(QString::number(7.63e-07 * (1 + r % 10), 'e', 2)),
            new QStandardItem(QString::number(0.15625 + r * 1e-4, 'e', 2))};
        if (event.startsWith(QStringLiteral("Тревога")))
            for (QStandardItem *cell : cells)
                cell->setData(red, Qt::ForegroundRole);
        model->appendRow(cells);
    }
    return model;
}

// Resident memory in KiB: now, and at its peak since the last reset.
long long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Hands freed memory back first, so that the peak counts what the journal
// takes, not what an earlier run left behind.
void resetPeak()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDate calibration(2020, 11, 27);
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QTemporaryDir dir;

    // bench_reports ROWS FILE: one journal of ROWS rows saved as FILE, to
    // look at.
    if (argc == 3) {
        const auto model = historyTable(QString::fromLocal8Bit(argv[1]).toInt());
        QString error;
        int sheets = 0;
        QElapsedTimer timer;
        timer.start();
        const bool ok =
            saveJournalPdf(model.get(), QStringLiteral("12345"), calibration,
                           QString::fromLocal8Bit(argv[2]), &error, JournalProgress(), &sheets);
        std::printf("%lld ms, %d sheets%s%s\n", timer.elapsed(), sheets, ok ? "" : ": ",
                    qPrintable(error));
        return ok ? 0 : 1;
    }

    std::printf("%7s %7s | %8s %9s %7s %6s %9s %6s | %9s %10s %7s\n", "rows", "CSV ms", "PDF ms",
                "PDF bytes", "B/row", "sheets", "peak KiB", "ok", "HTML ms", "HTML bytes", "ratio");
    qint64 ms20000 = 0;
    for (const int rows : {1000, 20000, 100000}) {
        const auto model = historyTable(rows);

        QBuffer csv;
        csv.open(QIODevice::WriteOnly);
        QElapsedTimer timer;
        timer.start();
        const bool csvOk = writeHistoryCsv(model.get(), calibration, &csv, russian);
        const qint64 csvMs = timer.elapsed();

        const QString pdfName = dir.filePath(QStringLiteral("journal%1.pdf").arg(rows));
        QString error;
        int sheets = 0;
        resetPeak();
        const long long before = statusKiB("VmRSS:");
        timer.restart();
        const bool pdfOk = saveJournalPdf(model.get(), QStringLiteral("12345"), calibration,
                                          pdfName, &error, JournalProgress(), &sheets);
        const qint64 pdfMs = timer.elapsed();
        const long long peak = statusKiB("VmHWM:") - before;
        const qint64 pdfBytes = QFileInfo(pdfName).size();
        if (rows == 20000)
            ms20000 = pdfMs;

        std::printf("%7d %7lld | %8lld %9lld %7.1f %6d %9lld %6s |", rows, csvMs, pdfMs,
                    static_cast<long long>(pdfBytes), double(pdfBytes) / rows, sheets, peak,
                    csvOk && pdfOk ? "yes" : "NO");
        if (rows <= 20000) {
            const QString htmlName = dir.filePath(QStringLiteral("html%1.pdf").arg(rows));
            timer.restart();
            const bool htmlOk =
                printHtmlJournal(model.get(), QStringLiteral("12345"), calibration, htmlName);
            const qint64 htmlMs = timer.elapsed();
            std::printf(" %9lld %10lld %6.1fx%s", htmlMs,
                        static_cast<long long>(QFileInfo(htmlName).size()),
                        double(htmlMs) / std::max<qint64>(pdfMs, 1), htmlOk ? "" : " FAILED");
        }
        std::printf("\n");
        if (rows == 100000 && ms20000 > 0)
            std::printf("100,000 rows take %.1f times as long as 20,000 rows\n",
                        double(pdfMs) / ms20000);
        if (!pdfOk)
            std::printf("PDF failed: %s\n", qPrintable(error));
        std::fflush(stdout);
    }
    return 0;
}
