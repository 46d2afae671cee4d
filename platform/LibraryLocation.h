#pragma once

#include <QString>

// Where to load a shared library named by the profile or by the program: a name or relative path is looked for in
// the program directory first and otherwise left to the system's library search; an absolute path stays as it is.
// Backslashes written by a Windows-minded installer are read as "/".
QString LibraryLocation(const QString& programDirectory, const QString& name);

// The system's directory of native shared libraries (/usr/lib/x86_64-linux-gnu on a 64-bit PC), and that of the
// 32-bit ones on a 64-bit system where it exists (/usr/lib/i386-linux-gnu); empty where there is none.
QString NativeLibraryDirectory();
QString ThirtyTwoBitLibraryDirectory();

// Where the program finds a library named by the profile, as LibraryLocation does, with the system's search
// standing for the given directory: beside the program (unless programDirectory is empty), else in directory; an
// absolute path as it is. Empty when no such file exists.
QString InstalledLibrary(const QString& programDirectory, const QString& name, const QString& directory);
