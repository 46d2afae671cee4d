#include "shared/CertificateDatabase.h"

#include "shared/ZovevOdu.h"

#include <cert.h>
#include <certdb.h>
#include <nss.h>
#include <pk11pub.h>
#include <secerr.h>
#include <secmod.h>

// This header lacks the C linkage block of the others.
extern "C" {
#include <utilpars.h>
}

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zv {
namespace {

// One call at a time: two at once would open the same database twice in one process.
std::mutex databaseMutex;

// The program and the token library it loads each hold a copy of this code, and of the mutex above; a lock on the
// database folder keeps their calls apart as well (flock locks of two descriptors conflict within one process too).
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

// Our database is opened as a slot of its own, so its certificates never mix with a database another NSS user in
// the process opened. The name is the token label NSS reports for it (at most 32 bytes).
constexpr const char* TokenName = "ZovevOdu user certificates";

struct CertificateDeleter {
    void operator()(CERTCertificate* certificate) const { CERT_DestroyCertificate(certificate); }
};
struct CertificateListDeleter {
    void operator()(CERTCertList* list) const { CERT_DestroyCertList(list); }
};
struct PortDeleter {
    void operator()(char* text) const { PORT_Free(text); }
};
using Certificate = std::unique_ptr<CERTCertificate, CertificateDeleter>;
using CertificateList = std::unique_ptr<CERTCertList, CertificateListDeleter>;
using PortString = std::unique_ptr<char, PortDeleter>;

bool hasZeroByte(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

// mkdir -p with every created folder private to the user; existing folders keep their mode.
bool makeDirectory(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectory(path.substr(0, slash)))
        return false;
    if (::mkdir(path.c_str(), 0700) != 0)
        return errno == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    // The umask may have taken bits NSS needs.
    return ::chmod(path.c_str(), 0700) == 0;
}

// An NSS context for the duration of one call: it initializes NSS only if nobody in the process has, and shuts
// it down again only then, so other NSS users keep their state.
class NssContext {
public:
    NssContext() {
        m_context =
            NSS_InitContext("", "", "", "", nullptr,
                            NSS_INIT_NOCERTDB | NSS_INIT_NOMODDB | NSS_INIT_NOROOTINIT | NSS_INIT_OPTIMIZESPACE);
    }
    ~NssContext() { shutdown(); }
    NssContext(const NssContext&) = delete;
    NssContext& operator=(const NssContext&) = delete;

    bool isOpen() const { return m_context != nullptr; }

    // False when NSS refused, which means some reference of ours is still held.
    bool shutdown() {
        if (!m_context)
            return true;
        const bool ok = NSS_ShutdownContext(m_context) == SECSuccess;
        m_context = nullptr;
        return ok;
    }

private:
    NSSInitContext* m_context = nullptr;
};

// The user's database opened as its own slot of the NSS software token. The module database (pkcs11.txt) is never
// read: it may name the token's own PKCS#11 module, which this library drives directly and NSS must not finalize.
class UserDatabase {
public:
    explicit UserDatabase(const std::string& directory) {
        if (directory.empty() || hasZeroByte(directory) || !makeDirectory(directory))
            return;
        // Held until the database is closed again.
        m_lock.emplace(directory);
        PortString configDirectory(NSSUTIL_Escape(("sql:" + directory).c_str(), '\''));
        PortString tokenName(NSSUTIL_Escape(TokenName, '\''));
        if (!configDirectory || !tokenName)
            return;
        const std::string spec =
            std::string("configdir='") + configDirectory.get() + "' tokenDescription='" + tokenName.get() + "'";
        const auto open = openSlots();
        m_slot = SECMOD_OpenUserDB(spec.c_str());
        if (!m_slot)
            return;
        // A process that opened this very database as its main one gets that slot back; it is not ours to close.
        m_owned = std::find(open.begin(), open.end(), m_slot) == open.end();
        if (!PK11_IsPresent(m_slot) || PK11_IsReadOnly(m_slot))
            return;
        // A fresh database gets an empty password, as browsers expect and as certutil --empty-password does.
        if (PK11_NeedUserInit(m_slot) && PK11_InitPin(m_slot, "", "") != SECSuccess)
            return;
        m_usable = true;
    }
    ~UserDatabase() {
        if (!m_slot)
            return;
        if (m_owned)
            SECMOD_CloseUserDB(m_slot);
        PK11_FreeSlot(m_slot);
    }
    UserDatabase(const UserDatabase&) = delete;
    UserDatabase& operator=(const UserDatabase&) = delete;

    bool isUsable() const { return m_usable; }
    PK11SlotInfo* slot() const { return m_slot; }

private:
    // The slots of the software token with a database open now. A closed database leaves its slot behind, and a
    // later database may get that slot again.
    static std::vector<PK11SlotInfo*> openSlots() {
        std::vector<PK11SlotInfo*> slots;
        SECMODListLock* lock = SECMOD_GetDefaultModuleListLock();
        const SECMODModule* module = SECMOD_GetInternalModule();
        if (!lock || !module)
            return slots;
        SECMOD_GetReadLock(lock);
        for (int i = 0; i < module->slotCount; ++i)
            slots.push_back(PK11_ReferenceSlot(module->slots[i]));
        SECMOD_ReleaseReadLock(lock);
        std::vector<PK11SlotInfo*> open;
        for (PK11SlotInfo* slot : slots) {
            if (PK11_IsPresent(slot))
                open.push_back(slot);
            PK11_FreeSlot(slot); // the module keeps it; only the address is compared later
        }
        return open;
    }

    std::optional<FolderLock> m_lock; // first, so that it is released last
    PK11SlotInfo* m_slot = nullptr;
    bool m_owned = false;
    bool m_usable = false;
};

SECItem itemOf(const std::vector<uint8_t>& der) {
    return {siDERCertBuffer, const_cast<unsigned char*>(der.data()), static_cast<unsigned int>(der.size())};
}

// The certificate, ready to import, if the bytes are one DER X.509 certificate. Decoded before the user's database
// is open, so that bad bytes change nothing there.
int32_t decode(const std::vector<uint8_t>& der, Certificate& certificate) {
    if (der.empty() || der.size() > UINT_MAX)
        return ZV_ERR_CERT_INVALID;
    SECItem item = itemOf(der);
    certificate.reset(CERT_NewTempCertificate(CERT_GetDefaultCertDB(), &item, nullptr, PR_FALSE, PR_TRUE));
    if (certificate)
        return ZV_OK;
    // A certificate, but another NSS user in the process knows a different one of that issuer and serial number.
    return PORT_GetError() == SEC_ERROR_REUSED_ISSUER_AND_SERIAL ? ZV_ERR_CERT_STORE : ZV_ERR_CERT_INVALID;
}

struct StoredCertificate {
    CERTCertificate* certificate; // owned by the list it came from
    std::string label;
};

// NSS names a certificate of a slot other than its main one "token:label", and one whose label holds a colon
// always so; the label is what the database and other programs show.
std::string labelOf(PK11SlotInfo* slot, const char* nickname) {
    if (!nickname)
        return {};
    const std::string name(nickname);
    const std::string prefix = std::string(PK11_GetTokenName(slot)) + ":";
    return name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name;
}

// Every certificate of the database with its label; the list keeps the certificates alive.
class StoredCertificates {
public:
    explicit StoredCertificates(PK11SlotInfo* slot) : m_list(PK11_ListCertsInSlot(slot)) {
        if (!m_list)
            return;
        for (CERTCertListNode* node = CERT_LIST_HEAD(m_list.get()); !CERT_LIST_END(node, m_list.get());
             node = CERT_LIST_NEXT(node))
            m_entries.push_back({node->cert, labelOf(slot, static_cast<const char*>(node->appData))});
    }
    bool isRead() const { return m_list != nullptr; }
    const std::vector<StoredCertificate>& entries() const { return m_entries; }

private:
    CertificateList m_list;
    std::vector<StoredCertificate> m_entries;
};

bool sameBytes(const CERTCertificate* certificate, const SECItem& der) {
    return SECITEM_ItemsAreEqual(&certificate->derCert, &der);
}

bool sameIssuerAndSerial(const CERTCertificate* a, const CERTCertificate* b) {
    return SECITEM_ItemsAreEqual(&a->derIssuer, &b->derIssuer) &&
           SECITEM_ItemsAreEqual(&a->serialNumber, &b->serialNumber);
}

bool hasTrust(const CERTCertTrust& trust) {
    return trust.sslFlags || trust.emailFlags || trust.objectSigningFlags;
}

// Trust is written into the database holding the certificate. On a database with a password nobody entered NSS
// would quietly put it into another database instead, so that case is refused beforehand.
bool canWriteTrust(PK11SlotInfo* slot) {
    return !PK11_NeedLogin(slot) || PK11_IsLoggedIn(slot, nullptr);
}

// Sets the trust of the certificate as stored in this database (not of a copy NSS may keep elsewhere).
bool changeTrust(PK11SlotInfo* slot, const SECItem& der, const CERTCertTrust& trust) {
    SECItem item = der;
    Certificate stored(PK11_FindCertFromDERCertItem(slot, &item, nullptr));
    if (!stored || !sameBytes(stored.get(), item))
        return false;
    CERTCertTrust copy = trust;
    return CERT_ChangeCertTrust(CERT_GetDefaultCertDB(), stored.get(), &copy) == SECSuccess;
}

bool import(PK11SlotInfo* slot, CERTCertificate* certificate, const std::string& nickname) {
    return PK11_ImportCert(slot, certificate, CK_INVALID_HANDLE, nickname.c_str(), PR_FALSE) == SECSuccess;
}

// The name an authority certificate is stored under: its common name, else its whole name, with no colon so that
// it can never look like a provider's nickname.
std::string authorityBaseName(const CERTCertificate* certificate) {
    std::string name;
    if (PortString commonName{CERT_GetCommonName(&certificate->subject)})
        name = commonName.get();
    if (name.empty()) {
        if (PortString ascii{CERT_NameToAscii(const_cast<CERTName*>(&certificate->subject))})
            name = ascii.get();
    }
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ':')
            c = '-';
        else if (byte < 0x20 || byte == 0x7f)
            c = ' ';
    }
    if (name.find_first_not_of(' ') == std::string::npos)
        name = "Certificate authority";
    return name;
}

