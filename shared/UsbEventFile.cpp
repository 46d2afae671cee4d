#include "shared/UsbEventFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vtoken {
namespace {

constexpr char InterfaceClass[] = "{A5DCBF10-6530-11D2-901F-00C04FB951ED}";

bool knownId(int id) {
    return id >= 0 && id <= 0xFFFF;
}

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw std::system_error(errno, std::generic_category(), "usb events: cannot " + what + " " + path);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

void makeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    ::mkdir(path.c_str(), 0700);
}

// One write() for the whole line: the reader must never see half of it followed by another writer's line.
void writeLine(int fd, const std::string& line, const std::string& path) {
    const ssize_t written = ::write(fd, line.data(), line.size());
    if (written == ssize_t(line.size()))
        return;
    if (written >= 0)
        errno = ENOSPC;
    fail("write", path);
}

// The file holds enough history: the line becomes the whole of a new file, which replaces it in one rename.
void startAfresh(const std::string& folder, const std::string& path, const std::string& line) {
    std::string temporary = folder + "/." + UsbEventFileName + ".XXXXXX";
    const FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC)); // mode 0600
    if (fd.get() < 0)
        fail("create a file in", folder);
    try {
        writeLine(fd.get(), line, temporary);
        if (::rename(temporary.c_str(), path.c_str()) != 0)
            fail("replace", path);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

} // namespace

std::string usbInterfacePath(int vendorId, int productId, const std::string& serial) {
    std::string path = "\\\\?\\USB#";
    if (knownId(vendorId) && knownId(productId)) {
        char ids[sizeof "VID_xxxx&PID_xxxx"];
        std::snprintf(ids, sizeof ids, "VID_%04X&PID_%04X", unsigned(vendorId), unsigned(productId));
        path += ids;
    } else {
        path += "UNKNOWN";
    }
    path += '#';
    for (const unsigned char c : serial)
        path += c <= 0x20 || c >= 0x7F || c == ',' || c == '#' ? '_' : char(c);
    path += '#';
    path += InterfaceClass;
    return path;
}

std::string usbEventFolder() {
    if (const char* home = std::getenv("VTOKEN_HOME"); home && *home)
        return home;
    if (const char* user = std::getenv("HOME"); user && *user)
        return std::string(user) + "/.local/share/vtoken";
    return {};
}

void appendUsbEvent(const std::string& folder, bool arrival, int vendorId, int productId, const std::string& serial) {
    if (folder.empty()) {
        errno = ENOENT;
        fail("write", std::string("./") + UsbEventFileName);
    }
    const std::string line =
        std::string(arrival ? "arrival " : "removal ") + usbInterfacePath(vendorId, productId, serial) + '\n';
    const std::string path = folder + '/' + UsbEventFileName;
    makeDirectories(folder);
    for (;;) {
        const FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
        if (fd.get() < 0)
            fail("open", path);
        while (::flock(fd.get(), LOCK_EX) != 0)
            if (errno != EINTR)
                fail("lock", path);
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd.get(), &opened) != 0)
            fail("read", path);
        if (::stat(path.c_str(), &named) != 0) {
            if (errno == ENOENT)
                continue; // removed while this writer waited for the lock
            fail("read", path);
        }
        // Another writer started the file afresh while this one waited for the lock: the line belongs in the new one.
        if (named.st_dev != opened.st_dev || named.st_ino != opened.st_ino)
            continue;
        if (size_t(opened.st_size) > UsbEventFileLimit)
            startAfresh(folder, path, line);
        else
            writeLine(fd.get(), line, path);
        return;
    }
}

} // namespace vtoken
