#pragma once

#include "app/AppInfo.h"
#include "app/UserConfig.h"
#include "platform/PinBuffer.h"
#include "token/SkfLibrary.h"
#include "token/TPCSCRaw.h"
#include "token/TokenLibrary.h"
#include "ui/main/ImageList.h"
#include "ui/main/MainActions.h"
#include "ui/main/WindowState.h"

#include <QMainWindow>

#include <cstdint>
#include <optional>

class AboutPage;
class AdminLoginPage;
class BiometricPage;
class BiometricPicturesPage;
class CdromImagePage;
class CertificatePage;
class InitializationPage;
class KeyInfoPage;
class KeyLabelPage;
class LoginPage;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class RemoteUnlockPage;
class SoPinPage;
class SystemCheckPage;
class TUSB;
class UnlockPage;
class UserPinPage;

// The program's only top-level window: a banner, the navigation tree of tokens and their functions on the left,
// and on the right a stack of pages of which one is visible.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    enum Page {
        KeyInfo = 0,
        UserPin = 1,
        KeyLabel = 2,
        Login = 3,
        Certificates = 4,
        SystemCheck = 5,
        About = 6,
        Initialization = 7,
        SoPin = 8,
        UnlockUserPin = 9,
        CdromImage = 10,
        Biometric = 11,
        BiometricPictures = 12,
        AdminLogin = 13,
        RemoteUnlock = 14,
    };
    // Indexes of the navigation tree's image list.
    enum TreeImage {
        TokenImage = 0,
        CertificatesImage = 3,
        UserPinImage = 4,
        KeyListImage = 9,
        SystemImage = 10,
        KeyNameImage = 11,
        FingerprintImage = 18,
        RemoteUnlockImage = 22,
        FingerVeinImage = 23,
    };
    // The role under which a tree node keeps its image index.
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    // programDirectory ends with "/"; the profile, the language files and the pictures are found below it. log is
    // the trace of the token library's calls.
    explicit MainWindow(QString programDirectory, QWidget* parent = nullptr, OperationLog log = OperationLog());
    ~MainWindow() override;

    void ShowPage(int index);
    // Copies the text table into every caption of the window.
    void ApplyTexts();
    // Makes the language of catalogue entry index the program's language and remembers the choice.
    void SwitchLanguage(int index);

    // A command from another program ("CLOSE"); returns the message result.
    int32_t handleCopyData(const QString& command);
    // Another copy of the program was started: come back from minimized and to the front, or bring the dialog that
    // is open there.
    void restoreFromAnotherInstance();

    // Looks for tokens again and rebuilds the tree under root 0; 0 when every token was found and read.
    int32_t DiscoverKeys();
    // Lists the properties of token index on page 0.
    void ShowKeyInfo(int32_t index);

    // Key-exchange and signature usage of a container's certificates and keys.
    static constexpr int32_t ExchangeUsage = 1;
    static constexpr int32_t SignatureUsage = 2;
    struct CertificateChoice {
        int container; // position in the token's container list
        int32_t usage;
    };

    // Rebuilds the certificate tree of token index and the container flags the certificate operations read.
    void BuildCertTree(int32_t index);
    // Enables the certificate operations that the selection in the tree allows.
    void UpdateCertActions();
    // The certificate whose subject node is selected; none for any other node.
    std::optional<CertificateChoice> SelectedCertificate();

    // A USB device with this product id arrived or went; only the product's tokens count.
    void usbArrival(int32_t productId);
    void usbRemoval(int32_t productId);
    // Closes the certificate import dialog when it is open: the token it imports into may be gone.
    void CloseImportDialog();

    bool isClosing() const { return m_Closing; }
    TokenLibrary& tokenLibrary() { return m_tokenLibrary; }
    SkfLibrary& skfLibrary() { return m_skfLibrary; }
    const TAPPInfo& appInfo() const { return m_appInfo; }
    const ProductIdTable& productIds() const { return m_productIds; }

    MainActions actions;
    WindowState state;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void bindActions();
    void createTimers();
    void setUpWindow();
    void BuildTreeRoots();
    QTreeWidgetItem* addTreeNode(QTreeWidgetItem* parent, const QString& text, int imageIndex);
    void loadBanner();
    void loadBiometricPictures(const QString& folder);
    void TCloseProjectTimer();
    void startCompanionProgram();
    void openTokenLibrary();
    void TCheckInitTimer();
    void TFindUSBKeyTimer();
    bool isProductToken(int32_t productId) const;
    void addKeyInfoError();
    void detectBiometricSensor();
    void addTokenNode(int32_t index);
    void tvUSBKeyChange(QTreeWidgetItem* node);
    void showTokenFunction(int index);
    void showAdministration(int level, int index);
    // True, once the user has been told, when the token's user PIN is locked.
    bool refusedAsLocked(int32_t index);
    // The same, and also when the token was never initialized: it takes no user PIN then.
    bool refusedUserPin(int32_t index);
    void updateLoginAction();
    void AcLoginExecute();
    void AclogoutExecute();
    void TSetFocusUPINTimer();
    void AcListCertExecute();
    void AcrefreshExecute();
    void tvCertContextMenu(const QPoint& position);
    void updatePinAndLabelActions();
    void AcSetUserPINExecute();
    void AcSetKeyNameExecute();

    QString m_programDirectory;
    TokenLibrary m_tokenLibrary;
    SkfLibrary m_skfLibrary;
    TPCSCRaw m_pcsc;
    TAPPInfo m_appInfo;
    ProductIdTable m_productIds;
    TUserConfigInfo m_userConfig;
    bool m_Closing = false;
    bool m_shown = false;
    // The PIN of the last successful user login, for the biometric functions; wiped at logout and at exit.
    PinBuffer m_lastUserPin;
    ImageList m_treeImages;

public:
    QLabel* imgBanner = nullptr;
    QTreeWidget* tvUSBKey = nullptr;
    QFrame* pnlAdmin = nullptr;
    QPushButton* btnGenResponse = nullptr;
    QStackedWidget* pcMain = nullptr;
    QMenu* pmSpare = nullptr;

    KeyInfoPage* keyInfoPage = nullptr;
    UserPinPage* userPinPage = nullptr;
    KeyLabelPage* keyLabelPage = nullptr;
    LoginPage* loginPage = nullptr;
    CertificatePage* certificatePage = nullptr;
    SystemCheckPage* systemCheckPage = nullptr;
    AboutPage* aboutPage = nullptr;
    InitializationPage* initializationPage = nullptr;
    SoPinPage* soPinPage = nullptr;
    UnlockPage* unlockPage = nullptr;
    CdromImagePage* cdromImagePage = nullptr;
    BiometricPage* biometricPage = nullptr;
    BiometricPicturesPage* biometricPicturesPage = nullptr;
    AdminLoginPage* adminLoginPage = nullptr;
    RemoteUnlockPage* remoteUnlockPage = nullptr;

    TUSB* usbWatch = nullptr;
    QTimer* TFindUSBKey = nullptr;
    QTimer* TCheckInit = nullptr;
    QTimer* TCloseProject = nullptr;
    QTimer* TSetFocusUPIN = nullptr;
    QTimer* TimerCert = nullptr;
    QTimer* TRegCert = nullptr;
};
