#include "app/LanguageTable.h"
#include "common/WindowTestCase.h"
#include "tokenlib/TestCertificates.h"
#include "ui/main/CertificatePage.h"
#include "ui/main/DialogService.h"
#include "ui/main/TIMForm.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr char Provider[] = "Test CSP";

// How a test fills the import dialog: the file, its password, and a new container's name (null: the container
// of the list named existing).
struct DialogInput {
    QString file;
    QString password;
    QString newName;
    QString existing;
    bool signature = false;
    std::function<void()> beforeConfirming = [] {};
};

QByteArrayList nicknames() {
    QProcess certutil;
    certutil.start(u"certutil"_s, {u"-d"_s, u"sql:"_s + QDir::homePath() + u"/.pki/nssdb"_s, u"-L"_s});
    if (!certutil.waitForFinished(30000))
        qFatal("certutil did not finish");
    QByteArrayList names;
    // certutil shows a nickname holding a colon with the database's token name in front.
    const QByteArray prefix = "NSS Certificate DB:";
    for (QByteArray line : certutil.readAllStandardOutput().split('\n')) {
        line = line.trimmed();
        if (!line.startsWith(prefix)) // the provider's nicknames; authorities are named without a colon
            continue;
        names.append(line.left(line.lastIndexOf(' ')).mid(prefix.size()).trimmed());
    }
    return names;
}

} // namespace

// The certificate page's operations on virtual tokens: import through the dialog, deletion, and the user's
// certificate store.
class CertificateOperationsTest : public WindowTestCase {
    Q_OBJECT

    void loggedInOn(const char* serial, const QStringList& options = {"--demo"}) {
        m_program->writeProfile("PID=0x0101\n", VTOKEN_MODULE, VTOKEN_SKF_LIBRARY, Provider);
        plugged(serial, options);
        openWindow();
        navigation()->setCurrentItem(navigation()->topLevelItem(0)->child(0)->child(2));
        control<QLineEdit>("edtUPIN")->setText(u"12345678"_s);
        action("AcLogin")->trigger();
        QCOMPARE(currentPage(), int(PageHost::Certificates));
    }

    QTreeWidget* tree() const { return control<QTreeWidget>("tvCert"); }

    QStringList containers() const {
        TTokenInfo info;
        if (m_window->tokenLibrary().LoadContainerList(0, info) != 0)
            return {};
        QStringList names;
        for (int32_t p = 0; p < info.containerCount; ++p)
            names.append(QString::fromUtf8(info.containerNames[size_t(p)]));
        return names;
    }

    QTreeWidgetItem* containerNode(const QString& name) const {
        const QList<QTreeWidgetItem*> found = tree()->findItems(name + u"(容器)"_s, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }

    // Opens the import dialog, fills it in as a person would, and confirms it; a dialog that stays open after a
    // refusal is cancelled.
    void importThrough(const DialogInput& input) {
        QTimer::singleShot(0, this, [input] {
            TIMForm* dialog = nullptr;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* form = qobject_cast<TIMForm*>(window); form && form->isVisible())
                    dialog = form;
            if (!dialog)
                qFatal("the import dialog is not open");
            DialogService::setNextFileName(input.file);
            findNamed<QPushButton>(*dialog, "btnpath")->click();
            findNamed<QLineEdit>(*dialog, "edtpwd")->setText(input.password);
            if (input.newName.isNull()) {
                findNamed<QRadioButton>(*dialog, "rb2")->click();
                auto* list = findNamed<QComboBox>(*dialog, "cbContName");
                list->setCurrentIndex(list->findText(input.existing));
            } else {
                findNamed<QRadioButton>(*dialog, "rb1")->click();
                findNamed<QLineEdit>(*dialog, "edtContname")->setText(input.newName);
            }
            findNamed<QRadioButton>(*dialog, input.signature ? "rb4" : "rb3")->click();
            input.beforeConfirming();
            findNamed<QPushButton>(*dialog, "btnOK")->click();
            if (dialog->isVisible())
                dialog->reject();
        });
        action("AcInputCert")->trigger();
    }

