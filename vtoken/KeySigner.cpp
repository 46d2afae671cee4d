#include "vtoken/KeySigner.h"

#include "shared/OpenSslHandles.h"
#include "vtoken/CryptoContext.h"
#include "vtoken/ObjectRules.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <memory>

namespace vtoken {
namespace {

using namespace openssl;

bool isRsa(const AttributeSet& key) {
    return key.ulong(CKA_KEY_TYPE) == CKK_RSA;
}

// The digest of a hash-and-sign mechanism, by name; null for a mechanism that signs what it is given.
const char* digestOf(CK_MECHANISM_TYPE mechanism) {
    switch (mechanism) {
    case CKM_SHA1_RSA_PKCS:
    case CKM_ECDSA_SHA1:
        return "SHA1";
    case CKM_SHA256_RSA_PKCS:
    case CKM_ECDSA_SHA256:
        return "SHA256";
    case CKM_SHA384_RSA_PKCS:
    case CKM_ECDSA_SHA384:
        return "SHA384";
    case CKM_SHA512_RSA_PKCS:
    case CKM_ECDSA_SHA512:
        return "SHA512";
    default:
        return nullptr;
    }
}

// Keeps the numbers alive until the parameters are built from them.
struct KeyParts {
    std::vector<Number> numbers;
    bool push(OSSL_PARAM_BLD* builder, const char* name, const std::vector<uint8_t>* value) {
        if (!value || value->empty())
            return false;
        numbers.emplace_back(BN_bin2bn(value->data(), int(value->size()), nullptr));
        return numbers.back() && OSSL_PARAM_BLD_push_BN(builder, name, numbers.back().get()) == 1;
    }
};

// The key types go by their object identifiers, names that OpenSSL cannot map to a key type of its older interface:
// by "RSA" or "EC" it would first ask an ENGINE that the host made the default for such keys (the PKCS#11 engine
// does, for one), and an ENGINE cannot build a key from its parts. By the identifier it takes the key management
// of the module's own context directly.
constexpr char RsaKeyType[] = "1.2.840.113549.1.1.1";
constexpr char EcKeyType[] = "1.2.840.10045.2.1";

PKey loadKey(const AttributeSet& key) {
    ParamBuilder builder(OSSL_PARAM_BLD_new());
    KeyParts parts;
    const char* type = nullptr;
    if (isRsa(key)) {
        type = RsaKeyType;
        if (!parts.push(builder.get(), OSSL_PKEY_PARAM_RSA_N, key.find(CKA_MODULUS)) ||
            !parts.push(builder.get(), OSSL_PKEY_PARAM_RSA_E, key.find(CKA_PUBLIC_EXPONENT)) ||
            !parts.push(builder.get(), OSSL_PKEY_PARAM_RSA_D, key.find(CKA_PRIVATE_EXPONENT)))
            return nullptr;
        // The CRT parts speed signing up when the key came with them.
        if (key.has(CKA_PRIME_1) && key.has(CKA_PRIME_2) && key.has(CKA_EXPONENT_1) && key.has(CKA_EXPONENT_2) &&
            key.has(CKA_COEFFICIENT)) {
            parts.push(builder.get(), OSSL_PKEY_PARAM_RSA_FACTOR1, key.find(CKA_PRIME_1));
            parts.push(builder.get(), OSSL_PKEY_PARAM_RSA_FACTOR2, key.find(CKA_PRIME_2));
            parts.push(builder.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1, key.find(CKA_EXPONENT_1));
            parts.push(builder.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2, key.find(CKA_EXPONENT_2));
            parts.push(builder.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1, key.find(CKA_COEFFICIENT));
        }
    } else {
        type = EcKeyType;
        const std::vector<uint8_t>* curve = key.find(CKA_EC_PARAMS);
        const int bits = curve ? curveBits(*curve) : 0;
        if (bits == 0)
            return nullptr;
        OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME,
                                        bits == 256 ? "prime256v1" : "secp384r1", 0);
        if (!parts.push(builder.get(), OSSL_PKEY_PARAM_PRIV_KEY, key.find(CKA_VALUE)))
            return nullptr;
    }
    Params params(OSSL_PARAM_BLD_to_param(builder.get()));
    PKeyContext context(EVP_PKEY_CTX_new_from_name(cryptoContext(), type, nullptr));
    EVP_PKEY* loaded = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &loaded, EVP_PKEY_KEYPAIR, params.get()) != 1)
        return nullptr;
    return PKey(loaded);
}

