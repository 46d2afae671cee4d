#include "common/TestFiles.h"
#include "vtoken/PinHash.h"
#include "vtoken/Store.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>

using Figures = QMap<QString, QString>;
Q_DECLARE_METATYPE(Figures)

// The vtoken command as people and scripts use it: a real process on a store in a private temporary folder.
class VtokenCommandTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;

    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    static QStringList words(const char* text) { return QString::fromUtf8(text).split(u' '); }

    QString storePath() const { return m_home->filePath(QStringLiteral("vtoken.db")); }

    Run vtoken(const QStringList& arguments, const QByteArray& input = {}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VTOKEN_HOME"), m_home->path());
        environment.insert(QStringLiteral("HOME"), m_home->path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VTOKEN_PROGRAM), arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            qFatal("vtoken %s did not end normally", qPrintable(arguments.join(u' ')));
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    // The serial of a new token; the test stops if there is none.
    QString create(const QStringList& options = {}) {
        const Run run = vtoken(QStringList{QStringLiteral("create")} + options);
        if (run.exitCode != 0)
            qFatal("create failed: %s", run.err.constData());
        return QString::fromUtf8(run.out).trimmed();
    }

    Figures show(const QString& serial) {
        const Run run = vtoken({QStringLiteral("show"), serial});
        Figures figures;
        for (const QString& line : QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts)) {
            const qsizetype colon = line.indexOf(u':');
            figures.insert(line.left(colon), line.mid(colon + 1).trimmed());
        }
        return figures;
    }

    static void verifyFigures(const Figures& actual, const Figures& expected) {
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(actual.value(it.key()) == it.value(), qPrintable(it.key() + ": " + actual.value(it.key())));
    }

    // Every byte the store keeps, its journal files included.
    QByteArray storeBytes() const {
        QByteArray bytes;
        for (const QFileInfo& file : QDir(m_home->path()).entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile f(file.filePath());
            if (f.open(QIODevice::ReadOnly))
                bytes += f.readAll();
        }
        return bytes;
    }

