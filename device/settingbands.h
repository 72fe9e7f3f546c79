// The ranges in which the pager's settings are normally kept. A value outside
// its range is not wrong for the pager, but far from normal use (a forgotten
// digit, a unit mixed up): the window asks before it sends one. Free of Qt, so
// the command-line tool can use the same ranges.
#pragma once

enum class SettingKind {
    Sigma,             // number of sigmas of the gamma or the neutron channel
    DoseRateThreshold, // dose-rate alarm threshold, Sv/h
    HistoryInterval,   // history recording interval, minutes
};

struct SettingBand
{
    double low;  // smallest usual value
    double high; // largest usual value
};

// Sigma 1 to 10, threshold 1e-7 to 1e-3 Sv/h, interval 1 to 1440 min.
SettingBand usualSettingBand(SettingKind kind);

// Whether `value` lies outside the usual band of `kind`. The bounds allow for
// single-precision rounding: 1e-3 typed and held as a float is usual.
bool isUnusualSetting(SettingKind kind, double value);
