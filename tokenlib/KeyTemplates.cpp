#include "tokenlib/KeyTemplates.h"

#include "shared/OpenSslHandles.h"
#include "shared/ZovevOdu.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/objects.h>
#include <openssl/param_build.h>
#include <openssl/sha.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <memory>

namespace zv {
namespace {

using namespace openssl;

Certificate parse(const Bytes& der) {
    const unsigned char* cursor = der.data();
    Certificate certificate(d2i_X509(nullptr, &cursor, long(der.size())));
    if (certificate && cursor != der.data() + der.size())
        certificate.reset();
    return certificate;
}

bool isEc(EVP_PKEY* key) {
    return EVP_PKEY_get_base_id(key) == EVP_PKEY_EC;
}

Bytes number(EVP_PKEY* key, const char* name, size_t width = 0) {
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &raw) != 1)
        return {};
    Number value(raw);
    Bytes bytes(std::max<size_t>(width, size_t(BN_num_bytes(value.get()))));
    BN_bn2binpad(value.get(), bytes.data(), int(bytes.size()));
    return bytes;
}

Bytes ecPoint(EVP_PKEY* key) {
    size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, nullptr, 0, &length) != 1)
        return {};
    Bytes point(length);
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point.data(), point.size(), &length) !=
        1)
        return {};
    point.resize(length);
    return point;
}

// The curve as the DER object identifier PKCS#11 keeps in CKA_EC_PARAMS.
Bytes ecParameters(EVP_PKEY* key) {
    char name[80] = {};
    if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, name, sizeof name, nullptr) != 1)
        return {};
    int nid = OBJ_sn2nid(name);
    if (nid == NID_undef)
        nid = EC_curve_nist2nid(name);
    if (nid != NID_X9_62_prime256v1 && nid != NID_secp384r1)
        return {}; // the curves a token takes
    const ASN1_OBJECT* object = OBJ_nid2obj(nid);
    const int length = i2d_ASN1_OBJECT(object, nullptr);
    Bytes der(static_cast<size_t>(std::max(length, 0)));
    unsigned char* cursor = der.data();
    i2d_ASN1_OBJECT(object, &cursor);
    return der;
}

// One DER element: its tag, its length in the shortest form, its content.
Bytes derElement(uint8_t tag, const Bytes& content) {
    Bytes der = {tag};
    if (content.size() < 0x80) {
        der.push_back(uint8_t(content.size()));
    } else {
        Bytes length;
        for (size_t rest = content.size(); rest > 0; rest >>= 8)
            length.insert(length.begin(), uint8_t(rest & 0xFF));
        der.push_back(uint8_t(0x80 | length.size()));
        der.insert(der.end(), length.begin(), length.end());
    }
    der.insert(der.end(), content.begin(), content.end());
    return der;
}

Bytes octetString(const Bytes& content) {
    return derElement(0x04, content);
}

// A non-negative INTEGER from its big-endian magnitude.
Bytes derInteger(const Bytes& magnitude) {
    auto first = std::find_if(magnitude.begin(), magnitude.end(), [](uint8_t byte) { return byte != 0; });
    Bytes content(first, magnitude.end());
    if (content.empty() || (content.front() & 0x80) != 0)
        content.insert(content.begin(), 0x00);
    return derElement(0x02, content);
}

// The SubjectPublicKeyInfo of an RSA key, written directly: the same bytes OpenSSL's encoder writes, at a
// hundredth of its cost, which a listing pays for every key.
Bytes rsaPublicKeyInfo(const Bytes& modulus, const Bytes& exponent) {
    static const Bytes rsaEncryption = {0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                        0xF7, 0x0D, 0x01, 0x01, 0x01, 0x05, 0x00};
    Bytes key = derInteger(modulus);
    const Bytes e = derInteger(exponent);
    key.insert(key.end(), e.begin(), e.end());
    Bytes bits = {0x00}; // no unused bits
    const Bytes rsaPublicKey = derElement(0x30, key);
    bits.insert(bits.end(), rsaPublicKey.begin(), rsaPublicKey.end());
    Bytes info = rsaEncryption;
    const Bytes bitString = derElement(0x03, bits);
    info.insert(info.end(), bitString.begin(), bitString.end());
    return derElement(0x30, info);
}

Bytes sha1(const Bytes& data) {
    Bytes digest(SHA_DIGEST_LENGTH);
    SHA1(data.data(), data.size(), digest.data());
    return digest;
}

void commonKeyAttributes(Template& attributes, CK_OBJECT_CLASS objectClass, bool ec, const std::string& label,
                         const Bytes& id, const Bytes& subject) {
    attributes.addUlong(CKA_CLASS, objectClass)
        .addUlong(CKA_KEY_TYPE, ec ? CKK_EC : CKK_RSA)
        .addBool(CKA_TOKEN, true)
        .add(CKA_LABEL, label.data(), label.size())
        .add(CKA_ID, id)
        .add(CKA_SUBJECT, subject);
}

