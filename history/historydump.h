// A saved download: every page reply as received, with where and when it was
// made, so that the history can be read again without the pager.
//
// Format: the line "DR7326G-05A history dump 2", then the header lines
// "serial <text>", "downloaded <yyyy-MM-ddTHH:mm:ss+hh:mm>" and
// "zone <IANA name>" (values percent-encoded, empty when not known), then per
// page "PAGE <n> <bytes>\n", the raw bytes and a line feed, pages numbered
// from 1. Dumps of the first format ("... dump 1", no header lines) still
// read; they carry no serial number and are shown in the local zone.
#pragma once

#include "historyrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

struct HistoryDump
{
    QString serialNumber;    // empty when the dump does not say (first format)
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
// reason and its byte position in `error`. `dump` is filled only on success.
bool readHistoryDump(const QByteArray &bytes, HistoryDump *dump, QString *error);
// Writes all or nothing: an earlier file stays as it was when writing fails.
bool saveHistoryDump(const HistoryDump &dump, const QString &fileName, QString *error);

// Decodes the pages as a download would, times against the device epoch in
// dump.timeZone(); true when the end record was among them and nothing
// before it was missing or damaged.
bool decodeHistoryDump(const HistoryDump &dump, QList<HistoryRecord *> &records);
