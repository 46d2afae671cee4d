#pragma once

#include "ui/main/Page.h"

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// Page 3: the user logs in with the user PIN before the certificates are shown; the logout that leads back here.
class LoginPage : public Page {
    Q_OBJECT
public:
    LoginPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    void updateActions() override;

    // The navigation opens the page for the selected token: its label, an empty PIN box (a PIN typed for another
    // token is not offered to this one), and the keyboard in that box shortly.
    void Prepare(const QString& label);
    // The keyboard is not moved into the PIN box after all: the selection moved on.
    void cancelPinFocus();
    // Whether the login by finger is offered.
    void offerFingerLogon(bool offered);
    // The finger login needs an enrolled finger of the user.
    void enableFingerLogon(bool enabled);
    // How the finger login verifies the user's finger: the biometric page's verification, 0 when verified.
    void setFingerVerification(std::function<int32_t()> verification) { m_verifyFinger = std::move(verification); }
    // The logout, whose button sits on the certificate page.
    QAction* logoutAction() const { return Aclogout; }

protected:
    // The PIN box is yellow while it has the focus, and its text is never selected on entry.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPinLength();
    void AcLoginExecute();
    void AcFingerlogonExecute();
    void AclogoutExecute();
    void TSetFocusUPINTimer();

    QLabel* const Label14;
    QLabel* const Lkeyname;
    QLabel* const RzLabel1;
    QLineEdit* const edtUPIN;
    QLabel* const Label10;
    QPushButton* const btnlogon;
    QPushButton* const RzButton3;
    QPushButton* const Button20;
    QAction* const AcLogin;
    QAction* const AcCancel;
    QAction* const AcFingerlogon;
    QAction* const Aclogout;
    QTimer* const TSetFocusUPIN;
    std::function<int32_t()> m_verifyFinger;
};
