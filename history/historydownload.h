// Downloading the pager's event history page by page.
#pragma once

#include "historyrecord.h"
#include "pagerlink.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// How long a download goes on when the pager stops making progress. A reply
// brings progress when it adds a record: the page just before it sent again
// adds none. The download ends
//  - after `quietRequests` successive requests without progress (no reply,
//    an empty reply, no page, a damaged page without a whole record, a
//    repeated page), or
//  - when `quietMs` have passed without progress, or
//  - at `maxPages` pages, `maxRecords` records or `maxTotalBytes` bytes; the
//    record bound is a pager's whole memory, which with its table (about
//    100 bytes a record) and its replies keeps a download within about 200 MB.
// Each page reply ends at the latest after `pageMs` or `pageBytes`, as a text
// exchange does. With the defaults a pager that stops making progress is let
// go within about 50 s of its last new record, whatever it sends.
struct HistoryDownloadBounds
{
    int quietRequests = 5;
    qint64 quietMs = 45000;
    qint64 pageMs = exchangebounds::deadlineMs;
    int pageBytes = 64 * 1024;
    int maxPages = 65536;
    int maxRecords = 65536 * 16; // 65536 pages of 16 records
    qint64 maxTotalBytes = qint64(64) << 20;
    // Milliseconds from any fixed start; a steady clock when empty. Tests
    // pass their own to run the time bounds without waiting.
    std::function<qint64()> clock;
};

struct HistoryDownloadResult
{
    bool endReached = false; // the end record arrived
    // Pages read: those of replies completed by a verified page checksum or
    // by a failing read (the pager fell silent); an empty reply has none.
    int pages = 0;
    int requests = 0;       // page requests sent
    int gaps = 0;           // requests answered by no page, or by a damaged one
    bool stopped = false;   // ended by the stop function
    bool timedOut = false;  // ended by the bounds
    bool sizeBound = false; // among them the page, record or byte bound
    // Every record of the pager is in the list.
    bool complete() const { return endReached && gaps == 0; }
};

// Receives every page reply as it arrived, before it is parsed.
using HistoryPageSink = std::function<void(const QByteArray &reply)>;
// Asked after every reply; true ends the download there.
using HistoryStopFunction = std::function<bool()>;

// Requests pages until the end record, appending the decoded records to
// `records` (the caller owns them). Needs an open connection. A reply is
// complete as soon as a page line has ended and its checksum verifies, else
// when the pager falls silent; it may hold several pages, all taken in order,
// and bytes after its last verified page begin the next reply. The sink gets
// every byte received once, reply by reply (a failed request as an empty
// reply). The progress function is called for every page counted, and
// pending events run after every read.
HistoryDownloadResult downloadHistory(PagerLink &link, QList<HistoryRecord *> &records,
                                      HistoryProgressFunction progress,
                                      const HistoryPageSink &sink = HistoryPageSink(),
                                      const HistoryStopFunction &stop = HistoryStopFunction());
HistoryDownloadResult downloadHistory(PagerLink &link, QList<HistoryRecord *> &records,
                                      HistoryProgressFunction progress, const HistoryPageSink &sink,
                                      const HistoryStopFunction &stop,
                                      const HistoryDownloadBounds &bounds);
