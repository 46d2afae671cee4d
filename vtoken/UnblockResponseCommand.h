#pragma once

#include "vtoken/CommandLine.h"

namespace vtoken {

// unblock-response: the issuer's answer to a token's remote unblock request.
const Command& unblockResponseCommand();

} // namespace vtoken
