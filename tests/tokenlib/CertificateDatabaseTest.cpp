#include "shared/CertificateDatabase.h"
#include "shared/ZovevOdu.h"

#include <cert.h>
#include <nss.h>
#include <pk11pub.h>

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using zv::CertificateDatabase;

namespace {

using Bytes = std::vector<uint8_t>;

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Deleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};

// A certificate made for the test, with the key that can issue further ones.
struct Issued {
    std::shared_ptr<EVP_PKEY> key;
    std::shared_ptr<X509> certificate;
    Bytes der;
};

Issued issue(const QString& commonName, const QString& organization, long serial, const Issued* issuer, bool ca,
             std::shared_ptr<EVP_PKEY> key = nullptr) {
    if (!key)
        key.reset(EVP_EC_gen("P-256"), KeyDeleter());
    std::shared_ptr<X509> certificate(X509_new(), X509Deleter());
    X509* x = certificate.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 3600L * 24 * 365);
    X509_NAME* name = X509_get_subject_name(x);
    const QByteArray cn = commonName.toUtf8();
    const QByteArray o = organization.toUtf8();
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(o.constData()), -1, -1,
                               0);
    if (!cn.isEmpty())
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.constData()),
                                   -1, -1, 0);
    X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer->certificate.get()) : name);
    X509_set_pubkey(x, key.get());
    X509_EXTENSION* constraints =
        X509V3_EXT_conf_nid(nullptr, nullptr, NID_basic_constraints, ca ? "critical,CA:TRUE" : "critical,CA:FALSE");
    X509_add_ext(x, constraints, -1);
    X509_EXTENSION_free(constraints);
    X509_sign(x, issuer ? issuer->key.get() : key.get(), EVP_sha256());
    unsigned char* der = nullptr;
    const int length = i2d_X509(x, &der);
    if (length <= 0)
        qFatal("cannot make a test certificate");
    Issued result{key, certificate, Bytes(der, der + length)};
    OPENSSL_free(der);
    return result;
}

// Another NSS user in the process, with its own context on a database; closed at the latest when it goes out of
// scope, so that a failed check does not leave NSS open for the next test.
class NssUser {
public:
    explicit NssUser(const QString& directory, PRUint32 flags = 0)
        : m_context(NSS_InitContext(QFile::encodeName("sql:" + directory).constData(), "", "", "", nullptr,
                                    flags | NSS_INIT_NOMODDB | NSS_INIT_NOROOTINIT)) {}
    ~NssUser() { shutdown(); }
    NssUser(const NssUser&) = delete;
    NssUser& operator=(const NssUser&) = delete;

    bool isOpen() const { return m_context != nullptr; }
    bool shutdown() {
        NSSInitContext* context = std::exchange(m_context, nullptr);
        return !context || NSS_ShutdownContext(context) == SECSuccess;
    }

private:
    NSSInitContext* m_context;
};

} // namespace

