#include "tokenlib/ObjectAccess.h"

#include <cstring>

namespace zv {

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

std::optional<CK_ULONG> ObjectAccess::ulongAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) {
    const std::optional<Bytes> value = attribute(object, type);
    if (!value || value->size() != sizeof(CK_ULONG))
        return std::nullopt;
    CK_ULONG result = 0;
    std::memcpy(&result, value->data(), sizeof result);
    return result;
}

bool ObjectAccess::boolAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) {
    const std::optional<Bytes> value = attribute(object, type);
    return value && value->size() == 1 && (*value)[0] != CK_FALSE;
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
