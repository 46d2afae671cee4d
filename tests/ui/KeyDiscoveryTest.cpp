#include "app/LanguageTable.h"
#include "common/WindowTestCase.h"
#include "ui/biometric/AdminLoginPage.h"
#include "ui/main/DialogService.h"
#include "ui/main/KeyInfoPage.h"
#include "ui/main/KeyLabelPage.h"
#include "ui/main/LoginPage.h"
#include "ui/main/NavigationTree.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

// The main window on virtual tokens: the key discovery at first show, the tree it builds, the key information
// page, what selecting a node shows, and the warning about uninitialized tokens.
class KeyDiscoveryTest : public WindowTestCase {
    Q_OBJECT

    MainWindow& start() {
        openWindow();
        return *m_window;
    }

    QTreeWidgetItem* root() const { return navigation()->topLevelItem(0); }

    static QStringList texts(const QTreeWidgetItem* node) {
        QStringList list;
        for (int i = 0; i < node->childCount(); ++i)
            list << node->child(i)->text(0);
        return list;
    }

    static QList<int> images(const QTreeWidgetItem* node) {
        QList<int> list;
        for (int i = 0; i < node->childCount(); ++i)
            list << node->child(i)->data(0, NavigationTree::ImageIndexRole).toInt();
        return list;
    }

    QStringList rows() const {
        QStringList list;
        const QTreeWidget* info = control<QTreeWidget>("lvKeyInfo");
        for (int i = 0; i < info->topLevelItemCount(); ++i)
            list << info->topLevelItem(i)->text(0) + u'=' + info->topLevelItem(i)->text(1);
        return list;
    }

private Q_SLOTS:
    void noTokenShowsTheFailureAndNoBox() {
        start();
        QCOMPARE(texts(root()), QStringList{u"获取USBKey信息失败"_s});
        QVERIFY(root()->isExpanded());
        QCOMPARE(navigation()->currentItem(), root());
        QCOMPARE(currentPage(), int(MainWindow::KeyInfo));
        QVERIFY(rows().isEmpty());
        QTRY_VERIFY(!control<QTimer>("TCheckInit")->isActive());
        QVERIFY(DialogService::shownTexts().isEmpty());
    }

    void twoTokensUnfoldedInIndexOrder() {
        plugged("VXDISC0000000001", {"--label", "  First"});
        plugged("VXDISC0000000002", {"--label", "Second"});
        MainWindow& window = start();
        QCOMPARE(texts(root()), (QStringList{u"First"_s, u"Second"_s}));
        for (int i = 0; i < 2; ++i) {
            QTreeWidgetItem* token = root()->child(i);
            QCOMPARE(texts(token), (QStringList{u"修改USB Key口令"_s, u"修改USB Key名称"_s, u"证书"_s, u"远程解锁"_s}));
            QCOMPARE(images(token), (QList<int>{4, 11, 3, 22}));
            QVERIFY(token->isExpanded());
        }
        QVERIFY(root()->isExpanded());
        QCOMPARE(navigation()->currentItem(), root());
        QCOMPARE(window.state().KeyCount, 2);
        QCOMPARE(window.state().CurrentKey, 0);
        QCOMPARE(window.state().KeyTable[1].KeyState, int32_t(KeySlot::Present));
        QCOMPARE(window.state().KeyTable[2].KeyState, int32_t(KeySlot::NoToken));
        QCOMPARE(rows().first(), u"USBKey名称=  First"_s); // the list keeps the blanks the tree trims
        QVERIFY(rows().contains(u"序列号=VXDISC0000000001"_s));
    }

    void keyInformationRows() {
        plugged("VXDISC0000000003", {"--label", "网银盾", "--memory", "65536", "--hardware", "1.2", "--firmware",
                                     "2.10", "--user-pin-max", "12", "--user-pin-min", "6", "--user-retries", "5"});
        TestProgram::vtoken({"set", "VXDISC0000000003", "--user-retries-left", "0"});
        start();
        QCOMPARE(rows(), (QStringList{u"USBKey名称=网银盾"_s, u"生产厂商=Quorvex"_s, u"序列号=VXDISC0000000003"_s,
                                      u"最大密码长度=12"_s, u"最小密码长度=6"_s, u"最大重试次数=5"_s,
                                      u"USBKey口令剩余重试次数=0"_s, u"USBKey口令是否被锁=已锁死"_s, u"总空间=64 KB"_s,
                                      u"剩余空间=64 KB"_s, u"硬件版本=1.02"_s, u"固件版本=2.10"_s}));
    }

