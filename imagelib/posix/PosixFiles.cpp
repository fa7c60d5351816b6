#include "PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/Limits.h"
#include "io/ConvertFileFlow.h"

namespace tfi {
namespace {

const char kTempPattern[] = ".tfi-XXXXXX";
constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kPermissionBits = 0777;

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    int fd_;
};

bool readAll(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A replaced file keeps its permission bits (not set-id or sticky bits, which a file written by
// us should not inherit); a new one is readable by all and writable by its owner.
mode_t modeFor(const std::string& destination) {
    struct stat info;
    if (::stat(destination.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & kPermissionBits;
    return kNewFileMode;
}

// Makes the rename itself survive a power loss. Best effort: the destination is already
// replaced, and some file systems refuse to sync a folder.
void syncFolder(const std::string& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}


} // namespace

Result PosixFiles::readWholeFile(const Path& path, std::vector<uint8_t>& out) {
    // A FIFO or a device is refused before it is opened; opening without blocking covers one
    // put in the file's place meanwhile, since opening a FIFO to read waits for a writer.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return ERCI_ERR_READ_SOURCE;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return ERCI_ERR_READ_SOURCE;
    if (static_cast<uint64_t>(info.st_size) > kMaxSourceFileBytes)
        return ERCI_ERR_TOO_LARGE;
    out.resize(static_cast<size_t>(info.st_size));
    return readAll(fd.get(), out.data(), out.size()) ? ERCI_OK : ERCI_ERR_READ_SOURCE;
}

Result PosixFiles::replaceFile(const Path& destination, const std::vector<uint8_t>& data) {
    std::string temp = folderOf(destination) + "/" + kTempPattern;
    UniqueFd fd(::mkstemp(&temp[0]));
    if (!fd.valid())
        return ERCI_ERR_WRITE_DESTINATION;
    // On the disk before it replaces anything: otherwise a crash soon after the rename can
    // leave the user an empty file where the old one was.
    const bool written = ::fchmod(fd.get(), modeFor(destination)) == 0 &&
                         writeAll(fd.get(), data.data(), data.size()) && ::fsync(fd.get()) == 0;
    if (!fd.close() || !written || ::rename(temp.c_str(), destination.c_str()) != 0) {
        ::unlink(temp.c_str());
        return ERCI_ERR_WRITE_DESTINATION;
    }
    syncFolder(folderOf(destination));
    return ERCI_OK;
}

Result convertFile(const std::string& source, const std::string& destination, const std::string& option) {
    return convertFileWith<PosixFiles>(source, destination, option);
}

} // namespace tfi
