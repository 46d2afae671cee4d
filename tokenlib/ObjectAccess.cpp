#include "tokenlib/ObjectAccess.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace zv {
namespace {

// Room for the usual value (a certificate, a modulus, a label) at the first request, so that most values take one
// call instead of a call for the length and one for the value.
constexpr CK_ULONG UsualValueBytes = 2048;

// A value the module says it has, written whole into the room it was given.
bool filled(const CK_ATTRIBUTE& attribute, CK_ULONG room) {
    return attribute.ulValueLen != CK_UNAVAILABLE_INFORMATION && attribute.ulValueLen <= room;
}

} // namespace

Template& Template::add(CK_ATTRIBUTE_TYPE type, const Bytes& value) {
    m_types.push_back(type);
    m_values.push_back(value);
    return *this;
}

Template& Template::add(CK_ATTRIBUTE_TYPE type, const void* value, size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(value);
    return add(type, Bytes(bytes, bytes + length));
}

Template& Template::addBool(CK_ATTRIBUTE_TYPE type, bool value) {
    const CK_BBOOL flag = value ? CK_TRUE : CK_FALSE;
    return add(type, &flag, sizeof flag);
}

Template& Template::addUlong(CK_ATTRIBUTE_TYPE type, CK_ULONG value) {
    return add(type, &value, sizeof value);
}

CK_ATTRIBUTE* Template::data() {
    m_attributes.clear();
    for (size_t i = 0; i < m_types.size(); ++i)
        m_attributes.push_back(
            {m_types[i], m_values[i].empty() ? nullptr : m_values[i].data(), CK_ULONG(m_values[i].size())});
    return m_attributes.data();
}

CK_RV ObjectAccess::find(Template& pattern, std::vector<CK_OBJECT_HANDLE>& found) {
    found.clear();
    CK_RV rv = p11->C_FindObjectsInit(m_session, pattern.data(), pattern.size());
    if (rv != CKR_OK)
        return rv;
    CK_OBJECT_HANDLE batch[64];
    CK_ULONG count = 0;
    while ((rv = p11->C_FindObjects(m_session, batch, 64, &count)) == CKR_OK && count > 0)
        found.insert(found.end(), batch, batch + count);
    const CK_RV finished = p11->C_FindObjectsFinal(m_session);
    return rv != CKR_OK ? rv : finished;
}

std::optional<Bytes> ObjectAccess::attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) {
    uint8_t usual[UsualValueBytes] = {}; // a module that writes less than it says gives zeros, never stale memory
    CK_ATTRIBUTE first = {type, usual, UsualValueBytes};
    const CK_RV rv = p11->C_GetAttributeValue(m_session, object, &first, 1);
    if (rv == CKR_OK && filled(first, UsualValueBytes))
        return Bytes(usual, usual + first.ulValueLen);
    if (rv != CKR_BUFFER_TOO_SMALL && rv != CKR_OK)
        return std::nullopt;
    // A larger value: its length first, then the value.
    CK_ATTRIBUTE query = {type, nullptr, 0};
    if (p11->C_GetAttributeValue(m_session, object, &query, 1) != CKR_OK ||
        query.ulValueLen == CK_UNAVAILABLE_INFORMATION)
        return std::nullopt;
    Bytes value(query.ulValueLen);
    query.pValue = value.empty() ? nullptr : value.data();
    if (!value.empty() && p11->C_GetAttributeValue(m_session, object, &query, 1) != CKR_OK)
        return std::nullopt;
    value.resize(query.ulValueLen);
    return value;
}

std::vector<std::optional<Bytes>> ObjectAccess::attributes(CK_OBJECT_HANDLE object,
                                                           std::initializer_list<CK_ATTRIBUTE_TYPE> types) {
    const std::unique_ptr<uint8_t[]> room(new uint8_t[UsualValueBytes * types.size()]());
    std::vector<CK_ATTRIBUTE> query;
    for (const CK_ATTRIBUTE_TYPE type : types)
        query.push_back({type, room.get() + UsualValueBytes * query.size(), UsualValueBytes});
    std::vector<std::optional<Bytes>> found(types.size());
    if (p11->C_GetAttributeValue(m_session, object, query.data(), CK_ULONG(query.size())) == CKR_OK &&
        std::all_of(query.begin(), query.end(), [](const CK_ATTRIBUTE& one) { return filled(one, UsualValueBytes); })) {
        for (size_t i = 0; i < query.size(); ++i) {
            const auto* value = static_cast<const uint8_t*>(query[i].pValue);
            found[i] = Bytes(value, value + query[i].ulValueLen);
        }
        return found;
    }
    // One of them is missing, hidden or large; modules differ in what they fill in for the others then.
    size_t i = 0;
    for (const CK_ATTRIBUTE_TYPE type : types)
        found[i++] = attribute(object, type);
    return found;
}

std::optional<CK_ULONG> ObjectAccess::ulongAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) {
    const std::optional<Bytes> value = attribute(object, type);
    if (!value || value->size() != sizeof(CK_ULONG))
        return std::nullopt;
    CK_ULONG result = 0;
    std::memcpy(&result, value->data(), sizeof result);
    return result;
}

bool ObjectAccess::isTrue(const std::optional<Bytes>& value) {
    return value && value->size() == 1 && (*value)[0] != CK_FALSE;
}

bool ObjectAccess::boolAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) {
    return isTrue(attribute(object, type));
}

CK_RV ObjectAccess::create(Template& attributes, CK_OBJECT_HANDLE& object) {
    return p11->C_CreateObject(m_session, attributes.data(), attributes.size(), &object);
}

CK_RV ObjectAccess::destroy(CK_OBJECT_HANDLE object) {
    return p11->C_DestroyObject(m_session, object);
}

CK_RV ObjectAccess::setAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, const Bytes& value) {
    CK_ATTRIBUTE attribute = {type, const_cast<uint8_t*>(value.data()), CK_ULONG(value.size())};
    return p11->C_SetAttributeValue(m_session, object, &attribute, 1);
}

} // namespace zv
