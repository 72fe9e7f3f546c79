// The plot window: one instance, owned by the main window and closed with
// it. Shows the history beside the table; a click on the plot chooses the
// record's table row. It keeps the dose-rate alarm threshold each pager was
// last read with and draws it while it shows that pager's history.
#pragma once

#include <QHash>
#include <QList>
#include <QTimeZone>
#include <QWidget>

class HistoryPlot;
class QLabel;
class QPushButton;
struct HistoryRecord;

class HistoryPlotWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryPlotWindow(QWidget *parent = nullptr);

    void setHistory(const QList<HistoryRecord *> &records, const QString &serialNumber,
                    const QTimeZone &zone = QTimeZone::systemTimeZone());
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
    QHash<QString, double> thresholds; // by serial number
};
