#include "settingvalues.h"

#include "pagerlink.h"

#include <QLocale>
#include <QRegularExpression>

std::optional<float> parseSettingNumber(const QString &text)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const float value = QLocale::c().toFloat(t, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

bool settingNumberOutOfRange(const QString &text)
{
    static const QRegularExpression decimal(
        QStringLiteral("^\\s*[+-]?([0-9]+[.,]?[0-9]*|[.,][0-9]+)([eE][+-]?[0-9]+)?\\s*$"));
    return decimal.match(text).hasMatch() && !parseSettingNumber(text);
}

std::optional<unsigned> parseHistoryInterval(const QString &text)
{
    bool ok = false;
    const unsigned value = text.trimmed().toUInt(&ok, 10);
    if (!ok || value > maxHistoryInterval)
        return std::nullopt;
    return value;
}

QString renderSetting(float value)
{
    return QStringLiteral("%1").arg(double(value));
}
