#pragma once

#include "app/TextKey.h"
#include "ui/main/ImageList.h"
#include "ui/main/Page.h"

#include <array>

class QLabel;
class QPushButton;
class QTabWidget;
class QToolButton;

// Page 11: the enrolled fingers of the token's user or administrator, one button per finger over a picture of two
// hands, and the test, unlock and delete operations.
class BiometricPage : public Page {
    Q_OBJECT
public:
    static constexpr int FingerCount = 10;

    BiometricPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    // The hand picture and the enrolled and matched markers from folder (ending with "/"), where present.
    void loadPictures(const QString& folder);
    void setTabTitle(TextKey title);

private:
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
    QAction* const AcFingerTest;
    QAction* const AcFingerUnlock;
    QAction* const AcFingerDel;
    QAction* const AcFingerStudy;
};
