#include "tokenlib/CertificateFiles.h"

#include "shared/OpenSslHandles.h"

#include "shared/ZovevOdu.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zv {
namespace {

using openssl::Deleter;
void freeOpenSslText(char* text) {
    OPENSSL_free(text);
}
void freeOpenSslBytes(unsigned char* bytes) {
    OPENSSL_free(bytes);
}
void freeSafes(STACK_OF(PKCS7) * safes) {
    sk_PKCS7_pop_free(safes, PKCS7_free);
}
void freeBags(STACK_OF(PKCS12_SAFEBAG) * bags) {
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
}
using openssl::Certificate;
using Pkcs12 = std::unique_ptr<PKCS12, Deleter<PKCS12, PKCS12_free>>;
using Pkcs7 = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;
using Pkcs8 = std::unique_ptr<PKCS8_PRIV_KEY_INFO, Deleter<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>>;
using Safes = std::unique_ptr<STACK_OF(PKCS7), Deleter<STACK_OF(PKCS7), freeSafes>>;
using Bags = std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), Deleter<STACK_OF(PKCS12_SAFEBAG), freeBags>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Text = std::unique_ptr<char, Deleter<char, freeOpenSslText>>;
using Bytes = std::unique_ptr<unsigned char, Deleter<unsigned char, freeOpenSslBytes>>;
using PbeParameters = std::unique_ptr<PBEPARAM, Deleter<PBEPARAM, PBEPARAM_free>>;
using Pbe2Parameters = std::unique_ptr<PBE2PARAM, Deleter<PBE2PARAM, PBE2PARAM_free>>;
using Pbkdf2Parameters = std::unique_ptr<PBKDF2PARAM, Deleter<PBKDF2PARAM, PBKDF2PARAM_free>>;

// Key derivation rounds a whole PKCS#12 file may ask for (MAC and every encrypted part together). Real exports use
// a few thousand to a few hundred thousand; a hostile file could ask for billions and stall the caller for hours.
constexpr long MaximumIterations = 10'000'000;
// safeContents bags nest; real files use one level.
constexpr int MaximumBagDepth = 8;

// The library's own OpenSSL context, made once for the process and kept until it ends. It holds the default and
// the legacy provider, so the RC2-encrypted files of older systems open. The host's default context stays as the host
// set it up: legacy algorithms never become available to the rest of the process, and a host that loaded some provider
// of its own into the default context (which turns off the implicit default provider there) does not break the files
// here.
OSSL_LIB_CTX* libraryContext() {
    // Without the legacy module (not installed) only the RC2-encrypted files fail, as a format error.
    static OSSL_LIB_CTX* const context = openssl::newPrivateContext({"legacy"});
    return context; // null only when OpenSSL could not make a context: the default one is then the best left
}

int32_t readFile(const std::string& path, std::vector<uint8_t>& content) {
    content.clear();
    if (path.find('\0') != std::string::npos)
        return ZV_ERR_FILE_UNREADABLE;
    // Non-blocking, so a FIFO given as the path cannot hang the open; it is refused below as not a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return ZV_ERR_FILE_UNREADABLE;
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > MaximumFileBytes) {
        ::close(fd);
        return ZV_ERR_FILE_UNREADABLE;
    }
    // Read one byte past the limit: the file may have grown since fstat.
    content.resize(size_t(MaximumFileBytes) + 1);
    size_t used = 0;
    while (used < content.size()) {
        const ssize_t got = ::read(fd, content.data() + used, content.size() - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            content.clear();
            return ZV_ERR_FILE_UNREADABLE;
        }
        if (got == 0)
            break;
        used += size_t(got);
    }
    ::close(fd);
    if (used > size_t(MaximumFileBytes)) {
        content.clear();
        return ZV_ERR_FILE_UNREADABLE;
    }
    content.resize(used);
    content.shrink_to_fit();
    return ZV_OK;
}

// Decodes one DER certificate in the library context; `consumed` receives the bytes it took.
Certificate decodeCertificate(const uint8_t* der, size_t length, size_t& consumed) {
    consumed = 0;
    if (!der || length == 0 || length > size_t(LONG_MAX))
        return {};
    X509* certificate = X509_new_ex(libraryContext(), nullptr);
    if (!certificate)
        return {};
    const unsigned char* cursor = der;
    // On failure d2i frees the object it was given and clears the pointer.
    if (!d2i_X509(&certificate, &cursor, long(length))) {
        X509_free(certificate);
        return {};
    }
    consumed = size_t(cursor - der);
    return Certificate(certificate);
}

