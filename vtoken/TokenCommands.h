#pragma once

#include "vtoken/CommandLine.h"
#include "vtoken/Store.h"

#include <memory>
#include <span>
#include <string>

namespace vtoken {

// The CD-ROM partition is read and written this many sectors at a time (512 KiB), never whole.
inline constexpr int64_t CdromChunkSectors = 256;

// create, list, show, plug, unplug, remove and set.
std::span<const Command> tokenCommands();

// The store at its usual place. Refuses to guess one when neither VTOKEN_HOME nor HOME says where it is.
std::unique_ptr<Store> openStore();

// The token with this serial; CommandFailure when there is none.
TokenRecord requireToken(Store& store, const std::string& serial);

} // namespace vtoken
