// The history download on the scripted pager: how it ends whatever the pager
// does, which records it keeps, and what it reports.
#include "historydownload.h"
#include "support/fakepager.h"

#include <QtTest>

namespace {

enum class Pager {
    SilentAfterOnePage,  // one page, then no answer at all
    ZeroByteReads,       // one page, then every read succeeds with nothing
    SamePageForever,     // one page without the end record, again and again
    NewPagesForever,     // a new page of new records for every request
    NotPages,            // one page, then replies without "BLK="
    DripFeed,            // one byte per read, each read taking 900 ms
    OneBadWord,          // a word of page 2 is damaged; page 3 holds the end
    DamageAfterEnd,      // the end page is cut after its end record
    RepeatedPageThenEnd, // page 1, page 1 again, page 2 with the end
};

struct Records
{
    QList<HistoryRecord *> list;
    ~Records() { qDeleteAll(list); }
};

QList<std::uint16_t> records(std::uint32_t first, int count)
{
    QList<std::uint16_t> words;
    for (int i = 0; i < count; ++i)
        words += FakePager::record(first + std::uint32_t(i), 'F', 10, 0.5f, 1.0e-7f, 2.0e-6f);
    return words;
}

QList<std::uint16_t> endRecord()
{
    return FakePager::record(0, '0', 0, 0.0f, 0.0f, 0.0f);
}

// Milliseconds of pager time: every USB call takes `tick`.
std::function<qint64()> usbClock(int tick)
{
    return [tick] { return qint64(usbfake::calls().size()) * tick; };
}

} // namespace

class TstHistoryDownload : public QObject
{
    Q_OBJECT

    FakePager pager;
    PagerLink link;
    QList<int> progressCalls;
    static TstHistoryDownload *current;

    static void progress(int pages) { current->progressCalls << pages; }

    // Connects to the fake pager; then `answer` plays the pager's side of
    // every read_history request (numbered from 1).
    void connectWith(const std::function<void(int request)> &answer)
    {
        pager = FakePager();
        pager.plugIn();
        QCOMPARE(link.connect(), pager.serial);
        auto requests = std::make_shared<int>(0);
        usbfake::setResponder([answer, requests](const QByteArray &bytes) {
            if (bytes.contains(" read_history "))
                answer(++*requests);
        });
    }

private slots:
    void init()
    {
        current = this;
        progressCalls.clear();
    }

    void stuckPagersEnd_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("tick");      // ms per USB call
        QTest::addColumn<int>("quiet");     // requests without a new record that end it
        QTest::addColumn<int>("maxPages");  // page bound
        QTest::addColumn<int>("rows");      // records kept
        QTest::addColumn<bool>("end");      // the end record came
        QTest::addColumn<bool>("complete"); // and nothing before it was lost
        QTest::addColumn<int>("requests");  // page requests sent

