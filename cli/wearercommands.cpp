#include "wearercommands.h"

#include "archive.h"
#include "archivecommands.h"
#include "commandgroup.h"
#include "exitcodes.h"
#include "terminaltext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

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
            err << "Try 'dr7326g-cli wearers --help'.\n";
        err.flush();
        return code;
    }
};

QString cell(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : shownText(text);
}

QString timeText(const QDateTime &t)
{
    return t.isValid() ? t.toLocalTime().toString(timeFormat) : QStringLiteral("-");
}

int listWearers(Context &c)
{
    QString error;
    const QList<ArchiveWearer> wearers = c.archive.wearers(&error);
    const QList<ArchiveAssignment> assignments =
        error.isEmpty() ? c.archive.assignments(&error) : QList<ArchiveAssignment>();
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    c.out << "number\tname\twearing\n";
    for (const ArchiveWearer &w : wearers) {
        QStringList wearing;
        for (const ArchiveAssignment &a : assignments)
            if (a.wearer == w.number && a.worn())
                wearing << shownText(a.serialNumber);
        c.out << cell(w.number) << "\t" << cell(w.name) << "\t"
              << (wearing.isEmpty() ? QStringLiteral("-") : wearing.join(QLatin1Char(','))) << "\n";
    }
    return ExitOk;
}

int listAssignments(Context &c)
{
    QString error;
    const QList<ArchiveAssignment> assignments = c.archive.assignments(&error);
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    c.out << "serial\twearer\tfrom\tto\tentered\tuser\tpc\n";
    for (const ArchiveAssignment &a : assignments)
        c.out << cell(a.serialNumber) << "\t" << cell(a.wearer) << "\t" << timeText(a.from) << "\t"
              << timeText(a.to) << "\t" << timeText(a.enteredAt) << "\t" << cell(a.osUser) << "\t"
              << cell(a.pc) << "\n";
    return ExitOk;
}

int addWearer(Context &c)
{
    QString error;
    if (!c.archive.addWearer(c.args.at(0), c.args.at(1), &error))
        return c.fail(ExitFailure, error);
    return ExitOk;
}

// The time of an option, now when not given; false (told) when it is no time.
bool optionTime(Context &c, const QString &name, QDateTime *t, int *code)
{
    if (!c.parser.isSet(name))
        return true;
    *t = commandLineTime(c.parser.value(name));
    if (t->isValid())
        return true;
    *code = c.fail(
        ExitUsage,
        QStringLiteral("--%1 is not yyyy-MM-dd[ HH:mm[:ss]]: %2").arg(name, c.parser.value(name)));
    return false;
}

int assignPager(Context &c)
{
    QDateTime from = QDateTime::currentDateTime(), until;
    int code = ExitOk;
    if (!optionTime(c, QStringLiteral("from"), &from, &code) ||
        !optionTime(c, QStringLiteral("to"), &until, &code))
        return code;
    QString error;
    if (!c.archive.assignPager(c.args.at(0), c.args.at(1), from, until, &error))
        return c.fail(ExitFailure, QStringLiteral("not assigned: %1").arg(error));
    return ExitOk;
}

int returnPager(Context &c)
{
    QDateTime at = QDateTime::currentDateTime();
    int code = ExitOk;
    if (!optionTime(c, QStringLiteral("at"), &at, &code))
        return code;
    QString error;
    if (!c.archive.returnPager(c.args.at(0), at, &error))
        return c.fail(ExitFailure, QStringLiteral("not returned: %1").arg(error));
    return ExitOk;
}

struct Command
{
    const char *name;
    const char *usage;
    const char *summary;
    QStringList options;
    int args;
    bool writes;
    int (*run)(Context &);
};

const QList<Command> &commands()
{
    static const QList<Command> table{
        {"list",
         "wearers list",
         "the wearers and the pagers they wear now",
         {},
         0,
         false,
         &listWearers},
        {"assignments",
         "wearers assignments",
         "every pager given, by pager and time",
         {},
         0,
         false,
         &listAssignments},
        {"add",
         "wearers add NUMBER NAME",
         "enter a wearer by personnel number (again: a new name)",
         {},
         2,
         true,
         &addWearer},
        {"assign",
         "wearers assign SN NUMBER [--from T] [--to T]",
         "give a pager to a wearer from T (default now), until returned or --to; refused when "
         "it overlaps another assignment of the pager",
         {QStringLiteral("from"), QStringLiteral("to")},
         2,
         true,
         &assignPager},
        {"return",
         "wearers return SN [--at T]",
         "the pager given back at T (default now)",
         {QStringLiteral("at")},
         1,
         true,
         &returnPager},
    };
    return table;
}

