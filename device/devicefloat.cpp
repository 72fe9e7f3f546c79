#include "devicefloat.h"

#include <cstring>

std::uint32_t encodeDeviceFloatWord(float x)
{
    std::uint32_t i;
    std::memcpy(&i, &x, sizeof i);
    return (((i & 0xFF800000u) << 1) + 0x01000000u) | (i & 0x007FFFFFu);
}

std::array<std::uint8_t, 4> encodeDeviceFloat(float x)
{
    const std::uint32_t w = encodeDeviceFloatWord(x);
    return {std::uint8_t(w >> 16), std::uint8_t(w >> 24), std::uint8_t(w), std::uint8_t(w >> 8)};
}

float decodeDeviceFloat(std::uint32_t w)
{
    const std::uint32_t i = (((w - 0x01000000u) >> 1) & 0x7F800000u) | (w & 0x007FFFFFu);
    float x;
    std::memcpy(&x, &i, sizeof x);
    return x;
}
