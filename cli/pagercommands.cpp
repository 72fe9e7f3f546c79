// The pager commands of dr7326g-cli. Each is one short connection, as the
// window's actions make. Parameter reads, setting changes and downloads are
// stored in the archive unless --no-archive.
#include "pagercommands.h"

#include "archivecommands.h"
#include "archiveserver.h"
#include "csvexport.h"
#include "exitcodes.h"
#include "historydownload.h"
#include "historydump.h"
#include "historytablemodel.h"
#include "pagercontact.h"
#include "pagerlink.h"
#include "pdfjournal.h"
#include "recordexport.h"
#include "registervalue.h"
#include "serialnumber.h"
#include "settingchange.h"
#include "settingvalues.h"
#include "terminaltext.h"
#include "usbxpress.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <QTimeZone>

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

int usage(const QString &message)
{
    err() << "dr7326g-cli: " << message << "\n"
          << "Try 'dr7326g-cli --help'.\n";
    err().flush();
    return ExitUsage;
}

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Where the package puts the rule that lets the desktop user open the pager.
const char *const udevRule = "/usr/lib/udev/rules.d/70-dr7326g.rules";

// The archive of this run (made by main after the application object, so
// that it closes before it): open when the command stores and it can be used.
Archive *theRunArchive = nullptr;
Archive &archive()
{
    return *theRunArchive;
}

// The lab's server the archive is synchronised to after a command stored
// something (--server, or $DR7326G_SERVER); not set when none is named.
ArchiveServer theRunServer;

// Set when the sync after the command left something unsent although the
// server was reached (it refused a row, stalled or failed): the command then
// exits 1 where it would have exited 0.
bool serverSyncFailed = false;

// Sends what the archive holds that the server lacks. A server that cannot be
// reached is told once; the command's outcome does not change, and the next
// sync sends what was not sent now.
void synchronizeWithServer()
{
    if (!theRunServer.isSet() || !archive().isOpen())
        return;
    const ArchiveSyncResult result = synchronizeArchive(archive(), theRunServer);
    err() << syncProblemsText(result, true);
    err().flush();
    serverSyncFailed = syncFailed(result, true);
}

// Set when something read or sent could not be stored: the command then
// exits 1 where it would have exited 0.
bool archiveWriteFailed = false;

void warnNotArchived(const QString &error)
{
    archiveWriteFailed = true;
    err() << "dr7326g-cli: not stored in the archive " << archive().fileName() << ": " << error
          << "\n";
    err().flush();
}

// Runs `action` inside one connection, with the pager named by --serial
// (link.wantedSerial) or the only one that answers.
// Opens the archive the command stores into; set once its arguments are read.
std::function<void()> openArchiveBeforePager;

// Connects to the pager: ExitOk when one is kept; otherwise why not is told
// and its status returned. With `several` set, several pagers answering is
// left to the caller (ExitUsage, nothing told).
int connectPager(PagerLink &link, bool several = false)
{
    openRunArchive();
    if (link.connect().isEmpty()) {
        if (!link.wantedSerial.isEmpty()) {
            err() << "dr7326g-cli: pager " << link.wantedSerial << " did not answer";
            if (!link.answeredSerials.isEmpty())
                err() << " (answered: " << link.answeredSerials.join(", ") << ")";
            err() << "\n";
            return ExitNoPager;
        }
        if (link.answeredSerials.size() > 1 && several)
            return ExitUsage;
        if (link.answeredSerials.size() > 1) {
            // Never a pager picked at random: the serial numbers to choose from.
            err() << "dr7326g-cli: several pagers answered; choose one with --serial SN:\n"
                  << link.answeredSerials.join("\n") << "\n";
            return ExitUsage;
        }
        // On Windows: no vendor library the program can use is no pager either.
        const usbx::LibraryProblem problem = usbx::libraryProblem();
        const QString library = QString::fromStdString(problem.library);
        if (problem.kind == usbx::LibraryProblem::Kind::NotLoaded)
            err() << "dr7326g-cli: the USB library " << library
                  << " could not be loaded (system error " << problem.systemError << ")\n";
        else if (problem.kind == usbx::LibraryProblem::Kind::MissingEntryPoint)
            err() << "dr7326g-cli: the USB library " << library << " lacks "
                  << QString::fromStdString(problem.entryPoint) << "\n";
        if (link.refusedIdentifications > 0)
            err() << "dr7326g-cli: " << link.refusedIdentifications
                  << " device(s) answered with an identification that holds no valid serial "
                     "number (1 to 64 visible ASCII characters): not used\n";
        // A pager found on USB but not opened is told with the fix, never as no pager.
        const std::vector<usbx::OpenProblem> problems = usbx::openProblems();
        for (const usbx::OpenProblem &p : problems) {
            err() << "dr7326g-cli: pager on USB " << QString::fromStdString(p.device)
                  << " found but not opened: ";
            switch (p.kind) {
            case usbx::OpenProblem::Kind::AccessDenied:
                err() << "access denied; the package's rule " << udevRule
                      << " lets the desktop user open it: install it, run 'sudo udevadm "
                         "trigger' and plug the pager in again\n";
                break;
            case usbx::OpenProblem::Kind::DriverBound:
                err() << "the kernel's driver would not let it go ("
                      << QString::fromStdString(p.detail)
                      << "); unplug the pager and plug it in again, or unload the driver "
                         "('sudo modprobe -r cp210x')\n";
                break;
            case usbx::OpenProblem::Kind::Busy:
                err() << "busy: another program has it open (" << QString::fromStdString(p.detail)
                      << "); close that program and try again\n";
                break;
            case usbx::OpenProblem::Kind::Other:
                err() << QString::fromStdString(p.detail)
                      << "; unplug the pager and plug it in again\n";
                break;
            }
        }
        if (!problems.empty())
            return ExitNoPager;
        err() << "dr7326g-cli: no pager answered";
        const std::string tried = usbx::searchSummary();
        if (!tried.empty())
            err() << " (" << QString::fromStdString(tried) << ")";
        err() << "\n";
        return ExitNoPager;
    }
    return ExitOk;
}

