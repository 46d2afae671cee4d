#pragma once

#include <openssl/crypto.h>

#include <cstring>
#include <memory>
#include <string_view>

namespace secrets {

// A PIN or password held only as long as it is needed. It wipes itself when it goes, and it cannot be
// copied, so no stray copy outlives the wipe. A move hands the one buffer over, leaving nothing behind.
class Secret {
public:
    explicit Secret(std::string_view text) : m_size(text.size()), m_data(new char[text.size() + 1]) {
        std::memcpy(m_data.get(), text.data(), text.size());
        m_data[m_size] = '\0';
    }
    ~Secret() {
        if (m_data)
            OPENSSL_cleanse(m_data.get(), m_size);
    }
    Secret(Secret&&) noexcept = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    Secret& operator=(Secret&&) = delete;

    std::string_view view() const { return {m_data.get(), m_size}; }
    size_t size() const { return m_size; }

private:
    size_t m_size;
    std::unique_ptr<char[]> m_data;
};

} // namespace secrets
