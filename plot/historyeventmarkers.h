// The events of the history on the plot, each kind with its own colour,
// symbol and legend entry: gamma alarms, neutron alarms and dose-rate
// threshold exceeded as a symbol in the kind's row at the top of the canvas
// with a thin line down through the curves, the other events of the pager
// (switch-on and -off, calibration, setting changes) as small grey marks at
// the foot. An alarm's text is written beside its line only where it fits
// without covering another text or being crossed by another marker's line,
// and only for a column whose markers are all of one kind. One item draws
// them all: a long history may hold thousands, drawn once per pixel column.
#pragma once

#include "historyplotdata.h"

#include <QColor>
#include <QVector>
#include <qwt_plot_item.h>

enum EventMarkerKind {
    GammaAlarmMarker,
    NeutronAlarmMarker,
    DoseRateExceededMarker,
    DeviceEventMarker,
    FlaggedRecordMarker, // a record that looks wrong (historyflags.h): an amber bar at the foot
    EventMarkerKindCount
};

// The kind of an event's marker; -1 for an event without one.
int eventMarkerKind(char eventCode);
QColor eventMarkerColor(int kind);

// One pixel column of the canvas holding alarm or threshold markers.
struct EventMarkerColumn
{
    int x = 0;             // pixel column
    int kinds = 0;         // bit 1 << kind for each kind of marker in it
    int first = -1;        // index of its first marker
    bool labelled = false; // its text is written beside its line
};

// The columns of markers at pixel positions `pixelX` (ascending) of kinds
// `kinds`, those between left and right. A column is labelled when all its
// markers are of one kind and its text, `labelWidth` pixels wide starting
// `labelGap` right of the line, ends before the next column's line and
// before `right`.
QVector<EventMarkerColumn> eventMarkerColumns(const QVector<double> &pixelX,
                                              const QVector<int> &kinds, double left, double right,
                                              double labelWidth);
constexpr double labelGap = 3;

class HistoryEventMarkers : public QwtPlotItem
{
public:
    HistoryEventMarkers();

    void setMarkers(const HistoryPlotData &data);

    int rtti() const override { return QwtPlotItem::Rtti_PlotUserItem + 1; }
    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
              const QRectF &canvasRect) const override;
    QList<QwtLegendData> legendData() const override;
    QwtGraphic legendIcon(int index, const QSizeF &size) const override;

private:
    QVector<HistoryPlotMarker> top;     // alarms and threshold exceeded, by time
    QVector<int> topKinds;              // kind of each
    QVector<HistoryPlotMarker> devices; // other events, by time
    QVector<HistoryPlotMarker> flagged; // records that look wrong, by time
};
