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
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace zv {
namespace {

// One call at a time: two at once would open the same database twice in one process.
std::mutex databaseMutex;

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

// A certificate taken out to make room, with what it takes to put it back.
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

// Puts back what a refused replacement took out, so that a refusal loses nothing.
void restore(PK11SlotInfo* slot, const std::vector<Removed>& removed) {
    for (const auto& entry : removed) {
        if (import(slot, entry.certificate, entry.label) && entry.trusted)
            changeTrust(slot, entry.certificate->derCert, entry.trust);
    }
}

int32_t addUser(PK11SlotInfo* slot, CERTCertificate* wanted, const std::string& nickname) {
    StoredCertificates stored(slot);
    if (!stored.isRead())
        return ZV_ERR_CERT_STORE;
    // NSS refuses a nickname that another subject holds, and a second certificate of one issuer and serial number,
    // so whatever stands in the way leaves before the new one comes in.
    bool present = false;
    std::vector<const StoredCertificate*> inTheWay;
    const StoredCertificate* moved = nullptr;
    for (const auto& entry : stored.entries()) {
        if (sameBytes(entry.certificate, wanted->derCert)) {
            if (entry.label == nickname) {
                present = true;
            } else {
                // The database holds a certificate once, under one nickname: stored under another, it moves to
                // this one and keeps whatever trust the user gave it.
                moved = &entry;
                inTheWay.push_back(&entry);
            }
        } else if (entry.label == nickname) {
            inTheWay.push_back(&entry);
        } else if (sameIssuerAndSerial(entry.certificate, wanted)) {
            // A different certificate that NSS would take for this one, under a nickname of its own.
            return ZV_ERR_CERT_STORE;
        }
    }
    if (inTheWay.empty() && present)
        return ZV_OK;

    CERTCertTrust trust{};
    const bool keepTrust = moved && CERT_GetCertTrust(moved->certificate, &trust) == SECSuccess && hasTrust(trust);
    if (keepTrust && !canWriteTrust(slot))
        return ZV_ERR_CERT_STORE;
    std::vector<Removed> removed;
    for (const StoredCertificate* entry : inTheWay) {
        if (!remove(entry->certificate, entry->label, removed)) {
            restore(slot, removed);
            return ZV_ERR_CERT_STORE;
        }
    }
    if (!present && !import(slot, wanted, nickname)) {
        restore(slot, removed);
        return ZV_ERR_CERT_STORE;
    }
    if (keepTrust && !changeTrust(slot, wanted->derCert, trust))
        return ZV_ERR_CERT_STORE;
    return ZV_OK;
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

int32_t removeUsers(PK11SlotInfo* slot, const std::string& provider, int* count) {
    StoredCertificates stored(slot);
    if (!stored.isRead())
        return ZV_ERR_CERT_STORE;
    // The colon keeps "Quorvex" from matching the certificates of "Quorvex CSP".
    const std::string prefix = provider + ":";
    int32_t result = ZV_OK;
    for (const auto& entry : stored.entries()) {
        if (entry.label.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (SEC_DeletePermCertificate(entry.certificate) == SECSuccess)
            ++*count;
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
    if (hasZeroByte(provider) || hasZeroByte(container))
        return ZV_ERR_ARGUMENTS;
    // A container that another tool named with a control character still gives a nickname of one line.
    std::string shownContainer = container;
    std::replace_if(
        shownContainer.begin(), shownContainer.end(), [](char byte) { return uint8_t(byte) < 0x20 || byte == 0x7F; },
        '_');
    const std::string nickname = provider + ":" + shownContainer + ":" + std::to_string(usage);
    return withDatabase(directory, &der, [&](PK11SlotInfo* slot, CERTCertificate* certificate) {
        return addUser(slot, certificate, nickname);
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