    QString file(const QString& name, const QByteArray& content) const {
        return writeTestFile(m_program->filePath(name), content);
    }

private Q_SLOTS:
    // The language file offers the import, export and deletions; the profile's AdminTools the store registration.
    void offeredOperations_data() {
        QTest::addColumn<bool>("shippedFile");
        QTest::addColumn<QByteArray>("flags");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("built-in texts") << false << QByteArray() << QStringList{"AcOutput"};
        QTest::newRow("shipped file, administrator")
            << true << QByteArray("AdminTools=1\n")
            << QStringList{"AcOutput", "AcDel", "AcDelCert", "AcInputCert", "AcRegCert", "AcUnRegCert"};
    }
    void offeredOperations() {
        QFETCH(bool, shippedFile);
        QFETCH(QByteArray, flags);
        QFETCH(QStringList, offered);
        if (shippedFile)
            LanguageTable::instance().LoadLanguageFile(m_program->filePath(u"Languages/ZH_2052.lng"_s));
        m_program->writeProfile(flags);
        openWindow();
        QStringList visible;
        for (const char* name : {"AcOutput", "AcDel", "AcDelCert", "AcInputCert", "AcRegCert", "AcUnRegCert"})
            if (action(name)->isVisible())
                visible.append(QLatin1String(name));
        QCOMPARE(visible, offered);
    }

