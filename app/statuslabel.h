// The permanent outcome line of the window's status bar.
#pragma once

#include <QLabel>

// Shows one message until the next one replaces it; unlike a temporary status
// bar message, hovering a menu does not clear it. A message wider than the
// label is cut with an ellipsis; the whole text is always the tool tip.
class StatusLabel : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLabel(QWidget *parent = nullptr);

    void setMessage(const QString &message);
    QString message() const { return full; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QString full;
    void fitText();
};
