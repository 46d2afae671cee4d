#include "tokenlib/CertificateFiles.h"
#include "common/TestFiles.h"
#include "shared/ZovevOdu.h"

#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509v3.h>

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace zv;

namespace {

using Key = std::shared_ptr<EVP_PKEY>;
using Cert = std::shared_ptr<X509>;

struct NameEntry {
    int nid;
    int type; // MBSTRING_UTF8, or a V_ASN1_* string type whose raw bytes `value` holds
    QByteArray value;
};
using Name = QList<NameEntry>;

Name cn(const QByteArray& text) {
    return {{NID_commonName, MBSTRING_UTF8, text}};
}

const unsigned char* bytes(const QByteArray& data) {
    return reinterpret_cast<const unsigned char*>(data.constData());
}

Key ecKey(const char* curve = "P-256") {
    return Key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", curve), EVP_PKEY_free);
}

struct Recipe {
    Name subject;
    Key key;
    Cert issuer; // null: self-issued
    Key signer;  // null: `key`
    int ca = -1; // basicConstraints: -1 absent, 0 CA:FALSE, 1 CA:TRUE
    QByteArray serial = QByteArray::fromHex("01");
    const char* notBefore = "240101000000Z";
    const char* notAfter = "20510102030405Z";
    int version = 3;
    int filler = 0; // bytes of a private extension
};

Cert makeCertificate(const Recipe& recipe) {
    Cert x(X509_new(), X509_free);
    X509_set_version(x.get(), recipe.version - 1);
    BIGNUM* number = BN_bin2bn(bytes(recipe.serial), int(recipe.serial.size()), nullptr);
    ASN1_INTEGER* serial = BN_to_ASN1_INTEGER(number, nullptr);
    X509_set_serialNumber(x.get(), serial);
    ASN1_INTEGER_free(serial);
    BN_free(number);
    ASN1_TIME* time = ASN1_TIME_new();
    if (!ASN1_TIME_set_string(time, recipe.notBefore) || !X509_set1_notBefore(x.get(), time) ||
        !ASN1_TIME_set_string(time, recipe.notAfter) || !X509_set1_notAfter(x.get(), time))
        qFatal("bad test time");
    ASN1_TIME_free(time);
    X509_NAME* name = X509_get_subject_name(x.get());
    for (const NameEntry& entry : recipe.subject)
        X509_NAME_add_entry_by_NID(name, entry.nid, entry.type, bytes(entry.value), int(entry.value.size()), -1, 0);
    X509_set_issuer_name(x.get(), recipe.issuer ? X509_get_subject_name(recipe.issuer.get()) : name);
    X509_set_pubkey(x.get(), recipe.key.get());
    if (recipe.ca >= 0) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, nullptr, NID_basic_constraints,
                                                        recipe.ca ? "critical,CA:TRUE" : "critical,CA:FALSE");
        X509_add_ext(x.get(), extension, -1);
        X509_EXTENSION_free(extension);
    }
    if (recipe.filler > 0) {
        ASN1_OCTET_STRING* value = ASN1_OCTET_STRING_new();
        ASN1_OCTET_STRING_set(value, bytes(QByteArray(recipe.filler, 'x')), recipe.filler);
        ASN1_OBJECT* oid = OBJ_txt2obj("1.3.6.1.4.1.55555.1", 1);
        X509_EXTENSION* extension = X509_EXTENSION_create_by_OBJ(nullptr, oid, 0, value);
        X509_add_ext(x.get(), extension, -1);
        X509_EXTENSION_free(extension);
        ASN1_OBJECT_free(oid);
        ASN1_OCTET_STRING_free(value);
    }
    if (!X509_sign(x.get(), (recipe.signer ? recipe.signer : recipe.key).get(), EVP_sha256()))
        qFatal("cannot sign a test certificate");
    return x;
}

template <typename T> QByteArray encoded(int (*i2d)(const T*, unsigned char**), const T* object) {
    unsigned char* data = nullptr;
    const int length = i2d(object, &data);
    QByteArray result(reinterpret_cast<char*>(data), length);
    OPENSSL_free(data);
    return result;
}

QByteArray der(const X509* certificate) {
    return encoded(i2d_X509, certificate);
}

QByteArray bioText(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    QByteArray result(data, int(length));
    BIO_free(bio);
    return result;
}

enum Parser { Pkcs12File, Pkcs7File, X509File };

