#include "vtoken/TokenCommands.h"

#include "shared/UsbEventFile.h"
#include "vtoken/DemoContent.h"
#include "vtoken/FingerSensor.h"
#include "vtoken/PinHash.h"

#include <openssl/rand.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace vtoken {
namespace {

constexpr int MaxRetries = 15;
constexpr int64_t ShortestPin = 4;
constexpr int64_t LongestPin = 32;
constexpr size_t LabelBytes = 32;
constexpr size_t ManufacturerBytes = 32;
constexpr size_t ModelBytes = 16;
constexpr int64_t MaxMemory = int64_t(1) << 40;
// 16 GiB: far beyond any real partition, and small enough that sector arithmetic never overflows.
constexpr int64_t MaxCdromSectors = int64_t(1) << 23;
constexpr std::string_view DefaultLabel = "VX7100";
constexpr std::string_view FactoryUserPin = "12345678";
constexpr std::string_view FactorySoPin = "87654321";

std::string checkSerial(std::string_view text) {
    const bool good = text.size() == 16 && std::all_of(text.begin(), text.end(), [](char c) {
                          return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
                      });
    if (!good)
        throw UsageError("--serial: '" + printable(text) + "' is not 16 letters and digits");
    return std::string(text);
}

std::string randomSerial() {
    std::vector<uint8_t> bytes(8);
    if (RAND_bytes(bytes.data(), int(bytes.size())) != 1)
        throw CommandFailure("no random numbers for a serial");
    return upperHex(bytes);
}

SensorKind parseSensor(std::string_view option, std::string_view text) {
    if (text == "none")
        return SensorKind::None;
    if (text == "fingerprint")
        return SensorKind::Fingerprint;
    if (text == "finger-vein")
        return SensorKind::FingerVein;
    throw UsageError(std::string(option) + ": '" + printable(text) + "' is not none, fingerprint or finger-vein");
}

std::string sensorName(SensorKind sensor) {
    switch (sensor) {
    case SensorKind::None:
        return "none";
    case SensorKind::Fingerprint:
        return "fingerprint";
    case SensorKind::FingerVein:
        return "finger-vein";
    }
    return "unknown (" + std::to_string(int(sensor)) + ")";
}

FingerListForm parseFingerList(std::string_view option, std::string_view text) {
    if (text == "flags")
        return FingerListForm::Flags;
    if (text == "identifiers")
        return FingerListForm::Identifiers;
    if (text == "identifiers-100")
        return FingerListForm::Identifiers100;
    throw UsageError(std::string(option) + ": '" + printable(text) + "' is not flags, identifiers or identifiers-100");
}

std::string fingerListName(FingerListForm form) {
    switch (form) {
    case FingerListForm::Flags:
        return "flags";
    case FingerListForm::Identifiers:
        return "identifiers";
    case FingerListForm::Identifiers100:
        return "identifiers-100";
    }
    return "unknown (" + std::to_string(int(form)) + ")";
}

std::string fingerList(uint32_t enrolled) {
    std::string text;
    for (int finger = 1; finger <= 10; ++finger) {
        if (enrolled & (1u << (finger - 1)))
            text += (text.empty() ? "" : ", ") + std::to_string(finger);
    }
    return text.empty() ? "none" : text;
}

std::string yesNo(bool value) {
    return value ? "yes" : "no";
}

std::string hex4(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", unsigned(value));
    return text;
}

void printLine(std::string_view key, const std::string& value) {
    if (value.empty())
        std::printf("%.*s:\n", int(key.size()), key.data());
    else
        std::printf("%.*s: %s\n", int(key.size()), key.data(), value.c_str());
}

// The PIN text never appears in the complaint.
void checkPinLength(std::string_view pin, const PinRecord& limits, std::string_view option, std::string_view who) {
    if (pin.size() < size_t(limits.minLength) || pin.size() > size_t(limits.maxLength))
        throw UsageError(std::string(option) + ": the " + std::string(who) + " PIN must be " +
                         std::to_string(limits.minLength) + " to " + std::to_string(limits.maxLength) + " bytes long");
}

// create's retries and length limits of one PIN; prefix is "--user" or "--so".
void readPinLimits(const Arguments& arguments, PinRecord& pin, const std::string& prefix) {
    if (const auto text = arguments.value(prefix + "-retries"))
        pin.retryMax = pin.retryLeft = int(parseNumber(prefix + "-retries", *text, 1, MaxRetries));
    if (const auto text = arguments.value(prefix + "-pin-min"))
        pin.minLength = int(parseNumber(prefix + "-pin-min", *text, ShortestPin, LongestPin));
    if (const auto text = arguments.value(prefix + "-pin-max"))
        pin.maxLength = int(parseNumber(prefix + "-pin-max", *text, ShortestPin, LongestPin));
    if (pin.minLength > pin.maxLength)
        throw UsageError(prefix + "-pin-min " + std::to_string(pin.minLength) + " is more than " + prefix +
                         "-pin-max " + std::to_string(pin.maxLength));
}

std::string hashNewPin(const Secret* given, std::string_view factory, const PinRecord& limits, std::string_view option,
                       std::string_view who) {
    if (given) {
        checkPinLength(given->view(), limits, option, who);
        return hashPin(given->view());
    }
    if (factory.size() < size_t(limits.minLength) || factory.size() > size_t(limits.maxLength))
        throw UsageError("the factory " + std::string(who) + " PIN does not fit these length limits; give " +
                         std::string(option));
    return hashPin(factory);
}

// What is past the end of a shrunk partition is overwritten with zeros, so that its content does not linger in the
// store and a later growth shows blank sectors, as a fresh partition would.
void blankSectors(Store& store, int64_t tokenId, int64_t first, int64_t end) {
    const std::vector<uint8_t> blank(Store::SectorSize, 0);
    for (int64_t chunk = first; chunk < end; chunk += CdromChunkSectors) {
        const int64_t count = std::min(CdromChunkSectors, end - chunk);
        const std::vector<uint8_t> data = store.readSectors(tokenId, chunk, count);
        for (int64_t sector = 0; sector < count; ++sector) {
            const auto begin = data.begin() + sector * Store::SectorSize;
            if (std::any_of(begin, begin + Store::SectorSize, [](uint8_t byte) { return byte != 0; }))
                store.writeSectors(tokenId, chunk + sector, blank);
        }
    }
}

// Tells the programs watching USB devices that a token arrived or went, as the kernel tells of a real one. The
// token's state has changed already; a notice that cannot be written is reported but undoes nothing.
void announce(const TokenRecord& token, bool arrival) {
    try {
        appendUsbEvent(usbEventFolder(), arrival, token.usbVendorId, token.usbProductId, token.serial);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vtoken: warning: the device watchers were not told: %s\n", error.what());
    }
}

int createCommand(const Arguments& arguments) {
    TokenRecord token;
    token.label = DefaultLabel;
    std::optional<std::string> serial;
    if (const auto text = arguments.value("--serial"))
        serial = checkSerial(*text);
    if (const auto text = arguments.value("--label"))
        token.label = checkTokenText("--label", *text, LabelBytes);
    if (const auto text = arguments.value("--manufacturer"))
        token.manufacturer = checkTokenText("--manufacturer", *text, ManufacturerBytes);
    if (const auto text = arguments.value("--model"))
        token.model = checkTokenText("--model", *text, ModelBytes);
    if (const auto text = arguments.value("--hardware"))
        std::tie(token.hardwareMajor, token.hardwareMinor) = parseVersion("--hardware", *text);
    if (const auto text = arguments.value("--firmware"))
        std::tie(token.firmwareMajor, token.firmwareMinor) = parseVersion("--firmware", *text);
    if (const auto text = arguments.value("--memory"))
        token.totalMemory = parseNumber("--memory", *text, 0, MaxMemory);
    if (const auto text = arguments.value("--cdrom-sectors"))
        token.cdromSectors = parseNumber("--cdrom-sectors", *text, 0, MaxCdromSectors);
    if (const auto text = arguments.value("--usb-vendor"))
        token.usbVendorId = int(parseNumber("--usb-vendor", *text, 0, 0xFFFF));
    if (const auto text = arguments.value("--usb-product"))
        token.usbProductId = int(parseNumber("--usb-product", *text, 0, 0xFFFF));
    if (const auto text = arguments.value("--sensor"))
        token.sensor = parseSensor("--sensor", *text);
    token.fingerList = defaultFingerList(token.sensor);
    if (const auto text = arguments.value("--finger-list"))
        token.fingerList = parseFingerList("--finger-list", *text);
    readPinLimits(arguments, token.userPin, "--user");
    readPinLimits(arguments, token.soPin, "--so");

    token.initialized = !arguments.has("--uninitialized");
    if (token.initialized)
        token.userPin.hash =
            hashNewPin(arguments.secret("--user-pin"), FactoryUserPin, token.userPin, "--user-pin", "user");
    else if (arguments.secret("--user-pin"))
        throw UsageError("--user-pin: an uninitialized token has no user PIN");
    token.soPin.hash = hashNewPin(arguments.secret("--so-pin"), FactorySoPin, token.soPin, "--so-pin", "SO");
    const bool demo = arguments.has("--demo");
    if (demo && !token.initialized)
        throw UsageError("--demo: an uninitialized token cannot hold content");
    // The demo content goes in through the PKCS#11 module, which serves plugged tokens only.
    if (arguments.has("--plugged") || demo) {
        token.plugged = true;
        token.plugCount = 1;
    }

    auto store = openStore();
    store->transaction([&] {
        if (serial) {
            if (store->tokenBySerial(*serial))
                throw CommandFailure("a token with serial " + *serial + " exists already");
            token.serial = *serial;
        } else {
            int attempts = 0;
            do {
                if (++attempts > 100)
                    throw CommandFailure("no unused serial found");
                token.serial = randomSerial();
            } while (store->tokenBySerial(token.serial));
        }
        token.id = store->insertToken(token);
    });
    if (demo) {
        const Secret* pin = arguments.secret("--user-pin");
        try {
            fillDemoContent(token.serial, pin ? pin->view() : FactoryUserPin);
        } catch (...) {
            store->deleteToken(token.id); // no half-filled token is left behind
            throw;
        }
        if (!arguments.has("--plugged")) {
            store->transaction([&] {
                TokenRecord filled = requireToken(*store, token.serial);
                filled.plugged = false;
                store->updateToken(filled);
            });
        }
    }
    if (arguments.has("--plugged"))
        announce(token, true);
    std::printf("%s\n", token.serial.c_str());
    return 0;
}

int listCommand(const Arguments&) {
    auto store = openStore();
    for (const TokenRecord& token : store->tokens())
        std::printf("%s\t%s\t%s\t%s\n", printable(token.serial).c_str(), token.plugged ? "plugged" : "unplugged",
                    printable(token.label).c_str(), sensorName(token.sensor).c_str());
    return 0;
}

int showCommand(const Arguments& arguments) {
    auto store = openStore();
    TokenRecord token;
    int64_t used = 0, sensorEvents = 0;
    size_t objectCount = 0;
    std::vector<uint8_t> unblockRequest;
    // One transaction, so the figures belong together even while the module writes.
    store->transaction([&] {
        token = requireToken(*store, arguments.positional()[0]);
        used = store->usedMemory(token.id);
        objectCount = store->objects(token.id).size();
        sensorEvents = store->sensorEventCount(token.id);
        unblockRequest = store->unblockRequest(token.id);
    });

    printLine("serial", printable(token.serial));
    printLine("label", printable(token.label));
    printLine("manufacturer", printable(token.manufacturer));
    printLine("model", printable(token.model));
    printLine("issuer", printable(token.issuer));
    printLine("hardware version", std::to_string(token.hardwareMajor) + "." + std::to_string(token.hardwareMinor));
    printLine("firmware version", std::to_string(token.firmwareMajor) + "." + std::to_string(token.firmwareMinor));
    printLine("memory total", std::to_string(token.totalMemory));
    printLine("memory used", std::to_string(used));
    printLine("memory free", std::to_string(std::max<int64_t>(0, token.totalMemory - used)));
    printLine("initialized", yesNo(token.initialized));
    for (const auto& [who, pin] : {std::pair{"user PIN", &token.userPin}, std::pair{"SO PIN", &token.soPin}}) {
        const std::string key = who;
        printLine(key + " set", yesNo(pin->isSet()));
        printLine(key + " min length", std::to_string(pin->minLength));
        printLine(key + " max length", std::to_string(pin->maxLength));
        printLine(key + " retries", std::to_string(pin->retryLeft) + " of " + std::to_string(pin->retryMax));
        printLine(key + " locked", yesNo(pin->locked()));
    }
    printLine("USB vendor ID", hex4(token.usbVendorId));
    printLine("USB product ID", hex4(token.usbProductId));
    printLine("plugged", yesNo(token.plugged));
    printLine("plug count", std::to_string(token.plugCount));
    printLine("sensor", sensorName(token.sensor));
    printLine("sensor auto", token.sensorAuto ? "on" : "off");
    printLine("sensor events queued", std::to_string(sensorEvents));
    printLine("finger list", fingerListName(token.fingerList));
    for (const auto& [who, fingers] :
         {std::pair{"user", &token.userFingers}, std::pair{"admin", &token.adminFingers}}) {
        const std::string key = who;
        printLine(key + " fingers", fingerList(fingers->enrolled));
        printLine(key + " finger retries",
                  std::to_string(fingers->retryLeft) + " of " + std::to_string(fingers->retryMax));
        printLine(key + " finger level", std::to_string(fingers->level));
    }
    // What a person at the token reads off the remote-unlock page.
    printLine("unblock request", unblockRequest.empty() ? "none" : upperHex(unblockRequest));
    printLine("CD-ROM sectors", std::to_string(token.cdromSectors));
    printLine("objects", std::to_string(objectCount));
    return 0;
}

int setPlugged(const std::string& serial, bool plugged) {
    auto store = openStore();
    TokenRecord token;
    bool changed = false;
    store->transaction([&] {
        token = requireToken(*store, serial);
        changed = token.plugged != plugged;
        if (!changed)
            return;
        token.plugged = plugged;
        if (plugged)
            ++token.plugCount;
        store->updateToken(token);
    });
    if (changed)
        announce(token, plugged);
    return 0;
}

int plugCommand(const Arguments& arguments) {
    return setPlugged(arguments.positional()[0], true);
}

int unplugCommand(const Arguments& arguments) {
    return setPlugged(arguments.positional()[0], false);
}

int removeCommand(const Arguments& arguments) {
    auto store = openStore();
    TokenRecord token;
    store->transaction([&] {
        token = requireToken(*store, arguments.positional()[0]);
        store->deleteToken(token.id);
    });
    if (token.plugged)
        announce(token, false);
    return 0;
}

// set's changes to one PIN, applied in this order: a new maximum, a new PIN (which restores every try), a forced
// count of tries left.
struct PinChange {
    std::optional<int> retryMax;
    std::optional<std::string> hash;
    std::optional<int> retryLeft;

