#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>

class UsbDeviceMonitor;
class UsbEventFileReader;

// The main window's watch on USB tokens coming and going. Each arrival or removal of a USB device becomes a device
// interface path (\\?\USB#VID_xxxx&PID_xxxx#<serial>#{A5DCBF10-...}); ProductId is read from that path as the window
// has always read it, and then OnArrival or OnRemoval runs on the GUI thread. Two sources feed it: the kernel's USB
// devices through udev, and the virtual token's plug and unplug commands through its event file.
//
// Handlers never run inside one another: an event that comes while a handler runs a nested event loop waits until
// the handler has returned, so ProductId holds still for the whole of a handler.
class TUSB : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(TUSB& sender)>;

    // The program's watch: USB devices, and the virtual token's events from its usual folder ($VTOKEN_HOME, else
    // ~/.local/share/vtoken).
    explicit TUSB(QObject* parent = nullptr);
    // Only the virtual token's events, from the event file in eventFolder: for tests, which plug no real devices.
    explicit TUSB(const QString& eventFolder, QObject* parent = nullptr);
    ~TUSB() override;

    // The product id in the interface path of the last arrival or removal; 0 when the path holds none.
    int32_t ProductId() const { return m_productId; }

    // Called after each arrival and each completed removal, when assigned. An exception a handler throws is logged
    // and the watch goes on.
    Handler OnArrival;
    Handler OnRemoval;

    // The product id in an interface path: after the first "PID_" in any case, exactly four hexadecimal digits;
    // 0 when there is no "PID_" or what follows it is not four hexadecimal digits.
    static int32_t productIdFromPath(const QString& interfacePath);

private:
    void deliver(bool arrival, const QString& interfacePath);

    int32_t m_productId = 0;
    std::deque<std::pair<bool, QString>> m_pending;
    bool m_delivering = false;
    std::unique_ptr<UsbDeviceMonitor> m_devices;
    std::unique_ptr<UsbEventFileReader> m_virtualDevices;
};
