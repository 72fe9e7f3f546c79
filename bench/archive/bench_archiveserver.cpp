// The lab server's figures: synchronising a PC's archive with 100,000 new
// records (a year of records every 5 minutes, in 10 downloads) to the server,
// synchronising again when nothing is new, and reading that year of one pager
// back from the server as `archive records` does. Needs a PostgreSQL server
// that libpq finds by its defaults (PGHOST, PGUSER, ...), for example
//   pg_virtualenv -t build/bench/archive/bench_archiveserver
// It makes (and drops first) the database dr7326g_bench.
#include "archive.h"
#include "archiverecordmodel.h"
#include "archiveserver.h"
#include "support/dumpfixture.h"
#include "support/testserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

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
    model.fetchAll();
    qint64 chars = 0;
    for (int r = 0; r < model.rowCount(); ++r)
        for (int c = 0; c < model.columnCount(); ++c)
            chars += model.index(r, c).data().toString().size();
    std::printf("one year from the server (%d records, rows made as text): %lld ms (target < "
                "1000)\n",
                model.rowCount(), t.elapsed());
    return chars > 0 ? 0 : 1;
}
