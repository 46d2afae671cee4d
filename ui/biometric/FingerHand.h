#pragma once

#include <QPoint>
#include <QSize>

#include <array>

class QLabel;
class QToolButton;
class QWidget;

// The hand picture with a button on each finger tip, as the biometric page and the test dialog show it: left hand
// little finger to thumb (fingers 1 to 5), then right hand thumb to little finger (6 to 10).
namespace FingerHand {

inline constexpr int FingerCount = 10;
inline constexpr QSize PictureSize(400, 220);
inline constexpr std::array<QPoint, FingerCount> Tips = {{
    {22, 78},
    {58, 38},
    {98, 22},
    {138, 36},
    {176, 108},
    {212, 108},
    {250, 36},
    {290, 22},
    {330, 38},
    {366, 78},
}};

// The picture's frame with picture (its label) and the ten buttons SpeedButton1 .. SpeedButton10 on it.
QWidget* build(QWidget* parent, QLabel* picture, std::array<QToolButton*, FingerCount>& buttons);

} // namespace FingerHand
