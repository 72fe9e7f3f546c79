// Record times in a zone with daylight saving time (Central European Time):
// the stored minutes are elapsed time from 1999-01-01 00:00 local time.
#include "historypage.h"
#include "historytable.h"
#include "historytablemodel.h"
#include "historywords.h"
#include "pagerlink.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QtTest>

#include <ctime>

using namespace historywords;

class TstHistoryLocalTime : public QObject
{
    Q_OBJECT
private:
    struct Case
    {
        std::uint32_t minutes;
        qint64 posix;
        const char *wall;
    };

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin")))
            QSKIP("no time zone data");
        // 1999-01-01 00:00 CET is 1998-12-31 23:00 UTC.
        QCOMPARE(deviceEpoch().toSecsSinceEpoch(), qint64(915145200));
    }

    void times_data()
    {
        QTest::addColumn<uint>("minutes");
        QTest::addColumn<qint64>("posix");
        QTest::addColumn<QString>("wall");
        QTest::newRow("one minute") << 1u << qint64(915145260) << "1999-01-01 00:01";
        QTest::newRow("winter") << 66976u << qint64(919163760) << "1999-02-16 12:16";
        // 181 days of minutes land one hour later on the summer wall clock.
        QTest::newRow("summer") << 181u * 1440 << qint64(930783600) << "1999-07-01 01:00";
        QTest::newRow("summer midnight")
            << 181u * 1440 - 60 << qint64(930780000) << "1999-07-01 00:00";
        QTest::newRow("largest") << 0xFFFFFFu << qint64(1921778100) << "2030-11-24 20:15";
    }
    void times()
    {
        QFETCH(uint, minutes);
        QFETCH(qint64, posix);
        QFETCH(QString, wall);
        QList<HistoryRecord *> records;
        QVERIFY(parseHistoryPageText(page(record(minutes, 'F', 1, 1.0f, 1.0f, 1.0f)), records));
        QCOMPARE(records.size(), 1);
        const HistoryRecord r = *records.first();
        qDeleteAll(records);

        QCOMPARE(qint64(r.time), posix);
        const QDateTime shown = QDateTime::fromSecsSinceEpoch(r.time);
        QCOMPARE(shown.toString(QStringLiteral("yyyy-MM-dd HH:mm")), wall);
        const QDateTime wallClock = QDateTime::fromString(wall, QStringLiteral("yyyy-MM-dd HH:mm"));
        QCOMPARE(historyRowTexts(r).at(0),
                 QLocale::system().toString(wallClock, QLocale::ShortFormat));
    }

    // The table converts times its own way for speed; its date texts must be
    // those of a plain local conversion, on both sides of each change of the
    // offset and inside the repeated autumn hour.
    void tableDatesAcrossOffsetChanges()
    {
        const QList<qint64> instants{
            915145260,  // 1999-01-01 00:01 CET
            922582740,  // 1999-03-28 01:59 CET, before spring forward
            922582800,  // 1999-03-28 03:00 CEST
            941329500,  // 1999-10-31 02:25 CEST
            941329800,  // 1999-10-31 02:30 CEST, repeated hour
            941333400,  // 1999-10-31 02:30 CET, repeated hour
            1921778100, // 2030-11-24 20:15 CET
        };
        const QStringList walls{"1999-01-01 00:01", "1999-03-28 01:59", "1999-03-28 03:00",
                                "1999-10-31 02:25", "1999-10-31 02:30", "1999-10-31 02:30",
                                "2030-11-24 20:15"};
        QList<HistoryRecord *> records;
        for (qint64 t : instants) {
            auto *r = new HistoryRecord;
            r->time = std::uint32_t(t);
            r->eventCode = 'F';
            records << r;
        }
        HistoryTableModel model;
        model.setRecords(records);
        for (int i = 0; i < records.size(); ++i) {
            const QDateTime local = QDateTime::fromSecsSinceEpoch(records.at(i)->time);
            QCOMPARE(local.toString(QStringLiteral("yyyy-MM-dd HH:mm")), walls.at(i));
            QCOMPARE(model.index(i, 0).data().toString(), historyRowTexts(*records.at(i)).at(0));
            QCOMPARE(model.index(i, 0).data().toString(),
                     QLocale::system().toString(local, QLocale::ShortFormat));
        }
        qDeleteAll(records);
    }

    // A change of the zone while the program runs applies to the next page.
    void zoneChangeIsSeen()
    {
        const QString reply = page(record(1, 'F', 1, 1.0f, 1.0f, 1.0f));
        QList<HistoryRecord *> records;
        QVERIFY(parseHistoryPageText(reply, records));
        qputenv("TZ", "America/New_York");
        tzset();
        QVERIFY(parseHistoryPageText(reply, records));
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QCOMPARE(records.size(), 2);
        QCOMPARE(qint64(records.at(0)->time), qint64(915145260));
        // 1999-01-01 00:00 EST is 05:00 UTC.
        QCOMPARE(qint64(records.at(1)->time), qint64(915166800 + 60));
        qDeleteAll(records);
    }
};

int main(int argc, char **argv)
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QGuiApplication app(argc, argv);
    TstHistoryLocalTime test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_historylocaltime.moc"