        const int none = 1000000;
        QTest::newRow("silent after one page")
            << int(Pager::SilentAfterOnePage) << 0 << 5 << none << 16 << false << false << 6;
        QTest::newRow("zero-byte reads")
            << int(Pager::ZeroByteReads) << 0 << 5 << none << 16 << false << false << 6;
        QTest::newRow("same page forever: its records once")
            << int(Pager::SamePageForever) << 0 << 5 << none << 16 << false << false << 6;
        QTest::newRow("new pages forever: the page bound")
            << int(Pager::NewPagesForever) << 0 << 5 << 12 << 12 * 16 << false << false << 12;
        QTest::newRow("replies that are no page")
            << int(Pager::NotPages) << 0 << 5 << none << 16 << false << false << 6;
        // Each page is cut at the page deadline; no page brings a record.
        QTest::newRow("drip feed")
            << int(Pager::DripFeed) << 900 << 5 << none << 0 << false << false << 5;
        // The time bound alone: zero-byte reads at 900 ms each, no request bound.
        QTest::newRow("zero-byte reads, time bound")
            << int(Pager::ZeroByteReads) << 900 << none << none << 16 << false << false << 18;
        QTest::newRow("one bad word keeps the records before it")
            << int(Pager::OneBadWord) << 0 << 5 << none << 16 + 2 + 3 << true << false << 3;
        QTest::newRow("damage after the end record hides nothing")
            << int(Pager::DamageAfterEnd) << 0 << 5 << none << 16 + 3 << true << true << 2;
        QTest::newRow("a repeated page adds nothing")
            << int(Pager::RepeatedPageThenEnd) << 0 << 5 << none << 16 + 3 << true << true << 3;
    }
    void stuckPagersEnd()
    {
        QFETCH(int, kind);
        QFETCH(int, tick);
        QFETCH(int, quiet);
        QFETCH(int, maxPages);
        QFETCH(int, rows);
        QFETCH(bool, end);
        QFETCH(bool, complete);
        QFETCH(int, requests);

        const QByteArray first = FakePager::page(1, records(1, 16));
        const QByteArray last = FakePager::page(3, records(100, 3) + endRecord());
        connectWith([&](int request) {
            switch (Pager(kind)) {
            case Pager::SilentAfterOnePage:
                if (request == 1)
                    usbfake::queueReply(first, 64);
                break;
            case Pager::ZeroByteReads:
                if (request == 1)
                    usbfake::queueReply(first, 500);
                usbfake::queueRead(usbx::Success);
                usbfake::queueRead(usbx::Success);
                break;
            case Pager::SamePageForever:
                usbfake::queueReply(first, 64);
                break;
            case Pager::NewPagesForever:
                usbfake::queueReply(
                    FakePager::page(request, records(std::uint32_t(request) * 16, 16)), 64);
                break;
            case Pager::NotPages:
                usbfake::queueReply(request == 1 ? first : FakePager::line("DR_Pager ERROR BUSY"));
                break;
            case Pager::DripFeed:
                usbfake::queueReply(first, 1);
                break;
            case Pager::OneBadWord: {
                QByteArray damaged = FakePager::page(2, records(50, 5));
                const int at = damaged.indexOf("BLK=") + 9 + 5 * 8 * 2 + 5; // record 3, word 2
                damaged[at] = 'Z';
                usbfake::queueReply(request == 1 ? first : request == 2 ? damaged : last, 64);
                break;
            }
            case Pager::DamageAfterEnd: {
                // Cut in the record that follows the end record.
                const QByteArray cut =
                    FakePager::page(3, records(100, 3) + endRecord() + records(200, 1));
                usbfake::queueReply(request == 1 ? first : cut.left(cut.indexOf("CRC=") - 3), 64);
                break;
            }
            case Pager::RepeatedPageThenEnd:
                usbfake::queueReply(request <= 2 ? first : last, 64);
                break;
            }
        });

        HistoryDownloadBounds bounds;
        bounds.clock = usbClock(tick);
        bounds.quietRequests = quiet;
        bounds.maxPages = maxPages;
        Records got;
        const HistoryDownloadResult result =
            downloadHistory(link, got.list, progress, {}, {}, bounds);

        QCOMPARE(got.list.size(), rows);
        QCOMPARE(result.endReached, end);
        QCOMPARE(result.complete(), complete);
        QCOMPARE(result.timedOut, !end);
        QVERIFY(!result.stopped);
        QCOMPARE(result.requests, requests);
        // Progress after every reply, counting every reply however it ended.
        QCOMPARE(progressCalls.size(), result.pages);
        for (int i = 0; i < progressCalls.size(); ++i)
            QCOMPARE(progressCalls.at(i), i + 1);
        // No record twice, in the order they came.
        for (int i = 1; i < got.list.size(); ++i)
            QVERIFY(got.list.at(i)->time > got.list.at(i - 1)->time);
        // Within the time bound of the last new record, one page late at most.
        QVERIFY(bounds.clock() <= bounds.quietMs + bounds.pageMs + 2 * tick + 16 * tick);
    }

    // Request numbers go on through repeated requests; an empty reply is a
    // page in the count; the request after a silent one is a new request.
    void repeatedRequestsAndEmptyReplies()
    {
        const QByteArray last = FakePager::page(2, records(20, 2) + endRecord());
        connectWith([&](int request) {
            if (request == 1)
                usbfake::queueRead(usbx::Success); // empty reply, ended by a failing read
            else if (request == 3)
                usbfake::queueReply(last, 64);
            // request 2: no answer at all
        });
        link.readInfo();
        Records got;
        const HistoryDownloadResult result = downloadHistory(link, got.list, progress);
        QCOMPARE(got.list.size(), 2);
        QVERIFY(result.endReached);
        QVERIFY(!result.complete()); // the empty reply and the silence may have lost a page
        QCOMPARE(result.requests, 3);
        QCOMPARE(result.pages, 2);
        QCOMPARE(progressCalls, (QList<int>{1, 2}));
        QStringList numbers;
        for (const QByteArray &w : usbfake::writes())
            numbers << QString::fromLatin1(w.mid(w.indexOf('$') + 1, 4));
        QCOMPARE(numbers, (QStringList{"0001", "0002", "0003", "0004", "0005"}));
        QVERIFY(usbfake::writes().last().contains(" read_history CRC="));
    }

    // The stop function is asked after every reply and ends the download
    // after the current page.
    void stopEndsAfterTheCurrentPage()
    {
        connectWith([&](int request) {
            usbfake::queueReply(FakePager::page(request, records(std::uint32_t(request) * 16, 16)),
                                64);
        });
        int asked = 0;
        Records got;
        QList<int> pagesWhenAsked;
        const HistoryDownloadResult result = downloadHistory(link, got.list, progress, {}, [&] {
            pagesWhenAsked << got.list.size() / 16;
            return ++asked == 2;
        });
        QVERIFY(result.stopped);
        QVERIFY(!result.timedOut && !result.complete());
        QCOMPARE(got.list.size(), 32);
        QCOMPARE(pagesWhenAsked, (QList<int>{1, 2}));
        QCOMPARE(result.requests, 2);
    }

    // Every reply goes to the sink byte for byte, NULs included.
    void sinkGetsEveryReply()
    {
        QByteArray withNul = FakePager::page(1, records(1, 2));
        withNul.insert(3, '\0');
        const QByteArray last = FakePager::page(2, records(5, 1) + endRecord());
        connectWith([&](int request) {
            if (request == 1)
                usbfake::queueReply(withNul, 7);
            else
                usbfake::queueReply(last, 500);
        });
        QList<QByteArray> replies;
        Records got;
        const HistoryDownloadResult result =
            downloadHistory(link, got.list, progress, [&](const QByteArray &r) { replies << r; });
        QVERIFY(result.complete());
        QCOMPARE(replies, (QList<QByteArray>{withNul, last}));
        QCOMPARE(got.list.size(), 3);
    }
};

TstHistoryDownload *TstHistoryDownload::current = nullptr;

QTEST_GUILESS_MAIN(TstHistoryDownload)
#include "tst_historydownload.moc"
