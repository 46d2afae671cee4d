#pragma once

#include "vtoken/CommandLine.h"

namespace vtoken {

// cdrom dump: the whole CD-ROM partition, to a file or to standard output.
const Command& cdromDumpCommand();

} // namespace vtoken
