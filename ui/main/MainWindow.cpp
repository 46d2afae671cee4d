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
#include "ui/main/UserPinPage.h"
#include "ui/system/AboutPage.h"
#include "ui/system/SystemCheckPage.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QProcess>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using FormControls::bindToAction;

namespace {

constexpr char ProgramVersion[] = VX_VERSION;
constexpr QSize DefaultSize(820, 580);
constexpr int BannerHeight = 72;
constexpr int TreeWidth = 230;

QTimer* makeTimer(QObject* owner, const char* name, int interval) {
    auto* timer = new QTimer(owner);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(interval);
    return timer;
}

void loadPictureIfPresent(QLabel* target, const QString& path) {
    if (QFileInfo::exists(path))
        target->setPixmap(QPixmap(path));
}

} // namespace

// The window's designed pictures live in the GUI library, which the linker would otherwise leave out.
static void loadDesignedPictures() {
    Q_INIT_RESOURCE(images);
}

MainWindow::MainWindow(QString programDirectory, QWidget* parent, OperationLog log)
    : QMainWindow(parent), actions(this), m_programDirectory(std::move(programDirectory)),
      m_tokenLibrary(m_programDirectory, std::move(log)),
      m_treeImages((loadDesignedPictures(), QList<QString>{QStringLiteral(":/tree-token.png"),
                                                           {},
                                                           {},
                                                           QStringLiteral(":/tree-certificate.png"),
                                                           QStringLiteral(":/tree-pin.png"),
                                                           {},
                                                           {},
                                                           {},
                                                           {},
                                                           QStringLiteral(":/tree-keylist.png"),
                                                           QStringLiteral(":/tree-system.png"),
                                                           QStringLiteral(":/tree-label.png"),
                                                           {},
                                                           {},
                                                           {},
                                                           {},
                                                           {},
                                                           {},
                                                           QStringLiteral(":/tree-fingerprint.png"),
                                                           {},
                                                           {},
                                                           {},
                                                           QStringLiteral(":/tree-remote.png"),
                                                           QStringLiteral(":/tree-fingervein.png")})) {
    setObjectName(QStringLiteral("TVX7100_Mgr"));
    resize(DefaultSize);
    buildLayout();
    bindActions();
    createTimers();

    ApplyTexts();
    LanguageTable::instance().SwitchBiometricWording(LanguageTable::SnapshotWording);
    setUpWindow();
}

// The window goes once, however it was closed, and takes the token library's session with it.
MainWindow::~MainWindow() {
    m_tokenLibrary.uninit_pkcs11();
}

