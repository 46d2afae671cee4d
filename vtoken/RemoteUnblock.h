#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vtoken {

inline constexpr size_t UnblockRequestBytes = 8;
inline constexpr size_t UnblockResponseBytes = 16;

// The issuer's answer to a token's remote unblock request: the first 16 bytes of HMAC-SHA256 under the token's
// issuer key over the request followed by the token's serial (16 ASCII bytes). Only the issuer and the token know
// the key, so only the issuer can answer, and an answer fits one request of one token. What the vtoken command
// prints for the issuer and what the SKF library expects.
std::array<uint8_t, UnblockResponseBytes> unblockResponse(const std::vector<uint8_t>& issuerKey,
                                                          std::span<const uint8_t> request, const std::string& serial);

} // namespace vtoken
