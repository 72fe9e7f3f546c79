// One series of the history plot as a curve that stays true at every zoom:
// where several records share a pixel column, the column keeps the lowest
// and the highest value of the series (min/max decimation) at the scale
// shown, so no peak is lost and a zoom shows every point it can; a long
// history still draws in a few milliseconds, and zoomed in only the points in
// view are gone through. The line is
// broken where the series says a new line starts (switch-off, clock set back).
#pragma once

#include "historyplotdata.h"

#include <QPolygonF>
#include <QVector>
#include <qwt_plot_curve.h>

class QwtScaleMap;

// The polylines, in pixels, that draw points [from, to] of `series`: every
// pixel column a line passes through holds at most four points (the first,
// lowest, highest and last of the column). Points off the canvas (outside
// left..right) count when a line from them crosses it. Lines never join
// across series.lineStarts.
QVector<QPolygonF> decimatedLines(const HistoryPlotSeries &series, const QwtScaleMap &xMap,
                                  const QwtScaleMap &yMap, double left, double right, int from,
                                  int to);

class HistoryCurve : public QwtPlotCurve
{
public:
    using QwtPlotCurve::QwtPlotCurve;

    void setSeries(const HistoryPlotSeries &series);

protected:
    void drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                   const QRectF &canvasRect, int from, int to) const override;

private:
    HistoryPlotSeries points;
    bool inTimeOrder = true; // no clock set back: the points in view are found by their x
};
