// Checksums of the pager's two request kinds.
#pragma once

#include <cstdint>

// Bitwise reflected CRC-16, polynomial 0x8408, no final XOR.
// Command lines use it as CRC-16/X-25 (start 0xFFFF, result XOR 0xFFFF),
// register frames as CRC-16/MCRF4XX (start 0xFFFF, result as is).
std::uint16_t crc16(const unsigned char *data, std::uint16_t length, std::uint16_t initial);

inline std::uint16_t crc16(const char *data, std::uint16_t length, std::uint16_t initial)
{
    return crc16(reinterpret_cast<const unsigned char *>(data), length, initial);
}