private Q_SLOTS:
    void init() { m_home = std::make_unique<QTemporaryDir>(); }

    void createThenShow_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<Figures>("expected");
        QTest::newRow("defaults") << QStringList{}
                                  << Figures{{"label", "VX7100"},
                                             {"manufacturer", "Quorvex"},
                                             {"model", "VX7100"},
                                             {"hardware version", "1.0"},
                                             {"firmware version", "1.0"},
                                             {"memory total", "262144"},
                                             {"memory used", "0"},
                                             {"memory free", "262144"},
                                             {"initialized", "yes"},
                                             {"user PIN set", "yes"},
                                             {"user PIN min length", "4"},
                                             {"user PIN max length", "16"},
                                             {"user PIN retries", "10 of 10"},
                                             {"user PIN locked", "no"},
                                             {"SO PIN set", "yes"},
                                             {"SO PIN retries", "10 of 10"},
                                             {"USB vendor ID", "0x1D99"},
                                             {"USB product ID", "0x0101"},
                                             {"plugged", "no"},
                                             {"plug count", "0"},
                                             {"sensor", "none"},
                                             {"sensor auto", "off"},
                                             {"sensor events queued", "0"},
                                             {"finger list", "flags"},
                                             {"user fingers", "none"},
                                             {"CD-ROM sectors", "0"},
                                             {"objects", "0"}};
        // The label is 32 bytes in 16 characters: limits count bytes.
        QTest::newRow("every option")
            << words(
                   "--serial Ab34567890123456 --user-pin=abcdefghij --so-pin 0123456789abcdefghij --user-retries 0x0F "
                   "--so-retries 1 --user-pin-min 6 --user-pin-max 10 --so-pin-min 20 --so-pin-max 32 "
                   "--usb-vendor 0xabcd --usb-product 7 --sensor finger-vein --cdrom-sectors 0x100 --memory 65536 "
                   "--manufacturer Maker --model M1 --hardware 2.5 --firmware 255.0 --plugged") +
                   QStringList{"--label", QString(16, QChar(0xC4))}
            << Figures{{"serial", "Ab34567890123456"},
                       {"label", QString(16, QChar(0xC4))},
                       {"manufacturer", "Maker"},
                       {"model", "M1"},
                       {"hardware version", "2.5"},
                       {"firmware version", "255.0"},
                       {"memory total", "65536"},
                       {"user PIN min length", "6"},
                       {"user PIN max length", "10"},
                       {"user PIN retries", "15 of 15"},
                       {"SO PIN min length", "20"},
                       {"SO PIN max length", "32"},
                       {"SO PIN retries", "1 of 1"},
                       {"USB vendor ID", "0xABCD"},
                       {"USB product ID", "0x0007"},
                       {"plugged", "yes"},
                       {"plug count", "1"},
                       {"sensor", "finger-vein"},
                       {"finger list", "identifiers"},
                       {"CD-ROM sectors", "256"}};
        QTest::newRow("uninitialized") << QStringList{"--uninitialized", "--sensor", "fingerprint"}
                                       << Figures{{"initialized", "no"},
                                                  {"user PIN set", "no"},
                                                  {"SO PIN set", "yes"},
                                                  {"sensor", "fingerprint"}};
        QTest::newRow("finger list chosen") << words("--sensor fingerprint --finger-list identifiers-100")
                                            << Figures{{"finger list", "identifiers-100"}};
    }

    void createThenShow() {
        QFETCH(QStringList, options);
        QFETCH(Figures, expected);
        const QString serial = create(options);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-Za-z]{16}$")).match(serial).hasMatch(), qPrintable(serial));
        verifyFigures(show(serial), expected);
    }

    void randomSerialsAreHexAndUnique() {
        const QString first = create(), second = create();
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{16}$")).match(first).hasMatch());
        QVERIFY(first != second);
        QCOMPARE(vtoken({"create", "--serial", first}).exitCode, 1);
    }

    void storedPinsAreTheOnesGiven() {
        const QString serial = create({"--user-pin", "user-pin-1", "--so-pin", "so-pin-22"});
        QCOMPARE(vtoken({"set", serial, "--user-pin", "user-pin-333"}).exitCode, 0);
        vtoken::Store store(storePath().toStdString());
        const auto token = store.tokenBySerial(serial.toStdString());
        QVERIFY(token);
        QVERIFY(vtoken::verifyPin("user-pin-333", token->userPin.hash));
        QVERIFY(!vtoken::verifyPin("user-pin-1", token->userPin.hash));
        QVERIFY(vtoken::verifyPin("so-pin-22", token->soPin.hash));
    }

    // A PIN need not stand in the command line: "-" reads it from standard input, "@FILE" from a file.
    void pinsFromInputAndFiles() {
        const QString file = writeTestFile(m_home->filePath(QStringLiteral("so.pin")), "so-pin-from-file\r\nnext\n");
        const Run created = vtoken({"create", "--user-pin", "-", "--so-pin", "@" + file}, "user-from-stdin\n");
        QCOMPARE(created.exitCode, 0);
        vtoken::Store store(storePath().toStdString());
        const auto token = store.tokenBySerial(QString::fromUtf8(created.out).trimmed().toStdString());
        QVERIFY(token);
        QVERIFY(vtoken::verifyPin("user-from-stdin", token->userPin.hash));
        QVERIFY(vtoken::verifyPin("so-pin-from-file", token->soPin.hash));
        const Run missing = vtoken({"create", "--so-pin", "@" + m_home->filePath(QStringLiteral("none"))});
        QCOMPARE(missing.exitCode, 2);
        QVERIFY2(missing.err.contains("--so-pin: cannot read"), missing.err.constData());
        QCOMPARE(vtoken({"create", "--user-pin", "-"}).exitCode, 2); // nothing on standard input
    }

    void plugUnplugAndList() {
        const QString a = create({"--label", "first token"}), b = create({"--sensor", "fingerprint"});
        for (int i = 0; i < 2; ++i)
            QCOMPARE(vtoken({"plug", a}).exitCode, 0);
        QCOMPARE(show(a).value("plug count"), "1");
        QCOMPARE(QString::fromUtf8(vtoken({"list"}).out),
                 a + "\tplugged\tfirst token\tnone\n" + b + "\tunplugged\tVX7100\tfingerprint\n");
        for (int i = 0; i < 2; ++i)
            QCOMPARE(vtoken({"unplug", a}).exitCode, 0);
        QCOMPARE(show(a).value("plugged"), "no");
        QCOMPARE(vtoken({"plug", a}).exitCode, 0);
        QCOMPARE(show(a).value("plug count"), "2");
    }

    void setForcesState_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<Figures>("expected");
        QTest::newRow("user tries left") << QStringList{"--user-retries-left", "3"}
                                         << Figures{{"user PIN retries", "3 of 10"}, {"user PIN locked", "no"}};
        QTest::newRow("user locked") << QStringList{"--user-retries-left", "0"}
                                     << Figures{{"user PIN retries", "0 of 10"}, {"user PIN locked", "yes"}};
        QTest::newRow("lower maximum cuts tries left")
            << QStringList{"--so-retries-max", "5"} << Figures{{"SO PIN retries", "5 of 5"}};
        QTest::newRow("maximum then tries left") << QStringList{"--so-retries-left", "2", "--so-retries-max", "0xF"}
                                                 << Figures{{"SO PIN retries", "2 of 15"}};
        QTest::newRow("tries forced after a new PIN")
            << QStringList{"--user-retries-left", "1", "--user-pin", "87651234"}
            << Figures{{"user PIN retries", "1 of 10"}};
        QTest::newRow("several") << words("--initialized no --memory 1024 --label Neu --sensor finger-vein "
                                          "--cdrom-sectors 4")
                                 << Figures{{"initialized", "no"}, {"memory total", "1024"},  {"memory free", "1024"},
                                            {"label", "Neu"},      {"sensor", "finger-vein"}, {"CD-ROM sectors", "4"}};
        QTest::newRow("a new sensor lists its own way")
            << words("--sensor finger-vein") << Figures{{"finger list", "identifiers"}};
        QTest::newRow("finger list chosen") << words("--sensor finger-vein --finger-list identifiers-100")
                                            << Figures{{"finger list", "identifiers-100"}};
    }

    void setForcesState() {
        QFETCH(QStringList, options);
        QFETCH(Figures, expected);
        const QString serial = create();
        const Run run = vtoken(QStringList{"set", serial} + options);
        QCOMPARE(run.exitCode, 0);
        verifyFigures(show(serial), expected);
    }

    void newPinRestoresTriesLeft() {
        const QString serial = create();
        QCOMPARE(vtoken({"set", serial, "--so-retries-left", "0"}).exitCode, 0);
        QCOMPARE(vtoken({"set", serial, "--so-pin", "11112222"}).exitCode, 0);
        QCOMPARE(show(serial).value("SO PIN retries"), "10 of 10");
    }

    void failedSetChangesNothing() {
        const QString serial = create();
        const Run run = vtoken({"set", serial, "--label", "changed", "--user-retries-left", "11"});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(show(serial).value("label"), "VX7100");
    }

    void badArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("nothing") << QStringList{} << "Usage:";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << "unknown command";
        QTest::newRow("unknown option") << QStringList{"create", "--colour", "red"} << "unknown option";
        QTest::newRow("missing value") << QStringList{"create", "--label"} << "needs a value";
        QTest::newRow("option as value") << QStringList{"create", "--label", "--plugged"} << "needs a value";
        QTest::newRow("flag with value") << QStringList{"create", "--plugged=yes"} << "takes no value";
        QTest::newRow("not a number") << QStringList{"create", "--memory", "12k"} << "not a number";
        QTest::newRow("negative") << QStringList{"create", "--cdrom-sectors", "-1"} << "not a number";
        QTest::newRow("no retries") << QStringList{"create", "--user-retries", "0"} << "out of range";
        QTest::newRow("too many retries") << QStringList{"create", "--so-retries", "16"} << "out of range";
        QTest::newRow("overflow") << QStringList{"create", "--memory", "0x10000000000000000"} << "out of range";
        QTest::newRow("USB id too big") << QStringList{"create", "--usb-vendor", "0x10000"} << "out of range";
        QTest::newRow("PIN limit too small") << QStringList{"create", "--user-pin-min", "3"} << "out of range";
        QTest::newRow("PIN limit too big") << QStringList{"create", "--so-pin-max", "33"} << "out of range";
        QTest::newRow("limits crossed") << QStringList{"create", "--so-pin-min", "9", "--so-pin-max", "8"}
                                        << "more than";
        QTest::newRow("PIN too short") << QStringList{"create", "--user-pin", "123"} << "4 to 16 bytes";
        QTest::newRow("factory PIN too long") << QStringList{"create", "--user-pin-max", "6"} << "give --user-pin";
        QTest::newRow("uninitialized with PIN")
            << QStringList{"create", "--uninitialized", "--user-pin", "12341234"} << "no user PIN";
        QTest::newRow("short serial") << QStringList{"create", "--serial", "ABC"} << "16 letters";
        QTest::newRow("serial with dash") << QStringList{"create", "--serial", "ABCDEF0123-56789"} << "16 letters";
        QTest::newRow("label 33 bytes") << QStringList{"create", "--label", QString(16, QChar(0xC4)) + "A"}
                                        << "longer than 32";
        QTest::newRow("label control") << QStringList{"create", "--label", "a\nb"} << "control character";
        QTest::newRow("empty label") << QStringList{"create", "--label="} << "empty";
        QTest::newRow("model too long") << QStringList{"create", "--model", "12345678901234567"} << "16 bytes";
        QTest::newRow("bad version") << QStringList{"create", "--firmware", "1.256"} << "not a version";
        QTest::newRow("unknown sensor") << QStringList{"create", "--sensor", "iris"} << "finger-vein";
        QTest::newRow("show without serial") << QStringList{"show"} << "needs SERIAL";
        QTest::newRow("extra argument") << QStringList{"plug", "A", "B"} << "unexpected argument";
        QTest::newRow("set without options") << QStringList{"set", "A"} << "nothing to change";
        QTest::newRow("set yes or no") << QStringList{"set", "A", "--initialized", "true"} << "neither yes nor no";
        QTest::newRow("cdrom alone") << QStringList{"cdrom"} << "dump";
        QTest::newRow("cdrom unknown") << QStringList{"cdrom", "burn", "A"} << "unknown subcommand";
        QTest::newRow("unknown finger list") << QStringList{"create", "--finger-list", "bits"} << "identifiers-100";
        QTest::newRow("finger without event") << QStringList{"finger", "A"} << "needs SERIAL and an event";
        QTest::newRow("unknown finger event") << QStringList{"finger", "A", "wave"} << "unknown event 'wave'";
        QTest::newRow("present without finger") << QStringList{"finger", "A", "present"} << "finger number";
        QTest::newRow("finger 11") << QStringList{"finger", "A", "present", "11"} << "out of range (1 to 10)";
        QTest::newRow("two fingers") << QStringList{"finger", "A", "present", "3", "4"} << "unexpected argument '4'";
        QTest::newRow("unbound without finger") << QStringList{"finger", "A", "unbound"} << "finger number";
        QTest::newRow("clear with a finger") << QStringList{"finger", "A", "clear", "3"} << "unexpected argument '3'";
        QTest::newRow("fail with a finger") << QStringList{"finger", "A", "fail", "3"} << "unexpected argument '3'";
        QTest::newRow("auto neither on nor off") << QStringList{"finger", "A", "auto", "yes"} << "neither on nor off";
        QTest::newRow("short challenge") << QStringList{"unblock-response", "A", "001122334455667"}
                                         << "16 hexadecimal digits";
        QTest::newRow("challenge not hexadecimal")
            << QStringList{"unblock-response", "A", "00112233445566GG"} << "16 hexadecimal digits";
    }

    void badArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, complaint);
        const Run run = vtoken(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains(complaint.toUtf8()), run.err.constData());
        if (!arguments.isEmpty()) {
            QVERIFY2(run.err.startsWith("vtoken: ") && run.err.count('\n') == 1, run.err.constData());
            QVERIFY(vtoken({"list"}).out.isEmpty());
        }
    }

    void helpForEveryCommand_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("usage");
        QTest::newRow("main") << QStringList{"--help"} << "Usage: vtoken COMMAND";
        for (const char* command :
             {"create", "list", "show", "plug", "unplug", "remove", "set", "finger", "unblock-response"})
            QTest::newRow(command) << QStringList{command, "-h"} << QStringLiteral("Usage: vtoken %1").arg(command);
        QTest::newRow("cdrom dump") << QStringList{"cdrom", "dump", "--help"} << "Usage: vtoken cdrom dump";
        QTest::newRow("despite a bad option") << QStringList{"set", "--bogus", "--help"} << "Usage: vtoken set";
    }

    void helpForEveryCommand() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, usage);
        const Run run = vtoken(arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith(usage.toUtf8()), run.out.constData());
    }

    void unknownSerial_data() {
        QTest::addColumn<QStringList>("arguments");
        const QString serial = QStringLiteral("0000000000000000");
        QTest::newRow("show") << QStringList{"show", serial};
        QTest::newRow("plug") << QStringList{"plug", serial};
        QTest::newRow("unplug") << QStringList{"unplug", serial};
        QTest::newRow("remove") << QStringList{"remove", serial};
        QTest::newRow("set") << QStringList{"set", serial, "--label", "x"};
        QTest::newRow("cdrom dump") << QStringList{"cdrom", "dump", serial, "--output", "-"};
        QTest::newRow("finger") << QStringList{"finger", serial, "away"};
        QTest::newRow("unblock-response") << QStringList{"unblock-response", serial, "0011223344556677"};
    }

    void unknownSerial() {
        QFETCH(QStringList, arguments);
        create();
        const Run run = vtoken(arguments);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QByteArray("vtoken: no token with serial 0000000000000000\n"));
    }

    void removeTakesObjectsAndCdromAlong() {
        const QString serial = create({"--cdrom-sectors", "2"});
        int64_t id = 0;
        {
            vtoken::Store store(storePath().toStdString());
            id = store.tokenBySerial(serial.toStdString())->id;
            store.insertObject(id, std::vector<uint8_t>(100, 1));
            store.writeSectors(id, 1, std::vector<uint8_t>(vtoken::Store::SectorSize, 7));
        }
        QCOMPARE(vtoken({"remove", serial}).exitCode, 0);
        QCOMPARE(vtoken({"show", serial}).exitCode, 1);
        vtoken::Store store(storePath().toStdString());
        QVERIFY(store.objects(id).empty());
        QCOMPARE(store.readSectors(id, 0, 2), std::vector<uint8_t>(2 * vtoken::Store::SectorSize, 0));
    }

    void showCountsWhatTheModuleWrote() {
        const QString serial = create({"--memory", "1000", "--sensor", "fingerprint"});
        {
            vtoken::Store store(storePath().toStdString());
            auto token = *store.tokenBySerial(serial.toStdString());
            store.insertObject(token.id, std::vector<uint8_t>(300, 1));
            store.insertObject(token.id, std::vector<uint8_t>(20, 2));
            token.userFingers.enrolled = 0b1000000101; // fingers 1, 3 and 10
            token.adminFingers = {0b10, 5, 2, 3};
            store.updateToken(token);
        }
        verifyFigures(show(serial), {{"memory used", "320"},
                                     {"memory free", "680"},
                                     {"objects", "2"},
                                     {"user fingers", "1, 3, 10"},
                                     {"admin fingers", "2"},
                                     {"admin finger retries", "2 of 5"},
                                     {"admin finger level", "3"}});
    }

    void fingerEventsQueueForTheSensor() {
        const QString serial = create({"--sensor", "fingerprint"});
        for (const char* event : {"present 1", "clear", "present 3", "fail", "away", "unbound 0xA", "auto on"})
            QCOMPARE(vtoken(QStringList{"finger", serial} + words(event)).exitCode, 0);
        verifyFigures(show(serial), {{"sensor events queued", "4"}, {"sensor auto", "on"}});
        {
            vtoken::Store store(storePath().toStdString());
            const int64_t id = store.tokenBySerial(serial.toStdString())->id;
            using Event = vtoken::SensorEvent;
            for (const Event& expected :
                 {Event{Event::Present, 3}, Event{Event::Fail, 0}, Event{Event::Away, 0}, Event{Event::Unbound, 10}})
                QVERIFY(store.takeSensorEvent(id) == expected);
            QVERIFY(!store.takeSensorEvent(id));
        }
        QCOMPARE(vtoken({"finger", serial, "auto", "off"}).exitCode, 0);
        QCOMPARE(show(serial).value("sensor auto"), "off");
        const Run none = vtoken({"finger", create(), "away"});
        QCOMPARE(none.exitCode, 1);
        QVERIFY2(none.err.contains("has no sensor"), none.err.constData());
    }

    // The first 16 bytes of HMAC-SHA256 under the token's issuer key over the challenge and the serial: what the
    // issuer's own systems compute, so the formula may not drift.
    void unblockResponseIsTheIssuersAnswer() {
        const QString serial = create({"--serial", "RESP000000000001"});
        const Run lower = vtoken({"unblock-response", serial, "00a1b2c3d4e5f6ff"});
        QCOMPARE(lower.exitCode, 0);
        QCOMPARE(vtoken({"unblock-response", serial, "00A1B2C3D4E5F6FF"}).out, lower.out);
        std::vector<uint8_t> key;
        {
            vtoken::Store store(storePath().toStdString());
            key = store.issuerKey(store.tokenBySerial(serial.toStdString())->id);
        }
        QCOMPARE(key.size(), size_t(32));
        const QByteArray message = QByteArray::fromHex("00a1b2c3d4e5f6ff") + serial.toLatin1();
        unsigned char mac[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        QVERIFY(HMAC(EVP_sha256(), key.data(), int(key.size()), reinterpret_cast<const unsigned char*>(message.data()),
                     size_t(message.size()), mac, &length));
        QCOMPARE(lower.out, QByteArray(reinterpret_cast<char*>(mac), 16).toHex().toUpper() + '\n');
        // Each token answers with a key of its own, and shows it nowhere.
        QVERIFY(vtoken({"unblock-response", create(), "00a1b2c3d4e5f6ff"}).out != lower.out);
        const QByteArray keyHex = QByteArray(reinterpret_cast<const char*>(key.data()), 32).toHex();
        const QByteArray shown = vtoken({"show", serial}).out.toLower();
        QVERIFY(!shown.contains(keyHex) && !shown.contains(keyHex.left(16)));
    }

    // A store the first version of vtoken wrote: its tokens gain the new figures, each an issuer key of its own.
    void firstVersionStoreIsCarriedOver() {
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(storePath()).constData(), &db), SQLITE_OK);
        const char* const firstVersion = R"sql(
            CREATE TABLE token (id INTEGER PRIMARY KEY AUTOINCREMENT, serial TEXT NOT NULL UNIQUE, label TEXT NOT NULL,
                manufacturer TEXT NOT NULL, model TEXT NOT NULL, issuer TEXT NOT NULL, hardware_major INTEGER NOT NULL,
                hardware_minor INTEGER NOT NULL, firmware_major INTEGER NOT NULL, firmware_minor INTEGER NOT NULL,
                total_memory INTEGER NOT NULL, initialized INTEGER NOT NULL, user_pin_hash TEXT NOT NULL,
                user_pin_min INTEGER NOT NULL, user_pin_max INTEGER NOT NULL, user_pin_retry_max INTEGER NOT NULL,
                user_pin_retry_left INTEGER NOT NULL, so_pin_hash TEXT NOT NULL, so_pin_min INTEGER NOT NULL,
                so_pin_max INTEGER NOT NULL, so_pin_retry_max INTEGER NOT NULL, so_pin_retry_left INTEGER NOT NULL,
                usb_vendor_id INTEGER NOT NULL, usb_product_id INTEGER NOT NULL, plugged INTEGER NOT NULL,
                plug_count INTEGER NOT NULL, sensor INTEGER NOT NULL, user_fingers INTEGER NOT NULL,
                user_finger_retry_max INTEGER NOT NULL, user_finger_retry_left INTEGER NOT NULL,
                user_finger_level INTEGER NOT NULL, admin_fingers INTEGER NOT NULL,
                admin_finger_retry_max INTEGER NOT NULL, admin_finger_retry_left INTEGER NOT NULL,
                admin_finger_level INTEGER NOT NULL, cdrom_sectors INTEGER NOT NULL);
            INSERT INTO token VALUES (1, 'OLD0000000000001', 'Old', 'Quorvex', 'VX7100', '', 1, 0, 1, 0, 262144, 1, '',
                4, 16, 10, 10, '', 4, 16, 10, 10, 7577, 257, 1, 1, 1, 5, 10, 7, 1, 0, 10, 10, 1, 0);
            INSERT INTO token VALUES (2, 'OLD0000000000002', 'Old', 'Quorvex', 'VX7100', '', 1, 0, 1, 0, 262144, 1, '',
                4, 16, 10, 10, '', 4, 16, 10, 10, 7577, 257, 0, 0, 2, 0, 10, 10, 1, 0, 10, 10, 1, 0);
            PRAGMA user_version = 1;)sql";
        QCOMPARE(sqlite3_exec(db, firstVersion, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        verifyFigures(show("OLD0000000000001"), {{"user fingers", "1, 3"},
                                                 {"user finger retries", "7 of 10"},
                                                 {"finger list", "flags"},
                                                 {"sensor auto", "off"},
                                                 {"sensor events queued", "0"}});
        QCOMPARE(show("OLD0000000000002").value("finger list"), "identifiers");
        vtoken::Store store(storePath().toStdString());
        const std::vector<uint8_t> first = store.issuerKey(1);
        QCOMPARE(first.size(), size_t(32));
        QVERIFY(first != store.issuerKey(2));
        vtoken::Store reopened(storePath().toStdString());
        QCOMPARE(reopened.issuerKey(1), first); // carried over once
        QCOMPARE(vtoken({"unblock-response", "OLD0000000000001", "0011223344556677"}).exitCode, 0);
    }

    // A store a newer vtoken wrote is refused, not read or rewritten by this one.
    void newerStoreIsRefused() {
        create();
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(storePath()).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "PRAGMA user_version = 3", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        QVERIFY_THROWS_EXCEPTION(vtoken::StoreError, vtoken::Store(storePath().toStdString()));
        const Run listed = vtoken({"list"});
        QCOMPARE(listed.exitCode, 1);
        QVERIFY2(listed.err.contains("newer vtoken"), listed.err.constData());
    }

    void cdromDumpOfEmptyPartition() {
        const QString serial = create({"--cdrom-sectors", "3"});
        QCOMPARE(vtoken({"cdrom", "dump", serial}).out, QByteArray(3 * 2048, '\0'));
        const QString image = m_home->filePath(QStringLiteral("image.iso"));
        QCOMPARE(vtoken({"cdrom", "dump", serial, "--output", image}).exitCode, 0);
        QFile file(image);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(3 * 2048, '\0'));
        const Run none = vtoken({"cdrom", "dump", create()});
        QCOMPARE(none.exitCode, 0);
        QVERIFY(none.out.isEmpty());
    }

    // Written sectors land where they belong across the chunks the dump reads in; a shrink erases what it cuts off.
    void cdromDumpAndShrink() {
        const QString serial = create({"--cdrom-sectors", "300"});
        QByteArray expected(300 * 2048, '\0');
        {
            vtoken::Store store(storePath().toStdString());
            const int64_t id = store.tokenBySerial(serial.toStdString())->id;
            for (const int sector : {0, 255, 256, 299}) {
                store.writeSectors(id, sector, std::vector<uint8_t>(2048, uint8_t(sector % 251 + 1)));
                expected.replace(sector * 2048, 2048, QByteArray(2048, char(sector % 251 + 1)));
            }
        }
        QCOMPARE(vtoken({"cdrom", "dump", serial}).out, expected);
        QCOMPARE(vtoken({"set", serial, "--cdrom-sectors", "256"}).exitCode, 0);
        QCOMPARE(vtoken({"set", serial, "--cdrom-sectors", "300"}).exitCode, 0);
        expected.replace(256 * 2048, 44 * 2048, QByteArray(44 * 2048, '\0'));
        QCOMPARE(vtoken({"cdrom", "dump", serial}).out, expected);
    }

    void damagedStore_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("list") << QStringList{"list"};
        QTest::newRow("create") << QStringList{"create"};
        QTest::newRow("show") << QStringList{"show", "0000000000000000"};
        QTest::newRow("plug") << QStringList{"plug", "0000000000000000"};
    }

    void damagedStore() {
        QFETCH(QStringList, arguments);
        const QByteArray garbage = QByteArray("this is no database ").repeated(400);
        writeTestFile(storePath(), garbage);
        const Run run = vtoken(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("vtoken: ") && run.err.contains("not a database") && run.err.count('\n') == 1,
                 run.err.constData());
        QFile file(storePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), garbage);
    }

    void storeFileIsPrivate() {
        create();
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(storePath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
    }

    void pinsAppearNowhere() {
        const QStringList pins{"Pin:UserQz1", "Pin:SoQz22", "Pin:NewQz3", "Pin:TooLongForTheLimitQz4"};
        const QString serial = create({"--user-pin", pins[0], "--so-pin", pins[1]});
        QByteArray output = vtoken({"set", serial, "--user-pin", pins[2]}).err;
        const Run refused = vtoken({"set", serial, "--so-pin", pins[3]});
        QCOMPARE(refused.exitCode, 2);
        output += refused.err + vtoken({"show", serial}).out + vtoken({"list"}).out;
        const QByteArray stored = storeBytes();
        QVERIFY(!stored.isEmpty());
        for (const QString& pin : pins) {
            QVERIFY2(!output.contains(pin.toUtf8()), qPrintable(pin));
            QVERIFY2(!stored.contains(pin.toUtf8()), qPrintable(pin));
        }
    }
};

QTEST_GUILESS_MAIN(VtokenCommandTest)
#include "VtokenCommandTest.moc"
