// Pagers on an emulated USB bus for the libusb backend's tests (umockdev).
//
// Each device is the emulator's USB bridge (usbbridge.h) with its pager,
// added to a umockdev test bed from the bridge's descriptors; one ioctl
// handler hands its usbdevfs requests to the bridge (control requests, bulk
// OUT and IN) and plays the kernel's part (a driver bound to the interface,
// claims, waiting and cancelled reads). Every setup packet is recorded.
// The handler runs on umockdev's own thread; a program started meanwhile
// (the command-line tool) reaches the same devices. Only under
// umockdev-wrapper: available() tells.
#pragma once

// glib names a field "signals", a word Qt takes for itself: glib comes first.
#include <umockdev.h>

#include "devicefloat.h"
#include "historygen.h"
#include "pagerlink.h"
#include "pagerstate.h"
#include "usbbridge.h"

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <deque>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <map>
#include <memory>

class UsbPagerBed
{
public:
    using Family = UsbBridge::Family;

    struct Device
    {
        QByteArray node; // "/dev/bus/usb/001/002"
        QByteArray serial;
        QByteArray driver;        // the kernel driver bound to interface 0 ("" none)
        bool driverLetsGo = true; // detaching it succeeds
        std::unique_ptr<UsbBridge> bridge;
        // What arrived: "40 02 0002 0000 0000" (+ " " data hex for OUT), " stall".
        QStringList setups;
        int bulkInSubmits = 0;
    };

    // Under umockdev-wrapper (its preload library is loaded).
    static bool available() { return qgetenv("LD_PRELOAD").contains("libumockdev-preload"); }

    // The end of the generated history, as the emulator's --history-end.
    static QDateTime historyEnd() { return QDateTime(QDate(2026, 1, 1), QTime(0, 0)); }

    UsbPagerBed() : testbed(umockdev_testbed_new()), handler(umockdev_ioctl_base_new())
    {
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(&UsbPagerBed::onIoctl), this);
    }
    ~UsbPagerBed()
    {
        g_object_unref(handler);
        g_object_unref(testbed);
        for (auto *list : {&completed, &waitingIn})
            for (Urb &urb : *list) {
                g_object_unref(urb.buffer);
                g_object_unref(urb.urb);
            }
    }

    // Adds a device at bus 1, address `address`, playing a pager with the
    // emulator's defaults. Before the backend's first device count. A device
    // not `answering` is a plain file in the bed, whose mode a test may take away.
    Device &add(int address, std::uint16_t vendor, std::uint16_t product, Family family,
                std::uint8_t outEndpoint, const QByteArray &serial, bool answering = true)
    {
        auto d = std::make_unique<Device>();
        d->node =
            QByteArray("/dev/bus/usb/001/") + QByteArray::number(address).rightJustified(3, '0');
        d->serial = serial;
        PagerProfile profile;
        profile.serial = serial;
        HistoryParameters history;
        history.endMinute = std::uint32_t(deviceEpoch().secsTo(historyEnd()) / 60);
        const QDateTime epoch = deviceEpoch();
        d->bridge = std::make_unique<UsbBridge>(
            UsbBridge::Identity{vendor, product, family, outEndpoint, serial},
            std::make_unique<PagerState>(profile, generateHistory(history), [epoch] {
                return epoch.secsTo(QDateTime::currentDateTime()) / 60;
            }));
        if (answering)
            umockdev_testbed_attach_ioctl(testbed, d->node.constData(), handler, nullptr);
        const QByteArray sys = QByteArray("/devices/usb1/1-") + QByteArray::number(address);
        const QByteArray descriptors = d->bridge->descriptors().toHex();
        const QByteArray record =
            "P: " + sys + "\nN: " + d->node.mid(5) +
            "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=" + d->node +
            "\nE: BUSNUM=001\nE: DEVNUM=" + d->node.right(3) +
            "\nA: busnum=1\\n\nA: devnum=" + QByteArray::number(address) +
            "\\n\nA: speed=12\\n\nA: bConfigurationValue=1\\n\nH: "
            "descriptors=" +
            descriptors + "\n";
        umockdev_testbed_add_from_string(testbed, record.constData(), nullptr);
        Device &ref = *d;
        devices[d->node] = std::move(d);
        return ref;
    }

    Device &device(const QByteArray &node) { return *devices.at(node); }
    // What the device was sent since the last call, vendor and class requests only.
    QStringList takeSetups(const QByteArray &node)
    {
        QMutexLocker lock(&mutex);
        QStringList s;
        for (const QString &setup : device(node).setups)
            if (!setup.startsWith(QLatin1String("80 ")))
                s << setup;
        device(node).setups.clear();
        return s;
    }
    void setSilent(const QByteArray &node, bool silent)
    {
        QMutexLocker lock(&mutex);
        device(node).bridge->setSilent(silent);
    }
    int bulkInSubmits(const QByteArray &node)
    {
        QMutexLocker lock(&mutex);
        return device(node).bulkInSubmits;
    }
    // The path of a device file in the bed (to take its access away).
    QString file(const QByteArray &node) const { return root() + QString::fromUtf8(node); }
    QString root() const
    {
        gchar *root = umockdev_testbed_get_root_dir(testbed);
        const QString path = QString::fromUtf8(root);
        g_free(root);
        return path;
    }

