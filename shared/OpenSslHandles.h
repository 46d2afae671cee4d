#pragma once

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <initializer_list>
#include <memory>

// OpenSSL objects owned the C++ way: each pointer frees its object with the matching OpenSSL function.
namespace openssl {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* pointer) const { Free(pointer); }
};
template <typename T, void (*Free)(T*)> using Owned = std::unique_ptr<T, Deleter<T, Free>>;

using Certificate = Owned<X509, X509_free>;
using PKey = Owned<EVP_PKEY, EVP_PKEY_free>;
using PKeyContext = Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using DigestContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using ParamBuilder = Owned<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>;
using Params = Owned<OSSL_PARAM, OSSL_PARAM_free>;
using Number = Owned<BIGNUM, BN_clear_free>; // cleared: it may hold a secret
using EcSignature = Owned<ECDSA_SIG, ECDSA_SIG_free>;
using EcGroup = Owned<EC_GROUP, EC_GROUP_free>;
using Object = Owned<ASN1_OBJECT, ASN1_OBJECT_free>;
using Bio = Owned<BIO, BIO_free_all>;
using BitString = Owned<ASN1_BIT_STRING, ASN1_BIT_STRING_free>;
using ExtendedKeyUsage = Owned<EXTENDED_KEY_USAGE, EXTENDED_KEY_USAGE_free>;

// OpenSSL reports failures through a per-thread queue that the host may read; what fails while a mark lives is
// taken off the queue again when it goes.
class ErrorMark {
public:
    ErrorMark() { ERR_set_mark(); }
    ~ErrorMark() { ERR_pop_to_mark(); }
    ErrorMark(const ErrorMark&) = delete;
    ErrorMark& operator=(const ErrorMark&) = delete;
};

// A library context of the caller's own, holding the default provider and those of extras that are installed. What a
// host set up in OpenSSL's default context (an engine, providers of its own) then neither reaches nor breaks the
// caller's keys. Null when OpenSSL cannot make one; the caller keeps it for the process's life.
inline OSSL_LIB_CTX* newPrivateContext(std::initializer_list<const char*> extras = {}) {
    OSSL_LIB_CTX* context = OSSL_LIB_CTX_new();
    // Loading one provider explicitly ends the implicit fallback to "default", so it is loaded first, by name.
    if (context && !OSSL_PROVIDER_load(context, "default")) {
        OSSL_LIB_CTX_free(context);
        return nullptr;
    }
    for (const char* extra : extras)
        if (context)
            OSSL_PROVIDER_load(context, extra);
    return context;
}

} // namespace openssl
