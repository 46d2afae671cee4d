#pragma once

#include "shared/SkfApi.h"
#include "ui/biometric/FingerDialog.h"

#include <cstdint>

class QLabel;
class QPushButton;
class QTimer;
class SkfLibrary;
class TokenLibrary;

// The login by finger: a second after it is shown the token library logs the user (or the SO) in without a PIN,
// and the token matches the finger on its sensor. The outcome shows in words and pictures; the dialog closes a
// second after a success and six after a failure.
class TFingerVerifyForm : public FingerDialog {
    Q_OBJECT
public:
    TFingerVerifyForm(TokenLibrary& tokens, SkfLibrary& skf, const FingerPictures& pictures, QWidget* parent);

    void setVerification(const QString& caption, int32_t token, HAPPLICATION application, SKF_ULONG pinType);
    // 0 when the finger was verified and the token logged in.
    int32_t result() const { return m_result; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void verify();

    TokenLibrary& m_tokens;
    SkfLibrary& m_skf;
    QLabel* const Image1;
    QLabel* const Label1;
    QLabel* const LMsg;
    QPushButton* const btnCancel;
    QTimer* const Trun;
    QTimer* const TClose;

    int32_t m_token = 0;
    HAPPLICATION m_application = nullptr;
    SKF_ULONG m_pinType = SKF_PIN_USER;
    int32_t m_result = -1;
    int m_countdown = 5;
};
