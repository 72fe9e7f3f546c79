#include "settingfield.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPalette>

SettingField::SettingField(QLineEdit *e) : QObject(e), edit(e), plain(e->palette())
{
    QObject::connect(edit, &QLineEdit::textChanged, this, [this]() { showState(); });
}

void SettingField::setReported(const QString &text)
{
    reported = text;
    edit->setText(text);
    showState();
}

void SettingField::forget()
{
    setReported(QString());
}

void SettingField::restore()
{
    edit->setText(reported);
    showState();
}

bool SettingField::isPending() const
{
    return edit->text() != reported;
}

void SettingField::showState()
{
    if (isPending()) {
        QPalette palette = plain;
        palette.setColor(QPalette::Base, QColor(255, 236, 179));
        edit->setPalette(palette);
        edit->setToolTip(QCoreApplication::translate(
            "MainWindow", "Значение не записано в прибор: нажмите Enter или кнопку рядом."));
    } else {
        edit->setPalette(plain);
        edit->setToolTip(QString());
    }
}
