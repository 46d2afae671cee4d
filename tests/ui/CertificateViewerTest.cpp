#include "ui/main/CertificateViewer.h"
#include "app/IniFile.h"
#include "app/LanguageTable.h"
#include "app/OwnTexts.h"
#include "common/CertificateBuilder.h"
#include "common/TestFiles.h"
#include "token/TokenLibrary.h"
#include "ui/main/DialogService.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

using namespace testcerts;

// The certificate dialog: what its two pages show, its warnings, its languages, saving, and the way the token
// library opens it.
class CertificateViewerTest : public QObject {
    Q_OBJECT

    QDateTime m_now;

    static QDateTime utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
        return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
    }

    static const KeyPair& authority() {
        static const KeyPair pair = certify(ecKey(), "测试CA", nullptr, true);
        return pair;
    }

    // 张三's client and e-mail certificate from 测试CA, valid 2024-01-02 03:04:05 to 2034-01-02 03:04:05.
    static KeyPair person(const char* usages = "clientAuth,emailProtection") {
        KeyPair pair = certify(ecKey(), "张三", &authority(), false, 0x0102);
        if (*usages)
            addExtension(pair, "extendedKeyUsage", usages, &authority());
        setValidity(pair, utc(2024, 1, 2, 3, 4, 5), utc(2034, 1, 2, 3, 4, 5), &authority());
        return pair;
    }

    static CertificateDetails details(const QByteArray& bytes) {
        const CertificateDetails decoded = readCertificateDetails(bytes);
        if (!decoded.valid)
            qFatal("the test certificate did not decode");
        return decoded;
    }

    template <typename T> static T* find(const QObject& parent, const char* name) {
        auto* control = parent.findChild<T*>(QLatin1String(name));
        if (!control)
            qFatal("no control %s", name);
        return control;
    }

    static QString text(const QObject& viewer, const char* label) { return find<QLabel>(viewer, label)->text(); }

    static QStringList fieldNames(const QObject& viewer) {
        QStringList names;
        const auto* fields = find<QTreeWidget>(viewer, "lvCertFields");
        for (int i = 0; i < fields->topLevelItemCount(); ++i)
            names.append(fields->topLevelItem(i)->text(0));
        return names;
    }

    static QTreeWidgetItem* field(const QObject& viewer, const QString& name) {
        const auto rows = find<QTreeWidget>(viewer, "lvCertFields")->findItems(name, Qt::MatchExactly);
        if (rows.size() != 1)
            qFatal("no field %s", qPrintable(name));
        return rows.constFirst();
    }

    // The full text below the list once the field's row is selected.
    static QString fieldDetail(const QObject& viewer, const QString& name) {
        find<QTreeWidget>(viewer, "lvCertFields")->setCurrentItem(field(viewer, name));
        return find<QPlainTextEdit>(viewer, "edtFieldValue")->toPlainText();
    }

    static QString shippedLanguage(const char* file) {
        return QStringLiteral(VX_SOURCE_DIR "/resources/Languages/") + QLatin1String(file);
    }

