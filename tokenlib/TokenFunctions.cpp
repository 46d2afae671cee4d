// The library's token functions: opening the module, finding and connecting tokens, their figures, PINs, label,
// format and CD-ROM partition.
#include "tokenlib/LibraryState.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>
#include <tuple>
#include <utility>

using namespace zv;

namespace {

constexpr int32_t MaximumTokens = 32;
constexpr size_t FindBufferBytes = 128;
constexpr size_t FormatBlockBytes = 166;
constexpr size_t FormatTextBytes = 32;
constexpr size_t LabelBytes = 32;
constexpr int32_t SectorChunk = 256; // sectors the module writes in one call: 512 KiB
constexpr size_t SectorBytes = 2048;

std::string_view trimmedField(const CK_UTF8CHAR* field, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(field), size);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.remove_suffix(1);
    return text;
}

void copyText(char* destination, size_t size, std::string_view text) {
    std::memset(destination, 0, size);
    std::memcpy(destination, text.data(), std::min(size - 1, text.size()));
}

int32_t clampFigure(CK_ULONG value) {
    if (value == CK_UNAVAILABLE_INFORMATION || value == CK_EFFECTIVELY_INFINITE)
        return 0;
    return int32_t(std::min<CK_ULONG>(value, INT32_MAX));
}

// Memory the module cannot tell is unknown (-1), never made up: a 0 would read as a full token.
int32_t memoryFigure(CK_ULONG value) {
    if (value == CK_UNAVAILABLE_INFORMATION)
        return -1;
    return int32_t(std::min<CK_ULONG>(value, INT32_MAX));
}

int32_t version(CK_VERSION value) {
    return value.major * 256 + value.minor;
}

CK_UTF8CHAR_PTR utf8(const char* text) {
    return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(text));
}

// Tries left for a PIN: exact from the vendor extension, otherwise what the flags tell (0 locked, 1 final try),
// and -1 when the module cannot say.
int32_t remainingTries(LibraryState& state, const ConnectedToken& token, CK_USER_TYPE user) {
    if (const VX_VENDOR_EXTENSION* extension = state.module->extension()) {
        VX_PIN_STATE pin{};
        if (extension->GetPinState(token.slot, user, &pin) == CKR_OK)
            return int32_t(pin.remaining);
    }
    CK_TOKEN_INFO info;
    if (state.module->functions()->C_GetTokenInfo(token.slot, &info) != CKR_OK)
        return -1;
    const bool so = user == CKU_SO;
    if (info.flags & (so ? CKF_SO_PIN_LOCKED : CKF_USER_PIN_LOCKED))
        return 0;
    if (info.flags & (so ? CKF_SO_PIN_FINAL_TRY : CKF_USER_PIN_FINAL_TRY))
        return 1;
    return -1;
}

// The length limits of a PIN, minimum then maximum. PKCS#11 has one pair, ulMinPinLen and ulMaxPinLen, for both
// PINs: without the extension's own figures for each PIN (from its version 1.1 on), that pair stands for both.
std::pair<int32_t, int32_t> pinLengths(LibraryState& state, const ConnectedToken& token, CK_USER_TYPE user,
                                       const CK_TOKEN_INFO& info) {
    const VX_VENDOR_EXTENSION* extension = state.module->extension();
    if (extension && extension->version.minor >= 1 && extension->GetPinLengths) {
        CK_ULONG minimum = 0, maximum = 0;
        if (extension->GetPinLengths(token.slot, user, &minimum, &maximum) == CKR_OK)
            return {clampFigure(minimum), clampFigure(maximum)};
    }
    return {clampFigure(info.ulMinPinLen), clampFigure(info.ulMaxPinLen)};
}

