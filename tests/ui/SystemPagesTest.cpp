#include "common/WindowTestCase.h"
#include "platform/OperatingSystem.h"
#include "ui/main/DesktopOpener.h"
#include "ui/main/NavigationTree.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

// The pages of the tree's system and about roots on a virtual token.
class SystemPagesTest : public WindowTestCase {
    Q_OBJECT

    static QStringList rows(const QTreeWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(0) + u'|' + list->topLevelItem(i)->text(1);
        return texts;
    }

private Q_SLOTS:
    // The system node's five rows: the browser the user's mimeapps.list names, the token's module not registered
    // and then registered with p11-kit and NSS, no CSP library, and the module's own version.
    void systemSummary() {
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_DIRS");
        const QString home = QDir::homePath();
        writeTestFile(home + u"/.config/mimeapps.list"_s,
                      "[Default Applications]\nx-scheme-handler/https=test-browser.desktop;other.desktop\n");
        writeTestFile(home + u"/.local/share/applications/test-browser.desktop"_s,
                      "[Desktop Entry]\nName[zh_CN]=测试\nName=Test Browser\nExec=test-browser %u\n");
        plugged("VXSYSTEM00000002");
        openWindow();
        const QString os = OperatingSystem::name();
        QTreeWidgetItem* system = navigation()->topLevelItem(NavigationTree::SystemRoot);
        const QStringList unregistered{u"操作系统版本|"_s + os, u"浏览器版本|Test Browser Version："_s,
                                       u"CSP安装|未安装"_s, u"CSP版本|"_s, u"PKCS11版本|1.00"_s};
        navigation()->setCurrentItem(system);
        QCOMPARE(rows(control<QTreeWidget>("LVSystemInfo")), unregistered);
        const QByteArray module = QFile::encodeName(QFileInfo(QStringLiteral(VTOKEN_MODULE)).canonicalFilePath());
        writeTestFile(home + u"/.config/pkcs11/modules/vtoken.module"_s, "module: " + module + "\n");
        writeTestFile(home + u"/.pki/nssdb/pkcs11.txt"_s, "library=" + module + "\nname=vtoken\n");
        navigation()->setCurrentItem(navigation()->topLevelItem(NavigationTree::KeyListRoot));
        navigation()->setCurrentItem(system);
        QCOMPARE(rows(control<QTreeWidget>("LVSystemInfo")).at(2), u"CSP安装|已安装"_s);
        QVERIFY2(os.endsWith(u" (x64)"_s) || os.endsWith(u" (x86)"_s), qPrintable(os));
    }

    // The links open what their labels say. A language chosen on the page with other addresses opens those: a
    // web address without a scheme goes as it stands, to the browser when the desktop cannot open it, and the
    // e-mail address goes as mailto:.
    void aboutLinksOpenTheirLabels() {
        m_program->writeProfile("PID=0x0101\nAdminTools=1\n");
        QFile english(QStringLiteral(VX_SOURCE_DIR "/resources/Languages/EN_1033.lng"));
        QVERIFY(english.open(QIODevice::ReadOnly));
        m_program->writeFile(u"Languages/EN_1033.lng"_s,
                             english.readAll()
                                 .replace("=https://www.quorvex.example/", "=www.example.org/help")
                                 .replace("=support@quorvex.example", "=help@example.org"));
        plugged("VXSYSTEM00000001");
        openWindow();
        QStringList opened;
        DesktopOpener::setForTests([&opened](const QString& target, bool browser) {
            opened << (browser ? u"browser "_s : u"desktop "_s) + target;
            return target.contains(u"://"_s) || target.startsWith(u"mailto:"_s) || browser;
        });
        navigation()->setCurrentItem(navigation()->topLevelItem(NavigationTree::AboutRoot));
        auto* selector = control<QComboBox>("cbLanguageID");
        QVERIFY(selector->isVisibleTo(m_window.get()));
        QTest::mouseClick(control<QLabel>("Label20"), Qt::LeftButton);
        QTest::keyClick(selector, Qt::Key_Down); // English
        QTest::mouseClick(control<QLabel>("Label20"), Qt::LeftButton);
        control<QLabel>("Label19")->setFocus();
        QTest::keyClick(control<QLabel>("Label19"), Qt::Key_Return);
        DesktopOpener::setForTests({});
        QCOMPARE(opened, (QStringList{u"desktop https://www.quorvex.example/"_s, u"desktop www.example.org/help"_s,
                                      u"browser www.example.org/help"_s, u"desktop mailto:help@example.org"_s}));
        QCOMPARE(selector->currentIndex(), 1);
    }
};

QTEST_MAIN(SystemPagesTest)
#include "SystemPagesTest.moc"
