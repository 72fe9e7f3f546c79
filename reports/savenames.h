// The names offered for the files the program saves, the suffix a typed name
// gets, and the folder the file dialogs start in (the one used last, kept
// between runs in the program's settings). Qt Core only: the window and the
// plot window call it alike.
#pragma once

#include <QDate>
#include <QString>

enum class SavedFile { History, Journal, Dump, Plot, SettingsLogCsv, SettingsLogPdf };

// "csv", "pdf", "dump", "png" ("csv" or "pdf" for the settings log).
QString savedFileSuffix(SavedFile kind);

// «История_<SN>_<ГГГГ-ММ-ДД>.csv», «Журнал_…pdf», «Дамп_…dump», «График_…png»,
// «Журнал_настроек_…csv» or «…pdf».
// Without a serial number the name has no SN part; characters that a file
// name cannot hold on every system (separators, ':', '*', ...) become '_'.
QString suggestedFileName(SavedFile kind, const QString &serialNumber, const QDate &date);
// The same for the files of a period: both of its days in the name,
// «История_<SN>_<с ГГГГ-ММ-ДД>_<по ГГГГ-ММ-ДД>.csv»; an invalid `from` gives
// the one-day name of `to`.
QString suggestedFileName(SavedFile kind, const QString &serialNumber, const QDate &from,
                          const QDate &to);

// `fileName` with ".suffix" appended when its last path component has no
// suffix of its own ("live" → "live.csv", "live." → "live.csv"; "live.txt"
// and "a.b/live.csv" stay as they are).
QString withDefaultSuffix(const QString &fileName, const QString &suffix);

// The folder of the file last chosen in a file dialog; before the first
// choice, or when that folder is gone, the user's documents folder when it
// exists, else the home folder.
QString lastUsedFolder();
// Remembers the folder of `fileName` for the next file dialog.
void rememberUsedFolder(const QString &fileName);