// Every login changes what the session sees, so the token's container snapshot goes with it.
CK_RV login(LibraryState& state, ConnectedToken& token, CK_USER_TYPE user, const char* pin) {
    token.snapshot.reset();
    CK_FUNCTION_LIST_PTR p11 = state.module->functions();
    // An empty PIN on a token with a sensor means a login by finger, of the user or of the SO.
    CK_TOKEN_INFO info;
    const bool byFinger = *pin == '\0' && p11->C_GetTokenInfo(token.slot, &info) == CKR_OK &&
                          (info.flags & CKF_PROTECTED_AUTHENTICATION_PATH);
    const auto attempt = [&] {
        return byFinger ? p11->C_Login(token.session, user, nullptr, 0)
                        : p11->C_Login(token.session, user, utf8(pin), CK_ULONG(std::strlen(pin)));
    };
    CK_RV rv = attempt();
    // Somebody being logged in already proves nothing of this PIN or finger: it is checked from a fresh start.
    if (rv == CKR_USER_ALREADY_LOGGED_IN || rv == CKR_USER_ANOTHER_ALREADY_LOGGED_IN) {
        p11->C_Logout(token.session);
        rv = attempt();
    }
    return byFinger && rv == VX_CKR_FINGER_CAPTURE_FAILED ? CK_RV(ZV_ERR_FINGER_CAPTURE_FAILED) : rv;
}

// Logs in as SO for one change and out again, leaving nobody logged in.
template <typename Change>
int32_t asSecurityOfficer(LibraryState& state, ConnectedToken& token, const char* soPin, Change&& change) {
    CK_FUNCTION_LIST_PTR p11 = state.module->functions();
    p11->C_Logout(token.session);
    CK_RV rv = login(state, token, CKU_SO, soPin);
    if (rv != CKR_OK)
        return int32_t(rv);
    rv = change(p11);
    p11->C_Logout(token.session);
    return int32_t(rv);
}

// A text of the format block: up to 32 bytes, ended by the first zero byte.
std::string_view blockText(const uint8_t* params, size_t offset) {
    const auto* text = reinterpret_cast<const char*>(params + offset);
    return {text, strnlen(text, FormatTextBytes)};
}

// The extension writes the whole block; soPin is the proven SO PIN, empty on a token never initialized.
CK_RV formatByExtension(const VX_VENDOR_EXTENSION* extension, const ConnectedToken& token, const uint8_t* params,
                        std::string_view soPin) {
    VX_FORMAT_PARAMS format{};
    const auto field = [&](CK_UTF8CHAR* into, size_t offset) {
        const std::string_view text = blockText(params, offset);
        std::memcpy(into, text.data(), text.size());
    };
    field(format.label, 0);
    field(format.manufacturer, 32);
    field(format.issuer, 64);
    field(format.soPin, 96);
    field(format.userPin, 128);
    format.userPinRetries = params[160];
    format.soPinRetries = params[161];
    format.userPinMinLength = params[162];
    format.userPinMaxLength = params[163];
    format.soPinMinLength = params[164];
    format.soPinMaxLength = params[165];
    const CK_RV rv =
        extension->FormatToken(token.slot, reinterpret_cast<const CK_UTF8CHAR*>(soPin.data()), soPin.size(), &format);
    OPENSSL_cleanse(&format, sizeof format);
    return rv;
}

