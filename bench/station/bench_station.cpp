// The download station against emulated pagers that arrive one after another
// (paced like the pager's serial line): how long after each pager's socket
// appeared its contact line came (read, stored, and synchronised with
// --server), and the CPU time the station takes while idle between pagers,
// from /proc/PID/stat (user and system ticks, as times() counts them).
// Targets: every pager within 20 s of arrival; idle under 1 % of a core.
// Usage: bench_station [--pagers N] [--records R] [--every SECONDS]
//                      [--idle SECONDS] [--server URI]
// (default 10 pagers of 2,000 records, one every 10 s, 20 s idle: about two
// minutes; `--every 2 --records 300 --idle 5` for a short run.)
#include "support/cliprocess.h"
#include "support/emulatorprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

// User plus system CPU seconds of process `pid` so far.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QString text = QString::fromLatin1(stat.readAll());
    // The fields after the command name, which is in parentheses: utime is
    // the 14th field of the line, stime the 15th.
    const QStringList fields = text.mid(text.lastIndexOf(QLatin1Char(')')) + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const auto option = [&](const char *name, const QString &fallback) {
        const int at = args.indexOf(QLatin1String(name));
        return at >= 0 ? args.value(at + 1, fallback) : fallback;
    };
    const int pagers = option("--pagers", QStringLiteral("10")).toInt();
    const QString records = option("--records", QStringLiteral("2000"));
    const QString every = option("--every", QStringLiteral("10"));
    const double idleSeconds = option("--idle", QStringLiteral("20")).toDouble();
    const QString server = option("--server", QString());

    QTemporaryDir runtime; // private, as the pager socket folder must be
    EmulatorProcess emulator(runtime.path());
    // Its log of every request is not read here: it would fill the pipe.
    emulator.process.setStandardErrorFile(QProcess::nullDevice());
    if (!emulator.start(
            {"--pagers", QString::number(pagers), "--records", records, "--arrive-every", every},
            {"05A00317.sock"})) {
        std::fprintf(stderr, "the emulator did not start: %s\n", qPrintable(emulator.log()));
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    QStringList stationArgs{"station", "--archive", runtime.path() + QStringLiteral("/a.sqlite")};
    if (!server.isEmpty())
        stationArgs << "--server" << server;
    QProcess *station = startCli(stationArgs, runtime.path());

    // Each socket's arrival and its pager's contact line, by serial number.
    QHash<QString, qint64> arrived, served;
    QString out;
    while (served.size() < pagers && station->state() == QProcess::Running &&
           clock.elapsed() < 600000) {
        for (const QString &socket : QDir(emulator.socketDir()).entryList({"*.sock"}, QDir::System))
            if (!arrived.contains(socket.section('.', 0, 0)))
                arrived.insert(socket.section('.', 0, 0), clock.elapsed());
        station->waitForReadyRead(50);
        out += QString::fromUtf8(station->readAllStandardOutput());
        for (const QString &line : out.split('\n').filter(QStringLiteral(" contact ")))
            if (!served.contains(line.section(' ', 1, 1)))
                served.insert(line.section(' ', 1, 1), clock.elapsed());
    }
    qint64 worst = 0;
    for (auto it = served.constBegin(); it != served.constEnd(); ++it) {
        const qint64 after = it.value() - arrived.value(it.key(), it.value());
        worst = qMax(worst, after);
        std::printf("%s: read %.1f s after it arrived\n", qPrintable(it.key()),
                    double(after) / 1000.0);
    }
    const bool allRead =
        served.size() == pagers && out.count(QStringLiteral(" contact complete ")) == pagers;
    std::printf("%d of %d pagers read completely; the slowest %.1f s after arrival (target 20 s)"
                "%s\n",
                int(out.count(QStringLiteral(" contact complete "))), pagers,
                double(worst) / 1000.0, server.isEmpty() ? "" : ", with the sync");

    // Idle: every pager read, none arriving.
    const double before = cpuSeconds(station->processId());
    QThread::msleep(static_cast<unsigned long>(idleSeconds * 1000));
    const double idle = cpuSeconds(station->processId()) - before;
    const double share = 100.0 * idle / idleSeconds;
    std::printf("idle: %.3f s of CPU in %.0f s, %.2f %% of a core (target under 1 %%); "
                "%.2f s of CPU in all\n",
                idle, idleSeconds, share, cpuSeconds(station->processId()));
    station->terminate();
    finish(station);
    return allRead && worst < 20000 && share < 1.0 ? 0 : 1;
}
