// What the tool's command groups (archive, instruments, review, wearers)
// share: finding the group and its sub-command on the command line, and the
// lines of their sub-commands for --help. Each group keeps its own table of
// sub-commands (name, usage, summary, ...) and says which options take a value.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

using TakesValue = bool (*)(const QString &option);

// The words of the command line after the program's name that are neither
// an option nor an option's value: the group's name, the sub-command's, and
// their arguments.
QStringList commandWords(const QStringList &arguments, TakesValue takesValue);

// Whether the first such word of the command line is `group`.
bool commandLineNames(int argc, char **argv, const char *group, TakesValue takesValue);

// The sub-command named `name`; null when none is.
template <typename Command>
const Command *findSubcommand(const QList<Command> &commands, const QString &name)
{
    for (const Command &candidate : commands)
        if (name == QLatin1String(candidate.name))
            return &candidate;
    return nullptr;
}

// Each sub-command's usage and summary, as --help lists them.
template <typename Command> QString subcommandsHelp(const QList<Command> &commands)
{
    QString help;
    for (const Command &command : commands)
        help += QStringLiteral("  %1\n      %2\n")
                    .arg(QLatin1String(command.usage), QLatin1String(command.summary));
    return help;
}