std::vector<uint8_t> encode(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    if (length <= 0)
        return {};
    std::vector<uint8_t> result(der, der + length);
    OPENSSL_free(der);
    return result;
}

bool startsWithSequence(const std::vector<uint8_t>& data) {
    return !data.empty() && data[0] == 0x30;
}

bool containsPemHeader(const std::vector<uint8_t>& data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    return text.find("-----BEGIN") != std::string_view::npos;
}

// Declining every password: without a callback OpenSSL would prompt on the terminal for an encrypted PEM block.
int refusePassword(char*, int, int, void*) {
    return -1;
}

// The DER inside the first PEM block whose label `label` stands for (OpenSSL also takes the older synonyms).
bool pemToDer(const std::vector<uint8_t>& pem, const char* label, std::vector<uint8_t>& der) {
    Bio bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
    if (!bio)
        return false;
    unsigned char* data = nullptr;
    char* name = nullptr;
    long length = 0;
    if (!PEM_bytes_read_bio(&data, &length, &name, label, bio.get(), refusePassword, nullptr))
        return false;
    Bytes owned(data);
    Text ownedName(name);
    if (length <= 0)
        return false;
    der.assign(data, data + length);
    return true;
}

// --- PKCS#12 ---------------------------------------------------------------------------------------------------

long integerValue(const ASN1_INTEGER* value, long absent) {
    if (!value)
        return absent;
    return ASN1_INTEGER_get(value); // -1 when it does not fit, which the callers refuse
}

// The rounds a password-based algorithm asks for: 0 when it names none that the iteration limit applies to
// (scrypt, whose cost OpenSSL bounds by memory), -1 when its parameters cannot be read.
long iterationsOf(const X509_ALGOR* algorithm) {
    if (!algorithm)
        return -1;
    const ASN1_OBJECT* oid = nullptr;
    int parameterType = 0;
    const void* parameter = nullptr;
    X509_ALGOR_get0(&oid, &parameterType, &parameter, algorithm);
    if (parameterType != V_ASN1_SEQUENCE || !parameter)
        return -1;
    const auto* sequence = static_cast<const ASN1_STRING*>(parameter);
    if (OBJ_obj2nid(oid) != NID_pbes2) {
        PbeParameters pbe(static_cast<PBEPARAM*>(ASN1_item_unpack(sequence, ASN1_ITEM_rptr(PBEPARAM))));
        return pbe ? integerValue(pbe->iter, -1) : -1;
    }
    Pbe2Parameters pbe2(static_cast<PBE2PARAM*>(ASN1_item_unpack(sequence, ASN1_ITEM_rptr(PBE2PARAM))));
    if (!pbe2 || !pbe2->keyfunc)
        return -1;
    if (OBJ_obj2nid(pbe2->keyfunc->algorithm) != NID_id_pbkdf2)
        return 0;
    const ASN1_TYPE* kdfParameter = pbe2->keyfunc->parameter;
    if (!kdfParameter || kdfParameter->type != V_ASN1_SEQUENCE)
        return -1;
    Pbkdf2Parameters pbkdf2(
        static_cast<PBKDF2PARAM*>(ASN1_item_unpack(kdfParameter->value.sequence, ASN1_ITEM_rptr(PBKDF2PARAM))));
    return pbkdf2 ? integerValue(pbkdf2->iter, -1) : -1;
}

struct Pkcs12Reader {
    OSSL_LIB_CTX* context = nullptr;
    const char* password = nullptr; // the caller's string, "" or null: never copied
    int passwordLength = 0;
    bool macVerified = false;
    long iterationBudget = MaximumIterations;
    std::vector<Certificate> certificates;
    std::vector<std::vector<uint8_t>> ders;
    std::vector<PrivateKey> keys;

    bool spend(long iterations) {
        if (iterations < 0 || iterations > iterationBudget)
            return false;
        iterationBudget -= iterations;
        return true;
    }

    // A MAC that verified proves the password, so a part that then fails to decrypt is damaged or uses an
    // algorithm we lack. Without a MAC a failed decryption is the only sign of a wrong password.
    int32_t decryptionFailure() const { return macVerified ? ZV_ERR_FILE_FORMAT : ZV_ERR_WRONG_PASSWORD; }

