// The POSIX backend's names for the devices of its last device count, for a
// program that watches pagers come and go: the same while a device stays
// attached, and new when it is plugged in again.
#pragma once

#include <cstdint>
#include <string>

namespace usbx {

// "usb bus 001 device 005, 10c4:ea61" (a new plug gets a new address) or
// "socket 05A00317.sock"; empty for an index outside the count.
std::string deviceKey(std::uint32_t index);

} // namespace usbx
