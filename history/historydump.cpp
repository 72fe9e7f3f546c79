#include "historydump.h"

#include "historyflags.h"
#include "historypage.h"

#include "historypage.h"
#include "pagerlink.h"
#include "serialnumber.h"

#include <QSaveFile>

#include <algorithm>

namespace {

const QByteArray magicFirst = QByteArrayLiteral("DR7326G-05A history dump 1\n");
const QByteArray magic = QByteArrayLiteral("DR7326G-05A history dump 2\n");
const QByteArray serialKey = QByteArrayLiteral("serial");
const QByteArray downloadedKey = QByteArrayLiteral("downloaded");
const QByteArray zoneKey = QByteArrayLiteral("zone");
// How a pager's reply line begins: its name and serial number.
const QByteArray replyNamePrefix = QByteArrayLiteral("DR_Pager#");
// Page numbers and lengths are written without sign or leading zeros; ten
// digits hold any length a QByteArray can have.
constexpr int maxNumberDigits = 10;

QByteArray headerLine(const QByteArray &key, const QByteArray &value)
{
    return key + ' ' + value.toPercentEncoding() + '\n';
}

// Reads a decimal number of digits only; -1 when it is not one.
qint64 number(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > maxNumberDigits || (text.size() > 1 && text.at(0) == '0'))
        return -1;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The characters of a zone name (Area/Location, Etc/GMT+3): anything else is
// not looked up, so that no name can reach outside the zone database.
bool plausibleZoneId(const QByteArray &id)
{
    if (id.isEmpty() || id.size() > 64 || id.startsWith('/') || id.contains(".."))
        return false;
    for (const char c : id)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '/' || c == '_' || c == '-' || c == '+'))
            return false;
    return true;
}

// The serial number a reply names in its last verified page line; false
// when no verified page line names one.
bool replySerial(const QByteArray &reply, QString *serial)
{
    const int end = verifiedPagesEnd(reply);
    if (end < 0)
        return false;
    const int lineFeed = reply.lastIndexOf('\n', end - 1);
    int start = lineFeed;
    while (start > 0 && reply.at(start - 1) != '\n' && reply.at(start - 1) != '\r')
        --start;
    if (reply.mid(start, replyNamePrefix.size()) != replyNamePrefix)
        return false;
    const int from = start + replyNamePrefix.size();
    const int space = reply.indexOf(' ', from);
    const QByteArray named =
        reply.mid(from, (space < 0 || space > lineFeed ? lineFeed : space) - from);
    *serial = QString::fromUtf8(named.constData(), named.size());
    return true;
}

class Reader
{
public:
    Reader(const QByteArray &b, QString *e) : bytes(b), error(e) {}

    // The next line without its line feed; false at the end of the bytes.
    bool line(QByteArray *text)
    {
        const int eol = bytes.indexOf('\n', at);
        if (eol < 0)
            return false;
        *text = bytes.mid(at, eol - at);
        at = eol + 1;
        return true;
    }

    bool fail(const QString &what, int position)
    {
        if (error)
            *error = QStringLiteral("%1 at byte %2").arg(what).arg(position);
        return false;
    }

    bool headerField(const QByteArray &key, QByteArray *value)
    {
        const int start = at;
        QByteArray text;
        if (!line(&text) || !text.startsWith(key + ' '))
            return fail(QStringLiteral("no \"%1\" line").arg(QLatin1String(key)), start);
        *value = QByteArray::fromPercentEncoding(text.mid(key.size() + 1));
        return true;
    }

