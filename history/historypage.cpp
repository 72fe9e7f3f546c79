#include "historypage.h"

#include "checksum.h"
#include "pagerlink.h"

#include <cstring>

namespace {

// The marker and the five characters after it (block number and a space).
constexpr int payloadOffset = 9;
constexpr int maxWordDigits = 4;

int find(const char *data, int size, const char *marker, int from)
{
    const int length = int(std::strlen(marker));
    for (int i = from; i + length <= size; ++i)
        if (std::memcmp(data + i, marker, std::size_t(length)) == 0)
            return i;
    return -1;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The value of a piece of one to four hexadecimal digits, or -1.
int wordValue(const char *piece, int length)
{
    if (length < 1 || length > maxWordDigits)
        return -1;
    int value = 0;
    for (int i = 0; i < length; ++i) {
        const int d = hexDigit(piece[i]);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

// Reads the page whose "BLK=" is at `marker`. Its payload ends at the first
// "CRC=" after the payload start, or, without one, at `limit`. *next is where
// the search for a following page goes on.
HistoryPage readPageAt(const char *data, int size, int marker, int limit, int *next)
{
    HistoryPage page;
    page.isPage = true;
    page.block = QByteArray(data + qMin(marker + 4, size), qMax(0, qMin(5, size - marker - 4)));
    const int start = qMin(marker + payloadOffset, limit);
    // "CRC=" ends the payload only after its start, so a "CRC=" in the leading
    // text (or among the skipped characters) does not cut the page short.
    const int crc = find(data, limit, "CRC=", start);
    const bool hasEnd = crc >= 0;
    const int end = hasEnd ? crc : limit;
    if (next)
        *next = hasEnd ? crc + 4 : limit;

    page.bytes.reserve(((end - start) / 5 + 1) * 2);
    bool damaged = false;
    int from = start;
    for (;;) {
        const auto *space =
            static_cast<const char *>(std::memchr(data + from, ' ', std::size_t(end - from)));
        const int to = space ? int(space - data) : end;
        const bool last = !space;
        if (last && to == from && hasEnd)
            break; // the space before "CRC=" leaves one empty piece
        const int value = wordValue(data + from, to - from);
        // Without "CRC=" the last piece may be a word cut in the middle.
        if (value < 0 || (last && !hasEnd)) {
            damaged = true;
            break;
        }
        page.bytes.append(char(value & 0xFF));
        page.bytes.append(char(value >> 8));
        if (last)
            break;
        from = to + 1;
    }
    page.intact = hasEnd && !damaged;
    return page;
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// Whether the line feed at `lineFeed` closes a page line whose checksum verifies.
bool closesVerifiedPage(const char *data, int lineFeed)
{
    const int digitsAt = lineFeed - maxWordDigits;
    const int crc = digitsAt - 4;
    if (crc < 0 || std::memcmp(data + crc, "CRC=", 4) != 0)
        return false;
    const int sent = wordValue(data + digitsAt, maxWordDigits);
    if (sent < 0)
        return false;
    int lineStart = crc;
    while (lineStart > 0 && !isLineEnd(data[lineStart - 1]))
        --lineStart;
    // The line is a page whose own end marker this "CRC=" is.
    const int marker = find(data, crc, "BLK=", lineStart);
    if (marker < 0 || find(data, crc, "CRC=", qMin(marker + payloadOffset, crc)) >= 0)
        return false;
    const int covered = crc + 4 - lineStart;
    if (covered > 0xFFFF)
        return false;
    return (crc16(data + lineStart, std::uint16_t(covered), 0xFFFF) ^ 0xFFFF) == sent;
}

} // namespace

HistoryPage readHistoryPage(const char *data, int size)
{
    const int marker = find(data, size, "BLK=", 0);
    return marker < 0 ? HistoryPage() : readPageAt(data, size, marker, size, nullptr);
}

QList<HistoryPage> readHistoryPages(const QByteArray &reply)
{
    QList<HistoryPage> pages;
    const char *data = reply.constData();
    const int size = reply.size();
    int at = 0;
    for (;;) {
        const int marker = find(data, size, "BLK=", at);
        if (marker < 0)
            break;
        const int following = find(data, size, "BLK=", qMin(marker + payloadOffset, size));
        pages.append(readPageAt(data, size, marker, following < 0 ? size : following, &at));
    }
    return pages;
}

int verifiedPagesEnd(const QByteArray &bytes, int from)
{
    const char *data = bytes.constData();
    for (int at = bytes.size() - 1; at >= qMax(from, 0); --at) {
        if (data[at] != '\n' || !closesVerifiedPage(data, at))
            continue;
        return at + 1 < bytes.size() && data[at + 1] == '\r' ? at + 2 : at + 1;
    }
    return -1;
}

bool appendHistoryRecords(const QByteArray &bytes, qint64 timeBase, QList<HistoryRecord *> &records)
{
    const auto *raw = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    for (int at = 0; at + storedRecordSize <= bytes.size(); at += storedRecordSize) {
        if (storedRecordMinutes(raw + at) == 0)
            return false;
        records.append(new HistoryRecord(decodeStoredRecord(raw + at, timeBase)));
    }
    return true;
}

HistoryPageReader::HistoryPageReader(qint64 base, QList<HistoryRecord *> &list)
    : timeBase(base), records(list)
{
}

HistoryPageReader::Outcome HistoryPageReader::take(const QByteArray &reply)
{
    Outcome outcome;
    const QList<HistoryPage> pages = readHistoryPages(reply);
    outcome.pages = pages.size();
    outcome.isPage = !pages.isEmpty();
    for (const HistoryPage &page : pages) {
        if (end)
            break;
        takePage(page, &outcome);
    }
    return outcome;
}

void HistoryPageReader::takePage(const HistoryPage &page, Outcome *outcome)
{
    const auto held = [outcome](int first, int end) {
        if (first >= end)
            return;
        outcome->heldFirst = outcome->heldFirst < 0 ? first : qMin(outcome->heldFirst, first);
        outcome->heldEnd = qMax(outcome->heldEnd, end);
    };
    int known = 0; // leading bytes already taken from the page just before
    if (previous.isPage && page.block == previous.block) {
        if (previous.bytes.startsWith(page.bytes)) {
            // The same page again, or cut short: it holds what it repeats.
            held(previousFirst, qMin<int>(records.size(), previousFirst + int(page.bytes.size() /
                                                                              storedRecordSize)));
            return;
        }
        if (page.bytes.startsWith(previous.bytes))
            known = previous.bytes.size() / storedRecordSize * storedRecordSize;
    }
    const int before = records.size();
    if (known == 0)
        previousFirst = before;
    end = !appendHistoryRecords(page.bytes.mid(known), timeBase, records);
    held(previousFirst, records.size());
    outcome->newRecords = outcome->newRecords || records.size() > before;
    previous = page;
    // Damage after the end record hides nothing.
    outcome->damaged = outcome->damaged || (!page.intact && !end);
}

bool parseHistoryPageText(const QString &reply, QList<HistoryRecord *> &records)
{
    const HistoryPage page = readHistoryPage(reply.toUtf8());
    return appendHistoryRecords(page.bytes, deviceEpoch().toSecsSinceEpoch(), records);
}