// NSS expects one nickname per subject: a certificate of a subject already stored shares its nickname; another
// subject whose name is taken gets "name #2", "name #3", ...
bool authorityNickname(const CERTCertificate* certificate, const std::vector<StoredCertificate>& stored,
                       std::string& nickname) {
    for (const auto& entry : stored) {
        if (!entry.label.empty() && SECITEM_ItemsAreEqual(&entry.certificate->derSubject, &certificate->derSubject)) {
            nickname = entry.label;
            return true;
        }
    }
    const std::string base = authorityBaseName(certificate);
    for (int number = 1; number < 10000; ++number) {
        const std::string candidate = number == 1 ? base : base + " #" + std::to_string(number);
        if (std::none_of(stored.begin(), stored.end(),
                         [&](const StoredCertificate& entry) { return entry.label == candidate; })) {
            nickname = candidate;
            return true;
        }
    }
    return false;
}

// One registration of an end-entity certificate: the provider whose container holds its key, and for which usage.
struct Registration {
    std::string provider;
    std::string container;
    int usage;
    bool operator==(const Registration&) const = default;
};

// The bytes that separate a nickname's parts, the escape itself and control bytes are written "%XX" in a field.
bool needsEscape(unsigned char byte) {
    return byte == '%' || byte == ':' || byte == ';' || byte < 0x20 || byte == 0x7F;
}

