#include "app/InitTemplate.h"
#include "app/LanguageTable.h"
#include "common/WindowTestCase.h"
#include "ui/administration/CdromImagePage.h"
#include "ui/administration/RemoteUnlockPage.h"
#include "ui/main/DialogService.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

constexpr char Serial[] = "VXADMIN000000001";
const QString UserPin = u"11112222"_s;
const QString SoPin = u"99998888"_s;

QStringList childTexts(const QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; node && i < node->childCount(); ++i)
        texts << node->child(i)->text(0);
    return texts;
}

} // namespace

// The administrator's pages on virtual tokens, reached through the administration node: initialization, SO PIN
// change, unlock and the CD-ROM image.
class AdministrationTest : public WindowTestCase {
    Q_OBJECT

    MainWindow& start(const QStringList& options = {}, const QByteArray& flags = "PID=0x0101\nAdminTools=1\n") {
        m_program->writeProfile(flags);
        // A token never initialized has no PINs of its own.
        plugged(Serial, options.contains(u"--uninitialized"_s)
                            ? options
                            : QStringList{"--user-pin", UserPin, "--so-pin", SoPin} + options);
        openWindow();
        return *m_window;
    }

    // A token never initialized: the window says so once it is up.
    void startUninitialized() {
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        start({u"--uninitialized"_s});
        QTRY_COMPARE(DialogService::shownTexts(), QStringList{u"设备未初始化，请与管理员联系"_s});
    }

    QTreeWidgetItem* tokenNode() const { return navigation()->topLevelItem(0)->child(0); }
    QTreeWidgetItem* administration() const { return tokenNode()->child(tokenNode()->childCount() - 1); }
    // Opens the administration page at position index and clears what was shown so far.
    void open(int index) {
        navigation()->setCurrentItem(administration()->child(index));
        DialogService::clearShownTexts();
    }

    static QByteArray fact(const char* key) {
        for (const QByteArray& line : TestProgram::vtoken({"show", Serial}).split('\n'))
            if (line.startsWith(QByteArray(key) + ':'))
                return line.mid(line.indexOf(':') + 1).trimmed();
        return {};
    }

    // The SO PIN is right when an SO login with it works.
    bool soPinIs(const QString& pin) {
        int32_t remaining = 0;
        return m_window->tokenLibrary().token_login_so(0, Pin(pin), remaining) == 0;
    }

private Q_SLOTS:
    void tree_data() {
        QTest::addColumn<QByteArray>("flags");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("roots");
        QTest::addColumn<QStringList>("functions");
        QTest::addColumn<QStringList>("adminLogin"); // the children of the administrator login node
        QTest::newRow("without AdminTools")
            << QByteArray("PID=0x0101\n") << QStringList() << QStringList{u"USBKey列表"_s, u"系统信息"_s}
            << QStringList{u"修改USB Key口令"_s, u"修改USB Key名称"_s, u"证书"_s, u"远程解锁"_s} << QStringList();
        QTest::newRow("with AdminTools") << QByteArray("PID=0x0101\nAdminTools=1\n") << QStringList()
                                         << QStringList{u"USBKey列表"_s, u"系统信息"_s, u"关于"_s}
                                         << QStringList{u"修改USB Key口令"_s, u"修改USB Key名称"_s, u"证书"_s,
                                                        u"远程解锁"_s, u"高级设置"_s}
                                         << QStringList();
        QTest::newRow("biometric token") << QByteArray("PID=0x0101\nAdminTools=1\n")
                                         << QStringList{u"--sensor"_s, u"fingerprint"_s}
                                         << QStringList{u"USBKey列表"_s, u"系统信息"_s, u"关于"_s}
                                         << QStringList{u"修改USB Key口令"_s, u"修改USB Key名称"_s, u"证书"_s,
                                                        u"用户指纹"_s,        u"远程解锁"_s,        u"高级设置"_s}
                                         << QStringList{u"管理员登录"_s, u"用户指纹"_s, u"管理员指纹"_s};
    }
    void tree() {
        QFETCH(QByteArray, flags);
        QFETCH(QStringList, options);
        QFETCH(QStringList, roots);
        QFETCH(QStringList, functions);
        QFETCH(QStringList, adminLogin);
        start(options, flags);
        QStringList rootTexts;
        for (int i = 0; i < navigation()->topLevelItemCount(); ++i)
            rootTexts << navigation()->topLevelItem(i)->text(0);
        QCOMPARE(rootTexts, roots);
        QCOMPARE(childTexts(tokenNode()), functions);
        if (functions.size() == 4)
            return;
        QCOMPARE(childTexts(administration()),
                 (QStringList{u"初始化"_s, u"修改SO PIN"_s, u"解锁"_s, u"下载ISO"_s, u"管理员登录"_s}));
        QCOMPARE(childTexts(administration()->child(4)), adminLogin);
        // The administration node itself opens the initialization, at index 4 as at index 5.
        navigation()->setCurrentItem(administration());
        QCOMPARE(currentPage(), int(PageHost::Initialization));
        navigation()->setCurrentItem(navigation()->topLevelItem(2));
        QCOMPARE(currentPage(), int(PageHost::About));
    }

