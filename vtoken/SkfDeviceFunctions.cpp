// The SKF library's devices and applications: one device per plugged token, one application per device.
#include "vtoken/FingerSensor.h"
#include "vtoken/SkfState.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

using namespace vtoken;
using namespace vtoken::skf;

namespace {

// The token's capabilities in the algorithm identifiers SKF callers know: RSA signatures over SHA-1 and SHA-256,
// as the PKCS#11 side makes them. It has no symmetric cipher and no device authentication.
constexpr SKF_ULONG AlgorithmRsa = 0x00010000;
constexpr SKF_ULONG HashSha1 = 0x00000002;
constexpr SKF_ULONG HashSha256 = 0x00000004;
// The most data one command to the token carries.
constexpr SKF_ULONG LargestCommandData = 2048;
constexpr int MostSamplesPerEnrolment = 10;

std::string deviceName(const TokenRecord& token) {
    return token.model + " " + token.serial;
}

std::string applicationName(const TokenRecord& token) {
    return token.model + " APP";
}

// Names one after another, each ending in a zero byte, the whole ending in one more; no names, no bytes.
std::vector<uint8_t> nameListBytes(const std::vector<std::string>& names) {
    std::vector<uint8_t> list;
    for (const std::string& name : names) {
        list.insert(list.end(), name.begin(), name.end());
        list.push_back(0);
    }
    if (!list.empty())
        list.push_back(0);
    return list;
}

// A name the caller passed: at most this many bytes are looked at, so a string without its zero byte is not read
// past what any of this library's names could be.
std::string givenName(const char* name) {
    constexpr size_t LongestName = 64;
    return std::string(name, strnlen(name, LongestName + 1));
}

template <size_t Size> void fillField(char (&field)[Size], const std::string& text) {
    std::memset(field, 0, Size);
    std::memcpy(field, text.data(), std::min(Size, text.size()));
}

SKF_ULONG clampedSpace(int64_t bytes) {
    return SKF_ULONG(std::clamp<int64_t>(bytes, 0, std::numeric_limits<SKF_ULONG>::max()));
}

} // namespace

VX_SKF_EXPORT SKF_ULONG SKF_EnumDev(SKF_BOOL, char* nameList, SKF_ULONG* size) {
    // A virtual token leaves no reader behind when pulled out, so only plugged tokens are devices, whichever the
    // caller asks for.
    const SKF_ULONG rv = guarded([&](LibraryState& state) -> SKF_ULONG {
        std::vector<std::string> names;
        for (const TokenRecord& token : state.store->tokens())
            if (token.plugged)
                names.push_back(deviceName(token));
        return returnBytes(nameListBytes(names), reinterpret_cast<uint8_t*>(nameList), size);
    });
    // Callers judge by the size alone whether there are devices: a failure must not leave theirs standing.
    if (size && rv != SAR_OK && rv != SAR_BUFFER_TOO_SMALL)
        *size = 0;
    return rv;
}
static_assert(std::is_same_v<decltype(&SKF_EnumDev), SKF_EnumDev_t>);

VX_SKF_EXPORT SKF_ULONG SKF_ConnectDev(const char* name, DEVHANDLE* device) {
    return guarded([&](LibraryState& state) -> SKF_ULONG {
        if (!name || !device)
            return SAR_INVALIDPARAMERR;
        const std::string wanted = givenName(name);
        for (const TokenRecord& token : state.store->tokens()) {
            if (!token.plugged || deviceName(token) != wanted)
                continue;
            for (const auto& [handle, known] : state.devices) {
                if (known.tokenId == token.id && known.plugCount == token.plugCount) {
                    *device = reinterpret_cast<DEVHANDLE>(handle);
                    return SAR_OK;
                }
            }
            *device = newHandle(state);
            state.devices[reinterpret_cast<uintptr_t>(*device)] = Device{token.id, token.plugCount};
            return SAR_OK;
        }
        return SAR_DEVICE_REMOVED; // no such device is plugged in
    });
}
static_assert(std::is_same_v<decltype(&SKF_ConnectDev), SKF_ConnectDev_t>);

