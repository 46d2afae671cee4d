#include "app/IniFile.h"
#include "app/LanguageTable.h"
#include "common/WindowTestCase.h"
#include "ui/administration/InitializationPage.h"
#include "ui/main/CertificatePage.h"
#include "ui/main/DialogService.h"
#include "ui/main/KeyInfoPage.h"
#include "ui/main/LoginPage.h"
#include "ui/main/NavigationTree.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

// The main window as created: its controls, what it hides, its texts and the ways it closes.
class MainWindowTest : public WindowTestCase {
    Q_OBJECT

    // The window opens the token library once shown, so every test gives it one that opens, on no token.
    QString programDirectory() const { return m_program->directory(); }

    void writeProgramFile(const QString& name, const QByteArray& content) { m_program->writeFile(name, content); }

private Q_SLOTS:
    void everyNamedControlExists_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        const std::initializer_list<std::pair<const char*, const char*>> controls = {
            {"imgBanner", "QLabel"},
            {"tvUSBKey", "QTreeWidget"},
            {"pnlAdmin", "QFrame"},
            {"btnGenResponse", "QPushButton"},
            {"pcMain", "QStackedWidget"},
            {"pmSpare", "QMenu"},
            {"lvKeyInfo", "QTreeWidget"},
            {"btnRefreshKeys", "QPushButton"},
            {"edtOldUPin", "QLineEdit"},
            {"edtNewUPin1", "QLineEdit"},
            {"edtNewUPin2", "QLineEdit"},
            {"btnOK", "QPushButton"},
            {"Label2", "QLabel"},
            {"Label3", "QLabel"},
            {"Label4", "QLabel"},
            {"Label8", "QLabel"},
            {"edtKeyName", "QLineEdit"},
            {"RzButton1", "QPushButton"},
            {"Label14", "QLabel"},
            {"Lkeyname", "QLabel"},
            {"RzLabel1", "QLabel"},
            {"edtUPIN", "QLineEdit"},
            {"Label10", "QLabel"},
            {"btnlogon", "QPushButton"},
            {"RzButton3", "QPushButton"},
            {"Button20", "QPushButton"},
            {"tvCert", "QTreeWidget"},
            {"PMCertInfo", "QMenu"},
            {"PBCert", "QProgressBar"},
            {"LVSystemInfo", "QTreeWidget"},
            {"pbURLDownFile", "QProgressBar"},
            {"label_language", "QLabel"},
            {"cbLanguageID", "QComboBox"},
            {"Label15", "QLabel"},
            {"Label17", "QLabel"},
            {"Label18", "QLabel"},
            {"Label19", "QLabel"},
            {"Label20", "QLabel"},
            {"init", "InitializationPage"},
            {"tcInit", "QTabWidget"},
            {"edtInit_KeyName", "QLineEdit"},
            {"edtInit_GS", "QLineEdit"},
            {"edtInit_UnLockPIN", "QLineEdit"},
            {"edtInit_SPIN", "QLineEdit"},
            {"edtInit_SOPINlenMin", "QSpinBox"},
            {"edtInit_SOPINlenMax", "QSpinBox"},
            {"edtInit_MaxCount_SOPIN", "QSpinBox"},
            {"edtInit_UPIN", "QLineEdit"},
            {"edtInit_PINlenMin", "QSpinBox"},
            {"edtInit_PINLenMax", "QSpinBox"},
            {"edtInit_MaxCount", "QSpinBox"},
            {"edtInit_SOPINTry", "QSpinBox"},
            {"edtInit_SOPINLeve", "QSpinBox"},
            {"edtInit_UPINTry", "QSpinBox"},
            {"edtInit_UPINLeve", "QSpinBox"},
            {"setsopin", "SoPinPage"},
            {"edtSPIN", "QLineEdit"},
            {"edtNewSPIN1", "QLineEdit"},
            {"edtNewSPIN2", "QLineEdit"},
            {"LAdmin_Old_SOPIN", "QLabel"},
            {"LAdmin_New_SOPIN1", "QLabel"},
            {"LAdmin_new_SOPIN2", "QLabel"},
            {"Unlock", "UnlockPage"},
            {"edtSPINForUnLock", "QLineEdit"},
            {"edtUPINForUnlock1", "QLineEdit"},
            {"edtUPINForUnlock2", "QLineEdit"},
            {"LAdmin_SOPIN", "QLabel"},
            {"LAdmin_New_UPIN1", "QLabel"},
            {"LAdmin_New_UPIN2", "QLabel"},
            {"edtUPINForDownISO", "QLineEdit"},
            {"edtPath", "QLineEdit"},
            {"LAdmin_UPIN", "QLabel"},
            {"LAdmin_ISOPath", "QLabel"},
            {"PBISO", "QProgressBar"},
            {"Finger", "BiometricPage"},
            {"PCFinger", "QTabWidget"},
            {"Imghand", "QLabel"},
            {"SpeedButton1", "QToolButton"},
            {"SpeedButton10", "QToolButton"},
            {"LFingerInfo1", "QLabel"},
            {"SOPINLogin", "AdminLoginPage"},
            {"Label12", "QLabel"},
            {"LFingerKeyName", "QLabel"},
            {"edtFingerSPIN", "QLineEdit"},
            {"RemoteUnlock", "RemoteUnlockPage"},
            {"Label44", "QLabel"},
            {"edtRequestStr", "QLineEdit"},
            {"Label45", "QLabel"},
            {"edtUnlockCode", "QPlainTextEdit"},
            {"AcLogin", "QAction"},
            {"AcCancel", "QAction"},
            {"Aclogout", "QAction"},
            {"AcFingerlogon", "QAction"},
            {"AcDel", "QAction"},
            {"AcListCert", "QAction"},
            {"AcOutput", "QAction"},
            {"AcInputCert", "QAction"},
            {"AcUnRegCert", "QAction"},
            {"AcRegCert", "QAction"},
            {"AcDelCert", "QAction"},
            {"Acrefresh", "QAction"},
            {"AcSetUserPIN", "QAction"},
            {"AcSetKeyName", "QAction"},
            {"AcInit", "QAction"},
            {"AcSetSOPIN", "QAction"},
            {"AcUnlock", "QAction"},
            {"AcDownISO", "QAction"},
            {"AcRequest", "QAction"},
            {"AcRemoteUnLock", "QAction"},
            {"AcFingerTest", "QAction"},
            {"AcFingerUnlock", "QAction"},
            {"AcFingerDel", "QAction"},
            {"AcFingerStudy", "QAction"},
            {"AcFinger_SOPIN_Login", "QAction"},
            {"AcFingerLoginCancel", "QAction"},
            {"AcFinger_SOPINFinger_Login", "QAction"},
            {"AcMore", "QAction"},
            {"AcSave", "QAction"},
            {"AcUpdate", "QAction"},
            {"AcExit", "QAction"},
            {"TFindUSBKey", "QTimer"},
            {"TCheckInit", "QTimer"},
            {"TCloseProject", "QTimer"},
            {"TSetFocusUPIN", "QTimer"},
            {"TimerCert", "QTimer"},
            {"TRegCert", "QTimer"},
        };
        for (const auto& [name, className] : controls)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className);
    }
    void everyNamedControlExists() {
        QFETCH(QString, name);
        QFETCH(QString, className);
        const MainWindow window(programDirectory());
        const QList<QObject*> found = window.findChildren<QObject*>(name);
        QCOMPARE(found.size(), 1);
        QVERIFY2(found.front()->inherits(className.toLatin1()), found.front()->metaObject()->className());
    }

    void pagesAreInTheirPlaces() {
        const MainWindow window(programDirectory());
        const QStackedWidget* pages = findNamed<QStackedWidget>(window, "pcMain");
        QCOMPARE(pages->count(), 15);
        QCOMPARE(pages->widget(MainWindow::Initialization)->objectName(), QStringLiteral("init"));
        QCOMPARE(pages->widget(MainWindow::SoPin)->objectName(), QStringLiteral("setsopin"));
        QCOMPARE(pages->widget(MainWindow::UnlockUserPin)->objectName(), QStringLiteral("Unlock"));
        QCOMPARE(pages->widget(MainWindow::Biometric)->objectName(), QStringLiteral("Finger"));
        QCOMPARE(pages->widget(MainWindow::AdminLogin)->objectName(), QStringLiteral("SOPINLogin"));
        QCOMPARE(pages->widget(MainWindow::RemoteUnlock)->objectName(), QStringLiteral("RemoteUnlock"));
        QCOMPARE(pages->currentIndex(), int(MainWindow::KeyInfo));
    }

    void creationHidesWhatTheDesktopBuildDoesNotOffer() {
        const MainWindow window(programDirectory());
        for (const char* name :
             {"AcUpdate", "AcSave", "AcMore", "AcDel", "AcInputCert", "AcDelCert", "AcRegCert", "AcUnRegCert"})
            QVERIFY2(!findNamed<QAction>(window, name)->isVisible(), name);
        for (const char* name :
             {"btnUpdate", "btnSave", "btnMore", "btnDel", "btnInputCert", "btnRegCert", "btnUnRegCert",
              "pbURLDownFile", "pnlAdmin", "label_language", "cbLanguageID", "PBCert", "btnFingerStudy"})
            QVERIFY2(findNamed<QWidget>(window, name)->isHidden(), name);
        for (const char* name : {"btnListCert", "btnOutput", "btnLogout", "btnRefreshCert", "btnlogon", "Button20"})
            QVERIFY2(!findNamed<QWidget>(window, name)->isHidden(), name);
        QList<QAction*> menuEntries;
        for (QAction* entry : findNamed<QMenu>(window, "PMCertInfo")->actions())
            if (entry->isVisible())
                menuEntries.append(entry);
        // Without a language file saying otherwise, the export is offered.
        QCOMPARE(menuEntries,
                 (QList<QAction*>{findNamed<QAction>(window, "AcListCert"), findNamed<QAction>(window, "AcOutput")}));

        QCOMPARE(findNamed<QTabWidget>(window, "tcInit")->currentIndex(), int(InitializationPage::BaseTab));
        QVERIFY(!findNamed<QTabWidget>(window, "tcInit")->isTabVisible(InitializationPage::BiometricTab));
        QCOMPARE(findNamed<QLineEdit>(window, "edtInit_KeyName")->text(), QStringLiteral("VX7100"));
        QCOMPARE(findNamed<QLabel>(window, "Label10")->text(), QStringLiteral("0"));
        for (QTimer* timer : window.findChildren<QTimer*>())
            if (timer->objectName().startsWith(u'T'))
                QVERIFY2(!timer->isActive(), qPrintable(timer->objectName()));
        QCOMPARE(findNamed<QTimer>(window, "TFindUSBKey")->interval(), 1000);
        QCOMPARE(findNamed<QTimer>(window, "TCheckInit")->interval(), 400);
        QCOMPARE(findNamed<QTimer>(window, "TCloseProject")->interval(), 500);
        QCOMPARE(findNamed<QTimer>(window, "TSetFocusUPIN")->interval(), 100);
        QCOMPARE(findNamed<QTimer>(window, "TimerCert")->interval(), 2000);
        QCOMPARE(findNamed<QTimer>(window, "TRegCert")->interval(), 1000);
        QCOMPARE(window.productIds().count, 2);
        QCOMPARE(window.productIds().ids[1], 258);
    }

    void treeHasItsTwoRoots() {
        const MainWindow window(programDirectory());
        QCOMPARE(findNamed<QTreeWidget>(window, "tvUSBKey")->topLevelItemCount(), 2);
        const QTreeWidgetItem* keys = findNamed<QTreeWidget>(window, "tvUSBKey")->topLevelItem(0);
        const QTreeWidgetItem* system = findNamed<QTreeWidget>(window, "tvUSBKey")->topLevelItem(1);
        QCOMPARE(keys->text(0), QStringLiteral("USBKey列表"));
        QCOMPARE(keys->data(0, NavigationTree::ImageIndexRole).toInt(), 9);
        QVERIFY(!keys->icon(0).isNull());
        QCOMPARE(keys->childCount(), 0);
        QCOMPARE(system->text(0), QStringLiteral("系统信息"));
        QCOMPARE(system->data(0, NavigationTree::ImageIndexRole).toInt(), 10);
    }

    // Labels get one ASCII colon after the table text, even when the text already ends in a full-width one.
    void appliesTheBuiltInTexts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("login PIN label") << "RzLabel1"
                                         << "口令：:";
        QTest::newRow("login key label") << "Label14"
                                         << "您准备登录的USBKey为：:";
        QTest::newRow("old PIN") << "Label2"
                                 << "原口令：:";
        QTest::newRow("key name") << "Label8"
                                  << "请输入新USBKey名称：:";
        QTest::newRow("SO PIN confirm") << "LAdmin_new_SOPIN2"
                                        << "确认SO PIN:";
        QTest::newRow("unlock SO PIN") << "LAdmin_SOPIN"
                                       << "SO PIN:";
        QTest::newRow("image file") << "LAdmin_ISOPath"
                                    << "选择ISO文件:";
        QTest::newRow("request code") << "Label44"
                                      << "挑战码:";
        QTest::newRow("init issuer") << "lblInit_UnLockPIN"
                                     << "发行者:";
        QTest::newRow("biometric setting, no colon") << "lblInit_SOPINLeve"
                                                     << "管理员指纹验证级别";
        QTest::newRow("admin login SO PIN") << "lblSOPIN"
                                            << "SO PIN:";
        QTest::newRow("about web label") << "Label17"
                                         << "网址";
        QTest::newRow("biometric hint") << "LFingerInfo1"
                                        << "点击手指上的按钮，进行指纹录入或删除";
        QTest::newRow("login button") << "btnlogon"
                                      << "登录(&L)";
        QTest::newRow("cancel") << "RzButton3"
                                << "取消";
        QTest::newRow("change PIN") << "btnOK"
                                    << "修改";
        QTest::newRow("refresh keys") << "btnRefreshKeys"
                                      << "刷新";
        QTest::newRow("initialize") << "btnInit"
                                    << "初始化";
        QTest::newRow("generate response") << "btnGenResponse"
                                           << "生成应答码";
        QTest::newRow("unlock user fingers") << "btnFingerUnlock"
                                             << "解锁用户指纹";
    }
    void appliesTheBuiltInTexts() {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const MainWindow window(programDirectory());
        const QObject* control = window.findChild<QObject*>(name);
        QVERIFY(control);
        QCOMPARE(control->property("text").toString(), expected);
    }

    void captionCarriesTheVersion() {
        const MainWindow window(programDirectory());
        QCOMPARE(window.windowTitle(), QStringLiteral("PKI管理工具     V") + QStringLiteral(VX_VERSION));
        QCOMPARE(QStringLiteral(VX_VERSION).split(u'.').size(), 4);
        QCOMPARE(window.font().family(), QStringLiteral("宋体"));
        QCOMPARE(window.font().pointSize(), 9);
        QCOMPARE(findNamed<QTreeWidget>(window, "lvKeyInfo")->headerItem()->text(1), QStringLiteral("值"));
        QCOMPARE(findNamed<QAction>(window, "AcExit")->text(), QStringLiteral("退出"));
    }

    // A language file with nothing but a title blanks or empties every other text.
    void titleOnlyLanguageFile() {
        writeProgramFile(QStringLiteral("Languages/title.lng"), "[Caption]\nP_Caption=Only\n");
        LanguageTable::instance().LoadLanguageFile(m_program->filePath(QStringLiteral("Languages/title.lng")));
        const MainWindow window(programDirectory());
        QCOMPARE(window.windowTitle(), QStringLiteral("Only  V") + QStringLiteral(VX_VERSION));
        QCOMPARE(findNamed<QLabel>(window, "RzLabel1")->text(), QStringLiteral(" :"));
        QCOMPARE(findNamed<QTreeWidget>(window, "tvUSBKey")->topLevelItem(0)->text(0), QStringLiteral(" "));
        QCOMPARE(findNamed<QAction>(window, "AcInit")->text(), QString());
        QCOMPARE(findNamed<QAction>(window, "AcLogin")->text(), QStringLiteral(" "));
        // FontSize is empty then: the size stays what it was.
        QCOMPARE(window.font().pointSize(), QApplication::font().pointSize());
    }

    // A language file that sets config_Cert_Output to 0 withdraws the export, button and menu entry alike.
    void theLanguageFileWithdrawsTheExport() {
        writeProgramFile(QStringLiteral("Languages/noexport.lng"), "[Caption]\nconfig_Cert_Output=0\n");
        LanguageTable::instance().LoadLanguageFile(m_program->filePath(QStringLiteral("Languages/noexport.lng")));
        const MainWindow window(programDirectory());
        QVERIFY(!findNamed<QAction>(window, "AcOutput")->isVisible());
        QVERIFY(findNamed<QWidget>(window, "btnOutput")->isHidden());
    }

    void f7xCaptionHidesBiometricLogon() {
        writeProgramFile(QStringLiteral("Languages/f7x.lng"), "[Caption]\nP_Caption=F7Xtra\n");
        LanguageTable::instance().LoadLanguageFile(m_program->filePath(QStringLiteral("Languages/f7x.lng")));
        const MainWindow window(programDirectory());
        QVERIFY(!findNamed<QAction>(window, "AcFingerlogon")->isVisible());
        QVERIFY(findNamed<QPushButton>(window, "Button20")->isHidden());
        QVERIFY(findNamed<QFrame>(window, "pnlAdmin")->isHidden());
    }

    void failedLibraryOpenClosesAfterTheMessage() {
        MainWindow window(programDirectory());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        findNamed<QTimer>(window, "TCloseProject")->start();
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(DialogService::shownTexts(), QStringList{QStringLiteral("pkcs11初始化失败")});
        QVERIFY(!findNamed<QTimer>(window, "TCloseProject")->isActive());
        QVERIFY(window.isClosing());
    }

    void closeCommandClosesAsTheCloseBoxDoes_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("closes");
        QTest::newRow("CLOSE") << "CLOSE" << true;
        QTest::newRow("lower case") << "close" << false;
        QTest::newRow("LoadCert") << "LoadCert" << false;
        QTest::newRow("empty") << "" << false;
    }
    void closeCommandClosesAsTheCloseBoxDoes() {
        QFETCH(QString, command);
        QFETCH(bool, closes);
        MainWindow window(programDirectory());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.handleCopyData(command), 0);
        QCOMPARE(window.isVisible(), !closes);
        QCOMPARE(window.isClosing(), closes);
    }

    // However the window is closed, the token library is shut down once, when the window goes.
    void everyWayOfClosingShutsTheLibraryDownOnce_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("close box") << 0;
        QTest::newRow("exit action") << 1;
        QTest::newRow("CLOSE command") << 2;
    }
    void everyWayOfClosingShutsTheLibraryDownOnce() {
        QFETCH(int, way);
        {
            MainWindow window(programDirectory());
            QVERIFY(window.tokenLibrary().isLoaded());
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            if (way == 0)
                window.close();
            else if (way == 1)
                findNamed<QAction>(window, "AcExit")->trigger();
            else
                window.handleCopyData(QStringLiteral("CLOSE"));
            QVERIFY(!window.isVisible());
        }
        QCOMPARE(operationTrace().count("uninit_pkcs11 begin"), 1);
    }

    void exitActionCloses() {
        MainWindow window(programDirectory());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        findNamed<QAction>(window, "AcExit")->trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(window.isClosing());
    }

    void switchesToEnglishAndRemembersIt() {
        MainWindow window(programDirectory());
        window.SwitchLanguage(1);
        QVERIFY(window.windowTitle().startsWith(QLatin1String("PKI Management Tool     V")));
        QCOMPARE(findNamed<QTreeWidget>(window, "tvUSBKey")->topLevelItem(0)->text(0), QStringLiteral("USB keys"));
        QCOMPARE(findNamed<QTreeWidget>(window, "tvUSBKey")->topLevelItem(1)->text(0),
                 QStringLiteral("System information"));
        QCOMPARE(findNamed<QLabel>(window, "RzLabel1")->text(), QStringLiteral("PIN:"));
        const IniFile choice(m_program->filePath(QStringLiteral("Languages/LanguageConfig.ini")));
        QCOMPARE(choice.readInteger(QStringLiteral("Language"), QStringLiteral("LanguageID"), 0), 1033);
    }

    void anotherInstanceRestoresTheWindowAndItsDialog() {
        MainWindow window(programDirectory());
        window.showMinimized();
        QTRY_VERIFY(window.isMinimized());
        window.restoreFromAnotherInstance();
        QTRY_VERIFY(!window.isMinimized());

        QDialog dialog(&window);
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        window.activateWindow();
        window.restoreFromAnotherInstance();
        QTRY_COMPARE(QApplication::activeWindow(), &dialog);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
