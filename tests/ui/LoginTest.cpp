#include "app/LanguageTable.h"
#include "common/WindowTestCase.h"
#include "ui/main/CertificatePage.h"
#include "ui/main/DialogService.h"
#include "ui/main/LoginPage.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

// What the registered certificate viewer was last asked to show.
QByteArray viewed;

int32_t recordingViewer(void*, const uint8_t* certificate, int32_t length) {
    viewed = QByteArray(reinterpret_cast<const char*>(certificate), length);
    return 0;
}

} // namespace

// The user's login and logout on virtual tokens, and the certificate tree the login opens.
class LoginTest : public WindowTestCase {
    Q_OBJECT

    MainWindow& startOn(const char* serial, const QStringList& options = {}) {
        plugged(serial, options);
        openWindow();
        // The certificates node of the token opens the login page.
        navigation()->setCurrentItem(navigation()->topLevelItem(0)->child(0)->child(2));
        return *m_window;
    }

    void logIn(const QString& pin) {
        control<QLineEdit>("edtUPIN")->setText(pin);
        action("AcLogin")->trigger();
    }

    QTreeWidget* tree() const { return control<QTreeWidget>("tvCert"); }

    QStringList topLevel() const {
        QStringList texts;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            texts << tree()->topLevelItem(i)->text(0);
        return texts;
    }

    static QStringList children(const QTreeWidgetItem* node) {
        QStringList texts;
        for (int i = 0; i < node->childCount(); ++i)
            texts << node->child(i)->text(0);
        return texts;
    }