private:
    struct Urb
    {
        UMockdevIoctlData *urb = nullptr; // the usbdevfs_urb, its buffer resolved as child
        UMockdevIoctlData *buffer = nullptr;
        QByteArray node;
        int status = 0;
        int actual = 0;
    };

    // Fills a waiting bulk IN transfer from the bridge: false while it has
    // nothing to hand out.
    static bool fillIn(Device &d, Urb &urb)
    {
        QByteArray data;
        if (!d.bridge->bulkIn(int(urb.buffer->data_len), &data))
            return false;
        std::memcpy(urb.buffer->data, data.constData(), size_t(data.size()));
        urb.actual = data.size();
        return true;
    }

    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        return static_cast<UsbPagerBed *>(self)->handle(client);
    }

    gboolean handle(UMockdevIoctlClient *client)
    {
        QMutexLocker lock(&mutex);
        const QByteArray node = umockdev_ioctl_client_get_devnode(client);
        auto found = devices.find(node);
        if (found == devices.end())
            return FALSE;
        Device &d = *found->second;
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        switch (umockdev_ioctl_client_get_request(client)) {
        case USBDEVFS_GETDRIVER: {
            if (d.driver.isEmpty()) {
                umockdev_ioctl_client_complete(client, -1, ENODATA);
                return TRUE;
            }
            UMockdevIoctlData *data =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
            auto *g = reinterpret_cast<usbdevfs_getdriver *>(data->data);
            std::memset(g->driver, 0, sizeof g->driver);
            std::memcpy(g->driver, d.driver.constData(), size_t(d.driver.size()));
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(data);
            return TRUE;
        }
        case USBDEVFS_IOCTL: {
            UMockdevIoctlData *data =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
            const int code = reinterpret_cast<const usbdevfs_ioctl *>(data->data)->ioctl_code;
            g_object_unref(data);
            if (code == int(USBDEVFS_DISCONNECT)) {
                if (!d.driver.isEmpty() && !d.driverLetsGo) {
                    umockdev_ioctl_client_complete(client, -1, EPERM);
                    return TRUE;
                }
                d.driver.clear();
            }
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE:
            if (!d.driver.isEmpty()) {
                umockdev_ioctl_client_complete(client, -1, EBUSY);
                return TRUE;
            }
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_CLEAR_HALT:
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SUBMITURB: {
            Urb urb;
            urb.node = node;
            urb.urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
            const auto *u = reinterpret_cast<const usbdevfs_urb *>(urb.urb->data);
            urb.buffer = umockdev_ioctl_data_resolve(urb.urb, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                                     gsize(u->buffer_length), nullptr);
            if (u->type == USBDEVFS_URB_TYPE_CONTROL) {
                const unsigned char *setup = urb.buffer->data;
                const int length = setup[6] | setup[7] << 8;
                QString text = QString::fromLatin1(
                    QByteArray(reinterpret_cast<const char *>(setup), 2).toHex(' '));
                text += QStringLiteral(" %1 %2 %3")
                            .arg(setup[2] | setup[3] << 8, 4, 16, QLatin1Char('0'))
                            .arg(setup[4] | setup[5] << 8, 4, 16, QLatin1Char('0'))
                            .arg(length, 4, 16, QLatin1Char('0'));
                if (!(setup[0] & 0x80) && length > 0)
                    text +=
                        QLatin1Char(' ') +
                        QString::fromLatin1(
                            QByteArray(reinterpret_cast<const char *>(setup) + 8, length).toHex());
                QByteArray in;
                if (d.bridge->control(setup, &in)) {
                    const int n = qMin(in.size(), length);
                    std::memcpy(urb.buffer->data + 8, in.constData(), size_t(n));
                    urb.actual = (setup[0] & 0x80) ? n : length;
                } else {
                    urb.status = -EPIPE;
                    text += QStringLiteral(" stall");
                }
                d.setups << text;
                completed.push_back(urb);
            } else if (u->endpoint == d.bridge->identity().outEndpoint) {
                d.bridge->bulkOut(
                    QByteArray(reinterpret_cast<const char *>(urb.buffer->data), u->buffer_length));
                urb.actual = u->buffer_length;
                completed.push_back(urb);
                // A read already waiting gets the reply.
                for (auto it = waitingIn.begin(); it != waitingIn.end(); ++it)
                    if (it->node == node && fillIn(d, *it)) {
                        completed.push_back(*it);
                        waitingIn.erase(it);
                        break;
                    }
            } else if (u->endpoint == d.bridge->inEndpoint()) {
                ++d.bulkInSubmits;
                if (fillIn(d, urb))
                    completed.push_back(urb);
                else
                    waitingIn.push_back(urb);
            } else {
                g_object_unref(urb.buffer);
                g_object_unref(urb.urb);
                umockdev_ioctl_client_complete(client, -1, ENOENT);
                return TRUE;
            }
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_DISCARDURB: {
            // A time-out: the waiting read comes back empty, as cancelled.
            gulong address = 0;
            std::memcpy(&address, arg->data, sizeof address);
            for (auto it = waitingIn.begin(); it != waitingIn.end(); ++it)
                if (it->urb->client_addr == address) {
                    it->status = -ENOENT;
                    completed.push_back(*it);
                    waitingIn.erase(it);
                    umockdev_ioctl_client_complete(client, 0, 0);
                    return TRUE;
                }
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: {
            for (auto it = completed.begin(); it != completed.end(); ++it) {
                if (it->node != node)
                    continue;
                Urb urb = *it;
                completed.erase(it);
                auto *u = reinterpret_cast<usbdevfs_urb *>(urb.urb->data);
                u->status = urb.status;
                u->actual_length = urb.actual;
                UMockdevIoctlData *pointer =
                    umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
                umockdev_ioctl_data_set_ptr(pointer, 0, urb.urb);
                umockdev_ioctl_client_complete(client, 0, 0);
                g_object_unref(pointer);
                g_object_unref(urb.buffer);
                g_object_unref(urb.urb);
                return TRUE;
            }
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
            return TRUE;
        }
        default:
            return FALSE;
        }
    }

    UMockdevTestbed *testbed;
    UMockdevIoctlBase *handler;
    QMutex mutex;
    std::map<QByteArray, std::unique_ptr<Device>> devices;
    std::deque<Urb> completed;
    std::deque<Urb> waitingIn;
};
