#include "usbids.h"

#include <QRegularExpression>

bool parseUsbIds(const QString &text, std::vector<usbx::UsbId> *ids, QString *error)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    static const QRegularExpression form(QStringLiteral("^([0-9a-fA-F]{4}):([0-9a-fA-F]{4})$"));
    const QStringList words = text.split(separators, Qt::SkipEmptyParts);
    std::vector<usbx::UsbId> found;
    for (const QString &word : words) {
        const QRegularExpressionMatch m = form.match(word);
        if (!m.hasMatch()) {
            if (error)
                *error = QStringLiteral("not a USB id VID:PID (such as 10c4:ea61): %1").arg(word);
            return false;
        }
        found.push_back({std::uint16_t(m.captured(1).toUInt(nullptr, 16)),
                         std::uint16_t(m.captured(2).toUInt(nullptr, 16))});
    }
    ids->insert(ids->end(), found.begin(), found.end());
    return true;
}

QString usbIdText(const usbx::UsbId &id)
{
    return QStringLiteral("%1:%2")
        .arg(id.vendor, 4, 16, QLatin1Char('0'))
        .arg(id.product, 4, 16, QLatin1Char('0'));
}
