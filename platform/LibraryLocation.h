#pragma once

#include <QString>

// Where to load a shared library named by the profile or by the program: a name or relative path is looked for in
// the program directory first and otherwise left to the system's library search; an absolute path stays as it is.
// Backslashes written by a Windows-minded installer are read as "/".
QString LibraryLocation(const QString& programDirectory, const QString& name);
