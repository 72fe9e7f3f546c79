// The history as a plot: dose rate on a logarithmic axis, the count rates on a
// second axis, alarms and other events as markers on a local time axis, and
// the pager's dose-rate alarm threshold as a dashed line when it is known.
// The title names the period shown; a dragged box zooms to exactly its
// interval on both axes. The pointer's tracker names the record under it; a
// zoom or a pan hides it until the pointer moves again. The plot items (curve, event markers, axis
// labels) live in files of their own; here are the plot, its files and its window.
#pragma once

#include "historyplotdata.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QTimeZone>
#include <QVector>
#include <QWidget>
#include <qwt_plot.h>

class QLabel;
class QPushButton;
class HistoryCurve;
class HistoryEventMarkers;
class HistoryTimeScaleDraw;
class HistoryZoomer;
class QwtPlotMarker;

// How far press and release may lie apart for a click on a record (pixels);
// a larger drag zooms.
constexpr int plotClickSlack = 3;

// The plot itself, used on screen by the window and off screen for files.
class HistoryPlot : public QwtPlot
{
public:
    explicit HistoryPlot(QWidget *parent = nullptr);

    // Shows `records` (kept: row i of the table is records[i]) with their
    // times in `zone`, the whole history at first.
    void setHistory(QVector<HistoryRecord> records, const QString &serialNumber,
                    const QTimeZone &zone);
    // The same, the records copied (the plot keeps no pointer to them).
    void setHistory(const QList<HistoryRecord *> &records, const QString &serialNumber,
                    const QTimeZone &zone);
    // The dose-rate alarm threshold in Sv/h, drawn as a dashed line on the
    // dose-rate axis and named in the legend; NaN (or not above 0) for none.
    // The whole-history view takes it in.
    void setDoseRateThreshold(double sievertsPerHour);
    double doseRateThreshold() const { return threshold; }

    const HistoryPlotData &data() const { return plotData; }
    QTimeZone timeZone() const { return zone; }
    // The period on the time axis now, as the title names it.
    QString periodText() const;

    // The record under a point of the canvas: an alarm or event marker within
    // a few pixels first, else the record nearest in time; -1 when none.
    int rowAt(const QPointF &canvasPos) const;
    // Date, event and values of a row, as the pointer's tracker shows them.
    QString recordText(int row) const;

    // Back to the whole history after zooming or panning.
    void showWholeHistory();

private:
    QTimeZone zone = QTimeZone::systemTimeZone(); // the zone the records are shown in
    QString serialNumber;
    HistoryPlotData plotData;
    QVector<HistoryRecord> records;
    double threshold;
    HistoryCurve *doseRateCurve;
    HistoryCurve *gammaCurve;
    HistoryCurve *neutronCurve;
    HistoryEventMarkers *markers;
    QwtPlotMarker *thresholdLine;
    HistoryTimeScaleDraw *timeScale;
    HistoryZoomer *zoomer;

    void setTimeAxis();
    // The whole history's scales; shown now when `show` or not zoomed in.
    void setWholeHistory(bool show);
    void updateTitle();
};

// Writes the plot as shown (a PNG image, or a PDF page of A4 landscape, by the
// file name's suffix). The file is replaced only when all of it was written.
bool saveHistoryPlot(HistoryPlot *plot, const QString &fileName, QString *error);

// The same for the whole history of `records`, without a window on screen
// (needs a QApplication).
bool renderHistoryPlot(QVector<HistoryRecord> records, const QString &serialNumber,
                       const QTimeZone &zone, const QString &fileName, QString *error);
bool renderHistoryPlot(const QList<HistoryRecord *> &records, const QString &serialNumber,
                       const QTimeZone &zone, const QString &fileName, QString *error);

// The plot window: one instance, owned by the main window and closed with it.
// It keeps the dose-rate alarm threshold each pager was last read with and
// draws it while it shows that pager's history.
class HistoryPlotWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryPlotWindow(QWidget *parent = nullptr);

    void setHistory(QVector<HistoryRecord> records, const QString &serialNumber,
                    const QTimeZone &zone = QTimeZone::systemTimeZone());
    void setHistory(const QList<HistoryRecord *> &records, const QString &serialNumber,
                    const QTimeZone &zone = QTimeZone::systemTimeZone());
    // The period the offered file name carries (the archive window's); none
    // (invalid dates): today's date.
    void setNamePeriod(const QDate &from, const QDate &to);
    // The dose-rate alarm threshold (Sv/h) read from the pager `serialNumber`;
    // NaN when the read failed (the threshold is then no longer known).
    void setDoseRateThreshold(const QString &serialNumber, double sievertsPerHour);
    HistoryPlot *plot() const { return historyPlot; }

signals:
    // A click on the plot chose the record of this table row.
    void recordActivated(int row);

public slots:
    // Asks for a file name and saves the plot as shown.
    void savePlot();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    HistoryPlot *historyPlot;
    QPushButton *wholeButton;
    QPushButton *saveButton;
    QLabel *messageLabel;
    QPoint pressPos;
    bool pressed = false;
    QString shownSerialNumber;
    QDate nameFrom, nameTo;
    QHash<QString, double> thresholds; // by serial number
};