CK_ULONG ecFieldBytes(const AttributeSet& key) {
    const std::vector<uint8_t>* curve = key.find(CKA_EC_PARAMS);
    return curve ? CK_ULONG(curveBits(*curve) / 8) : 0;
}

// PKCS#11 wants r and s as two fixed-size numbers, where OpenSSL gives a DER sequence.
bool derToRawEcdsa(const std::vector<uint8_t>& der, CK_ULONG fieldBytes, std::vector<uint8_t>& raw) {
    const unsigned char* cursor = der.data();
    EcSignature parsed(d2i_ECDSA_SIG(nullptr, &cursor, long(der.size())));
    if (!parsed)
        return false;
    raw.assign(fieldBytes * 2, 0);
    return BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), raw.data(), int(fieldBytes)) == int(fieldBytes) &&
           BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), raw.data() + fieldBytes, int(fieldBytes)) == int(fieldBytes);
}

} // namespace

CK_RV checkSignMechanism(const AttributeSet& key, CK_MECHANISM_TYPE mechanism) {
    switch (mechanism) {
    case CKM_RSA_PKCS:
    case CKM_SHA1_RSA_PKCS:
    case CKM_SHA256_RSA_PKCS:
    case CKM_SHA384_RSA_PKCS:
    case CKM_SHA512_RSA_PKCS:
        return isRsa(key) ? CKR_OK : CKR_KEY_TYPE_INCONSISTENT;
    case CKM_ECDSA:
    case CKM_ECDSA_SHA1:
    case CKM_ECDSA_SHA256:
    case CKM_ECDSA_SHA384:
    case CKM_ECDSA_SHA512:
        return key.ulong(CKA_KEY_TYPE) == CKK_EC ? CKR_OK : CKR_KEY_TYPE_INCONSISTENT;
    default:
        return CKR_MECHANISM_INVALID;
    }
}

CK_ULONG signatureLength(const AttributeSet& key) {
    if (isRsa(key)) {
        const std::vector<uint8_t>* modulus = key.find(CKA_MODULUS);
        size_t leading = 0;
        while (modulus && leading < modulus->size() && (*modulus)[leading] == 0)
            ++leading;
        return modulus ? CK_ULONG(modulus->size() - leading) : 0;
    }
    return ecFieldBytes(key) * 2;
}

CK_RV sign(const AttributeSet& key, CK_MECHANISM_TYPE mechanism, const std::vector<uint8_t>& data,
           std::vector<uint8_t>& signature) {
    PKey pkey = loadKey(key);
    if (!pkey)
        return CKR_KEY_TYPE_INCONSISTENT;
    const char* digest = digestOf(mechanism);
    std::vector<uint8_t> output(size_t(EVP_PKEY_get_size(pkey.get())));
    size_t length = output.size();
    if (digest) {
        DigestContext context(EVP_MD_CTX_new());
        EVP_PKEY_CTX* signing = nullptr;
        if (!context ||
            EVP_DigestSignInit_ex(context.get(), &signing, digest, cryptoContext(), nullptr, pkey.get(), nullptr) != 1)
            return CKR_FUNCTION_FAILED;
        if (isRsa(key))
            EVP_PKEY_CTX_set_rsa_padding(signing, RSA_PKCS1_PADDING);
        if (EVP_DigestSign(context.get(), output.data(), &length, data.data(), data.size()) != 1)
            return CKR_FUNCTION_FAILED;
    } else {
        if (isRsa(key) && data.size() + 11 > signatureLength(key))
            return CKR_DATA_LEN_RANGE;
        PKeyContext context(EVP_PKEY_CTX_new_from_pkey(cryptoContext(), pkey.get(), nullptr));
        if (!context || EVP_PKEY_sign_init(context.get()) != 1)
            return CKR_FUNCTION_FAILED;
        if (isRsa(key) && EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1)
            return CKR_FUNCTION_FAILED;
        if (EVP_PKEY_sign(context.get(), output.data(), &length, data.data(), data.size()) != 1)
            return CKR_FUNCTION_FAILED;
    }
    output.resize(length);
    if (isRsa(key)) {
        signature = std::move(output);
        return CKR_OK;
    }
    return derToRawEcdsa(output, ecFieldBytes(key), signature) ? CKR_OK : CKR_FUNCTION_FAILED;
}

} // namespace vtoken
