// «Подключение USB»: the window's setting for a pager on USB. The operator
// names further USB ids of the pager's bridge (VID:PID, as lsusb shows them;
// 10c4:ea61 is always looked for) and a trace file that gets every control
// request and byte exchanged with a pager on USB, for a lab whose pager does
// not answer to send. Kept in QSettings under "usb/"; applied before every
// connection (Linux; the Windows vendor library finds its devices itself).
#pragma once

#include "usbxpress.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QSettings;

// The stored setting (ids that do not read as VID:PID are left out).
usbx::UsbSettings loadUsbSettings(const QSettings &settings);
// Hands the stored setting to the USB backend.
void applyUsbSettings();

class UsbSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UsbSettingsDialog(QWidget *parent = nullptr);

    // Stores the fields; refused (the reason under the fields) while the ids
    // do not read as VID:PID.
    void accept() override;

private:
    QLineEdit *ids;
    QLineEdit *trace;
    QLabel *problem;
};
