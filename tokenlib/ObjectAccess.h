#pragma once

#include <p11-kit/pkcs11.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

namespace zv {

using Bytes = std::vector<uint8_t>;

// A template built up attribute by attribute; it owns the values the attributes point to.
class Template {
public:
    Template& add(CK_ATTRIBUTE_TYPE type, const Bytes& value);
    Template& add(CK_ATTRIBUTE_TYPE type, const void* value, size_t length);
    Template& addBool(CK_ATTRIBUTE_TYPE type, bool value);
    Template& addUlong(CK_ATTRIBUTE_TYPE type, CK_ULONG value);

    CK_ATTRIBUTE* data();
    CK_ULONG size() const { return CK_ULONG(m_values.size()); }

private:
    std::vector<CK_ATTRIBUTE_TYPE> m_types;
    std::vector<Bytes> m_values;
    std::vector<CK_ATTRIBUTE> m_attributes;
};

// Object work in one session of one module.
class ObjectAccess {
public:
    ObjectAccess(CK_FUNCTION_LIST_PTR functions, CK_SESSION_HANDLE session) : p11(functions), m_session(session) {}

    // Every object the session can see that matches the template, in the module's order.
    CK_RV find(Template& pattern, std::vector<CK_OBJECT_HANDLE>& found);
    // One attribute's value; nothing when the object lacks it, hides it, or the module fails.
    std::optional<Bytes> attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type);
    // Several attributes' values, in the order of types, each as attribute() gives it.
    std::vector<std::optional<Bytes>> attributes(CK_OBJECT_HANDLE object,
                                                 std::initializer_list<CK_ATTRIBUTE_TYPE> types);
    std::optional<CK_ULONG> ulongAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type);
    bool boolAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type);
    // Whether a value read is a CK_BBOOL that is true.
    static bool isTrue(const std::optional<Bytes>& value);
    CK_RV create(Template& attributes, CK_OBJECT_HANDLE& object);
    CK_RV destroy(CK_OBJECT_HANDLE object);
    CK_RV setAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, const Bytes& value);

private:
    CK_FUNCTION_LIST_PTR p11;
    CK_SESSION_HANDLE m_session;
};

} // namespace zv
