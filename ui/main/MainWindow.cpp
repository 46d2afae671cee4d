#include "ui/main/MainWindow.h"

#include "app/IntegerText.h"
#include "app/LanguageCatalogue.h"
#include "app/LanguageTable.h"
#include "platform/LibraryLocation.h"
#include "token/TUSB.h"
#include "ui/administration/CdromImagePage.h"
#include "ui/administration/InitializationPage.h"
#include "ui/administration/RemoteUnlockPage.h"
#include "ui/administration/SoPinPage.h"
#include "ui/administration/UnlockPage.h"
#include "ui/biometric/AdminLoginPage.h"
#include "ui/biometric/BiometricPage.h"
#include "ui/biometric/BiometricPicturesPage.h"
#include "ui/main/CertificatePage.h"
#include "ui/main/CertificateViewer.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/KeyInfoPage.h"
#include "ui/main/KeyLabelPage.h"
#include "ui/main/LoginPage.h"
#include "ui/main/NavigationTree.h"
#include "ui/main/UserPinPage.h"
#include "ui/system/AboutPage.h"
#include "ui/system/SystemCheckPage.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

namespace {

constexpr char ProgramVersion[] = VX_VERSION;
constexpr QSize DefaultSize(820, 580);
constexpr int BannerHeight = 72;

} // namespace

// The window's designed pictures live in the GUI library, which the linker would otherwise leave out.
static void loadDesignedPictures() {
    Q_INIT_RESOURCE(images);
}

MainWindow::MainWindow(QString programDirectory, QWidget* parent, OperationLog log)
    : QMainWindow(parent), m_programDirectory(std::move(programDirectory)),
      m_tokenLibrary(m_programDirectory, std::move(log)) {
    loadDesignedPictures();
    setObjectName(QStringLiteral("TVX7100_Mgr"));
    resize(DefaultSize);
    buildLayout();
    TFindUSBKey = FormControls::timer(this, "TFindUSBKey", 1000);
    TCheckInit = FormControls::timer(this, "TCheckInit", 400);
    TCloseProject = FormControls::timer(this, "TCloseProject", 500);
    connect(TCloseProject, &QTimer::timeout, this, &MainWindow::TCloseProjectTimer);
    connect(TCheckInit, &QTimer::timeout, this, &MainWindow::TCheckInitTimer);
    connect(TFindUSBKey, &QTimer::timeout, this, &MainWindow::TFindUSBKeyTimer);

    ApplyTexts();
    LanguageTable::instance().SwitchBiometricWording(LanguageTable::SnapshotWording);
    setUpWindow();
}

// The window goes once, however it was closed, and takes the token library's session with it.
MainWindow::~MainWindow() {
    certificatePage->waitForImportWorkers();
    m_tokenLibrary.uninit_pkcs11();
}

void MainWindow::buildLayout() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnlMain"));
    setCentralWidget(central);

    imgBanner = FormControls::label(central, "imgBanner");
    imgBanner->setFixedHeight(BannerHeight);
    imgBanner->setScaledContents(true);
    imgBanner->setPixmap(QPixmap(QStringLiteral(":/banner.jpg")));

    tvUSBKey = new NavigationTree(central);
    connect(tvUSBKey, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) { tvUSBKeyChange(node); });

    pnlAdmin = new QFrame(central);
    pnlAdmin->setObjectName(QStringLiteral("pnlAdmin"));
    pnlAdmin->setFixedWidth(tvUSBKey->width());
    btnGenResponse = FormControls::button(pnlAdmin, "btnGenResponse");
    auto* adminLayout = new QVBoxLayout(pnlAdmin);
    adminLayout->setContentsMargins(0, 0, 0, 0);
    adminLayout->addWidget(btnGenResponse);

    pcMain = new QStackedWidget(central);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    createPages();

    auto* navigation = new QVBoxLayout;
    navigation->setSpacing(6);
    navigation->addWidget(tvUSBKey, 1);
    navigation->addWidget(pnlAdmin);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(8, 8, 8, 8);
    body->setSpacing(8);
    body->addLayout(navigation);
    body->addWidget(pcMain, 1);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(imgBanner);
    layout->addLayout(body, 1);

    // The spare pop-up menu is the navigation tree's menu where no node is.
    pmSpare = new QMenu(this);
    pmSpare->setObjectName(QStringLiteral("pmSpare"));
    AcShowMainWindow = addSpareMenuEntry("AcShowMainWindow");
    AcAdvanced = addSpareMenuEntry("AcAdvanced");
    AcCheckSystem = addSpareMenuEntry("AcCheckSystem");
    AcAbout = addSpareMenuEntry("AcAbout");
    pmSpare->addSeparator();
    AcExit = addSpareMenuEntry("AcExit");
    connect(AcExit, &QAction::triggered, this, &QWidget::close);
    setUpSpareMenu();
}