Bytes publicKeyInfo(EVP_PKEY* key) {
    const int length = i2d_PUBKEY(key, nullptr);
    if (length <= 0)
        return {};
    Bytes der(static_cast<size_t>(length));
    unsigned char* cursor = der.data();
    i2d_PUBKEY(key, &cursor);
    return der;
}

int curveOf(const Bytes& parameters) {
    const unsigned char* cursor = parameters.data();
    Object object(d2i_ASN1_OBJECT(nullptr, &cursor, long(parameters.size())));
    return object ? OBJ_obj2nid(object.get()) : NID_undef;
}

int bitsOfCurve(int nid) {
    EcGroup group(EC_GROUP_new_by_curve_name(nid));
    return group ? EC_GROUP_get_degree(group.get()) : 0;
}

// A public key from its parts, for its SubjectPublicKeyInfo.
Bytes publicKeyInfoFromParts(const char* type, ParamBuilder builder) {
    Params params(OSSL_PARAM_BLD_to_param(builder.get()));
    PKeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr));
    EVP_PKEY* loaded = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &loaded, EVP_PKEY_PUBLIC_KEY, params.get()) != 1)
        return {};
    PKey key(loaded);
    return publicKeyInfo(key.get());
}

// The point inside CKA_EC_POINT's DER octet string (some modules store it bare).
Bytes unwrapPoint(const Bytes& value) {
    if (value.size() > 2 && value[0] == 0x04 && value[1] < 0x80 && size_t(value[1]) + 2 == value.size())
        return Bytes(value.begin() + 2, value.end());
    if (value.size() > 3 && value[0] == 0x04 && value[1] == 0x81 && size_t(value[2]) + 3 == value.size())
        return Bytes(value.begin() + 3, value.end());
    return value;
}

} // namespace

Bytes keyId(EVP_PKEY* key) {
    const Bytes material = isEc(key) ? ecPoint(key) : number(key, OSSL_PKEY_PARAM_RSA_N);
    return material.empty() ? Bytes() : sha1(material);
}

Bytes certificateKeyId(const Bytes& der) {
    Certificate certificate = parse(der);
    EVP_PKEY* key = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
    return key ? keyId(key) : Bytes();
}

int32_t privateKeyTemplate(EVP_PKEY* key, int usage, const std::string& label, const Bytes& id, const Bytes& subject,
                           Template& attributes) {
    const bool ec = isEc(key);
    const bool exchange = usage == 1;
    commonKeyAttributes(attributes, CKO_PRIVATE_KEY, ec, label, id, subject);
    attributes.addBool(CKA_PRIVATE, true)
        .addBool(CKA_SENSITIVE, true)
        .addBool(CKA_EXTRACTABLE, false)
        .addBool(CKA_SIGN, !exchange)
        .addBool(CKA_DECRYPT, exchange && !ec)
        .addBool(CKA_UNWRAP, exchange && !ec)
        .addBool(CKA_DERIVE, exchange && ec);
    if (ec) {
        const Bytes parameters = ecParameters(key);
        const int fieldBytes = (EVP_PKEY_get_bits(key) + 7) / 8;
        const Bytes value = number(key, OSSL_PKEY_PARAM_PRIV_KEY, size_t(fieldBytes));
        if (parameters.empty() || value.empty())
            return ZV_ERR_KEY_UNSUPPORTED;
        attributes.add(CKA_EC_PARAMS, parameters).add(CKA_VALUE, value);
        return ZV_OK;
    }
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA)
        return ZV_ERR_KEY_UNSUPPORTED;
    const Bytes modulus = number(key, OSSL_PKEY_PARAM_RSA_N);
    const Bytes privateExponent = number(key, OSSL_PKEY_PARAM_RSA_D);
    if (modulus.empty() || privateExponent.empty())
        return ZV_ERR_KEY_UNSUPPORTED;
    attributes.add(CKA_MODULUS, modulus)
        .add(CKA_PUBLIC_EXPONENT, number(key, OSSL_PKEY_PARAM_RSA_E))
        .add(CKA_PRIVATE_EXPONENT, privateExponent);
    const Bytes parts[] = {number(key, OSSL_PKEY_PARAM_RSA_FACTOR1), number(key, OSSL_PKEY_PARAM_RSA_FACTOR2),
                           number(key, OSSL_PKEY_PARAM_RSA_EXPONENT1), number(key, OSSL_PKEY_PARAM_RSA_EXPONENT2),
                           number(key, OSSL_PKEY_PARAM_RSA_COEFFICIENT1)};
    if (std::none_of(std::begin(parts), std::end(parts), [](const Bytes& part) { return part.empty(); })) {
        const CK_ATTRIBUTE_TYPE types[] = {CKA_PRIME_1, CKA_PRIME_2, CKA_EXPONENT_1, CKA_EXPONENT_2, CKA_COEFFICIENT};
        for (size_t i = 0; i < 5; ++i)
            attributes.add(types[i], parts[i]);
    }
    return ZV_OK;
}

