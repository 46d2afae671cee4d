#include "vtoken/CryptoContext.h"

#include "shared/OpenSslHandles.h"

namespace vtoken {

OSSL_LIB_CTX* cryptoContext() {
    static OSSL_LIB_CTX* const context = openssl::newPrivateContext();
    return context;
}

} // namespace vtoken
