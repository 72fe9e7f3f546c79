#include "usblibusb.h"

#include "usbids.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QMap>
#include <QString>

#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Control requests of the two bridge families.
namespace req {
// A microcontroller running the bridge firmware: vendor requests to the device.
constexpr std::uint8_t vendorOut = 0x40;
constexpr std::uint8_t vendorControl = 0x02;
constexpr std::uint16_t vendorPurge = 0x0001;
constexpr std::uint16_t vendorOpen = 0x0002;
constexpr std::uint16_t vendorClose = 0x0004;
// A CP210x-type bridge: requests to interface 0.
constexpr std::uint8_t interfaceOut = 0x41;
constexpr std::uint8_t enable = 0x00;
constexpr std::uint8_t purge = 0x12;
constexpr std::uint16_t purgeAll = 0x000F;
constexpr std::uint8_t setBaudRate = 0x1E;
constexpr std::uint8_t vendorIn = 0xC0;
constexpr std::uint8_t partNumberRequest = 0xFF;
constexpr std::uint16_t partNumber = 0x370B;
} // namespace req

constexpr unsigned controlTimeoutMs = 1000;
// The host buffer of a bulk IN transfer: a multiple of the 64-byte packet, so
// that no packet the bridge sends can overflow it.
constexpr int inBufferSize = 4096;

struct Device
{
    libusb_device *device = nullptr;
    usbx::UsbId id;
    std::string place; // "bus 001 device 005, 10c4:ea61"
};

struct Open
{
    libusb_device_handle *handle = nullptr;
    std::uint8_t outEndpoint = 0;
    std::uint8_t inEndpoint = 0;
    std::uint8_t part = 0;
    QByteArray pending; // received, not yet handed out
};

struct Backend
{
    libusb_context *context = nullptr;
    bool initialised = false;
    std::string unavailable;
    std::vector<usbx::UsbId> extraIds;
    std::vector<Device> devices;
    QMap<usbx::Handle, Open> opened;
    usbx::Handle nextHandle = usbdev::handleBit | 1;
    unsigned readTimeout = 0; // libusb's 0: no limit
    unsigned writeTimeout = 0;
    std::vector<usbx::OpenProblem> problems;
    std::unique_ptr<QFile> trace;
    bool hotplugListening = false;
    bool plugged = false; // a device came or went since the last wait
};

Backend &backend()
{
    static Backend b;
    return b;
}

libusb_context *context()
{
    Backend &b = backend();
    if (!b.initialised) {
        b.initialised = true;
        const int r = libusb_init(&b.context);
        if (r != LIBUSB_SUCCESS) {
            b.context = nullptr;
            b.unavailable = std::string("libusb could not start: ") + libusb_error_name(r);
        }
    }
    return b.context;
}

void traceLine(const QString &text)
{
    QFile *f = backend().trace.get();
    if (!f || !f->isOpen())
        return;
    f->write(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toUtf8() +
        text.toUtf8() + '\n');
    f->flush();
}

// The bytes in hexadecimal, then as text: visible ASCII kept, others as \xNN.
QString hex(const unsigned char *data, int n)
{
    QString text;
    for (int i = 0; i < n; ++i)
        text += data[i] >= 0x20 && data[i] < 0x7F && data[i] != '\\'
                    ? QString(QLatin1Char(char(data[i])))
                    : QStringLiteral("\\x%1").arg(data[i], 2, 16, QLatin1Char('0'));
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(data), n).toHex(' ')) +
           QStringLiteral(" | ") + text;
}

std::vector<usbx::UsbId> wantedIds()
{
    std::vector<usbx::UsbId> ids{usbx::defaultUsbId};
    const Backend &b = backend();
    ids.insert(ids.end(), b.extraIds.begin(), b.extraIds.end());
    std::vector<usbx::UsbId> fromEnvironment;
    if (parseUsbIds(qEnvironmentVariable("DR7326G_USB_IDS"), &fromEnvironment))
        ids.insert(ids.end(), fromEnvironment.begin(), fromEnvironment.end());
    return ids;
}

// A control request; its data are traced both ways. A stall is LIBUSB_ERROR_PIPE.
int control(libusb_device_handle *h, std::uint8_t type, std::uint8_t request, std::uint16_t value,
            std::uint16_t index, unsigned char *data, std::uint16_t length)
{
    const int r =
        libusb_control_transfer(h, type, request, value, index, data, length, controlTimeoutMs);
    QString line = QStringLiteral("control %1 %2 value %3 index %4 length %5: ")
                       .arg(type, 2, 16, QLatin1Char('0'))
                       .arg(request, 2, 16, QLatin1Char('0'))
                       .arg(value, 4, 16, QLatin1Char('0'))
                       .arg(index, 4, 16, QLatin1Char('0'))
                       .arg(length);
    if (r == LIBUSB_ERROR_PIPE)
        line += QStringLiteral("stall");
    else if (r < 0)
        line += QString::fromLatin1(libusb_error_name(r));
    else
        line += (type & LIBUSB_ENDPOINT_IN) && r > 0 ? QStringLiteral("ok, %1").arg(hex(data, r))
                                                     : QStringLiteral("ok");
    traceLine(line);
    return r;
}

