// dr7326g-cli: the pager from the shell. Each command is one short
// connection, as the window's actions make. Parameter reads, setting changes
// and downloads are stored in the archive unless --no-archive.
#include "archivecommands.h"
#include "archiveserver.h"
#include "csvexport.h"
#include "exitcodes.h"
#include "historydownload.h"
#include "historydump.h"
#include "historytablemodel.h"
#include "instrumentcommands.h"
#include "pagerlink.h"
#include "pdfjournal.h"
#include "plotcommand.h"
#include "registervalue.h"
#include "serialnumber.h"
#include "settingvalues.h"
#include "terminaltext.h"
#include "usbxpress.h"
#include "wearercommands.h"
#ifdef Q_OS_WIN
#include <QTextCodec>
#include <windows.h>
#else
#include "usbids.h"
#include "usbsocketdir.h"
#endif

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <functional>

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Where the package puts the rule that lets the desktop user open the pager.
const char *const udevRule = "/usr/lib/udev/rules.d/70-dr7326g.rules";

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

// The archive of this run (made by main after the application object, so
// that it closes before it): open when the command stores and it can be used.
Archive *runArchive = nullptr;
Archive &archive()
{
    return *runArchive;
}

// The lab's server the archive is synchronised to after a command stored
// something (--server, or $DR7326G_SERVER); not set when none is named.
ArchiveServer runServer;

// Set when the sync after the command left something unsent although the
// server was reached (it refused a row, stalled or failed): the command then
// exits 1 where it would have exited 0.
bool serverSyncFailed = false;

