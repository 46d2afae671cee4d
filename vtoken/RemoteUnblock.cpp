#include "vtoken/RemoteUnblock.h"

#include "vtoken/CryptoContext.h"

#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>

namespace vtoken {

std::array<uint8_t, UnblockResponseBytes> unblockResponse(const std::vector<uint8_t>& issuerKey,
                                                          std::span<const uint8_t> request, const std::string& serial) {
    std::vector<uint8_t> message(request.begin(), request.end());
    message.insert(message.end(), serial.begin(), serial.end());
    unsigned char mac[EVP_MAX_MD_SIZE];
    size_t macLength = 0;
    if (!EVP_Q_mac(cryptoContext(), "HMAC", nullptr, "SHA256", nullptr, issuerKey.data(), issuerKey.size(),
                   message.data(), message.size(), mac, sizeof mac, &macLength) ||
        macLength < UnblockResponseBytes)
        throw std::runtime_error("the remote unblock response cannot be computed");
    std::array<uint8_t, UnblockResponseBytes> response{};
    std::copy_n(mac, response.size(), response.begin());
    return response;
}

} // namespace vtoken
