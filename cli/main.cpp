// dr7326g-cli: the pager from the shell. main parses the tool's options and
// runs the command through the command table (commandtable.h); the pager
// commands are in pagercommands.cpp, plot and the groups in their own files.
#include "archivecommands.h"
#include "archiveserver.h"
#include "commandtable.h"
#include "exitcodes.h"
#include "pagercommands.h"
#include "pagerlink.h"
#include "serialnumber.h"
#include "usbxpress.h"
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
#include <QTextStream>

#include <csignal>
#include <cstdio>

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
    // Plot and the groups make an application of their own.
    for (const ToolCommand &command : toolCommands())
        if (command.asked && command.asked(argc, argv))
            return command.runOwn(argc, argv);
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("dr7326g-cli"));
    QGuiApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    Archive archiveOfRun;
    setRunArchive(&archiveOfRun);

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
            "Commands:\n") +
        toolCommandsHelp() +
        QStringLiteral(
            "\nThe rows of history, decode and archive records end with the names of the\n"
            "record's flags, comma-separated, empty when none: backwards, future, gap,\n"
            "dose-fall, range, event, checksum (records that look wrong; never dropped).\n"
            "\nparams, history, fleet apply and the set- commands store what they read and\n"
            "send in the\n"
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
            "6 a pager due for calibration (instruments due), 7 the lab's server refused\n"
            "for lack of rights (the user's role), 8 an event or record of the archive does\n"
            "not match its chain (archive verify), 9 a pager's settings not as the policy wants "
            "(fleet check) or\n"
            "a pager not read within the days (archive unread)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dumpOption(QStringLiteral("dump"),
                                        QStringLiteral("history: save every page reply as a dump"),
                                        QStringLiteral("FILE"));
    const QCommandLineOption csvOption(QStringLiteral("csv"),
                                       QStringLiteral("history, decode: write the CSV file"),
                                       QStringLiteral("FILE"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("history, decode: the CSV file as the table shows it (table, the default) "
                       "or for programs (machine: ',' and '.', ISO times, SI units, flags)"),
        QStringLiteral("table|machine"), QStringLiteral("table"));
    const QCommandLineOption jsonlOption(
        QStringLiteral("jsonl"), QStringLiteral("history, decode: write the records as JSON Lines"),
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
        QStringLiteral("params, history, set-, fleet apply: after storing, send to the lab's "
                       "archive server (postgresql://user@host:5432/database; default: "
                       "$DR7326G_SERVER); fleet check: read that server instead of this PC's "
                       "archive"),
        QStringLiteral("URI"));
    const QCommandLineOption clockOption(
        QStringLiteral("set-clock-beyond"),
        QStringLiteral("history, station: set the pager's clock (and read it back, logged as "
                       "every change) when it is off the PC's by more than SECONDS"),
        QStringLiteral("SECONDS"));
    const QCommandLineOption policyOption(
        QStringLiteral("policy"),
        QStringLiteral("fleet: the lab's settings policy (INI: [all] and a [SERIAL] section per "
                       "pager that differs)"),
        QStringLiteral("FILE"));
    parser.addOptions({dumpOption, csvOption, formatOption, jsonlOption, pdfOption, dateOption,
                       serialOption, archiveOption, noArchiveOption, serverOption, clockOption,
                       policyOption});
#ifndef Q_OS_WIN
    parser.addOptions(
        {{QStringLiteral("again-after"),
          QStringLiteral("station: read a pager that stays attached again after HOURS (default: "
                         "only when plugged in again)"),
          QStringLiteral("HOURS")},
         {QStringLiteral("on-event"),
          QStringLiteral("station: after each pager contact run CMD with /bin/sh -c, what came of "
                         "it in DR7326G_* variables"),
          QStringLiteral("CMD")},
         {QStringLiteral("event-timeout"),
          QStringLiteral("station: kill the --on-event command after SECONDS (default 60)"),
          QStringLiteral("SECONDS")}});
#endif
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

    // Plot and the groups, when not asked as they parse, are unknown here.
    const ToolCommand *entry = findToolCommand(command);
    if (entry && !entry->run)
        entry = nullptr;
    const QDate calibrationDate =
        QDate::fromString(parser.value(dateOption), QStringLiteral("yyyy-MM-dd"));
    if (!calibrationDate.isValid())
        return usage(
            QStringLiteral("calibration date is not yyyy-MM-dd: %1").arg(parser.value(dateOption)));
    bool machineCsv = false;
    if (!parseCsvFormat(parser.value(formatOption), &machineCsv))
        return usage(
            QStringLiteral("--format is table or machine: %1").arg(parser.value(formatOption)));
    if (parser.isSet(formatOption) && !parser.isSet(QStringLiteral("csv")))
        return usage(QStringLiteral("--format is the form of the --csv file: give --csv FILE"));
    // Every option given is one the command takes.
    const QStringList common{"help", "help-all", "version", "archive", "no-archive", "server"};
    for (const QString &name : parser.optionNames()) {
        if (!common.contains(name) && !(entry && entry->options.contains(name)))
            return usage(QStringLiteral("option not valid for %1").arg(command));
    }
    const bool pagerCommand = entry && entry->pager;

#ifndef Q_OS_WIN
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
    const bool stores = entry && entry->stores;
    if (parser.isSet(serverOption) && (!stores || parser.isSet(noArchiveOption)))
        return usage(QStringLiteral("--server is for params, history and the set- commands that "
                                    "store in the archive"));
    if (stores && !parser.isSet(noArchiveOption)) {
        QString error;
        if (parser.isSet(serverOption)) {
            if (!ArchiveServer::parse(parser.value(serverOption), &runServer(), &error))
                return usage(error);
        } else if (!ArchiveServer::fromEnvironment(&runServer(), &error)) {
            err() << "dr7326g-cli: not sending to a lab server: " << error << "\n";
        }
    }
    if (!entry)
        return usage(QStringLiteral("unknown command: %1").arg(command));
    // Opened once the command's arguments are good: a usage error makes no file.
    if (stores && !parser.isSet(noArchiveOption)) {
        const QString archiveFile = parser.value(archiveOption);
        setOpenArchiveBeforePager([&archiveOfRun, archiveFile] {
            if (!openArchiveForPagerCommand(archiveOfRun, archiveFile, err()))
                markArchiveWriteFailed();
        });
    }

    PagerCommandContext context{link,
                                parser,
                                command,
                                rest,
                                parser.value(csvOption),
                                machineCsv,
                                parser.value(jsonlOption),
                                parser.value(pdfOption),
                                calibrationDate};
    return entry->run(context);
}
