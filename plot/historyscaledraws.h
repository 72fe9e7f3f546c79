// The plot's axis labels: local date and time on the time axis, in the zone
// the records were made in; numbers on the value axes as a Russian reader
// writes them (the locale's decimal sign, powers of ten as 1,5·10⁻⁷), with
// no two ticks of one axis labelled alike.
#pragma once

#include <QList>
#include <QLocale>
#include <QTimeZone>
#include <qwt_date_scale_draw.h>
#include <qwt_scale_draw.h>

// How the numbers of one axis are written: all as powers of ten when any
// tick lies below 0.01 or at 100000 and above, else all plainly; with the
// fewest significant digits (1 to 6) that write every tick without rounding
// it and tell every tick apart.
struct AxisNumberFormat
{
    bool powersOfTen = false;
    int digits = 1;
};

AxisNumberFormat axisNumberFormat(const QList<double> &ticks);
QString axisNumberText(double value, const AxisNumberFormat &format,
                       const QLocale &locale = QLocale::system());

// A value axis (logarithmic or not) labelled with axisNumberText in the
// system locale, the format chosen from the axis's major ticks.
class HistoryValueScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double value) const override;
};

// The time axis: x is milliseconds since 1970-01-01 UTC, labelled in `zone`,
// which need not be this computer's zone (a dump made elsewhere).
class HistoryTimeScaleDraw : public QwtDateScaleDraw
{
public:
    HistoryTimeScaleDraw();
    QTimeZone zone;
    QwtText label(double value) const override;
};
