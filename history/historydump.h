// A saved download: every page reply as received, with where and when it was
// made, so that the history can be read again without the pager.
//
// Format: the line "DR7326G-05A history dump 2", then the header lines
// "serial <text>", "downloaded <yyyy-MM-ddTHH:mm:ss+hh:mm>" and
// "zone <IANA name>" (values percent-encoded, empty when not known), then per
// page "PAGE <n> <bytes>\n", the raw bytes and a line feed, pages numbered
// from 1. Dumps of the first format ("... dump 1", no header lines) still
// read; they are shown in the local zone.
//
// The serial number: every verified page reply names the pager
// ("DR_Pager#SN $0003 READ_HISTORY BLK=... CRC=XXXX"), so the replies' serial
// number is the dump's; the header's stands in only when no reply verifies.
// A header that names another pager than the replies is noted
// (headerSerialNumber) and the replies' serial number is taken. A dump is
// refused when its header or a verified reply holds no valid serial number
// (serialnumber.h) or its replies name more than one pager.
#pragma once

#include "historyrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

struct HistoryDump
{
    QString serialNumber; // empty when neither header nor replies say
    // Read only: the header's serial number when the replies name another
    // pager (whose number serialNumber then holds); empty otherwise.
    QString headerSerialNumber;
    QDateTime downloadedAt;  // PC date and time of the download; invalid when not known
    QByteArray timeZoneId;   // IANA name of the PC's zone at download; empty: the local zone
    QList<QByteArray> pages; // every page reply, byte for byte as received

    // The zone the records are decoded and shown in: the named zone; when this
    // PC does not know it, the UTC offset the download was made at; without
    // either, the local zone.
    QTimeZone timeZone() const;
    // Whether any request brought bytes (a failed one is kept as an empty page).
    bool holdsReplies() const;
};

QByteArray historyDumpBytes(const HistoryDump &dump);
// Reads a dump; false when the bytes are not one or are damaged, with the
// reason and its byte position in `error`, and *serialRefused set when the
// reason is its serial number. `dump` is filled only on success.
bool readHistoryDump(const QByteArray &bytes, HistoryDump *dump, QString *error,
                     bool *serialRefused = nullptr);
// Writes all or nothing: an earlier file stays as it was when writing fails.
bool saveHistoryDump(const HistoryDump &dump, const QString &fileName, QString *error);

// Decodes the pages as a download would, times against the device epoch in
// dump.timeZone(); true when the end record was among them and nothing
// before it was missing or damaged. The records are flagged (historyflags.h)
// against the dump's instant and the pager's history interval when known
// (minutes; 0: the records' usual spacing).
bool decodeHistoryDump(const HistoryDump &dump, QList<HistoryRecord *> &records,
                       int intervalMinutes = 0);
// Flags the records a download brought as decodeHistoryDump would flag them
// from its pages (`dump`, which may hold none: then against the dump's
// instant only, every page taken as verified).
void flagDownloadedRecords(const HistoryDump &dump, const QList<HistoryRecord *> &records,
                           int intervalMinutes = 0);