    bool pages(QList<QByteArray> *out)
    {
        while (at < bytes.size()) {
            const int start = at;
            QByteArray head;
            if (!line(&head))
                return fail(QStringLiteral("unfinished page header"), start);
            const QList<QByteArray> fields = head.split(' ');
            if (fields.size() != 3 || fields.at(0) != "PAGE" ||
                number(fields.at(1)) != out->size() + 1)
                return fail(QStringLiteral("damaged page header"), start);
            const qint64 length = number(fields.at(2));
            // Compared in 64 bits: no length can wrap around.
            if (length < 0 || length + 1 > qint64(bytes.size()) - at)
                return fail(QStringLiteral("page %1 longer than the file").arg(out->size() + 1),
                            start);
            if (bytes.at(at + int(length)) != '\n')
                return fail(
                    QStringLiteral("page %1 not closed by a line feed").arg(out->size() + 1),
                    at + int(length));
            offsets.append(at);
            out->append(bytes.mid(at, int(length)));
            at += int(length) + 1;
        }
        return true;
    }

    // The serial number the verified replies name; empty when none
    // verifies. False when one names no valid serial number or two name
    // different pagers.
    bool repliesSerial(const QList<QByteArray> &pages, QString *serial, bool *serialRefused)
    {
        serial->clear();
        for (int i = 0; i < pages.size(); ++i) {
            QString named;
            if (!replySerial(pages.at(i), &named))
                continue;
            const QString problem = serialNumberProblem(named);
            if (!problem.isEmpty()) {
                *serialRefused = true;
                return fail(QStringLiteral("page %1: %2").arg(i + 1).arg(problem), offsets.at(i));
            }
            if (serial->isEmpty()) {
                *serial = named;
            } else if (named != *serial) {
                *serialRefused = true;
                return fail(QStringLiteral("page %1 names pager %2, an earlier page %3")
                                .arg(i + 1)
                                .arg(named, *serial),
                            offsets.at(i));
            }
        }
        return true;
    }

    const QByteArray &bytes;
    QString *error;
    int at = 0;
    QList<int> offsets; // where each page's bytes begin
};

} // namespace

bool HistoryDump::holdsReplies() const
{
    return std::any_of(pages.cbegin(), pages.cend(),
                       [](const QByteArray &page) { return !page.isEmpty(); });
}

QTimeZone HistoryDump::timeZone() const
{
    if (plausibleZoneId(timeZoneId)) {
        const QTimeZone zone(timeZoneId);
        if (zone.isValid())
            return zone;
    }
    if (!timeZoneId.isEmpty() && downloadedAt.isValid())
        return QTimeZone(downloadedAt.offsetFromUtc());
    return QTimeZone::systemTimeZone();
}

QByteArray historyDumpBytes(const HistoryDump &dump)
{
    QByteArray bytes = magic;
    bytes += headerLine(serialKey, dump.serialNumber.toUtf8());
    QByteArray when;
    if (dump.downloadedAt.isValid())
        when = dump.downloadedAt.toOffsetFromUtc(dump.downloadedAt.offsetFromUtc())
                   .toString(Qt::ISODate)
                   .toLatin1();
    bytes += headerLine(downloadedKey, when);
    bytes += headerLine(zoneKey, dump.timeZoneId);
    for (int i = 0; i < dump.pages.size(); ++i) {
        const QByteArray &page = dump.pages.at(i);
        bytes += "PAGE " + QByteArray::number(i + 1) + ' ' + QByteArray::number(page.size()) +
                 '\n' + page + '\n';
    }
    return bytes;
}

