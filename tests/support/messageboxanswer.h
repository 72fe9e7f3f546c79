// Answers the next modal message box of a window test: presses its button of
// `role` (QMessageBox::AcceptRole or RejectRole) and keeps the box's text. A
// box that never comes leaves `text` empty; the poll ends with its owner.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <memory>

inline std::shared_ptr<QString> answerMessageBox(QObject *owner, QMessageBox::ButtonRole role)
{
    auto text = std::make_shared<QString>();
    auto *poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, role, text]() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        *text = box->text();
        for (QAbstractButton *button : box->buttons())
            if (box->buttonRole(button) == role) {
                button->click();
                return;
            }
        box->reject();
    });
    poll->start(10);
    return text;
}