int32_t parse(int parser, const QString& path, const QByteArray& password, CertificateFile& file) {
    if (parser == Pkcs12File)
        return CertificateFile::parsePkcs12(path.toStdString(), password.toStdString(), file);
    if (parser == Pkcs7File)
        return CertificateFile::parsePkcs7(path.toStdString(), file);
    return CertificateFile::parseX509(path.toStdString(), file);
}

} // namespace

Q_DECLARE_METATYPE(NameEntry)

// Reading PKCS#12, PKCS#7 and X.509 files, with all material made here at run time, and summarizing certificates.
class CertificateFilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    OSSL_LIB_CTX* m_legacy = nullptr; // makes the RC2 files without touching this process's default context
    OSSL_PROVIDER* m_providers[2] = {};
    // Certificates: 0 root, 1 intermediate, 2 end entity RSA "张三", 3 end entity EC, 4-6 a deeper chain ending in
    // an end entity, 7 a certificate over 16384 bytes. Keys: 0 for 2, 1 for 3, 2 for 6, 3 for 7, 4 for 4 and 5.
    std::vector<Cert> m_certs;
    std::vector<Key> m_keys;
    Key m_rootKey, m_intermediateKey;

    struct P12 {
        QList<int> certs;
        QList<int> keys;
        const char* password = "secret";
        int certPbe = NID_aes_256_cbc; // -1: unencrypted
        int keyPbe = NID_aes_256_cbc;
        const EVP_MD* mac = EVP_sha256(); // null: no MAC
    };

    PKCS12* buildPkcs12(const P12& p) {
        STACK_OF(PKCS12_SAFEBAG)* certBags = nullptr;
        STACK_OF(PKCS12_SAFEBAG)* keyBags = nullptr;
        STACK_OF(PKCS7)* safes = nullptr;
        for (int c : p.certs)
            PKCS12_add_cert(&certBags, m_certs[c].get());
        for (int k : p.keys)
            PKCS12_add_key_ex(&keyBags, m_keys[k].get(), 0, 2048, p.keyPbe, p.password, m_legacy, nullptr);
        if (certBags)
            PKCS12_add_safe_ex(&safes, certBags, p.certPbe, 2048, p.password, m_legacy, nullptr);
        if (keyBags)
            PKCS12_add_safe_ex(&safes, keyBags, -1, 0, nullptr, m_legacy, nullptr);
        PKCS12* p12 = PKCS12_add_safes_ex(safes, 0, m_legacy, nullptr);
        if (!p12 || (p.mac && !PKCS12_set_mac(p12, p.password, -1, nullptr, 0, 2048, p.mac)))
            qFatal("cannot build a test PKCS#12 file");
        sk_PKCS12_SAFEBAG_pop_free(certBags, PKCS12_SAFEBAG_free);
        sk_PKCS12_SAFEBAG_pop_free(keyBags, PKCS12_SAFEBAG_free);
        sk_PKCS7_pop_free(safes, PKCS7_free);
        return p12;
    }

    static QByteArray encode(PKCS12* p12) {
        const QByteArray result = encoded(i2d_PKCS12, p12);
        PKCS12_free(p12);
        return result;
    }

    QByteArray pkcs12(const P12& p) { return encode(buildPkcs12(p)); }

    // A file whose encrypted part announces two billion key derivation rounds; its MAC is valid.
    QByteArray pkcs12WithCostlySafe() {
        PKCS12* p12 = buildPkcs12({{2}, {0}});
        STACK_OF(PKCS7)* safes = PKCS12_unpack_authsafes(p12);
        PKCS12_free(p12);
        for (int i = 0; i < sk_PKCS7_num(safes); ++i) {
            PKCS7* safe = sk_PKCS7_value(safes, i);
            if (OBJ_obj2nid(safe->type) == NID_pkcs7_encrypted) {
                X509_ALGOR_free(safe->d.encrypted->enc_data->algorithm);
                safe->d.encrypted->enc_data->algorithm =
                    PKCS5_pbe_set(NID_pbe_WithSHA1And3_Key_TripleDES_CBC, 2000000000, nullptr, 8);
            }
        }
        p12 = PKCS12_add_safes_ex(safes, 0, m_legacy, nullptr);
        PKCS12_set_mac(p12, "secret", -1, nullptr, 0, 2048, EVP_sha256());
        sk_PKCS7_pop_free(safes, PKCS7_free);
        return encode(p12);
    }

    QByteArray pkcs12WithCostlyMac() {
        PKCS12* p12 = buildPkcs12({{2}, {0}});
        const ASN1_INTEGER* rounds = nullptr;
        PKCS12_get0_mac(nullptr, nullptr, nullptr, &rounds, p12);
        ASN1_INTEGER_set(const_cast<ASN1_INTEGER*>(rounds), 2000000000);
        return encode(p12);
    }

    QByteArray pkcs7(const QList<int>& certs, bool pem, int type = NID_pkcs7_signed) {
        PKCS7* p7 = PKCS7_new();
        PKCS7_set_type(p7, type);
        if (type == NID_pkcs7_signed)
            PKCS7_content_new(p7, NID_pkcs7_data);
        for (int c : certs)
            PKCS7_add_certificate(p7, m_certs[c].get());
        BIO* bio = BIO_new(BIO_s_mem());
        if (pem)
            PEM_write_bio_PKCS7(bio, p7);
        else
            i2d_PKCS7_bio(bio, p7);
        PKCS7_free(p7);
        return bioText(bio);
    }

    QByteArray pem(int c, bool trusted = false) {
        BIO* bio = BIO_new(BIO_s_mem());
        if (trusted)
            PEM_write_bio_X509_AUX(bio, m_certs[c].get());
        else
            PEM_write_bio_X509(bio, m_certs[c].get());
        return bioText(bio);
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_legacy = OSSL_LIB_CTX_new();
        m_providers[0] = OSSL_PROVIDER_load(m_legacy, "default");
        m_providers[1] = OSSL_PROVIDER_load(m_legacy, "legacy");
        QVERIFY(m_providers[0] && m_providers[1]);
        m_rootKey = ecKey();
        m_intermediateKey = ecKey();
        m_keys = {Key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t(2048)), EVP_PKEY_free), ecKey(), ecKey(),
                  ecKey(), ecKey()};
        const Cert root = makeCertificate({cn("Root CA"), m_rootKey, {}, {}, 1});
        const Cert intermediate = makeCertificate({cn("Intermediate CA"), m_intermediateKey, root, m_rootKey, 1});
        const Name person = {{NID_organizationName, MBSTRING_UTF8, "Acme"}, {NID_commonName, MBSTRING_UTF8, "张三"}};
        const Cert second = makeCertificate({cn("Second CA"), m_keys[4], intermediate, m_intermediateKey, 1});
        const Cert third = makeCertificate({cn("Third CA"), m_keys[4], second, m_keys[4], 1});
        m_certs = {root,
                   intermediate,
                   makeCertificate({person, m_keys[0], intermediate, m_intermediateKey}),
                   makeCertificate({cn("李四"), m_keys[1], intermediate, m_intermediateKey}),
                   second,
                   third,
                   makeCertificate({cn("Deep"), m_keys[2], third, m_keys[4]}),
                   makeCertificate({cn("Large"), m_keys[3], intermediate, m_intermediateKey, -1,
                                    QByteArray::fromHex("01"), "240101000000Z", "20510102030405Z", 3, 20000})};
        QVERIFY(size_t(der(m_certs[7].get()).size()) > MaximumCertificateBytes);
    }

    void cleanupTestCase() {
        // A provider still loaded keeps its module's own context alive past the context it was loaded into.
        for (OSSL_PROVIDER* provider : m_providers)
            OSSL_PROVIDER_unload(provider);
        OSSL_LIB_CTX_free(m_legacy);
    }

    void parseFiles_data() {
        QTest::addColumn<int>("parser");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("code");
        QTest::addColumn<QList<int>>("certs"); // expected, in order
        QTest::addColumn<QList<int>>("keys");  // the key each one carries, -1 none

        const auto ok = [](const char* name, int parser, const QByteArray& content, const QByteArray& password,
                           const QList<int>& certs, const QList<int>& keys) {
            QTest::newRow(name) << parser << content << password << 0 << certs << keys;
        };
        const int rc2 = NID_pbe_WithSHA1And40BitRC2_CBC, tripleDes = NID_pbe_WithSHA1And3_Key_TripleDES_CBC;
        const QList<int> chain = {2, 1, 0}, chainKeys = {0, -1, -1};
        ok("p12 AES, RSA", Pkcs12File, pkcs12({chain, {0}}), "secret", chain, chainKeys);
        ok("p12 RC2 certificates, 3DES key, SHA-1 MAC", Pkcs12File,
           pkcs12({chain, {0}, "secret", rc2, tripleDes, EVP_sha1()}), "secret", chain, chainKeys);
        ok("p12 3DES, EC, non-ASCII password", Pkcs12File, pkcs12({{3}, {1}, "пароль密码", tripleDes, tripleDes}),
           "пароль密码", {3}, {1});
        ok("p12 empty password", Pkcs12File, pkcs12({{2}, {0}, ""}), "", {2}, {0});
        ok("p12 no password", Pkcs12File, pkcs12({{2}, {0}, nullptr}), "", {2}, {0});
        ok("p12 no MAC, certificates unencrypted", Pkcs12File,
           pkcs12({{2}, {0}, "secret", -1, NID_aes_256_cbc, nullptr}), "secret", {2}, {0});
        ok("p12 key after its chain", Pkcs12File, pkcs12({{0, 1, 2}, {0}}), "secret", {2, 0, 1}, chainKeys);
        ok("p12 no key", Pkcs12File, pkcs12({{1, 0}, {}}), "secret", {1, 0}, {-1, -1});
        ok("p12 two keys", Pkcs12File, pkcs12({{0, 2, 3}, {1, 0}}), "secret", {2, 3, 0}, {0, 1, -1});
        ok("p12 chain of five", Pkcs12File, pkcs12({{0, 1, 4, 5, 6}, {2}}), "secret", {6, 0, 1, 4, 5},
           {2, -1, -1, -1, -1});
        ok("p12 key of no certificate", Pkcs12File, pkcs12({{1, 0}, {4}}), "secret", {1, 0}, {-1, -1});
        ok("p12 large certificate", Pkcs12File, pkcs12({{7}, {3}}), "secret", {7}, {3});

        const QByteArray good = pkcs12({{2, 1, 0}, {0}});
        const auto failure = [](const char* name, int parser, const QByteArray& content, int code,
                                const QByteArray& password = "secret") {
            QTest::newRow(name) << parser << content << password << code << QList<int>() << QList<int>();
        };
        failure("p12 wrong password", Pkcs12File, good, ZV_ERR_WRONG_PASSWORD, "Secret");
        failure("p12 empty password for a protected file", Pkcs12File, good, ZV_ERR_WRONG_PASSWORD, "");
        const QByteArray withoutMac = pkcs12({{2}, {0}, "secret", NID_aes_256_cbc, NID_aes_256_cbc, nullptr});
        failure("p12 wrong password, no MAC", Pkcs12File, withoutMac, ZV_ERR_WRONG_PASSWORD, "other");
        failure("p12 key only", Pkcs12File, pkcs12({{}, {0}}), ZV_ERR_FILE_FORMAT);
        failure("p12 MAC of two billion rounds", Pkcs12File, pkcs12WithCostlyMac(), ZV_ERR_FILE_FORMAT);
        failure("p12 encrypted safe of two billion rounds", Pkcs12File, pkcs12WithCostlySafe(), ZV_ERR_FILE_FORMAT);
        failure("p12 truncated", Pkcs12File, good.left(good.size() / 2), ZV_ERR_FILE_FORMAT);
        failure("p12 empty", Pkcs12File, QByteArray(), ZV_ERR_FILE_FORMAT);
        failure("p12 binary", Pkcs12File, QByteArray(4096, '\x30'), ZV_ERR_FILE_FORMAT);
        failure("p12 given a certificate", Pkcs12File, der(m_certs[2].get()), ZV_ERR_FILE_FORMAT);
        failure("p12 given a bundle", Pkcs12File, pkcs7({2, 1}, false), ZV_ERR_FILE_FORMAT);
        failure("p12 exactly 1 MiB", Pkcs12File, QByteArray(MaximumFileBytes, '\0'), ZV_ERR_FILE_FORMAT);
        failure("p12 over 1 MiB", Pkcs12File, good + QByteArray(MaximumFileBytes, '\0'), ZV_ERR_FILE_UNREADABLE);

        ok("p7b DER", Pkcs7File, pkcs7(chain, false), "", chain, {-1, -1, -1});
        ok("p7b PEM after text", Pkcs7File, "Bundle\n" + pkcs7({0, 2}, true), "", {0, 2}, {-1, -1});
        ok("p7b large certificate", Pkcs7File, pkcs7({7}, false), "", {7}, {-1});
        failure("p7b without certificates", Pkcs7File, pkcs7({}, false), ZV_ERR_FILE_FORMAT);
        failure("p7b PEM without certificates", Pkcs7File, pkcs7({}, true), ZV_ERR_FILE_FORMAT);
        failure("p7b of plain data", Pkcs7File, pkcs7({}, false, NID_pkcs7_data), ZV_ERR_FILE_FORMAT);
        failure("p7b given a PKCS#12 file", Pkcs7File, good, ZV_ERR_FILE_FORMAT);
        failure("p7b given a certificate", Pkcs7File, pem(2), ZV_ERR_FILE_FORMAT);
        failure("p7b over 1 MiB", Pkcs7File, QByteArray(MaximumFileBytes + 1, '\0'), ZV_ERR_FILE_UNREADABLE);

        const auto x509 = [&](const char* name, const QByteArray& content, int c) {
            ok(name, X509File, content, "", {c}, {-1});
        };
        x509("cer DER", der(m_certs[3].get()), 3);
        x509("cer DER and a newline", der(m_certs[3].get()) + "\n", 3);
        x509("cer PEM after text", "subject=CN = x\n" + pem(2), 2);
        x509("cer PEM, trust settings after the certificate", pem(2, true), 2);
        x509("cer large certificate", pem(7), 7);
        QByteArray encrypted = pem(2);
        encrypted.insert(encrypted.indexOf('\n') + 1,
                         "Proc-Type: 4,ENCRYPTED\nDEK-Info: AES-128-CBC,00112233445566778899AABBCCDDEEFF\n\n");
        failure("cer encrypted PEM block", X509File, encrypted, ZV_ERR_FILE_FORMAT);
        failure("cer given a bundle", X509File, pkcs7({2}, false), ZV_ERR_FILE_FORMAT);
        failure("cer binary", X509File, QByteArray(100, '\xff'), ZV_ERR_FILE_FORMAT);
        failure("cer empty", X509File, QByteArray(), ZV_ERR_FILE_FORMAT);
    }

    void parseFiles() {
        QFETCH(int, parser);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, password);
        QFETCH(int, code);
        QFETCH(QList<int>, certs);
        QFETCH(QList<int>, keys);

        CertificateFile file;
        file.certificates.push_back({{1, 2, 3}, nullptr}); // a failure leaves nothing of an earlier parse
        QCOMPARE(parse(parser, writeTestFile(path("file"), content), password, file), code);
        QCOMPARE(int(file.certificates.size()), certs.size());
        for (int i = 0; i < certs.size(); ++i) {
            const FileCertificate& found = file.certificates[size_t(i)];
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(found.der.data()), int(found.der.size())),
                     der(m_certs[size_t(certs[i])].get()));
            QCOMPARE(bool(found.key), keys[i] >= 0);
            if (found.key)
                QCOMPARE(EVP_PKEY_eq(found.key.get(), m_keys[size_t(keys[i])].get()), 1);
        }
    }

    void unreadablePaths() {
        QVERIFY(::mkfifo(path("fifo").toLocal8Bit().constData(), 0600) == 0);
        for (int parser : {Pkcs12File, Pkcs7File, X509File}) {
            for (const QString& name : {path("missing"), m_dir.path(), path("fifo"), QString()}) {
                CertificateFile file;
                QCOMPARE(parse(parser, name, "secret", file), ZV_ERR_FILE_UNREADABLE);
            }
        }
        // A zero byte would cut the name short and open another file.
        CertificateFile file;
        const std::string name = writeTestFile(path("file"), pem(2)).toStdString();
        QCOMPARE(CertificateFile::parseX509(name, file), 0);
        QCOMPARE(CertificateFile::parseX509(name + std::string("\0.pem", 5), file), ZV_ERR_FILE_UNREADABLE);
    }

    // The library keeps its legacy algorithms to itself, and needs nothing from the host's default context: here
    // the host has loaded only the legacy provider there, which leaves that context without SHA-2, AES or HMAC.
    void hostDefaultContext() {
        const int rc2 = NID_pbe_WithSHA1And40BitRC2_CBC;
        const std::string file =
            writeTestFile(path("rc2.p12"), pkcs12({{2, 1, 0}, {0}, "secret", rc2, rc2, EVP_sha1()})).toStdString();
        const auto hostHasRc2 = [] {
            EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "RC2-CBC", nullptr);
            const bool found = cipher != nullptr;
            EVP_CIPHER_free(cipher);
            return found;
        };
        const bool hadRc2 = hostHasRc2(); // false unless the system's OpenSSL configuration enables legacy
        CertificateFile parsed;
        QCOMPARE(CertificateFile::parsePkcs12(file, "secret", parsed), 0);
        QCOMPARE(hostHasRc2(), hadRc2);

        OSSL_LIB_CTX* legacyOnly = OSSL_LIB_CTX_new();
        OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(legacyOnly, "legacy");
        QVERIFY(legacy);
        const QByteArray root = der(m_certs[0].get());
        OSSL_LIB_CTX* previous = OSSL_LIB_CTX_set0_default(legacyOnly);
        parsed = {};
        const int32_t parseCode = CertificateFile::parsePkcs12(file, "secret", parsed);
        CertificateSummary summary;
        const int32_t summaryCode = summarizeCertificate(bytes(root), size_t(root.size()), summary);
        OSSL_LIB_CTX_set0_default(previous);
        OSSL_PROVIDER_unload(legacy);
        OSSL_LIB_CTX_free(legacyOnly);
        QCOMPARE(parseCode, 0);
        QVERIFY(parsed.certificates.size() == 3 && parsed.certificates[0].key);
        QCOMPARE(summaryCode, 0);
        QCOMPARE(summary.kind, 1); // the signature was verified
    }

    void summaryNames_data() {
        QTest::addColumn<Name>("subject");
        QTest::addColumn<QString>("expected");
        QTest::newRow("UTF8String") << cn("张三") << "张三";
        QTest::newRow("BMPString") << Name{{NID_commonName, V_ASN1_BMPSTRING, QByteArray::fromHex("5F204E09")}}
                                   << "张三";
        QTest::newRow("UniversalString") << Name{{NID_commonName, V_ASN1_UNIVERSALSTRING,
                                                  QByteArray::fromHex("000000C400000062")}}
                                         << "Äb";
        QTest::newRow("T61String") << Name{{NID_commonName, V_ASN1_T61STRING, "M\xFCller"}} << "Müller";
        QTest::newRow("CN among other parts")
            << Name{{NID_organizationName, MBSTRING_UTF8, "Acme"}, {NID_commonName, MBSTRING_UTF8, "李四"}} << "李四";
        QTest::newRow("last of several CNs") << cn("Outer") + cn("Inner") << "Inner";
        QTest::newRow("control character") << cn("A\nB") << "A\uFFFDB";
        QTest::newRow("no CN: the one-line name in UTF-8")
            << Name{{NID_countryName, MBSTRING_UTF8, "CN"}, {NID_organizationName, MBSTRING_UTF8, "Acme 中文"}}
            << "C = CN, O = Acme 中文";
    }

    void summaryNames() {
        QFETCH(Name, subject);
        QFETCH(QString, expected);
        const QByteArray certificate = der(makeCertificate({subject, m_keys[4], {}, {}}).get());
        CertificateSummary summary;
        QCOMPARE(summarizeCertificate(bytes(certificate), size_t(certificate.size()), summary), 0);
        QCOMPARE(QString::fromStdString(summary.subject), expected);
        QCOMPARE(QString::fromStdString(summary.issuer), expected);
    }

    void summaryFields_data() {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QByteArray>("notBefore");
        QTest::addColumn<QByteArray>("notAfter");
        QTest::addColumn<QString>("expectedSerial");
        QTest::addColumn<QList<int>>("dates"); // from, then to: year, month, day, hour, minute, second
        QTest::newRow("UTCTime to GeneralizedTime 2051")
            << QByteArray("01") << QByteArray("240101000000Z") << QByteArray("20510102030405Z") << "01"
            << QList<int>{2024, 1, 1, 0, 0, 0, 2051, 1, 2, 3, 4, 5};
        QTest::newRow("UTCTime across 1950 and 2049, zero serial")
            << QByteArray("00") << QByteArray("500101000000Z") << QByteArray("491231235959Z") << "00"
            << QList<int>{1950, 1, 1, 0, 0, 0, 2049, 12, 31, 23, 59, 59};
        QTest::newRow("offset to UTC, serial with a sign byte")
            << QByteArray("8F01") << QByteArray("240102003405+0130") << QByteArray("20510102030405Z") << "8F01"
            << QList<int>{2024, 1, 1, 23, 4, 5, 2051, 1, 2, 3, 4, 5};
        QTest::newRow("twenty-byte serial with a leading zero digit")
            << QByteArray("0A1B2C3D4E5F60718293A4B5C6D7E8F900112233") << QByteArray("240101000000Z")
            << QByteArray("20510102030405Z") << "0A1B2C3D4E5F60718293A4B5C6D7E8F900112233"
            << QList<int>{2024, 1, 1, 0, 0, 0, 2051, 1, 2, 3, 4, 5};
    }

    void summaryFields() {
        QFETCH(QByteArray, serial);
        QFETCH(QByteArray, notBefore);
        QFETCH(QByteArray, notAfter);
        QFETCH(QString, expectedSerial);
        QFETCH(QList<int>, dates);
        Recipe recipe{cn("Dated"), m_keys[4], {}, {}};
        recipe.serial = QByteArray::fromHex(serial);
        recipe.notBefore = notBefore.constData();
        recipe.notAfter = notAfter.constData();
        const QByteArray certificate = der(makeCertificate(recipe).get());
        CertificateSummary s;
        QCOMPARE(summarizeCertificate(bytes(certificate), size_t(certificate.size()), s), 0);
        QCOMPARE(QString::fromStdString(s.serial), expectedSerial);
        QCOMPARE((QList<int>{s.validFrom.year, s.validFrom.month, s.validFrom.day, s.validFrom.hour, s.validFrom.minute,
                             s.validFrom.second, s.validTo.year, s.validTo.month, s.validTo.day, s.validTo.hour,
                             s.validTo.minute, s.validTo.second}),
                 dates);
    }

    void summaryKinds_data() {
        QTest::addColumn<QByteArray>("certificate");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("issuer");
        const auto row = [](const char* name, const Cert& x, int version, int kind, const QString& issuer) {
            QTest::newRow(name) << der(x.get()) << version << kind << issuer;
        };
        row("root", m_certs[0], 3, 1, "Root CA");
        row("intermediate", m_certs[1], 3, 2, "Root CA");
        row("end entity RSA", m_certs[2], 3, 0, "Intermediate CA");
        row("end entity EC", m_certs[3], 3, 0, "Intermediate CA");
        row("large", m_certs[7], 3, 0, "Intermediate CA");
        row("self-signed end entity, P-384", makeCertificate({cn("Self"), ecKey("P-384"), {}, {}}), 3, 0, "Self");
        row("self-signed, CA:FALSE", makeCertificate({cn("Self"), m_keys[4], {}, {}, 0}), 3, 0, "Self");
        row("self-issued CA signed by another key", makeCertificate({cn("Root CA"), m_keys[4], {}, m_rootKey, 1}), 3, 2,
            "Root CA");
        Recipe v1{cn("Old"), m_keys[0], {}, {}};
        v1.version = 1;
        row("version 1 self-signed: OpenSSL takes it as a CA", makeCertificate(v1), 1, 1, "Old");
    }

    void summaryKinds() {
        QFETCH(QByteArray, certificate);
        CertificateSummary s;
        QCOMPARE(summarizeCertificate(bytes(certificate), size_t(certificate.size()), s), 0);
        QTEST(s.version, "version");
        QTEST(s.kind, "kind");
        QTEST(QString::fromStdString(s.issuer), "issuer");
    }

    void summaryRejects_data() {
        QTest::addColumn<QByteArray>("data");
        const QByteArray certificate = der(m_certs[2].get());
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte short") << certificate.chopped(1);
        QTest::newRow("trailing byte") << certificate + '\0';
        QTest::newRow("two certificates") << certificate + certificate;
        QTest::newRow("random") << QByteArray(300, '\x5a');
        QTest::newRow("a bundle") << pkcs7({2}, false);
    }

    void summaryRejects() {
        QFETCH(QByteArray, data);
        CertificateSummary s;
        s.subject = "stale";
        QCOMPARE(summarizeCertificate(bytes(data), size_t(data.size()), s), ZV_ERR_CERT_INVALID);
        QVERIFY(s.subject.empty());
        QCOMPARE(summarizeCertificate(nullptr, 10, s), ZV_ERR_CERT_INVALID);
    }
};

QTEST_GUILESS_MAIN(CertificateFilesTest)
#include "CertificateFilesTest.moc"
