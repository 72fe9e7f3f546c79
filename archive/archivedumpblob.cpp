#include "archivedumpblob.h"

#include <QtEndian>

namespace {

// A dump is at most a download's byte bound and some header lines; a blob
// claiming more is damaged, not a reason to allocate gigabytes.
constexpr qint64 maxDumpBytes = qint64(256) << 20;

} // namespace

QByteArray archiveDumpBlob(const QByteArray &dumpBytes)
{
    // The fastest level: the page text shrinks about eightfold even so.
    return qCompress(dumpBytes, 1);
}

bool readArchiveDumpBlob(const QByteArray &blob, qint64 expectedSize, HistoryDump *dump,
                         QString *error)
{
    // qCompress puts the size first, big-endian; qUncompress would trust it.
    if (blob.size() < 4 || expectedSize < 0 || expectedSize > maxDumpBytes ||
        qFromBigEndian<quint32>(blob.constData()) != quint32(expectedSize)) {
        if (error)
            *error = QStringLiteral("the stored dump is damaged (size)");
        return false;
    }
    const QByteArray bytes = qUncompress(blob);
    if (bytes.size() != expectedSize) {
        if (error)
            *error = QStringLiteral("the stored dump is damaged (does not uncompress)");
        return false;
    }
    QString reason;
    if (!readHistoryDump(bytes, dump, &reason)) {
        if (error)
            *error = QStringLiteral("the stored dump is damaged: %1").arg(reason);
        return false;
    }
    return true;
}
