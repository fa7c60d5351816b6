// Making one square icon picture from a source of any shape.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Image.h"
#include "Result.h"

namespace tfi {

// A read-only rectangle of RGBA pixels inside some image.
struct PixelRect {
    const uint8_t* pixels = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    size_t stride = 0;
};

PixelRect wholeImage(const RgbaImage& image);

// Where the picture sits in a square icon of `side` made from a width x height source: scaled
// to fit, centred, never stretched.
struct Placement {
    uint32_t left = 0, top = 0, width = 0, height = 0;
};
Placement placeInSquare(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t side);

// Renders `content` (the source, or the picture part of a larger entry made from it) into a new
// `side` x `side` image at `placement`, transparent around it. Filtering happens on alpha-weighted
// colour, so a coloured shape on transparency keeps clean edges whatever colour lies hidden
// around it. When the sizes match, the pixels are copied exactly.
Result renderSquare(const PixelRect& content, uint32_t side, const Placement& placement, RgbaImage& out);

} // namespace tfi
