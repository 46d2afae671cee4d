#include "ui/biometric/BiometricPage.h"

#include "app/AppInfo.h"
#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "app/OwnTexts.h"
#include "token/SkfLibrary.h"
#include "ui/biometric/BiometricPicturesPage.h"
#include "ui/biometric/FingerHand.h"
#include "ui/biometric/TFingerInputForm.h"
#include "ui/biometric/TFingerStudyForm.h"
#include "ui/biometric/TFingerTestForm.h"
#include "ui/biometric/TFingerVerifyForm.h"
#include "ui/main/BusyCursor.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>

using namespace FormControls;

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
    QWidget* hands = FingerHand::build(sheet, Imghand, SpeedButtons);
    LFingerInfo1->setWordWrap(true);
    btnFingerStudy->setText(ownText(OwnKey::Study_Title));

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

    for (int i = 0; i < FingerCount; ++i)
        connect(SpeedButtons[size_t(i)], &QToolButton::clicked, this, [this, i] { AcFingerInputExecute(i + 1); });
    connect(AcFingerDel, &QAction::triggered, this, &BiometricPage::AcFingerDelExecute);
    connect(AcFingerTest, &QAction::triggered, this, &BiometricPage::AcFingerTestExecute);
    connect(AcFingerStudy, &QAction::triggered, this, &BiometricPage::AcFingerStudyExecute);
    connect(AcFingerUnlock, &QAction::triggered, this, &BiometricPage::AcFingerUnlockExecute);
}

bool BiometricPage::isEnrolled(const TSkfFingerInfo& list, int finger) {
    const auto begin = list.list.begin();
    const auto end = begin + std::min<size_t>(list.listLength, list.list.size());
    const bool flags = std::all_of(begin, end, [](uint8_t byte) { return byte <= 1; });
    if (flags)
        return finger >= 1 && finger <= FingerCount && size_t(finger) <= list.listLength &&
               list.list[size_t(finger - 1)] == 1;
    return std::any_of(begin, std::min(end, begin + FingerCount), [finger](uint8_t byte) { return byte == finger; });
}

void BiometricPage::RefreshFingerPage(SKF_ULONG pinType) {
    SkfLibrary& skf = m_host.skfLibrary();
    if (const KeySlot* slot = m_host.state().currentSlot())
        skf.SelectSkfApplication(slot->info.serialBytes());
    // A sensor that cannot be read shows no finger, and the hint says why.
    m_refreshResult = skf.GetSkfFingerInfo(skf.CurrentApplication(), pinType, m_info);
    showHint();
    if (pinType == SKF_PIN_USER) {
        m_userCount = m_info.enrolledCount;
        Q_EMIT userFingersCounted(m_userCount);
    } else {
        m_adminCount = m_info.enrolledCount;
        Q_EMIT adminFingersCounted(m_adminCount);
    }
    for (int finger = 1; finger <= FingerCount; ++finger)
        SpeedButtons[size_t(finger - 1)]->setIcon(isEnrolled(m_info, finger) ? IL32.icon(0) : QIcon());
}

void BiometricPage::showHint() {
    LFingerInfo1->setText(m_refreshResult == 0
                              ? textOf(TextKey::F_Finger_Info1)
                              : textOf(TextKey::F_Finger_Info1) + u'\n' +
                                    Format(textOf(TextKey::K_Finger_Unreadable), {qlonglong(m_refreshResult)}));
}

void BiometricPage::ShowFingerPage(FingerPageWay way) {
    SkfLibrary& skf = m_host.skfLibrary();
    if (way == FingerPageWay::BiometricNode) {
        RefreshFingerPage(skf.FingerPinType());
        setTabTitle(TextKey::F_User_Finger);
        return;
    }
    const bool user = way == FingerPageWay::User;
    skf.SetFingerPinType(user ? SKF_PIN_USER : SKF_PIN_ADMIN);
    setTabTitle(user ? TextKey::F_User_Finger : TextKey::F_Admin_Finger);
    RefreshFingerPage(skf.FingerPinType());
    AcFingerUnlock->setText(textOf(user ? TextKey::F_User_Unlock : TextKey::F_Admin_Unlock));
    AcFingerTest->setEnabled(m_info.enrolledCount > 0);
    AcFingerDel->setEnabled(m_info.enrolledCount > 0);
    if (user && m_info.listLength == 100)
        DialogService::information(m_host.dialogOwner(), ownText(OwnKey::Study_VendorTool));
}