std::string escaped(const std::string& text) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (needsEscape(byte)) {
            result += '%';
            result += Hex[byte >> 4];
            result += Hex[byte & 0xF];
        } else {
            result += c;
        }
    }
    return result;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The field that escaped wrote, or nothing when escaped would not have written this text: only the bytes that need
// it escaped, in upper-case hex, so that a nickname has one reading and reads back to the same bytes.
std::optional<std::string> unescaped(std::string_view text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            if (needsEscape(static_cast<unsigned char>(text[i])))
                return std::nullopt;
            result += text[i];
            continue;
        }
        if (text.size() - i < 3)
            return std::nullopt;
        const int high = hexDigit(text[i + 1]);
        const int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0 || !needsEscape(static_cast<unsigned char>(high * 16 + low)))
            return std::nullopt;
        result += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return result;
}

std::string nicknameOf(const std::vector<Registration>& registrations) {
    std::string nickname;
    for (const Registration& registration : registrations) {
        if (!nickname.empty())
            nickname += ';';
        nickname += escaped(registration.provider) + ':' + escaped(registration.container) + ':' +
                    std::to_string(registration.usage);
    }
    return nickname;
}

// The registrations a nickname lists, or nothing when the nickname is not wholly of that form: a certificate that
// another program or the user named is never read as ours.
std::optional<std::vector<Registration>> registrationsOf(const std::string& nickname) {
    std::vector<Registration> registrations;
    size_t start = 0;
    while (true) {
        const size_t end = std::min(nickname.find(';', start), nickname.size());
        const std::string_view part = std::string_view(nickname).substr(start, end - start);
        const size_t first = part.find(':');
        const size_t second = first == std::string_view::npos ? first : part.find(':', first + 1);
        if (second == std::string_view::npos || part.find(':', second + 1) != std::string_view::npos)
            return std::nullopt;
        const std::string_view usage = part.substr(second + 1);
        if (usage != "1" && usage != "2")
            return std::nullopt;
        auto provider = unescaped(part.substr(0, first));
        auto container = unescaped(part.substr(first + 1, second - first - 1));
        if (!provider || !container)
            return std::nullopt;
        registrations.push_back({std::move(*provider), std::move(*container), usage[0] - '0'});
        if (end == nickname.size())
            return registrations;
        start = end + 1;
    }
}

