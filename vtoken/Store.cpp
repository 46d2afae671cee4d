#include "vtoken/Store.h"

#include "vtoken/CryptoContext.h"

#include <openssl/rand.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vtoken {
namespace {

constexpr int SchemaVersion = 2;
constexpr size_t IssuerKeyBytes = 32;
constexpr int BusyTimeoutMs = 10000;
constexpr char InMemory[] = ":memory:";

const char* const Schema = R"sql(
CREATE TABLE IF NOT EXISTS token (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    serial TEXT NOT NULL UNIQUE,
    label TEXT NOT NULL,
    manufacturer TEXT NOT NULL,
    model TEXT NOT NULL,
    issuer TEXT NOT NULL,
    hardware_major INTEGER NOT NULL, hardware_minor INTEGER NOT NULL,
    firmware_major INTEGER NOT NULL, firmware_minor INTEGER NOT NULL,
    total_memory INTEGER NOT NULL,
    initialized INTEGER NOT NULL,
    user_pin_hash TEXT NOT NULL, user_pin_min INTEGER NOT NULL, user_pin_max INTEGER NOT NULL,
    user_pin_retry_max INTEGER NOT NULL, user_pin_retry_left INTEGER NOT NULL,
    so_pin_hash TEXT NOT NULL, so_pin_min INTEGER NOT NULL, so_pin_max INTEGER NOT NULL,
    so_pin_retry_max INTEGER NOT NULL, so_pin_retry_left INTEGER NOT NULL,
    usb_vendor_id INTEGER NOT NULL, usb_product_id INTEGER NOT NULL,
    plugged INTEGER NOT NULL, plug_count INTEGER NOT NULL,
    sensor INTEGER NOT NULL,
    user_fingers INTEGER NOT NULL, user_finger_retry_max INTEGER NOT NULL,
    user_finger_retry_left INTEGER NOT NULL, user_finger_level INTEGER NOT NULL,
    admin_fingers INTEGER NOT NULL, admin_finger_retry_max INTEGER NOT NULL,
    admin_finger_retry_left INTEGER NOT NULL, admin_finger_level INTEGER NOT NULL,
    cdrom_sectors INTEGER NOT NULL,
    finger_list INTEGER NOT NULL DEFAULT 0,
    sensor_auto INTEGER NOT NULL DEFAULT 0,
    issuer_key BLOB NOT NULL DEFAULT x'',
    unblock_request BLOB NOT NULL DEFAULT x''
);
CREATE TABLE IF NOT EXISTS object (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    token_id INTEGER NOT NULL REFERENCES token(id) ON DELETE CASCADE,
    attributes BLOB NOT NULL
);
CREATE INDEX IF NOT EXISTS object_token ON object(token_id);
CREATE TABLE IF NOT EXISTS cdrom (
    token_id INTEGER NOT NULL REFERENCES token(id) ON DELETE CASCADE,
    sector INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY (token_id, sector)
);
CREATE TABLE IF NOT EXISTS sensor_event (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    token_id INTEGER NOT NULL REFERENCES token(id) ON DELETE CASCADE,
    kind INTEGER NOT NULL,
    finger INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS sensor_event_token ON sensor_event(token_id);
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value INTEGER NOT NULL);
INSERT OR IGNORE INTO meta VALUES ('slot_events', 0);
)sql";

// Version 1 knew neither the finger list form, nor the sensor's auto mode, nor the remote unblock. Finger-vein
// tokens (sensor 2) list their fingers by number (form 1); the issuer keys are drawn afterwards.
const char* const AddedInVersion2 = R"sql(
ALTER TABLE token ADD COLUMN finger_list INTEGER NOT NULL DEFAULT 0;
ALTER TABLE token ADD COLUMN sensor_auto INTEGER NOT NULL DEFAULT 0;
ALTER TABLE token ADD COLUMN issuer_key BLOB NOT NULL DEFAULT x'';
ALTER TABLE token ADD COLUMN unblock_request BLOB NOT NULL DEFAULT x'';
UPDATE token SET finger_list = 1 WHERE sensor = 2;
)sql";

