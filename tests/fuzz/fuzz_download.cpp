// A whole history download from a pager whose reads are given by the input:
// each step is one read that fails, brings nothing, or brings the next bytes.
// Every USB call counts as one second of pager time, so the time bounds end
// a download after a few dozen calls.
#include "historydownload.h"
#include "historydump.h"
#include "usbfake.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Queues the reads; returns every byte they bring, in order.
QByteArray queueReads(const std::uint8_t *data, std::size_t size)
{
    QByteArray all;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t op = data[at++];
        if (op == 0) {
            usbfake::queueFailure();
        } else if (op == 1) {
            usbfake::queueRead(usbx::Success);
        } else {
            const std::size_t n = qMin<std::size_t>(op, size - at);
            const QByteArray bytes(reinterpret_cast<const char *>(data + at), int(n));
            usbfake::queueRead(usbx::Success, bytes);
            all += bytes;
            at += n;
        }
    }
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    usbfake::reset();
    const QByteArray sent = queueReads(data, size);
    PagerLink link;
    HistoryDownloadBounds bounds;
    bounds.clock = [] { return qint64(usbfake::calls().size()) * 1000; };
    QList<QByteArray> replies;
    QList<HistoryRecord *> records;
    const HistoryDownloadResult result = downloadHistory(
        link, records, nullptr, [&](const QByteArray &r) { replies << r; }, {}, bounds);
    // A download ends at the end record or at a bound; each request gives
    // the sink one reply (a failed one an empty reply), and bytes carried
    // over after a verified page one more at the end.
    if (replies.size() > result.requests + 1 || (!result.endReached && !result.timedOut) ||
        result.stopped)
        std::abort();
    // Every byte read reaches the sink once, in order: a reply may hold
    // several pages, and bytes after a verified page begin the next reply.
    QByteArray dumped;
    for (const QByteArray &r : replies)
        dumped += r;
    if (!sent.startsWith(dumped) || (usbfake::pendingReads() == 0 && dumped != sent))
        std::abort();

    // The replies saved as a dump give the same records.
    HistoryDump dump;
    dump.pages = replies;
    HistoryDump back;
    QList<HistoryRecord *> decoded;
    // Unless the pager's replies name no single valid serial number, which
    // a dump refuses.
    bool serialRefused = false;
    if (!readHistoryDump(historyDumpBytes(dump), &back, nullptr, &serialRefused)) {
        if (serialRefused) {
            qDeleteAll(records);
            return 0;
        }
        std::abort();
    }
    decodeHistoryDump(back, decoded);
    if (decoded.size() != records.size())
        std::abort();
    for (int i = 0; i < records.size(); ++i)
        if (records.at(i)->time != decoded.at(i)->time ||
            records.at(i)->eventCode != decoded.at(i)->eventCode)
            std::abort();
    qDeleteAll(records);
    qDeleteAll(decoded);
    return 0;
}
