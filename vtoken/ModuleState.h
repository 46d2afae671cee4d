#pragma once

#include "vtoken/AttributeSet.h"
#include "vtoken/Store.h"

#include <p11-kit/pkcs11.h>

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

namespace vtoken {

inline constexpr CK_USER_TYPE NobodyLoggedIn = CK_USER_TYPE(-1);
// Session objects get handles far above any row id of the store, so the two kinds never collide.
inline constexpr CK_OBJECT_HANDLE FirstSessionObject = CK_OBJECT_HANDLE(1) << 48;

struct FindOperation {
    bool active = false;
    std::vector<CK_OBJECT_HANDLE> results;
    size_t next = 0;
};

struct SignOperation {
    bool active = false;
    bool multipart = false;
    CK_MECHANISM_TYPE mechanism = 0;
    CK_OBJECT_HANDLE key = 0;
    std::vector<uint8_t> data;
};

struct Session {
    CK_SLOT_ID slot = 0;
    CK_FLAGS flags = 0;
    int64_t plugCount = 0; // the plug this session was opened in
    FindOperation find;
    SignOperation sign;
};

struct SessionObject {
    CK_SESSION_HANDLE owner = 0;
    CK_SLOT_ID slot = 0;
    AttributeSet attributes;
};

// What this process's use of the module holds: the store, its sessions and logins. One lock guards it, which is
// what CKF_OS_LOCKING_OK promises callers that use several threads.
struct ModuleState {
    std::recursive_mutex mutex;
    bool initialized = false;
    std::unique_ptr<Store> store;
    std::map<CK_SESSION_HANDLE, Session> sessions;
    CK_SESSION_HANDLE nextSession = 1;
    std::map<CK_SLOT_ID, CK_USER_TYPE> logins; // a login belongs to the application, for all its sessions
    std::map<CK_OBJECT_HANDLE, SessionObject> sessionObjects;
    CK_OBJECT_HANDLE nextSessionObject = FirstSessionObject;
    std::map<CK_SLOT_ID, bool> reportedPresence; // what C_WaitForSlotEvent has told the caller
};

ModuleState& moduleState();

// Runs a function body under the module lock; a store that fails gives CKR_DEVICE_ERROR and exhausted memory
// CKR_HOST_MEMORY, never an exception across the C boundary.
template <typename Body> CK_RV guarded(Body&& body) {
    ModuleState& state = moduleState();
    std::lock_guard lock(state.mutex);
    if (!state.initialized)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    try {
        // Tokens that the vtoken command made since the module started without a store.
        if (state.store && state.store->inMemory())
            if (std::unique_ptr<Store> file = state.store->replacedByFile())
                state.store = std::move(file);
        const Store::Call call(state.store.get());
        return body(state);
    } catch (const StoreError&) {
        return CKR_DEVICE_ERROR;
    } catch (const std::bad_alloc&) {
        return CKR_HOST_MEMORY;
    } catch (...) {
        return CKR_GENERAL_ERROR;
    }
}

// The token of a slot: CKR_SLOT_ID_INVALID when there is no such token, CKR_TOKEN_NOT_PRESENT while unplugged.
CK_RV presentToken(ModuleState& state, CK_SLOT_ID slot, TokenRecord& token);

// A session of this application and its token. A token pulled out (or replugged) since the session was opened
// ends every session on it: the first call learns CKR_DEVICE_REMOVED, later ones CKR_SESSION_HANDLE_INVALID.
CK_RV findSession(ModuleState& state, CK_SESSION_HANDLE handle, Session*& session, TokenRecord& token);

// Runs a function body on a session of this application, with the module lock held and the session's token read.
template <typename Body> CK_RV inSession(CK_SESSION_HANDLE handle, Body&& body) {
    return guarded([&](ModuleState& state) -> CK_RV {
        Session* session = nullptr;
        TokenRecord token;
        if (const CK_RV rv = findSession(state, handle, session, token); rv != CKR_OK)
            return rv;
        return body(state, *session, token);
    });
}

// Forgets every session of the slot, its session objects and its login.
void closeSlotSessions(ModuleState& state, CK_SLOT_ID slot);

CK_USER_TYPE loggedIn(const ModuleState& state, CK_SLOT_ID slot);

// Whether the application may log in as user on the session's token now: nobody else logged in, and for the SO no
// read-only session open.
CK_RV loginAllowed(const ModuleState& state, const Session& session, CK_USER_TYPE user);

// Checks a PIN against its record inside the caller's transaction: a locked PIN gives CKR_PIN_LOCKED; a wrong one
// counts down and gives CKR_PIN_INCORRECT, or CKR_PIN_LOCKED on the try that locks it; a right one restores the
// counter. The token record is written back when a counter moved.
CK_RV verifyTokenPin(Store& store, TokenRecord& token, PinRecord TokenRecord::*pin, std::string_view given);

// Logs the application in as user or SO by a finger on the token's sensor, waiting up to ten seconds for one. The
// module lock is taken for each look at the sensor only, so other threads go on while the holder finds the sensor.
CK_RV loginByFinger(CK_SESSION_HANDLE handle, CK_USER_TYPE user);

// Fills a blank-padded PKCS#11 text field; text longer than the field is cut.
void padField(CK_UTF8CHAR* field, size_t size, std::string_view text);

} // namespace vtoken
