#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// Page 13: the administrator logs in with the SO PIN or by finger.
class AdminLoginPage : public QWidget {
    Q_OBJECT
public:
    explicit AdminLoginPage(QWidget* parent = nullptr);
    void applyTexts();

    QLabel* const Label12;
    QLabel* const LFingerKeyName;
    QLabel* const lblSOPIN;
    QLineEdit* const edtFingerSPIN;
    QPushButton* const btnSOPINLogin;
    QPushButton* const btnFingerLoginCancel;
    QPushButton* const btnSOPINFingerLogin;
};
