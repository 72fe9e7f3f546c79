#include "usbbridge.h"

namespace {

constexpr int packetSize = 64;

QByteArray stringDescriptor(const QByteArray &ascii)
{
    QByteArray s;
    s += char(2 + 2 * ascii.size());
    s += char(0x03);
    for (char c : ascii) {
        s += c;
        s += char(0);
    }
    return s;
}

} // namespace

UsbBridge::UsbBridge(const Identity &identity, std::unique_ptr<PagerState> state)
    : id(identity), pager(std::move(state))
{
}

QByteArray UsbBridge::descriptors() const
{
    const auto lo = [](int v) { return char(v & 0xFF); };
    const auto hi = [](int v) { return char(v >> 8); };
    QByteArray b;
    // Device: USB 2.0, full speed, 64-byte control packets, strings 1..3.
    b += QByteArray("\x12\x01\x00\x02\x00\x00\x00\x40", 8);
    b += lo(id.vendor);
    b += hi(id.vendor);
    b += lo(id.product);
    b += hi(id.product);
    b += QByteArray("\x00\x01\x01\x02\x03\x01", 6);
    // One configuration, one vendor interface, bulk OUT and IN of 64 bytes.
    b += QByteArray("\x09\x02\x20\x00\x01\x01\x00\x80\x32", 9);
    b += QByteArray("\x09\x04\x00\x00\x02\xFF\x00\x00\x00", 9);
    b += QByteArray("\x07\x05", 2) + char(id.outEndpoint) + QByteArray("\x02\x40\x00\x00", 4);
    b += QByteArray("\x07\x05", 2) + char(inEndpoint()) + QByteArray("\x02\x40\x00\x00", 4);
    return b;
}

bool UsbBridge::control(const unsigned char *setup, QByteArray *in)
{
    const int type = setup[0], request = setup[1];
    const int value = setup[2] | setup[3] << 8;
    if (type == 0x80 && request == 0x06 && (value >> 8) == 0x03) {
        const int index = value & 0xFF;
        *in = index == 0   ? QByteArray("\x04\x03\x09\x04", 4)
              : index == 1 ? stringDescriptor("Silicon Labs")
              : index == 2 ? stringDescriptor("DR7326G-05A")
                           : stringDescriptor(id.serial);
        return true;
    }
    const bool firmware = id.family == Family::Firmware;
    const bool opening = firmware ? type == 0x40 && request == 0x02 && value == 0x0002
                                  : type == 0x41 && request == 0x00 && value == 0x0001;
    const bool purging = firmware ? type == 0x40 && request == 0x02 && value == 0x0001
                                  : type == 0x41 && request == 0x12;
    if (opening) // a new connection: the history from its first page again
        pager->beginConnection();
    if (opening || purging) {
        reader.clear();
        inPackets.clear();
    }
    if (type == 0x40 && request == 0x02)
        return firmware;
    if (type == 0x41 || type == 0xC0) {
        if (firmware)
            return false;
        if (type == 0xC0 && request == 0xFF && value == 0x370B)
            *in = QByteArray(1, char(0x02)); // a CP2102
        return true;
    }
    return false;
}

void UsbBridge::bulkOut(const QByteArray &bytes)
{
    reader.append(bytes);
    WireRequest request;
    while (reader.next(&request)) {
        if (request.kind == WireRequest::Garbage || quiet)
            continue;
        const PagerReply reply = request.kind == WireRequest::Text
                                     ? pager->answerText(request.bytes)
                                     : pager->answerFrame(request.bytes);
        for (const QByteArray &packet : splitIntoPackets(reply.bytes, packetSize))
            inPackets.push_back(packet);
    }
}

bool UsbBridge::bulkIn(int maxLength, QByteArray *data)
{
    if (inPackets.empty())
        return false;
    data->clear();
    while (!inPackets.empty() && data->size() + inPackets.front().size() <= maxLength) {
        const QByteArray packet = inPackets.front();
        inPackets.pop_front();
        *data += packet;
        if (packet.size() < packetSize)
            break;
    }
    return true;
}
