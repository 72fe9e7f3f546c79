#include "historyplot.h"

#include "devicewrite.h"
#include "fileerror.h"
#include "historytable.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QVBoxLayout>
#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_graphic.h>
#include <qwt_legend.h>
#include <qwt_painter.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_renderer.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_engine.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// How far press and release may lie apart for a click on a record (pixels).
constexpr int clickSlack = 3;

const QString dateTimeFormat = QStringLiteral("dd.MM.yyyy HH:mm");
// How near (in pixels) a click or the pointer must come to a marker to mean it.
constexpr double markerReach = 4;
// Rendered files: A4 landscape.
const QSizeF pageSizeMm(297, 210);
constexpr int pngDotsPerInch = 110;
constexpr int pdfDotsPerInch = 110;

QDateTime recordDateTime(double x, const QTimeZone &zone)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(x), zone);
}

} // namespace

// Labels of the time axis in the records' zone, which need not be the zone of
// this computer (a dump made elsewhere).
class HistoryTimeScaleDraw : public QwtDateScaleDraw
{
public:
    HistoryTimeScaleDraw()
    {
        setDateFormat(QwtDate::Millisecond, QStringLiteral("HH:mm:ss\ndd.MM.yyyy"));
        setDateFormat(QwtDate::Second, QStringLiteral("HH:mm:ss\ndd.MM.yyyy"));
        setDateFormat(QwtDate::Minute, QStringLiteral("HH:mm\ndd.MM.yyyy"));
        setDateFormat(QwtDate::Hour, QStringLiteral("HH:mm\ndd.MM.yyyy"));
        setDateFormat(QwtDate::Day, QStringLiteral("dd.MM.yyyy"));
        setDateFormat(QwtDate::Week, QStringLiteral("dd.MM.yyyy"));
        setDateFormat(QwtDate::Month, QStringLiteral("MM.yyyy"));
        setDateFormat(QwtDate::Year, QStringLiteral("yyyy"));
    }

    QTimeZone zone;

    QwtText label(double value) const override
    {
        const QDateTime t = recordDateTime(value, zone);
        return t.toString(dateFormatOfDate(t, intervalType(scaleDiv())));
    }
};

// Labels of a logarithmic axis: powers of ten as 1e-05 below 0.01 and from
// 10000 on, plain numbers between, all in the C number format.
class HistoryLogScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double value) const override
    {
        return value < 0.01 || value >= 1e4 ? QString::number(value, 'e', 0)
                                            : QString::number(value, 'g', 6);
    }
};

// Alarms (red lines with their event text) or other events (small grey
// marks at the foot of the plot), all drawn by one item: a long history may
// hold thousands of them, and at most one is drawn per pixel column.
class HistoryEventMarkers : public QwtPlotItem
{
public:
    HistoryEventMarkers(const QString &title, const QColor &color, bool alarms)
        : QwtPlotItem(QwtText(title)), color(color), alarms(alarms)
    {
        setItemAttribute(QwtPlotItem::Legend, true);
        setLegendIconSize(QSize(12, 12));
        setZ(alarms ? 30 : 25);
    }

    void setMarkers(const QVector<HistoryPlotMarker> &list)
    {
        markers = list;
        std::stable_sort(
            markers.begin(), markers.end(),
            [](const HistoryPlotMarker &a, const HistoryPlotMarker &b) { return a.x < b.x; });
        itemChanged();
    }

