#pragma once

#include <openssl/types.h>

namespace vtoken {

// The virtual token's own OpenSSL context: its keys, hashes and random numbers never depend on what the program
// that loaded the module set up in OpenSSL (an engine that sends RSA back to a PKCS#11 module, a provider of its
// own). Null only when OpenSSL cannot make one, and then OpenSSL's default context serves.
OSSL_LIB_CTX* cryptoContext();

} // namespace vtoken
