#include "station.h"

#include "archivecommands.h"
#include "archiveserver.h"
#include "exitcodes.h"
#include "pagercommands.h"
#include "pagercontact.h"
#include "pagerlink.h"
#include "settingchange.h"
#include "terminaltext.h"
#include "usbdevicekey.h"
#include "usblibusb.h"
#include "usbsocketdir.h"
#include "usbxpress.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QHash>

#include <csignal>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// How often the device list is looked at (USB hot-plug wakes the station at once).
constexpr int lookEveryMs = 2000;
// A device that did not identify itself is asked again after this long.
constexpr qint64 retryUnidentifiedMs = 30000;

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int)
{
    stopRequested = 1;
}

// Installed without SA_RESTART, so that a wait ends at the signal.
void catchStopSignals()
{
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (const int signal : {SIGTERM, SIGINT})
        sigaction(signal, &sa, nullptr);
}

// Sleeps `ms`, or until a device is plugged in or out, or a stop signal.
void waitForDevices(int ms)
{
    QElapsedTimer t;
    t.start();
    while (!stopRequested && t.elapsed() < ms) {
        const int left = int(ms - t.elapsed());
        if (usbdev::waitForPlug(left))
            return;
        if (!usbdev::hotplugAvailable()) {
            const timespec pause{left / 1000, long(left % 1000) * 1000000L};
            nanosleep(&pause, nullptr); // a signal ends it early
        }
    }
}

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

// One line for the journal: time, serial number, step, outcome, records
// new/total ("-" when none), seconds, and a detail.
void line(const QString &serial, const char *step, const QString &outcome, const QString &records,
          const QElapsedTimer &timer, const QString &detail = QString())
{
    out() << now() << ' ' << (serial.isEmpty() ? QStringLiteral("-") : serial) << ' ' << step << ' '
          << outcome << ' ' << records << ' '
          << QString::number(double(timer.elapsed()) / 1000.0, 'f', 2) << 's';
    if (!detail.isEmpty())
        out() << ' ' << detail;
    out() << '\n';
    out().flush();
}

// Runs `command` with /bin/sh -c and `environment` added to the station's,
// in a process group of its own that is killed after `limitSeconds`; false
// when it had to be killed.
bool runEventCommand(const QString &command, const QList<QPair<QString, QString>> &environment,
                     int limitSeconds)
{
    std::vector<std::string> texts;
    for (char **e = environ; *e; ++e)
        texts.emplace_back(*e);
    for (const auto &v : environment)
        texts.push_back((v.first + QLatin1Char('=') + v.second).toStdString());
    std::vector<char *> envp;
    for (std::string &text : texts)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    const std::string script = command.toStdString();
    const char *argv[] = {"sh", "-c", script.c_str(), nullptr};
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        setpgid(0, 0);
        execve("/bin/sh", const_cast<char **>(argv), envp.data());
        _exit(127);
    }
    setpgid(pid, pid);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < qint64(limitSeconds) * 1000) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return true;
        const timespec pause{0, 20 * 1000000L};
        nanosleep(&pause, nullptr);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return false;
}

struct Settings
{
    qint64 againAfterMs = -1; // never read again while attached
    qint64 clockBeyond = -1;  // the clock is not set
    QString eventCommand;
    int eventLimitSeconds = 60;
    bool hasPolicy = false; // --policy: applied at every contact
    SettingsPolicy policy;
};

// A pager's totals in the archive before and after its download.
ArchivePager pagerTotals(Archive &archive, const QString &serial)
{
    for (const ArchivePager &p : archive.pagers())
        if (p.serialNumber == serial)
            return p;
    return ArchivePager();
}

QString yesNo(bool yes)
{
    return yes ? QStringLiteral("1") : QStringLiteral("0");
}

