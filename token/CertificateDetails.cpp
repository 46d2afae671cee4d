#include "token/CertificateDetails.h"

#include "shared/OpenSslHandles.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>

namespace {

using Details = CertificateDetails;

QByteArray bytesOf(const ASN1_STRING* string) {
    return QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(string)), ASN1_STRING_length(string));
}

// Control characters in a name or a printout would break the one-line list; keepNewlines keeps the line structure.
QString printable(QString text, bool keepNewlines = false) {
    for (QChar& c : text) {
        const char16_t unit = c.unicode();
        if ((unit < 0x20 && !(keepNewlines && unit == u'\n')) || (unit >= 0x7f && unit < 0xa0))
            c = QChar(QChar::ReplacementCharacter);
    }
    return text;
}

QString dottedOid(const ASN1_OBJECT* object) {
    const int length = OBJ_obj2txt(nullptr, 0, object, 1);
    if (length <= 0)
        return {};
    QByteArray text(length + 1, '\0');
    OBJ_obj2txt(text.data(), length + 1, object, 1);
    return QString::fromLatin1(text.constData());
}

// OpenSSL's long name, else the dotted OID.
QString objectName(const ASN1_OBJECT* object) {
    const int nid = OBJ_obj2nid(object);
    return nid != NID_undef ? QString::fromLatin1(OBJ_nid2ln(nid)) : dottedOid(object);
}

// Any string type as text (BMP, UTF-8, Teletex, …); what is no string shows as "#" and its hex bytes.
QString stringText(const ASN1_STRING* string) {
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, string);
    if (length < 0)
        return u'#' + QString::fromLatin1(bytesOf(string).toHex().toUpper());
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(utf8), length);
    OPENSSL_free(utf8);
    return printable(text);
}

Details::Name readName(const X509_NAME* name) {
    Details::Name result;
    QStringList relativeNames;
    int currentSet = -1;
    for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
        const ASN1_OBJECT* object = X509_NAME_ENTRY_get_object(entry);
        const int nid = OBJ_obj2nid(object);
        const QString type = nid != NID_undef ? QString::fromLatin1(OBJ_nid2sn(nid)) : dottedOid(object);
        const QString value = stringText(X509_NAME_ENTRY_get_data(entry));
        const QString pair = type + QStringLiteral(" = ") + value;
        // Entries of one multi-valued relative name share their set number.
        const int set = X509_NAME_ENTRY_set(entry);
        if (set == currentSet && !relativeNames.isEmpty())
            relativeNames.last() += QStringLiteral(" + ") + pair;
        else
            relativeNames.append(pair);
        currentSet = set;
        if (nid == NID_commonName)
            result.commonName = value;
    }
    std::reverse(relativeNames.begin(), relativeNames.end());
    result.perLine = relativeNames;
    result.singleLine = relativeNames.join(QStringLiteral(", "));
    return result;
}

bool readTime(const ASN1_TIME* time, QDateTime& result) {
    std::tm parts{};
    // A null time would make OpenSSL read the clock instead.
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return false;
    const QDate date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
    const QTime clock(parts.tm_hour, parts.tm_min, parts.tm_sec);
    if (!date.isValid() || !clock.isValid())
        return false;
    result = QDateTime(date, clock, Qt::UTC);
    return true;
}

QString serialText(const ASN1_INTEGER* serial) {
    const QString text = hexBytes(bytesOf(serial));
    return ASN1_STRING_type(serial) == V_ASN1_NEG_INTEGER ? u'-' + text : text;
}

void readSignature(X509* certificate, Details& details) {
    const X509_ALGOR* algorithm = nullptr;
    X509_get0_signature(nullptr, &algorithm, certificate);
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, algorithm);
    details.signatureAlgorithm = objectName(oid);
    // The signature information reads RSA-PSS parameters too, but needs well-formed extensions; the table of
    // signature OIDs is the fallback.
    int hash = NID_undef;
    if (X509_get_signature_info(certificate, &hash, nullptr, nullptr, nullptr) != 1 || hash == NID_undef) {
        int keyAlgorithm = NID_undef;
        if (OBJ_find_sigid_algs(OBJ_obj2nid(oid), &hash, &keyAlgorithm) != 1)
            hash = NID_undef;
    }
    if (hash != NID_undef)
        details.signatureHash = QString::fromLatin1(OBJ_nid2ln(hash));
}

