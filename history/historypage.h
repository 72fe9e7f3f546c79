// Pure decoding of history page replies.
#pragma once

#include "historyrecord.h"

#include <QByteArray>
#include <QList>
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
    // The five characters after "BLK=" (the block number and a space; fewer
    // when the reply ends sooner): two pages alike but numbered differently
    // are two pages.
    QByteArray block;
};

HistoryPage readHistoryPage(const char *data, int size);
inline HistoryPage readHistoryPage(const QByteArray &reply)
{
    return readHistoryPage(reply.constData(), reply.size());
}

// Every page of a reply that holds more than one (a late page arrives with
// the next), in order. Each runs from its "BLK=" to its "CRC=" line; a page
// without "CRC=" ends where the next "BLK=" begins and counts as cut short.
QList<HistoryPage> readHistoryPages(const QByteArray &reply);

// Where the last page in `bytes` ends whose reply line is whole and verified:
// "CRC=", four hexadecimal digits and a line feed, the digits being the
// CRC-16/X-25 of the line from its start (after the previous line end)
// through "CRC=", as every text reply of the pager carries. The end is just
// after the line feed, and after a carriage return that follows it. Only line
// feeds at `from` or later are looked at; -1 when none ends such a page.
int verifiedPagesEnd(const QByteArray &bytes, int from = 0);

// Appends the whole 16-byte records of a page's byte string to `records`
// (new heap objects, owned by the caller), times counted from `timeBase`
// (POSIX seconds of the device epoch). Stops at a record with minute count 0
// and returns false then: the end of the history. Bytes after the last whole
// record are ignored.
bool appendHistoryRecords(const QByteArray &bytes, qint64 timeBase,
                          QList<HistoryRecord *> &records);

// Turns page replies into records the way a download does: every page of a
// reply in order; the records of a page before its first damaged word are
// kept; the end record ends it. A page is a repeat, and adds nothing, only
// when it is the page just before it again (block field included), whole or
// cut short; when it is that page completed, only its records not yet taken
// are added. Every other page is taken, even one alike an earlier page.
class HistoryPageReader
{
public:
    // Records are appended to `records`, times counted from `timeBase`.
    HistoryPageReader(qint64 timeBase, QList<HistoryRecord *> &records);

    struct Outcome
    {
        bool isPage = false;     // the reply held a page
        int pages = 0;           // how many
        bool newRecords = false; // the reply added a record
        bool damaged = false;    // records before the end may be missing
        // The records (indexes into the list) that the reply's pages hold,
        // new or taken from an earlier copy of the same page; -1 for none.
        int heldFirst = -1, heldEnd = -1;
    };
    Outcome take(const QByteArray &reply);
    bool endReached() const { return end; }

private:
    void takePage(const HistoryPage &page, Outcome *outcome);

    qint64 timeBase;
    QList<HistoryRecord *> &records;
    HistoryPage previous;  // the last page seen, or the longer copy of it
    int previousFirst = 0; // where the records of `previous` begin
    bool end = false;
};

// One page reply decoded against the device epoch in the local zone: the
// records before the first damaged word are appended; false when the end
// record was among them.
bool parseHistoryPageText(const QString &reply, QList<HistoryRecord *> &records);
