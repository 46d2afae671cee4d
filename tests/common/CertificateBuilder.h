#pragma once

#include "tokenlib/TestCertificates.h"

#include <QDateTime>
#include <QString>

#include <ctime>

// What the certificate viewer's tests add to the token-library test certificates: extensions, fixed dates and
// names in other string types. Each change signs the certificate again, with issuer's key or its own.
namespace testcerts {

inline void resign(KeyPair& pair, const KeyPair* issuer = nullptr) {
    X509_sign(pair.certificate.get(), issuer ? issuer->key.get() : pair.key.get(), EVP_sha256());
}

// name is a short name ("extendedKeyUsage") or a dotted OID; value in OpenSSL's configuration syntax.
inline void addExtension(KeyPair& pair, const char* name, const char* value, const KeyPair* issuer = nullptr) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer ? issuer->certificate.get() : pair.certificate.get(), pair.certificate.get(),
                   nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_nconf(nullptr, &context, name, value);
    if (!extension)
        qFatal("cannot make extension %s=%s", name, value);
    X509_add_ext(pair.certificate.get(), extension, -1);
    X509_EXTENSION_free(extension);
    resign(pair, issuer);
}

inline void setValidity(KeyPair& pair, const QDateTime& from, const QDateTime& to, const KeyPair* issuer = nullptr) {
    ASN1_TIME_set(X509_getm_notBefore(pair.certificate.get()), time_t(from.toSecsSinceEpoch()));
    ASN1_TIME_set(X509_getm_notAfter(pair.certificate.get()), time_t(to.toSecsSinceEpoch()));
    resign(pair, issuer);
}

// Replaces the subject with one common name held as a BMPString (UTF-16BE), as older certificate authorities
// write Chinese names.
inline void setBmpCommonName(KeyPair& pair, const QString& commonName) {
    QByteArray utf16be;
    for (const QChar c : commonName)
        utf16be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    X509_NAME* name = X509_NAME_new();
    X509_NAME_add_entry_by_txt(name, "CN", V_ASN1_BMPSTRING, reinterpret_cast<const unsigned char*>(utf16be.data()),
                               int(utf16be.size()), -1, 0);
    X509_set_subject_name(pair.certificate.get(), name);
    X509_NAME_free(name);
    resign(pair);
}

} // namespace testcerts
