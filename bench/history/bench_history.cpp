// Times decoding history pages and showing them in the history table, the
// table model against the item-per-cell table it replaced (time to fill, to
// read every cell's text, heap bytes a record), and reading a saved dump of
// the same pages: the file read back, its pages decoded in the zone it names.
// Then a pager's whole memory: `dr7326g-cli decode` of a dump of a million
// records (time and peak memory of the child process) and the window's table
// filled with a million records and painted once.
// Run with QT_QPA_PLATFORM=offscreen where no display is available.
#include "historydump.h"
#include "historypage.h"
#include "historytablemodel.h"
#include "mainwindow.h"
#include "pagerlink.h"
#include "support/itemhistorytable.h"
#include "support/testsettings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QStringList>
#include <QTableView>
#include <QTemporaryDir>
#include <QVector>

#include <cstdio>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr int recordsPerPage = 16;

QString word(unsigned w)
{
    return QStringLiteral("%1").arg(w & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

// Page replies holding `count` records followed by the end record.
QStringList makePages(int count)
{
    const char codes[] = {'F', 'F', 'F', 'N', '1', 'A', 'e', 'S'};
    QStringList pages;
    QStringList words;
    int block = 1;
    auto flush = [&]() {
        pages << QStringLiteral("DR_Pager#05A00317 $%1 READ_HISTORY BLK=%2 %3 CRC=ABCD\n\r")
                     .arg(block + 2, 4, 16, QLatin1Char('0'))
                     .arg(block, 4, 16, QLatin1Char('0'))
                     .arg(words.join(QLatin1Char(' ')));
        words.clear();
        ++block;
    };
    for (int i = 0; i <= count; ++i) {
        const unsigned minutes = i == count ? 0 : unsigned(i + 1) * 10;
        const char code = codes[i % 8];
        const std::uint32_t rate = encodeDeviceFloatWord(1.0e-7f * float(i % 100 + 1));
        const std::uint32_t dose = encodeDeviceFloatWord(1.0e-4f * float(i + 1));
        words << word(minutes) << word((unsigned(std::uint8_t(code)) << 8) | (minutes >> 16))
              << word(unsigned(i % 500)) << word(encodeDeviceFloatWord(float(i % 7)) >> 16)
              << word(rate >> 16) << word(rate) << word(dose >> 16) << word(dose);
        if (words.size() == 8 * recordsPerPage)
            flush();
    }
    if (!words.isEmpty())
        flush();
    return pages;
}

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1.0e6;
}

// Heap bytes in use, large blocks (mapped of their own) included.
double heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

// Reads every cell's display text, as the tool prints the table.
qint64 readAll(const QAbstractItemModel &model)
{
    qint64 chars = 0;
    for (int r = 0; r < model.rowCount(); ++r)
        for (int c = 0; c < model.columnCount(); ++c)
            chars += model.index(r, c).data().toString().size();
    return chars;
}

QList<HistoryRecord *> parse(const QList<QByteArray> &pages)
{
    QList<HistoryRecord *> records;
    HistoryPageReader reader(deviceEpoch().toSecsSinceEpoch(), records);
    for (const QByteArray &page : pages) {
        reader.take(page);
        if (reader.endReached())
            break;
    }
    return records;
}

QList<QByteArray> pageBytes(int count)
{
    QList<QByteArray> pages;
    for (const QString &text : makePages(count))
        pages << text.toUtf8();
    return pages;
}

// Runs `program args` with its output thrown away: its exit status, and its
// wall time and peak resident memory.
int runChild(const QStringList &command, double *seconds, double *peakMb)
{
    QList<QByteArray> bytes;
    for (const QString &arg : command)
        bytes << arg.toLocal8Bit();
    QVector<char *> argv;
    for (QByteArray &b : bytes)
        argv << b.data();
    argv << nullptr;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv.at(0), &actions, nullptr, argv.data(), environ) != 0)
        return -1;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return -1;
    *seconds = double(clock.nsecsElapsed()) / 1.0e9;
    *peakMb = double(usage.ru_maxrss) / 1024.0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes a dump of `count` records in the PC's zone.
bool writeDump(int count, const QString &fileName)
{
    HistoryDump dump;
    dump.serialNumber = QStringLiteral("05A00317");
    dump.timeZoneId = QTimeZone::systemTimeZoneId();
    dump.pages = pageBytes(count);
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(historyDumpBytes(dump)) > 0;
}

} // namespace

