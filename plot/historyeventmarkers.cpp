#include "historyeventmarkers.h"

#include "historyflags.h"
#include "historytable.h"

#include <QPainter>
#include <qwt_graphic.h>
#include <qwt_legend_data.h>
#include <qwt_scale_map.h>
#include <qwt_text.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double symbolSize = 8;
constexpr double rowPitch = 10;

// Centre of the symbol of a kind at the top of the canvas.
double rowY(const QRectF &canvas, int kind)
{
    return canvas.top() + 3 + symbolSize / 2 + kind * rowPitch;
}

void drawSymbol(QPainter *painter, int kind, const QPointF &c)
{
    const double h = symbolSize / 2;
    switch (kind) {
    case GammaAlarmMarker: { // triangle pointing down
        const QPointF p[] = {{c.x() - h, c.y() - h}, {c.x() + h, c.y() - h}, {c.x(), c.y() + h}};
        painter->drawPolygon(p, 3);
        break;
    }
    case NeutronAlarmMarker: { // diamond
        const QPointF p[] = {
            {c.x(), c.y() - h}, {c.x() + h, c.y()}, {c.x(), c.y() + h}, {c.x() - h, c.y()}};
        painter->drawPolygon(p, 4);
        break;
    }
    case DoseRateExceededMarker: // square
        painter->drawRect(QRectF(c.x() - h + 0.5, c.y() - h + 0.5, 2 * h - 1, 2 * h - 1));
        break;
    case FlaggedRecordMarker: // a bar standing above the foot's marks
        painter->drawRect(QRectF(c.x() - 1, c.y() - 18, 2, 8));
        break;
    default: { // a small triangle standing on the foot of the canvas
        const QPointF p[] = {{c.x() - 4, c.y()}, {c.x() + 4, c.y()}, {c.x(), c.y() - 8}};
        painter->drawPolygon(p, 3);
    }
    }
}

void sortByTime(QVector<HistoryPlotMarker> &markers)
{
    std::stable_sort(
        markers.begin(), markers.end(),
        [](const HistoryPlotMarker &a, const HistoryPlotMarker &b) { return a.x < b.x; });
}

const char *const kindTitles[EventMarkerKindCount] = {"Тревога гамма", "Тревога нейтронная",
                                                      "Превышение порога МЭД", "События прибора",
                                                      "Записи с отметками"};

} // namespace

int eventMarkerKind(char eventCode)
{
    switch (eventCode) {
    case 'A':
        return GammaAlarmMarker;
    case 'N':
        return NeutronAlarmMarker;
    case 'e':
        return DoseRateExceededMarker;
    default:
        return isPlottedEvent(eventCode) ? DeviceEventMarker : -1;
    }
}

QColor eventMarkerColor(int kind)
{
    switch (kind) {
    case GammaAlarmMarker:
        return QColor(255, 0, 0); // the red of the table's alarm rows
    case NeutronAlarmMarker:
        return QColor(215, 110, 0);
    case DoseRateExceededMarker:
        return historyThresholdColour(); // that of the table's threshold rows
    case FlaggedRecordMarker:
        return QColor(QRgb(historyFlagMarkRgb)); // the mark of the tables' rows
    default:
        return QColor(140, 140, 140);
    }
}

QVector<EventMarkerColumn> eventMarkerColumns(const QVector<double> &pixelX,
                                              const QVector<int> &kinds, double left, double right,
                                              double labelWidth)
{
    QVector<EventMarkerColumn> columns;
    for (int i = 0; i < pixelX.size(); ++i) {
        if (pixelX[i] < left || pixelX[i] > right)
            continue;
        const int x = qRound(pixelX[i]);
        if (columns.isEmpty() || columns.last().x != x)
            columns.append({x, 0, i, false});
        columns.last().kinds |= 1 << kinds[i];
    }
    for (int c = 0; c < columns.size(); ++c) {
        EventMarkerColumn &column = columns[c];
        const bool oneKind = (column.kinds & (column.kinds - 1)) == 0;
        const double end = column.x + labelGap + labelWidth;
        // The previous label ended before this column's line, so texts never
        // meet once no line crosses them.
        column.labelled =
            oneKind && end <= right && (c + 1 == columns.size() || columns[c + 1].x > end);
    }
    return columns;
}

HistoryEventMarkers::HistoryEventMarkers()
{
    setItemAttribute(QwtPlotItem::Legend, true);
    setLegendIconSize(QSize(14, 14));
    // Above the grid (z 10), under the curves (z 20): a peak at an alarm's
    // time stays in sight.
    setZ(12);
}

void HistoryEventMarkers::setMarkers(const HistoryPlotData &data)
{
    top = data.alarms + data.doseRateExceeded;
    sortByTime(top);
    topKinds.clear();
    for (const HistoryPlotMarker &m : top)
        topKinds.append(eventMarkerKind(m.eventCode));
    devices = data.events;
    sortByTime(devices);
    flagged = data.flagged;
    sortByTime(flagged);
    itemChanged();
}