    PinChange(const Arguments& arguments, const std::string& prefix) {
        if (const auto text = arguments.value(prefix + "-retries-max"))
            retryMax = int(parseNumber(prefix + "-retries-max", *text, 1, MaxRetries));
        if (const auto text = arguments.value(prefix + "-retries-left"))
            retryLeft = int(parseNumber(prefix + "-retries-left", *text, 0, MaxRetries));
        // Hashed here, outside the transaction, so the store stays locked only briefly.
        if (const Secret* pin = arguments.secret(prefix + "-pin"))
            hash = hashPin(pin->view());
    }

    void apply(PinRecord& pin, const Secret* newPin, const std::string& prefix, std::string_view who) const {
        if (retryMax) {
            pin.retryMax = *retryMax;
            pin.retryLeft = std::min(pin.retryLeft, pin.retryMax);
        }
        if (hash) {
            checkPinLength(newPin->view(), pin, prefix + "-pin", who);
            pin.hash = *hash;
            pin.retryLeft = pin.retryMax;
        }
        if (retryLeft) {
            if (*retryLeft > pin.retryMax)
                throw UsageError(prefix + "-retries-left: " + std::to_string(*retryLeft) + " is more than the " +
                                 std::string(who) + " PIN's maximum of " + std::to_string(pin.retryMax));
            pin.retryLeft = *retryLeft;
        }
    }
};

int setCommand(const Arguments& arguments) {
    if (arguments.noOptions())
        throw UsageError("set: nothing to change (try 'vtoken set --help')");
    std::optional<bool> initialized;
    std::optional<int64_t> memory, cdromSectors;
    std::optional<std::string> label;
    std::optional<SensorKind> sensor;
    std::optional<FingerListForm> fingerList;
    if (const auto text = arguments.value("--initialized"))
        initialized = parseYesNo("--initialized", *text);
    if (const auto text = arguments.value("--memory"))
        memory = parseNumber("--memory", *text, 0, MaxMemory);
    if (const auto text = arguments.value("--cdrom-sectors"))
        cdromSectors = parseNumber("--cdrom-sectors", *text, 0, MaxCdromSectors);
    if (const auto text = arguments.value("--label"))
        label = checkTokenText("--label", *text, LabelBytes);
    if (const auto text = arguments.value("--sensor"))
        sensor = parseSensor("--sensor", *text);
    if (const auto text = arguments.value("--finger-list"))
        fingerList = parseFingerList("--finger-list", *text);
    const PinChange userChange(arguments, "--user");
    const PinChange soChange(arguments, "--so");

    auto store = openStore();
    store->transaction([&] {
        TokenRecord token = requireToken(*store, arguments.positional()[0]);
        userChange.apply(token.userPin, arguments.secret("--user-pin"), "--user", "user");
        soChange.apply(token.soPin, arguments.secret("--so-pin"), "--so", "SO");
        token.initialized = initialized.value_or(token.initialized);
        token.totalMemory = memory.value_or(token.totalMemory);
        token.label = label.value_or(token.label);
        token.sensor = sensor.value_or(token.sensor);
        // A new sensor lists its fingers its own way unless told otherwise.
        if (fingerList || sensor)
            token.fingerList = fingerList.value_or(defaultFingerList(token.sensor));
        if (cdromSectors && *cdromSectors < token.cdromSectors) {
            if (*cdromSectors == 0)
                store->clearCdrom(token.id);
            else
                blankSectors(*store, token.id, *cdromSectors, token.cdromSectors);
        }
        token.cdromSectors = cdromSectors.value_or(token.cdromSectors);
        store->updateToken(token);
    });
    return 0;
}

constexpr OptionSpec CreateOptions[] = {
    {"--serial", OptionSpec::Value},
    {"--label", OptionSpec::Value},
    {"--user-pin", OptionSpec::SecretValue},
    {"--so-pin", OptionSpec::SecretValue},
    {"--user-retries", OptionSpec::Value},
    {"--so-retries", OptionSpec::Value},
    {"--user-pin-min", OptionSpec::Value},
    {"--user-pin-max", OptionSpec::Value},
    {"--so-pin-min", OptionSpec::Value},
    {"--so-pin-max", OptionSpec::Value},
    {"--usb-vendor", OptionSpec::Value},
    {"--usb-product", OptionSpec::Value},
    {"--sensor", OptionSpec::Value},
    {"--finger-list", OptionSpec::Value},
    {"--uninitialized", OptionSpec::Flag},
    {"--cdrom-sectors", OptionSpec::Value},
    {"--memory", OptionSpec::Value},
    {"--manufacturer", OptionSpec::Value},
    {"--model", OptionSpec::Value},
    {"--hardware", OptionSpec::Value},
    {"--firmware", OptionSpec::Value},
    {"--plugged", OptionSpec::Flag},
    {"--demo", OptionSpec::Flag},
};

constexpr OptionSpec SetOptions[] = {
    {"--user-retries-left", OptionSpec::Value},
    {"--so-retries-left", OptionSpec::Value},
    {"--user-retries-max", OptionSpec::Value},
    {"--so-retries-max", OptionSpec::Value},
    {"--initialized", OptionSpec::Value},
    {"--memory", OptionSpec::Value},
    {"--label", OptionSpec::Value},
    {"--user-pin", OptionSpec::SecretValue},
    {"--so-pin", OptionSpec::SecretValue},
    {"--sensor", OptionSpec::Value},
    {"--finger-list", OptionSpec::Value},
    {"--cdrom-sectors", OptionSpec::Value},
};

constexpr std::string_view CreateHelp = R"(Usage: vtoken create [OPTIONS]

Creates a virtual token and prints its serial. PINs are kept only as salted hashes.

