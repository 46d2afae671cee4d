#pragma once

#include "platform/UsbDevice.h"

#include <QByteArray>

#include <map>
#include <vector>

// The USB devices the watch knows, by sysfs path. A removal can no longer be asked for its ids (its sysfs attributes
// are gone by then), so each arrival is remembered until its removal. No udev here: the rules are testable alone.
class UsbDeviceTable {
public:
    struct Change {
        bool arrival;
        UsbDevice device;
        bool operator==(const Change&) const = default;
    };

    // A device from what udev says of it: the ids from the idVendor and idProduct attributes, else from the event's
    // PRODUCT= ("vid/pid/bcd", lower-case hexadecimal without leading zeros), else unknown; the serial attribute,
    // else the kernel's name of the device. Every argument may be empty.
    static UsbDevice describe(const QByteArray& idVendor, const QByteArray& idProduct, const QByteArray& serial,
                              const QByteArray& product, const QByteArray& sysname);

    void add(const QByteArray& syspath, const UsbDevice& device);
    // The device remembered under syspath, now forgotten; described when the arrival was never seen.
    UsbDevice remove(const QByteArray& syspath, const UsbDevice& described);
    // Makes the table hold present, the devices an enumeration found, and returns what changed: the removals, then the
    // arrivals, each in the order of their sysfs paths. A path that now holds another device is both.
    std::vector<Change> replace(const std::map<QByteArray, UsbDevice>& present);

private:
    std::map<QByteArray, UsbDevice> m_devices;
};