// A certificate taken out to make room or to take another nickname, with what it takes to put it back.
struct Removed {
    CERTCertificate* certificate; // still alive in the list it came from
    std::string label;
    CERTCertTrust trust;
    bool trusted;
};

bool remove(CERTCertificate* certificate, const std::string& label, std::vector<Removed>& removed) {
    CERTCertTrust trust{};
    const bool trusted = CERT_GetCertTrust(certificate, &trust) == SECSuccess && hasTrust(trust);
    if (SEC_DeletePermCertificate(certificate) != SECSuccess)
        return false;
    removed.push_back({certificate, label, trust, trusted});
    return true;
}

// Puts back what a refused change took out, so that a refusal loses nothing.
void restore(PK11SlotInfo* slot, const std::vector<Removed>& removed) {
    for (const auto& entry : removed) {
        if (import(slot, entry.certificate, entry.label) && entry.trusted)
            changeTrust(slot, entry.certificate->derCert, entry.trust);
    }
}

// Deletes the certificate of these bytes as stored in this database.
void deleteStored(PK11SlotInfo* slot, const SECItem& der) {
    SECItem item = der;
    if (Certificate stored{PK11_FindCertFromDERCertItem(slot, &item, nullptr)}; stored && sameBytes(stored.get(), der))
        SEC_DeletePermCertificate(stored.get());
}

// A stored certificate's next nickname; an empty one takes it out of the database.
struct Relabel {
    CERTCertificate* certificate; // alive in the list it came from
    std::string label;
    std::string newLabel;
};

// Gives stored certificates their next nicknames, then imports added under addedLabel. A certificate changes its
// nickname by leaving the database and coming back with the trust it had; all of it happens or, on a refusal, what
// was taken out is put back.
int32_t relabel(PK11SlotInfo* slot, const std::vector<Relabel>& changes, CERTCertificate* added = nullptr,
                const std::string& addedLabel = {}) {
    for (const Relabel& change : changes) {
        CERTCertTrust trust{};
        if (!change.newLabel.empty() && CERT_GetCertTrust(change.certificate, &trust) == SECSuccess &&
            hasTrust(trust) && !canWriteTrust(slot))
            return ZV_ERR_CERT_STORE;
    }
    std::vector<Removed> removed;
    std::vector<const SECItem*> imported;
    const auto undo = [&] {
        for (const SECItem* der : imported)
            deleteStored(slot, *der);
        restore(slot, removed);
        return ZV_ERR_CERT_STORE;
    };
    for (const Relabel& change : changes) {
        if (!remove(change.certificate, change.label, removed))
            return undo();
    }
    for (size_t i = 0; i < changes.size(); ++i) {
        const Removed& entry = removed[i];
        if (changes[i].newLabel.empty())
            continue;
        if (!import(slot, entry.certificate, changes[i].newLabel))
            return undo();
        imported.push_back(&entry.certificate->derCert);
        if (entry.trusted && !changeTrust(slot, entry.certificate->derCert, entry.trust))
            return undo();
    }
    if (added && !import(slot, added, addedLabel))
        return undo();
    return ZV_OK;
}