// Sends what the archive holds that the server lacks. A server that cannot be
// reached is told once; the command's outcome does not change, and the next
// sync sends what was not sent now.
void synchronizeWithServer()
{
    if (!runServer.isSet() || !archive().isOpen())
        return;
    const ArchiveSyncResult result = synchronizeArchive(archive(), runServer);
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

int usage(const QString &message)
{
    err() << "dr7326g-cli: " << message << "\n"
          << "Try 'dr7326g-cli --help'.\n";
    err().flush();
    return ExitUsage;
}

// Runs `action` inside one connection, with the pager named by --serial
// (link.wantedSerial) or the only one that answers.
// Opens the archive the command stores into; set once its arguments are read.
std::function<void()> openArchiveBeforePager;

template <typename Action> int withPager(PagerLink &link, Action action)
{
    if (openArchiveBeforePager) {
        openArchiveBeforePager();
        openArchiveBeforePager = nullptr;
    }
    if (link.connect().isEmpty()) {
        if (!link.wantedSerial.isEmpty()) {
            err() << "dr7326g-cli: pager " << link.wantedSerial << " did not answer";
            if (!link.answeredSerials.isEmpty())
                err() << " (answered: " << link.answeredSerials.join(", ") << ")";
            err() << "\n";
            return ExitNoPager;
        }
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
    const int code = action();
    link.disconnect();
    synchronizeWithServer();
    return code == ExitOk && (archiveWriteFailed || serverSyncFailed) ? int(ExitFailure) : code;
}

// Logs a change sent to the pager in the archive.
// The pager's clock (read back now) minus the PC's; null when not read back.
QVariant clockOffsetOf(const QDateTime &readBack)
{
    return readBack.isValid() ? QVariant(QDateTime::currentDateTime().secsTo(readBack))
                              : QVariant();
}

// `clockOffset`: the pager's clock minus the PC's, when read at this contact.
void logChange(const PagerLink &link, const char *name, const QString &value,
               SettingOutcome outcome, const QVariant &clockOffset = QVariant())
{
    QString error;
    if (archive().isOpen() && !archive().storeSettingChange(link.serialNumber, QLatin1String(name),
                                                            value, outcome, &error, clockOffset))
        warnNotArchived(error);
}

// A change the pager confirmed, refused (4), or met with silence (3).
int confirmed(bool ok, const PagerLink &link, const QString &what)
{
    if (ok) {
        out() << what << "\n";
        return ExitOk;
    }
    if (!link.lastRequestAnswered()) {
        err() << "dr7326g-cli: the pager did not answer: " << what << "\n";
        return ExitNoPager;
    }
    err() << "dr7326g-cli: the pager refused or did not confirm: " << what << "\n";
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
    if (!e.csv.isEmpty() &&
        !saveHistoryCsv(&model, e.calibrationDate, e.csv, &error, QLocale(), e.overdueSince)) {
        err() << "dr7326g-cli: " << e.csv << " not written: " << error << "\n";
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
             {std::make_pair(exports.csv, "CSV"), std::make_pair(exports.pdf, "PDF"),
              std::make_pair(exports.dump, "dump")})
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
        QStringList unanswered;
        auto value = [&](bool ok, const QString &text, const char *name) {
            if (!ok)
                unanswered << QLatin1String(name);
            return ok ? text : QStringLiteral("?");
        };
        bool ok = false;
        const QDateTime pc = QDateTime::currentDateTime();
        const QDateTime device = link.readDeviceTime(&ok);
        const QString deviceText = value(ok, device.toString(timeFormat), "device-time");
        const float neutron = link.readNeutronSigma(&ok);
        const QString neutronText = value(ok, renderSetting(neutron), "neutron-sigma");
        const float gamma = link.readGammaSigma(&ok);
        const QString gammaText = value(ok, renderSetting(gamma), "gamma-sigma");
        const float threshold = link.readDoseRateThreshold(&ok);
        const QString thresholdText = value(ok, renderSetting(threshold), "dose-rate-threshold");
        const int interval = link.readHistoryInterval(&ok);
        const QString intervalText = value(ok, QString::number(interval), "history-interval");
        out() << "device-time: " << deviceText << "\n"
              << "pc-time: " << pc.toString(timeFormat) << "\n"
              << "neutron-sigma: " << neutronText << "\n"
              << "gamma-sigma: " << gammaText << "\n"
              << "dose-rate-threshold: " << thresholdText << "\n"
              << "history-interval: " << intervalText << "\n";
        out().flush();
        if (archive().isOpen()) {
            ParameterRead read;
            read.serialNumber = link.serialNumber;
            if (deviceText != QLatin1String("?"))
                read.clockOffset = pc.secsTo(device);
            const std::pair<const char *, QString> values[] = {
                {setting::deviceTime, deviceText},
                {setting::neutronSigma, neutronText},
                {setting::gammaSigma, gammaText},
                {setting::doseRateThreshold, thresholdText},
                {setting::historyInterval, intervalText}};
            for (const auto &[name, text] : values)
                if (text != QLatin1String("?"))
                    read.values.append({QLatin1String(name), text});
            QString error;
            if (!archive().storeParameterRead(read, &error))
                warnNotArchived(error);
        }
        if (!unanswered.isEmpty()) {
            err() << "dr7326g-cli: the pager did not answer: " << unanswered.join(", ") << "\n";
            return int(ExitNoPager);
        }
        return int(ExitOk);
    });
}

} // namespace

int main(int argc, char **argv)
{
#ifndef Q_OS_WIN
    // The pager sockets have their own folder when XDG_RUNTIME_DIR is unset.
    socketdir::quietRuntimeDirWarning();
    // The journal is laid out with the GUI library's fonts; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A file-size limit (ulimit -f) fails the write instead of killing the
    // tool: the earlier file stays and the failure is told.
    std::signal(SIGXFSZ, SIG_IGN);
#else
    // Russian texts (event names, messages) reach a Windows console, a pipe
    // or a file as UTF-8, the same bytes as on Linux, whatever the PC's ANSI
    // or OEM code page would make of them.
    SetConsoleOutputCP(CP_UTF8);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
#endif
    // The plot is made of widgets and needs a QApplication of its own.
    if (isPlotCommand(argc, argv))
        return runPlotCommand(argc, argv);
    if (isArchiveCommand(argc, argv))
        return runArchiveCommand(argc, argv);
    if (isWearerCommand(argc, argv))
        return runWearerCommand(argc, argv);
    if (isInstrumentCommand(argc, argv))
        return runInstrumentCommand(argc, argv);
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("dr7326g-cli"));
    QGuiApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    Archive archiveOfRun;
    runArchive = &archiveOfRun;

    QCommandLineParser parser;
