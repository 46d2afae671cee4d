#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// Page 3: the user logs in with the user PIN before the certificates are shown.
class LoginPage : public QWidget {
    Q_OBJECT
public:
    explicit LoginPage(QWidget* parent = nullptr);
    void applyTexts();
    // Shows how many characters the PIN field holds.
    void showPinLength();

    QLabel* const Label14;
    QLabel* const Lkeyname;
    QLabel* const RzLabel1;
    QLineEdit* const edtUPIN;
    QLabel* const Label10;
    QPushButton* const btnlogon;
    QPushButton* const RzButton3;
    QPushButton* const Button20;

protected:
    // The PIN box is yellow while it has the focus, and its text is never selected on entry.
    bool eventFilter(QObject* watched, QEvent* event) override;
};
