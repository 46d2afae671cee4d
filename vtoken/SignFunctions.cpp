// Signatures and random numbers.
#include "vtoken/CryptoContext.h"
#include "vtoken/KeySigner.h"
#include "vtoken/ModuleFunctions.h"
#include "vtoken/ModuleState.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>

namespace vtoken::pkcs11 {
namespace {

// The signing key of an operation, as the session may use it now.
CK_RV signingKey(ModuleState& state, const Session& session, const TokenRecord& token, CK_OBJECT_HANDLE handle,
                 AttributeSet& key) {
    std::optional<AttributeSet> found;
    if (handle >= FirstSessionObject) {
        const auto object = state.sessionObjects.find(handle);
        if (object != state.sessionObjects.end() && object->second.slot == session.slot)
            found = object->second.attributes;
    } else if (const std::optional<StoredObject> stored = state.store->object(int64_t(handle));
               stored && stored->tokenId == token.id) {
        if (stored->attributes)
            found = *stored->attributes;
    }
    if (!found)
        return CKR_KEY_HANDLE_INVALID;
    if (found->isTrue(CKA_PRIVATE) && loggedIn(state, session.slot) != CKU_USER)
        return CKR_USER_NOT_LOGGED_IN;
    if (found->ulong(CKA_CLASS) != CKO_PRIVATE_KEY)
        return CKR_KEY_TYPE_INCONSISTENT;
    if (!found->isTrue(CKA_SIGN))
        return CKR_KEY_FUNCTION_NOT_PERMITTED;
    key = std::move(*found);
    return CKR_OK;
}

// Finishes a signature with the buffer protocol: a null buffer asks for the length and keeps the operation; a
// small one gets CKR_BUFFER_TOO_SMALL and keeps it; anything else ends it.
CK_RV finishSignature(ModuleState& state, Session& session, const TokenRecord& token, CK_BYTE_PTR signature,
                      CK_ULONG_PTR signatureLength) {
    AttributeSet key;
    CK_RV rv = signingKey(state, session, token, session.sign.key, key);
    if (rv != CKR_OK) {
        session.sign = {};
        return rv;
    }
    const CK_ULONG needed = vtoken::signatureLength(key);
    if (!signature) {
        *signatureLength = needed;
        return CKR_OK;
    }
    if (*signatureLength < needed) {
        *signatureLength = needed;
        return CKR_BUFFER_TOO_SMALL;
    }
    std::vector<uint8_t> output;
    rv = vtoken::sign(key, session.sign.mechanism, session.sign.data, output);
    session.sign = {};
    if (rv != CKR_OK)
        return rv;
    std::memcpy(signature, output.data(), output.size());
    *signatureLength = output.size();
    return CKR_OK;
}

} // namespace

CK_RV C_SignInit(CK_SESSION_HANDLE handle, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE keyHandle) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!mechanism)
            return CKR_ARGUMENTS_BAD;
        if (session.sign.active)
            return CKR_OPERATION_ACTIVE;
        AttributeSet key;
        if (const CK_RV rv = signingKey(state, session, token, keyHandle, key); rv != CKR_OK)
            return rv;
        if (const CK_RV rv = checkSignMechanism(key, mechanism->mechanism); rv != CKR_OK)
            return rv;
        session.sign = SignOperation{true, false, mechanism->mechanism, keyHandle, {}};
        return CKR_OK;
    });
}

CK_RV C_Sign(CK_SESSION_HANDLE handle, CK_BYTE_PTR data, CK_ULONG dataLength, CK_BYTE_PTR signature,
             CK_ULONG_PTR signatureLength) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!session.sign.active)
            return CKR_OPERATION_NOT_INITIALIZED;
        if ((!data && dataLength) || !signatureLength || session.sign.multipart) {
            session.sign = {};
            return CKR_ARGUMENTS_BAD;
        }
        session.sign.data.assign(data, data + dataLength);
        return finishSignature(state, session, token, signature, signatureLength);
    });
}

CK_RV C_SignUpdate(CK_SESSION_HANDLE handle, CK_BYTE_PTR part, CK_ULONG partLength) {
    return inSession(handle, [&](ModuleState&, Session& session, TokenRecord&) -> CK_RV {
        if (!session.sign.active)
            return CKR_OPERATION_NOT_INITIALIZED;
        if (!part && partLength) {
            session.sign = {};
            return CKR_ARGUMENTS_BAD;
        }
        session.sign.multipart = true;
        session.sign.data.insert(session.sign.data.end(), part, part + partLength);
        return CKR_OK;
    });
}

CK_RV C_SignFinal(CK_SESSION_HANDLE handle, CK_BYTE_PTR signature, CK_ULONG_PTR signatureLength) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!session.sign.active)
            return CKR_OPERATION_NOT_INITIALIZED;
        if (!signatureLength) {
            session.sign = {};
            return CKR_ARGUMENTS_BAD;
        }
        return finishSignature(state, session, token, signature, signatureLength);
    });
}

CK_RV C_SeedRandom(CK_SESSION_HANDLE handle, CK_BYTE_PTR seed, CK_ULONG seedLength) {
    return inSession(handle, [&](ModuleState&, Session&, TokenRecord&) -> CK_RV {
        if (!seed && seedLength)
            return CKR_ARGUMENTS_BAD;
        // The token's generator seeds itself; a caller's seed is mixed in as additional input and never weakens it.
        if (EVP_RAND_CTX* generator = RAND_get0_primary(cryptoContext()); generator && seedLength)
            EVP_RAND_reseed(generator, 0, nullptr, 0, seed, seedLength);
        return CKR_OK;
    });
}

CK_RV C_GenerateRandom(CK_SESSION_HANDLE handle, CK_BYTE_PTR data, CK_ULONG length) {
    return inSession(handle, [&](ModuleState&, Session&, TokenRecord&) -> CK_RV {
        if (!data && length)
            return CKR_ARGUMENTS_BAD;
        return length == 0 || RAND_bytes_ex(cryptoContext(), data, length, 0) == 1 ? CKR_OK : CKR_FUNCTION_FAILED;
    });
}

} // namespace vtoken::pkcs11
