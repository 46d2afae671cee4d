#include "token/TokenLibrary.h"

#include "platform/LibraryLocation.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <cstring>

#define VX_FUNCTION(name) decltype(&::name) name = nullptr

struct TokenLibrary::Functions {
    VX_FUNCTION(init_pkcs11);
    VX_FUNCTION(init_pkcs11_ex);
    VX_FUNCTION(uninit_pkcs11);
    VX_FUNCTION(token_find);
    VX_FUNCTION(token_connect);
    VX_FUNCTION(token_get_info_ex);
    VX_FUNCTION(token_reload_all_objects);
    VX_FUNCTION(token_get_features);
    VX_FUNCTION(token_login);
    VX_FUNCTION(token_logout);
    VX_FUNCTION(token_get_pin_state);
    VX_FUNCTION(token_change_upin);
    VX_FUNCTION(token_login_so);
    VX_FUNCTION(token_change_sopin);
    VX_FUNCTION(token_set_upin);
    VX_FUNCTION(token_set_label);
    VX_FUNCTION(token_format);
    VX_FUNCTION(token_write_sectors);
    VX_FUNCTION(container_load_all);
    VX_FUNCTION(container_create_new);
    VX_FUNCTION(container_delete);
    VX_FUNCTION(container_get_cert);
    VX_FUNCTION(container_get_pubkey);
    VX_FUNCTION(container_get_prikey);
    VX_FUNCTION(container_delete_cert);
    VX_FUNCTION(container_addcert_to_store);
    VX_FUNCTION(pkcs12_file_parse);
    VX_FUNCTION(pkcs12_file_get_certinfo);
    VX_FUNCTION(pkcs12_import_certificate);
    VX_FUNCTION(x509_import_certificate);
    VX_FUNCTION(p7b_file_parse);
    VX_FUNCTION(p7b_file_get_certinfo);
    VX_FUNCTION(p7b_import_certificate);
    VX_FUNCTION(helper_get_cert_info2);
    VX_FUNCTION(helper_show_cert_ui);
    VX_FUNCTION(helper_add_root_cert_to_store);
    VX_FUNCTION(helper_register_cert_viewer);
};
#undef VX_FUNCTION

namespace {

constexpr int32_t ContainerListBytes = 8192;
constexpr int32_t LabelBytes = 64;
constexpr int32_t NameUnits = 257;
constexpr int32_t PublicKeyBytes = 2048;

QString text(const QByteArray& bytes) {
    return TextEncoding::fromLocal8(bytes);
}

QString dateText(const std::array<int32_t, 9>& date) {
    return QStringLiteral("%1-%2-%3")
        .arg(date[0], 4, 10, QLatin1Char('0'))
        .arg(date[1], 2, 10, QLatin1Char('0'))
        .arg(date[2], 2, 10, QLatin1Char('0'));
}

} // namespace

TokenLibrary::TokenLibrary(const QString& programDirectory, OperationLog log)
    : m_log(std::move(log)), m_functions(std::make_unique<Functions>()) {
    m_library.setFileName(LibraryLocation(programDirectory, QLatin1String(LibraryName)));
    if (!m_library.load())
        return;
    Functions& f = *m_functions;
    bool all = true;
    const auto resolve = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(m_library.resolve(name));
        all = all && function;
    };
