#include "ui/biometric/BiometricPage.h"

#include "app/LanguageTable.h"
#include "ui/main/FormControls.h"

#include <QAction>
#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

using namespace FormControls;

namespace {

constexpr QSize HandPictureSize(400, 220);
// Finger tips over the hand picture: left hand little finger to thumb, then right hand thumb to little finger.
constexpr std::array<QPoint, BiometricPage::FingerCount> FingerTips = {{
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

} // namespace

BiometricPage::BiometricPage(PageHost& host, QWidget* parent)
    : Page(host, parent), PCFinger(new QTabWidget(this)), Imghand(label(this, "Imghand")),
      LFingerInfo1(label(this, "LFingerInfo1")), btnFingerTest(button(this, "btnFingerTest")),
      btnFingerUnlock(button(this, "btnFingerUnlock")), btnFingerDel(button(this, "btnFingerDel")),
      btnFingerStudy(button(this, "btnFingerStudy")), AcFingerTest(makeAction("AcFingerTest")),
      AcFingerUnlock(makeAction("AcFingerUnlock")), AcFingerDel(makeAction("AcFingerDel")),
      AcFingerStudy(makeAction("AcFingerStudy")) {
    setObjectName(QStringLiteral("Finger"));
    PCFinger->setObjectName(QStringLiteral("PCFinger"));

    auto* sheet = new QWidget(PCFinger);
    sheet->setObjectName(QStringLiteral("tsFinger"));
    auto* hands = new QWidget(sheet);
    hands->setFixedSize(HandPictureSize);
    Imghand->setParent(hands);
    Imghand->setGeometry(QRect(QPoint(0, 0), HandPictureSize));
    Imghand->setScaledContents(true);
    for (int i = 0; i < FingerCount; ++i) {
        auto* finger = new QToolButton(hands);
        finger->setObjectName(QStringLiteral("SpeedButton%1").arg(i + 1));
        finger->setProperty("Tag", i + 1);
        finger->setAutoRaise(true);
        finger->setCursor(Qt::PointingHandCursor);
        finger->setIconSize(QSize(16, 16));
        finger->setGeometry(QRect(FingerTips[i], QSize(22, 22)));
        SpeedButtons[i] = finger;
    }
    LFingerInfo1->setWordWrap(true);
    btnFingerStudy->setText(QStringLiteral("指纹学习"));

    auto* sheetLayout = new QVBoxLayout(sheet);
    sheetLayout->addWidget(hands, 0, Qt::AlignHCenter);
    sheetLayout->addWidget(LFingerInfo1);
    sheetLayout->addStretch(1);
    sheetLayout->addLayout(buttonRow({btnFingerTest, btnFingerUnlock, btnFingerDel, btnFingerStudy}));
    PCFinger->addTab(sheet, QString());

    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(PCFinger, 1);
    bindToAction(btnFingerTest, AcFingerTest);
    bindToAction(btnFingerUnlock, AcFingerUnlock);
    bindToAction(btnFingerDel, AcFingerDel);
    // The study button stays hidden; the study runs from the enrolment.
    connect(btnFingerStudy, &QPushButton::clicked, AcFingerStudy, &QAction::trigger);
    btnFingerStudy->setVisible(false);
}

void BiometricPage::applyTexts() {
    PCFinger->setTabText(0, textOf(TextKey::F_User_Finger));
    LFingerInfo1->setText(textOf(TextKey::F_Finger_Info1));
    AcFingerTest->setText(textOf(TextKey::F_Finger_Test));
    AcFingerUnlock->setText(textOf(TextKey::F_User_Unlock));
    AcFingerDel->setText(textOf(TextKey::F_Finger_Del));
}

void BiometricPage::setTabTitle(TextKey title) {
    PCFinger->setTabText(0, textOf(title));
}

void BiometricPage::loadPictures(const QString& folder) {
    loadPictureIfPresent(Imghand, folder + QStringLiteral("FingerHand.png"));
    IL32.clear();
    IL32.addFile(folder + QStringLiteral("F1.bmp"));
    IL32.addFile(folder + QStringLiteral("F2.bmp"));
}
