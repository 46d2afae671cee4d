#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zv {

struct EvpKeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using PrivateKey = std::shared_ptr<EVP_PKEY>;

// One certificate of a parsed file, with the private key that belongs to it when the file carried one.
struct FileCertificate {
    std::vector<uint8_t> der;
    PrivateKey key; // null when the file holds no key for this certificate
};

// The certificates of a PKCS#12, PKCS#7 or X.509 file, in the file's order. Each parse returns 0 or a ZV_ERR_* code
// and leaves `certificates` empty on failure.
struct CertificateFile {
    std::vector<FileCertificate> certificates;

    // PKCS#12 (.pfx, .p12): every certificate, the end-entity certificate first when there is a key. Uses OpenSSL's
    // legacy and default providers together, so RC2 and 3DES files from older systems open. A wrong password is
    // ZV_ERR_WRONG_PASSWORD; a file that cannot be read ZV_ERR_FILE_UNREADABLE; anything else that is not a
    // PKCS#12 file ZV_ERR_FILE_FORMAT; a file without any certificate ZV_ERR_FILE_FORMAT.
    static int32_t parsePkcs12(const std::string& path, const std::string& password, CertificateFile& file);
    // PKCS#7 certificate bundle (.p7b), DER or PEM. ZV_ERR_FILE_FORMAT also when it holds no certificate.
    static int32_t parsePkcs7(const std::string& path, CertificateFile& file);
    // One X.509 certificate, DER or PEM (.cer, .crt).
    static int32_t parseX509(const std::string& path, CertificateFile& file);
};

// Files larger than this are not certificate files.
inline constexpr long MaximumFileBytes = 1024 * 1024;
// The largest certificate a token container takes.
inline constexpr size_t MaximumCertificateBytes = 16384;

struct CertificateDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0; // UTC
};

// What a person reads about a certificate.
struct CertificateSummary {
    std::string subject; // UTF-8: the common name when there is one, else the one-line distinguished name
    std::string issuer;  // the same for the issuer
    int version = 0;     // 1, 2 or 3
    std::string serial;  // upper-case hexadecimal, no separators
    CertificateDate validFrom;
    CertificateDate validTo;
    int kind = 0; // 0 end entity, 1 root CA, 2 intermediate CA
};

// ZV_ERR_CERT_INVALID when the bytes are not a DER X.509 certificate.
int32_t summarizeCertificate(const uint8_t* der, size_t length, CertificateSummary& summary);

} // namespace zv