void MainWindow::createPages() {
    keyInfoPage = new KeyInfoPage(*this, pcMain);
    userPinPage = new UserPinPage(*this, pcMain);
    loginPage = new LoginPage(*this, pcMain);
    keyLabelPage = new KeyLabelPage(*this, pcMain);
    certificatePage = new CertificatePage(*this, loginPage->logoutAction(), pcMain);
    initializationPage = new InitializationPage(*this, pcMain);
    biometricPage = new BiometricPage(*this, pcMain);
    biometricPicturesPage = new BiometricPicturesPage(*this, pcMain);
    adminLoginPage = new AdminLoginPage(*this, pcMain);
    aboutPage = new AboutPage(*this, pcMain);
    systemCheckPage = new SystemCheckPage(*this, pcMain);
    biometricPage->setPictureSource(biometricPicturesPage);
    loginPage->setFingerVerification([this] { return biometricPage->verifyByFinger(SKF_PIN_USER); });
    connect(biometricPage, &BiometricPage::userFingersCounted, loginPage,
            [this](uint32_t count) { loginPage->enableFingerLogon(count > 0); });
    connect(biometricPage, &BiometricPage::adminFingersCounted, adminLoginPage,
            [this](uint32_t count) { adminLoginPage->enableFingerLogin(count > 0); });
    adminLoginPage->setFingerVerification([this] { return biometricPage->verifyByFinger(SKF_PIN_ADMIN); });
    m_pages = {keyInfoPage,
               userPinPage,
               keyLabelPage,
               loginPage,
               certificatePage,
               systemCheckPage,
               aboutPage,
               initializationPage,
               new SoPinPage(*this, pcMain),
               new UnlockPage(*this, pcMain),
               new CdromImagePage(*this, pcMain),
               biometricPage,
               biometricPicturesPage,
               adminLoginPage,
               new RemoteUnlockPage(*this, pcMain)};
    for (::Page* page : m_pages)
        pcMain->addWidget(page);
}

QAction* MainWindow::addSpareMenuEntry(const char* name) {
    QAction* entry = FormControls::action(this, name);
    pmSpare->addAction(entry);
    return entry;
}

