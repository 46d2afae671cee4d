#include "shared/SkfApi.h"
#include "vtoken/Store.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <utility>

// The names a test gives a token's sensor events: "present 3", "fail", "away".
using Events = QStringList;

#define VX_SKF_ENTRIES(X)                                                                                              \
    X(SKF_EnumDev)                                                                                                     \
    X(SKF_ConnectDev)                                                                                                  \
    X(SKF_GetDevInfo)                                                                                                  \
    X(SKF_EnumApplication)                                                                                             \
    X(SKF_OpenApplication)                                                                                             \
    X(SKF_VerifyPIN)                                                                                                   \
    X(SKF_InitializeFinger)                                                                                            \
    X(SKF_EnrollFingerInit)                                                                                            \
    X(SKF_EnrollFinger)                                                                                                \
    X(SKF_VerifyFingerInit)                                                                                            \
    X(SKF_TestFinger)                                                                                                  \
    X(SKF_DeleteFinger)                                                                                                \
    X(SKF_GetFingerInfo)                                                                                               \
    X(SKF_UnblockFinger)                                                                                               \
    X(ZKF_GetDeviceCaps)                                                                                               \
    X(SKF_ClearSecureState)                                                                                            \
    X(SKF_SetFingerMode)                                                                                               \
    X(SKF_RemoteUnblockPIN)                                                                                            \
    X(SKF_GenRemoteUnblockRequest)

// The virtual token's SKF library, called as the program calls it, on tokens the vtoken command creates, plugs and
// feeds from another process: devices, PINs shared with the PKCS#11 side, enrolment, test and deletion of fingers
// over the sensor queue, the finger list forms, and the remote unblock.
class VtokenSkfLibraryTest : public QObject {
    Q_OBJECT

    struct Functions {
#define VX_ENTRY(name) name##_t name = nullptr;
        VX_SKF_ENTRIES(VX_ENTRY)
#undef VX_ENTRY
    };

    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    QTemporaryDir m_home;
    void* m_library = nullptr;
    Functions skf;
    QStringList m_serials; // the tokens of the running test, removed after it

