// Objects: create, destroy, find, read and change attributes.
#include "vtoken/ModuleFunctions.h"
#include "vtoken/ModuleState.h"
#include "vtoken/ObjectRules.h"

#include <cstring>
#include <memory>

namespace vtoken::pkcs11 {
namespace {

// An object as a session sees it, wherever it lives; a token object's attributes are the store's, not a copy.
struct ObjectView {
    bool onToken = false;
    const AttributeSet* attributes = nullptr;
    std::shared_ptr<const AttributeSet> stored; // keeps a token object's attributes
};

bool visible(const ModuleState& state, CK_SLOT_ID slot, const AttributeSet& object) {
    return !object.isTrue(CKA_PRIVATE) || loggedIn(state, slot) == CKU_USER;
}

CK_RV resolve(ModuleState& state, const Session& session, const TokenRecord& token, CK_OBJECT_HANDLE handle,
              ObjectView& view) {
    if (handle >= FirstSessionObject) {
        const auto found = state.sessionObjects.find(handle);
        if (found == state.sessionObjects.end() || found->second.slot != session.slot)
            return CKR_OBJECT_HANDLE_INVALID;
        view = {false, &found->second.attributes, nullptr};
    } else {
        const std::optional<StoredObject> stored = state.store->object(int64_t(handle));
        if (!stored || stored->tokenId != token.id)
            return CKR_OBJECT_HANDLE_INVALID;
        if (!stored->attributes)
            return CKR_DEVICE_ERROR;
        view = {true, stored->attributes.get(), stored->attributes};
    }
    return visible(state, session.slot, *view.attributes) ? CKR_OK : CKR_OBJECT_HANDLE_INVALID;
}

// Token objects need a read-write session, private ones a logged-in user.
CK_RV mayWrite(const ModuleState& state, const Session& session, const AttributeSet& object) {
    if (object.isTrue(CKA_TOKEN) && !(session.flags & CKF_RW_SESSION))
        return CKR_SESSION_READ_ONLY;
    if (object.isTrue(CKA_PRIVATE) && loggedIn(state, session.slot) != CKU_USER)
        return CKR_USER_NOT_LOGGED_IN;
    return CKR_OK;
}

// The token's memory after replacing `replaced` bytes with `object`: CKR_DEVICE_MEMORY when it would not fit.
CK_RV checkMemory(ModuleState& state, const TokenRecord& token, size_t added, size_t replaced) {
    const int64_t used = state.store->usedMemory(token.id) - int64_t(replaced) + int64_t(added);
    return used > token.totalMemory ? CKR_DEVICE_MEMORY : CKR_OK;
}

} // namespace

CK_RV C_CreateObject(CK_SESSION_HANDLE handle, CK_ATTRIBUTE_PTR attributes, CK_ULONG count,
                     CK_OBJECT_HANDLE_PTR object) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!object || (!attributes && count))
            return CKR_ARGUMENTS_BAD;
        AttributeSet created(attributes, count);
        if (const CK_RV rv = completeNewObject(created); rv != CKR_OK)
            return rv;
        if (const CK_RV rv = mayWrite(state, session, created); rv != CKR_OK)
            return rv;
        if (!created.isTrue(CKA_TOKEN)) {
            *object = state.nextSessionObject++;
            state.sessionObjects[*object] = SessionObject{handle, session.slot, std::move(created)};
            return CKR_OK;
        }
        const std::vector<uint8_t> record = created.serialize();
        CK_RV rv = CKR_OK;
        state.store->transaction([&] {
            rv = checkMemory(state, token, record.size(), 0);
            if (rv == CKR_OK)
                *object = CK_OBJECT_HANDLE(state.store->insertObject(token.id, record));
        });
        return rv;
    });
}

CK_RV C_DestroyObject(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE object) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        ObjectView view;
        if (const CK_RV rv = resolve(state, session, token, object, view); rv != CKR_OK)
            return rv;
        if (const CK_RV rv = mayWrite(state, session, *view.attributes); rv != CKR_OK)
            return rv;
        if (!view.attributes->isTrue(CKA_DESTROYABLE))
            return CKR_ACTION_PROHIBITED;
        if (view.onToken)
            state.store->deleteObject(int64_t(object));
        else
            state.sessionObjects.erase(object);
        return CKR_OK;
    });
}

CK_RV C_GetObjectSize(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE object, CK_ULONG_PTR size) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!size)
            return CKR_ARGUMENTS_BAD;
        ObjectView view;
        if (const CK_RV rv = resolve(state, session, token, object, view); rv != CKR_OK)
            return rv;
        *size = view.attributes->serialize().size();
        return CKR_OK;
    });
}

