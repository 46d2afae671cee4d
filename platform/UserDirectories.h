#pragma once

#include <QString>

// Where per-user files live on this desktop.
namespace UserDirectories {

// The application-data directory: $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config; empty when
// neither is known. No trailing separator.
QString appDataDirectory();

// A directory only this user can enter, for the program's sockets and lock files: $XDG_RUNTIME_DIR, else a folder
// in the temporary directory named after the uid, created with mode 0700. Empty when no safe directory exists (a
// folder of that name that another user owns, or that others may enter, is never used).
QString runtimeDirectory();

} // namespace UserDirectories