int main(int argc, char **argv)
{
    constexpr int million = 1000000;
    // Run by itself to write the dump: the memory that takes is not this
    // process's, whose peak a child started from it (vfork) inherits.
    if (argc == 3 && qstrcmp(argv[1], "--write-dump") == 0)
        return writeDump(million, QString::fromLocal8Bit(argv[2])) ? 0 : 1;

    QApplication app(argc, argv);
    QTemporaryDir dir;
    // The window's archive, and the tool's, never the user's.
    qputenv("DR7326G_ARCHIVE", dir.filePath(QStringLiteral("archive.sqlite")).toLocal8Bit());

    // A pager's whole memory through the tool, first, while this process is
    // small.
    const double decodeLimitS = 10, decodeLimitMb = 300, windowLimitS = 2;
    const QString dumpFile = dir.filePath(QStringLiteral("million.dump"));
    double decodeS = 0, decodePeakMb = 0;
    if (runChild(
            {QCoreApplication::applicationFilePath(), QStringLiteral("--write-dump"), dumpFile},
            &decodeS, &decodePeakMb) != 0) {
        std::fprintf(stderr, "%s not written\n", qPrintable(dumpFile));
        return 1;
    }
    const int code = runChild({QStringLiteral(DR7326G_CLI), QStringLiteral("decode"), dumpFile},
                              &decodeS, &decodePeakMb);
    if (code != 0) {
        std::fprintf(stderr, "dr7326g-cli decode exited %d\n", code);
        return 1;
    }

    std::printf("Pages decoded as the download does, then shown: the item-per-cell table\n"
                "(items) against the model (model): filling it (ms), reading every cell's\n"
                "text (ms) and heap bytes a record (the model: with the list of records it\n"
                "copies, as the window keeps them). Then a dump of the pages in another zone\n"
                "(ms): read back from its bytes, decoded.\n");
    std::printf("%9s %8s | %9s %9s %6s | %9s %9s %6s | %7s %7s %6s | %9s %9s\n", "records", "parse",
                "itemsFill", "modelFill", "ratio", "itemsRead", "modelRead", "ratio", "itemsB",
                "modelB", "ratio", "dumpRead", "decode");
    for (int count : {1000, 10000, 100000}) {
        const QList<QByteArray> pages = pageBytes(count);
        QElapsedTimer step;
        step.start();
        const double before = heapBytes();
        QList<HistoryRecord *> records = parse(pages);
        const double parseMs = ms(step);
        const double listBytes = heapBytes() - before;

        double itemsMs, itemsReadMs, itemsBytes, modelMs, modelReadMs, modelBytes;
        qint64 itemsChars, modelChars;
        {
            const double start = heapBytes();
            step.restart();
            QStandardItemModel items;
            fillItemHistoryTable(&items, records, QTimeZone::systemTimeZone(), ItemDates::AsBefore);
            itemsMs = ms(step);
            itemsBytes = (heapBytes() - start) / count;
            step.restart();
            itemsChars = readAll(items);
            itemsReadMs = ms(step);
        }
        {
            const double start = heapBytes();
            step.restart();
            HistoryTableModel model;
            model.setRecords(records);
            modelMs = ms(step);
            modelBytes = (heapBytes() - start + listBytes) / count;
            step.restart();
            modelChars = readAll(model);
            modelReadMs = ms(step);
        }

        HistoryDump dump;
        dump.timeZoneId = "Asia/Tokyo";
        dump.pages = pages;
        const QByteArray dumpBytes = historyDumpBytes(dump);
        step.restart();
        HistoryDump reopened;
        const bool read = readHistoryDump(dumpBytes, &reopened, nullptr);
        const double dumpReadMs = ms(step);
        step.restart();
        QList<HistoryRecord *> decoded;
        decodeHistoryDump(reopened, decoded);
        const double decodeMs = ms(step);
        const bool dumpOk = read && decoded.size() == count;
        qDeleteAll(decoded);

        if (records.size() != count || itemsChars != modelChars || !dumpOk) {
            std::fprintf(stderr, "wrong result: %d records, %lld and %lld characters\n",
                         int(records.size()), itemsChars, modelChars);
            return 1;
        }
        std::printf("%9d %8.1f | %9.1f %9.1f %6.1f | %9.1f %9.1f %6.2f | %7.0f %7.0f %6.1f | "
                    "%9.1f %9.1f\n",
                    count, parseMs, itemsMs, modelMs, itemsMs / modelMs, itemsReadMs, modelReadMs,
                    itemsReadMs / modelReadMs, itemsBytes, modelBytes, itemsBytes / modelBytes,
                    dumpReadMs, decodeMs);
        qDeleteAll(records);
    }

    double windowS = 0, windowMb = 0;
    {
        QList<HistoryRecord *> records = parse(pageBytes(million));
        MainWindow window;
        window.show();
        QApplication::processEvents();
        const double before = heapBytes();
        QElapsedTimer clock;
        clock.start();
        window.fillHistoryTable(records);
        QApplication::processEvents(); // the rows' heights fitted
        const QPixmap shown = window.findChild<QTableView *>()->grab();
        windowS = double(clock.nsecsElapsed()) / 1.0e9;
        windowMb = (heapBytes() - before) / 1048576.0;
        if (shown.isNull() || window.findChild<QTableView *>()->model()->rowCount() != million) {
            std::fprintf(stderr, "the window's table is wrong\n");
            return 1;
        }
        qDeleteAll(records);
    }

    std::printf("\nA million records: measured, limit, measured/limit.\n");
    std::printf("%-44s %9.2f %7.0f %6.2f\n", "dr7326g-cli decode: s", decodeS, decodeLimitS,
                decodeS / decodeLimitS);
    std::printf("%-44s %9.1f %7.0f %6.2f\n", "dr7326g-cli decode: peak resident MB", decodePeakMb,
                decodeLimitMb, decodePeakMb / decodeLimitMb);
    std::printf("%-44s %9.2f %7.0f %6.2f\n", "window: table filled and painted: s", windowS,
                windowLimitS, windowS / windowLimitS);
    std::printf("%-44s %9.1f\n", "window: heap MB taken by the table", windowMb);
    return 0;
}
