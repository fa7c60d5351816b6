// Source reading, whole or in pieces, and all-or-nothing replacement with wide (UTF-16)
// Windows paths.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/PngColor.h"
#include "core/Result.h"
#include "core/SourceFile.h"
#include "io/FileLayer.h"
#include "io/NewContent.h"

namespace tfi {

// A file on a disk open for reading; a pipe or a device is refused (ERCI_ERR_READ_SOURCE): it
// has no size to read up to and may never end. Kept in pieces of its own so that a 32-bit
// process never needs the whole file in its address space.
class WinSource : public SourceFile {
public:
    WinSource() = default;
    ~WinSource() override { close(); }
    WinSource(const WinSource&) = delete;
    WinSource& operator=(const WinSource&) = delete;

    Result open(const std::wstring& path);
    void close();
    uint64_t size() const override { return size_; }
    bool readAt(uint64_t offset, uint8_t* out, size_t length) override;

private:
    void* handle_ = nullptr; // a HANDLE, null when closed
    uint64_t size_ = 0;
};

struct WinFiles : FileLayer<WinFiles> {
    using Path = std::wstring;
    using Source = WinSource;
    // Writes the new content into the sink it is given; anything but ERCI_OK abandons it.
    using Fill = std::function<Result(ByteSink&)>;
    // Writes a temporary file in the destination's folder and moves it over the destination.
    // A read-only destination is refused and left untouched.
    static Result replaceFileFrom(const Path& destination, const Fill& fill);
};

// What gf_convertImage_OneFile does; also linked statically into the command-line converter.
Result convertFileW(const wchar_t* source, const wchar_t* destination, const wchar_t* option);
// Its first half: the destination's new bytes, with nothing on disk changed. The command-line
// converter replaces the destination itself, so that a thread waiting for the disk holds no
// processor. `color` says why a colour space the source declares was not applied.
Result convertToBytesW(const wchar_t* source, const wchar_t* destination, const wchar_t* option,
                       std::vector<uint8_t>& output, NewContent& content, ColorNote& color);

} // namespace tfi
