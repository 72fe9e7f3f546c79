#include "historyscaledraws.h"

#include <QDateTime>
#include <QSet>
#include <qwt_scale_div.h>

#include <cmath>

namespace {

constexpr int mostDigits = 6;

// The digits and the minus sign as superscripts.
QString superscript(int exponent)
{
    static const QString digits = QStringLiteral("⁰¹²³⁴⁵⁶⁷⁸⁹");
    QString text = exponent < 0 ? QStringLiteral("⁻") : QString();
    for (const QChar c : QString::number(std::abs(exponent)))
        text += digits.at(c.digitValue());
    return text;
}

// `value` with `digits` significant digits, without trailing zeros after the
// decimal sign.
QString plainNumber(double value, int digits, const QLocale &locale)
{
    const int magnitude = value == 0 ? 0 : int(std::floor(std::log10(std::abs(value))));
    QString text = locale.toString(value, 'f', std::max(0, digits - 1 - magnitude));
    const QString point = locale.decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(locale.zeroDigit()))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(point.size());
    }
    return text;
}

// Whether `digits` significant digits write `value` without rounding it.
bool writtenExactly(double value, int digits)
{
    if (value == 0 || !std::isfinite(value))
        return true;
    const double scale = std::pow(10.0, digits - 1 - std::floor(std::log10(std::abs(value))));
    return std::abs(std::round(value * scale) / scale - value) <= 1e-6 * std::abs(value);
}

} // namespace

AxisNumberFormat axisNumberFormat(const QList<double> &ticks)
{
    AxisNumberFormat format;
    for (double v : ticks)
        if (v != 0 && (std::abs(v) < 0.01 || std::abs(v) >= 1e5))
            format.powersOfTen = true;
    const QLocale c = QLocale::c();
    for (; format.digits < mostDigits; ++format.digits) {
        QSet<QString> texts;
        bool exact = true;
        for (double v : ticks) {
            texts.insert(axisNumberText(v, format, c));
            exact = exact && writtenExactly(v, format.digits);
        }
        if (exact && texts.size() == ticks.size())
            break;
    }
    return format;
}

QString axisNumberText(double value, const AxisNumberFormat &format, const QLocale &locale)
{
    QLocale shown = locale;
    shown.setNumberOptions(QLocale::OmitGroupSeparator);
    if (!format.powersOfTen || value == 0 || !std::isfinite(value))
        return plainNumber(value, format.digits, shown);
    int exponent = int(std::floor(std::log10(std::abs(value))));
    double mantissa = value / std::pow(10.0, exponent);
    // Rounded to its digits, 9.99 becomes 10: one power of ten higher.
    const double scale = std::pow(10.0, format.digits - 1);
    if (std::abs(std::round(mantissa * scale) / scale) >= 10) {
        mantissa /= 10;
        ++exponent;
    }
    return plainNumber(mantissa, format.digits, shown) + QStringLiteral("·10") +
           superscript(exponent);
}

QwtText HistoryValueScaleDraw::label(double value) const
{
    return axisNumberText(value, axisNumberFormat(scaleDiv().ticks(QwtScaleDiv::MajorTick)));
}

HistoryTimeScaleDraw::HistoryTimeScaleDraw()
{
    // A view of a second or two has ticks a fraction of a second apart.
    setDateFormat(QwtDate::Millisecond, QStringLiteral("HH:mm:ss.zzz\ndd.MM.yyyy"));
    setDateFormat(QwtDate::Second, QStringLiteral("HH:mm:ss\ndd.MM.yyyy"));
    setDateFormat(QwtDate::Minute, QStringLiteral("HH:mm\ndd.MM.yyyy"));
    setDateFormat(QwtDate::Hour, QStringLiteral("HH:mm\ndd.MM.yyyy"));
    setDateFormat(QwtDate::Day, QStringLiteral("dd.MM.yyyy"));
    setDateFormat(QwtDate::Week, QStringLiteral("dd.MM.yyyy"));
    setDateFormat(QwtDate::Month, QStringLiteral("MM.yyyy"));
    setDateFormat(QwtDate::Year, QStringLiteral("yyyy"));
}

QwtText HistoryTimeScaleDraw::label(double value) const
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(qint64(value), zone);
    return t.toString(dateFormatOfDate(t, intervalType(scaleDiv())));
}
