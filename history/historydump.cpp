#include "historydump.h"

#include "historypage.h"
#include "pagerlink.h"

#include <QSaveFile>

#include <algorithm>

namespace {

const QByteArray magicFirst = QByteArrayLiteral("DR7326G-05A history dump 1\n");
const QByteArray magic = QByteArrayLiteral("DR7326G-05A history dump 2\n");
const QByteArray serialKey = QByteArrayLiteral("serial");
const QByteArray downloadedKey = QByteArrayLiteral("downloaded");
const QByteArray zoneKey = QByteArrayLiteral("zone");
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
            out->append(bytes.mid(at, int(length)));
            at += int(length) + 1;
        }
        return true;
    }

    const QByteArray &bytes;
    QString *error;
    int at = 0;
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

bool readHistoryDump(const QByteArray &bytes, HistoryDump *dump, QString *error)
{
    Reader reader(bytes, error);
    HistoryDump read;
    if (bytes.startsWith(magic)) {
        reader.at = magic.size();
        QByteArray serial;
        QByteArray when;
        if (!reader.headerField(serialKey, &serial))
            return false;
        const int whenAt = reader.at;
        if (!reader.headerField(downloadedKey, &when))
            return false;
        if (!reader.headerField(zoneKey, &read.timeZoneId))
            return false;
        read.serialNumber = QString::fromUtf8(serial.constData(), serial.size());
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

bool decodeHistoryDump(const HistoryDump &dump, QList<HistoryRecord *> &records)
{
    // Without a zone name the dump is read as the download was: in the local zone.
    const QDateTime epoch = dump.timeZoneId.isEmpty()
                                ? deviceEpoch()
                                : QDateTime(deviceEpoch().date(), QTime(0, 0), dump.timeZone());
    const qint64 timeBase = epoch.toSecsSinceEpoch();
    HistoryPageReader reader(timeBase, records);
    bool damaged = false;
    for (const QByteArray &reply : dump.pages) {
        const HistoryPageReader::Outcome taken = reader.take(reply);
        if (reader.endReached())
            return !damaged;
        damaged = damaged || !taken.isPage || taken.damaged;
    }
    return false;
}
