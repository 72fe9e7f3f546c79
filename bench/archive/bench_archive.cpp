// The archive's figures: importing a 100,000-record download, importing it
// again (nothing new), the size of a record, and an archive of 1,000,000
// records of one pager: the check of the whole file before the first write
// of a run, and the archive browsed in a table view: a one-year period shown,
// scrolled to its end page by page in the archive window, and the memory it
// took.
// Usage: bench_archive [FOLDER] (default: a temporary folder). Run with
// QT_QPA_PLATFORM=offscreen where no display is available.
#include "archive.h"
#include "archiverecordmodel.h"
#include "archivewindow.h"
#include "support/dumpfixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

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

qint64 peakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

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
    std::printf("import of a 100000-record download: %lld ms (%d new)\n", qint64(t.elapsed()),
                r.newRecords);
    const HistoryDump later = historyDumpOf(serial, minutes(1, 100000), true, 3600);
    t.start();
    r = archive.storeHistory(later, ArchiveOutcome::Complete, "download");
    std::printf("the same records again, a later download: %lld ms (%d new)\n", qint64(t.elapsed()),
                r.newRecords);
    t.start();
    r = archive.importDump(dump);
    std::printf("the same dump imported again: %lld ms (%s)\n", qint64(t.elapsed()),
                r.alreadyStored ? "already stored" : "stored again");
    archive.close();

    // ---- One pager, 1,000,000 records: ten downloads of 100,000 ----
    const QString big = folder + QStringLiteral("/million.sqlite");
    QFile::remove(big);
    archive.open(big, &error);
    t.start();
    for (int i = 0; i < 10; ++i)
        archive.storeHistory(historyDumpOf(serial, minutes(1 + 500000 * i, 100000), true, i),
                             ArchiveOutcome::Complete, "download");
    std::printf("1000000 records in ten downloads: %lld ms\n", qint64(t.elapsed()));
    archive.close();
    const qint64 fileBytes = QFileInfo(big).size();
    const qint64 blobs = dumpBlobBytes(big);
    std::printf("archive file %lld bytes, compressed dumps %lld bytes: %.1f bytes a record "
                "beside the dumps\n",
                fileBytes, blobs, double(fileBytes - blobs) / 1e6);

    // ---- The check of the whole file before the first write of a run ----
    archive.open(big, &error);
    const ParameterRead read{serial, {{QStringLiteral("history-interval"), QStringLiteral("5")}}};
    t.start();
    const bool first = archive.storeParameterRead(read, &error);
    const qint64 checked = t.elapsed();
    t.start();
    archive.storeParameterRead(read, &error);
    std::printf("a parameter read stored, the first of a run (with the check of the file): %lld ms "
                "(%s); the next: %lld ms\n",
                checked, first ? "stored" : qPrintable(error), qint64(t.elapsed()));
    archive.close();

    // ---- Browsing it in the archive window ----
    const qint64 memoryBefore = peakMemoryKb();
    archive.open(big, &error);
    t.start();
    ArchiveWindow window(&archive, [](const QString &) { return QDate(2020, 11, 27); });
    window.show();
    QApplication::processEvents();
    std::printf("archive window opened (pagers listed, last 30 days shown): %lld ms\n",
                qint64(t.elapsed()));
    // The last year of the records.
    const QDate last = archive.pagers().first().lastRecord.date();
    t.start();
    window.setPeriod(last.addYears(-1).addDays(1), last);
    QApplication::processEvents();
    auto *view = window.findChild<QTableView *>(QStringLiteral("tableRecords"));
    view->repaint();
    const ArchiveRecordModel &model = *window.recordModel();
    std::printf("one-year period shown (%s): %lld ms\n", qPrintable(window.summaryText()),
                qint64(t.elapsed()));
    qint64 slowest = 0;
    int steps = 0;
    QScrollBar *bar = view->verticalScrollBar();
    while (model.canFetchMore(QModelIndex()) || bar->value() < bar->maximum()) {
        QElapsedTimer step;
        step.start();
        bar->setValue(bar->maximum());
        QApplication::processEvents();
        view->repaint();
        slowest = qMax(slowest, qint64(step.elapsed()));
        ++steps;
    }
    std::printf("scrolled to the end of the period in %d steps, %d rows: slowest step %lld ms\n",
                steps, model.rowCount(), slowest);
    std::printf("peak memory: %lld MB before browsing, %lld MB after\n", memoryBefore / 1024,
                peakMemoryKb() / 1024);
    return 0;
}