    QTreeWidgetItem* container(const QString& name) const {
        const QList<QTreeWidgetItem*> found = tree()->findItems(name + u"(容器)"_s, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }

    int userTriesLeft(const char* serial) const {
        const QByteArray shown = TestProgram::vtoken({"show", serial});
        for (const QByteArray& line : shown.split('\n'))
            if (line.startsWith("user PIN retries:"))
                return line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toInt();
        return -1;
    }

private Q_SLOTS:
    void lockedTokenIsRefusedBeforeAnyPinIsSent() {
        startOn("VXLOGIN000000001", {"--user-retries", "3"});
        TestProgram::vtoken({"set", "VXLOGIN000000001", "--user-retries-left", "0"});
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        logIn(u"12345678"_s);
        QCOMPARE(DialogService::shownTexts(), QStringList{u"USBKey已锁死"_s});
        QCOMPARE(currentPage(), int(MainWindow::Login));
        QCOMPARE(userTriesLeft("VXLOGIN000000001"), 0);
        QVERIFY(!operationTrace().contains("token_login begin"));
    }

    void wrongPins_data() {
        QTest::addColumn<QString>("triesLeft");
        QTest::addColumn<QString>("message");
        QTest::newRow("three left after") << u"4"_s << u"口令不正确\r您还有3次机会"_s;
        QTest::newRow("the last try") << u"1"_s << u"USBKey已锁死"_s;
    }
    void wrongPins() {
        QFETCH(QString, triesLeft);
        MainWindow& window = startOn("VXLOGIN000000002");
        TestProgram::vtoken({"set", "VXLOGIN000000002", "--user-retries-left", triesLeft});
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        logIn(u"00000000"_s);
        QTEST(DialogService::shownTexts().value(0), "message");
        QCOMPARE(control<QLineEdit>("edtUPIN")->text(), u"00000000"_s); // kept after a failed login
        QCOMPARE(window.state().KeyTable[0].KeyState, int32_t(KeySlot::Present));
        QCOMPARE(currentPage(), int(MainWindow::Login));
    }

    void enterSendsAPinBelowTheMinimum() {
        startOn("VXLOGIN000000003", {"--user-pin-min", "6", "--user-pin", "123456"});
        QLineEdit* pin = control<QLineEdit>("edtUPIN");
        pin->setText(u"123"_s);
        QVERIFY(!action("AcLogin")->isEnabled());
        pin->setText(u"123456"_s);
        QVERIFY(action("AcLogin")->isEnabled());
        pin->setText(u"123"_s);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        QTest::keyClick(pin, Qt::Key_Return);
        QCOMPARE(DialogService::shownTexts(), QStringList{u"口令不正确\r您还有9次机会"_s});
    }

    void loginShowsTheTreeAndEmptiesThePinBox() {
        MainWindow& window = startOn("VXLOGIN000000004", {"--demo"});
        logIn(u"12345678"_s);
        QVERIFY(DialogService::shownTexts().isEmpty());
        QCOMPARE(currentPage(), int(MainWindow::Certificates));
        QCOMPARE(window.state().KeyTable[0].KeyState, int32_t(KeySlot::LoggedIn));
        QVERIFY(control<QLineEdit>("edtUPIN")->text().isEmpty());
        QCOMPARE(topLevel(), (QStringList{u"张三 Zhang San(容器)"_s, u"李四 Li Si EC(容器)"_s, u"Demo Root CA(容器)"_s,
                                          u"Demo Issuing CA(容器)"_s}));

        // Both certificates: the key-exchange one first, each with its subject and keys.
        QTreeWidgetItem* both = container(u"张三 Zhang San"_s);
        QCOMPARE(children(both), (QStringList{u"密钥交换证书"_s, u"签名证书"_s}));
        QTreeWidgetItem* exchange = both->child(0);
        QCOMPARE(exchange->childCount(), 3);
        QVERIFY(exchange->child(0)->text(0).contains(u"张三"_s));
        QCOMPARE(exchange->child(1)->text(0), u"公钥(RSA2048)"_s);
        QCOMPARE(exchange->child(2)->text(0), u"私钥(RSA2048)"_s);
        QCOMPARE(exchange->child(0)->data(0, CertificatePage::ImageRole).toInt(), 3);
        QCOMPARE(exchange->child(1)->data(0, CertificatePage::ImageRole).toInt(), 4);
        QCOMPARE(exchange->child(2)->data(0, CertificatePage::ImageRole).toInt(), 5);
        QVERIFY(both->isExpanded() && exchange->isExpanded());

        // Only a signature certificate, on an EC key.
        QTreeWidgetItem* ec = container(u"李四 Li Si EC"_s);
        QCOMPARE(children(ec), QStringList{u"签名证书"_s});
        QCOMPARE(children(ec->child(0)).mid(1), (QStringList{u"公钥(ECC256)"_s, u"私钥(ECC256)"_s}));
        // CA certificates without keys: the kind follows the usage directly.
        QCOMPARE(children(container(u"Demo Root CA"_s)), QStringList{u"密钥交换证书(ROOT)"_s});
        QCOMPARE(children(container(u"Demo Issuing CA"_s)), QStringList{u"密钥交换证书(CA)"_s});
        // The public key is the certificate's own; no private key goes with it.
        QCOMPARE(children(container(u"Demo Root CA"_s)->child(0)).mid(1), QStringList{u"公钥(RSA2048)"_s});

        const ContainerCertFlags& flags = window.state().CertFlags[0];
        QCOMPARE(flags[0], (std::array<uint8_t, 2>{1, 2}));
        QCOMPARE(flags[1], (std::array<uint8_t, 2>{0, 2}));
        QCOMPARE(flags[2], (std::array<uint8_t, 2>{1, 0}));
    }

    void onlyTheSubjectNodeOffersTheCertificate() {
        MainWindow& window = startOn("VXLOGIN000000005", {"--demo"});
        logIn(u"12345678"_s);
        QTreeWidgetItem* ec = container(u"李四 Li Si EC"_s);
        const std::initializer_list<std::pair<QTreeWidgetItem*, bool>> nodes = {{ec, false},
                                                                                {ec->child(0), false},
                                                                                {ec->child(0)->child(1), false},
                                                                                {ec->child(0)->child(2), false},
                                                                                {ec->child(0)->child(0), true}};
        for (const auto& [node, offered] : nodes) {
            tree()->setCurrentItem(node);
            // Export and deletion are hidden on this build, and a hidden action reads as disabled.
            QCOMPARE(action("AcListCert")->isEnabled(), offered);
        }
        // The only certificate of the container is its signature certificate.
        const std::optional<CertificatePage::CertificateChoice> choice =
            m_window->findChild<CertificatePage*>()->SelectedCertificate();
        QVERIFY(choice);
        QCOMPARE(choice->container, 1);
        QCOMPARE(choice->usage, SignatureUsage);

        viewed.clear();
        QCOMPARE(window.tokenLibrary().helper_register_cert_viewer(&recordingViewer), 0);
        action("AcListCert")->trigger();
        QByteArray expected;
        QCOMPARE(window.tokenLibrary().ReadCertificate(0, "李四 Li Si EC", 2, expected), 0);
        QCOMPARE(viewed, expected);
        QVERIFY(!viewed.isEmpty());
    }

    // The export writes the certificate as the token holds it and replaces a file of that name without asking; a
    // file that cannot be written gets no success message.
    void exportWritesTheCertificate() {
        MainWindow& window = startOn("VXLOGIN000000016", {"--demo"});
        logIn(u"12345678"_s);
        tree()->setCurrentItem(container(u"李四 Li Si EC"_s)->child(0)->child(0));
        const QString path = writeTestFile(m_program->filePath(u"exported.cer"_s), "an older file");
        DialogService::setNextFileName(path);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcOutput")->trigger();
        QCOMPARE(DialogService::shownTexts(), (QStringList{u"导出证书"_s, u"导出成功"_s}));
        QByteArray expected;
        QCOMPARE(window.tokenLibrary().ReadCertificate(0, "李四 Li Si EC", 2, expected), 0);
        QFile exported(path);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        QCOMPARE(exported.readAll(), expected);

        DialogService::clearShownTexts();
        DialogService::setNextFileName(m_program->filePath(u"no/such/folder/x.cer"_s));
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcOutput")->trigger();
        QCOMPARE(DialogService::shownTexts().size(), 2);
        QVERIFY(DialogService::shownTexts().value(1).startsWith(u"无法写入证书文件"_s));
    }

    void theProgramsViewerShowsTheSignatureCertificate() {
        startOn("VXLOGIN000000010", {"--demo"});
        logIn(u"12345678"_s);
        QTreeWidgetItem* signature = container(u"张三 Zhang San"_s)->child(1);
        tree()->setCurrentItem(signature->child(0));
        QCOMPARE(m_window->findChild<CertificatePage*>()->SelectedCertificate()->usage, SignatureUsage);
        // The viewer is modal: look at it once it is up, then close it.
        QString title;
        QStringList labels;
        QTimer::singleShot(0, this, [&] {
            QDialog* viewer = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(viewer);
            title = viewer->objectName();
            for (const QLabel* label : viewer->findChildren<QLabel*>())
                labels << label->text();
            viewer->reject();
        });
        action("AcListCert")->trigger();
        QCOMPARE(title, u"CertificateViewer"_s);
        QVERIFY(labels.contains(u"张三 Zhang San"_s));
        QVERIFY(DialogService::shownTexts().isEmpty());
    }

    void rightClickSelectsTheNodeAndOffersTheMenu() {
        startOn("VXLOGIN000000011", {"--demo"});
        logIn(u"12345678"_s);
        QTreeWidgetItem* subject = container(u"李四 Li Si EC"_s)->child(0)->child(0);
        const QPoint where = tree()->visualItemRect(subject).center();
        Q_EMIT tree()->customContextMenuRequested(where);
        QCOMPARE(tree()->currentItem(), subject);
        QTRY_VERIFY(control<QMenu>("PMCertInfo")->isVisible());
        QVERIFY(action("AcListCert")->isEnabled());
        control<QMenu>("PMCertInfo")->close();
        // Outside any node nothing happens.
        Q_EMIT tree()->customContextMenuRequested(
            QPoint(tree()->viewport()->width() - 2, tree()->viewport()->height() - 2));
        QCOMPARE(tree()->currentItem(), subject);
        QVERIFY(!control<QMenu>("PMCertInfo")->isVisible());
    }

    void tokenWithoutContainers() {
        startOn("VXLOGIN000000006");
        logIn(u"12345678"_s);
        QCOMPARE(topLevel(), QStringList{u"(无容器)"_s});
        tree()->setCurrentItem(tree()->topLevelItem(0));
        QVERIFY(!action("AcDel")->isEnabled());
    }

    void logoutAsksForThePinAgain() {
        MainWindow& window = startOn("VXLOGIN000000007");
        logIn(u"12345678"_s);
        action("Aclogout")->trigger();
        QCOMPARE(currentPage(), int(MainWindow::Login));
        QCOMPARE(window.state().KeyTable[0].KeyState, int32_t(KeySlot::Present));
        QVERIFY(control<QLineEdit>("edtUPIN")->text().isEmpty());
        // Back to the certificates node: the login page again, not the tree.
        QTreeWidgetItem* certificates = navigation()->topLevelItem(0)->child(0)->child(2);
        navigation()->setCurrentItem(certificates->parent());
        navigation()->setCurrentItem(certificates);
        QCOMPARE(currentPage(), int(MainWindow::Login));
        QTRY_COMPARE(QApplication::focusWidget(), control<QLineEdit>("edtUPIN"));
        QCOMPARE(control<QLineEdit>("edtUPIN")->palette().color(QPalette::Base), QColor(Qt::yellow));
        navigation()->setFocus();
        // Outside the focus it has an edit's own colour, never the window's, which reads as disabled.
        QCOMPARE(control<QLineEdit>("edtUPIN")->palette().color(QPalette::Base),
                 QApplication::palette(control<QLineEdit>("edtUPIN")).color(QPalette::Base));
    }

    // The selection moved on before the PIN box took the keyboard: the keys stay with the tree.
    void aNewSelectionKeepsTheKeyboard() {
        startOn("VXLOGIN000000012");
        QVERIFY(control<QTimer>("TSetFocusUPIN")->isActive());
        navigation()->setCurrentItem(navigation()->topLevelItem(0));
        QCOMPARE(currentPage(), int(MainWindow::Login));
        QVERIFY(!control<QTimer>("TSetFocusUPIN")->isActive());
    }

    // A PIN typed for one token, even a wrong one, is not offered to the next token opened.
    void openingTheLoginPageEmptiesTheBox() {
        plugged("VXLOGIN000000014");
        startOn("VXLOGIN000000013");
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        logIn(u"00000000"_s);
        QCOMPARE(control<QLineEdit>("edtUPIN")->text(), u"00000000"_s);
        navigation()->setCurrentItem(navigation()->topLevelItem(0)->child(1)->child(2));
        QCOMPARE(currentPage(), int(MainWindow::Login));
        QVERIFY(control<QLineEdit>("edtUPIN")->text().isEmpty());
    }

    void pinLengthCountsCharacters_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << QString() << u"0"_s;
        QTest::newRow("digits") << u"1234"_s << u"4"_s;
        QTest::newRow("Chinese") << u"口令"_s << u"2"_s;
        QTest::newRow("outside the BMP") << u"\U0001F511a"_s << u"2"_s;
    }
    void pinLengthCountsCharacters() {
        QFETCH(QString, typed);
        startOn("VXLOGIN000000015");
        control<QLineEdit>("edtUPIN")->setText(typed);
        QTEST(control<QLabel>("Label10")->text(), "shown");
    }

    void cancelEmptiesThePinBox() {
        startOn("VXLOGIN000000008");
        control<QLineEdit>("edtUPIN")->setText(u"1234"_s);
        action("AcCancel")->trigger();
        QVERIFY(control<QLineEdit>("edtUPIN")->text().isEmpty());
    }

    void tokenPulledOutWhileLoggedIn() {
        MainWindow& window = startOn("VXLOGIN000000009", {"--demo"});
        logIn(u"12345678"_s);
        TestProgram::vtoken({"unplug", "VXLOGIN000000009"});
        action("Acrefresh")->trigger(); // the token is gone under the page: an empty tree, no crash
        QTRY_COMPARE(navigation()->topLevelItem(0)->child(0)->text(0), u"获取USBKey信息失败"_s);
        QCOMPARE(window.state().KeyTable[0].KeyState, int32_t(KeySlot::NoToken));
        QCOMPARE(currentPage(), int(MainWindow::KeyInfo));
    }
};

QTEST_MAIN(LoginTest)
#include "LoginTest.moc"
