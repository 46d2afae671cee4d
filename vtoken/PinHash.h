#pragma once

#include <string>
#include <string_view>

namespace vtoken {

// PINs are kept as "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>" with a random salt, so a copied store does
// not give the PINs away and a guess costs real work.
std::string hashPin(std::string_view pin);
bool verifyPin(std::string_view pin, const std::string& stored);

} // namespace vtoken
