#include "pagerlink.h"

#include "serialnumber.h"

#include <QElapsedTimer>
#include <QStringRef>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr int receiveBufferSize = 500;
constexpr std::uint32_t linkTimeoutMs = 1000;
constexpr std::uint32_t baudRate = 115200;
const QString identificationSerial = QStringLiteral("12345678");

// Drops a line end left over from the previous reply.
void dropLeadingLineEnd(QByteArray &bytes)
{
    int n = 0;
    while (n < bytes.size() && (bytes.at(n) == '\r' || bytes.at(n) == '\n'))
        ++n;
    bytes.remove(0, n);
}

// Received bytes as text, every byte kept (a NUL included).
QString replyText(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

// The `digits` characters after the first "Time=" as an unsigned hexadecimal
// number. False when the field is missing, short, or holds anything but
// hexadecimal digits (a sign, a space, "0x").
bool readTimeField(const QString &reply, int digits, std::uint32_t *value)
{
    const int at = reply.indexOf(QLatin1String("Time="));
    if (at < 0 || reply.size() - (at + 5) < digits)
        return false;
    std::uint32_t v = 0;
    for (const QChar c : reply.midRef(at + 5, digits)) {
        const ushort u = c.unicode();
        int d = -1;
        if (u >= '0' && u <= '9')
            d = u - '0';
        else if (u >= 'a' && u <= 'f')
            d = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            d = u - 'A' + 10;
        if (d < 0)
            return false;
        v = v * 16 + std::uint32_t(d);
    }
    *value = v;
    return true;
}

} // namespace

