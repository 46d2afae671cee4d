#pragma once

#include "ui/biometric/BiometricPicturesPage.h"

#include <QDialog>

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
