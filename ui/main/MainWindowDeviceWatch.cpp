// The main window's answer to tokens plugged in and pulled out while it runs: events of the product's tokens
// start a re-discovery that runs once a second until the tokens found agree with the arrivals seen.

#include "ui/main/MainWindow.h"

#include <QApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int ArrivalTicks = 5;
constexpr int RemovalTicks = 2;
// A token that has just arrived needs a moment before its driver answers.
constexpr int ArrivalSettleTime = 100;

} // namespace

bool MainWindow::isProductToken(int32_t productId) const {
    const auto used = m_productIds.ids.begin() + std::clamp(m_productIds.count, 0, ProductIdTable::Capacity);
    return std::find(m_productIds.ids.begin(), used, productId) != used;
}

void MainWindow::usbArrival(int32_t productId) {
    if (!m_state.TokenLibraryOpen || !isProductToken(productId))
        return;
    m_state.ArrivalBalance = std::max(m_state.ArrivalBalance, 0) + 1;
    m_state.DiscoveryTicksLeft = ArrivalTicks;
    QThread::msleep(ArrivalSettleTime);
    startDiscoveryTimer();
}

void MainWindow::usbRemoval(int32_t productId) {
    if (!m_state.TokenLibraryOpen || !isProductToken(productId))
        return;
    --m_state.ArrivalBalance;
    // When every token on record still answers, the device that went was not one of them.
    bool allPresent = m_state.KeyCount > 0;
    for (int32_t i = 0; i < m_state.KeyCount && allPresent; ++i)
        allPresent = m_tokenLibrary.token_get_info_ex(i, m_state.KeyTable[size_t(i)].info) == 0;
    if (allPresent)
        return;
    m_state.DiscoveryTicksLeft = RemovalTicks;
    startDiscoveryTimer();
}

// A further event resets the counters only: restarting the running timer would hold the discovery off for as
// long as events keep coming less than a second apart.
void MainWindow::startDiscoveryTimer() {
    if (!TFindUSBKey->isActive())
        TFindUSBKey->start();
}

void MainWindow::TFindUSBKeyTimer() {
    if (--m_state.DiscoveryTicksLeft <= 0) {
        TFindUSBKey->stop();
        return;
    }
    if (DiscoverKeys() != 0) {
        CloseImportDialog();
        return;
    }
    if (m_state.KeyCount >= m_state.ArrivalBalance) {
        TFindUSBKey->stop();
        TCheckInit->start();
    }
}

void MainWindow::CloseImportDialog() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String("TIMForm") && window->isVisible())
            window->close();
    }
}
