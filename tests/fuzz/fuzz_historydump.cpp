// A history dump file: any bytes, read, decoded and shown; the serial number
// taken from its header or replies is always a valid one.
#include "historydump.h"
#include "historytablemodel.h"
#include "serialnumber.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    HistoryDump dump;
    if (!readHistoryDump(bytes, &dump, nullptr))
        return 0;
    // A serial number taken is one (serialnumber.h); a header's that differs
    // from the replies' is one too.
    if ((!dump.serialNumber.isEmpty() && !isSerialNumber(dump.serialNumber)) ||
        (!dump.headerSerialNumber.isEmpty() && !isSerialNumber(dump.headerSerialNumber)))
        std::abort();
    // What was read is written back the same way.
    HistoryDump again;
    if (!readHistoryDump(historyDumpBytes(dump), &again, nullptr) || again.pages != dump.pages ||
        again.serialNumber != dump.serialNumber || again.timeZoneId != dump.timeZoneId)
        std::abort();

    QList<HistoryRecord *> records;
    decodeHistoryDump(dump, records);
    if (records.size() <= 200) {
        HistoryTableModel model;
        model.setRecords(records, dump.timeZone());
        // The texts are made when asked for.
        for (int r = 0; r < model.rowCount(); ++r)
            for (int c = 0; c < model.columnCount(); ++c)
                model.index(r, c).data();
    }
    qDeleteAll(records);
    return 0;
}