    int32_t verifyMac(PKCS12* file, bool emptyPassword) {
        const ASN1_OBJECT* oid = nullptr;
        const X509_ALGOR* algorithm = nullptr;
        const ASN1_INTEGER* iterations = nullptr;
        PKCS12_get0_mac(nullptr, &algorithm, nullptr, &iterations, file);
        if (!algorithm)
            return ZV_ERR_FILE_FORMAT;
        X509_ALGOR_get0(&oid, nullptr, nullptr, algorithm);
        // A digest we cannot fetch would fail the check like a wrong password; it is a file we cannot read.
        char digestName[80];
        if (OBJ_obj2txt(digestName, sizeof digestName, oid, 0) <= 0)
            return ZV_ERR_FILE_FORMAT;
        EVP_MD* digest = EVP_MD_fetch(context, digestName, nullptr);
        if (!digest)
            return ZV_ERR_FILE_FORMAT;
        EVP_MD_free(digest);
        const long rounds = integerValue(iterations, 1);
        // An empty password may be tried twice, so it is charged twice.
        if (!spend(rounds) || (emptyPassword && !spend(rounds)))
            return ZV_ERR_FILE_FORMAT;

        if (emptyPassword) {
            // No password and an empty one derive different keys; exporters use either.
            if (PKCS12_verify_mac(file, nullptr, 0) == 1) {
                password = nullptr;
            } else if (PKCS12_verify_mac(file, "", 0) == 1) {
                password = "";
            } else {
                return ZV_ERR_WRONG_PASSWORD;
            }
            passwordLength = 0;
        } else if (PKCS12_verify_mac(file, password, passwordLength) != 1) {
            return ZV_ERR_WRONG_PASSWORD;
        }
        macVerified = true;
        return ZV_OK;
    }

    int32_t readKey(const PKCS8_PRIV_KEY_INFO* info) {
        EVP_PKEY* key = info ? EVP_PKCS82PKEY_ex(info, context, nullptr) : nullptr;
        if (!key)
            return ZV_ERR_FILE_FORMAT;
        keys.emplace_back(key, EvpKeyDeleter());
        return ZV_OK;
    }

    int32_t readBag(const PKCS12_SAFEBAG* bag, int depth) {
        switch (PKCS12_SAFEBAG_get_nid(bag)) {
        case NID_keyBag:
            return readKey(PKCS12_SAFEBAG_get0_p8inf(bag));
        case NID_pkcs8ShroudedKeyBag: {
            const X509_ALGOR* algorithm = nullptr;
            const X509_SIG* shrouded = PKCS12_SAFEBAG_get0_pkcs8(bag);
            if (!shrouded)
                return ZV_ERR_FILE_FORMAT;
            X509_SIG_get0(shrouded, &algorithm, nullptr);
            if (!spend(iterationsOf(algorithm)))
                return ZV_ERR_FILE_FORMAT;
            // The decrypted key is wiped when freed (OpenSSL clears PKCS#8 key octets on free).
            Pkcs8 info(PKCS12_decrypt_skey_ex(bag, password, passwordLength, context, nullptr));
            if (!info)
                return decryptionFailure();
            return readKey(info.get());
        }
        case NID_certBag: {
            if (PKCS12_SAFEBAG_get_bag_nid(bag) != NID_x509Certificate)
                return ZV_OK; // SDSI certificates: nothing a token takes
            Certificate parsed(PKCS12_SAFEBAG_get1_cert(bag));
            if (!parsed)
                return ZV_ERR_FILE_FORMAT;
            std::vector<uint8_t> der = encode(parsed.get());
            size_t consumed = 0;
            // Again in the library context, so the key comparison and later checks fetch from there.
            Certificate certificate = decodeCertificate(der.data(), der.size(), consumed);
            if (!certificate)
                return ZV_ERR_FILE_FORMAT;
            der.resize(consumed);
            certificates.push_back(std::move(certificate));
            ders.push_back(std::move(der));
            return ZV_OK;
        }
        case NID_safeContentsBag:
            return readBags(PKCS12_SAFEBAG_get0_safes(bag), depth + 1);
        default:
            return ZV_OK; // CRLs, secrets: not ours
        }
    }

