#include "app/AppInfo.h"
#include "common/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class AppInfoTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeProfile(const QByteArray& content) {
        return writeTestFile(m_dir.filePath(QStringLiteral("APPInfo.ini")), content);
    }

private Q_SLOTS:
    void readsEveryKeyFromItsSection() {
        const QString path = writeProfile("[APPLib]\nZovevOduLib=z.so\nPKCS11Lib=p.so\nCSPLib=c.so\nSKFLib=s.so\n"
                                          "CSPName=Quorvex CSP\n"
                                          "[CSPLanguage]\nCSP_RootKey=r\nCSP_MainKey=m\nCSP_LanguageKey=l\n"
                                          "[UserInfo]\nCfgPath=quorvex\\vx7100\\\nPlugin=pl\nCloseAPP=ca\n"
                                          "[APPFlag]\nAPPName=an\nOEMID=oe\nUSBEnumString=us\nPID=0x0101\n"
                                          "RegCertMode=0x1\nAPPMgrName=mg\nAPPMonName=mon\nFingerRegTimes=5\n"
                                          "FingerStudy=1\nAdminTools=1\n"
                                          // A key in the wrong section is not read.
                                          "[APPLib]\nAPPName=wrong\n");
        TAPPInfo info;
        QCOMPARE(ReadAppInfo(path, info), 0);
        QCOMPARE(info.ZovevOduLib, QStringLiteral("z.so"));
        QCOMPARE(info.PKCS11Lib, QStringLiteral("p.so"));
        QCOMPARE(info.CSPLib, QStringLiteral("c.so"));
        QCOMPARE(info.SKFLib, QStringLiteral("s.so"));
        QCOMPARE(info.CSPName, QStringLiteral("Quorvex CSP"));
        QCOMPARE(info.CSP_RootKey + info.CSP_MainKey + info.CSP_LanguageKey, QStringLiteral("rml"));
        QCOMPARE(info.CfgPath, QStringLiteral("quorvex\\vx7100\\"));
        QCOMPARE(info.Plugin + info.CloseAPP, QStringLiteral("plca"));
        QCOMPARE(info.APPName, QStringLiteral("an"));
        QCOMPARE(info.OEMID, QStringLiteral("oe"));
        QCOMPARE(info.USBEnumString, QStringLiteral("us"));
        QCOMPARE(info.PID, QStringLiteral("0x0101"));
        QCOMPARE(info.RegCertMode, 1);
        QCOMPARE(info.APPMgrName, QStringLiteral("mg"));
        QCOMPARE(info.APPMonName, QStringLiteral("mon"));
        QCOMPARE(info.FingerRegTimes, 5);
        QCOMPARE(info.FingerStudy, 1);
        QCOMPARE(info.AdminTools, 1);
    }

    void missingKeysTakeTheirDefaults_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing file") << QByteArray();
        QTest::newRow("empty sections") << QByteArray("[APPLib]\n[APPFlag]\n");
        QTest::newRow("numbers that are not") << QByteArray("[APPFlag]\nFingerRegTimes=three\nRegCertMode=x\n");
    }
    void missingKeysTakeTheirDefaults() {
        QFETCH(QByteArray, content);
        QString path = m_dir.filePath(QStringLiteral("absent.ini"));
        if (!content.isEmpty())
            path = writeProfile(content);
        TAPPInfo info;
        info.PKCS11Lib = QStringLiteral("stale"); // every key read replaces the record's value
        QCOMPARE(ReadAppInfo(path, info), 0);
        QCOMPARE(info.PKCS11Lib, QString());
        QCOMPARE(info.FingerRegTimes, 3);
        QCOMPARE(info.RegCertMode, 0);
        QCOMPARE(info.FingerStudy, 0);
        QCOMPARE(info.AdminTools, 0);
    }

    void unreadableProfileKeepsTheRecord() {
        TAPPInfo info;
        info.PKCS11Lib = QStringLiteral("kept");
        QCOMPARE(ReadAppInfo(m_dir.path(), info), 1);
        QCOMPARE(info.PKCS11Lib, QStringLiteral("kept"));
    }

    void parsesProductIds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("hex with 0x") << "0x0101|0x0102" << QList<int>{257, 258};
        QTest::newRow("decimal with blanks") << "257 | 258" << QList<int>{257, 258};
        QTest::newRow("dollar hex") << "$0101" << QList<int>{257};
        QTest::newRow("empty") << "" << QList<int>{};
        QTest::newRow("blank") << "   " << QList<int>{};
        QTest::newRow("quoted item") << "\"0x0101\"|2" << QList<int>{257, 2};
        QTest::newRow("blank ends an item") << "1 2|3" << QList<int>{1, 2, 3};
        QTest::newRow("empty item skipped") << "1||2" << QList<int>{1, 2};
        QTest::newRow("trailing bar") << "1|" << QList<int>{1};
        QTest::newRow("not a number skipped") << "1|USB|0x10" << QList<int>{1, 16};
        QTest::newRow("tab and newline separate") << "1\t|\n2" << QList<int>{1, 2};
        QList<int> many;
        QStringList items;
        for (int i = 1; i <= 40; ++i) {
            items.append(QString::number(i));
            if (i <= 33)
                many.append(i);
        }
        QTest::newRow("only the first 33 kept") << items.join(u'|') << many;
    }
    void parsesProductIds() {
        QFETCH(QString, text);
        QFETCH(QList<int>, expected);
        ProductIdTable table;
        table.count = 5; // parsing starts a fresh table
        ParseProductIds(text, table);
        QCOMPARE(table.count, expected.size());
        for (int i = 0; i < table.count; ++i)
            QCOMPARE(table.ids[i], expected[i]);
    }
};

QTEST_GUILESS_MAIN(AppInfoTest)
#include "AppInfoTest.moc"