bool BiometricPage::refusedAsNotLoggedIn() {
    // The selected token's login counts, not always the first token's.
    const KeySlot* slot = m_host.state().currentSlot();
    if (slot && slot->KeyState == KeySlot::LoggedIn)
        return false;
    // The administrator's login leaves the user logged out, yet it is what the administrator's finger pages need:
    // without this they refused every finger after a successful login. The token itself still refuses what that
    // login does not allow.
    if (slot && slot->KeyState == KeySlot::Present && m_host.state().LoginRole == WindowState::AdministratorRole)
        return false;
    DialogService::information(m_host.dialogOwner(), textOf(TextKey::P_SAR_USER_NOT_LOGGED_IN));
    return true;
}

void BiometricPage::showFailure(SKF_ULONG rv) {
    DialogService::information(m_host.dialogOwner(), rv == SAR_USER_NOT_LOGGED_IN
                                                         ? textOf(TextKey::P_SAR_USER_NOT_LOGGED_IN)
                                                         : Format(textOf(TextKey::P_FormatError), {qlonglong(rv)}));
}

void BiometricPage::refreshAfterChange() {
    RefreshFingerPage(m_host.skfLibrary().FingerPinType());
    AcFingerTest->setEnabled(m_info.enrolledCount > 0);
    AcFingerDel->setEnabled(m_info.enrolledCount > 0);
}

void BiometricPage::AcFingerInputExecute(int finger) {
    SkfLibrary& skf = m_host.skfLibrary();
    m_lastFinger = finger;
    skf.GetSkfFingerInfo(skf.CurrentApplication(), skf.FingerPinType(), m_info);
    const bool enrolled = isEnrolled(m_info, finger);
    if (refusedAsNotLoggedIn())
        return;
    if (!enrolled) {
        enrol(finger);
        return;
    }
    if (!DialogService::question(m_host.dialogOwner(), textOf(TextKey::P_FingerDeleteInfo)))
        return;
    if (const SKF_ULONG rv = skf.SKF_DeleteFinger(skf.CurrentApplication(), skf.FingerPinType(), SKF_ULONG(finger));
        rv != SAR_OK) {
        showFailure(rv);
        return;
    }
    refreshAfterChange();
}

void BiometricPage::enrol(int finger) {
    SkfLibrary& skf = m_host.skfLibrary();
    SKF_ULONG result = 0;
    {
        TFingerInputForm dialog(skf, m_pictures ? m_pictures->pictures() : FingerPictures(), m_host.dialogOwner());
        dialog.setEnrolment(textOf(TextKey::P_FingerInput), finger, skf.CurrentApplication(), skf.FingerPinType(),
                            m_host.appInfo().FingerRegTimes);
        dialog.exec();
        result = dialog.result();
    }
    refreshAfterChange();
    if (result == SAR_OK && m_host.appInfo().FingerStudy > 0)
        AcFingerStudy->trigger();
}

int32_t BiometricPage::verifyByFinger(SKF_ULONG pinType) {
    RefreshFingerPage(pinType);
    QWidget* owner = m_host.dialogOwner();
    if (refusedForSensor())
        return -1;
    SkfLibrary& skf = m_host.skfLibrary();
    TFingerVerifyForm dialog(m_host.tokenLibrary(), skf, m_pictures ? m_pictures->pictures() : FingerPictures(), owner);
    dialog.setVerification(textOf(TextKey::P_FingerVerify), m_host.state().CurrentKey, skf.CurrentApplication(),
                           pinType);
    dialog.exec();
    // A user let in by finger has had the retry counter restored: the page shows it.
    if (dialog.result() == 0 && pinType == SKF_PIN_USER)
        RefreshFingerPage(SKF_PIN_USER);
    return dialog.result();
}

