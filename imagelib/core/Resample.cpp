#include "Resample.h"

#include <algorithm>
#include <cstring>

#include "StbResize.h"

namespace tfi {
namespace {

// Catmull-Rom keeps 16-24 px entries crisper than Mitchell; its small overshoot is clamped.
constexpr stbir_filter kDownscaleFilter = STBIR_FILTER_CATMULLROM;
constexpr int kAlphaChannel = 3;

uint32_t scaledExtent(uint32_t extent, uint32_t side, uint32_t longer) {
    const uint64_t scaled = (uint64_t(extent) * side + longer / 2) / longer;
    return static_cast<uint32_t>(std::max<uint64_t>(1, std::min<uint64_t>(scaled, side)));
}

} // namespace

PixelRect wholeImage(const RgbaImage& image) {
    return PixelRect{image.pixels.data(), image.width, image.height, size_t(image.width) * kRgbaBytesPerPixel};
}

Placement placeInSquare(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t side) {
    const uint32_t longer = std::max(sourceWidth, sourceHeight);
    Placement p;
    p.width = scaledExtent(sourceWidth, side, longer);
    p.height = scaledExtent(sourceHeight, side, longer);
    p.left = (side - p.width) / 2;
    p.top = (side - p.height) / 2;
    return p;
}

Result renderSquare(const PixelRect& content, uint32_t side, const Placement& placement, RgbaImage& out) {
    Result r = allocateImage(out, side, side);
    if (r != ERCI_OK)
        return r;
    uint8_t* target = out.row(placement.top) + size_t(placement.left) * kRgbaBytesPerPixel;
    const size_t targetStride = size_t(side) * kRgbaBytesPerPixel;

    if (placement.width == content.width && placement.height == content.height) {
        for (uint32_t y = 0; y < content.height; ++y)
            std::memcpy(target + y * targetStride, content.pixels + y * content.stride,
                        size_t(content.width) * kRgbaBytesPerPixel);
        return ERCI_OK;
    }
    const int ok = stbir_resize_uint8_generic(content.pixels, int(content.width), int(content.height),
                                              int(content.stride), target, int(placement.width),
                                              int(placement.height), int(targetStride), int(kRgbaBytesPerPixel),
                                              kAlphaChannel, 0, STBIR_EDGE_CLAMP, kDownscaleFilter,
                                              STBIR_COLORSPACE_SRGB, nullptr);
    return ok ? ERCI_OK : ERCI_ERR_OUT_OF_MEMORY;
}

} // namespace tfi
