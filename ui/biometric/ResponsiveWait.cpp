#include "ui/biometric/ResponsiveWait.h"

#include <QCoreApplication>
#include <QThread>

namespace {

std::function<void(int)>& replacement() {
    static std::function<void(int)> wait;
    return wait;
}

} // namespace

void ResponsiveWait::wait(int milliseconds) {
    if (replacement()) {
        replacement()(milliseconds);
        return;
    }
    for (int i = 0; i < milliseconds / 10; ++i) {
        QThread::msleep(10);
        QCoreApplication::processEvents();
    }
}

void ResponsiveWait::setForTests(std::function<void(int)> wait) {
    replacement() = std::move(wait);
}
