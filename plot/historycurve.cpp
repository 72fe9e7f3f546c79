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
    // The column's values as given: a value axis's transformation keeps
    // their order (reversed on a screen's y), so only the first, lowest,
    // highest and last of each column are transformed.
    double first = 0, low = 0, high = 0, last = 0;
    auto closeColumn = [&] {
        if (!inColumn)
            return;
        const double x = double(column);
        const double firstY = yMap.transform(first);
        const double lastY = yMap.transform(last);
        const double a = yMap.transform(low);
        const double b = yMap.transform(high);
        const double top = std::min(a, b);
        const double bottom = std::max(a, b);
        line << QPointF(x, firstY);
        if (top != firstY)
            line << QPointF(x, top);
        if (bottom != top)
            line << QPointF(x, bottom);
        if (lastY != bottom)
            line << QPointF(x, lastY);
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
        const double following = i < to ? pixelX(i + 1) : none;
        const double next = lineGoesOn ? following : none;
        // A point off the canvas still counts when a line from it crosses
        // the canvas: the line runs out to the edge, also when zoomed in
        // between two records.
        if (crosses(current, current) || crosses(previous, current) || crosses(current, next)) {
            const double y = series.y[i];
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
        current = following;
    }
    endLine();
    return lines;
}

void HistoryCurve::setSeries(const HistoryPlotSeries &series)
{
    points = series;
    inTimeOrder = std::is_sorted(series.x.cbegin(), series.x.cend());
    setSamples(series.x, series.y);
}

void HistoryCurve::drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                             const QRectF &canvasRect, int from, int to) const
{
    const double left = canvasRect.left() - 1;
    const double right = canvasRect.right() + 1;
    // Zoomed in, only the points in view and one on either side (the lines
    // from them run to the edges) are gone through.
    if (inTimeOrder && from <= to) {
        const double a = xMap.invTransform(left);
        const double b = xMap.invTransform(right);
        const auto begin = points.x.cbegin() + from;
        const auto end = points.x.cbegin() + to + 1;
        from = std::max(from,
                        int(std::lower_bound(begin, end, std::min(a, b)) - points.x.cbegin()) - 1);
        to = std::min(to, int(std::upper_bound(begin, end, std::max(a, b)) - points.x.cbegin()));
    }
    const QVector<QPolygonF> lines = decimatedLines(points, xMap, yMap, left, right, from, to);
    for (const QPolygonF &line : lines) {
        if (line.size() > 1)
            QwtPainter::drawPolyline(painter, line);
        else
            // A lone point between two breaks is still a value: a dot.
            QwtPainter::drawPoint(painter, line.first());
    }
}
