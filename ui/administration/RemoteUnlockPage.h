#pragma once

#include "ui/main/Page.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Page 14: the remote unlock exchange; a challenge for the administrator, whose response unblocks the PIN.
class RemoteUnlockPage : public Page {
    Q_OBJECT
public:
    RemoteUnlockPage(PageHost& host, QWidget* parent);
    void applyTexts() override;

private:
    QGroupBox* const gbRemoteUnlock;
    QLabel* const Label44;
    QLineEdit* const edtRequestStr;
    QPushButton* const btnRequest;
    QLabel* const Label45;
    QPlainTextEdit* const edtUnlockCode;
    QPushButton* const btnRemoteUnLock;
    QAction* const AcRequest;
    QAction* const AcRemoteUnLock;
};
