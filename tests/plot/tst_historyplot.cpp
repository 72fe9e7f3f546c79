// The history plot: series and markers made from the records, the record
// found under the pointer, a click choosing a table row, times in the
// records' zone, and the PNG and PDF files.
#include "historycurve.h"
#include "historyeventmarkers.h"
#include "historyflags.h"
#include "historyplot.h"
#include "historyscaledraws.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <qwt_plot_canvas.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_map.h>

#include <cmath>
#include <limits>

namespace {

const double infinite = std::numeric_limits<double>::infinity();
const double notANumber = std::numeric_limits<double>::quiet_NaN();
// 2024-05-01 12:00:00 UTC
constexpr std::uint32_t start = 1714564800;

struct Records
{
    QList<HistoryRecord *> list;
    ~Records() { qDeleteAll(list); }
    void add(std::uint32_t time, char code, double doseRate = 1e-7, double neutron = 1,
             std::uint16_t gamma = 5)
    {
        auto *r = new HistoryRecord;
        r->time = time;
        r->eventCode = code;
        r->doseRate = float(doseRate);
        r->neutronCps = float(neutron);
        r->gammaCps = gamma;
        list.append(r);
    }
};

// A main window that may refuse to close (as during a download).
class MainLike : public QWidget
{
public:
    bool refuse = false;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (refuse)
            event->ignore();
    }
};

// Ten hours a minute apart, alarms at minutes 200 (gamma) and 400
// (neutron), switched off at 599, shown in the window; returns its canvas.
Records tenHours;
QWidget *showTenHours(HistoryPlotWindow &window)
{
    if (tenHours.list.isEmpty())
        for (int m = 0; m < 600; ++m)
            tenHours.add(start + 60 * m,
                         m == 200   ? 'A'
                         : m == 400 ? 'N'
                         : m == 599 ? '0'
                                    : 'F',
                         1e-7 * (1 + m % 10));
    window.resize(900, 500);
    window.setHistory(tenHours.list, QStringLiteral("05A00317"));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return nullptr;
    window.plot()->replot();
    return window.plot()->canvas();
}

QVector<int> markerRows(const QVector<HistoryPlotMarker> &markers)
{
    QVector<int> rows;
    for (const HistoryPlotMarker &m : markers)
        rows << m.row;
    return rows;
}

QStringList legendTexts(const HistoryPlot *plot)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // detached items' entries
    QStringList texts;
    for (const QwtLegendLabel *label : plot->legend()->findChildren<QwtLegendLabel *>())
        texts << label->text().text();
    return texts;
}

} // namespace

class TstHistoryPlot : public QObject
{
    Q_OBJECT
private slots:
    // Flagged records as markers of their own, in row order, the reasons as
    // their text.
    void flaggedRecordsMarked()
    {
        Records records;
        for (int i = 0; i < 4; ++i)
            records.add(start + 60 * std::uint32_t(i), 'F');
        records.list[1]->flags = recordflag::Gap;
        records.list[3]->flags = recordflag::OutOfRange | recordflag::UnknownEvent;
        const HistoryPlotData data = historyPlotData(records.list);
        QCOMPARE(markerRows(data.flagged), (QVector<int>{1, 3}));
        QCOMPARE(data.flagged.last().text,
                 QStringLiteral("МЭД или скорость счёта вне диапазона прибора; неизвестный код "
                                "события"));
    }
    // Rows drawn in each series and as markers, and where the dose rate line
    // starts anew: "dose; neutron; gamma; alarms; events; line starts".
    void plotData_data()
    {
        QTest::addColumn<QByteArray>("codes");
        QTest::addColumn<QVector<int>>("minutes"); // empty: row i at minute i
        QTest::addColumn<QVector<double>>("doseRates");
        QTest::addColumn<QVector<double>>("neutrons");
        QTest::addColumn<QVector<int>>("gammas");
        QTest::addColumn<QString>("drawn");

        const QString all = QStringLiteral("0 1 2 3 4 5 6 7 8 9 10");
        QTest::newRow("every event code")
            << QByteArray("01ACFNSesXA") << QVector<int>() << QVector<double>(11, 1e-7)
            << QVector<double>(11, 2.0) << QVector<int>(11, 5)
            << QStringList{all, all, all, "2 5 10", "0 1 3 6 8", "1"}.join(QLatin1String("; "));
        QTest::newRow("log axes skip what they cannot show, alarm marker kept")
            << QByteArray("FAFFFF") << QVector<int>()
            << QVector<double>{1e-7, 0, -1e-7, infinite, notANumber, 2e-7}
            << QVector<double>{0, -1, infinite, notANumber, 3, 1.5}
            << QVector<int>{0, 7, 0, 9, 0, 1} << "0 5; 4 5; 1 3 5; 1; ; ";
        // The line breaks after a switch-off (even when the next points have no
        // value) and where the clock was set back.
        QTest::newRow("switch-off and clock set back break the line")
            << QByteArray("F01FFFF1FF") << QVector<int>{0, 1, 50, 51, 52, 53, 54, 20, 21, 22}
            << QVector<double>{1e-7, 1e-7, 0, 1e-7, 1e-7, 1e-7, 0, 1e-7, 1e-7, 1e-7}
            << QVector<double>(10, 1.0) << QVector<int>(10, 5)
            << "0 1 3 4 5 7 8 9; 0 1 2 3 4 5 6 7 8 9; 0 1 2 3 4 5 6 7 8 9; ; 1 2 7; 2 5";
        QTest::newRow("no records") << QByteArray() << QVector<int>() << QVector<double>()
                                    << QVector<double>() << QVector<int>() << "; ; ; ; ; ";
    }

