// Stored history records and history page replies, decoded without a pager.
#include "historypage.h"
#include "historyrecord.h"
#include "historywords.h"
#include "pagerlink.h"

#include <QtTest>

#include <cmath>
#include <memory>

using namespace historywords;

namespace {

// The page byte string of payload words, each low byte first.
QByteArray bytesOf(const QList<std::uint16_t> &values)
{
    QByteArray out;
    for (std::uint16_t v : values) {
        out.append(char(v & 0xFF));
        out.append(char(v >> 8));
    }
    return out;
}

// The text with every '~' turned into a NUL byte.
QByteArray withNul(const char *text)
{
    QByteArray bytes(text);
    bytes.replace('~', '\0');
    return bytes;
}

const std::uint8_t *raw(const QByteArray &bytes)
{
    return reinterpret_cast<const std::uint8_t *>(bytes.constData());
}

// Owns the parsed records for the length of a test.
struct Records
{
    QList<HistoryRecord *> list;
    ~Records() { qDeleteAll(list); }
    QList<std::uint32_t> minutes() const
    {
        const qint64 base = deviceEpoch().toSecsSinceEpoch();
        QList<std::uint32_t> out;
        for (const HistoryRecord *r : list)
            out << std::uint32_t((qint64(r->time) - base) / 60);
        return out;
    }
};

} // namespace

class TstHistoryDecode : public QObject
{
    Q_OBJECT
private slots:
    void minuteCountByteOrder()
    {
        const std::uint8_t bytes[storedRecordSize] = {0x34, 0x12, 0xAB, 'F'};
        QCOMPARE(storedRecordMinutes(bytes), std::uint32_t(0xAB1234));
        const std::uint8_t end[storedRecordSize] = {0, 0, 0, 'F', 1, 2, 3, 4};
        QCOMPARE(storedRecordMinutes(end), std::uint32_t(0));
    }

    void workedRecords_data()
    {
        QTest::addColumn<QList<std::uint16_t>>("words");
        QTest::addColumn<uint>("minutes");
        QTest::addColumn<char>("code");
        QTest::addColumn<int>("gamma");
        QTest::addColumn<float>("neutron");
        QTest::addColumn<float>("doseRate");
        QTest::addColumn<float>("dose");

        QTest::newRow("background")
            << QList<std::uint16_t>{0x0001, 0x4600, 0x0005, 0x8000, 0x7F00, 0x0000, 0x8000, 0x0000}
            << 1u << 'F' << 5 << 1.0f << 0.5f << 1.0f;
        const float rate = decodeDeviceFloat(0x6B4CCCCD); // about 7.63e-07
        QTest::newRow("neutron alarm")
            << QList<std::uint16_t>{0x05A0, 0x4E01, 0x00C8, 0x8140, 0x6B4C, 0xCCCD, 0x7D20, 0x0000}
            << 66976u << 'N' << 200 << 3.0f << rate << 0.15625f;
        QTest::newRow("largest minute count, gamma 65535, bit 23 ignored")
            << QList<std::uint16_t>{0xFFFF, 0x41FF, 0xFFFF, 0x8080, 0x8080, 0x0000, 0x0100, 0x0000}
            << 0xFFFFFFu << 'A' << 65535 << 1.0f << 1.0f << 0.0f;
    }
    void workedRecords()
    {
        QFETCH(QList<std::uint16_t>, words);
        QFETCH(uint, minutes);
        QFETCH(char, code);
        QFETCH(int, gamma);
        QFETCH(float, neutron);
        QFETCH(float, doseRate);
        QFETCH(float, dose);

        const QByteArray bytes = bytesOf(words);
        QCOMPARE(storedRecordMinutes(raw(bytes)), std::uint32_t(minutes));
        const QDateTime base = deviceEpoch();
        const HistoryRecord r = decodeStoredRecord(raw(bytes), base);
        QCOMPARE(qint64(r.time), base.addSecs(qint64(minutes) * 60).toSecsSinceEpoch());
        QCOMPARE(r.eventCode, code);
        QCOMPARE(int(r.gammaCps), gamma);
        QCOMPARE(r.neutronCps, neutron);
        QCOMPARE(r.doseRate, doseRate);
        QCOMPARE(r.dose, dose);
    }

