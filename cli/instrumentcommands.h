// dr7326g-cli instruments ...: the lab's register of pagers and their
// calibrations (list, calibrate, due, impact), a table of commands as the
// archive group's, run in-process by the tests.
#pragma once

#include <QStringList>
#include <QTextStream>

// Whether the command line asks for the instruments group (its first argument
// after the options is "instruments").
bool isInstrumentCommand(int argc, char **argv);

// Runs the group with its own application.
int runInstrumentCommand(int argc, char **argv);

// The group on a command line (program name first), writing to the streams
// given.
int runInstrumentGroup(const QStringList &arguments, QTextStream &out, QTextStream &err);

// The group's lines for the tool's --help.
QString instrumentCommandsHelp();
