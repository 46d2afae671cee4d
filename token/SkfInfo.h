#pragma once

#include "shared/SkfApi.h"

#include <QByteArray>

#include <array>
#include <cstdint>

// Device types 0 and 1 of ZKF_GetDeviceCaps are tokens without a sensor; every higher type has one.
inline bool hasBiometricSensor(SKF_ULONG deviceType) {
    return deviceType > 1;
}

// The SKF devices found by the last discovery. After SkfDiscover each entry holds the device's serial number in
// place of its name. Holds 33 devices; further ones are ignored.
struct TSkfDevInfo {
    static constexpr int Capacity = 33;

    uint32_t count = 0;
    std::array<QByteArray, Capacity> names; // byte text in the locale's encoding
};

// The applications of one SKF device. Holds 9; further ones are ignored.
struct TSkfAppInfo {
    static constexpr int Capacity = 9;

    uint32_t count = 0;
    std::array<QByteArray, Capacity> names;
    std::array<HAPPLICATION, Capacity> handles{};
};

// The biometric state of one application and PIN type as SKF_GetFingerInfo last gave it.
struct TSkfFingerInfo {
    // The fourth output is the remaining biometric retry count; the library defines the others.
    std::array<SKF_ULONG, 4> outputs{};
    // Ten flags (position k flags finger k+1) or finger numbers (0 = empty); which form, the bytes tell.
    std::array<uint8_t, SKF_FINGER_LIST_BYTES> list{};
    uint32_t listLength = 0;
    uint32_t enrolledCount = 0;
};
