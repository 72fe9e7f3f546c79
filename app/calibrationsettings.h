// The calibration dates earlier versions kept in this PC's settings
// (calibration/<serial number>), made calibrations of the archive once.
#pragma once

#include <QString>

class Archive;
class QSettings;

// The settings key under which a pager's date was kept.
QString keptCalibrationKey(const QString &serialNumber);

// Once per PC (marked in the settings when every date went in): each kept
// date becomes a passed calibration of 12 months, unless the archive holds
// a calibration of that pager on that day already. The settings' dates stay.
// How many were added; -1, with the reason, when one could not be stored
// (the next start tries again).
int migrateKeptCalibrationDates(Archive &archive, QSettings &settings, QString *error);
