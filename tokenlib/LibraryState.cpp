#include "tokenlib/LibraryState.h"

namespace zv {

// Never destroyed: a program that ends without uninit_pkcs11 would otherwise finalize a module whose own statics
// may be gone already, in whatever order the exit handlers run. The process's end closes what is left.
LibraryState& libraryState() {
    static LibraryState* const state = new LibraryState;
    return *state;
}

void LibraryState::closeSessions() {
    if (module)
        for (const ConnectedToken& token : tokens)
            if (token.session != CK_INVALID_HANDLE)
                module->functions()->C_CloseSession(token.session);
    tokens.clear();
}

int32_t connectedToken(LibraryState& state, int32_t index, TokenUse use, ConnectedToken*& token) {
    if (!state.module)
        return ZV_ERR_NOT_INITIALIZED;
    if (index < 0 || size_t(index) >= state.tokens.size() || !state.tokens[size_t(index)].connected)
        return ZV_ERR_TOKEN_INDEX;
    token = &state.tokens[size_t(index)];
    if (use == TokenUse::Session && token->session == CK_INVALID_HANDLE)
        return int32_t(CKR_TOKEN_NOT_RECOGNIZED);
    return ZV_OK;
}

} // namespace zv
