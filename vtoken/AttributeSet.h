#pragma once

#include <p11-kit/pkcs11.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vtoken {

// The attributes of one object, as stored: type and raw value bytes, CK_ULONG and CK_BBOOL values in the
// machine's own representation (the store never leaves this machine).
class AttributeSet {
public:
    AttributeSet() = default;
    AttributeSet(const CK_ATTRIBUTE* attributes, CK_ULONG count);

    static std::optional<AttributeSet> deserialize(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> serialize() const;

    bool has(CK_ATTRIBUTE_TYPE type) const { return m_values.count(type) != 0; }
    const std::vector<uint8_t>* find(CK_ATTRIBUTE_TYPE type) const;
    void set(CK_ATTRIBUTE_TYPE type, std::vector<uint8_t> value) { m_values[type] = std::move(value); }
    void setBool(CK_ATTRIBUTE_TYPE type, bool value);
    void setUlong(CK_ATTRIBUTE_TYPE type, CK_ULONG value);
    void setDefault(CK_ATTRIBUTE_TYPE type, std::vector<uint8_t> value);
    void setDefaultBool(CK_ATTRIBUTE_TYPE type, bool value);
    void erase(CK_ATTRIBUTE_TYPE type) { m_values.erase(type); }

    // Nothing when the attribute is missing or has the wrong size.
    std::optional<bool> boolean(CK_ATTRIBUTE_TYPE type) const;
    std::optional<CK_ULONG> ulong(CK_ATTRIBUTE_TYPE type) const;
    bool isTrue(CK_ATTRIBUTE_TYPE type) const { return boolean(type).value_or(false); }

    // True when every attribute of the template is present here with the same value.
    bool matches(const CK_ATTRIBUTE* pattern, CK_ULONG count) const;

    const std::map<CK_ATTRIBUTE_TYPE, std::vector<uint8_t>>& values() const { return m_values; }

private:
    std::map<CK_ATTRIBUTE_TYPE, std::vector<uint8_t>> m_values;
};

} // namespace vtoken
