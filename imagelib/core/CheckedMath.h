// Size arithmetic on untrusted numbers: every product and sum that sizes a buffer or an offset
// goes through these, so a lying header cannot wrap a 32-bit size_t.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace tfi {

inline bool checkedMultiply(uint64_t a, uint64_t b, uint64_t& result) {
    if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a)
        return false;
    result = a * b;
    return true;
}

inline bool checkedAdd(uint64_t a, uint64_t b, uint64_t& result) {
    if (b > std::numeric_limits<uint64_t>::max() - a)
        return false;
    result = a + b;
    return true;
}

// True when [offset, offset + length) lies inside a buffer of `total` bytes.
inline bool rangeFits(uint64_t offset, uint64_t length, uint64_t total) {
    return offset <= total && length <= total - offset;
}

inline bool fitsInSizeT(uint64_t value) {
    return value <= static_cast<uint64_t>(std::numeric_limits<size_t>::max());
}

// Bytes in one row of `width` pixels of `bitsPerPixel`, padded to `alignBytes`.
inline bool paddedRowBytes(uint64_t width, uint64_t bitsPerPixel, uint64_t alignBytes, uint64_t& result) {
    uint64_t bits = 0;
    if (!checkedMultiply(width, bitsPerPixel, bits))
        return false;
    const uint64_t alignBits = alignBytes * 8;
    result = (bits + alignBits - 1) / alignBits * alignBytes;
    return true;
}

} // namespace tfi
