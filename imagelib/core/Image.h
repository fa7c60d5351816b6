// A decoded picture: 8-bit RGBA, straight (not premultiplied) alpha, rows top-down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Result.h"

namespace tfi {

constexpr uint32_t kRgbaBytesPerPixel = 4;

struct RgbaImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;

    uint8_t* row(uint32_t y) { return pixels.data() + static_cast<size_t>(y) * width * kRgbaBytesPerPixel; }
    const uint8_t* row(uint32_t y) const {
        return pixels.data() + static_cast<size_t>(y) * width * kRgbaBytesPerPixel;
    }
    // The side of the square an icon entry of this picture fills.
    uint32_t longerSide() const { return width > height ? width : height; }
};

// True when a width x height RGBA image is within the caps (side and bytes).
bool imageWithinCaps(uint64_t width, uint64_t height);

// Sizes the image to width x height, all pixels transparent black. ERCI_ERR_TOO_LARGE above
// the caps, ERCI_ERR_OUT_OF_MEMORY when the allocation fails.
Result allocateImage(RgbaImage& image, uint32_t width, uint32_t height);

} // namespace tfi
