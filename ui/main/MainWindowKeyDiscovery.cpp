// The main window's search for tokens: the opening of the token library at first show, the key discovery that
// fills the key table and rebuilds the tree under root 0, the biometric sensor check, and the warning about
// tokens that were never initialized.

#include "ui/main/MainWindow.h"

#include "app/LanguageTable.h"
#include "platform/LibraryLocation.h"
#include "ui/main/CertificatePage.h"
#include "ui/main/DialogService.h"
#include "ui/main/KeyInfoPage.h"
#include "ui/main/LoginPage.h"
#include "ui/main/NavigationTree.h"

#include <QShowEvent>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// Before the token library is opened the window shows itself, so the user sees the program start.
constexpr int OpeningDelay = 300;
// Gives the token's SKF side time to come up after its PKCS#11 side answered.
constexpr int SensorSettleTime = 500;

} // namespace

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shown || event->spontaneous())
        return;
    m_shown = true;
    QTimer::singleShot(OpeningDelay, this, &MainWindow::openTokenLibrary);
}

void MainWindow::openTokenLibrary() {
    const QString module = LibraryLocation(m_programDirectory, m_appInfo.PKCS11Lib);
    const int32_t rv =
        m_tokenLibrary.OpenTokenLibrary(module, m_appInfo.USBEnumString, m_appInfo.OEMID, m_appInfo.APPName);
    m_state.TokenLibraryOpen = rv == 0;
    if (m_state.TokenLibraryOpen) {
        DiscoverKeys();
    } else {
        // The box says only that it failed; whoever looks further learns which file and why.
        const QString cause = m_tokenLibrary.OpeningFailure(module, rv);
        std::fprintf(stderr, "vx7100-mgr: %s\n", cause.toLocal8Bit().constData());
        m_tokenLibrary.WriteOperationLog(cause);
        TCloseProject->start();
    }
    TCheckInit->start();
}

int32_t MainWindow::DiscoverKeys() {
    for (KeySlot& slot : m_state.KeyTable)
        slot.KeyState = KeySlot::NoToken;
    std::for_each_n(m_state.KeyTable.begin(), WindowState::DiscoverableTokens,
                    [](KeySlot& slot) { slot.info = TTokenInfo(); });
    // A discovery logs every token out.
    m_state.LastUserPin.clear();
    keyInfoPage->clear();
    certificatePage->UpdateCertActions();
    QTreeWidgetItem* root = tvUSBKey->keyList();
    tvUSBKey->removeTokens();

    m_tokensRead = 0;
    int32_t rv = m_tokenLibrary.FindAndConnectTokens(m_state.KeyCount);
    // The table has room for the 32 tokens the library is asked for, whatever a library answers.
    m_state.KeyCount = std::clamp(m_state.KeyCount, 0, int32_t(WindowState::DiscoverableTokens));
    if (rv != 0) {
        tvUSBKey->addKeyInfoError();
        NavigationTree::expandWithDescendants(root);
        selectRoot();
        ShowPage(KeyInfo);
        return rv;
    }
    for (; m_tokensRead < m_state.KeyCount; ++m_tokensRead) {
        rv = m_tokenLibrary.token_get_info_ex(m_tokensRead, m_state.KeyTable[size_t(m_tokensRead)].info);
        if (rv != 0) {
            tvUSBKey->addKeyInfoError();
            return rv;
        }
    }

    detectBiometricSensor();

    for (int32_t i = 0; i < m_state.KeyCount; ++i) {
        tvUSBKey->addTokenNode(m_state.KeyTable[size_t(i)].info.labelText().trimmed(), m_state.FingerKey,
                               m_state.FingerVeinKey);
        NavigationTree::expandWithDescendants(root);
        NavigationTree::expandWithDescendants(root->child(0));
    }
    selectRoot();
    m_state.CurrentKey = 0;
    for (int32_t i = 0; i < m_state.KeyCount; ++i)
        m_state.KeyTable[size_t(i)].KeyState = KeySlot::Present;
    ShowKeyInfo(0);
    ShowPage(KeyInfo);
    return 0;
}

void MainWindow::detectBiometricSensor() {
    m_state.FingerKey = false;
    m_state.FingerVeinKey = false;
    loginPage->offerFingerLogon(false);
    QThread::msleep(SensorSettleTime);
    // Without an SKF device, or without the library, the token has no sensor, and the pictures and the wording
    // stay as they were.
    if (m_skfLibrary.SkfDiscover() != 0)
        return;
    // A type that cannot be read means no sensor: a failure code is no device type.
    SKF_ULONG type = ZKF_DEVICE_NO_SENSOR;
    m_skfLibrary.ZKF_GetDeviceCaps(0, type);
    if (!hasBiometricSensor(type))
        return;
    m_state.FingerKey = true;
    loginPage->offerFingerLogon(true);
    loadBiometricPictures(QStringLiteral("res/Finger/"));
    LanguageTable::instance().SwitchBiometricWording(LanguageTable::FingerprintWording);
    ApplyTexts();
    hideWhatF7xLacks();
    m_state.LoginRole = WindowState::UserRole;
    if (type != ZKF_DEVICE_FINGER_VEIN)
        return;
    m_state.FingerVeinKey = true;
    loadBiometricPictures(QStringLiteral("res/FingerVein/"));
    LanguageTable::instance().SwitchBiometricWording(LanguageTable::FingerVeinWording);
    ApplyTexts();
}

void MainWindow::ShowKeyInfo(int32_t index) {
    keyInfoPage->ShowKeyInfo(index);
}

void MainWindow::CheckInitSoon() {
    TCheckInit->start();
}

// A selection of the node that is selected already emits nothing, and the window state would stay the previous
// node's: the handler runs all the same.
void MainWindow::selectRoot() {
    QTreeWidgetItem* root = tvUSBKey->keyList();
    if (tvUSBKey->currentItem() == root)
        tvUSBKeyChange(root);
    else
        tvUSBKey->setCurrentItem(root);
}

// Only the tokens that the last discovery read: the records of the others were cleared, not read.
void MainWindow::TCheckInitTimer() {
    TCheckInit->stop();
    for (int32_t i = 0; i < m_tokensRead; ++i) {
        if (m_state.KeyTable[size_t(i)].info.initialized == 0) {
            DialogService::information(this, textOf(TextKey::Init_Info));
            return;
        }
    }
}
