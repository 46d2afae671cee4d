#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>

// The text of a zero-terminated field, never read beyond the field when the library filled it to the brim.
template <size_t Size>
QByteArray fieldBytes(const std::array<char, Size>& field) {
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
    int32_t reserved1 = 0;
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

// The summary of one certificate of one container.
struct TTokenCertInfo {
    static constexpr int32_t CertificateCapacity = 16384;

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
    int32_t keyAlgorithm = 0; // 3 EC, anything else RSA
    int32_t keyBits = 0;
    int32_t kind = 0; // 0 end entity, 1 root, 2 intermediate
};
