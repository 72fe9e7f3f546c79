#include "reviewcommands.h"

#include "archive.h"
#include "archivecommands.h"
#include "archiveserver.h"
#include "commandgroup.h"
#include "exitcodes.h"
#include "terminaltext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace {

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
            err << "Try 'dr7326g-cli review --help'.\n";
        err.flush();
        return code;
    }
};

int listPending(Context &c)
{
    QString error;
    const QList<ArchiveReview> pending = c.archive.pendingReviews(&error);
    if (!error.isEmpty())
        return c.fail(ExitFailure, error);
    c.out << "download\tserial\tdownloaded\treasons\n";
    for (const ArchiveReview &r : pending)
        c.out << r.downloadId << "\t" << shownText(r.serialNumber) << "\t"
              << r.downloadedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
              << "\t" << reviewReasonsNames(r.reasons) << "\n";
    return ExitOk;
}

int signDownload(Context &c)
{
    bool isNumber = false;
    const qint64 id = c.args.at(0).toLongLong(&isNumber);
    if (!isNumber)
        return c.fail(ExitUsage, QStringLiteral("not a download number: %1").arg(c.args.at(0)));
    SignatureMeaning meaning;
    if (!signatureMeaningFromName(c.parser.value(QStringLiteral("meaning")), &meaning))
        return c.fail(ExitUsage, QStringLiteral("sign needs --meaning accepted|remarks|rejected"));
    QString error;
    if (!c.archive.signDownload(id, meaning, c.parser.value(QStringLiteral("note")),
                                c.parser.value(QStringLiteral("signer")), QDateTime(), &error)) {
        const QString refused =
            rightsRefusalText(QStringLiteral("sign"), QLatin1String(serverrole::reviewers), error);
        if (!refused.isEmpty())
            return c.fail(ExitNoRights, refused);
        return c.fail(ExitFailure, QStringLiteral("not signed: %1").arg(error));
    }
    c.out << "download " << id << ": signed, " << signatureMeaningName(meaning) << "\n";
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
        {"pending",
         "review pending",
         "the downloads to review (an alarm, a threshold row or a flagged record among their "
         "new records, or the pager overdue for calibration) that nobody has signed",
         {},
         0,
         false,
         &listPending},
        {"sign",
         "review sign DOWNLOAD --meaning accepted|remarks|rejected [--note TEXT] [--signer NAME]",
         "sign a download (its number in 'review pending'); remarks and rejected need --note; "
         "the signer is the OS user unless --signer names one",
         {QStringLiteral("meaning"), QStringLiteral("note"), QStringLiteral("signer")},
         1,
         true,
         &signDownload},
    };
    return table;
}

QCommandLineOption option(const QString &name)
{
    if (name == QLatin1String("meaning"))
        return QCommandLineOption(name, QStringLiteral("accepted, remarks or rejected"),
                                  QStringLiteral("MEANING"));
    if (name == QLatin1String("note"))
        return QCommandLineOption(name, QStringLiteral("the remarks, or why rejected"),
                                  QStringLiteral("TEXT"));
    return QCommandLineOption(name, QStringLiteral("who signs (default: the OS user)"),
                              QStringLiteral("NAME"));
}

bool takesValue(const QString &arg)
{
    for (const char *name : {"--archive", "--server", "--meaning", "--note", "--signer"})
        if (arg == QLatin1String(name))
            return true;
    return false;
}

} // namespace

QString rightsRefusalText(const QString &what, const QString &role, const QString &error)
{
    if (!isRightsRefusal(error))
        return QString();
    return QStringLiteral("the lab server refused to %1: this user lacks the rights (the role %2 "
                          "has them; the database's owner gives it): %3")
        .arg(what, role, error.section(QLatin1Char('\n'), 0, 0).simplified());
}

bool isReviewCommand(int argc, char **argv)
{
    return commandLineNames(argc, argv, "review", &takesValue);
}

QString reviewCommandsHelp()
{
    return subcommandsHelp(commands());
}

int runReviewGroup(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QStringList words = commandWords(arguments, &takesValue);
    const QString name = words.value(1);
    const Command *command = findSubcommand(commands(), name);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Review and sign-off of downloads, kept in the archive as events and sent "
                       "to the lab's server by 'archive sync'; with --server, on the server.\n\n") +
        reviewCommandsHelp());
    const QCommandLineOption archiveOption(
        QStringLiteral("archive"),
        QStringLiteral("the archive file (default: $DR7326G_ARCHIVE, or archive.sqlite in the "
                       "user's data folder)"),
        QStringLiteral("FILE"));
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        QStringLiteral("the lab's archive server instead of this PC's archive, a libpq URI "
                       "(the password comes from ~/.pgpass or PGPASSWORD)"),
        QStringLiteral("URI"));
    parser.addOptions({archiveOption, serverOption});
    const QCommandLineOption helpOption = parser.addHelpOption();
    if (command)
        for (const QString &o : command->options)
            parser.addOption(option(o));
    parser.addPositionalArgument(QStringLiteral("review"), QStringLiteral("the group"));
    if (!parser.parse(arguments)) {
        err << "dr7326g-cli: " << parser.errorText() << "\nTry 'dr7326g-cli review --help'.\n";
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return ExitOk;
    }
    if (!command) {
        err << "dr7326g-cli: "
            << (name.isEmpty() ? QStringLiteral("review needs a command")
                               : QStringLiteral("unknown review command: %1").arg(name))
            << "\nTry 'dr7326g-cli review --help'.\n";
        return ExitUsage;
    }
    const QStringList args = parser.positionalArguments().mid(2);
    if (args.size() != command->args) {
        err << "dr7326g-cli: usage: dr7326g-cli " << command->usage << "\n";
        return ExitUsage;
    }
    Archive archive;
    QString why;
    if (parser.isSet(serverOption)) {
        ArchiveServer server;
        if (!ArchiveServer::parse(parser.value(serverOption), &server, &why)) {
            err << "dr7326g-cli: " << why << "\n";
            return ExitUsage;
        }
        if (!archive.openServer(server, &why)) {
            err << "dr7326g-cli: " << why << "\n";
            return ExitFailure;
        }
    } else {
        const QString fileName =
            parser.isSet(archiveOption) ? parser.value(archiveOption) : defaultArchiveFile(err);
        // Listing makes no archive where there was none.
        if (!QFileInfo::exists(fileName)) {
            err << "dr7326g-cli: no archive " << fileName << "\n";
            return ExitFailure;
        }
        if (!archive.open(fileName,
                          command->writes ? Archive::OpenMode::Store : Archive::OpenMode::Browse,
                          &why)) {
            err << "dr7326g-cli: " << why << "\n";
            return ExitFailure;
        }
    }
    Context context{archive, parser, args, out, err};
    const int code = command->run(context);
    out.flush();
    err.flush();
    return code;
}

int runReviewCommand(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runReviewGroup(QCoreApplication::arguments(), out, err);
}
