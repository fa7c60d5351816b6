// Making one square icon picture from a source of any shape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// Crisp outlines for the small entries we make. Where a solid shape of the source (alpha at
// least one half) meets the background, a designer drawing a small icon by hand gives the edge
// pixel to the shape and draws it opaque, where a downscale leaves it half covered and pale. The
// rule: in each pixel, the solid part grows over the rest of the pixel by as much as it already
// covers, up to the whole pixel (a shape that covers half a pixel fills it), and where it grows,
// the pixel's alpha becomes the solid part's instead of the rest's. Soft shadows and glows,
// whose alpha stays below one half, have no solid part and stay as the downscale made them;
// the inside of a shape, solid over the whole pixel, has nothing to grow over.
//
// What the source holds under each pixel of one placement, as shares of the pixel's footprint
// in the source (exact areas, fractional edges included), in [0, 1].
struct SolidCover {
    struct Sample {
        float solid = 0;      // the share of the footprint that is solid
        float solidAlpha = 0; // the solid part's alpha summed, over the footprint
        float alpha = 0;      // the whole footprint's alpha summed, over the footprint
    };
    uint32_t width = 0, height = 0;
    std::vector<Sample> samples; // row by row
};

// The cover of each placement (each a placement of the whole `source`, smaller than it), in one
// pass over the source.
Result measureSolidCover(const PixelRect& source, const std::vector<Placement>& placements,
                         std::vector<SolidCover>& covers);

// Applies the rule to `entry`, the downscale of the source into `placement`: only alpha rises,
// colour is kept, and pixels that the downscale left fully transparent stay so.
void sharpenSolidEdges(const SolidCover& cover, const Placement& placement, RgbaImage& entry);

} // namespace tfi
