#pragma once

#include <cstdint>
#include <string>

namespace vtoken {

enum class SensorKind : int { None = 0, Fingerprint = 1, FingerVein = 2 };

// How the token lists enrolled fingers to the SKF library's callers: ten flags (byte k is 1 when finger k+1 is
// enrolled), or the enrolled finger numbers in ascending order padded with zeros to ten or to a hundred entries.
enum class FingerListForm : int { Flags = 0, Identifiers = 1, Identifiers100 = 2 };

// One PIN of a token. The PIN itself is never kept, only its salted slow hash.
struct PinRecord {
    std::string hash; // empty: no PIN set
    int minLength = 4;
    int maxLength = 16;
    int retryMax = 10;  // 1 to 15
    int retryLeft = 10; // 0 = locked

    bool isSet() const { return !hash.empty(); }
    bool locked() const { return retryLeft <= 0; }
};

// The biometric side of a token: which fingers (1 to 10, as bits 0 to 9) are enrolled, and the counters.
struct FingerRecord {
    uint32_t enrolled = 0;
    int retryMax = 10;
    int retryLeft = 10;
    int level = 1;
};

// Everything a virtual token is, apart from its objects and its CD-ROM content.
struct TokenRecord {
    int64_t id = 0;     // the PKCS#11 slot id, stable for the token's life
    std::string serial; // 16 characters
    std::string label;  // at most 32 bytes of UTF-8
    std::string manufacturer = "Quorvex";
    std::string model = "VX7100";
    std::string issuer;
    int hardwareMajor = 1, hardwareMinor = 0;
    int firmwareMajor = 1, firmwareMinor = 0;
    int64_t totalMemory = 262144; // bytes for objects
    bool initialized = true;
    PinRecord userPin;
    PinRecord soPin;
    int usbVendorId = 0x1D99;
    int usbProductId = 0x0101;
    bool plugged = false;
    int64_t plugCount = 0; // grows with every plug; a session from an earlier plug is gone
    SensorKind sensor = SensorKind::None;
    FingerListForm fingerList = FingerListForm::Flags;
    bool sensorAuto = false; // with no event queued, the sensor sees whichever finger is expected (for demos)
    FingerRecord userFingers;
    FingerRecord adminFingers;
    int64_t cdromSectors = 0; // 2048-byte sectors; 0 = no CD-ROM partition
};

} // namespace vtoken
