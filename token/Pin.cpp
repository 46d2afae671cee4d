#include "token/Pin.h"

#include "platform/TextEncoding.h"

#include <cstring>
#include <string.h>
#include <utility>

Pin::Pin(const QString& text) {
    QByteArray bytes = TextEncoding::toLocal8(text);
    m_size = size_t(bytes.size());
    m_bytes = std::make_unique<char[]>(m_size + 1);
    std::memcpy(m_bytes.get(), bytes.constData(), m_size);
    m_bytes[m_size] = '\0';
    explicit_bzero(bytes.data(), size_t(bytes.size()));
}

Pin::Pin(Pin&& other) noexcept : m_bytes(std::move(other.m_bytes)), m_size(std::exchange(other.m_size, 0)) {}

Pin& Pin::operator=(Pin&& other) noexcept {
    if (this != &other) {
        clear();
        m_bytes = std::move(other.m_bytes);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void Pin::clear() {
    if (m_bytes)
        explicit_bzero(m_bytes.get(), m_size);
    m_bytes.reset();
    m_size = 0;
}
