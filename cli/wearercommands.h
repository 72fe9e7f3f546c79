// dr7326g-cli wearers ...: who wore which pager, from the shell, as a table
// of commands (list, assignments, add, assign, return), each with its own
// arguments and run function. Each writes one event to this PC's archive
// (never a change in place); 'archive sync' sends them to the lab's server.
#pragma once

#include <QDateTime>
#include <QStringList>
#include <QTextStream>

// Whether the command line asks for the wearers group (its first argument
// after the options is "wearers").
bool isWearerCommand(int argc, char **argv);

// Runs the group with its own application object.
int runWearerCommand(int argc, char **argv);

// The group on a command line (program name first), writing to the streams
// given: what runWearerCommand does once the application exists.
int runWearerGroup(const QStringList &arguments, QTextStream &out, QTextStream &err);

// The group's lines for the tool's --help.
QString wearerCommandsHelp();

// A time given on the command line: yyyy-MM-dd (its start), yyyy-MM-dd HH:mm
// or yyyy-MM-ddTHH:mm[:ss], in the PC's zone; invalid otherwise.
QDateTime commandLineTime(const QString &text);
