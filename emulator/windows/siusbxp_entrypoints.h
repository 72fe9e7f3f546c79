// The entry points of the USB bridge vendor's library SiUSBXp.dll, declared as
// the vendor publishes them: every one WINAPI, exported under its plain name
// (link with -Wl,--kill-at), every result a status, 0 for success. The
// stand-in libraries (the emulator's, the Wine checks') define those they
// offer; the compiler holds each definition to its declaration here.
#pragma once

#include <windows.h>

#include <cstddef>

#define SIUSBXP_EXPORT extern "C" __declspec(dllexport)

using SiStatus = int;

// The stand-ins' statuses, as the vendor numbers them; the link tells only
// success from failure.
namespace sistatus {
constexpr SiStatus ok = 0x00, badHandle = 0x01, readError = 0x02, writeError = 0x04,
                   badParameter = 0x06, readTimedOut = 0x0D, writeTimedOut = 0x0E,
                   deviceNotFound = 0xFF;
} // namespace sistatus

SIUSBXP_EXPORT SiStatus WINAPI SI_GetNumDevices(LPDWORD numDevices);
// flags 0: the device's serial number; a NUL-terminated string.
SIUSBXP_EXPORT SiStatus WINAPI SI_GetProductStringSafe(DWORD deviceNum, LPVOID deviceString,
                                                       size_t deviceStringLength, DWORD flags);
// Older libraries have only this form; the buffer holds 256 bytes.
SIUSBXP_EXPORT SiStatus WINAPI SI_GetProductString(DWORD deviceNum, LPVOID deviceString,
                                                   DWORD flags);
SIUSBXP_EXPORT SiStatus WINAPI SI_SetTimeouts(DWORD readTimeoutMs, DWORD writeTimeoutMs);
SIUSBXP_EXPORT SiStatus WINAPI SI_Open(DWORD deviceNum, HANDLE *handle);
// The device query: writes one byte.
SIUSBXP_EXPORT SiStatus WINAPI SI_GetPartNumber(HANDLE handle, LPBYTE partNumber);
SIUSBXP_EXPORT SiStatus WINAPI SI_SetBaudRate(HANDLE handle, DWORD baudRate);
SIUSBXP_EXPORT SiStatus WINAPI SI_Write(HANDLE handle, LPVOID buffer, DWORD bytesToWrite,
                                        LPDWORD bytesWritten, LPOVERLAPPED overlapped);
SIUSBXP_EXPORT SiStatus WINAPI SI_Read(HANDLE handle, LPVOID buffer, DWORD bytesToRead,
                                       LPDWORD bytesReturned, LPOVERLAPPED overlapped);
SIUSBXP_EXPORT SiStatus WINAPI SI_Close(HANDLE handle);
