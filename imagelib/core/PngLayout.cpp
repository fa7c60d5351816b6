#include "PngLayout.h"

#include <algorithm>
#include <cstring>

namespace tfi {

// Colour to palette index for at most 256 colours, plus the one that proves there are more.
class PaletteIndex {
public:
    PaletteIndex() { std::fill(std::begin(indices_), std::end(indices_), kEmpty); }

    // The colour's index; a new colour is added while fewer than `limit` are held, else -1.
    int findOrAdd(uint32_t colour, size_t limit) {
        size_t slot = (colour * kHashMultiplier) >> (32 - kSlotBits);
        for (;; slot = (slot + 1) & (kSlots - 1)) {
            if (indices_[slot] == kEmpty) {
                if (colours_.size() >= limit)
                    return -1;
                keys_[slot] = colour;
                indices_[slot] = static_cast<int16_t>(colours_.size());
                colours_.push_back(colour);
                return indices_[slot];
            }
            if (keys_[slot] == colour)
                return indices_[slot];
        }
    }

    const std::vector<uint32_t>& colours() const { return colours_; }

private:
    static constexpr uint32_t kHashMultiplier = 2654435761u;
    static constexpr unsigned kSlotBits = 10; // four slots for each colour held: short probes
    static constexpr size_t kSlots = size_t(1) << kSlotBits;
    static constexpr int16_t kEmpty = -1;

    uint32_t keys_[kSlots];
    int16_t indices_[kSlots];
    std::vector<uint32_t> colours_;
};

namespace {

constexpr uint8_t kOpaque = 255;
constexpr uint8_t kDepth8 = 8;
const uint8_t kPackedDepths[] = {1, 2, 4};

uint32_t pixelAt(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, kRgbaBytesPerPixel);
    return v;
}

bool isOpaqueColour(uint32_t colour) {
    uint8_t bytes[kRgbaBytesPerPixel];
    std::memcpy(bytes, &colour, kRgbaBytesPerPixel);
    return bytes[3] == kOpaque;
}

// The grey levels a depth holds are the multiples of 255 / (2^depth - 1).
uint8_t greyStep(uint8_t depth) { return static_cast<uint8_t>(255 / ((1u << depth) - 1)); }

uint8_t depthForGrey(uint8_t value) {
    for (uint8_t depth : kPackedDepths)
        if (value % greyStep(depth) == 0)
            return depth;
    return kDepth8;
}

uint8_t depthForPalette(size_t colours) {
    for (uint8_t depth : kPackedDepths)
        if (colours <= (size_t(1) << depth))
            return depth;
    return kDepth8;
}

struct Census {
    bool grey = true;
    bool opaque = true;
    uint8_t greyDepth = 1;
    bool fewColours = true; // at most 256 distinct RGBA values
    std::vector<uint32_t> colours;
};

Census takeCensus(const RgbaImage& image) {
    Census census;
    PaletteIndex index;
    const uint8_t* p = image.pixels.data();
    const size_t count = size_t(image.width) * image.height;
    uint32_t previous = 0;
    for (size_t i = 0; i < count; ++i, p += kRgbaBytesPerPixel) {
        const uint32_t pixel = pixelAt(p);
        if (i > 0 && pixel == previous)
            continue;
        previous = pixel;
        census.opaque = census.opaque && p[3] == kOpaque;
        if (census.grey && p[0] == p[1] && p[1] == p[2])
            census.greyDepth = std::max(census.greyDepth, depthForGrey(p[0]));
        else
            census.grey = false;
        if (census.fewColours)
            census.fewColours = index.findOrAdd(pixel, kMaxPngPaletteEntries) >= 0;
    }
    if (census.fewColours)
        census.colours = index.colours();
    return census;
}

PngLayout paletteLayout(std::vector<uint32_t> colours) {
    PngLayout layout;
    layout.colorType = kPngPalette;
    layout.bitDepth = depthForPalette(colours.size());
    const auto opaqueFrom = std::stable_partition(colours.begin(), colours.end(),
                                                  [](uint32_t c) { return !isOpaqueColour(c); });
    layout.translucentEntries = size_t(opaqueFrom - colours.begin());
    layout.palette = std::move(colours);
    return layout;
}

PngLayout plainLayout(PngColorType type, uint8_t depth) {
    PngLayout layout;
    layout.colorType = type;
    layout.bitDepth = depth;
    return layout;
}

void packBits(const uint8_t* values, uint32_t count, uint8_t depth, uint8_t* out) {
    const unsigned perByte = 8 / depth;
    for (uint32_t x = 0; x < count; x += perByte, ++out) {
        unsigned byte = 0;
        for (unsigned k = 0; k < perByte; ++k)
            byte = (byte << depth) | (x + k < count ? values[x + k] : 0u);
        *out = static_cast<uint8_t>(byte);
    }
}

} // namespace

