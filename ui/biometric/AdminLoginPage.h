#pragma once

#include "ui/main/Page.h"

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

private:
    void AcFinger_SOPIN_LoginExecute();

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
};
