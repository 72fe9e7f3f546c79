// The names the pager's settings are logged under in the archive, and named
// by in the settings policy file. Free of Qt.
#pragma once

namespace setting {
const char neutronSigma[] = "neutron-sigma";
const char gammaSigma[] = "gamma-sigma";
const char doseRateThreshold[] = "dose-rate-threshold";
const char historyInterval[] = "history-interval";
const char deviceTime[] = "device-time";
} // namespace setting
