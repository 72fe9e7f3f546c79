// The device clock in a zone with daylight saving time (Central European
// Time): the pager counts elapsed minutes from 1999-01-01 00:00 local time,
// so a clock set and read back keeps the instant across both changes.
#include "pagerlink.h"
#include "support/fakepager.h"

#include <QFileInfo>
#include <QtTest>

#include <ctime>

class TstClockLocalTime : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin")))
            QSKIP("no time zone data");
        // 1999-01-01 00:00 CET is 1998-12-31 23:00 UTC.
        QCOMPARE(deviceEpoch().toSecsSinceEpoch(), qint64(915145200));
    }

    void setAndReadBack_data()
    {
        QTest::addColumn<QDateTime>("wall");
        QTest::addColumn<QString>("sent");
        const auto at = [](int y, int mo, int d, int h, int mi) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi));
        };
        QTest::newRow("winter") << at(2024, 1, 15, 12, 0) << "C8F370";
        // An hour of summer time less than the calendar minutes since 1999.
        QTest::newRow("summer") << at(2024, 5, 1, 12, 30) << "CB4D32";
        QTest::newRow("last winter minute in March") << at(2024, 3, 31, 1, 59) << "CA9C97";
        QTest::newRow("first summer minute") << at(2024, 3, 31, 3, 0) << "CA9C98";
        QTest::newRow("last summer minute in October") << at(2024, 10, 27, 1, 59) << "CF399B";
        QTest::newRow("after the October change") << at(2024, 10, 27, 3, 0) << "CF3A14";
    }
    void setAndReadBack()
    {
        QFETCH(QDateTime, wall);
        QFETCH(QString, sent);
        FakePager pager;
        pager.plugIn();
        PagerLink link;
        QCOMPARE(link.connect(), pager.serial);
        QCOMPARE(link.setDeviceTimeConfirmed(wall), PagerLink::ClockSetOutcome::Confirmed);
        QCOMPARE(pager.values.value(0), sent);
        bool ok = false;
        const QDateTime read = link.readDeviceTime(&ok);
        QVERIFY(ok);
        QCOMPARE(read.toSecsSinceEpoch(), wall.toSecsSinceEpoch());
        QCOMPARE(read.toString(Qt::ISODate), wall.toString(Qt::ISODate));
    }
};

int main(int argc, char **argv)
{
    // Before any date is made: the zone is read once.
    qputenv("TZ", "Europe/Berlin");
    tzset();
    TstClockLocalTime test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_clocklocaltime.moc"
