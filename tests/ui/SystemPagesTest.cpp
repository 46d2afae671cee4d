#include "common/WindowTestCase.h"
#include "ui/main/DesktopOpener.h"
#include "ui/main/NavigationTree.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;

// The pages of the tree's system and about roots on a virtual token.
class SystemPagesTest : public WindowTestCase {
    Q_OBJECT

private Q_SLOTS:
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
