#pragma once

#include <cstddef>
#include <string>

// How plugging and unplugging a virtual token reaches the program: the vtoken command appends one line per event to
// an event file that the program's device watcher reads, and the watcher turns each line into the same device
// arrival or removal a real USB token gives.
//
// The file is <folder>/usb-events, the folder being the one that holds the store (see usbEventFolder). It is UTF-8,
// one event per line, each line ending in LF:
//
//     arrival <interface path>
//     removal <interface path>
//
// An interface path looks like a Windows USB device interface path (see usbInterfacePath). Each line goes in with
// a single write() under O_APPEND and an exclusive flock(), so lines never interleave. Once the file has grown
// beyond UsbEventFileLimit bytes, the next line starts it afresh: it is written to a temporary file in the same
// folder, which is then renamed over the event file. A reader therefore keeps the file's identity (device and inode)
// with its offset, starts again at offset 0 when the identity changes or the file becomes shorter than the offset,
// and ignores lines longer than UsbEventLineLimit bytes and lines it cannot read.
//
// Plain C++ and POSIX: the vtoken command and the program both use it.
namespace vtoken {

constexpr char UsbEventFileName[] = "usb-events";
constexpr std::size_t UsbEventFileLimit = 64 * 1024;
constexpr std::size_t UsbEventLineLimit = 1024;

// Vendor and product ids outside 0..0xFFFF stand for "not known".
constexpr int UnknownUsbId = -1;

// \\?\USB#VID_xxxx&PID_xxxx#<serial>#{A5DCBF10-6530-11D2-901F-00C04FB951ED}, the ids as four upper-case hexadecimal
// digits. When either id is not known, the device part reads "UNKNOWN" and carries no PID_. As Windows does with
// instance ids, every byte of the serial that is a blank, a control character, not ASCII, ',' or '#' becomes '_',
// so a path never holds a line break or a stray separator.
std::string usbInterfacePath(int vendorId, int productId, const std::string& serial);

// $VTOKEN_HOME, else $HOME/.local/share/vtoken; empty when neither variable is set.
std::string usbEventFolder();

// Appends one event line to <folder>/usb-events, creating the folder (mode 0700) and the file (mode 0600) when
// missing. Throws std::system_error when the line cannot be written whole.
void appendUsbEvent(const std::string& folder, bool arrival, int vendorId, int productId, const std::string& serial);

} // namespace vtoken
