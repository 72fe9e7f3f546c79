#include "checksum.h"

std::uint16_t crc16(const unsigned char *data, std::uint16_t length, std::uint16_t initial)
{
    std::uint16_t crc = initial;
    if (!data)
        return crc;
    for (std::uint16_t n = 0; n < length; ++n) {
        crc ^= data[n];
        for (int bit = 0; bit < 8; ++bit) {
            const bool out = crc & 1u;
            crc >>= 1;
            if (out)
                crc ^= 0x8408;
        }
    }
    return crc;
}
