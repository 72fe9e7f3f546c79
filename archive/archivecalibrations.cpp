// The archive's calibrations and clock offsets.
#include "archive.h"
#include "archivesql.h"

#include <QSqlQuery>
#include <QUuid>

#include <map>

namespace {

void setCalibrationError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// Text as bound: empty, never NULL (the columns refuse it).
QString notNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// A row of select_calibrations / select_pager_calibrations.
Calibration calibrationOf(const QSqlQuery &query)
{
    Calibration c;
    c.id = query.value(0).toLongLong();
    c.serialNumber = query.value(1).toString();
    c.date = QDate::fromString(query.value(2).toString(), Qt::ISODate);
    c.certificate = query.value(3).toString();
    c.passed = query.value(4).toInt() != 0;
    c.note = query.value(5).toString();
    c.intervalMonths = query.value(6).toInt();
    c.enteredAt = QDateTime::fromSecsSinceEpoch(query.value(7).toLongLong());
    c.osUser = query.value(8).toString();
    c.pc = query.value(9).toString();
    c.uid = query.value(10).toString();
    return c;
}

} // namespace

bool Archive::storeCalibration(Calibration c, QString *error)
{
    if (!isOpen()) {
        setCalibrationError(error, QStringLiteral("no archive"));
        return false;
    }
    if (!c.date.isValid()) {
        setCalibrationError(error, QStringLiteral("no valid calibration date"));
        return false;
    }
    if (c.intervalMonths < 1 || c.intervalMonths > 240) {
        setCalibrationError(
            error,
            QStringLiteral("the interval must be 1 to 240 months, not %1").arg(c.intervalMonths));
        return false;
    }
    if (!c.enteredAt.isValid())
        c.enteredAt = QDateTime::currentDateTime();
    if (c.osUser.isEmpty())
        c.osUser = operatingSystemUser();
    if (c.pc.isEmpty())
        c.pc = archivePcName();
    if (c.uid.isEmpty())
        c.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!beginWrite(error))
        return false;
    QSqlQuery query(db);
    const qint64 pager = pagerId(c.serialNumber, true, error);
    if (pager &&
        runArchiveQuery(query, engine, QStringLiteral("insert_calibration"),
                        {pager, c.date.toString(Qt::ISODate), notNull(c.certificate),
                         c.passed ? 1 : 0, notNull(c.note), c.intervalMonths,
                         c.enteredAt.toSecsSinceEpoch(), c.osUser, c.pc, c.uid},
                        error) &&
        linkEvent(ChainedEvent::Calibration, archiveInsertedId(query), error) && commit(error))
        return true;
    rollback();
    return false;
}

bool Archive::pagerCalibrations(qint64 pager, QList<Calibration> *list, QString *error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_pager_calibrations"), {pager},
                         error))
        return false;
    while (query.next())
        *list << calibrationOf(query);
    return true;
}

QList<Calibration> Archive::calibrations(const QString &serialNumber, QString *error)
{
    QList<Calibration> list;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!isOpen() || !runArchiveQuery(query, engine, QStringLiteral("select_calibrations"),
                                      {notNull(serialNumber), notNull(serialNumber)}, error))
        return list;
    while (query.next())
        list << calibrationOf(query);
    return list;
}

QList<CalibrationState> Archive::calibrationStates(const QDate &today, QString *error,
                                                   int warningDays)
{
    QList<CalibrationState> states;
    if (!isOpen())
        return states;
    std::map<QString, QList<Calibration>> bySerial;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!runArchiveQuery(query, engine, QStringLiteral("select_pager_serials"), {}, error))
        return states;
    while (query.next())
        bySerial[query.value(0).toString()];
    query.finish();
    for (const Calibration &c : calibrations(QString(), error))
        bySerial[c.serialNumber] << c;
    for (const auto &pager : bySerial)
        states << calibrationState(pager.first, pager.second, today, warningDays);
    return states;
}

CalibrationState Archive::calibrationStateOf(const QString &serialNumber, const QDate &today,
                                             QString *error)
{
    return calibrationState(
        serialNumber,
        serialNumber.isEmpty() ? QList<Calibration>() : calibrations(serialNumber, error), today);
}

QList<ClockOffset> Archive::clockOffsets(const QString &serialNumber, QString *error)
{
    QList<ClockOffset> list;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!isOpen() || !runArchiveQuery(query, engine, QStringLiteral("select_clock_offsets"),
                                      {serialNumber, serialNumber, serialNumber}, error))
        return list;
    while (query.next())
        list << ClockOffset{QDateTime::fromSecsSinceEpoch(query.value(0).toLongLong()),
                            query.value(1).toLongLong(), query.value(2).toString(),
                            query.value(3).toInt() != 0};
    return list;
}
