#include "shared/VendorExtension.h"
#include "vtoken/PinHash.h"
#include "vtoken/Store.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <dlfcn.h>
#include <thread>

using namespace vtoken;

// The virtual token's PKCS#11 module, called as any client calls it: its rules for sessions, logins, objects,
// memory, signatures, a token pulled out, and its vendor extension.
class Pkcs11ModuleTest : public QObject {
    Q_OBJECT

    void* m_library = nullptr;
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    const VX_VENDOR_EXTENSION* m_extension = nullptr;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Store> m_store;
    CK_SLOT_ID m_slot = 0;

    static CK_UTF8CHAR_PTR text(const char* value) {
        return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(value));
    }

    TokenRecord makeToken(const char* serial, bool plugged) {
        TokenRecord token;
        token.serial = serial;
        token.label = "Test";
        token.userPin.hash = hashPin("12345678");
        token.userPin.retryMax = token.userPin.retryLeft = 3;
        token.soPin.hash = hashPin("87654321");
        token.plugged = plugged;
        token.plugCount = plugged ? 1 : 0;
        token.cdromSectors = 8;
        token.id = m_store->insertToken(token);
        return token;
    }

    void setPlugged(CK_SLOT_ID slot, bool plugged) {
        TokenRecord token = *m_store->token(int64_t(slot));
        token.plugged = plugged;
        token.plugCount += plugged ? 1 : 0;
        m_store->updateToken(token);
    }

    CK_SESSION_HANDLE open(CK_FLAGS flags = CKF_SERIAL_SESSION | CKF_RW_SESSION) {
        CK_SESSION_HANDLE session = 0;
        if (p11->C_OpenSession(m_slot, flags, nullptr, nullptr, &session) != CKR_OK)
            qFatal("cannot open a session");
        return session;
    }

    CK_RV login(CK_SESSION_HANDLE session, const char* pin, CK_USER_TYPE user = CKU_USER) {
        return p11->C_Login(session, user, text(pin), CK_ULONG(strlen(pin)));
    }

    CK_OBJECT_HANDLE createData(CK_SESSION_HANDLE session, bool isPrivate, const QByteArray& value,
                                CK_RV expected = CKR_OK) {
        CK_OBJECT_CLASS objectClass = CKO_DATA;
        CK_BBOOL yes = CK_TRUE, secret = isPrivate ? CK_TRUE : CK_FALSE;
        CK_ATTRIBUTE attributes[] = {
            {CKA_CLASS, &objectClass, sizeof objectClass},
            {CKA_TOKEN, &yes, sizeof yes},
            {CKA_PRIVATE, &secret, sizeof secret},
            {CKA_LABEL, text("container"), 9},
            {CKA_VALUE, const_cast<char*>(value.constData()), CK_ULONG(value.size())},
        };
        CK_OBJECT_HANDLE object = 0;
        const CK_RV rv = p11->C_CreateObject(session, attributes, 5, &object);
        if (rv != expected)
            qFatal("C_CreateObject gave 0x%lx", rv);
        return object;
    }

    CK_ULONG countObjects(CK_SESSION_HANDLE session) {
        CK_OBJECT_HANDLE found[64];
        CK_ULONG count = 0;
        p11->C_FindObjectsInit(session, nullptr, 0);
        p11->C_FindObjects(session, found, 64, &count);
        p11->C_FindObjectsFinal(session);
        return count;
    }

    CK_FLAGS tokenFlags() {
        CK_TOKEN_INFO info;
        return p11->C_GetTokenInfo(m_slot, &info) == CKR_OK ? info.flags : 0;
    }

