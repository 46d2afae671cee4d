#pragma once

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/x509.h>

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

} // namespace openssl
