#pragma once

#include "shared/Secret.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vtoken {

using secrets::Secret;

// The command line is wrong: exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The command line was fine but the work could not be done (an unknown serial, a serial already taken): exit 1.
class CommandFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    enum Kind { Flag, Value, SecretValue };
    std::string_view name; // with its leading "--"
    Kind kind;
};

// The options and positional arguments of one command, checked against the options the command knows. Accepts
// "--name value" and "--name=value"; the last of a repeated option wins.
class Arguments {
public:
    // Throws UsageError for an unknown option or a missing value, unless help is asked for anywhere. The text of
    // every secret value is wiped from args, so it does not linger where other processes can read the command line.
    Arguments(std::span<char*> args, std::span<const OptionSpec> known);

    bool helpRequested() const { return m_help; }
    const std::vector<std::string>& positional() const { return m_positional; }
    bool has(std::string_view name) const;
    std::optional<std::string> value(std::string_view name) const;
    const Secret* secret(std::string_view name) const;
    // True when no option at all was given.
    bool noOptions() const { return m_values.empty() && m_secrets.empty() && m_flags.empty(); }

private:
    bool m_help = false;
    std::vector<std::string> m_positional;
    std::vector<std::string> m_flags;
    std::map<std::string, std::string, std::less<>> m_values;
    std::map<std::string, Secret, std::less<>> m_secrets;
};

// One command of vtoken: its words ("cdrom dump"), its help text, its options and its work.
struct Command {
    std::string_view name;
    std::string_view help;
    std::span<const OptionSpec> options;
    size_t positionalCount;
    std::string_view positionalName; // named in the complaint when the count is wrong
    int (*run)(const Arguments& arguments);
    size_t optionalPositionalCount = 0; // positional arguments the command may take beyond positionalCount
};

// A whole number, decimal or hexadecimal with 0x, from min to max.
int64_t parseNumber(std::string_view option, std::string_view text, int64_t min, int64_t max);
// "major.minor", each 0 to 255.
std::pair<int, int> parseVersion(std::string_view option, std::string_view text);
bool parseYesNo(std::string_view option, std::string_view text);

// Text the token reports in a fixed, blank-padded field: 1 to maxBytes bytes of valid UTF-8, no control characters,
// no trailing blank (the padding would swallow it).
std::string checkTokenText(std::string_view option, std::string_view text, size_t maxBytes);
bool isValidUtf8(std::string_view text);

// Text made safe for one output line: control bytes become \xNN.
std::string printable(std::string_view text);

// Two upper-case hexadecimal digits a byte, as serials, requests and responses are written.
std::string upperHex(std::span<const uint8_t> bytes);

} // namespace vtoken
