// The window's file dialogs: they start in the folder used last (kept between
// runs), a save dialog offers a name and adds the suffix when the user types
// none. Each returns the chosen file, or an empty string when cancelled.
// A save dialog tells the filter chosen in *selectedFilter when asked.
#pragma once

#include <QString>

class QWidget;

QString askSaveFileName(QWidget *parent, const QString &title, const QString &filter,
                        const QString &offeredName, const QString &suffix,
                        QString *selectedFilter = nullptr);

// The filters of the dialogs that save the history's records as CSV: the
// table's file (the first, the default), the file for programs
// (recordexport.h), any file (the table's).
QString historyCsvFilters();
// Whether the filter chosen is that of the file for programs.
bool isMachineCsvFilter(const QString &filter);

QString askOpenFileName(QWidget *parent, const QString &title, const QString &filter);