    int rtti() const override { return QwtPlotItem::Rtti_PlotUserItem + 1; }

    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &,
              const QRectF &canvasRect) const override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        QPen pen(color);
        pen.setCosmetic(true);
        painter->setPen(pen);
        painter->setBrush(color);
        const double labelGap = painter->fontMetrics().height();
        qint64 lastColumn = std::numeric_limits<qint64>::min();
        double lastLabel = -std::numeric_limits<double>::infinity();
        for (const HistoryPlotMarker &m : markers) {
            const double px = xMap.transform(m.x);
            if (px < canvasRect.left() - 1 || px > canvasRect.right() + 1)
                continue;
            const qint64 column = qRound64(px);
            if (column != lastColumn) {
                lastColumn = column;
                if (alarms)
                    painter->drawLine(QPointF(px, canvasRect.top()),
                                      QPointF(px, canvasRect.bottom()));
                else
                    drawMark(painter, px, canvasRect.bottom());
            }
            // A label at the right edge would be cut off by the canvas.
            if (alarms && px - lastLabel >= labelGap && px + labelGap <= canvasRect.right()) {
                lastLabel = px;
                painter->save();
                painter->translate(px + 3, canvasRect.top() + 4);
                painter->rotate(90);
                painter->drawText(QPointF(0, 0), m.text);
                painter->restore();
            }
        }
        painter->restore();
    }

    QwtGraphic legendIcon(int, const QSizeF &size) const override
    {
        QwtGraphic icon;
        icon.setDefaultSize(size);
        icon.setRenderHint(QwtGraphic::RenderPensUnscaled, true);
        QPainter painter(&icon);
        painter.setPen(color);
        painter.setBrush(color);
        if (alarms)
            painter.drawLine(QPointF(size.width() / 2, 0),
                             QPointF(size.width() / 2, size.height()));
        else
            drawMark(&painter, size.width() / 2, size.height());
        return icon;
    }

private:
    QVector<HistoryPlotMarker> markers; // by time
    QColor color;
    bool alarms;

    static void drawMark(QPainter *painter, double x, double bottom)
    {
        const QPointF mark[] = {{x - 4, bottom}, {x + 4, bottom}, {x, bottom - 8}};
        painter->drawPolygon(mark, 3);
    }
};

// A curve of many points drawn as at most four per pixel column (the first,
// lowest, highest and last value falling into it), so a long history redraws
// quickly and still shows every peak.
class HistoryCurve : public QwtPlotCurve
{
public:
    using QwtPlotCurve::QwtPlotCurve;

    void setSeries(const HistoryPlotSeries &series)
    {
        lineStarts = series.lineStarts;
        setSamples(series.x, series.y);
    }

protected:
    void drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                   const QRectF &canvasRect, int from, int to) const override
    {
        const QwtSeriesData<QPointF> &points = *data();
        const double left = canvasRect.left() - 1;
        const double right = canvasRect.right() + 1;
        auto pixelX = [&](int i) { return xMap.transform(points.sample(i).x()); };
        // Whether the segment between two x positions crosses the canvas (NaN: no neighbour).
        auto crosses = [&](double a, double b) {
            return !std::isnan(a) && !std::isnan(b) && std::min(a, b) <= right &&
                   std::max(a, b) >= left;
        };
        constexpr double none = std::numeric_limits<double>::quiet_NaN();

        QPolygonF line;
        line.reserve(4 * int(canvasRect.width() + 4));
        bool inColumn = false;
        qint64 column = 0;
        double first = 0, low = 0, high = 0, last = 0;
        auto closeColumn = [&] {
            if (!inColumn)
                return;
            const double x = double(column);
            line << QPointF(x, first);
            if (low != first)
                line << QPointF(x, low);
            if (high != low)
                line << QPointF(x, high);
            if (last != high)
                line << QPointF(x, last);
            inColumn = false;
        };
        auto drawLine = [&] {
            closeColumn();
            if (line.size() > 1)
                QwtPainter::drawPolyline(painter, line);
            line.clear();
        };

        auto nextStart = std::upper_bound(lineStarts.begin(), lineStarts.end(), from);
        double previous = from > 0 ? pixelX(from - 1) : none;
        double current = pixelX(from);
        for (int i = from; i <= to; ++i) {
            if (nextStart != lineStarts.end() && *nextStart == i) {
                drawLine();
                ++nextStart;
            }
            const double next = i < to ? pixelX(i + 1) : none;
            // A point off the canvas still counts when a line from it crosses
            // the canvas: the line runs out to the edge, also when zoomed in
            // between two records.
            if (crosses(current, current) || crosses(previous, current) || crosses(current, next)) {
                const double y = yMap.transform(points.sample(i).y());
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
                drawLine();
            }
            previous = current;
            current = next;
        }
        drawLine();
    }

