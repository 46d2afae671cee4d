#pragma once

#include "ui/main/Page.h"

#include <QList>

class QLabel;
class QLineEdit;
class QPushButton;

// Page 1: the user changes the user PIN, proving the current one.
class UserPinPage : public Page {
    Q_OBJECT
public:
    UserPinPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    void updateActions() override;

    // The navigation opens the page with empty boxes: PINs typed for another token are not offered to this one.
    void Prepare();

private:
    // The current PIN, the new PIN and its repetition.
    QList<QLineEdit*> edits() const { return {edtOldUPin, edtNewUPin1, edtNewUPin2}; }
    void AcSetUserPINExecute();

    QLabel* const Label2;
    QLineEdit* const edtOldUPin;
    QLabel* const Label3;
    QLineEdit* const edtNewUPin1;
    QLabel* const Label4;
    QLineEdit* const edtNewUPin2;
    QPushButton* const btnOK;
    QAction* const AcSetUserPIN;
};
