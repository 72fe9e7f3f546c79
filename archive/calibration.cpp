#include "calibration.h"

CalibrationState calibrationState(const QString &serialNumber,
                                  const QList<Calibration> &calibrations, const QDate &today,
                                  int warningDays)
{
    CalibrationState state;
    state.serialNumber = serialNumber;
    for (const Calibration &c : calibrations) {
        state.lastDate = c.date;
        state.lastPassed = c.passed;
        state.lastCertificate = c.certificate;
        if (c.passed) {
            state.lastPassedDate = c.date;
            state.due = c.date.addMonths(c.intervalMonths);
        }
    }
    if (!state.due.isValid())
        state.status = CalibrationStatus::Never;
    else if (!state.lastPassed)
        state.status = CalibrationStatus::Failed;
    else if (today >= state.due)
        state.status = CalibrationStatus::Overdue;
    else if (today.daysTo(state.due) <= warningDays)
        state.status = CalibrationStatus::DueSoon;
    else
        state.status = CalibrationStatus::Current;
    return state;
}

QString calibrationStatusName(CalibrationStatus status)
{
    switch (status) {
    case CalibrationStatus::Current:
        return QStringLiteral("current");
    case CalibrationStatus::DueSoon:
        return QStringLiteral("due");
    case CalibrationStatus::Overdue:
        return QStringLiteral("overdue");
    case CalibrationStatus::Failed:
        return QStringLiteral("failed");
    case CalibrationStatus::Never:
        break;
    }
    return QStringLiteral("never");
}

QString calibrationStatusText(const CalibrationState &state)
{
    const QString due = state.due.toString(QStringLiteral("dd.MM.yyyy"));
    switch (state.status) {
    case CalibrationStatus::Current:
        return QStringLiteral("Поверка до %1").arg(due);
    case CalibrationStatus::DueSoon:
        return QStringLiteral("Поверка истекает %1").arg(due);
    case CalibrationStatus::Overdue:
        return QStringLiteral("Поверка просрочена с %1").arg(due);
    case CalibrationStatus::Failed:
        return QStringLiteral("Последняя поверка %1 не пройдена")
            .arg(state.lastDate.toString(QStringLiteral("dd.MM.yyyy")));
    case CalibrationStatus::Never:
        break;
    }
    return QStringLiteral("Поверок нет");
}

QVariant clockDrift(const QList<ClockOffset> &offsets)
{
    int first = 0;
    for (int i = 0; i < offsets.size(); ++i)
        if (offsets.at(i).clockSet)
            first = i;
    const int n = offsets.size() - first;
    if (n < 2 || offsets.at(first).at.secsTo(offsets.last().at) < 3600)
        return QVariant();
    // Days since the first offset against seconds: the slope.
    const qint64 t0 = offsets.at(first).at.toSecsSinceEpoch();
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int i = first; i < offsets.size(); ++i) {
        const double x = double(offsets.at(i).at.toSecsSinceEpoch() - t0) / 86400.0;
        const double y = double(offsets.at(i).seconds);
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double d = n * sxx - sx * sx;
    return d > 0 ? QVariant((n * sxy - sx * sy) / d) : QVariant();
}
