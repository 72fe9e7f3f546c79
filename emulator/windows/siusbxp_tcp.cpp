// The emulator's Windows side: a stand-in for the USB bridge vendor's library
// SiUSBXp.dll that reaches the pager emulator over TCP, so that the Windows
// program, under Wine, talks to `dr7326g-emulator --tcp PORT` on the same
// machine (the test command's checks of the Windows program use it). Never
// installed: a Windows PC has the vendor's own library.
//
// With DR7326G_EMULATOR_TCP=PORT in the environment it offers one device, the
// emulator at 127.0.0.1:PORT (its description "127.0.0.1:PORT"): opening it
// connects, a write sends, a read hands on what has arrived as soon as
// anything has, waiting at most the read time-out of SI_SetTimeouts. Without
// the variable, or with one that is no port, there is no device.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "siusbxp_entrypoints.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

using namespace sistatus;

constexpr char portVariable[] = "DR7326G_EMULATOR_TCP";
constexpr DWORD oldStringSize = 256; // what the 3-argument string query may fill
constexpr BYTE partNumber = 0x02;    // what a CP2102 bridge answers
const HANDLE emulatorHandle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0xE7326));

struct Connection
{
    SOCKET socket = INVALID_SOCKET;
    DWORD readTimeoutMs = INFINITE;
    DWORD writeTimeoutMs = INFINITE;
} emulator;

// The port named by the environment; 0 when unset or not a port.
unsigned short emulatorPort()
{
    char text[8];
    const DWORD n = GetEnvironmentVariableA(portVariable, text, sizeof text);
    if (n == 0 || n >= sizeof text)
        return 0;
    unsigned long port = 0;
    for (DWORD i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        port = port * 10 + unsigned(text[i] - '0');
    }
    return port <= 65535 ? static_cast<unsigned short>(port) : 0;
}

bool isOpen(HANDLE h)
{
    return h == emulatorHandle && emulator.socket != INVALID_SOCKET;
}

// Waits until the socket can be read (or written): 1, 0 when `ms` passed
// first (INFINITE: no limit), -1 on an error.
int waitFor(bool writing, DWORD ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(emulator.socket, &set);
    timeval limit{long(ms / 1000), long(ms % 1000) * 1000};
    const int r = select(0, writing ? nullptr : &set, writing ? &set : nullptr, nullptr,
                         ms == INFINITE ? nullptr : &limit);
    return r > 0 ? 1 : r;
}

SiStatus productString(DWORD device, LPVOID buffer, std::size_t size)
{
    const unsigned short port = emulatorPort();
    if (device != 0 || port == 0)
        return deviceNotFound;
    char text[24];
    const int n = std::snprintf(text, sizeof text, "127.0.0.1:%u", unsigned(port));
    if (!buffer || size <= std::size_t(n))
        return badParameter;
    std::memcpy(buffer, text, std::size_t(n) + 1);
    return ok;
}

} // namespace

SIUSBXP_EXPORT SiStatus WINAPI SI_GetNumDevices(LPDWORD numDevices)
{
    if (!numDevices)
        return badParameter;
    *numDevices = emulatorPort() != 0 ? 1 : 0;
    return ok;
}

SIUSBXP_EXPORT SiStatus WINAPI SI_GetProductStringSafe(DWORD deviceNum, LPVOID deviceString,
                                                       size_t deviceStringLength, DWORD /*flags*/)
{
    return productString(deviceNum, deviceString, deviceStringLength);
}

SIUSBXP_EXPORT SiStatus WINAPI SI_GetProductString(DWORD deviceNum, LPVOID deviceString,
                                                   DWORD /*flags*/)
{
    return productString(deviceNum, deviceString, oldStringSize);
}

SIUSBXP_EXPORT SiStatus WINAPI SI_SetTimeouts(DWORD readTimeoutMs, DWORD writeTimeoutMs)
{
    emulator.readTimeoutMs = readTimeoutMs;
    emulator.writeTimeoutMs = writeTimeoutMs;
    return ok;
}

SIUSBXP_EXPORT SiStatus WINAPI SI_Open(DWORD deviceNum, HANDLE *handle)
{
    const unsigned short port = emulatorPort();
    if (deviceNum != 0 || port == 0 || emulator.socket != INVALID_SOCKET)
        return deviceNotFound;
    if (!handle)
        return badParameter;
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started)
        return deviceNotFound;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return deviceNotFound;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        closesocket(s);
        return deviceNotFound;
    }
    const BOOL on = TRUE; // a request leaves at once, like a USB packet
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
    emulator.socket = s;
    *handle = emulatorHandle;
    return ok;
}

SIUSBXP_EXPORT SiStatus WINAPI SI_GetPartNumber(HANDLE handle, LPBYTE part)
{
    if (!isOpen(handle))
        return badHandle;
    if (!part)
        return badParameter;
    *part = partNumber;
    return ok;
}

// The emulator paces its replies at its own --baud.
SIUSBXP_EXPORT SiStatus WINAPI SI_SetBaudRate(HANDLE handle, DWORD /*baudRate*/)
{
    return isOpen(handle) ? ok : badHandle;
}

SIUSBXP_EXPORT SiStatus WINAPI SI_Write(HANDLE handle, LPVOID buffer, DWORD bytesToWrite,
                                        LPDWORD bytesWritten, LPOVERLAPPED overlapped)
{
    if (!isOpen(handle))
        return badHandle;
    if (!buffer || !bytesWritten || overlapped)
        return badParameter;
    const char *bytes = static_cast<const char *>(buffer);
    DWORD sent = 0;
    SiStatus s = ok;
    while (s == ok && sent < bytesToWrite) {
        const int ready = waitFor(true, emulator.writeTimeoutMs);
        const int chunk = int(bytesToWrite - sent > INT_MAX ? INT_MAX : bytesToWrite - sent);
        const int n = ready > 0 ? send(emulator.socket, bytes + sent, chunk, 0) : -1;
        if (n > 0)
            sent += DWORD(n);
        else
            s = ready == 0 ? writeTimedOut : writeError;
    }
    *bytesWritten = sent;
    return s;
}

SIUSBXP_EXPORT SiStatus WINAPI SI_Read(HANDLE handle, LPVOID buffer, DWORD bytesToRead,
                                       LPDWORD bytesReturned, LPOVERLAPPED overlapped)
{
    if (!isOpen(handle))
        return badHandle;
    if (!buffer || !bytesReturned || overlapped)
        return badParameter;
    *bytesReturned = 0;
    if (bytesToRead == 0)
        return ok;
    const int ready = waitFor(false, emulator.readTimeoutMs);
    if (ready == 0)
        return readTimedOut;
    const int size = int(bytesToRead > INT_MAX ? INT_MAX : bytesToRead);
    const int n = ready > 0 ? recv(emulator.socket, static_cast<char *>(buffer), size, 0) : -1;
    if (n <= 0) // the emulator went away, or an error
        return readError;
    *bytesReturned = DWORD(n);
    return ok;
}

SIUSBXP_EXPORT SiStatus WINAPI SI_Close(HANDLE handle)
{
    if (!isOpen(handle))
        return badHandle;
    closesocket(emulator.socket);
    emulator.socket = INVALID_SOCKET;
    return ok;
}