private:
    QVector<int> lineStarts;
};

// Zooms by dragging a rectangle; a right click goes back to the whole history
// (Ctrl and Shift with it step back and forward). One zoomer per y axis.
class HistoryZoomer : public QwtPlotZoomer
{
public:
    HistoryZoomer(int yAxis, HistoryPlot *plot, bool tracker)
        : QwtPlotZoomer(QwtPlot::xBottom, yAxis, plot->canvas(), false), historyPlot(plot)
    {
        // The middle button pans; it must not also step the zoom back.
        setMousePattern(QwtEventPattern::MouseSelect3, Qt::RightButton, Qt::ControlModifier);
        setMousePattern(QwtEventPattern::MouseSelect6, Qt::RightButton, Qt::ShiftModifier);
        setTrackerMode(tracker ? QwtPicker::AlwaysOn : QwtPicker::AlwaysOff);
        setRubberBand(tracker ? QwtPicker::RectRubberBand : QwtPicker::NoRubberBand);
        setRubberBandPen(QPen(Qt::darkGray, 0, Qt::DashLine));
        setTrackerPen(QPen(Qt::black));
    }

    void showAll()
    {
        zoom(0);
        // After panning the zoom stack is still at its base: set it again.
        rescale();
    }

protected:
    // A box no larger than a click's slack is a click on a record, not a zoom.
    bool accept(QPolygon &box) const override
    {
        if (box.size() >= 2 && (box.last() - box.first()).manhattanLength() <= clickSlack)
            return false;
        return QwtPlotZoomer::accept(box);
    }

    QwtText trackerText(const QPoint &pos) const override
    {
        QwtText text(historyPlot->recordText(historyPlot->rowAt(pos)));
        text.setBackgroundBrush(QColor(255, 255, 240, 230));
        text.setRenderFlags(Qt::AlignLeft | Qt::AlignTop);
        return text;
    }

    void widgetMouseReleaseEvent(QMouseEvent *event) override
    {
        if (mouseMatch(QwtEventPattern::MouseSelect2, event)) {
            showAll();
            return;
        }
        QwtPlotZoomer::widgetMouseReleaseEvent(event);
    }

private:
    HistoryPlot *historyPlot;
};

HistoryPlot::HistoryPlot(QWidget *parent) : QwtPlot(parent), timeScale(new HistoryTimeScaleDraw)
{
    setCanvasBackground(Qt::white);
    if (auto *c = qobject_cast<QwtPlotCanvas *>(canvas()))
        c->setFrameStyle(QFrame::Box | QFrame::Plain);

    setAxisScaleDraw(xBottom, timeScale);
    setAxisScaleEngine(yLeft, new QwtLogScaleEngine);
    // Count rates span background and alarms: tens and thousands per second.
    setAxisScaleEngine(yRight, new QwtLogScaleEngine);
    setAxisScaleDraw(yLeft, new HistoryLogScaleDraw);
    setAxisScaleDraw(yRight, new HistoryLogScaleDraw);
    enableAxis(yRight);
    setAxisTitle(yLeft, QStringLiteral("МЭД, Зв/ч"));
    setAxisTitle(yRight, QStringLiteral("Скорость счёта, имп/с"));

    auto *grid = new QwtPlotGrid;
    grid->setMajorPen(QColor(225, 225, 225), 0, Qt::SolidLine);
    grid->attach(this);

    auto curve = [this](const QString &title, const QColor &color, double width, int yAxis) {
        auto *c = new HistoryCurve(title);
        c->setPen(color, width);
        c->setYAxis(yAxis);
        c->setRenderHint(QwtPlotItem::RenderAntialiased, false);
        c->setLegendAttribute(QwtPlotCurve::LegendShowLine, true);
        c->attach(this);
        return c;
    };
    gammaCurve = curve(QStringLiteral("Гамма, имп/с"), QColor(0, 150, 60), 1, yRight);
    neutronCurve = curve(QStringLiteral("Нейтроны, имп/с"), QColor(150, 60, 200), 1, yRight);
    doseRateCurve = curve(QStringLiteral("МЭД, Зв/ч"), QColor(0, 60, 170), 2, yLeft);
    doseRateCurve->setZ(20);

    eventMarkers =
        new HistoryEventMarkers(QStringLiteral("События прибора"), QColor(140, 140, 140), false);
    eventMarkers->attach(this);
    alarmMarkers = new HistoryEventMarkers(QStringLiteral("Тревоги"), QColor(255, 0, 0), true);
    alarmMarkers->attach(this);

    insertLegend(new QwtLegend, QwtPlot::BottomLegend);
    setTimeAxis();

    zoomer = new HistoryZoomer(yLeft, this, true);
    rightZoomer = new HistoryZoomer(yRight, this, false);
    auto *panner = new QwtPlotPanner(canvas());
    panner->setMouseButton(Qt::MiddleButton);
}

