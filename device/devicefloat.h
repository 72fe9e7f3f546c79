// The pager's own single-precision layout.
//
// A 32-bit word w holds the IEEE exponent field plus 1 (mod 256) in bits 24-31,
// bit 23 is an unused sign position (always 0 on the wire, ignored when read)
// and bits 0-22 are the IEEE mantissa field.
#pragma once

#include <array>
#include <cstdint>

// Four bytes in register wire order: bits 16-23, 24-31, 0-7, 8-15 of the word.
// The sign of x is lost.
std::array<std::uint8_t, 4> encodeDeviceFloat(float x);

// The device word as a 32-bit number (no byte order involved).
std::uint32_t encodeDeviceFloatWord(float x);

float decodeDeviceFloat(std::uint32_t w);

// Assembles the word from four data bytes in register wire order.
inline std::uint32_t deviceWordFromWireOrder(const std::uint8_t *d)
{
    return std::uint32_t(d[2]) | (std::uint32_t(d[3]) << 8) | (std::uint32_t(d[0]) << 16) |
           (std::uint32_t(d[1]) << 24);
}
