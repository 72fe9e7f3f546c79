// The archive's figures: importing a 100,000-record download, importing it
// again (nothing new), the size of a record, and an archive of 1,000,000
// records of one pager over a year: the check of the whole file before the
// first write of a run, and the year in the archive window: shown (with and
// without the summary line, which reads every record of the period), its last
// row reached with Ctrl+End, a row in the middle with the scroll bar, every
// row read in turn (as a file is written), and the period's plot with the
// memory it took. The figures end in a table, each with its target and its
// ratio to the first figure (the import), which tells a slower machine from a
// slower program. Also the share flagging takes of an import, and a
// wearer's dose over the year of 1,000,000 records.
// Usage: bench_archive [FOLDER] (default: a temporary folder). Run with
// QT_QPA_PLATFORM=offscreen where no display is available.
#include "archive.h"
#include "archiverecordmodel.h"
#include "archivewindow.h"
#include "historyflags.h"
#include "historypage.h"
#include "historyplot.h"
#include "support/dumpfixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

// Minute counts of `count` records every 5 minutes from `first`.
QList<int> minutes(int first, int count)
{
    QList<int> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i)
        list << first + 5 * i;
    return list;
}

// A line of /proc/self/status in kB (VmHWM: the peak resident size, VmRSS: the present).
qint64 memoryKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Starts the peak resident size again from the present one (Linux).
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct Figure
{
    QString what;
    double value;
    const char *unit;
    QString target; // empty: none
};

