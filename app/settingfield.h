// A setting's line edit that tells a typed value from the pager's: while its
// text differs from what the pager last reported (read or stored), the field
// is tinted and its tool tip says the value is not stored. After a failed
// store the field goes back to the pager's value, so nothing looks current
// that the pager did not take.
#pragma once

#include <QObject>
#include <QPalette>
#include <QString>

class QLineEdit;

class SettingField : public QObject
{
public:
    // Watches `edit` (and lives as its child).
    explicit SettingField(QLineEdit *edit);

    // The pager holds `text`: the field shows it, untinted.
    void setReported(const QString &text);
    // What the pager holds is not known: the field is emptied.
    void forget();
    // Shows the last reported value again (empty when none is known).
    void restore();
    // Whether the text differs from the pager's value.
    bool isPending() const;
    QLineEdit *lineEdit() const { return edit; }

private:
    QLineEdit *edit;
    QPalette plain;
    QString reported;
    void showState();
};
