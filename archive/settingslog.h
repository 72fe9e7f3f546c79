// The settings log as a table, for the archive window, the command-line
// tool and the files made of it: eight columns "Время", "Пользователь", "ПК"
// (the host name the read or change was made on, empty when the archive did
// not keep it), "Серийный номер", "Параметр", "Было", "Значение", "Итог",
// local times, Russian names of the settings and outcomes.
#pragma once

#include "archive.h"

#include <QIODevice>
#include <QString>

class QStandardItemModel;

// Russian names, for the table; unknown names are shown as they are.
QString settingTitle(const QString &settingName);
QString settingOutcomeTitle(const QString &outcomeName);

constexpr int settingsLogSerialColumn = 3;

// Fills `model` (any rows it had are removed) with one row per entry.
void fillSettingsLogModel(QStandardItemModel *model, const QList<SettingsLogEntry> &log);

// The log as a semicolon-separated UTF-8 file with a byte-order mark: the
// header line, then one line per row, every field quoted (a quote doubled).
bool writeSettingsLogCsv(const QStandardItemModel *model, QIODevice *out, QString *error);
bool saveSettingsLogCsv(const QStandardItemModel *model, const QString &fileName, QString *error);
