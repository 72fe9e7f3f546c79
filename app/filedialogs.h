// The window's file dialogs: they start in the folder used last (kept between
// runs), a save dialog offers a name and adds the suffix when the user types
// none. Each returns the chosen file, or an empty string when cancelled.
#pragma once

#include <QString>

class QWidget;

QString askSaveFileName(QWidget *parent, const QString &title, const QString &filter,
                        const QString &offeredName, const QString &suffix);

QString askOpenFileName(QWidget *parent, const QString &title, const QString &filter);
