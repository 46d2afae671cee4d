// Sessions, logins and PINs.
#include "vtoken/ModuleFunctions.h"
#include "vtoken/ModuleState.h"
#include "vtoken/PinHash.h"

#include <cstring>

namespace vtoken::pkcs11 {
namespace {

std::string_view pinText(CK_UTF8CHAR_PTR pin, CK_ULONG length) {
    return {reinterpret_cast<const char*>(pin), length};
}

bool fits(const PinRecord& pin, CK_ULONG length) {
    return length >= CK_ULONG(pin.minLength) && length <= CK_ULONG(pin.maxLength);
}

} // namespace

CK_RV C_OpenSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR session) {
    return guarded([&](ModuleState& state) -> CK_RV {
        if (!session)
            return CKR_ARGUMENTS_BAD;
        if (!(flags & CKF_SERIAL_SESSION))
            return CKR_SESSION_PARALLEL_NOT_SUPPORTED;
        TokenRecord token;
        if (const CK_RV rv = presentToken(state, slot, token); rv != CKR_OK)
            return rv;
        // Sessions from before the token was last pulled out are gone; their login with them.
        for (const auto& [handle, open] : state.sessions) {
            if (open.slot == slot && open.plugCount != token.plugCount) {
                closeSlotSessions(state, slot);
                break;
            }
        }
        if (!(flags & CKF_RW_SESSION) && loggedIn(state, slot) == CKU_SO)
            return CKR_SESSION_READ_WRITE_SO_EXISTS;
        const CK_SESSION_HANDLE handle = state.nextSession++;
        state.sessions[handle] = Session{slot, flags, token.plugCount, {}, {}};
        *session = handle;
        return CKR_OK;
    });
}

CK_RV C_CloseSession(CK_SESSION_HANDLE handle) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord&) -> CK_RV {
        const CK_SLOT_ID slot = session.slot;
        state.sessions.erase(handle);
        std::erase_if(state.sessionObjects, [handle](const auto& entry) { return entry.second.owner == handle; });
        const bool lastOnSlot = std::none_of(state.sessions.begin(), state.sessions.end(),
                                             [slot](const auto& entry) { return entry.second.slot == slot; });
        if (lastOnSlot)
            state.logins.erase(slot);
        return CKR_OK;
    });
}

CK_RV C_CloseAllSessions(CK_SLOT_ID slot) {
    return guarded([&](ModuleState& state) -> CK_RV {
        if (!state.store->token(int64_t(slot)))
            return CKR_SLOT_ID_INVALID;
        closeSlotSessions(state, slot);
        return CKR_OK;
    });
}

CK_RV C_GetSessionInfo(CK_SESSION_HANDLE handle, CK_SESSION_INFO_PTR info) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord&) -> CK_RV {
        if (!info)
            return CKR_ARGUMENTS_BAD;
        const bool readWrite = session.flags & CKF_RW_SESSION;
        info->slotID = session.slot;
        info->flags = session.flags;
        info->ulDeviceError = 0;
        switch (loggedIn(state, session.slot)) {
        case CKU_USER:
            info->state = readWrite ? CKS_RW_USER_FUNCTIONS : CKS_RO_USER_FUNCTIONS;
            break;
        case CKU_SO:
            info->state = CKS_RW_SO_FUNCTIONS;
            break;
        default:
            info->state = readWrite ? CKS_RW_PUBLIC_SESSION : CKS_RO_PUBLIC_SESSION;
        }
        return CKR_OK;
    });
}

CK_RV C_Login(CK_SESSION_HANDLE handle, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength) {
    bool byFinger = false;
    const CK_RV rv = inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (user != CKU_USER && user != CKU_SO)
            return user == CKU_CONTEXT_SPECIFIC ? CKR_OPERATION_NOT_INITIALIZED : CKR_USER_TYPE_INVALID;
        const CK_SLOT_ID slot = session.slot;
        if (const CK_RV allowed = loginAllowed(state, session, user); allowed != CKR_OK)
            return allowed;
        if (!pin) { // without a PIN the login goes through the token's sensor
            byFinger = token.sensor != SensorKind::None;
            return byFinger ? CKR_OK : CKR_ARGUMENTS_BAD;
        }
        if (user == CKU_USER && !token.userPin.isSet())
            return CKR_USER_PIN_NOT_INITIALIZED;
        CK_RV verified = CKR_OK;
        state.store->transaction([&] {
            token = state.store->existingToken(int64_t(slot));
            verified = verifyTokenPin(*state.store, token, user == CKU_SO ? &TokenRecord::soPin : &TokenRecord::userPin,
                                      pinText(pin, pinLength));
        });
        if (verified == CKR_OK)
            state.logins[slot] = user;
        return verified;
    });
    // The wait for a finger happens outside the module lock.
    return rv == CKR_OK && byFinger ? loginByFinger(handle, user) : rv;
}

CK_RV C_Logout(CK_SESSION_HANDLE handle) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord&) -> CK_RV {
        if (loggedIn(state, session.slot) == NobodyLoggedIn)
            return CKR_USER_NOT_LOGGED_IN;
        state.logins.erase(session.slot);
        // Private session objects are out of reach once nobody is logged in.
        std::erase_if(state.sessionObjects, [slot = session.slot](const auto& entry) {
            return entry.second.slot == slot && entry.second.attributes.isTrue(CKA_PRIVATE);
        });
        return CKR_OK;
    });
}

CK_RV C_InitPIN(CK_SESSION_HANDLE handle, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!(session.flags & CKF_RW_SESSION))
            return CKR_SESSION_READ_ONLY;
        if (loggedIn(state, session.slot) != CKU_SO)
            return CKR_USER_NOT_LOGGED_IN;
        if (!pin)
            return CKR_ARGUMENTS_BAD;
        if (!fits(token.userPin, pinLength))
            return CKR_PIN_LEN_RANGE;
        state.store->transaction([&] {
            token = state.store->existingToken(int64_t(session.slot));
            token.userPin.hash = hashPin(pinText(pin, pinLength));
            token.userPin.retryLeft = token.userPin.retryMax;
            state.store->updateToken(token);
        });
        return CKR_OK;
    });
}

CK_RV C_SetPIN(CK_SESSION_HANDLE handle, CK_UTF8CHAR_PTR oldPin, CK_ULONG oldLength, CK_UTF8CHAR_PTR newPin,
               CK_ULONG newLength) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!(session.flags & CKF_RW_SESSION))
            return CKR_SESSION_READ_ONLY;
        if (!oldPin || !newPin)
            return CKR_ARGUMENTS_BAD;
        // The SO changes the SO PIN; the user, or a public session, the user PIN.
        const bool so = loggedIn(state, session.slot) == CKU_SO;
        PinRecord TokenRecord::*pin = so ? &TokenRecord::soPin : &TokenRecord::userPin;
        if (!so && !token.userPin.isSet())
            return CKR_USER_PIN_NOT_INITIALIZED;
        if (!fits(token.*pin, newLength))
            return CKR_PIN_LEN_RANGE;
        CK_RV rv = CKR_OK;
        state.store->transaction([&] {
            token = state.store->existingToken(int64_t(session.slot));
            rv = verifyTokenPin(*state.store, token, pin, pinText(oldPin, oldLength));
            if (rv != CKR_OK)
                return;
            (token.*pin).hash = hashPin(pinText(newPin, newLength));
            state.store->updateToken(token);
        });
        return rv;
    });
}

} // namespace vtoken::pkcs11
