#include "app/LanguageTable.h"
#include "common/WindowTestCase.h"
#include "token/TokenLibrary.h"
#include "ui/main/DialogService.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

// The window on PKCS#11 modules other than the virtual token's, as a user with a real card or a software token
// has them: SoftHSM2 with a token and the free slot it always offers, OpenSC without a reader, and a module that
// is not there. None of them has an SKF library.
class OtherModulesTest : public WindowTestCase {
    Q_OBJECT

    static constexpr char SoftHsm[] = "/usr/lib/softhsm/libsofthsm2.so";
    static constexpr char OpenSc[] = "/usr/lib/x86_64-linux-gnu/opensc-pkcs11.so";

    static void run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    }

    QString answered(const char* actionName) {
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action(actionName)->trigger();
        return DialogService::shownTexts().value(0);
    }

    // A SoftHSM2 token "Soft token" (user PIN 12345678, SO PIN 87654321) and the free slot beside it, in the
    // window, past the box that says the free slot's token was never initialized.
    void openOnSoftHsm(const QByteArray& flags = "PID=0x0101\n") {
        const QString tokens = QDir::homePath() + u"/softhsm"_s;
        QVERIFY(QDir().mkpath(tokens));
        qputenv("SOFTHSM2_CONF", QFile::encodeName(m_program->filePath(u"softhsm2.conf"_s)));
        m_program->writeFile(u"softhsm2.conf"_s,
                             "directories.tokendir = " + QFile::encodeName(tokens) + "\nobjectstore.backend = file\n");
        run(u"softhsm2-util"_s,
            {"--init-token", "--free", "--label", "Soft token", "--pin", "12345678", "--so-pin", "87654321"});
        m_program->writeProfile(flags, SoftHsm, "");
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        openWindow();
        QTRY_COMPARE(DialogService::shownTexts(), QStringList{u"设备未初始化，请与管理员联系"_s});
    }

private Q_SLOTS:
    void softHsmTokenAndFreeSlot() {
        if (!QFile::exists(QLatin1String(SoftHsm)))
            QSKIP("SoftHSM2 is not installed");
        openOnSoftHsm();
        QTreeWidgetItem* root = navigation()->topLevelItem(0);
        QCOMPARE(root->childCount(), 2);
        QCOMPARE(root->child(0)->text(0), u"Soft token"_s);
        // SoftHSM2 cannot tell its memory: unknown, not a full token.
        const QTreeWidget* info = control<QTreeWidget>("lvKeyInfo");
        const QList<QTreeWidgetItem*> memory = info->findItems(u"剩余空间"_s, Qt::MatchExactly);
        QCOMPARE(memory.size(), 1);
        QCOMPARE(memory.front()->text(1), u"未知"_s);

        // SoftHSM2 cannot tell the tries left.
        navigation()->setCurrentItem(root->child(0)->child(2));
        control<QLineEdit>("edtUPIN")->setText(u"00000000"_s);
        QCOMPARE(answered("AcLogin"), u"口令不正确"_s);
        control<QLineEdit>("edtUPIN")->setText(u"12345678"_s);
        action("AcLogin")->trigger();
        QCOMPARE(currentPage(), int(MainWindow::Certificates));
        QCOMPARE(control<QTreeWidget>("tvCert")->topLevelItem(0)->text(0), u"(无容器)"_s);

        navigation()->setCurrentItem(root->child(0)->child(0));
        control<QLineEdit>("edtOldUPin")->setText(u"00000000"_s);
        control<QLineEdit>("edtNewUPin1")->setText(u"24681357"_s);
        control<QLineEdit>("edtNewUPin2")->setText(u"24681357"_s);
        QCOMPARE(answered("AcSetUserPIN"), u"口令不正确"_s);
        control<QLineEdit>("edtOldUPin")->setText(u"12345678"_s);
        QCOMPARE(answered("AcSetUserPIN"), u"修改成功"_s);
        // A label changes only by wiping the token, which plain PKCS#11 leaves to its tools.
        navigation()->setCurrentItem(root->child(0)->child(1));
        QCOMPARE(answered("AcSetKeyName"), u"修改失败 ErrorCode :String=  = 0x0A000001"_s);

        // The free slot's token: shown, and refused a login before any PIN is sent.
        navigation()->setCurrentItem(root->child(1)->child(2));
        control<QLineEdit>("edtUPIN")->setText(u"12345678"_s);
        QCOMPARE(answered("AcLogin"), u"设备未初始化，请与管理员联系"_s);
    }

    // Plain PKCS#11 initializes a token with its label and both PINs, and unblocks the user with the SO PIN; the
    // administrator is told what such a token keeps of its own.
    void softHsmAdministration() {
        if (!QFile::exists(QLatin1String(SoftHsm)))
            QSKIP("SoftHSM2 is not installed");
        openOnSoftHsm("PID=0x0101\nAdminTools=1\n");
        QTreeWidgetItem* administration = navigation()->topLevelItem(0)->child(0)->child(4);
        navigation()->setCurrentItem(administration);
        control<QLineEdit>("edtInit_KeyName")->setText(u"Help desk"_s);
        control<QLineEdit>("edtInit_SPIN")->setText(u"11223344"_s);
        control<QLineEdit>("edtInit_UPIN")->setText(u"55667788"_s);
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::Yes);
        DialogService::setNextInput(u"87654321"_s);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcInit")->trigger();
        QCOMPARE(DialogService::shownTexts().value(2), u"操作成功\n"_s + textOf(TextKey::K_Init_Plain));
        QCOMPARE(navigation()->topLevelItem(0)->child(0)->text(0), u"Help desk"_s);
        TokenLibrary& tokens = m_window->tokenLibrary();
        int32_t remaining = 0;
        QCOMPARE(tokens.token_login(0, Pin(u"55667788"_s), remaining), 0);
        QCOMPARE(tokens.token_login_so(0, Pin(u"11223344"_s), remaining), 0);

        navigation()->setCurrentItem(navigation()->topLevelItem(0)->child(0)->child(4)->child(2));
        control<QLineEdit>("edtSPINForUnLock")->setText(u"11223344"_s);
        control<QLineEdit>("edtUPINForUnlock1")->setText(u"99990000"_s);
        control<QLineEdit>("edtUPINForUnlock2")->setText(u"99990000"_s);
        QCOMPARE(answered("AcUnlock"), u"操作成功"_s);
        QCOMPARE(tokens.token_login(0, Pin(u"99990000"_s), remaining), 0);
    }

    void openScWithoutAReader() {
        if (!QFile::exists(QLatin1String(OpenSc)))
            QSKIP("OpenSC is not installed");
        m_program->writeProfile("PID=0x0101\n", OpenSc, "");
        openWindow();
        QCOMPARE(navigation()->topLevelItem(0)->child(0)->text(0), u"获取USBKey信息失败"_s);
        QCOMPARE(currentPage(), int(MainWindow::KeyInfo));
    }

    // The box says that the library did not open; the operation log says which file and why.
    void aModuleThatIsNotThereIsNamed() {
        m_program->writeProfile("PID=0x0101\n", "/nonexistent/libmissing-pkcs11.so", "");
        MainWindow window(m_program->directory());
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        window.show();
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(DialogService::shownTexts(), QStringList{u"pkcs11初始化失败"_s});
        const QByteArray trace = operationTrace();
        QVERIFY2(trace.contains("/nonexistent/libmissing-pkcs11.so") && trace.contains("No such file"),
                 trace.constData());
    }
};

QTEST_MAIN(OtherModulesTest)
#include "OtherModulesTest.moc"
