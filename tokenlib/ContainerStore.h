#pragma once

#include "tokenlib/ObjectAccess.h"

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace zv {

// Key usages of a container.
inline constexpr int KeyExchange = 1;
inline constexpr int Signature = 2;

inline constexpr size_t MaximumContainerName = 64;

// A key container: a name and up to two key pairs with their certificates, each pair found by its CKA_ID.
struct Container {
    std::string name; // exact bytes
    Bytes exchangeId;
    Bytes signatureId;
    uint32_t sequence = 0;                       // the order containers are listed in
    CK_OBJECT_HANDLE record = CK_INVALID_HANDLE; // none for objects another tool wrote

    const Bytes& id(int usage) const { return usage == Signature ? signatureId : exchangeId; }
    Bytes& id(int usage) { return usage == Signature ? signatureId : exchangeId; }
};

// What one pass over a token's objects found: its containers and which objects each CKA_ID and class has.
struct ContainerSnapshot {
    std::vector<Container> containers;
    std::map<std::pair<Bytes, CK_OBJECT_CLASS>, std::vector<CK_OBJECT_HANDLE>> objects;
    std::map<CK_OBJECT_HANDLE, CK_KEY_TYPE> keyTypes; // of the keys among them
};

// PKCS#11 has no containers, so each one is a public data object (the record) naming the CKA_IDs of its pairs;
// the record is the truth, so empty containers, the order and the names survive whatever other tools do to labels.
// Keys and certificates that other tools wrote without a record still show, grouped by CKA_ID.
class ContainerStore {
public:
    // snapshot, when given, keeps what a pass over the objects found for later calls; every change made through
    // this store drops it, and the owner drops it when the token may have changed otherwise.
    explicit ContainerStore(ObjectAccess& objects, std::optional<ContainerSnapshot>* snapshot = nullptr)
        : m_objects(objects), m_snapshot(snapshot) {}

    // 0 or ZV_ERR_CONTAINER_NAME: empty, over 64 bytes, or ending in a blank.
    static int32_t checkName(const std::string& name);

    // Records in their order, then the groups of objects that no record names.
    CK_RV list(std::vector<Container>& containers);
    // ZV_ERR_NO_CONTAINER when there is none of that name.
    CK_RV find(const std::string& name, Container& container);
    // ZV_ERR_CONTAINER_EXISTS, ZV_ERR_CONTAINER_NAME, or the module's code.
    CK_RV create(const std::string& name, Container& created);
    // Names the pair of a usage, writing the record (and giving a group of another tool's objects a record).
    CK_RV setId(Container& container, int usage, const Bytes& id);
    // The type of a key the last pass found; nothing without a snapshot.
    std::optional<CK_KEY_TYPE> keyType(CK_OBJECT_HANDLE key) const;
    // The container's objects of one class and usage.
    CK_RV objectsOf(const Container& container, int usage, CK_OBJECT_CLASS objectClass,
                    std::vector<CK_OBJECT_HANDLE>& found);
    // Every object of both pairs, then the record. A pair that another container names too stays for it.
    CK_RV remove(const Container& container);
    // Whether a container other than the one named except names a pair of this CKA_ID.
    CK_RV namedElsewhere(const Bytes& id, const std::string& except, bool& named);

private:
    CK_RV writeRecord(Container& container);
    CK_RV scan(ContainerSnapshot& snapshot);
    void forgetSnapshot();

    ObjectAccess& m_objects;
    std::optional<ContainerSnapshot>* m_snapshot;
};

} // namespace zv
