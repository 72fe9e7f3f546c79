// Conversions between the settings as the operator types or reads them and
// the values the link sends. Shared by the window and the command-line tool.
#pragma once

#include <QString>

#include <optional>

// A decimal number as typed: '.' or ',' as decimal point, exponent allowed,
// surrounding white space ignored. Empty when the text is not a number.
std::optional<float> parseSettingNumber(const QString &text);

// Whether `text` is written as a decimal number (as parseSettingNumber reads
// it) whose value a single-precision float cannot hold: too large ("1e999")
// or too small to be told from 0 ("1e-50"). parseSettingNumber refuses such
// text as it refuses letters; this tells the two apart for the message.
bool settingNumberOutOfRange(const QString &text);

// A whole number of minutes, base 10, 0 to 65535. Empty otherwise.
std::optional<unsigned> parseHistoryInterval(const QString &text);

// How a register value is shown: general format, at most 6 significant
// digits, '.' as decimal point (3, 2.5, 1e-06).
QString renderSetting(float value);
