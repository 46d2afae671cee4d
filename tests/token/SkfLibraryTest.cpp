#include "token/SkfLibrary.h"
#include "FakeSkf.h"

#include <QLibrary>
#include <QTest>

using namespace Qt::StringLiterals;

// The SKF binding against a scripted library: name lists, discovery with its retries, the tables' limits, the
// finger lists, and what a missing library or entry point gives.
class SkfLibraryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SkfLibrary> m_skf;
    std::vector<int> m_sleeps;
    int m_refreshes = 0;
    FakeSkfState* m_fake = nullptr;

    static std::string names(std::initializer_list<std::string> list) {
        std::string bytes;
        for (const std::string& name : list)
            bytes += name + '\0';
        return bytes + '\0';
    }

    void devices(std::initializer_list<std::string> list) {
        m_fake->deviceList = names(list);
        m_fake->deviceListSize = SKF_ULONG(m_fake->deviceList.size());
    }

    void applications(std::initializer_list<std::string> list) {
        m_fake->applicationList = names(list);
        m_fake->applicationListSize = SKF_ULONG(m_fake->applicationList.size());
    }

    static HAPPLICATION application(uintptr_t device, uintptr_t index) {
        return reinterpret_cast<HAPPLICATION>(device * 100 + index);
    }

private Q_SLOTS:
    void init() {
        m_sleeps.clear();
        m_refreshes = 0;
        m_skf = std::make_unique<SkfLibrary>([this](int milliseconds) { m_sleeps.push_back(milliseconds); });
        m_skf->SetBiometricPageRefresh([this] { ++m_refreshes; });
        m_skf->Load(QStringLiteral(FAKE_SKF_LIBRARY));
        QLibrary fake(QStringLiteral(FAKE_SKF_LIBRARY));
        const auto state = reinterpret_cast<decltype(&FakeSkf_State)>(fake.resolve("FakeSkf_State"));
        QVERIFY(state);
        m_fake = state();
        *m_fake = FakeSkfState();
    }

    void missingLibraryCallsNothing() {
        SkfLibrary skf([this](int milliseconds) { m_sleeps.push_back(milliseconds); });
        skf.Load(QStringLiteral("/nonexistent/libskf.so"));
        QCOMPARE(skf.OpenSkfDevices(), SkfLibrary::SKF_ENTRY_MISSING);
        QCOMPARE(skf.SkfDiscover(), SkfLibrary::SKF_ENTRY_MISSING);
        QVERIFY(m_sleeps.empty()); // a library that is not there is not waited for
        SKF_ULONG retries = 0, type = 7;
        QCOMPARE(skf.SKF_VerifyPIN(nullptr, SKF_PIN_USER, u"12345678"_s, retries), SkfLibrary::SKF_ENTRY_MISSING);
        QCOMPARE(skf.ZKF_GetDeviceCaps(0, type), SkfLibrary::SKF_ENTRY_MISSING);
        QCOMPARE(type, SKF_ULONG(7));
    }

    void missingEntryPointLeavesTheOthersWorking() {
        devices({"P"});
        applications({"APP"});
        QCOMPARE(m_skf->SkfQuickOpen(), SKF_ULONG(0));
        QCOMPARE(m_skf->SKF_UnblockFinger(m_skf->CurrentApplication(), SKF_PIN_USER), SkfLibrary::SKF_ENTRY_MISSING);
        SKF_ULONG retries = 0;
        QCOMPARE(m_skf->SKF_VerifyPIN(m_skf->CurrentApplication(), SKF_PIN_USER, u"12345678"_s, retries), SKF_ULONG(0));
        QCOMPARE(m_fake->calls.back(), "SKF_VerifyPIN 101 1 12345678");
    }

    void namesKeepTheirBlanks() {
        m_fake->deviceList = std::string("P\0Q R\0\0", 7);
        m_fake->deviceListSize = 7;
        QCOMPARE(m_skf->OpenSkfDevices(), SKF_ULONG(0));
        QCOMPARE(m_skf->Devices().count, 2u);
        QCOMPARE(m_skf->Devices().names[1], "Q R"_ba);
        QCOMPARE(m_fake->calls, (std::vector<std::string>{"SKF_EnumDev", "SKF_ConnectDev P", "SKF_ConnectDev Q R"}));
    }

    void emptyDeviceListIsNoDevice_data() {
        QTest::addColumn<SKF_ULONG>("enumerationResult");
        QTest::newRow("success") << SKF_ULONG(0);
        QTest::newRow("failure") << SKF_ULONG(SAR_FAIL);
    }

    void emptyDeviceListIsNoDevice() {
        QFETCH(SKF_ULONG, enumerationResult);
        m_fake->deviceList = "P";
        m_fake->deviceListSize = 0;
        m_fake->enumDevResult = enumerationResult;
        QCOMPARE(m_skf->OpenSkfDevices(), SkfLibrary::SKF_NO_DEVICE);
        QCOMPARE(m_skf->Devices().count, 0u);
    }

    // An enumeration that fails with a list of nothing but zero bytes finds no device and says so, and the next
    // discovery keeps nothing of the one before.
    void failedEnumerationIsNoSuccess() {
        devices({"P"});
        applications({"APP"});
        QCOMPARE(m_skf->SkfDiscover(), SKF_ULONG(0));
        QVERIFY(m_skf->CurrentApplication());
        m_fake->deviceList = std::string("\0\0", 2);
        m_fake->deviceListSize = 2;
        m_fake->enumDevResult = SAR_FAIL;
        QCOMPARE(m_skf->SkfDiscover(), SKF_ULONG(SAR_FAIL));
        QCOMPARE(m_sleeps, std::vector<int>{1000});
        QCOMPARE(m_skf->Devices().count, 0u);
        QCOMPARE(m_skf->CurrentApplication(), HAPPLICATION(nullptr));
        QCOMPARE(m_skf->Applications(0).count, 0u);
    }

    void failedConnectionStopsButCountsEveryName() {
        devices({"A", "B", "C"});
        m_fake->connectFailsAt = 1;
        QCOMPARE(m_skf->OpenSkfDevices(), SKF_ULONG(SAR_FAIL));
        QCOMPARE(m_skf->Devices().count, 3u);
        QCOMPARE(m_skf->Devices().names[1], "B"_ba);
        QVERIFY(m_skf->Devices().names[2].isEmpty());
    }

    void tablesEndAtTheirCapacity() {
        std::string many;
        for (int i = 0; i < 40; ++i)
            many += "D" + std::to_string(i) + '\0';
        m_fake->deviceList = many + '\0';
        m_fake->deviceListSize = SKF_ULONG(m_fake->deviceList.size());
        std::string apps;
        for (int i = 0; i < 12; ++i)
            apps += "A" + std::to_string(i) + '\0';
        m_fake->applicationList = apps + '\0';
        m_fake->applicationListSize = SKF_ULONG(m_fake->applicationList.size());
        QCOMPARE(m_skf->SkfQuickOpen(), SKF_ULONG(0));
        QCOMPARE(m_skf->Devices().count, 33u);
        QCOMPARE(m_skf->Devices().names[32], "D32"_ba);
        QCOMPARE(m_skf->Applications(32).count, 9u);
        QCOMPARE(m_skf->Applications(32).handles[8], application(33, 9));
        QCOMPARE(std::count_if(m_fake->calls.begin(), m_fake->calls.end(),
                               [](const std::string& call) { return call.starts_with("SKF_ConnectDev"); }),
                 33);
    }

    void discoveryRetriesAndKeepsSerials() {
        devices({"Token One", "Token Two"});
        applications({"APP X", "APP Y"});
        m_fake->serials = {"SERIAL0000000001", "SERIAL0000000002"};
        m_fake->emptyDeviceListsLeft = 1;
        m_fake->applicationListFailuresLeft = 1;
        m_skf->SetFingerPinType(SKF_PIN_ADMIN);
        QCOMPARE(m_skf->SkfDiscover(), SKF_ULONG(0));
        QCOMPARE(m_sleeps, (std::vector<int>{1000, 100}));
        QCOMPARE(m_skf->Devices().names[0], "SERIAL0000000001"_ba);
        QCOMPARE(m_skf->Devices().names[1], "SERIAL0000000002"_ba);
        QCOMPARE(m_skf->Applications(0).names[1], "APP Y"_ba);
        QCOMPARE(m_skf->CurrentApplication(), application(1, 1));
        QCOMPARE(m_skf->FingerPinType(), SKF_ULONG(SKF_PIN_USER));
        QCOMPARE(m_refreshes, 1);
    }

    void discoveryGivesUpAfterOneRetry() {
        m_fake->emptyDeviceListsLeft = 2;
        devices({"P"});
        QCOMPARE(m_skf->SkfDiscover(), SkfLibrary::SKF_NO_DEVICE);
        QCOMPARE(m_sleeps, std::vector<int>{1000});
        QCOMPARE(m_refreshes, 0);
    }

    void quickOpenKeepsNamesAndNeverWaits() {
        devices({"Token One"});
        applications({"APP"});
        m_fake->serials = {"SERIAL0000000001"};
        m_fake->applicationListFailuresLeft = 1;
        QCOMPARE(m_skf->SkfQuickOpen(), SKF_ULONG(0));
        QCOMPARE(m_skf->Devices().names[0], "Token One"_ba);
        QCOMPARE(m_skf->Applications(0).count, 0u);
        QVERIFY(m_sleeps.empty());
        QCOMPARE(m_refreshes, 0);
    }

    void selectionComparesSixteenCharacters() {
        devices({"A", "B", "C"});
        applications({"APP"});
        m_fake->serials = {"SERIAL0000000001XYZ", "OTHER00000000000", "SERIAL0000000001ABC"};
        QCOMPARE(m_skf->SkfDiscover(), SKF_ULONG(0));
        m_skf->SelectSkfApplication("SERIAL0000000001"_ba);
        QCOMPARE(m_skf->CurrentApplication(), application(3, 1)); // the later of the two matches
        m_skf->SelectSkfApplication("OTHER00000000000-long"_ba);
        QCOMPARE(m_skf->CurrentApplication(), application(2, 1));
        m_skf->SelectSkfApplication("NOSUCHSERIAL0000"_ba);
        QCOMPARE(m_skf->CurrentApplication(), application(2, 1));
    }

    void fingerLists_data() {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<SKF_ULONG>("reportedLength");
        QTest::addColumn<uint32_t>("length");
        QTest::addColumn<uint32_t>("enrolled");
        QTest::addColumn<SKF_ULONG>("result");
        QTest::newRow("flags") << "\1\0\1\0\0\0\0\0\0\0"_ba << SKF_ULONG(10) << 10u << 2u << SKF_ULONG(0);
        QTest::newRow("identifiers") << "\3\7\0\0\0\0\0\0\0\0"_ba << SKF_ULONG(10) << 10u << 2u << SKF_ULONG(0);
        QTest::newRow("99 is ten") << QByteArray(99, '\1') << SKF_ULONG(99) << 10u << 10u << SKF_ULONG(0);
        QTest::newRow("100 stays") << QByteArray(100, '\1') << SKF_ULONG(100) << 100u << 100u << SKF_ULONG(0);
        QTest::newRow("beyond the list") << QByteArray(255, '\2') << SKF_ULONG(4000) << 255u << 255u << SKF_ULONG(0);
        // Nothing of a failed call is kept, not even the form of the list.
        QTest::newRow("a failure") << QByteArray(100, '\1') << SKF_ULONG(100) << 255u << 0u << SKF_ULONG(SAR_FAIL);
    }

    void fingerLists() {
        QFETCH(QByteArray, list);
        QFETCH(SKF_ULONG, reportedLength);
        m_fake->fingerList.assign(list.begin(), list.end());
        m_fake->fingerListLength = reportedLength;
        m_fake->fingerRetriesLeft = 4;
        QFETCH(SKF_ULONG, result);
        m_fake->fingerInfoResult = result;
        TSkfFingerInfo info;
        info.enrolledCount = 77;
        info.listLength = 100;
        QCOMPARE(m_skf->GetSkfFingerInfo(nullptr, SKF_PIN_USER, info), result);
        QTEST(info.listLength, "length");
        QTEST(info.enrolledCount, "enrolled");
        QCOMPARE(info.outputs[3], SKF_ULONG(4));
    }

    void deviceTypeOnlyFromASuccess() {
        devices({"P"});
        QCOMPARE(m_skf->OpenSkfDevices(), SKF_ULONG(0));
        SKF_ULONG type = 0;
        m_fake->deviceType = ZKF_DEVICE_FINGER_VEIN;
        QCOMPARE(m_skf->ZKF_GetDeviceCaps(0, type), SKF_ULONG(0));
        QCOMPARE(type, SKF_ULONG(ZKF_DEVICE_FINGER_VEIN));
        m_fake->deviceCapsResult = SAR_FAIL;
        m_fake->deviceType = ZKF_DEVICE_FINGERPRINT;
        QCOMPARE(m_skf->ZKF_GetDeviceCaps(0, type), SKF_ULONG(SAR_FAIL));
        QCOMPARE(type, SKF_ULONG(ZKF_DEVICE_FINGER_VEIN));
    }

    void remoteRequestIsTheFirstEightBytes() {
        QByteArray request;
        QCOMPARE(m_skf->SKF_GenRemoteUnblockRequest(nullptr, request), SKF_ULONG(0));
        QCOMPARE(request.toHex().toUpper(), "A0A1A2A3A4A5A6A7"_ba);
    }
};

QTEST_GUILESS_MAIN(SkfLibraryTest)
#include "SkfLibraryTest.moc"
