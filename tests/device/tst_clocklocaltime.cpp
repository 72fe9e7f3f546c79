// The device clock across both daylight saving changes of Central European Time.
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
    }

    void setAndReadBack_data()
    {
        QTest::addColumn<QDateTime>("wall");
        QTest::addColumn<QString>("sent");
        const auto at = [](int y, int mo, int d, int h, int mi) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi));
        };
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
        const QDateTime read = link.readDeviceTime();
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