VX_SKF_EXPORT SKF_ULONG SKF_GetDevInfo(DEVHANDLE handle, DEVINFO* info) {
    return onDevice(handle, [&](LibraryState& state, Device&, TokenRecord& token) -> SKF_ULONG {
        if (!info)
            return SAR_INVALIDPARAMERR;
        std::memset(info, 0, sizeof *info);
        info->Version = {1, 0};
        fillField(info->Manufacturer, token.manufacturer);
        fillField(info->Issuer, token.issuer);
        fillField(info->Label, token.label);
        fillField(info->SerialNumber, token.serial);
        info->HWVersion = {uint8_t(token.hardwareMajor), uint8_t(token.hardwareMinor)};
        info->FirmwareVersion = {uint8_t(token.firmwareMajor), uint8_t(token.firmwareMinor)};
        info->AlgSymCap = 0;
        info->AlgAsymCap = AlgorithmRsa;
        info->AlgHashCap = HashSha1 | HashSha256;
        info->DevAuthAlgId = 0;
        info->TotalSpace = clampedSpace(token.totalMemory);
        info->FreeSpace = clampedSpace(token.totalMemory - state.store->usedMemory(token.id));
        info->MaxECCBufferSize = LargestCommandData;
        info->MaxBufferSize = LargestCommandData;
        return SAR_OK;
    });
}
static_assert(std::is_same_v<decltype(&SKF_GetDevInfo), SKF_GetDevInfo_t>);

VX_SKF_EXPORT SKF_ULONG SKF_EnumApplication(DEVHANDLE handle, char* nameList, SKF_ULONG* size) {
    return onDevice(handle, [&](LibraryState&, Device&, TokenRecord& token) -> SKF_ULONG {
        return returnBytes(nameListBytes({applicationName(token)}), reinterpret_cast<uint8_t*>(nameList), size);
    });
}
static_assert(std::is_same_v<decltype(&SKF_EnumApplication), SKF_EnumApplication_t>);

VX_SKF_EXPORT SKF_ULONG SKF_OpenApplication(DEVHANDLE handle, const char* name, HAPPLICATION* application) {
    return onDevice(handle, [&](LibraryState& state, Device& device, TokenRecord& token) -> SKF_ULONG {
        if (!name || !application)
            return SAR_INVALIDPARAMERR;
        if (givenName(name) != applicationName(token))
            return SAR_APPLICATION_NOT_EXISTS;
        for (const auto& [handle, known] : state.applications) {
            if (known.tokenId == device.tokenId && known.plugCount == device.plugCount) {
                *application = reinterpret_cast<HAPPLICATION>(handle);
                return SAR_OK;
            }
        }
        *application = newHandle(state);
        state.applications[reinterpret_cast<uintptr_t>(*application)] = Application{device.tokenId, device.plugCount};
        return SAR_OK;
    });
}
static_assert(std::is_same_v<decltype(&SKF_OpenApplication), SKF_OpenApplication_t>);

VX_SKF_EXPORT SKF_ULONG ZKF_GetDeviceCaps(DEVHANDLE handle, uint8_t* caps, SKF_ULONG* capsLength,
                                          SKF_ULONG* deviceType) {
    return onDevice(handle, [&](LibraryState&, Device&, TokenRecord& token) -> SKF_ULONG {
        if (!caps || !capsLength || !deviceType)
            return SAR_INVALIDPARAMERR;
        std::string description = token.model;
        switch (token.sensor) {
        case SensorKind::Fingerprint:
            *deviceType = ZKF_DEVICE_FINGERPRINT;
            description += " fingerprint sensor";
            break;
        case SensorKind::FingerVein:
            *deviceType = ZKF_DEVICE_FINGER_VEIN;
            description += " finger-vein sensor";
            break;
        default:
            *deviceType = ZKF_DEVICE_NO_SENSOR;
            description += " without sensor";
        }
        // The caller's buffer holds ZKF_DEVICE_CAPS_BYTES; the description is far shorter, with its zero byte.
        description.resize(std::min<size_t>(description.size(), ZKF_DEVICE_CAPS_BYTES - 1));
        std::memcpy(caps, description.c_str(), description.size() + 1);
        *capsLength = SKF_ULONG(description.size());
        return SAR_OK;
    });
}
static_assert(std::is_same_v<decltype(&ZKF_GetDeviceCaps), ZKF_GetDeviceCaps_t>);

VX_SKF_EXPORT SKF_ULONG SKF_SetFingerMode(DEVHANDLE handle, SKF_ULONG samplesPerEnrolment) {
    return onDevice(handle, [&](LibraryState& state, Device& device, TokenRecord& token) -> SKF_ULONG {
        if (token.sensor == SensorKind::None)
            return SAR_NOTSUPPORTYETERR;
        if (samplesPerEnrolment < 1 || samplesPerEnrolment > SKF_ULONG(MostSamplesPerEnrolment))
            return SAR_INVALIDPARAMERR;
        state.samplesPerEnrolment[device.tokenId] = int(samplesPerEnrolment);
        return SAR_OK;
    });
}
static_assert(std::is_same_v<decltype(&SKF_SetFingerMode), SKF_SetFingerMode_t>);
