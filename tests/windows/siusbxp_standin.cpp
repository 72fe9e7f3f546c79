// A stand-in for the USB bridge vendor's library SiUSBXp.dll, for the Wine
// check: the entry points the link uses, each declared as the vendor publishes
// it (siusbxp_entrypoints.h), playing the pager of pagerscript.h. Every call
// is noted in a journal, one line with the arguments as they arrived; the
// check program compares it with the calls it made.
//   -DSTANDIN_OLDER       an older library, without SI_GetProductStringSafe
//   -DSTANDIN_INCOMPLETE  a library without SI_GetPartNumber
#include "pagerscript.h"
#include "siusbxp_entrypoints.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace sistatus;
constexpr DWORD oldStringSize = 256;   // what the 3-argument string query may fill
constexpr std::size_t packetSize = 64; // bytes are handed on in USB packets

// On 64-bit Windows a handle that a cut to 32 bits would spoil.
const HANDLE pagerHandle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0x5A5A00001234ull));

struct Pager
{
    std::string journal;
    bool open = false;
    DWORD baud = 0;
    std::size_t answered = 0; // exchanges of the script done
    std::string pending;      // reply bytes not read yet
} pager;

void note(const char *format, ...)
{
    char line[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    pager.journal += line;
    pager.journal += '\n';
}

const char *pointer(const void *p)
{
    return p ? "ptr" : "NULL";
}

std::string handleText(HANDLE h)
{
    if (h == pagerHandle)
        return "H";
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(UINT_PTR(h)));
    return text;
}

bool isPager(HANDLE h)
{
    return pager.open && h == pagerHandle;
}

SiStatus productString(DWORD device, LPVOID buffer, std::size_t size, DWORD flags)
{
    if (device != 0)
        return deviceNotFound;
    if (!buffer || flags != 0 || size < sizeof pagerscript::bridgeSerial)
        return badParameter;
    std::memset(buffer, 0, size);
    std::memcpy(buffer, pagerscript::bridgeSerial, sizeof pagerscript::bridgeSerial);
    return ok;
}

// Takes the bytes written; the pager answers only the next request of its
// script, sent at its baud rate. Returns what was wrong, or nothing.
std::string take(const char *bytes, DWORD count)
{
    if (pager.answered >= pagerscript::exchangeCount)
        return " (after the end of the script)";
    const pagerscript::Exchange &e = pagerscript::exchanges[pager.answered];
    if (pager.baud != 115200)
        return " (the pager speaks 115200 baud)";
    if (count != e.requestSize || std::memcmp(bytes, e.request, count) != 0)
        return std::string(" (not the ") + e.what + " request)";
    pager.pending.append(e.reply, e.replySize);
    ++pager.answered;
    return std::string();
}

} // namespace

SIUSBXP_EXPORT const char *standin_journal()
{
    return pager.journal.c_str();
}

SIUSBXP_EXPORT SiStatus WINAPI SI_GetNumDevices(LPDWORD numDevices)
{
    if (numDevices)
        *numDevices = 1;
    const SiStatus s = numDevices ? ok : badParameter;
    note("SI_GetNumDevices(%s) = %d -> %lu", pointer(numDevices), s, numDevices ? *numDevices : 0);
    return s;
}

#ifndef STANDIN_OLDER
SIUSBXP_EXPORT SiStatus WINAPI SI_GetProductStringSafe(DWORD deviceNum, LPVOID deviceString,
                                                       size_t deviceStringLength, DWORD flags)
{
    const SiStatus s = productString(deviceNum, deviceString, deviceStringLength, flags);
    note("SI_GetProductStringSafe(%lu, %s, %lu, %lu) = %d", deviceNum, pointer(deviceString),
         static_cast<unsigned long>(deviceStringLength), flags, s);
    return s;
}
#endif

SIUSBXP_EXPORT SiStatus WINAPI SI_GetProductString(DWORD deviceNum, LPVOID deviceString,
                                                   DWORD flags)
{
    const SiStatus s = productString(deviceNum, deviceString, oldStringSize, flags);
    note("SI_GetProductString(%lu, %s, %lu) = %d", deviceNum, pointer(deviceString), flags, s);
    return s;
}

