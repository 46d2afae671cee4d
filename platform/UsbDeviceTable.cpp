#include "platform/UsbDeviceTable.h"

#include <QList>

#include <cctype>

namespace {

// One to four hexadecimal digits, as the kernel writes USB ids; anything else is no id.
int hexId(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 4)
        return UsbDevice::UnknownId;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return UsbDevice::UnknownId;
    return text.toInt(nullptr, 16);
}

} // namespace

UsbDevice UsbDeviceTable::describe(const QByteArray& idVendor, const QByteArray& idProduct, const QByteArray& serial,
                                   const QByteArray& product, const QByteArray& sysname) {
    UsbDevice device;
    device.vendorId = hexId(idVendor);
    device.productId = hexId(idProduct);
    if (device.vendorId == UsbDevice::UnknownId || device.productId == UsbDevice::UnknownId) {
        const QList<QByteArray> parts = product.split('/');
        const bool complete =
            parts.size() == 3 && hexId(parts[0]) != UsbDevice::UnknownId && hexId(parts[1]) != UsbDevice::UnknownId;
        device.vendorId = complete ? hexId(parts[0]) : UsbDevice::UnknownId;
        device.productId = complete ? hexId(parts[1]) : UsbDevice::UnknownId;
    }
    device.serial = QString::fromUtf8(serial.isEmpty() ? sysname : serial);
    return device;
}

void UsbDeviceTable::add(const QByteArray& syspath, const UsbDevice& device) {
    m_devices[syspath] = device;
}

UsbDevice UsbDeviceTable::remove(const QByteArray& syspath, const UsbDevice& described) {
    const auto known = m_devices.find(syspath);
    if (known == m_devices.end())
        return described;
    const UsbDevice device = known->second;
    m_devices.erase(known);
    return device;
}

std::vector<UsbDeviceTable::Change> UsbDeviceTable::replace(const std::map<QByteArray, UsbDevice>& present) {
    std::vector<Change> changes;
    for (const auto& [syspath, device] : m_devices)
        if (const auto now = present.find(syspath); now == present.end() || now->second != device)
            changes.push_back({false, device});
    for (const auto& [syspath, device] : present)
        if (const auto before = m_devices.find(syspath); before == m_devices.end() || before->second != device)
            changes.push_back({true, device});
    m_devices = present;
    return changes;
}
