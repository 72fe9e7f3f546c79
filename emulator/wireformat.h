// The pager's side of the byte stream: cutting the incoming bytes into
// requests, reading command lines and register frames, building replies and
// cutting replies into USB packets.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// One request cut out of the incoming byte stream.
struct WireRequest
{
    enum Kind { Text, Frame, Garbage };
    Kind kind = Garbage;
    QByteArray bytes; // a text line without its line end, a whole frame, or dropped bytes
};

// Collects the bytes of one connection and hands out whole requests. A request
// may arrive in pieces; a line end left over from a command line is skipped.
class RequestReader
{
public:
    // The longest command line and frame taken; anything longer is dropped.
    static constexpr int maxLineBytes = 1024;
    static constexpr int maxFrameBytes = 64;

    void append(const QByteArray &bytes) { buffer.append(bytes); }
    // Takes the next whole request out of the buffer; false when none is complete.
    bool next(WireRequest *request);
    // Bytes of a request that has not arrived completely.
    int pending() const { return buffer.size(); }
    void clear() { buffer.clear(); }
    // Drops the incomplete request (for instance after a pause in the stream).
    QByteArray takePending();

private:
    QByteArray buffer;
};

// Four upper-case hex digits: CRC-16/X-25 of the bytes.
QByteArray lineChecksum(const QByteArray &bytes);

// "<text> CRC=XXXX\n\r", the checksum taken over the text up to and including "CRC=".
QByteArray replyLine(const QByteArray &text);

// A command line as the PC sends it:
// "<device>#<serial> $<number> <word>[ Time=<value>] CRC=<checksum>".
struct CommandLine
{
    bool wellFormed = false;
    QByteArray device;
    QByteArray serial;
    QByteArray number; // request number as sent (4 lower-case hex digits)
    QByteArray word;
    bool hasValue = false;
    QByteArray value; // after "Time="
    QByteArray checksumGiven;
    QByteArray checksumExpected; // over the line up to and including "CRC="

    bool checksumMatches() const { return checksumGiven == checksumExpected; }
};

CommandLine parseCommandLine(const QByteArray &line);

// The request number echoed in replies: always 4 lower-case hex digits, so
// that the fields after it keep their positions.
QByteArray replyNumber(const QByteArray &number);

// Register frame: ['#'][length lo][length hi][op][address lo][address hi]
// [size][data...][crc lo][crc hi], length = bytes after the '#', CRC-16/MCRF4XX
// over all bytes before the checksum.
struct RegisterFrame
{
    bool wellFormed = false;
    char op = 0; // 'R' or 'W'
    std::uint16_t address = 0;
    std::uint8_t size = 0;
    QByteArray data; // write only
    std::uint16_t checksumGiven = 0;
    std::uint16_t checksumExpected = 0;

    bool checksumMatches() const { return checksumGiven == checksumExpected; }
};

RegisterFrame parseRegisterFrame(const QByteArray &frame);

// Builds a frame (request or reply) from its op byte and body: the start
// byte, the length field and the checksum are added.
QByteArray buildFrame(char op, const QByteArray &body);

// Reply to a read: '#', length, 'R', the register's bytes, checksum (6 + n bytes).
QByteArray registerReadReply(const QByteArray &data);
// Reply to a write, or a refusal: '#', length, op, status, checksum (7 bytes).
QByteArray registerStatusReply(char op, std::uint8_t status);

namespace regstatus {
constexpr std::uint8_t accepted = 0x00;
constexpr std::uint8_t refused = 0x01;
constexpr std::uint8_t unknownRegister = 0x02;
constexpr std::uint8_t wrongSize = 0x03;
constexpr std::uint8_t badChecksum = 0x04;
constexpr std::uint8_t badValue = 0x05;
constexpr std::uint8_t malformed = 0x06;
} // namespace regstatus

// Received or sent bytes as text for the log: every byte kept, those that are
// not visible ASCII (a NUL, a line end) written as \xNN.
QString wireText(const QByteArray &bytes);

// A one-line account of a request for the log.
QString describeRequest(const WireRequest &request);

// Cuts a reply into USB packets of at most `packetSize` bytes. A line feed
// and the carriage return after it always travel in the same packet, so the
// reader that stops at the line feed never leaves a lone carriage return behind.
std::vector<QByteArray> splitIntoPackets(const QByteArray &reply, int packetSize = 64);

// Time a packet takes on the serial line: 10 bit times per byte, in microseconds.
// 0 baud means no pacing.
std::int64_t packetDelayMicroseconds(int bytes, int baud);
