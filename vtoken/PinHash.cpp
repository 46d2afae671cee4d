#include "vtoken/PinHash.h"

#include "vtoken/CryptoContext.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <memory>
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
    std::unique_ptr<EVP_KDF, decltype(&EVP_KDF_free)> kdf(EVP_KDF_fetch(cryptoContext(), "PBKDF2", nullptr),
                                                          EVP_KDF_free);
    std::unique_ptr<EVP_KDF_CTX, decltype(&EVP_KDF_CTX_free)> context(kdf ? EVP_KDF_CTX_new(kdf.get()) : nullptr,
                                                                      EVP_KDF_CTX_free);
    unsigned int rounds = unsigned(iterations);
    char digest[] = "SHA256";
    const OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, const_cast<char*>(pin.data()), pin.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<unsigned char*>(salt.data()), salt.size()),
        OSSL_PARAM_construct_uint(OSSL_KDF_PARAM_ITER, &rounds),
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0), OSSL_PARAM_construct_end()};
    if (!context || EVP_KDF_derive(context.get(), hash.data(), hash.size(), parameters) != 1)
        throw std::runtime_error("PIN hashing failed");
    return hash;
}

} // namespace

std::string hashPin(std::string_view pin) {
    std::vector<unsigned char> salt(SaltBytes);
    if (RAND_bytes_ex(cryptoContext(), salt.data(), salt.size(), 0) != 1)
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