Open *find(usbx::Handle handle)
{
    Backend &b = backend();
    const auto it = b.opened.find(handle);
    return it == b.opened.end() ? nullptr : &*it;
}

void recordProblem(const Device &d, int error)
{
    usbx::OpenProblem p;
    p.device = d.place;
    p.detail = libusb_error_name(error);
    p.kind = error == LIBUSB_ERROR_ACCESS ? usbx::OpenProblem::Kind::AccessDenied
             : error == LIBUSB_ERROR_BUSY ? usbx::OpenProblem::Kind::Busy
                                          : usbx::OpenProblem::Kind::Other;
    backend().problems.push_back(p);
    traceLine(QStringLiteral("open %1 failed: %2")
                  .arg(QString::fromStdString(d.place), QString::fromStdString(p.detail)));
}

// The bulk endpoints of interface 0.
bool findEndpoints(libusb_device *device, Open *o)
{
    libusb_config_descriptor *config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS)
        return false;
    if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
        const libusb_interface_descriptor &alt = config->interface[0].altsetting[0];
        for (int e = 0; e < alt.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor &ep = alt.endpoint[e];
            if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK)
                continue;
            if (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN)
                o->inEndpoint = ep.bEndpointAddress;
            else
                o->outEndpoint = ep.bEndpointAddress;
        }
    }
    libusb_free_config_descriptor(config);
    return o->inEndpoint != 0 && o->outEndpoint != 0;
}

void purge(libusb_device_handle *h)
{
    control(h, req::vendorOut, req::vendorControl, req::vendorPurge, 0, nullptr, 0);
    control(h, req::interfaceOut, req::purge, req::purgeAll, 0, nullptr, 0);
}

} // namespace

