#include "token/CertificateDetails.h"
#include "common/CertificateBuilder.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTest>

#include <optional>

using namespace testcerts;
using Details = CertificateDetails;

Q_DECLARE_METATYPE(CertificateDetails::Validity)

// The certificate viewer's fields, decoded from certificates made here with OpenSSL.
class CertificateDetailsTest : public QObject {
    Q_OBJECT

    static Details read(const KeyPair& pair) {
        const Details details = readCertificateDetails(der(pair));
        if (!details.valid)
            qFatal("a test certificate did not decode: %s", qPrintable(details.error));
        return details;
    }

    // A copy, so that it outlives the details it came from.
    static std::optional<Details::Extension> extension(const Details& details, const char* oid) {
        for (const Details::Extension& entry : details.extensions)
            if (entry.oid == QLatin1String(oid))
                return entry;
        return std::nullopt;
    }

    static QString sha(const QByteArray& bytes, QCryptographicHash::Algorithm algorithm) {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, algorithm).toHex(' ').toUpper());
    }

private Q_SLOTS:
    void rsaCertificate() {
        const KeyPair pair = certify(rsaKey(2048), "Alice", nullptr, false, 0x1234ABCD);
        const QByteArray bytes = der(pair);
        const Details details = read(pair);
        QCOMPARE(details.der, bytes);
        QCOMPARE(details.version, 3);
        QCOMPARE(details.serialNumber, QStringLiteral("12 34 AB CD"));
        QCOMPARE(details.signatureAlgorithm, QStringLiteral("sha256WithRSAEncryption"));
        QCOMPARE(details.signatureHash, QStringLiteral("sha256"));
        QCOMPARE(details.subject.singleLine, QStringLiteral("CN = Alice, O = Bank"));
        QCOMPARE(details.subject.perLine, (QStringList{QStringLiteral("CN = Alice"), QStringLiteral("O = Bank")}));
        QCOMPARE(details.publicKeySummary(), QStringLiteral("RSA (2048 Bits)"));
        // RSAPublicKey: a SEQUENCE of a 257-byte modulus and the exponent.
        QVERIFY(details.publicKeyValue.startsWith(QStringLiteral("30 82 01 0A 02 82 01 01 00 ")));
        QCOMPARE(details.validTo, details.validFrom.addDays(365));
        QVERIFY(qAbs(details.validFrom.secsTo(QDateTime::currentDateTimeUtc())) < 120);
        QCOMPARE(details.sha1Thumbprint, sha(bytes, QCryptographicHash::Sha1));
        QCOMPARE(details.sha256Thumbprint, sha(bytes, QCryptographicHash::Sha256));
    }

    void ecCertificate() {
        const Details details = read(certify(ecKey("P-256"), "Bob"));
        QCOMPARE(details.signatureAlgorithm, QStringLiteral("ecdsa-with-SHA256"));
        QCOMPARE(details.publicKeySummary(), QStringLiteral("ECC (256 Bits)"));
        QCOMPARE(details.curveName, QStringLiteral("prime256v1"));
        // An uncompressed point: 04, then 32 bytes of x and 32 of y.
        QVERIFY(details.publicKeyValue.startsWith(QStringLiteral("04 ")));
        QCOMPARE(details.publicKeyValue.size(), 65 * 3 - 1);
    }

    void chineseNames_data() {
        QTest::addColumn<bool>("bmpString");
        QTest::newRow("UTF8String") << false;
        QTest::newRow("BMPString") << true;
    }
    void chineseNames() {
        QFETCH(bool, bmpString);
        const KeyPair authority = certify(ecKey(), "测试根证书", nullptr, true);
        KeyPair person = certify(ecKey(), "张三", &authority);
        if (bmpString)
            setBmpCommonName(person, QStringLiteral("张三"));
        const Details details = read(person);
        QCOMPARE(details.subject.displayName(), QStringLiteral("张三"));
        QCOMPARE(details.subject.perLine.constFirst(), QStringLiteral("CN = 张三"));
        QCOMPARE(details.issuer.displayName(), QStringLiteral("测试根证书"));
        QCOMPARE(details.issuer.singleLine, QStringLiteral("CN = 测试根证书, O = Bank"));
    }

    void aNameWithoutCommonNameShowsWhole() {
        KeyPair pair = certify(ecKey(), "x");
        X509_NAME* name = X509_NAME_new();
        const auto add = [name](const char* type, const char* value, int set) {
            X509_NAME_add_entry_by_txt(name, type, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value), -1, -1,
                                       set);
        };
        add("C", "CN", 0);
        add("OU", "研发部", 0);
        add("L", "北京", -1); // a second value of the same relative name; DER sorts a set by encoding
        X509_set_subject_name(pair.certificate.get(), name);
        X509_NAME_free(name);
        resign(pair);
        QCOMPARE(read(pair).subject.displayName(), QStringLiteral("L = 北京 + OU = 研发部, C = CN"));
    }

    void extensions() {
        KeyPair pair = certify(rsaKey(), "Root", nullptr, true);
        addExtension(pair, "keyUsage", "critical,keyCertSign,cRLSign");
        addExtension(pair, "extendedKeyUsage", "clientAuth,emailProtection,1.2.3.4.5");
        addExtension(pair, "subjectKeyIdentifier", "hash");
        addExtension(pair, "crlDistributionPoints", "URI:http://crl.example/ca.crl");
        addExtension(pair, "1.2.3.4.5.6", "critical,DER:04:03:41:42:43");
        const Details details = read(pair);
        QCOMPARE(details.extensions.size(), 6); // in the certificate's order
        const auto constraints = extension(details, "2.5.29.19");
        QCOMPARE(constraints->kind, Details::ExtensionKind::BasicConstraints);
        QVERIFY(constraints->critical);
        QCOMPARE(constraints->value, QStringLiteral("CA:TRUE"));

        QVERIFY(details.hasKeyUsage);
        QCOMPARE(details.keyUsage, uint16_t(Details::CertificateSigning | Details::CrlSigning));
        QVERIFY(extension(details, "2.5.29.15")->critical);

        QCOMPARE(details.extendedUsages.size(), 3);
        QCOMPARE(details.extendedUsages[0].purpose, Details::Purpose::ClientAuthentication);
        QCOMPARE(details.extendedUsages[0].oid, QStringLiteral("1.3.6.1.5.5.7.3.2"));
        QCOMPARE(details.extendedUsages[1].purpose, Details::Purpose::SecureEmail);
        QCOMPARE(details.extendedUsages[2].purpose, Details::Purpose::Other);
        QCOMPARE(details.extendedUsages[2].name, QStringLiteral("1.2.3.4.5"));
        const auto usage = extension(details, "2.5.29.37");
        QCOMPARE(usage->name, QStringLiteral("Extended Key Usage"));
        QVERIFY(!usage->critical);
        QVERIFY(usage->value.contains(QStringLiteral("TLS Web Client Authentication")));

        // The key identifier in blank-separated hex: SHA-1 of the public key bits.
        const QByteArray key = QByteArray::fromHex(details.publicKeyValue.toLatin1());
        QCOMPARE(extension(details, "2.5.29.14")->value, sha(key, QCryptographicHash::Sha1));

        // OpenSSL's printout on one line for the list; no comma after a heading.
        const auto points = extension(details, "2.5.29.31");
        QCOMPARE(points->value, QStringLiteral("Full Name:\n  URI:http://crl.example/ca.crl"));
        QCOMPARE(points->summary, QStringLiteral("Full Name: URI:http://crl.example/ca.crl"));

        // Unknown to OpenSSL: its OID and its bytes.
        const auto unknown = extension(details, "1.2.3.4.5.6");
        QCOMPARE(unknown->kind, Details::ExtensionKind::Other);
        QCOMPARE(unknown->name, QStringLiteral("1.2.3.4.5.6"));
        QVERIFY(unknown->critical);
        QCOMPARE(unknown->value, QStringLiteral("04 03 41 42 43"));
    }

    // Tokens may hand over a certificate in a padded buffer.
    void bytesAfterTheCertificateAreLeftOut() {
        const QByteArray bytes = der(certify(ecKey(), "Frank"));
        const Details details = readCertificateDetails(bytes + QByteArray(16, '\0'));
        QVERIFY(details.valid);
        QCOMPARE(details.der, bytes);
        QCOMPARE(details.sha256Thumbprint, sha(bytes, QCryptographicHash::Sha256));
    }

    void validityAgainstTheClock_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<Details::Validity>("validity");
        const QDateTime from(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
        const QDateTime to(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("a second before") << from.addSecs(-1) << Details::Validity::NotYetValid;
        QTest::newRow("first second") << from << Details::Validity::Valid;
        QTest::newRow("last second") << to << Details::Validity::Valid;
        QTest::newRow("a second after") << to.addSecs(1) << Details::Validity::Expired;
    }
    void validityAgainstTheClock() {
        QFETCH(QDateTime, now);
        QFETCH(Details::Validity, validity);
        KeyPair pair = certify(ecKey(), "Grace");
        setValidity(pair, QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC),
                    QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC));
        QCOMPARE(read(pair).validityAt(now), validity);
    }

    void notACertificate_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = der(certify(rsaKey(), "Heidi"));
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("last byte missing") << good.left(good.size() - 1);
        QTest::newRow("header only") << good.left(4);
        QTest::newRow("PEM text") << QByteArray("-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n");
        QTest::newRow("empty sequence") << QByteArray("\x30\x00", 2);
        QTest::newRow("length beyond the data") << QByteArray("\x30\x84\x7f\xff\xff\xff\x30\x00", 8);
        QTest::newRow("a PKCS#12 file") << pkcs12(certify(ecKey(), "Ivan"), "pw");
        QRandomGenerator random(7100);
        for (int size : {64, 512, 4096}) {
            QByteArray noise(size, '\0');
            random.fillRange(reinterpret_cast<quint32*>(noise.data()), size / 4);
            noise[0] = '\x30'; // past the first check
            QTest::addRow("random %d bytes", size) << noise;
        }
    }
    void notACertificate() {
        QFETCH(QByteArray, bytes);
        const Details details = readCertificateDetails(bytes);
        QVERIFY(!details.valid);
        QVERIFY(details.der.isEmpty());
    }

    void everyTruncationIsRejected() {
        const QByteArray good = der(certify(ecKey(), "Judy"));
        for (qsizetype length = 0; length < good.size(); ++length)
            QVERIFY2(!readCertificateDetails(good.left(length)).valid, qPrintable(QString::number(length)));
    }

    // A damaged byte anywhere either fails cleanly or still yields the fields (the sanitizer build checks that
    // nothing reads out of bounds on the way).
    void everyDamagedByteIsSurvived() {
        KeyPair pair = certify(rsaKey(), "Mallory", nullptr, true);
        addExtension(pair, "extendedKeyUsage", "clientAuth");
        addExtension(pair, "keyUsage", "digitalSignature");
        const QByteArray good = der(pair);
        int decoded = 0;
        for (qsizetype i = 0; i < good.size(); ++i) {
            for (const char mask : {'\xff', '\x01', '\x80'}) {
                QByteArray damaged = good;
                damaged[i] = char(damaged[i] ^ mask);
                const Details details = readCertificateDetails(damaged);
                if (!details.valid)
                    continue;
                ++decoded;
                QVERIFY(!details.sha1Thumbprint.isEmpty());
                QVERIFY(details.validFrom.isValid() && details.validTo.isValid());
            }
        }
        QVERIFY(decoded > 0); // damage to the signature or the key bits still decodes
    }
};

QTEST_GUILESS_MAIN(CertificateDetailsTest)
#include "CertificateDetailsTest.moc"
