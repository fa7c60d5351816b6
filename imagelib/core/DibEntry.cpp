#include "DibEntry.h"

#include <cstring>

#include "CheckedMath.h"
#include "Limits.h"

namespace tfi {
namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kMaxHeaderSize = 1024; // BITMAPV5HEADER is 124; anything far above is noise
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kMaxPaletteBits = 8;
constexpr uint32_t kMaskAlignBytes = 4;
constexpr uint32_t kPaletteEntryBytes = 4;
constexpr uint32_t kBitfieldsBytes = 12;
constexpr uint32_t kMaskOffsetInV3Header = 40;
constexpr uint32_t kAlphaMaskOffsetInHeader = 52;
constexpr uint16_t kTrueColorBits = 32;

// Where each part of the entry lies; computed once with overflow checks.
struct DibLayout {
    uint64_t pixelOffset = 0;
    uint64_t colorStride = 0;
    uint64_t maskOffset = 0;
    uint64_t maskStride = 0;
    bool hasMask = false;
};

// One channel of a BI_BITFIELDS pixel: the mask's position and width, scaled to 8 bits.
// Narrow channels repeat their bits downwards (5 bits abcde give abcdeabc): both ends exact,
// every level within one of the nearest, and what other readers show for the same pixels. Wide
// ones (10 bits) round to the nearest level. Dropping the low bits, as a plain shift or division
// does, leaves about half the levels one too low.
struct Channel {
    uint32_t mask = 0;
    unsigned shift = 0;
    unsigned bits = 0;

