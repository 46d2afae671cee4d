#include "vtoken/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace vtoken {
namespace {

// Longer than any PIN or password a token takes.
constexpr size_t MaximumSecretLine = 1024;

std::string quoted(std::string_view text) {
    return "'" + printable(text) + "'";
}

// The first line read from a descriptor, without its line end; none when nothing can be read. Read a byte at a time
// into one buffer that is wiped afterwards, so no copy of the PIN stays in a stream's buffer or a grown string.
std::optional<Secret> firstLine(int descriptor) {
    char line[MaximumSecretLine];
    size_t length = 0;
    char byte = 0;
    ssize_t got = 0;
    while (length < sizeof line && (got = ::read(descriptor, &byte, 1)) == 1 && byte != '\n')
        line[length++] = byte;
    std::optional<Secret> secret;
    if (length > 0 || got == 1) {
        if (length > 0 && line[length - 1] == '\r')
            --length;
        secret.emplace(std::string_view(line, length));
    }
    OPENSSL_cleanse(line, sizeof line);
    return secret;
}

// A secret option's value: "-" is the next line of standard input and "@FILE" the first line of FILE, so that a
// PIN need not stand in the command line, where every local user can read it while the command runs.
std::optional<Secret> secretFrom(const char* value) {
    if (std::strcmp(value, "-") == 0)
        return firstLine(STDIN_FILENO);
    if (value[0] != '@')
        return Secret(value);
    const int file = ::open(value + 1, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    std::optional<Secret> secret = firstLine(file);
    ::close(file);
    return secret;
}

} // namespace

Arguments::Arguments(std::span<char*> args, std::span<const OptionSpec> known) {
    // The first complaint is kept rather than thrown at once, so that --help anywhere still gets help.
    std::optional<std::string> complaint;
    const auto complain = [&complaint](std::string text) {
        if (!complaint)
            complaint = std::move(text);
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "-h" || arg == "--help") {
            m_help = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            m_positional.emplace_back(arg);
            continue;
        }
        if (arg[1] != '-') {
            complain("unknown option " + quoted(arg));
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        const auto spec =
            std::find_if(known.begin(), known.end(), [name](const OptionSpec& o) { return o.name == name; });
        if (spec == known.end()) {
            complain("unknown option " + quoted(name));
            continue;
        }
        if (spec->kind == OptionSpec::Flag) {
            if (equals != std::string_view::npos)
                complain(std::string(name) + " takes no value");
            else
                m_flags.emplace_back(name);
            continue;
        }

        char* valueText = nullptr;
        if (equals != std::string_view::npos) {
            valueText = args[i] + equals + 1;
        } else if (i + 1 < args.size() && std::strncmp(args[i + 1], "--", 2) != 0) {
            // A following "--option" is far more likely a forgotten value than a value; "--name=--x" still works.
            valueText = args[++i];
        } else {
            complain(std::string(name) + " needs a value");
            continue;
        }
        if (spec->kind == OptionSpec::SecretValue) {
            std::optional<Secret> secret = secretFrom(valueText);
            if (!secret)
                complain(std::string(name) + ": cannot read " + quoted(valueText[0] == '@' ? valueText + 1 : "stdin"));
            std::memset(valueText, 0, std::strlen(valueText));
            m_secrets.erase(std::string(name));
            if (secret)
                m_secrets.emplace(std::string(name), std::move(*secret));
        } else {
            m_values.insert_or_assign(std::string(name), std::string(valueText));
        }
    }
    if (complaint && !m_help)
        throw UsageError(*complaint);
}

bool Arguments::has(std::string_view name) const {
    return m_values.count(name) || m_secrets.count(name) ||
           std::find(m_flags.begin(), m_flags.end(), name) != m_flags.end();
}

std::optional<std::string> Arguments::value(std::string_view name) const {
    const auto found = m_values.find(name);
    if (found == m_values.end())
        return std::nullopt;
    return found->second;
}

const Secret* Arguments::secret(std::string_view name) const {
    const auto found = m_secrets.find(name);
    return found == m_secrets.end() ? nullptr : &found->second;
}

int64_t parseNumber(std::string_view option, std::string_view text, int64_t min, int64_t max) {
    int base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    // from_chars alone would take a leading minus sign; only plain digits are numbers here.
    const bool allDigits = !digits.empty() && std::all_of(digits.begin(), digits.end(), [base](char c) {
        return (c >= '0' && c <= '9') || (base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    });
    if (!allDigits)
        throw UsageError(std::string(option) + ": " + quoted(text) + " is not a number");
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (error == std::errc::result_out_of_range || value > uint64_t(max) || int64_t(value) < min)
        throw UsageError(std::string(option) + ": " + quoted(text) + " is out of range (" + std::to_string(min) +
                         " to " + std::to_string(max) + ")");
    if (error != std::errc() || end != digits.data() + digits.size())
        throw UsageError(std::string(option) + ": " + quoted(text) + " is not a number");
    return int64_t(value);
}

std::pair<int, int> parseVersion(std::string_view option, std::string_view text) {
    const size_t dot = text.find('.');
    const auto part = [&](std::string_view digits) {
        const bool plain = !digits.empty() && digits.size() <= 3 &&
                           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        int value = 0;
        if (plain)
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (!plain || value > 255)
            throw UsageError(std::string(option) + ": " + quoted(text) +
                             " is not a version (major.minor, each 0 to 255)");
        return value;
    };
    if (dot == std::string_view::npos)
        part({});
    return {part(text.substr(0, dot)), part(text.substr(dot + 1))};
}

bool parseYesNo(std::string_view option, std::string_view text) {
    if (text == "yes")
        return true;
    if (text == "no")
        return false;
    throw UsageError(std::string(option) + ": " + quoted(text) + " is neither yes nor no");
}

bool isValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t codePoint = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        }
        if ((byte & 0xE0) == 0xC0) {
            length = 2;
            codePoint = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3;
            codePoint = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4;
            codePoint = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        static constexpr uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < Smallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string checkTokenText(std::string_view option, std::string_view text, size_t maxBytes) {
    const std::string prefix = std::string(option) + ": ";
    if (text.empty())
        throw UsageError(prefix + "must not be empty");
    if (text.size() > maxBytes)
        throw UsageError(prefix + quoted(text) + " is longer than " + std::to_string(maxBytes) + " bytes");
    if (!isValidUtf8(text))
        throw UsageError(prefix + "is not valid UTF-8");
    if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        throw UsageError(prefix + quoted(text) + " contains a control character");
    if (text.back() == ' ')
        throw UsageError(prefix + quoted(text) + " ends with a blank");
    return std::string(text);
}

std::string upperHex(std::span<const uint8_t> bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::string printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace vtoken
