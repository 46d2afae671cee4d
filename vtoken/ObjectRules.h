#pragma once

#include "vtoken/AttributeSet.h"

namespace vtoken {

// Checks the template of a new object and completes it with the defaults of its class: data objects, X.509
// certificates, RSA and EC (P-256, P-384) public and private keys.
CK_RV completeNewObject(AttributeSet& object);

// Secret parts of a private key that stays on the token: they are never read out.
bool isSensitive(const AttributeSet& object, CK_ATTRIBUTE_TYPE type);

// Whether a caller may set the attribute to the value given: CKR_OK, or CKR_ATTRIBUTE_READ_ONLY /
// CKR_ATTRIBUTE_VALUE_INVALID.
CK_RV checkChange(const AttributeSet& object, const CK_ATTRIBUTE& change);

// The curve of an EC key by its DER-encoded parameters: 256 or 384 bits, or 0 for a curve the token lacks.
int curveBits(const std::vector<uint8_t>& ecParameters);

} // namespace vtoken