QDateTime deviceEpoch()
{
    return QDateTime::fromString(QStringLiteral("1999-01-01 00:00:00"),
                                 QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

PagerLink::PagerLink() : deviceName(QStringLiteral("DR_Pager")) {}

QString PagerLink::checksumText(const char *data, std::uint16_t length, std::uint16_t initial) const
{
    const std::uint16_t v = crc16(data, length, initial) ^ 0xFFFF;
    return QStringLiteral("%1%2")
        .arg(v >> 8, 2, 16, QLatin1Char('0'))
        .arg(v & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString PagerLink::connect()
{
    serialNumber.clear();
    requestNumber = 0;
    answeredSerials.clear();
    refusedIdentifications = 0;

    std::uint32_t count = 0;
    if (usbx::getNumDevices(&count) != usbx::Success || count == 0)
        return serialNumber;

    bool keeping = false;
    usbx::Handle kept = 0;
    QString keptSerial;
    for (std::uint32_t i = 0; i < count; ++i) {
        char description[usbx::ProductStringSize];
        if (deviceFilter && !deviceFilter(i))
            continue;
        if (usbx::getProductString(i, description, usbx::ProductStringSize, 0) != usbx::Success)
            continue;
        usbx::setTimeouts(linkTimeoutMs, linkTimeoutMs);
        usbx::Handle handle = 0;
        if (usbx::open(i, &handle) != usbx::Success)
            continue;
        usbHandle = handle;
        unsigned char details[usbx::DeviceQuerySize];
        usbx::queryDevice(usbHandle, details);
        usbx::setBaudRate(usbHandle, baudRate);
        // Each device is asked as a stranger: its request carries no serial number.
        serialNumber.clear();
        const bool answered = identify();
        bool keep = false;
        if (answered) {
            answeredSerials << serialNumber;
            if (!wantedSerial.isEmpty()) {
                keep = serialNumber == wantedSerial;
            } else if (answeredSerials.size() == 1) {
                keep = true;
            } else if (keeping) {
                // Several answer and none was asked for: the caller chooses.
                usbx::close(kept);
                keeping = false;
            }
        }
        if (keep) {
            keeping = true;
            kept = handle;
            keptSerial = serialNumber;
            if (!wantedSerial.isEmpty())
                break;
        } else {
            // Not a pager, not answering, or not the one wanted: let it go.
            usbx::close(handle);
        }
    }
    handleOpen = keeping;
    serialNumber = keeping ? keptSerial : QString();
    if (keeping) {
        usbHandle = kept;
        requestNumber = 1; // the identification of the pager kept
    }
    return serialNumber;
}

void PagerLink::disconnect()
{
    usbx::setTimeouts(usbx::NoTimeout, usbx::NoTimeout);
    if (handleOpen) {
        usbx::close(usbHandle);
        handleOpen = false;
    }
}

QByteArray PagerLink::nextCommandLine(const QString &word, const QString &value)
{
    ++requestNumber;
    // Until the pager has told its serial number, the identification placeholder stands in.
    const QString serial = serialNumber.isEmpty() ? identificationSerial : serialNumber;
    const QString number = QStringLiteral("%1").arg(requestNumber, 4, 16, QLatin1Char('0'));
    QString line;
    if (value.isNull())
        line = QStringLiteral("%1#%2 $%3 %4 CRC=").arg(deviceName, serial, number, word);
    else
        line = QStringLiteral("%1#%2 $%3 %4 Time=%5 CRC=")
                   .arg(deviceName, serial, number, word, value);
    const QByteArray bytes = line.toUtf8();
    const QString crc = checksumText(bytes.constData(), std::uint16_t(bytes.size()), 0xFFFF);
    return QStringLiteral("%1%2\n\r").arg(line, crc).toUtf8();
}

void PagerLink::writeBytes(const QByteArray &bytes)
{
    std::uint32_t written = 0;
    usbx::write(usbHandle, bytes.constData(), std::uint32_t(bytes.size()), &written, nullptr);
}

bool PagerLink::gatherReply(const std::function<ReplyState(QByteArray &)> &judge,
                            QByteArray *received)
{
    QElapsedTimer clock;
    clock.start();
    received->clear();
    answered = false;
    int emptyReads = 0;
    char buffer[receiveBufferSize];
    for (;;) {
        std::uint32_t got = 0;
        if (usbx::read(usbHandle, buffer, receiveBufferSize, &got, nullptr) != usbx::Success)
            return false;
        if (got > 0) {
            emptyReads = 0;
            received->append(buffer, int(qMin<std::uint32_t>(got, receiveBufferSize)));
            dropLeadingLineEnd(*received);
            // A line end left over from the last reply is no answer.
            answered = answered || !received->isEmpty();
            switch (judge(*received)) {
            case ReplyState::Whole:
                return true;
            case ReplyState::Broken:
                return false;
            case ReplyState::Partial:
                break;
            }
        } else if (++emptyReads >= exchangebounds::maxEmptyReads) {
            return false;
        }
        if (clock.elapsed() > exchangebounds::deadlineMs)
            return false;
    }
}

bool PagerLink::textExchange(const QString &word, const QString &value, QString *reply)
{
    writeBytes(nextCommandLine(word, value));
    QByteArray received;
    const bool whole = gatherReply(
        [](QByteArray &bytes) {
            const int lineFeed = bytes.indexOf('\n');
            if (lineFeed >= 0) {
                bytes.truncate(lineFeed + 1);
                return ReplyState::Whole;
            }
            return bytes.size() > exchangebounds::maxReplyBytes ? ReplyState::Broken
                                                                : ReplyState::Partial;
        },
        &received);
    if (reply)
        *reply = replyText(received);
    return whole;
}

bool PagerLink::identify()
{
    // Every device is addressed as a fresh conversation, from request number 1.
    requestNumber = 0;
    QString reply;
    if (!textExchange(QStringLiteral("get_ID"), QString(), &reply))
        return false;
    // The serial number stands at positions 38-45; the line end is not part of it.
    reply.truncate(reply.indexOf(QLatin1Char('\n')));
    // It travels in every later request line.
    const QString serial = reply.mid(38, 8);
    if (!isSerialNumber(serial)) {
        ++refusedIdentifications;
        return false;
    }
    serialNumber = serial;
    return true;
}

QString PagerLink::readInfo(bool *ok)
{
    QString reply;
    const bool whole = textExchange(QStringLiteral("info"), QString(), &reply);
    if (ok)
        *ok = whole;
    return reply;
}

QDateTime deviceClockLast()
{
    return deviceEpoch().addSecs(qint64(0xFFFFFF) * 60);
}

bool deviceClockCanHold(const QDateTime &t)
{
    return t.isValid() && t >= deviceEpoch() && t < deviceClockLast().addSecs(60);
}

bool deviceClockOffBeyond(qint64 offset, qint64 limit)
{
    return offset > limit || offset + 59 < -limit;
}

PagerLink::ClockSetOutcome PagerLink::setDeviceTimeConfirmed(const QDateTime &t,
                                                             QDateTime *readBack)
{
    if (readBack)
        *readBack = QDateTime();
    if (!deviceClockCanHold(t))
        return ClockSetOutcome::OutOfRange;
    if (!setDeviceTime(t))
        return ClockSetOutcome::NotConfirmed;
    bool ok = false;
    const QDateTime kept = readDeviceTime(&ok);
    if (readBack && ok)
        *readBack = kept;
    // The pager took the setting: a read-back it leaves unanswered does not
    // confirm it, but that is no silence about the change.
    answered = true;
    if (!ok || std::abs(kept.secsTo(t)) > 60)
        return ClockSetOutcome::NotConfirmed;
    return ClockSetOutcome::Confirmed;
}

QDateTime PagerLink::readDeviceTime(bool *ok)
{
    const QDateTime epoch = deviceEpoch();
    if (ok)
        *ok = false;
    QString reply;
    std::uint32_t minutes = 0;
    if (!textExchange(QStringLiteral("read_enter_time"), QString(), &reply) ||
        !readTimeField(reply, 6, &minutes))
        return epoch;
    if (ok)
        *ok = true;
    return epoch.addSecs(qint64(minutes) * 60);
}

QVariant PagerLink::readClockOffset()
{
    bool ok = false;
    const QDateTime device = readDeviceTime(&ok);
    return ok ? QVariant(QDateTime::currentDateTime().secsTo(device)) : QVariant();
}

bool PagerLink::setDeviceTime(const QDateTime &t)
{
    const qint64 minutes = deviceEpoch().secsTo(t) / 60;
    const QString value =
        QStringLiteral("%1").arg(qint32(minutes), 6, 16, QLatin1Char('0')).toUpper();
    return textExchange(QStringLiteral("set_enter_time"), value, nullptr);
}

int PagerLink::readHistoryInterval(bool *ok)
{
    if (ok)
        *ok = false;
    QString reply;
    std::uint32_t minutes = 0;
    if (!textExchange(QStringLiteral("read_hist_time"), QString(), &reply) ||
        !reply.contains(QLatin1String("READ_HIST_TIME")) || !readTimeField(reply, 4, &minutes))
        return 0;
    if (ok)
        *ok = true;
    return int(minutes);
}

bool PagerLink::setHistoryInterval(unsigned minutes)
{
    if (minutes > maxHistoryInterval)
        return false;
    const QString value = QStringLiteral("%1").arg(qint32(minutes), 4, 16, QLatin1Char('0'));
    QString reply;
    if (!textExchange(QStringLiteral("set_hist_time"), value, &reply))
        return false;
    return reply.contains(QLatin1String("SET_HIST_TIME"));
}

QByteArray registerReadFrame(std::uint16_t address, std::uint8_t dataSize)
{
    QByteArray frame;
    frame.append(char(0x23));
    frame.append(char(8));
    frame.append(char(0));
    frame.append('R');
    frame.append(char(address & 0xFF));
    frame.append(char(address >> 8));
    frame.append(char(dataSize));
    const std::uint16_t crc = crc16(frame.constData(), std::uint16_t(frame.size()), 0xFFFF);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

QByteArray registerWriteFrame(std::uint16_t address, const QByteArray &data)
{
    const int length = 8 + data.size();
    QByteArray frame;
    frame.append(char(0x23));
    frame.append(char(length & 0xFF));
    frame.append(char(length >> 8));
    frame.append('W');
    frame.append(char(address & 0xFF));
    frame.append(char(address >> 8));
    frame.append(char(data.size()));
    frame.append(data);
    const std::uint16_t crc = crc16(frame.constData(), std::uint16_t(frame.size()), 0xFFFF);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

bool PagerLink::registerExchange(const QByteArray &frame, int expectedLength, QByteArray *reply)
{
    writeBytes(frame);
    // A register reply has a fixed length and may come in pieces; more bytes
    // than that are not a reply to this frame.
    return gatherReply(
        [expectedLength](QByteArray &bytes) {
            if (bytes.size() < expectedLength)
                return ReplyState::Partial;
            return bytes.size() == expectedLength ? ReplyState::Whole : ReplyState::Broken;
        },
        reply);
}

float PagerLink::readSigma(std::uint16_t address, bool *ok)
{
    QByteArray reply;
    const bool answered = registerExchange(registerReadFrame(address, 2), 8, &reply);
    if (ok)
        *ok = answered;
    if (!answered)
        return 0.0f;
    const unsigned v = std::uint8_t(reply.at(4)) | (unsigned(std::uint8_t(reply.at(5))) << 8);
    return float(v) / 10.0f;
}

bool PagerLink::writeSigma(std::uint16_t address, float value)
{
    if (!sigmaFitsWire(value))
        return false;
    const std::int32_t tenths = sigmaTenths(value);
    QByteArray data;
    data.append(char(tenths & 0xFF));
    data.append(char((tenths >> 8) & 0xFF));
    QByteArray reply;
    if (!registerExchange(registerWriteFrame(address, data), 7, &reply))
        return false;
    return reply.at(4) == 0;
}

float PagerLink::readGammaSigma(bool *ok)
{
    return readSigma(reg::gammaSigma, ok);
}
float PagerLink::readNeutronSigma(bool *ok)
{
    return readSigma(reg::neutronSigma, ok);
}
bool PagerLink::writeGammaSigma(float value)
{
    return writeSigma(reg::gammaSigma, value);
}
bool PagerLink::writeNeutronSigma(float value)
{
    return writeSigma(reg::neutronSigma, value);
}

float PagerLink::readDoseRateThreshold(bool *ok)
{
    QByteArray reply;
    const bool answered =
        registerExchange(registerReadFrame(reg::doseRateThreshold, 4), 10, &reply);
    if (ok)
        *ok = answered;
    if (!answered)
        return 0.0f;
    const auto *d = reinterpret_cast<const std::uint8_t *>(reply.constData() + 4);
    const float value = decodeDeviceFloat(deviceWordFromWireOrder(d));
    // A word that is no number is no setting: as if the pager had not answered.
    if (!std::isfinite(value)) {
        if (ok)
            *ok = false;
        return 0.0f;
    }
    return value;
}

bool PagerLink::writeDoseRateThreshold(float value)
{
    if (!thresholdFitsWire(value))
        return false;
    const auto bytes = encodeDeviceFloat(value);
    const QByteArray data(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
    QByteArray reply;
    if (!registerExchange(registerWriteFrame(reg::doseRateThreshold, data), 7, &reply))
        return false;
    return reply.at(4) == 0;
}
