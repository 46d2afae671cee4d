#pragma once

#include "ui/main/Page.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Page 9: reset a blocked user PIN with the SO PIN.
class UnlockPage : public Page {
    Q_OBJECT
public:
    UnlockPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    void updateActions() override;

private:
    void AcUnlockExecute();

    QGroupBox* const gbUnlock;
    QLabel* const LAdmin_SOPIN;
    QLineEdit* const edtSPINForUnLock;
    QLabel* const LAdmin_New_UPIN1;
    QLineEdit* const edtUPINForUnlock1;
    QLabel* const LAdmin_New_UPIN2;
    QLineEdit* const edtUPINForUnlock2;
    QPushButton* const btnUnlock;
    QAction* const AcUnlock;
};
