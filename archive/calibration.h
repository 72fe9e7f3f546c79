// A pager's calibrations and what follows from them: the next due date (from
// the last passed calibration plus its interval) and the due status on a
// day. Also the pager's clock offsets and the drift read from them.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

// One calibration as the archive keeps it. Only ever appended: a correction
// is a new calibration.
struct Calibration
{
    qint64 id = 0; // in this archive
    QString serialNumber;
    QDate date;
    QString certificate;
    bool passed = true;
    QString note; // why it failed, or a remark
    int intervalMonths = 12;
    QDateTime enteredAt;
    QString osUser;
    QString pc;
    QString uid;
};

// What a pager's calibrations say on a day. Never: no passed calibration.
// Failed: the last calibration (by date) failed. Overdue: on or after the due
// date. DueSoon: the due date lies within the warning days.
enum class CalibrationStatus { Current, DueSoon, Overdue, Failed, Never };

struct CalibrationState
{
    QString serialNumber;
    QDate lastDate; // the last calibration's date, passed or not; invalid: none
    bool lastPassed = false;
    QString lastCertificate;
    QDate lastPassedDate; // the last passed calibration's date; invalid: none passed
    QDate due;            // the last passed calibration plus its interval; invalid: none passed
    CalibrationStatus status = CalibrationStatus::Never;
    // Whether a pager in this state must be calibrated (anything but Current).
    bool needsCalibration() const { return status != CalibrationStatus::Current; }
    // The due date when `day` is on or after it (a download then made is
    // marked with it); invalid otherwise.
    QDate overdueOn(const QDate &day) const { return due.isValid() && day >= due ? due : QDate(); }
};

constexpr int calibrationWarningDays = 30;

// The state after `calibrations` (one pager's, in the archive's order: by
// date, then entry) on `today`, warning `warningDays` before the due date.
CalibrationState calibrationState(const QString &serialNumber,
                                  const QList<Calibration> &calibrations, const QDate &today,
                                  int warningDays = calibrationWarningDays);
// "due", "overdue", ... for the command line; Russian words for the window.
QString calibrationStatusName(CalibrationStatus status);
QString calibrationStatusText(const CalibrationState &state);

// One contact's clock offset: the pager's clock minus the PC's, in seconds.
struct ClockOffset
{
    QDateTime at;
    qint64 seconds = 0;
    QString kind;          // "read", "download", "change"
    bool clockSet = false; // the contact set the pager's clock (the offset read back after)
};

// The drift in seconds per day, by least squares over the offsets from the
// last time the clock was set on; null when they span less than an hour or
// are fewer than two.
QVariant clockDrift(const QList<ClockOffset> &offsets);