    int32_t readBags(const STACK_OF(PKCS12_SAFEBAG) * bags, int depth) {
        if (!bags || depth > MaximumBagDepth)
            return ZV_ERR_FILE_FORMAT;
        for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i)
            if (const int32_t rc = readBag(sk_PKCS12_SAFEBAG_value(bags, i), depth))
                return rc;
        return ZV_OK;
    }

    int32_t readSafe(PKCS7* safe) {
        Bags bags;
        switch (OBJ_obj2nid(safe->type)) {
        case NID_pkcs7_data:
            bags.reset(PKCS12_unpack_p7data(safe));
            if (!bags)
                return ZV_ERR_FILE_FORMAT;
            break;
        case NID_pkcs7_encrypted: {
            const PKCS7_ENCRYPT* encrypted = safe->d.encrypted;
            const PKCS7_ENC_CONTENT* content = encrypted ? encrypted->enc_data : nullptr;
            if (!content || !content->algorithm || !content->enc_data)
                return ZV_ERR_FILE_FORMAT;
            if (!spend(iterationsOf(content->algorithm)))
                return ZV_ERR_FILE_FORMAT;
            bags.reset(static_cast<STACK_OF(PKCS12_SAFEBAG)*>(
                PKCS12_item_decrypt_d2i_ex(content->algorithm, ASN1_ITEM_rptr(PKCS12_SAFEBAGS), password,
                                           passwordLength, content->enc_data, 1, context, nullptr)));
            if (!bags)
                return decryptionFailure();
            break;
        }
        default:
            return ZV_OK; // public-key-protected parts: not readable with a password
        }
        return readBags(bags.get(), 0);
    }

    int32_t read(PKCS12* file) {
        Safes safes(PKCS12_unpack_authsafes(file));
        if (!safes)
            return ZV_ERR_FILE_FORMAT;
        for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i)
            if (const int32_t rc = readSafe(sk_PKCS7_value(safes.get(), i)))
                return rc;
        return ZV_OK;
    }

    // The certificates that have their key come first, each with it; then the others, all in file order. A key
    // without a certificate is dropped: there is nothing to import it with.
    std::vector<FileCertificate> result() {
        std::vector<PrivateKey> matched(certificates.size());
        std::vector<bool> keyTaken(keys.size(), false);
        for (size_t c = 0; c < certificates.size(); ++c) {
            for (size_t k = 0; k < keys.size(); ++k) {
                if (!keyTaken[k] && X509_check_private_key(certificates[c].get(), keys[k].get()) == 1) {
                    matched[c] = keys[k];
                    keyTaken[k] = true;
                    break;
                }
            }
        }
        std::vector<FileCertificate> ordered;
        ordered.reserve(certificates.size());
        for (size_t c = 0; c < certificates.size(); ++c)
            if (matched[c])
                ordered.push_back({std::move(ders[c]), matched[c]});
        for (size_t c = 0; c < certificates.size(); ++c)
            if (!matched[c])
                ordered.push_back({std::move(ders[c]), nullptr});
        return ordered;
    }
};

// --- Summary -----------------------------------------------------------------------------------------------------

// Control characters in a name would break the line it is shown on or end the caller's C string early.
std::string printable(const unsigned char* text, int length) {
    static constexpr char replacement[] = "\xEF\xBF\xBD"; // U+FFFD
    std::string result;
    result.reserve(size_t(length));
    for (int i = 0; i < length; ++i) {
        const unsigned char c = text[i];
        if (c < 0x20 || c == 0x7F)
            result += replacement;
        else
            result += char(c);
    }
    return result;
}

std::string commonName(const X509_NAME* name) {
    std::string found;
    // Several CNs run from the broadest to the narrowest; the last one that says anything names the subject.
    for (int index = X509_NAME_get_index_by_NID(name, NID_commonName, -1); index >= 0;
         index = X509_NAME_get_index_by_NID(name, NID_commonName, index)) {
        const ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
        unsigned char* utf8 = nullptr;
        const int length = value ? ASN1_STRING_to_UTF8(&utf8, value) : -1;
        if (length > 0)
            found = printable(utf8, length);
        OPENSSL_free(utf8);
    }
    return found;
}

std::string oneLineName(const X509_NAME* name) {
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio)
        return {};
    // Non-ASCII characters stay UTF-8 instead of turning into \XX escapes; control characters are still escaped.
    const unsigned long flags = (XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) | ASN1_STRFLGS_UTF8_CONVERT;
    if (X509_NAME_print_ex(bio.get(), name, 0, flags) < 0)
        return {};
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return length > 0 ? std::string(data, size_t(length)) : std::string();
}

