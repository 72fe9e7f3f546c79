#include "historyrecord.h"

#include "devicefloat.h"

#include <algorithm>

namespace {

std::uint32_t byteAt(const std::uint8_t *bytes, int i)
{
    return bytes[i];
}

// A device float sent as two words, upper half first; each word's low byte comes first.
float storedFloat(const std::uint8_t *bytes, int at)
{
    return decodeDeviceFloat((byteAt(bytes, at + 1) << 24) | (byteAt(bytes, at) << 16) |
                             (byteAt(bytes, at + 3) << 8) | byteAt(bytes, at + 2));
}

} // namespace

std::uint32_t storedRecordMinutes(const std::uint8_t *bytes)
{
    return byteAt(bytes, 0) | (byteAt(bytes, 1) << 8) | (byteAt(bytes, 2) << 16);
}

HistoryRecord decodeStoredRecord(const std::uint8_t *bytes, const QDateTime &timeBase)
{
    // Adding seconds to a date-time adds elapsed time, as below.
    return decodeStoredRecord(bytes, timeBase.toSecsSinceEpoch());
}

HistoryRecord decodeStoredRecord(const std::uint8_t *bytes, qint64 timeBaseSeconds)
{
    HistoryRecord record;
    record.time = std::uint32_t(timeBaseSeconds + qint64(storedRecordMinutes(bytes)) * 60);
    record.eventCode = char(bytes[3]);
    record.gammaCps = std::uint16_t(byteAt(bytes, 4) | (byteAt(bytes, 5) << 8));
    // Only the upper half of the neutron rate is stored; its lower bits are 0.
    record.neutronCps = decodeDeviceFloat((byteAt(bytes, 7) << 24) | (byteAt(bytes, 6) << 16));
    record.doseRate = storedFloat(bytes, 8);
    record.dose = storedFloat(bytes, 12);
    std::copy(bytes, bytes + storedRecordSize, record.stored.begin());
    return record;
}

QString eventText(char code)
{
    switch (code) {
    case '0':
        return QStringLiteral("Выключение прибора");
    case '1':
        return QStringLiteral("Включение прибора");
    case 'A':
        return QStringLiteral("Тревога гамма");
    case 'C':
        return QStringLiteral("Калибровка");
    case 'F':
        return QStringLiteral("Фон");
    case 'N':
        return QStringLiteral("Тревога нейтронная");
    case 'S':
        return QStringLiteral("Изменение количества сигм");
    case 'e':
        return QStringLiteral("Превышение порога МЭД");
    case 's':
        return QStringLiteral("Изменение сигнализации");
    default:
        return QString();
    }
}

bool isAlarmEvent(char code)
{
    return code == 'N' || code == 'A';
}
