#include "common/WindowTestCase.h"
#include "ui/biometric/BiometricPage.h"
#include "ui/biometric/ResponsiveWait.h"
#include "ui/main/DialogService.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

constexpr char Serial[] = "VXFINGER00000001";

TSkfFingerInfo listOf(std::initializer_list<uint8_t> bytes, uint32_t length = 10) {
    TSkfFingerInfo info;
    std::copy(bytes.begin(), bytes.end(), info.list.begin());
    info.listLength = length;
    return info;
}

} // namespace

// The biometric page and the administrator's login on a virtual fingerprint token.
class BiometricTest : public WindowTestCase {
    Q_OBJECT

    void start(const QByteArray& flags = {}, const QStringList& options = {}) {
        m_program->writeProfile("PID=0x0101\nAdminTools=1\n" + flags);
        plugged(Serial,
                QStringList{"--sensor", "fingerprint", "--user-pin", "11112222", "--so-pin", "99998888"} + options);
        openWindow();
    }
    QTreeWidgetItem* tokenNode() const { return navigation()->topLevelItem(0)->child(0); }
    BiometricPage& biometricPage() const { return *findNamed<BiometricPage>(*m_window, "Finger"); }
    static void finger(const char* event) {
        TestProgram::vtoken(QStringList{"finger", Serial} + QString::fromLatin1(event).split(u' '));
    }
    void loginByPin() {
        navigation()->setCurrentItem(tokenNode()->child(2));
        control<QLineEdit>("edtUPIN")->setText(u"11112222"_s);
        action("AcLogin")->trigger();
    }
    // Finger n enrolled the quick way, through the window's SKF library, after a login by PIN (or by SO PIN for the
    // administrator's fingers).
    void enrolledBySkf(SKF_ULONG n, SKF_ULONG type = SKF_PIN_USER) {
        SkfLibrary& skf = m_window->skfLibrary();
        SKF_ULONG progress = 0;
        QCOMPARE(skf.SKF_EnrollFingerInit(skf.CurrentApplication(), type, n), SKF_ULONG(SAR_OK));
        for (int sample = 0; sample < 3; ++sample) {
            finger(qPrintable(u"present "_s + QString::number(n)));
            skf.SKF_EnrollFinger(skf.CurrentApplication(), type, n, progress);
        }
        QCOMPARE(progress, SKF_ULONG(3));
    }
    // The modal dialogs run their timers at once and poll without pausing; step sees the dialog on top every few
    // milliseconds, to read it and press its buttons, until the test ends. Each dialog closed is recorded in m_closed
    // as its name, its status line when it closed, and the ticks its countdown made.
    void hurryDialogs(const std::function<void(QDialog&)>& step) {
        ResponsiveWait::setForTests([](int) { QCoreApplication::processEvents(); });
        // It goes with the test's window.
        auto* timer = new QTimer(m_window.get());
        connect(timer, &QObject::destroyed, [] { ResponsiveWait::setForTests({}); });
        connect(timer, &QTimer::timeout, this, [this, step] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (!dialog->property("seen").toBool()) {
                dialog->setProperty("seen", true);
                const auto ticks = std::make_shared<int>(0);
                if (auto* countdown = dialog->findChild<QTimer*>(u"TClose"_s))
                    connect(countdown, &QTimer::timeout, dialog, [ticks] { ++*ticks; });
                // Read when the test asks: the tick that closes the dialog is counted after it has closed.
                connect(dialog, &QDialog::finished, this, [this, dialog, ticks] {
                    m_closed.push_back({dialog->objectName() + u' ' + status(*dialog) + u' ', ticks});
                });
            }
            for (QTimer* each : dialog->findChildren<QTimer*>())
                if (each->interval() != 0)
                    each->setInterval(0);
            step(*dialog);
        });
        timer->start(5);
    }
    std::vector<std::pair<QString, std::shared_ptr<int>>> m_closed;
    QStringList closedDialogs() const {
        QStringList closed;
        for (const auto& [dialog, ticks] : m_closed)
            closed << dialog + QString::number(*ticks);
        return closed;
    }
    // The marker a finger button of dialog shows: "enrolled", "matched" or "".
    static QString marker(QWidget& owner, int n) {
        const QImage shown = findNamed<QToolButton>(owner, qPrintable(u"SpeedButton"_s + QString::number(n)))
                                 ->icon()
                                 .pixmap(16, 16)
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        for (const auto& [file, name] : {std::pair{"F1.bmp", "enrolled"}, std::pair{"F2.bmp", "matched"}})
            if (shown == QImage(QStringLiteral(VX_SOURCE_DIR "/resources/res/Finger/") + QLatin1String(file))
                             .convertToFormat(QImage::Format_RGB32))
                return QLatin1String(name);
        return {};
    }
    static QString status(QDialog& dialog) { return findNamed<QLabel>(dialog, "LMsg")->text(); }