void HistoryPlot::setHistory(const QList<HistoryRecord *> &list, const QString &serialNumber,
                             const QTimeZone &timeZone)
{
    zone = timeZone.isValid() ? timeZone : QTimeZone::systemTimeZone();
    plotData = historyPlotData(list);
    records.clear();
    records.reserve(list.size());
    for (const HistoryRecord *r : list)
        records.append(*r);

    doseRateCurve->setSeries(plotData.doseRate);
    gammaCurve->setSeries(plotData.gamma);
    neutronCurve->setSeries(plotData.neutron);
    alarmMarkers->setMarkers(plotData.alarms);
    eventMarkers->setMarkers(plotData.events);

    QString title = QStringLiteral("DR7326G-05A");
    if (!serialNumber.isEmpty())
        title += QStringLiteral(", SN %1").arg(serialNumber);
    if (!plotData.isEmpty())
        title += QStringLiteral(": %1").arg(periodText());
    QwtText text(title);
    QFont font = text.font();
    font.setPointSize(11);
    font.setBold(true);
    text.setFont(font);
    setTitle(text);

    setTimeAxis();
    setAxisAutoScale(yLeft);
    setAxisAutoScale(yRight);
    // A history without a positive dose rate still gets a sensible log axis.
    if (plotData.doseRate.size() == 0)
        setAxisScale(yLeft, 1e-8, 1e-5);
    if (plotData.gamma.size() == 0 && plotData.neutron.size() == 0)
        setAxisScale(yRight, 0.1, 100);
    setZoomBase();
}

QString HistoryPlot::periodText() const
{
    if (plotData.isEmpty())
        return QString();
    return QStringLiteral("%1 – %2").arg(
        recordDateTime(plotData.firstX(), zone).toString(dateTimeFormat),
        recordDateTime(plotData.lastX(), zone).toString(dateTimeFormat));
}

void HistoryPlot::setTimeAxis()
{
    // The ticks fall on whole hours and days of the records' zone (of its
    // offset at the first record; the labels follow the zone throughout).
    auto *engine = new QwtDateScaleEngine;
    const QTimeZone &shown = zone;
    if (shown == QTimeZone::systemTimeZone()) {
        engine->setTimeSpec(Qt::LocalTime);
        timeScale->setTimeSpec(Qt::LocalTime);
    } else {
        const int offset = shown.offsetFromUtc(recordDateTime(plotData.firstX(), shown));
        engine->setUtcOffset(offset);
        timeScale->setUtcOffset(offset);
        engine->setTimeSpec(Qt::OffsetFromUTC);
        timeScale->setTimeSpec(Qt::OffsetFromUTC);
    }
    timeScale->zone = shown;
    setAxisScaleEngine(xBottom, engine);
    setAxisTitle(xBottom,
                 shown == QTimeZone::systemTimeZone()
                     ? QStringLiteral("Дата и время")
                     : QStringLiteral("Дата и время (%1)").arg(QString::fromLatin1(shown.id())));
    if (plotData.isEmpty()) {
        const double now = double(QDateTime::currentMSecsSinceEpoch());
        setAxisScale(xBottom, now - 3600e3, now);
    } else if (plotData.firstX() == plotData.lastX()) {
        // One instant: an hour around it.
        setAxisScale(xBottom, plotData.firstX() - 1800e3, plotData.firstX() + 1800e3);
    } else {
        setAxisScale(xBottom, plotData.firstX(), plotData.lastX());
    }
}

