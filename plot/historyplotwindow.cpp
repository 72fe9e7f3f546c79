#include "historyplotwindow.h"

#include "fileerror.h"
#include "historyplot.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

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
    shownSerialNumber = serialNumber;
    historyPlot->setHistory(records, serialNumber, zone);
    historyPlot->setDoseRateThreshold(
        thresholds.value(serialNumber, std::numeric_limits<double>::quiet_NaN()));
    setWindowTitle(serialNumber.isEmpty() ? tr("График истории")
                                          : tr("График истории — SN %1").arg(serialNumber));
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
            (me->pos() - pressPos).manhattanLength() <= plotClickSlack) {
            const int row = historyPlot->rowAt(pressPos);
            if (row >= 0)
                emit recordActivated(row);
        }
        pressed = false;
    }
    return false;
}
