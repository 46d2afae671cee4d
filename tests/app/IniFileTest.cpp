#include "app/IniFile.h"
#include "app/IntegerText.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

// The private-profile rules every configuration file of the program is read with.
// A file on a disk that fills up after a number of bytes.
class FailingSaveFile : public QSaveFile {
public:
    FailingSaveFile(const QString& path, qint64 room) : QSaveFile(path), m_room(room) {}

protected:
    qint64 writeData(const char* data, qint64 length) override {
        const qint64 taken = std::min(length, m_room);
        if (taken <= 0)
            return -1;
        m_room -= taken;
        return QSaveFile::writeData(data, taken);
    }

private:
    qint64 m_room;
};

class IniFileTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QByteArray& bytes, const QString& name = QStringLiteral("test.ini")) {
        return writeTestFile(m_dir.filePath(name), bytes);
    }

private Q_SLOTS:
    void readsStringsByTheProfileRules_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray file = "; a comment=no\r\n"
                                "[APPLib]\r\n"
                                "  PKCS11Lib =  /usr/lib/a.so  \r\n"
                                "Quoted=\"  padded  \"\r\n"
                                "Single='x'\r\n"
                                "Unbalanced=\"x\r\n"
                                "Empty=\r\n"
                                "Equals=a=b\r\n"
                                "pkcs11lib=second\r\n"
                                "[applib]\r\n"
                                "CSPLib=from the second section\r\n"
                                "[Other]\n"
                                "CSPLib=other\n";
        QTest::newRow("trimmed") << file << "APPLib"
                                 << "PKCS11Lib"
                                 << "/usr/lib/a.so";
        QTest::newRow("section and key case") << file << "applib"
                                              << "pkcs11LIB"
                                              << "/usr/lib/a.so";
        QTest::newRow("first key wins") << file << "APPLib"
                                        << "PKCS11LIB"
                                        << "/usr/lib/a.so";
        QTest::newRow("quotes removed, inside kept") << file << "APPLib"
                                                     << "Quoted"
                                                     << "  padded  ";
        QTest::newRow("single quotes") << file << "APPLib"
                                       << "Single"
                                       << "x";
        QTest::newRow("unbalanced quote kept") << file << "APPLib"
                                               << "Unbalanced"
                                               << "\"x";
        QTest::newRow("empty value") << file << "APPLib"
                                     << "Empty"
                                     << "";
        QTest::newRow("equals in value") << file << "APPLib"
                                         << "Equals"
                                         << "a=b";
        QTest::newRow("first section wins") << file << "APPLIB"
                                            << "CSPLib"
                                            << "default";
        QTest::newRow("LF line ends") << file << "Other"
                                      << "CSPLib"
                                      << "other";
        QTest::newRow("comment is not a key") << file << "APPLib"
                                              << "; a comment"
                                              << "default";
        QTest::newRow("missing section") << file << "Nope"
                                         << "CSPLib"
                                         << "default";
    }
    void readsStringsByTheProfileRules() {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const IniFile ini(write(content));
        QVERIFY(ini.isReadable());
        QCOMPARE(ini.readString(section, key, QStringLiteral("default")), expected);
    }

    void convertsIntegers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 77 is the default: not a number
        QTest::newRow("decimal") << "12" << 12;
        QTest::newRow("negative") << "-12" << -12;
        QTest::newRow("plus") << "+7" << 7;
        QTest::newRow("0x") << "0x1" << 1;
        QTest::newRow("0X upper") << "0X1f" << 31;
        QTest::newRow("dollar") << "$FF" << 255;
        QTest::newRow("hex wraps to 32 bits") << "$FFFFFFFF" << -1;
        QTest::newRow("hex too long") << "0x123456789" << 77;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << int(INT32_MIN);
        QTest::newRow("overflow") << "2147483648" << 77;
        QTest::newRow("empty") << "" << 77;
        QTest::newRow("words") << "three" << 77;
        QTest::newRow("trailing junk") << "3x" << 77;
        QTest::newRow("fraction") << "9.5" << 77;
        QTest::newRow("prefix alone") << "0x" << 77;
        QTest::newRow("inner blank") << "1 2" << 77;
    }
    void convertsIntegers() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const IniFile ini(write("[S]\nK=" + text.toUtf8() + "\n"));
        QCOMPARE(ini.readInteger(QStringLiteral("S"), QStringLiteral("K"), 77), expected);
        QCOMPARE(parseInteger(text).value_or(77), expected);
    }

    void readsEveryEncoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QString text = QStringLiteral("[Caption]\r\nP_Caption=PKI管理工具\r\n");
        QTest::newRow("UTF-8") << text.toUtf8();
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + text.toUtf8();
        QByteArray le("\xFF\xFE"), be("\xFE\xFF");
        for (QChar c : text) {
            le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
            be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
        }
        QTest::newRow("UTF-16LE with BOM") << le;
        QTest::newRow("UTF-16BE with BOM") << be;
        // "管理工具" in GB18030, as a Chinese Windows editor saves it.
        QTest::newRow("GB18030") << QByteArray("[Caption]\r\nP_Caption=PKI\xB9\xDC\xC0\xED\xB9\xA4\xBE\xDF\r\n");
    }
    void readsEveryEncoding() {
        QFETCH(QByteArray, bytes);
        const IniFile ini(write(bytes));
        QCOMPARE(ini.readString(QStringLiteral("Caption"), QStringLiteral("P_Caption"), QString()),
                 QStringLiteral("PKI管理工具"));
    }

    void badFilesGiveDefaults_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("readable");
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\xFF\xFE[\x00]=\x80\x81", 12) << true;
        QTest::newRow("invalid UTF-8, no section") << QByteArray("K=\xC3\x28\xA0\xA1\n") << true;
        QTest::newRow("keys before any section") << QByteArray("K=v\n") << true;
        QTest::newRow("10 MB line") << QByteArray("[S]\nK=") + QByteArray(10 * 1024 * 1024, 'a') << false;
        QTest::newRow("odd UTF-16") << QByteArray("\xFF\xFE[\x00S\x00]\x00\n", 9) << true;
    }
    void badFilesGiveDefaults() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, readable);
        const IniFile ini(write(bytes));
        QCOMPARE(ini.isReadable(), readable);
        QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("d")), QStringLiteral("d"));
        QCOMPARE(ini.readInteger(QStringLiteral("S"), QStringLiteral("K"), 5), 5);
    }

    void missingFileIsEmptyAndReadable() {
        const IniFile ini(m_dir.filePath(QStringLiteral("absent.ini")));
        QVERIFY(ini.isReadable());
        QVERIFY(ini.sectionNames().isEmpty());
    }

    void directoryIsUnreadable() { QVERIFY(!IniFile(m_dir.path()).isReadable()); }

    void listsSectionsInFileOrder() {
        const IniFile ini(write("[b]\n[A]\nx=1\n[ c ]\n[A]\n"));
        QCOMPARE(ini.sectionNames(), QStringList({"b", "A", "c", "A"}));
    }

    // Writing replaces the file whole, keeps what it held and keeps its encoding.
    void writesWholeFilesInTheirEncoding_data() {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<TextEncoding::FileEncoding>("encoding");
        QTest::newRow("new file") << QByteArray() << TextEncoding::FileEncoding::Utf8;
        QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF[Language]\nOther=语言\n")
                                   << TextEncoding::FileEncoding::Utf8Bom;
        QTest::newRow("UTF-16LE") << QByteArray("\xFF\xFE[\0L\0a\0n\0g\0u\0a\0g\0e\0]\0\n\0", 24)
                                  << TextEncoding::FileEncoding::Utf16LeBom;
        QTest::newRow("GB18030") << QByteArray("[Language]\nOther=\xD3\xEF\xD1\xD4\n")
                                 << TextEncoding::FileEncoding::Gb18030;
    }
    void writesWholeFilesInTheirEncoding() {
        QFETCH(QByteArray, original);
        QFETCH(TextEncoding::FileEncoding, encoding);
        const QString path = m_dir.filePath(QStringLiteral("written.ini"));
        QFile::remove(path);
        if (!original.isEmpty())
            write(original, QStringLiteral("written.ini"));
        IniFile ini(path);
        const QString other = ini.readString(QStringLiteral("Language"), QStringLiteral("Other"), QString());
        ini.writeInteger(QStringLiteral("language"), QStringLiteral("LanguageID"), 1033);
        QVERIFY(ini.save());

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        TextEncoding::FileEncoding written;
        TextEncoding::decodeFile(file.readAll(), &written);
        QCOMPARE(written, encoding);
        const IniFile reread(path);
        QCOMPARE(reread.readInteger(QStringLiteral("Language"), QStringLiteral("LanguageID"), 0), 1033);
        QCOMPARE(reread.readString(QStringLiteral("Language"), QStringLiteral("Other"), QString()), other);
        QCOMPARE(reread.sectionNames().size(), 1);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".ini.")).size(), 0);
    }

    // The disk fills up after a few bytes: the old file stays, whole, and no temporary file is left behind.
    void failedSaveLeavesTheOldFile() {
        const QString path = write("[S]\nK=old\n", QStringLiteral("kept.ini"));
        IniFile ini(path);
        ini.writeString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("new"));
        FailingSaveFile full(path, 5);
        QVERIFY(!ini.saveTo(full));
        QCOMPARE(IniFile(path).readString(QStringLiteral("S"), QStringLiteral("K"), QString()), QStringLiteral("old"));
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("kept.ini*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("kept.ini")});
    }
};

QTEST_GUILESS_MAIN(IniFileTest)
#include "IniFileTest.moc"