    void doseRateNearWorkedValue()
    {
        const QByteArray bytes =
            bytesOf({0x05A0, 0x4E01, 0x00C8, 0x8140, 0x6B4C, 0xCCCD, 0x7D20, 0x0000});
        const HistoryRecord r = decodeStoredRecord(raw(bytes), deviceEpoch());
        QVERIFY(std::fabs(r.doseRate - 7.63e-07f) < 0.005e-07f);
    }

    void zeroExponentIsInfinityOrNan()
    {
        const HistoryRecord inf = decodeStoredRecord(
            raw(bytesOf({1, 0x4600, 0, 0, 0, 0, 0x0000, 0x0000})), deviceEpoch());
        QVERIFY(std::isinf(inf.dose) && inf.dose > 0);
        QVERIFY(std::isinf(inf.doseRate) && std::isinf(inf.neutronCps));
        const HistoryRecord nan = decodeStoredRecord(
            raw(bytesOf({1, 0x4600, 0, 0, 0, 0, 0x0000, 0x0001})), deviceEpoch());
        QVERIFY(std::isnan(nan.dose));
    }

    // The minutes count from the given base as elapsed time.
    void timeFollowsTheBase_data()
    {
        QTest::addColumn<uint>("minutes");
        QTest::newRow("1") << 1u;
        QTest::newRow("66976") << 66976u;
        QTest::newRow("largest") << 0xFFFFFFu;
    }
    void timeFollowsTheBase()
    {
        QFETCH(uint, minutes);
        const QByteArray bytes =
            bytesOf({std::uint16_t(minutes), std::uint16_t(0x4600 | (minutes >> 16)), 0, 0, 0, 0,
                     0x8000, 0});
        const QDateTime utcBase(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
        QCOMPARE(qint64(decodeStoredRecord(raw(bytes), utcBase).time),
                 946684800 + qint64(minutes) * 60);
        QCOMPARE(qint64(decodeStoredRecord(raw(bytes), qint64(946684800)).time),
                 946684800 + qint64(minutes) * 60);

        const QDateTime base = deviceEpoch();
        QCOMPARE(qint64(decodeStoredRecord(raw(bytes), base).time),
                 base.toSecsSinceEpoch() + qint64(minutes) * 60);
    }

    // Local wall clock of the worked minute counts, where the UTC offset of
    // the event equals that of the base.
    void wallClockWithoutOffsetChange_data()
    {
        QTest::addColumn<uint>("minutes");
        QTest::addColumn<QString>("wall");
        QTest::newRow("one minute") << 1u << "1999-01-01 00:01:00";
        QTest::newRow("66976") << 66976u << "1999-02-16 12:16:00";
        QTest::newRow("largest") << 0xFFFFFFu << "2030-11-24 20:15:00";
    }
    void wallClockWithoutOffsetChange()
    {
        QFETCH(uint, minutes);
        QFETCH(QString, wall);
        const QByteArray bytes = bytesOf(
            {std::uint16_t(minutes), std::uint16_t(0x4600 | (minutes >> 16)), 0, 0, 0, 0, 0, 0});
        const HistoryRecord r = decodeStoredRecord(raw(bytes), deviceEpoch());
        const QDateTime shown = QDateTime::fromSecsSinceEpoch(r.time);
        if (shown.offsetFromUtc() != deviceEpoch().offsetFromUtc())
            QSKIP("the local UTC offset differs between the two instants");
        QCOMPARE(shown.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), wall);
    }

