#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Page 9: reset a blocked user PIN with the SO PIN.
class UnlockPage : public QWidget {
    Q_OBJECT
public:
    explicit UnlockPage(QWidget* parent = nullptr);
    void applyTexts();

    QGroupBox* const gbUnlock;
    QLabel* const LAdmin_SOPIN;
    QLineEdit* const edtSPINForUnLock;
    QLabel* const LAdmin_New_UPIN1;
    QLineEdit* const edtUPINForUnlock1;
    QLabel* const LAdmin_New_UPIN2;
    QLineEdit* const edtUPINForUnlock2;
    QPushButton* const btnUnlock;
};
