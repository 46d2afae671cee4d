#pragma once

#include "ui/main/Page.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

// Page 7: initialize a token from the template, in four tabs (basic information, SO PIN, user PIN, biometric
// settings).
class InitializationPage : public Page {
    Q_OBJECT
public:
    enum Tab { BaseTab = 0, SoPinTab = 1, UserPinTab = 2, BiometricTab = 3 };

    InitializationPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    // The administration's initialization node shows the page without the biometric settings.
    void hideBiometricTab();

private:
    QTabWidget* const tcInit;

    QLabel* const lblInit_KeyName;
    QLineEdit* const edtInit_KeyName;
    QLabel* const lblInit_GS;
    QLineEdit* const edtInit_GS;
    QLabel* const lblInit_UnLockPIN;
    QLineEdit* const edtInit_UnLockPIN;

    QLabel* const lblInit_SPIN;
    QLineEdit* const edtInit_SPIN;
    QLabel* const lblInit_SOPINlenMin;
    QSpinBox* const edtInit_SOPINlenMin;
    QLabel* const lblInit_SOPINlenMax;
    QSpinBox* const edtInit_SOPINlenMax;
    QLabel* const lblInit_MaxCount_SOPIN;
    QSpinBox* const edtInit_MaxCount_SOPIN;

    QLabel* const lblInit_UPIN;
    QLineEdit* const edtInit_UPIN;
    QLabel* const lblInit_PINlenMin;
    QSpinBox* const edtInit_PINlenMin;
    QLabel* const lblInit_PINLenMax;
    QSpinBox* const edtInit_PINLenMax;
    QLabel* const lblInit_MaxCount;
    QSpinBox* const edtInit_MaxCount;

    QLabel* const lblInit_SOPINTry;
    QSpinBox* const edtInit_SOPINTry;
    QLabel* const lblInit_SOPINLeve;
    QSpinBox* const edtInit_SOPINLeve;
    QLabel* const lblInit_UPINTry;
    QSpinBox* const edtInit_UPINTry;
    QLabel* const lblInit_UPINLeve;
    QSpinBox* const edtInit_UPINLeve;

    QPushButton* const btnInit;
    QAction* const AcInit;
};
