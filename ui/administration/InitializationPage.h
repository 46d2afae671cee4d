#pragma once

#include "app/InitTemplate.h"
#include "app/UserConfig.h"
#include "ui/main/Page.h"

class Pin;
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
    // Fills the page from the template beside the program, when it can be read; otherwise the page stays as it is.
    void ShowInitTemplate();

private:
    // The initialization (TokenInitialization.cpp).
    void AcInitExecute();
    // The template the page holds now, as an initialization takes it.
    TTokenBaseInfo collectTemplate() const;
    // False, once the user has been told and the field has the keyboard, when a text does not fit its field of the
    // format block.
    bool fitsItsField(QLineEdit* field, qsizetype bytes, qsizetype room);
    // The current SO PIN, asked for and proved before an initialized token is formatted; false to stop.
    bool provedSoPin(int32_t index, Pin& soPin);
    QString templatePath(ProgramFileUse use) const;

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
