#include "PngRows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "CheckedMath.h"
#include "Limits.h"

namespace tfi {
namespace png {
namespace {

uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Reverses the row filter in place; `prior` is the previous unfiltered row (zeros for the
// first row of a pass). Unknown filter types are damage.
bool unfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t length, size_t bpp) {
    switch (filter) {
    case 0: return true;
    case 1:
        for (size_t i = bpp; i < length; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (size_t i = 0; i < length; ++i)
            row[i] = static_cast<uint8_t>(row[i] + prior[i]);
        return true;
    case 3:
        for (size_t i = 0; i < length; ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0;
            row[i] = static_cast<uint8_t>(row[i] + ((left + prior[i]) >> 1));
        }
        return true;
    case 4:
        for (size_t i = 0; i < length; ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0;
            const int upLeft = i >= bpp ? prior[i - bpp] : 0;
            row[i] = static_cast<uint8_t>(row[i] + paeth(left, prior[i], upLeft));
        }
        return true;
    default: return false;
    }
}

uint8_t scale16To8(uint16_t v) { return static_cast<uint8_t>((v * 255u + 32767u) / 65535u); }

// Sample `index` of a row of packed samples of `depth` bits, as the raw integer.
uint16_t rawSample(const uint8_t* row, size_t index, uint8_t depth) {
    switch (depth) {
    case 16: return static_cast<uint16_t>((row[2 * index] << 8) | row[2 * index + 1]);
    case 8: return row[index];
    default: {
        const size_t bit = index * depth;
        const unsigned shift = 8 - depth - (bit & 7);
        return static_cast<uint16_t>((row[bit >> 3] >> shift) & ((1u << depth) - 1));
    }
    }
}

uint8_t sampleTo8(uint16_t raw, uint8_t depth) {
    switch (depth) {
    case 16: return scale16To8(raw);
    case 8: return static_cast<uint8_t>(raw);
    default: return static_cast<uint8_t>(raw * 255u / ((1u << depth) - 1));
    }
}

// Expands one unfiltered row into RGBA pixels at x = start, start + step, ...
// The common rows (8-bit palette, 8- and 16-bit RGB(A) without a transparent key) without the
// per-sample dispatch.
bool expandRowFast(const uint8_t* row, uint32_t count, const PngHeader& h, const ColorInfo& info, uint8_t* out,
                   size_t outStep) {
    if (outStep != kRgbaBytesPerPixel)
        return false;
    if (h.bitDepth == 16 && (h.colorType == kRgba || (h.colorType == kRgb && !info.hasTransparentKey))) {
        const uint32_t channels = h.colorType == kRgba ? 4 : 3;
        for (uint32_t x = 0; x < count; ++x, out += 4) {
            for (uint32_t c = 0; c < channels; ++c, row += 2)
                out[c] = scale16To8(static_cast<uint16_t>((row[0] << 8) | row[1]));
            if (channels == 3)
                out[3] = 255;
        }
        return true;
    }
    if (h.bitDepth != 8)
        return false;
    if (h.colorType == kPalette) {
        for (uint32_t x = 0; x < count; ++x, out += 4)
            std::memcpy(out, info.palette[row[x]], 4);
        return true;
    }
    if (h.colorType == kRgba) {
        std::memcpy(out, row, size_t(count) * kRgbaBytesPerPixel);
        return true;
    }
    if (h.colorType != kRgb || info.hasTransparentKey)
        return false;
    for (uint32_t x = 0; x < count; ++x, row += 3, out += 4) {
        out[0] = row[0];
        out[1] = row[1];
        out[2] = row[2];
        out[3] = 255;
    }
    return true;
}

// Colour samples as stored, scaled to 8 bits.
struct StoredLevels {
    uint8_t depth;
    uint8_t grey(uint16_t sample) const { return sampleTo8(sample, depth); }
    void rgb(const uint16_t samples[3], uint8_t* out) const {
        for (int c = 0; c < 3; ++c)
            out[c] = sampleTo8(samples[c], depth);
    }
};

// Every colour type and depth, a sample at a time; `levels` turns colour samples into 8-bit
// levels (StoredLevels or SrgbTransform), alpha is only scaled.
template <class Levels>
void expandPixels(const uint8_t* row, uint32_t count, const PngHeader& h, const ColorInfo& info, const Levels& levels,
                  uint8_t* out, size_t outStep) {
    const uint8_t d = h.bitDepth;
    for (uint32_t x = 0; x < count; ++x, out += outStep) {
        switch (h.colorType) {
        case kGray: {
            const uint16_t g = rawSample(row, x, d);
            out[0] = out[1] = out[2] = levels.grey(g);
            out[3] = info.hasTransparentKey && g == info.key[0] ? 0 : 255;
            break;
        }
        case kRgb: {
            uint16_t s[3];
            for (int c = 0; c < 3; ++c)
                s[c] = rawSample(row, 3 * size_t(x) + c, d);
            levels.rgb(s, out);
            const bool keyed = info.hasTransparentKey && s[0] == info.key[0] && s[1] == info.key[1] && s[2] == info.key[2];
            out[3] = keyed ? 0 : 255;
            break;
        }
        case kPalette: std::memcpy(out, info.palette[rawSample(row, x, d)], 4); break;
        case kGrayAlpha:
            out[0] = out[1] = out[2] = levels.grey(rawSample(row, 2 * size_t(x), d));
            out[3] = sampleTo8(rawSample(row, 2 * size_t(x) + 1, d), d);
            break;
        default: {
            uint16_t s[3];
            for (int c = 0; c < 3; ++c)
                s[c] = rawSample(row, 4 * size_t(x) + c, d);
            levels.rgb(s, out);
            out[3] = sampleTo8(rawSample(row, 4 * size_t(x) + 3, d), d);
            break;
        }
        }
    }
}

// 8- and 16-bit RGB(A), most converted sources, without the per-sample dispatch.
bool expandRowToSrgbFast(const uint8_t* row, uint32_t count, const PngHeader& h, const ColorInfo& info, uint8_t* out,
                         size_t outStep) {
    const bool rgba = h.colorType == kRgba;
    if ((h.bitDepth != 8 && h.bitDepth != 16) || !(rgba || (h.colorType == kRgb && !info.hasTransparentKey)))
        return false;
    const size_t sampleBytes = h.bitDepth / 8;
    const size_t inStep = (rgba ? 4 : 3) * sampleBytes;
    if (rgba && sampleBytes == 1 && outStep == inStep) {
        info.toSrgb->rgbaRow8(row, count, out);
        return true;
    }
    if (sampleBytes == 1)
        info.toSrgb->rgbRow8(row, inStep, count, out, outStep);
    else
        info.toSrgb->rgbRow16(row, inStep, count, out, outStep);
    uint8_t* outAlpha = out + 3;
    const uint8_t* alpha = row + 3 * sampleBytes;
    if (!rgba)
        for (uint32_t x = 0; x < count; ++x, outAlpha += outStep)
            *outAlpha = 255;
    else if (sampleBytes == 1)
        for (uint32_t x = 0; x < count; ++x, outAlpha += outStep, alpha += inStep)
            *outAlpha = *alpha;
    else
        for (uint32_t x = 0; x < count; ++x, outAlpha += outStep, alpha += inStep)
            *outAlpha = scale16To8(readBe16(alpha));
    return true;
}

const Pass kSinglePass[] = {{0, 0, 1, 1}};
const Pass kAdam7Passes[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

bool validDepthForColorType(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
    case kGray: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kRgb:
    case kGrayAlpha:
    case kRgba: return depth == 8 || depth == 16;
    default: return false;
    }
}

const Pass* passesOf(const PngHeader& h, size_t& count) {
    count = h.interlace ? 7 : 1;
    return h.interlace ? kAdam7Passes : kSinglePass;
}

uint32_t passExtent(uint32_t full, uint32_t start, uint32_t step) {
    return full > start ? (full - start + step - 1) / step : 0;
}

} // namespace

Result parseIhdrFields(ByteView data, PngHeader& header) {
    if (data.size != kIhdrDataSize)
        return ERCI_ERR_CORRUPT_SOURCE;
    const uint8_t* p = data.data;
    header.width = readBe32(p);
    header.height = readBe32(p + 4);
    header.bitDepth = p[8];
    header.colorType = p[9];
    header.interlace = p[12];
    const uint8_t compression = p[10];
    const uint8_t filter = p[11];
    if (header.width == 0 || header.height == 0 || header.width > kMaxChunkLength || header.height > kMaxChunkLength)
        return ERCI_ERR_CORRUPT_SOURCE;
    if (!validDepthForColorType(header.colorType, header.bitDepth) || compression != 0 || filter != 0 ||
        header.interlace > 1)
        return ERCI_ERR_CORRUPT_SOURCE;
    return ERCI_OK;
}

Result readPalette(ByteView data, ColorInfo& info, size_t& paletteSize) {
    if (data.size == 0 || data.size % 3 != 0 || data.size / 3 > kMaxPaletteEntries)
        return ERCI_ERR_CORRUPT_SOURCE;
    paletteSize = data.size / 3;
    for (size_t i = 0; i < paletteSize; ++i)
        std::memcpy(info.palette[i], data.data + 3 * i, 3);
    return ERCI_OK;
}

void readTransparency(ByteView data, const PngHeader& header, ColorInfo& info) {
    // A malformed tRNS is ancillary: ignoring it keeps the picture, only without the key.
    if (header.colorType == kPalette) {
        const size_t n = std::min(data.size, kMaxPaletteEntries);
        for (size_t i = 0; i < n; ++i)
            info.palette[i][3] = data.data[i];
    } else if (header.colorType == kGray && data.size >= 2) {
        info.hasTransparentKey = true;
        info.key[0] = static_cast<uint16_t>((data.data[0] << 8) | data.data[1]);
    } else if (header.colorType == kRgb && data.size >= 6) {
        info.hasTransparentKey = true;
        for (int c = 0; c < 3; ++c)
            info.key[c] = static_cast<uint16_t>((data.data[2 * c] << 8) | data.data[2 * c + 1]);
    }
}

ColorNote convertToSrgb(const PngColorChunks& chunks, const PngHeader& header, ColorInfo& info) {
    const bool greyPicture = header.colorType == kGray || header.colorType == kGrayAlpha;
    ColorSpace space;
    ColorNote note = ColorNote::None;
    if (!declaredColorSpace(chunks, greyPicture, space, note))
        return note;
    if (header.colorType != kPalette) {
        info.toSrgb = std::make_shared<const SrgbTransform>(space, header.bitDepth);
        return note;
    }
    const SrgbTransform paletteLevels(space, 8);
    for (auto& entry : info.palette) {
        const uint16_t stored[3] = {entry[0], entry[1], entry[2]};
        paletteLevels.rgb(stored, entry);
    }
    return note;
}

void expandRow(const uint8_t* row, uint32_t count, const PngHeader& h, const ColorInfo& info, uint8_t* out,
               size_t outStep) {
    if (info.toSrgb) {
        if (!expandRowToSrgbFast(row, count, h, info, out, outStep))
            expandPixels(row, count, h, info, *info.toSrgb, out, outStep);
        return;
    }
    if (!expandRowFast(row, count, h, info, out, outStep))
        expandPixels(row, count, h, info, StoredLevels{h.bitDepth}, out, outStep);
}

bool rawDataBytes(const PngHeader& h, uint64_t& total) {
    size_t passCount = 0;
    const Pass* passes = passesOf(h, passCount);
    total = 0;
    for (size_t i = 0; i < passCount; ++i) {
        const uint32_t w = passExtent(h.width, passes[i].x0, passes[i].dx);
        const uint32_t rows = passExtent(h.height, passes[i].y0, passes[i].dy);
        if (w == 0 || rows == 0)
            continue;
        uint64_t rowBytes = 0, passBytes = 0;
        if (!paddedRowBytes(w, h.bitsPerPixel(), 1, rowBytes) || !checkedMultiply(rowBytes + 1, rows, passBytes) ||
            !checkedAdd(total, passBytes, total))
            return false;
    }
    return true;
}

Result payForImageData(const PngHeader& h, uint64_t compressedBytes, WorkBudget& budget) {
    uint64_t rawBytes = 0;
    if (!rawDataBytes(h, rawBytes))
        return ERCI_ERR_TOO_LARGE;
    if (rawBytes > compressedBytes * kMaxDeflateRatio + kDeflateSlackBytes)
        return ERCI_ERR_CORRUPT_SOURCE;
    if (!budget.spend(uint64_t(h.width) * h.height, rawBytes))
        return ERCI_ERR_TOO_LARGE;
    return ERCI_OK;
}

Result inflateRows(const PngHeader& h, Inflater& inflater, RowSink& rows) {
    const size_t bpp = std::max<size_t>(1, h.bitsPerPixel() / 8);
    uint64_t maxRowBytes = 0;
    paddedRowBytes(h.width, h.bitsPerPixel(), 1, maxRowBytes);
    std::vector<uint8_t> current, prior;
    try {
        current.resize(static_cast<size_t>(maxRowBytes) + 1);
        prior.resize(static_cast<size_t>(maxRowBytes) + 1);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }

    size_t passCount = 0;
    const Pass* passes = passesOf(h, passCount);
    for (size_t p = 0; p < passCount; ++p) {
        const Pass& pass = passes[p];
        const uint32_t w = passExtent(h.width, pass.x0, pass.dx);
        const uint32_t count = passExtent(h.height, pass.y0, pass.dy);
        if (w == 0 || count == 0)
            continue;
        uint64_t rowBytes = 0;
        paddedRowBytes(w, h.bitsPerPixel(), 1, rowBytes);
        std::fill(prior.begin(), prior.end(), 0);
        for (uint32_t passRow = 0; passRow < count; ++passRow) {
            if (!inflater.read(current.data(), static_cast<size_t>(rowBytes) + 1))
                return ERCI_ERR_CORRUPT_SOURCE;
            if (!unfilterRow(current[0], current.data() + 1, prior.data() + 1, static_cast<size_t>(rowBytes), bpp))
                return ERCI_ERR_CORRUPT_SOURCE;
            rows.put(current.data() + 1, w, pass.y0 + passRow * pass.dy, pass);
            current.swap(prior);
        }
    }
    return ERCI_OK;
}

} // namespace png
} // namespace tfi