    // What the dialog and the page refuse before anything is written to the token.
    void refusals_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("asPkcs12");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("shown");
        QTest::newRow(".CER is read as PKCS#12") << "a.CER" << false << ""
                                                 << "new"
                                                 << "证书文件或访问密码有误";
        QTest::newRow(".crt is read as PKCS#12") << "a.crt" << false << ""
                                                 << "new"
                                                 << "证书文件或访问密码有误";
        QTest::newRow("wrong password") << "a.pfx" << true << "wrong"
                                        << "new"
                                        << "证书文件或访问密码有误";
        QTest::newRow("blank name") << "a.pfx" << true << "secret"
                                    << "   "
                                    << "容器名称不能为空";
        QTest::newRow("name taken") << "a.pfx" << true << "secret"
                                    << "李四 Li Si EC"
                                    << "容器名称相同，创建失败";
        QTest::newRow("usage taken") << "a.pfx" << true << "secret" << QString() << "容器中签名证书已存在\r";
    }
    void refusals() {
        QFETCH(QString, name);
        QFETCH(bool, asPkcs12);
        QFETCH(QString, password);
        QFETCH(QString, newName);
        QFETCH(QString, shown);
        loggedInOn("VXIMPORT00000001");
        const testcerts::KeyPair user = testcerts::certify(testcerts::rsaKey(), "Refused");
        const QString path = file(name, asPkcs12 ? testcerts::pkcs12(user, "secret") : testcerts::der(user));
        const QStringList before = containers();
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        importThrough({path, password, newName, u"李四 Li Si EC"_s, true});
        QCOMPARE(DialogService::shownTexts(), (QStringList{u"浏览"_s, shown}));
        QCOMPARE(containers(), before);
    }

    void freeMemory_data() {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("opens");
        QTest::newRow("4096 bytes") << 4096 << false;
        QTest::newRow("4097 bytes") << 4097 << true;
    }
    void freeMemory() {
        QFETCH(int, bytes);
        QFETCH(bool, opens);
        loggedInOn("VXIMPORT00000002", {"--memory", QString::number(bytes)});
        bool opened = false;
        QTimer::singleShot(0, this, [&opened] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* form = qobject_cast<TIMForm*>(window); form && form->isVisible()) {
                    opened = true;
                    form->reject();
                }
        });
        if (!opens)
            DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcInputCert")->trigger();
        QCOMPARE(opened, opens);
        QCOMPARE(DialogService::shownTexts(), opens ? QStringList() : QStringList{u"空间不足"_s});
    }

    // The user certificate into the chosen container, each authority into a container of its own as a signature
    // certificate; the store registration follows.
    void pkcs12WithItsChain() {
        loggedInOn("VXIMPORT00000003");
        const testcerts::KeyPair root = testcerts::certify(testcerts::rsaKey(), "Import Root", nullptr, true, 1);
        const testcerts::KeyPair ca = testcerts::certify(testcerts::rsaKey(), "Import CA", &root, true, 2);
        const testcerts::KeyPair user = testcerts::certify(testcerts::rsaKey(), "Import User", &ca, false, 3);
        const QString path = file(u"user.p12"_s, testcerts::pkcs12(user, "secret", {&ca, &root}));
        const QStringList before = containers();
        importThrough({path, u"secret"_s, u"导入 Import"_s, {}, false});
        QCOMPARE(DialogService::shownTexts(), QStringList{u"浏览"_s});
        QVERIFY(!control<QWidget>("PBCert")->isVisible());

        QStringList added = containers();
        for (const QString& name : before)
            added.removeOne(name);
        QCOMPARE(added.size(), 3);
        QVERIFY(added.removeOne(u"导入 Import"_s));
        QStringList kinds;
        for (const QString& name : added) {
            QVERIFY2(QRegularExpression(u"^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$"_s).match(name).hasMatch(),
                     qPrintable(name));
            TTokenCertInfo info;
            QCOMPARE(m_window->tokenLibrary().ReadCertInfo(0, name.toUtf8(), SignatureUsage, info), 0);
            kinds.append(info.subject + u'/' + QString::number(info.kind));
        }
        kinds.sort();
        QCOMPARE(kinds, (QStringList{u"Import CA/2"_s, u"Import Root/1"_s}));
        QTreeWidgetItem* node = containerNode(u"导入 Import"_s);
        QVERIFY(node);
        QCOMPARE(node->childCount(), 1);
        QCOMPARE(node->child(0)->text(0), u"密钥交换证书"_s);

        if (QStandardPaths::findExecutable(u"certutil"_s).isEmpty())
            QSKIP("certutil is not installed");
        QVERIFY(control<QTimer>("TRegCert")->isActive());
        QTRY_VERIFY(!control<QTimer>("TRegCert")->isActive());
        QVERIFY(nicknames().contains(QByteArray(Provider) + ":导入 Import:1"));
    }

    // A worker the page stops waiting for is reported as still running (259) and may still finish.
    void importThatTakesTooLong() {
        loggedInOn("VXIMPORT00000004");
        const QString path = file(u"alone.cer"_s, testcerts::der(testcerts::certify(testcerts::rsaKey(), "Alone")));
        CertificatePage::setImportPollLimit(0);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        importThrough({path, {}, u"slow"_s, {}, false});
        CertificatePage::setImportPollLimit(CertificatePage::ImportPolls);
        QCOMPARE(DialogService::shownTexts(),
                 (QStringList{u"浏览"_s, u"导入证书失败 ErrorCode :String=   0x00000103"_s}));
        TTokenCertInfo info;
        QTRY_COMPARE(m_window->tokenLibrary().ReadCertInfo(0, "slow", ExchangeUsage, info), 0);
    }

    // Tokens found again while the dialog is open may have another token at the index, or none logged in: what
    // was chosen is not imported.
    void discoveryDuringTheDialogCancelsTheImport() {
        loggedInOn("VXIMPORT00000008");
        const QString path = file(u"alone.cer"_s, testcerts::der(testcerts::certify(testcerts::rsaKey(), "Alone")));
        const QStringList before = containers();
        importThrough({path, {}, u"late"_s, {}, false, [this] { m_window->DiscoverKeys(); }});
        QCOMPARE(DialogService::shownTexts(), QStringList{u"浏览"_s});
        QCOMPARE(containers(), before);
    }

    void deletingTheOnlyCertificate() {
        loggedInOn("VXIMPORT00000005");
        const QString path = file(u"alone.cer"_s, testcerts::der(testcerts::certify(testcerts::rsaKey(), "Alone")));
        importThrough({path, {}, u"单证书"_s, {}, true});
        QTreeWidgetItem* subject = containerNode(u"单证书"_s)->child(0)->child(0);

        // No changes nothing and gives the keyboard back to the tree.
        tree()->setCurrentItem(subject);
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::No);
        action("AcDelCert")->trigger();
        QCOMPARE(DialogService::shownTexts(), QStringList{u"确定要删除吗？"_s});
        QCOMPARE(containerNode(u"单证书"_s)->childCount(), 1);
        QCOMPARE(m_window->focusWidget(), tree());

        DialogService::setNextAnswer(DialogService::Answer::Yes);
        action("AcDelCert")->trigger();
        QTreeWidgetItem* container = containerNode(u"单证书"_s);
        QVERIFY(container);
        QCOMPARE(container->childCount(), 0);
    }

    // A deletion takes the provider's certificates out of the store and registers those that remain.
    void deletingAContainerLeavesTheStore() {
        if (QStandardPaths::findExecutable(u"certutil"_s).isEmpty())
            QSKIP("certutil is not installed");
        // The shipped file offers the deletions (an action not offered is not enabled either).
        LanguageTable::instance().LoadLanguageFile(m_program->filePath(u"Languages/ZH_2052.lng"_s));
        loggedInOn("VXIMPORT00000006");
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcRegCert")->trigger();
        QCOMPARE(DialogService::shownTexts(), QStringList{u"操作成功"_s});
        const QByteArray deleted = QByteArray(Provider) + ":李四 Li Si EC:2";
        QVERIFY2(nicknames().contains(deleted), nicknames().join('|').constData());
        const qsizetype registered = nicknames().size();

        // The container deletion acts on a container node only.
        tree()->setCurrentItem(containerNode(u"李四 Li Si EC"_s)->child(0)->child(0));
        QVERIFY(!action("AcDel")->isEnabled());
        tree()->setCurrentItem(containerNode(u"李四 Li Si EC"_s));
        QVERIFY(action("AcDel")->isEnabled());
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::Yes);
        action("AcDel")->trigger();
        QCOMPARE(DialogService::shownTexts(), QStringList{u"确定要删除吗？"_s});
        QVERIFY(!containers().contains(u"李四 Li Si EC"_s));
        QVERIFY(!containerNode(u"李四 Li Si EC"_s));
        QVERIFY(!nicknames().contains(deleted));
        QCOMPARE(nicknames().size(), registered - 1);

        // Unregistering always reports success, also with nothing left to remove.
        DialogService::clearShownTexts();
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcUnRegCert")->trigger();
        action("AcUnRegCert")->trigger();
        QCOMPARE(DialogService::shownTexts(), (QStringList{u"操作成功"_s, u"操作成功"_s}));
        QVERIFY(nicknames().isEmpty());
    }

    // A failed deletion shows the library's code after " = 0x", and the tree stays as it was.
    void failedDeletionShowsTheCode() {
        loggedInOn("VXIMPORT00000007");
        const QString name = u"李四 Li Si EC"_s;
        QVERIFY(m_window->tokenLibrary().container_delete(0, name.toUtf8()) == 0);
        tree()->setCurrentItem(containerNode(name));
        DialogService::setNextAnswer(DialogService::Answer::Yes);
        DialogService::setNextAnswer(DialogService::Answer::Ok);
        action("AcDel")->trigger();
        QCOMPARE(DialogService::shownTexts(),
                 (QStringList{u"确定要删除吗？"_s, u"删除失败 ErrorCode :String=  = 0x0A000007"_s}));
        QVERIFY(containerNode(name));
    }
};

QTEST_MAIN(CertificateOperationsTest)
#include "CertificateOperationsTest.moc"