std::string displayName(const X509_NAME* name) {
    if (!name)
        return {};
    std::string text = commonName(name);
    return text.empty() ? oneLineName(name) : text;
}

std::string serialText(const ASN1_INTEGER* serial) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const unsigned char* data = ASN1_STRING_get0_data(serial);
    int length = ASN1_STRING_length(serial);
    while (length > 0 && *data == 0) {
        ++data;
        --length;
    }
    if (length <= 0)
        return "00";
    std::string text;
    if (ASN1_STRING_type(serial) == V_ASN1_NEG_INTEGER)
        text += '-';
    for (int i = 0; i < length; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text;
}

bool dateOf(const ASN1_TIME* time, CertificateDate& date) {
    struct tm parts = {};
    // Converts UTCTime and GeneralizedTime, with any offset, to UTC.
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return false;
    date = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
    return true;
}

// A context without a single algorithm: a certificate decoded there keeps its public key undecoded. Decoding the
// key is nine tenths of a certificate's decoding, and a summary needs it only for a CA certificate's self-signature.
OSSL_LIB_CTX* keylessContext() {
    static OSSL_LIB_CTX* const context = [] {
        OSSL_LIB_CTX* made = OSSL_LIB_CTX_new();
        // Loading the null provider ends the implicit fallback to "default".
        if (made && !OSSL_PROVIDER_load(made, "null")) {
            OSSL_LIB_CTX_free(made);
            made = nullptr;
        }
        return made;
    }();
    return context;
}

// The certificate's fields without its key; null unless the bytes are exactly one certificate.
Certificate decodeWithoutKey(const uint8_t* der, size_t length) {
    if (!keylessContext() || !der || length == 0 || length > size_t(LONG_MAX))
        return {};
    const unsigned char* cursor = der;
    Certificate certificate(reinterpret_cast<X509*>(
        ASN1_item_d2i_ex(nullptr, &cursor, long(length), ASN1_ITEM_rptr(X509), keylessContext(), nullptr)));
    if (certificate && size_t(cursor - der) != length)
        certificate.reset();
    return certificate;
}

// Whether a certificate decoded without its key is sure to be an end entity's: its extensions are sound and make it
// no CA. A version 1 certificate without basic constraints may be a root, which only its key tells.
bool surelyEndEntity(X509* keyless) {
    if (X509_check_purpose(keyless, -1, 0) != 1)
        return false;
    if (X509_get_version(keyless) == X509_VERSION_1 && X509_get_ext_by_NID(keyless, NID_basic_constraints, -1) < 0)
        return false;
    return X509_check_ca(keyless) == 0;
}

int kindOf(X509* certificate) {
    if (X509_check_ca(certificate) == 0)
        return 0;
    // A root signs itself: its issuer is its subject and its own key verifies its signature.
    return X509_self_signed(certificate, 1) == 1 ? 1 : 2;
}

} // namespace

int32_t CertificateFile::parsePkcs12(const std::string& path, const std::string& password, CertificateFile& file) {
    file.certificates.clear();
    openssl::ErrorMark mark;
    if (password.size() > size_t(INT_MAX / 4))
        return ZV_ERR_WRONG_PASSWORD;
    std::vector<uint8_t> data;
    if (const int32_t rc = readFile(path, data))
        return rc;

    Pkcs12Reader reader;
    reader.context = libraryContext();
    // Decoded into an object made in the library context: the MAC check and the parts unpacked from it then fetch
    // their algorithms there, not in the host's default context.
    PKCS12* decoded = PKCS12_init_ex(NID_pkcs7_data, reader.context, nullptr);
    if (!decoded)
        return ZV_ERR_FILE_FORMAT;
    const unsigned char* cursor = data.data();
    if (data.empty() || !d2i_PKCS12(&decoded, &cursor, long(data.size()))) {
        PKCS12_free(decoded); // d2i has freed and cleared it already when it failed
        return ZV_ERR_FILE_FORMAT;
    }
    Pkcs12 p12(decoded);

    reader.password = password.c_str();
    reader.passwordLength = int(password.size());
    if (PKCS12_mac_present(p12.get())) {
        if (const int32_t rc = reader.verifyMac(p12.get(), password.empty()))
            return rc;
    } else if (password.empty()) {
        reader.password = nullptr;
    }
    if (const int32_t rc = reader.read(p12.get()))
        return rc;
    if (reader.certificates.empty())
        return ZV_ERR_FILE_FORMAT;
    file.certificates = reader.result();
    return ZV_OK;
}