int32_t publicKeyTemplate(EVP_PKEY* key, int usage, const std::string& label, const Bytes& id, const Bytes& subject,
                          Template& attributes) {
    const bool ec = isEc(key);
    const bool exchange = usage == 1;
    commonKeyAttributes(attributes, CKO_PUBLIC_KEY, ec, label, id, subject);
    attributes.addBool(CKA_PRIVATE, false)
        .addBool(CKA_VERIFY, !exchange)
        .addBool(CKA_ENCRYPT, exchange && !ec)
        .addBool(CKA_WRAP, exchange && !ec)
        .addBool(CKA_DERIVE, exchange && ec);
    if (ec) {
        const Bytes parameters = ecParameters(key);
        const Bytes point = ecPoint(key);
        if (parameters.empty() || point.empty())
            return ZV_ERR_KEY_UNSUPPORTED;
        attributes.add(CKA_EC_PARAMS, parameters).add(CKA_EC_POINT, octetString(point));
        return ZV_OK;
    }
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA)
        return ZV_ERR_KEY_UNSUPPORTED;
    attributes.add(CKA_MODULUS, number(key, OSSL_PKEY_PARAM_RSA_N))
        .add(CKA_PUBLIC_EXPONENT, number(key, OSSL_PKEY_PARAM_RSA_E));
    return ZV_OK;
}

int32_t certificateTemplate(const Bytes& der, const std::string& label, const Bytes& id, Template& attributes) {
    Certificate certificate = parse(der);
    if (!certificate)
        return ZV_ERR_CERT_INVALID;
    const auto encoded = [](auto* value, auto encode) {
        const int length = encode(value, nullptr);
        Bytes bytes(size_t(std::max(length, 0)));
        unsigned char* cursor = bytes.data();
        encode(value, &cursor);
        return bytes;
    };
    const Bytes subject = encoded(X509_get_subject_name(certificate.get()),
                                  [](X509_NAME* name, unsigned char** out) { return i2d_X509_NAME(name, out); });
    const Bytes issuer = encoded(X509_get_issuer_name(certificate.get()),
                                 [](X509_NAME* name, unsigned char** out) { return i2d_X509_NAME(name, out); });
    const Bytes serial = encoded(X509_get_serialNumber(certificate.get()),
                                 [](ASN1_INTEGER* value, unsigned char** out) { return i2d_ASN1_INTEGER(value, out); });
    const bool authority = X509_check_ca(certificate.get()) != 0;
    attributes.addUlong(CKA_CLASS, CKO_CERTIFICATE)
        .addUlong(CKA_CERTIFICATE_TYPE, CKC_X_509)
        .addBool(CKA_TOKEN, true)
        .addBool(CKA_PRIVATE, false)
        .add(CKA_LABEL, label.data(), label.size())
        .add(CKA_ID, id)
        .add(CKA_SUBJECT, subject)
        .add(CKA_ISSUER, issuer)
        .add(CKA_SERIAL_NUMBER, serial)
        .addUlong(CKA_CERTIFICATE_CATEGORY, authority ? 2 : 1)
        .add(CKA_VALUE, der);
    return ZV_OK;
}

bool keyFactsOfCertificate(const Bytes& der, KeyFacts& facts) {
    Certificate certificate = parse(der);
    EVP_PKEY* key = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
    if (!key)
        return false;
    facts.algorithm = isEc(key) ? 3 : 1;
    facts.bits = EVP_PKEY_get_bits(key);
    facts.publicKeyInfo = publicKeyInfo(key);
    return true;
}

bool keyFactsOfObject(ObjectAccess& objects, CK_OBJECT_HANDLE key, std::optional<CK_KEY_TYPE> type, KeyFacts& facts) {
    if (!type)
        type = objects.ulongAttribute(key, CKA_KEY_TYPE);
    if (!type)
        return false;
    facts = KeyFacts{};
    if (*type == CKK_EC) {
        ParamBuilder builder(OSSL_PARAM_BLD_new());
        facts.algorithm = 3;
        const std::optional<Bytes> parameters = objects.attribute(key, CKA_EC_PARAMS);
        const int nid = parameters ? curveOf(*parameters) : NID_undef;
        facts.bits = bitsOfCurve(nid);
        const std::optional<Bytes> point = objects.attribute(key, CKA_EC_POINT);
        if (point && nid != NID_undef && builder) {
            const Bytes raw = unwrapPoint(*point);
            OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, OBJ_nid2sn(nid), 0);
            OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, raw.data(), raw.size());
            facts.publicKeyInfo = publicKeyInfoFromParts("EC", std::move(builder));
        }
        return true;
    }
    facts.algorithm = 1;
    const std::vector<std::optional<Bytes>> parts = objects.attributes(key, {CKA_MODULUS, CKA_PUBLIC_EXPONENT});
    const std::optional<Bytes>&modulus = parts[0], &exponent = parts[1];
    if (!modulus)
        return true;
    Number n(BN_bin2bn(modulus->data(), int(modulus->size()), nullptr));
    facts.bits = n ? BN_num_bits(n.get()) : 0;
    if (exponent)
        facts.publicKeyInfo = rsaPublicKeyInfo(*modulus, *exponent);
    return true;
}

} // namespace zv
