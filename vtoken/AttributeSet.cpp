#include "vtoken/AttributeSet.h"

#include <cstring>

namespace vtoken {
namespace {

constexpr uint32_t FormatVersion = 1;

template <typename T> void append(std::vector<uint8_t>& bytes, T value) {
    const auto* raw = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
}

template <typename T> bool take(const std::vector<uint8_t>& bytes, size_t& offset, T& value) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof value)
        return false;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    offset += sizeof value;
    return true;
}

} // namespace

AttributeSet::AttributeSet(const CK_ATTRIBUTE* attributes, CK_ULONG count) {
    for (CK_ULONG i = 0; i < count; ++i) {
        const auto* value = static_cast<const uint8_t*>(attributes[i].pValue);
        m_values[attributes[i].type] =
            value ? std::vector<uint8_t>(value, value + attributes[i].ulValueLen) : std::vector<uint8_t>();
    }
}

std::vector<uint8_t> AttributeSet::serialize() const {
    std::vector<uint8_t> bytes;
    append(bytes, FormatVersion);
    append(bytes, uint32_t(m_values.size()));
    for (const auto& [type, value] : m_values) {
        append(bytes, uint64_t(type));
        append(bytes, uint32_t(value.size()));
        bytes.insert(bytes.end(), value.begin(), value.end());
    }
    return bytes;
}

std::optional<AttributeSet> AttributeSet::deserialize(const std::vector<uint8_t>& bytes) {
    size_t offset = 0;
    uint32_t version = 0, count = 0;
    if (!take(bytes, offset, version) || version != FormatVersion || !take(bytes, offset, count))
        return std::nullopt;
    AttributeSet set;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t type = 0;
        uint32_t length = 0;
        if (!take(bytes, offset, type) || !take(bytes, offset, length) || bytes.size() - offset < length)
            return std::nullopt;
        set.m_values[CK_ATTRIBUTE_TYPE(type)].assign(bytes.begin() + long(offset),
                                                     bytes.begin() + long(offset + length));
        offset += length;
    }
    if (offset != bytes.size())
        return std::nullopt;
    return set;
}

const std::vector<uint8_t>* AttributeSet::find(CK_ATTRIBUTE_TYPE type) const {
    const auto found = m_values.find(type);
    return found == m_values.end() ? nullptr : &found->second;
}

void AttributeSet::setBool(CK_ATTRIBUTE_TYPE type, bool value) {
    m_values[type] = {static_cast<uint8_t>(value ? CK_TRUE : CK_FALSE)};
}

void AttributeSet::setUlong(CK_ATTRIBUTE_TYPE type, CK_ULONG value) {
    std::vector<uint8_t> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    m_values[type] = std::move(bytes);
}

void AttributeSet::setDefault(CK_ATTRIBUTE_TYPE type, std::vector<uint8_t> value) {
    m_values.try_emplace(type, std::move(value));
}

void AttributeSet::setDefaultBool(CK_ATTRIBUTE_TYPE type, bool value) {
    if (!has(type))
        setBool(type, value);
}

std::optional<bool> AttributeSet::boolean(CK_ATTRIBUTE_TYPE type) const {
    const std::vector<uint8_t>* value = find(type);
    if (!value || value->size() != sizeof(CK_BBOOL))
        return std::nullopt;
    return (*value)[0] != CK_FALSE;
}

std::optional<CK_ULONG> AttributeSet::ulong(CK_ATTRIBUTE_TYPE type) const {
    const std::vector<uint8_t>* value = find(type);
    if (!value || value->size() != sizeof(CK_ULONG))
        return std::nullopt;
    CK_ULONG result = 0;
    std::memcpy(&result, value->data(), sizeof result);
    return result;
}

bool AttributeSet::matches(const CK_ATTRIBUTE* pattern, CK_ULONG count) const {
    for (CK_ULONG i = 0; i < count; ++i) {
        const std::vector<uint8_t>* value = find(pattern[i].type);
        if (!value || value->size() != pattern[i].ulValueLen)
            return false;
        if (pattern[i].ulValueLen && std::memcmp(value->data(), pattern[i].pValue, pattern[i].ulValueLen) != 0)
            return false;
    }
    return true;
}

} // namespace vtoken
