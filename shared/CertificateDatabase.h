#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv {

// The user's certificate database that Linux browsers read: NSS, sql:$HOME/.pki/nssdb, created empty (with an empty
// password) when missing. Opened with its own NSS context and as a slot of its own for each call, so other NSS users
// in the process are not disturbed; the module list (pkcs11.txt) is never loaded.
// Every function returns 0 or a ZV_ERR_* code: ZV_ERR_CERT_INVALID (not one DER certificate), ZV_ERR_CERT_STORE
// (no usable database, or NSS refused), ZV_ERR_ARGUMENTS (a name holding a zero byte, a usage other than 1 or 2).
class CertificateDatabase {
public:
    // The database directory: $HOME/.pki/nssdb; empty, so that every call fails, when HOME is unset or relative.
    static std::string defaultDirectory();

    // Opens the database, creating it as the other calls do when missing, and changes nothing in it.
    static int32_t create(const std::string& directory = defaultDirectory());

    // An end-entity certificate whose key lives in a token container, registered for a provider (CSP), the
    // container and the usage (1 key exchange, 2 signature; anything else is ZV_ERR_ARGUMENTS).
    //
    // NSS stores a certificate once, under one nickname, so the nickname lists every registration of the
    // certificate, in the order they were made, joined by ';':
    //     registration = provider ":" container ":" usage
    // In provider and container the bytes '%', ':', ';' and control bytes (below 0x20, and 0x7F) are written "%XX",
    // two upper-case hex digits; every other byte stands as it is. So "Quorvex CSP:container name:1" is one
    // registration, "A%3AB:box:1;Quorvex CSP:box:2" two, of the providers "A:B" and "Quorvex CSP". A nickname
    // that is not wholly of this form (a byte escaped that need not be, lower-case hex, another usage, an empty
    // part between ';') is not one of ours.
    //
    // Registered again, nothing changes. A certificate stored under a nickname of this form adds the registration
    // to its list; one stored under any other nickname moves to this registration's and keeps any trust it had. A
    // container holds one certificate of a usage: another certificate holding the same registration loses it, and
    // leaves the database when it was its last. No trust is set.
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

    // Takes the registrations of provider (its bytes exactly, case included) off every certificate whose nickname
    // is of the form above; a certificate left without registrations is deleted, one with others stays under the
    // nickname of those, keeping its trust. Certificates under any other nickname are never touched, whatever the
    // provider (an empty one included). The number of registrations taken off goes to count (may be null).
    static int32_t removeUserCertificates(const std::string& provider, int* count,
                                          const std::string& directory = defaultDirectory());
};

} // namespace zv
