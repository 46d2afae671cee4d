#include "vtoken/PinHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>
#include <vector>

namespace vtoken {
namespace {

constexpr int Iterations = 20000;
constexpr size_t SaltBytes = 16;
constexpr size_t HashBytes = 32;

std::string toHex(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::vector<unsigned char> fromHex(std::string_view text) {
    std::vector<unsigned char> bytes;
    const auto value = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const int high = value(text[i]), low = value(text[i + 1]);
        if (high < 0 || low < 0)
            return {};
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return bytes;
}

std::vector<unsigned char> derive(std::string_view pin, const std::vector<unsigned char>& salt, int iterations) {
    std::vector<unsigned char> hash(HashBytes);
    if (PKCS5_PBKDF2_HMAC(pin.data(), int(pin.size()), salt.data(), int(salt.size()), iterations, EVP_sha256(),
                          int(hash.size()), hash.data()) != 1)
        throw std::runtime_error("PIN hashing failed");
    return hash;
}

} // namespace

std::string hashPin(std::string_view pin) {
    std::vector<unsigned char> salt(SaltBytes);
    if (RAND_bytes(salt.data(), int(salt.size())) != 1)
        throw std::runtime_error("no random numbers for the PIN salt");
    return "pbkdf2-sha256$" + std::to_string(Iterations) + "$" + toHex(salt) + "$" +
           toHex(derive(pin, salt, Iterations));
}

bool verifyPin(std::string_view pin, const std::string& stored) {
    const size_t first = stored.find('$');
    const size_t second = stored.find('$', first + 1);
    const size_t third = stored.find('$', second + 1);
    if (first == std::string::npos || second == std::string::npos || third == std::string::npos ||
        stored.compare(0, first, "pbkdf2-sha256") != 0)
        return false;
    const int iterations = std::atoi(stored.substr(first + 1, second - first - 1).c_str());
    const std::vector<unsigned char> salt = fromHex(std::string_view(stored).substr(second + 1, third - second - 1));
    const std::vector<unsigned char> expected = fromHex(std::string_view(stored).substr(third + 1));
    if (iterations <= 0 || salt.empty() || expected.size() != HashBytes)
        return false;
    const std::vector<unsigned char> actual = derive(pin, salt, iterations);
    return CRYPTO_memcmp(actual.data(), expected.data(), HashBytes) == 0;
}

} // namespace vtoken
