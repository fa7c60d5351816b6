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

bool readAllAt(int fd, uint64_t offset, uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        offset += static_cast<uint64_t>(n);
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

Result PosixSource::open(const std::string& path) {
    close();
    // A FIFO or a device is refused before it is opened; opening without blocking covers one
    // put in the file's place meanwhile, since opening a FIFO to read waits for a writer.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return ERCI_ERR_READ_SOURCE;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        close();
        return ERCI_ERR_READ_SOURCE;
    }
    size_ = static_cast<uint64_t>(info.st_size);
    return ERCI_OK;
}

void PosixSource::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool PosixSource::readAt(uint64_t offset, uint8_t* out, size_t length) {
    return fd_ >= 0 && offset <= size_ && length <= size_ - offset && readAllAt(fd_, offset, out, length);
}

Result PosixFiles::replaceFileFrom(const Path& destination, const Fill& fill) {
    std::string temp = folderOf(destination) + "/" + kTempPattern;
    UniqueFd fd(::mkstemp(&temp[0]));
    if (!fd.valid())
        return ERCI_ERR_WRITE_DESTINATION;
    HandleSink<int> sink(fd.get(), writeAll);
    Result r = ::fchmod(fd.get(), modeFor(destination)) == 0 ? fill(sink) : ERCI_ERR_WRITE_DESTINATION;
    // On the disk before it replaces anything: otherwise a crash soon after the rename can
    // leave the user an empty file where the old one was.
    if (r == ERCI_OK && ::fsync(fd.get()) != 0)
        r = ERCI_ERR_WRITE_DESTINATION;
    if (!fd.close() && r == ERCI_OK)
        r = ERCI_ERR_WRITE_DESTINATION;
    if (r == ERCI_OK && ::rename(temp.c_str(), destination.c_str()) != 0)
        r = ERCI_ERR_WRITE_DESTINATION;
    if (r != ERCI_OK) {
        ::unlink(temp.c_str());
        return r;
    }
    syncFolder(folderOf(destination));
    return ERCI_OK;
}

Result convertFile(const std::string& source, const std::string& destination, const std::string& option) {
    return convertFileWith<PosixFiles>(source, destination, option);
}

} // namespace tfi