#ifndef Q_OS_WIN
    const QString usbHelp = QStringLiteral(
        "Pagers plugged in on USB (id 10c4:ea61, and those of --usb-id and\n"
        "$DR7326G_USB_IDS) are looked for first, then the emulator's sockets. A pager\n"
        "found but not opened (access denied, held by the kernel's driver, busy) is\n"
        "told with the fix, and the status is 3.\n\n");
#else
    const QString usbHelp;
#endif
    parser.setApplicationDescription(
        QStringLiteral(
            "Reads and changes the settings of a DR7326G-05A pager and downloads its history.\n\n"
            "Commands:\n"
            "  params                     serial number, clocks and settings\n"
            "  info                       the pager's information reply\n"
            "  set-time [yyyy-MM-dd HH:mm:ss]   set the pager's clock (default: now) and read it\n"
            "                             back; 1999-01-01 00:00 to 2030-11-24 20:15 only\n"
            "  set-interval MINUTES       history interval, 0 to 65535\n"
            "  set-neutron-sigma X        number of sigmas of the neutron channel\n"
            "  set-gamma-sigma X          number of sigmas of the gamma channel\n"
            "  set-threshold X            dose-rate alarm threshold, Sv/h\n"
            "  history                    download the history, one tab-separated row a line;\n"
            "                             no CSV or PDF is written when no record came\n"
            "  decode FILE                the rows of a history dump, without a pager, with\n"
            "                             the dates of the zone the download was made in\n"
            "  plot FILE --png|--pdf OUT  the history plot of a dump (PNG, or PDF A4)\n"
            "  archive COMMAND            the archive (see 'dr7326g-cli archive --help'):\n") +
        archiveCommandsHelp() +
        QStringLiteral("  instruments COMMAND        the pagers' calibrations (see 'dr7326g-cli "
                       "instruments --help'):\n") +
        instrumentCommandsHelp() +
        QStringLiteral(
            "  wearers COMMAND            who wore which pager (see 'dr7326g-cli wearers "
            "--help'):\n") +
        wearerCommandsHelp() +
        QStringLiteral(
            "\nThe rows of history, decode and archive records end with the names of the\n"
            "record's flags, comma-separated, empty when none: backwards, future, gap,\n"
            "dose-fall, range, event, checksum (records that look wrong; never dropped).\n"
            "\nparams, history and the set- commands store what they read and send in the\n"
            "archive (--archive FILE, or $DR7326G_ARCHIVE, or archive.sqlite in the user's\n"
            "data folder) unless --no-archive is given; what could not be stored there\n"
            "(also when the archive cannot be opened or written) makes the status 1.\n"
            "With --server URI (or $DR7326G_SERVER) what they stored is then sent to the\n"
            "lab's archive server; when it cannot be reached that is told and the next\n"
            "sync sends it ('dr7326g-cli archive sync'). What the server refuses is named\n"
            "and the rest sent; a server that does not answer within $DR7326G_SERVER_TIMEOUT\n"
            "seconds (60 by default) a step, or ten times that for a whole sync, is left;\n"
            "either makes the status 1.\n\n"
            "With several pagers attached, every pager command wants --serial SN; without it\n"
            "the serial numbers that answered are listed and the status is 2.\n\n") +
        usbHelp +
        QStringLiteral(
            "Exit status: 0 success, 1 a file not read or written, 2 usage error (also a\n"
            "clock time outside the pager's range, several pagers and no --serial), 3 no\n"
            "pager answered (or not the one named by --serial) or it did not answer a\n"
            "request, 4 the pager refused or did not confirm a change, 5 history incomplete,\n"
            "6 a pager due for calibration (instruments due)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dumpOption(QStringLiteral("dump"),
                                        QStringLiteral("history: save every page reply as a dump"),
                                        QStringLiteral("FILE"));
    const QCommandLineOption csvOption(QStringLiteral("csv"),
                                       QStringLiteral("history, decode: write the CSV file"),
                                       QStringLiteral("FILE"));
    const QCommandLineOption pdfOption(QStringLiteral("pdf"),
                                       QStringLiteral("history, decode: write the PDF journal"),
                                       QStringLiteral("FILE"));
    const QCommandLineOption dateOption(
        QStringLiteral("calibration-date"),
        QStringLiteral("calibration date for the CSV file and the journal (default: the pager's "
                       "last passed calibration in the archive, else 2020-11-27)"),
        QStringLiteral("yyyy-MM-dd"), QStringLiteral("2020-11-27"));
    const QCommandLineOption serialOption(
        QStringLiteral("serial"),
        QStringLiteral("pager commands: the pager to use when several are attached; decode: "
                       "serial number for the journal (default: the dump's)"),
        QStringLiteral("SN"));
    const QCommandLineOption archiveOption(QStringLiteral("archive"),
                                           QStringLiteral("the archive file to store into"),
                                           QStringLiteral("FILE"));
    const QCommandLineOption noArchiveOption(QStringLiteral("no-archive"),
                                             QStringLiteral("store nothing in the archive"));
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        QStringLiteral("params, history, set-: after storing, send to the lab's archive server "
                       "(postgresql://user@host:5432/database; default: $DR7326G_SERVER)"),
        QStringLiteral("URI"));
    const QCommandLineOption clockOption(
        QStringLiteral("set-clock-beyond"),
        QStringLiteral("history: set the pager's clock (and read it back, logged as every "
                       "change) when it is off the PC's by more than SECONDS"),
        QStringLiteral("SECONDS"));
    parser.addOptions({dumpOption, csvOption, pdfOption, dateOption, serialOption, archiveOption,
                       noArchiveOption, serverOption, clockOption});
