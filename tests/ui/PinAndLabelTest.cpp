#include "app/LanguageTable.h"
#include "common/WindowTestCase.h"
#include "ui/main/DialogService.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

// The user PIN change and the label change on virtual tokens: every check in its order, and what the token holds
// afterwards.
class PinAndLabelTest : public WindowTestCase {
    Q_OBJECT

    static constexpr char Serial[] = "VXPIN00000000001";

    MainWindow& start(const QStringList& options = {}) {
        plugged(Serial, QStringList{"--label", "Original"} + options);
        openWindow();
        return *m_window;
    }

    QTreeWidgetItem* tokenNode() const { return navigation()->topLevelItem(0)->child(0); }

    // Fills the three PIN boxes and presses Enter in the last, as a user would.
    QString changePin(const QString& current, const QString& newPin, const QString& again) {
        navigation()->setCurrentItem(tokenNode()->child(0));
        control<QLineEdit>("edtOldUPin")->setText(current);
        control<QLineEdit>("edtNewUPin1")->setText(newPin);
        control<QLineEdit>("edtNewUPin2")->setText(again);
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        QTest::keyClick(control<QLineEdit>("edtNewUPin2"), Qt::Key_Return);
        return DialogService::shownTexts().value(0);
    }

    QString rename(const QString& label) {
        navigation()->setCurrentItem(tokenNode()->child(1));
        control<QLineEdit>("edtKeyName")->setText(label);
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcSetKeyName")->trigger();
        return DialogService::shownTexts().value(0);
    }

    static QByteArray shown(const char* key) {
        for (const QByteArray& line : TestProgram::vtoken({"show", Serial}).split('\n'))
            if (line.startsWith(QByteArray(key) + ':'))
                return line.mid(line.indexOf(':') + 1).trimmed();
        return {};
    }

private Q_SLOTS:
    void refusedNewPins_data() {
        QTest::addColumn<QString>("newPin");
        QTest::addColumn<QString>("again");
        QTest::addColumn<QString>("message");
        QTest::newRow("repetition differs") << u"654321"_s << u"654322"_s << u"新口令和确认口令必须相同！"_s;
        QTest::newRow("too short") << u"12345"_s << u"12345"_s << u"用户PIN码不符合长度要求！(6--16)"_s;
        // Sixteen Chinese characters are 48 bytes of UTF-8.
        const QString chinese = QString(16, QChar(0x4E2D));
        QTest::newRow("too many bytes") << chinese << chinese << u"用户PIN码不符合长度要求！(6--16)"_s;
    }
    void refusedNewPins() {
        QFETCH(QString, newPin);
        QFETCH(QString, again);
        start({"--user-pin-min", "6", "--user-pin-max", "16"});
        QTEST(changePin(u"12345678"_s, newPin, again), "message");
        QCOMPARE(shown("user PIN retries"), "10 of 10"_ba); // nothing was sent to the token
    }

    void wrongCurrentPinKeepsTheBoxes() {
        start({"--user-retries", "5"});
        QCOMPARE(changePin(u"00000000"_s, u"24681357"_s, u"24681357"_s), u"原口令不正确,您还有4次重试机会"_s);
        QCOMPARE(control<QLineEdit>("edtOldUPin")->text(), u"00000000"_s);
        QCOMPARE(control<QLineEdit>("edtNewUPin2")->text(), u"24681357"_s);
    }

    void changedPinOpensTheToken() {
        MainWindow& window = start();
        window.state().KeyTable[0].KeyState = KeySlot::LoggedIn;
        QCOMPARE(changePin(u"12345678"_s, u"24681357"_s, u"24681357"_s), u"修改成功"_s);
        for (const char* box : {"edtOldUPin", "edtNewUPin1", "edtNewUPin2"})
            QVERIFY(control<QLineEdit>(box)->text().isEmpty());
        QCOMPARE(window.state().KeyTable[0].KeyState, int32_t(KeySlot::Present));
        int32_t remaining = 0;
        QCOMPARE(window.tokenLibrary().token_login(0, u"24681357"_s, remaining), 0);
    }

    void enterChangesWhileTheButtonIsDisabled() {
        start({"--user-pin-min", "6"});
        navigation()->setCurrentItem(tokenNode()->child(0));
        control<QLineEdit>("edtOldUPin")->setText(u"1234"_s);
        QVERIFY(!action("AcSetUserPIN")->isEnabled());
        // The short current PIN still goes to the token, and costs a try.
        QCOMPARE(changePin(u"1234"_s, u"24681357"_s, u"24681357"_s), u"原口令不正确,您还有9次重试机会"_s);
        QVERIFY(!action("AcSetUserPIN")->isEnabled());
    }

    void lockedTokenIsRefused() {
        start();
        TestProgram::vtoken({"set", Serial, "--user-retries-left", "0"});
        QCOMPARE(changePin(u"12345678"_s, u"24681357"_s, u"24681357"_s), u"USBKey已锁死"_s);
        QCOMPARE(rename(u"New"_s), u"USBKey已锁死"_s);
    }