// What plain PKCS#11 can do of a format: C_InitToken with the SO PIN that authorizes it (it becomes the SO PIN of
// a token never initialized) and the label, then, as the SO, the new SO PIN and the new user PIN. Manufacturer,
// issuer, retry counts and PIN lengths stay as the token has them. The token's session is closed for C_InitToken,
// which allows none, and opened anew. soPinChanged tells that the token's SO PIN is no longer soPin, even when a
// later step failed.
CK_RV formatPlainly(LibraryState& state, ConnectedToken& token, const CK_TOKEN_INFO& info, const uint8_t* params,
                    std::string_view soPin, bool& soPinChanged) {
    CK_FUNCTION_LIST_PTR p11 = state.module->functions();
    const std::string_view newSoPin = blockText(params, 96), userPin = blockText(params, 128);
    // Checked before anything is wiped: a PIN the token refused afterwards would leave it without one.
    const int32_t shortest = std::max(1, clampFigure(info.ulMinPinLen)), longest = clampFigure(info.ulMaxPinLen);
    for (const std::string_view pin : {newSoPin, userPin})
        if (pin.size() < size_t(shortest) || (longest > 0 && pin.size() > size_t(longest)))
            return CKR_PIN_LEN_RANGE;
    CK_UTF8CHAR label[LabelBytes];
    std::memset(label, ' ', sizeof label);
    const std::string_view labelText = blockText(params, 0);
    std::memcpy(label, labelText.data(), labelText.size());

    if (token.session != CK_INVALID_HANDLE)
        p11->C_CloseSession(token.session);
    token.session = CK_INVALID_HANDLE;
    CK_RV rv = p11->C_InitToken(token.slot, utf8(soPin.data()), CK_ULONG(soPin.size()), label);
    const CK_RV opened =
        p11->C_OpenSession(token.slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &token.session);
    if (opened != CKR_OK)
        token.session = CK_INVALID_HANDLE; // a token still never initialized may have none, as at token_connect
    if (rv != CKR_OK)
        return rv;
    if (opened != CKR_OK)
        return opened;
    rv = p11->C_Login(token.session, CKU_SO, utf8(soPin.data()), CK_ULONG(soPin.size()));
    if (rv == CKR_OK && newSoPin != soPin) {
        rv = p11->C_SetPIN(token.session, utf8(soPin.data()), CK_ULONG(soPin.size()), utf8(newSoPin.data()),
                           CK_ULONG(newSoPin.size()));
        soPinChanged = rv == CKR_OK;
    }
    if (rv == CKR_OK)
        rv = p11->C_InitPIN(token.session, utf8(userPin.data()), CK_ULONG(userPin.size()));
    p11->C_Logout(token.session);
    return rv;
}

} // namespace

ZV_EXPORT int32_t init_pkcs11(const char* pkcs11Path) {
    return locked([&](LibraryState& state) -> int32_t {
        if (!pkcs11Path)
            return ZV_ERR_ARGUMENTS;
        state.closeSessions();
        state.module.reset();
        return ModuleConnection::open(pkcs11Path, state.module);
    });
}

ZV_EXPORT int32_t init_pkcs11_ex(const char*, const char*, const char*, const char* pkcs11Path) {
    return init_pkcs11(pkcs11Path);
}

ZV_EXPORT int32_t uninit_pkcs11(void) {
    return locked([&](LibraryState& state) -> int32_t {
        state.closeSessions();
        state.module.reset();
        state.parsedFile.reset();
        return ZV_OK;
    });
}

ZV_EXPORT int32_t token_find(char* buffer, int32_t* count) {
    return locked([&](LibraryState& state) -> int32_t {
        if (!buffer || !count || *count < 0)
            return ZV_ERR_ARGUMENTS;
        if (!state.module)
            return ZV_ERR_NOT_INITIALIZED;
        CK_FUNCTION_LIST_PTR p11 = state.module->functions();
        state.closeSessions();
        CK_ULONG found = 0;
        CK_RV rv = p11->C_GetSlotList(CK_TRUE, nullptr, &found);
        std::vector<CK_SLOT_ID> slots(found);
        if (rv == CKR_OK && found)
            rv = p11->C_GetSlotList(CK_TRUE, slots.data(), &found);
        if (rv != CKR_OK)
            return int32_t(rv);
        slots.resize(std::min<CK_ULONG>(found, CK_ULONG(std::min(*count, MaximumTokens))));
        // The buffer gets the serial numbers, each zero-terminated, as many as fit.
        std::memset(buffer, 0, FindBufferBytes);
        size_t used = 0;
        for (CK_SLOT_ID slot : slots) {
            state.tokens.push_back(ConnectedToken{slot, false, CK_INVALID_HANDLE, std::nullopt, std::nullopt});
            CK_TOKEN_INFO info;
            if (p11->C_GetTokenInfo(slot, &info) != CKR_OK)
                continue;
            const std::string_view serial = trimmedField(info.serialNumber, sizeof info.serialNumber);
            if (used + serial.size() + 1 > FindBufferBytes)
                continue;
            std::memcpy(buffer + used, serial.data(), serial.size());
            used += serial.size() + 1;
        }
        *count = int32_t(slots.size());
        return ZV_OK;
    });
}

