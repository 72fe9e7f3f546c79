// USB ids of the pager's bridge as the user writes them: "VID:PID" in
// hexadecimal (as lsusb shows them), several separated by commas or spaces,
// from --usb-id, DR7326G_USB_IDS or the window's setting.
#pragma once

#include "usbxpress.h"

#include <QString>

#include <vector>

// Appends the ids in `text` to `ids`; false (and `error` in English) when one
// is not VID:PID with four hexadecimal digits each. Empty text is no id.
bool parseUsbIds(const QString &text, std::vector<usbx::UsbId> *ids, QString *error = nullptr);

// "10c4:ea61"
QString usbIdText(const usbx::UsbId &id);
