#include "wireformat.h"

#include "checksum.h"

#include <QList>

namespace {

constexpr char frameStart = '#';
constexpr char lineStart = 'D'; // every command line begins with the device name "DR_Pager"

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isHexDigits(const QByteArray &text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return false;
    for (const char c : text) {
        const bool digit =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit)
            return false;
    }
    return true;
}

QString hexBytes(const QByteArray &bytes, int most = 16)
{
    QString out = wireText(bytes.left(most).toHex(' '));
    if (bytes.size() > most)
        out += QStringLiteral(" ...");
    return out;
}

} // namespace

bool RequestReader::next(WireRequest *request)
{
    int skip = 0;
    while (skip < buffer.size() && isLineEnd(buffer.at(skip)))
        ++skip;
    buffer.remove(0, skip);
    if (buffer.isEmpty())
        return false;

    // Drops bytes up to the next byte that may start a request.
    const auto dropGarbage = [this, request] {
        int end = 1;
        while (end < buffer.size() && buffer.at(end) != frameStart && buffer.at(end) != lineStart)
            ++end;
        request->kind = WireRequest::Garbage;
        request->bytes = buffer.left(end);
        buffer.remove(0, end);
        return true;
    };

    const char first = buffer.at(0);
    if (first == frameStart) {
        if (buffer.size() < 3)
            return false;
        const int length = std::uint8_t(buffer.at(1)) | (std::uint8_t(buffer.at(2)) << 8);
        const int total = 1 + length;
        // The shortest frame is a read request: 8 bytes after the start byte.
        if (length < 8 || total > maxFrameBytes)
            return dropGarbage();
        if (buffer.size() < total)
            return false;
        request->kind = WireRequest::Frame;
        request->bytes = buffer.left(total);
        buffer.remove(0, total);
        return true;
    }
    if (first == lineStart) {
        const int lineFeed = buffer.indexOf('\n');
        if (lineFeed < 0) {
            if (buffer.size() <= maxLineBytes)
                return false;
            request->kind = WireRequest::Garbage;
            request->bytes = buffer;
            buffer.clear();
            return true;
        }
        request->kind = lineFeed <= maxLineBytes ? WireRequest::Text : WireRequest::Garbage;
        request->bytes = buffer.left(lineFeed);
        buffer.remove(0, lineFeed + 1);
        return true;
    }
    return dropGarbage();
}

QByteArray RequestReader::takePending()
{
    QByteArray out;
    out.swap(buffer);
    return out;
}

QByteArray lineChecksum(const QByteArray &bytes)
{
    const std::uint16_t v =
        crc16(bytes.constData(), std::uint16_t(qMin(bytes.size(), 0xFFFF)), 0xFFFF) ^ 0xFFFF;
    return QByteArray::number(v, 16).rightJustified(4, '0').toUpper();
}

QByteArray replyLine(const QByteArray &text)
{
    const QByteArray covered = text + " CRC=";
    return covered + lineChecksum(covered) + "\n\r";
}

CommandLine parseCommandLine(const QByteArray &raw)
{
    CommandLine c;
    QByteArray line = raw;
    while (!line.isEmpty() && isLineEnd(line.back()))
        line.chop(1);
    const int crcAt = line.lastIndexOf(" CRC=");
    if (crcAt < 0)
        return c;
    c.checksumGiven = line.mid(crcAt + 5);
    c.checksumExpected = lineChecksum(line.left(crcAt + 5));

    const QList<QByteArray> fields = line.left(crcAt).split(' ');
    if (fields.size() < 3 || fields.size() > 4)
        return c;
    const QByteArray &address = fields.at(0);
    const int hash = address.indexOf('#');
    if (hash <= 0)
        return c;
    c.device = address.left(hash);
    c.serial = address.mid(hash + 1);
    if (!fields.at(1).startsWith('$') || fields.at(1).size() < 2)
        return c;
    c.number = fields.at(1).mid(1);
    c.word = fields.at(2);
    if (c.word.isEmpty())
        return c;
    if (fields.size() == 4) {
        if (!fields.at(3).startsWith("Time="))
            return c;
        c.hasValue = true;
        c.value = fields.at(3).mid(5);
    }
    c.wellFormed = true;
    return c;
}

QByteArray replyNumber(const QByteArray &number)
{
    if (!isHexDigits(number, 4))
        return QByteArrayLiteral("0000");
    return QByteArray::number(number.toUInt(nullptr, 16), 16).rightJustified(4, '0');
}

