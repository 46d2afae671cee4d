// What the token manager does when it shows a token's certificates: list the containers and read every
// certificate's information (container_load_all, container_get_cert, container_get_pubkey,
// helper_get_cert_info2), through libZovevOdu.so, as one whole process.
//   container-list-bench MODULE PIN              list and read everything, print what was read
//   container-list-bench MODULE PIN --phases     the same, printing the milliseconds of container_load_all and
//                                                of the loop over the certificates instead
//   container-list-bench MODULE PIN --fill N     first write N containers, each with a key-exchange and a
//                                                signature RSA-2048 pair and their certificates
#include "shared/ZovevOdu.h"

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

namespace {

void check(int32_t rv, const char* what) {
    if (rv != ZV_OK) {
        std::fprintf(stderr, "%s failed: 0x%08X\n", what, unsigned(rv));
        std::exit(1);
    }
}

// A self-signed certificate and key in a PKCS#12 file.
void writePkcs12(const char* path, const std::string& name) {
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), std::rand());
    X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 365L * 24 * 3600);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
    X509_set_issuer_name(certificate, X509_get_subject_name(certificate));
    X509_set_pubkey(certificate, key);
    X509_sign(certificate, key, EVP_sha256());
    PKCS12* bundle = PKCS12_create("bench", "bench", key, certificate, nullptr, 0, 0, 0, 0, 0);
    FILE* file = std::fopen(path, "wb");
    i2d_PKCS12_fp(file, bundle);
    std::fclose(file);
    PKCS12_free(bundle);
    X509_free(certificate);
    EVP_PKEY_free(key);
}

} // namespace

int main(int argc, char* argv[]) {
    const bool phases = argc == 4 && std::strcmp(argv[3], "--phases") == 0;
    const bool fill = argc == 5 && std::strcmp(argv[3], "--fill") == 0;
    if (argc != 3 && !phases && !fill) {
        std::fprintf(stderr, "usage: %s MODULE PIN [--phases | --fill N]\n", argv[0]);
        return 2;
    }
    check(init_pkcs11(argv[1]), "init_pkcs11");
    char serials[128];
    int32_t count = 32;
    check(token_find(serials, &count), "token_find");
    check(count > 0 ? ZV_OK : ZV_ERR_TOKEN_INDEX, "finding a token");
    check(token_connect(0), "token_connect");
    int32_t remaining = 0;
    check(token_login(0, argv[2], &remaining), "token_login");

    if (fill) {
        const int containers = std::atoi(argv[4]);
        // A folder of its own, made for this run only: a fixed name in /tmp could be another user's link.
        char folder[] = "/tmp/container-list-bench.XXXXXX";
        if (!mkdtemp(folder)) {
            std::perror("mkdtemp");
            return 1;
        }
        const std::string file = std::string(folder) + "/key.p12";
        const char* path = file.c_str();
        for (int i = 1; i <= containers; ++i) {
            const std::string name = "Container " + std::to_string(i);
            for (int usage = 1; usage <= 2; ++usage) {
                writePkcs12(path, name + (usage == 1 ? " exchange" : " signature"));
                int32_t certificates = 0;
                check(pkcs12_file_parse(path, "bench", &certificates), "pkcs12_file_parse");
                check(pkcs12_import_certificate(0, name.c_str(), usage, 0), "pkcs12_import_certificate");
            }
        }
        std::remove(path);
        rmdir(folder);
    }

    using Clock = std::chrono::steady_clock;
    const auto milliseconds = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    const Clock::time_point start = Clock::now();
    std::vector<char> list(8193);
    int32_t length = 8192;
    check(container_load_all(0, list.data(), &length), "container_load_all");
    const Clock::time_point loaded = Clock::now();
    int containers = 0, certificates = 0;
    for (int32_t at = 0; at < length; at += int32_t(std::strlen(list.data() + at)) + 1) {
        const char* name = list.data() + at;
        ++containers;
        for (int usage = 1; usage <= 2; ++usage) {
            uint8_t certificate[16384];
            int32_t certificateLength = sizeof certificate;
            if (container_get_cert(0, name, usage, certificate, &certificateLength) != ZV_OK)
                continue;
            int32_t algorithm = 0, bits = 0;
            uint8_t key[1024];
            int32_t keyLength = sizeof key;
            check(container_get_pubkey(0, name, usage, &algorithm, &bits, key, &keyLength), "container_get_pubkey");
            uint16_t subject[257], issuer[257];
            char serial[257];
            int32_t version = 0, from[9], to[9], kind = 0;
            check(helper_get_cert_info2(certificate, certificateLength, subject, issuer, &version, serial, from, to,
                                        &kind),
                  "helper_get_cert_info2");
            ++certificates;
        }
    }
    if (phases)
        std::printf("%.1f %.1f\n", milliseconds(loaded - start), milliseconds(Clock::now() - loaded));
    else
        std::printf("%d containers, %d certificates read\n", containers, certificates);
    uninit_pkcs11();
    return 0;
}