private Q_SLOTS:
    // A list of flags marks by position, any other list by the fingers' numbers; numbers outside 1 to 10 mark
    // nothing.
    void enrolledFingers_data() {
        QTest::addColumn<QList<int>>("bytes");
        QTest::addColumn<QList<int>>("enrolled");
        QTest::newRow("flags at 0 and 4") << QList<int>{1, 0, 0, 0, 1} << QList<int>{1, 5};
        QTest::newRow("identifiers 3, 12, 7") << QList<int>{3, 12, 7} << QList<int>{3, 7};
        QTest::newRow("identifier 1 among others") << QList<int>{1, 9} << QList<int>{1, 9};
    }
    void enrolledFingers() {
        QFETCH(QList<int>, bytes);
        QFETCH(QList<int>, enrolled);
        TSkfFingerInfo info = listOf({});
        for (qsizetype i = 0; i < bytes.size(); ++i)
            info.list[size_t(i)] = uint8_t(bytes[i]);
        QList<int> found;
        for (int finger = 1; finger <= BiometricPage::FingerCount; ++finger)
            if (BiometricPage::isEnrolled(info, finger))
                found.append(finger);
        QCOMPARE(found, enrolled);
    }

    // The SO PIN login takes four characters at least; a good SO PIN moves the selection on to the
    // administrator's own pages.
    void administratorLoginBySoPin() {
        start();
        QTreeWidgetItem* adminLogin = tokenNode()->child(tokenNode()->childCount() - 1)->child(4);
        navigation()->setCurrentItem(adminLogin);
        QCOMPARE(currentPage(), int(PageHost::AdminLogin));
        control<QLineEdit>("edtFingerSPIN")->setText(u"999"_s);
        QVERIFY(!action("AcFinger_SOPIN_Login")->isEnabled());
        control<QLineEdit>("edtFingerSPIN")->setText(u"0000"_s);
        QVERIFY(action("AcFinger_SOPIN_Login")->isEnabled());
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        QTest::keyClick(control<QLineEdit>("edtFingerSPIN"), Qt::Key_Return);
        QCOMPARE(DialogService::shownTexts(), QStringList{u"口令不正确\r您还有9次机会"_s});
        control<QLineEdit>("edtFingerSPIN")->setText(u"99998888"_s);
        action("AcFinger_SOPIN_Login")->trigger();
        QCOMPARE(m_window->state().LoginRole, int32_t(WindowState::AdministratorRole));
        QCOMPARE(navigation()->currentItem(), adminLogin->child(1));
        // The administrator's fingers are theirs to manage now: a click on an enrolled one asks to delete it.
        enrolledBySkf(3, SKF_PIN_ADMIN);
        navigation()->setCurrentItem(adminLogin->child(2));
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::No);
        findNamed<QToolButton>(*m_window, "SpeedButton3")->click();
        QCOMPARE(DialogService::shownTexts(), QStringList{u"确定要删除指纹吗？"_s});
        navigation()->setCurrentItem(adminLogin);
        action("AcFingerLoginCancel")->trigger();
        QVERIFY(control<QLineEdit>("edtFingerSPIN")->text().isEmpty());
    }

    // Three samples of finger 3, the bar one step per sample; a capture failure offers Retry, which starts over.
    void enrolment() {
        start();
        navigation()->setCurrentItem(tokenNode()->child(2));
        control<QLineEdit>("edtUPIN")->setText(u"11112222"_s);
        action("AcLogin")->trigger();
        navigation()->setCurrentItem(tokenNode()->child(3));
        QList<int> bar;
        ResponsiveWait::setForTests([&bar](int) {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                bar.append(findNamed<QProgressBar>(*dialog, "PB")->value());
        });
        for (const char* event : {"fail", "present", "present", "present"}) {
            QStringList arguments{"finger", Serial, QLatin1String(event)};
            if (QByteArray(event) == "present")
                arguments << "3";
            TestProgram::vtoken(arguments);
        }
        bool retried = false;
        const auto startAtOnce = [] {
            QTimer* start = findNamed<QTimer>(*QApplication::activeModalWidget(), "Trun");
            start->setInterval(0);
        };
        QTimer::singleShot(0, this, startAtOnce);
        // After the capture failure: Retry, once the dialog offers it.
        auto* retry = new QTimer(this);
        connect(retry, &QTimer::timeout, this, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            auto* run = dialog ? dialog->findChild<QPushButton*>(u"btnRun"_s) : nullptr;
            if (run && run->isEnabled() && !retried) {
                retried = true;
                QCOMPARE(findNamed<QLabel>(*dialog, "LMsg")->text(), u"采集指纹失败，尝试重新录入"_s);
                run->click();
            }
        });
        retry->start(10);
        findNamed<QToolButton>(*m_window, "SpeedButton3")->click();
        retry->stop();
        ResponsiveWait::setForTests({});
        QVERIFY(retried);
        QCOMPARE(bar, (QList<int>{3, 1, 2, 3}));
        QVERIFY(BiometricPage::isEnrolled(biometricPage().fingerInfo(), 3));
        QCOMPARE(biometricPage().userFingerCount(), 1u);

        // The finger logs in: a wrong one is told with the tries left, the right one opens the certificates.
        action("Aclogout")->trigger();
        navigation()->setCurrentItem(tokenNode()->child(2));
        QVERIFY(action("AcFingerlogon")->isEnabled());
        QStringList statuses;
        const auto verifyAtOnce = [this, &statuses] {
            QTimer::singleShot(0, this, [&statuses] {
                QWidget* dialog = QApplication::activeModalWidget();
                findNamed<QTimer>(*dialog, "Trun")->setInterval(0);
                findNamed<QTimer>(*dialog, "TClose")->setInterval(0);
                connect(findNamed<QTimer>(*dialog, "TClose"), &QTimer::timeout, dialog, [dialog, &statuses] {
                    const QString text = findNamed<QLabel>(*dialog, "LMsg")->text();
                    if (statuses.isEmpty() || statuses.constLast() != text)
                        statuses.append(text);
                });
            });
        };
        TestProgram::vtoken({"finger", Serial, "present", "5"});
        verifyAtOnce();
        action("AcFingerlogon")->trigger();
        QCOMPARE(currentPage(), int(PageHost::Login));
        TestProgram::vtoken({"finger", Serial, "present", "3"});
        verifyAtOnce();
        action("AcFingerlogon")->trigger();
        QCOMPARE(statuses, (QStringList{u"验证失败，剩余重试次数：9"_s, u"验证指纹成功"_s}));
        QCOMPARE(currentPage(), int(PageHost::Certificates));
        QCOMPARE(m_window->state().KeyTable[0].KeyState, int32_t(KeySlot::LoggedIn));

        // The study counts five matches of the finger enrolled last: a match of another enrolled finger does not
        // count. The login by finger lets finger 5 be enrolled too.
        enrolledBySkf(5);
        for (const char* finger : {"3", "3", "3", "3", "5", "3"})
            TestProgram::vtoken({"finger", Serial, "present", finger});
        int studied = -1;
        QTimer::singleShot(0, this, [this, &studied] {
            QWidget* dialog = QApplication::activeModalWidget();
            findNamed<QTimer>(*dialog, "Trun")->setInterval(0);
            auto* done = new QTimer(dialog);
            connect(done, &QTimer::timeout, dialog, [dialog, &studied] {
                if (!findNamed<QPushButton>(*dialog, "btnTest")->isEnabled())
                    return;
                studied = findNamed<QProgressBar>(*dialog, "PB")->value();
                findNamed<QPushButton>(*dialog, "btnCancel")->click();
            });
            done->start(10);
        });
        navigation()->setCurrentItem(tokenNode()->child(3));
        action("AcFingerStudy")->trigger();
        QCOMPARE(studied, 5);
        QVERIFY(TestProgram::vtoken({"show", Serial}).contains("sensor events queued: 0"));
    }

    // A study follows an enrolment only when the profile asks for it and the finger was enrolled. An enrolment the
    // token refuses to start (the window counts the token logged in, the token knows of no login) brings none.
    void studyFollowsASuccessfulEnrolment_data() {
        QTest::addColumn<QByteArray>("study");
        QTest::addColumn<bool>("pinLogin");
        QTest::addColumn<QStringList>("closed");
        const QString enrolled = u"TFingerInputForm 录入指纹成功 0"_s;
        QTest::newRow("FingerStudy 0") << QByteArray("0") << true << QStringList{enrolled};
        QTest::newRow("FingerStudy 1") << QByteArray("1") << true
                                       << QStringList{enrolled, u"TFingerStudyForm 调整手指姿势录入不同区域... 0"_s};
        QTest::newRow("start refused") << QByteArray("1") << false
                                       << QStringList{u"TFingerInputForm 未登录，请登录后操作 6"_s};
    }
    void studyFollowsASuccessfulEnrolment() {
        QFETCH(QByteArray, study);
        QFETCH(bool, pinLogin);
        start("FingerStudy=" + study + "\n");
        if (pinLogin) {
            loginByPin();
            for (int sample = 0; sample < 3; ++sample)
                finger("present 3");
        } else {
            m_window->state().KeyTable[0].KeyState = KeySlot::LoggedIn;
        }
        navigation()->setCurrentItem(tokenNode()->child(3));
        m_closed.clear();
        hurryDialogs([](QDialog& dialog) {
            if (dialog.objectName() == u"TFingerStudyForm"_s)
                findNamed<QPushButton>(dialog, "btnCancel")->click(); // before the study's first look at the sensor
        });
        findNamed<QToolButton>(*m_window, "SpeedButton3")->click();
        QTEST(closedDialogs(), "closed");
        QCOMPARE(BiometricPage::isEnrolled(biometricPage().fingerInfo(), 3), pinLogin);
    }

    // The test marks the matched finger only; testing again first puts the page's markers back.
    void fingerTestMarksTheMatchedFinger() {
        start();
        loginByPin();
        enrolledBySkf(3);
        enrolledBySkf(4);
        navigation()->setCurrentItem(tokenNode()->child(3));
        finger("present 4");
        QStringList seen;
        hurryDialogs([&](QDialog& dialog) {
            auto* again = findNamed<QPushButton>(dialog, "btnTest");
            if (!again->isEnabled())
                return;
            seen << status(dialog) + u' ' + marker(dialog, 3) + u' ' + marker(dialog, 4) + u' ' + marker(dialog, 5);
            if (seen.size() == 1) {
                finger("fail");
                again->click();
            } else {
                findNamed<QPushButton>(dialog, "btnCancel")->click();
            }
        });
        action("AcFingerTest")->trigger();
        QCOMPARE(seen, (QStringList{u"验证指纹成功 enrolled matched "_s, u"验证指纹失败 enrolled enrolled "_s}));
    }

    // A wrong finger is told with the tries the token has left after it, and the dialog closes after six ticks.
    void wrongFingerTellsTheTriesLeft() {
        start();
        loginByPin();
        enrolledBySkf(3);
        navigation()->setCurrentItem(tokenNode()->child(3));
        action("Aclogout")->trigger();
        int32_t remaining = 0;
        for (int wrong = 0; wrong < 7; ++wrong) {
            finger("present 5");
            QVERIFY(m_window->tokenLibrary().token_login(0, Pin(), remaining) != 0);
        }
        finger("present 5");
        navigation()->setCurrentItem(tokenNode()->child(2));
        m_closed.clear();
        hurryDialogs([](QDialog&) {});
        action("AcFingerlogon")->trigger();
        QCOMPARE(closedDialogs(), QStringList{u"TFingerVerifyForm 验证失败，剩余重试次数：2 6"_s});
        QCOMPARE(currentPage(), int(PageHost::Login));
    }

    // With two tokens plugged, a login by finger on the second marks the second logged in, not the first.
    void fingerLoginMarksTheSelectedToken() {
        m_program->writeProfile("PID=0x0101\n");
        plugged("VXFINGER00000002", {"--sensor", "fingerprint"});
        plugged(Serial, {"--sensor", "fingerprint", "--user-pin", "11112222"});
        openWindow();
        QTreeWidgetItem* second = navigation()->topLevelItem(0)->child(1);
        QCOMPARE(QByteArray(m_window->state().KeyTable[1].info.serial.data()), QByteArray(Serial));
        navigation()->setCurrentItem(second->child(2));
        control<QLineEdit>("edtUPIN")->setText(u"11112222"_s);
        action("AcLogin")->trigger();
        enrolledBySkf(3);
        navigation()->setCurrentItem(second->child(3));
        action("Aclogout")->trigger();
        navigation()->setCurrentItem(second->child(2));
        finger("present 3");
        hurryDialogs([](QDialog&) {});
        action("AcFingerlogon")->trigger();
        QCOMPARE(m_window->state().KeyTable[1].KeyState, int32_t(KeySlot::LoggedIn));
        QCOMPARE(m_window->state().KeyTable[0].KeyState, int32_t(KeySlot::Present));
    }

    // A finger-vein token brings its wording and its pictures; a fingerprint token found afterwards brings theirs.
    void fingerVeinThenFingerprint() {
        m_program->writeProfile("PID=0x0101\n");
        plugged("VXVEIN0000000001", {"--sensor", "finger-vein"});
        openWindow();
        const auto hand = [this] { return findNamed<QLabel>(*m_window, "Imghand")->pixmap().toImage(); };
        const auto picture = [](const char* set) {
            return QImage(QStringLiteral(VX_SOURCE_DIR "/resources/res/") + QLatin1String(set) + u"/FingerHand.png"_s)
                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        };
        navigation()->setCurrentItem(tokenNode()->child(3));
        QCOMPARE(control<QTabWidget>("PCFinger")->tabText(0), u"用户指静脉"_s);
        QCOMPARE(hand().convertToFormat(QImage::Format_ARGB32_Premultiplied), picture("FingerVein"));
        TestProgram::vtoken({"unplug", "VXVEIN0000000001"});
        plugged(Serial, {"--sensor", "fingerprint"});
        action("AcKeyRefresh")->trigger();
        navigation()->setCurrentItem(tokenNode()->child(3));
        QCOMPARE(control<QTabWidget>("PCFinger")->tabText(0), u"用户指纹"_s);
        QCOMPARE(hand().convertToFormat(QImage::Format_ARGB32_Premultiplied), picture("Finger"));
    }

    // The user's fingers, shown to an administrator, send a token that lists a hundred fingers to the vendor's tool.
    void longFingerListAsksForTheVendorTool_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("ten flags") << u"flags"_s << QStringList{};
        QTest::newRow("a hundred identifiers") << u"identifiers-100"_s << QStringList{u"请使用F7Xtra指纹管理工具"_s};
    }
    void longFingerListAsksForTheVendorTool() {
        QFETCH(QString, form);
        start({}, {"--finger-list", form});
        QTreeWidgetItem* adminLogin = tokenNode()->child(tokenNode()->childCount() - 1)->child(4);
        navigation()->setCurrentItem(adminLogin);
        control<QLineEdit>("edtFingerSPIN")->setText(u"99998888"_s);
        QFETCH(QStringList, told);
        if (!told.isEmpty())
            DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcFinger_SOPIN_Login")->trigger();
        QCOMPARE(navigation()->currentItem(), adminLogin->child(1));
        QCOMPARE(control<QTabWidget>("PCFinger")->tabText(0), u"用户指纹"_s);
        QCOMPARE(DialogService::shownTexts(), told);
    }

    // An enrolled finger clicked without a login is refused after its data was read; it stays enrolled.
    void fingerClickedWithoutLogin() {
        start();
        loginByPin();
        enrolledBySkf(3);
        action("Aclogout")->trigger();
        navigation()->setCurrentItem(tokenNode()->child(3));
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        findNamed<QToolButton>(*m_window, "SpeedButton3")->click();
        QCOMPARE(DialogService::shownTexts(), QStringList{u"未登录，请登录后操作"_s});
        QVERIFY(BiometricPage::isEnrolled(biometricPage().fingerInfo(), 3));
    }

    // Deleting every finger of a page that counted none stops before asking; without a login nothing is asked.
    void deleteAll() {
        start();
        navigation()->setCurrentItem(tokenNode()->child(3));
        QCOMPARE(currentPage(), int(PageHost::Biometric));
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcFingerDel")->trigger();
        QCOMPARE(DialogService::shownTexts(), QStringList{u"未登录，请登录后操作"_s});
        navigation()->setCurrentItem(tokenNode()->child(2));
        control<QLineEdit>("edtUPIN")->setText(u"11112222"_s);
        action("AcLogin")->trigger();
        navigation()->setCurrentItem(tokenNode()->child(3));
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcFingerDel")->trigger();
        QCOMPARE(DialogService::shownTexts(), QStringList{u"指纹不存在"_s});
    }
};

QTEST_MAIN(BiometricTest)
#include "BiometricTest.moc"
