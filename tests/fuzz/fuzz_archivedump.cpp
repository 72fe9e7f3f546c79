// A download's dump as read back from an archive file, which anything may
// have written: the compressed blob uncompressed against the size stored
// beside it, then read as a dump. The size is taken from the blob's own head,
// so that most inputs reach the uncompression.
#include "archivedumpblob.h"

#include <QtEndian>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray blob(reinterpret_cast<const char *>(data), int(size));
    const qint64 claimed = size >= 4 ? qint64(qFromBigEndian<quint32>(data)) : 0;
    HistoryDump dump;
    QString error;
    if (readArchiveDumpBlob(blob, claimed, &dump, &error)) {
        // What reads back is a dump that stores again as the same blob's bytes.
        HistoryDump again;
        if (!readArchiveDumpBlob(archiveDumpBlob(historyDumpBytes(dump)),
                                 historyDumpBytes(dump).size(), &again, &error) ||
            again.pages != dump.pages)
            std::abort();
    } else if (error.isEmpty()) {
        std::abort(); // a refusal always says why
    }
    return 0;
}