#ifndef Q_OS_WIN
    const QCommandLineOption usbIdOption(
        QStringLiteral("usb-id"),
        QStringLiteral("pager commands: also look for a pager with this USB id (as lsusb shows "
                       "it; repeatable; also $DR7326G_USB_IDS; 10c4:ea61 always)"),
        QStringLiteral("VID:PID"));
    const QCommandLineOption usbTraceOption(
        QStringLiteral("usb-trace"),
        QStringLiteral("pager commands: append every USB control request and every byte "
                       "exchanged with a pager on USB, with times, to FILE"),
        QStringLiteral("FILE"));
    parser.addOptions({usbIdOption, usbTraceOption});
#endif
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("see above"));
    parser.addPositionalArgument(QStringLiteral("arguments"), QStringLiteral("of the command"),
                                 QStringLiteral("[args...]"));

    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText();
        return ExitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out() << "dr7326g-cli " << PROJECT_VERSION << "\n";
        return ExitOk;
    }

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usage(QStringLiteral("no command given"));
    const QString command = args.first();
    const QStringList rest = args.mid(1);

    Exports exports;
    exports.csv = parser.value(csvOption);
    exports.pdf = parser.value(pdfOption);
    exports.calibrationDate =
        QDate::fromString(parser.value(dateOption), QStringLiteral("yyyy-MM-dd"));
    if (!exports.calibrationDate.isValid())
        return usage(
            QStringLiteral("calibration date is not yyyy-MM-dd: %1").arg(parser.value(dateOption)));
    const bool reportOptions =
        parser.isSet(csvOption) || parser.isSet(pdfOption) || parser.isSet(dateOption);
    static const QStringList pagerCommands = {
        "params",          "info",          "set-time", "set-interval", "set-neutron-sigma",
        "set-gamma-sigma", "set-threshold", "history"};
    const bool pagerCommand = pagerCommands.contains(command);
    if ((reportOptions && command != QLatin1String("history") &&
         command != QLatin1String("decode")) ||
        ((parser.isSet(dumpOption) || parser.isSet(clockOption)) &&
         command != QLatin1String("history")) ||
        (parser.isSet(serialOption) && !pagerCommand && command != QLatin1String("decode")))
        return usage(QStringLiteral("option not valid for %1").arg(command));

    auto expectArgs = [&](int min, int max) { return rest.size() >= min && rest.size() <= max; };