void MainWindow::buildLayout() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnlMain"));
    setCentralWidget(central);

    imgBanner = new QLabel(central);
    imgBanner->setObjectName(QStringLiteral("imgBanner"));
    imgBanner->setFixedHeight(BannerHeight);
    imgBanner->setScaledContents(true);
    imgBanner->setPixmap(QPixmap(QStringLiteral(":/banner.jpg")));

    tvUSBKey = new QTreeWidget(central);
    tvUSBKey->setObjectName(QStringLiteral("tvUSBKey"));
    tvUSBKey->setHeaderHidden(true);
    tvUSBKey->setFixedWidth(TreeWidth);
    tvUSBKey->setEditTriggers(QAbstractItemView::NoEditTriggers);

    pnlAdmin = new QFrame(central);
    pnlAdmin->setObjectName(QStringLiteral("pnlAdmin"));
    pnlAdmin->setFixedWidth(TreeWidth);
    btnGenResponse = FormControls::button(pnlAdmin, "btnGenResponse");
    auto* adminLayout = new QVBoxLayout(pnlAdmin);
    adminLayout->setContentsMargins(0, 0, 0, 0);
    adminLayout->addWidget(btnGenResponse);

    pcMain = new QStackedWidget(central);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    keyInfoPage = new KeyInfoPage(pcMain);
    userPinPage = new UserPinPage(pcMain);
    keyLabelPage = new KeyLabelPage(pcMain);
    loginPage = new LoginPage(pcMain);
    certificatePage = new CertificatePage(pcMain);
    systemCheckPage = new SystemCheckPage(pcMain);
    aboutPage = new AboutPage(pcMain);
    initializationPage = new InitializationPage(pcMain);
    soPinPage = new SoPinPage(pcMain);
    unlockPage = new UnlockPage(pcMain);
    cdromImagePage = new CdromImagePage(pcMain);
    biometricPage = new BiometricPage(pcMain);
    biometricPicturesPage = new BiometricPicturesPage(pcMain);
    adminLoginPage = new AdminLoginPage(pcMain);
    remoteUnlockPage = new RemoteUnlockPage(pcMain);
    for (QWidget* page : std::initializer_list<QWidget*>{
             keyInfoPage, userPinPage, keyLabelPage, loginPage, certificatePage, systemCheckPage, aboutPage,
             initializationPage, soPinPage, unlockPage, cdromImagePage, biometricPage, biometricPicturesPage,
             adminLoginPage, remoteUnlockPage})
        pcMain->addWidget(page);

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

    // The spare pop-up menu belongs to no control; it carries the exit action.
    pmSpare = new QMenu(this);
    pmSpare->setObjectName(QStringLiteral("pmSpare"));
    pmSpare->addActions({actions.AcShowMainWindow, actions.AcAdvanced, actions.AcCheckSystem, actions.AcAbout});
    pmSpare->addSeparator();
    pmSpare->addAction(actions.AcExit);
    certificatePage->PMCertInfo->addActions({actions.AcListCert, actions.AcOutput, actions.AcDel, actions.AcDelCert});
}

