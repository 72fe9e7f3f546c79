// History dumps: the file format both ways, damaged files, and the zone the
// records of a dump are decoded and shown in.
#include "historydump.h"
#include "historytable.h"
#include "historywords.h"
#include "pagerlink.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardItemModel>
#include <QtTest>

#include <ctime>

using namespace historywords;

namespace {

struct Records
{
    QList<HistoryRecord *> list;
    ~Records() { qDeleteAll(list); }
};

QByteArray pageBytes(const QStringList &words, bool withCrc = true)
{
    return page(words, withCrc).toUtf8();
}

QStringList endRecord()
{
    return record(0, '0', 0, 0, 0, 0);
}

void setZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

} // namespace

Q_DECLARE_METATYPE(HistoryDump)

class TstHistoryDump : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<HistoryDump>("dump");
        HistoryDump plain;
        plain.serialNumber = QStringLiteral("05A00317");
        plain.downloadedAt =
            QDateTime(QDate(2026, 12, 7), QTime(18, 5, 9), QTimeZone(QByteArray("Europe/Berlin")));
        plain.timeZoneId = "Europe/Berlin";
        plain.pages = {pageBytes(record(1, 'F', 1, 1, 1, 1)), pageBytes(endRecord())};
        QTest::newRow("plain") << plain;

        HistoryDump odd;
        odd.serialNumber = QStringLiteral("a b\n%20\r\xD0\xAF");
        odd.downloadedAt = QDateTime(QDate(1999, 1, 1), QTime(0, 0), Qt::OffsetFromUTC, -3 * 3600);
        odd.timeZoneId = "America/Sao_Paulo";
        // Empty pages, NULs, line feeds and what looks like a page header.
        odd.pages = {QByteArray(), QByteArray("\0\0\n", 3), QByteArray("\nPAGE 2 5\nxx\n"),
                     QByteArray(3000, '\xFF')};
        QTest::newRow("odd contents") << odd;

        QTest::newRow("nothing known, no page") << HistoryDump();
    }
    void roundTrip()
    {
        QFETCH(HistoryDump, dump);
        HistoryDump back;
        back.serialNumber = QStringLiteral("stale");
        QString error;
        QVERIFY2(readHistoryDump(historyDumpBytes(dump), &back, &error), qPrintable(error));
        QCOMPARE(back.serialNumber, dump.serialNumber);
        QCOMPARE(back.downloadedAt, dump.downloadedAt);
        QCOMPARE(back.downloadedAt.offsetFromUtc(), dump.downloadedAt.offsetFromUtc());
        QCOMPARE(back.timeZoneId, dump.timeZoneId);
        QCOMPARE(back.pages, dump.pages);

        // Saved all at once, the file holds the same bytes.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pages.dump"));
        QVERIFY2(saveHistoryDump(dump, path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), historyDumpBytes(dump));
        QVERIFY(!saveHistoryDump(dump, dir.filePath(QStringLiteral("no/such/dir/x")), &error));
        QVERIFY(!error.isEmpty());
    }

    // Dumps written before the header existed still open, in the local zone.
    void firstFormatStillReads()
    {
        const QByteArray page1 = pageBytes(record(1, 'F', 1, 1, 1, 1) + endRecord());
        const QByteArray bytes = "DR7326G-05A history dump 1\nPAGE 1 " +
                                 QByteArray::number(page1.size()) + "\n" + page1 + "\n";
        HistoryDump dump;
        QString error;
        QVERIFY2(readHistoryDump(bytes, &dump, &error), qPrintable(error));
        QVERIFY(dump.serialNumber.isEmpty());
        QVERIFY(!dump.downloadedAt.isValid());
        QVERIFY(dump.timeZoneId.isEmpty());
        QCOMPARE(dump.pages, QList<QByteArray>{page1});
        QCOMPARE(dump.timeZone(), QTimeZone::systemTimeZone());
        Records records;
        QVERIFY(decodeHistoryDump(dump, records.list));
        QCOMPARE(records.list.size(), 1);
        QCOMPARE(qint64(records.list.first()->time), deviceEpoch().toSecsSinceEpoch() + 60);
    }

    void damagedDumpsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("position");
        const QByteArray v1 = "DR7326G-05A history dump 1\n"; // 27 bytes
        const QByteArray v2 = "DR7326G-05A history dump 2\n";
        const QByteArray header = v2 + "serial 05A00317\ndownloaded \nzone UTC\n"; // 27 + 37
        QTest::newRow("foreign file") << QByteArray("hello\n") << 0;
        QTest::newRow("empty file") << QByteArray() << 0;
        QTest::newRow("later format") << QByteArray("DR7326G-05A history dump 3\n") << 0;
        // 47 bytes: a length near INT_MAX once read 2 GB before the buffer.
        QTest::newRow("PAGE 1 2147483647") << v1 + "PAGE 1 2147483647\n0123\n" << 27;
        QTest::newRow("length of eleven digits") << v1 + "PAGE 1 99999999999\nx\n" << 27;
        QTest::newRow("negative length") << v1 + "PAGE 1 -1\n\n" << 27;
        QTest::newRow("length with a sign") << v1 + "PAGE 1 +1\nx\n" << 27;
        QTest::newRow("length with a leading zero") << v1 + "PAGE 1 01\nx\n" << 27;
        QTest::newRow("length past the end") << v1 + "PAGE 1 5\nabc\n" << 27;
        QTest::newRow("page not closed by a line feed") << v1 + "PAGE 1 3\nabcX" << 27 + 9 + 3;
        QTest::newRow("page header without line feed") << v1 + "PAGE 1 3" << 27;
        QTest::newRow("pages out of order") << v1 + "PAGE 2 1\na\n" << 27;
        QTest::newRow("second page damaged") << v1 + "PAGE 1 1\na\nPAGE 2 1\nab\n"
                                             << 27 + 11 + 9 + 1;
        QTest::newRow("extra field") << v1 + "PAGE 1 1 1\na\n" << 27;
        QTest::newRow("no serial line") << v2 + "downloaded \nzone UTC\n" << 27;
        QTest::newRow("header cut short") << v2 + "serial 05A00317\ndownloaded \nzone" << 27 + 28;
        QTest::newRow("unreadable download time")
            << v2 + "serial 1\ndownloaded yesterday\nzone UTC\n"
            << 27 + 9;
        QTest::newRow("page after a good header") << header + "PAGE 1 9\nx\n" << 27 + 37;
    }
    void damagedDumpsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, position);
        HistoryDump dump;
        dump.serialNumber = QStringLiteral("kept");
        QString error;
        QVERIFY(!readHistoryDump(bytes, &dump, &error));
        QVERIFY2(error.endsWith(QStringLiteral("at byte %1").arg(position)), qPrintable(error));
        QCOMPARE(dump.serialNumber, QStringLiteral("kept"));
    }

    // Whether a dump holds the whole history, as a download would say.
    void completeness_data()
    {
        QTest::addColumn<QList<QByteArray>>("pages");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<int>("rows");
        const QByteArray p1 = pageBytes(record(1, 'F', 1, 1, 1, 1) + record(2, 'A', 1, 1, 1, 1));
        const QByteArray end = pageBytes(record(3, 'N', 1, 1, 1, 1) + endRecord());
        QStringList bad = record(5, 'F', 1, 1, 1, 1);
        bad[3] = QStringLiteral("XYZ");
        QTest::newRow("end on page 2") << QList<QByteArray>{p1, end} << true << 3;
        QTest::newRow("no end") << QList<QByteArray>{p1} << false << 2;
        QTest::newRow("the same page twice") << QList<QByteArray>{p1, p1, end} << true << 3;
        QTest::newRow("a damaged page before the end")
            << QList<QByteArray>{p1, pageBytes(bad), end} << false << 3;
        QTest::newRow("a reply that is no page")
            << QList<QByteArray>{p1, QByteArray("ERROR\n\r"), end} << false << 3;
        QTest::newRow("cut after the end record")
            << QList<QByteArray>{p1,
                                 pageBytes(record(3, 'N', 1, 1, 1, 1) + endRecord() + bad, false)}
            << true << 3;
        QTest::newRow("pages after the end are not read")
            << QList<QByteArray>{end, p1} << true << 1;
    }
    void completeness()
    {
        QFETCH(QList<QByteArray>, pages);
        QFETCH(bool, complete);
        QFETCH(int, rows);
        HistoryDump dump;
        dump.pages = pages;
        Records records;
        QCOMPARE(decodeHistoryDump(dump, records.list), complete);
        QCOMPARE(records.list.size(), rows);
    }

    // A dump made under one zone shows that zone's wall clock under any other.
    void wallClockOfTheDownloadZone_data()
    {
        QTest::addColumn<QByteArray>("made");
        QTest::addColumn<QByteArray>("opened");
        QTest::newRow("Tokyo, opened in Berlin")
            << QByteArray("Asia/Tokyo") << QByteArray("Europe/Berlin");
        QTest::newRow("Sao Paulo, opened in Tokyo")
            << QByteArray("America/Sao_Paulo") << QByteArray("Asia/Tokyo");
        QTest::newRow("Berlin, opened in New York")
            << QByteArray("Europe/Berlin") << QByteArray("America/New_York");
    }
    void wallClockOfTheDownloadZone()
    {
        QFETCH(QByteArray, made);
        QFETCH(QByteArray, opened);
        if (!QFileInfo::exists(QStringLiteral("/usr/share/zoneinfo/") + QString::fromLatin1(made)))
            QSKIP("no time zone data");
        const QByteArray oldZone = qgetenv("TZ");

        // 1 minute, 66976 minutes (1999-02-16 12:16) and 30 days.
        setZone(made.constData());
        HistoryDump dump;
        dump.timeZoneId = QTimeZone::systemTimeZoneId();
        dump.downloadedAt = QDateTime::currentDateTime();
        QCOMPARE(dump.timeZoneId, made);
        dump.pages = {pageBytes(record(1, 'F', 1, 1, 1, 1) + record(66976, 'F', 1, 1, 1, 1) +
                                record(43200, 'F', 1, 1, 1, 1) + endRecord())};
        const QByteArray bytes = historyDumpBytes(dump);
        Records local;
        QVERIFY(decodeHistoryDump(dump, local.list));
        QStandardItemModel shownThere;
        setupHistoryModel(&shownThere);
        fillHistoryTable(&shownThere, local.list);

        setZone(opened.constData());
        HistoryDump reopened;
        QVERIFY(readHistoryDump(bytes, &reopened, nullptr));
        Records records;
        QVERIFY(decodeHistoryDump(reopened, records.list));
        QStandardItemModel shownHere;
        setupHistoryModel(&shownHere);
        fillHistoryTable(&shownHere, records.list, reopened.timeZone());

        const QStringList walls{"1999-01-01 00:01", "1999-02-16 12:16", "1999-01-31 00:00"};
        const QTimeZone zone(made);
        QCOMPARE(records.list.size(), walls.size());
        for (int i = 0; i < walls.size(); ++i) {
            const QDateTime when = QDateTime::fromSecsSinceEpoch(records.list.at(i)->time, zone);
            QCOMPARE(when.toString(QStringLiteral("yyyy-MM-dd HH:mm")), walls.at(i));
            QCOMPARE(records.list.at(i)->time, local.list.at(i)->time);
            QCOMPARE(shownHere.item(i, 0)->text(), shownThere.item(i, 0)->text());
        }
        setZone(oldZone.constData());
    }

    // A zone this PC does not know falls back to the offset of the download.
    void unknownZoneUsesTheDownloadOffset()
    {
        HistoryDump dump;
        dump.timeZoneId = "Mars/Olympus_Mons";
        dump.downloadedAt = QDateTime(QDate(2026, 1, 2), QTime(3, 4), Qt::OffsetFromUTC, 5 * 3600);
        QCOMPARE(dump.timeZone().offsetFromUtc(dump.downloadedAt), 5 * 3600);
        dump.timeZoneId = "../../etc/passwd";
        QCOMPARE(dump.timeZone().offsetFromUtc(dump.downloadedAt), 5 * 3600);
        dump.timeZoneId.clear();
        QCOMPARE(dump.timeZone(), QTimeZone::systemTimeZone());
    }
};

int main(int argc, char **argv)
{
    setZone("UTC");
    QGuiApplication app(argc, argv);
    TstHistoryDump test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_historydump.moc"
