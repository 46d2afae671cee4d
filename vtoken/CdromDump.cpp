#include "vtoken/CdromDump.h"

#include "vtoken/TokenCommands.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vtoken {
namespace {

void writeAll(int fd, const std::vector<uint8_t>& data, const std::string& where) {
    const uint8_t* next = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw CommandFailure("cannot write " + where + ": " + std::strerror(errno));
        }
        next += written;
        left -= size_t(written);
    }
}

// The image goes into a temporary file beside the target and takes the target's name only once complete, so a
// failed dump never leaves a cut-off image where a whole one is expected.
class ImageFile {
public:
    explicit ImageFile(const std::string& path)
        : m_path(path), m_shownPath(printable(path)), m_temporary(path + ".XXXXXX") {
        m_fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);
        if (m_fd < 0)
            fail();
    }
    ~ImageFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_committed)
            ::unlink(m_temporary.c_str());
    }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    void write(const std::vector<uint8_t>& data) { writeAll(m_fd, data, m_shownPath); }

    void commit() {
        // mkostemp makes the file private; an image is an ordinary file and gets the usual mode.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(m_fd, 0666 & ~mask) != 0 || ::fsync(m_fd) != 0)
            fail();
        if (::close(std::exchange(m_fd, -1)) != 0)
            fail();
        if (::rename(m_temporary.c_str(), m_path.c_str()) != 0)
            fail();
        m_committed = true;
    }

private:
    [[noreturn]] void fail() { throw CommandFailure("cannot write " + m_shownPath + ": " + std::strerror(errno)); }

    std::string m_path;
    std::string m_shownPath;
    std::string m_temporary;
    int m_fd = -1;
    bool m_committed = false;
};

int dumpCommand(const Arguments& arguments) {
    const std::optional<std::string> output = arguments.value("--output");
    if (output && output->empty())
        throw UsageError("--output: needs a file name");
    const bool toStandardOutput = !output || *output == "-";
    if (toStandardOutput && ::isatty(STDOUT_FILENO))
        throw UsageError("cdrom dump: refusing to write a binary image to a terminal; give --output FILE or redirect");

    auto store = openStore();
    const TokenRecord token = requireToken(*store, arguments.positional()[0]);
    std::optional<ImageFile> file;
    if (!toStandardOutput)
        file.emplace(*output);
    for (int64_t first = 0; first < token.cdromSectors; first += CdromChunkSectors) {
        const std::vector<uint8_t> data =
            store->readSectors(token.id, first, std::min(CdromChunkSectors, token.cdromSectors - first));
        if (file)
            file->write(data);
        else
            writeAll(STDOUT_FILENO, data, "the standard output");
    }
    if (file)
        file->commit();
    return 0;
}

constexpr OptionSpec DumpOptions[] = {{"--output", OptionSpec::Value}};

constexpr std::string_view DumpHelp = R"(Usage: vtoken cdrom dump SERIAL [--output FILE]

Writes the token's whole CD-ROM partition (its sectors times 2048 bytes; sectors never written are zeros) to FILE,
or to the standard output when it is not a terminal.

  --output FILE   where the image goes; it appears there only once complete ("-": the standard output)
)";

constexpr Command DumpCommand = {"cdrom dump", DumpHelp, DumpOptions, 1, "SERIAL", dumpCommand};

} // namespace

const Command& cdromDumpCommand() {
    return DumpCommand;
}

} // namespace vtoken
