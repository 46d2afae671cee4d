#pragma once

#include "shared/SkfApi.h"
#include "ui/biometric/BiometricPicturesPage.h"

#include <QDialog>
#include <QSize>

#include <functional>

class QLabel;
class QMovie;
class QPushButton;
class QTimer;

// What the dialogs that wait for a finger on the sensor share: no title-bar buttons and no closing but their own,
// the animation that asks for the finger, a status line in blue or red with its picture, and the countdown of the
// Close button.
class FingerDialog : public QDialog {
    Q_OBJECT
protected:
    FingerDialog(const FingerPictures& pictures, QWidget* parent);

    // How long the dialogs wait between two looks at the sensor, the size of their status picture, and the count
    // their Close button starts from.
    static constexpr int PollMilliseconds = 200;
    static constexpr QSize StatusPictureSize{160, 120};
    static constexpr int CountdownStart = 5;
    // Looks at the sensor again, PollMilliseconds apart with the window responsive, while it answers
    // SAR_FINGER_CONTINUE; the answer that ended it.
    static SKF_ULONG pollSensor(const std::function<SKF_ULONG()>& look);
    // What a test or a study is told when SKF_VerifyFingerInit refuses to start it.
    static QString startFailureText(SKF_ULONG rv);

    // Only the dialog's own buttons and timers end it: Esc presses the Close button, and only while it is enabled.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void setEscapeButton(QPushButton* close) { m_escape = close; }
    void finish(bool accepted);
    // image plays the animation asking for the finger, or shows nothing when there is none.
    void playAnimation(QLabel* image);
    // The status line in blue (progress, success) or red (failure); picture, when given, takes the animation's place.
    void showStatus(QLabel* line, QLabel* image, const QString& text, bool failure, const QPixmap* picture);
    // One tick of the countdown: Close shows "关闭(n)" while counter is above 0, which then counts down; at 0 the
    // dialog ends with OK.
    void countdownTick(QPushButton* close, QTimer* timer, int& counter);

    const FingerPictures m_pictures;

private:
    QMovie* m_movie = nullptr;
    QPushButton* m_escape = nullptr;
    bool m_closing = false;
};
