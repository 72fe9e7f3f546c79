// The flags of records that look wrong: each rule at its bound, in one
// table of record runs; and a page whose checksum fails, through a dump.
#include "historydump.h"
#include "historyflags.h"
#include "support/fakepager.h"

#include <QtTest>

#include <cmath>

namespace {

// A record of a run: minutes after the first, event code, dose, dose rate,
// gamma and neutron rates.
struct Row
{
    int minute;
    char code = 'F';
    float dose = 1e-4f;
    float rate = 1e-7f;
    std::uint16_t gamma = 20;
    float neutron = 1.0f;
};

} // namespace

Q_DECLARE_METATYPE(QList<Row>)

class TestHistoryFlags : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void pageWithStaleChecksum_data();
    void pageWithStaleChecksum();
};

void TestHistoryFlags::rules_data()
{
    using namespace recordflag;
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<int>("interval");     // minutes; 0: the usual spacing
    QTest::addColumn<int>("downloadedAt"); // minutes after the first; 0: not known
    QTest::addColumn<QVector<bool>>("unverified");
    QTest::addColumn<QList<int>>("flags");
    const float nan = std::nanf("");
    QTest::newRow("in order") << QList<Row>{{0}, {10}, {20}} << 10 << 0 << QVector<bool>()
                              << QList<int>{0, 0, 0};
    QTest::newRow("backwards") << QList<Row>{{0}, {10}, {5}} << 10 << 0 << QVector<bool>()
                               << QList<int>{0, 0, Backwards};
    QTest::newRow("gap of twice the interval")
        << QList<Row>{{0}, {10}, {30}} << 10 << 0 << QVector<bool>() << QList<int>{0, 0, 0};
    QTest::newRow("gap over twice the interval")
        << QList<Row>{{0}, {10}, {31}} << 10 << 0 << QVector<bool>() << QList<int>{0, 0, Gap};
    QTest::newRow("gap while switched off") << QList<Row>{{0}, {10, '0'}, {100, '1'}, {300}} << 10
                                            << 0 << QVector<bool>() << QList<int>{0, 0, 0, Gap};
    QTest::newRow("gap against the usual spacing")
        << QList<Row>{{0}, {10}, {20}, {30}, {51}} << 0 << 0 << QVector<bool>()
        << QList<int>{0, 0, 0, 0, Gap};
    QTest::newRow("dose falls") << QList<Row>{{0, 'F', 2e-4f}, {10, 'F', 1e-4f}, {20, 'F', 1e-4f}}
                                << 10 << 0 << QVector<bool>() << QList<int>{0, DoseFall, 0};
    QTest::newRow("dose falls at a switch-on")
        << QList<Row>{{0, 'F', 2e-4f}, {10, '1', 0.f}, {20, 'F', 1e-5f}} << 10 << 0
        << QVector<bool>() << QList<int>{0, 0, 0};
    QTest::newRow("future") << QList<Row>{{0}, {10}, {11}} << 10 << 10 << QVector<bool>()
                            << QList<int>{0, 0, 0};
    QTest::newRow("future past a minute")
        << QList<Row>{{0}, {10}, {12}} << 10 << 10 << QVector<bool>() << QList<int>{0, 0, Future};
    QTest::newRow("rates out of range")
        << QList<Row>{{0, 'F', 1e-4f, 1.0f},         {1, 'F', 1e-4f, 1.01f},
                      {2, 'F', 1e-4f, -1e-9f},       {3, 'F', 1e-4f, nan},
                      {4, 'F', 1e-4f, 1e-7f, 65535}, {5, 'F', 1e-4f, 1e-7f, 20, 100001.f}}
        << 10 << 0 << QVector<bool>()
        << QList<int>{0, OutOfRange, OutOfRange, OutOfRange, OutOfRange, OutOfRange};
    QTest::newRow("every code of the event table")
        << QList<Row>{{0, '0'}, {1, '1'}, {2, 'A'}, {3, 'C'}, {4, 'F'},
                      {5, 'N'}, {6, 'S'}, {7, 'e'}, {8, 's'}}
        << 1 << 0 << QVector<bool>() << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("unknown event") << QList<Row>{{0, 'X'}, {10, 'e'}} << 10 << 0 << QVector<bool>()
                                   << QList<int>{UnknownEvent, 0};
    QTest::newRow("unverified page") << QList<Row>{{0}, {10}} << 10 << 0
                                     << QVector<bool>{false, true} << QList<int>{0, UnverifiedPage};
    QTest::newRow("several at once")
        << QList<Row>{{20, 'F', 2e-4f}, {5, 'X', 1e-4f}} << 10 << 1 << QVector<bool>()
        << QList<int>{Future, Backwards | Future | DoseFall | UnknownEvent};
}

