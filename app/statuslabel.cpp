#include "statuslabel.h"

#include <QPainter>
#include <QResizeEvent>
#include <QTextLayout>
#include <QtMath>

StatusLabel::StatusLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    // The message never widens the window: it wraps in the width there is.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setMinimumWidth(1);
    fitHeight();
}

void StatusLabel::setMessage(const QString &message)
{
    setText(message);
    setToolTip(message);
    fitHeight();
    update();
}

int StatusLabel::layOut(int width, QPainter *painter, QPointF origin) const
{
    QTextLayout layout(text(), font());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, width));
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    if (painter)
        layout.draw(painter, origin);
    return qCeil(height);
}

int StatusLabel::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    const int room = width - m.left() - m.right() - 2 * margin();
    const int kept = keptLines * fontMetrics().lineSpacing();
    return qMax(kept, layOut(room)) + m.top() + m.bottom() + 2 * margin();
}

void StatusLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        fitHeight();
}

void StatusLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    painter.setPen(palette().color(foregroundRole()));
    const int height = layOut(room.width());
    // Centred in the room kept, as a one-line label would be.
    layOut(room.width(), &painter, QPointF(room.left(), room.top() + (room.height() - height) / 2));
}

void StatusLabel::fitHeight()
{
    // The table above does not jump with each message: two lines are always
    // kept, more only for a message that needs them at this width.
    setFixedHeight(heightForWidth(width()));
}