CK_RV C_GetAttributeValue(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attributes,
                          CK_ULONG count) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!attributes && count)
            return CKR_ARGUMENTS_BAD;
        ObjectView view;
        if (const CK_RV rv = resolve(state, session, token, object, view); rv != CKR_OK)
            return rv;
        CK_RV result = CKR_OK;
        for (CK_ULONG i = 0; i < count; ++i) {
            CK_ATTRIBUTE& wanted = attributes[i];
            const std::vector<uint8_t>* value = view.attributes->find(wanted.type);
            if (!value) {
                wanted.ulValueLen = CK_UNAVAILABLE_INFORMATION;
                result = CKR_ATTRIBUTE_TYPE_INVALID;
            } else if (isSensitive(*view.attributes, wanted.type)) {
                wanted.ulValueLen = CK_UNAVAILABLE_INFORMATION;
                result = CKR_ATTRIBUTE_SENSITIVE;
            } else if (!wanted.pValue) {
                wanted.ulValueLen = value->size();
            } else if (wanted.ulValueLen < value->size()) {
                wanted.ulValueLen = CK_UNAVAILABLE_INFORMATION;
                result = CKR_BUFFER_TOO_SMALL;
            } else {
                if (!value->empty())
                    std::memcpy(wanted.pValue, value->data(), value->size());
                wanted.ulValueLen = value->size();
            }
        }
        return result;
    });
}

CK_RV C_SetAttributeValue(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attributes,
                          CK_ULONG count) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!attributes && count)
            return CKR_ARGUMENTS_BAD;
        CK_RV rv = CKR_OK;
        state.store->transaction([&] {
            ObjectView view;
            if ((rv = resolve(state, session, token, object, view)) != CKR_OK)
                return;
            if ((rv = mayWrite(state, session, *view.attributes)) != CKR_OK)
                return;
            AttributeSet changed = *view.attributes;
            const size_t before = changed.serialize().size();
            for (CK_ULONG i = 0; i < count; ++i) {
                if ((rv = checkChange(changed, attributes[i])) != CKR_OK)
                    return;
                const auto* value = static_cast<const uint8_t*>(attributes[i].pValue);
                changed.set(attributes[i].type, value ? std::vector<uint8_t>(value, value + attributes[i].ulValueLen)
                                                      : std::vector<uint8_t>());
            }
            if (!view.onToken) {
                state.sessionObjects[object].attributes = std::move(changed);
                return;
            }
            const std::vector<uint8_t> record = changed.serialize();
            if ((rv = checkMemory(state, token, record.size(), before)) == CKR_OK)
                state.store->updateObject(int64_t(object), record);
        });
        return rv;
    });
}

CK_RV C_FindObjectsInit(CK_SESSION_HANDLE handle, CK_ATTRIBUTE_PTR pattern, CK_ULONG count) {
    return inSession(handle, [&](ModuleState& state, Session& session, TokenRecord& token) -> CK_RV {
        if (!pattern && count)
            return CKR_ARGUMENTS_BAD;
        if (session.find.active)
            return CKR_OPERATION_ACTIVE;
        FindOperation find;
        find.active = true;
        for (const StoredObject& stored : state.store->objects(token.id)) {
            const AttributeSet* object = stored.attributes.get();
            if (object && visible(state, session.slot, *object) && object->matches(pattern, count))
                find.results.push_back(CK_OBJECT_HANDLE(stored.id));
        }
        for (const auto& [id, object] : state.sessionObjects)
            if (object.slot == session.slot && visible(state, session.slot, object.attributes) &&
                object.attributes.matches(pattern, count))
                find.results.push_back(id);
        session.find = std::move(find);
        return CKR_OK;
    });
}

CK_RV C_FindObjects(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE_PTR objects, CK_ULONG maximum, CK_ULONG_PTR count) {
    return inSession(handle, [&](ModuleState&, Session& session, TokenRecord&) -> CK_RV {
        if (!objects || !count)
            return CKR_ARGUMENTS_BAD;
        FindOperation& find = session.find;
        if (!find.active)
            return CKR_OPERATION_NOT_INITIALIZED;
        const size_t taken = std::min<size_t>(maximum, find.results.size() - find.next);
        std::copy_n(find.results.begin() + long(find.next), taken, objects);
        find.next += taken;
        *count = taken;
        return CKR_OK;
    });
}

CK_RV C_FindObjectsFinal(CK_SESSION_HANDLE handle) {
    return inSession(handle, [&](ModuleState&, Session& session, TokenRecord&) -> CK_RV {
        if (!session.find.active)
            return CKR_OPERATION_NOT_INITIALIZED;
        session.find = {};
        return CKR_OK;
    });
}

} // namespace vtoken::pkcs11
