#include "vtoken/RemoteUnblock.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <stdexcept>

namespace vtoken {

std::array<uint8_t, UnblockResponseBytes> unblockResponse(const std::vector<uint8_t>& issuerKey,
                                                          std::span<const uint8_t> request, const std::string& serial) {
    std::vector<uint8_t> message(request.begin(), request.end());
    message.insert(message.end(), serial.begin(), serial.end());
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macLength = 0;
    if (!HMAC(EVP_sha256(), issuerKey.data(), int(issuerKey.size()), message.data(), message.size(), mac, &macLength) ||
        macLength < UnblockResponseBytes)
        throw std::runtime_error("the remote unblock response cannot be computed");
    std::array<uint8_t, UnblockResponseBytes> response{};
    std::copy_n(mac, response.size(), response.begin());
    return response;
}

} // namespace vtoken