#define VX_RESOLVE(name) resolve(f.name, #name)
    VX_RESOLVE(init_pkcs11);
    VX_RESOLVE(init_pkcs11_ex);
    VX_RESOLVE(uninit_pkcs11);
    VX_RESOLVE(token_find);
    VX_RESOLVE(token_connect);
    VX_RESOLVE(token_get_info_ex);
    VX_RESOLVE(token_reload_all_objects);
    VX_RESOLVE(token_get_features);
    VX_RESOLVE(token_login);
    VX_RESOLVE(token_logout);
    VX_RESOLVE(token_get_pin_state);
    VX_RESOLVE(token_change_upin);
    VX_RESOLVE(token_login_so);
    VX_RESOLVE(token_change_sopin);
    VX_RESOLVE(token_set_upin);
    VX_RESOLVE(token_set_label);
    VX_RESOLVE(token_format);
    VX_RESOLVE(token_write_sectors);
    VX_RESOLVE(container_load_all);
    VX_RESOLVE(container_create_new);
    VX_RESOLVE(container_delete);
    VX_RESOLVE(container_get_cert);
    VX_RESOLVE(container_get_pubkey);
    VX_RESOLVE(container_get_prikey);
    VX_RESOLVE(container_delete_cert);
    VX_RESOLVE(container_addcert_to_store);
    VX_RESOLVE(pkcs12_file_parse);
    VX_RESOLVE(pkcs12_file_get_certinfo);
    VX_RESOLVE(pkcs12_import_certificate);
    VX_RESOLVE(x509_import_certificate);
    VX_RESOLVE(p7b_file_parse);
    VX_RESOLVE(p7b_file_get_certinfo);
    VX_RESOLVE(p7b_import_certificate);
    VX_RESOLVE(helper_get_cert_info2);
    VX_RESOLVE(helper_show_cert_ui);
    VX_RESOLVE(helper_add_root_cert_to_store);
    VX_RESOLVE(helper_register_cert_viewer);
#undef VX_RESOLVE
    m_loaded = all;
}

TokenLibrary::~TokenLibrary() = default;

template <typename Function, typename... Arguments>
int32_t TokenLibrary::call(const char* name, const QString& begin, Function function, Arguments... arguments) {
    QMutexLocker lock(&m_mutex);
    if (!m_loaded || !function)
        return BindingError;
    if (!begin.isNull())
        m_log.WriteOperationLog(begin);
    const int32_t rv = function(arguments...);
    m_log.WriteOperationLog(QStringLiteral("%1 end rtn=%2").arg(QLatin1String(name)).arg(rv));
    return rv;
}

int32_t TokenLibrary::OpenTokenLibrary(const QString& pkcs11Path, const QString& usbEnumString, const QString& oemId,
                                       const QString& appName) {
    m_modulePath = pkcs11Path;
    if (usbEnumString.isEmpty())
        return init_pkcs11(pkcs11Path);
    QMutexLocker lock(&m_mutex);
    if (!m_loaded)
        return BindingError;
    // The product-specific opening is not traced.
    return m_functions->init_pkcs11_ex(
        TextEncoding::toLocal8(usbEnumString).constData(), TextEncoding::toLocal8(oemId).constData(),
        TextEncoding::toLocal8(appName).constData(), TextEncoding::toLocal8(pkcs11Path).constData());
}

QString TokenLibrary::OpeningFailure(const QString& pkcs11Path, int32_t rv) const {
    if (!m_loaded)
        return QStringLiteral("%1: %2").arg(m_library.fileName(), m_library.isLoaded()
                                                                      ? QStringLiteral("a function is missing")
                                                                      : m_library.errorString());
    if (rv == ZV_ERR_MODULE_LOAD) {
        // The library reports only that the module did not load; the loader tells why, when asked again.
        // Loaded as the library loads it, every symbol resolved at once.
        QLibrary module(pkcs11Path);
        module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (pkcs11Path.isEmpty())
            return QStringLiteral("no PKCS#11 module is named (PKCS11Lib)");
        if (!module.load())
            return QStringLiteral("PKCS#11 module %1: %2").arg(pkcs11Path, module.errorString());
        module.unload();
        return QStringLiteral("PKCS#11 module %1: no C_GetFunctionList, or it failed").arg(pkcs11Path);
    }
    return QStringLiteral("PKCS#11 module %1: initialization returned 0x%2")
        .arg(pkcs11Path, QString::number(uint32_t(rv), 16).toUpper().rightJustified(8, u'0'));
}

int32_t TokenLibrary::FindAndConnectTokens(int32_t& count) {
    const int32_t found = token_find(count);
    if (found != 0 || count == 0) {
        count = 0;
        return NoTokenFound;
    }
    int32_t rv = 0;
    for (int32_t index = 0; index < count; ++index)
        rv = token_connect(index); // a failing connect does not stop the others; the last one decides
    return rv;
}

