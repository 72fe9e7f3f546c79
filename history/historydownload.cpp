#include "historydownload.h"

#include "historypage.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {

constexpr int receiveBufferSize = 500;

// Gathers one page reply: read until the pager stops sending (a read that
// fails or brings nothing), or until the deadline or the byte bound.
// False when the first read failed: no reply at all.
bool collectPage(PagerLink &link, const HistoryDownloadBounds &bounds,
                 const std::function<qint64()> &now, qint64 deadline, QByteArray *reply)
{
    char buffer[receiveBufferSize];
    std::uint32_t got = 0;
    if (usbx::read(link.usbHandle, buffer, receiveBufferSize, &got, nullptr) != usbx::Success)
        return false;
    reply->append(buffer, int(qMin<std::uint32_t>(got, receiveBufferSize)));
    while (reply->size() < bounds.pageBytes && now() < deadline) {
        got = 0;
        if (usbx::read(link.usbHandle, buffer, receiveBufferSize, &got, nullptr) != usbx::Success ||
            got == 0)
            break;
        reply->append(buffer, int(qMin<std::uint32_t>(got, receiveBufferSize)));
    }
    return true;
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

    for (;;) {
        link.writeBytes(link.nextCommandLine(QStringLiteral("read_history")));
        ++result.requests;

        const qint64 deadline = qMin(now() + bounds.pageMs, quietSince + bounds.quietMs);
        QByteArray reply;
        bool progressMade = false;
        if (!collectPage(link, bounds, now, deadline, &reply)) {
            if (result.requests > 1) {
                ++result.gaps; // a page may have been sent and lost
                if (sink)
                    sink(QByteArray()); // the dump keeps the gap: it decodes as incomplete
            }
        } else {
            ++result.pages;
            totalBytes += reply.size();
            if (progress)
                progress(result.pages);
            if (sink)
                sink(reply);

            const HistoryPageReader::Outcome taken = reader.take(reply);
            progressMade = taken.newRecords;
            if (!taken.isPage || taken.damaged)
                ++result.gaps; // no page, or one that lost records: ask on
            result.endReached = reader.endReached();
        }
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
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
        if (quietRequests >= bounds.quietRequests || now() - quietSince >= bounds.quietMs ||
            result.pages >= bounds.maxPages || records.size() - firstRecord >= bounds.maxRecords ||
            totalBytes >= bounds.maxTotalBytes) {
            result.timedOut = true;
            break;
        }
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
