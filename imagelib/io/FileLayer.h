// What every platform's file layer builds the same way from its own source class and its own
// replaceFileFrom: reading a file whole and replacing a file with bytes held in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Limits.h"
#include "core/Result.h"
#include "core/SourceFile.h"

namespace tfi {

// The whole file, when it is within the source-file cap (else ERCI_ERR_TOO_LARGE).
inline Result readWholeSource(SourceFile& file, std::vector<uint8_t>& out) {
    if (file.size() > kMaxSourceFileBytes)
        return ERCI_ERR_TOO_LARGE;
    out.resize(static_cast<size_t>(file.size()));
    return file.readAt(0, out.data(), out.size()) ? ERCI_OK : ERCI_ERR_READ_SOURCE;
}

// A sink over a platform's open file and its function that writes a buffer whole.
template <class Handle>
class HandleSink : public ByteSink {
public:
    using WriteAll = bool (*)(Handle, const uint8_t*, size_t);
    HandleSink(Handle file, WriteAll writeAll) : file_(file), writeAll_(writeAll) {}
    bool write(const uint8_t* data, size_t size) override { return writeAll_(file_, data, size); }

private:
    Handle file_;
    WriteAll writeAll_;
};

// Files derives from FileLayer<Files> and has a Source class and a static replaceFileFrom.
template <class Files>
struct FileLayer {
    template <class Path>
    static Result readWholeFile(const Path& path, std::vector<uint8_t>& out) {
        typename Files::Source source;
        const Result r = source.open(path);
        return r == ERCI_OK ? readWholeSource(source, out) : r;
    }

    template <class Path>
    static Result replaceFile(const Path& destination, const std::vector<uint8_t>& data) {
        return Files::replaceFileFrom(destination, [&](ByteSink& sink) {
            return sink.write(data.data(), data.size()) ? ERCI_OK : ERCI_ERR_WRITE_DESTINATION;
        });
    }
};

} // namespace tfi