int32_t TokenLibrary::LoadContainerList(int32_t index, TTokenInfo& info) {
    QByteArray buffer;
    int32_t length = ContainerListBytes;
    if (const int32_t rv = container_load_all(index, buffer, length); rv != 0)
        return rv;
    int32_t stored = 0;
    for (const QByteArray& name : buffer.first(std::clamp(length, 0, ContainerListBytes)).split('\0')) {
        if (name.isEmpty())
            continue;
        if (stored == TTokenInfo::MaximumContainers)
            break; // the record holds 65 names; further ones are not kept
        info.containerNames[size_t(stored++)] = name;
    }
    info.containerCount = stored;
    return 0;
}

int32_t TokenLibrary::ReadCertInfo(int32_t index, const QByteArray& container, int32_t usage, TTokenCertInfo& info) {
    info.certificateLength = TTokenCertInfo::CertificateCapacity;
    if (const int32_t rv = container_get_cert(index, container, usage, info.certificate, info.certificateLength);
        rv != 0)
        return rv;
    container_get_pubkey(index, container, usage, info.keyAlgorithm, info.keyBits, "cont_id");
    return helper_get_cert_info2(info.certificate, info);
}

int32_t TokenLibrary::ReadCertificate(int32_t index, const QByteArray& container, int32_t usage,
                                      QByteArray& certificate) {
    int32_t length = TTokenCertInfo::CertificateCapacity;
    return container_get_cert(index, container, usage, certificate, length);
}

int32_t TokenLibrary::ReadPublicKeyAlgorithm(int32_t index, const QByteArray& container, int32_t usage,
                                             int32_t& algorithm) {
    int32_t bits = 0;
    return container_get_pubkey(index, container, usage, algorithm, bits, "container_id");
}

int32_t TokenLibrary::ReadPrivateKeyAlgorithm(int32_t index, const QByteArray& container, int32_t usage,
                                              int32_t& algorithm) {
    int32_t bits = 0;
    return container_get_prikey(index, container, usage, algorithm, bits);
}

int32_t TokenLibrary::SetTokenLabel(int32_t index, const QString& label) {
    char buffer[LabelBytes] = {};
    const QByteArray utf8 = label.toUtf8();
    std::memcpy(buffer, utf8.constData(), std::min<size_t>(size_t(utf8.size()), LabelBytes));
    return call("token_set_label", QStringLiteral("token_set_label begin KeyName=") + label,
                m_functions->token_set_label, index, static_cast<const char*>(buffer));
}

int32_t TokenLibrary::init_pkcs11(const QString& pkcs11Path) {
    const QByteArray path = TextEncoding::toLocal8(pkcs11Path);
    return call("init_pkcs11", QStringLiteral("init_pkcs11 begin pName=") + pkcs11Path, m_functions->init_pkcs11,
                path.constData());
}

int32_t TokenLibrary::uninit_pkcs11() {
    return call("uninit_pkcs11", QStringLiteral("uninit_pkcs11 begin"), m_functions->uninit_pkcs11);
}

int32_t TokenLibrary::token_find(int32_t& count) {
    char buffer[128] = {};
    count = 32;
    return call("token_find", QStringLiteral("token_find begin kn=%1").arg(count), m_functions->token_find,
                static_cast<char*>(buffer), &count);
}

int32_t TokenLibrary::token_connect(int32_t index) {
    return call("token_connect", QStringLiteral("token_connect begin keyindex=%1").arg(index),
                m_functions->token_connect, index);
}

int32_t TokenLibrary::token_get_info_ex(int32_t index, TTokenInfo& info) {
    return call("token_get_info_ex", QStringLiteral("token_get_info_ex begin KID=%1").arg(index),
                m_functions->token_get_info_ex, index, info.serial.data(), info.label.data(), info.manufacturer.data(),
                info.model.data(), &info.maxPinLength, &info.minPinLength, &info.soMaxPinLength, &info.soMinPinLength,
                &info.totalMemory, &info.freeMemory, &info.hardwareVersion, &info.firmwareVersion, &info.initialized,
                &info.reserved2);
}

int32_t TokenLibrary::token_reload_all_objects(int32_t index) {
    return call("token_reload_all_objects", QStringLiteral("token_reload_all_objects begin slot_id=%1").arg(index),
                m_functions->token_reload_all_objects, index);
}

int32_t TokenLibrary::token_get_features(int32_t index, uint32_t& features) {
    features = 0;
    return call("token_get_features", QStringLiteral("token_get_features begin KID=%1").arg(index),
                m_functions->token_get_features, index, &features);
}

