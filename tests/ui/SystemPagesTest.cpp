#include "app/OnlineUpdate.h"
#include "common/LocalHttpServer.h"
#include "common/WindowTestCase.h"
#include "platform/OperatingSystem.h"
#include "platform/UserDirectories.h"
#include "ui/main/DesktopOpener.h"
#include "ui/main/DialogService.h"
#include "ui/main/NavigationTree.h"
#include "ui/system/SystemCheckPage.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

// The pages of the tree's system and about roots on a virtual token.
class SystemPagesTest : public WindowTestCase {
    Q_OBJECT

    // An installer that writes down the argument it was started with.
    static constexpr char Installer[] = "#!/bin/sh\necho \"$1\" > \"$0.ran\"\n";

    // The tray program: listens under name, hears one notice and answers it as a window's message handler does.
    static QByteArray heardOnce(const QString& name, QSemaphore& listening) {
        QLocalServer::removeServer(name);
        QLocalServer server;
        server.listen(name);
        listening.release();
        QByteArray heard;
        if (!server.waitForNewConnection(10000))
            return heard;
        QLocalSocket* socket = server.nextPendingConnection();
        while (!heard.endsWith(QByteArray(2, '\0')) && socket->waitForReadyRead(10000))
            heard += socket->readAll();
        socket->write(QByteArray(4, '\0'));
        socket->waitForBytesWritten(1000);
        return heard;
    }

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
        // Without the administrator's tools only the summary shows, and the about page offers no language.
        for (const char* hidden : {"AcMore", "AcSave", "AcUpdate"})
            QVERIFY2(!action(hidden)->isVisible(), hidden);
        QVERIFY(!control<QComboBox>("cbLanguageID")->isVisibleTo(m_window.get()));
        const QByteArray module = QFile::encodeName(QFileInfo(QStringLiteral(VTOKEN_MODULE)).canonicalFilePath());
        writeTestFile(home + u"/.config/pkcs11/modules/vtoken.module"_s, "module: " + module + "\n");
        writeTestFile(home + u"/.pki/nssdb/pkcs11.txt"_s, "library=" + module + "\nname=vtoken\n");
        navigation()->setCurrentItem(navigation()->topLevelItem(NavigationTree::KeyListRoot));
        navigation()->setCurrentItem(system);
        QCOMPARE(rows(control<QTreeWidget>("LVSystemInfo")).at(2), u"CSP安装|已安装"_s);
        QVERIFY2(os.endsWith(u" (x64)"_s) || os.endsWith(u" (x86)"_s), qPrintable(os));
    }

    // The full check's rows in order with their statuses: the 32-bit libraries' rows only on a 64-bit system,
    // the token's rows and "FIPS" only with a token; a pause after every row but "FIPS".
    void fullCheck_data() {
        QTest::addColumn<bool>("is64Bit");
        QTest::addColumn<bool>("token");
        QTest::addColumn<QStringList>("labels");
        const QStringList libraries{u"操作系统版本"_s, u"浏览器版本"_s,   u"CSP 路径"_s,
                                    u"CSP版本"_s,      u"PKCS#11 路径"_s, u"PKCS11版本"_s,
                                    u"设备状态"_s,     u"智能卡服务"_s,   u"CCID版本"_s};
        QStringList sixtyFour = libraries;
        sixtyFour.insert(3, u"CSP 路径"_s);
        sixtyFour.insert(6, u"PKCS#11 路径"_s);
        const QStringList token{
            u"USBKey名称"_s,         u"生产厂商"_s,     u"产品型号"_s,     u"序列号"_s,
            u"最大密码长度"_s,       u"最小密码长度"_s, u"最大重试次数"_s, u"USBKey口令剩余重试次数"_s,
            u"USBKey口令是否被锁"_s, u"总空间"_s,       u"剩余空间"_s,     u"硬件版本"_s,
            u"固件版本"_s,           u"FIPS"_s};
        QTest::newRow("64-bit with a token") << true << true << sixtyFour + token;
        QTest::newRow("32-bit without a token") << false << false << libraries;
    }
    void fullCheck() {
        QFETCH(bool, is64Bit);
        QFETCH(bool, token);
        QFETCH(QStringList, labels);
        m_program->writeProfile("PID=0x0101\nAdminTools=1\n");
        if (token)
            plugged("VXSYSTEM00000003", {"--label", "Checked", "--user-retries", "7"});
        openWindow();
        int pauses = 0;
        SystemCheckPage::setForTests([&pauses](int pause) { pauses += pause == 100 ? 1 : 1000; }, is64Bit);
        navigation()->setCurrentItem(navigation()->topLevelItem(NavigationTree::SystemRoot));
        QVERIFY(action("AcMore")->isVisible());
        action("AcMore")->trigger();
        SystemCheckPage::setForTests({});
        const auto* list = control<QTreeWidget>("LVSystemInfo");
        QStringList shown;
        QMap<QString, QString> values;
        QMap<QString, int> statuses;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = list->topLevelItem(i);
            shown << row->text(0);
            values.insert(row->text(0), row->text(1));
            statuses.insert(row->text(0), row->data(0, Qt::UserRole).toInt());
        }
        QCOMPARE(shown, labels);
        QCOMPARE(pauses, labels.size() - (token ? 1 : 0));
        // No CSP library in the profile: not installed, a problem; the virtual module beside the program.
        QCOMPARE(values.value(u"CSP 路径"_s), u"未安装"_s);
        QCOMPARE(statuses.value(u"CSP版本"_s), int(SystemCheckPage::Problem));
        QCOMPARE(values.value(u"PKCS11版本"_s), u"1.00"_s);
        QCOMPARE(statuses.value(u"PKCS11版本"_s), int(SystemCheckPage::Good));
        QCOMPARE(values.value(u"设备状态"_s), token ? u"已连接"_s : u"未连接"_s);
        QCOMPARE(statuses.value(u"设备状态"_s), int(token ? SystemCheckPage::Good : SystemCheckPage::Problem));
        if (token) {
            QCOMPARE(values.value(u"USBKey名称"_s), u"Checked"_s);
            QCOMPARE(values.value(u"最大重试次数"_s), u"7"_s);
            QCOMPARE(values.value(u"FIPS"_s), u"140-2 Compatible"_s);
        }
    }

    // The report: the date, an empty line, then every row as "%20s : %s", CR LF, in one piece; then it opens.
    void report() {
        m_program->writeProfile("PID=0x0101\nAdminTools=1\n");
        plugged("VXSYSTEM00000004");
        openWindow();
        navigation()->setCurrentItem(navigation()->topLevelItem(NavigationTree::SystemRoot));
        const QString path = m_program->filePath(u"SystemInfo.txt"_s);
        QStringList opened;
        DesktopOpener::setForTests([&opened](const QString& target, bool) {
            opened << target;
            return true;
        });
        DialogService::setNextFileName(path);
        action("AcSave")->trigger();
        DialogService::setNextFileName(QString()); // cancelled: nothing written, nothing opened
        action("AcSave")->trigger();
        DesktopOpener::setForTests({});
        QCOMPARE(opened, QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 2 + 5 + 1);
        QVERIFY(lines[0].endsWith('\r') && lines[1] == "\r" && lines.last().isEmpty());
        QCOMPARE(lines[5], QByteArray(15, ' ') + "CSP版本 : \r");
        QCOMPARE(lines[6], QByteArray(12, ' ') + "PKCS11版本 : 1.00\r");
    }

    void versionRule_data() {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("newer");
        QTest::newRow("1.0.5 to 1.0.6") << u"1.0.5"_s << u"1.0.6"_s << true;
        QTest::newRow("1.9 to 1.10, ordinally lower") << u"1.9"_s << u"1.10"_s << false;
        QTest::newRow("both empty") << QString() << QString() << false;
    }
    void versionRule() {
        QFETCH(QString, client);
        QFETCH(QString, server);
        QTEST(OnlineUpdate::isNewer(server, client), "newer");
    }

    // The check against a local server: what the user is told and asked, the update log's lines, and whether the
    // installer is fetched and kept. An installer over plain HTTP is offered only with the published digest.
    void updateCheck_data() {
        QTest::addColumn<QByteArray>("client");  // ClientConfig.txt, %1 the server's address; none when empty
        QTest::addColumn<QByteArray>("digest");  // UpdateSha256 the server publishes
        QTest::addColumn<QList<int>>("answers"); // to the questions, 1 yes
        QTest::addColumn<QStringList>("told");   // information boxes and questions, in order
        QTest::addColumn<QStringList>("log");    // the log's lines without their time
        QTest::addColumn<bool>("installer");     // kept in the update folder
        QTest::addColumn<bool>("held");          // the installer's server never answers; the window closes meanwhile
        const QByteArray client = "[Mgr]\nVersion=1.0.5\n[URL]\nVersionFile=%1/server.txt\n";
        const QString versions = u"Server Ver = 1.0.6  Client Ver = 1.0.5"_s;
        const QString offer = u"检测到新版本，是否进行更新？"_s, install = u"新版本已下载完毕，是否安装？"_s;
        const QString installerDigest =
            QString::fromLatin1(QCryptographicHash::hash(Installer, QCryptographicHash::Sha256).toHex());
        QTest::newRow("no client file") << QByteArray() << QByteArray() << QList<int>{}
                                        << QStringList{u"连接服务器失败"_s} << QStringList{u"客户端配置文件不存在"_s}
                                        << false << false;
        QTest::newRow("no VersionFile") << QByteArray("[Mgr]\nVersion=1.0.5\n") << QByteArray() << QList<int>{}
                                        << QStringList{u"连接服务器失败"_s} << QStringList{u"服务端版本更新失败"_s}
                                        << false << false;
        QTest::newRow("same version") << QByteArray("[Mgr]\nVersion=1.0.6\n[URL]\nVersionFile=%1/server.txt\n")
                                      << QByteArray() << QList<int>{} << QStringList{u"当前版本已是最新"_s}
                                      << QStringList{u"Server Ver = 1.0.6  Client Ver = 1.0.6"_s, u"未检测到新版本"_s}
                                      << false << false;
        QTest::newRow("update declined") << client << QByteArray() << QList<int>{0} << QStringList{offer}
                                         << QStringList{versions, u"服务器版本高于客户端版本"_s, u"放弃更新"_s} << false
                                         << false;
        QTest::newRow("installation declined")
            << client << installerDigest.toLatin1() << QList<int>{1, 0} << QStringList{offer, install}
            << QStringList{versions, u"服务器版本高于客户端版本"_s, u"开始更新..."_s, u"放弃安装"_s} << true << false;
        QTest::newRow("digest not the published one")
            << client << QByteArray(64, 'a') << QList<int>{1} << QStringList{offer}
            << QStringList{versions, u"服务器版本高于客户端版本"_s, u"开始更新..."_s, u"失败更新，返回值 = -2"_s}
            << false << false;
        QTest::newRow("installed") << client << installerDigest.toLatin1() << QList<int>{1, 1}
                                   << QStringList{offer, install}
                                   << QStringList{versions, u"服务器版本高于客户端版本"_s, u"开始更新..."_s} << true
                                   << false;
        QTest::newRow("window closed during the download")
            << client << installerDigest.toLatin1() << QList<int>{1} << QStringList{offer}
            << QStringList{versions, u"服务器版本高于客户端版本"_s, u"开始更新..."_s, u"失败更新，返回值 = 259"_s}
            << false << true;
    }
    void updateCheck() {
        QFETCH(QByteArray, client);
        QFETCH(QByteArray, digest);
        QFETCH(QList<int>, answers);
        LocalHttpServer server;
        server.publish("/server.txt", "[Mgr]\nVersion=1.0.6\n[URL]\nUpdateFile=" +
                                          server.url(u"/setup.sh"_s).toLatin1() + "\nUpdateSha256=" + digest + "\n");
        server.publish("/setup.sh", Installer);
        QFETCH(bool, held);
        if (held) {
            server.hold("/setup.sh");
            QTimer::singleShot(500, [this] { m_window->close(); });
        }
        const QString folder = QDir::homePath() + u"/.config/quorvex/VX7100/update/"_s;
        if (!client.isEmpty())
            writeTestFile(folder + u"ClientConfig.txt"_s,
                          QString::fromLatin1(client).replace(u"%1"_s, server.url({})).toLatin1());
        // An old copy of the server's file never answers for the server.
        writeTestFile(folder + u"ServerConfig.txt"_s, "[Mgr]\nVersion=9.9\n");
        m_program->writeProfile("PID=0x0101\nAdminTools=1\n");
        openWindow();
        navigation()->setCurrentItem(navigation()->topLevelItem(NavigationTree::SystemRoot));
        QVERIFY(action("AcUpdate")->isVisible());
        for (const int answer : answers)
            DialogService::setNextAnswer(answer ? DialogService::Answer::Yes : DialogService::Answer::No);
        if (answers.isEmpty())
            DialogService::setNextAnswer(DialogService::Answer::Ok);
        const QString companionName = UserDirectories::runtimeDirectory() + u"/vx7100_TrayIcon"_s;
        QSemaphore listening;
        QByteArray notice;
        std::unique_ptr<QThread> companion(QThread::create([&] { notice = heardOnce(companionName, listening); }));
        companion->start();
        listening.acquire();
        action("AcUpdate")->trigger();
        companion->wait();
        QCOMPARE(notice, QByteArray("U\0p\0d\0a\0t\0e\0\0\0", 14));
        QTEST(DialogService::shownTexts(), "told");
        QStringList log;
        QFile logFile(folder + u"Logs.txt"_s);
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        for (const QString& line : QString::fromUtf8(logFile.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts))
            log << line.section(u'：', 1);
        QTEST(log, "log");
        QTEST(QFileInfo::exists(folder + u"setup.sh"_s), "installer");
        if (answers == QList<int>{1, 1}) {
            const auto ranWith = [&folder] {
                QFile ran(folder + u"setup.sh.ran"_s);
                return ran.open(QIODevice::ReadOnly) ? ran.readAll() : QByteArray();
            };
            QTRY_COMPARE(ranWith(), QByteArray("/upgrade\n"));
        }
        QCOMPARE(server.requests("/server.txt"), client.contains("VersionFile") ? 1 : 0);
        QVERIFY(action("AcUpdate")->isEnabled());
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
