// A history dump file: any bytes, read, decoded and shown.
#include "historydump.h"
#include "historytable.h"

#include <QStandardItemModel>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    HistoryDump dump;
    if (!readHistoryDump(bytes, &dump, nullptr))
        return 0;
    // What was read is written back the same way.
    HistoryDump again;
    if (!readHistoryDump(historyDumpBytes(dump), &again, nullptr) || again.pages != dump.pages ||
        again.serialNumber != dump.serialNumber || again.timeZoneId != dump.timeZoneId)
        std::abort();

    QList<HistoryRecord *> records;
    decodeHistoryDump(dump, records);
    if (records.size() <= 200) {
        QStandardItemModel model;
        setupHistoryModel(&model);
        fillHistoryTable(&model, records, dump.timeZone());
    }
    qDeleteAll(records);
    return 0;
}