// The command's status once its contacts are over: what it stored is sent
// to the lab's server; what was not stored or sent makes a success 1.
int afterContacts(int code)
{
    synchronizeWithServer();
    return code == ExitOk && (archiveWriteFailed || serverSyncFailed) ? int(ExitFailure) : code;
}

template <typename Action> int withPager(PagerLink &link, Action action)
{
    const int connected = connectPager(link);
    if (connected != ExitOk)
        return connected;
    const int code = action();
    link.disconnect();
    return afterContacts(code);
}

// A change the pager took and reads back, refused or did not confirm (4),
// or met with silence (3).
int confirmed(const SettingChange &change, const QString &what)
{
    if (!change.archiveError.isEmpty())
        warnNotArchived(change.archiveError);
    switch (change.outcome) {
    case SettingOutcome::Stored:
        out() << what << "\n";
        return ExitOk;
    case SettingOutcome::NoAnswer:
        err() << "dr7326g-cli: the pager did not answer: " << what << "\n";
        return ExitNoPager;
    case SettingOutcome::Refused:
    case SettingOutcome::NotConfirmed:
        break;
    }
    err() << "dr7326g-cli: the pager refused or did not confirm: " << what << " ("
          << settingChangeText(change) << ")\n";
    return ExitRefused;
}

int clockOutOfRange()
{
    return usage(
        QStringLiteral("the pager's clock holds %1 to %2 only")
            .arg(deviceEpoch().toString(timeFormat), deviceClockLast().toString(timeFormat)));
}

void printProgress(int pages)
{
    err() << QStringLiteral("Считанных страниц: %1").arg(pages) << "\n";
    err().flush();
}

struct Exports
{
    QString csv;
    bool machineCsv = false; // --format machine
    QString jsonl;
    QString pdf;
    QString dump; // written by the history command itself
    QDate calibrationDate;
    QDate overdueSince; // the download was made on or after the calibration due date
    QString serialNumber;
};

int writeExports(const QAbstractItemModel &model, const Exports &e)
{
    int code = ExitOk;
    QString error;
    if (!e.csv.isEmpty() && !(e.machineCsv ? saveRecords(&model, RecordFormat::Csv, e.csv, &error)
                                           : saveHistoryCsv(&model, e.calibrationDate, e.csv,
                                                            &error, QLocale(), e.overdueSince))) {
        err() << "dr7326g-cli: " << e.csv << " not written: " << error << "\n";
        code = ExitFailure;
    }
    if (!e.jsonl.isEmpty() && !saveRecords(&model, RecordFormat::JsonLines, e.jsonl, &error)) {
        err() << "dr7326g-cli: " << e.jsonl << " not written: " << error << "\n";
        code = ExitFailure;
    }
    if (!e.pdf.isEmpty() && !saveJournalPdf(&model, e.serialNumber, e.calibrationDate, e.pdf,
                                            &error, JournalProgress(), nullptr, e.overdueSince)) {
        err() << "dr7326g-cli: " << e.pdf << " not written: " << error << "\n";
        code = ExitFailure;
    }
    return code;
}