    Run vtoken(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VTOKEN_HOME"), m_home.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VTOKEN_PROGRAM), arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            qFatal("vtoken %s did not end normally", qPrintable(arguments.join(u' ')));
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    // Runs vtoken; the test stops if it fails.
    QByteArray must(const QStringList& arguments) {
        const Run run = vtoken(arguments);
        if (run.exitCode != 0)
            qFatal("vtoken %s: %s", qPrintable(arguments.join(u' ')), run.err.constData());
        return run.out.trimmed();
    }

    // A plugged token; its serial.
    QByteArray create(const QStringList& options = {}) {
        const QByteArray serial = must(QStringList{"create", "--plugged"} + options);
        m_serials << QString::fromLatin1(serial);
        return serial;
    }

    QString shown(const QByteArray& serial, const QString& key) {
        for (const QString& line : QString::fromUtf8(must({"show", serial})).split(u'\n'))
            if (line.startsWith(key + u':'))
                return line.mid(key.size() + 1).trimmed();
        return {};
    }

    void queue(const QByteArray& serial, const Events& events) {
        for (const QString& event : events)
            must(QStringList{"finger", serial} + event.split(u' '));
    }

    // What the vtoken command has no option for: the fingers and their counters.
    void change(const QByteArray& serial, const std::function<void(vtoken::TokenRecord&)>& edit) {
        vtoken::Store store(m_home.filePath(QStringLiteral("vtoken.db")).toStdString());
        vtoken::TokenRecord token = *store.tokenBySerial(serial.toStdString());
        edit(token);
        store.updateToken(token);
    }

    DEVHANDLE connect(const QByteArray& serial, const QByteArray& model = "VX7100") {
        DEVHANDLE device = nullptr;
        if (skf.SKF_ConnectDev(model + ' ' + serial, &device) != SAR_OK)
            qFatal("cannot connect to %s", serial.constData());
        return device;
    }

    HAPPLICATION open(const QByteArray& serial) {
        HAPPLICATION application = nullptr;
        if (skf.SKF_OpenApplication(connect(serial), "VX7100 APP", &application) != SAR_OK)
            qFatal("cannot open the application of %s", serial.constData());
        return application;
    }

    SKF_ULONG verify(HAPPLICATION application, SKF_ULONG pinType) {
        SKF_ULONG retries = 0;
        return skf.SKF_VerifyPIN(application, pinType, pinType == SKF_PIN_USER ? "12345678" : "87654321", &retries);
    }

    SKF_ULONG fingerRetriesLeft(HAPPLICATION application, SKF_ULONG pinType) {
        SKF_ULONG outputs[4] = {};
        uint8_t list[SKF_FINGER_LIST_BYTES] = {};
        SKF_ULONG length = sizeof list;
        if (skf.SKF_GetFingerInfo(application, pinType, &outputs[0], &outputs[1], &outputs[2], &outputs[3], list,
                                  &length) != SAR_OK)
            qFatal("no finger information");
        return outputs[3];
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("VTOKEN_HOME", QFile::encodeName(m_home.path()));
        m_library = dlopen(VTOKEN_SKF_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(m_library, dlerror());
#define VX_RESOLVE(name)                                                                                               \
    skf.name = reinterpret_cast<name##_t>(dlsym(m_library, #name));                                                    \
    QVERIFY2(skf.name, #name);
        VX_SKF_ENTRIES(VX_RESOLVE)
#undef VX_RESOLVE
    }

    void cleanup() {
        for (const QString& serial : std::exchange(m_serials, {}))
            must({"remove", serial});
    }

    void devicesAreThePluggedTokens() {
        char list[SKF_NAME_LIST_BYTES] = {};
        SKF_ULONG size = sizeof list;
        QCOMPARE(skf.SKF_EnumDev(1, list, &size), SAR_OK);
        QCOMPARE(size, SKF_ULONG(0));

        const QByteArray first = create(), second = create({"--model", "VX7200", "--label", "Zweites"});
        const QByteArray unplugged = must({"create"});
        m_serials << QString::fromLatin1(unplugged);
        const QByteArray expected = "VX7100 " + first + '\0' + "VX7200 " + second + '\0' + '\0';
        size = 10;
        QCOMPARE(skf.SKF_EnumDev(1, list, &size), SAR_BUFFER_TOO_SMALL);
        QCOMPARE(size, SKF_ULONG(expected.size()));
        QCOMPARE(list[0], '\0');
        size = sizeof list;
        QCOMPARE(skf.SKF_EnumDev(1, list, &size), SAR_OK);
        QCOMPARE(QByteArray(list, int(size)), expected);
        QCOMPARE(skf.SKF_EnumDev(1, list, nullptr), SAR_INVALIDPARAMERR);

        const DEVHANDLE device = connect(second, "VX7200");
        QCOMPARE(connect(second, "VX7200"), device); // never freed, so handed out once per plug
        DEVHANDLE none = nullptr;
        QCOMPARE(skf.SKF_ConnectDev("VX7100 " + unplugged, &none), SAR_DEVICE_REMOVED);
        DEVINFO info;
        QCOMPARE(skf.SKF_GetDevInfo(device, &info), SAR_OK);
        QCOMPARE(QByteArray(info.SerialNumber, 32), second + QByteArray(16, '\0'));
        QCOMPARE(QByteArray(info.Label, 8), QByteArray("Zweites\0", 8));
        QCOMPARE(info.TotalSpace, SKF_ULONG(262144));
        QCOMPARE(skf.SKF_GetDevInfo(device, nullptr), SAR_INVALIDPARAMERR);

        size = sizeof list;
        QCOMPARE(skf.SKF_EnumApplication(device, list, &size), SAR_OK);
        QCOMPARE(QByteArray(list, int(size)), QByteArray("VX7200 APP\0\0", 12));
        HAPPLICATION application = nullptr;
        QCOMPARE(skf.SKF_OpenApplication(device, "VX7100 APP", &application), SAR_APPLICATION_NOT_EXISTS);
        QCOMPARE(skf.SKF_OpenApplication(device, "VX7200 APP", &application), SAR_OK);
    }

    // The program holds the PKCS#11 module's connection to the store beside this library's: opening and closing one
    // must not cost the other its locks, or the next vtoken run would take the store's journal from under it.
    void secondConnectionInTheProcessKeepsTheFirstWorking() {
        const QByteArray serial = create();
        const DEVHANDLE device = connect(serial);
        change(serial, [](vtoken::TokenRecord& token) { token.label = "Renamed"; });
        must({"list"});
        // A process that took itself for the store's last user would have removed the journal on leaving.
        QVERIFY(QFile::exists(m_home.filePath(QStringLiteral("vtoken.db-wal"))));
        change(serial, [](vtoken::TokenRecord&) {});
        DEVINFO info;
        QCOMPARE(skf.SKF_GetDevInfo(device, &info), SAR_OK);
        QCOMPARE(QByteArray(info.Label), QByteArray("Renamed"));
    }

    void pulledOutTokensLeaveDeadHandles() {
        const QByteArray serial = create();
        const DEVHANDLE device = connect(serial);
        const HAPPLICATION application = open(serial);
        DEVINFO info;
        must({"unplug", serial});
        QCOMPARE(skf.SKF_GetDevInfo(device, &info), SAR_DEVICE_REMOVED);
        must({"plug", serial});
        QCOMPARE(skf.SKF_GetDevInfo(device, &info), SAR_DEVICE_REMOVED);
        QCOMPARE(verify(application, SKF_PIN_USER), SAR_DEVICE_REMOVED);
        QVERIFY(connect(serial) != device);
        QCOMPARE(skf.SKF_GetDevInfo(connect(serial), &info), SAR_OK);
        QCOMPARE(skf.SKF_GetDevInfo(reinterpret_cast<DEVHANDLE>(uintptr_t(0x7777)), &info), SAR_INVALIDHANDLEERR);
        QCOMPARE(verify(reinterpret_cast<HAPPLICATION>(connect(serial)), SKF_PIN_USER), SAR_INVALIDHANDLEERR);
    }

    void pinsAndCountersAreThoseOfThePkcs11Side_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<uint>("pinType");
        QTest::addColumn<QByteArray>("pin");
        QTest::addColumn<uint>("result");
        QTest::addColumn<uint>("retries");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("shown");
        const QStringList none;
        QTest::newRow("user") << none << SKF_PIN_USER << QByteArray("12345678") << SAR_OK << 10u << "user PIN retries"
                              << "10 of 10";
        QTest::newRow("wrong user PIN") << none << SKF_PIN_USER << QByteArray("00000000") << SAR_PIN_INCORRECT << 9u
                                        << "user PIN retries"
                                        << "9 of 10";
        QTest::newRow("administrator is the SO")
            << none << SKF_PIN_ADMIN << QByteArray("87654321") << SAR_OK << 10u << "SO PIN retries"
            << "10 of 10";
        QTest::newRow("last try locks") << QStringList{"--user-retries-left", "1"} << SKF_PIN_USER
                                        << QByteArray("00000000") << SAR_PIN_LOCKED << 0u << "user PIN retries"
                                        << "0 of 10";
        QTest::newRow("locked refuses the right PIN")
            << QStringList{"--so-retries-left", "0"} << SKF_PIN_ADMIN << QByteArray("87654321") << SAR_PIN_LOCKED << 0u
            << "SO PIN retries"
            << "0 of 10";
        QTest::newRow("no such PIN type")
            << none << 2u << QByteArray("12345678") << SAR_USER_TYPE_INVALID << 0u << "user PIN retries"
            << "10 of 10";
    }
    void pinsAndCountersAreThoseOfThePkcs11Side() {
        QFETCH(QStringList, options);
        QFETCH(uint, pinType);
        QFETCH(QByteArray, pin);
        QFETCH(uint, result);
        QFETCH(uint, retries);
        QFETCH(QString, key);
        QFETCH(QString, shown);
        const QByteArray serial = create();
        if (!options.isEmpty())
            must(QStringList{"set", serial} + options);
        SKF_ULONG left = 0;
        QCOMPARE(skf.SKF_VerifyPIN(open(serial), pinType, pin, &left), SKF_ULONG(result));
        QCOMPARE(left, SKF_ULONG(retries));
        QCOMPARE(this->shown(serial, key), shown);
    }

    void userPinNotSet() {
        const QByteArray serial = create({"--uninitialized"});
        SKF_ULONG left = 0;
        QCOMPARE(skf.SKF_VerifyPIN(open(serial), SKF_PIN_USER, "12345678", &left), SAR_USER_PIN_NOT_INITIALIZED);
    }

    void enrolmentTakesOneQueuedSamplePerCall() {
        const QByteArray serial = create({"--sensor", "fingerprint"});
        const HAPPLICATION application = open(serial);
        QCOMPARE(verify(application, SKF_PIN_USER), SAR_OK);
        SKF_ULONG progress = 99;
        QCOMPARE(skf.SKF_EnrollFinger(application, SKF_PIN_USER, 3, &progress), SAR_FAIL); // none started
        QCOMPARE(skf.SKF_EnrollFingerInit(application, SKF_PIN_USER, 3), SAR_OK);
        QCOMPARE(skf.SKF_EnrollFinger(application, SKF_PIN_USER, 3, &progress), SAR_FINGER_CONTINUE);
        QCOMPARE(progress, SKF_ULONG(0));
        queue(serial, {"present 3", "away", "present 3", "present 3"});
        const QList<QPair<SKF_ULONG, SKF_ULONG>> expected = {
            {SAR_FINGER_CONTINUE, 1}, {SAR_FINGER_CONTINUE, 1}, {SAR_FINGER_CONTINUE, 2}, {SAR_OK, 3}};
        for (const auto& [result, step] : expected) {
            QCOMPARE(skf.SKF_EnrollFinger(application, SKF_PIN_USER, 3, &progress), result);
            QCOMPARE(progress, step);
        }
        QCOMPARE(shown(serial, "user fingers"), "3");
        QCOMPARE(shown(serial, "admin fingers"), "none");
        QCOMPARE(skf.SKF_EnrollFinger(application, SKF_PIN_USER, 3, &progress), SAR_FAIL); // it is over
    }

    void enrolmentRefusals_data() {
        QTest::addColumn<int>("verified"); // the PIN type verified first; -1 none
        QTest::addColumn<uint>("pinType");
        QTest::addColumn<uint>("finger");
        QTest::addColumn<uint>("enrolledBefore");
        QTest::addColumn<int>("retriesLeft");
        QTest::addColumn<Events>("events");
        QTest::addColumn<uint>("initResult");
        QTest::addColumn<uint>("enrolResult");
        const Events none;
        const uint user = SKF_PIN_USER, admin = SKF_PIN_ADMIN;
        QTest::newRow("not logged in") << -1 << user << 3u << 0u << 10 << none << SAR_USER_NOT_LOGGED_IN << 0u;
        QTest::newRow("user PIN for the administrator's fingers")
            << int(user) << admin << 3u << 0u << 10 << none << SAR_USER_NOT_LOGGED_IN << 0u;
        QTest::newRow("finger 0") << int(user) << user << 0u << 0u << 10 << none << SAR_INVALIDPARAMERR << 0u;
        QTest::newRow("finger 11") << int(user) << user << 11u << 0u << 10 << none << SAR_INVALIDPARAMERR << 0u;
        QTest::newRow("enrolled already") << int(user) << user << 3u << 0b100u << 10 << none << SAR_FINGER_EXIST << 0u;
        QTest::newRow("counter spent") << int(user) << user << 3u << 0u << 0 << none << SAR_PIN_LOCKED << 0u;
        QTest::newRow("sensor fails") << int(user) << user << 3u << 0u << 10 << Events{"fail"} << SAR_OK
                                      << SAR_FINGER_CAPTURE_FAILED;
        QTest::newRow("an enrolled finger presented")
            << int(admin) << admin << 3u << 0b10000u << 10 << Events{"present 5"} << SAR_OK << SAR_FINGER_EXIST;
    }
    void enrolmentRefusals() {
        QFETCH(int, verified);
        QFETCH(uint, pinType);
        QFETCH(uint, finger);
        QFETCH(uint, enrolledBefore);
        QFETCH(int, retriesLeft);
        QFETCH(Events, events);
        QFETCH(uint, initResult);
        QFETCH(uint, enrolResult);
        const QByteArray serial = create({"--sensor", "finger-vein"});
        change(serial, [&](vtoken::TokenRecord& token) {
            vtoken::FingerRecord& fingers = pinType == SKF_PIN_USER ? token.userFingers : token.adminFingers;
            fingers.enrolled = enrolledBefore;
            fingers.retryLeft = retriesLeft;
        });
        queue(serial, events);
        const HAPPLICATION application = open(serial);
        if (verified >= 0)
            QCOMPARE(verify(application, SKF_ULONG(verified)), SAR_OK);
        QCOMPARE(skf.SKF_EnrollFingerInit(application, pinType, finger), SKF_ULONG(initResult));
        if (initResult != SAR_OK)
            return;
        SKF_ULONG progress = 0;
        QCOMPARE(skf.SKF_EnrollFinger(application, pinType, finger, &progress), SKF_ULONG(enrolResult));
        QCOMPARE(progress, SKF_ULONG(0));
        // A failed enrolment is over: a retry starts with SKF_EnrollFingerInit.
        QCOMPARE(skf.SKF_EnrollFinger(application, pinType, finger, &progress), SAR_FAIL);
        QCOMPARE(skf.SKF_EnrollFingerInit(application, pinType, finger), SAR_OK);
    }

    void fingerTestTellsTheFingerAndCountsNothing() {
        const QByteArray serial = create({"--sensor", "fingerprint"});
        change(serial, [](vtoken::TokenRecord& token) { token.userFingers.enrolled = 0b100100; }); // fingers 3 and 6
        const HAPPLICATION application = open(serial);
        SKF_ULONG finger = 0;
        QCOMPARE(skf.SKF_TestFinger(application, SKF_PIN_USER, &finger), SAR_FAIL); // no test started
        QCOMPARE(skf.SKF_VerifyFingerInit(application, SKF_PIN_ADMIN), SAR_FINGER_NOT_EXIST);
        QCOMPARE(skf.SKF_VerifyFingerInit(application, SKF_PIN_USER), SAR_OK);
        QCOMPARE(skf.SKF_TestFinger(application, SKF_PIN_USER, &finger), SAR_FINGER_CONTINUE);
        queue(serial, {"away", "present 5", "fail", "present 6"});
        QCOMPARE(skf.SKF_TestFinger(application, SKF_PIN_USER, &finger), SAR_FINGER_CONTINUE);
        QCOMPARE(skf.SKF_TestFinger(application, SKF_PIN_USER, &finger), SAR_FINGER_NOT_EXIST);
        QCOMPARE(fingerRetriesLeft(application, SKF_PIN_USER), SKF_ULONG(10));
        QCOMPARE(skf.SKF_VerifyFingerInit(application, SKF_PIN_USER), SAR_OK);
        QCOMPARE(skf.SKF_TestFinger(application, SKF_PIN_USER, &finger), SAR_FINGER_CAPTURE_FAILED);
        QCOMPARE(skf.SKF_VerifyFingerInit(application, SKF_PIN_USER), SAR_OK);
        QCOMPARE(skf.SKF_TestFinger(application, SKF_PIN_USER, &finger), SAR_OK);
        QCOMPARE(finger, SKF_ULONG(6));
        queue(serial, {"unbound 5", "unbound 3"}); // matched, but bound to no certificate
        for (const SKF_ULONG expected : {SAR_FINGER_NOT_EXIST, SAR_FINGER_NO_CERT}) {
            QCOMPARE(skf.SKF_VerifyFingerInit(application, SKF_PIN_USER), SAR_OK);
            QCOMPARE(skf.SKF_TestFinger(application, SKF_PIN_USER, &finger), expected);
        }
        change(serial, [](vtoken::TokenRecord& token) { token.userFingers.retryLeft = 0; });
        QCOMPARE(skf.SKF_VerifyFingerInit(application, SKF_PIN_USER), SAR_PIN_LOCKED);
    }

    void autoModePresentsTheExpectedFinger() {
        const QByteArray serial = create({"--sensor", "fingerprint"});
        must({"finger", serial, "auto", "on"});
        const DEVHANDLE device = connect(serial);
        QCOMPARE(skf.SKF_SetFingerMode(device, 0), SAR_INVALIDPARAMERR);
        QCOMPARE(skf.SKF_SetFingerMode(device, 11), SAR_INVALIDPARAMERR);
        QCOMPARE(skf.SKF_SetFingerMode(device, 2), SAR_OK);
        const HAPPLICATION application = open(serial);
        QCOMPARE(verify(application, SKF_PIN_USER), SAR_OK);
        SKF_ULONG progress = 0;
        for (const SKF_ULONG finger : {8u, 4u}) {
            QCOMPARE(skf.SKF_EnrollFingerInit(application, SKF_PIN_USER, finger), SAR_OK);
            QCOMPARE(skf.SKF_EnrollFinger(application, SKF_PIN_USER, finger, &progress), SAR_FINGER_CONTINUE);
            QCOMPARE(skf.SKF_EnrollFinger(application, SKF_PIN_USER, finger, &progress), SAR_OK);
            QCOMPARE(progress, SKF_ULONG(2));
        }
        SKF_ULONG finger = 0;
        QCOMPARE(skf.SKF_VerifyFingerInit(application, SKF_PIN_USER), SAR_OK);
        QCOMPARE(skf.SKF_TestFinger(application, SKF_PIN_USER, &finger), SAR_OK);
        QCOMPARE(finger, SKF_ULONG(4));
    }

    void deletionNeedsTheHoldersPin() {
        const QByteArray serial = create({"--sensor", "fingerprint"});
        change(serial, [](vtoken::TokenRecord& token) { token.adminFingers.enrolled = 0b1000000010; }); // 2 and 10
        const HAPPLICATION application = open(serial);
        QCOMPARE(verify(application, SKF_PIN_ADMIN), SAR_OK);
        QCOMPARE(skf.SKF_DeleteFinger(application, SKF_PIN_USER, 2), SAR_USER_NOT_LOGGED_IN);
        QCOMPARE(skf.SKF_DeleteFinger(application, SKF_PIN_ADMIN, 11), SAR_INVALIDPARAMERR);
        QCOMPARE(skf.SKF_DeleteFinger(application, SKF_PIN_ADMIN, 2), SAR_OK);
        QCOMPARE(skf.SKF_DeleteFinger(application, SKF_PIN_ADMIN, 2), SAR_FINGER_NOT_EXIST);
        QCOMPARE(skf.SKF_ClearSecureState(application), SAR_OK);
        QCOMPARE(skf.SKF_DeleteFinger(application, SKF_PIN_ADMIN, 10), SAR_USER_NOT_LOGGED_IN);
        SKF_ULONG left = 0;
        QCOMPARE(skf.SKF_VerifyPIN(application, SKF_PIN_ADMIN, "bad", &left), SAR_PIN_INCORRECT);
        QCOMPARE(skf.SKF_DeleteFinger(application, SKF_PIN_ADMIN, 10), SAR_USER_NOT_LOGGED_IN);
        QCOMPARE(shown(serial, "admin fingers"), "10");
    }

    void fingerListForms_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("list");
        QByteArray numbers(10, '\0');
        numbers[0] = 2;
        numbers[1] = 7;
        QTest::newRow("fingerprint: flags")
            << QStringList{"--sensor", "fingerprint"} << QByteArray::fromHex("00010000000001000000");
        QTest::newRow("finger-vein: identifiers") << QStringList{"--sensor", "finger-vein"} << numbers;
        QTest::newRow("a hundred identifiers")
            << QStringList{"--sensor", "finger-vein", "--finger-list", "identifiers-100"}
            << numbers + QByteArray(90, '\0');
    }
    void fingerListForms() {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, list);
        const QByteArray serial = create(options);
        change(serial, [](vtoken::TokenRecord& token) {
            token.userFingers = {0b1000010, 12, 4, 3}; // fingers 2 and 7, 4 of 12 tries left, level 3
        });
        const HAPPLICATION application = open(serial);
        SKF_ULONG outputs[4] = {};
        uint8_t bytes[SKF_FINGER_LIST_BYTES] = {};
        SKF_ULONG length = SKF_ULONG(list.size() - 1);
        QCOMPARE(skf.SKF_GetFingerInfo(application, SKF_PIN_USER, &outputs[0], &outputs[1], &outputs[2], &outputs[3],
                                       bytes, &length),
                 SAR_BUFFER_TOO_SMALL);
        QCOMPARE(length, SKF_ULONG(list.size()));
        QCOMPARE(bytes[0], uint8_t(0));
        length = sizeof bytes;
        QCOMPARE(skf.SKF_GetFingerInfo(application, SKF_PIN_USER, &outputs[0], &outputs[1], &outputs[2], &outputs[3],
                                       bytes, &length),
                 SAR_OK);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(bytes), int(length)), list);
        QCOMPARE(QList<SKF_ULONG>(outputs, outputs + 4), (QList<SKF_ULONG>{12, 3, 3, 4}));
        QCOMPARE(skf.SKF_GetFingerInfo(application, SKF_PIN_USER, &outputs[0], nullptr, &outputs[2], &outputs[3], bytes,
                                       &length),
                 SAR_INVALIDPARAMERR);
    }

    void spentCountersAreGivenBack() {
        const QByteArray serial = create({"--sensor", "fingerprint"});
        change(serial,
               [](vtoken::TokenRecord& token) { token.userFingers.retryLeft = token.adminFingers.retryLeft = 0; });
        const HAPPLICATION application = open(serial);
        QCOMPARE(skf.SKF_UnblockFinger(application, SKF_PIN_USER), SAR_USER_NOT_LOGGED_IN);
        QCOMPARE(verify(application, SKF_PIN_USER), SAR_OK);
        QCOMPARE(skf.SKF_UnblockFinger(application, SKF_PIN_ADMIN), SAR_USER_NOT_LOGGED_IN);
        QCOMPARE(skf.SKF_UnblockFinger(application, SKF_PIN_USER), SAR_OK);
        QCOMPARE(fingerRetriesLeft(application, SKF_PIN_USER), SKF_ULONG(10));
        QCOMPARE(verify(application, SKF_PIN_ADMIN), SAR_OK);
        QCOMPARE(skf.SKF_UnblockFinger(application, SKF_PIN_ADMIN), SAR_OK);
        QCOMPARE(shown(serial, "admin finger retries"), "10 of 10");
    }

    void initializationSetsTheRulesAndKeepsTheFingers() {
        const QByteArray serial = create({"--sensor", "fingerprint"});
        change(serial, [](vtoken::TokenRecord& token) { token.userFingers = {0b1, 10, 2, 1}; });
        const HAPPLICATION application = open(serial);
        QCOMPARE(verify(application, SKF_PIN_USER), SAR_OK);
        QCOMPARE(skf.SKF_InitializeFinger(application, 5, 3, 2, 4), SAR_USER_NOT_LOGGED_IN);
        QCOMPARE(verify(application, SKF_PIN_ADMIN), SAR_OK);
        QCOMPARE(skf.SKF_InitializeFinger(application, 0, 3, 2, 4), SAR_INVALIDPARAMERR);
        QCOMPARE(skf.SKF_InitializeFinger(application, 5, 16, 2, 4), SAR_INVALIDPARAMERR);
        QCOMPARE(skf.SKF_InitializeFinger(application, 5, 3, 2, 4), SAR_OK);
        QCOMPARE(shown(serial, "user fingers"), "1");
        QCOMPARE(shown(serial, "user finger retries"), "5 of 5");
        QCOMPARE(shown(serial, "admin finger retries"), "3 of 3");
        QCOMPARE(shown(serial, "user finger level"), "2");
        QCOMPARE(shown(serial, "admin finger level"), "4");
    }

    void remoteUnblockOfTheUserPin() {
        const QByteArray serial = create({"--user-retries", "6"});
        must({"set", serial, "--user-retries-left", "0"});
        const HAPPLICATION application = open(serial);
        SKF_ULONG value = 0;
        const auto answer = [&](const QByteArray& response) {
            return skf.SKF_RemoteUnblockPIN(application, reinterpret_cast<const uint8_t*>(response.constData()),
                                            SKF_ULONG(response.size()), &value);
        };
        QCOMPARE(answer(QByteArray(16, 'x')), SAR_FAIL); // nothing asked yet
        uint8_t request[32] = {};
        QCOMPARE(skf.SKF_GenRemoteUnblockRequest(application, request, 7), SAR_INVALIDPARAMERR);
        QCOMPARE(skf.SKF_GenRemoteUnblockRequest(application, request, 8), SAR_OK);
        QVERIFY(QByteArray(reinterpret_cast<char*>(request), 8) != QByteArray(8, '\0'));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(request) + 8, 24), QByteArray(24, '\0'));
        {
            // Kept in the store, so the request outlives the program that asked.
            vtoken::Store store(m_home.filePath(QStringLiteral("vtoken.db")).toStdString());
            QCOMPARE(store.unblockRequest(store.tokenBySerial(serial.toStdString())->id),
                     std::vector<uint8_t>(request, request + 8));
        }
        const QByteArray right = QByteArray::fromHex(
            must({"unblock-response", serial, QByteArray(reinterpret_cast<char*>(request), 8).toHex()}));
        QCOMPARE(right.size(), 16);

        QByteArray wrong = right;
        wrong[15] = char(wrong[15] ^ 1);
        QCOMPARE(answer(wrong), SAR_PIN_INCORRECT);
        QCOMPARE(value, SKF_ULONG(9)); // the SO's tries
        QCOMPARE(answer(right + '\0'), SAR_PIN_INCORRECT);
        QCOMPARE(value, SKF_ULONG(8));
        QCOMPARE(shown(serial, "user PIN retries"), "0 of 6");
        QCOMPARE(answer(right), SAR_OK);
        QCOMPARE(value, SKF_ULONG(6));
        QCOMPARE(shown(serial, "user PIN retries"), "6 of 6");
        QCOMPARE(answer(right), SAR_FAIL); // answered once

        must({"set", serial, "--so-retries-left", "0", "--user-retries-left", "0"});
        QCOMPARE(skf.SKF_GenRemoteUnblockRequest(application, request, 8), SAR_OK);
        QCOMPARE(answer(QByteArray::fromHex(
                     must({"unblock-response", serial, QByteArray(reinterpret_cast<char*>(request), 8).toHex()}))),
                 SAR_PIN_LOCKED);
        QCOMPARE(shown(serial, "user PIN retries"), "0 of 6");
    }

    void deviceKinds_data() {
        QTest::addColumn<QString>("sensor");
        QTest::addColumn<uint>("type");
        QTest::addColumn<uint>("biometrics"); // what a biometric call answers on an initialized token
        QTest::newRow("none") << "none" << ZKF_DEVICE_NO_SENSOR << SAR_NOTSUPPORTYETERR;
        QTest::newRow("fingerprint") << "fingerprint" << ZKF_DEVICE_FINGERPRINT << SAR_OK;
        QTest::newRow("finger-vein") << "finger-vein" << ZKF_DEVICE_FINGER_VEIN << SAR_OK;
    }
    void deviceKinds() {
        QFETCH(QString, sensor);
        QFETCH(uint, type);
        QFETCH(uint, biometrics);
        const QByteArray serial = create({"--sensor", sensor});
        uint8_t caps[ZKF_DEVICE_CAPS_BYTES];
        std::fill(std::begin(caps), std::end(caps), 0xEE);
        SKF_ULONG length = 0, kind = 99;
        QCOMPARE(skf.ZKF_GetDeviceCaps(connect(serial), caps, &length, &kind), SAR_OK);
        QCOMPARE(kind, SKF_ULONG(type));
        QVERIFY(length > 0 && caps[length] == 0 && strlen(reinterpret_cast<char*>(caps)) == length);
        const HAPPLICATION application = open(serial);
        QCOMPARE(skf.SKF_VerifyFingerInit(application, SKF_PIN_USER) == SAR_NOTSUPPORTYETERR,
                 biometrics == SAR_NOTSUPPORTYETERR);
        QCOMPARE(skf.SKF_SetFingerMode(connect(serial), 3), SKF_ULONG(biometrics));
        must({"set", serial, "--initialized", "no"});
        const SKF_ULONG uninitialized = biometrics == SAR_OK ? SAR_APPLICATION_NOT_EXISTS : biometrics;
        QCOMPARE(skf.SKF_VerifyFingerInit(application, SKF_PIN_USER), uninitialized);
        QCOMPARE(skf.SKF_InitializeFinger(application, 5, 5, 1, 1), uninitialized);
    }
};

QTEST_GUILESS_MAIN(VtokenSkfLibraryTest)
#include "VtokenSkfLibraryTest.moc"
