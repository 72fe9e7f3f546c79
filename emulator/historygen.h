// The emulated pager's event history: a seeded, reproducible log of switch-on
// and switch-off, background readings, alarms, calibrations and setting changes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// One stored history record, before it is packed into 16 bytes.
struct HistoryEntry
{
    std::uint32_t minute = 0; // minutes since 1999-01-01 00:00:00, 24 bits on the wire
    char eventCode = 'F';
    std::uint16_t gammaCps = 0;
    float neutronCps = 0.0f;
    float doseRate = 0.0f; // Sv/h
    float dose = 0.0f;     // Sv
};

// Event codes as the pager stores them.
namespace event {
constexpr char switchOff = '0';
constexpr char switchOn = '1';
constexpr char gammaAlarm = 'A';
constexpr char calibration = 'C';
constexpr char background = 'F';
constexpr char neutronAlarm = 'N';
constexpr char sigmaChange = 'S';
constexpr char doseRateExceeded = 'e';
constexpr char signallingChange = 's';
} // namespace event

// Small deterministic generator (splitmix64): the same seed gives the same
// history on every platform and standard library.
class HistoryRandom
{
public:
    explicit HistoryRandom(std::uint64_t seed) : state(seed) {}
    std::uint64_t next();
    // Uniform in [lo, hi], both included.
    int between(int lo, int hi);
    // Uniform in [lo, hi).
    double real(double lo, double hi);
    bool chance(double p) { return real(0.0, 1.0) < p; }

private:
    std::uint64_t state;
};

struct HistoryParameters
{
    int records = 200;
    int intervalMinutes = 10;    // background records come at this pace
    std::uint32_t endMinute = 0; // the newest record lies at most one interval before this
    std::uint64_t seed = 1;
    float doseRateThreshold = 1.0e-5f; // Sv/h, the level of the 'e' events
    // Records that look wrong, one of each kind, from the middle of the
    // history on: an unknown event code ('X'), a dose rate of 5 Sv/h, the
    // dose falling without a switch-on, a gap of six intervals, two records
    // in the wrong order, and the newest record a day after
    // the clock. Needs 40 records or more.
    bool oddRecords = false;
};

// Oldest record first. Never more than `records` entries; fewer only when the
// history would reach back before the clock epoch. Every minute count is at
// least 1 and at most 0xFFFFFF, and they never decrease (unless oddRecords).
std::vector<HistoryEntry> generateHistory(const HistoryParameters &p);

// The record as the pager sends it in a history page: eight 16-bit words.
// w0 = minute bits 0-15, w1 = event code << 8 | minute bits 16-23,
// w2 = gamma cps, w3 = upper half of the neutron device float,
// w4, w5 = upper, lower half of the dose-rate device float,
// w6, w7 = the same for the dose.
std::array<std::uint16_t, 8> recordWords(const HistoryEntry &e);
