#include "serialnumber.h"

namespace {

bool isControl(ushort u)
{
    return u < 0x20 || (u >= 0x7F && u < 0xA0);
}

// The first character that is not visible ASCII; -1 when there is none.
int firstForeign(const QString &serial)
{
    for (int i = 0; i < serial.size(); ++i) {
        const ushort u = serial.at(i).unicode();
        if (u <= 0x20 || u >= 0x7F)
            return i;
    }
    return -1;
}

} // namespace

SerialNumberFault serialNumberFault(const QString &serial)
{
    if (serial.isEmpty())
        return SerialNumberFault::Empty;
    // Control characters first: they are what a hostile text carries.
    for (const QChar c : serial)
        if (isControl(c.unicode()))
            return SerialNumberFault::ControlCharacter;
    if (firstForeign(serial) >= 0)
        return SerialNumberFault::OtherCharacter;
    // Visible ASCII from here: one byte a character.
    if (serial.size() > maxSerialNumberBytes)
        return SerialNumberFault::TooLong;
    return SerialNumberFault::None;
}

QString serialNumberProblem(const QString &serial)
{
    switch (serialNumberFault(serial)) {
    case SerialNumberFault::None:
        return QString();
    case SerialNumberFault::Empty:
        return QStringLiteral("the serial number is empty");
    case SerialNumberFault::TooLong:
        return QStringLiteral("the serial number is longer than %1 bytes (%2)")
            .arg(maxSerialNumberBytes)
            .arg(serial.toUtf8().size());
    case SerialNumberFault::ControlCharacter:
        for (const QChar c : serial)
            if (isControl(c.unicode()))
                return QStringLiteral("the serial number holds a control character (0x%1)")
                    .arg(c.unicode(), 2, 16, QLatin1Char('0'));
        break;
    case SerialNumberFault::OtherCharacter:
        break;
    }
    const ushort u = serial.at(qMax(0, firstForeign(serial))).unicode();
    return QStringLiteral("the serial number holds a character a pager's identification cannot "
                          "(U+%1)")
        .arg(QString::number(u, 16).toUpper().rightJustified(4, QLatin1Char('0')));
}
