#pragma once

#include "vtoken/AttributeSet.h"
#include "vtoken/TokenRecord.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vtoken {

// The store could not be opened, read or written: a damaged file, a full disk, a lock held too long.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An object as read: its attributes decoded once, shared by every reader while the store is unchanged.
struct StoredObject {
    int64_t id = 0;
    int64_t tokenId = 0;
    std::shared_ptr<const AttributeSet> attributes; // null when the stored bytes cannot be decoded
};

// One thing a token's sensor saw. The vtoken command queues them; whichever process reads the sensor next takes
// them, oldest first, each once.
struct SensorEvent {
    // A finger put on, one the sensor could not take, a finger lifted, and a finger put on that the token matches
    // but finds bound to no certificate.
    enum Kind { Present = 0, Fail = 1, Away = 2, Unbound = 3 };
    Kind kind = Present;
    int finger = 0; // 1 to 10, for Present and Unbound

    bool operator==(const SensorEvent&) const = default;
};

// The virtual tokens of one user, in an SQLite file that every process using them shares: the program through the
// PKCS#11 module, the vtoken command, the tests. Every change runs in one transaction, so a process killed midway
// leaves a token as it was before or after, never half-written.
class Store {
public:
    static constexpr int SectorSize = 2048;

    // $VTOKEN_HOME/vtoken.db, else ~/.local/share/vtoken/vtoken.db; StoreError when neither is known.
    static std::string defaultPath();

    // Opens the store, creating it (mode 0600, with its folder) when missing; ":memory:" is an empty one of this
    // process alone. Throws StoreError.
    explicit Store(const std::string& path = defaultPath());

    // The store the module and the SKF library serve: the file when there is one, else an empty store in memory, so
    // that a program that merely loads the module (every p11-kit user, once the module is registered) leaves no file
    // behind. The vtoken command makes the file; replacedByFile then gives the store to use from then on.
    static std::unique_ptr<Store> openIfPresent(const std::string& path = defaultPath());
    // The file's store once the file exists, for a store in memory; null otherwise.
    std::unique_ptr<Store> replacedByFile(const std::string& path = defaultPath()) const;
    bool inMemory() const { return m_inMemory; }
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Runs work inside one write transaction; an exception rolls everything back and propagates.
    void transaction(const std::function<void()>& work);

    // One call of a client (a PKCS#11 function, an SKF one): what the call reads is checked against other
    // connections' commits once, at its first read, not at every lookup. A listing makes hundreds of lookups.
    class Call {
    public:
        explicit Call(Store* store) : m_store(store) {
            if (m_store)
                ++m_store->m_callDepth;
        }
        ~Call() {
            if (m_store && --m_store->m_callDepth == 0)
                m_store->m_checkedInCall = false;
        }
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        Store* m_store;
    };

    std::vector<TokenRecord> tokens();
    std::optional<TokenRecord> token(int64_t id);
    std::optional<TokenRecord> tokenBySerial(const std::string& serial);
    // The token as a transaction about to change it reads it; StoreError when another process removed it meanwhile.
    TokenRecord existingToken(int64_t id);
    // Draws the token's issuer key too.
    int64_t insertToken(const TokenRecord& token);
    void updateToken(const TokenRecord& token);
    void deleteToken(int64_t id); // with its objects and CD-ROM content

    std::vector<StoredObject> objects(int64_t tokenId);
    std::optional<StoredObject> object(int64_t id);
    int64_t insertObject(int64_t tokenId, const std::vector<uint8_t>& attributes);
    void updateObject(int64_t id, const std::vector<uint8_t>& attributes);
    void deleteObject(int64_t id);
    void deleteObjects(int64_t tokenId);
    // Bytes the token's objects take: their attribute records.
    int64_t usedMemory(int64_t tokenId);

    // Sectors never written read as zeros; at most 4096 sectors per read.
    void writeSectors(int64_t tokenId, int64_t first, const std::vector<uint8_t>& data);
    std::vector<uint8_t> readSectors(int64_t tokenId, int64_t first, int64_t count);
    void clearCdrom(int64_t tokenId);

    // Grows with every plug, unplug, creation and removal of a token: what slot-event waiters watch.
    int64_t slotEventCounter();

    void queueSensorEvent(int64_t tokenId, const SensorEvent& event);
    // The token's oldest queued sensor event, taken off the queue; nullopt when none is queued.
    std::optional<SensorEvent> takeSensorEvent(int64_t tokenId);
    int64_t sensorEventCount(int64_t tokenId);
    void clearSensorEvents(int64_t tokenId);

    // The 32-byte key the token shares with its issuer alone, drawn at its creation: the issuer answers the token's
    // remote unblock requests with it. Never shown.
    std::vector<uint8_t> issuerKey(int64_t tokenId);
    // The remote unblock request the token drew last and has not yet seen answered; empty when there is none.
    std::vector<uint8_t> unblockRequest(int64_t tokenId);
    void setUnblockRequest(int64_t tokenId, const std::vector<uint8_t>& request);

private:
    void execute(const char* sql);
    void migrateFromVersion1();
    void bumpSlotEvents();
    // Drops what was read once another connection has committed since; within a call, only at its first read.
    void checkCache();
    void checkCacheNow();
    void forgetCache();

    bool m_inMemory = false;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_dataVersion = nullptr;
    int m_transactionDepth = 0;
    int m_callDepth = 0;
    bool m_checkedInCall = false;

    // What this connection has read, kept while no other connection commits and this one writes nothing: a
    // client listing a token calls for the same token and objects hundreds of times.
    int64_t m_cachedVersion = -1;
    std::map<int64_t, TokenRecord> m_tokenCache;
    std::map<int64_t, std::vector<StoredObject>> m_objectListCache;
    std::map<int64_t, StoredObject> m_objectCache;
};

} // namespace vtoken
