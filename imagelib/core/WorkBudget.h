// What one conversion may still spend on decoding (see Limits.h for the amounts and why).
#pragma once

#include <cstddef>
#include <cstdint>

#include "Limits.h"

namespace tfi {

class WorkBudget {
public:
    explicit WorkBudget(uint64_t pixels = kMaxDecodedPixelsPerConversion,
                        uint64_t inflatedBytes = kMaxInflatedBytesPerConversion)
        : pixelsLeft_(pixels), inflatedBytesLeft_(inflatedBytes) {}

    // Pays for one decode before it starts; false, paying nothing, when the rest does not cover it.
    bool spend(uint64_t pixels, uint64_t inflatedBytes) {
        if (pixels > pixelsLeft_ || inflatedBytes > inflatedBytesLeft_)
            return false;
        pixelsLeft_ -= pixels;
        inflatedBytesLeft_ -= inflatedBytes;
        ++decodes_;
        return true;
    }

    // Decodes paid for so far: what a repeated or needless decode would show.
    size_t decodes() const { return decodes_; }

private:
    uint64_t pixelsLeft_;
    uint64_t inflatedBytesLeft_;
    size_t decodes_ = 0;
};

} // namespace tfi