int32_t addUser(PK11SlotInfo* slot, CERTCertificate* wanted, const Registration& registration) {
    StoredCertificates stored(slot);
    if (!stored.isRead())
        return ZV_ERR_CERT_STORE;
    // Stored already under a nickname of registrations, the certificate adds this one to them; under any other
    // nickname it moves to this registration's (the database holds a certificate once, under one nickname).
    const StoredCertificate* self = nullptr;
    std::vector<Registration> registrations;
    for (const auto& entry : stored.entries()) {
        if (sameBytes(entry.certificate, wanted->derCert)) {
            self = &entry;
            registrations = registrationsOf(entry.label).value_or(std::vector<Registration>());
        }
    }
    if (std::find(registrations.begin(), registrations.end(), registration) == registrations.end())
        registrations.push_back(registration);
    const std::string nickname = nicknameOf(registrations);

    // A container holds one certificate of a usage: another certificate registered for it loses that registration
    // and leaves with its last one. NSS refuses a nickname that another subject holds, and a second certificate of
    // one issuer and serial number, so whatever would stand in the way leaves before this one comes in.
    std::vector<Relabel> changes;
    for (const auto& entry : stored.entries()) {
        if (&entry == self)
            continue;
        bool stays = true;
        std::string newLabel = entry.label;
        if (auto others = registrationsOf(entry.label)) {
            std::erase(*others, registration);
            stays = !others->empty();
            if (stays)
                newLabel = nicknameOf(*others);
        }
        stays = stays && newLabel != nickname;
        // A different certificate that NSS would take for this one, under a nickname of its own.
        if (stays && sameIssuerAndSerial(entry.certificate, wanted))
            return ZV_ERR_CERT_STORE;
        if (!stays || newLabel != entry.label)
            changes.push_back({entry.certificate, entry.label, stays ? newLabel : std::string()});
    }
    if (!self)
        return relabel(slot, changes, wanted, nickname);
    if (self->label != nickname)
        changes.push_back({self->certificate, self->label, nickname});
    return changes.empty() ? ZV_OK : relabel(slot, changes);
}

int32_t addAuthority(PK11SlotInfo* slot, CERTCertificate* wanted, bool root) {
    CERTCertTrust trust{};
    if (CERT_DecodeTrustString(&trust, "CT,C,C") != SECSuccess)
        return ZV_ERR_CERT_STORE;
    if (root && !canWriteTrust(slot))
        return ZV_ERR_CERT_STORE;

    std::string nickname;
    {
        StoredCertificates stored(slot);
        if (!stored.isRead())
            return ZV_ERR_CERT_STORE;
        for (const auto& entry : stored.entries()) {
            if (sameBytes(entry.certificate, wanted->derCert)) {
                // Stored already: a root becomes trusted; an intermediate never takes away trust the user gave.
                return !root || changeTrust(slot, wanted->derCert, trust) ? ZV_OK : ZV_ERR_CERT_STORE;
            }
            if (sameIssuerAndSerial(entry.certificate, wanted))
                return ZV_ERR_CERT_STORE;
        }
        if (!authorityNickname(wanted, stored.entries(), nickname))
            return ZV_ERR_CERT_STORE;
    }
    if (!import(slot, wanted, nickname))
        return ZV_ERR_CERT_STORE;
    if (root && !changeTrust(slot, wanted->derCert, trust)) {
        // An untrusted copy of a root the user wanted trusted is not what was asked for.
        SECItem item = wanted->derCert;
        if (Certificate stored{PK11_FindCertFromDERCertItem(slot, &item, nullptr)})
            SEC_DeletePermCertificate(stored.get());
        return ZV_ERR_CERT_STORE;
    }
    return ZV_OK;
}

