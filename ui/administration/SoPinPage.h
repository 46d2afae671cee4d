#pragma once

#include "ui/main/Page.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Page 8: change the SO PIN.
class SoPinPage : public Page {
    Q_OBJECT
public:
    SoPinPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    void updateActions() override;

private:
    void AcSetSOPINExecute();

    QGroupBox* const gbSOPIN;
    QLabel* const LAdmin_Old_SOPIN;
    QLineEdit* const edtSPIN;
    QLabel* const LAdmin_New_SOPIN1;
    QLineEdit* const edtNewSPIN1;
    QLabel* const LAdmin_new_SOPIN2;
    QLineEdit* const edtNewSPIN2;
    QPushButton* const btnSetSOPIN;
    QAction* const AcSetSOPIN;
};