    explicit Channel(uint32_t m = 0) : mask(m) {
        if (!mask)
            return;
        while (!((mask >> shift) & 1u))
            ++shift;
        while (bits < 32 - shift && ((mask >> (shift + bits)) & 1u))
            ++bits;
    }
    uint8_t extract(uint32_t pixel) const {
        if (!bits)
            return 0;
        const uint32_t value = (pixel & mask) >> shift;
        if (bits >= 8) {
            const uint64_t top = (uint64_t(1) << bits) - 1;
            return static_cast<uint8_t>((value * uint64_t(255) + top / 2) / top);
        }
        uint32_t repeated = 0;
        for (unsigned filled = 0; filled < 8; filled += bits)
            repeated = (repeated << bits) | value;
        const unsigned spare = ((8 + bits - 1) / bits) * bits - 8;
        return static_cast<uint8_t>(repeated >> spare);
    }
};

struct PixelFormat {
    Channel red, green, blue, alpha;
};

// One run of set bits: adding the lowest set bit carries through the run and clears it.
bool contiguous(uint32_t mask) { return ((mask + (mask & (~mask + 1))) & mask) == 0; }

// Masks that give each pixel one meaning: red, green and blue present, each one run of bits
// inside the pixel, no bit in two channels. Anything else would only give arbitrary colours.
bool validMasks(const PixelFormat& format, uint16_t bitCount) {
    const uint32_t pixelBits = bitCount >= 32 ? 0xFFFFFFFFu : (1u << bitCount) - 1;
    uint32_t used = 0;
    for (const Channel* channel : {&format.red, &format.green, &format.blue, &format.alpha}) {
        const uint32_t mask = channel->mask;
        if (mask == 0 && channel == &format.alpha)
            continue;
        if (mask == 0 || !contiguous(mask) || (mask & used) != 0 || (mask & ~pixelBits) != 0)
            return false;
        used |= mask;
    }
    return true;
}

bool supportedBitCount(uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

Result computeLayout(ByteView entry, DibInfo& info, DibLayout& layout) {
    uint64_t extra = uint64_t(info.colorTableEntries) * kPaletteEntryBytes;
    if (info.compression == kBiBitfields && info.headerSize == kInfoHeaderSize)
        extra += kBitfieldsBytes;
    layout.pixelOffset = info.headerSize + extra;
    uint64_t colorBytes = 0, maskBytes = 0;
    if (!paddedRowBytes(info.width, info.bitCount, kMaskAlignBytes, layout.colorStride) ||
        !paddedRowBytes(info.width, 1, kMaskAlignBytes, layout.maskStride) ||
        !checkedMultiply(layout.colorStride, info.height, colorBytes) ||
        !checkedMultiply(layout.maskStride, info.height, maskBytes))
        return ERCI_ERR_TOO_LARGE;
    if (!rangeFits(layout.pixelOffset, colorBytes, entry.size))
        return ERCI_ERR_CORRUPT_SOURCE;
    layout.maskOffset = layout.pixelOffset + colorBytes;
    info.storedSize = layout.maskOffset + maskBytes; // cannot overflow: the colour rows fit in memory
    // Some writers leave the mask out of 32-bit entries; the alpha channel stands in for it. A
    // mask cut off by the end of the file is absent too, as Windows takes it.
    layout.hasMask = rangeFits(layout.maskOffset, maskBytes, entry.size);
    return ERCI_OK;
}

PixelFormat pixelFormatOf(ByteView entry, const DibInfo& info) {
    PixelFormat format;
    if (info.compression == kBiBitfields) {
        const uint32_t at = info.headerSize == kInfoHeaderSize ? kInfoHeaderSize : kMaskOffsetInV3Header;
        format.red = Channel(readLe32(entry.data + at));
        format.green = Channel(readLe32(entry.data + at + 4));
        format.blue = Channel(readLe32(entry.data + at + 8));
        if (info.headerSize >= kAlphaMaskOffsetInHeader + 4)
            format.alpha = Channel(readLe32(entry.data + kAlphaMaskOffsetInHeader));
    } else if (info.bitCount == 16) {
        format.red = Channel(0x7C00);
        format.green = Channel(0x03E0);
        format.blue = Channel(0x001F);
    }
    return format;
}

// Source row of picture row y (top-down numbering).
const uint8_t* colorRow(ByteView entry, const DibInfo& info, const DibLayout& layout, uint32_t y) {
    const uint32_t stored = info.topDown ? y : info.height - 1 - y;
    return entry.data + layout.pixelOffset + stored * layout.colorStride;
}

void decodeIndexedRow(const uint8_t* src, const uint8_t* palette, const DibInfo& info, uint8_t* out) {
    const unsigned bits = info.bitCount;
    const unsigned perByte = 8 / bits;
    const unsigned valueMask = (1u << bits) - 1;
    for (uint32_t x = 0; x < info.width; ++x, out += 4) {
        const unsigned shift = 8 - bits * (x % perByte + 1);
        const uint32_t index = (src[x / perByte] >> shift) & valueMask;
        if (index < info.colorTableEntries) {
            const uint8_t* bgr = palette + index * kPaletteEntryBytes;
            out[0] = bgr[2];
            out[1] = bgr[1];
            out[2] = bgr[0];
        } else {
            out[0] = out[1] = out[2] = 0;
        }
        out[3] = 255;
    }
}

void decodeDirectRow(const uint8_t* src, const DibInfo& info, const PixelFormat& format, uint8_t* out) {
    for (uint32_t x = 0; x < info.width; ++x, out += 4) {
        if (info.bitCount == 24 || (info.bitCount == 32 && info.compression == kBiRgb)) {
            const uint8_t* p = src + size_t(x) * (info.bitCount / 8);
            out[0] = p[2];
            out[1] = p[1];
            out[2] = p[0];
            out[3] = info.bitCount == 32 ? p[3] : 255;
            continue;
        }
        const uint32_t pixel = info.bitCount == 16 ? readLe16(src + 2 * size_t(x)) : readLe32(src + 4 * size_t(x));
        out[0] = format.red.extract(pixel);
        out[1] = format.green.extract(pixel);
        out[2] = format.blue.extract(pixel);
        out[3] = format.alpha.bits ? format.alpha.extract(pixel) : (info.bitCount == 32 ? 0 : 255);
    }
}

bool anyAlpha(const RgbaImage& image) {
    for (size_t i = 3; i < image.pixels.size(); i += kRgbaBytesPerPixel)
        if (image.pixels[i] != 0)
            return true;
    return false;
}

// Mask bit set: transparent. Used for entries without alpha, including 32-bit entries whose
// alpha is all zero (written by tools that only knew the mask).
void applyAndMask(ByteView entry, const DibInfo& info, const DibLayout& layout, RgbaImage& image) {
    for (uint32_t y = 0; y < info.height; ++y) {
        const uint32_t stored = info.topDown ? y : info.height - 1 - y;
        const uint8_t* mask = entry.data + layout.maskOffset + stored * layout.maskStride;
        uint8_t* out = image.row(y);
        for (uint32_t x = 0; x < info.width; ++x)
            out[4 * size_t(x) + 3] = ((mask[x / 8] >> (7 - x % 8)) & 1u) ? 0 : 255;
    }
}

} // namespace

Result readDibInfo(ByteView entry, DibInfo& info) {
    if (entry.size < kInfoHeaderSize)
        return ERCI_ERR_CORRUPT_SOURCE;
    info.headerSize = readLe32(entry.data);
    const int32_t width = readLe32Signed(entry.data + 4);
    const int32_t doubledHeight = readLe32Signed(entry.data + 8);
    info.bitCount = readLe16(entry.data + 14);
    info.compression = readLe32(entry.data + 16);
    const uint32_t colorsUsed = readLe32(entry.data + 32);

    if (info.headerSize < kInfoHeaderSize || info.headerSize > kMaxHeaderSize || info.headerSize > entry.size)
        return ERCI_ERR_CORRUPT_SOURCE;
    if (width <= 0 || doubledHeight == 0 || doubledHeight == INT32_MIN)
        return ERCI_ERR_CORRUPT_SOURCE;
    info.topDown = doubledHeight < 0;
    const uint32_t height = static_cast<uint32_t>(info.topDown ? -doubledHeight : doubledHeight) / 2;
    if (height == 0)
        return ERCI_ERR_CORRUPT_SOURCE;
    if (!supportedBitCount(info.bitCount))
        return ERCI_ERR_CORRUPT_SOURCE;
    const bool bitfieldsAllowed = info.bitCount == 16 || info.bitCount == 32;
    if (info.compression != kBiRgb && !(info.compression == kBiBitfields && bitfieldsAllowed))
        return ERCI_ERR_CORRUPT_SOURCE;
    const bool masksInHeader = info.headerSize >= kMaskOffsetInV3Header + kBitfieldsBytes;
    if (info.compression == kBiBitfields && info.headerSize != kInfoHeaderSize && !masksInHeader)
        return ERCI_ERR_CORRUPT_SOURCE;
    info.colorTableEntries = colorsUsed;
    if (info.bitCount <= kMaxPaletteBits) {
        const uint32_t fullPalette = 1u << info.bitCount;
        if (colorsUsed > fullPalette)
            return ERCI_ERR_CORRUPT_SOURCE;
        info.colorTableEntries = colorsUsed ? colorsUsed : fullPalette;
    }
    info.width = static_cast<uint32_t>(width);
    info.height = height;
    if (!imageWithinCaps(info.width, info.height))
        return ERCI_ERR_TOO_LARGE;
    DibLayout layout;
    const Result r = computeLayout(entry, info, layout);
    if (r != ERCI_OK)
        return r;
    // The layout puts the masks inside the entry.
    if (info.compression == kBiBitfields && !validMasks(pixelFormatOf(entry, info), info.bitCount))
        return ERCI_ERR_CORRUPT_SOURCE;
    return ERCI_OK;
}

Result decodeDibEntry(ByteView entry, RgbaImage& image) {
    WorkBudget budget;
    return decodeDibEntry(entry, image, budget);
}

Result decodeDibEntry(ByteView entry, RgbaImage& image, WorkBudget& budget) {
    DibInfo info;
    Result r = readDibInfo(entry, info);
    if (r != ERCI_OK)
        return r;
    DibLayout layout;
    computeLayout(entry, info, layout); // checked by readDibInfo
    if (!budget.spend(uint64_t(info.width) * info.height, 0))
        return ERCI_ERR_TOO_LARGE;
    r = allocateImage(image, info.width, info.height);
    if (r != ERCI_OK)
        return r;

    const PixelFormat format = pixelFormatOf(entry, info);
    const uint8_t* palette = entry.data + info.headerSize;
    for (uint32_t y = 0; y < info.height; ++y) {
        const uint8_t* src = colorRow(entry, info, layout, y);
        if (info.bitCount <= kMaxPaletteBits)
            decodeIndexedRow(src, palette, info, image.row(y));
        else
            decodeDirectRow(src, info, format, image.row(y));
    }

    const bool carriesAlpha = info.bitCount == kTrueColorBits && anyAlpha(image);
    if (!carriesAlpha) {
        if (layout.hasMask)
            applyAndMask(entry, info, layout, image);
        else
            for (size_t i = 3; i < image.pixels.size(); i += kRgbaBytesPerPixel)
                image.pixels[i] = 255;
    }
    return ERCI_OK;
}

void appendDibEntry(const RgbaImage& image, std::vector<uint8_t>& out) {
    const uint32_t w = image.width, h = image.height;
    uint64_t maskStride = 0;
    paddedRowBytes(w, 1, kMaskAlignBytes, maskStride);
    const uint32_t colorBytes = w * h * kRgbaBytesPerPixel;
    const uint32_t maskBytes = static_cast<uint32_t>(maskStride) * h;

    appendLe32(out, kInfoHeaderSize);
    appendLe32(out, w);
    appendLe32(out, 2 * h);
    appendLe16(out, 1);
    appendLe16(out, kTrueColorBits);
    appendLe32(out, kBiRgb);
    appendLe32(out, colorBytes + maskBytes);
    for (int i = 0; i < 4; ++i) // resolution and palette counts: unused
        appendLe32(out, 0);

    size_t at = out.size();
    out.resize(at + colorBytes + maskBytes, 0);
    for (uint32_t row = 0; row < h; ++row) {
        const uint8_t* src = image.row(h - 1 - row);
        for (uint32_t x = 0; x < w; ++x, src += 4, at += 4) {
            out[at] = src[2];
            out[at + 1] = src[1];
            out[at + 2] = src[0];
            out[at + 3] = src[3];
        }
    }
    for (uint32_t row = 0; row < h; ++row, at += static_cast<size_t>(maskStride)) {
        const uint8_t* src = image.row(h - 1 - row);
        for (uint32_t x = 0; x < w; ++x)
            if (src[4 * size_t(x) + 3] == 0)
                out[at + x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
    }
}

} // namespace tfi