// The test and the study read the fingers of the last refresh.
bool BiometricPage::refusedForSensor() {
    if (m_info.outputs[3] == 0) {
        DialogService::information(m_host.dialogOwner(), textOf(TextKey::P_SAR_PIN_LOCKED));
        return true;
    }
    if (m_info.enrolledCount == 0) {
        DialogService::information(m_host.dialogOwner(), textOf(TextKey::P_SAR_FINGER_NOT_EXIST));
        return true;
    }
    return false;
}

void BiometricPage::AcFingerTestExecute() {
    if (refusedForSensor())
        return;
    SkfLibrary& skf = m_host.skfLibrary();
    std::array<QIcon, FingerCount> markers;
    for (int i = 0; i < FingerCount; ++i)
        markers[size_t(i)] = SpeedButtons[size_t(i)]->icon();
    TFingerTestForm dialog(skf, Imghand->pixmap(), IL32.icon(1), m_host.dialogOwner());
    dialog.setTest(textOf(skf.FingerPinType() == SKF_PIN_ADMIN ? TextKey::F_Admin_Test : TextKey::F_User_Test),
                   skf.CurrentApplication(), skf.FingerPinType(), markers);
    dialog.exec();
}

void BiometricPage::AcFingerStudyExecute() {
    if (refusedForSensor())
        return;
    SkfLibrary& skf = m_host.skfLibrary();
    TFingerStudyForm dialog(skf, m_pictures ? m_pictures->pictures() : FingerPictures(), m_host.dialogOwner());
    dialog.setStudy(skf.CurrentApplication(), skf.FingerPinType(), m_lastFinger);
    dialog.exec();
}

void BiometricPage::AcFingerDelExecute() {
    SkfLibrary& skf = m_host.skfLibrary();
    if (refusedAsNotLoggedIn())
        return;
    if (m_info.enrolledCount == 0) {
        DialogService::information(m_host.dialogOwner(), textOf(TextKey::P_SAR_FINGER_NOT_EXIST));
        return;
    }
    if (!DialogService::question(m_host.dialogOwner(), textOf(TextKey::P_FingerDeleteInfo)))
        return;
    skf.GetSkfFingerInfo(skf.CurrentApplication(), skf.FingerPinType(), m_info);
    const bool flags = std::all_of(m_info.list.begin(), m_info.list.begin() + m_info.listLength,
                                   [](uint8_t byte) { return byte <= 1; });
    SKF_ULONG rv = SAR_OK;
    for (int k = 0; k < FingerCount && rv == SAR_OK; ++k) {
        if (m_info.list[size_t(k)] == 0)
            continue;
        const BusyCursor busy;
        rv = skf.SKF_DeleteFinger(skf.CurrentApplication(), skf.FingerPinType(),
                                  flags ? SKF_ULONG(k + 1) : SKF_ULONG(m_info.list[size_t(k)]));
    }
    if (rv == SAR_OK)
        RefreshFingerPage(skf.FingerPinType());
    else
        showFailure(rv);
}

void BiometricPage::AcFingerUnlockExecute() {
    SkfLibrary& skf = m_host.skfLibrary();
    if (refusedAsNotLoggedIn())
        return;
    const SKF_ULONG rv = skf.SKF_UnblockFinger(skf.CurrentApplication(), skf.FingerPinType());
    if (rv == SAR_OK)
        DialogService::information(m_host.dialogOwner(), textOf(TextKey::Change_Yes));
    else if (rv == SAR_PIN_LOCKED)
        DialogService::information(m_host.dialogOwner(), textOf(TextKey::P_SAR_PIN_LOCKED));
    else
        showFailure(rv);
}

void BiometricPage::applyTexts() {
    PCFinger->setTabText(0, textOf(TextKey::F_User_Finger));
    showHint();
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
