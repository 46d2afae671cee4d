#include "ui/biometric/FingerHand.h"

#include <QLabel>
#include <QToolButton>

QWidget* FingerHand::build(QWidget* parent, QLabel* picture, std::array<QToolButton*, FingerCount>& buttons) {
    auto* hands = new QWidget(parent);
    hands->setFixedSize(PictureSize);
    picture->setParent(hands);
    picture->setGeometry(QRect(QPoint(0, 0), PictureSize));
    picture->setScaledContents(true);
    for (int i = 0; i < FingerCount; ++i) {
        auto* finger = new QToolButton(hands);
        finger->setObjectName(QStringLiteral("SpeedButton%1").arg(i + 1));
        finger->setProperty("Tag", i + 1);
        finger->setAutoRaise(true);
        finger->setCursor(Qt::PointingHandCursor);
        finger->setIconSize(QSize(16, 16));
        finger->setGeometry(QRect(Tips[size_t(i)], QSize(22, 22)));
        // A ring on each finger tip shows where to click before the pointer comes near.
        finger->setStyleSheet(QStringLiteral(
            "QToolButton { border: 2px solid rgba(30, 136, 229, 150); border-radius: 11px;"
            " background: rgba(255, 255, 255, 70); }"
            "QToolButton:hover { border-color: rgb(30, 136, 229); background: rgba(30, 136, 229, 60); }"
            "QToolButton:disabled { border-color: rgba(120, 120, 120, 90); }"));
        buttons[size_t(i)] = finger;
    }
    return hands;
}
