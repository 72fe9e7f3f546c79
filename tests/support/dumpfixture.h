// History dumps made up for the archive tests: records told apart by their
// minute count, 16 to a page, as the pager lays them out; the table decode
// shows for one; files read and written whole.
#pragma once

#include "fakepager.h"
#include "historydump.h"
#include "historytablemodel.h"

#include <QFile>
#include <QTimeZone>

#include <algorithm>

// A dump of one download of `serial` (in the header and every reply) holding
// a record for each minute count (a count given twice is the same record
// twice), closed by the end record unless `end` is false; made
// `downloadedAt` seconds after 2026-01-01 UTC.
inline HistoryDump historyDumpOf(const QString &serial, const QList<int> &minutes, bool end = true,
                                 qint64 downloadedAt = 0)
{
    HistoryDump dump;
    dump.serialNumber = serial;
    dump.timeZoneId = QByteArrayLiteral("UTC");
    dump.downloadedAt = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(downloadedAt);
    QList<std::uint16_t> words;
    auto flush = [&]() {
        // The block number has four digits.
        dump.pages << FakePager::page(dump.pages.size() % 9999 + 1, words, serial);
        words.clear();
    };
    for (int i = 0; i < minutes.size(); ++i) {
        const int m = minutes.at(i);
        words << FakePager::record(std::uint32_t(m), m % 7 == 0 ? 'A' : 'F', std::uint16_t(m), 1.0f,
                                   1.0e-7f * float(m % 50 + 1), 1.0e-4f * float(m));
        if (words.size() == 16 * 8)
            flush();
    }
    if (end)
        words << FakePager::record(0, 'F', 0, 0, 0, 0);
    if (!words.isEmpty())
        flush();
    return dump;
}

// A record of dumpOfRecords: its instant (whole minutes after the device
// epoch, UTC), event code and dose (Sv).
struct FixtureRecord
{
    QDateTime at;
    char code;
    float dose;
};

// A dump of one download of `serial` holding `records` in order, closed by
// the end record, made a minute after the last.
inline HistoryDump dumpOfRecords(const QString &serial, const QList<FixtureRecord> &records)
{
    HistoryDump dump;
    dump.serialNumber = serial;
    dump.timeZoneId = QByteArrayLiteral("UTC");
    const QDateTime epoch(QDate(1999, 1, 1), QTime(0, 0), Qt::UTC);
    QList<std::uint16_t> words;
    for (const FixtureRecord &r : records) {
        words << FakePager::record(std::uint32_t(epoch.secsTo(r.at) / 60), r.code, 20, 1.0f,
                                   1.0e-7f, r.dose);
        dump.downloadedAt = r.at.addSecs(60);
    }
    words << FakePager::record(0, 'F', 0, 0, 0, 0);
    for (int at = 0; at < words.size(); at += 16 * 8)
        dump.pages << FakePager::page(dump.pages.size() + 1, words.mid(at, 16 * 8), serial);
    return dump;
}

// The table `decode` shows for `dump`, in the archive's order: by time, a
// record held twice beside its first copy.
inline void fillDecodedTable(HistoryTableModel *table, const HistoryDump &dump)
{
    QList<HistoryRecord *> records;
    decodeHistoryDump(dump, records);
    std::stable_sort(
        records.begin(), records.end(),
        [](const HistoryRecord *a, const HistoryRecord *b) { return a->time < b->time; });
    table->setRecords(records, dump.timeZone());
    qDeleteAll(records);
}

// A file's bytes; none when it cannot be read.
inline QByteArray fileBytes(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes `bytes` to a new file; false when it cannot.
inline bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
