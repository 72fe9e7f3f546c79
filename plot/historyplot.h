// The history as a plot: dose rate on a logarithmic axis, the count rates on a
// second axis, alarms and other events as markers on a local time axis.
#pragma once

#include "historyplotdata.h"

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

// The plot itself, used on screen by the window and off screen for files.
class HistoryPlot : public QwtPlot
{
public:
    explicit HistoryPlot(QWidget *parent = nullptr);

    // Shows `records` (copied: the plot keeps no pointer to them) with their
    // times in `zone`; the title names the serial number and the period.
    void setHistory(const QList<HistoryRecord *> &records, const QString &serialNumber,
                    const QTimeZone &zone);

    const HistoryPlotData &data() const { return plotData; }
    QTimeZone timeZone() const { return zone; }
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
    HistoryPlotData plotData;
    QVector<HistoryRecord> records;
    HistoryCurve *doseRateCurve;
    HistoryCurve *gammaCurve;
    HistoryCurve *neutronCurve;
    HistoryEventMarkers *alarmMarkers;
    HistoryEventMarkers *eventMarkers;
    HistoryTimeScaleDraw *timeScale;
    HistoryZoomer *zoomer;
    HistoryZoomer *rightZoomer;

    void setTimeAxis();
    void setZoomBase();
};

// Writes the plot as shown (a PNG image, or a PDF page of A4 landscape, by the
// file name's suffix). The file is replaced only when all of it was written.
bool saveHistoryPlot(HistoryPlot *plot, const QString &fileName, QString *error);

// The same for the whole history of `records`, without a window on screen
// (needs a QApplication).
bool renderHistoryPlot(const QList<HistoryRecord *> &records, const QString &serialNumber,
                       const QTimeZone &zone, const QString &fileName, QString *error);

// The plot window: one instance, owned by the main window and closed with it.
class HistoryPlotWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryPlotWindow(QWidget *parent = nullptr);

    void setHistory(const QList<HistoryRecord *> &records, const QString &serialNumber,
                    const QTimeZone &zone = QTimeZone::systemTimeZone());
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
};
