// Answers the next modal message box of a window test with its button of
// `role` and keeps the box's text (empty while none came; the poll ends with
// its owner).
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <memory>

inline std::shared_ptr<QString> answerMessageBox(QObject *owner, QMessageBox::ButtonRole role)
{
    auto text = std::make_shared<QString>();
    auto *poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, role, text]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            poll->stop();
            *text = box->text();
            for (QAbstractButton *button : box->buttons())
                if (box->buttonRole(button) == role)
                    button->click();
        }
    });
    poll->start(10);
    return text;
}
