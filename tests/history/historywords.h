// Building history page replies as the pager sends them.
#pragma once

#include "devicefloat.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace historywords {

inline QString word(std::uint16_t w)
{
    return QStringLiteral("%1").arg(w, 4, 16, QLatin1Char('0')).toUpper();
}

// The eight payload words of one stored record.
inline QStringList record(std::uint32_t minutes, char code, std::uint16_t gamma, float neutron,
                          float doseRate, float dose)
{
    const std::uint32_t n = encodeDeviceFloatWord(neutron);
    const std::uint32_t r = encodeDeviceFloatWord(doseRate);
    const std::uint32_t d = encodeDeviceFloatWord(dose);
    return {word(std::uint16_t(minutes)),
            word(std::uint16_t((std::uint8_t(code) << 8) | ((minutes >> 16) & 0xFF))),
            word(gamma),
            word(std::uint16_t(n >> 16)),
            word(std::uint16_t(r >> 16)),
            word(std::uint16_t(r)),
            word(std::uint16_t(d >> 16)),
            word(std::uint16_t(d))};
}

inline QStringList words(std::initializer_list<std::uint16_t> values)
{
    QStringList out;
    for (std::uint16_t v : values)
        out << word(v);
    return out;
}

// A page reply around an already joined payload.
inline QString pageAround(const QString &payload, bool withCrc = true)
{
    return QStringLiteral("DR_Pager#05A00317 $0003 READ_HISTORY BLK=0001 ") + payload +
           (withCrc ? QStringLiteral(" CRC=ABCD\n\r") : QString());
}

inline QString page(const QStringList &payloadWords, bool withCrc = true)
{
    return pageAround(payloadWords.join(QLatin1Char(' ')), withCrc);
}

} // namespace historywords