    void plotData()
    {
        QFETCH(QByteArray, codes);
        QFETCH(QVector<int>, minutes);
        QFETCH(QVector<double>, doseRates);
        QFETCH(QVector<double>, neutrons);
        QFETCH(QVector<int>, gammas);
        QFETCH(QString, drawn);
        Records records;
        for (int i = 0; i < codes.size(); ++i)
            records.add(start + 60 * (minutes.isEmpty() ? i : minutes[i]), codes[i], doseRates[i],
                        neutrons[i], std::uint16_t(gammas[i]));
        const HistoryPlotData data = historyPlotData(records.list);
        QStringList lists;
        for (const QVector<int> &rows :
             {data.doseRate.rows, data.neutron.rows, data.gamma.rows, markerRows(data.alarms),
              markerRows(data.events), data.doseRate.lineStarts}) {
            QStringList numbers;
            for (int row : rows)
                numbers << QString::number(row);
            lists << numbers.join(QLatin1Char(' '));
        }
        QCOMPARE(lists.join(QLatin1String("; ")), drawn);
        // Every point and marker sits at its record's time with its value.
        auto values = [&](const HistoryPlotSeries &series, auto value) {
            QCOMPARE(series.x.size(), series.size());
            QCOMPARE(series.y.size(), series.size());
            for (int i = 0; i < series.size(); ++i) {
                const HistoryRecord *r = records.list[series.rows[i]];
                QVERIFY(series.x[i] == r->time * 1000.0 && series.y[i] == double(value(r)));
            }
        };
        values(data.doseRate, [](const HistoryRecord *r) { return r->doseRate; });
        values(data.gamma, [](const HistoryRecord *r) { return r->gammaCps; });
        values(data.neutron, [](const HistoryRecord *r) { return r->neutronCps; });
        for (const HistoryPlotMarker &m : data.alarms + data.events)
            QVERIFY(m.x == records.list[m.row]->time * 1000.0 && !m.text.isEmpty() &&
                    m.text == eventText(records.list[m.row]->eventCode));
    }

    void nearestRow_data()
    {
        QTest::addColumn<QVector<int>>("minutes"); // record times, row order
        QTest::addColumn<double>("at");            // minutes
        QTest::addColumn<int>("row");

        const QVector<int> sorted{0, 10, 20, 30};
        QTest::newRow("nearer the later") << sorted << 16.0 << 2;
        QTest::newRow("half way takes the earlier") << sorted << 15.0 << 1;
        QTest::newRow("before the first") << sorted << -100.0 << 0;
        QTest::newRow("after the last") << sorted << 1000.0 << 3;
        // The pager's clock set back: rows are not in time order.
        const QVector<int> setBack{100, 110, 120, 50, 60, 70};
        QTest::newRow("clock set back, early part") << setBack << 58.0 << 4;
        QTest::newRow("clock set back, first in time") << setBack << 0.0 << 3;
        const QVector<int> same{0, 10, 10, 10, 20, 20};
        QTest::newRow("same time: first row") << same << 11.0 << 1;
        QTest::newRow("same time at the end: first row") << same << 40.0 << 4;
        QTest::newRow("no records") << QVector<int>() << 0.0 << -1;
    }

