// Conversions between the settings as the operator types or reads them and
// the values the link sends. Shared by the window and the command-line tool.
#pragma once

#include <QString>

#include <optional>

// A decimal number as typed: '.' or ',' as decimal point, exponent allowed,
// surrounding white space ignored. Empty when the text is not a number.
std::optional<float> parseSettingNumber(const QString &text);

// A whole number of minutes, base 10, 0 to 65535. Empty otherwise.
std::optional<unsigned> parseHistoryInterval(const QString &text);

// How a register value is shown: general format, at most 6 significant
// digits, '.' as decimal point (3, 2.5, 1e-06).
QString renderSetting(float value);
