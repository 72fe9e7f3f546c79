#include "calibrationsettings.h"

#include "archive.h"
#include "serialnumber.h"

#include <QSettings>

namespace {

const QString migratedKey = QStringLiteral("archive/calibrationDatesMigrated");

} // namespace

QString keptCalibrationKey(const QString &serialNumber)
{
    return QStringLiteral("calibration/") + serialNumber;
}

int migrateKeptCalibrationDates(Archive &archive, QSettings &settings, QString *error)
{
    if (settings.value(migratedKey).toBool() || !archive.isOpen() || archive.isReadOnly())
        return 0;
    settings.beginGroup(QStringLiteral("calibration"));
    const QStringList serials = settings.childKeys();
    settings.endGroup();
    int added = 0;
    for (const QString &serial : serials) {
        const QDate date = settings.value(keptCalibrationKey(serial)).toDate();
        // A key that names no pager is left as it is.
        if (!date.isValid() || !isSerialNumber(serial))
            continue;
        bool held = false;
        for (const Calibration &c : archive.calibrations(serial))
            held = held || c.date == date;
        if (held)
            continue;
        Calibration c;
        c.serialNumber = serial;
        c.date = date;
        c.note = QStringLiteral("дата поверки из настроек этого ПК");
        if (!archive.storeCalibration(c, error))
            return -1;
        ++added;
    }
    settings.setValue(migratedKey, true);
    return added;
}
