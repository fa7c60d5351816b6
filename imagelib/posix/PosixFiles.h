// Source reading, whole or in pieces, and all-or-nothing replacement on POSIX systems.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Result.h"
#include "core/SourceFile.h"
#include "io/FileLayer.h"

namespace tfi {

// A regular file open for reading; a FIFO or a device is refused (ERCI_ERR_READ_SOURCE).
class PosixSource : public SourceFile {
public:
    PosixSource() = default;
    ~PosixSource() override { close(); }
    PosixSource(const PosixSource&) = delete;
    PosixSource& operator=(const PosixSource&) = delete;

    Result open(const std::string& path);
    void close();
    uint64_t size() const override { return size_; }
    bool readAt(uint64_t offset, uint8_t* out, size_t length) override;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

struct PosixFiles : FileLayer<PosixFiles> {
    using Path = std::string;
    using Source = PosixSource;
    // Writes the new content into the sink it is given; anything but ERCI_OK abandons it.
    using Fill = std::function<Result(ByteSink&)>;
    // Writes a temporary file in the destination's folder and renames it over the destination.
    static Result replaceFileFrom(const Path& destination, const Fill& fill);
};

// The library's file conversion: see gf_convertImage_OneFile, with UTF-8 paths.
Result convertFile(const std::string& source, const std::string& destination, const std::string& option);

} // namespace tfi
