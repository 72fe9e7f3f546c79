#include "historypage.h"

#include "pagerlink.h"

#include <QElapsedTimer>

namespace {

const QLatin1String startMarker("BLK=");
const QLatin1String endMarker("CRC=");
// The marker and the five characters after it (block number and a space).
constexpr int payloadOffset = 9;

void appendWord(QByteArray &bytes, const QStringRef &piece)
{
    bool ok = false;
    const ushort word = piece.toUShort(&ok, 16);
    const ushort value = ok ? word : 0; // an unreadable word counts as 0
    bytes.append(char(value & 0xFF));
    bytes.append(char(value >> 8));
}

// The device epoch in POSIX seconds. Converting a local date-time makes the C
// library look at the time zone again each time, which is slow next to
// decoding a page; the result is kept for a second and while the TZ variable
// stays the same, so a change of the zone is still seen by the next pages.
qint64 epochSeconds()
{
    static QElapsedTimer age;
    static QByteArray zone;
    static qint64 seconds = 0;
    const QByteArray currentZone = qgetenv("TZ");
    if (!age.isValid() || age.hasExpired(1000) || currentZone != zone) {
        seconds = deviceEpoch().toSecsSinceEpoch();
        zone = currentZone;
        age.start();
    }
    return seconds;
}

} // namespace

QByteArray historyPagePayload(const QString &reply)
{
    const int marker = reply.indexOf(startMarker);
    if (marker < 0)
        return QByteArray();
    const int start = qMin(marker + payloadOffset, reply.size());
    // "CRC=" ends the payload only after its start, so a "CRC=" in the leading
    // text (or among the skipped characters) does not cut the page short.
    int end = reply.indexOf(endMarker, start);
    if (end < 0)
        end = reply.size();

    QByteArray bytes;
    bytes.reserve(((end - start) / 5 + 2) * 2);
    // Split at every space, empty pieces included.
    int from = start;
    for (;;) {
        const int space = reply.indexOf(QLatin1Char(' '), from);
        if (space < 0 || space >= end) {
            appendWord(bytes, reply.midRef(from, end - from));
            break;
        }
        appendWord(bytes, reply.midRef(from, space - from));
        from = space + 1;
    }
    return bytes;
}

bool isHistoryPage(const QString &reply)
{
    return reply.contains(startMarker);
}

bool parseHistoryPageText(const QString &reply, QList<HistoryRecord *> &records)
{
    // A reply that is no page holds no records; the download decides what
    // that means.
    if (!isHistoryPage(reply))
        return true;
    const qint64 timeBase = epochSeconds();
    const QByteArray payload = historyPagePayload(reply);
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(payload.constData());
    for (int at = 0; at + storedRecordSize <= payload.size(); at += storedRecordSize) {
        if (storedRecordMinutes(bytes + at) == 0)
            return false;
        records.append(new HistoryRecord(decodeStoredRecord(bytes + at, timeBase)));
    }
    return true;
}