int32_t TokenLibrary::token_login(int32_t index, const Pin& pin, int32_t& remaining) {
    return call("token_login", QStringLiteral("token_login begin UPIN=") + OperationLog::shown(pin),
                m_functions->token_login, index, pin.data(), &remaining);
}

int32_t TokenLibrary::token_logout(int32_t index) {
    return call("token_logout", QStringLiteral("token_logout begin KID=%1").arg(index), m_functions->token_logout,
                index);
}

int32_t TokenLibrary::token_get_pin_state(int32_t index, int32_t pinType, PinState& state) {
    // The record's fields: remaining, maximum, two lengths, the locked indicator, the initialized indicator.
    int32_t record[6] = {};
    const int32_t rv = call("token_get_pin_state", QStringLiteral("token_get_pin_state begin KID=%1").arg(index),
                            m_functions->token_get_pin_state, index, pinType, record);
    state = PinState{record[0], record[1], record[4]};
    return rv;
}

int32_t TokenLibrary::token_change_upin(int32_t index, const Pin& oldPin, const Pin& newPin) {
    return call("token_change_upin", QStringLiteral("token_change_upin begin newUPIN=") + OperationLog::shown(newPin),
                m_functions->token_change_upin, index, oldPin.data(), newPin.data());
}

int32_t TokenLibrary::token_login_so(int32_t index, const Pin& soPin, int32_t& remaining) {
    return call("token_login_so", QStringLiteral("token_login_so begin soPin=") + OperationLog::shown(soPin),
                m_functions->token_login_so, index, soPin.data(), &remaining);
}

int32_t TokenLibrary::token_change_sopin(int32_t index, const Pin& oldSoPin, const Pin& newSoPin) {
    return call("token_change_sopin",
                QStringLiteral("token_change_sopin begin newSPIN=") + OperationLog::shown(newSoPin),
                m_functions->token_change_sopin, index, oldSoPin.data(), newSoPin.data());
}

int32_t TokenLibrary::token_set_upin(int32_t index, const Pin& soPin, const Pin& newUserPin) {
    return call("token_set_upin", QStringLiteral("token_set_upin begin soPin=") + OperationLog::shown(soPin),
                m_functions->token_set_upin, index, soPin.data(), newUserPin.data());
}

int32_t TokenLibrary::token_format(int32_t index, const uint8_t params[166]) {
    return call("token_format", QStringLiteral("token_format begin slot_id=%1").arg(index), m_functions->token_format,
                index, params);
}

int32_t TokenLibrary::token_write_sectors(int32_t index, int32_t firstSector, int32_t sectorCount,
                                          const uint8_t* data) {
    return call("token_write_sectors", QStringLiteral("token_write_sectors begin sectorNumber=%1").arg(sectorCount),
                m_functions->token_write_sectors, index, firstSector, sectorCount, data);
}

int32_t TokenLibrary::container_load_all(int32_t index, QByteArray& buffer, int32_t& length) {
    buffer = QByteArray(ContainerListBytes + 1, '\0'); // one zero byte more behind the list
    length = ContainerListBytes;
    return call("container_load_all", QStringLiteral("container_load_all begin buff_len=%1").arg(length),
                m_functions->container_load_all, index, buffer.data(), &length);
}

int32_t TokenLibrary::container_create_new(int32_t index, const QByteArray& name) {
    return call("container_create_new", QStringLiteral("container_create_new begin container_name=") + text(name),
                m_functions->container_create_new, index, name.constData());
}

int32_t TokenLibrary::container_delete(int32_t index, const QByteArray& name) {
    return call("container_delete", QStringLiteral("container_delete begin cont_id=") + text(name),
                m_functions->container_delete, index, name.constData());
}

int32_t TokenLibrary::container_get_cert(int32_t index, const QByteArray& name, int32_t usage, QByteArray& certificate,
                                         int32_t& length, const char* logKey) {
    certificate = QByteArray(TTokenCertInfo::CertificateCapacity, '\0');
    length = TTokenCertInfo::CertificateCapacity;
    const int32_t rv = call("container_get_cert",
                            QStringLiteral("container_get_cert begin %1=").arg(QLatin1String(logKey)) + text(name),
                            m_functions->container_get_cert, index, name.constData(), usage,
                            reinterpret_cast<uint8_t*>(certificate.data()), &length);
    certificate.truncate(rv == 0 ? std::clamp(length, 0, TTokenCertInfo::CertificateCapacity) : 0);
    return rv;
}

