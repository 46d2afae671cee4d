#pragma once

#include <QString>

#include <cstdint>

// The version the system check shows for a library file.
namespace LibraryVersion {

// A PKCS#11 module's own version (C_GetInfo's library version) when the file is one, else the version its file name
// carries once symbolic links are followed ("libx.so.1.2.3" gives "1.2.3"). Empty for no file or no version, "-1"
// when the file cannot be loaded. A module this process already uses is asked without being loaded or finalized
// again.
QString text(const QString& path);

// Major and minor as the check writes them: 1.2 gives "1.02", 1.10 gives "1.10".
QString versionText(uint8_t major, uint8_t minor);

} // namespace LibraryVersion
