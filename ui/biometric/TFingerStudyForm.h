#pragma once

#include "shared/SkfApi.h"
#include "ui/biometric/FingerDialog.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class SkfLibrary;

// The study after an enrolment: five matches of the enrolled finger, one pass a second, the finger put on a little
// differently each time. Passes that match another finger, or none, do not count. Its texts are its own.
class TFingerStudyForm : public FingerDialog {
    Q_OBJECT
public:
    static constexpr int Passes = 5;

    TFingerStudyForm(SkfLibrary& skf, const FingerPictures& pictures, QWidget* parent);
    void setStudy(HAPPLICATION application, SKF_ULONG pinType, int finger);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void TrunTimer();
    void runPass();
    void status(const QString& text, bool failure);
    void finishedWhenDone();

    SkfLibrary& m_skf;
    QLabel* const LMsg;
    QLabel* const Label1;
    QLabel* const Image1;
    QProgressBar* const PB;
    QPushButton* const btnCancel;
    QPushButton* const btnTest;
    QTimer* const Trun;

    HAPPLICATION m_application = nullptr;
    SKF_ULONG m_pinType = SKF_PIN_USER;
    int m_finger = 0;
    int m_passesToGo = Passes;
    int m_total = Passes;
    bool m_polling = false;
    bool m_cancelRequested = false;
};
