#pragma once

#include "shared/SkfApi.h"
#include "ui/biometric/FingerDialog.h"
#include "ui/biometric/FingerHand.h"

#include <QIcon>

#include <array>

class QLabel;
class QPushButton;
class QTimer;
class QToolButton;
class SkfLibrary;

// Tells which enrolled finger the sensor matched: the hand with the page's markers, and the matched finger marked
// on it. A second after it is shown it tests once; btnTest tests again.
class TFingerTestForm : public FingerDialog {
    Q_OBJECT
public:
    TFingerTestForm(SkfLibrary& skf, const QPixmap& hand, const QIcon& matched, QWidget* parent);

    // The caption, what to test, and the page's ten markers, set before the dialog is shown.
    void setTest(const QString& caption, HAPPLICATION application, SKF_ULONG pinType,
                 const std::array<QIcon, FingerHand::FingerCount>& markers);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void test();
    void status(const QString& text, bool failure);

    SkfLibrary& m_skf;
    QIcon m_matched;
    QLabel* const ImgHand;
    std::array<QToolButton*, FingerHand::FingerCount> SpeedButtons{};
    QLabel* const Label1;
    QLabel* const LMsg;
    QPushButton* const btnCancel;
    QPushButton* const btnTest;
    QTimer* const Trun;
    HAPPLICATION m_application = nullptr;
    SKF_ULONG m_pinType = SKF_PIN_USER;
    std::array<QIcon, FingerHand::FingerCount> m_markers;
};