void HistoryPlot::setZoomBase()
{
    replot();
    zoomer->setZoomBase(false);
    rightZoomer->setZoomBase(false);
}

void HistoryPlot::showWholeHistory()
{
    zoomer->showAll();
    rightZoomer->showAll();
}

int HistoryPlot::rowAt(const QPointF &canvasPos) const
{
    if (plotData.isEmpty())
        return -1;
    const QwtScaleMap xMap = canvasMap(xBottom);
    for (const QVector<HistoryPlotMarker> *markers : {&plotData.alarms, &plotData.events}) {
        int row = -1;
        double nearest = markerReach;
        for (const HistoryPlotMarker &m : *markers) {
            const double distance = std::abs(xMap.transform(m.x) - canvasPos.x());
            if (distance <= nearest && (row < 0 || distance < nearest)) {
                nearest = distance;
                row = m.row;
            }
        }
        if (row >= 0)
            return row;
    }
    return plotData.nearestRow(xMap.invTransform(canvasPos.x()));
}

QString HistoryPlot::recordText(int row) const
{
    if (row < 0 || row >= records.size())
        return QString();
    const HistoryRecord &r = records.at(row);
    // The numbers as the table shows them.
    const QStringList cells = historyRowTexts(r);
    QString text = QStringLiteral("%1 (строка %2)")
                       .arg(QDateTime::fromSecsSinceEpoch(r.time, zone).toString(dateTimeFormat))
                       .arg(row + 1);
    if (!cells.value(1).isEmpty())
        text += QLatin1Char('\n') + cells.value(1);
    text += QStringLiteral("\nМЭД: %1 Зв/ч\nГамма: %2 имп/с\nНейтроны: %3 имп/с")
                .arg(cells.value(4), cells.value(2), cells.value(3));
    return text;
}

bool saveHistoryPlot(HistoryPlot *plot, const QString &fileName, QString *error)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    const bool pdf = suffix == QLatin1String("pdf");
    if (!pdf && suffix != QLatin1String("png")) {
        if (error)
            *error = QStringLiteral("Unknown file type %1: use .png or .pdf").arg(fileName);
        return false;
    }
    QwtPlotRenderer renderer;
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardCanvasFrame, false);
    return saveAllOrNothing(fileName, error, [&](QIODevice *out) {
        if (pdf) {
            QPdfWriter writer(out);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageOrientation(QPageLayout::Landscape);
            writer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
            writer.setResolution(pdfDotsPerInch);
            writer.setTitle(plot->title().text());
            writer.setCreator(QStringLiteral("DR7326G-05A"));
            QPainter painter;
            if (!painter.begin(&writer)) {
                if (error)
                    *error = QStringLiteral("PDF output could not be started");
                return false;
            }
            // The writer's origin is already at the margin.
            renderer.render(plot, &painter, QRectF(0, 0, writer.width(), writer.height()));
            return painter.end();
        }
        const double dotsPerMm = pngDotsPerInch / 25.4;
        QImage image((pageSizeMm * dotsPerMm).toSize(), QImage::Format_ARGB32);
        image.setDotsPerMeterX(qRound(dotsPerMm * 1000));
        image.setDotsPerMeterY(qRound(dotsPerMm * 1000));
        image.fill(Qt::white);
        QPainter painter(&image);
        renderer.render(plot, &painter, QRectF(image.rect()));
        painter.end();
        if (!image.save(out, "PNG")) {
            if (error)
                *error = QStringLiteral("Write error: %1").arg(out->errorString());
            return false;
        }
        return true;
    });
}

