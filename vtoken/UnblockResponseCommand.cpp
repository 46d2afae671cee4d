#include "vtoken/UnblockResponseCommand.h"

#include "vtoken/RemoteUnblock.h"
#include "vtoken/TokenCommands.h"

#include <cstdio>

namespace vtoken {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<uint8_t> parseChallenge(std::string_view text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; text.size() == 2 * UnblockRequestBytes && i < text.size(); i += 2) {
        const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            break;
        bytes.push_back(uint8_t(high * 16 + low));
    }
    if (bytes.size() != UnblockRequestBytes)
        throw UsageError("unblock-response: CHALLENGE '" + printable(text) + "' is not 16 hexadecimal digits");
    return bytes;
}

int runUnblockResponse(const Arguments& arguments) {
    const std::vector<uint8_t> request = parseChallenge(arguments.positional()[1]);
    auto store = openStore();
    const TokenRecord token = requireToken(*store, arguments.positional()[0]);
    std::printf("%s\n", upperHex(unblockResponse(store->issuerKey(token.id), request, token.serial)).c_str());
    return 0;
}

constexpr std::string_view UnblockResponseHelp = R"(Usage: vtoken unblock-response SERIAL CHALLENGE

Answers a remote unblock request as the token's issuer does: CHALLENGE is the request the token drew, 16 hexadecimal
digits; the answer printed, 32 hexadecimal digits, gives the user PIN its tries back once the token is handed it.
Each token has its own issuer key, never shown; the answer fits one request of one token.
)";

constexpr Command UnblockResponse = {"unblock-response",     UnblockResponseHelp, {}, 2,
                                     "SERIAL and CHALLENGE", runUnblockResponse};

} // namespace

const Command& unblockResponseCommand() {
    return UnblockResponse;
}

} // namespace vtoken
