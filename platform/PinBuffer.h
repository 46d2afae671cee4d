#pragma once

#include <QByteArray>

#include <cstring>
#include <memory>
#include <string.h>

// A PIN the program keeps after using it (the last user PIN, for the biometric functions). It cannot be copied, so
// no stray copy outlives the wipe, and it wipes its bytes when cleared, replaced or destroyed.
class PinBuffer {
public:
    PinBuffer() = default;
    ~PinBuffer() { clear(); }
    PinBuffer(const PinBuffer&) = delete;
    PinBuffer& operator=(const PinBuffer&) = delete;

    // Keeps a copy of bytes; the caller wipes its own.
    void assign(const QByteArray& bytes) {
        clear();
        m_size = size_t(bytes.size());
        m_bytes = std::make_unique<char[]>(m_size + 1);
        std::memcpy(m_bytes.get(), bytes.constData(), m_size);
        m_bytes[m_size] = '\0';
    }

    void clear() {
        if (m_bytes)
            explicit_bzero(m_bytes.get(), m_size);
        m_bytes.reset();
        m_size = 0;
    }

    bool isEmpty() const { return m_size == 0; }
    // Zero-terminated; empty when nothing is kept.
    const char* data() const { return m_bytes ? m_bytes.get() : ""; }
    size_t size() const { return m_size; }

private:
    std::unique_ptr<char[]> m_bytes;
    size_t m_size = 0;
};