ZV_EXPORT int32_t token_connect(int32_t index) {
    return locked([&](LibraryState& state) -> int32_t {
        if (!state.module)
            return ZV_ERR_NOT_INITIALIZED;
        if (index < 0 || size_t(index) >= state.tokens.size())
            return ZV_ERR_TOKEN_INDEX;
        ConnectedToken& token = state.tokens[size_t(index)];
        CK_FUNCTION_LIST_PTR p11 = state.module->functions();
        if (token.session != CK_INVALID_HANDLE)
            p11->C_CloseSession(token.session);
        token.session = CK_INVALID_HANDLE;
        token.connected = false;
        token.provenSoPin.reset();
        token.snapshot.reset();
        CK_RV rv =
            p11->C_OpenSession(token.slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &token.session);
        // A token that was never initialized is a token all the same: it shows, and it can be formatted.
        CK_TOKEN_INFO info;
        if (rv == CKR_TOKEN_NOT_RECOGNIZED && p11->C_GetTokenInfo(token.slot, &info) == CKR_OK &&
            !(info.flags & CKF_TOKEN_INITIALIZED)) {
            token.session = CK_INVALID_HANDLE;
            rv = CKR_OK;
        }
        token.connected = rv == CKR_OK;
        return int32_t(rv);
    });
}

ZV_EXPORT int32_t token_get_info_ex(int32_t index, char serial[33], char label[129], char manufacturer[65],
                                    char model[65], int32_t* maxPinLength, int32_t* minPinLength,
                                    int32_t* maxSoPinLength, int32_t* minSoPinLength, int32_t* totalMemory,
                                    int32_t* freeMemory, int32_t* hardwareVersion, int32_t* firmwareVersion,
                                    int32_t* initialized, int32_t* sensorKind) {
    return onToken(
        index,
        [&](LibraryState& state, ConnectedToken& token) -> int32_t {
            if (!serial || !label || !manufacturer || !model || !maxPinLength || !minPinLength || !maxSoPinLength ||
                !minSoPinLength || !totalMemory || !freeMemory || !hardwareVersion || !firmwareVersion ||
                !initialized || !sensorKind)
                return ZV_ERR_ARGUMENTS;
            CK_TOKEN_INFO info;
            if (const CK_RV rv = state.module->functions()->C_GetTokenInfo(token.slot, &info); rv != CKR_OK)
                return int32_t(rv);
            copyText(serial, 33, trimmedField(info.serialNumber, sizeof info.serialNumber));
            copyText(label, 129, trimmedField(info.label, sizeof info.label));
            copyText(manufacturer, 65, trimmedField(info.manufacturerID, sizeof info.manufacturerID));
            copyText(model, 65, trimmedField(info.model, sizeof info.model));
            std::tie(*minPinLength, *maxPinLength) = pinLengths(state, token, CKU_USER, info);
            std::tie(*minSoPinLength, *maxSoPinLength) = pinLengths(state, token, CKU_SO, info);
            *totalMemory = memoryFigure(info.ulTotalPublicMemory);
            *freeMemory = memoryFigure(info.ulFreePublicMemory);
            *hardwareVersion = version(info.hardwareVersion);
            *firmwareVersion = version(info.firmwareVersion);
            *initialized = (info.flags & CKF_TOKEN_INITIALIZED) ? 1 : 0;
            *sensorKind = (info.flags & CKF_PROTECTED_AUTHENTICATION_PATH) ? 1 : 0;
            return ZV_OK;
        },
        TokenUse::Slot);
}

ZV_EXPORT int32_t token_reload_all_objects(int32_t index) {
    return onToken(index, [&](LibraryState&, ConnectedToken& token) -> int32_t {
        token.snapshot.reset();
        return ZV_OK;
    });
}

ZV_EXPORT int32_t token_get_features(int32_t index, uint32_t* features) {
    return onToken(
        index,
        [&](LibraryState& state, ConnectedToken&) -> int32_t {
            if (!features)
                return ZV_ERR_ARGUMENTS;
            *features = state.module->extension() ? ZV_FEATURE_VENDOR_EXTENSION : 0;
            return ZV_OK;
        },
        TokenUse::Slot);
}

