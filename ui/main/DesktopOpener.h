#pragma once

#include <QString>

#include <functional>

// What the desktop opens for the program: web addresses, mail addresses, files, each with the handler the user chose
// for it. The target is handed over as it stands.
namespace DesktopOpener {

// False when the desktop has no handler for target or could not start it.
bool open(const QString& target);
// The default browser asked for target, for an address that the desktop could not open: false when it could not be
// started.
bool openInBrowser(const QString& target);

// Tests see the requests instead of the desktop: each gives the target and whether the browser was asked, and answers
// what the desktop would. An empty function puts the desktop back.
void setForTests(std::function<bool(const QString& target, bool browser)> opener);

} // namespace DesktopOpener
