#pragma once

#include "vtoken/AttributeSet.h"

#include <vector>

namespace vtoken {

// Whether the mechanism suits the key: the RSA PKCS#1 v1.5 family for RSA keys, the ECDSA family for EC keys.
CK_RV checkSignMechanism(const AttributeSet& key, CK_MECHANISM_TYPE mechanism);

// The length of a signature the key makes: the modulus for RSA, r and s side by side for ECDSA.
CK_ULONG signatureLength(const AttributeSet& key);

// Signs data (the hash for plain CKM_ECDSA, a DigestInfo for plain CKM_RSA_PKCS) with the key's stored parts.
CK_RV sign(const AttributeSet& key, CK_MECHANISM_TYPE mechanism, const std::vector<uint8_t>& data,
           std::vector<uint8_t>& signature);

} // namespace vtoken
