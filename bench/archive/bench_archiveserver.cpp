// The lab server's figures: synchronising a PC's archive with 100,000 new
// records (a year of records every 5 minutes, in 10 downloads) to the server,
// synchronising again when nothing is new, and reading that year of one pager
// back from the server as `archive records` does; then the sync of another
// PC's 100,000 records to an empty server and to one already holding
// 10,000,000 (ten pagers' records made by SQL), side by side. Needs a
// PostgreSQL server
// that libpq finds by its defaults (PGHOST, PGUSER, ...), for example
//   pg_virtualenv -t build/bench/archive/bench_archiveserver
// It makes (and drops first) the databases dr7326g_bench, dr7326g_bench_empty
// and dr7326g_bench_full.
#include "archive.h"
#include "archiverecordmodel.h"
#include "archiveserver.h"
#include "support/dumpfixture.h"
#include "support/testserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// A PC's archive of `records` new records of `serial`, in ten downloads.
bool makePcArchive(const QString &file, const QString &serial, int records)
{
    Archive local;
    QString error;
    if (!local.open(file, &error))
        return false;
    for (int d = 0; d < 10; ++d) {
        QList<int> minutes;
        for (int i = 0; i < records / 10; ++i)
            minutes << 1 + 5 * (records / 10 * d + i);
        if (!local
                 .storeHistory(historyDumpOf(serial, minutes, d == 9, 60 * d),
                               ArchiveOutcome::Complete, QStringLiteral("download"))
                 .ok)
            return false;
    }
    return true;
}

// The sync's cost beside what the server holds: 100,000 records to an empty
// server, then the same to one holding 10,000,000 records of ten others.
int syncBesideTenMillion(const QString &folder, const QString &sn)
{
    QString error;
    const ArchiveServer empty = freshTestDatabase(QStringLiteral("dr7326g_bench_empty"), &error);
    const ArchiveServer full = freshTestDatabase(QStringLiteral("dr7326g_bench_full"), &error);
    Archive setUp;
    if (!empty.isSet() || !full.isSet() || !setUp.openServer(full, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    setUp.close();
    QElapsedTimer t;
    t.start();
    // Ten pagers of 1,000,000 records each, five minutes apart, as a
    // download of each would leave them.
    const bool filled = runOnTestServer(
        QStringLiteral("dr7326g_bench_full"),
        QStringLiteral(
            "INSERT INTO pagers (serial) SELECT 'FULL' || p FROM generate_series(1, 10) p; "
            "INSERT INTO downloads (pager, origin, zone, outcome, pages, records, new_records, "
            "stored_at, digest, dump_size, dump) SELECT id, 'dump', 'UTC', 'complete', 1, "
            "1000000, 1000000, 0, 'full' || id, 0, '\\x00' FROM pagers; "
            "INSERT INTO records (pager, time, stored, copy, download, minute, dose_rate) "
            "SELECT d.pager, 915148800 + 300 * i, int8send(i * 5) || int8send(d.pager), 1, "
            "d.id, i * 5, 1e-7 FROM downloads d, generate_series(1, 1000000) i "
            "ORDER BY d.pager, i; VACUUM ANALYZE records"),
        &error);
    if (!filled) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("\n10,000,000 records put on a server by SQL: %lld s\n", t.elapsed() / 1000);
    QList<std::pair<const char *, double>> rows;
    for (const auto &[what, server, file] :
         {std::tuple("sync of 100,000 records to an empty server", empty, folder + "/a.sqlite"),
          std::tuple("the same to a server holding 10,000,000", full, folder + "/b.sqlite")}) {
        if (!makePcArchive(file, sn, 100000))
            return 1;
        t.restart();
        const ArchiveSyncResult r = synchronizeArchive(file, server);
        if (!r.ok || r.records != 100000) {
            std::fprintf(stderr, "sync: %s (%lld records)\n", qPrintable(r.error), r.records);
            return 1;
        }
        rows << std::pair(what, double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("%-48s %10s %7s\n", "(target: within 1.2x)", "ms", "ratio");
    for (const auto &[what, ms] : rows)
        std::printf("%-48s %10.1f %7.2f\n", what, ms, ms / rows.first().second);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!testServerAvailable()) {
        std::fprintf(stderr, "no PostgreSQL server: run it under pg_virtualenv\n");
        return 77;
    }
    QString error;
    const ArchiveServer server = freshTestDatabase(QStringLiteral("dr7326g_bench"), &error);
    if (!server.isSet()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("pc.sqlite"));
    const QString sn = QStringLiteral("05A00317");
    {
        Archive local;
        if (!local.open(file, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        // 10 downloads of 10,000 records each, 5 minutes apart, none shared.
        for (int d = 0; d < 10; ++d) {
            QList<int> minutes;
            for (int i = 0; i < 10000; ++i)
                minutes << 1 + 5 * (10000 * d + i);
            if (!local
                     .storeHistory(historyDumpOf(sn, minutes, d == 9, 60 * d),
                                   ArchiveOutcome::Complete, QStringLiteral("download"))
                     .ok)
                return 1;
        }
    }
    QElapsedTimer t;
    t.start();
    const ArchiveSyncResult first = synchronizeArchive(file, server);
    const qint64 firstMs = t.elapsed();
    if (!first.ok) {
        std::fprintf(stderr, "sync: %s\n", qPrintable(first.error));
        return 1;
    }
    std::printf("sync of %lld new records in %d downloads: %lld ms (target < 5000)\n",
                first.records, first.downloads, firstMs);
    t.restart();
    const ArchiveSyncResult again = synchronizeArchive(file, server);
    std::printf("sync that finds nothing new: %lld ms (target < 500)%s\n", t.elapsed(),
                again.nothingNew() ? "" : " -- it found something: wrong");

    Archive lab;
    if (!lab.openServer(server, &error))
        return 1;
    const ArchivePager pager = lab.pagers().value(0);
    t.restart();
    ArchiveRecordModel model(&lab);
    model.setPageRows(10000);
    // A year of records from the first one, as `archive records --from --to`.
    model.setPeriod(sn, pager.firstRecord, pager.firstRecord.addDays(365));
    model.readAll();
    qint64 chars = 0;
    for (int r = 0; r < model.rowCount(); ++r)
        for (int c = 0; c < model.columnCount(); ++c)
            chars += model.index(r, c).data().toString().size();
    std::printf("one year from the server (%d records, rows made as text): %lld ms (target < "
                "1000)\n",
                model.rowCount(), t.elapsed());
    if (chars == 0)
        return 1;
    return syncBesideTenMillion(dir.path(), sn);
}
