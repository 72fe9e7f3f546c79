// PagerLink: the one place that talks to the pager.
//
// Two request kinds share the USB byte stream: text command lines closed by a
// CRC-16/X-25 in hexadecimal, and binary register frames closed by a
// CRC-16/MCRF4XX. Every user action is one short connection:
// connect(), the commands, disconnect().
#pragma once

#include "checksum.h"
#include "devicefloat.h"
#include "registervalue.h"
#include "usbxpress.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>

struct HistoryRecord;

// Called with the number of history pages read so far.
using HistoryProgressFunction = void (*)(int pages);

class PagerLink
{
public:
    PagerLink();

    // Opens and identifies the listed devices and keeps one pager open;
    // returns its serial number, or an empty string when none is kept. With
    // wantedSerial empty the pager is kept only when it is the one that
    // answers; with several answering none is kept (the caller asks which).
    // With wantedSerial set, the search ends at the pager with that serial
    // number, and no other is kept. Every device not kept is closed again, a
    // device that failed its identification too. answeredSerials lists the
    // serial numbers that answered, in device order.
    QString connect();
    // Ends the connection; harmless at any time.
    void disconnect();

    // Four upper-case hex digits of the CRC-16/X-25 of the bytes.
    QString checksumText(const char *data, std::uint16_t length, std::uint16_t initial) const;

    // Text commands. Each advances requestNumber once.
    // The information reply as received; `ok`, when given, is false when the
    // exchange failed (the text is then what arrived before it failed).
    QString readInfo(bool *ok = nullptr);
    // The reads give the fallback value (the epoch, 0, 0.0) when the pager
    // does not answer; `ok`, when given, tells which it was.
    QDateTime readDeviceTime(bool *ok = nullptr);
    bool setDeviceTime(const QDateTime &t);
    // Reads the clock: the pager's time minus the PC's, in seconds; null
    // when the pager did not answer. Kept with a setting change, so that every
    // contact tells how far the pager's clock is off.
    QVariant readClockOffset();
    // Sets the clock and reads it back within the same connection: Confirmed
    // only when the pager then reads within one minute of `t` (a refusal, or
    // no answer to either request, is NotConfirmed). A time the
    // clock cannot hold (deviceClockCanHold) is refused before anything is sent.
    // `readBack`, when given, receives the clock read back (invalid when it
    // was not read back).
    enum class ClockSetOutcome { Confirmed, NotConfirmed, OutOfRange };
    ClockSetOutcome setDeviceTimeConfirmed(const QDateTime &t, QDateTime *readBack = nullptr);
    int readHistoryInterval(bool *ok = nullptr);
    // Refuses (false, nothing sent) minutes above 65535.
    bool setHistoryInterval(unsigned minutes);

    // Register settings. Reads give 0.0 on failure (a threshold word that
    // decodes to no finite number counts as one); writes return true only
    // when the pager accepted the value. A value that cannot travel (see
    // sigmaFitsWire, thresholdFitsWire) is refused: false, nothing sent.
    float readGammaSigma(bool *ok = nullptr);
    float readNeutronSigma(bool *ok = nullptr);
    float readDoseRateThreshold(bool *ok = nullptr);
    bool writeGammaSigma(float value);
    bool writeNeutronSigma(float value);
    bool writeDoseRateThreshold(float value);

    // History download (implemented by the history library). Appends the
    // records to `records` (the caller owns them). Returns true when the end
    // record arrived, false when the download had to stop early.
    bool readHistory(QList<HistoryRecord *> &records, HistoryProgressFunction progress);
    // Appends the records of one page reply; false when the page held the end
    // of the history.
    bool parseHistoryPage(const QString &page, QList<HistoryRecord *> &records);

    // Building blocks shared with the history download.
    // Advances requestNumber and returns the complete line to send
    // (line, checksum, line feed, carriage return) as UTF-8.
    QByteArray nextCommandLine(const QString &word, const QString &value = QString());
    // Writes bytes with one write call; the outcome is not examined.
    void writeBytes(const QByteArray &bytes);
    // One text exchange: the reply up to and including its first line feed,
    // with a line end left over from the previous reply dropped from its head.
    // False when a read failed or the reply did not complete within the bounds.
    // Reply fields are read as unsigned hexadecimal digits only.
    bool textExchange(const QString &word, const QString &value, QString *reply);

    // Whether the pager sent any byte in answer to the last request: a
    // failed command or write with false here met silence, not a refusal.
    // After setDeviceTimeConfirmed: whether the pager answered the setting.
    bool lastRequestAnswered() const { return answered; }

    // Fields, in this order.
    QString serialNumber;
    usbx::Handle usbHandle = 0;
    std::uint16_t requestNumber = 0;
    QString deviceName;

    // The pager to keep when several are attached; empty: the only one.
    QString wantedSerial;
    // When set, connect() opens only the devices of its device count that
    // this accepts (by index), so that one device among several is asked.
    std::function<bool(std::uint32_t index)> deviceFilter;
    // The serial numbers that answered during the last connect().
    QStringList answeredSerials;
    // Devices whose identification came whole during the last connect() but
    // named no serial number (serialnumber.h): not used, and worth telling.
    int refusedIdentifications = 0;

private:
    enum class ReplyState { Partial, Whole, Broken };
    // Reads the reply to the request just written. Carriage returns and line
    // feeds before it (the end of an earlier reply) are dropped; reads go on
    // until `judge` finds the reply whole or broken (it may cut the bytes to
    // the reply), a read fails, or the bounds of exchangebounds pass.
    bool gatherReply(const std::function<ReplyState(QByteArray &)> &judge, QByteArray *received);
    bool identify();
    bool registerExchange(const QByteArray &frame, int expectedLength, QByteArray *reply);
    float readSigma(std::uint16_t address, bool *ok);
    bool writeSigma(std::uint16_t address, float value);
    bool handleOpen = false;
    bool answered = false;
};

// Bounds of an exchange (text or register), so that a silent or babbling pager
// ends it as a failure.
namespace exchangebounds {
constexpr int maxEmptyReads = 20;   // successive successful reads with no byte
constexpr int maxReplyBytes = 4096; // reply text without a line feed
constexpr int deadlineMs = 5000;    // whole exchange
} // namespace exchangebounds

constexpr unsigned maxHistoryInterval = 65535;

// Register frames, byte for byte.
QByteArray registerReadFrame(std::uint16_t address, std::uint8_t dataSize);
QByteArray registerWriteFrame(std::uint16_t address, const QByteArray &data);

// Register addresses of the three settings.
namespace reg {
constexpr std::uint16_t gammaSigma = 0x0002;
constexpr std::uint16_t neutronSigma = 0x0020;
constexpr std::uint16_t doseRateThreshold = 0x0070;
} // namespace reg

// The device clock counts whole minutes from this local instant.
QDateTime deviceEpoch();
// The last minute the clock's six hexadecimal digits can show (0xFFFFFF
// minutes after the epoch), and whether a time lies between the two.
QDateTime deviceClockLast();
bool deviceClockCanHold(const QDateTime &t);
// Whether a clock read with `offset` (the pager's clock minus the PC's, in
// seconds) is off by more than `limit` seconds. The clock shows whole
// minutes, so the pager's own time lies up to 59 s past what it reads: a
// clock is off only when every second of its minute is, and a clock set
// right is never taken for one off by the seconds it does not show.
bool deviceClockOffBeyond(qint64 offset, qint64 limit);
