// Windows backend of the USB library seam: forwards the nine calls to the
// bridge vendor's library SiUSBXp.dll, loaded at run time. Without the library,
// or with one that lacks an entry point, the device count fails: the program
// still starts and finds no pager, and libraryProblem() tells why.
#include "usbxpress.h"

#include <windows.h>

#include <cstring>

namespace {

// The entry points as the vendor publishes them in the programmer's guide of
// the bridge's host library: every one WINAPI (stdcall on 32-bit Windows, where
// a wrong argument list unbalances the stack), every result a status, 0 for
// success.
using SiStatus = int;
using GetNumDevicesFn = SiStatus(WINAPI *)(LPDWORD numDevices);
// flags 0: the device's serial number; the library writes a NUL-terminated string.
using GetProductStringSafeFn = SiStatus(WINAPI *)(DWORD deviceNum, LPVOID deviceString,
                                                  size_t deviceStringLength, DWORD flags);
// Older libraries have only this form; the buffer must hold 256 bytes.
using GetProductStringFn = SiStatus(WINAPI *)(DWORD deviceNum, LPVOID deviceString, DWORD flags);
using SetTimeoutsFn = SiStatus(WINAPI *)(DWORD readTimeoutMs, DWORD writeTimeoutMs);
using OpenFn = SiStatus(WINAPI *)(DWORD deviceNum, HANDLE *handle);
// The device query: writes one byte.
using GetPartNumberFn = SiStatus(WINAPI *)(HANDLE handle, LPBYTE partNumber);
using SetBaudRateFn = SiStatus(WINAPI *)(HANDLE handle, DWORD baudRate);
using WriteFn = SiStatus(WINAPI *)(HANDLE handle, LPVOID buffer, DWORD bytesToWrite,
                                   LPDWORD bytesWritten, LPOVERLAPPED overlapped);
using ReadFn = SiStatus(WINAPI *)(HANDLE handle, LPVOID buffer, DWORD bytesToRead,
                                  LPDWORD bytesReturned, LPOVERLAPPED overlapped);
using CloseFn = SiStatus(WINAPI *)(HANDLE handle);

constexpr wchar_t libraryName[] = L"SiUSBXp.dll";

struct VendorLibrary
{
    bool loaded = false;
    GetNumDevicesFn getNumDevices = nullptr;
    GetProductStringSafeFn getProductStringSafe = nullptr; // when the library has it,
    GetProductStringFn getProductString = nullptr;         // else this one
    SetTimeoutsFn setTimeouts = nullptr;
    OpenFn open = nullptr;
    GetPartNumberFn getPartNumber = nullptr;
    SetBaudRateFn setBaudRate = nullptr;
    WriteFn write = nullptr;
    ReadFn read = nullptr;
    CloseFn close = nullptr;
    usbx::LibraryProblem problem;
};

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string out(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(std::size_t(size) - 1);
    return out;
}

std::string modulePath(HMODULE module)
{
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? utf8(path) : utf8(libraryName);
}

template <typename Fn> Fn entryPoint(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

// Resolves a required entry point; the first one missing is the problem.
template <typename Fn> void require(HMODULE module, const char *name, Fn &fn, VendorLibrary &l)
{
    fn = entryPoint<Fn>(module, name);
    if (!fn && l.problem.kind == usbx::LibraryProblem::Kind::None) {
        l.problem.kind = usbx::LibraryProblem::Kind::MissingEntryPoint;
        l.problem.entryPoint = name;
    }
}

const VendorLibrary &vendor()
{
    static const VendorLibrary lib = [] {
        VendorLibrary l;
        HMODULE module = LoadLibraryW(libraryName);
        if (!module) {
            l.problem.kind = usbx::LibraryProblem::Kind::NotLoaded;
            l.problem.systemError = GetLastError();
            l.problem.library = utf8(libraryName);
            return l;
        }
        l.problem.library = modulePath(module);
        require(module, "SI_GetNumDevices", l.getNumDevices, l);
        l.getProductStringSafe =
            entryPoint<GetProductStringSafeFn>(module, "SI_GetProductStringSafe");
        if (!l.getProductStringSafe) // every version has at least this one
            require(module, "SI_GetProductString", l.getProductString, l);
        require(module, "SI_SetTimeouts", l.setTimeouts, l);
        require(module, "SI_Open", l.open, l);
        require(module, "SI_GetPartNumber", l.getPartNumber, l);
        require(module, "SI_SetBaudRate", l.setBaudRate, l);
        require(module, "SI_Write", l.write, l);
        require(module, "SI_Read", l.read, l);
        require(module, "SI_Close", l.close, l);
        if (l.problem.kind != usbx::LibraryProblem::Kind::None) {
            FreeLibrary(module);
            VendorLibrary unusable;
            unusable.problem = l.problem;
            return unusable;
        }
        l.loaded = true;
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
    const VendorLibrary &v = vendor();
    if (!v.loaded || !buffer || length < ProductStringSize)
        return ErrorDevice;
    std::memset(buffer, 0, length);
    if (v.getProductStringSafe)
        return Status(v.getProductStringSafe(index, buffer, length, flags));
    return Status(v.getProductString(index, buffer, flags));
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
    return Status(vendor().getPartNumber(toHandle(handle), buffer));
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

LibraryProblem libraryProblem()
{
    return vendor().problem;
}

// The vendor library finds the bridges itself: nothing to configure or tell.
void configure(const UsbSettings & /*settings*/) {}

std::vector<OpenProblem> openProblems()
{
    return {};
}

std::string searchSummary()
{
    return std::string();
}

} // namespace usbx
