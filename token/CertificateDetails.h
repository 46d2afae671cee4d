#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// Everything the certificate viewer shows, decoded from a DER certificate. Language-neutral values (names, hex,
// algorithm names, OpenSSL's printout of an extension) come as text; what the viewer words in the user's language
// (purposes, key usages, the names of the common extensions) comes as a kind for it to look up.
struct CertificateDetails {
    enum class Validity { Valid, Expired, NotYetValid };

    // The extended key usages that have a wording of their own; Other carries its name or OID.
    enum class Purpose {
        ServerAuthentication,
        ClientAuthentication,
        CodeSigning,
        SecureEmail,
        TimeStamping,
        OcspSigning,
        AnyPurpose,
        Other
    };
    struct ExtendedUsage {
        Purpose purpose = Purpose::Other;
        QString name; // OpenSSL's long name, else the dotted OID
        QString oid;
    };

    // Key usage bits as X.509 numbers them from the most significant bit of the first byte.
    enum KeyUsageBit : uint16_t {
        DigitalSignature = 0x0080,
        NonRepudiation = 0x0040,
        KeyEncipherment = 0x0020,
        DataEncipherment = 0x0010,
        KeyAgreement = 0x0008,
        CertificateSigning = 0x0004,
        CrlSigning = 0x0002,
        EncipherOnly = 0x0001,
        DecipherOnly = 0x8000,
    };

    enum class ExtensionKind {
        BasicConstraints,
        KeyUsage,
        ExtendedKeyUsage,
        SubjectKeyId,
        AuthorityKeyId,
        SubjectAltName,
        IssuerAltName,
        CrlDistributionPoints,
        AuthorityInfoAccess,
        CertificatePolicies,
        Other
    };
    struct Extension {
        ExtensionKind kind = ExtensionKind::Other;
        QString name; // OpenSSL's name without its "X509v3 " prefix, else the dotted OID
        QString oid;
        bool critical = false;
        QString value;   // OpenSSL's printout, several lines; the hex bytes when it cannot decode them
        QString summary; // the printout on one line
    };

    struct Name {
        QString commonName;  // the most specific CN, empty when there is none
        QString singleLine;  // "CN = 张三, O = Bank", most specific first
        QStringList perLine; // one relative distinguished name a line, in the same order
        QString displayName() const { return commonName.isEmpty() ? singleLine : commonName; }
    };

    bool valid = false;
    QString error; // why the bytes are not a certificate

    QByteArray der;             // the certificate's own bytes, without anything that followed them
    int version = 0;            // 1, 2 or 3
    QString serialNumber;       // "01 A2 …", upper case
    QString signatureAlgorithm; // "sha256WithRSAEncryption", the OID when OpenSSL does not know it
    QString signatureHash;      // "sha256"; empty when the algorithm has no separate hash
    Name issuer;
    Name subject;
    QDateTime validFrom;        // UTC
    QDateTime validTo;          // UTC
    QString publicKeyAlgorithm; // "RSA", "ECC", "DSA", "ED25519", …, the OID when OpenSSL does not know it
    int publicKeyBits = 0;      // 0 when unknown
    QString curveName;          // "prime256v1" for a named curve
    QString publicKeyValue;     // the subjectPublicKey bytes in hex
    QList<ExtendedUsage> extendedUsages;
    bool hasKeyUsage = false;
    uint16_t keyUsage = 0; // KeyUsageBit values
    QList<Extension> extensions;
    QString sha1Thumbprint;
    QString sha256Thumbprint;

    // "RSA (2048 Bits)".
    QString publicKeySummary() const;
    Validity validityAt(const QDateTime& now) const;
};

// Decodes one DER certificate. Bytes after the certificate are ignored, as tokens may pad what they store.
CertificateDetails readCertificateDetails(const QByteArray& der);

// "0A 1B FF": upper-case hex, one blank between bytes.
QString hexBytes(const QByteArray& bytes);