qint64 dumpBlobBytes(const QString &file)
{
    qint64 bytes = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("b"));
        db.setDatabaseName(file);
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT SUM(length(dump)) FROM downloads")) &&
            q.next())
            bytes = q.value(0).toLongLong();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("b"));
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const QString serial = QStringLiteral("05A00317");
    QElapsedTimer t;

    std::vector<Figure> figures;
    auto figure = [&](const QString &what, double value, const char *unit,
                      const QString &target = QString()) {
        figures.push_back({what, value, unit, target});
        std::printf("%s: %.1f %s\n", qPrintable(what), value, unit);
        std::fflush(stdout);
    };

    // ---- Import of one download ----
    const QString small = folder + QStringLiteral("/import.sqlite");
    QFile::remove(small);
    Archive archive;
    QString error;
    if (!archive.open(small, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const HistoryDump dump = historyDumpOf(serial, minutes(1, 100000), true, 0);
    t.start();
    ArchiveStoreResult r = archive.storeHistory(dump, ArchiveOutcome::Complete, "download");
    figure(QStringLiteral("import of a 100000-record download (%1 new)").arg(r.newRecords),
           t.elapsed(), "ms");
    const double importMs = figures.back().value;
    {
        // Flagging's own part of that import, done again alone: the line
        // checksum of every page reply, and the rules over the records.
        QList<HistoryRecord *> decoded;
        decodeHistoryDump(dump, decoded);
        t.start();
        HistoryFlagContext context;
        context.downloadedAt = dump.downloadedAt.toSecsSinceEpoch();
        context.intervalMinutes = 5;
        for (const QByteArray &reply : dump.pages)
            context.unverified.append(verifiedPagesEnd(reply) < 0);
        flagHistoryRecords(decoded, context);
        const double flagging = double(t.nsecsElapsed()) / 1e6;
        figure(QStringLiteral("of that import, flagging its records (checksums and rules)"),
               flagging, "ms");
        figure(QStringLiteral("flagging beside the rest of the import"),
               100.0 * flagging / qMax(1.0, importMs - flagging), "%", QStringLiteral("< 10"));
        qDeleteAll(decoded);
    }
    const HistoryDump later = historyDumpOf(serial, minutes(1, 100000), true, 3600);
    t.start();
    r = archive.storeHistory(later, ArchiveOutcome::Complete, "download");
    figure(QStringLiteral("the same records again, a later download (%1 new)").arg(r.newRecords),
           t.elapsed(), "ms");
    t.start();
    r = archive.importDump(dump);
    figure(QStringLiteral("the same dump imported again (%1)")
               .arg(r.alreadyStored ? "already stored" : "stored again"),
           t.elapsed(), "ms");
    archive.close();

    // ---- One pager, 1,000,000 records over a year: ten downloads of 100,000
    // (each minute's record twice: a record and its copy) ----
    const QString big = folder + QStringLiteral("/million.sqlite");
    QFile::remove(big);
    archive.open(big, &error);
    t.start();
    for (int i = 0; i < 10; ++i) {
        QList<int> twice;
        for (int m : minutes(0, 50000))
            twice << 1 + 50000 * i + m / 5 << 1 + 50000 * i + m / 5;
        archive.storeHistory(historyDumpOf(serial, twice, true, i), ArchiveOutcome::Complete,
                             "download");
    }
    figure(QStringLiteral("1000000 records in ten downloads"), t.elapsed(), "ms");
    archive.close();
    const qint64 fileBytes = QFileInfo(big).size();
    const qint64 blobs = dumpBlobBytes(big);
    figure(QStringLiteral("archive file beside the compressed dumps, a record"),
           double(fileBytes - blobs) / 1e6, "bytes");

    // ---- The check of the whole file before the first write of a run ----
    archive.open(big, &error);
    const ParameterRead read{serial, {{QStringLiteral("history-interval"), QStringLiteral("5")}}};
    t.start();
    const bool first = archive.storeParameterRead(read, &error);
    figure(QStringLiteral("a parameter read stored, the first of a run (with the check of the "
                          "file; %1)")
               .arg(first ? QStringLiteral("stored") : error),
           t.elapsed(), "ms");
    t.start();
    archive.storeParameterRead(read, &error);
    figure(QStringLiteral("the next parameter read"), t.elapsed(), "ms");

    // ---- A wearer's dose over the year: the pager given in four quarters,
    // to the wearer in two of them ----
    {
        const ArchivePager worn = archive.pagers().first();
        const qint64 first = worn.firstRecord.toSecsSinceEpoch();
        const qint64 quarter = (worn.lastRecord.toSecsSinceEpoch() + 1 - first) / 4 + 1;
        archive.addWearer(QStringLiteral("B-1"), QStringLiteral("Носитель"), &error);
        archive.addWearer(QStringLiteral("B-2"), QStringLiteral("Другой"), &error);
        for (int q = 0; q < 4; ++q)
            archive.assignPager(serial, q % 2 ? QStringLiteral("B-2") : QStringLiteral("B-1"),
                                QDateTime::fromSecsSinceEpoch(first + q * quarter),
                                QDateTime::fromSecsSinceEpoch(first + (q + 1) * quarter), &error);
        ArchiveWearerDose dose;
        t.start();
        archive.wearerDose(QStringLiteral("B-1"), worn.firstRecord, worn.lastRecord.addSecs(1),
                           &dose, &error);
        qint64 counted = 0;
        for (const ArchiveDosePart &p : dose.parts)
            counted += p.records;
        figure(
            QStringLiteral("a wearer's dose over the year (%1 of %2 records worn, %3)")
                .arg(counted)
                .arg(worn.records)
                .arg(error.isEmpty() ? QStringLiteral("%1 parts").arg(dose.parts.size()) : error),
            t.elapsed(), "ms", QStringLiteral("< 1000"));
    }
    archive.close();

    // ---- The year in the archive window ----
    archive.open(big, &error);
    t.start();
    ArchiveWindow window(&archive, [](const QString &) { return QDate(2020, 11, 27); });
    window.show();
    QApplication::processEvents();
    figure(QStringLiteral("archive window opened (pagers listed, last 30 days shown)"), t.elapsed(),
           "ms");
    const ArchivePager pager = archive.pagers().first();
    const QDate yearFrom = pager.firstRecord.toLocalTime().date();
    const QDate yearTo = pager.lastRecord.toLocalTime().date();
    auto *view = window.findChild<QTableView *>(QStringLiteral("tableRecords"));
    ArchiveRecordModel &model = *window.recordModel();
    t.start();
    window.setPeriod(yearFrom, yearTo);
    QApplication::processEvents();
    view->repaint();
    const qint64 shown = t.elapsed();
    figure(QStringLiteral("a year shown (%1 rows, %2 days), with the summary line")
               .arg(model.rowCount())
               .arg(yearFrom.daysTo(yearTo) + 1),
           shown, "ms");
    t.start();
    archive.summarize(serial, yearFrom.startOfDay(), yearTo.addDays(1).startOfDay());
    const qint64 summary = t.elapsed();
    figure(QStringLiteral("of that, the summary line alone"), summary, "ms");
    figure(QStringLiteral("a year shown, without the summary line"), shown - summary, "ms",
           QStringLiteral("< 500"));

    t.start();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(view, &end);
    QApplication::processEvents();
    view->repaint();
    figure(QStringLiteral("Ctrl+End (row %1 current of %2)")
               .arg(view->currentIndex().row() + 1)
               .arg(model.rowCount()),
           t.elapsed(), "ms", QStringLiteral("< 100"));
    QScrollBar *bar = view->verticalScrollBar();
    t.start();
    bar->setValue(bar->maximum() / 2);
    QApplication::processEvents();
    view->repaint();
    figure(QStringLiteral("scroll bar dragged to the middle"), t.elapsed(), "ms",
           QStringLiteral("< 100"));
    t.start();
    qint64 chars = 0;
    for (int row = 0; row < model.rowCount(); ++row)
        chars += model.index(row, 0).data().toString().size();
    figure(QStringLiteral("every row read in turn, as for a file (%1 chars of dates)").arg(chars),
           t.elapsed(), "ms");

    // ---- The period's plot ----
    {
        QVector<HistoryRecord> all;
        t.start();
        model.readRecords(&all);
        figure(QStringLiteral("of the plot below, the period's records read (%1)").arg(all.size()),
               t.elapsed(), "ms");
        t.start();
        const HistoryPlotData data = historyPlotData(all);
        figure(QStringLiteral("of the plot below, its series and markers made"), t.elapsed(), "ms");
    }
    resetPeakMemory();
    const qint64 before = memoryKb("VmRSS:");
    t.start();
    window.findChild<QPushButton *>(QStringLiteral("btnPlotPeriod"))->click();
    auto *plotWindow = window.findChild<HistoryPlotWindow *>();
    QApplication::processEvents();
    if (plotWindow)
        plotWindow->repaint();
    figure(QStringLiteral("period plot of the year shown (%1 records)")
               .arg(plotWindow ? plotWindow->plot()->data().recordX.size() : 0),
           t.elapsed(), "ms", QStringLiteral("< 2000"));
    figure(QStringLiteral("its peak memory beyond what was held before"),
           double(memoryKb("VmHWM:") - before) / 1024, "MB", QStringLiteral("< 200"));
    t.start();
    if (plotWindow) {
        plotWindow->plot()->replot();
        QApplication::processEvents();
    }
    figure(QStringLiteral("the whole year drawn again"), t.elapsed(), "ms");
    t.start();
    if (plotWindow) {
        HistoryPlot *plot = plotWindow->plot();
        const double day = plot->data().lastX() - 86400e3;
        plot->setAxisScale(QwtPlot::xBottom, day, day + 86400e3);
        plot->replot();
        QApplication::processEvents();
    }
    figure(QStringLiteral("zoomed in to its last day"), t.elapsed(), "ms");

    std::printf("\n%-78s %10s %-6s %8s %8s\n", "figure", "value", "unit", "target", "ratio");
    // Times against the first time; other figures have no ratio.
    for (const Figure &f : figures) {
        const bool time = qstrcmp(f.unit, "ms") == 0 && figures.front().value > 0;
        std::printf("%-78s %10.1f %-6s %8s %8s\n", qPrintable(f.what.left(78)), f.value, f.unit,
                    qPrintable(f.target),
                    time ? qPrintable(QString::number(f.value / figures.front().value, 'f', 2))
                         : "");
    }
    return 0;
}
