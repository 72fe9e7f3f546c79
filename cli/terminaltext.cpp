#include "terminaltext.h"

QString shownText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '\\')
            shown += QLatin1String("\\\\");
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if (!c.isPrint() && !c.isSurrogate())
            shown += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}
