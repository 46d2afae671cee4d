// The vendor extension: what a token manager needs beyond plain PKCS#11.
#include "shared/VendorExtension.h"
#include "vtoken/FingerSensor.h"
#include "vtoken/ModuleState.h"
#include "vtoken/PinHash.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace vtoken {
namespace {

// How long a login by finger waits for one, and how often it looks at the sensor meanwhile.
constexpr std::chrono::seconds FingerWait{10};
constexpr std::chrono::milliseconds FingerPoll{50};
// The shortest PIN a format may ask for, as for the vtoken command.
constexpr CK_ULONG ShortestPin = 4;

std::string fieldText(const CK_UTF8CHAR* field, size_t size) {
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, size));
}

bool inRange(CK_ULONG value, CK_ULONG low, CK_ULONG high) {
    return value >= low && value <= high;
}

CK_RV GetPinState(CK_SLOT_ID slot, CK_USER_TYPE user, VX_PIN_STATE* state) {
    return guarded([&](ModuleState& module) -> CK_RV {
        if (!state || (user != CKU_USER && user != CKU_SO))
            return CKR_ARGUMENTS_BAD;
        TokenRecord token;
        if (const CK_RV rv = presentToken(module, slot, token); rv != CKR_OK)
            return rv;
        const PinRecord& pin = user == CKU_SO ? token.soPin : token.userPin;
        state->remaining = CK_ULONG(std::max(0, pin.retryLeft));
        state->maximum = CK_ULONG(pin.retryMax);
        state->locked = pin.locked() ? CK_TRUE : CK_FALSE;
        return CKR_OK;
    });
}

CK_RV GetPinLengths(CK_SLOT_ID slot, CK_USER_TYPE user, CK_ULONG* minLength, CK_ULONG* maxLength) {
    return guarded([&](ModuleState& module) -> CK_RV {
        if (!minLength || !maxLength || (user != CKU_USER && user != CKU_SO))
            return CKR_ARGUMENTS_BAD;
        TokenRecord token;
        if (const CK_RV rv = presentToken(module, slot, token); rv != CKR_OK)
            return rv;
        const PinRecord& pin = user == CKU_SO ? token.soPin : token.userPin;
        *minLength = CK_ULONG(pin.minLength);
        *maxLength = CK_ULONG(pin.maxLength);
        return CKR_OK;
    });
}

CK_RV SetTokenLabel(CK_SLOT_ID slot, const CK_UTF8CHAR* label, CK_ULONG labelLength) {
    return guarded([&](ModuleState& module) -> CK_RV {
        if (!label || labelLength == 0 || labelLength > 32)
            return CKR_ARGUMENTS_BAD;
        TokenRecord token;
        if (const CK_RV rv = presentToken(module, slot, token); rv != CKR_OK)
            return rv;
        module.store->transaction([&] {
            token = module.store->existingToken(int64_t(slot));
            token.label.assign(reinterpret_cast<const char*>(label), labelLength);
            module.store->updateToken(token);
        });
        return CKR_OK;
    });
}

CK_RV FormatToken(CK_SLOT_ID slot, const CK_UTF8CHAR* currentSoPin, CK_ULONG currentSoPinLength,
                  const VX_FORMAT_PARAMS* params) {
    return guarded([&](ModuleState& module) -> CK_RV {
        if (!params || (!currentSoPin && currentSoPinLength))
            return CKR_ARGUMENTS_BAD;
        TokenRecord token;
        if (const CK_RV rv = presentToken(module, slot, token); rv != CKR_OK)
            return rv;
        const std::string label = fieldText(params->label, sizeof params->label);
        const std::string soPin = fieldText(params->soPin, sizeof params->soPin);
        const std::string userPin = fieldText(params->userPin, sizeof params->userPin);
        if (label.size() > 32 || !inRange(params->userPinRetries, 1, 15) || !inRange(params->soPinRetries, 1, 15) ||
            !inRange(params->userPinMinLength, ShortestPin, 32) ||
            !inRange(params->userPinMaxLength, params->userPinMinLength, 32) ||
            !inRange(params->soPinMinLength, ShortestPin, 32) ||
            !inRange(params->soPinMaxLength, params->soPinMinLength, 32))
            return CKR_ARGUMENTS_BAD;
        if (!inRange(userPin.size(), params->userPinMinLength, params->userPinMaxLength) ||
            !inRange(soPin.size(), params->soPinMinLength, params->soPinMaxLength))
            return CKR_PIN_LEN_RANGE;
        CK_RV rv = CKR_OK;
        module.store->transaction([&] {
            token = module.store->existingToken(int64_t(slot));
            // The SO PIN is checked before anything is wiped, and a wrong one counts.
            if (token.initialized) {
                rv = verifyTokenPin(*module.store, token, &TokenRecord::soPin,
                                    {reinterpret_cast<const char*>(currentSoPin), currentSoPinLength});
                if (rv != CKR_OK)
                    return;
            }
            module.store->deleteObjects(token.id);
            token.label = label;
            token.manufacturer = fieldText(params->manufacturer, sizeof params->manufacturer);
            token.issuer = fieldText(params->issuer, sizeof params->issuer);
            token.userPin = {hashPin(userPin), int(params->userPinMinLength), int(params->userPinMaxLength),
                             int(params->userPinRetries), int(params->userPinRetries)};
            token.soPin = {hashPin(soPin), int(params->soPinMinLength), int(params->soPinMaxLength),
                           int(params->soPinRetries), int(params->soPinRetries)};
            forgetFingers(token);
            token.initialized = true;
            module.store->updateToken(token);
            // A pending remote unblock was asked of the former holder's SO.
            module.store->setUnblockRequest(token.id, {});
        });
        if (rv == CKR_OK) {
            module.logins.erase(slot);
            std::erase_if(module.sessionObjects, [slot](const auto& entry) { return entry.second.slot == slot; });
            // What a search found or a signature was begun with is gone.
            for (auto& [handle, session] : module.sessions) {
                if (session.slot == slot) {
                    session.find = {};
                    session.sign = {};
                }
            }
        }
        return rv;
    });
}

