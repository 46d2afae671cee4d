#pragma once

#include <string>
#include <string_view>

namespace vtoken {

// Fills a plugged, initialized token with what a person should see on first starting the token manager: a
// container with a key-exchange and a signature RSA-2048 pair, one with an EC P-256 signature pair, and the root
// and issuing CA certificates of a small demo CA, each in a container of its own. Everything goes in through the
// token-management library's import functions, exactly as the program writes it. Throws CommandFailure.
void fillDemoContent(const std::string& serial, std::string_view userPin);

} // namespace vtoken