const QCommandLineOption archiveOption(QStringLiteral("archive"),
                                       QStringLiteral("the archive file (default: "
                                                      "$DR7326G_ARCHIVE, or archive.sqlite in the "
                                                      "user's data folder)"),
                                       QStringLiteral("FILE"));

QCommandLineOption timeOption(const QString &name)
{
    const char *what = name == QLatin1String("from") ? "start of the assignment"
                       : name == QLatin1String("to") ? "end of the assignment (a return)"
                                                     : "time of the return";
    return QCommandLineOption(name, QLatin1String(what), QStringLiteral("yyyy-MM-dd[ HH:mm]"));
}

bool takesValue(const QString &arg)
{
    for (const char *name : {"--archive", "--from", "--to", "--at"})
        if (arg == QLatin1String(name))
            return true;
    return false;
}

} // namespace

QDateTime commandLineTime(const QString &text)
{
    for (const char *format : {"yyyy-MM-dd", "yyyy-MM-dd HH:mm", "yyyy-MM-dd HH:mm:ss",
                               "yyyy-MM-ddTHH:mm", "yyyy-MM-ddTHH:mm:ss"}) {
        const QDateTime t = QDateTime::fromString(text, QLatin1String(format));
        if (t.isValid())
            return t;
    }
    return QDateTime();
}

bool isWearerCommand(int argc, char **argv)
{
    return commandLineNames(argc, argv, "wearers", &takesValue);
}

QString wearerCommandsHelp()
{
    return subcommandsHelp(commands());
}

int runWearerGroup(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QStringList words = commandWords(arguments, &takesValue);
    const QString name = words.value(1);
    const Command *command = findSubcommand(commands(), name);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Who wore which pager: wearers and assignments, kept in the archive as "
                       "events and sent to the lab's server by 'archive sync'.\n\n") +
        wearerCommandsHelp());
    parser.addOption(archiveOption);
    const QCommandLineOption helpOption = parser.addHelpOption();
    if (command)
        for (const QString &o : command->options)
            parser.addOption(timeOption(o));
    parser.addPositionalArgument(QStringLiteral("wearers"), QStringLiteral("the group"));
    if (!parser.parse(arguments)) {
        err << "dr7326g-cli: " << parser.errorText() << "\nTry 'dr7326g-cli wearers --help'.\n";
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return ExitOk;
    }
    if (!command) {
        err << "dr7326g-cli: "
            << (name.isEmpty() ? QStringLiteral("wearers needs a command")
                               : QStringLiteral("unknown wearers command: %1").arg(name))
            << "\nTry 'dr7326g-cli wearers --help'.\n";
        return ExitUsage;
    }
    const QStringList args = parser.positionalArguments().mid(2);
    if (args.size() != command->args) {
        err << "dr7326g-cli: usage: dr7326g-cli " << command->usage << "\n";
        return ExitUsage;
    }
    const QString fileName =
        parser.isSet(archiveOption) ? parser.value(archiveOption) : defaultArchiveFile(err);
    // Listing makes no archive where there was none.
    if (!command->writes && !QFileInfo::exists(fileName)) {
        err << "dr7326g-cli: no archive " << fileName << "\n";
        return ExitFailure;
    }
    Archive archive;
    QString why;
    if (!archive.open(fileName,
                      command->writes ? Archive::OpenMode::Store : Archive::OpenMode::Browse,
                      &why)) {
        err << "dr7326g-cli: " << why << "\n";
        return ExitFailure;
    }
    Context context{archive, parser, args, out, err};
    const int code = command->run(context);
    out.flush();
    err.flush();
    return code;
}

int runWearerCommand(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runWearerGroup(QCoreApplication::arguments(), out, err);
}