namespace usbdev {

void configure(const usbx::UsbSettings &settings)
{
    Backend &b = backend();
    b.extraIds = settings.extraIds;
    if (settings.traceFile.empty()) {
        b.trace.reset();
        return;
    }
    const QString path = QString::fromStdString(settings.traceFile);
    if (b.trace && b.trace->fileName() == path)
        return;
    b.trace = std::make_unique<QFile>(path);
    if (!b.trace->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        b.trace.reset();
}

std::uint32_t count()
{
    Backend &b = backend();
    for (Device &d : b.devices)
        libusb_unref_device(d.device);
    b.devices.clear();
    b.problems.clear();
    libusb_context *ctx = context();
    if (!ctx)
        return 0;
    const std::vector<usbx::UsbId> ids = wantedIds();
    libusb_device **list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor desc;
        if (libusb_get_device_descriptor(list[i], &desc) != LIBUSB_SUCCESS)
            continue;
        const bool wanted = std::any_of(ids.begin(), ids.end(), [&](const usbx::UsbId &id) {
            return id.vendor == desc.idVendor && id.product == desc.idProduct;
        });
        if (!wanted)
            continue;
        Device d;
        d.device = libusb_ref_device(list[i]);
        d.id = {desc.idVendor, desc.idProduct};
        d.place = QStringLiteral("bus %1 device %2, %3")
                      .arg(libusb_get_bus_number(list[i]), 3, 10, QLatin1Char('0'))
                      .arg(libusb_get_device_address(list[i]), 3, 10, QLatin1Char('0'))
                      .arg(usbIdText(d.id))
                      .toStdString();
        b.devices.push_back(d);
    }
    if (n >= 0)
        libusb_free_device_list(list, 1);
    // Devices on the same bus in address order, so that the list keeps its order.
    std::sort(b.devices.begin(), b.devices.end(),
              [](const Device &x, const Device &y) { return x.place < y.place; });
    return std::uint32_t(b.devices.size());
}

std::string idsText()
{
    QStringList texts;
    for (const usbx::UsbId &id : wantedIds())
        if (!texts.contains(usbIdText(id)))
            texts << usbIdText(id);
    return texts.join(QStringLiteral(", ")).toStdString();
}

std::string unavailableReason()
{
    context();
    return backend().unavailable;
}

usbx::Status productString(std::uint32_t index, char *buffer, std::uint32_t length,
                           std::uint32_t flags)
{
    const Backend &b = backend();
    if (index >= b.devices.size() || !buffer || length == 0)
        return usbx::ErrorDevice;
    const Device &d = b.devices[index];
    std::string text = d.place;
    libusb_device_handle *h = nullptr;
    if (libusb_open(d.device, &h) == LIBUSB_SUCCESS) {
        libusb_device_descriptor desc;
        unsigned char s[256];
        if (libusb_get_device_descriptor(d.device, &desc) == LIBUSB_SUCCESS) {
            const std::uint8_t which = flags == 0 ? desc.iSerialNumber : desc.iProduct;
            const int n = which ? libusb_get_string_descriptor_ascii(h, which, s, sizeof s) : 0;
            if (n > 0)
                text.assign(reinterpret_cast<const char *>(s), size_t(n));
        }
        libusb_close(h);
    }
    const size_t n = std::min<size_t>(text.size(), length - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return usbx::Success;
}

void setTimeouts(std::uint32_t readMs, std::uint32_t writeMs)
{
    // libusb's 0 is "no limit"; the largest value means the same.
    backend().readTimeout = readMs == usbx::NoTimeout ? 0 : readMs;
    backend().writeTimeout = writeMs == usbx::NoTimeout ? 0 : writeMs;
}

usbx::Status open(std::uint32_t index, usbx::Handle *handle)
{
    Backend &b = backend();
    if (index >= b.devices.size())
        return usbx::ErrorDevice;
    const Device &d = b.devices[index];
    traceLine(QStringLiteral("open %1").arg(QString::fromStdString(d.place)));
    Open o;
    int r = libusb_open(d.device, &o.handle);
    if (r != LIBUSB_SUCCESS) {
        recordProblem(d, r);
        return usbx::ErrorDevice;
    }
    auto fail = [&](int error, usbx::OpenProblem::Kind kind) {
        recordProblem(d, error);
        if (kind != usbx::OpenProblem::Kind::Other)
            b.problems.back().kind = kind;
        libusb_close(o.handle);
        return usbx::ErrorDevice;
    };
    if (!findEndpoints(d.device, &o))
        return fail(LIBUSB_ERROR_NOT_FOUND, usbx::OpenProblem::Kind::Other);
    // The kernel's serial driver claims the default id: it lets go for the time we use it.
    if (libusb_kernel_driver_active(o.handle, 0) == 1) {
        r = libusb_detach_kernel_driver(o.handle, 0);
        if (r != LIBUSB_SUCCESS)
            return fail(r, usbx::OpenProblem::Kind::DriverBound);
        traceLine(QStringLiteral("kernel driver detached"));
    }
    r = libusb_claim_interface(o.handle, 0);
    if (r != LIBUSB_SUCCESS)
        return fail(r, r == LIBUSB_ERROR_ACCESS ? usbx::OpenProblem::Kind::AccessDenied
                                                : usbx::OpenProblem::Kind::Busy);
    libusb_clear_halt(o.handle, o.outEndpoint);
    libusb_clear_halt(o.handle, o.inEndpoint);
    // Without "device open" the bridge firmware never answers.
    control(o.handle, req::vendorOut, req::vendorControl, req::vendorOpen, 0, nullptr, 0);
    control(o.handle, req::interfaceOut, req::enable, 0x0001, 0, nullptr, 0);
    purge(o.handle);
    *handle = b.nextHandle++;
    b.opened.insert(*handle, o);
    return usbx::Success;
}

usbx::Status queryDevice(usbx::Handle handle, unsigned char *buffer)
{
    Open *o = find(handle);
    if (!o)
        return usbx::ErrorDevice;
    unsigned char part = 0;
    const int r =
        control(o->handle, req::vendorIn, req::partNumberRequest, req::partNumber, 0, &part, 1);
    o->part = r == 1 ? part : 0;
    if (buffer) {
        std::memset(buffer, 0, usbx::DeviceQuerySize);
        buffer[0] = o->part;
    }
    return usbx::Success;
}

usbx::Status setBaudRate(usbx::Handle handle, std::uint32_t baud)
{
    Open *o = find(handle);
    if (!o)
        return usbx::ErrorDevice;
    unsigned char data[4] = {std::uint8_t(baud), std::uint8_t(baud >> 8), std::uint8_t(baud >> 16),
                             std::uint8_t(baud >> 24)};
    const int r = control(o->handle, req::interfaceOut, req::setBaudRate, 0, 0, data, 4);
    // The firmware family has no baud rate of its own: its stall is normal.
    return r >= 0 || r == LIBUSB_ERROR_PIPE ? usbx::Success : usbx::ErrorDevice;
}

usbx::Status write(usbx::Handle handle, const void *data, std::uint32_t count,
                   std::uint32_t *written)
{
    if (written)
        *written = 0;
    Open *o = find(handle);
    if (!o)
        return usbx::ErrorDevice;
    int sent = 0;
    const int r =
        libusb_bulk_transfer(o->handle, o->outEndpoint,
                             const_cast<unsigned char *>(static_cast<const unsigned char *>(data)),
                             int(count), &sent, backend().writeTimeout);
    traceLine(
        QStringLiteral("bulk out %1, %2 of %3 bytes%4: %5")
            .arg(o->outEndpoint, 2, 16, QLatin1Char('0'))
            .arg(sent)
            .arg(count)
            .arg(r == LIBUSB_SUCCESS ? QString() : QStringLiteral(", ") + libusb_error_name(r))
            .arg(hex(static_cast<const unsigned char *>(data), sent)));
    if (written)
        *written = std::uint32_t(sent);
    return r == LIBUSB_SUCCESS && std::uint32_t(sent) == count ? usbx::Success : usbx::ErrorDevice;
}

usbx::Status read(usbx::Handle handle, void *buffer, std::uint32_t size, std::uint32_t *received)
{
    *received = 0;
    Open *o = find(handle);
    if (!o)
        return usbx::ErrorDevice;
    if (size == 0)
        return usbx::Success;
    if (o->pending.isEmpty()) {
        unsigned char in[inBufferSize];
        int got = 0;
        const int r = libusb_bulk_transfer(o->handle, o->inEndpoint, in, inBufferSize, &got,
                                           backend().readTimeout);
        if (got > 0 || r != LIBUSB_ERROR_TIMEOUT)
            traceLine(QStringLiteral("bulk in %1, %2 bytes%3: %4")
                          .arg(o->inEndpoint, 2, 16, QLatin1Char('0'))
                          .arg(got)
                          .arg(r == LIBUSB_SUCCESS ? QString()
                                                   : QStringLiteral(", ") + libusb_error_name(r))
                          .arg(hex(in, got)));
        else
            traceLine(QStringLiteral("bulk in %1: time-out, nothing")
                          .arg(o->inEndpoint, 2, 16, QLatin1Char('0')));
        // A time-out with or without bytes is a success; the bytes are kept.
        if (r != LIBUSB_SUCCESS && r != LIBUSB_ERROR_TIMEOUT)
            return usbx::ErrorDevice;
        o->pending.append(reinterpret_cast<const char *>(in), got);
    }
    const int n = std::min<int>(int(size), o->pending.size());
    std::memcpy(buffer, o->pending.constData(), size_t(n));
    o->pending.remove(0, n);
    *received = std::uint32_t(n);
    return usbx::Success;
}

usbx::Status close(usbx::Handle handle)
{
    Backend &b = backend();
    const auto it = b.opened.find(handle);
    if (it == b.opened.end())
        return usbx::ErrorDevice;
    libusb_device_handle *h = it->handle;
    b.opened.erase(it);
    control(h, req::vendorOut, req::vendorControl, req::vendorClose, 0, nullptr, 0);
    control(h, req::interfaceOut, req::enable, 0x0000, 0, nullptr, 0);
    libusb_release_interface(h, 0);
    libusb_attach_kernel_driver(h, 0); // where one was detached; harmless otherwise
    libusb_close(h);
    traceLine(QStringLiteral("closed"));
    return usbx::Success;
}

std::string place(std::uint32_t index)
{
    const Backend &b = backend();
    return index < b.devices.size() ? b.devices[index].place : std::string();
}

bool hotplugAvailable()
{
    Backend &b = backend();
    libusb_context *ctx = context();
    if (b.hotplugListening || !ctx || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
        return b.hotplugListening;
    const auto noted = [](libusb_context *, libusb_device *, libusb_hotplug_event, void *) {
        backend().plugged = true;
        return 0;
    };
    b.hotplugListening =
        libusb_hotplug_register_callback(ctx,
                                         libusb_hotplug_event(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                              LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                                         libusb_hotplug_flag(0), LIBUSB_HOTPLUG_MATCH_ANY,
                                         LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, noted,
                                         nullptr, nullptr) == LIBUSB_SUCCESS;
    return b.hotplugListening;
}

bool waitForPlug(int ms)
{
    Backend &b = backend();
    if (!hotplugAvailable())
        return false;
    b.plugged = false;
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    // One round of events: it ends at the time-out, at any event, or at a signal.
    libusb_handle_events_timeout_completed(b.context, &wait, nullptr);
    return b.plugged;
}

std::vector<usbx::OpenProblem> openProblems()
{
    return backend().problems;
}

} // namespace usbdev
