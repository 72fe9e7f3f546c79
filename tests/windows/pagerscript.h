// The one pager that the stand-in vendor library plays, byte for byte: each
// request the link sends and the pager's answer, in order. Written out by
// hand, apart from the project's code: the check program builds its requests
// with the project's checksum, float and register code, and the stand-in
// answers only requests equal to these.
#pragma once

#include <cstddef>

namespace pagerscript {

struct Exchange
{
    const char *what;
    const char *request;
    std::size_t requestSize;
    const char *reply;
    std::size_t replySize;
};

#define PAGERSCRIPT_BYTES(literal) literal, sizeof(literal) - 1

constexpr char serialNumber[] = "26110042";
// What the device string query gives for device 0 (flags 0: the bridge's serial number).
constexpr char bridgeSerial[] = "DR0001";
// The one byte the device query writes.
constexpr unsigned char partNumber = 0x02;
// The threshold the pager holds, and the gamma sigmas written to it.
constexpr float threshold = 1.0e-5f;
constexpr float gammaSigma = 3.0f;
constexpr unsigned firstPageRequest = 2;
constexpr unsigned historyPages = 3;

constexpr Exchange exchanges[] = {
    {"identification", PAGERSCRIPT_BYTES("DR_Pager#12345678 $0001 get_ID CRC=83D1\n\r"),
     PAGERSCRIPT_BYTES("DR_Pager#26110042 $0001 GET_ID SERIAL=26110042 CRC=6D69\n\r")},
    {"threshold read", PAGERSCRIPT_BYTES("\x23\x08\x00\x52\x70\x00\x04\xA6\xB3"),
     PAGERSCRIPT_BYTES("\x23\x09\x00\x52\x27\x6F\xAC\xC5\x79\x62")},
    {"gamma sigmas write", PAGERSCRIPT_BYTES("\x23\x0A\x00\x57\x02\x00\x02\x1E\x00\xF4\xB9"),
     PAGERSCRIPT_BYTES("\x23\x06\x00\x57\x00\xB0\x98")},
    {"history page 1", PAGERSCRIPT_BYTES("DR_Pager#26110042 $0002 read_history CRC=8DDB\n\r"),
     PAGERSCRIPT_BYTES("DR_Pager#26110042 $0002 READ_HISTORY BLK=0001 A000 31D8 000C 7F00 6B4C "
                       "CCCD 7D20 0000 A00A 46D8 000D 7F00 6B4C CCCD 7D20 0000 A014 41D8 0190 "
                       "8040 6E4C CCCD 7D21 0000 CRC=338C\n\r")},
    {"history page 2", PAGERSCRIPT_BYTES("DR_Pager#26110042 $0003 read_history CRC=1E92\n\r"),
     PAGERSCRIPT_BYTES("DR_Pager#26110042 $0003 READ_HISTORY BLK=0002 A01E 4ED8 000E 8100 6B4C "
                       "CCCD 7D21 4000 A028 46D8 000C 7F00 6B4C CCCD 7D21 8000 A032 53D8 000C "
                       "7F00 6B4C CCCD 7D21 C000 CRC=92CA\n\r")},
    {"history end page", PAGERSCRIPT_BYTES("DR_Pager#26110042 $0004 read_history CRC=FE5E\n\r"),
     PAGERSCRIPT_BYTES("DR_Pager#26110042 $0004 READ_HISTORY BLK=0003 A03C 30D8 000B 7F00 6B4C "
                       "CCCD 7D22 0000 0000 0000 0000 0000 0000 0000 0000 0000 CRC=8824\n\r")},
};
constexpr std::size_t exchangeCount = sizeof(exchanges) / sizeof(exchanges[0]);

} // namespace pagerscript
