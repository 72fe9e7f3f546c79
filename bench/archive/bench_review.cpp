// Review and sign-off on a 1,000,000-record archive: 200 downloads of 5,000
// records each (every one with alarms, so every one to review), half of them
// signed; then the downloads to review listed, and a download signed, ten
// times each; the median and the slowest against the target of 100 ms.
//   build/bench/archive/bench_review
#include "archive.h"
#include "support/dumpfixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Runs `step` ten times; prints the median and the slowest; false when
// the step failed or the median misses the target.
bool measure(const char *what, const std::function<bool()> &step)
{
    std::vector<double> runs;
    QElapsedTimer clock;
    for (int run = 0; run < 10; ++run) {
        clock.restart();
        if (!step())
            return false;
        runs.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(runs.begin(), runs.end());
    const double median = runs.at(runs.size() / 2);
    std::printf("| %s, median of 10 | %.1f ms | < 100 ms | %.2f |\n", what, median, median / 100);
    std::printf("| the same, slowest of 10 | %.1f ms | < 100 ms | %.2f |\n", runs.back(),
                runs.back() / 100);
    return median < 100;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Archive archive;
    QString error;
    if (!archive.open(dir.filePath(QStringLiteral("review.sqlite")), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    constexpr int downloads = 200, perDownload = 5000;
    QElapsedTimer clock;
    clock.start();
    QList<qint64> ids;
    for (int d = 0; d < downloads; ++d) {
        QList<int> minutes;
        for (int m = 0; m < perDownload; ++m)
            minutes << 1 + d * perDownload + m;
        const ArchiveStoreResult stored =
            archive.storeHistory(historyDumpOf(QStringLiteral("05A00317"), minutes, true, d * 60),
                                 ArchiveOutcome::Complete, QStringLiteral("download"));
        if (!stored.ok || stored.newRecords != perDownload) {
            std::fprintf(stderr, "download %d: %s\n", d, qPrintable(stored.error));
            return 1;
        }
        ids << stored.downloadId;
        if (d % 2 && !archive.signDownload(stored.downloadId, SignatureMeaning::Accepted, QString(),
                                           QString(), QDateTime(), &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    std::printf("stored %d records in %d downloads in %lld ms\n", downloads * perDownload,
                downloads, static_cast<long long>(clock.elapsed()));
    std::printf("| figure | value | target | ratio |\n|---|---|---|---|\n");
    bool ok = measure("downloads to review listed (100 of 200)", [&]() {
        const QList<ArchiveReview> pending = archive.pendingReviews(&error);
        if (pending.size() == downloads / 2 && error.isEmpty())
            return true;
        std::fprintf(stderr, "listed %d: %s\n", int(pending.size()), qPrintable(error));
        return false;
    });
    int next = 0;
    ok =
        measure("a download signed",
                [&]() {
                    if (archive.signDownload(ids.at(2 * next++), SignatureMeaning::Remarks,
                                             QStringLiteral("фон"), QString(), QDateTime(), &error))
                        return true;
                    std::fprintf(stderr, "%s\n", qPrintable(error));
                    return false;
                }) &&
        ok;
    return ok ? 0 : 1;
}
