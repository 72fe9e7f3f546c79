// Answers the next modal dialog of a window test named `objectName`:
// accepted or rejected as its operator would, after `fill` (when given) has
// filled it in.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

inline void answerDialog(QObject *owner, const QString &objectName, bool accept,
                         const std::function<void(QDialog *)> &fill = {})
{
    auto *poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, objectName, accept, fill]() {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != objectName)
            return;
        poll->stop();
        if (fill)
            fill(dialog);
        accept ? dialog->accept() : dialog->reject();
    });
    poll->start(10);
}