#ifndef Q_OS_WIN
    if ((parser.isSet(usbIdOption) || parser.isSet(usbTraceOption)) && !pagerCommand)
        return usage(QStringLiteral("option not valid for %1").arg(command));
    usbx::UsbSettings usbSettings;
    for (const QString &id : parser.values(usbIdOption)) {
        QString error;
        if (!parseUsbIds(id, &usbSettings.extraIds, &error))
            return usage(error);
    }
    {
        std::vector<usbx::UsbId> ignored;
        QString error;
        if (!parseUsbIds(qEnvironmentVariable("DR7326G_USB_IDS"), &ignored, &error))
            return usage(QStringLiteral("DR7326G_USB_IDS: %1").arg(error));
    }
    if (parser.isSet(usbTraceOption)) {
        QFile trace(parser.value(usbTraceOption));
        if (!trace.open(QIODevice::WriteOnly | QIODevice::Append)) {
            err() << "dr7326g-cli: cannot write the USB trace " << trace.fileName() << ": "
                  << trace.errorString() << "\n";
            return ExitFailure;
        }
        usbSettings.traceFile = trace.fileName().toStdString();
    }
    usbx::configure(usbSettings);
#endif
    PagerLink link;
    if (parser.isSet(serialOption)) {
        const QString problem = serialNumberProblem(parser.value(serialOption));
        if (!problem.isEmpty())
            return usage(QStringLiteral("--serial wants a serial number: %1").arg(problem));
        if (pagerCommand)
            link.wantedSerial = parser.value(serialOption);
    }
    const bool stores = command == QLatin1String("params") || command == QLatin1String("history") ||
                        command.startsWith("set-");
    if (parser.isSet(serverOption) && (!stores || parser.isSet(noArchiveOption)))
        return usage(QStringLiteral("--server is for params, history and the set- commands that "
                                    "store in the archive"));
    if (stores && !parser.isSet(noArchiveOption)) {
        QString error;
        if (parser.isSet(serverOption)) {
            if (!ArchiveServer::parse(parser.value(serverOption), &runServer, &error))
                return usage(error);
        } else if (!ArchiveServer::fromEnvironment(&runServer, &error)) {
            err() << "dr7326g-cli: not sending to a lab server: " << error << "\n";
        }
    }
    // Opened once the command's arguments are good: a usage error makes no file.
    if (stores && !parser.isSet(noArchiveOption)) {
        const QString archiveFile = parser.value(archiveOption);
        openArchiveBeforePager = [archiveFile] {
            if (!openArchiveForPagerCommand(archive(), archiveFile, err()))
                archiveWriteFailed = true;
        };
    }

    if (command == QLatin1String("params")) {
        if (!expectArgs(0, 0))
            return usage(QStringLiteral("params takes no argument"));
        return params(link);
    }
    if (command == QLatin1String("info")) {
        if (!expectArgs(0, 0))
            return usage(QStringLiteral("info takes no argument"));
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
    if (command == QLatin1String("set-time")) {
        if (!expectArgs(0, 2))
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
            // The clock as read back: the offset it starts from.
            QDateTime readBack;
            const PagerLink::ClockSetOutcome outcome = link.setDeviceTimeConfirmed(t, &readBack);
            logChange(link, setting::deviceTime, t.toString(timeFormat),
                      outcome == PagerLink::ClockSetOutcome::Confirmed ? SettingOutcome::Stored
                      : link.lastRequestAnswered() ? SettingOutcome::NotConfirmed
                                                   : SettingOutcome::NoAnswer,
                      clockOffsetOf(readBack));
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
    if (command == QLatin1String("set-interval")) {
        if (!expectArgs(1, 1))
            return usage(QStringLiteral("set-interval takes MINUTES"));
        const auto minutes = parseHistoryInterval(rest.first());
        if (!minutes)
            return usage(QStringLiteral("not a whole number of minutes from 0 to 65535: %1")
                             .arg(rest.first()));
        return withPager(link, [&] {
            const bool ok = link.setHistoryInterval(*minutes);
            logChange(link, setting::historyInterval, QString::number(*minutes),
                      settingOutcome(ok, link.lastRequestAnswered()));
            return confirmed(ok, link, QStringLiteral("history-interval: %1").arg(*minutes));
        });
    }
    struct RegisterCommand
    {
        const char *name;
        const char *label;
        bool (PagerLink::*write)(float);
        bool (*fits)(float);
    };
    const RegisterCommand registers[] = {
        {"set-neutron-sigma", "neutron-sigma", &PagerLink::writeNeutronSigma, &sigmaFitsWire},
        {"set-gamma-sigma", "gamma-sigma", &PagerLink::writeGammaSigma, &sigmaFitsWire},
        {"set-threshold", "dose-rate-threshold", &PagerLink::writeDoseRateThreshold,
         &thresholdFitsWire},
    };
    for (const RegisterCommand &r : registers) {
        if (command != QLatin1String(r.name))
            continue;
        if (!expectArgs(1, 1))
            return usage(QStringLiteral("%1 takes one number").arg(command));
        const auto value = parseSettingNumber(rest.first());
        if (!value)
            return usage(QStringLiteral("not a number: %1").arg(rest.first()));
        if (!r.fits(*value))
            return usage(QStringLiteral("out of range: %1").arg(rest.first()));
        return withPager(link, [&] {
            const bool ok = (link.*r.write)(*value);
            // The value as it travels: sigmas in whole tenths.
            const bool sigma = r.write != &PagerLink::writeDoseRateThreshold;
            logChange(link, r.label, renderSetting(sigma ? sigmaAsKept(*value) : *value),
                      settingOutcome(ok, link.lastRequestAnswered()));
            return confirmed(
                ok, link,
                QStringLiteral("%1: %2").arg(QLatin1String(r.label), renderSetting(*value)));
        });
    }
    if (command == QLatin1String("history")) {
        if (!expectArgs(0, 0))
            return usage(QStringLiteral("history takes no argument"));
        const QString dumpFile = parser.value(dumpOption);
        exports.dump = dumpFile;
        bool beyondOk = true;
        const qint64 setClockBeyond =
            parser.isSet(clockOption) ? parser.value(clockOption).toLongLong(&beyondOk) : -1;
        if (!beyondOk || (parser.isSet(clockOption) && setClockBeyond < 0))
            return usage(QStringLiteral("--set-clock-beyond wants a number of seconds: %1")
                             .arg(parser.value(clockOption)));
        // A file that cannot be written is told before the pager is asked,
        // not after a long download whose pages would then be lost.
        for (const QString &name : {dumpFile, exports.csv, exports.pdf}) {
            QSaveFile probe(name);
            if (!name.isEmpty() && !probe.open(QIODevice::WriteOnly)) {
                err() << "dr7326g-cli: cannot write " << name << ": " << probe.errorString()
                      << "\n";
                return ExitFailure;
            }
            probe.cancelWriting();
        }
        return withPager(link, [&] {
            link.readInfo();
            // The pager's calibration, for the report's heading and date.
            if (archive().isOpen()) {
                const CalibrationState state =
                    archive().calibrationStateOf(link.serialNumber, QDate::currentDate());
                exports.overdueSince = state.overdueOn(QDate::currentDate());
                if (!parser.isSet(dateOption) && state.lastPassedDate.isValid())
                    exports.calibrationDate = state.lastPassedDate;
                if (state.status != CalibrationStatus::Current)
                    err() << "dr7326g-cli: " << calibrationStatusText(state) << "\n";
            }
            HistoryDump dump;
            dump.serialNumber = link.serialNumber;
            dump.downloadedAt = QDateTime::currentDateTime();
            dump.timeZoneId = QTimeZone::systemTimeZoneId();
            // The pages are kept for the dump file and for the archive.
            HistoryPageSink sink;
            if (!dumpFile.isEmpty() || archive().isOpen())
                sink = [&](const QByteArray &reply) { dump.pages.append(reply); };
            QList<HistoryRecord *> records;
            const HistoryDownloadResult result =
                downloadHistory(link, records, printProgress, sink);
            exports.serialNumber = link.serialNumber;
            flagDownloadedRecords(
                dump, records,
                archive().isOpen() ? archive()
                                         .lastReportedValue(link.serialNumber,
                                                            QLatin1String(setting::historyInterval))
                                         .toInt()
                                   : 0);
            // The clock's offset, kept with the download: read after it, so
            // that a pager that stopped answering is not asked again.
            bool clockRead = false;
            const QDateTime pcAfter = QDateTime::currentDateTime();
            const QDateTime deviceAfter =
                result.complete() ? link.readDeviceTime(&clockRead) : QDateTime();
            const QVariant offset = clockRead ? QVariant(pcAfter.secsTo(deviceAfter)) : QVariant();
            // Without a record the earlier dump stays (showRecords says so).
            const bool anyRecord = !records.isEmpty();
            int code = showRecords(records, result.complete(), exports, QTimeZone::systemTimeZone(),
                                   result.sizeBound);
            // What was read is kept, however the download ended.
            if (archive().isOpen() && dump.holdsReplies()) {
                const ArchiveStoreResult stored =
                    archive().storeHistory(dump,
                                           result.complete() ? ArchiveOutcome::Complete
                                           : result.stopped  ? ArchiveOutcome::Stopped
                                                             : ArchiveOutcome::Incomplete,
                                           QStringLiteral("download"), offset);
                if (!stored.ok) {
                    warnNotArchived(stored.error);
                    if (code == ExitOk)
                        code = ExitFailure;
                } else if (stored.alreadyStored) {
                    err() << "dr7326g-cli: archive: the same download is stored already ("
                          << stored.downloadId << ")\n";
                } else {
                    err() << "dr7326g-cli: archive: " << stored.newRecords << " new of "
                          << stored.records << " records\n";
                }
            }
            // A clock off by more than allowed is set after the download.
            if (clockRead && setClockBeyond >= 0 && qAbs(offset.toLongLong()) > setClockBeyond) {
                const QDateTime now = QDateTime::currentDateTime();
                QDateTime readBack;
                const PagerLink::ClockSetOutcome set = link.setDeviceTimeConfirmed(now, &readBack);
                logChange(link, setting::deviceTime, now.toString(timeFormat),
                          set == PagerLink::ClockSetOutcome::Confirmed ? SettingOutcome::Stored
                          : link.lastRequestAnswered() ? SettingOutcome::NotConfirmed
                                                       : SettingOutcome::NoAnswer,
                          clockOffsetOf(readBack));
                err() << "dr7326g-cli: the pager's clock was off by " << offset.toLongLong()
                      << " s: "
                      << (set == PagerLink::ClockSetOutcome::Confirmed
                              ? QStringLiteral("set, and it reads back %1")
                                    .arg(readBack.toString(timeFormat))
                              : QStringLiteral("setting it was not confirmed"))
                      << "\n";
                if (set != PagerLink::ClockSetOutcome::Confirmed && code == ExitOk)
                    code = ExitRefused;
            }
            if (dumpFile.isEmpty() || !anyRecord)
                return code;
            // Written after the download, all or nothing.
            QString error;
            if (!saveHistoryDump(dump, dumpFile, &error)) {
                err() << "dr7326g-cli: " << dumpFile << " not written: " << error << "\n";
                if (code == ExitOk)
                    code = ExitFailure;
            }
            return code;
        });
    }
    if (command == QLatin1String("decode")) {
        if (!expectArgs(1, 1))
            return usage(QStringLiteral("decode takes FILE"));
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
        exports.serialNumber =
            parser.isSet(serialOption) ? parser.value(serialOption) : dump.serialNumber;
        // Dates as they were shown where the download was made.
        const QTimeZone zone = dump.timeZone();
        dump = HistoryDump(); // its pages are decoded: room for the table
        return showRecords(records, complete, exports, zone);
    }
    return usage(QStringLiteral("unknown command: %1").arg(command));
}
