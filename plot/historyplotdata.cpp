#include "historyplotdata.h"

#include "historyflags.h"

#include <algorithm>
#include <cmath>

namespace {

// Appends a point when a logarithmic axis can show it (inf and nan come from
// damaged or unset stored values and would spoil the scale). `lastOff` is
// the row of the latest switch-off before `row`, -1 when none.
void append(HistoryPlotSeries &series, double x, double y, int row, int lastOff)
{
    if (!std::isfinite(y) || y <= 0)
        return;
    if (!series.rows.isEmpty() && (series.rows.last() <= lastOff || x < series.x.last()))
        series.lineStarts.append(series.size());
    series.x.append(x);
    series.y.append(y);
    series.rows.append(row);
}

void reserve(HistoryPlotSeries &series, int size)
{
    series.x.reserve(size);
    series.y.reserve(size);
    series.rows.reserve(size);
}

} // namespace

bool isPlottedEvent(char code)
{
    switch (code) {
    case '0': // switch-off
    case '1': // switch-on
    case 'C': // calibration
    case 'S': // number of sigmas changed
    case 's': // alarm signalling changed
        return true;
    default:
        return false;
    }
}

HistoryPlotData historyPlotData(const QList<HistoryRecord *> &list)
{
    QVector<HistoryRecord> records;
    records.reserve(list.size());
    for (const HistoryRecord *r : list)
        records.append(*r);
    return historyPlotData(records);
}

HistoryPlotData historyPlotData(const QVector<HistoryRecord> &records)
{
    HistoryPlotData data;
    const int n = records.size();
    reserve(data.doseRate, n);
    reserve(data.gamma, n);
    reserve(data.neutron, n);
    data.recordX.reserve(n);
    int lastOff = -1;
    for (int row = 0; row < n; ++row) {
        const HistoryRecord &r = records.at(row);
        const double x = double(r.time) * 1000.0;
        data.recordX.append(x);
        append(data.doseRate, x, r.doseRate, row, lastOff);
        append(data.gamma, x, r.gammaCps, row, lastOff);
        append(data.neutron, x, r.neutronCps, row, lastOff);
        if (r.eventCode == '0')
            lastOff = row;
        if (isAlarmEvent(r.eventCode))
            data.alarms.append({x, row, r.eventCode, eventText(r.eventCode)});
        else if (r.eventCode == 'e')
            data.doseRateExceeded.append({x, row, r.eventCode, eventText(r.eventCode)});
        else if (isPlottedEvent(r.eventCode))
            data.events.append({x, row, r.eventCode, eventText(r.eventCode)});
        if (r.flags)
            data.flagged.append(
                {x, row, r.eventCode, recordFlagReasons(r.flags).join(QStringLiteral("; "))});
    }
    // The pager's clock may have been set back, so row order is not always
    // time order.
    data.rowsByTime.resize(n);
    for (int row = 0; row < n; ++row)
        data.rowsByTime[row] = row;
    std::stable_sort(data.rowsByTime.begin(), data.rowsByTime.end(),
                     [&](int a, int b) { return data.recordX[a] < data.recordX[b]; });
    return data;
}

double HistoryPlotData::firstX() const
{
    return rowsByTime.isEmpty() ? 0 : recordX[rowsByTime.first()];
}

double HistoryPlotData::lastX() const
{
    return rowsByTime.isEmpty() ? 0 : recordX[rowsByTime.last()];
}

int HistoryPlotData::nearestRow(double x) const
{
    if (rowsByTime.isEmpty())
        return -1;
    // Rows sorted by time with a stable sort: the first row at a time is the
    // leftmost of those sharing it.
    auto firstAt = [&](double t) {
        return *std::lower_bound(rowsByTime.begin(), rowsByTime.end(), t,
                                 [&](int row, double v) { return recordX[row] < v; });
    };
    const auto after = std::lower_bound(rowsByTime.begin(), rowsByTime.end(), x,
                                        [&](int row, double v) { return recordX[row] < v; });
    if (after == rowsByTime.end())
        return firstAt(lastX());
    if (after == rowsByTime.begin())
        return *after;
    const double earlier = recordX[*(after - 1)];
    const double later = recordX[*after];
    return x - earlier <= later - x ? firstAt(earlier) : *after;
}
