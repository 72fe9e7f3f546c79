#include "instrumentcommands.h"

#include "archive.h"
#include "archivecommands.h"
#include "archiveserver.h"
#include "commandgroup.h"
#include "exitcodes.h"
#include "serialnumber.h"
#include "terminaltext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <functional>

namespace {

const QString dateFormat = QStringLiteral("yyyy-MM-dd");

struct Context
{
    Archive &archive;
    const QCommandLineParser &parser;
    QStringList args; // after the command's name
    QTextStream &out;
    QTextStream &err;

    int fail(int code, const QString &message) const
    {
        err << "dr7326g-cli: " << message << "\n";
        if (code == ExitUsage)
            err << "Try 'dr7326g-cli instruments --help'.\n";
        err.flush();
        return code;
    }
};

QString dateText(const QDate &date)
{
    return date.isValid() ? date.toString(dateFormat) : QString();
}

QString stateRow(const CalibrationState &s)
{
    return shownRow({s.serialNumber, dateText(s.lastDate),
                     s.lastDate.isValid()
                         ? (s.lastPassed ? QStringLiteral("passed") : QStringLiteral("failed"))
                         : QString(),
                     s.lastCertificate, dateText(s.due), calibrationStatusName(s.status)});
}

const QString stateHeader =
    QStringLiteral("serial\tlast-calibration\tresult\tcertificate\tdue\tstatus\n");

QCommandLineOption option(const QString &name)
{
    static const QHash<QString, QCommandLineOption> options{
        {QStringLiteral("date"), QCommandLineOption(QStringLiteral("date"),
                                                    QStringLiteral("calibrate: the day of the "
                                                                   "calibration"),
                                                    QStringLiteral("yyyy-MM-dd"))},
        {QStringLiteral("certificate"),
         QCommandLineOption(QStringLiteral("certificate"),
                            QStringLiteral("calibrate: the certificate's number"),
                            QStringLiteral("C"))},
        {QStringLiteral("interval-months"),
         QCommandLineOption(QStringLiteral("interval-months"),
                            QStringLiteral("calibrate: months until the next one (default 12)"),
                            QStringLiteral("N"), QStringLiteral("12"))},
        {QStringLiteral("failed"),
         QCommandLineOption(QStringLiteral("failed"),
                            QStringLiteral("calibrate: the pager failed it, for this reason"),
                            QStringLiteral("NOTE"))},
        {QStringLiteral("within"),
         QCommandLineOption(QStringLiteral("within"),
                            QStringLiteral("due: the days ahead to warn of (default 30)"),
                            QStringLiteral("DAYS"), QStringLiteral("30"))},
    };
    return options.value(name, QCommandLineOption(name));
}

int listInstruments(Context &c)
{
    QString error;
    const QList<CalibrationState> states =
        c.archive.calibrationStates(QDate::currentDate(), &error);
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    c.out << stateHeader;
    for (const CalibrationState &s : states)
        c.out << stateRow(s) << "\n";
    return ExitOk;
}

int calibrate(Context &c)
{
    Calibration calibration;
    calibration.serialNumber = c.args.first();
    const QString problem = serialNumberProblem(calibration.serialNumber);
    if (!problem.isEmpty())
        return c.fail(ExitUsage, QStringLiteral("not a serial number: %1").arg(problem));
    if (!c.parser.isSet(QStringLiteral("date")) || !c.parser.isSet(QStringLiteral("certificate")))
        return c.fail(ExitUsage, QStringLiteral("calibrate wants --date and --certificate"));
    calibration.date = QDate::fromString(c.parser.value(QStringLiteral("date")), dateFormat);
    if (!calibration.date.isValid())
        return c.fail(ExitUsage, QStringLiteral("--date is not yyyy-MM-dd: %1")
                                     .arg(c.parser.value(QStringLiteral("date"))));
    calibration.certificate = c.parser.value(QStringLiteral("certificate"));
    bool ok = false;
    calibration.intervalMonths = c.parser.value(QStringLiteral("interval-months")).toInt(&ok);
    if (!ok || calibration.intervalMonths < 1 || calibration.intervalMonths > 240)
        return c.fail(ExitUsage, QStringLiteral("--interval-months wants 1 to 240: %1")
                                     .arg(c.parser.value(QStringLiteral("interval-months"))));
    calibration.passed = !c.parser.isSet(QStringLiteral("failed"));
    calibration.note = c.parser.value(QStringLiteral("failed"));
    QString error;
    if (!c.archive.storeCalibration(calibration, &error))
        return c.fail(ExitFailure, error);
    const CalibrationState state =
        c.archive.calibrationStateOf(calibration.serialNumber, QDate::currentDate(), &error);
    c.out << stateHeader << stateRow(state) << "\n";
    return ExitOk;
}

int due(Context &c)
{
    bool ok = false;
    const int within = c.parser.value(QStringLiteral("within")).toInt(&ok);
    if (!ok || within < 0)
        return c.fail(ExitUsage, QStringLiteral("--within wants a number of days: %1")
                                     .arg(c.parser.value(QStringLiteral("within"))));
    QString error;
    const QList<CalibrationState> states =
        c.archive.calibrationStates(QDate::currentDate(), &error, within);
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    // Every pager that wants a calibration is listed; a due date within the
    // days, one passed or a failed last calibration makes the status 6 (a
    // pager never calibrated is listed only: it may be out of use).
    bool due = false;
    c.out << stateHeader;
    for (const CalibrationState &s : states) {
        if (!s.needsCalibration())
            continue;
        c.out << stateRow(s) << "\n";
        due = due || s.status != CalibrationStatus::Never;
    }
    return due ? ExitDue : ExitOk;
}

int impact(Context &c)
{
    const QString serial = c.args.first();
    QString error;
    if (!c.archive.hasPager(serial, &error))
        return c.fail(ExitFailure, !error.isEmpty()
                                       ? error
                                       : QStringLiteral("no pager %1 in the archive").arg(serial));
    QDate since;
    for (const Calibration &k : c.archive.calibrations(serial, &error))
        if (k.passed)
            since = k.date;
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    const QList<ArchiveDownload> list = c.archive.downloads(serial, &error);
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    c.err << "dr7326g-cli: downloads of " << shownText(serial) << " "
          << (since.isValid()
                  ? QStringLiteral("since its last passed calibration, %1").arg(dateText(since))
                  : QStringLiteral("(never passed a calibration: all)"))
          << "\n";
    c.out << "id\tdownloaded-at\torigin\toutcome\trecords\tnew-records\toverdue-since\n";
    for (const ArchiveDownload &d : list) {
        // A dump that does not say when it was made is listed: it may be from then.
        if (since.isValid() && d.downloadedAt.isValid() && d.downloadedAt.date() < since)
            continue;
        c.out << shownRow({QString::number(d.id),
                           d.downloadedAt.isValid() ? d.downloadedAt.toLocalTime().toString(
                                                          QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                                    : QString(),
                           d.origin, d.outcome, QString::number(d.records),
                           QString::number(d.newRecords), dateText(d.overdueSince)})
              << "\n";
    }
    return ExitOk;
}

struct Command
{
    const char *name;
    const char *usage;
    const char *summary;
    QStringList options;
    int minArgs;
    int maxArgs;
    bool writes;
    int (*run)(Context &);
};

const QList<Command> &commands()
{
    static const QList<Command> table{
        {"list",
         "instruments list",
         "every pager: last calibration, its result, certificate, due date, status",
         {},
         0,
         0,
         false,
         &listInstruments},
        {"calibrate",
         "instruments calibrate SN --date D --certificate C [--interval-months N] [--failed NOTE]",
         "record a calibration (a correction is a new one; 'archive sync' sends it)",
         {QStringLiteral("date"), QStringLiteral("certificate"), QStringLiteral("interval-months"),
          QStringLiteral("failed")},
         1,
         1,
         true,
         &calibrate},
        {"due",
         "instruments due [--within DAYS]",
         "the pagers due within the days (default 30), overdue, failed or never calibrated; "
         "status 6 when any is due, overdue or failed",
         {QStringLiteral("within")},
         0,
         0,
         false,
         &due},
        {"impact",
         "instruments impact SN",
         "the pager's downloads since its last passed calibration",
         {},
         1,
         1,
         false,
         &impact},
    };
    return table;
}

const QCommandLineOption archiveOption(QStringLiteral("archive"),
                                       QStringLiteral("the archive file (default: "
                                                      "$DR7326G_ARCHIVE, or archive.sqlite in the "
                                                      "user's data folder)"),
                                       QStringLiteral("FILE"));
const QCommandLineOption
    serverOption(QStringLiteral("server"),
                 QStringLiteral("the lab's archive server, a libpq URI (default: $DR7326G_SERVER)"),
                 QStringLiteral("URI"));
const QCommandLineOption sourceOption(
    QStringLiteral("source"),
    QStringLiteral("list, due, impact: this PC's archive (local, the default) or the lab's "
                   "server (server)"),
    QStringLiteral("local|server"), QStringLiteral("local"));

bool takesValue(const QString &arg)
{
    static const QStringList names{"--archive",
                                   "--server",
                                   "--source",
                                   "--date",
                                   "--certificate",
                                   "--failed",
                                   "--within",
                                   "--interval-months",
                                   "--serial",
                                   "--calibration-date",
                                   "--set-clock-beyond",
                                   "--csv",
                                   "--pdf",
                                   "--png",
                                   "--dump",
                                   "--from",
                                   "--to",
                                   "--days",
                                   "--policy"};
    return names.contains(arg);
}

} // namespace

bool isInstrumentCommand(int argc, char **argv)
{
    return commandLineNames(argc, argv, "instruments", &takesValue);
}

QString instrumentCommandsHelp()
{
    return subcommandsHelp(commands());
}

int runInstrumentGroup(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QStringList words = commandWords(arguments, &takesValue);
    const QString name = words.value(1);
    const Command *command = findSubcommand(commands(), name);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The pagers' calibrations.\n\n") + instrumentCommandsHelp() +
        QStringLiteral("\nA pager is due when its last passed calibration plus its interval "
                       "falls within the days, overdue from that day on.\n"));
    parser.addOptions({archiveOption, serverOption, sourceOption});
    const QCommandLineOption helpOption = parser.addHelpOption();
    if (command)
        for (const QString &o : command->options)
            parser.addOption(option(o));
    parser.addPositionalArgument(QStringLiteral("instruments"), QStringLiteral("the group"));
    const auto usage = [&](const QString &message) {
        err << "dr7326g-cli: " << message << "\nTry 'dr7326g-cli instruments --help'.\n";
        err.flush();
        return int(ExitUsage);
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return ExitOk;
    }
    if (!command)
        return usage(name.isEmpty() ? QStringLiteral("instruments needs a command")
                                    : QStringLiteral("unknown instruments command: %1").arg(name));
    const QStringList args = parser.positionalArguments().mid(2);
    if (args.size() < command->minArgs || args.size() > command->maxArgs) {
        err << "dr7326g-cli: usage: dr7326g-cli " << command->usage << "\n";
        return ExitUsage;
    }
    const QString source = parser.value(sourceOption);
    const bool fromServer = source == QLatin1String("server");
    if (!fromServer && source != QLatin1String("local"))
        return usage(QStringLiteral("--source is local or server, not %1").arg(source));
    if (fromServer && command->writes)
        return usage(QStringLiteral("calibrate works on this PC's archive; 'archive sync' sends "
                                    "it to the server"));
    ArchiveServer server;
    QString error;
    if (parser.isSet(serverOption)
            ? !ArchiveServer::parse(parser.value(serverOption), &server, &error)
            : !ArchiveServer::fromEnvironment(&server, &error))
        return usage(error);
    if (fromServer && !server.isSet())
        return usage(QStringLiteral("no lab server: give --server URI or set DR7326G_SERVER"));
    Archive archive;
    if (fromServer) {
        if (!archive.openServer(server, &error)) {
            err << "dr7326g-cli: " << error << "\n";
            return ExitFailure;
        }
    } else {
        const QString fileName =
            parser.isSet(archiveOption) ? parser.value(archiveOption) : defaultArchiveFile(err);
        // Reading makes no archive where there was none.
        if (!command->writes && !QFileInfo::exists(fileName)) {
            err << "dr7326g-cli: no archive " << fileName << "\n";
            return ExitFailure;
        }
        if (!archive.open(fileName,
                          command->writes ? Archive::OpenMode::Store : Archive::OpenMode::Browse,
                          &error)) {
            err << "dr7326g-cli: " << error << "\n";
            return ExitFailure;
        }
    }
    Context context{archive, parser, args, out, err};
    const int code = command->run(context);
    out.flush();
    err.flush();
    return code;
}

int runInstrumentCommand(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runInstrumentGroup(QCoreApplication::arguments(), out, err);
}
