// The library's certificate-file and certificate helper functions.
#include "shared/CertificateDatabase.h"
#include "tokenlib/LibraryState.h"

#include <cctype>
#include <cstring>

using namespace zv;

namespace {

constexpr size_t NameUnits = 257;

// Copies UTF-8 text into a fixed buffer, cut at a character boundary so the text stays valid.
void copyUtf8(char* destination, size_t size, const std::string& text) {
    size_t length = std::min(text.size(), size - 1);
    while (length > 0 && length < text.size() && (uint8_t(text[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(destination, text.data(), length);
    destination[length] = '\0';
}

void copyUtf16(uint16_t* destination, size_t size, const std::string& text) {
    size_t written = 0;
    for (size_t at = 0; at < text.size() && written + 1 < size;) {
        const uint8_t lead = uint8_t(text[at]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        if (at + size_t(extra) >= text.size() + (extra ? 0 : 1))
            break;
        uint32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        for (int i = 1; i <= extra; ++i)
            code = code << 6 | (uint8_t(text[at + size_t(i)]) & 0x3F);
        at += size_t(extra) + 1;
        if (code >= 0x10000) {
            if (written + 2 >= size)
                break;
            code -= 0x10000;
            destination[written++] = uint16_t(0xD800 | (code >> 10));
            destination[written++] = uint16_t(0xDC00 | (code & 0x3FF));
        } else {
            destination[written++] = uint16_t(code);
        }
    }
    destination[written] = 0;
}

void copyDate(int32_t* fields, const CertificateDate& date) {
    const int32_t values[9] = {date.year, date.month, date.day, date.hour, date.minute, date.second, 0, 0, 0};
    std::memcpy(fields, values, sizeof values);
}

int32_t parsedCertificateInfo(LibraryState& state, int32_t certificateIndex, char* subject, char* issuer,
                              int32_t* kind) {
    if (!subject || !issuer || !kind)
        return ZV_ERR_ARGUMENTS;
    if (!state.parsedFile)
        return ZV_ERR_NO_PARSED_FILE;
    if (certificateIndex < 0 || size_t(certificateIndex) >= state.parsedFile->certificates.size())
        return ZV_ERR_CERT_INDEX;
    const Bytes& der = state.parsedFile->certificates[size_t(certificateIndex)].der;
    CertificateSummary summary;
    if (const int32_t rv = summarizeCertificate(der.data(), der.size(), summary); rv != ZV_OK)
        return rv;
    copyUtf8(subject, NameUnits, summary.subject);
    copyUtf8(issuer, NameUnits, summary.issuer);
    *kind = summary.kind;
    return ZV_OK;
}

// Keeps a parsed file, or forgets the previous one when the parse failed.
int32_t keepParsed(LibraryState& state, int32_t rv, CertificateFile& file, int32_t* count) {
    state.parsedFile.reset();
    if (rv != ZV_OK)
        return rv;
    *count = int32_t(file.certificates.size());
    state.parsedFile = std::move(file);
    return ZV_OK;
}

} // namespace

ZV_EXPORT int32_t pkcs12_file_parse(const char* path, const char* password, int32_t* count) {
    return locked([&](LibraryState& state) -> int32_t {
        if (!path || !password || !count)
            return ZV_ERR_ARGUMENTS;
        CertificateFile file;
        const int32_t rv = CertificateFile::parsePkcs12(path, password, file);
        return keepParsed(state, rv, file, count);
    });
}

ZV_EXPORT int32_t pkcs12_file_get_certinfo(int32_t certificateIndex, char subject[257], char issuer[257],
                                           int32_t* kind) {
    return locked([&](LibraryState& state) -> int32_t {
        return parsedCertificateInfo(state, certificateIndex, subject, issuer, kind);
    });
}

ZV_EXPORT int32_t p7b_file_parse(const char* path, int32_t* count) {
    return locked([&](LibraryState& state) -> int32_t {
        if (!path || !count)
            return ZV_ERR_ARGUMENTS;
        CertificateFile file;
        const int32_t rv = CertificateFile::parsePkcs7(path, file);
        return keepParsed(state, rv, file, count);
    });
}

ZV_EXPORT int32_t p7b_file_get_certinfo(int32_t certificateIndex, char subject[257], char issuer[257], int32_t* kind) {
    return locked([&](LibraryState& state) -> int32_t {
        return parsedCertificateInfo(state, certificateIndex, subject, issuer, kind);
    });
}

ZV_EXPORT int32_t helper_get_cert_info2(const uint8_t* certificate, int32_t certificateLength, uint16_t subject[257],
                                        uint16_t issuer[257], int32_t* version, char serial[257], int32_t validFrom[9],
                                        int32_t validTo[9], int32_t* kind) {
    return locked([&](LibraryState&) -> int32_t {
        if (!certificate || certificateLength <= 0 || !subject || !issuer || !version || !serial || !validFrom ||
            !validTo || !kind)
            return ZV_ERR_ARGUMENTS;
        CertificateSummary summary;
        if (const int32_t rv = summarizeCertificate(certificate, size_t(certificateLength), summary); rv != ZV_OK)
            return rv;
        copyUtf16(subject, NameUnits, summary.subject);
        copyUtf16(issuer, NameUnits, summary.issuer);
        *version = summary.version;
        copyUtf8(serial, NameUnits, summary.serial);
        copyDate(validFrom, summary.validFrom);
        copyDate(validTo, summary.validTo);
        *kind = summary.kind;
        return ZV_OK;
    });
}

ZV_EXPORT int32_t helper_register_cert_viewer(zv_certificate_viewer viewer) {
    return locked([&](LibraryState& state) -> int32_t {
        state.viewer = viewer;
        return ZV_OK;
    });
}

ZV_EXPORT int32_t helper_show_cert_ui(void* owner, const uint8_t* certificate, int32_t certificateLength) {
    if (!certificate || certificateLength <= 0)
        return ZV_ERR_ARGUMENTS;
    zv_certificate_viewer viewer = nullptr;
    locked([&](LibraryState& state) -> int32_t {
        viewer = state.viewer;
        return ZV_OK;
    });
    // The viewer runs a dialog whose events may call back into the library, so it runs without the lock.
    return viewer ? viewer(owner, certificate, certificateLength) : ZV_ERR_NOT_SUPPORTED;
}

ZV_EXPORT int32_t helper_add_root_cert_to_store(const uint16_t* storeName, const uint8_t* certificate,
                                                int32_t certificateLength) {
    return locked([&](LibraryState&) -> int32_t {
        if (!storeName || !certificate || certificateLength <= 0)
            return ZV_ERR_ARGUMENTS;
        std::string store;
        // Store names match without regard to case, as system store names always have.
        for (const uint16_t* unit = storeName; *unit && store.size() < 8; ++unit)
            store += *unit < 0x80 ? char(std::toupper(*unit)) : '?';
        if (store != "ROOT" && store != "CA")
            return ZV_ERR_ARGUMENTS;
        return CertificateDatabase::addAuthorityCertificate(Bytes(certificate, certificate + certificateLength),
                                                            store == "ROOT");
    });
}

ZV_EXPORT int32_t container_addcert_to_store(const char* containerName, const char* cspName, int32_t usage,
                                             int32_t certificateLength, const uint8_t* certificate) {
    return locked([&](LibraryState&) -> int32_t {
        if (!containerName || !cspName || !certificate || certificateLength <= 0 || (usage != 1 && usage != 2))
            return ZV_ERR_ARGUMENTS;
        return CertificateDatabase::addUserCertificate(Bytes(certificate, certificate + certificateLength), cspName,
                                                       containerName, usage);
    });
}
