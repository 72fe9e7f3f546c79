// The history download ends whatever the pager does, keeps every good record once, says how.
#include "historydownload.h"
#include "historydump.h"
#include "support/fakepager.h"

#include <QtTest>

// Queues the pager's reads for one read_history request (numbered from 1).
using Answer = std::function<void(int request)>;
Q_DECLARE_METATYPE(Answer)

namespace {

QList<int> progressCalls;
void progress(int pages)
{
    progressCalls << pages;
}

// A page of `count` records from minute `first`, then, when `end` is set,
// the end record and one more record.
QByteArray page(int number, int first, int count, bool end = false)
{
    QList<std::uint16_t> words;
    for (int i = 0; i < count; ++i)
        words += FakePager::record(std::uint32_t(first + i), 'F', 10, 0.5f, 1.0e-7f, 2.0e-6f);
    if (end)
        words += FakePager::record(0, '0', 0, 0.0f, 0.0f, 0.0f) +
                 FakePager::record(9, 'F', 1, 0.0f, 0.0f, 0.0f);
    return FakePager::page(number, words);
}

struct Records
{
    QList<HistoryRecord *> list;
    ~Records() { qDeleteAll(list); }
};

} // namespace

class TstHistoryDownload : public QObject
{
    Q_OBJECT

    FakePager pager;
    PagerLink link;

    void connectWith(const Answer &answer)
    {
        pager.plugIn();
        QCOMPARE(link.connect(), pager.serial);
        auto requests = std::make_shared<int>(0);
        usbfake::setResponder([answer, requests](const QByteArray &bytes) {
            if (bytes.contains(" read_history "))
                answer(++*requests);
        });
        progressCalls.clear();
    }

private slots:
    void stuckPagersEnd_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("tick");      // ms of pager time per USB call
        QTest::addColumn<int>("rows");      // records kept
        QTest::addColumn<bool>("end");      // the end record came
        QTest::addColumn<bool>("complete"); // and nothing before it was lost
        QTest::addColumn<int>("requests");  // page requests sent
        QTest::addColumn<int>("quiet");     // the request bound; 0: the usual one

