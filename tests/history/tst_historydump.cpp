// History dumps: the file both ways, damaged files refused, the zone records are shown in.
#include "historydump.h"
#include "historytable.h"
#include "historytablemodel.h"
#include "historywords.h"
#include "pagerlink.h"

#include <QtTest>

#include <ctime>

using namespace historywords;

Q_DECLARE_METATYPE(HistoryDump)

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

const QStringList endRecord = record(0, '0', 0, 0, 0, 0);

void setZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

} // namespace

class TstHistoryDump : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setZone("UTC"); }

    void roundTrip_data()
    {
        QTest::addColumn<HistoryDump>("dump");
        HistoryDump plain;
        plain.serialNumber = QStringLiteral("05A00317");
        plain.downloadedAt =
            QDateTime(QDate(2026, 12, 7), QTime(18, 5, 9), Qt::OffsetFromUTC, 3600);
        plain.timeZoneId = "Europe/Berlin";
        plain.pages = {pageBytes(record(1, 'F', 1, 1, 1, 1)), pageBytes(endRecord)};
        QTest::newRow("plain") << plain;
        HistoryDump odd;
        odd.serialNumber = QStringLiteral("a%20b%0A#+%");
        odd.timeZoneId = "America/Sao_Paulo";
        // Empty pages, NULs, line feeds and what looks like a page header.
        odd.pages = {QByteArray(), QByteArray("\0\0\n", 3), QByteArray("\nPAGE 2 5\nxx\n"),
                     QByteArray(3000, '\xFF')};
        QTest::newRow("odd contents, no time") << odd;
    }
    void roundTrip()
    {
        QFETCH(HistoryDump, dump);
        HistoryDump back;
        QString error;
        QVERIFY2(readHistoryDump(historyDumpBytes(dump), &back, &error), qPrintable(error));
        QCOMPARE(back.serialNumber, dump.serialNumber);
        QCOMPARE(back.downloadedAt, dump.downloadedAt);
        QCOMPARE(back.downloadedAt.offsetFromUtc(), dump.downloadedAt.offsetFromUtc());
        QCOMPARE(back.timeZoneId, dump.timeZoneId);
        QCOMPARE(back.pages, dump.pages);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pages.dump"));
        QVERIFY2(saveHistoryDump(dump, path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), historyDumpBytes(dump));
        QVERIFY(!saveHistoryDump(dump, dir.filePath(QStringLiteral("no/such/dir")), &error));
    }

    void damagedDumpsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("position");
        const QByteArray v1 = "DR7326G-05A history dump 1\n"; // 27 bytes
        const QByteArray v2 = "DR7326G-05A history dump 2\n";
        QTest::newRow("foreign file") << QByteArray("hello\n") << 0;
        // 47 bytes: a length near INT_MAX once read 2 GB before the buffer.
        QTest::newRow("PAGE 1 2147483647") << v1 + "PAGE 1 2147483647\nab" << 27;
        QTest::newRow("eleven digits") << v1 + "PAGE 1 99999999999\nx\n" << 27;
        QTest::newRow("negative length") << v1 + "PAGE 1 -1\n\n" << 27;
        QTest::newRow("length past the end") << v1 + "PAGE 1 5\nabc\n" << 27;
        QTest::newRow("no line feed after the page") << v1 + "PAGE 1 3\nabcX" << 27 + 9 + 3;
        QTest::newRow("pages out of order") << v1 + "PAGE 2 1\na\n" << 27;
        QTest::newRow("second page damaged") << v1 + "PAGE 1 1\na\nPAGE 2 1\nab\n" << 48;
        QTest::newRow("header cut short") << v2 + "serial 05A00317\ndownloaded \nzone" << 27 + 28;
        QTest::newRow("unreadable download time")
            << v2 + "serial 1\ndownloaded yesterday\nzone UTC\n"
            << 27 + 9;
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

    // The records of a dump file, one written before the header existed among them: that one
    // carries no serial number or zone and is shown in the local zone.
    void completeness_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<int>("rows");
        const QByteArray p1 = pageBytes(record(1, 'F', 1, 1, 1, 1) + record(2, 'A', 1, 1, 1, 1));
        const QByteArray end = pageBytes(record(3, 'N', 1, 1, 1, 1) + endRecord);
        QStringList bad = record(5, 'F', 1, 1, 1, 1);
        bad[3] = QStringLiteral("XYZ");
        const auto file = [](const QList<QByteArray> &pages) {
            HistoryDump dump;
            dump.pages = pages;
            return historyDumpBytes(dump);
        };
        QTest::newRow("end on page 2") << file({p1, end}) << true << 3;
        QTest::newRow("no end") << file({p1, p1}) << false << 2;
        QTest::newRow("damaged page") << file({p1, pageBytes(bad), end}) << false << 3;
        QTest::newRow("no page") << file({p1, "ERROR\n\r", end}) << false << 3;
        QTest::newRow("first format")
            << "DR7326G-05A history dump 1\nPAGE 1 " + QByteArray::number(p1.size()) + "\n" + p1 +
                   "\nPAGE 2 " + QByteArray::number(end.size()) + "\n" + end + "\n"
            << true << 3;
    }
    void completeness()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, complete);
        QFETCH(int, rows);
        HistoryDump dump;
        dump.serialNumber = QStringLiteral("stale");
        QVERIFY(readHistoryDump(file, &dump, nullptr));
        QVERIFY(dump.serialNumber.isEmpty() && dump.timeZoneId.isEmpty());
        Records records;
        QCOMPARE(decodeHistoryDump(dump, records.list), complete);
        QCOMPARE(records.list.size(), rows);
        QCOMPARE(qint64(records.list.value(0)->time), deviceEpoch().toSecsSinceEpoch() + 60);
    }

    // Made under one zone, a dump shows that zone's wall clock under another.
    void wallClockOfTheDownloadZone()
    {
        const QByteArray made = "America/Sao_Paulo"; // summer time on 1999-01-01
        setZone(made);
        HistoryDump dump;
        dump.timeZoneId = made;
        dump.pages = {
            pageBytes(record(1, 'F', 1, 1, 1, 1) + record(66976, 'F', 1, 1, 1, 1) + endRecord)};
        Records there;
        QVERIFY(decodeHistoryDump(dump, there.list));
        HistoryTableModel shownThere;
        shownThere.setRecords(there.list);

        setZone("Asia/Tokyo");
        HistoryDump reopened;
        QVERIFY(readHistoryDump(historyDumpBytes(dump), &reopened, nullptr));
        Records here;
        QVERIFY(decodeHistoryDump(reopened, here.list));
        HistoryTableModel shownHere;
        shownHere.setRecords(here.list, reopened.timeZone());
        setZone("UTC");

        const QStringList walls{"1999-01-01 00:01", "1999-02-16 12:16"};
        for (int i = 0; i < walls.size(); ++i) {
            const QDateTime when =
                QDateTime::fromSecsSinceEpoch(here.list.at(i)->time, QTimeZone(made));
            QCOMPARE(when.toString(QStringLiteral("yyyy-MM-dd HH:mm")), walls.at(i));
            QCOMPARE(shownHere.index(i, 0).data().toString(),
                     shownThere.index(i, 0).data().toString());
        }
        // A zone this PC does not know: the offset the download was made at.
        reopened.timeZoneId = "../Mars/Olympus_Mons";
        reopened.downloadedAt = QDateTime(QDate(2026, 1, 2), QTime(3, 4), Qt::OffsetFromUTC, 18000);
        QCOMPARE(reopened.timeZone().offsetFromUtc(reopened.downloadedAt), 18000);
    }
};

QTEST_MAIN(TstHistoryDump)
#include "tst_historydump.moc"
