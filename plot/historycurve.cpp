#include "historycurve.h"

#include <qwt_painter.h>
#include <qwt_scale_map.h>

#include <algorithm>
#include <cmath>
#include <limits>

QVector<QPolygonF> decimatedLines(const HistoryPlotSeries &series, const QwtScaleMap &xMap,
                                  const QwtScaleMap &yMap, double left, double right, int from,
                                  int to)
{
    QVector<QPolygonF> lines;
    if (from < 0 || to >= series.size() || from > to)
        return lines;
    auto pixelX = [&](int i) { return xMap.transform(series.x[i]); };
    // Whether the segment between two x positions crosses the canvas (NaN: no neighbour).
    auto crosses = [&](double a, double b) {
        return !std::isnan(a) && !std::isnan(b) && std::min(a, b) <= right &&
               std::max(a, b) >= left;
    };
    constexpr double none = std::numeric_limits<double>::quiet_NaN();

    QPolygonF line;
    bool inColumn = false;
    qint64 column = 0;
    double first = 0, low = 0, high = 0, last = 0;
    auto closeColumn = [&] {
        if (!inColumn)
            return;
        const double x = double(column);
        line << QPointF(x, first);
        if (low != first)
            line << QPointF(x, low);
        if (high != low)
            line << QPointF(x, high);
        if (last != high)
            line << QPointF(x, last);
        inColumn = false;
    };
    auto endLine = [&] {
        closeColumn();
        if (!line.isEmpty())
            lines.append(line);
        line.clear();
    };

    auto nextStart = std::upper_bound(series.lineStarts.begin(), series.lineStarts.end(), from);
    double previous = from > 0 ? pixelX(from - 1) : none;
    double current = pixelX(from);
    for (int i = from; i <= to; ++i) {
        if (nextStart != series.lineStarts.end() && *nextStart == i) {
            endLine();
            ++nextStart;
            previous = none;
        }
        const bool lineGoesOn = nextStart == series.lineStarts.end() || *nextStart != i + 1;
        const double next = i < to && lineGoesOn ? pixelX(i + 1) : none;
        // A point off the canvas still counts when a line from it crosses
        // the canvas: the line runs out to the edge, also when zoomed in
        // between two records.
        if (crosses(current, current) || crosses(previous, current) || crosses(current, next)) {
            const double y = yMap.transform(series.y[i]);
            const qint64 c = qRound64(current);
            if (!inColumn || c != column) {
                closeColumn();
                inColumn = true;
                column = c;
                first = low = high = y;
            }
            low = std::min(low, y);
            high = std::max(high, y);
            last = y;
        } else {
            endLine();
        }
        previous = current;
        current = i < to ? pixelX(i + 1) : none;
    }
    endLine();
    return lines;
}

void HistoryCurve::setSeries(const HistoryPlotSeries &series)
{
    points = series;
    setSamples(series.x, series.y);
}

void HistoryCurve::drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                             const QRectF &canvasRect, int from, int to) const
{
    const QVector<QPolygonF> lines =
        decimatedLines(points, xMap, yMap, canvasRect.left() - 1, canvasRect.right() + 1, from, to);
    for (const QPolygonF &line : lines) {
        if (line.size() > 1)
            QwtPainter::drawPolyline(painter, line);
        else
            // A lone point between two breaks is still a value: a dot.
            QwtPainter::drawPoint(painter, line.first());
    }
}
