#pragma once

#include "platform/UsbDevice.h"
#include "platform/UsbDeviceTable.h"

#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <libudev.h>
#include <memory>

// The arrivals and removals of USB devices (udev subsystem "usb", devtype "usb_device"), reported on the thread that
// made the monitor, which must run an event loop. Events come from udev's netlink group, or from the kernel's when
// udevd is not running; where neither can be opened (a container without netlink) the devices are enumerated again
// every few seconds and compared. Without udev at all nothing is reported. The devices present at start are only
// remembered, not reported.
class UsbDeviceMonitor {
public:
    using Changed = std::function<void(bool arrival, const UsbDevice& device)>;

    explicit UsbDeviceMonitor(Changed changed);

private:
    template <auto Release> struct Releaser {
        template <typename Handle> void operator()(Handle* handle) const { Release(handle); }
    };
    using Udev = std::unique_ptr<udev, Releaser<udev_unref>>;
    using Monitor = std::unique_ptr<udev_monitor, Releaser<udev_monitor_unref>>;
    using Device = std::unique_ptr<udev_device, Releaser<udev_device_unref>>;
    using Enumerate = std::unique_ptr<udev_enumerate, Releaser<udev_enumerate_unref>>;

    Monitor openMonitor() const;
    std::map<QByteArray, UsbDevice> presentDevices() const;
    void receive();
    void rescan();

    Changed m_changed;
    UsbDeviceTable m_table;
    Udev m_udev;
    Monitor m_monitor;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_rescan;
    // A handler that runs a nested event loop must not bring the comparison back in mid-way.
    bool m_rescanning = false;
};
