// The pager's USB bridge as the bus sees it, for playing a pager on an
// emulated USB bus (the libusb backend's tests run it behind umockdev).
//
// Contract:
//  - One configuration with one vendor-specific interface (class 0xFF): a
//    bulk OUT and a bulk IN endpoint of 64 bytes; string descriptors for the
//    maker, the product and the serial number.
//  - Control requests are answered as the bridge family plays them: the
//    bridge firmware on a microcontroller takes vendor requests (0x40, 0x02:
//    0x0002 open, 0x0001 purge, 0x0004 close); a CP210x-type bridge takes
//    interface requests (0x41: 0x00 enable, 0x12 purge, 0x1E baud rate) and
//    tells its part number (0xC0, 0xFF, 0x370B). The other family's requests
//    stall. Opening starts a new connection (the history from its first
//    page); opening and purging drop what was not read.
//  - Bytes on bulk OUT go to the emulator's pager logic; each whole request
//    is answered (unless silent), its reply cut into 64-byte packets that a
//    bulk IN transfer takes as the bus hands them out: packets until a short
//    one or until the next does not fit.
#pragma once

#include "pagerstate.h"
#include "wireformat.h"

#include <QByteArray>

#include <cstdint>
#include <deque>
#include <memory>

class UsbBridge
{
public:
    enum class Family { Firmware, Cp210x };
    struct Identity
    {
        std::uint16_t vendor = 0x10C4, product = 0xEA61; // the bridge's default id
        Family family = Family::Firmware;
        std::uint8_t outEndpoint = 0x01; // bulk IN is the same number with 0x80
        QByteArray serial = "05A00317";
    };

    UsbBridge(const Identity &identity, std::unique_ptr<PagerState> pager);

    const Identity &identity() const { return id; }
    std::uint8_t inEndpoint() const { return std::uint8_t(id.outEndpoint | 0x80); }
    // The device descriptor followed by the configuration with its
    // interface and endpoints.
    QByteArray descriptors() const;
    // Answers a control request (its 8-byte setup, and the data of an OUT
    // request after it): false stalls it; *in: the data of an IN request.
    bool control(const unsigned char *setup, QByteArray *in);
    // Bytes the host sent on bulk OUT.
    void bulkOut(const QByteArray &bytes);
    // A bulk IN transfer of at most `maxLength` bytes: false while nothing is
    // there to hand out.
    bool bulkIn(int maxLength, QByteArray *data);
    // A silent pager reads requests and never answers.
    void setSilent(bool silent) { quiet = silent; }

private:
    Identity id;
    std::unique_ptr<PagerState> pager;
    RequestReader reader;
    std::deque<QByteArray> inPackets;
    bool quiet = false;
};