void MainWindow::bindActions() {
    bindToAction(keyInfoPage->btnRefreshKeys, actions.AcKeyRefresh);
    bindToAction(userPinPage->btnOK, actions.AcSetUserPIN);
    bindToAction(keyLabelPage->RzButton1, actions.AcSetKeyName);
    bindToAction(loginPage->btnlogon, actions.AcLogin);
    bindToAction(loginPage->RzButton3, actions.AcCancel);
    bindToAction(loginPage->Button20, actions.AcFingerlogon);
    bindToAction(certificatePage->btnDel, actions.AcDel);
    bindToAction(certificatePage->btnListCert, actions.AcListCert);
    bindToAction(certificatePage->btnOutput, actions.AcOutput);
    bindToAction(certificatePage->btnInputCert, actions.AcInputCert);
    bindToAction(certificatePage->btnUnRegCert, actions.AcUnRegCert);
    bindToAction(certificatePage->btnRegCert, actions.AcRegCert);
    bindToAction(certificatePage->btnLogout, actions.Aclogout);
    bindToAction(certificatePage->btnRefreshCert, actions.Acrefresh);
    bindToAction(systemCheckPage->btnMore, actions.AcMore);
    bindToAction(systemCheckPage->btnSave, actions.AcSave);
    bindToAction(systemCheckPage->btnUpdate, actions.AcUpdate);
    bindToAction(initializationPage->btnInit, actions.AcInit);
    bindToAction(soPinPage->btnSetSOPIN, actions.AcSetSOPIN);
    bindToAction(unlockPage->btnUnlock, actions.AcUnlock);
    bindToAction(cdromImagePage->btnDownISO, actions.AcDownISO);
    bindToAction(biometricPage->btnFingerTest, actions.AcFingerTest);
    bindToAction(biometricPage->btnFingerUnlock, actions.AcFingerUnlock);
    bindToAction(biometricPage->btnFingerDel, actions.AcFingerDel);
    bindToAction(adminLoginPage->btnSOPINLogin, actions.AcFinger_SOPIN_Login);
    bindToAction(adminLoginPage->btnFingerLoginCancel, actions.AcFingerLoginCancel);
    bindToAction(adminLoginPage->btnSOPINFingerLogin, actions.AcFinger_SOPINFinger_Login);
    bindToAction(remoteUnlockPage->btnRequest, actions.AcRequest);
    bindToAction(remoteUnlockPage->btnRemoteUnLock, actions.AcRemoteUnLock);
    // The study button stays hidden; the study runs from the enrolment.
    connect(biometricPage->btnFingerStudy, &QPushButton::clicked, actions.AcFingerStudy, &QAction::trigger);
    biometricPage->btnFingerStudy->setVisible(false);
    loginPage->RzButton3->setShortcut(QKeySequence(Qt::Key_Escape));

    connect(actions.AcExit, &QAction::triggered, this, &QWidget::close);
    connect(loginPage->edtUPIN, &QLineEdit::textChanged, loginPage, &LoginPage::showPinLength);
    connect(aboutPage->cbLanguageID, &QComboBox::activated, this, &MainWindow::SwitchLanguage);
    connect(tvUSBKey, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) { tvUSBKeyChange(node); });

    connect(actions.AcLogin, &QAction::triggered, this, &MainWindow::AcLoginExecute);
    // Enter logs in whatever the button's state: the token judges the PIN.
    connect(loginPage->edtUPIN, &QLineEdit::returnPressed, this, &MainWindow::AcLoginExecute);
    connect(loginPage->edtUPIN, &QLineEdit::textChanged, this, &MainWindow::updateLoginAction);
    connect(actions.AcCancel, &QAction::triggered, loginPage->edtUPIN, &QLineEdit::clear);
    connect(actions.Aclogout, &QAction::triggered, this, &MainWindow::AclogoutExecute);

    connect(actions.AcListCert, &QAction::triggered, this, &MainWindow::AcListCertExecute);
    connect(actions.Acrefresh, &QAction::triggered, this, &MainWindow::AcrefreshExecute);
    // A double-click shows the certificate, and so does Enter on the keyboard.
    connect(certificatePage->tvCert, &QTreeWidget::itemActivated, this, &MainWindow::AcListCertExecute);
    connect(certificatePage->tvCert, &QTreeWidget::itemSelectionChanged, this, &MainWindow::UpdateCertActions);
    connect(certificatePage->tvCert, &QWidget::customContextMenuRequested, this, &MainWindow::tvCertContextMenu);

    connect(actions.AcSetUserPIN, &QAction::triggered, this, &MainWindow::AcSetUserPINExecute);
    connect(userPinPage->edtNewUPin2, &QLineEdit::returnPressed, this, &MainWindow::AcSetUserPINExecute);
    for (QLineEdit* edit : userPinPage->edits())
        connect(edit, &QLineEdit::textChanged, this, &MainWindow::updatePinAndLabelActions);
    connect(actions.AcSetKeyName, &QAction::triggered, this, &MainWindow::AcSetKeyNameExecute);
    connect(keyLabelPage->edtKeyName, &QLineEdit::textChanged, this, &MainWindow::updatePinAndLabelActions);
    connect(actions.AcKeyRefresh, &QAction::triggered, this, [this] {
        if (DiscoverKeys() == 0)
            TCheckInit->start();
    });
}

void MainWindow::createTimers() {
    TFindUSBKey = makeTimer(this, "TFindUSBKey", 1000);
    TCheckInit = makeTimer(this, "TCheckInit", 400);
    TCloseProject = makeTimer(this, "TCloseProject", 500);
    TSetFocusUPIN = makeTimer(this, "TSetFocusUPIN", 100);
    TimerCert = makeTimer(this, "TimerCert", 2000);
    TRegCert = makeTimer(this, "TRegCert", 1000);
    connect(TCloseProject, &QTimer::timeout, this, &MainWindow::TCloseProjectTimer);
    connect(TCheckInit, &QTimer::timeout, this, &MainWindow::TCheckInitTimer);
    connect(TFindUSBKey, &QTimer::timeout, this, &MainWindow::TFindUSBKeyTimer);
    connect(TSetFocusUPIN, &QTimer::timeout, this, &MainWindow::TSetFocusUPINTimer);
}