int32_t TokenLibrary::container_get_pubkey(int32_t index, const QByteArray& name, int32_t usage, int32_t& algorithm,
                                           int32_t& bits, const char* logKey) {
    // The key bytes are not used, but the library reports a key only when they fit: room for the public key of
    // any size a token holds, not just the 2048-bit RSA keys that 256 bytes would take.
    uint8_t key[PublicKeyBytes] = {};
    int32_t length = sizeof key;
    return call("container_get_pubkey",
                QStringLiteral("container_get_pubkey begin %1=").arg(QLatin1String(logKey)) + text(name),
                m_functions->container_get_pubkey, index, name.constData(), usage, &algorithm, &bits,
                static_cast<uint8_t*>(key), &length);
}

int32_t TokenLibrary::container_get_prikey(int32_t index, const QByteArray& name, int32_t usage, int32_t& algorithm,
                                           int32_t& bits) {
    return call("container_get_prikey", QStringLiteral("container_get_prikey begin container_id=") + text(name),
                m_functions->container_get_prikey, index, name.constData(), usage, &algorithm, &bits);
}

int32_t TokenLibrary::container_delete_cert(int32_t index, const QByteArray& name, int32_t usage) {
    return call("container_delete_cert", QStringLiteral("container_delete_cert begin containerName=") + text(name),
                m_functions->container_delete_cert, index, name.constData(), usage);
}

int32_t TokenLibrary::container_addcert_to_store(const QByteArray& container, const QString& cspName, int32_t usage,
                                                 const QByteArray& certificate) {
    const QByteArray csp = TextEncoding::toLocal8(cspName);
    return call("container_addcert_to_store",
                QStringLiteral("container_addcert_to_store begin containerName=") + text(container),
                m_functions->container_addcert_to_store, container.constData(), csp.constData(), usage,
                int32_t(certificate.size()), reinterpret_cast<const uint8_t*>(certificate.constData()));
}

int32_t TokenLibrary::pkcs12_file_parse(const QString& path, const Pin& password, int32_t& count) {
    const QByteArray pathBytes = TextEncoding::toLocal8(path);
    return call("pkcs12_file_parse",
                QStringLiteral("pkcs12_file_parse begin password=") + OperationLog::shown(password),
                m_functions->pkcs12_file_parse, pathBytes.constData(), password.data(), &count);
}

int32_t TokenLibrary::pkcs12_file_get_certinfo(int32_t certificateIndex, QString& subject, QString& issuer,
                                               int32_t& kind) {
    return fileCertificateInfo("pkcs12_file_get_certinfo", m_functions->pkcs12_file_get_certinfo, certificateIndex,
                               subject, issuer, kind);
}

int32_t TokenLibrary::pkcs12_import_certificate(int32_t index, const QByteArray& container, int32_t usage,
                                                int32_t certificateIndex) {
    return call("pkcs12_import_certificate",
                QStringLiteral("pkcs12_import_certificate begin cont_id=") + text(container),
                m_functions->pkcs12_import_certificate, index, container.constData(), usage, certificateIndex);
}

int32_t TokenLibrary::x509_import_certificate(int32_t index, const QByteArray& container, int32_t usage,
                                              const QString& path) {
    const QByteArray pathBytes = TextEncoding::toLocal8(path);
    return call("x509_import_certificate", QStringLiteral("x509_import_certificate begin certFilePath=") + path,
                m_functions->x509_import_certificate, index, container.constData(), usage, pathBytes.constData());
}

int32_t TokenLibrary::p7b_file_parse(const QString& path, int32_t& count) {
    const QByteArray pathBytes = TextEncoding::toLocal8(path);
    return call("p7b_file_parse", QStringLiteral("p7b_file_parse begin certFilePath=") + path,
                m_functions->p7b_file_parse, pathBytes.constData(), &count);
}

