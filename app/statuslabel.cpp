#include "statuslabel.h"

#include <QFontMetrics>

StatusLabel::StatusLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    // The message never widens the window: it is cut to the width there is.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setMinimumWidth(1);
}

void StatusLabel::setMessage(const QString &message)
{
    full = message;
    setToolTip(message);
    fitText();
}

void StatusLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fitText();
}

void StatusLabel::fitText()
{
    const QFontMetrics metrics(font());
    const int room = contentsRect().width() - 2 * margin() - 2 * indent();
    setText(metrics.horizontalAdvance(full) <= room
                ? full
                : metrics.elidedText(full, Qt::ElideRight, room));
}
