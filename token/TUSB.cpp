#include "token/TUSB.h"

#include "platform/UsbDeviceMonitor.h"
#include "shared/UsbEventFile.h"
#include "token/UsbEventFileReader.h"

#include <algorithm>
#include <exception>

static_assert(UsbDevice::UnknownId == vtoken::UnknownUsbId);

namespace {

QString interfacePath(const UsbDevice& device) {
    return QString::fromStdString(
        vtoken::usbInterfacePath(device.vendorId, device.productId, device.serial.toStdString()));
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

} // namespace

TUSB::TUSB(QObject* parent) : TUSB(QString::fromStdString(vtoken::usbEventFolder()), parent) {
    m_devices = std::make_unique<UsbDeviceMonitor>(
        [this](bool arrival, const UsbDevice& device) { deliver(arrival, interfacePath(device)); });
}

TUSB::TUSB(const QString& eventFolder, QObject* parent) : QObject(parent) {
    if (!eventFolder.isEmpty())
        m_virtualDevices = std::make_unique<UsbEventFileReader>(
            eventFolder, [this](bool arrival, const QString& path) { deliver(arrival, path); });
}

TUSB::~TUSB() = default;

int32_t TUSB::productIdFromPath(const QString& interfacePath) {
    const QString path = interfacePath.toUpper();
    const qsizetype at = path.indexOf(u"PID_");
    if (at < 0)
        return 0;
    const QStringView digits = QStringView(path).sliced(at + 4).left(4);
    if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), isHexDigit))
        return 0;
    return digits.toInt(nullptr, 16);
}

void TUSB::deliver(bool arrival, const QString& interfacePath) {
    m_pending.emplace_back(arrival, interfacePath);
    if (m_delivering)
        return;
    m_delivering = true;
    while (!m_pending.empty()) {
        const auto [isArrival, path] = std::move(m_pending.front());
        m_pending.pop_front();
        m_productId = productIdFromPath(path);
        // A copy: the handler may assign another one to its own event while it runs.
        const Handler handler = isArrival ? OnArrival : OnRemoval;
        if (!handler)
            continue;
        const char* event = isArrival ? "OnArrival" : "OnRemoval";
        try {
            handler(*this);
        } catch (const std::exception& error) {
            qWarning("USB device watch: %s failed for %s: %s", event, qUtf8Printable(path), error.what());
        } catch (...) {
            qWarning("USB device watch: %s failed for %s", event, qUtf8Printable(path));
        }
    }
    m_delivering = false;
}
