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
