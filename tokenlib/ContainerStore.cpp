#include "tokenlib/ContainerStore.h"

#include "shared/ZovevOdu.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace zv {
namespace {

const std::string Application = "VX7100 key container";
constexpr uint8_t RecordVersion = 1;

Bytes encodeRecord(const Container& container) {
    Bytes record = {'V', 'X', 'C', RecordVersion};
    for (int shift = 0; shift < 32; shift += 8)
        record.push_back(uint8_t(container.sequence >> shift));
    record.push_back(uint8_t(container.name.size()));
    record.insert(record.end(), container.name.begin(), container.name.end());
    for (const Bytes* id : {&container.exchangeId, &container.signatureId}) {
        record.push_back(uint8_t(id->size()));
        record.insert(record.end(), id->begin(), id->end());
    }
    return record;
}

bool decodeRecord(const Bytes& record, Container& container) {
    size_t at = 0;
    const auto take = [&](size_t count, auto&& use) {
        if (record.size() - at < count)
            return false;
        use(record.data() + at, count);
        at += count;
        return true;
    };
    if (record.size() < 9 || record[0] != 'V' || record[1] != 'X' || record[2] != 'C' || record[3] != RecordVersion)
        return false;
    at = 4;
    container.sequence =
        uint32_t(record[4]) | uint32_t(record[5]) << 8 | uint32_t(record[6]) << 16 | uint32_t(record[7]) << 24;
    at = 8;
    const auto text = [&](std::string& into) {
        if (at >= record.size())
            return false;
        const size_t length = record[at++];
        return take(length, [&](const uint8_t* data, size_t count) { into.assign(data, data + count); });
    };
    const auto bytes = [&](Bytes& into) {
        if (at >= record.size())
            return false;
        const size_t length = record[at++];
        return take(length, [&](const uint8_t* data, size_t count) { into.assign(data, data + count); });
    };
    return text(container.name) && bytes(container.exchangeId) && bytes(container.signatureId) &&
           !container.name.empty();
}

std::string hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

} // namespace

// A control character (a line break above all) in a name would forge lines in every trace and list that shows it.
int32_t ContainerStore::checkName(const std::string& name) {
    const auto control = [](char byte) { return uint8_t(byte) < 0x20 || byte == 0x7F; };
    if (name.empty() || name.size() > MaximumContainerName || name.back() == ' ' ||
        std::any_of(name.begin(), name.end(), control))
        return ZV_ERR_CONTAINER_NAME;
    return ZV_OK;
}

void ContainerStore::forgetSnapshot() {
    if (m_snapshot)
        m_snapshot->reset();
}

CK_RV ContainerStore::list(std::vector<Container>& containers) {
    if (m_snapshot && *m_snapshot) {
        containers = (*m_snapshot)->containers;
        return CKR_OK;
    }
    ContainerSnapshot snapshot;
    if (const CK_RV rv = scan(snapshot); rv != CKR_OK)
        return rv;
    containers = snapshot.containers;
    if (m_snapshot)
        *m_snapshot = std::move(snapshot);
    return CKR_OK;
}