ZV_EXPORT int32_t token_login(int32_t index, const char* pin, int32_t* remaining) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!pin || !remaining)
            return ZV_ERR_ARGUMENTS;
        const CK_RV rv = login(state, token, CKU_USER, pin);
        if (rv != CKR_OK)
            *remaining = remainingTries(state, token, CKU_USER);
        return int32_t(rv);
    });
}

ZV_EXPORT int32_t token_logout(int32_t index) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        token.snapshot.reset(); // what the session sees changes
        const CK_RV rv = state.module->functions()->C_Logout(token.session);
        return rv == CKR_USER_NOT_LOGGED_IN ? ZV_OK : int32_t(rv);
    });
}

ZV_EXPORT int32_t token_get_pin_state(int32_t index, int32_t pinType, int32_t pinState[6]) {
    return onToken(
        index,
        [&](LibraryState& state, ConnectedToken& token) -> int32_t {
            if (!pinState || (pinType != 0 && pinType != 1))
                return ZV_ERR_ARGUMENTS;
            std::fill(pinState, pinState + 6, 0);
            const CK_USER_TYPE user = pinType == 1 ? CKU_USER : CKU_SO;
            CK_TOKEN_INFO info;
            if (const CK_RV rv = state.module->functions()->C_GetTokenInfo(token.slot, &info); rv != CKR_OK)
                return int32_t(rv);
            pinState[0] = remainingTries(state, token, user);
            pinState[1] = -1;
            if (const VX_VENDOR_EXTENSION* extension = state.module->extension()) {
                VX_PIN_STATE pin{};
                if (extension->GetPinState(token.slot, user, &pin) == CKR_OK)
                    pinState[1] = int32_t(pin.maximum);
            }
            std::tie(pinState[2], pinState[3]) = pinLengths(state, token, user, info);
            pinState[4] = (info.flags & (user == CKU_SO ? CKF_SO_PIN_LOCKED : CKF_USER_PIN_LOCKED)) ? 1 : 0;
            pinState[5] = user == CKU_SO ? ((info.flags & CKF_TOKEN_INITIALIZED) ? 1 : 0)
                                         : ((info.flags & CKF_USER_PIN_INITIALIZED) ? 1 : 0);
            return ZV_OK;
        },
        TokenUse::Slot);
}

ZV_EXPORT int32_t token_change_upin(int32_t index, const char* oldPin, const char* newPin) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!oldPin || !newPin)
            return ZV_ERR_ARGUMENTS;
        return int32_t(state.module->functions()->C_SetPIN(token.session, utf8(oldPin), std::strlen(oldPin),
                                                           utf8(newPin), std::strlen(newPin)));
    });
}

ZV_EXPORT int32_t token_login_so(int32_t index, const char* soPin, int32_t* remaining) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!soPin || !remaining)
            return ZV_ERR_ARGUMENTS;
        const CK_RV rv = login(state, token, CKU_SO, soPin);
        if (rv != CKR_OK) {
            // Whoever failed here is not the SO that an earlier login proved: a format waits for a new proof.
            token.provenSoPin.reset();
            *remaining = remainingTries(state, token, CKU_SO);
            return int32_t(rv);
        }
        // A login by finger proves no SO PIN that a later format could present.
        if (*soPin != '\0')
            token.provenSoPin.emplace(soPin);
        return ZV_OK;
    });
}

ZV_EXPORT int32_t token_change_sopin(int32_t index, const char* oldSoPin, const char* newSoPin) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!oldSoPin || !newSoPin)
            return ZV_ERR_ARGUMENTS;
        const int32_t rv = asSecurityOfficer(state, token, oldSoPin, [&](CK_FUNCTION_LIST_PTR p11) {
            return p11->C_SetPIN(token.session, utf8(oldSoPin), std::strlen(oldSoPin), utf8(newSoPin),
                                 std::strlen(newSoPin));
        });
        // An SO PIN proven before is the old one now: a format presents the new one instead of spending a try.
        if (rv == ZV_OK && token.provenSoPin)
            token.provenSoPin.emplace(newSoPin);
        return rv;
    });
}

