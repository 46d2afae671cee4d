#pragma once

#include "app/TextKey.h"
#include "token/SkfInfo.h"
#include "ui/biometric/FingerHand.h"
#include "ui/main/ImageList.h"
#include "ui/main/Page.h"

#include <array>

class BiometricPicturesPage;
class QLabel;
class QPushButton;
class QTabWidget;
class QToolButton;

// Page 11: the enrolled fingers of the token's user or administrator, one button per finger over a picture of two
// hands, and the test, unlock and delete operations.
class BiometricPage : public Page {
    Q_OBJECT
public:
    static constexpr int FingerCount = FingerHand::FingerCount;

    BiometricPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    // The hand picture and the enrolled and matched markers from folder (ending with "/"), where present.
    void loadPictures(const QString& folder);
    void setTabTitle(TextKey title);

    // Where the dialogs take their success, failure and capture pictures from.
    void setPictureSource(const BiometricPicturesPage* source) { m_pictures = source; }

    // Reads the fingers of pinType (SKF_PIN_USER or SKF_PIN_ADMIN) from the selected token and marks them.
    void RefreshFingerPage(SKF_ULONG pinType);
    // How the navigation shows the page: for the token's biometric node, or the user's or the administrator's
    // fingers.
    enum class FingerPageWay { BiometricNode, User, Administrator };
    void ShowFingerPage(FingerPageWay way);
    // Enrolled fingers of the user and of the administrator, as their last refresh counted them.
    uint32_t userFingerCount() const { return m_userCount; }
    uint32_t adminFingerCount() const { return m_adminCount; }
    // The fingers the sensor reported last; the finger logins read its retry count.
    const TSkfFingerInfo& fingerInfo() const { return m_info; }

    // A login by finger of pinType on the selected token: the fingers refreshed, then, when some are enrolled and
    // tries are left, the verification dialog. Its result (0 verified), or -1, once the user was told why, when it
    // did not run. A user verified has the page refreshed again.
    int32_t verifyByFinger(SKF_ULONG pinType);

    // Whether finger (1 to 10) is enrolled in list: a list of flags (every byte 0 or 1) flags finger k at byte
    // k - 1; any other list names the enrolled fingers by number.
    static bool isEnrolled(const TSkfFingerInfo& list, int finger);

Q_SIGNALS:
    // After each refresh: how many fingers the user (or the administrator) has, for the finger logins' buttons.
    void userFingersCounted(uint32_t count);
    void adminFingersCounted(uint32_t count);

private:
    void AcFingerInputExecute(int finger);
    // The enrolment dialog for finger, then the page again, and the study when the profile asks for it.
    void enrol(int finger);
    void AcFingerDelExecute();
    void AcFingerTestExecute();
    void AcFingerStudyExecute();
    // No tries left, or no finger: true once the user was told.
    bool refusedForSensor();
    void AcFingerUnlockExecute();
    // The finger operations need the user logged in on the selected token; false, once said, when not.
    bool refusedAsNotLoggedIn();
    void showFailure(SKF_ULONG rv);
    // After a change of the fingers: the page again, test and delete-all as far as there are fingers.
    void refreshAfterChange();
    // The hint line, with why the sensor could not be read at the last refresh, if it could not.
    void showHint();

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

    TSkfFingerInfo m_info;
    SKF_ULONG m_refreshResult = 0;
    uint32_t m_userCount = 0;
    uint32_t m_adminCount = 0;
    int m_lastFinger = 0;
    const BiometricPicturesPage* m_pictures = nullptr;
};