CK_RV ContainerStore::scan(ContainerSnapshot& snapshot) {
    std::vector<Container>& containers = snapshot.containers;
    Template everything;
    std::vector<CK_OBJECT_HANDLE> objects;
    if (const CK_RV rv = m_objects.find(everything, objects); rv != CKR_OK)
        return rv;

    struct Group {
        std::string label;
        bool hasPrivateKey = false;
        bool exchange = false; // the private key may decrypt, unwrap or derive
        bool hasPublicKey = false;
        bool publicExchange = false; // the public key may encrypt or wrap
    };
    std::vector<Container> records;
    std::vector<Bytes> groupOrder;
    std::map<Bytes, Group> groups;
    for (CK_OBJECT_HANDLE object : objects) {
        const std::optional<CK_ULONG> read = m_objects.ulongAttribute(object, CKA_CLASS);
        if (!read)
            continue;
        const CK_OBJECT_CLASS objectClass = *read;
        if (objectClass == CKO_DATA) {
            // Another application's value is never read: it may be large.
            const std::optional<Bytes> application = m_objects.attribute(object, CKA_APPLICATION);
            if (!application || std::string(application->begin(), application->end()) != Application)
                continue;
            const std::optional<Bytes> value = m_objects.attribute(object, CKA_VALUE);
            Container container;
            if (value && decodeRecord(*value, container)) {
                container.record = object;
                records.push_back(std::move(container));
            }
            continue;
        }
        if (objectClass != CKO_PRIVATE_KEY && objectClass != CKO_PUBLIC_KEY && objectClass != CKO_CERTIFICATE)
            continue;
        // A key's or a certificate's attributes in one request.
        const std::vector<std::optional<Bytes>> values =
            objectClass == CKO_PRIVATE_KEY
                ? m_objects.attributes(object, {CKA_ID, CKA_LABEL, CKA_KEY_TYPE, CKA_DECRYPT, CKA_UNWRAP, CKA_DERIVE})
            : objectClass == CKO_PUBLIC_KEY
                ? m_objects.attributes(object, {CKA_ID, CKA_LABEL, CKA_KEY_TYPE, CKA_ENCRYPT, CKA_WRAP})
                : m_objects.attributes(object, {CKA_ID, CKA_LABEL});
        const std::optional<Bytes>& id = values[0];
        if (!id || id->empty())
            continue;
        snapshot.objects[{*id, objectClass}].push_back(object);
        auto [entry, added] = groups.try_emplace(*id);
        if (added)
            groupOrder.push_back(*id);
        Group& group = entry->second;
        if (const std::optional<Bytes>& label = values[1]; group.label.empty() && label)
            group.label.assign(label->begin(), label->end());
        const auto anyTrue = [&values](size_t from) {
            return std::any_of(values.begin() + ptrdiff_t(from), values.end(), ObjectAccess::isTrue);
        };
        if (objectClass == CKO_CERTIFICATE)
            continue;
        if (const std::optional<Bytes>& type = values[2]; type && type->size() == sizeof(CK_KEY_TYPE)) {
            CK_KEY_TYPE keyType = 0;
            std::memcpy(&keyType, type->data(), sizeof keyType);
            snapshot.keyTypes[object] = keyType;
        }
        if (objectClass == CKO_PRIVATE_KEY) {
            group.hasPrivateKey = true;
            group.exchange = anyTrue(3); // it may decrypt, unwrap or derive
        } else {
            group.hasPublicKey = true;
            group.publicExchange = anyTrue(3); // it may encrypt or wrap
        }
    }

    std::stable_sort(records.begin(), records.end(),
                     [](const Container& a, const Container& b) { return a.sequence < b.sequence; });
    std::set<Bytes> named;
    std::set<std::string> names;
    for (const Container& record : records) {
        named.insert(record.exchangeId);
        named.insert(record.signatureId);
        names.insert(record.name);
    }
    // A record rewritten by a process that stopped halfway may exist twice; the first one counts.
    std::set<std::string> seen;
    std::erase_if(records, [&seen](const Container& record) { return !seen.insert(record.name).second; });
    containers = records;
    for (const Bytes& id : groupOrder) {
        if (named.count(id))
            continue;
        const Group& group = groups[id];
        Container foreign;
        foreign.name = checkName(group.label) == ZV_OK && !names.count(group.label) ? group.label : hex(id);
        // The private key tells the usage; without it (not logged in, or none) the public key; a lone
        // certificate counts as key exchange, the default usage of a container.
        const bool exchange = group.hasPrivateKey ? group.exchange : (group.hasPublicKey ? group.publicExchange : true);
        foreign.id(exchange ? KeyExchange : Signature) = id;
        names.insert(foreign.name);
        containers.push_back(std::move(foreign));
    }
    return CKR_OK;
}

CK_RV ContainerStore::find(const std::string& name, Container& container) {
    if (m_snapshot && *m_snapshot) {
        for (const Container& candidate : (*m_snapshot)->containers) {
            if (candidate.name == name) {
                container = candidate;
                return CKR_OK;
            }
        }
        return ZV_ERR_NO_CONTAINER;
    }
    // The record's label is normally its name: one search finds it without reading every object of the token.
    Template pattern;
    pattern.addUlong(CKA_CLASS, CKO_DATA)
        .add(CKA_APPLICATION, Application.data(), Application.size())
        .add(CKA_LABEL, name.data(), name.size());
    std::vector<CK_OBJECT_HANDLE> labelled;
    if (const CK_RV rv = m_objects.find(pattern, labelled); rv != CKR_OK)
        return rv;
    for (CK_OBJECT_HANDLE object : labelled) {
        Container candidate;
        const std::optional<Bytes> value = m_objects.attribute(object, CKA_VALUE);
        if (value && decodeRecord(*value, candidate) && candidate.name == name) {
            candidate.record = object;
            container = std::move(candidate);
            return CKR_OK;
        }
    }
    // A label another tool changed, or objects without a record.
    std::vector<Container> containers;
    if (const CK_RV rv = list(containers); rv != CKR_OK)
        return rv;
    for (Container& candidate : containers) {
        if (candidate.name == name) {
            container = std::move(candidate);
            return CKR_OK;
        }
    }
    return ZV_ERR_NO_CONTAINER;
}

