#pragma once

#include <QString>

// The workstation's operating system as the system check names it.
namespace OperatingSystem {

// The distribution's PRETTY_NAME (from the text of os-release; "Linux" without one), the kernel release, and
// " (x64)" on a 64-bit system or " (x86)" on a 32-bit one: "Debian GNU/Linux 12 (bookworm) 6.1.0-18-amd64 (x64)".
QString name(const QString& osRelease, const QString& kernelRelease, bool is64Bit);
// The same for this machine: /etc/os-release (else /usr/lib/os-release) and uname.
QString name();

// Whether the kernel runs a 64-bit machine, whatever this program was built for.
bool is64Bit();

} // namespace OperatingSystem
