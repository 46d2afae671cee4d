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
        buttons[size_t(i)] = finger;
    }
    return hands;
}