SIUSBXP_EXPORT SiStatus WINAPI SI_SetTimeouts(DWORD readTimeoutMs, DWORD writeTimeoutMs)
{
    note("SI_SetTimeouts(%lu, %lu) = %d", readTimeoutMs, writeTimeoutMs, ok);
    return ok;
}

SIUSBXP_EXPORT SiStatus WINAPI SI_Open(DWORD deviceNum, HANDLE *handle)
{
    SiStatus s = deviceNum != 0 || pager.open ? deviceNotFound : handle ? ok : badParameter;
    if (s == ok) {
        *handle = pagerHandle;
        pager = Pager{pager.journal, true, 0, 0, std::string()};
    }
    note("SI_Open(%lu, %s) = %d", deviceNum, pointer(handle), s);
    return s;
}

#ifndef STANDIN_INCOMPLETE
SIUSBXP_EXPORT SiStatus WINAPI SI_GetPartNumber(HANDLE handle, LPBYTE partNumber)
{
    const SiStatus s = !isPager(handle) ? badHandle : partNumber ? ok : badParameter;
    if (s == ok)
        *partNumber = pagerscript::partNumber;
    note("SI_GetPartNumber(%s, %s) = %d", handleText(handle).c_str(), pointer(partNumber), s);
    return s;
}
#endif

SIUSBXP_EXPORT SiStatus WINAPI SI_SetBaudRate(HANDLE handle, DWORD baudRate)
{
    const SiStatus s = isPager(handle) ? ok : badHandle;
    if (s == ok)
        pager.baud = baudRate;
    note("SI_SetBaudRate(%s, %lu) = %d", handleText(handle).c_str(), baudRate, s);
    return s;
}

// The link never asks for overlapped input or output; the stand-in offers none.
SIUSBXP_EXPORT SiStatus WINAPI SI_Write(HANDLE handle, LPVOID buffer, DWORD bytesToWrite,
                                        LPDWORD bytesWritten, LPOVERLAPPED overlapped)
{
    const SiStatus s = !isPager(handle)                         ? badHandle
                       : !buffer || !bytesWritten || overlapped ? badParameter
                                                                : ok;
    std::string fault;
    if (s == ok) {
        *bytesWritten = bytesToWrite;
        fault = take(static_cast<const char *>(buffer), bytesToWrite);
    }
    note("SI_Write(%s, %s, %lu, %s, %s) = %d -> %lu%s", handleText(handle).c_str(), pointer(buffer),
         bytesToWrite, pointer(bytesWritten), pointer(overlapped), s, s == ok ? *bytesWritten : 0,
         fault.c_str());
    return s;
}

// Hands on what the pager sent, a packet at most; nothing to hand on is a
// read time-out (reported at once: the stand-in has no line to wait for).
SIUSBXP_EXPORT SiStatus WINAPI SI_Read(HANDLE handle, LPVOID buffer, DWORD bytesToRead,
                                       LPDWORD bytesReturned, LPOVERLAPPED overlapped)
{
    SiStatus s = !isPager(handle)                          ? badHandle
                 : !buffer || !bytesReturned || overlapped ? badParameter
                 : pager.pending.empty()                   ? readTimedOut
                                                           : ok;
    DWORD n = 0;
    if (s == ok) {
        n = DWORD(std::min({std::size_t(bytesToRead), packetSize, pager.pending.size()}));
        std::memcpy(buffer, pager.pending.data(), n);
        pager.pending.erase(0, n);
    }
    if (bytesReturned)
        *bytesReturned = n;
    note("SI_Read(%s, %s, %lu, %s, %s) = %d -> %lu", handleText(handle).c_str(), pointer(buffer),
         bytesToRead, pointer(bytesReturned), pointer(overlapped), s, n);
    return s;
}

SIUSBXP_EXPORT SiStatus WINAPI SI_Close(HANDLE handle)
{
    const SiStatus s = isPager(handle) ? ok : badHandle;
    if (s == ok)
        pager.open = false;
    note("SI_Close(%s) = %d", handleText(handle).c_str(), s);
    return s;
}
