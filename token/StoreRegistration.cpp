#include "token/StoreRegistration.h"

#include "platform/TextEncoding.h"
#include "shared/CertificateDatabase.h"

bool StoreRegistration::registers(int32_t mode, int32_t usage, bool ecc) {
    switch (mode) {
    case 0:
        return true;
    case 1:
        return !ecc;
    case 2:
        return usage == SignatureUsage && !ecc;
    default:
        return false;
    }
}

int32_t StoreRegistration::RegisterTokenCertificates(TokenLibrary& tokens, int32_t index, TTokenInfo& info,
                                                     const QString& cspName, int32_t mode) {
    if (const int32_t rv = tokens.LoadContainerList(index, info); rv != 0)
        return rv;
    for (int32_t p = 0; p < std::min(info.containerCount, TTokenInfo::MaximumContainers); ++p) {
        const QByteArray& name = info.containerNames[size_t(p)];
        for (const int32_t usage : {ExchangeUsage, SignatureUsage}) {
            TTokenCertInfo certificate;
            if (tokens.ReadCertInfo(index, name, usage, certificate) != 0)
                continue;
            if (certificate.kind != TTokenCertInfo::EndEntity) {
                tokens.helper_add_root_cert_to_store(certificate.kind == TTokenCertInfo::Root ? QStringLiteral("ROOT")
                                                                                              : QStringLiteral("CA"),
                                                     certificate.certificate);
                continue;
            }
            // A key whose algorithm cannot be read counts as not ECC.
            int32_t algorithm = 0;
            const bool ecc = tokens.ReadPublicKeyAlgorithm(index, name, usage, algorithm) == 0 &&
                             algorithm == TTokenCertInfo::EccAlgorithm;
            if (!registers(mode, usage, ecc))
                continue;
            if (const int32_t rv = tokens.container_addcert_to_store(name, cspName, usage, certificate.certificate);
                rv != 0)
                return (usage == ExchangeUsage ? ExchangeFailure : SignatureFailure) + rv;
        }
    }
    return 0;
}

int32_t StoreRegistration::RemoveCspCertificates(const QString& cspName) {
    // The same bytes the registration stored: the binding hands the name to the library as a C string, so it ends
    // at a zero byte there and here alike.
    const QByteArray csp = TextEncoding::toLocal8(cspName);
    int removed = 0;
    zv::CertificateDatabase::removeUserCertificates(std::string(csp.constData()), &removed);
    return 0;
}
