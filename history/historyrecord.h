// One entry of the pager's event history and the decoding of its 16-byte stored form.
#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <array>
#include <cstdint>

constexpr int storedRecordSize = 16;

struct HistoryRecord
{
    std::uint32_t time = 0; // event instant, POSIX seconds
    char eventCode = 0;     // stored event code, unchanged
    // Why the record looks wrong (historyflags.h), 0 when it does not: found
    // from its neighbours and its download, never from a change of its bytes.
    std::uint8_t flags = 0;
    std::uint16_t gammaCps = 0;
    float neutronCps = 0;
    float doseRate = 0; // Sv/h
    float dose = 0;     // Sv
    // The 16 bytes as the pager stored them (all zero when not decoded from
    // them): what the archive tells records apart by.
    std::array<std::uint8_t, storedRecordSize> stored{};
};
Q_DECLARE_METATYPE(HistoryRecord)

// Minute count of a stored record (bytes 0-2); 0 marks the end of the history.
std::uint32_t storedRecordMinutes(const std::uint8_t *bytes);

// Decodes the 16 bytes against the time base (the device epoch). The minutes
// are added as elapsed time, so across a change of the UTC offset the event's
// wall clock is not the base's wall clock plus the minutes.
// Only meaningful when storedRecordMinutes() is not 0.
HistoryRecord decodeStoredRecord(const std::uint8_t *bytes, const QDateTime &timeBase);
// The same with the time base given as POSIX seconds, for decoding many records
// without converting the base each time.
HistoryRecord decodeStoredRecord(const std::uint8_t *bytes, qint64 timeBaseSeconds);

// Text of an event code, empty for a code outside the event table.
QString eventText(char code);
// Gamma and neutron alarms are shown in red.
bool isAlarmEvent(char code);