int showRecords(QList<HistoryRecord *> &records, bool complete, const Exports &exports,
                const QTimeZone &zone = QTimeZone::systemTimeZone(), bool tooLarge = false)
{
    HistoryTableModel model;
    model.setRecords(records, zone);
    const int count = records.size();
    qDeleteAll(records);
    records.clear();
    printTableRows(model, out());
    // Files written before are not replaced by a table without rows, and a
    // script is not told that they hold this pager's history.
    if (count == 0) {
        QStringList files;
        for (const auto &file :
             {std::make_pair(exports.csv, "CSV"), std::make_pair(exports.jsonl, "JSON Lines"),
              std::make_pair(exports.pdf, "PDF"), std::make_pair(exports.dump, "dump")})
            if (!file.first.isEmpty())
                files << QLatin1String(file.second);
        const QString list = files.size() > 1
                                 ? files.mid(0, files.size() - 1).join(QStringLiteral(", ")) +
                                       QStringLiteral(" or ") + files.last()
                                 : files.value(0);
        err() << "dr7326g-cli: no history record"
              << (list.isEmpty() ? QString() : QStringLiteral(": no %1 written").arg(list)) << "\n";
        return ExitIncomplete;
    }
    const int written = writeExports(model, exports);
    if (!complete) {
        err() << "dr7326g-cli: history incomplete: "
              << (tooLarge ? "more than one download may hold"
                           : "the pager stopped answering or pages were lost")
              << "; " << count << " records read\n";
        return ExitIncomplete;
    }
    return written;
}

int params(PagerLink &link)
{
    return withPager(link, [&] {
        out() << "serial: " << shownText(link.serialNumber) << "\n";
        const PagerParameters p = readPagerParameters(link);
        // The pager's clock, then the PC's, then the settings.
        out() << p.values.first().first << ": " << p.values.first().second << "\n"
              << "pc-time: " << p.pcTime.toString(timeFormat) << "\n";
        for (const auto &value : p.values.mid(1))
            out() << value.first << ": " << value.second << "\n";
        out().flush();
        QString error;
        if (archive().isOpen() && !storePagerParameters(archive(), link.serialNumber, p, &error))
            warnNotArchived(error);
        if (!p.unanswered.isEmpty()) {
            err() << "dr7326g-cli: the pager did not answer: " << p.unanswered.join(", ") << "\n";
            return int(ExitNoPager);
        }
        return int(ExitOk);
    });
}

} // namespace

void setRunArchive(Archive *archive)
{
    theRunArchive = archive;
}

Archive &runArchive()
{
    return archive();
}

bool openRunArchive()
{
    if (openArchiveBeforePager) {
        openArchiveBeforePager();
        openArchiveBeforePager = nullptr;
    }
    return archive().isOpen();
}

ArchiveServer &runServer()
{
    return theRunServer;
}

void setOpenArchiveBeforePager(std::function<void()> open)
{
    openArchiveBeforePager = std::move(open);
}

void markArchiveWriteFailed()
{
    archiveWriteFailed = true;
}

void warnArchiveWrite(const QString &error)
{
    warnNotArchived(error);
}

int withEachPager(PagerLink &link, const std::function<int()> &action)
{
    int connected = connectPager(link, true);
    if (connected == ExitOk) {
        const int code = action();
        link.disconnect();
        return afterContacts(code);
    }
    if (connected != ExitUsage)
        return connected;
    // Several answered: each in a connection of its own, by its serial number.
    int code = ExitOk;
    const QStringList serials = link.answeredSerials;
    for (const QString &serial : serials) {
        link.wantedSerial = serial;
        connected = connectPager(link);
        const int one = connected != ExitOk ? connected : action();
        link.disconnect();
        if (code == ExitOk)
            code = one;
    }
    link.wantedSerial.clear();
    return afterContacts(code);
}

int runParams(PagerCommandContext &context)
{
    if (!context.args.isEmpty())
        return usage(QStringLiteral("params takes no argument"));
    return params(context.link);
}

int runInfo(PagerCommandContext &context)
{
    if (!context.args.isEmpty())
        return usage(QStringLiteral("info takes no argument"));
    PagerLink &link = context.link;
    return withPager(link, [&] {
        bool answered = false;
        const QString reply = link.readInfo(&answered);
        if (!answered) {
            err() << "dr7326g-cli: the pager did not answer: info\n";
            return int(ExitNoPager);
        }
        out() << shownText(reply.trimmed()) << "\n";
        return int(ExitOk);
    });
}