void MainWindow::setUpWindow() {
    ReadAppInfo(AppInfoPath(m_programDirectory), m_appInfo);
    ParseProductIds(m_appInfo.PID, m_productIds);
    certificatePage->offerStoreRegistration(m_appInfo.AdminTools > 0);
    tvUSBKey->offerAdministration(m_appInfo.AdminTools > 0);
    aboutPage->offerLanguageChoice(m_appInfo.AdminTools > 0);
    systemCheckPage->offerAdminTools(m_appInfo.AdminTools > 0);

    usbWatch = new TUSB(this);
    usbWatch->OnArrival = [this](TUSB& watch) { usbArrival(watch.ProductId()); };
    usbWatch->OnRemoval = [this](TUSB& watch) { usbRemoval(watch.ProductId()); };

    ShowPage(KeyInfo);
    // The panel holds the remote-unlock response generator, which this program does not offer.
    pnlAdmin->setVisible(false);
    tvUSBKey->BuildTreeRoots();
    ReadUserConfig(UserConfigDir(m_appInfo.CfgPath) + QLatin1String(UserConfigFileName), m_userConfig);
    FormControls::loadPictureIfPresent(imgBanner, m_programDirectory + QStringLiteral("res/top_img.jpg"));
    loadBiometricPictures(QStringLiteral("res/Finger/"));
    m_skfLibrary.Load(LibraryLocation(m_programDirectory, m_appInfo.SKFLib));
    m_skfLibrary.SetBiometricPageRefresh([this] { biometricPage->RefreshFingerPage(SKF_PIN_USER); });
    m_tokenLibrary.helper_register_cert_viewer(&CertificateViewer::showFromLibrary);
    startCompanionProgram();
    m_pcsc.Load();
    hideWhatF7xLacks();
}

void MainWindow::hideWhatF7xLacks() {
    if (!windowTitle().startsWith(QLatin1String("F7X")))
        return;
    pnlAdmin->setVisible(false);
    loginPage->offerFingerLogon(false);
}

void MainWindow::startCompanionProgram() {
    if (m_appInfo.APPMonName.isEmpty())
        return;
    const QString program = m_programDirectory + QString(m_appInfo.APPMonName).replace(u'\\', u'/');
    if (QFileInfo(program).isFile())
        QProcess::startDetached(program, {}, m_programDirectory);
}

void MainWindow::ShowPage(int index) {
    pcMain->setCurrentIndex(index);
}

void MainWindow::loadBiometricPictures(const QString& folder) {
    biometricPicturesPage->loadPictures(m_programDirectory + folder);
    biometricPage->loadPictures(m_programDirectory + folder);
}

void MainWindow::ApplyTexts() {
    QFont windowFont = font();
    windowFont.setFamily(textOf(TextKey::FontName));
    // A size that is not a whole number (an English file may leave it out) keeps the current size.
    if (const auto size = parseInteger(textOf(TextKey::FontSize)); size && *size > 0)
        windowFont.setPointSize(*size);
    setFont(windowFont);

    setWindowTitle(textOf(TextKey::P_Caption) + QStringLiteral("  V") + QLatin1String(ProgramVersion));

    tvUSBKey->applyTexts();
    for (::Page* page : m_pages)
        page->applyTexts();
    AcShowMainWindow->setText(textOf(TextKey::Main_Form_PopupMenu_listMain));
    AcAdvanced->setText(textOf(TextKey::Main_Form_PopupMenu_Advanced));
    AcCheckSystem->setText(textOf(TextKey::Main_Form_PopupMenu_CheceSystem));
    AcAbout->setText(textOf(TextKey::Main_Form_PopupMenu_About));
    AcExit->setText(textOf(TextKey::Main_Form_PopupMenu_Close));
    btnGenResponse->setText(textOf(TextKey::P_GenResporse));
}

void MainWindow::SwitchLanguage(int index) {
    const QString file = SwitchLanguageFile(m_programDirectory, m_appInfo.CfgPath, index);
    if (file.isEmpty())
        return;
    LanguageTable::instance().LoadLanguageFile(file);
    ApplyTexts();
    // The fingerprint wording the discovery puts back is the new language's: the one taken when the window was
    // created would bring the old language's biometric texts back on a fingerprint token.
    LanguageTable::instance().SwitchBiometricWording(LanguageTable::SnapshotWording);
    tvUSBKey->BuildTreeRoots();
    DiscoverKeys();
}

void MainWindow::restoreFromAnotherInstance() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog && dialog != this && dialog->isVisible() && dialog->isEnabled()) {
        dialog->raise();
        dialog->activateWindow();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_Closing = true;
    event->accept();
}

void MainWindow::TCloseProjectTimer() {
    TCloseProject->stop();
    DialogService::information(this, textOf(TextKey::K_pkcs11Init_Error));
    close();
}
