// A pager's serial number: what the pager's identification can hold, checked
// in one place wherever one enters the program (the pager's reply, a dump's
// header or replies, an import, the archive's store functions, --serial).
//
// Contract: a serial number is 1 to maxSerialNumberBytes bytes of visible
// ASCII (0x21 to 0x7E). Anything else (a control character such as NUL, ESC,
// TAB or LF, a space, a character outside ASCII, an empty or longer text) is
// refused with a reason that never repeats the text itself, so that the
// reason is safe to print.
#pragma once

#include <QString>

constexpr int maxSerialNumberBytes = 64;

enum class SerialNumberFault { None, Empty, TooLong, ControlCharacter, OtherCharacter };

SerialNumberFault serialNumberFault(const QString &serial);
inline bool isSerialNumber(const QString &serial)
{
    return serialNumberFault(serial) == SerialNumberFault::None;
}
// Why `serial` is no serial number, in English ("holds a control character
// (0x1b)"); empty when it is one.
QString serialNumberProblem(const QString &serial);