    // The tree's menu where no node is: the administration of the current token, the workstation, about.
    void spareMenu() {
        start();
        action("AcAdvanced")->trigger();
        QCOMPARE(navigation()->currentItem(), administration());
        action("AcCheckSystem")->trigger();
        QCOMPARE(navigation()->currentItem(), navigation()->topLevelItem(1));
        action("AcAbout")->trigger();
        QCOMPARE(currentPage(), int(PageHost::About));
    }

    void administrationPages() {
        start();
        const int pages[] = {PageHost::Initialization, PageHost::SoPin, PageHost::UnlockUserPin, PageHost::CdromImage,
                             PageHost::AdminLogin};
        for (int i = 0; i < 5; ++i) {
            navigation()->setCurrentItem(administration()->child(i));
            QCOMPARE(currentPage(), pages[i]);
        }
    }

    // The checks before anything reaches the token: the fields' lengths, and the label's size in UTF-8.
    void initializationChecks_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("soPin");
        QTest::addColumn<int>("soMinimum");
        QTest::addColumn<int>("soMaximum");
        QTest::addColumn<QString>("shown"); // the first message
        const QString confirmation = u"初始化后USBKey中证书将清除\r是否继续初始化？"_s;
        const QString length = u"SO PIN不符合长度要求！"_s;
        QTest::newRow("31 bytes of label") << QString(31, u'L') << u"12345678"_s << 4 << 16 << confirmation;
        QTest::newRow("10 Chinese characters") << QString(10, u'汉') << u"12345678"_s << 4 << 16 << confirmation;
        QTest::newRow("11 Chinese characters") << QString(11, u'汉') << u"12345678"_s << 4 << 16 << u"参数超出范围"_s;
        QTest::newRow("SO PIN at the minimum") << u"L"_s << u"123456"_s << 6 << 16 << confirmation;
        QTest::newRow("SO PIN one short") << u"L"_s << u"12345"_s << 6 << 16 << length;
        QTest::newRow("SO PIN at the maximum") << u"L"_s << u"12345678"_s << 4 << 8 << confirmation;
        QTest::newRow("SO PIN one over") << u"L"_s << u"123456789"_s << 4 << 8 << length;
        QTest::newRow("minimum above maximum") << u"L"_s << u"1234567890"_s << 12 << 10 << length;
    }
    void initializationChecks() {
        QFETCH(QString, label);
        QFETCH(QString, soPin);
        QFETCH(int, soMinimum);
        QFETCH(int, soMaximum);
        QFETCH(QString, shown);
        start();
        open(0);
        control<QLineEdit>("edtInit_KeyName")->setText(label);
        control<QLineEdit>("edtInit_SPIN")->setText(soPin);
        control<QSpinBox>("edtInit_SOPINlenMin")->setValue(soMinimum);
        control<QSpinBox>("edtInit_SOPINlenMax")->setValue(soMaximum);
        DialogService::setNextAnswer(shown.startsWith(u"初始化") ? DialogService::Answer::No
                                                                 : DialogService::Answer::Ok);
        action("AcInit")->trigger();
        QCOMPARE(DialogService::shownTexts(), QStringList{shown});
        QCOMPARE(fact("label"), QByteArray("VX7100"));
    }

    // What the SO PIN prompt leads to on an initialized token.
    void soPinPrompt_data() {
        QTest::addColumn<QString>("typed");     // null: Cancel
        QTest::addColumn<QStringList>("after"); // what is shown after the prompt
        QTest::newRow("cancelled") << QString() << QStringList();
        QTest::newRow("blanks only") << u"   "_s << QStringList();
        QTest::newRow("wrong SO PIN") << u"00000000"_s << QStringList{u"原口令不正确,您还有9次重试机会"_s};
        QTest::newRow("right SO PIN") << u" 99998888 "_s << QStringList{u"操作成功"_s};
    }
    void soPinPrompt() {
        QFETCH(QString, typed);
        QFETCH(QStringList, after);
        start();
        open(0);
        control<QLineEdit>("edtInit_KeyName")->setText(u"Help desk"_s);
        control<QSpinBox>("edtInit_MaxCount")->setValue(5);
        control<QSpinBox>("edtInit_MaxCount_SOPIN")->setValue(3);
        DialogService::setNextAnswer(DialogService::Answer::Yes);
        DialogService::setNextInput(typed);
        for (qsizetype i = 0; i < after.size(); ++i)
            DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcInit")->trigger();
        QCOMPARE(DialogService::shownTexts(),
                 QStringList({u"初始化后USBKey中证书将清除\r是否继续初始化？"_s, u"请输入SO PIN:"_s}) + after);
        const bool formatted = after == QStringList{u"操作成功"_s};
        QCOMPARE(fact("label") == "Help desk", formatted);
        if (!formatted)
            return;
        QCOMPARE(fact("user PIN retries"), QByteArray("5 of 5"));
        QCOMPARE(fact("SO PIN retries"), QByteArray("3 of 3"));
        QCOMPARE(fact("objects"), QByteArray("0"));
        TTokenBaseInfo written;
        QCOMPARE(LoadInitTemplate(m_program->filePath(QLatin1String(InitTemplateFileName)), written), 0);
        QCOMPARE(written.LabelName, u"Help desk"_s);
        QCOMPARE(written.F_AdminRetryTimes, 3);
        QCOMPARE(written.F_UserRetryTimes, 5);
        QCOMPARE(written.F_AdminLevel + written.F_UserLevel, 2);
        QCOMPARE(written.ISOFile, QByteArray());
    }

    // A token that became initialized behind the window's back is formatted without an SO PIN: the library
    // refuses, and the code is shown in decimal.
    void failedFormatShowsTheCode() {
        startUninitialized();
        TestProgram::vtoken({"set", Serial, "--initialized", "yes"});
        open(0);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcInit")->trigger();
        QCOMPARE(DialogService::shownTexts(), QStringList{u"操作失败(167772184)"_s});
    }

    void uninitializedTokenIsFormattedWithoutQuestions() {
        startUninitialized();
        open(0);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcInit")->trigger();
        QCOMPARE(DialogService::shownTexts(), QStringList{u"操作成功"_s});
        QCOMPARE(fact("initialized"), QByteArray("yes"));
        QVERIFY(soPinIs(u"tavok"_s)); // the page's design default
    }

    // The page shows the template when there is one; one without a label leaves nothing to initialize.
    void templateFillsThePage() {
        start();
        open(0);
        QCOMPARE(control<QLineEdit>("edtInit_KeyName")->text(), u"VX7100"_s);
        QVERIFY(action("AcInit")->isEnabled());
        m_program->writeFile(QLatin1String(InitTemplateFileName),
                             "[InitData]\nmanufacture=Bank\nmaxUPINLen=32\nuPinRetryTimes=7\n");
        navigation()->setCurrentItem(administration()->child(1));
        open(0);
        QCOMPARE(control<QLineEdit>("edtInit_KeyName")->text(), QString());
        QCOMPARE(control<QLineEdit>("edtInit_GS")->text(), u"Bank"_s);
        QCOMPARE(control<QSpinBox>("edtInit_PINLenMax")->value(), 16);
        QCOMPARE(control<QSpinBox>("edtInit_MaxCount")->value(), 7);
        QVERIFY(!action("AcInit")->isEnabled());
    }

    void soPinChange_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("newPin");
        QTest::addColumn<QString>("again");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("askedTheToken"); // whether any library call reached the SO PIN
        QTest::newRow("confirmation differs in case")
            << QStringList() << SoPin << u"abcdefgh"_s << u"ABCDEFGH"_s << u"新口令和确认口令必须相同！"_s << false;
        QTest::newRow("not initialized") << QStringList{u"--uninitialized"_s} << SoPin << u"abcdefgh"_s << u"abcdefgh"_s
                                         << u"设备未初始化，请与管理员联系"_s << false;
        QTest::newRow("SO PIN locked") << QStringList{u"--locked"_s} << SoPin << u"abcdefgh"_s << u"abcdefgh"_s
                                       << u"USBKey已锁死"_s << false;
        QTest::newRow("wrong SO PIN") << QStringList() << u"00000000"_s << u"abcdefgh"_s << u"abcdefgh"_s
                                      << u"原口令不正确,您还有9次重试机会"_s << true;
        QTest::newRow("changed") << QStringList() << SoPin << u"abcdefgh"_s << u"abcdefgh"_s << u"操作成功"_s << true;
        QTest::newRow("refused by the token")
            << QStringList{u"--so-pin-max"_s, u"12"_s} << SoPin << u"1234567890123"_s << u"1234567890123"_s
            << u"修改失败 ErrorCode :String=  0x000000A2"_s << true;
    }
    void soPinChange() {
        QFETCH(QStringList, options);
        QFETCH(QString, current);
        QFETCH(QString, newPin);
        QFETCH(QString, again);
        QFETCH(QString, shown);
        QFETCH(bool, askedTheToken);
        if (options.contains(u"--uninitialized"_s)) {
            startUninitialized();
        } else if (options.removeAll(u"--locked"_s) > 0) {
            start(options);
            TestProgram::vtoken({"set", Serial, "--so-retries-left", "0"});
        } else {
            start(options);
        }
        open(1);
        control<QLineEdit>("edtSPIN")->setText(current);
        control<QLineEdit>("edtNewSPIN1")->setText(newPin);
        control<QLineEdit>("edtNewSPIN2")->setText(again);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        const QByteArray before = operationTrace();
        QTest::keyClick(control<QLineEdit>("edtNewSPIN2"), Qt::Key_Return);
        QCOMPARE(DialogService::shownTexts(), QStringList{shown});
        QCOMPARE(operationTrace().mid(before.size()).contains("token_login_so"), askedTheToken);
        if (shown == u"操作成功"_s)
            QVERIFY(soPinIs(newPin));
    }

    // Only the current SO PIN and the confirmation count, against the token's shortest SO PIN.
    void soPinChangeEnableRule() {
        start({u"--so-pin-min"_s, u"8"_s});
        open(1);
        control<QLineEdit>("edtSPIN")->setText(SoPin);
        control<QLineEdit>("edtNewSPIN1")->setText(u"1"_s);
        control<QLineEdit>("edtNewSPIN2")->setText(u"1234567"_s);
        QVERIFY(!action("AcSetSOPIN")->isEnabled());
        // Enter in the confirmation runs the change all the same.
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        QTest::keyClick(control<QLineEdit>("edtNewSPIN2"), Qt::Key_Return);
        QCOMPARE(DialogService::shownTexts(), QStringList{u"新口令和确认口令必须相同！"_s});
        control<QLineEdit>("edtNewSPIN2")->setText(u"12345678"_s);
        QVERIFY(action("AcSetSOPIN")->isEnabled());
    }

    void unlock_data() {
        QTest::addColumn<QString>("soPin");
        QTest::addColumn<QString>("shown");
        QTest::newRow("unblocked") << SoPin << u"操作成功"_s;
        QTest::newRow("wrong SO PIN") << u"00000000"_s << u"原SO PIN码不正确"_s;
    }
    void unlock() {
        QFETCH(QString, soPin);
        QFETCH(QString, shown);
        start();
        TestProgram::vtoken({"set", Serial, "--user-retries-left", "0"});
        open(2);
        control<QLineEdit>("edtSPINForUnLock")->setText(soPin);
        control<QLineEdit>("edtUPINForUnlock1")->setText(u"33334444"_s);
        control<QLineEdit>("edtUPINForUnlock2")->setText(u"33334444"_s);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        QTest::keyClick(control<QLineEdit>("edtUPINForUnlock2"), Qt::Key_Return);
        QCOMPARE(DialogService::shownTexts(), QStringList{shown});
        int32_t remaining = 0;
        QCOMPARE(m_window->tokenLibrary().token_login(0, Pin(u"33334444"_s), remaining) == 0, shown == u"操作成功"_s);
    }

    // The image goes in chunks of 32 sectors, the last sector padded with zeros; what the partition holds after is
    // the file.
    void cdromImage_data() {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArrayList>("sectors"); // the sector count of each write
        QTest::newRow("empty") << 0 << u"下载成功"_s << QByteArrayList();
        QTest::newRow("a chunk and 1000 bytes") << 65536 + 1000 << u"下载成功"_s << QByteArrayList{"32", "1"};
        QTest::newRow("102400 bytes") << 102400 << u"下载成功"_s << QByteArrayList{"32", "18"};
        QTest::newRow("past the partition")
            << 3 * 65536 << u"下载失败(ErrorCode = 0x%1)"_s << QByteArrayList{"32", "32", "32"};
    }
    void cdromImage() {
        QFETCH(int, bytes);
        QFETCH(QString, shown);
        QFETCH(QByteArrayList, sectors);
        start({u"--cdrom-sectors"_s, u"80"_s});
        QByteArray image(bytes, '\0');
        for (int i = 0; i < bytes; ++i)
            image[i] = char(1 + i % 251); // never zero, so that the padding shows
        const QString path = writeTestFile(m_program->filePath(u"disc.iso"_s), image);
        open(3);
        control<QLineEdit>("edtUPINForDownISO")->setText(UserPin);
        control<QLineEdit>("edtPath")->setText(path);
        CdromImagePage::setChunkPause(0);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcDownISO")->trigger();
        QCOMPARE(DialogService::shownTexts().size(), 1);
        const QString message = DialogService::shownTexts().constFirst();
        if (shown.contains(u"%1"_s))
            QVERIFY2(message.startsWith(u"下载失败(ErrorCode = 0x"_s) && message.endsWith(u')'), qPrintable(message));
        else
            QCOMPARE(message, shown);
        QByteArrayList writes;
        for (const QByteArray& line : operationTrace().split('\n'))
            if (line.contains("token_write_sectors begin sectorNumber="))
                writes.append(line.mid(line.indexOf('=') + 1).trimmed());
        QCOMPARE(writes, sectors);

        const QString dump = m_program->filePath(u"dump.bin"_s);
        TestProgram::vtoken({"cdrom", "dump", Serial, "--output", dump});
        QFile written(dump);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray partition = written.readAll();
        const qsizetype kept = std::min<qsizetype>(bytes, 64 * 2048); // a failed chunk writes nothing
        QCOMPARE(partition.left(kept), image.left(kept));
        // The last sector's bytes past the file are zero, not what the chunk before left in the buffer.
        if (bytes == 65536 + 1000)
            QCOMPARE(partition.mid(65536 + 1000, 2048 - 1000), QByteArray(2048 - 1000, '\0'));
    }

    void cdromRefusals_data() {
        QTest::addColumn<QString>("pin");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no file") << UserPin << false << u"ISO文件不存在"_s;
        QTest::newRow("wrong PIN") << u"00000000"_s << true << u"用户PIN码不正确"_s;
    }
    void cdromRefusals() {
        QFETCH(QString, pin);
        QFETCH(bool, fileExists);
        QFETCH(QString, shown);
        start({u"--cdrom-sectors"_s, u"80"_s});
        QString path = m_program->filePath(u"disc.iso"_s);
        if (fileExists)
            writeTestFile(path, "data");
        open(3);
        control<QLineEdit>("edtUPINForDownISO")->setText(pin);
        control<QLineEdit>("edtPath")->setText(path);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcDownISO")->trigger();
        QCOMPARE(DialogService::shownTexts(), QStringList{shown});
        QVERIFY(!operationTrace().contains("token_write_sectors"));
    }

    // A response is read pair by pair: a pair that is not two hexadecimal digits gives 0, a single last digit is
    // left out.
    void remoteUnlockResponse_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("32 digits") << "00112233445566778899AABBCCDDEEFF"_ba
                                   << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
        QTest::newRow("lower case") << "0a1b"_ba << QByteArray::fromHex("0A1B");
        QTest::newRow("a single last digit") << "0a1"_ba << QByteArray::fromHex("0A");
        QTest::newRow("pairs that are no number") << "0x1G  +1ff"_ba << QByteArray::fromHex("00000000FF");
        QTest::newRow("a line break") << "0a\r\n1b"_ba << QByteArray::fromHex("0A001B");
    }
    void remoteUnlockResponse() {
        QFETCH(QByteArray, text);
        QTEST(RemoteUnlockPage::responseBytes(text), "bytes");
    }

    // A locked user PIN on the second of two tokens: its request, a wrong response, then the issuer's answer in
    // lower case; the PIN logs in again. Request and response go to the selected token, not to the first device.
    void remoteUnlockRestoresTheUserPin() {
        plugged("VXADMIN000000000");
        start();
        TestProgram::vtoken({"set", Serial, "--user-retries-left", "0"});
        QTreeWidgetItem* token = navigation()->topLevelItem(0)->child(1);
        navigation()->setCurrentItem(token->child(3));
        QCOMPARE(currentPage(), int(PageHost::RemoteUnlock));
        action("AcRequest")->trigger();
        const QString request = control<QLineEdit>("edtRequestStr")->text();
        QVERIFY2(QRegularExpression(u"^[0-9A-F]{16}$"_s).match(request).hasMatch(), qPrintable(request));
        QCOMPARE(fact("unblock request"), request.toLatin1()); // as the token drew it
        const QByteArray answer = TestProgram::vtoken({"unblock-response", Serial, request}).trimmed();
        for (const QString& response : {u"00"_s.repeated(16), QString::fromLatin1(answer).toLower()}) {
            control<QPlainTextEdit>("edtUnlockCode")->setPlainText(response);
            DialogService::setNextAnswer(DialogService::Answer::Ok);
            action("AcRemoteUnLock")->trigger();
        }
        const QStringList told = DialogService::shownTexts();
        QCOMPARE(told.size(), 2);
        QVERIFY2(QRegularExpression(u"^解锁失败，错误码 = \\d+$"_s).match(told[0]).hasMatch(), qPrintable(told[0]));
        QCOMPARE(told[1], u"解锁成功"_s);
        QCOMPARE(fact("user PIN retries"), "10 of 10");
        navigation()->setCurrentItem(token->child(2));
        control<QLineEdit>("edtUPIN")->setText(UserPin);
        action("AcLogin")->trigger();
        QCOMPARE(m_window->state().KeyTable[1].KeyState, int32_t(KeySlot::LoggedIn));
    }

    // Without an SKF device both buttons say so; a response too long for the token is refused before that.
    void remoteUnlockRefusals() {
        m_program->writeProfile("PID=0x0101\n", VTOKEN_MODULE, QByteArray());
        plugged(Serial);
        openWindow();
        navigation()->setCurrentItem(tokenNode()->child(3));
        for (const QString& response : {u"0"_s.repeated(131), u"0"_s.repeated(130)}) {
            control<QPlainTextEdit>("edtUnlockCode")->setPlainText(response);
            DialogService::setNextAnswer(DialogService::Answer::Ok);
            action("AcRemoteUnLock")->trigger();
        }
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcRequest")->trigger();
        QCOMPARE(DialogService::shownTexts(),
                 (QStringList{u"参数超出范围"_s, u"未检测到USBKey"_s, u"未检测到USBKey"_s}));
        QVERIFY(control<QLineEdit>("edtRequestStr")->text().isEmpty());
    }
};

QTEST_MAIN(AdministrationTest)
#include "AdministrationTest.moc"
