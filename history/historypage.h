// Pure decoding of one history page reply.
#pragma once

#include "historyrecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The page's byte string: the hexadecimal words between "BLK=" (plus five
// characters) and "CRC=", each word giving its low byte then its high byte.
QByteArray historyPagePayload(const QString &reply);

// Whether the reply is a history page at all (holds "BLK=").
bool isHistoryPage(const QString &reply);

// Appends the page's records to `records` (new heap objects, owned by the
// caller). Returns false when the page held the end record (minute count 0).
bool parseHistoryPageText(const QString &reply, QList<HistoryRecord *> &records);