void readPublicKey(const X509* certificate, Details& details) {
    ASN1_OBJECT* algorithm = nullptr;
    const unsigned char* key = nullptr;
    int keyLength = 0;
    X509_ALGOR* parameters = nullptr;
    if (X509_PUBKEY_get0_param(&algorithm, &key, &keyLength, &parameters, X509_get_X509_PUBKEY(certificate)) != 1)
        return;
    details.publicKeyValue = hexBytes(QByteArray(reinterpret_cast<const char*>(key), keyLength));
    switch (const int nid = OBJ_obj2nid(algorithm)) {
    case NID_rsaEncryption:
    case NID_rsassaPss:
        details.publicKeyAlgorithm = QStringLiteral("RSA");
        break;
    case NID_X9_62_id_ecPublicKey:
        details.publicKeyAlgorithm = QStringLiteral("ECC");
        break;
    default:
        details.publicKeyAlgorithm = nid != NID_undef ? QString::fromLatin1(OBJ_nid2sn(nid)) : dottedOid(algorithm);
    }
    // A named curve is an OID in the parameters, readable even where OpenSSL cannot use the key.
    int parameterType = V_ASN1_UNDEF;
    const void* parameterValue = nullptr;
    if (parameters)
        X509_ALGOR_get0(nullptr, &parameterType, &parameterValue, parameters);
    if (parameterType == V_ASN1_OBJECT && parameterValue) {
        const auto* curve = static_cast<const ASN1_OBJECT*>(parameterValue);
        const int nid = OBJ_obj2nid(curve);
        details.curveName = nid != NID_undef ? QString::fromLatin1(OBJ_nid2sn(nid)) : dottedOid(curve);
    }
    if (const EVP_PKEY* decoded = X509_get0_pubkey(certificate))
        details.publicKeyBits = std::max(0, EVP_PKEY_get_bits(decoded));
}

Details::Purpose purposeOf(int nid) {
    switch (nid) {
    case NID_server_auth:
        return Details::Purpose::ServerAuthentication;
    case NID_client_auth:
        return Details::Purpose::ClientAuthentication;
    case NID_code_sign:
        return Details::Purpose::CodeSigning;
    case NID_email_protect:
        return Details::Purpose::SecureEmail;
    case NID_time_stamp:
        return Details::Purpose::TimeStamping;
    case NID_OCSP_sign:
        return Details::Purpose::OcspSigning;
    case NID_anyExtendedKeyUsage:
        return Details::Purpose::AnyPurpose;
    default:
        return Details::Purpose::Other;
    }
}

void readUsages(X509* certificate, Details& details) {
    // Decoded here rather than through OpenSSL's extension cache, which gives up on every usage when any one
    // extension of the certificate is malformed.
    const openssl::ExtendedKeyUsage usages(
        static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(certificate, NID_ext_key_usage, nullptr, nullptr)));
    for (int i = 0; usages && i < sk_ASN1_OBJECT_num(usages.get()); ++i) {
        const ASN1_OBJECT* usage = sk_ASN1_OBJECT_value(usages.get(), i);
        details.extendedUsages.append({purposeOf(OBJ_obj2nid(usage)), objectName(usage), dottedOid(usage)});
    }
    const openssl::BitString keyUsage(
        static_cast<ASN1_BIT_STRING*>(X509_get_ext_d2i(certificate, NID_key_usage, nullptr, nullptr)));
    if (keyUsage) {
        const QByteArray bits = bytesOf(keyUsage.get());
        details.hasKeyUsage = true;
        details.keyUsage =
            uint16_t((bits.size() > 0 ? uint8_t(bits[0]) : 0) | (bits.size() > 1 ? uint8_t(bits[1]) << 8 : 0));
    }
}

Details::ExtensionKind extensionKindOf(int nid) {
    switch (nid) {
    case NID_basic_constraints:
        return Details::ExtensionKind::BasicConstraints;
    case NID_key_usage:
        return Details::ExtensionKind::KeyUsage;
    case NID_ext_key_usage:
        return Details::ExtensionKind::ExtendedKeyUsage;
    case NID_subject_key_identifier:
        return Details::ExtensionKind::SubjectKeyId;
    case NID_authority_key_identifier:
        return Details::ExtensionKind::AuthorityKeyId;
    case NID_subject_alt_name:
        return Details::ExtensionKind::SubjectAltName;
    case NID_issuer_alt_name:
        return Details::ExtensionKind::IssuerAltName;
    case NID_crl_distribution_points:
        return Details::ExtensionKind::CrlDistributionPoints;
    case NID_info_access:
        return Details::ExtensionKind::AuthorityInfoAccess;
    case NID_certificate_policies:
        return Details::ExtensionKind::CertificatePolicies;
    default:
        return Details::ExtensionKind::Other;
    }
}

