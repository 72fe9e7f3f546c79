#include "historydownload.h"

#include "historypage.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {

constexpr int receiveBufferSize = 500;

void processPendingEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// One reply as gathered for a page request.
struct Reply
{
    bool arrived = false; // false: the first read failed and nothing was carried over
    QByteArray bytes;
    // Completed by a failing read (the pager fell silent) or by a page line
    // whose checksum verifies: its pages are counted.
    bool counted = false;
};

// Gathers one reply, starting with the bytes carried over from the last one.
// It is complete as soon as a page line has ended and its checksum verifies;
// otherwise when the pager stops sending (a read that fails or brings
// nothing), or at the deadline or the byte bound. Bytes after the last
// verified page are carried over into the next reply. Pending events run
// after every read.
Reply collectReply(PagerLink &link, const HistoryDownloadBounds &bounds,
                   const std::function<qint64()> &now, qint64 deadline, QByteArray *carry)
{
    Reply reply;
    QByteArray received;
    received.swap(*carry);
    bool started = !received.isEmpty();
    int looked = 0; // line feeds before this position are known not to end a page
    char buffer[receiveBufferSize];
    for (;;) {
        std::uint32_t got = 0;
        const bool ok =
            usbx::read(link.usbHandle, buffer, receiveBufferSize, &got, nullptr) == usbx::Success;
        processPendingEvents();
        if (!ok) {
            reply.counted = started;
            break;
        }
        if (got == 0 && started)
            break;
        started = true;
        received.append(buffer, int(qMin<std::uint32_t>(got, receiveBufferSize)));
        const int end = verifiedPagesEnd(received, looked);
        looked = received.size();
        if (end >= 0) {
            *carry = received.mid(end);
            received.truncate(end);
            reply.counted = true;
            break;
        }
        if (received.size() >= bounds.pageBytes || now() >= deadline)
            break;
    }
    reply.arrived = started;
    reply.bytes = received;
    return reply;
}

} // namespace

HistoryDownloadResult downloadHistory(PagerLink &link, QList<HistoryRecord *> &records,
                                      HistoryProgressFunction progress, const HistoryPageSink &sink,
                                      const HistoryStopFunction &stop)
{
    return downloadHistory(link, records, progress, sink, stop, HistoryDownloadBounds());
}

HistoryDownloadResult downloadHistory(PagerLink &link, QList<HistoryRecord *> &records,
                                      HistoryProgressFunction progress, const HistoryPageSink &sink,
                                      const HistoryStopFunction &stop,
                                      const HistoryDownloadBounds &bounds)
{
    QElapsedTimer steady;
    steady.start();
    const std::function<qint64()> now =
        bounds.clock ? bounds.clock : [&steady] { return steady.elapsed(); };
    const qint64 timeBase = deviceEpoch().toSecsSinceEpoch();
    const int firstRecord = records.size();

    HistoryDownloadResult result;
    HistoryPageReader reader(timeBase, records);
    qint64 totalBytes = 0;
    int quietRequests = 0;
    qint64 quietSince = now();
    QByteArray carry;

    // Hands a reply on to the sink and takes its pages; true when it added a record.
    auto take = [&](const Reply &reply) {
        totalBytes += reply.bytes.size();
        if (sink)
            sink(reply.bytes);
        const HistoryPageReader::Outcome taken = reader.take(reply.bytes);
        if (reply.counted) {
            for (int i = 0; i < taken.pages; ++i) {
                ++result.pages;
                if (progress)
                    progress(result.pages);
            }
        }
        if (!taken.isPage || taken.damaged)
            ++result.gaps; // no page, or one that lost records: ask on
        result.endReached = reader.endReached();
        return taken.newRecords;
    };

    for (;;) {
        link.writeBytes(link.nextCommandLine(QStringLiteral("read_history")));
        ++result.requests;

        const qint64 deadline = qMin(now() + bounds.pageMs, quietSince + bounds.quietMs);
        const Reply reply = collectReply(link, bounds, now, deadline, &carry);
        bool progressMade = false;
        if (!reply.arrived) {
            ++result.gaps; // a page may have been sent and lost
            if (sink)
                sink(QByteArray()); // the dump keeps the gap: it decodes as incomplete
        } else {
            progressMade = take(reply);
        }
        if (result.endReached)
            break;

        if (progressMade) {
            quietRequests = 0;
            quietSince = now();
        } else {
            ++quietRequests;
        }
        if (stop && stop()) {
            result.stopped = true;
            break;
        }
        result.sizeBound = result.pages >= bounds.maxPages ||
                           records.size() - firstRecord >= bounds.maxRecords ||
                           totalBytes >= bounds.maxTotalBytes;
        if (result.sizeBound || quietRequests >= bounds.quietRequests ||
            now() - quietSince >= bounds.quietMs) {
            result.timedOut = true;
            break;
        }
    }
    // Bytes of a page not yet whole: its records before the cut count, and
    // the dump keeps every byte received.
    if (!carry.isEmpty() && !result.endReached) {
        Reply rest;
        rest.bytes = carry;
        take(rest);
    } else if (!carry.isEmpty() && sink) {
        sink(carry);
    }
    return result;
}

bool PagerLink::readHistory(QList<HistoryRecord *> &records, HistoryProgressFunction progress)
{
    return downloadHistory(*this, records, progress).complete();
}

bool PagerLink::parseHistoryPage(const QString &page, QList<HistoryRecord *> &records)
{
    return parseHistoryPageText(page, records);
}