int runSetTime(PagerCommandContext &context)
{
    const QStringList &rest = context.args;
    PagerLink &link = context.link;
    if (rest.size() > 2)
        return usage(QStringLiteral("set-time takes one date and time"));
    QDateTime t = QDateTime::currentDateTime();
    if (!rest.isEmpty()) {
        t = QDateTime::fromString(rest.join(QLatin1Char(' ')), timeFormat);
        if (!t.isValid())
            return usage(QStringLiteral("not a date and time (yyyy-MM-dd HH:mm:ss): %1")
                             .arg(rest.join(QLatin1Char(' '))));
    }
    if (!deviceClockCanHold(t))
        return clockOutOfRange();
    return withPager(link, [&] {
        const ClockSetting clock = setPagerClock(link, t, archive());
        if (!clock.archiveProblem.isEmpty())
            warnNotArchived(clock.archiveProblem);
        const PagerLink::ClockSetOutcome outcome = clock.outcome;
        switch (outcome) {
        case PagerLink::ClockSetOutcome::Confirmed:
            out() << "device-time: " << t.toString(timeFormat) << "\n"
                  << "the pager's clock was set and reads back the same\n";
            return int(ExitOk);
        case PagerLink::ClockSetOutcome::NotConfirmed:
            if (!link.lastRequestAnswered()) {
                err() << "dr7326g-cli: the pager did not answer: set-time\n";
                return int(ExitNoPager);
            }
            err() << "dr7326g-cli: " << QStringLiteral("Прибор не подтвердил установку часов")
                  << "\n";
            return int(ExitRefused);
        case PagerLink::ClockSetOutcome::OutOfRange:
            break;
        }
        return clockOutOfRange();
    });
}

int runSetInterval(PagerCommandContext &context)
{
    const QStringList &rest = context.args;
    PagerLink &link = context.link;
    if (rest.size() != 1)
        return usage(QStringLiteral("set-interval takes MINUTES"));
    const auto minutes = parseHistoryInterval(rest.first());
    if (!minutes)
        return usage(
            QStringLiteral("not a whole number of minutes from 0 to 65535: %1").arg(rest.first()));
    return withPager(link, [&] {
        return confirmed(
            changeSetting(link, archive(), QLatin1String(setting::historyInterval), *minutes),
            QStringLiteral("history-interval: %1").arg(*minutes));
    });
}

int runSetRegister(PagerCommandContext &context)
{
    struct RegisterCommand
    {
        const char *name;
        const char *label;
        bool (*fits)(float);
    };
    static const RegisterCommand registers[] = {
        {"set-neutron-sigma", setting::neutronSigma, &sigmaFitsWire},
        {"set-gamma-sigma", setting::gammaSigma, &sigmaFitsWire},
        {"set-threshold", setting::doseRateThreshold, &thresholdFitsWire},
    };
    const QStringList &rest = context.args;
    PagerLink &link = context.link;
    for (const RegisterCommand &r : registers) {
        if (context.command != QLatin1String(r.name))
            continue;
        if (rest.size() != 1)
            return usage(QStringLiteral("%1 takes one number").arg(context.command));
        const auto value = parseSettingNumber(rest.first());
        if (!value)
            return usage(QStringLiteral("not a number: %1").arg(rest.first()));
        if (!r.fits(*value))
            return usage(QStringLiteral("out of range: %1").arg(rest.first()));
        return withPager(link, [&] {
            return confirmed(
                changeSetting(link, archive(), QLatin1String(r.label), *value),
                QStringLiteral("%1: %2").arg(QLatin1String(r.label), renderSetting(*value)));
        });
    }
    return usage(QStringLiteral("unknown command: %1").arg(context.command));
}