RegisterFrame parseRegisterFrame(const QByteArray &frame)
{
    RegisterFrame f;
    const int n = frame.size();
    if (n < 9 || frame.at(0) != frameStart)
        return f;
    const auto byte = [&frame](int i) { return std::uint8_t(frame.at(i)); };
    f.checksumGiven = std::uint16_t(byte(n - 2) | (byte(n - 1) << 8));
    f.checksumExpected = crc16(frame.constData(), std::uint16_t(n - 2), 0xFFFF);
    const int length = byte(1) | (byte(2) << 8);
    if (1 + length != n)
        return f;
    f.op = frame.at(3);
    f.address = std::uint16_t(byte(4) | (byte(5) << 8));
    f.size = byte(6);
    f.data = frame.mid(7, n - 9);
    f.wellFormed = (f.op == 'R' && f.data.isEmpty()) || (f.op == 'W' && f.data.size() == f.size);
    return f;
}

QByteArray buildFrame(char op, const QByteArray &body)
{
    const int length = body.size() + 5; // length field, op, body, checksum
    QByteArray f;
    f.append(frameStart);
    f.append(char(length & 0xFF));
    f.append(char(length >> 8));
    f.append(op);
    f.append(body);
    const std::uint16_t crc = crc16(f.constData(), std::uint16_t(f.size()), 0xFFFF);
    f.append(char(crc & 0xFF));
    f.append(char(crc >> 8));
    return f;
}

QByteArray registerReadReply(const QByteArray &data)
{
    return buildFrame('R', data);
}

QByteArray registerStatusReply(char op, std::uint8_t status)
{
    return buildFrame(op, QByteArray(1, char(status)));
}

QString wireText(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString describeRequest(const WireRequest &request)
{
    switch (request.kind) {
    case WireRequest::Text: {
        const CommandLine c = parseCommandLine(request.bytes);
        if (!c.wellFormed)
            return QStringLiteral("malformed command line \"%1\"")
                .arg(wireText(request.bytes.left(80)));
        QString s = QStringLiteral("%1 $%2 serial=%3")
                        .arg(wireText(c.word), wireText(c.number), wireText(c.serial));
        if (c.hasValue)
            s += QStringLiteral(" Time=%1").arg(wireText(c.value));
        if (!c.checksumMatches())
            s += QStringLiteral(" -- checksum mismatch: sent %1, computed %2")
                     .arg(wireText(c.checksumGiven), wireText(c.checksumExpected));
        return s;
    }
    case WireRequest::Frame: {
        const RegisterFrame f = parseRegisterFrame(request.bytes);
        if (!f.wellFormed)
            return QStringLiteral("malformed register frame %1").arg(hexBytes(request.bytes));
        QString s = QStringLiteral("register %1 0x%2 size %3")
                        .arg(f.op == 'R' ? QStringLiteral("read") : QStringLiteral("write"))
                        .arg(f.address, 4, 16, QLatin1Char('0'))
                        .arg(f.size);
        if (f.op == 'W')
            s += QStringLiteral(" data %1").arg(hexBytes(f.data));
        if (!f.checksumMatches())
            s += QStringLiteral(" -- checksum mismatch: sent %1, computed %2")
                     .arg(f.checksumGiven, 4, 16, QLatin1Char('0'))
                     .arg(f.checksumExpected, 4, 16, QLatin1Char('0'));
        return s;
    }
    case WireRequest::Garbage:
        break;
    }
    return QStringLiteral("%1 stray bytes dropped: %2")
        .arg(request.bytes.size())
        .arg(hexBytes(request.bytes));
}

std::vector<QByteArray> splitIntoPackets(const QByteArray &reply, int packetSize)
{
    std::vector<QByteArray> packets;
    const int n = reply.size();
    const int size = qMax(1, packetSize);
    int pos = 0;
    while (pos < n) {
        int len = qMin(size, n - pos);
        const int end = pos + len;
        if (end < n && reply.at(end - 1) == '\n' && reply.at(end) == '\r') {
            // Keep the pair together: move the line feed to the next packet,
            // or take the carriage return along when the packet is one byte.
            len = len > 1 ? len - 1 : len + 1;
        }
        packets.push_back(reply.mid(pos, len));
        pos += len;
    }
    return packets;
}

std::int64_t packetDelayMicroseconds(int bytes, int baud)
{
    if (baud <= 0 || bytes <= 0)
        return 0;
    return std::int64_t(bytes) * 10 * 1000000 / baud;
}
