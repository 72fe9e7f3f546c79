// dr7326g-cli archive ...: the archive from the shell, as a table of
// commands (list, records, import, log, downloads, dump, sync), each with its
// own options, arguments and run function. Also the archive's part in the
// pager commands: opening it for them, and telling why it is not used.
//
// What the archive holds (serial numbers, user and PC names, values) is
// printed escaped (terminaltext.h): one row a line, whatever it holds. An
// import opens the archive only for a dump it can store, so a refused import
// leaves no file where there was none.
#pragma once

#include "archive.h"
#include "archiveserver.h"

#include <QStringList>
#include <QTextStream>

// Whether the command line asks for the archive group (its first argument
// after the options is "archive").
bool isArchiveCommand(int argc, char **argv);

// Runs the group with its own QApplication (the plot is made of widgets).
int runArchiveCommand(int argc, char **argv);

// The group on a command line (program name first), writing to the streams
// given: what runArchiveCommand does once the application exists.
int runArchiveGroup(const QStringList &arguments, QTextStream &out, QTextStream &err);

// --format of the commands that write the CSV file (records, history,
// decode): "table" (the table's file, the default) or "machine" (for
// programs, recordexport.h); false for another value.
bool parseCsvFormat(const QString &value, bool *machine);

// The group's lines for the tool's --help.
QString archiveCommandsHelp();

// What decode and import say when a dump's header names another pager than
// its replies (dump.headerSerialNumber set): that the replies' is taken.
QString dumpSerialNote(const QString &fileName, const HistoryDump &dump);

// Archive::defaultFileName(), after moving or merging there, once a run, the
// archive an earlier version of the window kept elsewhere
// (moveEarlierFiles()); what was done, or why not, is one line on `err`.
QString defaultArchiveFile(QTextStream &err);

// Opens the archive the pager commands store into: `fileName` when given,
// otherwise defaultArchiveFile(). When it cannot be used the reason goes
// to `err` and the command goes on without it (false); what it should have
// stored is then not stored, which makes its status 1.
bool openArchiveForPagerCommand(Archive &archive, const QString &fileName, QTextStream &err);

// What a sync to the lab's server left unsent, for stderr, a line each
// (starting "dr7326g-cli: "): every row the server refused and, when it
// stopped, why and what the next sync does. Empty when all was sent; the
// command's status is then unchanged, otherwise 1 (syncFailed), except
// that a server that could not be reached leaves a pager command's status
// as it was (`automatic`: after a pager command, its work is stored on the PC).
QString syncProblemsText(const ArchiveSyncResult &result, bool automatic);
bool syncFailed(const ArchiveSyncResult &result, bool automatic);