// Takes the provider's registrations off every certificate: one left without any leaves the database, one with
// others keeps them under their nickname. Only nicknames wholly of registrations are read, so the certificates of
// other programs stay whatever the provider's name.
int32_t removeUsers(PK11SlotInfo* slot, const std::string& provider, int* count) {
    StoredCertificates stored(slot);
    if (!stored.isRead())
        return ZV_ERR_CERT_STORE;
    int32_t result = ZV_OK;
    for (const auto& entry : stored.entries()) {
        auto registrations = registrationsOf(entry.label);
        if (!registrations)
            continue;
        // Exactly the provider's name: "Quorvex" is not "Quorvex CSP", nor "quorvex", nor "Quorvex:CSP".
        const size_t dropped = std::erase_if(
            *registrations, [&](const Registration& registration) { return registration.provider == provider; });
        if (dropped == 0)
            continue;
        const std::string next = registrations->empty() ? std::string() : nicknameOf(*registrations);
        if (relabel(slot, {{entry.certificate, entry.label, next}}) == ZV_OK)
            *count += static_cast<int>(dropped);
        else
            result = ZV_ERR_CERT_STORE;
    }
    return result;
}

// Runs work on the open database inside an NSS context of its own; with der, on that certificate, decoded first.
template <typename Work>
int32_t withDatabase(const std::string& directory, const std::vector<uint8_t>* der, Work work) {
    std::lock_guard lock(databaseMutex);
    NssContext context;
    if (!context.isOpen())
        return ZV_ERR_CERT_STORE;
    int32_t result = ZV_OK;
    {
        // Declared in this order so that the certificate is released before the database closes.
        std::optional<UserDatabase> database;
        Certificate certificate;
        if (der)
            result = decode(*der, certificate);
        if (result == ZV_OK) {
            database.emplace(directory);
            result = database->isUsable() ? work(database->slot(), certificate.get()) : ZV_ERR_CERT_STORE;
        }
    }
    // A refused shutdown means a reference of ours is still held: a fault to surface, not to hide.
    if (!context.shutdown() && result == ZV_OK)
        return ZV_ERR_CERT_STORE;
    return result;
}

} // namespace

std::string CertificateDatabase::defaultDirectory() {
    // A relative HOME would put the database wherever the process happens to run.
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/')
        return {};
    std::string directory(home);
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    if (directory == "/")
        directory.clear();
    return directory + "/.pki/nssdb";
}

int32_t CertificateDatabase::create(const std::string& directory) {
    return withDatabase(directory, nullptr, [](PK11SlotInfo*, CERTCertificate*) { return ZV_OK; });
}

int32_t CertificateDatabase::addUserCertificate(const std::vector<uint8_t>& der, const std::string& provider,
                                                const std::string& container, int usage, const std::string& directory) {
    // NSS takes C strings: a zero byte would cut the nickname short.
    if (hasZeroByte(provider) || hasZeroByte(container) || (usage != 1 && usage != 2))
        return ZV_ERR_ARGUMENTS;
    const Registration registration{provider, container, usage};
    return withDatabase(directory, &der, [&](PK11SlotInfo* slot, CERTCertificate* certificate) {
        return addUser(slot, certificate, registration);
    });
}

int32_t CertificateDatabase::addAuthorityCertificate(const std::vector<uint8_t>& der, bool root,
                                                     const std::string& directory) {
    return withDatabase(directory, &der, [&](PK11SlotInfo* slot, CERTCertificate* certificate) {
        return addAuthority(slot, certificate, root);
    });
}

int32_t CertificateDatabase::removeUserCertificates(const std::string& provider, int* count,
                                                    const std::string& directory) {
    int removed = 0;
    int32_t result = ZV_ERR_ARGUMENTS;
    if (!hasZeroByte(provider))
        result = withDatabase(directory, nullptr, [&](PK11SlotInfo* slot, CERTCertificate*) {
            return removeUsers(slot, provider, &removed);
        });
    if (count)
        *count = removed;
    return result;
}

} // namespace zv
