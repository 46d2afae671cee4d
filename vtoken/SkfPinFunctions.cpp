// The SKF library's PINs: verification into the application's secure state, and the remote unblock of the user PIN.
// The PINs and their retry counters are the very ones the PKCS#11 module checks.
#include "vtoken/CryptoContext.h"
#include "vtoken/PinTry.h"
#include "vtoken/RemoteUnblock.h"
#include "vtoken/SkfState.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

using namespace vtoken;
using namespace vtoken::skf;

namespace {

// At most this many bytes of a PIN are read: a longer text is wrong anyway, and one without its zero byte is not
// read past it.
constexpr size_t LongestPinText = 64;

PinRecord TokenRecord::*pinOfType(SKF_ULONG pinType) {
    if (pinType == SKF_PIN_ADMIN)
        return &TokenRecord::soPin;
    if (pinType == SKF_PIN_USER)
        return &TokenRecord::userPin;
    return nullptr;
}

SKF_ULONG triesLeft(const PinRecord& pin) {
    return SKF_ULONG(std::max(0, pin.retryLeft));
}

} // namespace

VX_SKF_EXPORT SKF_ULONG SKF_VerifyPIN(HAPPLICATION handle, SKF_ULONG pinType, const char* pin, SKF_ULONG* retryCount) {
    return onApplication(handle, [&](LibraryState& state, Application& application, TokenRecord& token) -> SKF_ULONG {
        if (!pin || !retryCount)
            return SAR_INVALIDPARAMERR;
        PinRecord TokenRecord::*which = pinOfType(pinType);
        if (!which)
            return SAR_USER_TYPE_INVALID;
        if (pinType == SKF_PIN_USER && !token.userPin.isSet())
            return SAR_USER_PIN_NOT_INITIALIZED;
        PinTry tried = PinTry::Wrong;
        state.store->transaction([&] {
            token = state.store->existingToken(token.id);
            tried = tryTokenPin(*state.store, token, which, std::string_view(pin, strnlen(pin, LongestPinText)));
        });
        // A failed try is no proof either: what was verified before with this PIN type is forgotten, and an
        // enrolment it allowed ends.
        application.verified[pinType] = tried == PinTry::Right;
        if (tried != PinTry::Right)
            application.enrolments[pinType].reset();
        *retryCount = triesLeft(token.*which);
        if (tried == PinTry::Right)
            return SAR_OK;
        return tried == PinTry::Wrong ? SAR_PIN_INCORRECT : SAR_PIN_LOCKED;
    });
}
static_assert(std::is_same_v<decltype(&SKF_VerifyPIN), SKF_VerifyPIN_t>);

VX_SKF_EXPORT SKF_ULONG SKF_ClearSecureState(HAPPLICATION handle) {
    return onApplication(handle, [&](LibraryState&, Application& application, TokenRecord&) -> SKF_ULONG {
        // Enrolments and tests under way end too: they were started on what is now forgotten.
        application.verified = {};
        application.enrolments = {};
        application.testing = {};
        return SAR_OK;
    });
}
static_assert(std::is_same_v<decltype(&SKF_ClearSecureState), SKF_ClearSecureState_t>);

// The request stays in the store, outstanding until answered, so that it survives the caller's restart while the
// holder waits for the issuer's answer. A new request replaces it.
VX_SKF_EXPORT SKF_ULONG SKF_GenRemoteUnblockRequest(HAPPLICATION handle, uint8_t* request, SKF_ULONG length) {
    return onApplication(handle, [&](LibraryState& state, Application&, TokenRecord& token) -> SKF_ULONG {
        if (!request || length != UnblockRequestBytes)
            return SAR_INVALIDPARAMERR;
        std::vector<uint8_t> drawn(UnblockRequestBytes);
        if (RAND_bytes_ex(cryptoContext(), drawn.data(), drawn.size(), 0) != 1)
            return SAR_GENRANDERR;
        state.store->setUnblockRequest(token.id, drawn);
        std::memcpy(request, drawn.data(), drawn.size());
        return SAR_OK;
    });
}
static_assert(std::is_same_v<decltype(&SKF_GenRemoteUnblockRequest), SKF_GenRemoteUnblockRequest_t>);

// The issuer stands in for the SO: a wrong answer spends a try of the SO PIN, a right one restores its counter as a
// right SO PIN would, and a locked SO PIN takes no answer at all. A wrong answer leaves the request outstanding.
VX_SKF_EXPORT SKF_ULONG SKF_RemoteUnblockPIN(HAPPLICATION handle, const uint8_t* response, SKF_ULONG length,
                                             SKF_ULONG* retryCount) {
    return onApplication(handle, [&](LibraryState& state, Application&, TokenRecord& token) -> SKF_ULONG {
        if (!retryCount || (!response && length))
            return SAR_INVALIDPARAMERR;
        SKF_ULONG rv = SAR_OK;
        state.store->transaction([&] {
            token = state.store->existingToken(token.id);
            if (token.soPin.locked()) {
                *retryCount = 0;
                rv = SAR_PIN_LOCKED;
                return;
            }
            const std::vector<uint8_t> request = state.store->unblockRequest(token.id);
            if (request.empty()) {
                rv = SAR_FAIL;
                return;
            }
            const auto expected = unblockResponse(state.store->issuerKey(token.id), request, token.serial);
            const PinTry tried = countPinTry(*state.store, token, &TokenRecord::soPin, [&] {
                return length == expected.size() && CRYPTO_memcmp(expected.data(), response, expected.size()) == 0;
            });
            if (tried != PinTry::Right) {
                *retryCount = triesLeft(token.soPin);
                rv = tried == PinTry::Wrong ? SAR_PIN_INCORRECT : SAR_PIN_LOCKED;
                return;
            }
            // The PIN itself stays as it was: the holder remembers it again, only the tries are given back.
            token.userPin.retryLeft = token.userPin.retryMax;
            state.store->updateToken(token);
            state.store->setUnblockRequest(token.id, {});
            *retryCount = SKF_ULONG(token.userPin.retryMax);
        });
        return rv;
    });
}
static_assert(std::is_same_v<decltype(&SKF_RemoteUnblockPIN), SKF_RemoteUnblockPIN_t>);