int runHistory(PagerCommandContext &context)
{
    const QCommandLineParser &parser = context.parser;
    PagerLink &link = context.link;
    if (!context.args.isEmpty())
        return usage(QStringLiteral("history takes no argument"));
    Exports exports;
    exports.csv = context.csv;
    exports.machineCsv = context.machineCsv;
    exports.jsonl = context.jsonl;
    exports.pdf = context.pdf;
    exports.calibrationDate = context.calibrationDate;
    const QString dumpFile = parser.value(QStringLiteral("dump"));
    exports.dump = dumpFile;
    const QString clockOption = QStringLiteral("set-clock-beyond");
    bool beyondOk = true;
    const qint64 setClockBeyond =
        parser.isSet(clockOption) ? parser.value(clockOption).toLongLong(&beyondOk) : -1;
    if (!beyondOk || (parser.isSet(clockOption) && setClockBeyond < 0))
        return usage(QStringLiteral("--set-clock-beyond wants a number of seconds: %1")
                         .arg(parser.value(clockOption)));
    // A file that cannot be written is told before the pager is asked,
    // not after a long download whose pages would then be lost.
    for (const QString &name : {dumpFile, exports.csv, exports.jsonl, exports.pdf}) {
        QSaveFile probe(name);
        if (!name.isEmpty() && !probe.open(QIODevice::WriteOnly)) {
            err() << "dr7326g-cli: cannot write " << name << ": " << probe.errorString() << "\n";
            return ExitFailure;
        }
        probe.cancelWriting();
    }
    return withPager(link, [&] {
        // The pager's calibration, for the report's heading and date.
        if (archive().isOpen()) {
            const CalibrationState state =
                archive().calibrationStateOf(link.serialNumber, QDate::currentDate());
            exports.overdueSince = state.overdueOn(QDate::currentDate());
            if (!parser.isSet(QStringLiteral("calibration-date")) && state.lastPassedDate.isValid())
                exports.calibrationDate = state.lastPassedDate;
            if (state.status != CalibrationStatus::Current)
                err() << "dr7326g-cli: " << calibrationStatusText(state) << "\n";
        }
        PagerDownload download =
            downloadPagerHistory(link, archive(), !dumpFile.isEmpty(), printProgress);
        const HistoryDownloadResult &result = download.result;
        exports.serialNumber = link.serialNumber;
        if (download.storeTried) {
            const ArchiveStoreResult &stored = download.stored;
            if (!stored.ok)
                warnNotArchived(stored.error);
            else if (stored.alreadyStored)
                err() << "dr7326g-cli: archive: the same download is stored already ("
                      << stored.downloadId << ")\n";
            else
                err() << "dr7326g-cli: archive: " << stored.newRecords << " new of "
                      << stored.records << " records\n";
        }
        // Without a record the earlier dump stays (showRecords says so).
        const bool anyRecord = !download.records.isEmpty();
        int code = showRecords(download.records, result.complete(), exports,
                               QTimeZone::systemTimeZone(), result.sizeBound);
        // A clock off by more than allowed is set after the download.
        const QVariant offset = download.clockOffset;
        if (!offset.isNull() && clockWantsSetting(offset.toLongLong(), setClockBeyond)) {
            const ClockSetting set = setPagerClock(link, QDateTime::currentDateTime(), archive());
            if (!set.archiveProblem.isEmpty())
                warnNotArchived(set.archiveProblem);
            err() << "dr7326g-cli: the pager's clock was off by " << offset.toLongLong() << " s: "
                  << (set.confirmed() ? QStringLiteral("set, and it reads back %1")
                                            .arg(set.readBack.toString(timeFormat))
                                      : QStringLiteral("setting it was not confirmed"))
                  << "\n";
            if (!set.confirmed() && code == ExitOk)
                code = ExitRefused;
        }
        if (dumpFile.isEmpty() || !anyRecord)
            return code;
        // Written after the download, all or nothing.
        QString error;
        if (!saveHistoryDump(download.dump, dumpFile, &error)) {
            err() << "dr7326g-cli: " << dumpFile << " not written: " << error << "\n";
            if (code == ExitOk)
                code = ExitFailure;
        }
        return code;
    });
}

int runDecode(PagerCommandContext &context)
{
    const QStringList &rest = context.args;
    const QCommandLineParser &parser = context.parser;
    if (rest.size() != 1)
        return usage(QStringLiteral("decode takes FILE"));
    Exports exports;
    exports.csv = context.csv;
    exports.machineCsv = context.machineCsv;
    exports.jsonl = context.jsonl;
    exports.pdf = context.pdf;
    exports.calibrationDate = context.calibrationDate;
    QFile file(rest.first());
    if (!file.open(QIODevice::ReadOnly)) {
        err() << "dr7326g-cli: cannot read " << file.fileName() << "\n";
        return ExitFailure;
    }
    HistoryDump dump;
    QString error;
    if (!readHistoryDump(file.readAll(), &dump, &error)) {
        err() << "dr7326g-cli: " << file.fileName() << ": " << error << "\n";
        return ExitFailure;
    }
    if (!dump.headerSerialNumber.isEmpty())
        err() << "dr7326g-cli: " << dumpSerialNote(file.fileName(), dump) << "\n";
    QList<HistoryRecord *> records;
    const bool complete = decodeHistoryDump(dump, records);
    exports.serialNumber = parser.isSet(QStringLiteral("serial"))
                               ? parser.value(QStringLiteral("serial"))
                               : dump.serialNumber;
    // Dates as they were shown where the download was made.
    const QTimeZone zone = dump.timeZone();
    dump = HistoryDump(); // its pages are decoded: room for the table
    return showRecords(records, complete, exports, zone);
}