int32_t TokenLibrary::p7b_file_get_certinfo(int32_t certificateIndex, QString& subject, QString& issuer,
                                            int32_t& kind) {
    return fileCertificateInfo("p7b_file_get_certinfo", m_functions->p7b_file_get_certinfo, certificateIndex, subject,
                               issuer, kind);
}

template <typename Function>
int32_t TokenLibrary::fileCertificateInfo(const char* name, Function function, int32_t certificateIndex,
                                          QString& subject, QString& issuer, int32_t& kind) {
    char subjectBuffer[NameUnits] = {}, issuerBuffer[NameUnits] = {};
    // The begin line shows the issuer buffer as it is before the call: empty.
    const int32_t rv =
        call(name, QLatin1String(name) + QStringLiteral(" begin issureName=") + text(issuerBuffer), function,
             certificateIndex, static_cast<char*>(subjectBuffer), static_cast<char*>(issuerBuffer), &kind);
    subject = text(QByteArray(subjectBuffer, int(strnlen(subjectBuffer, NameUnits))));
    issuer = text(QByteArray(issuerBuffer, int(strnlen(issuerBuffer, NameUnits))));
    return rv;
}

int32_t TokenLibrary::p7b_import_certificate(int32_t index, const QByteArray& container, int32_t usage,
                                             int32_t certificateIndex) {
    return call("p7b_import_certificate",
                QStringLiteral("p7b_import_certificate begin container_name=") + text(container),
                m_functions->p7b_import_certificate, index, container.constData(), usage, certificateIndex);
}

int32_t TokenLibrary::helper_get_cert_info2(const QByteArray& certificate, TTokenCertInfo& info) {
    uint16_t subject[NameUnits] = {}, issuer[NameUnits] = {};
    char serial[NameUnits] = {};
    int32_t version = 0, kind = 0;
    std::array<int32_t, 9> from{}, to{};
    const int32_t rv =
        call("helper_get_cert_info2", QStringLiteral("helper_get_cert_info2 begin Name="),
             m_functions->helper_get_cert_info2, reinterpret_cast<const uint8_t*>(certificate.constData()),
             int32_t(certificate.size()), static_cast<uint16_t*>(subject), static_cast<uint16_t*>(issuer), &version,
             static_cast<char*>(serial), from.data(), to.data(), &kind);
    if (rv != 0)
        return rv;
    info.subject = QString::fromUtf16(reinterpret_cast<const char16_t*>(subject));
    info.issuer = QString::fromUtf16(reinterpret_cast<const char16_t*>(issuer));
    info.version = version;
    info.serial = QByteArray(serial, int(strnlen(serial, NameUnits)));
    info.validFromDate = from;
    info.validToDate = to;
    info.validFrom = dateText(from);
    info.validTo = dateText(to);
    info.kind = kind;
    return 0;
}

int32_t TokenLibrary::helper_show_cert_ui(void* owner, const QByteArray& certificate) {
    // The viewer is a dialog whose events may call the library again, so no lock is held while it shows.
    if (!m_loaded)
        return BindingError;
    m_log.WriteOperationLog(QStringLiteral("helper_show_cert_ui begin certSize=%1").arg(certificate.size()));
    const int32_t rv = m_functions->helper_show_cert_ui(
        owner, reinterpret_cast<const uint8_t*>(certificate.constData()), int32_t(certificate.size()));
    m_log.WriteOperationLog(QStringLiteral("helper_show_cert_ui end rtn=%1").arg(rv));
    return rv;
}

int32_t TokenLibrary::helper_add_root_cert_to_store(const QString& storeName, const QByteArray& certificate) {
    return call("helper_add_root_cert_to_store",
                QStringLiteral("helper_add_root_cert_to_store begin pName=") + storeName,
                m_functions->helper_add_root_cert_to_store, reinterpret_cast<const uint16_t*>(storeName.utf16()),
                reinterpret_cast<const uint8_t*>(certificate.constData()), int32_t(certificate.size()));
}

int32_t TokenLibrary::helper_register_cert_viewer(zv_certificate_viewer viewer) {
    QMutexLocker lock(&m_mutex);
    return m_loaded ? m_functions->helper_register_cert_viewer(viewer) : BindingError;
}