private Q_SLOTS:
    void initTestCase() {
        DialogService::enableTestMode();
        CertificateViewer::setClock([this] { return m_now; });
    }

    void init() {
        LanguageTable::instance() = LanguageTable();
        OwnTexts::instance() = OwnTexts();
        DialogService::clearShownTexts();
        m_now = utc(2026, 6, 1);
    }

    void generalPage() {
        const CertificateViewer viewer(details(der(person())));
        QCOMPARE(viewer.objectName(), QStringLiteral("CertificateViewer"));
        QCOMPARE(viewer.windowTitle(), QStringLiteral("证书"));
        QCOMPARE(text(viewer, "lblIssuedTo"), QStringLiteral("张三"));
        QCOMPARE(text(viewer, "lblIssuedBy"), QStringLiteral("测试CA"));
        QCOMPARE(text(viewer, "lblValidFrom"), QStringLiteral("2024-01-02 03:04:05"));
        QCOMPARE(text(viewer, "lblValidTo"), QStringLiteral("2034-01-02 03:04:05"));
        QCOMPARE(text(viewer, "lblPurposes"), QStringLiteral("•  客户端身份验证\n•  安全电子邮件"));
    }

    void validityWarning_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("warning"); // empty: no banner
        QTest::newRow("before its start") << utc(2024, 1, 2, 3, 4, 4) << QStringLiteral("此证书尚未生效");
        QTest::newRow("within") << utc(2030, 1, 1) << QString();
        QTest::newRow("after its end") << utc(2034, 1, 2, 3, 4, 6) << QStringLiteral("此证书已过期");
    }
    void validityWarning() {
        QFETCH(QDateTime, now);
        QFETCH(QString, warning);
        m_now = now;
        const CertificateViewer viewer(details(der(person())));
        const auto* banner = viewer.findChild<QWidget*>(QStringLiteral("frmValidityWarning"));
        QCOMPARE(banner != nullptr, !warning.isEmpty());
        if (banner) {
            QCOMPARE(text(*banner, "lblValidityWarning"), warning);
            QVERIFY(!find<QLabel>(*banner, "imgValidityWarning")->pixmap().isNull());
        }
    }

    void purposes_data() {
        QTest::addColumn<QString>("usages");   // extended key usages; empty for none
        QTest::addColumn<QString>("keyUsage"); // empty for none
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* name, const char* usages, const char* keyUsage, const char* shown) {
            QTest::newRow(name) << QString::fromUtf8(usages) << QString::fromUtf8(keyUsage) << QString::fromUtf8(shown);
        };
        row("neither", "", "", "•  所有用途");
        row("key usage only", "", "digitalSignature,nonRepudiation", "•  数字签名\n•  不可否认");
        row("extended usage before key usage", "serverAuth", "keyEncipherment", "•  服务器身份验证");
        row("the other named usages", "codeSigning,timeStamping,OCSPSigning", "",
            "•  代码签名\n•  时间戳\n•  OCSP 签名");
        row("any usage", "clientAuth,anyExtendedKeyUsage", "", "•  所有用途");
        row("an unnamed usage by its OID", "1.2.3.4.5", "", "•  1.2.3.4.5");
    }
    void purposes() {
        QFETCH(QString, usages);
        QFETCH(QString, keyUsage);
        QFETCH(QString, shown);
        KeyPair pair = person(qPrintable(usages));
        if (!keyUsage.isEmpty())
            addExtension(pair, "keyUsage", qPrintable(keyUsage), &authority());
        const CertificateViewer viewer(details(der(pair)));
        QCOMPARE(text(viewer, "lblPurposes"), shown);
    }

    void detailsList() {
        KeyPair pair = person();
        addExtension(pair, "keyUsage", "critical,digitalSignature,keyAgreement", &authority());
        const CertificateViewer viewer(details(der(pair)));
        QCOMPARE(fieldNames(viewer), (QStringList{"版本", "序列号", "签名算法", "签名哈希算法", "颁发者", "有效期从",
                                                  "有效期到", "使用者", "公钥", "公钥值", "基本约束", "增强型密钥用法",
                                                  "密钥用法", "指纹 (SHA-1)", "指纹 (SHA-256)"}));
        QCOMPARE(field(viewer, QStringLiteral("版本"))->text(1), QStringLiteral("V3"));
        QCOMPARE(field(viewer, QStringLiteral("序列号"))->text(1), QStringLiteral("01 02"));
        QCOMPARE(field(viewer, QStringLiteral("颁发者"))->text(1), QStringLiteral("CN = 测试CA, O = Bank"));
        QCOMPARE(fieldDetail(viewer, QStringLiteral("颁发者")), QStringLiteral("CN = 测试CA\nO = Bank"));
        QCOMPARE(field(viewer, QStringLiteral("有效期从"))->text(1), QStringLiteral("2024-01-02 03:04:05"));
        QCOMPARE(field(viewer, QStringLiteral("公钥"))->text(1), QStringLiteral("ECC (256 Bits)"));
        QCOMPARE(fieldDetail(viewer, QStringLiteral("公钥")), QStringLiteral("ECC (256 Bits)\nprime256v1"));
        // The usages in the user's language, with their OIDs below; a critical extension says so.
        QCOMPARE(field(viewer, QStringLiteral("增强型密钥用法"))->text(1),
                 QStringLiteral("客户端身份验证, 安全电子邮件"));
        QCOMPARE(fieldDetail(viewer, QStringLiteral("增强型密钥用法")),
                 QStringLiteral("客户端身份验证 (1.3.6.1.5.5.7.3.2)\n安全电子邮件 (1.3.6.1.5.5.7.3.4)"));
        QCOMPARE(fieldDetail(viewer, QStringLiteral("密钥用法")), QStringLiteral("关键扩展\n\n数字签名\n密钥协商"));
        QVERIFY(!field(viewer, QStringLiteral("密钥用法"))->icon(0).isNull());
        QVERIFY(field(viewer, QStringLiteral("基本约束"))->icon(0).isNull());
    }

    void fieldValueCopiesWithTheKeyboard() {
        CertificateViewer viewer(details(der(person())));
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        find<QTabWidget>(viewer, "tabCertificate")->setCurrentIndex(1);
        auto* value = find<QPlainTextEdit>(viewer, "edtFieldValue");
        fieldDetail(viewer, QStringLiteral("颁发者"));
        QVERIFY(value->isReadOnly());
        value->setFocus();
        QApplication::clipboard()->clear();
        QTest::keyClick(value, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(value, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("CN = 测试CA\nO = Bank"));
        viewer.close();
    }

    void englishTexts() {
        LanguageTable::instance().LoadLanguageFile(shippedLanguage("EN_1033.lng"));
        m_now = utc(2035, 1, 1);
        const CertificateViewer viewer(details(der(person())));
        QCOMPARE(viewer.windowTitle(), QStringLiteral("Certificate"));
        QCOMPARE(text(viewer, "lblIssuedToCaption"), QStringLiteral("Issued to:"));
        QCOMPARE(text(viewer, "lblPurposes"), QStringLiteral("•  Client authentication\n•  Secure email"));
        QCOMPARE(text(viewer, "lblValidityWarning"), QStringLiteral("This certificate has expired"));
        QCOMPARE(fieldNames(viewer).constLast(), QStringLiteral("Thumbprint (SHA-256)"));
        QCOMPARE(find<QPushButton>(viewer, "btnCopyToFile")->text(), QStringLiteral("Copy to file…"));

        // And back: the Chinese file brings every text back.
        LanguageTable::instance().LoadLanguageFile(shippedLanguage("ZH_2052.lng"));
        QCOMPARE(ownText(OwnKey::Viewer_Title), QStringLiteral("证书"));
    }

    // The Chinese file holds the built-in texts key for key; the English file translates every key.
    void shippedLanguageFilesHaveEveryOwnText() {
        const IniFile chinese(shippedLanguage("ZH_2052.lng"));
        const IniFile english(shippedLanguage("EN_1033.lng"));
        const QString missing = QStringLiteral("\x01missing");
        for (int i = 0; i < OwnTexts::KeyCount; ++i) {
            const auto key = static_cast<OwnKey>(i);
            const QString name = OwnTexts::keyName(key);
            QVERIFY(name.startsWith(QLatin1String("Viewer_")) || name.startsWith(QLatin1String("Study_")) ||
                    name.startsWith(QLatin1String("Update_")));
            QCOMPARE(chinese.readString(QStringLiteral("Caption"), name, missing), OwnTexts::defaultText(key));
            const QString translated = english.readString(QStringLiteral("Caption"), name, missing);
            QVERIFY2(translated != missing && !translated.trimmed().isEmpty(), qPrintable(name));
            QVERIFY2(std::none_of(translated.begin(), translated.end(),
                                  [](QChar c) { return c.script() == QChar::Script_Han; }),
                     qPrintable(name));
        }
    }

    void languageFileWithoutOwnTexts() {
        const QTemporaryDir directory;
        const QString path =
            writeTestFile(directory.filePath(QStringLiteral("old.lng")), "[Caption]\nP_Caption=Old\nViewer_OK=Fine\n");
        // Another table loading the file leaves the program's viewer texts alone.
        LanguageTable other;
        other.LoadLanguageFile(path);
        QCOMPARE(ownText(OwnKey::Viewer_OK), QStringLiteral("确定"));
        // The program's table: what the file has, the built-in text for what it lacks.
        LanguageTable::instance().LoadLanguageFile(shippedLanguage("EN_1033.lng"));
        LanguageTable::instance().LoadLanguageFile(path);
        QCOMPARE(ownText(OwnKey::Viewer_OK), QStringLiteral("Fine"));
        QCOMPARE(ownText(OwnKey::Viewer_Title), QStringLiteral("证书"));
    }

    void copyToFile_data() {
        QTest::addColumn<QString>("answer"); // the file dialog's answer; empty for Cancel
        QTest::addColumn<bool>("written");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("saved") << "张三.cer" << true << QStringList{"保存证书"};
        QTest::newRow("cancelled") << "" << false << QStringList{"保存证书"};
        QTest::newRow("folder missing") << "none/张三.cer" << false << QStringList{"保存证书", "无法写入证书文件\n%1"};
    }
    void copyToFile() {
        QFETCH(QString, answer);
        QFETCH(bool, written);
        QFETCH(QStringList, shown);
        const QTemporaryDir directory;
        const QString path = answer.isEmpty() ? QString() : directory.filePath(answer);
        const QByteArray bytes = der(person());
        // The token's padding stays out of the file.
        CertificateViewer viewer(details(bytes + QByteArray(8, '\0')));
        DialogService::setNextFileName(path);
        if (!written && !answer.isEmpty())
            DialogService::setNextAnswer(DialogService::Answer::Ok);
        find<QPushButton>(viewer, "btnCopyToFile")->click();
        for (QString& line : shown)
            line.replace(QStringLiteral("%1"), path);
        QCOMPARE(DialogService::shownTexts(), shown);
        QFile file(path);
        QCOMPARE(file.exists(), written);
        if (written) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), bytes);
        }
        QCOMPARE(QDir(directory.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), written ? 1 : 0);
    }

    void libraryRejectsWhatIsNoCertificate_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("code");
        const QByteArray good = der(person());
        QTest::newRow("truncated") << good.left(good.size() - 10) << ZV_ERR_CERT_INVALID;
        QTest::newRow("garbage") << QByteArray(300, '\x5a') << ZV_ERR_CERT_INVALID;
        QTest::newRow("nothing") << QByteArray() << ZV_ERR_ARGUMENTS;
    }
    void libraryRejectsWhatIsNoCertificate() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, code);
        const auto* data = bytes.isEmpty() ? nullptr : reinterpret_cast<const uint8_t*>(bytes.constData());
        QCOMPARE(CertificateViewer::showFromLibrary(nullptr, data, int32_t(bytes.size())), code);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(DialogService::shownTexts().isEmpty());
    }

    // Registered with the token library, as the program does at start-up, and called back from it.
    void libraryShowsTheViewerOverItsOwner_data() {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("closed with Escape") << true;
        QTest::newRow("closed with OK") << false;
    }
    void libraryShowsTheViewerOverItsOwner() {
        QFETCH(bool, byEscape);
        TokenLibrary library(QStringLiteral(ZV_LIBRARY_DIR "/"));
        QVERIFY(library.isLoaded());
        QCOMPARE(library.helper_register_cert_viewer(&CertificateViewer::showFromLibrary), 0);
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));

        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* viewer = qobject_cast<CertificateViewer*>(QApplication::activeModalWidget());
            // Whatever happens, nothing stays open to hang the test.
            const auto close = qScopeGuard([] {
                if (QWidget* modal = QApplication::activeModalWidget())
                    modal->close();
            });
            QVERIFY(viewer);
            QCOMPARE(viewer->parentWidget(), &owner);
            QCOMPARE(text(*viewer, "lblIssuedTo"), QStringLiteral("张三"));
            if (byEscape)
                QTest::keyClick(viewer, Qt::Key_Escape);
            else
                find<QPushButton>(*viewer, "btnCertOK")->click();
            seen = !viewer->isVisible();
        });
        QCOMPARE(library.helper_show_cert_ui(&owner, der(person())), ZV_OK);
        QVERIFY(seen);
        QCOMPARE(library.helper_show_cert_ui(&owner, QByteArray("\x30\x03\x02\x01\x00", 5)), ZV_ERR_CERT_INVALID);
        QCOMPARE(library.helper_register_cert_viewer(nullptr), 0);
        QVERIFY(!owner.findChild<CertificateViewer*>()); // deleted once closed
    }
};

QTEST_MAIN(CertificateViewerTest)
#include "CertificateViewerTest.moc"
