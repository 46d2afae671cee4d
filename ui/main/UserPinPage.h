#pragma once

#include <QList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// Page 1: change the user PIN.
class UserPinPage : public QWidget {
    Q_OBJECT
public:
    explicit UserPinPage(QWidget* parent = nullptr);
    void applyTexts();

    QLabel* const Label2;
    QLineEdit* const edtOldUPin;
    QLabel* const Label3;
    QLineEdit* const edtNewUPin1;
    QLabel* const Label4;
    QLineEdit* const edtNewUPin2;
    QPushButton* const btnOK;

    // The current PIN, the new PIN and its repetition.
    QList<QLineEdit*> edits() const { return {edtOldUPin, edtNewUPin1, edtNewUPin2}; }
};
