// Library, slot and token information, token initialization and slot events.
#include "vtoken/FingerSensor.h"
#include "vtoken/ModuleFunctions.h"
#include "vtoken/ModuleState.h"
#include "vtoken/PinHash.h"

#include <array>
#include <chrono>
#include <cstring>
#include <thread>

namespace vtoken::pkcs11 {
namespace {

constexpr char Manufacturer[] = "Quorvex";
constexpr CK_ULONG EffectivelyInfinite = CK_EFFECTIVELY_INFINITE;

struct MechanismEntry {
    CK_MECHANISM_TYPE type;
    CK_ULONG minimumBits;
    CK_ULONG maximumBits;
    CK_FLAGS flags;
};

constexpr CK_FLAGS EcFlags = CKF_SIGN | CKF_HW | CKF_EC_F_P | CKF_EC_NAMEDCURVE | CKF_EC_UNCOMPRESS;
constexpr std::array<MechanismEntry, 10> Mechanisms = {{
    {CKM_RSA_PKCS, 1024, 4096, CKF_SIGN | CKF_HW},
    {CKM_SHA1_RSA_PKCS, 1024, 4096, CKF_SIGN | CKF_HW},
    {CKM_SHA256_RSA_PKCS, 1024, 4096, CKF_SIGN | CKF_HW},
    {CKM_SHA384_RSA_PKCS, 1024, 4096, CKF_SIGN | CKF_HW},
    {CKM_SHA512_RSA_PKCS, 1024, 4096, CKF_SIGN | CKF_HW},
    {CKM_ECDSA, 256, 384, EcFlags},
    {CKM_ECDSA_SHA1, 256, 384, EcFlags},
    {CKM_ECDSA_SHA256, 256, 384, EcFlags},
    {CKM_ECDSA_SHA384, 256, 384, EcFlags},
    {CKM_ECDSA_SHA512, 256, 384, EcFlags},
}};

CK_RV returnList(const std::vector<CK_ULONG>& items, CK_ULONG* buffer, CK_ULONG_PTR count) {
    if (!count)
        return CKR_ARGUMENTS_BAD;
    if (!buffer) {
        *count = items.size();
        return CKR_OK;
    }
    if (*count < items.size()) {
        *count = items.size();
        return CKR_BUFFER_TOO_SMALL;
    }
    std::copy(items.begin(), items.end(), buffer);
    *count = items.size();
    return CKR_OK;
}

CK_FLAGS pinFlags(const PinRecord& pin, CK_FLAGS countLow, CK_FLAGS finalTry, CK_FLAGS locked) {
    if (!pin.isSet())
        return 0;
    if (pin.locked())
        return locked;
    CK_FLAGS flags = 0;
    if (pin.retryLeft < pin.retryMax)
        flags |= countLow;
    if (pin.retryLeft == 1)
        flags |= finalTry;
    return flags;
}

std::string trimmedLabel(const CK_UTF8CHAR* label) {
    std::string text(reinterpret_cast<const char*>(label), 32);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

} // namespace

CK_RV C_Initialize(CK_VOID_PTR initArgs) {
    ModuleState& state = moduleState();
    std::lock_guard lock(state.mutex);
    if (state.initialized)
        return CKR_CRYPTOKI_ALREADY_INITIALIZED;
    if (initArgs) {
        const auto* args = static_cast<const CK_C_INITIALIZE_ARGS*>(initArgs);
        if (args->pReserved)
            return CKR_ARGUMENTS_BAD;
        const int given = !!args->CreateMutex + !!args->DestroyMutex + !!args->LockMutex + !!args->UnlockMutex;
        if (given != 0 && given != 4)
            return CKR_ARGUMENTS_BAD;
        // The module locks with the system's own primitives; it cannot use only the caller's.
        if (given == 4 && !(args->flags & CKF_OS_LOCKING_OK))
            return CKR_CANT_LOCK;
    }
    try {
        state.store = Store::openIfPresent();
        for (const TokenRecord& token : state.store->tokens())
            state.reportedPresence[CK_SLOT_ID(token.id)] = token.plugged;
    } catch (const StoreError&) {
        state.store.reset();
        return CKR_DEVICE_ERROR;
    }
    state.initialized = true;
    return CKR_OK;
}

CK_RV C_Finalize(CK_VOID_PTR reserved) {
    if (reserved)
        return CKR_ARGUMENTS_BAD;
    ModuleState& state = moduleState();
    std::lock_guard lock(state.mutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    state.sessions.clear();
    state.sessionObjects.clear();
    state.logins.clear();
    state.reportedPresence.clear();
    state.store.reset();
    state.initialized = false;
    return CKR_OK;
}

CK_RV C_GetInfo(CK_INFO_PTR info) {
    return guarded([&](ModuleState&) -> CK_RV {
        if (!info)
            return CKR_ARGUMENTS_BAD;
        std::memset(info, 0, sizeof *info);
        info->cryptokiVersion = {2, 40};
        padField(info->manufacturerID, sizeof info->manufacturerID, Manufacturer);
        padField(info->libraryDescription, sizeof info->libraryDescription, "VX7100 virtual USB token");
        info->libraryVersion = {1, 0};
        return CKR_OK;
    });
}

CK_RV C_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR slots, CK_ULONG_PTR count) {
    return guarded([&](ModuleState& state) -> CK_RV {
        std::vector<CK_ULONG> found;
        for (const TokenRecord& token : state.store->tokens())
            if (!tokenPresent || token.plugged)
                found.push_back(CK_SLOT_ID(token.id));
        return returnList(found, slots, count);
    });
}

CK_RV C_GetSlotInfo(CK_SLOT_ID slot, CK_SLOT_INFO_PTR info) {
    return guarded([&](ModuleState& state) -> CK_RV {
        if (!info)
            return CKR_ARGUMENTS_BAD;
        TokenRecord token;
        const CK_RV rv = presentToken(state, slot, token);
        if (rv != CKR_OK && rv != CKR_TOKEN_NOT_PRESENT)
            return rv;
        std::memset(info, 0, sizeof *info);
        padField(info->slotDescription, sizeof info->slotDescription, "VX7100 virtual USB token " + token.serial);
        padField(info->manufacturerID, sizeof info->manufacturerID, Manufacturer);
        info->flags = CKF_REMOVABLE_DEVICE | CKF_HW_SLOT | (token.plugged ? CKF_TOKEN_PRESENT : 0);
        info->hardwareVersion = {CK_BYTE(token.hardwareMajor), CK_BYTE(token.hardwareMinor)};
        info->firmwareVersion = {CK_BYTE(token.firmwareMajor), CK_BYTE(token.firmwareMinor)};
        return CKR_OK;
    });
}

CK_RV C_GetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    return guarded([&](ModuleState& state) -> CK_RV {
        if (!info)
            return CKR_ARGUMENTS_BAD;
        TokenRecord token;
        if (const CK_RV rv = presentToken(state, slot, token); rv != CKR_OK)
            return rv;
        std::memset(info, 0, sizeof *info);
        padField(info->label, sizeof info->label, token.label);
        padField(info->manufacturerID, sizeof info->manufacturerID, token.manufacturer);
        padField(info->model, sizeof info->model, token.model);
        padField(info->serialNumber, sizeof info->serialNumber, token.serial);
        info->flags = CKF_RNG | CKF_LOGIN_REQUIRED;
        if (token.userPin.isSet())
            info->flags |= CKF_USER_PIN_INITIALIZED;
        if (token.initialized)
            info->flags |= CKF_TOKEN_INITIALIZED;
        if (token.sensor != SensorKind::None)
            info->flags |= CKF_PROTECTED_AUTHENTICATION_PATH;
        info->flags |= pinFlags(token.userPin, CKF_USER_PIN_COUNT_LOW, CKF_USER_PIN_FINAL_TRY, CKF_USER_PIN_LOCKED);
        info->flags |= pinFlags(token.soPin, CKF_SO_PIN_COUNT_LOW, CKF_SO_PIN_FINAL_TRY, CKF_SO_PIN_LOCKED);
        CK_ULONG sessions = 0, readWrite = 0;
        for (const auto& [handle, session] : state.sessions) {
            if (session.slot != slot)
                continue;
            ++sessions;
            readWrite += (session.flags & CKF_RW_SESSION) ? 1 : 0;
        }
        info->ulMaxSessionCount = EffectivelyInfinite;
        info->ulSessionCount = sessions;
        info->ulMaxRwSessionCount = EffectivelyInfinite;
        info->ulRwSessionCount = readWrite;
        info->ulMaxPinLen = CK_ULONG(token.userPin.maxLength);
        info->ulMinPinLen = CK_ULONG(token.userPin.minLength);
        const CK_ULONG free = CK_ULONG(std::max<int64_t>(0, token.totalMemory - state.store->usedMemory(token.id)));
        info->ulTotalPublicMemory = info->ulTotalPrivateMemory = CK_ULONG(token.totalMemory);
        info->ulFreePublicMemory = info->ulFreePrivateMemory = free;
        info->hardwareVersion = {CK_BYTE(token.hardwareMajor), CK_BYTE(token.hardwareMinor)};
        info->firmwareVersion = {CK_BYTE(token.firmwareMajor), CK_BYTE(token.firmwareMinor)};
        std::memset(info->utcTime, ' ', sizeof info->utcTime);
        return CKR_OK;
    });
}

CK_RV C_GetMechanismList(CK_SLOT_ID slot, CK_MECHANISM_TYPE_PTR mechanisms, CK_ULONG_PTR count) {
    return guarded([&](ModuleState& state) -> CK_RV {
        TokenRecord token;
        if (const CK_RV rv = presentToken(state, slot, token); rv != CKR_OK)
            return rv;
        std::vector<CK_ULONG> types;
        for (const MechanismEntry& entry : Mechanisms)
            types.push_back(entry.type);
        return returnList(types, mechanisms, count);
    });
}

CK_RV C_GetMechanismInfo(CK_SLOT_ID slot, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO_PTR info) {
    return guarded([&](ModuleState& state) -> CK_RV {
        if (!info)
            return CKR_ARGUMENTS_BAD;
        TokenRecord token;
        if (const CK_RV rv = presentToken(state, slot, token); rv != CKR_OK)
            return rv;
        for (const MechanismEntry& entry : Mechanisms) {
            if (entry.type == type) {
                *info = {entry.minimumBits, entry.maximumBits, entry.flags};
                return CKR_OK;
            }
        }
        return CKR_MECHANISM_INVALID;
    });
}

CK_RV C_InitToken(CK_SLOT_ID slot, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength, CK_UTF8CHAR_PTR label) {
    return guarded([&](ModuleState& state) -> CK_RV {
        if (!pin || !label)
            return CKR_ARGUMENTS_BAD;
        TokenRecord token;
        if (const CK_RV rv = presentToken(state, slot, token); rv != CKR_OK)
            return rv;
        for (const auto& [handle, session] : state.sessions)
            if (session.slot == slot)
                return CKR_SESSION_EXISTS;
        const std::string_view soPin(reinterpret_cast<const char*>(pin), pinLength);
        CK_RV rv = CKR_OK;
        state.store->transaction([&] {
            token = state.store->existingToken(int64_t(slot));
            if (token.initialized) {
                rv = verifyTokenPin(*state.store, token, &TokenRecord::soPin, soPin);
                if (rv != CKR_OK)
                    return;
            } else {
                // A token never initialized takes the PIN given here as its SO PIN.
                if (pinLength < CK_ULONG(token.soPin.minLength) || pinLength > CK_ULONG(token.soPin.maxLength)) {
                    rv = CKR_PIN_LEN_RANGE;
                    return;
                }
                token.soPin.hash = hashPin(soPin);
                token.soPin.retryLeft = token.soPin.retryMax;
            }
            state.store->deleteObjects(token.id);
            token.label = trimmedLabel(label);
            token.userPin.hash.clear();
            token.userPin.retryLeft = token.userPin.retryMax;
            forgetFingers(token);
            token.initialized = true;
            state.store->updateToken(token);
        });
        return rv;
    });
}

CK_RV C_WaitForSlotEvent(CK_FLAGS flags, CK_SLOT_ID_PTR slot, CK_VOID_PTR reserved) {
    if (!slot || reserved)
        return CKR_ARGUMENTS_BAD;
    for (;;) {
        bool found = false;
        const CK_RV rv = guarded([&](ModuleState& state) -> CK_RV {
            std::map<CK_SLOT_ID, bool> now;
            for (const TokenRecord& token : state.store->tokens())
                now[CK_SLOT_ID(token.id)] = token.plugged;
            for (const auto& [id, present] : state.reportedPresence)
                if (!now.count(id))
                    now[id] = false; // removed tokens report as pulled out once, then are forgotten
            for (const auto& [id, present] : now) {
                const auto reported = state.reportedPresence.find(id);
                const bool before = reported != state.reportedPresence.end() && reported->second;
                if (present != before) {
                    state.reportedPresence[id] = present;
                    *slot = id;
                    found = true;
                    return CKR_OK;
                }
            }
            return CKR_OK;
        });
        if (rv != CKR_OK || found)
            return rv;
        if (flags & CKF_DONT_BLOCK)
            return CKR_NO_EVENT;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace vtoken::pkcs11
