#pragma once

#include "ui/main/Page.h"

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// Page 13: the administrator logs in with the SO PIN or by finger.
class AdminLoginPage : public Page {
    Q_OBJECT
public:
    AdminLoginPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    // The navigation opens the page with the token's label.
    void Prepare(const QString& label);
    void updateActions() override;
    // The finger login needs an enrolled finger of the administrator.
    void enableFingerLogin(bool enabled);
    // How the administrator's finger is verified: the biometric page's verification, 0 when verified.
    void setFingerVerification(std::function<int32_t()> verification) { m_verifyFinger = std::move(verification); }

private:
    void AcFinger_SOPIN_LoginExecute();
    void AcFinger_SOPINFinger_LoginExecute();
    // After an administrator's login: the token's user is logged out, the selection goes on.
    void administratorLoggedIn();

    QLabel* const Label12;
    QLabel* const LFingerKeyName;
    QLabel* const lblSOPIN;
    QLineEdit* const edtFingerSPIN;
    QPushButton* const btnSOPINLogin;
    QPushButton* const btnFingerLoginCancel;
    QPushButton* const btnSOPINFingerLogin;
    QAction* const AcFinger_SOPIN_Login;
    QAction* const AcFingerLoginCancel;
    QAction* const AcFinger_SOPINFinger_Login;
    std::function<int32_t()> m_verifyFinger;
};
