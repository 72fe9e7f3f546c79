// POSIX backend of the USB library seam: the pagers plugged in on USB
// (usblibusb.h) come first in the device list, then each UNIX stream socket
// in the socket directory (see usbsocketdir.h), served by the emulator.
#include "usbdevicekey.h"
#include "usblibusb.h"
#include "usbsocketdir.h"
#include "usbxpress.h"

#include <QFile>
#include <QMap>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Backend
{
    QString directory;
    std::uint32_t usbCount = 0; // USB devices at the head of the last device count
    QStringList devices;        // the sockets listed by the last device count
    QString socketProblem;      // why the directory was not looked into
    QMap<usbx::Handle, int> sockets;
    usbx::Handle nextHandle = 1;
    std::uint32_t readTimeout = usbx::NoTimeout;
    std::uint32_t writeTimeout = usbx::NoTimeout;
};

Backend &backend()
{
    static Backend b;
    return b;
}

int pollTimeout(std::uint32_t ms)
{
    return ms == usbx::NoTimeout ? -1 : int(qMin<std::uint32_t>(ms, 0x7FFFFFFF));
}

// Waits for `events` on fd; false on time-out or error.
bool waitFor(int fd, short events, std::uint32_t timeoutMs)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, pollTimeout(timeoutMs));
        if (r > 0)
            return true;
        if (r == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

} // namespace

namespace usbx {

Status getNumDevices(std::uint32_t *count)
{
    Backend &b = backend();
    b.usbCount = usbdev::count();
    b.directory = socketdir::path();
    b.devices.clear();
    b.socketProblem.clear();
    *count = b.usbCount;
    if (!QFile::exists(b.directory))
        return Success;
    if (!socketdir::isTrusted(b.directory, &b.socketProblem))
        return b.usbCount > 0 ? Success : ErrorDevice;
    b.devices = socketdir::pagerSockets(b.directory);
    *count += std::uint32_t(b.devices.size());
    return Success;
}

Status getProductString(std::uint32_t index, char *buffer, std::uint32_t length,
                        std::uint32_t flags)
{
    const Backend &b = backend();
    if (index < b.usbCount)
        return usbdev::productString(index, buffer, length, flags);
    index -= b.usbCount;
    if (index >= std::uint32_t(b.devices.size()) || !buffer || length == 0)
        return ErrorDevice;
    const QByteArray name = QFile::encodeName(b.devices.at(int(index)));
    const size_t n = qMin<size_t>(size_t(name.size()), length - 1);
    std::memcpy(buffer, name.constData(), n);
    buffer[n] = 0;
    return Success;
}

Status setTimeouts(std::uint32_t readMs, std::uint32_t writeMs)
{
    backend().readTimeout = readMs;
    backend().writeTimeout = writeMs;
    usbdev::setTimeouts(readMs, writeMs);
    return Success;
}

Status open(std::uint32_t index, Handle *handle)
{
    Backend &b = backend();
    if (index < b.usbCount)
        return usbdev::open(index, handle);
    index -= b.usbCount;
    if (index >= std::uint32_t(b.devices.size()))
        return ErrorDevice;
    const QByteArray path =
        QFile::encodeName(b.directory + QLatin1Char('/') + b.devices.at(int(index)));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return ErrorDevice;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    // Connected without blocking: a pager that stopped taking connections
    // (its queue full) fails at once instead of holding the caller for ever.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return ErrorDevice;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return ErrorDevice;
    }
    *handle = b.nextHandle++;
    b.sockets.insert(*handle, fd);
    return Success;
}

Status queryDevice(Handle handle, unsigned char *buffer)
{
    if (handle & usbdev::handleBit)
        return usbdev::queryDevice(handle, buffer);
    if (!backend().sockets.contains(handle))
        return ErrorDevice;
    if (buffer)
        std::memset(buffer, 0, DeviceQuerySize);
    return Success;
}

Status setBaudRate(Handle handle, std::uint32_t baud)
{
    if (handle & usbdev::handleBit)
        return usbdev::setBaudRate(handle, baud);
    return backend().sockets.contains(handle) ? Success : ErrorDevice;
}

Status write(Handle handle, const void *data, std::uint32_t count, std::uint32_t *written,
             void * /*overlapped*/)
{
    if (handle & usbdev::handleBit)
        return usbdev::write(handle, data, count, written);
    Backend &b = backend();
    if (written)
        *written = 0;
    const auto it = b.sockets.constFind(handle);
    if (it == b.sockets.constEnd())
        return ErrorDevice;
    const char *bytes = static_cast<const char *>(data);
    std::uint32_t sent = 0;
    while (sent < count) {
        if (!waitFor(*it, POLLOUT, b.writeTimeout))
            break;
        const ssize_t n = ::send(*it, bytes + sent, count - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            break;
        }
        sent += std::uint32_t(n);
    }
    if (written)
        *written = sent;
    return sent == count ? Success : ErrorDevice;
}

Status read(Handle handle, void *buffer, std::uint32_t size, std::uint32_t *received,
            void * /*overlapped*/)
{
    if (handle & usbdev::handleBit)
        return usbdev::read(handle, buffer, size, received);
    Backend &b = backend();
    *received = 0;
    const auto it = b.sockets.constFind(handle);
    if (it == b.sockets.constEnd())
        return ErrorDevice;
    if (size == 0)
        return Success;
    if (!waitFor(*it, POLLIN, b.readTimeout))
        return ErrorTimeout;
    for (;;) {
        const ssize_t n = ::recv(*it, buffer, size, 0);
        if (n > 0) {
            *received = std::uint32_t(n);
            return Success;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return ErrorDevice; // closed by the peer, or an error
    }
}

Status close(Handle handle)
{
    if (handle & usbdev::handleBit)
        return usbdev::close(handle);
    Backend &b = backend();
    const auto it = b.sockets.find(handle);
    if (it == b.sockets.end())
        return ErrorDevice;
    ::close(*it);
    b.sockets.erase(it);
    return Success;
}

LibraryProblem libraryProblem()
{
    return LibraryProblem();
}

void configure(const UsbSettings &settings)
{
    usbdev::configure(settings);
}

std::vector<OpenProblem> openProblems()
{
    return usbdev::openProblems();
}

std::string deviceKey(std::uint32_t index)
{
    const Backend &b = backend();
    if (index < b.usbCount)
        return "usb " + usbdev::place(index);
    index -= b.usbCount;
    return index < std::uint32_t(b.devices.size())
               ? "socket " + QFile::encodeName(b.devices.at(int(index))).toStdString()
               : std::string();
}

std::string searchSummary()
{
    const Backend &b = backend();
    QString text = QStringLiteral("USB ids %1: %2 device(s)")
                       .arg(QString::fromStdString(usbdev::idsText()))
                       .arg(b.usbCount);
    const std::string unavailable = usbdev::unavailableReason();
    if (!unavailable.empty())
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(unavailable));
    const QString directory = b.directory.isEmpty() ? socketdir::path() : b.directory;
    if (!b.socketProblem.isEmpty())
        text += QStringLiteral("; socket folder %1 not used: %2").arg(directory, b.socketProblem);
    else
        text += QStringLiteral("; sockets in %1: %2").arg(directory).arg(b.devices.size());
    return text.toStdString();
}

} // namespace usbx
