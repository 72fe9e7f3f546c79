// A download's dump as the archive stores it: the dump's bytes compressed
// (qCompress), and their size. Reading one back checks it as any file from
// outside is checked, since the archive file may have been altered.
#pragma once

#include "historydump.h"

#include <QByteArray>
#include <QString>

QByteArray archiveDumpBlob(const QByteArray &dumpBytes);
// The dump of a stored blob; false, with the reason, when the blob does not
// uncompress to `expectedSize` bytes or they are not a readable dump.
bool readArchiveDumpBlob(const QByteArray &blob, qint64 expectedSize, HistoryDump *dump,
                         QString *error);
