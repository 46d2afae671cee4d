#include "vtoken/ObjectRules.h"

#include <algorithm>
#include <array>

namespace vtoken {
namespace {

// DER of the named-curve object identifiers of P-256 and P-384.
const std::vector<uint8_t> P256 = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
const std::vector<uint8_t> P384 = {0x06, 0x05, 0x2B, 0x81, 0x04, 0x00, 0x22};

constexpr std::array<CK_ATTRIBUTE_TYPE, 22> BooleanAttributes = {
    CKA_TOKEN,
    CKA_PRIVATE,
    CKA_MODIFIABLE,
    CKA_COPYABLE,
    CKA_DESTROYABLE,
    CKA_TRUSTED,
    CKA_SENSITIVE,
    CKA_EXTRACTABLE,
    CKA_ENCRYPT,
    CKA_DECRYPT,
    CKA_SIGN,
    CKA_VERIFY,
    CKA_WRAP,
    CKA_UNWRAP,
    CKA_DERIVE,
    CKA_SIGN_RECOVER,
    CKA_VERIFY_RECOVER,
    CKA_LOCAL,
    CKA_ALWAYS_SENSITIVE,
    CKA_NEVER_EXTRACTABLE,
    CKA_ALWAYS_AUTHENTICATE,
    CKA_WRAP_WITH_TRUSTED,
};
constexpr std::array<CK_ATTRIBUTE_TYPE, 4> UlongAttributes = {CKA_CLASS, CKA_KEY_TYPE, CKA_CERTIFICATE_TYPE,
                                                              CKA_CERTIFICATE_CATEGORY};
constexpr std::array<CK_ATTRIBUTE_TYPE, 7> SecretAttributes = {
    CKA_PRIVATE_EXPONENT, CKA_PRIME_1, CKA_PRIME_2, CKA_EXPONENT_1, CKA_EXPONENT_2, CKA_COEFFICIENT, CKA_VALUE};
constexpr std::array<CK_ATTRIBUTE_TYPE, 26> FixedAttributes = {
    CKA_CLASS,
    CKA_TOKEN,
    CKA_PRIVATE,
    CKA_MODIFIABLE,
    CKA_COPYABLE,
    CKA_DESTROYABLE,
    CKA_KEY_TYPE,
    CKA_CERTIFICATE_TYPE,
    CKA_CERTIFICATE_CATEGORY,
    CKA_TRUSTED,
    CKA_LOCAL,
    CKA_KEY_GEN_MECHANISM,
    CKA_MODULUS,
    CKA_MODULUS_BITS,
    CKA_PUBLIC_EXPONENT,
    CKA_PRIVATE_EXPONENT,
    CKA_PRIME_1,
    CKA_PRIME_2,
    CKA_EXPONENT_1,
    CKA_EXPONENT_2,
    CKA_COEFFICIENT,
    CKA_EC_PARAMS,
    CKA_EC_POINT,
    CKA_ALWAYS_SENSITIVE,
    CKA_NEVER_EXTRACTABLE,
    CKA_ISSUER,
};

template <size_t N> bool contains(const std::array<CK_ATTRIBUTE_TYPE, N>& list, CK_ATTRIBUTE_TYPE type) {
    return std::find(list.begin(), list.end(), type) != list.end();
}

bool hasValue(const AttributeSet& object, CK_ATTRIBUTE_TYPE type) {
    const std::vector<uint8_t>* value = object.find(type);
    return value && !value->empty();
}

CK_RV completeKey(AttributeSet& object, bool isPrivate) {
    const std::optional<CK_ULONG> keyType = object.ulong(CKA_KEY_TYPE);
    if (!keyType)
        return CKR_TEMPLATE_INCOMPLETE;
    object.setDefault(CKA_ID, {});
    object.setDefault(CKA_SUBJECT, {});
    object.setDefault(CKA_START_DATE, {});
    object.setDefault(CKA_END_DATE, {});
    object.setDefaultBool(CKA_DERIVE, false);
    object.setDefaultBool(CKA_LOCAL, false);
    if (!object.has(CKA_KEY_GEN_MECHANISM))
        object.setUlong(CKA_KEY_GEN_MECHANISM, CK_UNAVAILABLE_INFORMATION);

    if (*keyType == CKK_RSA) {
        if (!hasValue(object, CKA_MODULUS) ||
            (isPrivate ? !hasValue(object, CKA_PRIVATE_EXPONENT) : !hasValue(object, CKA_PUBLIC_EXPONENT)))
            return CKR_TEMPLATE_INCOMPLETE;
        std::vector<uint8_t> modulus = *object.find(CKA_MODULUS);
        const auto firstByte = std::find_if(modulus.begin(), modulus.end(), [](uint8_t b) { return b != 0; });
        const CK_ULONG bits = CK_ULONG(std::distance(firstByte, modulus.end())) * 8;
        if (bits < 1024 || bits > 4096)
            return CKR_ATTRIBUTE_VALUE_INVALID;
        object.setUlong(CKA_MODULUS_BITS, bits); // clients show it for private keys too
    } else if (*keyType == CKK_EC) {
        if (!hasValue(object, CKA_EC_PARAMS) || !hasValue(object, isPrivate ? CKA_VALUE : CKA_EC_POINT))
            return CKR_TEMPLATE_INCOMPLETE;
        if (curveBits(*object.find(CKA_EC_PARAMS)) == 0)
            return CKR_CURVE_NOT_SUPPORTED;
    } else {
        return CKR_ATTRIBUTE_VALUE_INVALID;
    }

    if (isPrivate) {
        object.setDefaultBool(CKA_PRIVATE, true);
        object.setDefaultBool(CKA_SENSITIVE, true);
        object.setDefaultBool(CKA_EXTRACTABLE, false);
        object.setDefaultBool(CKA_SIGN, true);
        object.setDefaultBool(CKA_DECRYPT, *keyType == CKK_RSA);
        object.setDefaultBool(CKA_UNWRAP, false);
        object.setDefaultBool(CKA_SIGN_RECOVER, false);
        object.setDefaultBool(CKA_ALWAYS_AUTHENTICATE, false);
        object.setDefaultBool(CKA_WRAP_WITH_TRUSTED, false);
        // An imported key was in the open before it came here.
        object.setBool(CKA_ALWAYS_SENSITIVE, false);
        object.setBool(CKA_NEVER_EXTRACTABLE, false);
    } else {
        object.setDefaultBool(CKA_VERIFY, true);
        object.setDefaultBool(CKA_ENCRYPT, *keyType == CKK_RSA);
        object.setDefaultBool(CKA_WRAP, false);
        object.setDefaultBool(CKA_VERIFY_RECOVER, false);
        object.setDefaultBool(CKA_TRUSTED, false);
    }
    return CKR_OK;
}

} // namespace

int curveBits(const std::vector<uint8_t>& ecParameters) {
    if (ecParameters == P256)
        return 256;
    if (ecParameters == P384)
        return 384;
    return 0;
}

CK_RV completeNewObject(AttributeSet& object) {
    for (const auto& [type, value] : object.values()) {
        if (contains(BooleanAttributes, type) && value.size() != sizeof(CK_BBOOL))
            return CKR_ATTRIBUTE_VALUE_INVALID;
        if (contains(UlongAttributes, type) && value.size() != sizeof(CK_ULONG))
            return CKR_ATTRIBUTE_VALUE_INVALID;
    }
    const std::optional<CK_ULONG> objectClass = object.ulong(CKA_CLASS);
    if (!objectClass)
        return CKR_TEMPLATE_INCOMPLETE;
    object.setDefaultBool(CKA_TOKEN, false);
    object.setDefaultBool(CKA_MODIFIABLE, true);
    object.setDefaultBool(CKA_COPYABLE, true);
    object.setDefaultBool(CKA_DESTROYABLE, true);
    object.setDefault(CKA_LABEL, {});

    switch (*objectClass) {
    case CKO_DATA:
        object.setDefaultBool(CKA_PRIVATE, false);
        object.setDefault(CKA_APPLICATION, {});
        object.setDefault(CKA_OBJECT_ID, {});
        object.setDefault(CKA_VALUE, {});
        return CKR_OK;
    case CKO_CERTIFICATE: {
        const std::optional<CK_ULONG> type = object.ulong(CKA_CERTIFICATE_TYPE);
        if (!type || !hasValue(object, CKA_VALUE))
            return CKR_TEMPLATE_INCOMPLETE;
        if (*type != CKC_X_509)
            return CKR_ATTRIBUTE_VALUE_INVALID;
        object.setDefaultBool(CKA_PRIVATE, false);
        object.setDefaultBool(CKA_TRUSTED, false);
        if (!object.has(CKA_CERTIFICATE_CATEGORY))
            object.setUlong(CKA_CERTIFICATE_CATEGORY, 0);
        object.setDefault(CKA_ID, {});
        object.setDefault(CKA_SUBJECT, {});
        object.setDefault(CKA_ISSUER, {});
        object.setDefault(CKA_SERIAL_NUMBER, {});
        object.setDefault(CKA_START_DATE, {});
        object.setDefault(CKA_END_DATE, {});
        return CKR_OK;
    }
    case CKO_PUBLIC_KEY:
        object.setDefaultBool(CKA_PRIVATE, false);
        return completeKey(object, false);
    case CKO_PRIVATE_KEY:
        return completeKey(object, true);
    default:
        return CKR_ATTRIBUTE_VALUE_INVALID;
    }
}

bool isSensitive(const AttributeSet& object, CK_ATTRIBUTE_TYPE type) {
    if (object.ulong(CKA_CLASS) != CKO_PRIVATE_KEY || !contains(SecretAttributes, type))
        return false;
    return object.isTrue(CKA_SENSITIVE) || !object.isTrue(CKA_EXTRACTABLE);
}

CK_RV checkChange(const AttributeSet& object, const CK_ATTRIBUTE& change) {
    if (!object.isTrue(CKA_MODIFIABLE))
        return CKR_ATTRIBUTE_READ_ONLY;
    if (contains(BooleanAttributes, change.type) && (change.ulValueLen != sizeof(CK_BBOOL) || !change.pValue))
        return CKR_ATTRIBUTE_VALUE_INVALID;
    const bool newValue = contains(BooleanAttributes, change.type) && *static_cast<const CK_BBOOL*>(change.pValue);
    // Once secret always secret: sensitivity only goes up, extractability only down.
    if (change.type == CKA_SENSITIVE)
        return newValue || !object.isTrue(CKA_SENSITIVE) ? CKR_OK : CKR_ATTRIBUTE_READ_ONLY;
    if (change.type == CKA_EXTRACTABLE)
        return !newValue || object.isTrue(CKA_EXTRACTABLE) ? CKR_OK : CKR_ATTRIBUTE_READ_ONLY;
    if (contains(FixedAttributes, change.type))
        return CKR_ATTRIBUTE_READ_ONLY;
    if (change.type == CKA_VALUE && object.ulong(CKA_CLASS) != CKO_DATA)
        return CKR_ATTRIBUTE_READ_ONLY;
    return CKR_OK;
}

} // namespace vtoken