int32_t CertificateFile::parsePkcs7(const std::string& path, CertificateFile& file) {
    file.certificates.clear();
    openssl::ErrorMark mark;
    std::vector<uint8_t> data;
    if (const int32_t rc = readFile(path, data))
        return rc;

    const auto decode = [](const std::vector<uint8_t>& der) {
        PKCS7* bundle = PKCS7_new_ex(libraryContext(), nullptr);
        const unsigned char* cursor = der.data();
        if (bundle && !d2i_PKCS7(&bundle, &cursor, long(der.size()))) {
            PKCS7_free(bundle);
            bundle = nullptr;
        }
        return Pkcs7(bundle);
    };
    Pkcs7 bundle;
    if (startsWithSequence(data))
        bundle = decode(data);
    std::vector<uint8_t> der;
    if (!bundle && containsPemHeader(data) && pemToDer(data, PEM_STRING_PKCS7, der))
        bundle = decode(der);
    if (!bundle || !PKCS7_type_is_signed(bundle.get()) || !bundle->d.sign)
        return ZV_ERR_FILE_FORMAT;

    std::vector<FileCertificate> certificates;
    const STACK_OF(X509)* bag = bundle->d.sign->cert;
    for (int i = 0; i < sk_X509_num(bag); ++i) {
        std::vector<uint8_t> encoded = encode(sk_X509_value(bag, i));
        if (encoded.empty())
            return ZV_ERR_FILE_FORMAT;
        certificates.push_back({std::move(encoded), nullptr});
    }
    if (certificates.empty())
        return ZV_ERR_FILE_FORMAT;
    file.certificates = std::move(certificates);
    return ZV_OK;
}

int32_t CertificateFile::parseX509(const std::string& path, CertificateFile& file) {
    file.certificates.clear();
    openssl::ErrorMark mark;
    std::vector<uint8_t> data;
    if (const int32_t rc = readFile(path, data))
        return rc;

    // Bytes after the certificate (a trailing newline, the trust settings of a TRUSTED CERTIFICATE block) are not
    // part of it and are left out.
    size_t consumed = 0;
    Certificate certificate;
    if (startsWithSequence(data))
        certificate = decodeCertificate(data.data(), data.size(), consumed);
    if (certificate) {
        data.resize(consumed);
    } else {
        std::vector<uint8_t> der;
        // This label takes "CERTIFICATE" blocks as well as OpenSSL's "TRUSTED CERTIFICATE".
        if (!containsPemHeader(data) || !pemToDer(data, PEM_STRING_X509_TRUSTED, der))
            return ZV_ERR_FILE_FORMAT;
        certificate = decodeCertificate(der.data(), der.size(), consumed);
        if (!certificate)
            return ZV_ERR_FILE_FORMAT;
        der.resize(consumed);
        data = std::move(der);
    }
    file.certificates.push_back({std::move(data), nullptr});
    return ZV_OK;
}

int32_t summarizeCertificate(const uint8_t* der, size_t length, CertificateSummary& summary) {
    summary = CertificateSummary();
    openssl::ErrorMark mark;
    // Most certificates are an end entity's, which need no key; the others are decoded whole, as are those whose
    // extensions leave any doubt.
    Certificate certificate = decodeWithoutKey(der, length);
    int kind = 0;
    if (!certificate || !surelyEndEntity(certificate.get())) {
        size_t consumed = 0;
        certificate = decodeCertificate(der, length, consumed);
        if (!certificate || consumed != length)
            return ZV_ERR_CERT_INVALID;
        kind = kindOf(certificate.get());
    }

    CertificateSummary result;
    result.kind = kind;
    result.version = int(X509_get_version(certificate.get())) + 1;
    if (result.version < 1 || result.version > 3)
        return ZV_ERR_CERT_INVALID;
    result.subject = displayName(X509_get_subject_name(certificate.get()));
    result.issuer = displayName(X509_get_issuer_name(certificate.get()));
    result.serial = serialText(X509_get0_serialNumber(certificate.get()));
    if (!dateOf(X509_get0_notBefore(certificate.get()), result.validFrom) ||
        !dateOf(X509_get0_notAfter(certificate.get()), result.validTo))
        return ZV_ERR_CERT_INVALID;
    summary = std::move(result);
    return ZV_OK;
}

} // namespace zv
