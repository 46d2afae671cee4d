#include "tokenlib/LibraryState.h"

namespace zv {

LibraryState& libraryState() {
    static LibraryState state;
    return state;
}

void LibraryState::closeSessions() {
    if (module)
        for (const ConnectedToken& token : tokens)
            if (token.session != CK_INVALID_HANDLE)
                module->functions()->C_CloseSession(token.session);
    tokens.clear();
}

int32_t connectedToken(LibraryState& state, int32_t index, ConnectedToken*& token) {
    if (!state.module)
        return ZV_ERR_NOT_INITIALIZED;
    if (index < 0 || size_t(index) >= state.tokens.size() || state.tokens[size_t(index)].session == CK_INVALID_HANDLE)
        return ZV_ERR_TOKEN_INDEX;
    token = &state.tokens[size_t(index)];
    return ZV_OK;
}

} // namespace zv
