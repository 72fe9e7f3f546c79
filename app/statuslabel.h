// The permanent outcome line of the window's status bar.
#pragma once

#include <QLabel>

class QPainter;

// Shows one message until the next one replaces it; unlike a temporary status
// bar message, hovering a menu does not clear it. The message is always shown
// whole: it wraps at its spaces, and a word wider than the line (a long file
// name) wraps where it must. The label keeps room for two lines and grows
// taller when a message needs more. The whole text is also the tool tip.
class StatusLabel : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLabel(QWidget *parent = nullptr);

    void setMessage(const QString &message);
    QString message() const { return text(); }

    // Lines the label keeps room for, whatever the message.
    static constexpr int keptLines = 2;
    // The height the message needs at `width` (contents and margins).
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Lays the message out in `width` pixels, drawn at `origin` when a painter
    // is given; returns its height.
    int layOut(int width, QPainter *painter = nullptr, QPointF origin = QPointF()) const;
    void fitHeight();
};
