// Times a whole history download from the pager emulator, its replies paced
// like the pager's serial line. A page ends as soon as its checksum verifies,
// so the time is the wire's; before, every page also waited for the 1 s read
// time-out after its last byte.
// Usage: bench_download [RECORDS [BAUD]]   (default: 2000 records, 115200 baud)
#include "historydownload.h"
#include "support/emulatorprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString records = args.value(1, QStringLiteral("2000"));
    const QString baud = args.value(2, QStringLiteral("115200"));

    QTemporaryDir runtime; // private, as the pager socket folder must be
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    EmulatorProcess pager(runtime.path());
    if (!pager.start({QStringLiteral("--records"), records, QStringLiteral("--baud"), baud})) {
        std::fprintf(stderr, "the emulator did not start: %s\n", qPrintable(pager.log()));
        return 1;
    }
    PagerLink link;
    if (link.connect().isEmpty()) {
        std::fprintf(stderr, "the emulator did not answer\n");
        return 1;
    }
    link.readInfo();
    QList<HistoryRecord *> list;
    QElapsedTimer clock;
    clock.start();
    const HistoryDownloadResult result = downloadHistory(link, list, nullptr);
    const double seconds = double(clock.elapsed()) / 1000.0;
    link.disconnect();
    std::printf("%s records at %s baud: %d read, %d pages, %d requests, %s, %.1f s\n",
                qPrintable(records), qPrintable(baud), int(list.size()), result.pages,
                result.requests, result.complete() ? "complete" : "INCOMPLETE", seconds);
    const bool ok = result.complete() && list.size() == records.toInt();
    qDeleteAll(list);
    return ok ? 0 : 1;
}
