#include "platform/UsbDeviceMonitor.h"

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int RescanInterval = 3000;

QByteArray attribute(udev_device* device, const char* name) {
    return QByteArray(udev_device_get_sysattr_value(device, name));
}

UsbDevice describe(udev_device* device) {
    return UsbDeviceTable::describe(
        attribute(device, "idVendor"), attribute(device, "idProduct"), attribute(device, "serial"),
        QByteArray(udev_device_get_property_value(device, "PRODUCT")), QByteArray(udev_device_get_sysname(device)));
}

bool isUsbDevice(udev_device* device) {
    return qstrcmp(udev_device_get_subsystem(device), "usb") == 0 &&
           qstrcmp(udev_device_get_devtype(device), "usb_device") == 0;
}

} // namespace

UsbDeviceMonitor::UsbDeviceMonitor(Changed changed) : m_changed(std::move(changed)) {
    m_udev.reset(udev_new());
    if (!m_udev) {
        qWarning("USB device watch: no udev, USB devices are not watched");
        return;
    }
    // Listening starts before the enumeration, so a device plugged in between is not missed.
    m_monitor = openMonitor();
    m_table.replace(presentDevices());
    if (m_monitor) {
        m_notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_monitor.get()), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { receive(); });
        return;
    }
    qInfo("USB device watch: no udev events here, USB devices are enumerated every %d ms", RescanInterval);
    m_rescan.setInterval(RescanInterval);
    QObject::connect(&m_rescan, &QTimer::timeout, &m_rescan, [this] { rescan(); });
    m_rescan.start();
}

UsbDeviceMonitor::Monitor UsbDeviceMonitor::openMonitor() const {
    // libudev opens a "udev" monitor without udevd as well, but it never hears anything then.
    const bool udevd = ::access("/run/udev/control", F_OK) == 0;
    for (const char* group : {"udev", "kernel"}) {
        if (!udevd && qstrcmp(group, "udev") == 0)
            continue;
        Monitor monitor(udev_monitor_new_from_netlink(m_udev.get(), group));
        if (monitor && udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_device") >= 0 &&
            udev_monitor_enable_receiving(monitor.get()) >= 0 && udev_monitor_get_fd(monitor.get()) >= 0)
            return monitor;
    }
    return {};
}

std::map<QByteArray, UsbDevice> UsbDeviceMonitor::presentDevices() const {
    std::map<QByteArray, UsbDevice> devices;
    const Enumerate enumerate(udev_enumerate_new(m_udev.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "usb") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0)
        return devices;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const char* syspath = udev_list_entry_get_name(entry);
        const Device device(udev_device_new_from_syspath(m_udev.get(), syspath));
        if (device && isUsbDevice(device.get()))
            devices[QByteArray(syspath)] = describe(device.get());
    }
    return devices;
}

void UsbDeviceMonitor::receive() {
    // Off while the handlers run: one that runs a nested event loop (a dialog) must neither bring this back in
    // mid-way nor spin on a socket that stays readable. Whatever arrives meanwhile is read on the way out.
    m_notifier->setEnabled(false);
    while (const Device device{udev_monitor_receive_device(m_monitor.get())}) {
        if (!isUsbDevice(device.get()))
            continue; // the socket filter lets every message of the kernel group through
        const QByteArray syspath(udev_device_get_syspath(device.get()));
        const char* action = udev_device_get_action(device.get());
        if (qstrcmp(action, "add") == 0) {
            const UsbDevice arrived = describe(device.get());
            m_table.add(syspath, arrived);
            m_changed(true, arrived);
        } else if (qstrcmp(action, "remove") == 0) {
            m_changed(false, m_table.remove(syspath, describe(device.get())));
        }
    }
    // The socket overflowed and events were lost: what the devices are now says what they missed.
    const bool overflowed = errno == ENOBUFS;
    m_notifier->setEnabled(true);
    if (overflowed)
        rescan();
}

void UsbDeviceMonitor::rescan() {
    if (m_rescanning)
        return;
    m_rescanning = true;
    for (const UsbDeviceTable::Change& change : m_table.replace(presentDevices()))
        m_changed(change.arrival, change.device);
    m_rescanning = false;
}
