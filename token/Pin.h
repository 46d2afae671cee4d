#pragma once

#include <QString>

#include <cstddef>
#include <memory>

class OperationLog;
class SkfLibrary;
class TokenLibrary;

// A PIN, SO PIN or password on its way to a token, from the edit that took it to the library call: held as the
// 8-bit text the libraries take, never copied, wiped when it goes. Only the two bindings read its bytes; the
// operation log shows it as "***", and nothing else can print it.
class Pin {
public:
    Pin() = default;
    // The text in the locale's encoding; the converted copy it comes from is wiped.
    Pin(const QString& text); // NOLINT: a PIN typed is a PIN, wherever a page hands it on
    ~Pin() { clear(); }
    Pin(Pin&& other) noexcept;
    Pin& operator=(Pin&& other) noexcept;
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

    void clear();
    bool isEmpty() const { return m_size == 0; }
    // The number of bytes the token counts.
    size_t size() const { return m_size; }

private:
    friend class OperationLog;
    friend class SkfLibrary;
    friend class TokenLibrary;

    // Zero-terminated; "" when empty.
    const char* data() const { return m_bytes ? m_bytes.get() : ""; }

    std::unique_ptr<char[]> m_bytes;
    size_t m_size = 0;
};
