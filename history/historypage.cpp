#include "historypage.h"

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

} // namespace

HistoryPage readHistoryPage(const char *data, int size)
{
    HistoryPage page;
    const int marker = find(data, size, "BLK=", 0);
    if (marker < 0)
        return page;
    page.isPage = true;
    const int start = qMin(marker + payloadOffset, size);
    // "CRC=" ends the payload only after its start, so a "CRC=" in the leading
    // text (or among the skipped characters) does not cut the page short.
    const int crc = find(data, size, "CRC=", start);
    const bool hasEnd = crc >= 0;
    const int end = hasEnd ? crc : size;

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
    const HistoryPage page = readHistoryPage(reply);
    outcome.isPage = page.isPage;
    if (!page.isPage || end)
        return outcome;
    const QByteArray head = page.bytes.left(storedRecordSize);
    int known = 0; // leading bytes already taken from an earlier copy of this page
    const QList<int> candidates = takenByHead.values(head);
    for (int i : candidates) {
        const QByteArray &earlier = taken.at(i);
        if (earlier.startsWith(page.bytes))
            return outcome; // the same page again, or a part of it
        if (page.bytes.startsWith(earlier))
            known = qMax(known, int(earlier.size()) / storedRecordSize * storedRecordSize);
    }
    const int before = records.size();
    end = !appendHistoryRecords(page.bytes.mid(known), timeBase, records);
    outcome.newRecords = records.size() > before;
    if (outcome.newRecords) {
        takenByHead.insert(head, taken.size());
        taken.append(page.bytes);
    }
    // Damage after the end record hides nothing.
    outcome.damaged = !page.intact && !end;
    return outcome;
}

bool parseHistoryPageText(const QString &reply, QList<HistoryRecord *> &records)
{
    const HistoryPage page = readHistoryPage(reply.toUtf8());
    return appendHistoryRecords(page.bytes, deviceEpoch().toSecsSinceEpoch(), records);
}
