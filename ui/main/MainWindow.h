#pragma once

#include "app/AppInfo.h"
#include "app/UserConfig.h"
#include "token/SkfLibrary.h"
#include "token/TPCSCRaw.h"
#include "token/TokenLibrary.h"
#include "ui/main/PageHost.h"
#include "ui/main/WindowState.h"

#include <QMainWindow>

#include <array>
#include <cstdint>

class AboutPage;
class AdminLoginPage;
class BiometricPage;
class BiometricPicturesPage;
class CertificatePage;
class InitializationPage;
class KeyInfoPage;
class KeyLabelPage;
class LoginPage;
class NavigationTree;
class Page;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTimer;
class QTreeWidgetItem;
class SystemCheckPage;
class TUSB;
class UserPinPage;

// The program's only top-level window: a banner, the navigation tree of tokens and their functions on the left,
// and on the right a stack of pages of which one is visible. The window keeps the navigation, the key discovery
// and the shared state; each page carries its own actions and hosts on the window through PageHost.
class MainWindow : public QMainWindow, public PageHost {
    Q_OBJECT
public:
    // programDirectory ends with "/"; the profile, the language files and the pictures are found below it. log is
    // the trace of the token library's calls.
    explicit MainWindow(QString programDirectory, QWidget* parent = nullptr, OperationLog log = OperationLog());
    ~MainWindow() override;

    TokenLibrary& tokenLibrary() override { return m_tokenLibrary; }
    SkfLibrary& skfLibrary() override { return m_skfLibrary; }
    WindowState& state() override { return m_state; }
    const TAPPInfo& appInfo() const override { return m_appInfo; }
    QString programDirectory() const override { return m_programDirectory; }
    void MoveSelectionForward() override;
    QWidget* dialogOwner() override { return this; }
    int32_t DiscoverKeys() override;
    void ShowPage(int index) override;
    void CheckInitSoon() override;
    void ShowCertificatesAfterLogin(int32_t index) override;
    void RenameTokenNode(const QString& label) override;
    void SwitchLanguage(int index) override;

    // Copies the text table into every caption of the window.
    void ApplyTexts();
    // Lists the properties of token index on page 0.
    void ShowKeyInfo(int32_t index);

    // A command from another program ("CLOSE"); returns the message result.
    int32_t handleCopyData(const QString& command);
    // Another copy of the program was started: come back from minimized and to the front, or bring the dialog that
    // is open there.
    void restoreFromAnotherInstance();

    // A USB device with this product id arrived or went; only the product's tokens count.
    void usbArrival(int32_t productId);
    void usbRemoval(int32_t productId);
    // Closes the certificate import dialog when it is open: the token it imports into may be gone.
    void CloseImportDialog();

    bool isClosing() const override { return m_Closing; }
    const ProductIdTable& productIds() const { return m_productIds; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void createPages();
    QAction* addSpareMenuEntry(const char* name);
    void setUpSpareMenu();
    // The token node the spare menu's administration entry goes to: the current token's, else the first.
    QTreeWidgetItem* currentTokenNode() const;
    void setUpWindow();
    void loadBiometricPictures(const QString& folder);
    // A caption that begins with "F7X" names a product without the administrator panel and the finger login.
    void hideWhatF7xLacks();
    void TCloseProjectTimer();
    void startCompanionProgram();
    void openTokenLibrary();
    void TCheckInitTimer();
    void TFindUSBKeyTimer();
    void startDiscoveryTimer();
    bool isProductToken(int32_t productId) const;
    void selectRoot();
    void detectBiometricSensor();
    void tvUSBKeyChange(QTreeWidgetItem* node);
    void showTokenFunction(int index);
    void showAdministration(int level, int index);

    QString m_programDirectory;
    TokenLibrary m_tokenLibrary;
    SkfLibrary m_skfLibrary;
    TPCSCRaw m_pcsc;
    TAPPInfo m_appInfo;
    ProductIdTable m_productIds;
    TUserConfigInfo m_userConfig;
    WindowState m_state;
    int32_t m_tokensRead = 0; // tokens whose information the last discovery read
    bool m_Closing = false;
    bool m_shown = false;

    QLabel* imgBanner = nullptr;
    NavigationTree* tvUSBKey = nullptr;
    QFrame* pnlAdmin = nullptr;
    QPushButton* btnGenResponse = nullptr;
    QStackedWidget* pcMain = nullptr;
    QMenu* pmSpare = nullptr;
    // The spare pop-up menu: the window, the administration, the workstation, about, and exit.
    QAction* AcShowMainWindow = nullptr;
    QAction* AcAdvanced = nullptr;
    QAction* AcCheckSystem = nullptr;
    QAction* AcAbout = nullptr;
    QAction* AcExit = nullptr;

    // By page index; the pages the window itself calls have a typed pointer too.
    std::array<::Page*, PageCount> m_pages{};
    KeyInfoPage* keyInfoPage = nullptr;
    UserPinPage* userPinPage = nullptr;
    KeyLabelPage* keyLabelPage = nullptr;
    LoginPage* loginPage = nullptr;
    CertificatePage* certificatePage = nullptr;
    InitializationPage* initializationPage = nullptr;
    BiometricPage* biometricPage = nullptr;
    BiometricPicturesPage* biometricPicturesPage = nullptr;
    AdminLoginPage* adminLoginPage = nullptr;
    AboutPage* aboutPage = nullptr;
    SystemCheckPage* systemCheckPage = nullptr;

    TUSB* usbWatch = nullptr;
    QTimer* TFindUSBKey = nullptr;
    QTimer* TCheckInit = nullptr;
    QTimer* TCloseProject = nullptr;
};