  --serial S            16 letters and digits (default: a random unused hexadecimal serial)
  --label L             at most 32 bytes of UTF-8 (default VX7100)
  --user-pin P          the user PIN (default: the factory user PIN)
  --so-pin P            the SO PIN (default: the factory SO PIN)
                        a PIN given as - is read from a line of standard input, as @FILE from the first line
                        of FILE, so that it never stands in the command line
  --user-retries N      tries before the user PIN locks, 1 to 15 (default 10)
  --so-retries N        tries before the SO PIN locks, 1 to 15 (default 10)
  --user-pin-min N      shortest user PIN, 4 to 32 (default 4)
  --user-pin-max N      longest user PIN, 4 to 32 (default 16)
  --so-pin-min N        shortest SO PIN, 4 to 32 (default 4)
  --so-pin-max N        longest SO PIN, 4 to 32 (default 16)
  --usb-vendor ID       USB vendor ID, 0 to 0xFFFF (default 0x1D99)
  --usb-product ID      USB product ID, 0 to 0xFFFF (default 0x0101)
  --sensor KIND         none, fingerprint or finger-vein (default none)
  --finger-list FORM    how the SKF library lists enrolled fingers: flags (ten bytes, one per finger),
                        identifiers (the enrolled finger numbers in ten bytes) or identifiers-100 (in a hundred)
                        (default: identifiers for finger-vein, else flags)
  --uninitialized       a token never initialized: no user PIN, the SO PIN as from the factory
  --cdrom-sectors N     size of the CD-ROM partition in 2048-byte sectors (default 0: none)
  --memory BYTES        memory for objects (default 262144)
  --manufacturer TEXT   at most 32 bytes (default Quorvex)
  --model TEXT          at most 16 bytes (default VX7100)
  --hardware M.m        hardware version (default 1.0)
  --firmware M.m        firmware version (default 1.0)
  --plugged             plug the token in at once
  --demo                fill the token with demo containers, keys and certificates of a demo CA
)";

