#pragma once

#include "vtoken/CommandLine.h"

namespace vtoken {

// finger: queues what a token's sensor sees next, or switches its auto mode.
const Command& fingerCommand();

} // namespace vtoken