    void eventTable_data()
    {
        QTest::addColumn<char>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("alarm");
        QTest::newRow("0") << '0' << QStringLiteral("Выключение прибора") << false;
        QTest::newRow("1") << '1' << QStringLiteral("Включение прибора") << false;
        QTest::newRow("A") << 'A' << QStringLiteral("Тревога гамма") << true;
        QTest::newRow("C") << 'C' << QStringLiteral("Калибровка") << false;
        QTest::newRow("F") << 'F' << QStringLiteral("Фон") << false;
        QTest::newRow("N") << 'N' << QStringLiteral("Тревога нейтронная") << true;
        QTest::newRow("S") << 'S' << QStringLiteral("Изменение количества сигм") << false;
        QTest::newRow("e") << 'e' << QStringLiteral("Превышение порога МЭД") << false;
        QTest::newRow("s") << 's' << QStringLiteral("Изменение сигнализации") << false;
        // Codes are case-sensitive; anything else has no text.
        QTest::newRow("a") << 'a' << QString() << false;
        QTest::newRow("n") << 'n' << QString() << false;
        QTest::newRow("f") << 'f' << QString() << false;
        QTest::newRow("c") << 'c' << QString() << false;
        QTest::newRow("E") << 'E' << QString() << false;
        QTest::newRow("X") << 'X' << QString() << false;
        QTest::newRow("2") << '2' << QString() << false;
        QTest::newRow("NUL") << '\0' << QString() << false;
        QTest::newRow("0xCE") << char(0xCE) << QString() << false;
    }
    void eventTable()
    {
        QFETCH(char, code);
        QFETCH(QString, text);
        QFETCH(bool, alarm);
        QCOMPARE(eventText(code), text);
        QCOMPARE(isAlarmEvent(code), alarm);
    }

