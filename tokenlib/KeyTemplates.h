#pragma once

#include "tokenlib/ObjectAccess.h"

#include <openssl/evp.h>

#include <optional>
#include <string>

namespace zv {

// The public facts of a key: algorithm code (3 EC, 1 RSA), size in bits, and its SubjectPublicKeyInfo.
struct KeyFacts {
    int algorithm = 1;
    int bits = 0;
    Bytes publicKeyInfo;
};

// CKA_ID of a key pair, as other PKCS#11 users compute it: the SHA-1 of the RSA modulus or of the EC point.
Bytes keyId(EVP_PKEY* key);
// The same for the key a certificate certifies; empty when the bytes are not a certificate.
Bytes certificateKeyId(const Bytes& certificate);

// Objects of an imported pair. The usage attributes are always written: a signature pair signs and verifies only;
// a key-exchange pair decrypts and unwraps (RSA) or derives (EC), and does not sign. Each returns 0 or
// ZV_ERR_KEY_UNSUPPORTED for a key the token cannot hold.
int32_t privateKeyTemplate(EVP_PKEY* key, int usage, const std::string& label, const Bytes& id, const Bytes& subject,
                           Template& attributes);
int32_t publicKeyTemplate(EVP_PKEY* key, int usage, const std::string& label, const Bytes& id, const Bytes& subject,
                          Template& attributes);
// ZV_ERR_CERT_INVALID for bytes that are not a certificate.
int32_t certificateTemplate(const Bytes& certificate, const std::string& label, const Bytes& id, Template& attributes);

// Facts of the key in a certificate, or of a key object on the token (its modulus or curve; the public parts only).
// The key object's type is read unless known.
bool keyFactsOfCertificate(const Bytes& certificate, KeyFacts& facts);
bool keyFactsOfObject(ObjectAccess& objects, CK_OBJECT_HANDLE key, std::optional<CK_KEY_TYPE> type, KeyFacts& facts);

} // namespace zv