// One contact with the device named `key`: every step told, the event
// command run; whether the pager identified itself.
bool serve(const QString &key, const Settings &settings)
{
    Archive &archive = runArchive();
    QElapsedTimer contact;
    contact.start();
    QElapsedTimer step;
    step.start();
    PagerLink link;
    const std::string wanted = key.toStdString();
    link.deviceFilter = [&wanted](std::uint32_t index) { return usbx::deviceKey(index) == wanted; };
    const QString serial = link.connect();
    QList<QPair<QString, QString>> env{{"DR7326G_DEVICE", key}, {"DR7326G_SERIAL", serial}};
    QString outcome;
    QString records = QStringLiteral("-");
    auto finish = [&] {
        line(serial, "contact", outcome, records, contact);
        env.append({"DR7326G_OUTCOME", outcome});
        if (!settings.eventCommand.isEmpty() &&
            !runEventCommand(settings.eventCommand, env, settings.eventLimitSeconds))
            line(serial, "event", QStringLiteral("killed"), QStringLiteral("-"), contact,
                 QStringLiteral("after %1 s").arg(settings.eventLimitSeconds));
    };
    if (serial.isEmpty()) {
        line(QString(), "identify", QStringLiteral("no-answer"), records, step, key);
        outcome = QStringLiteral("no-answer");
        finish();
        return false;
    }
    line(serial, "identify", QStringLiteral("ok"), records, step, key);

    // Parameters, with the clock's offset.
    step.restart();
    const PagerParameters parameters = readPagerParameters(link);
    QString error;
    const bool stored = storePagerParameters(archive, serial, parameters, &error);
    line(serial, "parameters",
         !stored                           ? QStringLiteral("not-stored")
         : parameters.unanswered.isEmpty() ? QStringLiteral("ok")
                                           : QStringLiteral("no-answer"),
         records, step, stored ? parameters.unanswered.join(QLatin1Char(',')) : error);

    // The clock, under the rule of --set-clock-beyond.
    step.restart();
    const QVariant offset = parameters.clockOffset();
    bool clockSet = false;
    if (offset.isNull()) {
        line(serial, "clock", QStringLiteral("not-read"), records, step);
    } else if (!stopRequested && clockWantsSetting(offset.toLongLong(), settings.clockBeyond)) {
        const ClockSetting set = setPagerClock(link, QDateTime::currentDateTime(), archive);
        clockSet = set.confirmed();
        line(serial, "clock", clockSet ? QStringLiteral("set") : QStringLiteral("not-confirmed"),
             records, step,
             QStringLiteral("off by %1 s %2")
                 .arg(offset.toLongLong())
                 .arg(set.archiveProblem)
                 .trimmed());
    } else {
        line(serial, "clock", QStringLiteral("ok"), records, step,
             QStringLiteral("off by %1 s").arg(offset.toLongLong()));
    }
    env.append({"DR7326G_CLOCK_OFFSET", offset.toString()});
    env.append({"DR7326G_CLOCK_SET", yesNo(clockSet)});

    const CalibrationState calibration = archive.calibrationStateOf(serial, QDate::currentDate());
    env.append({"DR7326G_CALIBRATION", calibrationStatusName(calibration.status)});
    env.append(
        {"DR7326G_CALIBRATION_OVERDUE", yesNo(calibration.status == CalibrationStatus::Overdue)});

    // The lab's settings policy: what deviates is changed, read back and logged.
    QString policyState = QStringLiteral("none");
    if (settings.hasPolicy && !stopRequested) {
        step.restart();
        const PolicyApplication applied = applySettingsPolicy(link, archive, settings.policy);
        QStringList told;
        for (const SettingChange &c : applied.changes)
            told << QStringLiteral("%1 %2: %3").arg(c.setting, c.sent, settingChangeText(c));
        if (!applied.unanswered.isEmpty())
            told << QStringLiteral("not told: %1").arg(applied.unanswered.join(QLatin1Char(',')));
        told << applied.archiveErrors;
        policyState = !applied.complete()         ? QStringLiteral("failed")
                      : applied.changes.isEmpty() ? QStringLiteral("ok")
                                                  : QStringLiteral("applied");
        line(serial, "policy", policyState, records, step, told.join(QStringLiteral("; ")));
    }
    env.append({"DR7326G_POLICY", policyState});
    env.append({"DR7326G_POLICY_APPLIED", yesNo(policyState == QLatin1String("applied"))});

    if (stopRequested) {
        link.disconnect();
        outcome = QStringLiteral("stopped");
        finish();
        return true;
    }

    // The history, stored whatever its end.
    step.restart();
    const ArchivePager before = pagerTotals(archive, serial);
    PagerDownload download =
        downloadPagerHistory(link, archive, false, nullptr, [] { return stopRequested != 0; });
    link.disconnect();
    qDeleteAll(download.records);
    download.records.clear();
    outcome = archiveOutcomeName(download.outcome());
    if (download.storeTried && !download.stored.ok) {
        outcome = QStringLiteral("not-stored");
        line(serial, "history", outcome, records, step, download.stored.error);
    } else {
        records =
            QStringLiteral("%1/%2").arg(download.stored.newRecords).arg(download.stored.records);
        line(serial, "history", outcome, records, step,
             QStringLiteral("%1 pages").arg(download.result.pages));
    }
    const ArchivePager after = pagerTotals(archive, serial);
    const QDateTime from =
        before.lastRecord.isValid() ? before.lastRecord.addSecs(1) : deviceEpoch();
    const qint64 thresholds =
        after.lastRecord.isValid()
            ? archive.summarize(serial, from, after.lastRecord.addSecs(1)).events.value('e')
            : 0;
    env.append({"DR7326G_RECORDS", QString::number(download.stored.records)});
    env.append({"DR7326G_NEW_RECORDS", QString::number(download.stored.newRecords)});
    env.append({"DR7326G_ALARMS", QString::number(after.alarms - before.alarms)});
    env.append({"DR7326G_THRESHOLD_EXCEEDED", QString::number(thresholds)});

    // The lab's server, when one is named.
    QString sync = QStringLiteral("none");
    if (runServer().isSet() && !stopRequested) {
        step.restart();
        const ArchiveSyncResult result = synchronizeArchive(archive, runServer());
        sync = result.complete()    ? QStringLiteral("sent")
               : result.unreachable ? QStringLiteral("unreachable")
                                    : QStringLiteral("failed");
        line(serial, "sync", sync, QStringLiteral("-"), step,
             syncProblemsText(result, true).simplified());
    }
    env.append({"DR7326G_SYNC", sync});
    finish();
    return true;
}

} // namespace

