// The user's login with the user PIN, the cancel that empties the PIN box, and the logout on the certificate page.

#include "ui/main/MainWindow.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/TextEncoding.h"
#include "ui/main/BusyCursor.h"
#include "ui/main/CertificatePage.h"
#include "ui/main/DialogService.h"
#include "ui/main/LoginPage.h"

#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include <string.h>

namespace {

constexpr int32_t UserPin = 1;
constexpr int LockedFlag = 4;

} // namespace

bool MainWindow::refusedAsLocked(int32_t index) {
    int32_t pinState[6] = {};
    m_tokenLibrary.token_get_pin_state(index, UserPin, pinState);
    if (pinState[LockedFlag] != 1)
        return false;
    DialogService::information(this, textOf(TextKey::K_Dead));
    return true;
}

bool MainWindow::refusedUserPin(int32_t index) {
    if (state.slot(index).info.initialized == 0) {
        DialogService::information(this, textOf(TextKey::Init_Info));
        return true;
    }
    return refusedAsLocked(index);
}

void MainWindow::updateLoginAction() {
    actions.AcLogin->setEnabled(loginPage->edtUPIN->text().size() >= state.currentSlot().info.minPinLength);
}

void MainWindow::AcLoginExecute() {
    const int32_t index = state.CurrentKey;
    KeySlot& slot = state.currentSlot();
    if (refusedUserPin(index))
        return;
    // A login always starts from nobody logged in, so a failed one leaves the token logged out.
    m_tokenLibrary.token_logout(index);
    slot.KeyState = KeySlot::Present;
    const QString pin = loginPage->edtUPIN->text();
    int32_t remaining = 0;
    if (m_tokenLibrary.token_login(index, pin, remaining) != 0) {
        DialogService::information(this, remaining != 0 ? textOf(TextKey::K_PIN_Error) + u'\r' +
                                                              Format(textOf(TextKey::K_Try_Time), {remaining})
                                                        : textOf(TextKey::K_Dead));
        return;
    }
    QByteArray bytes = TextEncoding::toLocal8(pin);
    m_lastUserPin.assign(bytes);
    explicit_bzero(bytes.data(), size_t(bytes.size()));
    // Nobody at the desk may log back in with Enter once the user has logged out.
    loginPage->edtUPIN->clear();

    const BusyCursor busy;
    m_tokenLibrary.token_reload_all_objects(index);
    slot.KeyState = KeySlot::LoggedIn;
    state.LoginRole = WindowState::UserRole;
    ShowPage(Certificates);
    BuildCertTree(index);
    UpdateCertActions();
    // The keyboard goes on in the tree the login opened.
    certificatePage->tvCert->setFocus();
    if (state.FingerKey) {
        // The SKF side of a biometric token wants the same PIN before fingers can be enrolled; its answer is not
        // looked at, as the enrolment reports a missing login itself.
        SKF_ULONG retries = 0;
        m_skfLibrary.SKF_VerifyPIN(m_skfLibrary.CurrentApplication(), m_skfLibrary.FingerPinType(),
                                   TextEncoding::fromLocal8(QByteArray(m_lastUserPin.data())), retries);
    }
}

void MainWindow::AclogoutExecute() {
    m_tokenLibrary.token_logout(state.CurrentKey);
    if (state.FingerKey)
        m_skfLibrary.SKF_ClearSecureState(m_skfLibrary.CurrentApplication());
    m_lastUserPin.clear();
    state.currentSlot().KeyState = KeySlot::Present;
    ShowPage(Login);
}

void MainWindow::TSetFocusUPINTimer() {
    TSetFocusUPIN->stop();
    loginPage->edtUPIN->setFocus();
}
