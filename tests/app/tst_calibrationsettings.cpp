// The calibration dates earlier versions kept per pager in this PC's
// settings become calibrations of the archive once: none lost, none twice,
// the settings' dates left where they were.
#include "archive.h"
#include "calibrationsettings.h"
#include "support/testsettings.h"

#include <QtTest>

class TestCalibrationSettings : public QObject
{
    Q_OBJECT

private slots:
    void migration_data();
    void migration();

private:
    QTemporaryDir dir;
};

void TestCalibrationSettings::migration_data()
{
    // Kept dates ("SN yyyy-MM-dd"), calibrations the archive holds before,
    // whether this PC migrated already; the calibrations after.
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QStringList>("held");
    QTest::addColumn<bool>("migratedBefore");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("two pagers") << QStringList{"05A00317 2025-01-10", "05A00318 2024-06-01"}
                                << QStringList() << false
                                << QStringList{"05A00317 2025-01-10", "05A00318 2024-06-01"};
    QTest::newRow("the day is held already")
        << QStringList{"05A00317 2025-01-10"} << QStringList{"05A00317 2025-01-10"} << false
        << QStringList{"05A00317 2025-01-10"};
    QTest::newRow("another day is held")
        << QStringList{"05A00317 2025-01-10"} << QStringList{"05A00317 2025-11-01"} << false
        << QStringList{"05A00317 2025-01-10", "05A00317 2025-11-01"};
    QTest::newRow("done before on this PC")
        << QStringList{"05A00317 2025-01-10"} << QStringList() << true << QStringList();
    QTest::newRow("a key naming no pager")
        << QStringList{"05A\x01 2025-01-10"} << QStringList() << false << QStringList();
}

void TestCalibrationSettings::migration()
{
    QFETCH(QStringList, kept);
    QFETCH(QStringList, held);
    QFETCH(bool, migratedBefore);
    QFETCH(QStringList, after);
    QSettings settings;
    settings.clear();
    Archive archive;
    QVERIFY(archive.open(dir.filePath(QString("%1.sqlite").arg(QTest::currentDataTag())), nullptr));
    for (const QString &line : kept)
        settings.setValue(keptCalibrationKey(line.section(' ', 0, 0)),
                          QDate::fromString(line.section(' ', 1), Qt::ISODate));
    for (const QString &line : held) {
        Calibration c;
        c.serialNumber = line.section(' ', 0, 0);
        c.date = QDate::fromString(line.section(' ', 1), Qt::ISODate);
        QVERIFY(archive.storeCalibration(c, nullptr));
    }
    if (migratedBefore) // the mark an earlier start left
        settings.setValue("archive/calibrationDatesMigrated", true);
    // A second start adds nothing.
    for (int start = 0; start < 2; ++start) {
        QString error;
        QVERIFY2(migrateKeptCalibrationDates(archive, settings, &error) >= 0, qPrintable(error));
    }
    QStringList calibrations;
    for (const Calibration &c : archive.calibrations(QString()))
        calibrations << c.serialNumber + ' ' + c.date.toString(Qt::ISODate);
    QCOMPARE(calibrations, after);
    for (const QString &line : kept) // the settings keep their dates
        QVERIFY(settings.value(keptCalibrationKey(line.section(' ', 0, 0))).toDate().isValid());
}

QTEST_GUILESS_MAIN(TestCalibrationSettings)
#include "tst_calibrationsettings.moc"