    void labels_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("stored");
        QTest::newRow("31 ASCII characters") << QString(31, u'x') << u"修改成功"_s << QString(31, u'x');
        QTest::newRow("10 Chinese characters")
            << QString(10, QChar(0x540D)) << u"修改成功"_s << QString(10, QChar(0x540D));
        QTest::newRow("11 Chinese characters") << QString(11, QChar(0x540D)) << u"参数超出范围"_s << u"Original"_s;
        QTest::newRow("blanks around") << u"  网银 盾  "_s << u"修改成功"_s << u"网银 盾"_s;
    }
    void labels() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        MainWindow& window = start();
        QTEST(rename(typed), "message");
        QCOMPARE(QString::fromUtf8(shown("label")), stored);
        QCOMPARE(tokenNode()->text(0), stored);
        QCOMPARE(window.state().KeyTable[0].info.labelText(), stored);
    }

    void emptyLabelIsNotOffered() {
        start();
        navigation()->setCurrentItem(tokenNode()->child(1));
        QVERIFY(action("AcSetKeyName")->isEnabled());
        control<QLineEdit>("edtKeyName")->clear();
        QVERIFY(!action("AcSetKeyName")->isEnabled());
    }

    // A token pulled out is no wrong PIN: each page names its own failure and the code.
    void aTokenPulledOutIsNoWrongPin_data() {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("failure");
        QTest::newRow("login") << 0 << u"操作失败 ErrorCode :String=  = 0x"_s;
        QTest::newRow("PIN change") << 1 << u"修改失败 ErrorCode :String=  = 0x"_s;
        QTest::newRow("label change") << 2 << u"修改失败 ErrorCode :String=  = 0x"_s;
    }
    void aTokenPulledOutIsNoWrongPin() {
        QFETCH(int, operation);
        QFETCH(QString, failure);
        start();
        navigation()->setCurrentItem(tokenNode()->child(2));
        control<QLineEdit>("edtUPIN")->setText(u"12345678"_s);
        TestProgram::vtoken({"unplug", Serial});
        QString message;
        if (operation == 0) {
            DialogService::setNextAnswer(DialogService::Answer::Ok);
            action("AcLogin")->trigger();
            message = DialogService::shownTexts().value(0);
        } else {
            message = operation == 1 ? changePin(u"12345678"_s, u"24681357"_s, u"24681357"_s) : rename(u"New"_s);
        }
        QVERIFY2(message.startsWith(failure) && message.size() == failure.size() + 8, qPrintable(message));
    }

    // A change the token refuses leaves the library logged in by the check that follows it; the next login
    // starts from nobody logged in, so a wrong PIN is still refused.
    void aRefusedChangeLeavesNoLoginBehind() {
        MainWindow& window = start();
        // The window lets through a PIN shorter than the token takes.
        window.state().KeyTable[0].info.minPinLength = 2;
        QCOMPARE(changePin(u"12345678"_s, u"777"_s, u"777"_s), u"修改失败 ErrorCode :String=  = 0x000000A2"_s);
        const qsizetype changed = operationTrace().lastIndexOf("token_change_upin end");
        navigation()->setCurrentItem(tokenNode()->child(2));
        control<QLineEdit>("edtUPIN")->setText(u"00000000"_s);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcLogin")->trigger();
        QCOMPARE(DialogService::shownTexts().value(1), u"口令不正确\r您还有9次机会"_s);
        QCOMPARE(currentPage(), int(MainWindow::Login));
        const QByteArray login = operationTrace().mid(operationTrace().indexOf("token_login begin", changed) + 1);
        const qsizetype logout = login.indexOf("token_logout begin");
        QVERIFY(logout >= 0 && logout < login.lastIndexOf("token_login begin"));
    }

    void openingThePinPageEmptiesItsBoxes() {
        start();
        QCOMPARE(changePin(u"00000000"_s, u"24681357"_s, u"24681357"_s), u"原口令不正确,您还有9次重试机会"_s);
        navigation()->setCurrentItem(tokenNode()->child(1));
        navigation()->setCurrentItem(tokenNode()->child(0));
        for (const char* box : {"edtOldUPin", "edtNewUPin1", "edtNewUPin2"})
            QVERIFY2(control<QLineEdit>(box)->text().isEmpty(), box);
    }

    // Enter does what the page's button does, on the focused button and in the label box.
    void enterActsAsTheButton() {
        start();
        navigation()->setCurrentItem(tokenNode()->child(0));
        control<QLineEdit>("edtOldUPin")->setText(u"00000000"_s);
        control<QLineEdit>("edtNewUPin1")->setText(u"24681357"_s);
        control<QLineEdit>("edtNewUPin2")->setText(u"24681357"_s);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        QTest::keyClick(control<QPushButton>("btnOK"), Qt::Key_Return);
        QCOMPARE(DialogService::shownTexts(), QStringList{u"原口令不正确,您还有9次重试机会"_s});
        navigation()->setCurrentItem(tokenNode()->child(1));
        control<QLineEdit>("edtKeyName")->setText(u"Renamed"_s);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        QTest::keyClick(control<QLineEdit>("edtKeyName"), Qt::Key_Enter);
        QCOMPARE(DialogService::shownTexts().value(1), u"修改成功"_s);
        QCOMPARE(QString::fromUtf8(shown("label")), u"Renamed"_s);
    }
};

QTEST_MAIN(PinAndLabelTest)
#include "PinAndLabelTest.moc"
