// Windows backend of the USB library seam: forwards the nine calls to the
// bridge vendor's DLL, loaded at run time. Without the DLL, or with one that
// lacks an entry point, the device count fails: the program still starts and
// simply finds no pager.
#include "usbxpress.h"

#include <windows.h>

#include <cstring>

namespace {

// Entry points of the vendor DLL, each with exactly the arguments of its role
// and the platform API's calling convention (on 32-bit Windows a wrong
// argument count unbalances the stack):
//   device count          out: count
//   device string query   index, 256-byte buffer, the value 256, 0
//   set time-outs         read and write time-out in ms
//   open                  index, out: handle
//   device query          handle, 512-byte buffer
//   set baud rate         handle, baud
//   write / read          handle, bytes, count, out: count done, overlapped (null)
//   close                 handle
// Every result is a 32-bit status, 0 for success.
using GetNumDevicesFn = int(WINAPI *)(DWORD *count);
using GetProductStringFn = int(WINAPI *)(DWORD index, void *buffer, DWORD size, DWORD flags);
using SetTimeoutsFn = int(WINAPI *)(DWORD readMs, DWORD writeMs);
using OpenFn = int(WINAPI *)(DWORD index, HANDLE *handle);
using QueryDeviceFn = int(WINAPI *)(HANDLE handle, void *buffer);
using SetBaudRateFn = int(WINAPI *)(HANDLE handle, DWORD baud);
using WriteFn = int(WINAPI *)(HANDLE handle, void *data, DWORD count, DWORD *written,
                              OVERLAPPED *overlapped);
using ReadFn = int(WINAPI *)(HANDLE handle, void *buffer, DWORD size, DWORD *received,
                             OVERLAPPED *overlapped);
using CloseFn = int(WINAPI *)(HANDLE handle);

struct VendorLibrary
{
    bool loaded = false;
    GetNumDevicesFn getNumDevices = nullptr;
    GetProductStringFn getProductString = nullptr;
    SetTimeoutsFn setTimeouts = nullptr;
    OpenFn open = nullptr;
    QueryDeviceFn queryDevice = nullptr;
    SetBaudRateFn setBaudRate = nullptr;
    WriteFn write = nullptr;
    ReadFn read = nullptr;
    CloseFn close = nullptr;
};

template <typename Fn> bool resolve(HMODULE module, const char *name, Fn &fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    return fn != nullptr;
}

const VendorLibrary &vendor()
{
    static const VendorLibrary lib = [] {
        VendorLibrary l;
        HMODULE module = LoadLibraryW(L"SiUSBXp.dll");
        if (!module)
            return l;
        l.loaded = resolve(module, "SI_GetNumDevices", l.getNumDevices) &&
                   resolve(module, "SI_GetProductString", l.getProductString) &&
                   resolve(module, "SI_SetTimeouts", l.setTimeouts) &&
                   resolve(module, "SI_Open", l.open) &&
                   resolve(module, "SI_GetDeviceProductString", l.queryDevice) &&
                   resolve(module, "SI_SetBaudRate", l.setBaudRate) &&
                   resolve(module, "SI_Write", l.write) && resolve(module, "SI_Read", l.read) &&
                   resolve(module, "SI_Close", l.close);
        if (!l.loaded) {
            FreeLibrary(module);
            return VendorLibrary();
        }
        return l;
    }();
    return lib;
}

HANDLE toHandle(usbx::Handle h)
{
    return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(h));
}

} // namespace

namespace usbx {

Status getNumDevices(std::uint32_t *count)
{
    if (!vendor().loaded)
        return ErrorDevice;
    DWORD n = 0;
    const int s = vendor().getNumDevices(&n);
    *count = n;
    return Status(s);
}

Status getProductString(std::uint32_t index, char *buffer, std::uint32_t length,
                        std::uint32_t flags)
{
    if (!vendor().loaded || !buffer || length < ProductStringSize)
        return ErrorDevice;
    std::memset(buffer, 0, length);
    return Status(vendor().getProductString(index, buffer, ProductStringSize, flags));
}

Status setTimeouts(std::uint32_t readMs, std::uint32_t writeMs)
{
    return vendor().loaded ? Status(vendor().setTimeouts(readMs, writeMs)) : ErrorDevice;
}

Status open(std::uint32_t index, Handle *handle)
{
    if (!vendor().loaded)
        return ErrorDevice;
    HANDLE h = nullptr;
    const int s = vendor().open(index, &h);
    *handle = static_cast<Handle>(reinterpret_cast<UINT_PTR>(h));
    return Status(s);
}

Status queryDevice(Handle handle, unsigned char *buffer)
{
    if (!vendor().loaded || !buffer)
        return ErrorDevice;
    std::memset(buffer, 0, DeviceQuerySize);
    return Status(vendor().queryDevice(toHandle(handle), buffer));
}

Status setBaudRate(Handle handle, std::uint32_t baud)
{
    return vendor().loaded ? Status(vendor().setBaudRate(toHandle(handle), baud)) : ErrorDevice;
}

Status write(Handle handle, const void *data, std::uint32_t count, std::uint32_t *written,
             void *overlapped)
{
    if (!vendor().loaded)
        return ErrorDevice;
    DWORD n = 0;
    const int s = vendor().write(toHandle(handle), const_cast<void *>(data), count, &n,
                                 static_cast<OVERLAPPED *>(overlapped));
    if (written)
        *written = n;
    return Status(s);
}

Status read(Handle handle, void *buffer, std::uint32_t size, std::uint32_t *received,
            void *overlapped)
{
    if (!vendor().loaded)
        return ErrorDevice;
    DWORD n = 0;
    const int s =
        vendor().read(toHandle(handle), buffer, size, &n, static_cast<OVERLAPPED *>(overlapped));
    *received = n;
    return Status(s);
}

Status close(Handle handle)
{
    return vendor().loaded ? Status(vendor().close(toHandle(handle))) : ErrorDevice;
}

} // namespace usbx
