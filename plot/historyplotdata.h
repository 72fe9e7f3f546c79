// The history as plot series and event markers: a pure function of the
// records, so what the plot shows can be checked without drawing it.
#pragma once

#include "historyrecord.h"

#include <QList>
#include <QString>
#include <QVector>

// One curve. x is the record time in milliseconds since 1970-01-01 UTC (the
// time scale's unit); rows[i] is the table row of point i.
struct HistoryPlotSeries
{
    QVector<double> x;
    QVector<double> y;
    QVector<int> rows;
    // Indices of the points that begin a new line: the first after a
    // switch-off, and one earlier than the point before (the pager's clock
    // was set back). The line is not drawn across these.
    QVector<int> lineStarts;
    int size() const { return x.size(); }
};

struct HistoryPlotMarker
{
    double x = 0; // milliseconds since 1970-01-01 UTC
    int row = 0;  // table row of the record
    char eventCode = 0;
    QString text; // event text shown beside the marker
};

struct HistoryPlotData
{
    // Dose rate in Sv/h and count rates in counts per second, each for a
    // logarithmic axis: only positive finite values.
    HistoryPlotSeries doseRate;
    HistoryPlotSeries gamma;
    HistoryPlotSeries neutron;
    // Gamma and neutron alarms, in row order.
    QVector<HistoryPlotMarker> alarms;
    // Dose-rate threshold exceeded, in row order.
    QVector<HistoryPlotMarker> doseRateExceeded;
    // Switch-on, switch-off, calibration and setting changes, in row order.
    QVector<HistoryPlotMarker> events;
    // Records that look wrong (flags set), in row order; their text the reasons.
    QVector<HistoryPlotMarker> flagged;
    // Every record's x in row order, and the rows sorted by time (stable), for
    // finding the record nearest to a point of the time axis.
    QVector<double> recordX;
    QVector<int> rowsByTime;

    bool isEmpty() const { return recordX.isEmpty(); }
    // Earliest and latest record time (0 when empty).
    double firstX() const;
    double lastX() const;
    // The row whose time is nearest to x, -1 when there are no records. Of
    // records at the same time the first row wins.
    int nearestRow(double x) const;
};

// Events drawn as small grey markers; alarms are told by isAlarmEvent(), the
// dose-rate threshold exceeded by its code 'e'.
bool isPlottedEvent(char code);

HistoryPlotData historyPlotData(const QVector<HistoryRecord> &records);
HistoryPlotData historyPlotData(const QList<HistoryRecord *> &records);
