// The USB library seam.
//
// The pager sits behind a USB bridge whose vendor library offers nine calls.
// PagerLink uses exactly these free functions; the build links one backend:
//   usbxpress_posix.cpp  real USB pagers through libusb (usblibusb.cpp) first,
//                        then the UNIX stream sockets (the emulator)
//   usbxpress_win.cpp    forwards to the vendor DLL, loaded at run time
//   usbfake.cpp          a scripted fake for the unit tests
// Every status is a 32-bit integer; 0 means success.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace usbx {

using Status = std::uint32_t;
using Handle = std::uint64_t;

constexpr Status Success = 0;
// A failure status of our own backends: the read time-out passed with nothing.
constexpr Status ErrorTimeout = 0x12;
// A failure status of our own backends: anything else (no such device, closed peer...).
constexpr Status ErrorDevice = 0xFF;

// Time-out value meaning "no limit".
constexpr std::uint32_t NoTimeout = 0xFFFFFFFFu;
// Size of the buffer that getProductString fills.
constexpr std::uint32_t ProductStringSize = 256;
// Size of the buffer that queryDevice fills.
constexpr std::uint32_t DeviceQuerySize = 512;

// Number of attached devices.
Status getNumDevices(std::uint32_t *count);
// NUL-terminated description of device `index` into `buffer` (`length` bytes).
Status getProductString(std::uint32_t index, char *buffer, std::uint32_t length,
                        std::uint32_t flags);
// Read and write time-outs in milliseconds; global, they apply to every later call.
Status setTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
// Opens device `index`.
Status open(std::uint32_t index, Handle *handle);
// Asks the opened device for its part details; fills at most DeviceQuerySize bytes.
Status queryDevice(Handle handle, unsigned char *buffer);
Status setBaudRate(Handle handle, std::uint32_t baud);
// Sends `count` bytes. `overlapped` is always null.
Status write(Handle handle, const void *data, std::uint32_t count, std::uint32_t *written,
             void *overlapped);
// Takes at most `size` bytes; returns within the read time-out.
// Success with *received == 0 is allowed.
Status read(Handle handle, void *buffer, std::uint32_t size, std::uint32_t *received,
            void *overlapped);
Status close(Handle handle);

// Why the backend reaches no device whatever is attached: the vendor library
// could not be loaded, or it lacks an entry point that one of the calls above
// needs (then it is not used at all). Kind::None in the other backends.
struct LibraryProblem
{
    enum class Kind { None, NotLoaded, MissingEntryPoint };
    Kind kind = Kind::None;
    std::string library;           // UTF-8: its full path once loaded, else the name looked for
    std::string entryPoint;        // MissingEntryPoint: the entry point it lacks
    std::uint32_t systemError = 0; // NotLoaded: the system's error code
};
LibraryProblem libraryProblem();

// A USB id (vendor, product) a pager's bridge may have.
struct UsbId
{
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};
// The bridge's default id.
constexpr UsbId defaultUsbId{0x10C4, 0xEA61};

// What the libusb backend is told before its device count: ids to look for
// besides the default (and those of DR7326G_USB_IDS), and a file that gets
// every control request and byte exchanged (empty: none). The other backends
// ignore it.
struct UsbSettings
{
    std::vector<UsbId> extraIds;
    std::string traceFile; // UTF-8 path
};
void configure(const UsbSettings &settings);

// A pager on USB that was found but could not be opened. None in the backends
// without USB devices of their own.
struct OpenProblem
{
    enum class Kind { AccessDenied, DriverBound, Busy, Other };
    Kind kind = Kind::Other;
    std::string device; // "bus 001 device 005, 10c4:ea61"
    std::string detail; // the USB library's error name
};
// Opens that failed since the last device count.
std::vector<OpenProblem> openProblems();
// What the last device count looked through, in English ("USB ids 10c4:ea61:
// 0 devices; sockets in /run/user/1000/dr7326g: none"); empty when there is
// nothing to tell.
std::string searchSummary();

} // namespace usbx
