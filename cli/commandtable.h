// The commands of dr7326g-cli as one table: each entry's name, arguments,
// help text, the options it takes and what runs it. main parses the
// options, finds the entry and runs it; the "Commands:" part of --help and
// the "option not valid" checks are made from the table.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct PagerCommandContext;

struct ToolCommand
{
    const char *name;
    const char *arguments; // as --help shows them after the name; "" when none
    const char *help;      // its --help text, lines separated by '\n'
    // The tool's options it takes besides --archive, --no-archive and
    // --server (which have their own check).
    QStringList options;
    bool pager;  // talks to a pager: --serial names it
    bool stores; // stores what it reads and sends in the archive
    // A command parsed by main; null for one that parses its own command line.
    int (*run)(PagerCommandContext &);
    // A command with its own application and parser (plot and the groups):
    // whether the command line asks for it, and what runs it.
    bool (*asked)(int argc, char **argv);
    int (*runOwn)(int argc, char **argv);
    // A group's lines for --help, after its own.
    QString (*subcommandsHelp)();
};

const QList<ToolCommand> &toolCommands();

// The entry named `name`; null when none is.
const ToolCommand *findToolCommand(const QString &name);

// The "Commands:" lines of the tool's --help.
QString toolCommandsHelp();
