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

    // The bytes of a response typed as hexadecimal digit pairs: a pair that is not two hexadecimal digits gives 0,
    // a single last digit is left out.
    static QByteArray responseBytes(const QByteArray& text);

private:
    void AcRequestExecute();
    void AcRemoteUnLockExecute();
    // The SKF devices opened afresh and the selected token's application made current; false, once the user was
    // told, without any SKF device.
    bool openSelectedTokensApplication();

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