void HistoryEventMarkers::draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &,
                               const QRectF &canvasRect) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    const double left = canvasRect.left() - 1;
    const double right = canvasRect.right() + 1;

    // The other events: one grey mark per pixel column.
    const QColor grey = eventMarkerColor(DeviceEventMarker);
    painter->setPen(grey);
    painter->setBrush(grey);
    int lastColumn = -1;
    for (const HistoryPlotMarker &m : devices) {
        const double px = xMap.transform(m.x);
        if (px < left || px > right || qRound(px) == lastColumn)
            continue;
        lastColumn = qRound(px);
        drawSymbol(painter, DeviceEventMarker, QPointF(lastColumn, canvasRect.bottom()));
    }
    // Records that look wrong: one amber bar per pixel column.
    painter->setPen(Qt::NoPen);
    painter->setBrush(eventMarkerColor(FlaggedRecordMarker));
    lastColumn = -1;
    for (const HistoryPlotMarker &m : flagged) {
        const double px = xMap.transform(m.x);
        if (px < left || px > right || qRound(px) == lastColumn)
            continue;
        lastColumn = qRound(px);
        drawSymbol(painter, FlaggedRecordMarker, QPointF(lastColumn, canvasRect.bottom()));
    }

    QVector<double> pixelX;
    pixelX.reserve(top.size());
    for (const HistoryPlotMarker &m : top)
        pixelX.append(xMap.transform(m.x));
    QFont font = painter->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    painter->setFont(font);
    const QFontMetrics metrics = painter->fontMetrics();
    const QVector<EventMarkerColumn> columns =
        eventMarkerColumns(pixelX, topKinds, left, right, metrics.height());
    const double labelTop = rowY(canvasRect, DoseRateExceededMarker) + symbolSize;
    for (const EventMarkerColumn &column : columns) {
        const double x = column.x;
        for (int kind = 0; kind < DeviceEventMarker; ++kind) {
            if (!(column.kinds & (1 << kind)))
                continue;
            QColor line = eventMarkerColor(kind);
            line.setAlpha(150);
            painter->setPen(QPen(line, 0));
            const double y = rowY(canvasRect, kind);
            painter->drawLine(QPointF(x, y + symbolSize / 2), QPointF(x, canvasRect.bottom()));
            painter->setPen(eventMarkerColor(kind).darker(130));
            painter->setBrush(eventMarkerColor(kind));
            drawSymbol(painter, kind, QPointF(x, y));
        }
        const QString &text = top[column.first].text;
        if (!column.labelled ||
            // clear of the grey marks at the foot
            metrics.horizontalAdvance(text) > canvasRect.bottom() - labelTop - 12)
            continue;
        // On a light ground that hides the grid and the threshold line (drawn
        // under this item) but not the curves (drawn over it).
        painter->fillRect(
            QRectF(x + labelGap, labelTop, metrics.height(), metrics.horizontalAdvance(text) + 2),
            QColor(255, 255, 255, 220));
        painter->setPen(eventMarkerColor(topKinds[column.first]).darker(120));
        painter->save();
        painter->translate(x + labelGap + metrics.descent(), labelTop + 1);
        painter->rotate(90);
        painter->drawText(QPointF(0, 0), text);
        painter->restore();
    }
    painter->restore();
}

QList<QwtLegendData> HistoryEventMarkers::legendData() const
{
    QList<QwtLegendData> list;
    for (int kind = 0; kind < EventMarkerKindCount; ++kind) {
        QwtLegendData data;
        QwtText title(QString::fromUtf8(kindTitles[kind]));
        title.setRenderFlags(Qt::AlignLeft);
        data.setValue(QwtLegendData::TitleRole, QVariant::fromValue(title));
        data.setValue(QwtLegendData::IconRole,
                      QVariant::fromValue(legendIcon(kind, legendIconSize())));
        list.append(data);
    }
    return list;
}

QwtGraphic HistoryEventMarkers::legendIcon(int kind, const QSizeF &size) const
{
    QwtGraphic icon;
    icon.setDefaultSize(size);
    icon.setRenderHint(QwtGraphic::RenderPensUnscaled, true);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QColor color = eventMarkerColor(kind);
    const double x = size.width() / 2;
    if (kind == FlaggedRecordMarker) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        drawSymbol(&painter, kind, QPointF(x, size.height() + 10));
        return icon;
    }
    if (kind == DeviceEventMarker) {
        painter.setPen(color);
        painter.setBrush(color);
        drawSymbol(&painter, kind, QPointF(x, size.height()));
        return icon;
    }
    painter.setPen(color);
    painter.drawLine(QPointF(x, symbolSize / 2), QPointF(x, size.height()));
    painter.setPen(color.darker(130));
    painter.setBrush(color);
    drawSymbol(&painter, kind, QPointF(x, symbolSize / 2));
    return icon;
}