int runStation(PagerCommandContext &context)
{
    const QCommandLineParser &parser = context.parser;
    if (!context.args.isEmpty())
        return usage(QStringLiteral("station takes no argument"));
    Settings settings;
    const auto number = [&](const char *name, double *value) {
        bool ok = true;
        if (parser.isSet(QLatin1String(name)))
            *value = parser.value(QLatin1String(name)).toDouble(&ok);
        return ok && *value >= 0;
    };
    double hours = -1, beyond = -1, limit = settings.eventLimitSeconds;
    if (parser.isSet(QStringLiteral("again-after")) &&
        (!number("again-after", &hours) || hours <= 0))
        return usage(QStringLiteral("--again-after wants a number of hours above 0"));
    if (parser.isSet(QStringLiteral("set-clock-beyond")) && !number("set-clock-beyond", &beyond))
        return usage(QStringLiteral("--set-clock-beyond wants a number of seconds"));
    if (!number("event-timeout", &limit) || limit < 1)
        return usage(QStringLiteral("--event-timeout wants a number of seconds, 1 or more"));
    settings.againAfterMs = hours > 0 ? qint64(hours * 3600000.0) : -1;
    settings.clockBeyond = beyond >= 0 ? qint64(beyond) : -1;
    settings.eventLimitSeconds = int(limit);
    settings.eventCommand = parser.value(QStringLiteral("on-event"));
    if (parser.isSet(QStringLiteral("policy"))) {
        QStringList problems;
        settings.hasPolicy =
            readSettingsPolicy(parser.value(QStringLiteral("policy")), &settings.policy, &problems);
        for (const QString &problem : qAsConst(problems))
            err() << "dr7326g-cli: " << shownText(problem) << "\n";
        if (!settings.hasPolicy)
            return usage(QStringLiteral("the policy cannot be used"));
    }
    if (parser.isSet(QStringLiteral("no-archive")))
        return usage(QStringLiteral("the station stores into the archive: leave out --no-archive"));
    if (!openRunArchive()) {
        err() << "dr7326g-cli: the station needs an archive it can store into\n";
        return ExitFailure;
    }
    catchStopSignals();
    QElapsedTimer running;
    running.start();
    line(QString(), "station", QStringLiteral("started"), QStringLiteral("-"), running,
         QStringLiteral("archive %1; %2; sockets in %3")
             .arg(runArchive().fileName(),
                  usbdev::hotplugAvailable() ? QStringLiteral("USB hot-plug")
                                             : QStringLiteral("USB looked at every 2 s"),
                  socketdir::path()));

    // The devices seen, by key: when each was last served (ms of `running`),
    // and whether it identified itself then.
    struct Seen
    {
        qint64 servedAt;
        bool identified;
    };
    QHash<QString, Seen> seen;
    while (!stopRequested) {
        std::uint32_t count = 0;
        QStringList keys;
        if (usbx::getNumDevices(&count) == usbx::Success)
            for (std::uint32_t i = 0; i < count; ++i)
                keys << QString::fromStdString(usbx::deviceKey(i));
        // Gone devices are forgotten: plugged in again, they are new.
        for (auto it = seen.begin(); it != seen.end();)
            it = keys.contains(it.key()) ? std::next(it) : seen.erase(it);
        bool served = false;
        for (const QString &key : keys) {
            if (stopRequested)
                break;
            const auto it = seen.constFind(key);
            const qint64 since = it == seen.constEnd() ? -1 : running.elapsed() - it->servedAt;
            const bool due = since < 0 || (!it->identified && since >= retryUnidentifiedMs) ||
                             (settings.againAfterMs > 0 && since >= settings.againAfterMs);
            if (due) {
                const bool identified = serve(key, settings);
                seen.insert(key, Seen{running.elapsed(), identified});
                served = true;
            }
        }
        // After a contact the list is looked at again at once: others may
        // have arrived meanwhile.
        if (!served)
            waitForDevices(lookEveryMs);
    }
    line(QString(), "station", QStringLiteral("stopped"), QStringLiteral("-"), running);
    return ExitOk;
}