    void pageLayout_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("isPage");
        QTest::addColumn<bool>("intact");
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char *name, const QByteArray &reply, bool isPage, bool intact,
                            const QList<std::uint16_t> &words) {
            QTest::newRow(name) << reply << isPage << intact << bytesOf(words);
        };
        // A piece between two good words: a word of one to four hex digits, or damage that
        // drops it and everything after it.
        const auto piece = [&](const char *name, const QByteArray &piece, int value) {
            row(name, "xx BLK=0001 1111 " + piece + " 2222 CRC=ABCD\n\r", true, value >= 0,
                value >= 0 ? QList<std::uint16_t>{0x1111, std::uint16_t(value), 0x2222}
                           : QList<std::uint16_t>{0x1111});
        };
        piece("upper case", "ABCD", 0xABCD);
        piece("lower case", "abcd", 0xABCD);
        piece("short", "5", 5);
        piece("largest", "FFFF", 0xFFFF);
        piece("above FFFF", "10000", -1);
        piece("not hex", "00G1", -1);
        piece("negative", "-1", -1);
        piece("plus sign", "+1", -1);
        piece("0x prefix", "0x1", -1);
        piece("empty: two spaces", "", -1);
        piece("NUL inside", withNul("1~2"), -1);
        row("the space before CRC= is no word", "xx BLK=0001 0102 0304 CRC=1234\n\r", true, true,
            {0x0102, 0x0304});
        row("no space before CRC=", "xx BLK=0001 0A0B 0C0DCRC=1234\n\r", true, true,
            {0x0A0B, 0x0C0D});
        row("cut short: the last word may be cut", "xx BLK=0001 0A0B 0C0D", true, false, {0x0A0B});
        row("line end but no CRC=", "xx BLK=0001 0A0B 0C0D\n\r", true, false, {0x0A0B});
        row("the five characters after BLK= are skipped", "xx BLK=FFFFF0A0BCRC=", true, true,
            {0x0A0B});
        row("a second BLK= is damage", "BLK=0001 0102 BLK=0002 0304 CRC=", true, false, {0x0102});
        row("a CRC= before BLK= is no end marker", "CRC=1234 BLK=0001 0102 0304 CRC=", true, true,
            {0x0102, 0x0304});
        row("a CRC= among the skipped characters is no end marker", "BLK=CRC= 0102 CRC=", true,
            true, {0x0102});
        row("empty payload", "BLK=0001 CRC=", true, true, {});
        row("nothing after BLK=", "BLK=00", true, false, {});
        row("NUL in the leading text", withNul("DR~Pager BLK=0001 0102 0304 CRC=\n\r"), true, true,
            {0x0102, 0x0304});
        row("no BLK=", "DR_Pager#05A00317 0102 0304 CRC=", false, false, {});
        row("lower-case marker", "blk=0001 0102 CRC=", false, false, {});
        row("empty reply", QByteArray(), false, false, {});
    }
    void pageLayout()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, isPage);
        QFETCH(bool, intact);
        QFETCH(QByteArray, bytes);
        const HistoryPage page = readHistoryPage(reply);
        QCOMPARE(page.isPage, isPage);
        QCOMPARE(page.intact, intact);
        QCOMPARE(page.bytes.toHex(' '), bytes.toHex(' '));
    }

    void pages_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("goesOn");
        QTest::addColumn<QList<std::uint32_t>>("minutes");

        const QStringList r1 = record(1, 'F', 5, 1.0f, 0.5f, 1.0f);
        const QStringList r2 = record(2, 'N', 200, 3.0f, 7.6e-7f, 0.15625f);
        const QStringList r3 = record(3, 'A', 7, 2.5f, 1.0e-6f, 0.25f);
        const QStringList end = record(0, 'F', 1, 1.0f, 1.0f, 1.0f);
        const QStringList r5 = record(5, 'C', 9, 1.0f, 1.0f, 1.0f);

        QTest::newRow("whole page goes on")
            << page(r1 + r2 + r3 + r5) << true << QList<std::uint32_t>{1, 2, 3, 5};
        QTest::newRow("end record fourth")
            << page(r1 + r2 + r3 + end + r5) << false << QList<std::uint32_t>{1, 2, 3};
        QTest::newRow("end record first") << page(end + r1) << false << QList<std::uint32_t>{};
        // The space before "CRC=" adds an empty last piece.
        QTest::newRow("17 pieces: 2 records")
            << page(r1 + r2) << true << QList<std::uint32_t>{1, 2};
        QTest::newRow("a 0 word after two records is no end record")
            << page(r1 + r2 + QStringList{"0000"}) << true << QList<std::uint32_t>{1, 2};
        QTest::newRow("7 pieces: none") << page(r1.mid(0, 6)) << true << QList<std::uint32_t>{};
        QTest::newRow("7 words and the space before CRC=: none")
            << page(r1.mid(0, 7)) << true << QList<std::uint32_t>{};
        QTest::newRow("8 words and the space before CRC=: one record")
            << page(r1) << true << QList<std::uint32_t>{1};
        // Cut short: the last word may be cut, so its record is not kept.
        QTest::newRow("16 words without CRC=")
            << page(r1 + r2, false) << true << QList<std::uint32_t>{1};
        // Damage never shifts later words into records: everything from the
        // first damaged piece on is dropped.
        QTest::newRow("two spaces inside record 2")
            << pageAround(r1.join(' ') + " " + r2.mid(0, 3).join(' ') + "  " + r2.mid(3).join(' ') +
                          " " + r3.join(' '))
            << true << QList<std::uint32_t>{1};
        QTest::newRow("an unreadable minute word does not end the history")
            << page(r1 + QStringList{"ZZZZ", "4600"} + r2.mid(2) + r3) << true
            << QList<std::uint32_t>{1};
        QTest::newRow("end record before the damage ends the history")
            << page(r1 + end + QStringList{"ZZZZ"}) << false << QList<std::uint32_t>{1};
        QTest::newRow("lower-case words")
            << page(record(0xABCDEF, 'F', 0, 0, 0, 0).replaceInStrings("ABCD", "abcd")) << true
            << QList<std::uint32_t>{0xABCDEF};
        QTest::newRow("largest minute count")
            << page(record(0xFFFFFF, 's', 0, 0, 0, 0)) << true << QList<std::uint32_t>{0xFFFFFF};
        QTest::newRow("empty reply") << QString() << true << QList<std::uint32_t>{};
        // Without "BLK=" the words are not a page, even when they would make a record.
        QTest::newRow("no BLK=") << QString("DR_Pager#05A00317 $0003 READ_HISTORY 0001 " +
                                            r1.join(' ') + " CRC=ABCD\n\r")
                                 << true << QList<std::uint32_t>{};
        QTest::newRow("no BLK=, end record")
            << QString("DR_Pager 0000 0000 0000 0000 0000 0000 0000 0000 0000") << true
            << QList<std::uint32_t>{};
    }
    void pages()
    {
        QFETCH(QString, reply);
        QFETCH(bool, goesOn);
        QFETCH(QList<std::uint32_t>, minutes);
        Records records;
        QCOMPARE(parseHistoryPageText(reply, records.list), goesOn);
        QCOMPARE(records.minutes(), minutes);
    }

    void recordsAreAppendedBehindExistingOnes()
    {
        Records records;
        records.list.append(new HistoryRecord);
        records.list.first()->eventCode = 'x';
        QVERIFY(parseHistoryPageText(
            page(record(7, 'S', 1, 1.0f, 1.0f, 1.0f) + record(8, 'e', 2, 1.0f, 1.0f, 1.0f)),
            records.list));
        QCOMPARE(records.list.size(), 3);
        QCOMPARE(records.list.at(0)->eventCode, 'x');
        QCOMPARE(records.list.at(1)->eventCode, 'S');
        QCOMPARE(records.list.at(2)->eventCode, 'e');
    }

    // Encoded records come back unchanged through a page.
    void roundTrip_data()
    {
        QTest::addColumn<uint>("minutes");
        QTest::addColumn<char>("code");
        QTest::addColumn<int>("gamma");
        QTest::addColumn<float>("neutron"); // only the upper 16 bits travel
        QTest::addColumn<float>("doseRate");
        QTest::addColumn<float>("dose");
        QTest::newRow("switch-on") << 1u << '1' << 0 << 0.0f << 0.0f << 0.0f;
        QTest::newRow("gamma alarm") << 1000u << 'A' << 1234 << 12.5f << 3.3e-5f << 1.7e-3f;
        QTest::newRow("high minutes") << 0x10000u << '0' << 65535 << 1024.0f << 1.0e-7f << 42.0f;
        QTest::newRow("threshold") << 0xFEDCBAu << 'e' << 1 << 0.75f << 1.0e-5f << 9.99e4f;
    }
    void roundTrip()
    {
        QFETCH(uint, minutes);
        QFETCH(char, code);
        QFETCH(int, gamma);
        QFETCH(float, neutron);
        QFETCH(float, doseRate);
        QFETCH(float, dose);
        Records records;
        const QStringList filler = record(1, 'F', 0, 0, 0, 0);
        QVERIFY(parseHistoryPageText(
            page(filler + record(minutes, code, std::uint16_t(gamma), neutron, doseRate, dose)),
            records.list));
        QCOMPARE(records.list.size(), 2);
        const HistoryRecord &r = *records.list.at(1);
        QCOMPARE(qint64(r.time), deviceEpoch().addSecs(qint64(minutes) * 60).toSecsSinceEpoch());
        QCOMPARE(r.eventCode, code);
        QCOMPARE(int(r.gammaCps), gamma);
        QCOMPARE(r.neutronCps, neutron);
        QCOMPARE(r.doseRate, doseRate);
        QCOMPARE(r.dose, dose);
    }
};

QTEST_GUILESS_MAIN(TstHistoryDecode)
#include "tst_historydecode.moc"
