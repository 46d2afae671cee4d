#pragma once

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QByteArray>
#include <QString>

#include <memory>

// Keys and certificates made at run time for the token-library tests.
namespace testcerts {

struct KeyPair {
    std::shared_ptr<EVP_PKEY> key;
    std::shared_ptr<X509> certificate;
};

inline std::shared_ptr<EVP_PKEY> rsaKey(int bits = 2048) {
    return {EVP_RSA_gen(unsigned(bits)), EVP_PKEY_free};
}

inline std::shared_ptr<EVP_PKEY> ecKey(const char* curve = "P-256") {
    return {EVP_EC_gen(curve), EVP_PKEY_free};
}

// A certificate for key, signed by issuer (itself when null); a CA when ca is true.
inline KeyPair certify(std::shared_ptr<EVP_PKEY> key, const char* commonName, const KeyPair* issuer = nullptr,
                       bool ca = false, long serial = 1) {
    std::shared_ptr<X509> certificate(X509_new(), X509_free);
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 365L * 24 * 3600);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Bank"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                               0);
    X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer->certificate.get()) : name);
    X509_set_pubkey(certificate.get(), key.get());
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer ? issuer->certificate.get() : certificate.get(), certificate.get(), nullptr,
                   nullptr, 0);
    X509_EXTENSION* constraints =
        X509V3_EXT_conf_nid(nullptr, &context, NID_basic_constraints, ca ? "critical,CA:TRUE" : "CA:FALSE");
    X509_add_ext(certificate.get(), constraints, -1);
    X509_EXTENSION_free(constraints);
    X509_sign(certificate.get(), issuer ? issuer->key.get() : key.get(), EVP_sha256());
    return {std::move(key), std::move(certificate)};
}

inline QByteArray der(const KeyPair& pair) {
    QByteArray bytes(i2d_X509(pair.certificate.get(), nullptr), '\0');
    unsigned char* cursor = reinterpret_cast<unsigned char*>(bytes.data());
    i2d_X509(pair.certificate.get(), &cursor);
    return bytes;
}

// The SubjectPublicKeyInfo of the pair's key, as OpenSSL writes it.
inline QByteArray publicKeyInfo(const KeyPair& pair) {
    unsigned char* data = nullptr;
    const int length = i2d_PUBKEY(pair.key.get(), &data);
    QByteArray bytes(reinterpret_cast<const char*>(data), length);
    OPENSSL_free(data);
    return bytes;
}

// A PKCS#12 file of the pair and the certificates of its authorities, protected by password.
inline QByteArray pkcs12(const KeyPair& pair, const char* password, std::initializer_list<const KeyPair*> chain = {}) {
    STACK_OF(X509)* authorities = sk_X509_new_null();
    for (const KeyPair* authority : chain)
        sk_X509_push(authorities, authority->certificate.get());
    PKCS12* bundle =
        PKCS12_create(password, "imported", pair.key.get(), pair.certificate.get(), authorities, 0, 0, 0, 0, 0);
    sk_X509_free(authorities);
    QByteArray bytes(i2d_PKCS12(bundle, nullptr), '\0');
    unsigned char* cursor = reinterpret_cast<unsigned char*>(bytes.data());
    i2d_PKCS12(bundle, &cursor);
    PKCS12_free(bundle);
    return bytes;
}

} // namespace testcerts