ZV_EXPORT int32_t token_set_upin(int32_t index, const char* soPin, const char* newUserPin) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (!soPin || !newUserPin)
            return ZV_ERR_ARGUMENTS;
        return asSecurityOfficer(state, token, soPin, [&](CK_FUNCTION_LIST_PTR p11) {
            return p11->C_InitPIN(token.session, utf8(newUserPin), std::strlen(newUserPin));
        });
    });
}

ZV_EXPORT int32_t token_set_label(int32_t index, const char label[64]) {
    return onToken(
        index,
        [&](LibraryState& state, ConnectedToken& token) -> int32_t {
            if (!label)
                return ZV_ERR_ARGUMENTS;
            const VX_VENDOR_EXTENSION* extension = state.module->extension();
            // Plain PKCS#11 renames a token only by initializing it, which would wipe it.
            if (!extension)
                return ZV_ERR_NOT_SUPPORTED;
            const size_t length = strnlen(label, 64);
            if (length == 0 || length > 32)
                return ZV_ERR_ARGUMENTS;
            return int32_t(extension->SetTokenLabel(token.slot, reinterpret_cast<const CK_UTF8CHAR*>(label), length));
        },
        TokenUse::Slot);
}

ZV_EXPORT int32_t token_format(int32_t index, const uint8_t params[166]) {
    return onToken(
        index,
        [&](LibraryState& state, ConnectedToken& token) -> int32_t {
            if (!params)
                return ZV_ERR_ARGUMENTS;
            CK_TOKEN_INFO info;
            if (const CK_RV rv = state.module->functions()->C_GetTokenInfo(token.slot, &info); rv != CKR_OK)
                return int32_t(rv);
            // A guessed SO PIN would spend one of its tries, so none is presented that a login did not prove. A
            // token never initialized has no SO PIN to prove.
            const bool initialized = info.flags & CKF_TOKEN_INITIALIZED;
            if (initialized && !token.provenSoPin)
                return ZV_ERR_SO_NOT_LOGGED_IN;
            token.snapshot.reset(); // what the session sees changes
            const std::string_view soPin = token.provenSoPin ? token.provenSoPin->view() : std::string_view();
            CK_RV rv = CKR_OK;
            bool soPinChanged = false;
            if (const VX_VENDOR_EXTENSION* extension = state.module->extension())
                rv = formatByExtension(extension, token, params, soPin);
            else
                rv = formatPlainly(state, token, info, params, initialized ? soPin : blockText(params, 96),
                                   soPinChanged);
            // The proven SO PIN is spent by a format, and worth nothing once the token refused it or holds
            // another: presented again, it would cost a try.
            if (rv == CKR_OK || rv == CKR_PIN_INCORRECT || rv == CKR_PIN_LOCKED || soPinChanged)
                token.provenSoPin.reset();
            return int32_t(rv);
        },
        TokenUse::Slot);
    static_assert(FormatBlockBytes == 166);
}

ZV_EXPORT int32_t token_write_sectors(int32_t index, int32_t firstSector, int32_t sectorCount, const uint8_t* data) {
    return onToken(index, [&](LibraryState& state, ConnectedToken& token) -> int32_t {
        if (firstSector < 0 || sectorCount < 0 || (!data && sectorCount))
            return ZV_ERR_ARGUMENTS;
        const VX_VENDOR_EXTENSION* extension = state.module->extension();
        if (!extension)
            return ZV_ERR_NOT_SUPPORTED;
        // Chunk by chunk, as a token takes a partition image; a write of nothing still asks the module, which
        // checks the login and the position.
        int32_t done = 0;
        do {
            const int32_t count = std::min(SectorChunk, sectorCount - done);
            const CK_RV rv =
                extension->WriteCdromSectors(token.session, CK_ULONG(firstSector) + CK_ULONG(done), CK_ULONG(count),
                                             data ? data + size_t(done) * SectorBytes : nullptr);
            if (rv != CKR_OK)
                return int32_t(rv);
            done += count;
        } while (done < sectorCount);
        return ZV_OK;
    });
}
