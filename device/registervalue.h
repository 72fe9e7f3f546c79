// How the values of the register settings travel: the sigma settings as whole
// tenths in 16 bits, the dose-rate threshold in the device float layout.
// Free of Qt, so that it builds for every target of the USB backends.
#pragma once

#include <cstdint>

// Whether a value can be stored in its register as the user meant it.
bool sigmaFitsWire(float value);
bool thresholdFitsWire(float value);

// The pager keeps a sigma setting in whole tenths, the fraction cut off:
// the register value for `value` (the single-precision product value * 10,
// truncated: 0.3 -> 3, 4.1 -> 41, 2.55 -> 25), and the setting it stands for
// (3.57 -> 3.5).
std::int32_t sigmaTenths(float value);
float sigmaAsKept(float value);
