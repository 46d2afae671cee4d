#include "TestCertificates.h"
#include "shared/VendorExtension.h"
#include "shared/ZovevOdu.h"

#include <openssl/pem.h>
#include <p11-kit/pkcs11.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cstring>

// The token-management library on a real PKCS#11 module: the virtual token, or SoftHSM2 (a token that other
// people wrote, without the vendor extension). ZV_TEST_BACKEND chooses; the same suite runs on both, and what
// only the extension can do is checked to work on one and to say "not supported" on the other.
// What token_get_info_ex fills: the texts, then the ten figures in the order of its arguments.
using FormatBlock = std::array<uint8_t, 166>;

// The format block of token_format: five texts of 32 bytes, then the retries and the length limits.
FormatBlock formatBlock(const char* label, const char* manufacturer, const char* issuer, const char* soPin,
                        const char* userPin, const std::array<uint8_t, 6>& limits) {
    FormatBlock block{};
    const char* texts[] = {label, manufacturer, issuer, soPin, userPin};
    for (size_t i = 0; i < 5; ++i)
        std::memcpy(block.data() + 32 * i, texts[i], std::strlen(texts[i]));
    std::memcpy(block.data() + 160, limits.data(), limits.size());
    return block;
}

struct TokenFigures {
    char serial[33], label[129], manufacturer[65], model[65];
    int32_t figures[10] = {};

    int32_t read(int32_t index) {
        return token_get_info_ex(index, serial, label, manufacturer, model, &figures[0], &figures[1], &figures[2],
                                 &figures[3], &figures[4], &figures[5], &figures[6], &figures[7], &figures[8],
                                 &figures[9]);
    }
};

class TokenLibraryTest : public QObject {
    Q_OBJECT

    bool m_virtual = true;
    QString m_module;
    std::unique_ptr<QTemporaryDir> m_home;

    // Under AddressSanitizer the module is instrumented, and a client that is not needs the runtime loaded first.
    static QProcessEnvironment clientEnvironment() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QFile maps(QStringLiteral("/proc/self/maps"));
        if (maps.open(QIODevice::ReadOnly))
            for (const QByteArray& line : maps.readAll().split('\n'))
                if (line.contains("/libasan.so")) {
                    environment.insert(QStringLiteral("LD_PRELOAD"),
                                       QString::fromLocal8Bit(line.mid(line.indexOf('/'))));
                    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
                    break;
                }
        return environment;
    }

    static QByteArray run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(clientEnvironment());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            qFatal("%s failed: %s", qPrintable(program), process.readAll().constData());
        return process.readAll();
    }

    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = m_home->filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write(content);
        return path;
    }

    std::string containerList() {
        char buffer[8193] = {};
        int32_t length = 8192;
        if (container_load_all(0, buffer, &length) != ZV_OK)
            return "<failed>";
        return std::string(buffer, size_t(length));
    }

    int32_t importPkcs12(const testcerts::KeyPair& pair, const char* container, int usage) {
        const QString path = writeFile(QStringLiteral("import.p12"), testcerts::pkcs12(pair, "secret"));
        int32_t count = 0;
        if (const int32_t rv = pkcs12_file_parse(QFile::encodeName(path).constData(), "secret", &count); rv != ZV_OK)
            return rv;
        return pkcs12_import_certificate(0, container, usage, 0);
    }

