#include "app/UserConfig.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// Where the program runs from, for the files it keeps beside itself.
enum Place { BuildTree, Installed, ReadOnly };

class UserConfigTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void init() {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qunsetenv("XDG_CONFIG_HOME");
    }

    void buildsAndCreatesTheDirectory_data() {
        QTest::addColumn<QString>("configHome"); // empty: unset
        QTest::addColumn<QString>("cfgPath");
        QTest::addColumn<QString>("expected"); // below HOME
        QTest::newRow("backslashes, trailing") << ""
                                               << "quorvex\\vx7100\\"
                                               << "/.config/quorvex/vx7100/";
        QTest::newRow("backslashes") << ""
                                     << "quorvex\\vx7100"
                                     << "/.config/quorvex/vx7100/";
        QTest::newRow("slashes, doubled") << ""
                                          << "quorvex//vx7100//"
                                          << "/.config/quorvex/vx7100/";
        QTest::newRow("empty is the data directory") << ""
                                                     << ""
                                                     << "/.config/";
        QTest::newRow("XDG_CONFIG_HOME") << "/xdg"
                                         << "q\\v"
                                         << "/xdg/q/v/";
        QTest::newRow("relative XDG_CONFIG_HOME ignored") << "relative"
                                                          << "q"
                                                          << "/.config/q/";
    }
    void buildsAndCreatesTheDirectory() {
        QFETCH(QString, configHome);
        QFETCH(QString, cfgPath);
        QFETCH(QString, expected);
        if (configHome.startsWith(u'/'))
            configHome = m_home.path() + configHome;
        if (!configHome.isEmpty())
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
        const QString directory = UserConfigDir(cfgPath);
        QCOMPARE(directory, m_home.path() + expected);
        QVERIFY(QDir(directory).exists());
    }

    void recreatesADeletedDirectoryEmpty() {
        const QString directory = UserConfigDir(QStringLiteral("quorvex\\vx7100"));
        QVERIFY(QDir(directory).removeRecursively());
        QCOMPARE(UserConfigDir(QStringLiteral("quorvex\\vx7100")), directory);
        QVERIFY(QDir(directory).isEmpty());
    }

    void readsTheSettings_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("languageId");
        QTest::addColumn<int>("defaultPinMode");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("all keys") << QByteArray("[UserConfig]\nURLOpenMode=1\nURL=https://bank.example/网银\n"
                                                "BrowserMode=1\nCertTips=1\nCertDay=30\nLanguageID=1033\n"
                                                "DefaultPINMode=0\n")
                                  << 1033 << 0 << QByteArray("https://bank.example/网银");
        QTest::newRow("DefaultPINMode absent reads 1")
            << QByteArray("[UserConfig]\nLanguageID=2052\n") << 2052 << 1 << QByteArray();
        QTest::newRow("LanguageID not a number")
            << QByteArray("[UserConfig]\nLanguageID=zh\n") << 0 << 1 << QByteArray();
        QTest::newRow("wrong section") << QByteArray("[Config]\nLanguageID=1033\n") << 0 << 1 << QByteArray();
    }
    void readsTheSettings() {
        QFETCH(QByteArray, content);
        QFETCH(int, languageId);
        QFETCH(int, defaultPinMode);
        QFETCH(QByteArray, url);
        const QString path = writeTestFile(m_home.filePath(QLatin1String(UserConfigFileName)), content);
        TUserConfigInfo config;
        QCOMPARE(ReadUserConfig(path, config), 0);
        QCOMPARE(config.LanguageID, languageId);
        QCOMPARE(config.DefaultPINMode, defaultPinMode);
        QCOMPARE(config.URL, url);
    }

    // The files the program writes beside itself: there in a build tree (its own profile beside it, directory
    // writable), in the user's directory once a copy is there, or when the program is an installed one (profile in
    // /etc) or cannot write its directory. A copy beside an installed program is read until the user has one.
    void programFilesGoWhereTheyCanBeWritten_data() {
        QTest::addColumn<int>("place");
        QTest::addColumn<bool>("besideCopy"); // a copy in the program directory
        QTest::addColumn<bool>("userCopy");   // a copy already in the user's directory
        QTest::addColumn<ProgramFileUse>("use");
        QTest::addColumn<bool>("inUserDirectory");
        QTest::newRow("build tree") << int(BuildTree) << false << false << ProgramFileUse::Write << false;
        QTest::newRow("installed") << int(Installed) << false << false << ProgramFileUse::Write << true;
        QTest::newRow("read-only") << int(ReadOnly) << false << false << ProgramFileUse::Write << true;
        QTest::newRow("written to the user's before")
            << int(BuildTree) << false << true << ProgramFileUse::Write << true;
        QTest::newRow("read from the user's before") << int(BuildTree) << true << true << ProgramFileUse::Read << true;
        QTest::newRow("administrator's copy read") << int(Installed) << true << false << ProgramFileUse::Read << false;
        QTest::newRow("administrator's copy not written")
            << int(Installed) << true << false << ProgramFileUse::Write << true;
    }
    void programFilesGoWhereTheyCanBeWritten() {
        QFETCH(int, place);
        QFETCH(bool, besideCopy);
        QFETCH(bool, userCopy);
        QFETCH(ProgramFileUse, use);
        QFETCH(bool, inUserDirectory);
        QTemporaryDir program;
        const QString relative = QStringLiteral("Languages/LanguageConfig.ini");
        // A directory nobody can write, not even the root user the tests may run as: one that is not there.
        const QString directory = program.path() + (place == ReadOnly ? QStringLiteral("/gone/") : QStringLiteral("/"));
        QVERIFY(place == ReadOnly || QDir(directory).mkpath(QStringLiteral("Languages")));
        if (place == BuildTree)
            writeTestFile(directory + QStringLiteral("APPInfo.ini"), "[APPLib]\n");
        if (besideCopy)
            writeTestFile(directory + relative, "[Language]\n");
        const QString userFile = m_home.path() + QStringLiteral("/.config/q/v/") + relative;
        QFile::remove(userFile);
        if (userCopy)
            writeTestFile(userFile, "[Language]\n");
        const QString path = ProgramFilePath(directory, QStringLiteral("q\\v"), relative, use);
        QCOMPARE(path, inUserDirectory ? userFile : directory + relative);
        QVERIFY(QFileInfo(QFileInfo(path).absolutePath()).isDir());
    }

    void missingFileGivesTheDefaults() {
        TUserConfigInfo config;
        QCOMPARE(ReadUserConfig(m_home.filePath(QStringLiteral("none.ini")), config), 0);
        QCOMPARE(config.LanguageID, 0);
        QCOMPARE(config.DefaultPINMode, 1);
        QCOMPARE(config.CertDay, 0);
    }
};

QTEST_GUILESS_MAIN(UserConfigTest)
#include "UserConfigTest.moc"
