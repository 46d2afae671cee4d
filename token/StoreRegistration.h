#pragma once

#include "token/TokenLibrary.h"

#include <QString>

#include <cstdint>

// The token's certificates in the user's certificate store, where browsers find them: end-entity certificates
// linked to their container through the provider (CSP) name, root and intermediate certificates as trusted and
// untrusted authorities.
namespace StoreRegistration {

inline constexpr int32_t ExchangeFailure = 10000;  // plus the library's code
inline constexpr int32_t SignatureFailure = 20000; // plus the library's code

// Which end-entity certificates a registration mode (the profile's RegCertMode) registers: 0 both, 1 both unless
// their key is ECC, 2 the signature certificate unless ECC, anything else none.
bool registers(int32_t mode, int32_t usage, bool ecc);

// Reads the token's container list into info, then registers each container's certificates, usage 1 before 2.
// 0; the list's code when it cannot be read; ExchangeFailure or SignatureFailure plus the code of the first
// certificate the store refused, which ends the run. Authorities' failures are not reported.
int32_t RegisterTokenCertificates(TokenLibrary& tokens, int32_t index, TTokenInfo& info, const QString& cspName,
                                  int32_t mode);

// Removes the registration of every certificate that the provider cspName (exactly, case included) registered, from
// every token; a certificate that another provider registered too stays for that one. The name goes to the store in
// the locale's 8-bit encoding, as RegisterTokenCertificates hands it to the library. Always 0: nothing to remove,
// and a store that cannot be opened, are no failure to report.
int32_t RemoveCspCertificates(const QString& cspName);

} // namespace StoreRegistration
