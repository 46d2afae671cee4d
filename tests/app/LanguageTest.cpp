#include "app/EntrySequence.h"
#include "app/IniFile.h"
#include "app/LanguageCatalogue.h"
#include "app/LanguageTable.h"
#include "common/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The language catalogue, the language files and the text table they fill.
class LanguageTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_program;

    QString programDirectory() const { return m_program.path() + u'/'; }

    void write(const QString& relativePath, const QByteArray& content) {
        writeTestFile(m_program.filePath(relativePath), content);
    }

    void writeUserLanguage(int languageId) {
        writeTestFile(m_home.filePath(QStringLiteral(".config/q/UserConfig.ini")),
                      "[UserConfig]\nLanguageID=" + QByteArray::number(languageId) + "\n");
    }

    static QString shipped(const QString& name) { return QStringLiteral(VX_SOURCE_DIR "/resources/Languages/") + name; }

private Q_SLOTS:
    void init() {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qunsetenv("XDG_CONFIG_HOME");
        QDir(m_program.path()).removeRecursively();
        QDir().mkpath(m_program.path());
        write(QStringLiteral("APPInfo.ini"), "[UserInfo]\nCfgPath=q\n");
        LanguageTable::instance() = LanguageTable();
    }

    void readsTheCatalogueWithDefaults() {
        write(QStringLiteral("Languages/LanguageInfo.ini"),
              "[zh]\nLanguageID=2052\nLnaguageName=简体中文\nLanguageFile=ZH_2052.lng\nLanguageCSP=c\n[bare]\n");
        TLanguageInfo catalogue;
        QCOMPARE(ReadLanguageCatalogue(m_program.filePath(QStringLiteral("Languages/LanguageInfo.ini")), catalogue), 0);
        QCOMPARE(catalogue.Count(), 2);
        QCOMPARE(catalogue.entries[0].LnaguageName, QStringLiteral("简体中文"));
        QCOMPARE(catalogue.entries[0].LanguageCSP, QStringLiteral("c"));
        QCOMPARE(catalogue.entries[1].LanguageID, QStringLiteral("1033"));
        QCOMPARE(catalogue.entries[1].LnaguageName, QStringLiteral("English"));
        QCOMPARE(catalogue.entries[1].LanguageFile, QStringLiteral("EN_1033.lng"));
    }

    void keepsAtMost129Languages() {
        QByteArray content;
        for (int i = 0; i < 140; ++i)
            content += "[s" + QByteArray::number(i) + "]\nLanguageID=" + QByteArray::number(i) + "\n";
        write(QStringLiteral("Languages/LanguageInfo.ini"), content);
        TLanguageInfo catalogue;
        ReadLanguageCatalogue(m_program.filePath(QStringLiteral("Languages/LanguageInfo.ini")), catalogue);
        QCOMPARE(catalogue.Count(), 129);
    }

    // The entry sequence's choice of language file, end to end from the files on disk.
    void startUpLoadsTheConfiguredLanguage_data() {
        QTest::addColumn<QByteArray>("catalogue");
        QTest::addColumn<int>("configured");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("caption");
        const QByteArray two = "[a]\nLanguageID=2052\nLanguageFile=A.lng\n[b]\nLanguageID=1033\nLanguageFile=B.lng\n";
        QTest::newRow("match") << two << 1033 << 1 << "B";
        QTest::newRow("no match loads the first entry") << two << 9 << -1 << "A";
        QTest::newRow("no configuration loads the first entry") << two << 0 << -1 << "A";
        QTest::newRow("shared identifier: the earlier entry")
            << QByteArray("[a]\nLanguageID=1033\nLanguageFile=A.lng\n[b]\nLanguageID=1033\nLanguageFile=B.lng\n")
            << 1033 << 0 << "A";
        QTest::newRow("hex identifier") << QByteArray("[a]\nLanguageID=0x409\nLanguageFile=B.lng\n") << 1033 << 0
                                        << "B";
        QTest::newRow("identifier not a number is skipped")
            << QByteArray("[a]\nLanguageID=en\nLanguageFile=A.lng\n[b]\nLanguageID=1033\nLanguageFile=B.lng\n") << 1033
            << 1 << "B";
        QTest::newRow("empty catalogue keeps the built-in texts") << QByteArray() << 1033 << -1 << "PKI管理工具   ";
        QTest::newRow("missing file keeps the built-in texts")
            << QByteArray("[a]\nLanguageID=1033\nLanguageFile=None.lng\n") << 1033 << 0 << "PKI管理工具   ";
        QTest::newRow("file outside Languages is not loaded")
            << QByteArray("[a]\nLanguageID=1033\nLanguageFile=..\\Outside.lng\n") << 1033 << 0 << "PKI管理工具   ";
        QTest::newRow("backslash path inside Languages")
            << QByteArray("[a]\nLanguageID=1033\nLanguageFile=sub\\C.lng\n") << 1033 << 0 << "C";
    }
    void startUpLoadsTheConfiguredLanguage() {
        QFETCH(QByteArray, catalogue);
        QFETCH(int, configured);
        QFETCH(int, selected);
        QFETCH(QString, caption);
        write(QStringLiteral("Languages/LanguageInfo.ini"), catalogue);
        write(QStringLiteral("Languages/A.lng"), "[Caption]\nP_Caption=A\n");
        write(QStringLiteral("Languages/B.lng"), "[Caption]\nP_Caption=B\n");
        write(QStringLiteral("Languages/sub/C.lng"), "[Caption]\nP_Caption=C\n");
        write(QStringLiteral("Outside.lng"), "[Caption]\nP_Caption=Outside\n");
        if (configured)
            writeUserLanguage(configured);
        const StartupState state = RunEntrySequence(programDirectory(), LanguageTable::instance());
        QCOMPARE(state.SelectedLanguage, selected);
        QCOMPARE(textOf(TextKey::P_Caption), caption);
        QVERIFY(QDir(m_home.filePath(QStringLiteral(".config/q"))).exists());
    }

    // A key that the file lacks does not keep its default: it becomes a blank or empty text.
    void missingKeysFallBack() {
        write(QStringLiteral("Languages/only.lng"), "[Caption]\nP_Caption=Only a title\n");
        LanguageTable table;
        table.LoadLanguageFile(m_program.filePath(QStringLiteral("Languages/only.lng")));
        QCOMPARE(table.text(TextKey::P_Caption), QStringLiteral("Only a title"));
        QCOMPARE(table.text(TextKey::P_MSGTitle), QStringLiteral(" "));
        QCOMPARE(table.text(TextKey::Main_Form_Treeview), QStringLiteral(" "));
        QCOMPARE(table.text(TextKey::Lonin_Form_lable_Key), QStringLiteral(" "));
        QCOMPARE(table.text(TextKey::K_pkcs11Init_Error), QString());
        QCOMPARE(table.text(TextKey::FontSize), QString());
        QCOMPARE(table.text(TextKey::Init_Info), QString());
        int blanks = 0;
        for (int i = 0; i < LanguageTable::KeyCount; ++i)
            blanks += table.text(static_cast<TextKey>(i)) == QLatin1String(" ");
        QCOMPARE(blanks, 121); // the 122 blank-fallback keys, less P_Caption
    }

    void unreadableFileChangesNothing() {
        LanguageTable table;
        table.LoadLanguageFile(m_program.path()); // a directory
        table.LoadLanguageFile(m_program.filePath(QStringLiteral("none.lng")));
        QCOMPARE(table.text(TextKey::P_MSGTitle), QStringLiteral("提示"));
    }

    void readsTheIntegerSettings() {
        write(QStringLiteral("s.lng"), "[Caption]\nconfig_Cert_Del=1\nconfig_Cert_Output=0x0\nconfig_Cont_Del=x\n");
        LanguageTable table;
        table.LoadLanguageFile(m_program.filePath(QStringLiteral("s.lng")));
        QCOMPARE(table.settings().config_Cert_Del, 1);
        QCOMPARE(table.settings().config_Cert_Input, 0);
        QCOMPARE(table.settings().config_Cert_Output, 0);
        QCOMPARE(table.settings().config_Cont_Del, 0);
    }

    void biometricWordingRoundTrip() {
        write(QStringLiteral("f.lng"), "[Caption]\nF_User_Finger=Fingers\nP_FingerInput=Enrol\nF_Logon=Touch\n");
        LanguageTable table;
        table.LoadLanguageFile(m_program.filePath(QStringLiteral("f.lng")));
        table.SwitchBiometricWording(LanguageTable::SnapshotWording);
        table.SwitchBiometricWording(LanguageTable::FingerVeinWording);
        QCOMPARE(table.text(TextKey::F_User_Finger), QStringLiteral("用户指静脉"));
        QCOMPARE(table.text(TextKey::P_FingerInput), QStringLiteral("指静脉录入"));
        QCOMPARE(table.text(TextKey::F_Verify_Format), QStringLiteral("验证失败，剩余重试次数：%d"));
        table.SwitchBiometricWording(LanguageTable::FingerprintWording);
        QCOMPARE(table.text(TextKey::F_User_Finger), QStringLiteral("Fingers"));
        QCOMPARE(table.text(TextKey::P_FingerInput), QStringLiteral("Enrol"));
        QCOMPARE(table.text(TextKey::F_Logon), QStringLiteral("Touch"));
        // Texts outside the 41 biometric keys never move.
        QCOMPARE(table.text(TextKey::F_Input_Reset), QString());
    }

    // The Chinese file is the built-in defaults, key for key; the English file has every key, in English, and the
    // Chinese file leaves none untranslated but what reads the same in both languages.
    void shippedLanguageFilesAreComplete() {
        const IniFile chinese(shipped(QStringLiteral("ZH_2052.lng")));
        const IniFile english(shipped(QStringLiteral("EN_1033.lng")));
        const QString missing = QStringLiteral("\x01missing");
        const QStringList sameInBoth{QStringLiteral("K_ErrorCODE_Str"), QStringLiteral("Admin_label_SOPIN"),
                                     QStringLiteral("About_Form_Label_URL_Info"),
                                     QStringLiteral("About_Form_Label_Email_Info")};
        const QRegularExpression han(QStringLiteral("\\p{Han}")), letter(QStringLiteral("\\p{L}"));
        for (int i = 0; i < LanguageTable::KeyCount; ++i) {
            const auto key = static_cast<TextKey>(i);
            const QString name = LanguageTable::keyName(key);
            const QString original = chinese.readString(QStringLiteral("Caption"), name, missing);
            QCOMPARE(original, LanguageTable::defaultText(key));
            const QString translated = english.readString(QStringLiteral("Caption"), name, missing);
            QVERIFY2(translated != missing && !translated.trimmed().isEmpty(), qPrintable(name));
            QVERIFY2(!translated.contains(han), qPrintable(name + u'=' + translated));
            QVERIFY2(original != translated || !translated.contains(letter) || sameInBoth.contains(name),
                     qPrintable(name + QStringLiteral(" is not translated")));
        }
        // The finger-vein wording of the 41 biometric texts: the built-in one in Chinese, an English one.
        for (int i = 0; i < LanguageTable::BiometricKeyCount; ++i) {
            const QString name = QStringLiteral("Vein_") + LanguageTable::keyName(LanguageTable::biometricKeys()[i]);
            QCOMPARE(chinese.readString(QStringLiteral("Caption"), name, missing), LanguageTable::fingerVeinText(i));
            const QString translated = english.readString(QStringLiteral("Caption"), name, missing);
            QVERIFY2(translated != missing && !translated.contains(han), qPrintable(name + u'=' + translated));
        }
        QCOMPARE(english.readString(QStringLiteral("Caption"), QStringLiteral("P_Caption"), QString()),
                 QStringLiteral("PKI Management Tool   "));
    }

    void shippedCatalogueNamesBothFiles() {
        TLanguageInfo catalogue;
        ReadLanguageCatalogue(shipped(QStringLiteral("LanguageInfo.ini")), catalogue);
        QCOMPARE(catalogue.Count(), 2);
        QCOMPARE(findCatalogueLanguage(catalogue, 2052), 0);
        QCOMPARE(catalogue.entries[0].LanguageFile, QStringLiteral("ZH_2052.lng"));
        QCOMPARE(findCatalogueLanguage(catalogue, 1033), 1);
        QCOMPARE(catalogue.entries[1].LanguageFile, QStringLiteral("EN_1033.lng"));
    }

    void switchingLanguageRemembersTheChoice_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("file");   // empty: nothing to switch to
        QTest::addColumn<int>("remembered"); // 0: nothing written
        QTest::newRow("second entry") << 1 << "B.lng" << 1033;
        QTest::newRow("first entry") << 0 << "A.lng" << 2052;
        QTest::newRow("beyond the catalogue") << 5 << "" << 0;
        QTest::newRow("identifier not a number") << 2 << "" << 0;
    }
    void switchingLanguageRemembersTheChoice() {
        QFETCH(int, index);
        QFETCH(QString, file);
        QFETCH(int, remembered);
        write(QStringLiteral("Languages/LanguageInfo.ini"),
              "[a]\nLanguageID=2052\nLanguageFile=A.lng\n[b]\nLanguageID=1033\nLanguageFile=B.lng\n"
              "[c]\nLanguageID=x\nLanguageFile=C.lng\n");
        const QString path = SwitchLanguageFile(programDirectory(), QStringLiteral("q"), index);
        QCOMPARE(path, file.isEmpty() ? QString() : m_program.filePath(QStringLiteral("Languages/") + file));
        const IniFile choice(m_program.filePath(QStringLiteral("Languages/LanguageConfig.ini")));
        QCOMPARE(choice.readInteger(QStringLiteral("Language"), QStringLiteral("LanguageID"), 0), remembered);
        // Qt's own texts follow a switch.
        if (remembered)
            QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                     remembered == 2052 ? QStringLiteral("取消") : QStringLiteral("Cancel"));
    }
};

QTEST_GUILESS_MAIN(LanguageTest)
#include "LanguageTest.moc"
