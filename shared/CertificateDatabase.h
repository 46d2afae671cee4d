#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv {

// The user's certificate database that Linux browsers read: NSS, sql:$HOME/.pki/nssdb, created empty (with an empty
// password) when missing. Opened with its own NSS context and as a slot of its own for each call, so other NSS users
// in the process are not disturbed; the module list (pkcs11.txt) is never loaded.
// Every function returns 0 or a ZV_ERR_* code: ZV_ERR_CERT_INVALID (not one DER certificate), ZV_ERR_CERT_STORE
// (no usable database, or NSS refused), ZV_ERR_ARGUMENTS (a name holding a zero byte).
class CertificateDatabase {
public:
    // The database directory: $HOME/.pki/nssdb; empty, so that every call fails, when HOME is unset or relative.
    static std::string defaultDirectory();

    // Opens the database, creating it as the other calls do when missing, and changes nothing in it.
    static int32_t create(const std::string& directory = defaultDirectory());

    // An end-entity certificate whose key lives in a token container. The nickname carries the provider (CSP)
    // name, the container and the usage, e.g. "Quorvex CSP:container name:1", so that
    // removeUserCertificates(provider) finds exactly the certificates of that provider. Added again, it replaces
    // the earlier entry of the same nickname. NSS stores a certificate once, under one nickname: the same
    // certificate stored under another nickname moves to this one and keeps any trust it had. No trust is set.
    // NSS shows and looks up a nickname holding a colon with the token name in front ("NSS Certificate DB:...").
    static int32_t addUserCertificate(const std::vector<uint8_t>& der, const std::string& provider,
                                      const std::string& container, int usage,
                                      const std::string& directory = defaultDirectory());

    // A CA certificate: a root is trusted to issue certificates ("CT,C,C"), an intermediate is stored without
    // trust. Its nickname is the subject's common name (else the whole name), colons replaced by '-'; a
    // certificate of a subject already stored shares that subject's nickname, another subject of a taken name gets
    // "name #2", "name #3", ... A certificate stored already is not added again: as a root it becomes trusted, as an
    // intermediate it keeps the trust it has. A database protected by a password refuses trust (ZV_ERR_CERT_STORE,
    // nothing stored), since nobody can enter the password here.
    static int32_t addAuthorityCertificate(const std::vector<uint8_t>& der, bool root,
                                           const std::string& directory = defaultDirectory());

    // Removes every certificate whose nickname begins with provider + ":" (so "Quorvex" never touches
    // "Quorvex CSP"); returns the number removed through count (may be null).
    static int32_t removeUserCertificates(const std::string& provider, int* count,
                                          const std::string& directory = defaultDirectory());
};

} // namespace zv