constexpr std::string_view ListHelp = R"(Usage: vtoken list

Prints one line per token, its fields separated by tabs: serial, plugged or unplugged, label, sensor.
)";

constexpr std::string_view ShowHelp = R"(Usage: vtoken show SERIAL

Prints everything about a token as "key: value" lines. PINs and the issuer key are never shown.
)";

constexpr std::string_view PlugHelp = R"(Usage: vtoken plug SERIAL

Plugs the token in, as if inserted into a USB port, and tells the programs watching USB devices (through the
file usb-events beside the store). Plugging a plugged token changes nothing.
)";

constexpr std::string_view UnplugHelp = R"(Usage: vtoken unplug SERIAL

Pulls the token out; sessions on it end, and the programs watching USB devices are told. Unplugging an unplugged
token changes nothing.
)";

constexpr std::string_view RemoveHelp = R"(Usage: vtoken remove SERIAL

Deletes the token with its objects and its CD-ROM content.
)";

constexpr std::string_view SetHelp = R"(Usage: vtoken set SERIAL OPTIONS

Forces a token's state, for tests. All changes are made together or not at all.

  --user-retries-max N    tries the user PIN allows, 1 to 15 (tries left are cut down to it)
  --so-retries-max N      tries the SO PIN allows, 1 to 15
  --user-retries-left N   tries left for the user PIN, 0 (locked) to its maximum
  --so-retries-left N     tries left for the SO PIN, 0 (locked) to its maximum
  --user-pin P            a new user PIN; its tries left go back to the maximum
  --so-pin P              a new SO PIN; its tries left go back to the maximum
                          (a PIN given as - is read from a line of standard input, as @FILE from the first
                          line of FILE)
  --initialized yes|no    whether the token counts as initialized
  --memory BYTES          memory for objects
  --label L               at most 32 bytes of UTF-8
  --sensor KIND           none, fingerprint or finger-vein; the finger list takes the sensor's default form
  --finger-list FORM      flags, identifiers or identifiers-100
  --cdrom-sectors N       size of the CD-ROM partition in 2048-byte sectors; content past a smaller size is erased
)";