bool renderHistoryPlot(const QList<HistoryRecord *> &records, const QString &serialNumber,
                       const QTimeZone &zone, const QString &fileName, QString *error)
{
    if (records.isEmpty()) {
        if (error)
            *error = QStringLiteral("No records to plot");
        return false;
    }
    HistoryPlot plot;
    plot.resize(1120, 790);
    plot.setHistory(records, serialNumber, zone);
    return saveHistoryPlot(&plot, fileName, error);
}

HistoryPlotWindow::HistoryPlotWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), historyPlot(new HistoryPlot(this)),
      wholeButton(new QPushButton(tr("Вся история"), this)),
      saveButton(new QPushButton(tr("Сохранить график…"), this)), messageLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("HistoryPlotWindow"));
    setWindowTitle(tr("График истории"));
    // The main window's close ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(1000, 650);
    historyPlot->setObjectName(QStringLiteral("historyPlot"));
    wholeButton->setObjectName(QStringLiteral("btnWholeHistory"));
    saveButton->setObjectName(QStringLiteral("btnSavePlot"));
    messageLabel->setObjectName(QStringLiteral("lblPlotMessage"));
    // Long file names wrap instead of widening the window.
    messageLabel->setWordWrap(true);
    messageLabel->setText(tr("Увеличение: выделите область мышью; сдвиг: средняя кнопка; "
                             "щелчок выбирает запись в таблице."));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(wholeButton);
    buttons->addWidget(saveButton);
    buttons->addWidget(messageLabel, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(historyPlot, 1);

    connect(wholeButton, &QPushButton::clicked, historyPlot, &HistoryPlot::showWholeHistory);
    connect(saveButton, &QPushButton::clicked, this, &HistoryPlotWindow::savePlot);
    historyPlot->canvas()->installEventFilter(this);
    if (parent)
        parent->installEventFilter(this);
}

void HistoryPlotWindow::setHistory(const QList<HistoryRecord *> &records,
                                   const QString &serialNumber, const QTimeZone &zone)
{
    historyPlot->setHistory(records, serialNumber, zone);
    setWindowTitle(serialNumber.isEmpty() ? tr("График истории")
                                          : tr("График истории — SN %1").arg(serialNumber));
}

void HistoryPlotWindow::savePlot()
{
    QString selected;
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Сохранить график"), QString(),
        tr("Изображение PNG (*.png);;Документ PDF (*.pdf)"), &selected);
    if (fileName.isEmpty())
        return;
    QString target = fileName;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("pdf"))
        target += selected.contains(QLatin1String("pdf")) ? QStringLiteral(".pdf")
                                                          : QStringLiteral(".png");
    QString error;
    if (saveHistoryPlot(historyPlot, target, &error))
        messageLabel->setText(tr("График сохранён: %1").arg(QDir::toNativeSeparators(target)));
    else
        messageLabel->setText(tr("График не сохранён: %1 — %2.")
                                  .arg(QDir::toNativeSeparators(target),
                                       fileErrorReason(fileErrorKind(target, error))));
}

bool HistoryPlotWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The main window closed (a close it refuses, or minimising, leaves this
    // one open).
    if (watched == parent() && event->type() == QEvent::Hide && !event->spontaneous()) {
        close();
        return false;
    }
    if (watched != historyPlot->canvas())
        return false;
    // A click (press and release at nearly one place) picks a record; a drag
    // is the zoomer's.
    if (event->type() == QEvent::MouseButtonPress) {
        auto *me = static_cast<QMouseEvent *>(event);
        pressed = me->button() == Qt::LeftButton;
        pressPos = me->pos();
    } else if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (pressed && me->button() == Qt::LeftButton &&
            (me->pos() - pressPos).manhattanLength() <= clickSlack) {
            const int row = historyPlot->rowAt(pressPos);
            if (row >= 0)
                emit recordActivated(row);
        }
        pressed = false;
    }
    return false;
}