void TestHistoryFlags::rules()
{
    QFETCH(QList<Row>, rows);
    QFETCH(int, interval);
    QFETCH(int, downloadedAt);
    QFETCH(QVector<bool>, unverified);
    QFETCH(QList<int>, flags);
    const qint64 start = 1767225600; // 2026-01-01 UTC
    QList<HistoryRecord *> records;
    for (const Row &row : rows) {
        auto *r = new HistoryRecord;
        r->time = std::uint32_t(start + row.minute * 60);
        r->eventCode = row.code;
        r->dose = row.dose;
        r->doseRate = row.rate;
        r->gammaCps = row.gamma;
        r->neutronCps = row.neutron;
        records << r;
    }
    HistoryFlagContext context;
    context.intervalMinutes = interval;
    context.downloadedAt = downloadedAt ? start + downloadedAt * 60 : 0;
    context.unverified = unverified;
    flagHistoryRecords(records, context);
    QList<int> found;
    for (const HistoryRecord *r : qAsConst(records))
        found << r->flags;
    qDeleteAll(records);
    QCOMPARE(found, flags);
}

void TestHistoryFlags::pageWithStaleChecksum_data()
{
    // The pages replied, in order ("2!": page 2 with a checksum that fails);
    // whether page 2's records end up flagged. A copy of the page that
    // verifies vouches for the same bytes of another.
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<bool>("flagged");
    QTest::newRow("failing") << QStringList{"1", "2!", "3"} << true;
    QTest::newRow("failing, then verified again") << QStringList{"1", "2!", "2", "3"} << false;
    QTest::newRow("verified, then failing again") << QStringList{"1", "2", "2!", "3"} << false;
}

void TestHistoryFlags::pageWithStaleChecksum()
{
    QFETCH(QStringList, replies);
    QFETCH(bool, flagged);
    HistoryDump dump;
    dump.serialNumber = QStringLiteral("05A00317");
    dump.timeZoneId = QByteArrayLiteral("UTC");
    for (const QString &name : replies) {
        const int page = name.left(1).toInt();
        QList<std::uint16_t> words;
        for (int m = 1; m <= 2; ++m)
            words << FakePager::record(std::uint32_t(page * 20 + m * 10), 'F', 20, 1.0f, 1e-7f,
                                       1e-4f);
        if (page == 3)
            words << FakePager::record(0, 'F', 0, 0, 0, 0);
        QByteArray reply = FakePager::page(page, words, dump.serialNumber);
        if (name.endsWith('!')) {
            const int at = reply.indexOf("CRC=") + 4;
            reply[at] = reply.at(at) == '0' ? '1' : '0';
        }
        dump.pages << reply;
    }
    QList<HistoryRecord *> records;
    decodeHistoryDump(dump, records, 10);
    QList<int> found;
    for (const HistoryRecord *r : qAsConst(records))
        found << (r->flags & recordflag::UnverifiedPage);
    qDeleteAll(records);
    const int u = flagged ? recordflag::UnverifiedPage : 0;
    QCOMPARE(found, (QList<int>{0, 0, u, u, 0, 0}));
}

QTEST_GUILESS_MAIN(TestHistoryFlags)
#include "tst_historyflags.moc"