private Q_SLOTS:
    void initTestCase() {
        m_virtual = qEnvironmentVariable("ZV_TEST_BACKEND", QStringLiteral("vtoken")) == QLatin1String("vtoken");
        m_module = m_virtual ? QStringLiteral(VTOKEN_MODULE) : QStringLiteral("/usr/lib/softhsm/libsofthsm2.so");
        if (!QFile::exists(m_module))
            QSKIP("SoftHSM2 is not installed");
    }

    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", QFile::encodeName(m_home->path()));
        if (m_virtual) {
            qputenv("VTOKEN_HOME", QFile::encodeName(m_home->path()));
            run(QStringLiteral(VTOKEN_PROGRAM),
                {"create", "--serial", "VXLIB00000000001", "--label", "Library test", "--user-pin", "12345678",
                 "--so-pin", "87654321", "--user-retries", "3", "--so-pin-min", "6", "--so-pin-max", "12",
                 "--cdrom-sectors", "4", "--plugged"});
        } else {
            const QString tokens = m_home->filePath(QStringLiteral("softhsm"));
            QDir().mkpath(tokens);
            qputenv("SOFTHSM2_CONF", QFile::encodeName(writeFile(QStringLiteral("softhsm2.conf"),
                                                                 "directories.tokendir = " + tokens.toUtf8() +
                                                                     "\nobjectstore.backend = file\n")));
            run(QStringLiteral("softhsm2-util"),
                {"--init-token", "--free", "--label", "Library test", "--pin", "12345678", "--so-pin", "87654321"});
        }
        QCOMPARE(init_pkcs11(QFile::encodeName(m_module).constData()), ZV_OK);
        char serials[128];
        int32_t count = 32;
        QCOMPARE(token_find(serials, &count), ZV_OK);
        QVERIFY(count >= 1);
        QCOMPARE(token_connect(0), ZV_OK);
    }

    void cleanup() { uninit_pkcs11(); }

    void callsBeforeInitAreRefused() {
        uninit_pkcs11();
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_ERR_NOT_INITIALIZED);
        QCOMPARE(init_pkcs11("/nonexistent/module.so"), ZV_ERR_MODULE_LOAD);
        QCOMPARE(init_pkcs11_ex("usb", "oem", "app", QFile::encodeName(m_module).constData()), ZV_OK);
        QCOMPARE(token_connect(0), ZV_ERR_TOKEN_INDEX); // nothing found yet
    }

    void tokenFiguresComeFromTheModule() {
        TokenFigures token;
        QCOMPARE(token.read(0), ZV_OK);
        QCOMPARE(QByteArray(token.label), QByteArray("Library test"));
        QCOMPARE(token.figures[8], 1); // initialized
        if (m_virtual) {
            QCOMPARE(QByteArray(token.serial), QByteArray("VXLIB00000000001"));
            QCOMPARE(QByteArray(token.manufacturer), QByteArray("Quorvex"));
            QCOMPARE(token.figures[4], 262144);
            QCOMPARE(token.figures[6], 0x100); // hardware 1.0
        } else {
            QCOMPARE(QByteArray(token.manufacturer), QByteArray("SoftHSM project"));
            QCOMPARE(token.figures[4], -1); // SoftHSM2 cannot tell its memory: unknown, never made up
        }
        QCOMPARE(TokenFigures().read(5), ZV_ERR_TOKEN_INDEX);
    }

    void loginReportsTheTriesLeft() {
        int32_t remaining = 99;
        QCOMPARE(token_login(0, "00000000", &remaining), int32_t(CKR_PIN_INCORRECT));
        QCOMPARE(remaining, m_virtual ? 2 : -1); // exact with the extension, unknown without
        int32_t state[6];
        QCOMPARE(token_get_pin_state(0, 1, state), ZV_OK);
        QCOMPARE(state[0], m_virtual ? 2 : -1);
        QCOMPARE(state[4], 0);
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        QCOMPARE(token_logout(0), ZV_OK);
        QCOMPARE(token_logout(0), ZV_OK); // logging out twice is harmless
    }

    // A session that is logged in already is no proof of the PIN now presented.
    void wrongPinsAreRefusedWhileLoggedIn() {
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        QCOMPARE(token_login(0, "00000000", &remaining), int32_t(CKR_PIN_INCORRECT));
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        QCOMPARE(token_login_so(0, "87654321", &remaining), ZV_OK);
        QCOMPARE(token_login_so(0, "11111111", &remaining), int32_t(CKR_PIN_INCORRECT));
    }

    // SoftHSM2 always offers a slot with a token that was never initialized, as a fresh card does.
    void aTokenNeverInitializedIsFound() {
        if (m_virtual)
            QSKIP("virtual tokens open sessions before they are initialized");
        char serials[128];
        int32_t count = 32;
        QCOMPARE(token_find(serials, &count), ZV_OK);
        QCOMPARE(count, 2);
        QCOMPARE(token_connect(0), ZV_OK);
        QCOMPARE(token_connect(1), ZV_OK);
        TokenFigures token;
        QCOMPARE(token.read(1), ZV_OK);
        QCOMPARE(token.figures[8], 0); // not initialized
        int32_t state[6];
        QCOMPARE(token_get_pin_state(1, 1, state), ZV_OK);
        int32_t remaining = 0;
        QCOMPARE(token_login(1, "12345678", &remaining), int32_t(CKR_TOKEN_NOT_RECOGNIZED));
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
    }

    void aClientThatForgetsUninitExitsCleanly() {
        uninit_pkcs11();
        QProcess client;
        client.setProcessEnvironment(clientEnvironment());
        client.start(QStringLiteral(EXIT_WITHOUT_UNINIT), {m_module});
        QVERIFY(client.waitForFinished(60000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
    }

    void pinsChangeAndUnblock() {
        int32_t remaining = 0;
        QCOMPARE(token_change_upin(0, "12345678", "24681357"), ZV_OK);
        QCOMPARE(token_login(0, "24681357", &remaining), ZV_OK);
        QCOMPARE(token_logout(0), ZV_OK);
        QCOMPARE(token_set_upin(0, "11111111", "13572468"), int32_t(CKR_PIN_INCORRECT));
        QCOMPARE(token_set_upin(0, "87654321", "13572468"), ZV_OK);
        QCOMPARE(token_login(0, "13572468", &remaining), ZV_OK);
        QCOMPARE(token_logout(0), ZV_OK);
        QCOMPARE(token_change_sopin(0, "87654321", "55556666"), ZV_OK);
        QCOMPARE(token_login_so(0, "55556666", &remaining), ZV_OK);
        QCOMPARE(token_logout(0), ZV_OK);
    }

    void containerNamesAndLayout() {
        QCOMPARE(token_login(0, "12345678", nullptr), ZV_ERR_ARGUMENTS);
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        QCOMPARE(container_create_new(0, "Main"), ZV_OK);
        QCOMPARE(container_create_new(0, "Key 1"), ZV_OK);
        const std::string longest(64, 'n');
        QCOMPARE(container_create_new(0, longest.c_str()), ZV_OK);
        QCOMPARE(container_create_new(0, "Main"), ZV_ERR_CONTAINER_EXISTS);
        QCOMPARE(container_create_new(0, std::string(65, 'n').c_str()), ZV_ERR_CONTAINER_NAME);
        QCOMPARE(container_create_new(0, "trailing "), ZV_ERR_CONTAINER_NAME);
        QCOMPARE(container_create_new(0, ""), ZV_ERR_CONTAINER_NAME);
        for (const char* control : {"line\r\nbreak", "tab\tbed", "del\x7f"})
            QCOMPARE(container_create_new(0, control), ZV_ERR_CONTAINER_NAME);
        QCOMPARE(containerList(), std::string("Main\0Key 1\0", 11) + longest + '\0');

        char small[8];
        int32_t length = sizeof small;
        QCOMPARE(container_load_all(0, small, &length), ZV_ERR_BUFFER_TOO_SMALL);
        QCOMPARE(length, int32_t(11 + 65));

        char exact[11 + 65];
        length = sizeof exact; // a buffer of exactly the size needed is enough
        QCOMPARE(container_load_all(0, exact, &length), ZV_OK);
        QCOMPARE(length, int32_t(sizeof exact));

        QCOMPARE(container_delete(0, "Key 1"), ZV_OK);
        QCOMPARE(container_delete(0, "Key 1"), ZV_ERR_NO_CONTAINER);
        QCOMPARE(containerList(), std::string("Main\0", 5) + longest + '\0');
        // Empty containers are listed before login too: their records are public.
        QCOMPARE(token_logout(0), ZV_OK);
        QCOMPARE(containerList(), std::string("Main\0", 5) + longest + '\0');
    }

    // Every write into containers needs the user's login, and says so with the code the program asks for the PIN on.
    void containerWritesNeedTheUser() {
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        const testcerts::KeyPair rsa = testcerts::certify(testcerts::rsaKey(), "Holder");
        QCOMPARE(importPkcs12(rsa, "Kept", 1), ZV_OK);
        QCOMPARE(token_logout(0), ZV_OK);
        const QString cer = writeFile(QStringLiteral("holder.cer"), testcerts::der(rsa));
        QCOMPARE(container_create_new(0, "New"), ZV_ERR_NOT_LOGGED_IN);
        QCOMPARE(x509_import_certificate(0, "New", 1, QFile::encodeName(cer).constData()), ZV_ERR_NOT_LOGGED_IN);
        QCOMPARE(container_delete_cert(0, "Kept", 1), ZV_ERR_NOT_LOGGED_IN);
        QCOMPARE(container_delete(0, "Kept"), ZV_ERR_NOT_LOGGED_IN);
        QCOMPARE(containerList(), std::string("Kept\0", 5));
    }

    // A key pair, or a certificate whose key pair another container holds, belongs to one container only: objects
    // are found by CKA_ID, and a deletion in one container would empty the other. The CA certificates of a PKCS#12
    // file go into containers of their own, without keys.
    void aPairBelongsToOneContainer() {
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        const testcerts::KeyPair root = testcerts::certify(testcerts::rsaKey(), "Root", nullptr, true, 1);
        const testcerts::KeyPair issuing = testcerts::certify(testcerts::rsaKey(), "Issuing", &root, true, 2);
        const testcerts::KeyPair user = testcerts::certify(testcerts::rsaKey(), "User", &issuing, false, 3);
        const QString path =
            writeFile(QStringLiteral("chain.p12"), testcerts::pkcs12(user, "secret", {&issuing, &root}));
        int32_t count = 0;
        QCOMPARE(pkcs12_file_parse(QFile::encodeName(path).constData(), "secret", &count), ZV_OK);
        QCOMPARE(count, 3);
        QCOMPARE(pkcs12_import_certificate(0, "Mine", 1, 0), ZV_OK);
        QCOMPARE(pkcs12_import_certificate(0, "CA one", 2, 1), ZV_OK);
        QCOMPARE(pkcs12_import_certificate(0, "CA two", 2, 2), ZV_OK);
        QCOMPARE(pkcs12_import_certificate(0, "Copy", 1, 0), ZV_ERR_KEY_IN_OTHER_CONTAINER);
        const QString cer = writeFile(QStringLiteral("user.cer"), testcerts::der(user));
        QCOMPARE(x509_import_certificate(0, "Copy", 2, QFile::encodeName(cer).constData()),
                 ZV_ERR_KEY_IN_OTHER_CONTAINER);
        QCOMPARE(containerList(), std::string("Mine\0CA one\0CA two\0", 19)); // no empty "Copy" left behind
        QCOMPARE(container_delete(0, "CA one"), ZV_OK);
        uint8_t certificate[16384];
        int32_t length = sizeof certificate;
        QCOMPARE(container_get_cert(0, "Mine", 1, certificate, &length), ZV_OK);
        length = sizeof certificate;
        QCOMPARE(container_get_cert(0, "CA two", 2, certificate, &length), ZV_OK);
    }

    void importedPairsAreReadBack() {
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        const testcerts::KeyPair rsa = testcerts::certify(testcerts::rsaKey(), "张三");
        const testcerts::KeyPair ec = testcerts::certify(testcerts::ecKey(), "Li Si");
        QCOMPARE(importPkcs12(rsa, "Personal", 1), ZV_OK);
        QCOMPARE(importPkcs12(ec, "Personal", 2), ZV_OK);

        uint8_t certificate[16384];
        int32_t length = sizeof certificate;
        QCOMPARE(container_get_cert(0, "Personal", 1, certificate, &length), ZV_OK);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(certificate), length), testcerts::der(rsa));
        int32_t algorithm = 0, bits = 0;
        uint8_t key[1024];
        length = sizeof key;
        QCOMPARE(container_get_pubkey(0, "Personal", 1, &algorithm, &bits, key, &length), ZV_OK);
        QCOMPARE(algorithm, 1);
        QCOMPARE(bits, 2048);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(key), length), testcerts::publicKeyInfo(rsa));
        length = sizeof key;
        QCOMPARE(container_get_pubkey(0, "Personal", 2, &algorithm, &bits, key, &length), ZV_OK);
        QCOMPARE(algorithm, 3);
        QCOMPARE(bits, 256);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(key), length), testcerts::publicKeyInfo(ec));
        QCOMPARE(container_get_prikey(0, "Personal", 2, &algorithm, &bits), ZV_OK);
        QCOMPARE(algorithm, 3);
        length = 16;
        QCOMPARE(container_get_cert(0, "Personal", 2, certificate, &length), ZV_ERR_BUFFER_TOO_SMALL);
        QVERIFY(length > 16);

        // Private keys are out of sight after logout; the certificates are not.
        QCOMPARE(token_logout(0), ZV_OK);
        QCOMPARE(container_get_prikey(0, "Personal", 1, &algorithm, &bits), ZV_ERR_NO_OBJECT);
        length = sizeof certificate;
        QCOMPARE(container_get_cert(0, "Personal", 2, certificate, &length), ZV_OK);

        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        QCOMPARE(container_delete_cert(0, "Personal", 1), ZV_OK);
        length = sizeof certificate;
        QCOMPARE(container_get_cert(0, "Personal", 1, certificate, &length), ZV_ERR_NO_OBJECT);
        QCOMPARE(container_get_prikey(0, "Personal", 1, &algorithm, &bits), ZV_OK); // the keys stay
        QCOMPARE(container_delete(0, "Personal"), ZV_OK);
        QCOMPARE(containerList(), std::string());
    }

    void importRefusesWhatDoesNotFit() {
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        QCOMPARE(pkcs12_import_certificate(0, "C", 1, 0), ZV_ERR_NO_PARSED_FILE);
        const testcerts::KeyPair pair = testcerts::certify(testcerts::rsaKey(), "Wang Wu");
        QCOMPARE(importPkcs12(pair, "C", 1), ZV_OK);
        QCOMPARE(pkcs12_import_certificate(0, "C", 2, 0), ZV_ERR_KEY_IN_CONTAINER);
        QCOMPARE(pkcs12_import_certificate(0, "C", 3, 0), ZV_ERR_ARGUMENTS);
        QCOMPARE(pkcs12_import_certificate(0, "C", 1, 1), ZV_ERR_CERT_INDEX);
        QCOMPARE(pkcs12_import_certificate(0, "bad name ", 1, 0), ZV_ERR_CONTAINER_NAME);
        // A certificate alone cannot replace a pair it does not belong to.
        const testcerts::KeyPair other = testcerts::certify(testcerts::rsaKey(), "Other");
        const QString path = writeFile(QStringLiteral("other.cer"), testcerts::der(other));
        QCOMPARE(x509_import_certificate(0, "C", 1, QFile::encodeName(path).constData()), ZV_ERR_KEY_MISMATCH);
        QCOMPARE(containerList(), std::string("C\0", 2));
    }

    void objectsOfOtherToolsShowAsContainers() {
        QCOMPARE(containerList(), std::string()); // read once: the library keeps what it saw
        const testcerts::KeyPair pair = testcerts::certify(testcerts::rsaKey(), "Foreign user");
        const QString path = writeFile(QStringLiteral("foreign.der"), testcerts::der(pair));
        run(QStringLiteral("pkcs11-tool"),
            {"--module", m_module, "--token-label", "Library test", "--login", "--pin", "12345678", "--write-object",
             path, "--type", "cert", "--id", "a1b2", "--label", "Written elsewhere"});
        run(QStringLiteral("pkcs11-tool"), {"--module", m_module, "--token-label", "Library test", "--login", "--pin",
                                            "12345678", "--write-object", path, "--type", "cert", "--id", "c3d4"});
        // A name the library has not seen yet is looked up afresh...
        uint8_t certificate[16384];
        int32_t length = sizeof certificate;
        QCOMPARE(container_get_cert(0, "Written elsewhere", 1, certificate, &length), ZV_OK);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(certificate), length), testcerts::der(pair));
        // ...and the whole list after a reload. Groups of foreign objects come in the module's object order.
        QCOMPARE(token_reload_all_objects(0), ZV_OK);
        const std::string list = containerList();
        QVERIFY2(list == std::string("Written elsewhere\0c3d4\0", 23) ||
                     list == std::string("c3d4\0Written elsewhere\0", 23),
                 list.c_str());
    }

    void containersAreSeenByOtherTools() {
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        const testcerts::KeyPair pair = testcerts::certify(testcerts::rsaKey(), "Signer");
        QCOMPARE(importPkcs12(pair, "Signing container", 2), ZV_OK);
        QCOMPARE(token_logout(0), ZV_OK);
        const QByteArray listed =
            run(QStringLiteral("pkcs11-tool"),
                {"--module", m_module, "--token-label", "Library test", "--login", "--pin", "12345678", "-O"});
        QVERIFY2(listed.count("label:      Signing container") == 3, listed.constData());
        QVERIFY(listed.contains("Usage:      sign"));

        // The imported key signs for other tools, and openssl verifies the signature with the certificate.
        const QString data = writeFile(QStringLiteral("data.txt"), "payment order 42\n");
        const QString signature = m_home->filePath(QStringLiteral("data.sig"));
        run(QStringLiteral("pkcs11-tool"),
            {"--module", m_module, "--token-label", "Library test", "--login", "--pin", "12345678", "--sign", "-m",
             "SHA256-RSA-PKCS", "--label", "Signing container", "-i", data, "-o", signature});
        const QString publicKey = m_home->filePath(QStringLiteral("signer.pub"));
        {
            BIO* out = BIO_new_file(QFile::encodeName(publicKey).constData(), "w");
            PEM_write_bio_PUBKEY(out, pair.key.get());
            BIO_free(out);
        }
        run(QStringLiteral("openssl"), {"dgst", "-sha256", "-verify", publicKey, "-signature", signature, data});

        // p11tool stalls on an instrumented module (the sanitizer run); the plain run covers it.
        if (QFile::exists(QStringLiteral("/usr/bin/p11tool")) &&
            !clientEnvironment().contains(QStringLiteral("LD_PRELOAD"))) {
            QProcess p11tool;
            p11tool.setProcessEnvironment(clientEnvironment());
            p11tool.start(QStringLiteral("p11tool"), {"--provider", m_module, "--list-all", "--login",
                                                      "--set-pin=12345678", "pkcs11:token=Library%20test"});
            QVERIFY(p11tool.waitForFinished(60000));
            const QByteArray all = p11tool.readAllStandardOutput();
            QVERIFY2(all.contains("Label: Signing container"), all.constData());
        }
    }

    void certificatesGoToTheUsersDatabase() {
        const testcerts::KeyPair root = testcerts::certify(testcerts::rsaKey(), "Demo Root", nullptr, true);
        const testcerts::KeyPair user = testcerts::certify(testcerts::rsaKey(), "张三", &root, false, 2);
        const QByteArray rootDer = testcerts::der(root), userDer = testcerts::der(user);
        const char16_t storeName[] = u"root";
        QCOMPARE(helper_add_root_cert_to_store(reinterpret_cast<const uint16_t*>(storeName),
                                               reinterpret_cast<const uint8_t*>(rootDer.constData()),
                                               int32_t(rootDer.size())),
                 ZV_OK);
        QCOMPARE(container_addcert_to_store("Personal", "Quorvex CSP", 2, int32_t(userDer.size()),
                                            reinterpret_cast<const uint8_t*>(userDer.constData())),
                 ZV_OK);
        const QByteArray listed =
            run(QStringLiteral("certutil"), {"-L", "-d", "sql:" + m_home->filePath(QStringLiteral(".pki/nssdb"))});
        QVERIFY2(listed.contains("Quorvex CSP:Personal:2"), listed.constData());
        QVERIFY2(listed.contains("CT,C,C"), listed.constData());
    }

    void theProgramsViewerShowsCertificates() {
        static int shown = 0;
        const uint8_t certificate[] = {0x30, 0x00};
        QCOMPARE(helper_show_cert_ui(nullptr, certificate, sizeof certificate), ZV_ERR_NOT_SUPPORTED);
        QCOMPARE(helper_register_cert_viewer([](void*, const uint8_t*, int32_t length) -> int32_t {
                     shown = length;
                     return ZV_OK;
                 }),
                 ZV_OK);
        QCOMPARE(helper_show_cert_ui(nullptr, certificate, sizeof certificate), ZV_OK);
        QCOMPARE(shown, 2);
        QCOMPARE(helper_register_cert_viewer(nullptr), ZV_OK);
        QCOMPARE(helper_show_cert_ui(nullptr, certificate, sizeof certificate), ZV_ERR_NOT_SUPPORTED);
    }

    void emptyPinMeansAFinger() {
        if (!m_virtual)
            QSKIP("SoftHSM2 has no sensor");
        run(QStringLiteral(VTOKEN_PROGRAM), {"set", "VXLIB00000000001", "--sensor", "fingerprint"});
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "", &remaining), int32_t(VX_CKR_FINGER_NOT_ENROLLED));
    }

    void extensionOnlyFunctions() {
        char label[64] = "新标签";
        int32_t remaining = 0;
        uint8_t sectors[2 * 2048] = {1, 2, 3};
        if (!m_virtual) {
            QCOMPARE(token_set_label(0, label), ZV_ERR_NOT_SUPPORTED);
            QCOMPARE(token_write_sectors(0, 0, 2, sectors), ZV_ERR_NOT_SUPPORTED);
            return;
        }
        QCOMPARE(token_set_label(0, label), ZV_OK);
        TokenFigures shown;
        QCOMPARE(shown.read(0), ZV_OK);
        QCOMPARE(QByteArray(shown.label), QByteArray("新标签"));

        QCOMPARE(token_write_sectors(0, 0, 2, sectors), int32_t(CKR_USER_NOT_LOGGED_IN));
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        QCOMPARE(token_write_sectors(0, 3, 2, sectors), int32_t(CKR_ARGUMENTS_BAD)); // beyond the partition
        QCOMPARE(token_write_sectors(0, 2, 2, sectors), ZV_OK);
        QCOMPARE(token_write_sectors(0, -1, 2, sectors), ZV_ERR_ARGUMENTS);

        // A format follows a proven SO PIN; the login in between has ended.
        QCOMPARE(container_create_new(0, "Gone after the format"), ZV_OK);
        QCOMPARE(token_logout(0), ZV_OK);
        QCOMPARE(token_login_so(0, "87654321", &remaining), ZV_OK);
        QCOMPARE(token_logout(0), ZV_OK);
        const FormatBlock block =
            formatBlock("Formatted", "Tesmar", "Ravuvor", "tavok123", "58203716", {6, 9, 6, 10, 8, 12});
        QCOMPARE(token_format(0, block.data()), ZV_OK);
        QCOMPARE(containerList(), std::string());
        QCOMPARE(token_login(0, "58203716", &remaining), ZV_OK);
        int32_t state[6];
        QCOMPARE(token_get_pin_state(0, 0, state), ZV_OK);
        QCOMPARE(state[1], 9); // the SO PIN's new maximum of tries
        TokenFigures formatted;
        QCOMPARE(formatted.read(0), ZV_OK);
        QCOMPARE(QByteArray(formatted.manufacturer), QByteArray("Tesmar"));
        QCOMPARE((std::array{formatted.figures[1], formatted.figures[0], formatted.figures[3], formatted.figures[2]}),
                 (std::array{6, 10, 8, 12}));
        // Everything the block set shows on the token; its serial and its CD-ROM content stay.
        const QByteArray listed = run(QStringLiteral(VTOKEN_PROGRAM), {"show", "VXLIB00000000001"});
        for (const char* line :
             {"serial: VXLIB00000000001\n", "label: Formatted\n", "manufacturer: Tesmar\n", "issuer: Ravuvor\n",
              "memory used: 0\n", "user PIN min length: 6\n", "user PIN max length: 10\n", "user PIN retries: 6 of 6\n",
              "SO PIN min length: 8\n", "SO PIN max length: 12\n", "SO PIN retries: 9 of 9\n"})
            QVERIFY2(listed.contains(line), line);
        const QByteArray cdrom = run(QStringLiteral(VTOKEN_PROGRAM), {"cdrom", "dump", "VXLIB00000000001"});
        QCOMPARE(cdrom.mid(2 * 2048, 3), QByteArray("\x01\x02\x03"));
    }

    // Writes go to the module chunk by chunk: the first chunk beyond the partition ends the write, and what came
    // before it stays written.
    void cdromWriteStopsAtTheFirstChunkBeyondThePartition() {
        if (!m_virtual)
            QSKIP("only the vendor extension writes the CD-ROM partition");
        run(QStringLiteral(VTOKEN_PROGRAM), {"set", "VXLIB00000000001", "--cdrom-sectors", "300"});
        int32_t remaining = 0;
        QCOMPARE(token_login(0, "12345678", &remaining), ZV_OK);
        QByteArray image(400 * 2048, '\0');
        for (int sector = 0; sector < 400; ++sector)
            std::memset(image.data() + sector * 2048, sector % 251 + 1, 2048);
        QCOMPARE(token_write_sectors(0, 0, 400, reinterpret_cast<const uint8_t*>(image.constData())),
                 int32_t(CKR_ARGUMENTS_BAD));
        const QString dump = m_home->filePath(QStringLiteral("cdrom.iso"));
        run(QStringLiteral(VTOKEN_PROGRAM), {"cdrom", "dump", "VXLIB00000000001", "--output", dump});
        QFile file(dump);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray back = file.readAll();
        QCOMPARE(back.size(), 300 * 2048);
        QCOMPARE(back.left(256 * 2048), image.left(256 * 2048));
        QCOMPARE(back.mid(256 * 2048), QByteArray(44 * 2048, '\0'));
    }

    // The SO PIN has length limits of its own on the virtual token; plain PKCS#11 has one pair for both PINs.
    void soPinLengthsAreItsOwn() {
        TokenFigures figures;
        QCOMPARE(figures.read(0), ZV_OK);
        int32_t user[6], so[6];
        QCOMPARE(token_get_pin_state(0, 1, user), ZV_OK);
        QCOMPARE(token_get_pin_state(0, 0, so), ZV_OK);
        const std::array<int32_t, 2> userLimits = m_virtual ? std::array{4, 16} : std::array{4, 255};
        const std::array<int32_t, 2> soLimits = m_virtual ? std::array{6, 12} : userLimits;
        QCOMPARE((std::array{figures.figures[1], figures.figures[0]}), userLimits);
        QCOMPARE((std::array{figures.figures[3], figures.figures[2]}), soLimits);
        QCOMPARE((std::array{user[2], user[3]}), userLimits);
        QCOMPARE((std::array{so[2], so[3]}), soLimits);
    }

    // A format presents only an SO PIN that the last SO login proved: a guessed one would spend a try. A token never
    // initialized has none to prove. Without the extension the format is plain PKCS#11: the label and both PINs.
    void formatNeedsAProvenSoPin_data() {
        QTest::addColumn<bool>("fresh");
        QTest::addColumn<QStringList>("soLogins");
        QTest::addColumn<int>("result");
        QTest::newRow("no SO login") << false << QStringList{} << int(ZV_ERR_SO_NOT_LOGGED_IN);
        QTest::newRow("the last SO login failed")
            << false << QStringList{"87654321", "11111111"} << int(ZV_ERR_SO_NOT_LOGGED_IN);
        QTest::newRow("a failed SO login, then a good one") << false << QStringList{"11111111", "87654321"} << ZV_OK;
        QTest::newRow("a token never initialized") << true << QStringList{} << ZV_OK;
    }
    void formatNeedsAProvenSoPin() {
        QFETCH(bool, fresh);
        QFETCH(QStringList, soLogins);
        QFETCH(int, result);
        const int32_t index = fresh ? 1 : 0;
        if (fresh) { // SoftHSM2 always offers one
            if (m_virtual)
                run(QStringLiteral(VTOKEN_PROGRAM),
                    {"create", "--serial", "VXLIB00000000002", "--uninitialized", "--plugged"});
            char serials[128];
            int32_t count = 32;
            QCOMPARE(token_find(serials, &count), ZV_OK);
            QCOMPARE(count, 2);
            QCOMPARE(token_connect(index), ZV_OK);
        }
        TokenFigures before;
        QCOMPARE(before.read(index), ZV_OK);
        QCOMPARE(before.figures[8], fresh ? 0 : 1);
        int32_t remaining = 0;
        for (const QString& pin : soLogins)
            token_login_so(index, pin.toLatin1().constData(), &remaining);
        if (!fresh)
            QCOMPARE(token_logout(index), ZV_OK);
        int32_t soBefore[6], soAfter[6];
        QCOMPARE(token_get_pin_state(index, 0, soBefore), ZV_OK);
        const FormatBlock block =
            formatBlock("Plain format", "Tesmar", "Ravuvor", "tavok123", "58203716", {6, 9, 6, 10, 8, 12});
        QCOMPARE(token_format(index, block.data()), result);
        QCOMPARE(token_get_pin_state(index, 0, soAfter), ZV_OK);
        uint32_t features = 99;
        QCOMPARE(token_get_features(index, &features), ZV_OK);
        QCOMPARE(features, m_virtual ? ZV_FEATURE_VENDOR_EXTENSION : 0u);
        TokenFigures after;
        QCOMPARE(after.read(index), ZV_OK);
        if (result != ZV_OK) {
            // Untouched: no SO PIN try spent (the virtual token counts them exactly), the label and the PIN kept.
            QCOMPARE(soAfter[0], soBefore[0]);
            QCOMPARE(QByteArray(after.label), QByteArray("Library test"));
            QCOMPARE(token_login(index, "12345678", &remaining), ZV_OK);
            return;
        }
        QCOMPARE(QByteArray(after.label), QByteArray("Plain format"));
        QCOMPARE(after.figures[8], 1);
        if (m_virtual || !fresh) // SoftHSM2 gives a token its serial when first initializing it
            QCOMPARE(QByteArray(after.serial), QByteArray(before.serial));
        // What only the extension sets stays as the token had it on SoftHSM2.
        QCOMPARE(QByteArray(after.manufacturer), QByteArray(m_virtual ? "Tesmar" : "SoftHSM project"));
        QCOMPARE(token_login(index, "58203716", &remaining), ZV_OK);
        QCOMPARE(token_login_so(index, "tavok123", &remaining), ZV_OK);
        QCOMPARE(token_logout(index), ZV_OK);
        QCOMPARE(token_login(index, "12345678", &remaining), int32_t(CKR_PIN_INCORRECT));
    }
};

QTEST_GUILESS_MAIN(TokenLibraryTest)
#include "TokenLibraryTest.moc"
