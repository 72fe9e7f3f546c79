// Pure decoding of one history page reply.
#pragma once

#include "historyrecord.h"

#include <QByteArray>
#include <QList>
#include <QMultiHash>
#include <QString>

// What one page reply holds. The reply is read as bytes: markers and words
// are ASCII, and a NUL or an invalid UTF-8 sequence is just a byte that is no
// hexadecimal digit.
//
// The payload runs from five bytes after the first "BLK=" to the first
// "CRC=" after that and is split at every space. The page is intact when
// "CRC=" is there and every piece is a word of one to four hexadecimal
// digits, apart from one empty last piece (the space before "CRC="). Without
// "CRC=" the reply was cut short and its last piece may be a cut word.
struct HistoryPage
{
    bool isPage = false; // holds "BLK="
    bool intact = false;
    // The page's byte string, each word low byte first, from the words that
    // stand before the first damaged piece (all words of an intact page).
    QByteArray bytes;
};

HistoryPage readHistoryPage(const char *data, int size);
inline HistoryPage readHistoryPage(const QByteArray &reply)
{
    return readHistoryPage(reply.constData(), reply.size());
}

// Appends the whole 16-byte records of a page's byte string to `records`
// (new heap objects, owned by the caller), times counted from `timeBase`
// (POSIX seconds of the device epoch). Stops at a record with minute count 0
// and returns false then: the end of the history. Bytes after the last whole
// record are ignored.
bool appendHistoryRecords(const QByteArray &bytes, qint64 timeBase,
                          QList<HistoryRecord *> &records);

// Turns page replies into records the way a download does: the records of a
// page before its first damaged word are kept, a page that was taken before
// (the same byte string again) adds nothing, and the end record ends it.
class HistoryPageReader
{
public:
    // Records are appended to `records`, times counted from `timeBase`.
    HistoryPageReader(qint64 timeBase, QList<HistoryRecord *> &records);

    struct Outcome
    {
        bool isPage = false;
        bool newRecords = false; // the reply added a record
        bool damaged = false;    // records before the end may be missing
    };
    Outcome take(const QByteArray &reply);
    bool endReached() const { return end; }

private:
    qint64 timeBase;
    QList<HistoryRecord *> &records;
    // The byte strings records came from, found by their first record: a
    // page sent again, also cut short or run on, adds only what is new.
    QList<QByteArray> taken;
    QMultiHash<QByteArray, int> takenByHead;
    bool end = false;
};

// One page reply decoded against the device epoch in the local zone: the
// records before the first damaged word are appended; false when the end
// record was among them.
bool parseHistoryPageText(const QString &reply, QList<HistoryRecord *> &records);