QString extensionPrintout(X509_EXTENSION* extension) {
    const openssl::Bio out(BIO_new(BIO_s_mem()));
    if (out && X509V3_EXT_print(out.get(), extension, X509V3_EXT_DEFAULT, 0) == 1) {
        const char* data = nullptr;
        const long length = BIO_get_mem_data(out.get(), &data);
        if (length > 0)
            return printable(QString::fromUtf8(data, qsizetype(length)).trimmed(), true);
    }
    // Unknown to OpenSSL or not decodable: the bytes themselves.
    return hexBytes(bytesOf(X509_EXTENSION_get_data(extension)));
}

// The printout's lines joined by commas, except after a heading such as "Full Name:".
QString oneLine(const QString& printout) {
    QString line;
    for (const QString& part : printout.split(u'\n')) {
        const QString trimmed = part.trimmed();
        if (trimmed.isEmpty())
            continue;
        if (!line.isEmpty())
            line += line.endsWith(u':') ? QStringLiteral(" ") : QStringLiteral(", ");
        line += trimmed;
    }
    return line;
}

void readExtensions(const X509* certificate, Details& details) {
    for (int i = 0; i < X509_get_ext_count(certificate); ++i) {
        X509_EXTENSION* extension = X509_get_ext(certificate, i);
        const ASN1_OBJECT* object = X509_EXTENSION_get_object(extension);
        const int nid = OBJ_obj2nid(object);
        Details::Extension entry;
        entry.kind = extensionKindOf(nid);
        entry.oid = dottedOid(object);
        entry.name = nid != NID_undef ? QString::fromLatin1(OBJ_nid2ln(nid)) : entry.oid;
        if (entry.name.startsWith(QLatin1String("X509v3 ")))
            entry.name.remove(0, 7);
        entry.critical = X509_EXTENSION_get_critical(extension) > 0;
        entry.value = extensionPrintout(extension);
        // Written like the rest of the viewer's hex, not with OpenSSL's colons.
        if (entry.kind == Details::ExtensionKind::SubjectKeyId)
            entry.value.replace(u':', u' ');
        entry.summary = oneLine(entry.value);
        details.extensions.append(entry);
    }
}

QString thumbprint(const QByteArray& der, const EVP_MD* digest) {
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!digest || EVP_Digest(der.constData(), size_t(der.size()), hash, &length, digest, nullptr) != 1)
        return {};
    return hexBytes(QByteArray(reinterpret_cast<const char*>(hash), int(length)));
}

} // namespace

QString hexBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString CertificateDetails::publicKeySummary() const {
    if (publicKeyBits <= 0)
        return publicKeyAlgorithm;
    return QStringLiteral("%1 (%2 Bits)").arg(publicKeyAlgorithm).arg(publicKeyBits);
}

CertificateDetails::Validity CertificateDetails::validityAt(const QDateTime& now) const {
    if (now < validFrom)
        return Validity::NotYetValid;
    if (now > validTo)
        return Validity::Expired;
    return Validity::Valid;
}

CertificateDetails readCertificateDetails(const QByteArray& der) {
    // Decoding a hostile certificate leaves OpenSSL errors behind; they are ours and go away with us.
    const openssl::ErrorMark mark;
    CertificateDetails details;
    const auto* start = reinterpret_cast<const unsigned char*>(der.constData());
    const unsigned char* cursor = start;
    const openssl::Certificate certificate(d2i_X509(nullptr, &cursor, long(der.size())));
    if (!certificate) {
        details.error = QStringLiteral("not an X.509 certificate");
        return details;
    }
    if (!readTime(X509_get0_notBefore(certificate.get()), details.validFrom) ||
        !readTime(X509_get0_notAfter(certificate.get()), details.validTo)) {
        details.error = QStringLiteral("unreadable validity dates");
        return details;
    }
    details.der = QByteArray(der.constData(), qsizetype(cursor - start));
    const long version = X509_get_version(certificate.get());
    details.version = version >= 0 && version < 100 ? int(version) + 1 : 0;
    details.serialNumber = serialText(X509_get0_serialNumber(certificate.get()));
    readSignature(certificate.get(), details);
    details.issuer = readName(X509_get_issuer_name(certificate.get()));
    details.subject = readName(X509_get_subject_name(certificate.get()));
    readPublicKey(certificate.get(), details);
    readUsages(certificate.get(), details);
    readExtensions(certificate.get(), details);
    // Over the bytes as given, which is what other tools show; OpenSSL would hash its own re-encoding.
    details.sha1Thumbprint = thumbprint(details.der, EVP_sha1());
    details.sha256Thumbprint = thumbprint(details.der, EVP_sha256());
    details.valid = true;
    return details;
}