void MainWindow::setUpWindow() {
    ReadAppInfo(m_programDirectory + QStringLiteral("APPInfo.ini"), m_appInfo);
    ParseProductIds(m_appInfo.PID, m_productIds);

    // The update, the report and the check-again buttons are not offered on this desktop build's diagnostics page;
    // the download bar shows only while an update downloads.
    actions.AcUpdate->setVisible(false);
    systemCheckPage->pbURLDownFile->setVisible(false);
    actions.AcSave->setVisible(false);
    actions.AcMore->setVisible(false);

    usbWatch = new TUSB(this);
    usbWatch->OnArrival = [this](TUSB& watch) { usbArrival(watch.ProductId()); };
    usbWatch->OnRemoval = [this](TUSB& watch) { usbRemoval(watch.ProductId()); };

    ShowPage(KeyInfo);

    pnlAdmin->setVisible(false);
    aboutPage->label_language->setVisible(false);
    aboutPage->cbLanguageID->setVisible(false);
    for (QAction* hidden : {actions.AcDel, actions.AcInputCert, actions.AcDelCert, actions.AcOutput, actions.AcRegCert,
                            actions.AcUnRegCert})
        hidden->setVisible(false);

    initializationPage->edtInit_KeyName->setText(QStringLiteral("VX7100"));
    BuildTreeRoots();
    loginPage->showPinLength();
    ReadUserConfig(UserConfigDir(m_appInfo.CfgPath) + QLatin1String(UserConfigFileName), m_userConfig);
    initializationPage->tcInit->setCurrentIndex(InitializationPage::BaseTab);
    loadBanner();
    loadBiometricPictures(QStringLiteral("res/Finger/"));
    initializationPage->tcInit->setTabVisible(InitializationPage::BiometricTab, false);
    m_skfLibrary.Load(LibraryLocation(m_programDirectory, m_appInfo.SKFLib));
    m_tokenLibrary.helper_register_cert_viewer(&CertificateViewer::showFromLibrary);
    startCompanionProgram();
    m_pcsc.Load();

    if (windowTitle().startsWith(QLatin1String("F7X"))) {
        pnlAdmin->setVisible(false);
        actions.AcFingerlogon->setVisible(false);
    }
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

QTreeWidgetItem* MainWindow::addTreeNode(QTreeWidgetItem* parent, const QString& text, int imageIndex) {
    auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvUSBKey);
    node->setText(0, text);
    node->setIcon(0, m_treeImages.icon(imageIndex));
    node->setData(0, ImageIndexRole, imageIndex);
    return node;
}

void MainWindow::BuildTreeRoots() {
    tvUSBKey->clear();
    addTreeNode(nullptr, textOf(TextKey::Main_Form_Treeview), KeyListImage);
    addTreeNode(nullptr, textOf(TextKey::Main_Form_PopupMenu_CheceSystem), SystemImage);
}

void MainWindow::loadBanner() {
    loadPictureIfPresent(imgBanner, m_programDirectory + QStringLiteral("res/top_img.jpg"));
}

void MainWindow::loadBiometricPictures(const QString& folder) {
    const QString base = m_programDirectory + folder;
    loadPictureIfPresent(biometricPicturesPage->imgFingerOK, base + QStringLiteral("FingerOK.png"));
    loadPictureIfPresent(biometricPicturesPage->imgFingerError, base + QStringLiteral("FingerError.png"));
    loadPictureIfPresent(biometricPicturesPage->imgFingerDemo, base + QStringLiteral("FingerDemo.gif"));
    loadPictureIfPresent(biometricPage->Imghand, base + QStringLiteral("FingerHand.png"));
    biometricPage->IL32.clear();
    biometricPage->IL32.addFile(base + QStringLiteral("F1.bmp"));
    biometricPage->IL32.addFile(base + QStringLiteral("F2.bmp"));
}

