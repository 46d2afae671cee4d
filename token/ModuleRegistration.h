#pragma once

#include <QString>

// The token's PKCS#11 module registered for the current user, so that browsers and other programs reach the keys on
// the token themselves: p11-kit's user module folder (GnuTLS tools, and every program that goes through p11-kit) and
// the user's NSS database (Firefox, Chromium).
namespace ModuleRegistration {

// The module's file as a canonical absolute path. The profile's PKCS11Lib, as LibraryLocation returned it, may be a
// bare name left to the system's library search; the token library has loaded it already, so the loader says which
// file that was. An absolute path is made canonical. Empty when the file cannot be told (not loaded, or missing).
QString absoluteModulePath(const QString& located);

// Registers the module at modulePath (absolute) once: a p11-kit module file in the user's folder unless a module
// file there or in the system's folders names it already, and an entry in the user's NSS module list (added by
// modutil in a process of its own) unless the list has it. Calling it again changes nothing. Failures are silent and
// leave no half-written file.
void registerForUser(const QString& modulePath);

// Whether the module at modulePath is registered for the user both ways: a p11-kit module file names it, and the
// user's NSS module list has it.
bool isRegisteredForUser(const QString& modulePath);

} // namespace ModuleRegistration