private Q_SLOTS:
    void initTestCase() {
        m_library = dlopen(VTOKEN_MODULE, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(m_library, dlerror());
        auto getList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(m_library, "C_GetFunctionList"));
        QVERIFY(getList);
        QCOMPARE(getList(&p11), CKR_OK);
        auto getExtension = reinterpret_cast<VX_GetVendorExtension_t>(dlsym(m_library, VX_VENDOR_EXTENSION_SYMBOL));
        QVERIFY(getExtension);
        QCOMPARE(getExtension(&m_extension), CKR_OK);
        QCOMPARE(m_extension->version.major, CK_BYTE(VX_VENDOR_EXTENSION_VERSION_MAJOR));
    }

    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("VTOKEN_HOME", QFile::encodeName(m_home->path()));
        m_store = std::make_unique<Store>();
        m_slot = CK_SLOT_ID(makeToken("VXTEST0000000001", true).id);
        QCOMPARE(p11->C_Initialize(nullptr), CKR_OK);
    }

    void cleanup() {
        p11->C_Finalize(nullptr);
        m_store.reset();
    }

    // What the module read stays only for the call: another process's change shows at the next call. Opening the
    // store again commits nothing, so nobody else's reads are thrown away.
    void anotherProcessesChangeShowsAtTheNextCall() {
        const CK_SESSION_HANDLE session = open();
        const CK_OBJECT_HANDLE object = createData(session, false, "value");
        const auto label = [&] {
            char text[64];
            CK_ATTRIBUTE read = {CKA_LABEL, text, sizeof text};
            return p11->C_GetAttributeValue(session, object, &read, 1) == CKR_OK
                       ? QByteArray(text, int(read.ulValueLen))
                       : QByteArray();
        };
        QCOMPARE(label(), QByteArray("container"));
        const auto commits = [] {
            sqlite3* db = nullptr;
            sqlite3_open_v2(Store::defaultPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
            sqlite3_stmt* version = nullptr;
            sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &version, nullptr);
            return std::pair{db, version};
        }();
        const auto dataVersion = [&] {
            sqlite3_step(commits.second);
            const int64_t value = sqlite3_column_int64(commits.second, 0);
            sqlite3_reset(commits.second);
            return value;
        };
        const int64_t before = dataVersion();
        { const Store reopened; }
        QCOMPARE(dataVersion(), before);
        sqlite3_finalize(commits.second);
        sqlite3_close(commits.first);

        Store other;
        AttributeSet changed = *other.object(int64_t(object))->attributes;
        changed.set(CKA_LABEL, {'r', 'e', 'n', 'a', 'm', 'e', 'd'});
        other.updateObject(int64_t(object), changed.serialize());
        QCOMPARE(label(), QByteArray("renamed"));
        p11->C_CloseSession(session);
    }

    // A program that merely loads the module (every p11-kit user) leaves no store behind, and still sees the tokens
    // the vtoken command makes afterwards.
    void withoutAStoreTheModuleMakesNone() {
        QCOMPARE(p11->C_Finalize(nullptr), CKR_OK);
        const QTemporaryDir empty;
        qputenv("VTOKEN_HOME", QFile::encodeName(empty.path()));
        QCOMPARE(p11->C_Initialize(nullptr), CKR_OK);
        CK_ULONG count = 9;
        QCOMPARE(p11->C_GetSlotList(CK_FALSE, nullptr, &count), CKR_OK);
        QCOMPARE(count, 0UL);
        QVERIFY(QDir(empty.path()).isEmpty());
        {
            Store made; // as the vtoken command makes it
            TokenRecord token = *m_store->token(int64_t(m_slot));
            token.serial = "VXLATER000000001";
            made.insertToken(token);
        }
        QCOMPARE(p11->C_GetSlotList(CK_FALSE, nullptr, &count), CKR_OK);
        QCOMPARE(count, 1UL);
        QCOMPARE(p11->C_Finalize(nullptr), CKR_OK);
        qputenv("VTOKEN_HOME", QFile::encodeName(m_home->path()));
        QCOMPARE(p11->C_Initialize(nullptr), CKR_OK);
    }

    void initializationRules() {
        QCOMPARE(p11->C_Initialize(nullptr), CKR_CRYPTOKI_ALREADY_INITIALIZED);
        QCOMPARE(p11->C_Finalize(nullptr), CKR_OK);
        CK_INFO info;
        QCOMPARE(p11->C_GetInfo(&info), CKR_CRYPTOKI_NOT_INITIALIZED);
        CK_C_INITIALIZE_ARGS args{};
        args.CreateMutex = [](CK_VOID_PTR_PTR) -> CK_RV { return CKR_OK; };
        QCOMPARE(p11->C_Initialize(&args), CKR_ARGUMENTS_BAD);
        args.DestroyMutex = [](CK_VOID_PTR) -> CK_RV { return CKR_OK; };
        args.LockMutex = [](CK_VOID_PTR) -> CK_RV { return CKR_OK; };
        args.UnlockMutex = [](CK_VOID_PTR) -> CK_RV { return CKR_OK; };
        QCOMPARE(p11->C_Initialize(&args), CKR_CANT_LOCK);
        args.flags = CKF_OS_LOCKING_OK;
        QCOMPARE(p11->C_Initialize(&args), CKR_OK);
        QCOMPARE(p11->C_GetInfo(&info), CKR_OK);
        QCOMPARE(info.cryptokiVersion.minor, CK_BYTE(40));
    }

    void damagedStoreIsADeviceError() {
        p11->C_Finalize(nullptr);
        m_store.reset();
        QFile file(m_home->filePath(QStringLiteral("vtoken.db")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(8192, '\x5a'));
        file.close();
        QFile::remove(m_home->filePath(QStringLiteral("vtoken.db-wal")));
        QFile::remove(m_home->filePath(QStringLiteral("vtoken.db-shm")));
        QCOMPARE(p11->C_Initialize(nullptr), CKR_DEVICE_ERROR);
        m_store.reset(); // cleanup finalizes nothing
    }

    void slotsFollowThePlug() {
        const CK_SLOT_ID second = CK_SLOT_ID(makeToken("VXTEST0000000002", false).id);
        CK_ULONG count = 0;
        QCOMPARE(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
        QCOMPARE(count, 1UL);
        QCOMPARE(p11->C_GetSlotList(CK_FALSE, nullptr, &count), CKR_OK);
        QCOMPARE(count, 2UL);
        CK_SLOT_ID slotIds[2] = {};
        count = 1;
        QCOMPARE(p11->C_GetSlotList(CK_FALSE, slotIds, &count), CKR_BUFFER_TOO_SMALL);
        QCOMPARE(count, 2UL);
        QCOMPARE(p11->C_GetSlotList(CK_FALSE, slotIds, &count), CKR_OK);
        QCOMPARE(slotIds[1], second);
        CK_TOKEN_INFO info;
        QCOMPARE(p11->C_GetTokenInfo(second, &info), CKR_TOKEN_NOT_PRESENT);
        QCOMPARE(p11->C_GetTokenInfo(999, &info), CKR_SLOT_ID_INVALID);
        CK_SLOT_INFO slotInfo;
        QCOMPARE(p11->C_GetSlotInfo(second, &slotInfo), CKR_OK);
        QCOMPARE(slotInfo.flags & CKF_TOKEN_PRESENT, 0UL);

        CK_SLOT_ID event = 0;
        QCOMPARE(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &event, nullptr), CKR_NO_EVENT);
        std::thread plugger([this, second] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            Store other; // another process's view of the same store
            TokenRecord token = *other.token(int64_t(second));
            token.plugged = true;
            other.updateToken(token);
        });
        QCOMPARE(p11->C_WaitForSlotEvent(0, &event, nullptr), CKR_OK);
        plugger.join();
        QCOMPARE(event, second);
        QCOMPARE(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &event, nullptr), CKR_NO_EVENT);
        setPlugged(m_slot, false);
        QCOMPARE(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &event, nullptr), CKR_OK);
        QCOMPARE(event, m_slot);
    }

    void pinFlagsFollowTheCounters_data() {
        QTest::addColumn<int>("userLeft");
        QTest::addColumn<int>("soLeft");
        QTest::addColumn<bool>("userSet");
        QTest::addColumn<int>("sensor");
        QTest::addColumn<qulonglong>("expected");
        const qulonglong base = CKF_RNG | CKF_LOGIN_REQUIRED | CKF_TOKEN_INITIALIZED;
        QTest::newRow("fresh") << 3 << 10 << true << 0 << (base | CKF_USER_PIN_INITIALIZED);
        QTest::newRow("one wrong user PIN")
            << 2 << 10 << true << 0 << (base | CKF_USER_PIN_INITIALIZED | CKF_USER_PIN_COUNT_LOW);
        QTest::newRow("final user try") << 1 << 10 << true << 0
                                        << (base | CKF_USER_PIN_INITIALIZED | CKF_USER_PIN_COUNT_LOW |
                                            CKF_USER_PIN_FINAL_TRY);
        QTest::newRow("user locked") << 0 << 10 << true << 0 << (base | CKF_USER_PIN_INITIALIZED | CKF_USER_PIN_LOCKED);
        QTest::newRow("SO locked") << 3 << 0 << true << 0 << (base | CKF_USER_PIN_INITIALIZED | CKF_SO_PIN_LOCKED);
        QTest::newRow("SO final try") << 3 << 1 << true << 0
                                      << (base | CKF_USER_PIN_INITIALIZED | CKF_SO_PIN_COUNT_LOW |
                                          CKF_SO_PIN_FINAL_TRY);
        QTest::newRow("no user PIN") << 3 << 10 << false << 0 << base;
        QTest::newRow("finger sensor") << 3 << 10 << true << 1
                                       << (base | CKF_USER_PIN_INITIALIZED | CKF_PROTECTED_AUTHENTICATION_PATH);
    }
    void pinFlagsFollowTheCounters() {
        QFETCH(int, userLeft);
        QFETCH(int, soLeft);
        QFETCH(bool, userSet);
        QFETCH(int, sensor);
        QFETCH(qulonglong, expected);
        TokenRecord token = *m_store->token(int64_t(m_slot));
        token.userPin.retryLeft = userLeft;
        token.soPin.retryLeft = soLeft;
        if (!userSet)
            token.userPin.hash.clear();
        token.sensor = SensorKind(sensor);
        m_store->updateToken(token);
        QCOMPARE(qulonglong(tokenFlags()), expected);
    }

    void tokenFiguresAreReal() {
        CK_TOKEN_INFO info;
        QCOMPARE(p11->C_GetTokenInfo(m_slot, &info), CKR_OK);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(info.serialNumber), 16), QByteArray("VXTEST0000000001"));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(info.label), 32), QByteArray("Test").leftJustified(32, ' '));
        QCOMPARE(info.ulTotalPublicMemory, 262144UL);
        QCOMPARE(info.ulFreePublicMemory, 262144UL);
        QCOMPARE(info.ulMinPinLen, 4UL);
        QCOMPARE(info.ulMaxPinLen, 16UL);
        const CK_SESSION_HANDLE session = open();
        QCOMPARE(login(session, "12345678"), CKR_OK);
        createData(session, true, QByteArray(1000, 'x'));
        QCOMPARE(p11->C_GetTokenInfo(m_slot, &info), CKR_OK);
        QVERIFY(info.ulFreePublicMemory < 262144UL - 1000);
        QCOMPARE(info.ulSessionCount, 1UL);
        QCOMPARE(info.ulRwSessionCount, 1UL);
    }

    void loginRules() {
        const CK_SESSION_HANDLE readOnly = open(CKF_SERIAL_SESSION);
        QCOMPARE(p11->C_Logout(readOnly), CKR_USER_NOT_LOGGED_IN);
        QCOMPARE(login(readOnly, "87654321", CKU_SO), CKR_SESSION_READ_ONLY_EXISTS);
        QCOMPARE(p11->C_Login(readOnly, CKU_USER, nullptr, 0), CKR_ARGUMENTS_BAD);
        QCOMPARE(p11->C_Login(readOnly, 7, text("1"), 1), CKR_USER_TYPE_INVALID);
        QCOMPARE(login(readOnly, "12345678"), CKR_OK);
        QCOMPARE(login(readOnly, "12345678"), CKR_USER_ALREADY_LOGGED_IN);
        QCOMPARE(login(readOnly, "87654321", CKU_SO), CKR_USER_ANOTHER_ALREADY_LOGGED_IN);
        // The login belongs to the application: a second session shares it.
        const CK_SESSION_HANDLE other = open();
        CK_SESSION_INFO info;
        QCOMPARE(p11->C_GetSessionInfo(other, &info), CKR_OK);
        QCOMPARE(info.state, CKS_RW_USER_FUNCTIONS);
        QCOMPARE(p11->C_Logout(other), CKR_OK);
        QCOMPARE(p11->C_GetSessionInfo(readOnly, &info), CKR_OK);
        QCOMPARE(info.state, CKS_RO_PUBLIC_SESSION);
        QCOMPARE(p11->C_CloseSession(readOnly), CKR_OK);
        QCOMPARE(p11->C_CloseSession(readOnly), CKR_SESSION_HANDLE_INVALID);
    }

    void wrongPinsLockAndTheSoUnblocks() {
        const CK_SESSION_HANDLE session = open();
        VX_PIN_STATE state{};
        QCOMPARE(login(session, "00000000"), CKR_PIN_INCORRECT);
        QCOMPARE(m_extension->GetPinState(m_slot, CKU_USER, &state), CKR_OK);
        QCOMPARE(state.remaining, 2UL);
        QCOMPARE(state.maximum, 3UL);
        QCOMPARE(login(session, "12345678"), CKR_OK); // a right PIN restores the counter
        QCOMPARE(p11->C_Logout(session), CKR_OK);
        QCOMPARE(m_extension->GetPinState(m_slot, CKU_USER, &state), CKR_OK);
        QCOMPARE(state.remaining, 3UL);
        QCOMPARE(login(session, "00000000"), CKR_PIN_INCORRECT);
        QCOMPARE(login(session, "00000000"), CKR_PIN_INCORRECT);
        QCOMPARE(login(session, "00000000"), CKR_PIN_LOCKED);
        QCOMPARE(login(session, "12345678"), CKR_PIN_LOCKED);
        QCOMPARE(m_extension->GetPinState(m_slot, CKU_USER, &state), CKR_OK);
        QCOMPARE(state.locked, CK_TRUE);
        QCOMPARE(p11->C_InitPIN(session, text("24681357"), 8), CKR_USER_NOT_LOGGED_IN);
        QCOMPARE(login(session, "87654321", CKU_SO), CKR_OK);
        QCOMPARE(p11->C_InitPIN(session, text("123"), 3), CKR_PIN_LEN_RANGE);
        QCOMPARE(p11->C_InitPIN(session, text("24681357"), 8), CKR_OK);
        QCOMPARE(p11->C_Logout(session), CKR_OK);
        QCOMPARE(login(session, "24681357"), CKR_OK);
        // Nothing of a PIN stays in the store in clear.
        QFile store(m_home->filePath(QStringLiteral("vtoken.db")));
        QVERIFY(store.open(QIODevice::ReadOnly));
        const QByteArray bytes = store.readAll();
        QVERIFY(!bytes.contains("24681357") && !bytes.contains("87654321"));
    }

    void lockedSoPinStaysLocked() {
        const CK_SESSION_HANDLE session = open();
        TokenRecord token = *m_store->token(int64_t(m_slot));
        token.soPin.retryLeft = 1;
        m_store->updateToken(token);
        QCOMPARE(login(session, "11111111", CKU_SO), CKR_PIN_LOCKED);
        QCOMPARE(login(session, "87654321", CKU_SO), CKR_PIN_LOCKED);
        QCOMPARE(p11->C_InitToken(m_slot, text("87654321"), 8, text("x")), CKR_SESSION_EXISTS);
    }

    void pullingTheTokenOutEndsItsSessions() {
        const CK_SESSION_HANDLE session = open();
        QCOMPARE(login(session, "12345678"), CKR_OK);
        setPlugged(m_slot, false);
        CK_SESSION_INFO info;
        QCOMPARE(p11->C_GetSessionInfo(session, &info), CKR_DEVICE_REMOVED);
        QCOMPARE(p11->C_GetSessionInfo(session, &info), CKR_SESSION_HANDLE_INVALID);
        CK_SESSION_HANDLE again = 0;
        QCOMPARE(p11->C_OpenSession(m_slot, CKF_SERIAL_SESSION, nullptr, nullptr, &again), CKR_TOKEN_NOT_PRESENT);
        setPlugged(m_slot, true);
        again = open();
        QCOMPARE(p11->C_GetSessionInfo(again, &info), CKR_OK);
        QCOMPARE(info.state, CKS_RW_PUBLIC_SESSION); // the login went with the token
    }

    void replugWhileASessionIsOpen() {
        const CK_SESSION_HANDLE session = open();
        setPlugged(m_slot, false);
        setPlugged(m_slot, true);
        QCOMPARE(p11->C_CloseSession(session), CKR_DEVICE_REMOVED);
    }

    void objectVisibilityAndWriteRules() {
        const CK_SESSION_HANDLE readOnly = open(CKF_SERIAL_SESSION);
        createData(readOnly, false, "x", CKR_SESSION_READ_ONLY);
        const CK_SESSION_HANDLE session = open();
        createData(session, true, "secret", CKR_USER_NOT_LOGGED_IN);
        const CK_OBJECT_HANDLE publicObject = createData(session, false, "open");
        QCOMPARE(login(session, "12345678"), CKR_OK);
        const CK_OBJECT_HANDLE privateObject = createData(session, true, "secret");
        QCOMPARE(countObjects(session), 2UL);
        QCOMPARE(p11->C_Logout(session), CKR_OK);
        QCOMPARE(countObjects(session), 1UL);
        CK_ATTRIBUTE value = {CKA_VALUE, nullptr, 0};
        QCOMPARE(p11->C_GetAttributeValue(session, privateObject, &value, 1), CKR_OBJECT_HANDLE_INVALID);
        QCOMPARE(p11->C_DestroyObject(readOnly, publicObject), CKR_SESSION_READ_ONLY);
        QCOMPARE(p11->C_DestroyObject(session, publicObject), CKR_OK);
        QCOMPARE(p11->C_DestroyObject(session, publicObject), CKR_OBJECT_HANDLE_INVALID);
    }

    void attributeReadingProtocol() {
        const CK_SESSION_HANDLE session = open();
        const CK_OBJECT_HANDLE object = createData(session, false, "0123456789");
        char small[4], large[32];
        CK_ATTRIBUTE attributes[] = {
            {CKA_VALUE, nullptr, 0},
            {CKA_VALUE, small, sizeof small},
            {CKA_MODULUS, large, sizeof large},
            {CKA_LABEL, large, sizeof large},
        };
        // With several faults in one call any one of their codes may come back.
        const CK_RV rv = p11->C_GetAttributeValue(session, object, attributes, 4);
        QVERIFY(rv == CKR_BUFFER_TOO_SMALL || rv == CKR_ATTRIBUTE_TYPE_INVALID);
        QCOMPARE(attributes[0].ulValueLen, 10UL);
        QCOMPARE(attributes[1].ulValueLen, CK_UNAVAILABLE_INFORMATION);
        QCOMPARE(attributes[2].ulValueLen, CK_UNAVAILABLE_INFORMATION);
        QCOMPARE(attributes[3].ulValueLen, 9UL); // the rest is still served
        QCOMPARE(QByteArray(large, 9), QByteArray("container"));
        CK_ATTRIBUTE unknown = {CKA_MODULUS, nullptr, 0};
        QCOMPARE(p11->C_GetAttributeValue(session, object, &unknown, 1), CKR_ATTRIBUTE_TYPE_INVALID);
        QCOMPARE(p11->C_GetAttributeValue(session, 424242, &unknown, 1), CKR_OBJECT_HANDLE_INVALID);
        QCOMPARE(p11->C_GetAttributeValue(777, object, &unknown, 1), CKR_SESSION_HANDLE_INVALID);
    }

    void attributeChangeRules() {
        const CK_SESSION_HANDLE session = open();
        const CK_OBJECT_HANDLE object = createData(session, false, "v");
        CK_OBJECT_CLASS otherClass = CKO_CERTIFICATE;
        CK_ATTRIBUTE classChange = {CKA_CLASS, &otherClass, sizeof otherClass};
        QCOMPARE(p11->C_SetAttributeValue(session, object, &classChange, 1), CKR_ATTRIBUTE_READ_ONLY);
        CK_ATTRIBUTE rename = {CKA_LABEL, text("renamed by another tool"), 23};
        QCOMPARE(p11->C_SetAttributeValue(session, object, &rename, 1), CKR_OK);
        char label[64];
        CK_ATTRIBUTE read = {CKA_LABEL, label, sizeof label};
        QCOMPARE(p11->C_GetAttributeValue(session, object, &read, 1), CKR_OK);
        QCOMPARE(QByteArray(label, int(read.ulValueLen)), QByteArray("renamed by another tool"));
        CK_BBOOL no = CK_FALSE;
        CK_ATTRIBUTE badSize = {CKA_PRIVATE, &no, 4};
        QCOMPARE(p11->C_SetAttributeValue(session, object, &badSize, 1), CKR_ATTRIBUTE_VALUE_INVALID);
    }

    void fullTokenRefusesWhatDoesNotFit() {
        TokenRecord token = *m_store->token(int64_t(m_slot));
        token.totalMemory = 4096;
        m_store->updateToken(token);
        const CK_SESSION_HANDLE session = open();
        createData(session, false, QByteArray(3000, 'a'));
        createData(session, false, QByteArray(3000, 'b'), CKR_DEVICE_MEMORY);
        QCOMPARE(countObjects(session), 1UL);
    }

    void argumentsAreChecked() {
        const CK_SESSION_HANDLE session = open();
        CK_ULONG count = 0;
        QCOMPARE(p11->C_GetSlotList(CK_TRUE, nullptr, nullptr), CKR_ARGUMENTS_BAD);
        QCOMPARE(p11->C_GetTokenInfo(m_slot, nullptr), CKR_ARGUMENTS_BAD);
        QCOMPARE(p11->C_OpenSession(m_slot, CKF_SERIAL_SESSION, nullptr, nullptr, nullptr), CKR_ARGUMENTS_BAD);
        CK_SESSION_HANDLE parallel = 0;
        QCOMPARE(p11->C_OpenSession(m_slot, 0, nullptr, nullptr, &parallel), CKR_SESSION_PARALLEL_NOT_SUPPORTED);
        QCOMPARE(p11->C_CreateObject(session, nullptr, 2, &parallel), CKR_ARGUMENTS_BAD);
        QCOMPARE(p11->C_FindObjects(session, nullptr, 1, &count), CKR_ARGUMENTS_BAD);
        QCOMPARE(p11->C_FindObjects(session, &parallel, 1, &count), CKR_OPERATION_NOT_INITIALIZED);
        QCOMPARE(p11->C_FindObjectsInit(session, nullptr, 0), CKR_OK);
        QCOMPARE(p11->C_FindObjectsInit(session, nullptr, 0), CKR_OPERATION_ACTIVE);
        QCOMPARE(p11->C_SetPIN(session, nullptr, 0, text("12345678"), 8), CKR_ARGUMENTS_BAD);
        QCOMPARE(p11->C_GenerateRandom(session, nullptr, 8), CKR_ARGUMENTS_BAD);
        QCOMPARE(p11->C_Sign(session, text("x"), 1, nullptr, &count), CKR_OPERATION_NOT_INITIALIZED);
        CK_BYTE random[32] = {};
        QCOMPARE(p11->C_GenerateRandom(session, random, sizeof random), CKR_OK);
        QVERIFY(QByteArray(reinterpret_cast<char*>(random), 32) != QByteArray(32, '\0'));
        QCOMPARE(p11->C_Encrypt(session, random, 1, random, &count), CKR_FUNCTION_NOT_SUPPORTED);
    }

    void signingFollowsTheBufferProtocol() {
        EVP_PKEY* generated = EVP_RSA_gen(2048);
        QVERIFY(generated);
        const auto part = [generated](const char* name) {
            BIGNUM* number = nullptr;
            EVP_PKEY_get_bn_param(generated, name, &number);
            QByteArray bytes(BN_num_bytes(number), '\0');
            BN_bn2bin(number, reinterpret_cast<unsigned char*>(bytes.data()));
            BN_free(number);
            return bytes;
        };
        QByteArray n = part(OSSL_PKEY_PARAM_RSA_N), e = part(OSSL_PKEY_PARAM_RSA_E), d = part(OSSL_PKEY_PARAM_RSA_D);
        EVP_PKEY_free(generated);
        const CK_SESSION_HANDLE session = open();
        QCOMPARE(login(session, "12345678"), CKR_OK);
        CK_OBJECT_CLASS privateKey = CKO_PRIVATE_KEY;
        CK_KEY_TYPE rsa = CKK_RSA;
        CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
        CK_ATTRIBUTE key[] = {
            {CKA_CLASS, &privateKey, sizeof privateKey},
            {CKA_KEY_TYPE, &rsa, sizeof rsa},
            {CKA_TOKEN, &yes, sizeof yes},
            {CKA_MODULUS, n.data(), CK_ULONG(n.size())},
            {CKA_PUBLIC_EXPONENT, e.data(), CK_ULONG(e.size())},
            {CKA_PRIVATE_EXPONENT, d.data(), CK_ULONG(d.size())},
            {CKA_SIGN, &yes, sizeof yes},
        };
        CK_OBJECT_HANDLE signer = 0, decrypter = 0;
        QCOMPARE(p11->C_CreateObject(session, key, 7, &signer), CKR_OK);
        key[6] = {CKA_SIGN, &no, sizeof no};
        QCOMPARE(p11->C_CreateObject(session, key, 7, &decrypter), CKR_OK);
        CK_ATTRIBUTE secret = {CKA_PRIVATE_EXPONENT, nullptr, 0};
        QCOMPARE(p11->C_GetAttributeValue(session, signer, &secret, 1), CKR_ATTRIBUTE_SENSITIVE);
        CK_BBOOL extractable = CK_TRUE;
        CK_ATTRIBUTE makeExtractable = {CKA_EXTRACTABLE, &extractable, sizeof extractable};
        QCOMPARE(p11->C_SetAttributeValue(session, signer, &makeExtractable, 1), CKR_ATTRIBUTE_READ_ONLY);

        CK_MECHANISM sha256 = {CKM_SHA256_RSA_PKCS, nullptr, 0};
        CK_MECHANISM ecdsa = {CKM_ECDSA, nullptr, 0};
        QCOMPARE(p11->C_SignInit(session, &sha256, decrypter), CKR_KEY_FUNCTION_NOT_PERMITTED);
        QCOMPARE(p11->C_SignInit(session, &ecdsa, signer), CKR_KEY_TYPE_INCONSISTENT);
        QCOMPARE(p11->C_SignInit(session, &sha256, signer), CKR_OK);
        QCOMPARE(p11->C_SignInit(session, &sha256, signer), CKR_OPERATION_ACTIVE);
        CK_BYTE signature[256];
        CK_ULONG length = 0;
        QCOMPARE(p11->C_Sign(session, text("data"), 4, nullptr, &length), CKR_OK);
        QCOMPARE(length, 256UL);
        length = 10;
        QCOMPARE(p11->C_Sign(session, text("data"), 4, signature, &length), CKR_BUFFER_TOO_SMALL);
        length = sizeof signature;
        QCOMPARE(p11->C_Sign(session, text("data"), 4, signature, &length), CKR_OK);
        QCOMPARE(p11->C_Sign(session, text("data"), 4, signature, &length), CKR_OPERATION_NOT_INITIALIZED);
        QCOMPARE(p11->C_Logout(session), CKR_OK);
        QCOMPARE(p11->C_SignInit(session, &sha256, signer), CKR_USER_NOT_LOGGED_IN);
    }

    void vendorLabelChangeKeepsTheContent() {
        const CK_SESSION_HANDLE session = open();
        createData(session, false, "kept");
        QCOMPARE(m_extension->SetTokenLabel(m_slot, text(""), 0), CKR_ARGUMENTS_BAD);
        QCOMPARE(m_extension->SetTokenLabel(m_slot, text("123456789012345678901234567890123"), 33), CKR_ARGUMENTS_BAD);
        QCOMPARE(m_extension->SetTokenLabel(999, text("x"), 1), CKR_SLOT_ID_INVALID);
        QCOMPARE(m_extension->SetTokenLabel(m_slot, text("新名字"), 9), CKR_OK); // no PIN needed
        QCOMPARE(m_store->token(int64_t(m_slot))->label, std::string("新名字"));
        QCOMPARE(countObjects(session), 1UL);
    }

    void vendorFormatChecksTheSoPinFirst() {
        const CK_SESSION_HANDLE session = open();
        QCOMPARE(login(session, "12345678"), CKR_OK);
        createData(session, true, "gone after the format");
        VX_FORMAT_PARAMS params{};
        strcpy(reinterpret_cast<char*>(params.label), "Formatted");
        strcpy(reinterpret_cast<char*>(params.manufacturer), "Quorvex");
        strcpy(reinterpret_cast<char*>(params.issuer), "Ravuvor");
        strcpy(reinterpret_cast<char*>(params.soPin), "5555666677");
        strcpy(reinterpret_cast<char*>(params.userPin), "123456");
        params.userPinRetries = 6;
        params.soPinRetries = 8;
        params.userPinMinLength = 6;
        params.userPinMaxLength = 12;
        params.soPinMinLength = 8;
        params.soPinMaxLength = 16;
        TokenRecord fingered = *m_store->token(int64_t(m_slot));
        fingered.userFingers = {0b11, 5, 1, 2};
        fingered.adminFingers = {0b100, 4, 4, 1};
        m_store->updateToken(fingered);
        QCOMPARE(m_extension->FormatToken(m_slot, text("11111111"), 8, &params), CKR_PIN_INCORRECT);
        QCOMPARE(m_store->token(int64_t(m_slot))->soPin.retryLeft, 9);
        params.userPinRetries = 16;
        QCOMPARE(m_extension->FormatToken(m_slot, text("87654321"), 8, &params), CKR_ARGUMENTS_BAD);
        params.userPinRetries = 6;
        strcpy(reinterpret_cast<char*>(params.userPin), "12345");
        QCOMPARE(m_extension->FormatToken(m_slot, text("87654321"), 8, &params), CKR_PIN_LEN_RANGE);
        strcpy(reinterpret_cast<char*>(params.userPin), "123456");
        QCOMPARE(m_extension->FormatToken(m_slot, text("87654321"), 8, &params), CKR_OK);
        const TokenRecord token = *m_store->token(int64_t(m_slot));
        QCOMPARE(token.label, std::string("Formatted"));
        QCOMPARE(token.issuer, std::string("Ravuvor"));
        QCOMPARE(token.userPin.retryMax, 6);
        QCOMPARE(token.soPin.minLength, 8);
        QCOMPARE(token.soPin.retryLeft, 8);
        QCOMPARE(m_store->objects(token.id).size(), size_t(0));
        // The fingers belonged to the token's former holder.
        QCOMPARE(token.userFingers.enrolled + token.adminFingers.enrolled, 0u);
        QCOMPARE(token.userFingers.retryLeft, 5);
        CK_SESSION_INFO info;
        QCOMPARE(p11->C_GetSessionInfo(session, &info), CKR_OK);
        QCOMPARE(info.state, CKS_RW_PUBLIC_SESSION);
        QCOMPARE(login(session, "123456"), CKR_OK);
    }

    void cdromSectorsStayInsideThePartition() {
        const CK_SESSION_HANDLE session = open();
        CK_ULONG sectors = 0;
        QCOMPARE(m_extension->GetCdromInfo(m_slot, &sectors), CKR_OK);
        QCOMPARE(sectors, 8UL);
        std::vector<CK_BYTE> data(3 * Store::SectorSize, 0x42);
        QCOMPARE(m_extension->WriteCdromSectors(session, 0, 3, data.data()), CKR_USER_NOT_LOGGED_IN);
        QCOMPARE(login(session, "12345678"), CKR_OK);
        QCOMPARE(m_extension->WriteCdromSectors(session, 6, 3, data.data()), CKR_ARGUMENTS_BAD);
        QCOMPARE(m_extension->WriteCdromSectors(session, CK_ULONG(-1), 3, data.data()), CKR_ARGUMENTS_BAD);
        QCOMPARE(m_extension->WriteCdromSectors(session, 5, 3, data.data()), CKR_OK);
        const std::vector<uint8_t> back = m_store->readSectors(int64_t(m_slot), 4, 4);
        QCOMPARE(int(back[0]), 0);
        QCOMPARE(int(back[Store::SectorSize]), 0x42);
        QCOMPARE(int(back.back()), 0x42);
    }

    void fingerLoginWithoutEnrolment() {
        TokenRecord token = *m_store->token(int64_t(m_slot));
        token.sensor = SensorKind::Fingerprint;
        m_store->updateToken(token);
        const CK_SESSION_HANDLE session = open();
        QCOMPARE(m_extension->BiometricLogin(session, CKU_USER), VX_CKR_FINGER_NOT_ENROLLED);
        QCOMPARE(p11->C_Login(session, CKU_USER, nullptr, 0), VX_CKR_FINGER_NOT_ENROLLED);
        open(CKF_SERIAL_SESSION);
        QCOMPARE(m_extension->BiometricLogin(session, CKU_SO), CKR_SESSION_READ_ONLY_EXISTS);
    }

    // The user's finger 3 and the administrator's finger 7 are enrolled; each has 3 tries. Events are finger numbers,
    // 0 for a finger the sensor cannot take, -1 for one lifted.
    void fingerLogin_data() {
        QTest::addColumn<qulonglong>("user");
        QTest::addColumn<QList<int>>("events");
        QTest::addColumn<int>("retriesBefore");
        QTest::addColumn<bool>("autoMode");
        QTest::addColumn<qulonglong>("expected");
        QTest::addColumn<int>("retriesAfter");
        const qulonglong user = CKU_USER, so = CKU_SO;
        QTest::newRow("match restores the tries") << user << QList<int>{3} << 2 << false << qulonglong(CKR_OK) << 3;
        QTest::newRow("a lifted finger is passed over")
            << user << QList<int>{-1, 3} << 3 << false << qulonglong(CKR_OK) << 3;
        QTest::newRow("another finger counts")
            << user << QList<int>{4} << 3 << false << qulonglong(VX_CKR_FINGER_NOT_MATCHED) << 2;
        QTest::newRow("the last try locks") << user << QList<int>{4} << 1 << false << qulonglong(CKR_PIN_LOCKED) << 0;
        QTest::newRow("capture failure counts nothing")
            << user << QList<int>{0, 3} << 3 << false << qulonglong(VX_CKR_FINGER_CAPTURE_FAILED) << 3;
        QTest::newRow("spent tries") << user << QList<int>{3} << 0 << false << qulonglong(CKR_PIN_LOCKED) << 0;
        QTest::newRow("auto mode") << user << QList<int>{} << 3 << true << qulonglong(CKR_OK) << 3;
        QTest::newRow("SO by the administrator's finger")
            << so << QList<int>{7} << 2 << false << qulonglong(CKR_OK) << 3;
        QTest::newRow("SO by a user's finger")
            << so << QList<int>{3} << 3 << false << qulonglong(VX_CKR_FINGER_NOT_MATCHED) << 2;
    }
    void fingerLogin() {
        QFETCH(qulonglong, user);
        QFETCH(QList<int>, events);
        QFETCH(int, retriesBefore);
        QFETCH(bool, autoMode);
        QFETCH(qulonglong, expected);
        QFETCH(int, retriesAfter);
        FingerRecord TokenRecord::*holder = user == CKU_SO ? &TokenRecord::adminFingers : &TokenRecord::userFingers;
        TokenRecord token = *m_store->token(int64_t(m_slot));
        token.sensor = SensorKind::Fingerprint;
        token.sensorAuto = autoMode;
        token.userFingers = {0b100, 3, 3, 1};
        token.adminFingers = {0b1000000, 3, 3, 1};
        (token.*holder).retryLeft = retriesBefore;
        m_store->updateToken(token);
        for (const int event : events)
            m_store->queueSensorEvent(token.id, event > 0    ? SensorEvent{SensorEvent::Present, event}
                                                : event == 0 ? SensorEvent{SensorEvent::Fail, 0}
                                                             : SensorEvent{SensorEvent::Away, 0});
        const CK_SESSION_HANDLE session = open();
        QCOMPARE(qulonglong(p11->C_Login(session, CK_USER_TYPE(user), nullptr, 0)), expected);
        QCOMPARE(((*m_store->token(token.id)).*holder).retryLeft, retriesAfter);
        CK_SESSION_INFO info;
        QCOMPARE(p11->C_GetSessionInfo(session, &info), CKR_OK);
        QCOMPARE(info.state == CKS_RW_PUBLIC_SESSION, expected != CKR_OK);
    }

    // The module is not held while the holder finds the sensor: other calls go on meanwhile.
    void fingerLoginWaitsOutsideTheModuleLock() {
        TokenRecord token = *m_store->token(int64_t(m_slot));
        token.sensor = SensorKind::FingerVein;
        token.userFingers.enrolled = 0b1;
        m_store->updateToken(token);
        const CK_SESSION_HANDLE session = open();
        std::atomic<CK_RV> result = CKR_GENERAL_ERROR;
        std::atomic<bool> done = false;
        // A lifted finger keeps the login waiting; once the sensor has taken it, the login is in its wait.
        m_store->queueSensorEvent(token.id, {SensorEvent::Away, 0});
        std::thread login([&] {
            result = m_extension->BiometricLogin(session, CKU_USER);
            done = true;
        });
        QTRY_COMPARE(m_store->sensorEventCount(token.id), 0);
        QCOMPARE(tokenFlags() & CKF_PROTECTED_AUTHENTICATION_PATH, CKF_PROTECTED_AUTHENTICATION_PATH);
        const bool waited = !done;
        m_store->queueSensorEvent(token.id, {SensorEvent::Present, 1});
        login.join();
        QVERIFY(waited);
        QCOMPARE(result.load(), CKR_OK);
    }
};

QTEST_GUILESS_MAIN(Pkcs11ModuleTest)
#include "Pkcs11ModuleTest.moc"
