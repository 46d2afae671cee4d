#pragma once

#include "ui/main/ImageList.h"

#include <QWidget>

#include <array>

class QLabel;
class QPushButton;
class QTabWidget;
class QToolButton;

// Page 11: the enrolled fingers of the token's user or administrator, one button per finger over a picture of two
// hands, and the test, unlock and delete operations.
class BiometricPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int FingerCount = 10;

    explicit BiometricPage(QWidget* parent = nullptr);
    void applyTexts();

    QTabWidget* const PCFinger;
    QLabel* const Imghand;
    std::array<QToolButton*, FingerCount> SpeedButtons{}; // SpeedButton1 .. SpeedButton10, tags 1 .. 10
    QLabel* const LFingerInfo1;
    QPushButton* const btnFingerTest;
    QPushButton* const btnFingerUnlock;
    QPushButton* const btnFingerDel;
    QPushButton* const btnFingerStudy;
    // Entry 0 marks an enrolled finger, entry 1 a matched one.
    ImageList IL32;
};
