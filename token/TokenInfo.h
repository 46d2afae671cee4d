#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>

// The text of a zero-terminated field, never read beyond the field when the library filled it to the brim.
template <size_t Size> QByteArray fieldBytes(const std::array<char, Size>& field) {
    return QByteArray(field.data(), qsizetype(std::find(field.begin(), field.end(), '\0') - field.begin()));
}

// What the token library tells about one token, plus the container list the program reads into it.
struct TTokenInfo {
    static constexpr int MaximumContainers = 65;

    std::array<char, 33> serial{}; // locale encoding, zero-terminated
    std::array<char, 129> label{}; // UTF-8, zero-terminated
    std::array<char, 65> manufacturer{};
    std::array<char, 65> model{};
    int32_t maxPinLength = 0;
    int32_t minPinLength = 0;
    int32_t soMaxPinLength = 0;
    int32_t soMinPinLength = 0;
    int32_t totalMemory = 0;
    int32_t freeMemory = 0;
    int32_t hardwareVersion = 0; // major * 256 + minor
    int32_t firmwareVersion = 0;
    int32_t initialized = 0;
    int32_t containerCount = 0;
    std::array<QByteArray, MaximumContainers> containerNames; // exact bytes
    int32_t reserved2 = 0;

    QString labelText() const { return QString::fromUtf8(fieldBytes(label)); }
    QByteArray serialBytes() const { return fieldBytes(serial); }
};

// The two key pairs of a container, as the library numbers their usage.
enum KeyUsage : int32_t { ExchangeUsage = 1, SignatureUsage = 2 };

// The PIN types of the token library.
enum PinType : int32_t { SoPinType = 0, UserPinType = 1 };

// What token_get_pin_state tells of a PIN; what the library could not read stays 0.
struct PinState {
    static constexpr int32_t Locked = 1;

    int32_t remaining = 0;
    int32_t maximum = 0;
    int32_t locked = 0; // Locked when the PIN is blocked
};

// The summary of one certificate of one container.
struct TTokenCertInfo {
    static constexpr int32_t CertificateCapacity = 16384;
    // The key algorithm code of an elliptic-curve key; every other code is RSA.
    static constexpr int32_t EccAlgorithm = 3;
    enum Kind : int32_t { EndEntity = 0, Root = 1, Intermediate = 2 };

    QByteArray certificate; // DER, as stored on the token
    int32_t certificateLength = 0;
    QString subject;
    QString issuer;
    int32_t version = 0;
    QByteArray serial;
    QString validFrom; // yyyy-mm-dd
    QString validTo;
    std::array<int32_t, 9> validFromDate{};
    std::array<int32_t, 9> validToDate{};
    int32_t keyAlgorithm = 0; // EccAlgorithm or RSA
    int32_t keyBits = 0;
    int32_t kind = EndEntity;
};