// The user's NSS certificate database as browsers see it afterwards: certutil reads every result back.
class CertificateDatabaseTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QMap<QString, Bytes> m_der;
    int m_databases = 0;
    inline static const QString MainToken = QStringLiteral("NSS Certificate DB:");

    // A database folder of its own for each test (and data row).
    QString freshDirectory() { return m_home.filePath(QStringLiteral("db%1/nssdb").arg(++m_databases)); }

    // certutil's output, or nothing when it failed.
    static std::optional<QByteArray> certutil(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("certutil"), arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            qFatal("certutil did not finish");
        if (process.exitCode() != 0)
            return std::nullopt;
        return process.readAllStandardOutput();
    }

    // "nickname trust" for every certificate of the database, sorted.
    static QStringList listing(const QString& directory) {
        QStringList entries;
        const QByteArray output = certutil({"-L", "-d", "sql:" + directory}).value_or(QByteArray());
        for (const QString& line : QString::fromUtf8(output).split('\n')) {
            const QString trimmed = line.trimmed();
            if (trimmed.isEmpty() || trimmed.startsWith("Certificate Nickname") || trimmed == "SSL,S/MIME,JAR/XPI")
                continue;
            const qsizetype space = trimmed.lastIndexOf(' ');
            QString nickname = trimmed.left(space).trimmed();
            // NSS shows a label holding a colon with the token's name in front.
            if (nickname.startsWith(MainToken))
                nickname.remove(0, MainToken.size());
            entries << nickname + " " + trimmed.mid(space + 1);
        }
        entries.sort();
        return entries;
    }

    static QByteArray bytes(const Bytes& der) {
        return QByteArray(reinterpret_cast<const char*>(der.data()), qsizetype(der.size()));
    }

    static int32_t addUser(const Bytes& der, const QString& provider, const QString& container, int usage,
                           const QString& directory) {
        return CertificateDatabase::addUserCertificate(der, provider.toStdString(), container.toStdString(), usage,
                                                       directory.toStdString());
    }

    static int32_t addAuthority(const Bytes& der, bool root, const QString& directory) {
        return CertificateDatabase::addAuthorityCertificate(der, root, directory.toStdString());
    }

    static int32_t removeUsers(const QString& provider, int* count, const QString& directory) {
        return CertificateDatabase::removeUserCertificates(provider.toStdString(), count, directory.toStdString());
    }

    // Runs "user <id> <provider>:<container>:<usage>" (the provider may hold colons, the container not),
    // "root <id>", "intermediate <id>" or "other <id> <nickname>" steps, the last one another program's certificate
    // stored by certutil; all must succeed.
    void run(const QStringList& steps, const QString& directory, bool nssInUse = false) {
        for (const QString& step : steps) {
            const qsizetype first = step.indexOf(' ');
            const QString kind = step.left(first);
            const QString rest = step.mid(first + 1);
            int32_t result = -1;
            if (kind == "user") {
                const QString id = rest.section(' ', 0, 0);
                const QString nickname = rest.section(' ', 1);
                const qsizetype last = nickname.lastIndexOf(':');
                const qsizetype colon = nickname.lastIndexOf(':', last - 1);
                QVERIFY2(m_der.contains(id), qPrintable(id));
                result = addUser(m_der[id], nickname.left(colon), nickname.mid(colon + 1, last - colon - 1),
                                 nickname.mid(last + 1).toInt(), directory);
            } else if (kind == "other") {
                const QString id = rest.section(' ', 0, 0);
                QVERIFY2(m_der.contains(id), qPrintable(id));
                QFile file(m_home.filePath("other.der"));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(bytes(m_der[id]));
                file.close();
                if (!QFileInfo::exists(directory))
                    QVERIFY(QDir().mkpath(directory) && certutil({"-N", "-d", "sql:" + directory, "--empty-password"}));
                result = certutil({"-A", "-d", "sql:" + directory, "-n", rest.section(' ', 1), "-t", ",,", "-i",
                                   file.fileName()})
                             ? ZV_OK
                             : -1;
            } else {
                QVERIFY2(m_der.contains(rest), qPrintable(rest));
                result = addAuthority(m_der[rest], kind == "root", directory);
            }
            QVERIFY2(result == ZV_OK, qPrintable(step + QString(" returned %1").arg(result, 0, 16)));
            // Every call closes what it opened, so the process is left without NSS as it found it.
            QVERIFY2(NSS_IsInitialized() == nssInUse, qPrintable(step));
        }
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("certutil")).isEmpty())
            QSKIP("certutil (libnss3-tools) is not installed");
        const Issued root = issue("Zovev Test Root", "Zovev", 1, nullptr, true);
        const Issued intermediate = issue("Zovev Test Issuing CA", "Zovev", 2, &root, true);
        const Issued alice = issue("Alice Example", "Zovev", 10, &intermediate, false);
        // The same person's second certificate, for the other key usage.
        const Issued aliceSignature = issue("Alice Example", "Zovev", 11, &intermediate, false);
        const Issued chinese = issue(QStringLiteral("张伟"), QStringLiteral("测试单位"), 12, &intermediate, false);
        const Issued renewedRoot = issue("Zovev Test Root", "Zovev", 3, nullptr, true, root.key);
        const Issued otherRoot = issue("Zovev Test Root", "Other Maker", 4, nullptr, true);
        const Issued colonRoot = issue("Zovev: Root", "Zovev", 5, nullptr, true);
        const Issued nameless = issue(QString(), "Nameless Org", 6, nullptr, true);
        m_der = {{"root", root.der},           {"intermediate", intermediate.der},
                 {"alice", alice.der},         {"aliceSignature", aliceSignature.der},
                 {"chinese", chinese.der},     {"renewedRoot", renewedRoot.der},
                 {"otherRoot", otherRoot.der}, {"colonRoot", colonRoot.der},
                 {"nameless", nameless.der}};
    }

    void storesNicknamesAndTrust_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("a chain and two users")
            << QStringList{"root root", "intermediate intermediate", "user alice Quorvex CSP:box:1",
                           QStringLiteral("user chinese Quorvex CSP:张伟的容器:2")}
            << QStringList{"Quorvex CSP:box:1 ,,", QStringLiteral("Quorvex CSP:张伟的容器:2 ,,"),
                           "Zovev Test Issuing CA ,,", "Zovev Test Root CT,C,C"};
        QTest::newRow("one subject, two usages") << QStringList{"user alice P:box:1", "user aliceSignature P:box:2"}
                                                 << QStringList{"P:box:1 ,,", "P:box:2 ,,"};
        QTest::newRow("same nickname replaced")
            << QStringList{"user alice P:box:1", "user chinese P:box:1"} << QStringList{"P:box:1 ,,"};
        QTest::newRow("same certificate again")
            << QStringList{"user alice P:box:1", "user alice P:box:1"} << QStringList{"P:box:1 ,,"};
        QTest::newRow("registrations of one certificate, in their order, once each")
            << QStringList{"user alice P:old:1", "user alice Q:new:2", "user alice P:old:1"}
            << QStringList{"P:old:1;Q:new:2 ,,"};
        QTest::newRow("a registration moves to the new certificate, the others stay")
            << QStringList{"user alice P:box:1", "user alice Q:box:1", "user chinese P:box:1"}
            << QStringList{"P:box:1 ,,", "Q:box:1 ,,"};
        QTest::newRow("a certificate under another program's nickname moves to this one")
            << QStringList{"other alice Alice's mail", "user alice P:box:1"} << QStringList{"P:box:1 ,,"};
        QTest::newRow("a moved certificate keeps its trust")
            << QStringList{"root root", "user root P:self:2"} << QStringList{"P:self:2 CT,C,C"};
        QTest::newRow("intermediate made a root")
            << QStringList{"intermediate root", "root root"} << QStringList{"Zovev Test Root CT,C,C"};
        QTest::newRow("root added as intermediate stays trusted")
            << QStringList{"root root", "intermediate root"} << QStringList{"Zovev Test Root CT,C,C"};
        QTest::newRow("renewed root shares its nickname")
            << QStringList{"root root", "root renewedRoot"}
            << QStringList{"Zovev Test Root CT,C,C", "Zovev Test Root CT,C,C"};
        QTest::newRow("another subject of the same name")
            << QStringList{"root root", "root otherRoot", "intermediate intermediate"}
            << QStringList{"Zovev Test Issuing CA ,,", "Zovev Test Root #2 CT,C,C", "Zovev Test Root CT,C,C"};
        QTest::newRow("no colon in an authority nickname")
            << QStringList{"root colonRoot"} << QStringList{"Zovev- Root CT,C,C"};
        QTest::newRow("no common name") << QStringList{"intermediate nameless"} << QStringList{"O=Nameless Org ,,"};
        QTest::newRow("separators, escapes and control bytes escaped")
            << QStringList{"user alice 50%;off:tab\tbed:1", QStringLiteral("user chinese 张:del\x7f:2")}
            << QStringList{"50%25%3Boff:tab%09bed:1 ,,", QStringLiteral("张:del%7F:2 ,,")};
    }
    void storesNicknamesAndTrust() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        const QString directory = freshDirectory();
        run(steps, directory);
        QCOMPARE(listing(directory), expected);
    }

    void replacedNicknameHoldsTheNewCertificate() {
        const QString directory = freshDirectory();
        run({"user alice P:box:1", "user chinese P:box:1"}, directory);
        QCOMPARE(certutil({"-L", "-d", "sql:" + directory, "-n", MainToken + "P:box:1", "-r"}).value_or(""),
                 bytes(m_der["chinese"]));
    }

    void removesExactlyOneProvider() {
        const QString directory = freshDirectory();
        run({"root root", "user alice Quorvex:a:1", "user aliceSignature Quorvex:a:2", "user chinese Quorvex CSP:a:1"},
            directory);
        int count = -1;
        QCOMPARE(removeUsers("Quorvex", &count, directory), ZV_OK);
        QCOMPARE(count, 2);
        QCOMPARE(listing(directory), (QStringList{"Quorvex CSP:a:1 ,,", "Zovev Test Root CT,C,C"}));
        QCOMPARE(removeUsers("Quorvex", &count, directory), ZV_OK);
        QCOMPARE(count, 0);
        QCOMPARE(removeUsers("Quorvex CSP", &count, directory), ZV_OK);
        QCOMPARE(count, 1);
        QCOMPARE(listing(directory), QStringList{"Zovev Test Root CT,C,C"});
        QVERIFY(!NSS_IsInitialized());
    }

    // Which registrations the removals take: the provider's exactly, read from nicknames of the registration form
    // only; a certificate leaves with its last registration and keeps its trust while it has others.
    void removesTheProvidersRegistrations_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("removals");
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("another provider left alone") << QStringList{"user alice P:box:1", "user chinese Q:box:1"}
                                                     << QStringList{"P"} << QList<int>{1} << QStringList{"Q:box:1 ,,"};
        QTest::newRow("a provider differing in case left alone")
            << QStringList{"user alice Quorvex CSP:box:1"} << QStringList{"quorvex csp", "Quorvex csp"}
            << QList<int>{0, 0} << QStringList{"Quorvex CSP:box:1 ,,"};
        QTest::newRow("a colon in the provider")
            << QStringList{"user alice A:box:1", "user chinese A:B:box:1", "user aliceSignature B:box:1"}
            << QStringList{"A", "B"} << QList<int>{1, 1} << QStringList{"A%3AB:box:1 ,,"};
        QTest::newRow("the provider's name decoded, not as written")
            << QStringList{"user alice 50%;off:box:1", "user chinese 50%25:box:1"} << QStringList{"50%;off"}
            << QList<int>{1} << QStringList{"50%2525:box:1 ,,"};
        QTest::newRow("an empty provider never touches other nicknames")
            << QStringList{"root root", "other chinese :box:x", "other aliceSignature %41:box:1", "user alice :box:1"}
            << QStringList{""} << QList<int>{1} << QStringList{"%41:box:1 ,,", ":box:x ,,", "Zovev Test Root CT,C,C"};
        QTest::newRow("two providers' certificate stays for the other")
            << QStringList{"user alice P:box:1", "user alice Q:other:2", "user alice P:more:1"} << QStringList{"P", "Q"}
            << QList<int>{2, 1} << QStringList{};
        QTest::newRow("the trust stays with the certificate")
            << QStringList{"root root", "user root P:self:2", "user root Q:self:1"} << QStringList{"P"} << QList<int>{1}
            << QStringList{"Q:self:1 CT,C,C"};
    }
    void removesTheProvidersRegistrations() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, removals);
        QFETCH(QList<int>, counts);
        QFETCH(QStringList, expected);
        const QString directory = freshDirectory();
        run(steps, directory);
        QList<int> removed;
        for (const QString& provider : removals) {
            int count = -1;
            QCOMPARE(removeUsers(provider, &count, directory), ZV_OK);
            removed << count;
        }
        QCOMPARE(removed, counts);
        QCOMPARE(listing(directory), expected);
        QVERIFY(!NSS_IsInitialized());
    }

    void createsAPrivateDatabaseUnderHome() {
        const QString home = m_home.filePath("home");
        QVERIFY(QDir().mkpath(home));
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home));
        const QString directory = QString::fromStdString(CertificateDatabase::defaultDirectory());
        const int32_t result = CertificateDatabase::addUserCertificate(m_der["alice"], "P", "box", 1);
        qputenv("HOME", savedHome);
        QCOMPARE(directory, home + "/.pki/nssdb");
        QCOMPARE(result, ZV_OK);
        for (const QString& folder : {home + "/.pki", directory}) {
            struct stat info {};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
            QCOMPARE(info.st_mode & 07777, mode_t(0700));
        }
        QCOMPARE(listing(directory), QStringList{"P:box:1 ,,"});
        // Initialized with an empty password: nobody is ever asked for one.
        NssUser reader(directory, NSS_INIT_READONLY);
        QVERIFY(reader.isOpen());
        PK11SlotInfo* slot = PK11_GetInternalKeySlot();
        const bool needsInit = PK11_NeedUserInit(slot);
        const bool needsLogin = PK11_NeedLogin(slot);
        PK11_FreeSlot(slot);
        QVERIFY(reader.shutdown());
        QVERIFY(!needsInit);
        QVERIFY(!needsLogin);
    }

    void defaultDirectoryFollowsHome_data() {
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<bool>("unset");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trailing slash") << QByteArray("/home/user/") << false << "/home/user/.pki/nssdb";
        QTest::newRow("empty") << QByteArray() << false << QString();
        QTest::newRow("relative") << QByteArray("home/user") << false << QString();
        QTest::newRow("unset") << QByteArray() << true << QString();
    }
    void defaultDirectoryFollowsHome() {
        QFETCH(QByteArray, home);
        QFETCH(bool, unset);
        QFETCH(QString, expected);
        const QByteArray savedHome = qgetenv("HOME");
        if (unset)
            qunsetenv("HOME");
        else
            qputenv("HOME", home);
        const QString directory = QString::fromStdString(CertificateDatabase::defaultDirectory());
        int count = -1;
        const int32_t removal = CertificateDatabase::removeUserCertificates("P", &count);
        qputenv("HOME", savedHome);
        QCOMPARE(directory, expected);
        if (expected.isEmpty()) {
            QCOMPARE(removal, ZV_ERR_CERT_STORE);
            QCOMPARE(count, 0);
        }
    }

    void rejectsWhatIsNotACertificate_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray der = bytes(m_der["alice"]);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("not a certificate at all");
        QTest::newRow("truncated") << der.left(der.size() - 1);
        QTest::newRow("trailing byte") << der + '\0';
        QTest::newRow("empty sequence") << QByteArray("\x30\x00", 2);
        QByteArray base64 = "-----BEGIN CERTIFICATE-----\n" + der.toBase64() + "\n-----END CERTIFICATE-----\n";
        QTest::newRow("PEM, not DER") << base64;
    }
    void rejectsWhatIsNotACertificate() {
        QFETCH(QByteArray, bytes);
        const Bytes der(bytes.begin(), bytes.end());
        const QString directory = freshDirectory();
        QCOMPARE(addUser(der, "P", "box", 1, directory), ZV_ERR_CERT_INVALID);
        QCOMPARE(addAuthority(der, true, directory), ZV_ERR_CERT_INVALID);
        QCOMPARE(addAuthority(der, false, directory), ZV_ERR_CERT_INVALID);
        // Bad input changes nothing, not even a new folder.
        QVERIFY(!QFileInfo::exists(directory));
        QVERIFY(!NSS_IsInitialized());
    }

    // A zero byte would cut the nickname short in NSS, and "Quorvex\0CSP" would then remove "Quorvex".
    void rejectsZeroBytesInNames() {
        const QString directory = freshDirectory();
        const QString withZero = QString::fromLatin1("Quorvex\0CSP", 11);
        QCOMPARE(addUser(m_der["alice"], withZero, "box", 1, directory), ZV_ERR_ARGUMENTS);
        QCOMPARE(addUser(m_der["alice"], "P", withZero, 1, directory), ZV_ERR_ARGUMENTS);
        int count = -1;
        QCOMPARE(removeUsers(withZero, &count, directory), ZV_ERR_ARGUMENTS);
        QVERIFY(!QFileInfo::exists(directory));
    }

    void reportsADatabaseItCannotWrite_data() {
        QTest::addColumn<QString>("setup");
        QTest::newRow("no directory") << "empty";
        QTest::newRow("a file in the way") << "file";
        QTest::newRow("database files that are not databases") << "corrupt";
        QTest::newRow("read-only folder") << "read-only";
    }
    void reportsADatabaseItCannotWrite() {
        QFETCH(QString, setup);
        QString directory = freshDirectory();
        QVERIFY(QDir().mkpath(QFileInfo(directory).path()));
        if (setup == "empty") {
            directory.clear();
        } else if (setup == "file") {
            QFile file(directory);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (setup == "corrupt") {
            QVERIFY(QDir().mkpath(directory));
            for (const char* name : {"/cert9.db", "/key4.db"}) {
                QFile file(directory + name);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(QByteArray(4096, 'x'));
            }
        } else if (setup == "read-only") {
            if (::geteuid() == 0)
                QSKIP("root writes into read-only folders");
            QVERIFY(QDir().mkpath(directory));
            QVERIFY(QFile::setPermissions(directory, QFile::ReadOwner | QFile::ExeOwner));
        }
        QCOMPARE(addUser(m_der["alice"], "P", "box", 1, directory), ZV_ERR_CERT_STORE);
        QCOMPARE(addAuthority(m_der["root"], true, directory), ZV_ERR_CERT_STORE);
        QCOMPARE(addAuthority(m_der["intermediate"], false, directory), ZV_ERR_CERT_STORE);
        int count = -1;
        QCOMPARE(removeUsers("P", &count, directory), ZV_ERR_CERT_STORE);
        QCOMPARE(count, 0);
        QVERIFY(!NSS_IsInitialized());
        if (setup == "read-only")
            QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The host process may use NSS itself, before and during our calls: its database must stay as it is, its
    // context open, and our certificates must still land in ours.
    static int presentTokens() {
        PK11SlotList* list = PK11_GetAllTokens(CKM_INVALID_MECHANISM, PR_FALSE, PR_FALSE, nullptr);
        int count = 0;
        for (PK11SlotListElement* element = list ? list->head : nullptr; element; element = element->next)
            ++count;
        if (list)
            PK11_FreeSlotList(list);
        return count;
    }

    void leavesAnotherNssUserAlone_data() {
        QTest::addColumn<bool>("sameDatabase");
        QTest::newRow("another database") << false;
        QTest::newRow("the same database") << true;
    }
    void leavesAnotherNssUserAlone() {
        QFETCH(bool, sameDatabase);
        const QString directory = freshDirectory();
        const QString hostDirectory = sameDatabase ? directory : freshDirectory();
        QVERIFY(QDir().mkpath(hostDirectory));
        QVERIFY(certutil({"-N", "-d", "sql:" + hostDirectory, "--empty-password"}));
        NssUser host(hostDirectory);
        QVERIFY(host.isOpen());
        const int tokens = presentTokens();
        run({"root root", "user alice P:box:1"}, directory, true);
        int count = -1;
        QCOMPARE(removeUsers("Nobody", &count, directory), ZV_OK);
        // Every database our calls opened is closed again.
        QCOMPARE(presentTokens(), tokens);

        QVERIFY(host.shutdown());
        QVERIFY(!NSS_IsInitialized());

        QCOMPARE(listing(directory), (QStringList{"P:box:1 ,,", "Zovev Test Root CT,C,C"}));
        if (!sameDatabase)
            QCOMPARE(listing(hostDirectory), QStringList());
    }

    // Nobody entered the password of a protected database: certificates still go in, but trust cannot, and NSS
    // must not be allowed to put it into another database it has open.
    void protectedDatabaseRefusesTrustOnly() {
        const QString directory = freshDirectory();
        QVERIFY(QDir().mkpath(directory));
        const QString password = m_home.filePath("password");
        QFile file(password);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("secret\n");
        file.close();
        QVERIFY(certutil({"-N", "-d", "sql:" + directory, "-f", password}));
        const QString hostDirectory = freshDirectory();
        QVERIFY(QDir().mkpath(hostDirectory));
        QVERIFY(certutil({"-N", "-d", "sql:" + hostDirectory, "--empty-password"}));
        NssUser host(hostDirectory);
        QVERIFY(host.isOpen());
        const int32_t root = addAuthority(m_der["root"], true, directory);
        const int32_t intermediate = addAuthority(m_der["intermediate"], false, directory);
        const int32_t user = addUser(m_der["alice"], "P", "box", 1, directory);
        QVERIFY(host.shutdown());
        QCOMPARE(root, ZV_ERR_CERT_STORE);
        QCOMPARE(intermediate, ZV_OK);
        QCOMPARE(user, ZV_OK);
        QCOMPARE(listing(directory), (QStringList{"P:box:1 ,,", "Zovev Test Issuing CA ,,"}));
        QCOMPARE(listing(hostDirectory), QStringList());
    }
};

QTEST_GUILESS_MAIN(CertificateDatabaseTest)
#include "CertificateDatabaseTest.moc"
