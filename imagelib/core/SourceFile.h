// A source file read in pieces where it lies, for sources too large to hold whole, and the
// destination written in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Bytes.h"

namespace tfi {

class SourceFile {
public:
    virtual ~SourceFile() = default;
    virtual uint64_t size() const = 0;
    // Exactly `length` bytes from `offset` on; false when they cannot all be read.
    virtual bool readAt(uint64_t offset, uint8_t* out, size_t length) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool write(const uint8_t* data, size_t size) = 0;
};

// Bytes already in memory seen as a source file: for tests and the fuzzer.
class MemorySourceFile : public SourceFile {
public:
    explicit MemorySourceFile(ByteView bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size; }
    bool readAt(uint64_t offset, uint8_t* out, size_t length) override {
        if (offset > bytes_.size || length > bytes_.size - offset)
            return false;
        if (length > 0)
            std::memcpy(out, bytes_.data + offset, length);
        return true;
    }

private:
    ByteView bytes_;
};

} // namespace tfi
