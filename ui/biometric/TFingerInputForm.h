#pragma once

#include "shared/SkfApi.h"
#include "ui/biometric/FingerDialog.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class SkfLibrary;

// Enrols one finger: the sensor takes the samples one after another while the bar advances, and the outcome shows in
// words and pictures. It starts a second after it is shown, cannot be closed while the sensor works, and closes by
// itself after a countdown (at once on success).
class TFingerInputForm : public FingerDialog {
    Q_OBJECT
public:
    TFingerInputForm(SkfLibrary& skf, const FingerPictures& pictures, QWidget* parent);

    // What to enrol, set before the dialog is shown.
    void setEnrolment(const QString& caption, int finger, HAPPLICATION application, SKF_ULONG pinType, int sampleCount);
    // 0 when the finger was enrolled.
    SKF_ULONG result() const { return m_result; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void runEnrolment();
    void status(const QString& text, bool failure, const QPixmap* picture);

    SkfLibrary& m_skf;
    QLabel* const Image1;
    QLabel* const Label1;
    QLabel* const LMsg;
    QProgressBar* const PB;
    QPushButton* const btnCancel;
    QPushButton* const btnRun;
    QTimer* const Trun;
    QTimer* const TClose;

    int m_finger = 0;
    HAPPLICATION m_application = nullptr;
    SKF_ULONG m_pinType = SKF_PIN_USER;
    int m_sampleCount = 3;
    SKF_ULONG m_result = SAR_FAIL; // until an enrolment has ended
    int m_countdown = 5;
};
