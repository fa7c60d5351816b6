// The PNG colour type and bit depth a picture is written in, and its rows packed that way.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Image.h"

namespace tfi {

constexpr size_t kMaxPngPaletteEntries = 256;

enum PngColorType : uint8_t { kPngGray = 0, kPngRgb = 2, kPngPalette = 3, kPngGrayAlpha = 4, kPngRgba = 6 };

struct PngLayout {
    PngColorType colorType = kPngRgba;
    uint8_t bitDepth = 8;
    // Palette layouts: the colours as RGBA bytes, those with alpha below 255 first so that tRNS
    // lists only them.
    std::vector<uint32_t> palette;
    size_t translucentEntries = 0;

    uint32_t bitsPerPixel() const;
    // Whole bytes of 8-bit samples: the filters' unit. Packed rows use 1.
    size_t filterUnit() const;
    // Palette images and packed samples gain nothing from prediction: neighbouring indices say
    // little about each other, so they are written with filter None.
    bool usesAdaptiveFilters() const;
};

// 8-bit RGBA, as icon readers expect of an entry.
PngLayout rgbaLayout();

// The smallest layout that keeps every pixel, colour under alpha 0 included: grey (with alpha
// only when some pixel is not opaque) when R = G = B everywhere, at the lowest depth that holds
// its values; otherwise a palette, with tRNS when needed, when at most 256 RGBA values occur;
// otherwise RGB when opaque, else RGBA. A palette wins over grey when it needs fewer bits.
PngLayout smallestLayout(const RgbaImage& image);

class PaletteIndex;

// Packs an image's rows into a layout's samples.
class RowPacker {
public:
    RowPacker(const RgbaImage& image, const PngLayout& layout);
    ~RowPacker();
    RowPacker(const RowPacker&) = delete;
    RowPacker& operator=(const RowPacker&) = delete;

    size_t rowBytes() const { return rowBytes_; }
    // Writes row y in the layout to `out` (rowBytes() bytes).
    void pack(uint32_t y, uint8_t* out) const;

private:
    const RgbaImage& image_;
    const PngLayout& layout_;
    const size_t rowBytes_;
    std::unique_ptr<PaletteIndex> index_; // palette layouts only
    mutable std::vector<uint8_t> scratch_; // one value a pixel, before packing below 8 bits
};

} // namespace tfi
