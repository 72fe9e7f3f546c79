// The libusb side of the POSIX backend: pagers plugged in through their USB
// bridge, in the bridge's vendor mode (one interface of class 0xFF with a bulk
// OUT and a bulk IN endpoint). usbxpress_posix.cpp lists these devices first,
// then the sockets, and hands each call to the side its index or handle
// belongs to. Two families of bridge are served alike: each is sent its own
// control requests and a stall of the other family's is taken as normal.
// Every call blocks; GUI thread only, as the link is.
#pragma once

#include "usbxpress.h"

#include <string>
#include <vector>

namespace usbdev {

// Handles of this side have this bit set; socket handles never do.
constexpr usbx::Handle handleBit = usbx::Handle(1) << 40;

void configure(const usbx::UsbSettings &settings);

// Lists the devices with one of the ids (default, configured, DR7326G_USB_IDS);
// 0 when libusb cannot be used here.
std::uint32_t count();
// The ids looked for, as "10c4:ea61, 1234:5678", and why libusb is not used
// (empty when it is).
std::string idsText();
std::string unavailableReason();

// flags 0: the serial number string, otherwise the product string. A device
// that cannot be opened is described by its place and id, so that the open
// that follows tells why.
usbx::Status productString(std::uint32_t index, char *buffer, std::uint32_t length,
                           std::uint32_t flags);
void setTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
usbx::Status open(std::uint32_t index, usbx::Handle *handle);
usbx::Status queryDevice(usbx::Handle handle, unsigned char *buffer);
usbx::Status setBaudRate(usbx::Handle handle, std::uint32_t baud);
usbx::Status write(usbx::Handle handle, const void *data, std::uint32_t count,
                   std::uint32_t *written);
usbx::Status read(usbx::Handle handle, void *buffer, std::uint32_t size, std::uint32_t *received);
usbx::Status close(usbx::Handle handle);

std::vector<usbx::OpenProblem> openProblems();

// Where device `index` of the last count sits ("bus 001 device 005,
// 10c4:ea61"): the same while it stays plugged in, new with every plug.
std::string place(std::uint32_t index);
// Whether libusb tells of devices plugged in and out here (hot-plug); the
// first call starts listening for them.
bool hotplugAvailable();
// Waits up to `ms` for a device to be plugged in or out (hot-plug only);
// true when one was. A signal may end the wait early.
bool waitForPlug(int ms);

} // namespace usbdev