CK_RV GetCdromInfo(CK_SLOT_ID slot, CK_ULONG* sectorCount) {
    return guarded([&](ModuleState& module) -> CK_RV {
        if (!sectorCount)
            return CKR_ARGUMENTS_BAD;
        TokenRecord token;
        if (const CK_RV rv = presentToken(module, slot, token); rv != CKR_OK)
            return rv;
        *sectorCount = CK_ULONG(token.cdromSectors);
        return CKR_OK;
    });
}

CK_RV WriteCdromSectors(CK_SESSION_HANDLE handle, CK_ULONG first, CK_ULONG count, const CK_BYTE* data) {
    return inSession(handle, [&](ModuleState& module, Session& session, TokenRecord& token) -> CK_RV {
        if (loggedIn(module, session.slot) != CKU_USER)
            return CKR_USER_NOT_LOGGED_IN;
        if ((!data && count) || first > CK_ULONG(token.cdromSectors) || count > CK_ULONG(token.cdromSectors) - first)
            return CKR_ARGUMENTS_BAD;
        module.store->writeSectors(token.id, int64_t(first),
                                   std::vector<uint8_t>(data, data + count * Store::SectorSize));
        return CKR_OK;
    });
}

CK_RV BiometricLogin(CK_SESSION_HANDLE handle, CK_USER_TYPE user) {
    return loginByFinger(handle, user);
}

const VX_VENDOR_EXTENSION Extension = {
    {VX_VENDOR_EXTENSION_VERSION_MAJOR, VX_VENDOR_EXTENSION_VERSION_MINOR},
    GetPinState,
    SetTokenLabel,
    FormatToken,
    GetCdromInfo,
    WriteCdromSectors,
    BiometricLogin,
    GetPinLengths,
};

} // namespace

CK_RV loginByFinger(CK_SESSION_HANDLE handle, CK_USER_TYPE user) {
    const auto deadline = std::chrono::steady_clock::now() + FingerWait;
    for (;;) {
        bool waiting = false;
        // Everything is checked again at each look: the session may have closed, or someone logged in, meanwhile.
        const CK_RV rv = inSession(handle, [&](ModuleState& module, Session& session, TokenRecord& token) -> CK_RV {
            if (user != CKU_USER && user != CKU_SO)
                return CKR_USER_TYPE_INVALID;
            if (token.sensor == SensorKind::None)
                return CKR_FUNCTION_NOT_SUPPORTED;
            if (const CK_RV allowed = loginAllowed(module, session, user); allowed != CKR_OK)
                return allowed;
            switch (lookForLoginFinger(*module.store, token.id,
                                       user == CKU_SO ? &TokenRecord::adminFingers : &TokenRecord::userFingers)) {
            case FingerLogin::Waiting:
                waiting = true;
                return CKR_OK;
            case FingerLogin::Matched:
                module.logins[session.slot] = user;
                return CKR_OK;
            case FingerLogin::NotMatched:
                return VX_CKR_FINGER_NOT_MATCHED;
            case FingerLogin::Locked:
                return CKR_PIN_LOCKED;
            case FingerLogin::NotEnrolled:
                return VX_CKR_FINGER_NOT_ENROLLED;
            case FingerLogin::CaptureFailed:
                return VX_CKR_FINGER_CAPTURE_FAILED;
            }
            return CKR_GENERAL_ERROR;
        });
        if (!waiting)
            return rv;
        // No finger in time reads as a finger the sensor could not take: nothing was tried, nothing counted.
        if (std::chrono::steady_clock::now() >= deadline)
            return VX_CKR_FINGER_CAPTURE_FAILED;
        std::this_thread::sleep_for(FingerPoll);
    }
}

} // namespace vtoken

extern "C" __attribute__((visibility("default"))) CK_RV VX_GetVendorExtension(const VX_VENDOR_EXTENSION** extension) {
    if (!extension)
        return CKR_ARGUMENTS_BAD;
    *extension = &vtoken::Extension;
    return CKR_OK;
}
