// Times the history plot with a long history: preparing the series, opening
// the window until it is painted, redrawing after a zoom and after a pan, and
// writing the PNG and PDF files. Targets on the build machine: opening under
// 1 s and a zoom or pan redraw under 100 ms with 100,000 records.
// Run with QT_QPA_PLATFORM=offscreen where no display is available:
//     bench_plot [RECORDS [DIRECTORY-TO-KEEP-THE-FILES]]
#include "historyplot.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <qwt_plot_canvas.h>

#include <cmath>
#include <cstdio>

namespace {

// A month-long kind of history: background records every few minutes with a
// wandering dose rate, an alarm now and then, switch-on and switch-off pairs.
QList<HistoryRecord *> makeRecords(int count)
{
    QList<HistoryRecord *> records;
    records.reserve(count);
    const std::uint32_t start = 1714564800;
    for (int i = 0; i < count; ++i) {
        auto *r = new HistoryRecord;
        r->time = start + std::uint32_t(i) * 120;
        r->eventCode = i % 997 == 0    ? 'A'
                       : i % 1499 == 0 ? 'N'
                       : i % 1993 == 1 ? 'e'
                       : i % 5000 == 1 ? '1'
                                       : 'F';
        const double wave = std::sin(i / 700.0) + 0.3 * std::sin(i / 13.0);
        r->doseRate = float(1e-7 * std::exp(1.5 * wave) * (r->eventCode == 'A' ? 20 : 1));
        r->gammaCps = std::uint16_t(40 + 30 * wave + (i * 7919) % 11);
        r->neutronCps = float(2 + wave + ((i * 104729) % 5) * 0.1);
        r->dose = float(1e-6 * i);
        records.append(r);
    }
    return records;
}

void report(const char *what, qint64 ns, const char *target)
{
    std::printf("%-44s %9.1f ms   %s\n", what, ns / 1e6, target);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QList<HistoryRecord *> records = makeRecords(count);
    std::printf("%d records\n", count);

    QElapsedTimer timer;
    timer.start();
    const HistoryPlotData data = historyPlotData(records);
    report("series and markers", timer.nsecsElapsed(), "");
    std::printf("  %d dose-rate points, %d alarms, %d thresholds exceeded, %d events\n",
                data.doseRate.size(), data.alarms.size(), data.doseRateExceeded.size(),
                data.events.size());

    timer.restart();
    auto *window = new HistoryPlotWindow;
    window->resize(1200, 700);
    window->setDoseRateThreshold(QStringLiteral("05A00317"), 1e-6);
    window->setHistory(records, QStringLiteral("05A00317"));
    window->show();
    QWidget *canvas = window->plot()->canvas();
    canvas->repaint();
    QCoreApplication::processEvents();
    report("open the window until painted", timer.nsecsElapsed(), "target < 1000 ms");

    HistoryPlot *plot = window->plot();
    const double first = data.firstX();
    const double span = data.lastX() - first;
    const int rounds = 10;
    timer.restart();
    for (int i = 0; i < rounds; ++i) {
        const double from = first + span * (0.1 + 0.02 * i);
        plot->setAxisScale(QwtPlot::xBottom, from, from + span * 0.3);
        plot->replot();
        canvas->repaint();
    }
    report("zoom redraw (30% of the history), each", timer.nsecsElapsed() / rounds,
           "target < 100 ms");

    timer.restart();
    for (int i = 0; i < rounds; ++i) {
        plot->showWholeHistory();
        plot->replot();
        canvas->repaint();
    }
    report("whole history redraw, each", timer.nsecsElapsed() / rounds, "target < 100 ms");

    timer.restart();
    for (int i = 0; i < rounds; ++i) {
        const double from = first + span * 0.05 * i;
        plot->setAxisScale(QwtPlot::xBottom, from, from + span);
        plot->replot();
        canvas->repaint();
    }
    report("pan redraw (whole width), each", timer.nsecsElapsed() / rounds, "target < 100 ms");

    // A second argument keeps the files in that directory, to look at them.
    QTemporaryDir temporary;
    const QDir dir(argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path());
    QString error;
    for (const char *name : {"plot.png", "plot.pdf"}) {
        timer.restart();
        const bool ok =
            renderHistoryPlot(records, QStringLiteral("05A00317"), QTimeZone::systemTimeZone(),
                              dir.filePath(QLatin1String(name)), &error);
        report(name, timer.nsecsElapsed(), ok ? "" : qPrintable(error));
    }
    delete window;
    qDeleteAll(records);
    return 0;
}
