#include "app/LanguageTable.h"
#include "common/WindowTestCase.h"
#include "ui/main/DialogService.h"

#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

// Tokens plugged in and pulled out while the window runs: which events count, and how the re-discovery timer
// balances arrivals against the tokens it finds.
class DeviceWatchTest : public WindowTestCase {
    Q_OBJECT

    static constexpr int32_t TokenProduct = 0x0101;

    // A token whose own plug events the window ignores (its product id is not in the profile), so that only the
    // events a test hands to the window count.
    static void quietToken(const char* serial, const char* label) {
        TestProgram::vtoken({"create", "--serial", serial, "--label", label, "--usb-product", "0x0999", "--plugged"});
    }

    MainWindow& start() {
        openWindow();
        // The rules are about ticks, not seconds.
        control<QTimer>("TFindUSBKey")->setInterval(10);
        return *m_window;
    }

    QStringList tokenNodes() const {
        QStringList list;
        const QTreeWidgetItem* root = navigation()->topLevelItem(0);
        for (int i = 0; i < root->childCount(); ++i)
            list << root->child(i)->text(0);
        return list;
    }

    int discoveries() const { return int(operationTrace().count("token_find begin")); }

private Q_SLOTS:
    void unplugAndPlugReachTheTree() {
        TestProgram::vtoken({"create", "--serial", "VXWATCH000000005", "--label", "Roaming", "--plugged"});
        start();
        QCOMPARE(tokenNodes(), QStringList{u"Roaming"_s});
        TestProgram::vtoken({"unplug", "VXWATCH000000005"});
        QTRY_COMPARE(tokenNodes(), QStringList{u"获取USBKey信息失败"_s});
        TestProgram::vtoken({"plug", "VXWATCH000000005"});
        QTRY_COMPARE(tokenNodes(), QStringList{u"Roaming"_s});
        QCOMPARE(m_window->state().ArrivalBalance, 1);
    }

    void eventsBeforeTheLibraryOpenedChangeNothing() {
        MainWindow window(m_program->directory());
        window.usbArrival(TokenProduct);
        window.usbRemoval(TokenProduct);
        QCOMPARE(window.state().ArrivalBalance, 0);
        QVERIFY(!findNamed<QTimer>(window, "TFindUSBKey")->isActive());
    }

    void otherProductsAreIgnored() {
        MainWindow& window = start();
        window.usbArrival(0x0103);
        window.usbRemoval(0);
        QCOMPARE(window.state().ArrivalBalance, 0);
        QCOMPARE(window.state().DiscoveryTicksLeft, 0);
        QVERIFY(!control<QTimer>("TFindUSBKey")->isActive());
    }

    void arrivalsRunDiscoveryUntilEveryTokenIsFound() {
        MainWindow& window = start();
        quietToken("VXWATCH000000001", "One");
        quietToken("VXWATCH000000002", "Two");
        window.usbArrival(TokenProduct);
        window.usbArrival(0x0102);
        QCOMPARE(window.state().ArrivalBalance, 2);
        QCOMPARE(window.state().DiscoveryTicksLeft, 5);
        QVERIFY(control<QTimer>("TFindUSBKey")->isActive());
        const int before = discoveries();
        QTRY_VERIFY(!control<QTimer>("TFindUSBKey")->isActive());
        QCOMPARE(discoveries() - before, 1);
        QCOMPARE(tokenNodes(), (QStringList{u"One"_s, u"Two"_s}));
        QVERIFY(control<QTimer>("TCheckInit")->isActive());
    }

    void arrivalAfterMoreRemovalsCountsOne() {
        MainWindow& window = start();
        window.state().ArrivalBalance = -3;
        window.usbArrival(TokenProduct);
        QCOMPARE(window.state().ArrivalBalance, 1);
    }

    void removalOfAnotherDeviceStartsNothing() {
        TestProgram::vtoken({"create", "--serial", "VXWATCH000000003", "--plugged"});
        MainWindow& window = start();
        window.usbRemoval(TokenProduct);
        QCOMPARE(window.state().ArrivalBalance, -1);
        QVERIFY(!control<QTimer>("TFindUSBKey")->isActive());
    }

    void removalOfAKnownTokenRediscoversOnce() {
        quietToken("VXWATCH000000004", "Gone");
        MainWindow& window = start();
        QCOMPARE(tokenNodes(), QStringList{u"Gone"_s});
        TestProgram::vtoken({"unplug", "VXWATCH000000004"});
        const int before = discoveries();
        window.usbRemoval(TokenProduct);
        QCOMPARE(window.state().DiscoveryTicksLeft, 2);
        QTRY_VERIFY(!control<QTimer>("TFindUSBKey")->isActive());
        QCOMPARE(discoveries() - before, 1);
        QCOMPARE(tokenNodes(), QStringList{u"获取USBKey信息失败"_s});
    }

    void removalWithoutTokensAlwaysLooks() {
        MainWindow& window = start();
        window.usbRemoval(TokenProduct);
        QCOMPARE(window.state().DiscoveryTicksLeft, 2);
        QVERIFY(control<QTimer>("TFindUSBKey")->isActive());
    }

    void failingDiscoveryClosesTheImportDialogAndGivesUp() {
        MainWindow& window = start();
        QWidget importDialog;
        importDialog.setObjectName(u"TIMForm"_s);
        importDialog.show();
        const int before = discoveries();
        window.usbArrival(TokenProduct);
        QTRY_VERIFY(!importDialog.isVisible());
        QTRY_VERIFY(!control<QTimer>("TFindUSBKey")->isActive());
        QCOMPARE(discoveries() - before, 4);
    }

    // Events less than a second apart must not hold the discovery off: a further one leaves the timer running.
    void aFurtherEventDoesNotRestartTheTimer() {
        start();
        QTimer* discovery = control<QTimer>("TFindUSBKey");
        discovery->setInterval(1000);
        discovery->setTimerType(Qt::PreciseTimer); // a coarse timer's remaining time is rounded
        m_window->usbArrival(TokenProduct);
        // The arrival itself waits 100 ms for the token's driver.
        m_window->usbArrival(TokenProduct);
        QVERIFY(discovery->isActive());
        QVERIFY2(discovery->remainingTime() <= 900, qPrintable(QString::number(discovery->remainingTime())));
        QCOMPARE(m_window->state().DiscoveryTicksLeft, 5);
    }
};

QTEST_MAIN(DeviceWatchTest)
#include "DeviceWatchTest.moc"