constexpr Command Commands[] = {
    {"create", CreateHelp, CreateOptions, 0, "", createCommand},
    {"list", ListHelp, {}, 0, "", listCommand},
    {"show", ShowHelp, {}, 1, "SERIAL", showCommand},
    {"plug", PlugHelp, {}, 1, "SERIAL", plugCommand},
    {"unplug", UnplugHelp, {}, 1, "SERIAL", unplugCommand},
    {"remove", RemoveHelp, {}, 1, "SERIAL", removeCommand},
    {"set", SetHelp, SetOptions, 1, "SERIAL", setCommand},
};

} // namespace

std::span<const Command> tokenCommands() {
    return Commands;
}

std::unique_ptr<Store> openStore() {
    const auto isSet = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    // Without either, the store would silently land in whatever folder the command runs in.
    if (!isSet("VTOKEN_HOME") && !isSet("HOME"))
        throw CommandFailure("neither VTOKEN_HOME nor HOME is set, so there is no place for the store");
    const std::string path = Store::defaultPath();
    try {
        return std::make_unique<Store>(path);
    } catch (const StoreError& error) {
        const std::string message = error.what();
        throw StoreError(message.find(path) == std::string::npos ? message + " (" + path + ")" : message);
    }
}

TokenRecord requireToken(Store& store, const std::string& serial) {
    std::optional<TokenRecord> token = store.tokenBySerial(serial);
    if (!token)
        throw CommandFailure("no token with serial " + printable(serial));
    return *token;
}

} // namespace vtoken
