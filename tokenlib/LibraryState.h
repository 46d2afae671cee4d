#pragma once

#include "shared/Secret.h"
#include "shared/ZovevOdu.h"
#include "tokenlib/CertificateFiles.h"
#include "tokenlib/ContainerStore.h"
#include "tokenlib/ModuleConnection.h"
#include "tokenlib/ObjectAccess.h"

#include <mutex>
#include <new>
#include <optional>
#include <vector>

#define ZV_EXPORT extern "C" __attribute__((visibility("default")))

namespace zv {

struct ConnectedToken {
    CK_SLOT_ID slot = 0;
    // A token that is present but was never initialized is connected without a session: a module may refuse one.
    bool connected = false;
    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
    // The SO PIN the last SO login proved, kept for the format that follows it (the caller logs out in between).
    std::optional<secrets::Secret> provenSoPin;
    // The token's containers as last read. A login, a logout, a reload and every change through the library
    // drop it; a lookup that misses drops it and looks again, in case another program changed the token.
    std::optional<ContainerSnapshot> snapshot;
};

// What the library keeps between calls: the module, the tokens found and connected, the certificate file last
// parsed and the program's certificate viewer. One lock guards all of it.
struct LibraryState {
    std::mutex mutex;
    std::unique_ptr<ModuleConnection> module;
    std::vector<ConnectedToken> tokens;
    std::optional<CertificateFile> parsedFile;
    zv_certificate_viewer viewer = nullptr;

    void closeSessions();
};

LibraryState& libraryState();

// Runs an entry point under the lock; nothing escapes as an exception.
template <typename Body> int32_t locked(Body&& body) {
    LibraryState& state = libraryState();
    std::lock_guard lock(state.mutex);
    try {
        return body(state);
    } catch (const std::bad_alloc&) {
        return int32_t(CKR_HOST_MEMORY);
    } catch (...) {
        return int32_t(CKR_GENERAL_ERROR);
    }
}

// What an entry point needs of a token: only its slot (its figures, its PIN state), or a session too.
enum class TokenUse { Slot, Session };

// The connected token of an index: ZV_ERR_NOT_INITIALIZED before init_pkcs11, ZV_ERR_TOKEN_INDEX when the index
// was not found or not connected, CKR_TOKEN_NOT_RECOGNIZED when a session is needed and the token, never
// initialized, has none.
int32_t connectedToken(LibraryState& state, int32_t index, TokenUse use, ConnectedToken*& token);

// Runs an entry point on a connected token, under the lock.
template <typename Body> int32_t onToken(int32_t index, Body&& body, TokenUse use = TokenUse::Session) {
    return locked([&](LibraryState& state) -> int32_t {
        ConnectedToken* token = nullptr;
        if (const int32_t rv = connectedToken(state, index, use, token); rv != ZV_OK)
            return rv;
        return body(state, *token);
    });
}

inline ObjectAccess objectsOf(LibraryState& state, const ConnectedToken& token) {
    return ObjectAccess(state.module->functions(), token.session);
}

} // namespace zv
