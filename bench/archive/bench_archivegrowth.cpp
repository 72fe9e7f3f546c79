// The archive as it grows to ten million records: ten pagers, each read in
// ten downloads of 100,000 records (one every five minutes), imported one
// after another into one archive: the time of the 1st, 10th, 50th and 100th
// import and what each wrote to the disk; then, at 10 M records, the
// questions the window and `dr7326g-cli archive` ask: the pager list, one
// day, one year and all 1,000,000 records of one pager (the command itself,
// a process of its own, its output thrown away). One run, printed as a
// table with each figure's ratio to the first of its group.
// Usage: bench_archivegrowth [FOLDER] (default: a temporary folder; about
// 2 GB of disk).
#include "archive.h"
#include "support/dumpfixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int pagers = 10;
constexpr int downloadsEach = 10;
constexpr int recordsEach = 100000;

QString serialOf(int pager)
{
    return QStringLiteral("05A%1").arg(317 + pager, 5, 10, QLatin1Char('0'));
}

// Download `k` of a pager: the next 100,000 records, five minutes apart.
HistoryDump downloadOf(int pager, int k)
{
    QList<int> minutes;
    minutes.reserve(recordsEach);
    const int first = 1 + 5 * recordsEach * k;
    for (int i = 0; i < recordsEach; ++i)
        minutes << first + 5 * i;
    return historyDumpOf(serialOf(pager), minutes, true, qint64(k) * 86400 * 30 + pager);
}

// Bytes this process has written to the disk (its own and SQLite's temporary files).
qint64 writtenBytes()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("write_bytes:"))
            return line.mid(12).trimmed().toLongLong();
    return -1;
}

struct Row
{
    QString what;
    double ms;
    QString note;
};

void printTable(const char *title, const QList<Row> &rows)
{
    std::printf("\n%s\n%-58s %10s %7s  %s\n", title, "", "ms", "ratio", "");
    for (const Row &r : rows)
        std::printf("%-58s %10.1f %7.2f  %s\n", qPrintable(r.what), r.ms,
                    rows.first().ms > 0 ? r.ms / rows.first().ms : 0.0, qPrintable(r.note));
}

// Runs the command-line tool on the archive; its milliseconds, output thrown away.
double cliMs(const QString &cli, const QString &archive, const QStringList &args, int *code)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DR7326G_ARCHIVE"), archive);
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(cli, args);
    p.waitForFinished(-1);
    *code = p.exitCode();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const QString file = folder + QStringLiteral("/growth.sqlite");
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
    Archive archive;
    QString error;
    if (!archive.open(file, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    // ---- Imports ----
    QList<Row> imports;
    double slowest = 0;
    int slowestAt = 0;
    for (int n = 1; n <= pagers * downloadsEach; ++n) {
        const HistoryDump dump = downloadOf((n - 1) % pagers, (n - 1) / pagers);
        const qint64 before = writtenBytes();
        QElapsedTimer t;
        t.start();
        const ArchiveStoreResult r = archive.importDump(dump);
        const double ms = double(t.nsecsElapsed()) / 1e6;
        if (!r.ok || r.newRecords != recordsEach) {
            std::fprintf(stderr, "import %d: %s (%d new)\n", n, qPrintable(r.error), r.newRecords);
            return 1;
        }
        if (ms > slowest) {
            slowest = ms;
            slowestAt = n;
        }
        if (n == 1 || n == 10 || n == 50 || n == 100)
            imports << Row{QStringLiteral("import %1 (%2 M records after it)")
                               .arg(n)
                               .arg(double(n) * recordsEach / 1e6),
                           ms,
                           QStringLiteral("%1 MB written")
                               .arg(double(writtenBytes() - before) / 1e6, 0, 'f', 1)};
    }
    imports << Row{QStringLiteral("the slowest import (%1)").arg(slowestAt), slowest, QString()};
    printTable("Importing 100 dumps of 100,000 records into one archive (target: each < 1 s, "
               "the 100th within 1.2x the 1st)",
               imports);

    // ---- Questions at 10 M records ----
    QList<Row> questions;
    {
        QElapsedTimer t;
        t.start();
        const QList<ArchivePager> list = archive.pagers(&error);
        questions << Row{QStringLiteral("pager list (in the program)"),
                         double(t.nsecsElapsed()) / 1e6,
                         QStringLiteral("%1 pagers, %2 records each")
                             .arg(list.size())
                             .arg(list.isEmpty() ? 0 : list.first().records)};
    }
    archive.close();
    const QString cli = QStringLiteral(DR7326G_CLI);
    int code = 0;
    const double start = cliMs(cli, file, {QStringLiteral("--version")}, &code);
    questions << Row{QStringLiteral("dr7326g-cli --version (a process starting)"), start, {}};
    questions << Row{QStringLiteral("archive list"),
                     cliMs(cli, file, {QStringLiteral("archive"), QStringLiteral("list")}, &code),
                     QStringLiteral("exit %1").arg(code)};
    // The records of pager 1 run from 1999-01-01 five minutes apart.
    const QString sn = serialOf(1);
    const QList<std::pair<QString, QStringList>> periods{
        {QStringLiteral("archive records, one day (288 records)"),
         {QStringLiteral("--from"), QStringLiteral("2003-06-01"), QStringLiteral("--to"),
          QStringLiteral("2003-06-01")}},
        {QStringLiteral("archive records, one year of one pager (105,120)"),
         {QStringLiteral("--from"), QStringLiteral("2003-01-01"), QStringLiteral("--to"),
          QStringLiteral("2003-12-31")}},
        {QStringLiteral("archive records, all 1,000,000 of one pager"), {}}};
    for (const auto &[what, range] : periods)
        questions << Row{
            what,
            cliMs(cli, file,
                  QStringList{QStringLiteral("archive"), QStringLiteral("records"), sn} + range,
                  &code),
            QStringLiteral("exit %1").arg(code)};
    printTable("At 10,000,000 records (targets: list < 50 ms, a day < 20 ms, a year < 0.5 s, "
               "all 1,000,000 < 2 s)",
               questions);
    std::printf("\narchive file: %.0f MB\n", double(QFileInfo(file).size()) / 1e6);
    return 0;
}
