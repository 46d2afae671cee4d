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

    void start() {
        m_program->writeProfile("PID=0x0101\nAdminTools=1\n");
        plugged(Serial, {"--sensor", "fingerprint", "--user-pin", "11112222", "--so-pin", "99998888"});
        openWindow();
    }
    QTreeWidgetItem* tokenNode() const { return navigation()->topLevelItem(0)->child(0); }
    BiometricPage& biometricPage() const { return *findNamed<BiometricPage>(*m_window, "Finger"); }

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

        // The study counts five matches of the finger enrolled last: another finger's match does not count.
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
