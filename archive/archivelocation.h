// Where the program keeps what lasts between runs (the archive, the copy of
// its help, the window's settings), the same for the window and the
// command-line tool; and what becomes of the files earlier versions of the
// window kept elsewhere.
//
// Contract:
//  - programDataFolder() is the user's data folder of the program: "dr7326g"
//    in $XDG_DATA_HOME (~/.local/share/dr7326g) on Linux, in %LOCALAPPDATA% on
//    Windows. It never depends on QCoreApplication's organisation or
//    application name, so the window and the tool (whose names differ) find
//    the same folder. Archive::defaultFileName() is archive.sqlite in it.
//  - The window keeps its settings (QSettings) under the organisation and
//    application name programName: ~/.config/dr7326g/dr7326g.conf on Linux.
//  - moveEarlierFiles(), run once at start by the window and by the tool
//    (the tool leaves the window's settings alone, withSettings false):
//    earlier versions of the window kept their archive in
//    <data>/DR7326G/dr7326g/archive.sqlite and their settings under the
//    organisation "DR7326G". Unless $DR7326G_ARCHIVE is set, such an archive
//    is moved where it belongs when no archive is there yet; otherwise it is
//    merged into the one there by the rule of every sync (each download,
//    parameter read and setting change kept once), in one transaction, and
//    then renamed to archive.sqlite.merged where it was, so the merge is not
//    repeated. The settings likewise: moved, or the keys the current ones
//    lack copied in and the earlier file renamed to .merged. A move or merge
//    that fails leaves both files where and as they were (an archive of an
//    older version may have been upgraded in place, as every opening does)
//    and is tried again at the next start.
#pragma once

#include "archive.h"
#include "archiveserver.h"

#include <QString>

#include <functional>

// The name of the program's data and settings folders.
extern const char programName[];

QString programDataFolder();

// Sets the organisation and application name of the window's settings.
void useProgramSettingsNames();

// What moveEarlierFiles() did.
struct EarlierFiles
{
    enum class Done { Nothing, Moved, Merged, Failed };
    // Why a move or merge failed.
    enum class Refusal {
        None,
        EarlierUnusable, // the earlier archive cannot be used (archiveProblem says why)
        CurrentUnusable, // the current archive cannot be used (archiveProblem says why)
        InUse,           // another program has the earlier archive open
        NotWritten       // a file or folder could not be written (error says why)
    };

    Done archive = Done::Nothing;
    QString earlierArchive, currentArchive;
    QString archiveAside;     // merged: the earlier file's new name
    ArchiveSyncResult merged; // merged: what the current archive did not hold
    Refusal refusal = Refusal::None;
    Archive::Problem archiveProblem = Archive::Problem::None;
    QString error; // failed: the reason, in English

    Done settings = Done::Nothing;
    QString earlierSettings, currentSettings;
    QString settingsAside;
    QString settingsError;

    bool nothingDone() const { return archive == Done::Nothing && settings == Done::Nothing; }
    // One line, in English, for the command-line tool; empty when nothing was done.
    QString describe() const;
};

// `merging`, when given, is called before a merge begins (earlierArchive and
// currentArchive set): a large archive takes a while.
EarlierFiles moveEarlierFiles(bool withSettings,
                              const std::function<void(const EarlierFiles &)> &merging = {});
