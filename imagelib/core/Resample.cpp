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

void copyInto(const RgbaImage& source, RgbaImage& out, uint32_t left, uint32_t top) {
    const size_t rowBytes = size_t(source.width) * kRgbaBytesPerPixel;
    for (uint32_t y = 0; y < source.height; ++y)
        std::memcpy(out.row(top + y) + size_t(left) * kRgbaBytesPerPixel, source.row(y), rowBytes);
}

} // namespace

Result renderSquare(const RgbaImage& source, uint32_t side, RgbaImage& out) {
    Result r = allocateImage(out, side, side);
    if (r != ERCI_OK)
        return r;
    const uint32_t longer = std::max(source.width, source.height);
    const uint32_t width = scaledExtent(source.width, side, longer);
    const uint32_t height = scaledExtent(source.height, side, longer);
    const uint32_t left = (side - width) / 2;
    const uint32_t top = (side - height) / 2;

    if (width == source.width && height == source.height) {
        copyInto(source, out, left, top);
        return ERCI_OK;
    }
    const int ok = stbir_resize_uint8_generic(
        source.pixels.data(), int(source.width), int(source.height), 0,
        out.row(top) + size_t(left) * kRgbaBytesPerPixel, int(width), int(height), int(side * kRgbaBytesPerPixel),
        int(kRgbaBytesPerPixel), kAlphaChannel, 0, STBIR_EDGE_CLAMP, kDownscaleFilter, STBIR_COLORSPACE_SRGB, nullptr);
    return ok ? ERCI_OK : ERCI_ERR_OUT_OF_MEMORY;
}

} // namespace tfi
