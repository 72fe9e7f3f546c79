#include "historyplot.h"

#include "devicewrite.h"
#include "fileerror.h"
#include "historycurve.h"
#include "historyeventmarkers.h"
#include "historyscaledraws.h"
#include "historytable.h"
#include "savenames.h"

#include <QBuffer>
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
#include <qwt_date_scale_engine.h>
#include <qwt_legend.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_renderer.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>

#include <cmath>
#include <limits>

namespace {

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

// Zooms by dragging a box, to exactly its interval on the time axis and on
// both value axes; a right click goes back to the whole history (Ctrl and
// Shift with it step back and forward). The count-rate axis, which a
// QwtPlotZoomer does not know, keeps a stack of its own beside the zoom stack.
class HistoryZoomer : public QwtPlotZoomer
{
public:
    explicit HistoryZoomer(HistoryPlot *plot)
        : QwtPlotZoomer(QwtPlot::xBottom, QwtPlot::yLeft, plot->canvas(), false), historyPlot(plot)
    {
        // The middle button pans; it must not also step the zoom back.
        setMousePattern(QwtEventPattern::MouseSelect3, Qt::RightButton, Qt::ControlModifier);
        setMousePattern(QwtEventPattern::MouseSelect6, Qt::RightButton, Qt::ShiftModifier);
        setTrackerMode(QwtPicker::AlwaysOn);
        setRubberBand(QwtPicker::RectRubberBand);
        setRubberBandPen(QPen(Qt::darkGray, 0, Qt::DashLine));
        setTrackerPen(QPen(Qt::black));
    }

    using QwtPlotZoomer::zoom;

    // The record under the pointer was that of the view before a zoom or a
    // pan: its text goes until the pointer moves again.
    void hideTracker()
    {
        if (trackerPosition().x() < 0)
            return;
        QEvent leave(QEvent::Leave);
        widgetLeaveEvent(&leave);
    }

    // Makes `left` (time and dose rate) and `right` (count rates) the whole
    // history, shown now when `show` or when not zoomed in.
    void setBase(const QRectF &left, const QwtInterval &right, bool show)
    {
        if (show || zoomRectIndex() == 0) {
            plot()->setAxisScale(QwtPlot::xBottom, left.left(), left.right());
            plot()->setAxisScale(QwtPlot::yLeft, left.top(), left.bottom());
            plot()->setAxisScale(QwtPlot::yRight, right.minValue(), right.maxValue());
            plot()->replot();
            rightStack = {right}; // before setZoomBase, which rescales
            setZoomBase(false);
            return;
        }
        QStack<QRectF> stack = zoomStack();
        stack[0] = left;
        setZoomStack(stack, int(zoomRectIndex()));
        rightStack[0] = right;
        plot()->replot(); // the view stays, what changed in it is drawn
    }

    void showAll()
    {
        if (zoomRectIndex() == 0)
            rescale(); // after panning the zoom stack is still at its base
        else
            zoom(0);
    }

    void zoom(const QRectF &rect) override
    {
        // The count rates over the same pixels as the dose rates of the box.
        const QwtScaleMap left = plot()->canvasMap(QwtPlot::yLeft);
        const QwtScaleMap right = plot()->canvasMap(QwtPlot::yRight);
        const QwtInterval counts = QwtInterval(right.invTransform(left.transform(rect.top())),
                                               right.invTransform(left.transform(rect.bottom())))
                                       .normalized();
        const QVector<QwtInterval> before = rightStack;
        const int index = int(zoomRectIndex());
        rightStack.resize(index + 1);
        rightStack.append(counts); // rescale() reads it while the zoomer pushes
        QwtPlotZoomer::zoom(rect);
        if (int(zoomRectIndex()) != index + 1) // the zoomer took no new box
            rightStack = before;
    }

protected:
    void rescale() override
    {
        const QRectF rect = zoomRect();
        const QwtInterval counts = rightStack.value(int(zoomRectIndex()));
        if (rect == scaleRect() && (!counts.isValid() || counts == shownCounts()))
            return;
        plot()->setAxisScale(xAxis(), rect.left(), rect.right());
        plot()->setAxisScale(yAxis(), rect.top(), rect.bottom());
        if (counts.isValid())
            plot()->setAxisScale(QwtPlot::yRight, counts.minValue(), counts.maxValue());
        plot()->replot();
    }

