#pragma once

#include "shared/ZovevOdu.h"
#include "token/OperationLog.h"
#include "token/TokenInfo.h"

#include <QByteArray>
#include <QLibrary>
#include <QMutex>
#include <QString>

#include <cstdint>
#include <memory>

// The program's only way to the token-management library libZovevOdu.so: one operation per library function,
// taking the program's types, each logging its begin and end line around the call, and the composite operations
// several pages share. Codes come back as the library gave them; the binding's own failures are 100. One lock
// covers each call with its log lines, so the import worker and the window never interleave.
class TokenLibrary {
public:
    static constexpr int32_t BindingError = 100;
    static constexpr int32_t NoTokenFound = 1;
    static constexpr char LibraryName[] = "libZovevOdu.so";
    // The module's codes for a PIN the token refused: wrong, outside its length limits, blocked.
    static constexpr int32_t PinIncorrect = 0xA0;
    static constexpr int32_t PinLengthRange = 0xA2;
    static constexpr int32_t PinLocked = 0xA4;
    static bool isPinRefusal(int32_t rv) { return rv == PinIncorrect || rv == PinLengthRange || rv == PinLocked; }

    // Looks for the library in the program directory first, then in the system's library path.
    explicit TokenLibrary(const QString& programDirectory, OperationLog log = OperationLog());
    ~TokenLibrary();
    // False when the library or one of its functions is missing; every operation then returns 100.
    bool isLoaded() const { return m_loaded; }

    // Composite operations.
    int32_t OpenTokenLibrary(const QString& pkcs11Path, const QString& usbEnumString, const QString& oemId,
                             const QString& appName);
    // What made OpenTokenLibrary fail with rv, for a person to read: which file could not be opened and what the
    // loader said, or which code the module's initialization returned.
    QString OpeningFailure(const QString& pkcs11Path, int32_t rv) const;
    // The PKCS#11 module the library was last asked to open, as located.
    QString modulePath() const { return m_modulePath; }
    int32_t FindAndConnectTokens(int32_t& count);
    int32_t LoadContainerList(int32_t index, TTokenInfo& info);
    int32_t ReadCertInfo(int32_t index, const QByteArray& container, int32_t usage, TTokenCertInfo& info);
    int32_t ReadCertificate(int32_t index, const QByteArray& container, int32_t usage, QByteArray& certificate);
    int32_t ReadPublicKeyAlgorithm(int32_t index, const QByteArray& container, int32_t usage, int32_t& algorithm);
    int32_t ReadPrivateKeyAlgorithm(int32_t index, const QByteArray& container, int32_t usage, int32_t& algorithm);
    int32_t SetTokenLabel(int32_t index, const QString& label);
    void WriteOperationLog(const QString& line) const { m_log.WriteOperationLog(line); }

    // One operation per library function.
    int32_t init_pkcs11(const QString& pkcs11Path);
    int32_t uninit_pkcs11();
    int32_t token_get_info_ex(int32_t index, TTokenInfo& info);
    int32_t token_reload_all_objects(int32_t index);
    // ZV_FEATURE_* bits; 0 when the call fails.
    int32_t token_get_features(int32_t index, uint32_t& features);
    int32_t token_login(int32_t index, const Pin& pin, int32_t& remaining);
    int32_t token_logout(int32_t index);
    int32_t token_get_pin_state(int32_t index, int32_t pinType, PinState& state);
    int32_t token_change_upin(int32_t index, const Pin& oldPin, const Pin& newPin);
    int32_t token_login_so(int32_t index, const Pin& soPin, int32_t& remaining);
    int32_t token_change_sopin(int32_t index, const Pin& oldSoPin, const Pin& newSoPin);
    int32_t token_set_upin(int32_t index, const Pin& soPin, const Pin& newUserPin);
    int32_t token_format(int32_t index, const uint8_t params[166]);
    int32_t token_write_sectors(int32_t index, int32_t firstSector, int32_t sectorCount, const uint8_t* data);
    int32_t container_create_new(int32_t index, const QByteArray& name);
    int32_t container_delete(int32_t index, const QByteArray& name);
    int32_t container_delete_cert(int32_t index, const QByteArray& name, int32_t usage);
    int32_t container_addcert_to_store(const QByteArray& container, const QString& cspName, int32_t usage,
                                       const QByteArray& certificate);
    int32_t pkcs12_file_parse(const QString& path, const Pin& password, int32_t& count);
    int32_t pkcs12_file_get_certinfo(int32_t certificateIndex, QString& subject, QString& issuer, int32_t& kind);
    int32_t pkcs12_import_certificate(int32_t index, const QByteArray& container, int32_t usage,
                                      int32_t certificateIndex);
    int32_t x509_import_certificate(int32_t index, const QByteArray& container, int32_t usage, const QString& path);
    int32_t p7b_file_parse(const QString& path, int32_t& count);
    int32_t p7b_file_get_certinfo(int32_t certificateIndex, QString& subject, QString& issuer, int32_t& kind);
    int32_t p7b_import_certificate(int32_t index, const QByteArray& container, int32_t usage, int32_t certificateIndex);
    int32_t helper_show_cert_ui(void* owner, const QByteArray& certificate);
    int32_t helper_add_root_cert_to_store(const QString& storeName, const QByteArray& certificate);
    int32_t helper_register_cert_viewer(zv_certificate_viewer viewer);

private:
    // Logs begin (when given), calls, logs "<name> end rtn=<code>"; 100 when the function is missing.
    template <typename Function, typename... Arguments>
    int32_t call(const char* name, const QString& begin, Function function, Arguments... arguments);

    template <typename Function>
    int32_t fileCertificateInfo(const char* name, Function function, int32_t certificateIndex, QString& subject,
                                QString& issuer, int32_t& kind);

    int32_t token_find(int32_t& count);
    int32_t token_connect(int32_t index);
    int32_t container_load_all(int32_t index, QByteArray& buffer, int32_t& length);
    int32_t container_get_cert(int32_t index, const QByteArray& name, int32_t usage, QByteArray& certificate,
                               int32_t& length, const char* logKey = "cont_id");
    int32_t container_get_pubkey(int32_t index, const QByteArray& name, int32_t usage, int32_t& algorithm,
                                 int32_t& bits, const char* logKey);
    int32_t container_get_prikey(int32_t index, const QByteArray& name, int32_t usage, int32_t& algorithm,
                                 int32_t& bits);
    int32_t helper_get_cert_info2(const QByteArray& certificate, TTokenCertInfo& info);

    QLibrary m_library;
    OperationLog m_log;
    mutable QMutex m_mutex;
    bool m_loaded = false;
    QString m_modulePath;

    struct Functions;
    std::unique_ptr<Functions> m_functions;
};