    void sizesAndVersions_data() {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("size");
        QTest::newRow("64 KB") << 65536 << u"64 KB"_s;
        QTest::newRow("1000 KB") << 1024000 << u"1000 KB"_s;
        QTest::newRow("1000.5 KB to even") << 1024512 << u"1000 KB"_s;
        QTest::newRow("1001 KB below a megabyte") << 1025024 << u"0.98 MB"_s;
        QTest::newRow("1001.5 KB to 1002") << 1025536 << u"0.98 MB"_s;
        QTest::newRow("1024 KB") << 1048576 << u"1.00 MB"_s;
        QTest::newRow("nothing") << 0 << u"0 KB"_s;
    }
    void sizesAndVersions() {
        QFETCH(int, bytes);
        QTEST(KeyInfoPage::FormatSize(bytes), "size");
    }

    void versionTexts_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("0x0102") << 258 << u"1.02"_s;
        QTest::newRow("0x010A") << 266 << u"1.10"_s;
        QTest::newRow("512") << 512 << u"2.00"_s;
        QTest::newRow("negative") << -258 << u"-1.-02"_s;
    }
    void versionTexts() {
        QFETCH(int, version);
        QTEST(KeyInfoPage::VersionText(version), "text");
    }

    void selectingNodesShowsTheirPages() {
        plugged("VXDISC0000000004", {"--label", "Alpha"});
        plugged("VXDISC0000000005", {"--label", " Beta"});
        MainWindow& window = start();
        QTreeWidgetItem* second = root()->child(1);
        navigation()->setCurrentItem(second);
        QCOMPARE(window.state().CurrentKey, 1);
        QCOMPARE(currentPage(), int(MainWindow::KeyInfo));
        QCOMPARE(rows().first(), u"USBKey名称= Beta"_s);

        navigation()->setCurrentItem(second->child(1));
        QCOMPARE(currentPage(), int(MainWindow::KeyLabel));
        QCOMPARE(control<QLineEdit>("edtKeyName")->text(), u"Beta"_s);

        navigation()->setCurrentItem(second->child(2));
        QCOMPARE(currentPage(), int(MainWindow::Login));
        QCOMPARE(control<QLabel>("Lkeyname")->text(), u" Beta"_s);
        QVERIFY(control<QTimer>("TSetFocusUPIN")->isActive());

        // "LoadCert" while the certificates are not shown: the page stays, the next visit asks for the PIN again.
        window.state().KeyTable[1].KeyState = KeySlot::LoggedIn;
        QCOMPARE(window.handleCopyData(u"LoadCert"_s), 0);
        QCOMPARE(currentPage(), int(MainWindow::Login));
        QCOMPARE(window.state().KeyTable[1].KeyState, int32_t(KeySlot::Present));

        navigation()->setCurrentItem(second->child(0));
        QCOMPARE(currentPage(), int(MainWindow::UserPin));
        navigation()->setCurrentItem(second->child(3));
        QCOMPARE(currentPage(), int(MainWindow::RemoteUnlock));

        navigation()->setCurrentItem(navigation()->topLevelItem(1));
        QCOMPARE(currentPage(), int(MainWindow::SystemCheck));
        QCOMPARE(window.state().CurrentKey, 1);
    }

    void tokenThatCannotBeReadStopsTheDiscovery() {
        plugged("VXDISC0000000014", {"--label", "Stays"});
        plugged("VXDISC0000000015", {"--label", "Leaves"});
        // The second token is pulled out after its connection, as its information is about to be read: the trace's
        // clock pulls it when the first read has ended.
        const QString logFolder = WindowTestCase::logFolder();
        // The window outlives this function when a check fails, so the clock owns what it uses.
        const auto pulled = std::make_shared<bool>(false);
        m_window = std::make_unique<MainWindow>(
            m_program->directory(), nullptr, OperationLog(logFolder, [=] {
                if (!*pulled && readOperationTrace(logFolder).count("token_get_info_ex end rtn=0") == 1) {
                    *pulled = true;
                    TestProgram::vtoken({"unplug", "VXDISC0000000015"});
                }
                return QDateTime::currentDateTime();
            }));
        MainWindow& window = *m_window;
        window.ShowPage(MainWindow::About);
        window.show();
        QTRY_VERIFY(window.state().TokenLibraryOpen);
        QVERIFY(*pulled);
        QCOMPARE(texts(root()), QStringList{u"获取USBKey信息失败"_s});
        QVERIFY(!root()->isExpanded());
        QVERIFY(!root()->isSelected());
        QCOMPARE(currentPage(), int(MainWindow::About));
        // The token that could not be read is not warned about: its record was cleared, not read.
        QTRY_VERIFY(!control<QTimer>("TCheckInit")->isActive());
        QVERIFY(DialogService::shownTexts().isEmpty());
    }

    // A discovery that fails selects root 0 even when it is selected already: the window acts on token 0 again.
    void aFailedDiscoveryReturnsToTheFirstToken() {
        plugged("VXDISC0000000017");
        plugged("VXDISC0000000018");
        MainWindow& window = start();
        navigation()->setCurrentItem(root()->child(1));
        QCOMPARE(window.state().CurrentKey, 1);
        TestProgram::vtoken({"unplug", "VXDISC0000000017"});
        TestProgram::vtoken({"unplug", "VXDISC0000000018"});
        action("AcKeyRefresh")->trigger();
        QCOMPARE(texts(root()), QStringList{u"获取USBKey信息失败"_s});
        QCOMPARE(window.state().CurrentKey, 0);
    }

    void administrationNodesShowTheirPages() {
        plugged("VXDISC0000000016", {"--label", "Admin"});
        MainWindow& window = start();
        // Nodes below a token's functions, as an administration entry would add them.
        QTreeWidgetItem* function = root()->child(0)->child(0);
        for (int i = 0; i < 5; ++i)
            new QTreeWidgetItem(function, {QString::number(i)});
        for (int i = 0; i < 3; ++i)
            new QTreeWidgetItem(function->child(4), {QString::number(i)});
        const std::initializer_list<std::pair<QTreeWidgetItem*, MainWindow::PageIndex>> expected = {
            {function->child(0), MainWindow::Initialization},
            {function->child(1), MainWindow::SoPin},
            {function->child(2), MainWindow::UnlockUserPin},
            {function->child(3), MainWindow::CdromImage},
            {function->child(4), MainWindow::AdminLogin},
            {function->child(4)->child(0), MainWindow::AdminLogin},
            {function->child(4)->child(1), MainWindow::Biometric},
            {function->child(4)->child(2), MainWindow::Biometric},
        };
        for (const auto& [node, page] : expected) {
            window.ShowPage(MainWindow::KeyInfo);
            navigation()->setCurrentItem(node);
            QCOMPARE(currentPage(), int(page));
            QCOMPARE(window.state().CurrentKey, 0);
        }
        QCOMPARE(control<QLabel>("LFingerKeyName")->text(), u"Admin"_s);
    }

    void uninitializedTokenIsWarnedAboutOnce() {
        plugged("VXDISC0000000006", {"--uninitialized"});
        plugged("VXDISC0000000007", {"--uninitialized"});
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        start();
        QTRY_COMPARE(DialogService::shownTexts(), QStringList{u"设备未初始化，请与管理员联系"_s});
        QVERIFY(!control<QTimer>("TCheckInit")->isActive());
    }

    void refreshFindsWhatChanged() {
        plugged("VXDISC0000000008", {"--label", "Gamma"});
        start();
        QTRY_VERIFY(!control<QTimer>("TCheckInit")->isActive());
        navigation()->setCurrentItem(root()->child(0)->child(1));
        TestProgram::vtoken({"unplug", "VXDISC0000000008"});
        action("AcKeyRefresh")->trigger();
        QCOMPARE(texts(root()), QStringList{u"获取USBKey信息失败"_s});
        QCOMPARE(currentPage(), int(MainWindow::KeyInfo));
        QVERIFY(!control<QTimer>("TCheckInit")->isActive());
        TestProgram::vtoken({"plug", "VXDISC0000000008"});
        action("AcKeyRefresh")->trigger();
        QCOMPARE(texts(root()), QStringList{u"Gamma"_s});
        QVERIFY(control<QTimer>("TCheckInit")->isActive());
    }

    void biometricTokensGetTheirNode_data() {
        QTest::addColumn<QString>("sensor");
        QTest::addColumn<QString>("nodeText");
        QTest::addColumn<int>("image");
        QTest::addColumn<QString>("triesCaption");
        QTest::newRow("fingerprint") << u"fingerprint"_s << u"用户指纹"_s << 18 << u"用户指纹剩余重试次数"_s;
        QTest::newRow("finger vein") << u"finger-vein"_s << u"用户指静脉"_s << 23 << u"用户指静脉剩余重试次数"_s;
    }
    void biometricTokensGetTheirNode() {
        QFETCH(QString, sensor);
        QFETCH(int, image);
        plugged("VXDISC0000000009", {"--sensor", sensor});
        MainWindow& window = start();
        QVERIFY(window.state().FingerKey);
        QCOMPARE(window.state().FingerVeinKey, image == 23);
        QTreeWidgetItem* token = root()->child(0);
        QCOMPARE(texts(token).size(), 5);
        QTEST(token->child(3)->text(0), "nodeText");
        QCOMPARE(images(token), (QList<int>{4, 11, 3, image, 22}));
        QVERIFY(action("AcFingerlogon")->isVisible());
        QCOMPARE(rows().size(), 14);
        QTEST(rows()[12].section(u'=', 0, 0), "triesCaption");
        QCOMPARE(rows()[13].section(u'=', 1), u"0"_s);

        navigation()->setCurrentItem(token->child(3));
        QCOMPARE(currentPage(), int(MainWindow::Biometric));
        navigation()->setCurrentItem(token->child(4));
        QCOMPARE(currentPage(), int(MainWindow::RemoteUnlock));
    }

    void wordingSwitchesBackWithTheToken() {
        plugged("VXDISC0000000010", {"--sensor", "finger-vein"});
        MainWindow& window = start();
        QCOMPARE(root()->child(0)->child(3)->text(0), u"用户指静脉"_s);
        TestProgram::vtoken({"unplug", "VXDISC0000000010"});
        plugged("VXDISC0000000011", {"--sensor", "fingerprint"});
        action("AcKeyRefresh")->trigger();
        QCOMPARE(root()->child(0)->child(3)->text(0), u"用户指纹"_s);
        QVERIFY(!window.state().FingerVeinKey);
        // A token without sensor leaves the wording as the last biometric token set it.
        TestProgram::vtoken({"unplug", "VXDISC0000000011"});
        plugged("VXDISC0000000012");
        action("AcKeyRefresh")->trigger();
        QVERIFY(!window.state().FingerKey);
        QCOMPARE(texts(root()->child(0)).size(), 4);
        QVERIFY(!action("AcFingerlogon")->isVisible());
    }

    void f7xCaptionKeepsBiometricLogonHidden() {
        m_program->writeFile(u"Languages/f7x.lng"_s, "[Caption]\nP_Caption=F7Xtra\n");
        LanguageTable::instance().LoadLanguageFile(m_program->filePath(u"Languages/f7x.lng"_s));
        plugged("VXDISC0000000013", {"--sensor", "fingerprint"});
        MainWindow& window = start();
        QVERIFY(window.state().FingerKey);
        QVERIFY(!action("AcFingerlogon")->isVisible());
        QVERIFY(control<QFrame>("pnlAdmin")->isHidden());
    }
};

QTEST_MAIN(KeyDiscoveryTest)
#include "KeyDiscoveryTest.moc"