    // The view is the box, widened only to a second on the time axis (the
    // pager counts minutes); a log axis's height in values says nothing about
    // its height in pixels, so no box is made taller.
    QSizeF minZoomSize() const override { return QSizeF(1000, 0); }

    // A box no larger than a click's slack is a click on a record, not a zoom.
    bool accept(QPolygon &box) const override
    {
        if (box.size() >= 2 && (box.last() - box.first()).manhattanLength() <= plotClickSlack)
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
    QVector<QwtInterval> rightStack;
    QwtInterval shownCounts() const
    {
        const QwtScaleDiv &div = plot()->axisScaleDiv(QwtPlot::yRight);
        return QwtInterval(div.lowerBound(), div.upperBound());
    } // count-rate interval of each zoom rectangle
};

HistoryPlot::HistoryPlot(QWidget *parent)
    : QwtPlot(parent), threshold(std::numeric_limits<double>::quiet_NaN()),
      timeScale(new HistoryTimeScaleDraw)
{
    setCanvasBackground(Qt::white);
    if (auto *c = qobject_cast<QwtPlotCanvas *>(canvas()))
        c->setFrameStyle(QFrame::Box | QFrame::Plain);

    setAxisScaleDraw(xBottom, timeScale);
    setAxisScaleEngine(yLeft, new QwtLogScaleEngine);
    // Count rates span background and alarms: tens and thousands per second.
    setAxisScaleEngine(yRight, new QwtLogScaleEngine);
    setAxisScaleDraw(yLeft, new HistoryValueScaleDraw);
    setAxisScaleDraw(yRight, new HistoryValueScaleDraw);
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
    doseRateCurve->setZ(21);

    markers = new HistoryEventMarkers;
    markers->attach(this);

    thresholdLine = new QwtPlotMarker;
    thresholdLine->setLineStyle(QwtPlotMarker::HLine);
    thresholdLine->setLinePen(eventMarkerColor(DoseRateExceededMarker), 1.5, Qt::DashLine);
    thresholdLine->setYAxis(yLeft);
    thresholdLine->setZ(11); // under the event texts and the curves
    thresholdLine->setItemAttribute(QwtPlotItem::Legend, true);
    thresholdLine->setLegendIconSize(QSize(24, 12));

    insertLegend(new QwtLegend, QwtPlot::BottomLegend);
    // The title names the period on the time axis, whatever changed it.
    connect(axisWidget(xBottom), &QwtScaleWidget::scaleDivChanged, this, [this] { updateTitle(); });

    zoomer = new HistoryZoomer(this);
    for (int axis : {int(xBottom), int(yLeft)})
        connect(axisWidget(axis), &QwtScaleWidget::scaleDivChanged, this,
                [this] { zoomer->hideTracker(); });
    auto *panner = new QwtPlotPanner(canvas());
    panner->setMouseButton(Qt::MiddleButton);
    setTimeAxis();
    setWholeHistory(true);
}

namespace {

QVector<HistoryRecord> copied(const QList<HistoryRecord *> &list)
{
    QVector<HistoryRecord> records;
    records.reserve(list.size());
    for (const HistoryRecord *r : list)
        records.append(*r);
    return records;
}

} // namespace

void HistoryPlot::setHistory(const QList<HistoryRecord *> &list, const QString &serial,
                             const QTimeZone &timeZone)
{
    setHistory(copied(list), serial, timeZone);
}

void HistoryPlot::setHistory(QVector<HistoryRecord> list, const QString &serial,
                             const QTimeZone &timeZone)
{
    zone = timeZone.isValid() ? timeZone : QTimeZone::systemTimeZone();
    serialNumber = serial;
    records = std::move(list);
    plotData = historyPlotData(records);

    doseRateCurve->setSeries(plotData.doseRate);
    gammaCurve->setSeries(plotData.gamma);
    neutronCurve->setSeries(plotData.neutron);
    markers->setMarkers(plotData);
    setTimeAxis();
    setWholeHistory(true);
    updateTitle();
}

void HistoryPlot::setDoseRateThreshold(double sievertsPerHour)
{
    const bool known = std::isfinite(sievertsPerHour) && sievertsPerHour > 0;
    const double value = known ? sievertsPerHour : std::numeric_limits<double>::quiet_NaN();
    if (value == threshold || (!known && std::isnan(threshold)))
        return;
    threshold = value;
    if (known) {
        thresholdLine->setYValue(threshold);
        thresholdLine->setTitle(QStringLiteral("Порог МЭД %1 Зв/ч")
                                    .arg(axisNumberText(threshold, AxisNumberFormat{true, 3})));
        thresholdLine->attach(this);
    } else {
        thresholdLine->detach();
    }
    setWholeHistory(false);
}

QString HistoryPlot::periodText() const
{
    if (plotData.isEmpty())
        return QString();
    const QwtInterval shown = axisInterval(xBottom);
    return QStringLiteral("%1 – %2").arg(
        recordDateTime(shown.minValue(), zone).toString(dateTimeFormat),
        recordDateTime(shown.maxValue(), zone).toString(dateTimeFormat));
}

void HistoryPlot::updateTitle()
{
    QString title = QStringLiteral("DR7326G-05A");
    if (!serialNumber.isEmpty())
        title += QStringLiteral(", SN %1").arg(serialNumber);
    if (!plotData.isEmpty())
        title += QStringLiteral(": %1").arg(periodText());
    if (title == this->title().text())
        return;
    QwtText text(title);
    QFont font = text.font();
    font.setPointSize(11);
    font.setBold(true);
    text.setFont(font);
    setTitle(text);
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
}

void HistoryPlot::setWholeHistory(bool show)
{
    double first = plotData.firstX();
    double last = plotData.lastX();
    if (plotData.isEmpty()) {
        last = double(QDateTime::currentMSecsSinceEpoch());
        first = last - 3600e3;
    } else if (first == last) {
        // One instant: an hour around it.
        first -= 1800e3;
        last += 1800e3;
    }
    // Each value axis spans its series in whole steps of its scale, as
    // autoscaling would; a history without values still gets a sensible one.
    auto span = [this](int axis, std::initializer_list<const HistoryCurve *> curves, double extra,
                       double lo, double hi) {
        double from = std::isfinite(extra) ? extra : std::numeric_limits<double>::infinity();
        double to = std::isfinite(extra) ? extra : -std::numeric_limits<double>::infinity();
        for (const HistoryCurve *curve : curves) {
            if (curve->dataSize() == 0)
                continue;
            const QRectF bounds = curve->boundingRect();
            from = std::min(from, bounds.top());
            to = std::max(to, bounds.bottom());
        }
        if (!(from <= to))
            return QwtInterval(lo, hi);
        double step = 0;
        axisScaleEngine(axis)->autoScale(axisMaxMajor(axis), from, to, step);
        return QwtInterval(from, to);
    };
    const QwtInterval doseRates = span(yLeft, {doseRateCurve}, threshold, 1e-8, 1e-5);
    const QwtInterval countRates = span(yRight, {gammaCurve, neutronCurve},
                                        std::numeric_limits<double>::quiet_NaN(), 0.1, 100);
    zoomer->setBase(QRectF(first, doseRates.minValue(), last - first, doseRates.width()),
                    countRates, show);
}

void HistoryPlot::showWholeHistory()
{
    zoomer->showAll();
}

int HistoryPlot::rowAt(const QPointF &canvasPos) const
{
    if (plotData.isEmpty())
        return -1;
    const QwtScaleMap xMap = canvasMap(xBottom);
    for (const QVector<HistoryPlotMarker> &list :
         {plotData.alarms + plotData.doseRateExceeded, plotData.events}) {
        int row = -1;
        double nearest = markerReach;
        for (const HistoryPlotMarker &m : list) {
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
    // Made in memory first: QPdfWriter and the image writer do not report a
    // write the file took only in part (a full disk, a file-size limit), so
    // the bytes go to the file through writes that are each checked.
    QBuffer document;
    document.open(QIODevice::WriteOnly);
    if (pdf) {
        QPdfWriter writer(&document);
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
        if (!painter.end()) {
            if (error)
                *error = QStringLiteral("PDF output could not be finished");
            return false;
        }
    } else {
        const double dotsPerMm = pngDotsPerInch / 25.4;
        QImage image((pageSizeMm * dotsPerMm).toSize(), QImage::Format_ARGB32);
        image.setDotsPerMeterX(qRound(dotsPerMm * 1000));
        image.setDotsPerMeterY(qRound(dotsPerMm * 1000));
        image.fill(Qt::white);
        QPainter painter(&image);
        renderer.render(plot, &painter, QRectF(image.rect()));
        painter.end();
        if (!image.save(&document, "PNG")) {
            if (error)
                *error = QStringLiteral("The PNG image could not be made");
            return false;
        }
    }
    return saveAllOrNothing(fileName, error, [&](QIODevice *out) {
        return writeAllBytes(out, document.data(), error);
    });
}

bool renderHistoryPlot(const QList<HistoryRecord *> &records, const QString &serialNumber,
                       const QTimeZone &zone, const QString &fileName, QString *error)
{
    return renderHistoryPlot(copied(records), serialNumber, zone, fileName, error);
}

bool renderHistoryPlot(QVector<HistoryRecord> records, const QString &serialNumber,
                       const QTimeZone &zone, const QString &fileName, QString *error)
{
    if (records.isEmpty()) {
        if (error)
            *error = QStringLiteral("No records to plot");
        return false;
    }
    HistoryPlot plot;
    plot.resize(1120, 790);
    plot.setHistory(std::move(records), serialNumber, zone);
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
    setHistory(copied(records), serialNumber, zone);
}

void HistoryPlotWindow::setHistory(QVector<HistoryRecord> records, const QString &serialNumber,
                                   const QTimeZone &zone)
{
    shownSerialNumber = serialNumber;
    historyPlot->setHistory(std::move(records), serialNumber, zone);
    historyPlot->setDoseRateThreshold(
        thresholds.value(serialNumber, std::numeric_limits<double>::quiet_NaN()));
    setWindowTitle(serialNumber.isEmpty() ? tr("График истории")
                                          : tr("График истории — SN %1").arg(serialNumber));
}

void HistoryPlotWindow::setNamePeriod(const QDate &from, const QDate &to)
{
    nameFrom = from;
    nameTo = to;
}

void HistoryPlotWindow::setDoseRateThreshold(const QString &serialNumber, double sievertsPerHour)
{
    if (serialNumber.isEmpty())
        return;
    thresholds.insert(serialNumber, sievertsPerHour);
    if (serialNumber == shownSerialNumber)
        historyPlot->setDoseRateThreshold(sievertsPerHour);
}

void HistoryPlotWindow::savePlot()
{
    QString selected;
    // Offered as «График_<SN>_<date>.png» (or with the period's days) in the
    // folder used last.
    const QString offered =
        QDir(lastUsedFolder())
            .filePath(suggestedFileName(SavedFile::Plot, shownSerialNumber, nameFrom,
                                        nameTo.isValid() ? nameTo : QDate::currentDate()));
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Сохранить график"), offered, tr("Изображение PNG (*.png);;Документ PDF (*.pdf)"),
        &selected);
    if (fileName.isEmpty())
        return;
    rememberUsedFolder(fileName);
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
            (me->pos() - pressPos).manhattanLength() <= plotClickSlack) {
            const int row = historyPlot->rowAt(pressPos);
            if (row >= 0)
                emit recordActivated(row);
        }
        pressed = false;
    }
    return false;
}