void MainWindow::ApplyTexts() {
    QFont windowFont = font();
    windowFont.setFamily(textOf(TextKey::FontName));
    // A size that is not a whole number (an English file may leave it out) keeps the current size.
    if (const auto size = parseInteger(textOf(TextKey::FontSize)); size && *size > 0)
        windowFont.setPointSize(*size);
    setFont(windowFont);

    setWindowTitle(textOf(TextKey::P_Caption) + QStringLiteral("  V") + QLatin1String(ProgramVersion));

    if (QTreeWidgetItem* root = tvUSBKey->topLevelItem(0))
        root->setText(0, textOf(TextKey::Main_Form_Treeview));
    keyInfoPage->applyTexts();
    actions.AcKeyRefresh->setText(textOf(TextKey::Main_Form_btn_Refresh));
    actions.Acrefresh->setText(textOf(TextKey::Main_Form_btn_Refresh));
    actions.AcInputCert->setText(textOf(TextKey::Main_Form_btn_Import));
    actions.AcOutput->setText(textOf(TextKey::Main_Form_btn_Output));
    actions.AcDel->setText(textOf(TextKey::Main_Form_btn_Del));
    actions.AcShowMainWindow->setText(textOf(TextKey::Main_Form_PopupMenu_listMain));
    actions.AcAdvanced->setText(textOf(TextKey::Main_Form_PopupMenu_Advanced));
    actions.AcCheckSystem->setText(textOf(TextKey::Main_Form_PopupMenu_CheceSystem));
    actions.AcAbout->setText(textOf(TextKey::Main_Form_PopupMenu_About));
    actions.AcExit->setText(textOf(TextKey::Main_Form_PopupMenu_Close));
    actions.AcLogin->setText(textOf(TextKey::Login_Form_btn_OK));
    actions.AcCancel->setText(textOf(TextKey::C_Btn_Cancel));
    actions.AcFingerLoginCancel->setText(textOf(TextKey::C_Btn_Cancel));
    actions.Aclogout->setText(textOf(TextKey::K_Logout));
    actions.AcListCert->setText(textOf(TextKey::btn_ViewCert));
    loginPage->applyTexts();
    userPinPage->applyTexts();
    systemCheckPage->applyTexts();
    aboutPage->applyTexts();
    initializationPage->applyTexts();
    keyLabelPage->applyTexts();
    actions.AcInit->setText(textOf(TextKey::Admin_btn_Init));
    actions.AcSetSOPIN->setText(textOf(TextKey::Admin_btn_SOPIN));
    actions.AcUnlock->setText(textOf(TextKey::Admin_btn_Unlock));
    actions.AcDownISO->setText(textOf(TextKey::Admin_btn_DownISO));
    actions.AcSetUserPIN->setText(textOf(TextKey::C_btn_Set));
    actions.AcSetKeyName->setText(textOf(TextKey::C_btn_Set));
    soPinPage->applyTexts();
    unlockPage->applyTexts();
    cdromImagePage->applyTexts();
    actions.AcRegCert->setText(textOf(TextKey::K_Cert_Reg));
    actions.AcUnRegCert->setText(textOf(TextKey::K_Cert_UnReg));
    actions.AcDelCert->setText(textOf(TextKey::K_Cert_Del));
    actions.AcUpdate->setText(textOf(TextKey::U_CheckVersion));
    actions.AcSave->setText(textOf(TextKey::btn_Save));
    actions.AcMore->setText(textOf(TextKey::btn_More));
    actions.AcFingerTest->setText(textOf(TextKey::F_Finger_Test));
    actions.AcFingerDel->setText(textOf(TextKey::F_Finger_Del));
    actions.AcFingerUnlock->setText(textOf(TextKey::F_User_Unlock));
    actions.AcFingerlogon->setText(textOf(TextKey::F_Logon));
    actions.AcFinger_SOPINFinger_Login->setText(textOf(TextKey::F_Logon));
    actions.AcFinger_SOPIN_Login->setText(textOf(TextKey::F_Admin_Longin));
    biometricPage->applyTexts();
    adminLoginPage->applyTexts();
    remoteUnlockPage->applyTexts();
    actions.AcRequest->setText(textOf(TextKey::P_Gen));
    actions.AcRemoteUnLock->setText(textOf(TextKey::P_Unlock));
    btnGenResponse->setText(textOf(TextKey::P_GenResporse));
}

void MainWindow::SwitchLanguage(int index) {
    const QString file = SwitchLanguageFile(m_programDirectory, index);
    if (file.isEmpty())
        return;
    LanguageTable::instance().LoadLanguageFile(file);
    ApplyTexts();
    BuildTreeRoots();
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
