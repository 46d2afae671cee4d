#pragma once

#include <QString>

// One USB device as the device watch reports its arrival or removal.
struct UsbDevice {
    static constexpr int UnknownId = -1;

    int vendorId = UnknownId;
    int productId = UnknownId;
    // The serial number; the kernel's name of the device ("1-1.2") for a device without one.
    QString serial;

    bool operator==(const UsbDevice&) const = default;
};
