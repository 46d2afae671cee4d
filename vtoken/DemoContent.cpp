#include "vtoken/DemoContent.h"

#include "shared/ZovevOdu.h"
#include "vtoken/CommandLine.h"

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace vtoken {
namespace {

constexpr char DemoPassword[] = "demo";

struct Issued {
    std::shared_ptr<EVP_PKEY> key;
    std::shared_ptr<X509> certificate;
};

// One certificate of the demo CA: subject "CN, O=VX7100 演示银行", issued by issuer (itself when null).
Issued issue(EVP_PKEY* key, const char* commonName, const Issued* issuer, const char* constraints, const char* keyUsage,
             long serial) {
    std::shared_ptr<X509> certificate(X509_new(), X509_free);
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24L * 3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3L * 365 * 24 * 3600);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const auto add = [name](const char* field, const char* value) {
        X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value), -1, -1,
                                   0);
    };
    add("C", "CN");
    add("O", "VX7100 演示银行");
    add("CN", commonName);
    X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer->certificate.get()) : name);
    X509_set_pubkey(certificate.get(), key);
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer ? issuer->certificate.get() : certificate.get(), certificate.get(), nullptr,
                   nullptr, 0);
    for (const auto& [nid, value] : {std::pair{NID_basic_constraints, constraints}, std::pair{NID_key_usage, keyUsage},
                                     std::pair{NID_subject_key_identifier, "hash"}}) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        X509_add_ext(certificate.get(), extension, -1);
        X509_EXTENSION_free(extension);
    }
    X509_sign(certificate.get(), issuer ? issuer->key.get() : key, EVP_sha256());
    EVP_PKEY_up_ref(key);
    return {std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free), certificate};
}

void writeFile(const std::string& path, const unsigned char* bytes, int length) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || length <= 0 || std::fwrite(bytes, 1, size_t(length), file) != size_t(length)) {
        if (file)
            std::fclose(file);
        throw CommandFailure("cannot write the demo material to " + path);
    }
    std::fclose(file);
}

void writeCertificate(const std::string& path, const Issued& issued) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(issued.certificate.get(), &der);
    writeFile(path, der, length);
    OPENSSL_free(der);
}

void writePkcs12(const std::string& path, const Issued& issued) {
    PKCS12* bundle =
        PKCS12_create(DemoPassword, "demo", issued.key.get(), issued.certificate.get(), nullptr, 0, 0, 0, 0, 0);
    unsigned char* der = nullptr;
    const int length = bundle ? i2d_PKCS12(bundle, &der) : 0;
    PKCS12_free(bundle);
    writeFile(path, der, length);
    OPENSSL_free(der);
}

void check(int32_t rv, const char* what) {
    if (rv != ZV_OK) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", unsigned(rv));
        throw CommandFailure(std::string("demo content: ") + what + " failed with code " + code);
    }
}

std::string programDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// The token's index among the tokens the library found, by its serial.
int32_t findToken(const std::string& serial) {
    char serials[128] = {};
    int32_t count = 32;
    check(token_find(serials, &count), "looking for the token");
    size_t at = 0;
    for (int32_t index = 0; index < count && at < sizeof serials; ++index) {
        const std::string found(serials + at, strnlen(serials + at, sizeof serials - at));
        if (found == serial)
            return index;
        at += found.size() + 1;
    }
    throw CommandFailure("demo content: the library does not see token " + serial);
}

} // namespace

void fillDemoContent(const std::string& serial, std::string_view userPin) {
    char folderTemplate[] = "/tmp/vtoken-demo-XXXXXX";
    if (!mkdtemp(folderTemplate))
        throw CommandFailure("demo content: no temporary folder");
    const std::string folder = folderTemplate;
    struct Cleanup {
        std::string folder;
        ~Cleanup() {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
            uninit_pkcs11();
        }
    } cleanup{folder};

    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> rootKey(EVP_RSA_gen(2048), EVP_PKEY_free),
        issuingKey(EVP_RSA_gen(2048), EVP_PKEY_free), exchangeKey(EVP_RSA_gen(2048), EVP_PKEY_free),
        signingKey(EVP_RSA_gen(2048), EVP_PKEY_free), ecKey(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!rootKey || !issuingKey || !exchangeKey || !signingKey || !ecKey)
        throw CommandFailure("demo content: key generation failed");
    const Issued root = issue(rootKey.get(), "VX7100 演示根CA Demo Root CA", nullptr, "critical,CA:TRUE",
                              "critical,keyCertSign,cRLSign", 1);
    const Issued issuing = issue(issuingKey.get(), "VX7100 演示中级CA Demo Issuing CA", &root,
                                 "critical,CA:TRUE,pathlen:0", "critical,keyCertSign,cRLSign", 2);
    const Issued exchange = issue(exchangeKey.get(), "张三 Zhang San", &issuing, "CA:FALSE",
                                  "critical,keyEncipherment,dataEncipherment", 100);
    const Issued signing = issue(signingKey.get(), "张三 Zhang San", &issuing, "CA:FALSE",
                                 "critical,digitalSignature,nonRepudiation", 101);
    const Issued ec = issue(ecKey.get(), "李四 Li Si", &issuing, "CA:FALSE", "critical,digitalSignature", 102);

    check(init_pkcs11((programDirectory() + "/libvtoken-pkcs11.so").c_str()), "opening the token module");
    const int32_t index = findToken(serial);
    check(token_connect(index), "connecting the token");
    int32_t remaining = 0;
    const std::string pin(userPin);
    check(token_login(index, pin.c_str(), &remaining), "logging in");

    const auto importPair = [&](const Issued& pair, const char* container, int usage, const char* file) {
        const std::string path = folder + "/" + file;
        writePkcs12(path, pair);
        int32_t count = 0;
        check(pkcs12_file_parse(path.c_str(), DemoPassword, &count), "reading a demo PKCS#12 file");
        check(pkcs12_import_certificate(index, container, usage, 0), "importing a demo key pair");
    };
    const auto importCertificate = [&](const Issued& certificate, const char* container, const char* file) {
        const std::string path = folder + "/" + file;
        writeCertificate(path, certificate);
        check(x509_import_certificate(index, container, 1, path.c_str()), "importing a demo CA certificate");
    };
    check(container_create_new(index, "张三 Zhang San"), "creating a demo container");
    importPair(exchange, "张三 Zhang San", 1, "exchange.p12");
    importPair(signing, "张三 Zhang San", 2, "signing.p12");
    check(container_create_new(index, "李四 Li Si EC"), "creating a demo container");
    importPair(ec, "李四 Li Si EC", 2, "ec.p12");
    check(container_create_new(index, "Demo Root CA"), "creating a demo container");
    importCertificate(root, "Demo Root CA", "root.cer");
    check(container_create_new(index, "Demo Issuing CA"), "creating a demo container");
    importCertificate(issuing, "Demo Issuing CA", "issuing.cer");
    token_logout(index);
}

} // namespace vtoken
