// One page reply as the pager might send it: any bytes.
#include "historypage.h"
#include "pagerlink.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), int(size));
    const HistoryPage page = readHistoryPage(reply);
    // Two bytes per word, and words only from a page.
    if (page.bytes.size() % 2 != 0 || (!page.isPage && !page.bytes.isEmpty()) ||
        (page.intact && !page.isPage))
        std::abort();

    // Every page of a reply, the first of them as read alone; a verified
    // page ends with its line feed (and a carriage return after it).
    const QList<HistoryPage> pages = readHistoryPages(reply);
    if (pages.isEmpty() != !page.isPage ||
        (!pages.isEmpty() && !page.bytes.startsWith(pages.first().bytes)))
        std::abort();
    const int end = verifiedPagesEnd(reply);
    if (end > reply.size() || (end >= 0 && (pages.isEmpty() || !(reply.at(end - 1) == '\n' ||
                                                                 reply.mid(end - 2, 2) == "\n\r"))))
        std::abort();

    QList<HistoryRecord *> records;
    const bool goesOn = appendHistoryRecords(page.bytes, deviceEpoch().toSecsSinceEpoch(), records);
    const int whole = page.bytes.size() / storedRecordSize;
    if (records.size() > whole || (goesOn && records.size() != whole))
        std::abort();
    qDeleteAll(records);
    records.clear();

    // The text entry point reads the same bytes when they are valid UTF-8.
    parseHistoryPageText(QString::fromUtf8(reply.constData(), reply.size()), records);
    qDeleteAll(records);
    return 0;
}