bool readHistoryDump(const QByteArray &bytes, HistoryDump *dump, QString *error,
                     bool *serialRefused)
{
    Reader reader(bytes, error);
    HistoryDump read;
    bool refused = false;
    if (!serialRefused)
        serialRefused = &refused;
    *serialRefused = false;
    if (bytes.startsWith(magic)) {
        reader.at = magic.size();
        QByteArray serial;
        QByteArray when;
        const int serialAt = reader.at;
        if (!reader.headerField(serialKey, &serial))
            return false;
        const int whenAt = reader.at;
        if (!reader.headerField(downloadedKey, &when))
            return false;
        if (!reader.headerField(zoneKey, &read.timeZoneId))
            return false;
        read.serialNumber = QString::fromUtf8(serial.constData(), serial.size());
        if (!serial.isEmpty() && !isSerialNumber(read.serialNumber)) {
            *serialRefused = true;
            return reader.fail(
                QStringLiteral("header: %1").arg(serialNumberProblem(read.serialNumber)), serialAt);
        }
        if (!when.isEmpty()) {
            read.downloadedAt = QDateTime::fromString(
                QString::fromLatin1(when.constData(), when.size()), Qt::ISODate);
            if (!read.downloadedAt.isValid())
                return reader.fail(QStringLiteral("unreadable download time"), whenAt);
        }
    } else if (bytes.startsWith(magicFirst)) {
        reader.at = magicFirst.size();
    } else {
        return reader.fail(QStringLiteral("not a history dump"), 0);
    }
    if (!reader.pages(&read.pages))
        return false;
    QString named;
    if (!reader.repliesSerial(read.pages, &named, serialRefused))
        return false;
    if (!named.isEmpty() && named != read.serialNumber) {
        if (!read.serialNumber.isEmpty())
            read.headerSerialNumber = read.serialNumber;
        read.serialNumber = named;
    }
    *dump = read;
    return true;
}

bool saveHistoryDump(const HistoryDump &dump, const QString &fileName, QString *error)
{
    QSaveFile file(fileName);
    const QByteArray bytes = historyDumpBytes(dump);
    // commit() alone does not report a failure of the last buffered write.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool decodeHistoryDump(const HistoryDump &dump, QList<HistoryRecord *> &records,
                       int intervalMinutes)
{
    // Without a zone name the dump is read as the download was: in the local zone.
    const QDateTime epoch = dump.timeZoneId.isEmpty()
                                ? deviceEpoch()
                                : QDateTime(deviceEpoch().date(), QTime(0, 0), dump.timeZone());
    const qint64 timeBase = epoch.toSecsSinceEpoch();
    const int before = records.size();
    HistoryPageReader reader(timeBase, records);
    HistoryFlagContext context;
    context.downloadedAt = dump.downloadedAt.isValid() ? dump.downloadedAt.toSecsSinceEpoch() : 0;
    context.intervalMinutes = intervalMinutes;
    bool damaged = false, complete = false;
    for (const QByteArray &reply : dump.pages) {
        const HistoryPageReader::Outcome outcome = reader.take(reply);
        // A reply whose line checksum does not verify: its records are
        // flagged, until a copy of their page that verifies comes.
        if (outcome.heldFirst >= 0) {
            const bool verified = verifiedPagesEnd(reply) >= 0;
            while (context.unverified.size() < records.size() - before)
                context.unverified.append(!verified);
            for (int i = outcome.heldFirst; verified && i < outcome.heldEnd; ++i)
                context.unverified[i - before] = false;
        }
        if (reader.endReached()) {
            complete = !damaged;
            break;
        }
        damaged = damaged || !outcome.isPage || outcome.damaged;
    }
    flagHistoryRecords(before == 0 ? records : records.mid(before), context);
    return complete;
}

void flagDownloadedRecords(const HistoryDump &dump, const QList<HistoryRecord *> &records,
                           int intervalMinutes)
{
    QList<HistoryRecord *> decoded;
    decodeHistoryDump(dump, decoded, intervalMinutes);
    bool same = decoded.size() == records.size();
    for (int i = 0; same && i < records.size(); ++i)
        same = decoded.at(i)->stored == records.at(i)->stored;
    if (same) {
        for (int i = 0; i < records.size(); ++i)
            records.at(i)->flags = decoded.at(i)->flags;
    } else {
        HistoryFlagContext context;
        context.downloadedAt =
            dump.downloadedAt.isValid() ? dump.downloadedAt.toSecsSinceEpoch() : 0;
        context.intervalMinutes = intervalMinutes;
        flagHistoryRecords(records, context);
    }
    qDeleteAll(decoded);
}
