#include "common/OperationTrace.h"
#include "common/TestFiles.h"
#include "token/StoreRegistration.h"
#include "token/TokenLibrary.h"
#include "tokenlib/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <type_traits>

// The program's binding of libZovevOdu.so, on virtual tokens: the composite operations and the trace they leave.
class TokenLibraryBindingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TokenLibrary> m_library;

    QString logFolder() const { return m_home->filePath(QStringLiteral("KeyLog")); }

    QByteArray trace() const { return readOperationTrace(logFolder()); }

    void vtoken(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral(VTOKEN_PROGRAM), arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            qFatal("vtoken %s failed", qPrintable(arguments.join(u' ')));
    }

    // The user's certificate store as certutil lists it, one "nickname  trust" line per certificate; nothing when it
    // cannot be read.
    QList<QByteArray> storeListing() const {
        QProcess process;
        process.start(QStringLiteral("certutil"),
                      {"-L", "-d", "sql:" + m_home->filePath(QStringLiteral(".pki/nssdb"))});
        if (!process.waitForFinished(30000))
            qFatal("certutil did not finish");
        QList<QByteArray> lines;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n'))
            if (!line.trimmed().isEmpty() && !line.startsWith("Certificate Nickname") && !line.contains("SSL,S/MIME"))
                lines << line.trimmed();
        return lines;
    }

    void openOn(std::initializer_list<const char*> serials) {
        for (const char* serial : serials)
            vtoken({"create", "--serial", serial, "--label", "Binding", "--plugged"});
        QCOMPARE(m_library->OpenTokenLibrary(QStringLiteral(VTOKEN_MODULE), {}, {}, {}), 0);
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("VTOKEN_HOME", QFile::encodeName(m_home->path()));
        qputenv("HOME", QFile::encodeName(m_home->path()));
        QVERIFY(QDir().mkpath(logFolder()));
        m_library = std::make_unique<TokenLibrary>(QStringLiteral(ZV_LIBRARY_DIR "/"), OperationLog(logFolder()));
        QVERIFY(m_library->isLoaded());
    }

    void cleanup() {
        m_library->uninit_pkcs11();
        m_library.reset();
    }

    void noTokenIsResultOneWithoutConnecting() {
        openOn({});
        int32_t count = 7;
        QCOMPARE(m_library->FindAndConnectTokens(count), TokenLibrary::NoTokenFound);
        QCOMPARE(count, 0);
        const QByteArray lines = trace();
        QVERIFY(lines.contains("> init_pkcs11 begin pName=" VTOKEN_MODULE "\r\n"));
        QVERIFY(lines.contains("> token_find begin kn=32\r\n"));
        QVERIFY(lines.contains("> token_find end rtn=0\r\n"));
        QVERIFY(!lines.contains("token_connect"));
    }

    void everyTokenFoundIsConnected() {
        openOn({"VXBIND0000000001", "VXBIND0000000002"});
        int32_t count = 0;
        QCOMPARE(m_library->FindAndConnectTokens(count), 0);
        QCOMPARE(count, 2);
        QVERIFY(trace().contains("token_connect begin keyindex=1\r\n"));
        TTokenInfo info;
        QCOMPARE(m_library->token_get_info_ex(1, info), 0);
        QCOMPARE(QByteArray(info.serial.data()), QByteArray("VXBIND0000000002"));
        uint32_t features = 0;
        QCOMPARE(m_library->token_get_features(1, features), 0);
        QCOMPARE(features, ZV_FEATURE_VENDOR_EXTENSION);
        QVERIFY(trace().contains("token_get_features begin KID=1\r\n"));
        QVERIFY(trace().contains("token_get_features end rtn=0\r\n"));
    }

    void lastFailingConnectionDecidesTheResult() {
        // The third token is pulled out between the search and its connection: the trace's clock pulls it as the
        // third connection is about to be logged.
        // The library outlives this function (cleanup shuts it down), so the clock owns what it uses.
        const auto pulled = std::make_shared<bool>(false);
        m_library = std::make_unique<TokenLibrary>(
            QStringLiteral(ZV_LIBRARY_DIR "/"), OperationLog(logFolder(), [this, pulled] {
                if (!*pulled && trace().count("token_connect end rtn=0\r\n") == 2) {
                    *pulled = true;
                    vtoken({"unplug", "VXBIND0000000013"});
                }
                return QDateTime::currentDateTime();
            }));
        openOn({"VXBIND0000000011", "VXBIND0000000012", "VXBIND0000000013"});
        int32_t count = 0;
        const int32_t rv = m_library->FindAndConnectTokens(count);
        QVERIFY(*pulled);
        QCOMPARE(count, 3);
        QVERIFY(rv != 0);
        const QByteArray lines = trace();
        QCOMPARE(lines.count("token_connect end rtn=0\r\n"), 2);
        QVERIFY(lines.endsWith("> token_connect end rtn=" + QByteArray::number(rv) + "\r\n"));
    }

    void openingWithAnEnumerationStringIsNotTraced() {
        vtoken({"create", "--serial", "VXBIND0000000003", "--plugged"});
        QCOMPARE(m_library->OpenTokenLibrary(QStringLiteral(VTOKEN_MODULE), QStringLiteral("USB\\VID_1D99"),
                                             QStringLiteral("OEM"), QStringLiteral("APP")),
                 0);
        QVERIFY(!trace().contains("init_pkcs11"));
    }

    void containerListKeepsBlanksAndStopsAt65() {
        openOn({"VXBIND0000000004"});
        int32_t count = 0, remaining = 0;
        QCOMPARE(m_library->FindAndConnectTokens(count), 0);
        QCOMPARE(m_library->token_login(0, QStringLiteral("12345678"), remaining), 0);
        for (int i = 1; i <= 70; ++i)
            QCOMPARE(
                m_library->container_create_new(0, QStringLiteral("Key %1").arg(i, 2, 10, QLatin1Char('0')).toUtf8()),
                0);
        TTokenInfo info;
        info.containerCount = 99;
        QCOMPARE(m_library->LoadContainerList(0, info), 0);
        QCOMPARE(info.containerCount, 65);
        QCOMPARE(info.containerNames[0], QByteArray("Key 01"));
        QCOMPARE(info.containerNames[64], QByteArray("Key 65"));
    }

    void secretsNeverReachTheTrace() {
        openOn({"VXBIND0000000005"});
        int32_t count = 0, remaining = 0;
        QCOMPARE(m_library->FindAndConnectTokens(count), 0);
        QCOMPARE(m_library->token_login(0, QStringLiteral("12345678"), remaining), 0);
        QCOMPARE(m_library->token_change_upin(0, QStringLiteral("12345678"), QStringLiteral("24681357")), 0);
        m_library->token_login_so(0, QStringLiteral("87654321"), remaining);
        m_library->token_set_upin(0, QStringLiteral("87654321"), QStringLiteral("13572468"));
        m_library->token_change_sopin(0, QStringLiteral("87654321"), QStringLiteral("55556666"));
        int32_t certificates = 0;
        m_library->pkcs12_file_parse(m_home->filePath(QStringLiteral("none.p12")), QStringLiteral("p12secret"),
                                     certificates);
        const QByteArray lines = trace();
        for (const char* secret : {"12345678", "24681357", "87654321", "13572468", "55556666", "p12secret"})
            QVERIFY2(!lines.contains(secret), secret);
        QVERIFY(lines.contains("token_login begin UPIN=***\r\n"));
        QVERIFY(lines.contains("pkcs12_file_parse begin password=***\r\n"));
        QVERIFY(lines.contains("token_login end rtn=0\r\n"));
        // A PIN cannot be copied, nor turned into text for a log or a debug print, by mistake.
        static_assert(!std::is_copy_constructible_v<Pin> && !std::is_convertible_v<const Pin&, QString> &&
                      !std::is_constructible_v<QString, const Pin&> &&
                      !std::is_constructible_v<QByteArray, const Pin&>);
    }

    void labelGoesAsUtf8() {
        openOn({"VXBIND0000000006"});
        int32_t count = 0;
        QCOMPARE(m_library->FindAndConnectTokens(count), 0);
        QCOMPARE(m_library->SetTokenLabel(0, QStringLiteral("网银")), 0);
        TTokenInfo info;
        QCOMPARE(m_library->token_get_info_ex(0, info), 0);
        QCOMPARE(QByteArray(info.label.data()), QByteArray("\xE7\xBD\x91\xE9\x93\xB6"));
        QVERIFY(trace().contains(QStringLiteral("token_set_label begin KeyName=网银").toUtf8()));
    }

    void certificateInfoOfAMissingUsageLeavesTheRecord() {
        openOn({"VXBIND0000000007"});
        int32_t count = 0, remaining = 0;
        QCOMPARE(m_library->FindAndConnectTokens(count), 0);
        QCOMPARE(m_library->token_login(0, QStringLiteral("12345678"), remaining), 0);
        const testcerts::KeyPair pair = testcerts::certify(testcerts::rsaKey(), "赵六");
        QFile file(m_home->filePath(QStringLiteral("signer.p12")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(testcerts::pkcs12(pair, "secret"));
        file.close();
        QCOMPARE(m_library->pkcs12_file_parse(file.fileName(), QStringLiteral("secret"), count), 0);
        QCOMPARE(m_library->pkcs12_import_certificate(0, "Signer", 2, 0), 0);

        TTokenCertInfo info;
        info.subject = QStringLiteral("kept");
        QCOMPARE(m_library->ReadCertInfo(0, "Signer", 1, info), int32_t(ZV_ERR_NO_OBJECT));
        QCOMPARE(info.subject, QStringLiteral("kept"));
        QCOMPARE(m_library->ReadCertInfo(0, "Signer", 2, info), 0);
        QCOMPARE(info.subject, QStringLiteral("赵六"));
        QCOMPARE(info.keyBits, 2048);
        int32_t algorithm = 0;
        QCOMPARE(m_library->ReadPublicKeyAlgorithm(0, "Signer", 2, algorithm), 0);
        QCOMPARE(m_library->ReadPrivateKeyAlgorithm(0, "Signer", 2, algorithm), 0);
        QCOMPARE(info.certificate, testcerts::der(pair));
        QCOMPARE(info.validFrom.size(), 10);
        QVERIFY(trace().contains("container_get_pubkey begin cont_id=Signer"));
    }

    // Which certificates of the demo token each registration mode registers, and the code of a store that refuses:
    // an RSA pair in two usages, an EC signature pair, a root and an issuing CA. The removal afterwards takes what
    // the provider registered, its name matched exactly, and leaves the authorities.
    void registrationModes_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("brokenStore");
        QTest::addColumn<int>("result");
        QTest::addColumn<QList<QByteArray>>("registered");
        const QByteArray rsa = "张三 Zhang San", ec = "李四 Li Si EC";
        QTest::newRow("0: every one") << 0 << false << 0 << QList<QByteArray>{rsa, rsa, ec};
        QTest::newRow("1: none with an ECC key") << 1 << false << 0 << QList<QByteArray>{rsa, rsa};
        QTest::newRow("2: signatures without ECC") << 2 << false << 0 << QList<QByteArray>{rsa};
        QTest::newRow("5: only the authorities") << 5 << false << 0 << QList<QByteArray>{};
        QTest::newRow("a refused key exchange") << 0 << true << 10000 + ZV_ERR_CERT_STORE << QList<QByteArray>{rsa};
        QTest::newRow("a refused signature") << 2 << true << 20000 + ZV_ERR_CERT_STORE << QList<QByteArray>{rsa};
    }
    void registrationModes() {
        QFETCH(int, mode);
        QFETCH(bool, brokenStore);
        QFETCH(QList<QByteArray>, registered);
        vtoken({"create", "--serial", "VXBIND0000000009", "--demo", "--plugged"});
        if (brokenStore) // a file where the user's certificate database belongs
            writeTestFile(m_home->filePath(QStringLiteral(".pki/nssdb")), "not a database");
        openOn({});
        int32_t count = 0;
        QCOMPARE(m_library->FindAndConnectTokens(count), 0);
        TTokenInfo info;
        QTEST(StoreRegistration::RegisterTokenCertificates(*m_library, 0, info, QStringLiteral("VX CSP"), mode),
              "result");
        QList<QByteArray> attempted;
        int authorities = 0;
        const QByteArray marker = "container_addcert_to_store begin containerName=";
        for (const QByteArray& line : trace().split('\n')) {
            if (const qsizetype at = line.indexOf(marker); at >= 0)
                attempted << line.mid(at + marker.size()).trimmed();
            authorities += line.contains("helper_add_root_cert_to_store begin");
        }
        QCOMPARE(attempted, registered);
        // The authorities go in whatever the mode, until a refusal ends the run.
        QCOMPARE(authorities, brokenStore ? 0 : 2);

        const QList<QByteArray> stored = storeListing();
        QCOMPARE(stored.size(), brokenStore ? 0 : 2 + registered.size());
        QCOMPARE(StoreRegistration::RemoveCspCertificates(QStringLiteral("vx csp")), 0);
        QCOMPARE(storeListing(), stored);
        QCOMPARE(StoreRegistration::RemoveCspCertificates(QStringLiteral("VX CSP")), 0);
        const QList<QByteArray> left = storeListing();
        QCOMPARE(left.size(), brokenStore ? 0 : 2);
        for (const QByteArray& line : left)
            QVERIFY2(!line.contains("VX CSP:"), line.constData());
    }
};

QTEST_GUILESS_MAIN(TokenLibraryBindingTest)
#include "TokenLibraryBindingTest.moc"