        const QByteArray first = page(1, 1, 16);
        const QByteArray last = page(3, 100, 3, true);
        using usbfake::queueRead;
        using usbfake::queueReply;
        QTest::newRow("silent after one page")
            << Answer([=](int r) { r == 1 ? queueReply(first, 64) : void(); }) << 0 << 16 << false
            << false << 6 << 0;
        QTest::newRow("zero-byte reads") << Answer([=](int r) {
            r == 1 ? queueReply(first, 64) : queueRead(usbx::Success);
            queueRead(usbx::Success);
        }) << 0 << 16 << false << false << 6
                                         << 0;
        QTest::newRow("same page forever: its records once")
            << Answer([=](int) { queueReply(first, 64); }) << 0 << 16 << false << false << 6 << 0;
        QTest::newRow("replies that are no page") << Answer([=](int r) {
            queueReply(r == 1 ? first : FakePager::line("DR_Pager ERROR BUSY"));
        }) << 0 << 16 << false << false << 6 << 0;
        // One byte a read, 900 ms each: every page is cut at its deadline.
        QTest::newRow("drip feed")
            << Answer([=](int) { queueReply(first, 1); }) << 900 << 0 << false << false << 5 << 0;
        QTest::newRow("a bad word keeps the records before it") << Answer([=](int r) {
            QByteArray damaged = page(2, 50, 5);
            damaged[damaged.indexOf("BLK=") + 9 + 2 * 40 + 5] = 'Z'; // record 3, word 2
            queueReply(r == 1 ? first : r == 2 ? damaged : last, 64);
        }) << 0 << 16 + 2 + 3 << true << false << 3 << 0;
        QTest::newRow("damage after the end record hides nothing") << Answer([=](int r) {
            queueReply(r == 1 ? first : last.left(last.indexOf("CRC=") - 3), 64);
        }) << 0 << 16 + 3 << true << true << 2 << 0;
        QTest::newRow("a repeated page cut short adds nothing") << Answer([=](int r) {
            queueReply(r == 1 ? first : r == 2 ? first.left(first.size() / 2) : last, 64);
        }) << 0 << 16 + 3 << true << true << 3 << 0;
        QTest::newRow("a repeated page adds nothing")
            << Answer([=](int r) { queueReply(r <= 2 ? first : last, 64); }) << 0 << 16 + 3 << true
            << true << 3 << 0;
        // The request bound out of reach: time without a new record ends empty 2.7 s replies.
        QTest::newRow("empty replies, time bound alone")
            << Answer([](int) { usbfake::queueRead(usbx::Success); }) << 900 << 0 << false << false
            << 17 << 1000;
    }
    void stuckPagersEnd()
    {
        QFETCH(Answer, answer);
        QFETCH(int, tick);
        QFETCH(int, rows);
        QFETCH(bool, end);
        QFETCH(bool, complete);
        QFETCH(int, requests);
        QFETCH(int, quiet);
        connectWith(answer);
        HistoryDownloadBounds bounds;
        if (quiet)
            bounds.quietRequests = quiet;
        const int start = usbfake::calls().size();
        bounds.clock = [=] { return qint64(usbfake::calls().size() - start) * tick; };
        Records got;
        const HistoryDownloadResult result =
            downloadHistory(link, got.list, progress, {}, {}, bounds);
        QCOMPARE(got.list.size(), rows);
        QCOMPARE(result.endReached, end);
        QCOMPARE(result.complete(), complete);
        QCOMPARE(result.timedOut, !end);
        QCOMPARE(result.requests, requests);
        // Progress after every reply, counting every reply however it ended.
        QCOMPARE(progressCalls.size(), result.pages);
        QCOMPARE(progressCalls.value(result.pages - 1, 0), result.pages);
        QVERIFY(bounds.clock() <= 60000);
    }

    // Replies as pagers send them: every page taken once, in order, a page
    // ending as soon as its checksum verifies; the dump decodes alike.
    void pagerBehaviours_data()
    {
        QTest::addColumn<QList<QByteArray>>("replies"); // per request, as usbfake::queueScript
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<int>("pages"); // the page label
        QTest::addColumn<int>("waits"); // reads that waited for the pager in vain

        const QByteArray p = page(1, 1, 16), q = page(2, 20, 16), last = page(3, 100, 3, true);
        const auto badSum = [](QByteArray b) {
            return b.replace(b.indexOf("CRC=") + 4, 4, "0000");
        };
        using Replies = QList<QByteArray>;
        QTest::newRow("alike pages, numbered differently")
            << Replies{p, page(2, 1, 16), last} << 35 << true << 3 << 0;
        QTest::newRow("a late page") << Replies{"", p + q, last} << 35 << false << 3 << 1;
        QTest::newRow("several pages in one read")
            << Replies{page(1, 1, 2) + page(2, 5, 2) + page(3, 9, 0, true)} << 4 << true << 3 << 0;
        QTest::newRow("a bad checksum: read until silence")
            << Replies{badSum(p), last} << 19 << true << 2 << 1;
        QTest::newRow("bytes after the checksum begin the next reply")
            << Replies{p + q.left(100), q.mid(100), last} << 35 << true << 3 << 0;
        // Not counted: a reply ended by a read that brought nothing.
        QTest::newRow("three pages ended by silence, a fourth by an empty read")
            << Replies{badSum(p), badSum(q), badSum(page(3, 50, 1)), badSum(last) + "\xFF"} << 36
            << true << 3 << 3;
    }
    void pagerBehaviours()
    {
        QFETCH(QList<QByteArray>, replies);
        QFETCH(int, rows);
        QFETCH(bool, complete);
        QFETCH(int, pages);
        QFETCH(int, waits);
        connectWith([=](int r) {
            if (!replies.value(r - 1).isEmpty())
                usbfake::queueScript(replies.at(r - 1));
        });
        const int start = usbfake::calls().size();
        HistoryDump dump;
        Records got, decoded;
        const HistoryDownloadResult result = downloadHistory(
            link, got.list, progress, [&](const QByteArray &reply) { dump.pages << reply; });
        QCOMPARE(got.list.size(), rows);
        QCOMPARE(result.complete(), complete);
        QCOMPARE(progressCalls.size(), pages);
        QCOMPARE(result.pages, pages);
        const QList<usbfake::Call> reads = usbfake::calls().mid(start);
        QCOMPARE(std::count_if(reads.begin(), reads.end(),
                               [](const usbfake::Call &c) { return c.failed; }),
                 waits);
        QCOMPARE(decodeHistoryDump(dump, decoded.list), complete);
        QCOMPARE(decoded.list.size(), rows);
    }

    // Request numbers go on through repeated requests; an empty reply is no page.
    void repeatedRequestsAndEmptyReplies()
    {
        connectWith([](int r) {
            if (r == 1)
                usbfake::queueRead(usbx::Success); // empty, ended by a failing read
            else if (r == 3)
                usbfake::queueReply(page(2, 20, 2, true), 64);
        });
        link.readInfo();
        Records got;
        const HistoryDownloadResult result = downloadHistory(link, got.list, progress);
        QCOMPARE(got.list.size(), 2);
        QVERIFY(result.endReached && !result.complete());
        QCOMPARE(result.pages, 1); // the empty reply is no page
        QCOMPARE(progressCalls, (QList<int>{1}));
        QStringList numbers;
        for (const QByteArray &w : usbfake::writes())
            numbers << QString::fromLatin1(w.mid(w.indexOf('$') + 1, 4));
        QCOMPARE(numbers, (QStringList{"0001", "0002", "0003", "0004", "0005"}));
    }

    // A request that brought nothing stays in the dump, which then decodes as incomplete.
    void dumpKeepsAFailedRequest()
    {
        const QByteArray first = page(1, 1, 16), last = page(2, 100, 3, true);
        connectWith(
            [=](int r) { r != 2 ? usbfake::queueReply(r == 1 ? first : last, 64) : void(); });
        HistoryDump dump;
        Records got, decoded;
        const HistoryDownloadResult result = downloadHistory(
            link, got.list, progress, [&](const QByteArray &reply) { dump.pages << reply; });
        QVERIFY(result.endReached && !result.complete());
        QCOMPARE(dump.pages, (QList<QByteArray>{first, QByteArray(), last}));
        QVERIFY(!decodeHistoryDump(dump, decoded.list));
        QCOMPARE(decoded.list.size(), got.list.size());
    }

    // The stop function, asked after every reply, ends after that page.
    void stopEndsAfterTheCurrentPage()
    {
        connectWith([](int r) { usbfake::queueReply(page(r, r * 16, 16), 64); });
        Records got;
        QList<int> rowsWhenAsked;
        const HistoryDownloadResult result = downloadHistory(link, got.list, progress, {}, [&] {
            rowsWhenAsked << got.list.size();
            return rowsWhenAsked.size() == 2;
        });
        QVERIFY(result.stopped && !result.timedOut && !result.complete());
        QCOMPARE(rowsWhenAsked, (QList<int>{16, 32}));
        QCOMPARE(got.list.size(), 32);
    }
};

QTEST_GUILESS_MAIN(TstHistoryDownload)
#include "tst_historydownload.moc"