CK_RV ContainerStore::writeRecord(Container& container) {
    forgetSnapshot();
    const CK_OBJECT_HANDLE previous = container.record;
    if (previous != CK_INVALID_HANDLE) {
        const CK_RV rv = m_objects.setAttribute(previous, CKA_VALUE, encodeRecord(container));
        // Some modules keep a data object's value fixed: the record is then written anew, the new one first so
        // that a failure leaves the old one.
        if (rv != CKR_ATTRIBUTE_READ_ONLY)
            return rv;
    } else {
        std::vector<Container> containers;
        if (const CK_RV rv = list(containers); rv != CKR_OK)
            return rv;
        uint32_t last = 0;
        for (const Container& other : containers)
            last = std::max(last, other.sequence);
        container.sequence = last + 1;
    }
    Template record;
    record.addUlong(CKA_CLASS, CKO_DATA)
        .addBool(CKA_TOKEN, true)
        .addBool(CKA_PRIVATE, false)
        .addBool(CKA_MODIFIABLE, true)
        .add(CKA_LABEL, container.name.data(), container.name.size())
        .add(CKA_APPLICATION, Application.data(), Application.size())
        .add(CKA_VALUE, encodeRecord(container));
    if (const CK_RV rv = m_objects.create(record, container.record); rv != CKR_OK)
        return rv;
    return previous == CK_INVALID_HANDLE ? CKR_OK : m_objects.destroy(previous);
}

CK_RV ContainerStore::create(const std::string& name, Container& created) {
    if (const int32_t rv = checkName(name); rv != ZV_OK)
        return CK_RV(rv);
    Container existing;
    const CK_RV rv = find(name, existing);
    if (rv == CKR_OK)
        return ZV_ERR_CONTAINER_EXISTS;
    if (rv != ZV_ERR_NO_CONTAINER)
        return rv;
    created = Container{};
    created.name = name;
    return writeRecord(created);
}

CK_RV ContainerStore::setId(Container& container, int usage, const Bytes& id) {
    container.id(usage) = id;
    return writeRecord(container);
}

std::optional<CK_KEY_TYPE> ContainerStore::keyType(CK_OBJECT_HANDLE key) const {
    if (!m_snapshot || !*m_snapshot)
        return std::nullopt;
    const auto found = (*m_snapshot)->keyTypes.find(key);
    return found == (*m_snapshot)->keyTypes.end() ? std::nullopt : std::optional(found->second);
}

CK_RV ContainerStore::objectsOf(const Container& container, int usage, CK_OBJECT_CLASS objectClass,
                                std::vector<CK_OBJECT_HANDLE>& found) {
    found.clear();
    const Bytes& id = container.id(usage);
    if (id.empty())
        return CKR_OK;
    if (m_snapshot && *m_snapshot) {
        const auto known = (*m_snapshot)->objects.find({id, objectClass});
        if (known != (*m_snapshot)->objects.end())
            found = known->second;
        return CKR_OK;
    }
    Template pattern;
    pattern.addUlong(CKA_CLASS, objectClass).add(CKA_ID, id);
    return m_objects.find(pattern, found);
}

namespace {

// Whether a container other than the one named except names a pair of this CKA_ID; an absent pair is nobody's.
bool namedByAnother(const std::vector<Container>& containers, const Bytes& id, const std::string& except) {
    return !id.empty() && std::any_of(containers.begin(), containers.end(), [&](const Container& other) {
        return other.name != except && (other.exchangeId == id || other.signatureId == id);
    });
}

} // namespace

CK_RV ContainerStore::namedElsewhere(const Bytes& id, const std::string& except, bool& named) {
    std::vector<Container> containers;
    const CK_RV rv = list(containers);
    named = rv == CKR_OK && namedByAnother(containers, id, except);
    return rv;
}

// Objects are found by CKA_ID: a pair that two containers name (written before the library refused that) would
// otherwise vanish from the other container too.
CK_RV ContainerStore::remove(const Container& container) {
    std::vector<Container> containers;
    if (const CK_RV rv = list(containers); rv != CKR_OK)
        return rv;
    std::set<int> shared;
    for (int usage : {KeyExchange, Signature})
        if (namedByAnother(containers, container.id(usage), container.name))
            shared.insert(usage);
    forgetSnapshot();
    for (int usage : {KeyExchange, Signature}) {
        if (shared.count(usage))
            continue;
        for (CK_OBJECT_CLASS objectClass : {CKO_CERTIFICATE, CKO_PUBLIC_KEY, CKO_PRIVATE_KEY}) {
            std::vector<CK_OBJECT_HANDLE> objects;
            if (const CK_RV rv = objectsOf(container, usage, objectClass, objects); rv != CKR_OK)
                return rv;
            for (CK_OBJECT_HANDLE object : objects)
                if (const CK_RV rv = m_objects.destroy(object); rv != CKR_OK)
                    return rv;
        }
    }
    return container.record == CK_INVALID_HANDLE ? CKR_OK : m_objects.destroy(container.record);
}

} // namespace zv