const char* const TokenColumns =
    "id, serial, label, manufacturer, model, issuer, hardware_major, hardware_minor, firmware_major, "
    "firmware_minor, total_memory, initialized, user_pin_hash, user_pin_min, user_pin_max, user_pin_retry_max, "
    "user_pin_retry_left, so_pin_hash, so_pin_min, so_pin_max, so_pin_retry_max, so_pin_retry_left, usb_vendor_id, "
    "usb_product_id, plugged, plug_count, sensor, user_fingers, user_finger_retry_max, user_finger_retry_left, "
    "user_finger_level, admin_fingers, admin_finger_retry_max, admin_finger_retry_left, admin_finger_level, "
    "cdrom_sectors, finger_list, sensor_auto";
constexpr int TokenColumnCount = 38;

// One prepared statement, finalized on every path.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) : m_db(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_statement, nullptr) != SQLITE_OK)
            throw StoreError(std::string("store: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, int64_t value) {
        check(sqlite3_bind_int64(m_statement, index, value));
        return *this;
    }
    Statement& bind(int index, const std::string& value) {
        check(sqlite3_bind_text(m_statement, index, value.data(), int(value.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind(int index, const std::vector<uint8_t>& value) {
        check(sqlite3_bind_blob(m_statement, index, value.empty() ? "" : static_cast<const void*>(value.data()),
                                int(value.size()), SQLITE_TRANSIENT));
        return *this;
    }
    // True while a row is available.
    bool step() {
        const int result = sqlite3_step(m_statement);
        if (result == SQLITE_ROW)
            return true;
        if (result == SQLITE_DONE)
            return false;
        throw StoreError(std::string("store: ") + sqlite3_errmsg(m_db));
    }
    int64_t integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::string text(int column) const {
        const auto* value = sqlite3_column_text(m_statement, column);
        return value ? std::string(reinterpret_cast<const char*>(value), sqlite3_column_bytes(m_statement, column))
                     : std::string();
    }
    std::vector<uint8_t> blob(int column) const {
        const auto* value = static_cast<const uint8_t*>(sqlite3_column_blob(m_statement, column));
        return value ? std::vector<uint8_t>(value, value + sqlite3_column_bytes(m_statement, column))
                     : std::vector<uint8_t>();
    }

private:
    void check(int result) {
        if (result != SQLITE_OK)
            throw StoreError(std::string("store: ") + sqlite3_errmsg(m_db));
    }

    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

TokenRecord readToken(const Statement& row) {
    TokenRecord token;
    int c = 0;
    token.id = row.integer(c++);
    token.serial = row.text(c++);
    token.label = row.text(c++);
    token.manufacturer = row.text(c++);
    token.model = row.text(c++);
    token.issuer = row.text(c++);
    token.hardwareMajor = int(row.integer(c++));
    token.hardwareMinor = int(row.integer(c++));
    token.firmwareMajor = int(row.integer(c++));
    token.firmwareMinor = int(row.integer(c++));
    token.totalMemory = row.integer(c++);
    token.initialized = row.integer(c++) != 0;
    for (PinRecord* pin : {&token.userPin, &token.soPin}) {
        pin->hash = row.text(c++);
        pin->minLength = int(row.integer(c++));
        pin->maxLength = int(row.integer(c++));
        pin->retryMax = int(row.integer(c++));
        pin->retryLeft = int(row.integer(c++));
    }
    token.usbVendorId = int(row.integer(c++));
    token.usbProductId = int(row.integer(c++));
    token.plugged = row.integer(c++) != 0;
    token.plugCount = row.integer(c++);
    token.sensor = static_cast<SensorKind>(row.integer(c++));
    for (FingerRecord* fingers : {&token.userFingers, &token.adminFingers}) {
        fingers->enrolled = uint32_t(row.integer(c++));
        fingers->retryMax = int(row.integer(c++));
        fingers->retryLeft = int(row.integer(c++));
        fingers->level = int(row.integer(c++));
    }
    token.cdromSectors = row.integer(c++);
    token.fingerList = static_cast<FingerListForm>(row.integer(c++));
    token.sensorAuto = row.integer(c++) != 0;
    return token;
}

// Binds the token's columns after the id, from parameter 1 on; returns the next free parameter.
int bindToken(Statement& statement, const TokenRecord& token) {
    int p = 1;
    const auto next = [&](const auto& value) { statement.bind(p++, value); };
    next(token.serial);
    next(token.label);
    next(token.manufacturer);
    next(token.model);
    next(token.issuer);
    for (int value : {token.hardwareMajor, token.hardwareMinor, token.firmwareMajor, token.firmwareMinor})
        next(int64_t(value));
    next(token.totalMemory);
    next(int64_t(token.initialized));
    for (const PinRecord* pin : {&token.userPin, &token.soPin}) {
        next(pin->hash);
        for (int value : {pin->minLength, pin->maxLength, pin->retryMax, pin->retryLeft})
            next(int64_t(value));
    }
    next(int64_t(token.usbVendorId));
    next(int64_t(token.usbProductId));
    next(int64_t(token.plugged));
    next(token.plugCount);
    next(int64_t(token.sensor));
    for (const FingerRecord* fingers : {&token.userFingers, &token.adminFingers}) {
        next(int64_t(fingers->enrolled));
        for (int value : {fingers->retryMax, fingers->retryLeft, fingers->level})
            next(int64_t(value));
    }
    next(token.cdromSectors);
    next(int64_t(token.fingerList));
    next(int64_t(token.sensorAuto));
    return p;
}

StoredObject readObject(const Statement& row) {
    std::optional<AttributeSet> attributes = AttributeSet::deserialize(row.blob(2));
    return {row.integer(0), row.integer(1),
            attributes ? std::make_shared<const AttributeSet>(std::move(*attributes)) : nullptr};
}

std::string placeholders(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += i ? ", ?" : "?";
    return text;
}

std::vector<uint8_t> newIssuerKey() {
    std::vector<uint8_t> key(IssuerKeyBytes);
    if (RAND_bytes_ex(cryptoContext(), key.data(), key.size(), 0) != 1)
        throw StoreError("store: no random numbers for an issuer key");
    return key;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

void makeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    ::mkdir(path.c_str(), 0700);
}

} // namespace

std::string Store::defaultPath() {
    if (const char* home = std::getenv("VTOKEN_HOME"); home && *home)
        return std::string(home) + "/vtoken.db";
    const char* user = std::getenv("HOME");
    if (!user || !*user)
        throw StoreError("store: neither VTOKEN_HOME nor HOME is set");
    return std::string(user) + "/.local/share/vtoken/vtoken.db";
}

Store::Store(const std::string& path) : m_inMemory(path == InMemory) {
    const size_t slash = path.rfind('/');
    if (!m_inMemory && slash != std::string::npos && slash > 0)
        makeDirectories(path.substr(0, slash));
    // Created here with mode 0600 before SQLite opens it, so the file is never readable by others. Only a new file is
    // opened and closed here: closing a descriptor drops every lock this process holds on the file, and another
    // connection of this process (the PKCS#11 module and the SKF library share one program) would lose its own.
    const int fd = m_inMemory ? -1 : ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    else if (!m_inMemory && errno != EEXIST)
        throw StoreError("store: cannot open " + path + ": " + std::strerror(errno));
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw StoreError("store: cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(m_db, BusyTimeoutMs);
    try {
        execute("PRAGMA foreign_keys = ON");
        execute("PRAGMA journal_mode = WAL");
        execute("PRAGMA synchronous = NORMAL");
        // A store of this version is only read: opening it writes nothing, so it neither syncs the disk nor makes
        // every other connection drop what it has read. An older one is written inside the schema transaction, which
        // reads the version again, so that of two processes opening an old store at once only the first migrates it.
        const auto version = [this] {
            Statement query(m_db, "PRAGMA user_version");
            query.step();
            return query.integer(0);
        };
        if (version() != SchemaVersion)
            transaction([&] {
                const int64_t found = version();
                if (found > SchemaVersion)
                    throw StoreError("store: " + path + " was written by a newer vtoken");
                execute(Schema);
                if (found == 1)
                    migrateFromVersion1();
                execute(("PRAGMA user_version = " + std::to_string(SchemaVersion)).c_str());
            });
        if (sqlite3_prepare_v2(m_db, "PRAGMA data_version", -1, &m_dataVersion, nullptr) != SQLITE_OK)
            throw StoreError(std::string("store: ") + sqlite3_errmsg(m_db));
    } catch (...) {
        sqlite3_close(m_db);
        throw;
    }
}

std::unique_ptr<Store> Store::openIfPresent(const std::string& path) {
    return std::make_unique<Store>(fileExists(path) ? path : std::string(InMemory));
}

std::unique_ptr<Store> Store::replacedByFile(const std::string& path) const {
    return m_inMemory && fileExists(path) ? std::make_unique<Store>(path) : nullptr;
}

Store::~Store() {
    sqlite3_finalize(m_dataVersion);
    sqlite3_close(m_db);
}

void Store::checkCache() {
    if (m_callDepth > 0 && m_checkedInCall)
        return;
    checkCacheNow();
    m_checkedInCall = m_callDepth > 0;
}

void Store::checkCacheNow() {
    const bool read = sqlite3_step(m_dataVersion) == SQLITE_ROW;
    const int64_t version = read ? sqlite3_column_int64(m_dataVersion, 0) : -1;
    // Reset at once: a statement left active would pin this connection to an old snapshot.
    sqlite3_reset(m_dataVersion);
    if (!read || version != m_cachedVersion) {
        forgetCache();
        m_cachedVersion = version;
    }
}

void Store::forgetCache() {
    m_tokenCache.clear();
    m_objectListCache.clear();
    m_objectCache.clear();
}

void Store::migrateFromVersion1() {
    execute(AddedInVersion2);
    std::vector<int64_t> ids;
    {
        Statement keyless(m_db, "SELECT id FROM token WHERE length(issuer_key) = 0");
        while (keyless.step())
            ids.push_back(keyless.integer(0));
    }
    for (const int64_t id : ids) {
        Statement update(m_db, "UPDATE token SET issuer_key = ? WHERE id = ?");
        update.bind(1, newIssuerKey()).bind(2, id).step();
    }
}

void Store::execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : sqlite3_errmsg(m_db);
        sqlite3_free(error);
        throw StoreError("store: " + message);
    }
}

void Store::transaction(const std::function<void()>& work) {
    if (m_transactionDepth > 0) {
        work();
        return;
    }
    execute("BEGIN IMMEDIATE");
    ++m_transactionDepth;
    // A change starts from what is committed now, whatever the call read before.
    checkCacheNow();
    try {
        work();
        --m_transactionDepth;
        execute("COMMIT");
    } catch (...) {
        m_transactionDepth = 0;
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        forgetCache(); // it may hold what was just rolled back
        throw;
    }
}

std::vector<TokenRecord> Store::tokens() {
    Statement query(m_db, std::string("SELECT ") + TokenColumns + " FROM token ORDER BY id");
    std::vector<TokenRecord> found;
    while (query.step())
        found.push_back(readToken(query));
    return found;
}

std::optional<TokenRecord> Store::token(int64_t id) {
    checkCache();
    if (const auto cached = m_tokenCache.find(id); cached != m_tokenCache.end())
        return cached->second;
    Statement query(m_db, std::string("SELECT ") + TokenColumns + " FROM token WHERE id = ?");
    query.bind(1, id);
    if (!query.step())
        return std::nullopt;
    return m_tokenCache[id] = readToken(query);
}

std::optional<TokenRecord> Store::tokenBySerial(const std::string& serial) {
    Statement query(m_db, std::string("SELECT ") + TokenColumns + " FROM token WHERE serial = ?");
    query.bind(1, serial);
    if (!query.step())
        return std::nullopt;
    return readToken(query);
}

TokenRecord Store::existingToken(int64_t id) {
    std::optional<TokenRecord> found = token(id);
    if (!found)
        throw StoreError("store: token " + std::to_string(id) + " no longer exists");
    return *found;
}

int64_t Store::insertToken(const TokenRecord& token) {
    forgetCache();
    int64_t id = 0;
    transaction([&] {
        const std::string columns = std::string(TokenColumns).substr(4); // without "id, "
        Statement insert(m_db, "INSERT INTO token (" + columns + ", issuer_key) VALUES (" +
                                   placeholders(TokenColumnCount) + ")");
        insert.bind(bindToken(insert, token), newIssuerKey());
        insert.step();
        id = sqlite3_last_insert_rowid(m_db);
        bumpSlotEvents();
    });
    return id;
}

void Store::updateToken(const TokenRecord& token) {
    transaction([&] {
        const std::optional<TokenRecord> before = this->token(token.id);
        if (!before)
            throw StoreError("store: token " + token.serial + " no longer exists");
        std::string assignments;
        std::string columns = std::string(TokenColumns).substr(4);
        for (size_t start = 0; start < columns.size();) {
            size_t end = columns.find(", ", start);
            if (end == std::string::npos)
                end = columns.size();
            assignments += (assignments.empty() ? "" : ", ") + columns.substr(start, end - start) + " = ?";
            start = end + 2;
        }
        Statement update(m_db, "UPDATE token SET " + assignments + " WHERE id = ?");
        update.bind(bindToken(update, token), token.id);
        update.step();
        forgetCache();
        if (before->plugged != token.plugged)
            bumpSlotEvents();
    });
}

void Store::deleteToken(int64_t id) {
    forgetCache();
    transaction([&] {
        Statement remove(m_db, "DELETE FROM token WHERE id = ?");
        remove.bind(1, id).step();
        bumpSlotEvents();
    });
}

std::vector<StoredObject> Store::objects(int64_t tokenId) {
    checkCache();
    if (const auto cached = m_objectListCache.find(tokenId); cached != m_objectListCache.end())
        return cached->second;
    Statement query(m_db, "SELECT id, token_id, attributes FROM object WHERE token_id = ? ORDER BY id");
    query.bind(1, tokenId);
    std::vector<StoredObject> found;
    while (query.step())
        found.push_back(readObject(query));
    for (const StoredObject& object : found)
        m_objectCache[object.id] = object;
    return m_objectListCache[tokenId] = found;
}

std::optional<StoredObject> Store::object(int64_t id) {
    checkCache();
    if (const auto cached = m_objectCache.find(id); cached != m_objectCache.end())
        return cached->second;
    Statement query(m_db, "SELECT id, token_id, attributes FROM object WHERE id = ?");
    query.bind(1, id);
    if (!query.step())
        return std::nullopt;
    return m_objectCache[id] = readObject(query);
}

int64_t Store::insertObject(int64_t tokenId, const std::vector<uint8_t>& attributes) {
    forgetCache();
    Statement insert(m_db, "INSERT INTO object (token_id, attributes) VALUES (?, ?)");
    insert.bind(1, tokenId).bind(2, attributes).step();
    return sqlite3_last_insert_rowid(m_db);
}

void Store::updateObject(int64_t id, const std::vector<uint8_t>& attributes) {
    forgetCache();
    Statement update(m_db, "UPDATE object SET attributes = ? WHERE id = ?");
    update.bind(1, attributes).bind(2, id).step();
}

void Store::deleteObject(int64_t id) {
    forgetCache();
    Statement remove(m_db, "DELETE FROM object WHERE id = ?");
    remove.bind(1, id).step();
}

void Store::deleteObjects(int64_t tokenId) {
    forgetCache();
    Statement remove(m_db, "DELETE FROM object WHERE token_id = ?");
    remove.bind(1, tokenId).step();
}

int64_t Store::usedMemory(int64_t tokenId) {
    Statement query(m_db, "SELECT COALESCE(SUM(LENGTH(attributes)), 0) FROM object WHERE token_id = ?");
    query.bind(1, tokenId).step();
    return query.integer(0);
}

void Store::writeSectors(int64_t tokenId, int64_t first, const std::vector<uint8_t>& data) {
    transaction([&] {
        for (size_t offset = 0; offset < data.size(); offset += SectorSize) {
            std::vector<uint8_t> sector(SectorSize, 0);
            std::memcpy(sector.data(), data.data() + offset, std::min<size_t>(SectorSize, data.size() - offset));
            Statement write(m_db, "INSERT OR REPLACE INTO cdrom (token_id, sector, data) VALUES (?, ?, ?)");
            write.bind(1, tokenId).bind(2, first + int64_t(offset / SectorSize)).bind(3, sector).step();
        }
    });
}

std::vector<uint8_t> Store::readSectors(int64_t tokenId, int64_t first, int64_t count) {
    constexpr int64_t MaximumSectorsAtOnce = 4096; // 8 MiB: callers read a partition in chunks
    if (first < 0 || count < 0 || count > MaximumSectorsAtOnce)
        throw StoreError("store: sector range out of bounds");
    std::vector<uint8_t> data(size_t(count) * SectorSize, 0);
    Statement query(m_db, "SELECT sector, data FROM cdrom WHERE token_id = ? AND sector >= ? AND sector < ?");
    query.bind(1, tokenId).bind(2, first).bind(3, first + count);
    while (query.step()) {
        const std::vector<uint8_t> sector = query.blob(1);
        std::memcpy(data.data() + size_t(query.integer(0) - first) * SectorSize, sector.data(),
                    std::min<size_t>(SectorSize, sector.size()));
    }
    return data;
}

void Store::clearCdrom(int64_t tokenId) {
    Statement remove(m_db, "DELETE FROM cdrom WHERE token_id = ?");
    remove.bind(1, tokenId).step();
}

int64_t Store::slotEventCounter() {
    Statement query(m_db, "SELECT value FROM meta WHERE key = 'slot_events'");
    return query.step() ? query.integer(0) : 0;
}

void Store::bumpSlotEvents() {
    execute("UPDATE meta SET value = value + 1 WHERE key = 'slot_events'");
}

void Store::queueSensorEvent(int64_t tokenId, const SensorEvent& event) {
    Statement insert(m_db, "INSERT INTO sensor_event (token_id, kind, finger) VALUES (?, ?, ?)");
    insert.bind(1, tokenId).bind(2, int64_t(event.kind)).bind(3, int64_t(event.finger)).step();
}

std::optional<SensorEvent> Store::takeSensorEvent(int64_t tokenId) {
    std::optional<SensorEvent> taken;
    transaction([&] {
        int64_t id = 0;
        {
            Statement oldest(m_db, "SELECT id, kind, finger FROM sensor_event WHERE token_id = ? ORDER BY id LIMIT 1");
            if (!oldest.bind(1, tokenId).step())
                return;
            id = oldest.integer(0);
            taken = SensorEvent{static_cast<SensorEvent::Kind>(oldest.integer(1)), int(oldest.integer(2))};
        }
        Statement remove(m_db, "DELETE FROM sensor_event WHERE id = ?");
        remove.bind(1, id).step();
    });
    return taken;
}

int64_t Store::sensorEventCount(int64_t tokenId) {
    Statement query(m_db, "SELECT COUNT(*) FROM sensor_event WHERE token_id = ?");
    query.bind(1, tokenId).step();
    return query.integer(0);
}

void Store::clearSensorEvents(int64_t tokenId) {
    Statement remove(m_db, "DELETE FROM sensor_event WHERE token_id = ?");
    remove.bind(1, tokenId).step();
}

std::vector<uint8_t> Store::issuerKey(int64_t tokenId) {
    Statement query(m_db, "SELECT issuer_key FROM token WHERE id = ?");
    if (!query.bind(1, tokenId).step())
        throw StoreError("store: token " + std::to_string(tokenId) + " no longer exists");
    return query.blob(0);
}

std::vector<uint8_t> Store::unblockRequest(int64_t tokenId) {
    Statement query(m_db, "SELECT unblock_request FROM token WHERE id = ?");
    if (!query.bind(1, tokenId).step())
        throw StoreError("store: token " + std::to_string(tokenId) + " no longer exists");
    return query.blob(0);
}

void Store::setUnblockRequest(int64_t tokenId, const std::vector<uint8_t>& request) {
    Statement update(m_db, "UPDATE token SET unblock_request = ? WHERE id = ?");
    update.bind(1, request).bind(2, tokenId).step();
}

} // namespace vtoken
