#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Page 14: the remote unlock exchange; a challenge for the administrator, whose response unblocks the PIN.
class RemoteUnlockPage : public QWidget {
    Q_OBJECT
public:
    explicit RemoteUnlockPage(QWidget* parent = nullptr);
    void applyTexts();

    QGroupBox* const gbRemoteUnlock;
    QLabel* const Label44;
    QLineEdit* const edtRequestStr;
    QPushButton* const btnRequest;
    QLabel* const Label45;
    QPlainTextEdit* const edtUnlockCode;
    QPushButton* const btnRemoteUnLock;
};