uint32_t PngLayout::bitsPerPixel() const {
    switch (colorType) {
    case kPngRgb: return 3u * bitDepth;
    case kPngGrayAlpha: return 2u * bitDepth;
    case kPngRgba: return 4u * bitDepth;
    default: return bitDepth;
    }
}

size_t PngLayout::filterUnit() const { return std::max<size_t>(1, bitsPerPixel() / 8); }

bool PngLayout::usesAdaptiveFilters() const { return colorType != kPngPalette && bitDepth >= kDepth8; }

PngLayout rgbaLayout() { return PngLayout(); }

PngLayout smallestLayout(const RgbaImage& image) {
    Census census = takeCensus(image);
    if (census.grey && census.opaque) {
        const uint8_t paletteDepth = depthForPalette(census.colours.size());
        return paletteDepth < census.greyDepth ? paletteLayout(std::move(census.colours))
                                               : plainLayout(kPngGray, census.greyDepth);
    }
    if (census.fewColours)
        return paletteLayout(std::move(census.colours));
    if (census.grey)
        return plainLayout(kPngGrayAlpha, kDepth8);
    return plainLayout(census.opaque ? kPngRgb : kPngRgba, kDepth8);
}

RowPacker::RowPacker(const RgbaImage& image, const PngLayout& layout)
    : image_(image), layout_(layout), rowBytes_((size_t(image.width) * layout.bitsPerPixel() + 7) / 8) {
    if (layout.bitDepth < kDepth8)
        scratch_.resize(image.width);
    if (layout.colorType != kPngPalette)
        return;
    index_.reset(new PaletteIndex);
    for (uint32_t colour : layout.palette)
        index_->findOrAdd(colour, kMaxPngPaletteEntries);
}

RowPacker::~RowPacker() = default;

void RowPacker::pack(uint32_t y, uint8_t* out) const {
    const uint8_t* row = image_.row(y);
    const uint32_t width = image_.width;
    switch (layout_.colorType) {
    case kPngRgba: std::memcpy(out, row, rowBytes_); return;
    case kPngRgb:
        for (uint32_t x = 0; x < width; ++x, row += kRgbaBytesPerPixel, out += 3)
            std::memcpy(out, row, 3);
        return;
    case kPngGrayAlpha:
        for (uint32_t x = 0; x < width; ++x, row += kRgbaBytesPerPixel, out += 2) {
            out[0] = row[0];
            out[1] = row[3];
        }
        return;
    case kPngGray:
    case kPngPalette: break;
    }
    // One byte a pixel first (grey level or index), then packed when the depth is below 8.
    uint8_t* values = layout_.bitDepth == kDepth8 ? out : scratch_.data();
    const uint8_t step = layout_.colorType == kPngGray ? greyStep(layout_.bitDepth) : 1;
    for (uint32_t x = 0; x < width; ++x, row += kRgbaBytesPerPixel)
        values[x] = layout_.colorType == kPngGray
                        ? static_cast<uint8_t>(row[0] / step)
                        : static_cast<uint8_t>(index_->findOrAdd(pixelAt(row), kMaxPngPaletteEntries));
    if (layout_.bitDepth != kDepth8)
        packBits(values, width, layout_.bitDepth, out);
}

} // namespace tfi