    void nearestRow()
    {
        QFETCH(QVector<int>, minutes);
        QFETCH(double, at);
        QFETCH(int, row);
        Records records;
        for (int m : minutes)
            records.add(start + 60 * m, 'F');
        const HistoryPlotData data = historyPlotData(records.list);
        QCOMPARE(data.nearestRow((start + 60 * at) * 1000.0), row);
    }

    // A click chooses the record under it, a marker a few pixels away before
    // the records around it; a drag zooms and chooses nothing.
    void click_data()
    {
        QTest::addColumn<int>("minute"); // of the point clicked
        QTest::addColumn<int>("offset"); // pixels right of it
        QTest::addColumn<int>("drag");   // pixels between press and release
        QTest::addColumn<int>("row");    // chosen, -1 none
        QTest::newRow("beside the neutron alarm") << 400 << 3 << 0 << 400;
        QTest::newRow("beside the switch-off") << 599 << -3 << 0 << 599;
        QTest::newRow("background record") << 300 << 0 << 0 << 300;
        QTest::newRow("slight shake is still a click") << 300 << 0 << 2 << 300;
        QTest::newRow("drag zooms, chooses nothing") << 300 << 0 << 60 << -1;
    }

    void click()
    {
        QFETCH(int, minute);
        QFETCH(int, offset);
        QFETCH(int, drag);
        QFETCH(int, row);
        HistoryPlotWindow window;
        QWidget *canvas = showTenHours(window);
        QVERIFY(canvas);
        QSignalSpy chosen(&window, &HistoryPlotWindow::recordActivated);
        const double x = window.plot()->transform(QwtPlot::xBottom, (start + 60.0 * minute) * 1000);
        const QPoint at(qRound(x) + offset, canvas->height() / 2);
        QTest::mousePress(canvas, Qt::LeftButton, {}, at);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, at + QPoint(drag, 0));
        QCOMPARE(chosen.size(), row < 0 ? 0 : 1);
        if (row >= 0)
            QCOMPARE(chosen.first().first().toInt(), row);
    }

    // The button or a right click goes back to the whole history after a zoom
    // (dragged rectangle) and after panning (zoom stack left at its base).
    void zoomAndBack_data()
    {
        QTest::addColumn<bool>("zoom");
        QTest::addColumn<bool>("rightClick");
        QTest::newRow("zoomed, button") << true << false;
        QTest::newRow("zoomed, right click") << true << true;
        QTest::newRow("panned, button") << false << false;
        QTest::newRow("panned, right click") << false << true;
    }

    void zoomAndBack()
    {
        QFETCH(bool, zoom);
        QFETCH(bool, rightClick);
        HistoryPlotWindow window;
        QWidget *canvas = showTenHours(window);
        QVERIFY(canvas);
        HistoryPlot *plot = window.plot();
        const QwtInterval whole = plot->axisInterval(QwtPlot::xBottom);
        QCOMPARE(whole.minValue(), start * 1000.0);
        QCOMPARE(whole.maxValue(), (start + 599 * 60) * 1000.0);
        const QwtInterval doseRates = plot->axisInterval(QwtPlot::yLeft);
        const QwtInterval countRates = plot->axisInterval(QwtPlot::yRight);
        const QPoint centre(canvas->width() / 2, canvas->height() / 2);
        // The pointer's tracker names the record under it, until the view moves.
        const auto tracker = [canvas] {
            auto *shown = canvas->findChild<QWidget *>(QStringLiteral("PickerTracker"));
            return shown && shown->isVisible();
        };
        QMouseEvent hover(QEvent::MouseMove, centre / 2, Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(canvas, &hover);
        QVERIFY(tracker());
        if (zoom) {
            QTest::mousePress(canvas, Qt::LeftButton, {}, centre / 2);
            // With the button held (QTest::mouseMove only moves the cursor).
            QMouseEvent move(QEvent::MouseMove, centre, Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(canvas, &move);
            QTest::mouseRelease(canvas, Qt::LeftButton, {}, centre);
            const QwtInterval zoomed = plot->axisInterval(QwtPlot::xBottom);
            QVERIFY(zoomed.width() < whole.width() / 2 && zoomed.minValue() > whole.minValue());
        } else {
            plot->setAxisScale(QwtPlot::xBottom, whole.minValue() + whole.width() / 3,
                               whole.maxValue() + whole.width() / 3);
            plot->replot();
        }
        QVERIFY(!tracker());
        if (rightClick)
            QTest::mouseClick(canvas, Qt::RightButton, {}, centre);
        else
            window.findChild<QPushButton *>(QStringLiteral("btnWholeHistory"))->click();
        QCOMPARE(plot->axisInterval(QwtPlot::xBottom).minValue(), whole.minValue());
        QCOMPARE(plot->axisInterval(QwtPlot::xBottom).maxValue(), whole.maxValue());
        // Both value axes back too.
        QCOMPARE(plot->axisInterval(QwtPlot::yLeft), doseRates);
        QCOMPARE(plot->axisInterval(QwtPlot::yRight), countRates);
    }

    // Zoomed in between two records the dose-rate line still crosses the canvas;
    // a click that moves a pixel or two selects, it does not zoom.
    void zoomedBetweenRecordsAndShakyClick()
    {
        HistoryPlotWindow window;
        QWidget *canvas = showTenHours(window);
        QVERIFY(canvas);
        HistoryPlot *plot = window.plot();
        const double minute100 = (start + 100 * 60) * 1000.0;
        plot->setAxisScale(QwtPlot::xBottom, minute100 + 10000, minute100 + 40000);
        plot->replot();
        const QImage image = canvas->grab().toImage();
        int lineColumns = 0;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y) == QColor(0, 60, 170)) {
                    ++lineColumns;
                    break;
                }
        QVERIFY2(lineColumns > image.width() / 2, qPrintable(QString::number(lineColumns)));

        const QwtInterval before = plot->axisInterval(QwtPlot::xBottom);
        const QPoint at(canvas->width() / 2, canvas->height() / 2);
        QTest::mousePress(canvas, Qt::LeftButton, {}, at);
        QMouseEvent move(QEvent::MouseMove, at + QPoint(2, 0), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(canvas, &move);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, at + QPoint(2, 0));
        QCOMPARE(plot->axisInterval(QwtPlot::xBottom).width(), before.width());
    }

    // The plot window closes with the main window, not when it refuses to close.
    void closedWithMainWindow()
    {
        MainLike main;
        main.refuse = true;
        main.show();
        auto *window = new HistoryPlotWindow(&main);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        main.close();
        QVERIFY(main.isVisible() && window->isVisible());
        main.refuse = false;
        main.close();
        QVERIFY(!main.isVisible() && !window->isVisible());
    }

    // Times are shown in the records' zone, whatever this computer's zone.
    void zone_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("first");
        QTest::newRow("Tokyo") << QByteArray("Asia/Tokyo") << "01.05.2024 21:00";
        QTest::newRow("New York, summer time")
            << QByteArray("America/New_York") << "01.05.2024 08:00";
    }

    void zone()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, first);
        const QTimeZone timeZone(zone);
        QVERIFY(timeZone.isValid());
        Records records;
        records.add(start, '1');
        records.add(start + 3 * 3600, 'F');
        HistoryPlot plot;
        plot.setHistory(records.list, QStringLiteral("05A00317"), timeZone);
        const QString title = plot.title().text();
        QVERIFY2(title.contains(QStringLiteral("SN 05A00317")) && title.contains(first),
                 qPrintable(title));
        QVERIFY(plot.recordText(0).startsWith(first));
        QVERIFY(plot.recordText(0).contains(QStringLiteral("Включение прибора")));
        QCOMPARE(plot.axisScaleDraw(QwtPlot::xBottom)->label(start * 1000.0).text(),
                 first.mid(11) + QLatin1Char('\n') + first.left(10));
    }

    // PNG (landscape A4 shape) and one A4 landscape PDF page by the file name;
    // anything else, or nothing to plot, is refused and leaves the file as it was.
    void files_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("records");
        QTest::addColumn<QByteArray>("magic"); // empty: refused
        QTest::newRow("png") << "plot.png" << 50 << QByteArray("\x89PNG");
        QTest::newRow("pdf, upper-case suffix") << "plot.PDF" << 50 << QByteArray("%PDF");
        QTest::newRow("other suffix") << "plot.txt" << 50 << QByteArray();
        QTest::newRow("no records") << "plot.png" << 0 << QByteArray();
    }

    void files()
    {
        QTemporaryDir dir;
        QFETCH(QString, name);
        QFETCH(int, records);
        QFETCH(QByteArray, magic);
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
        file.close();
        Records list;
        for (int i = 0; i < records; ++i)
            list.add(start + 600 * i, i == 20 ? 'A' : 'F', 1e-7 * (1 + i % 10));
        QString error;
        const bool ok = renderHistoryPlot(list.list, QStringLiteral("05A00317"),
                                          QTimeZone::systemTimeZone(), file.fileName(), &error);
        QCOMPARE(ok, !magic.isEmpty());
        QVERIFY(ok || !error.isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(ok ? bytes.startsWith(magic) : bytes == "old");
        if (magic == "%PDF") {
            const int box = bytes.indexOf("/MediaBox");
            const QList<QByteArray> size = bytes.mid(box, bytes.indexOf(']', box) - box).split(' ');
            QVERIFY(box > 0 && size.size() == 5);
            QCOMPARE(QPoint(qRound(size[3].toDouble()), qRound(size[4].toDouble())),
                     QPoint(842, 595));
            QCOMPARE(bytes.count("/Type /Page\n"), 1);
        } else if (ok) {
            const QImage image = QImage::fromData(bytes, "PNG");
            QVERIFY(!image.isNull());
            QCOMPARE(qRound(image.width() * 210.0 / image.height()), 297);
        }
    }

    // Min/max decimation: one spike and one dip among 100,000 records are the
    // topmost and the lowest point drawn at every zoom that shows them, a
    // pixel column holds at most four points, and the line stays broken at the
    // switch-off.
    void decimationKeepsSpike_data()
    {
        QTest::addColumn<double>("span");   // records across the canvas
        QTest::addColumn<double>("centre"); // of the view, records after the spike
        QTest::addColumn<int>("lines");
        QTest::newRow("whole history") << 100000.0 << -11803.0 << 2;
        QTest::newRow("a hundredth, spike at the left edge") << 1000.0 << 499.0 << 1;
        QTest::newRow("ten pixels per record") << 100.0 << -3.0 << 1;
    }

    void decimationKeepsSpike()
    {
        QFETCH(double, span);
        QFETCH(double, centre);
        QFETCH(int, lines);
        const int spike = 61803;
        const int dip = spike + 2; // in the spike's pixel column but for the last zoom
        Records records;
        for (int i = 0; i < 100000; ++i)
            records.add(start + 60 * i, 'F',
                        i == spike ? 5e-5
                        : i == dip ? 2e-8
                                   : 1e-7 * (1 + i % 7 * 0.1));
        records.list[30000]->eventCode = '0';
        records.list[30001]->eventCode = '1';
        const HistoryPlotSeries series = historyPlotData(records.list).doseRate;
        const double middle = (start + 60 * (spike + centre)) * 1000.0;
        QwtScaleMap xMap;
        xMap.setPaintInterval(0, 1000);
        xMap.setScaleInterval(middle - span * 30000, middle + span * 30000);
        QwtScaleMap yMap;
        yMap.setTransformation(new QwtLogTransform);
        yMap.setPaintInterval(500, 0);
        yMap.setScaleInterval(1e-8, 1e-3);
        const QVector<QPolygonF> drawn =
            decimatedLines(series, xMap, yMap, -1, 1001, 0, series.size() - 1);
        QCOMPARE(drawn.size(), lines);
        double top = 500, bottom = 0;
        int points = 0;
        for (const QPolygonF &line : drawn) {
            points += line.size();
            top = std::min(top, line.boundingRect().top());
            bottom = std::max(bottom, line.boundingRect().bottom());
        }
        QCOMPARE(top, yMap.transform(double(5e-5f)));
        QCOMPARE(bottom, yMap.transform(double(2e-8f)));
        QVERIFY2(points <= 4 * 1003, qPrintable(QString::number(points)));
    }

    // A dragged box, either way, becomes the view on the time axis and on both
    // value axes (within a pixel), also a second box inside the first (the first
    // drawn left to right, downwards); the title names the period shown.
    void zoomLandsOnDrag_data()
    {
        QTest::addColumn<QVector<QPointF>>("drags"); // press and release, fractions of the canvas
        QTest::newRow("right to left, upwards") << QVector<QPointF>{{0.7, 0.9}, {0.3, 0.2}};
        QTest::newRow("narrow strip") << QVector<QPointF>{{0.45, 0.02}, {0.47, 0.98}};
        QTest::newRow("a box in a box")
            << QVector<QPointF>{{0.1, 0.1}, {0.9, 0.9}, {0.4, 0.3}, {0.6, 0.7}};
    }

    void zoomLandsOnDrag()
    {
        QFETCH(QVector<QPointF>, drags);
        HistoryPlotWindow window;
        QWidget *canvas = showTenHours(window);
        QVERIFY(canvas);
        HistoryPlot *plot = window.plot();
        const auto at = [canvas](QPointF f) {
            return QPoint(qRound(f.x() * canvas->width()), qRound(f.y() * canvas->height()));
        };
        for (int i = 0; i + 1 < drags.size(); i += 2) {
            const QPoint from = at(drags[i]), to = at(drags[i + 1]);
            QwtScaleMap maps[3]; // before the drag, by axis: yLeft, yRight, xBottom
            for (int axis = 0; axis < 3; ++axis)
                maps[axis] = plot->canvasMap(axis);
            QTest::mousePress(canvas, Qt::LeftButton, {}, from);
            QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(canvas, &move);
            QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
            for (int axis = 0; axis < 3; ++axis) {
                // Time grows to the right, values upwards.
                const bool x = axis == QwtPlot::xBottom;
                const auto [small, large] =
                    std::minmax({x ? from.x() : from.y(), x ? to.x() : to.y()});
                const double low = maps[axis].transform(plot->axisInterval(axis).minValue());
                const double high = maps[axis].transform(plot->axisInterval(axis).maxValue());
                QVERIFY2(std::abs(low - (x ? small : large)) <= 1 &&
                             std::abs(high - (x ? large : small)) <= 1,
                         qPrintable(QStringLiteral("axis %1: %2 %3").arg(axis).arg(low).arg(high)));
            }
        }
        const QDateTime first =
            QDateTime::fromMSecsSinceEpoch(qint64(plot->axisInterval(QwtPlot::xBottom).minValue()));
        QVERIFY2(plot->title().text().contains(first.toString(QStringLiteral("dd.MM.yyyy HH:mm"))),
                 qPrintable(plot->title().text()));
    }

    // Each kind of alarm has its colour, its symbol at the top of the canvas
    // and its legend entry; a dose-rate threshold exceeded is marked too.
    void markersByKind()
    {
        const char codes[] = "ANe"; // minutes 30, 60 and 90: EventMarkerKind order
        Records records;
        for (int m = 0; m < 120; ++m)
            records.add(start + 60 * m, m && m % 30 == 0 ? codes[m / 30 - 1] : 'F');
        HistoryPlot plot;
        plot.resize(800, 500);
        plot.setHistory(records.list, QString(), QTimeZone::systemTimeZone());
        plot.replot();
        const QImage image = plot.canvas()->grab().toImage();
        for (int kind = GammaAlarmMarker; kind <= DoseRateExceededMarker; ++kind) {
            const int x =
                qRound(plot.transform(QwtPlot::xBottom, (start + 1800 * (kind + 1)) * 1e3));
            QSet<int> kinds;
            for (int y = 0; y < 60; ++y)
                for (int k = 0; k < DeviceEventMarker; ++k)
                    if (image.pixelColor(x, y) == eventMarkerColor(k))
                        kinds << k;
            QCOMPARE(kinds, QSet<int>{kind});
            QVERIFY(legendTexts(&plot).contains(eventText(codes[kind])));
        }
    }

    // Which marker columns get a text: one kind only, room before the next
    // line and the canvas edge ("x:kinds", * labelled; label 12 px wide).
    void markerLabels_data()
    {
        QTest::addColumn<QString>("markers");
        QTest::addColumn<QString>("columns");
        // clang-format off
        QTest::newRow("kinds sharing a column") << "100A 100.3e" << "100:Ae";
        QTest::newRow("one kind sharing a column") << "100N 100.2N" << "100:N*";
        QTest::newRow("next line would cross the text") << "100N 114A" << "100:N 114:A*";
        QTest::newRow("room enough") << "100N 116A 131e" << "100:N* 116:A 131:e*";
        QTest::newRow("text past the right edge") << "990A" << "990:A";
        QTest::newRow("off the canvas") << "-5A 1100N" << "";
        // clang-format on
    }

    void markerLabels()
    {
        QFETCH(QString, markers);
        QFETCH(QString, columns);
        const QString kindCodes = QStringLiteral("ANe");
        QVector<double> pixels;
        QVector<int> kinds;
        for (const QString &m : markers.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            pixels << m.chopped(1).toDouble();
            kinds << kindCodes.indexOf(m.back());
        }
        QStringList out;
        for (const EventMarkerColumn &c : eventMarkerColumns(pixels, kinds, 0, 1000, 12)) {
            QString text = QStringLiteral("%1:").arg(c.x);
            for (int k = 0; k < 3; ++k)
                if (c.kinds & (1 << k))
                    text += kindCodes[k];
            out << text + (c.labelled ? QStringLiteral("*") : QString());
        }
        QCOMPARE(out.join(QLatin1Char(' ')), columns);
    }

    // Axis numbers as a Russian reader writes them, no two ticks alike.
    void axisNumbers_data()
    {
        QTest::addColumn<QList<double>>("ticks");
        QTest::addColumn<QString>("texts");
        using T = QList<double>;
        // clang-format off
        QTest::newRow("decades of dose rate") << T{1e-7, 1e-6, 1e-5} << "1·10⁻⁷ 1·10⁻⁶ 1·10⁻⁵";
        QTest::newRow("narrow range, comma") << T{1e-7, 1.2e-7, 1.4e-7} << "1·10⁻⁷ 1,2·10⁻⁷ 1,4·10⁻⁷";
        QTest::newRow("rounding up to the next power") << T{9.96e-7, 1e-6} << "9,96·10⁻⁷ 1·10⁻⁶";
        QTest::newRow("count rates plainly") << T{0.5, 1, 2.5, 10000} << "0,5 1 2,5 10000";
        QTest::newRow("one large tick: all powers") << T{1000, 1e4, 1e5} << "1·10³ 1·10⁴ 1·10⁵";
        // clang-format on
    }

    void axisNumbers()
    {
        QFETCH(QList<double>, ticks);
        QFETCH(QString, texts);
        const AxisNumberFormat format = axisNumberFormat(ticks);
        QStringList out;
        for (double v : ticks)
            out << axisNumberText(v, format, QLocale(QLocale::Russian));
        QCOMPARE(out.join(QLatin1Char(' ')), texts);
    }

    // The threshold read from a pager is drawn over that pager's history only,
    // also when read before the plot opened, named in the legend, within the
    // whole-history view; a failed read takes it away.
    void threshold()
    {
        const QString shown = QStringLiteral("05A00317");
        HistoryPlotWindow window;
        HistoryPlot *plot = window.plot();
        const auto line = [plot]() { return legendTexts(plot).filter(QStringLiteral("Порог")); };
        window.setDoseRateThreshold(shown, 1e-6); // read before the plot opened
        QVERIFY(showTenHours(window));
        QCOMPARE(line(), QStringList{QStringLiteral("Порог МЭД 1·10⁻⁶ Зв/ч")});
        window.setDoseRateThreshold(shown, 3e-4); // read again
        QCOMPARE(line(), QStringList{QStringLiteral("Порог МЭД 3·10⁻⁴ Зв/ч")});
        QVERIFY(plot->axisInterval(QwtPlot::yLeft).maxValue() >= 3e-4);
        window.setDoseRateThreshold(shown, notANumber); // the read failed
        QCOMPARE(line(), QStringList());
        QVERIFY(std::isnan(plot->doseRateThreshold()));
        window.setDoseRateThreshold(QStringLiteral("05A00999"), 3e-4); // another pager
        QCOMPARE(line(), QStringList());
        QVERIFY(std::isnan(plot->doseRateThreshold()));
    }
};

QTEST_MAIN(TstHistoryPlot)
#include "tst_historyplot.moc"
