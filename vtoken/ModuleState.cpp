#include "vtoken/ModuleState.h"

#include "vtoken/PinTry.h"

#include <algorithm>
#include <cstring>

namespace vtoken {

ModuleState& moduleState() {
    static ModuleState state;
    return state;
}

CK_RV presentToken(ModuleState& state, CK_SLOT_ID slot, TokenRecord& token) {
    std::optional<TokenRecord> found = state.store->token(int64_t(slot));
    if (!found)
        return CKR_SLOT_ID_INVALID;
    token = *found;
    return token.plugged ? CKR_OK : CKR_TOKEN_NOT_PRESENT;
}

CK_RV findSession(ModuleState& state, CK_SESSION_HANDLE handle, Session*& session, TokenRecord& token) {
    const auto found = state.sessions.find(handle);
    if (found == state.sessions.end())
        return CKR_SESSION_HANDLE_INVALID;
    session = &found->second;
    const std::optional<TokenRecord> current = state.store->token(int64_t(session->slot));
    if (!current || !current->plugged || current->plugCount != session->plugCount) {
        closeSlotSessions(state, session->slot);
        session = nullptr;
        return CKR_DEVICE_REMOVED;
    }
    token = *current;
    return CKR_OK;
}

void closeSlotSessions(ModuleState& state, CK_SLOT_ID slot) {
    std::erase_if(state.sessions, [slot](const auto& entry) { return entry.second.slot == slot; });
    std::erase_if(state.sessionObjects, [slot](const auto& entry) { return entry.second.slot == slot; });
    state.logins.erase(slot);
}

CK_USER_TYPE loggedIn(const ModuleState& state, CK_SLOT_ID slot) {
    const auto found = state.logins.find(slot);
    return found == state.logins.end() ? NobodyLoggedIn : found->second;
}

CK_RV loginAllowed(const ModuleState& state, const Session& session, CK_USER_TYPE user) {
    const CK_USER_TYPE current = loggedIn(state, session.slot);
    if (current == user)
        return CKR_USER_ALREADY_LOGGED_IN;
    if (current != NobodyLoggedIn)
        return CKR_USER_ANOTHER_ALREADY_LOGGED_IN;
    if (user == CKU_SO)
        for (const auto& [handle, open] : state.sessions)
            if (open.slot == session.slot && !(open.flags & CKF_RW_SESSION))
                return CKR_SESSION_READ_ONLY_EXISTS;
    return CKR_OK;
}

CK_RV verifyTokenPin(Store& store, TokenRecord& token, PinRecord TokenRecord::*pin, std::string_view given) {
    switch (tryTokenPin(store, token, pin, given)) {
    case PinTry::Right:
        return CKR_OK;
    case PinTry::Wrong:
        return CKR_PIN_INCORRECT;
    case PinTry::Locked:
        return CKR_PIN_LOCKED;
    }
    return CKR_GENERAL_ERROR;
}

void padField(CK_UTF8CHAR* field, size_t size, std::string_view text) {
    std::memset(field, ' ', size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

} // namespace vtoken

// Whom this module has logged in to the token in the plug given, for the SKF library of the same process: a card
// keeps one security state, whichever interface proved the holder to it. CK_UNAVAILABLE_INFORMATION when nobody,
// also when the login belongs to an earlier plug. Neither a PKCS#11 entry point nor part of the vendor extension.
extern "C" __attribute__((visibility("default"))) CK_ULONG VX_LoggedInHolder(CK_SLOT_ID slot, int64_t plugCount) {
    using namespace vtoken;
    ModuleState& state = moduleState();
    std::lock_guard lock(state.mutex);
    if (!state.initialized)
        return CK_UNAVAILABLE_INFORMATION;
    const bool inThisPlug = std::any_of(state.sessions.begin(), state.sessions.end(), [&](const auto& entry) {
        return entry.second.slot == slot && entry.second.plugCount == plugCount;
    });
    const CK_USER_TYPE user = loggedIn(state, slot);
    return inThisPlug && user != NobodyLoggedIn ? user : CK_UNAVAILABLE_INFORMATION;
}
