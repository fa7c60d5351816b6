// Pictures and hand-built files for the library tests. The icon and bitmap builders here are
// written independently of the library's writer, so a shared misunderstanding cannot hide.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Image.h"

namespace testimg {

using Bytes = std::vector<uint8_t>;

// Deterministic noise; with `alpha` false every pixel is opaque, otherwise alpha varies and
// includes 0 and 255.
tfi::RgbaImage pattern(uint32_t width, uint32_t height, uint32_t seed, bool alpha = true);

// A filled disc of `color` on a fully transparent background.
tfi::RgbaImage disc(uint32_t side, const uint8_t color[3]);

Bytes encodePng(const tfi::RgbaImage& image);

// A PNG of `samples` as the format packs them (rows of width x channels samples of `depth`,
// big-endian at 16 bits), unfiltered.
Bytes rawPng(uint32_t width, uint32_t height, uint8_t colorType, uint8_t depth, const Bytes& samples);

// The data of an iCCP chunk holding `profile`.
Bytes iccpData(const Bytes& profile);

// A PNG whose IHDR declares width x height, with a correct CRC, followed by the rest of `png`.
Bytes withDeclaredSize(Bytes png, uint32_t width, uint32_t height);

// `png` with the CRC of its first chunk of `type` wrong, the data intact.
Bytes withWrongCrc(Bytes png, const char type[4]);
// `png` with a chunk of `type` and `data` after IHDR, its CRC right or wrong.
Bytes withChunk(Bytes png, const char type[4], const Bytes& data, bool rightCrc);

struct IconRow {
    uint8_t width = 0, height = 0; // directory bytes, 0 meaning 256
    uint16_t bitCount = 32;
    Bytes data;
    // Overrides for lying directories; used when set.
    bool overrideSize = false, overrideOffset = false;
    uint32_t size = 0, offset = 0;
};

// An ICO (type 1) or CUR (type 2) file from directory rows, data laid out after the directory.
Bytes buildIcon(const std::vector<IconRow>& rows, uint16_t type = 1);

// A bitmap entry: `bits` per pixel, `pixels` as palette indices (bits <= 8) or raw values
// (16: 5-5-5 word, 24: 0xRRGGBB, 32: 0xAARRGGBB), top-down; `mask` one 0/1 per pixel, top-down.
Bytes buildDib(uint32_t width, uint32_t height, uint16_t bits, const std::vector<uint32_t>& palette,
               const std::vector<uint32_t>& pixels, const std::vector<uint8_t>& mask);

// The ICO directory entry i as (width byte, height byte, planes, bit count, size, offset).
struct DirRow {
    uint8_t width, height;
    uint16_t planes, bitCount;
    uint32_t size, offset;
};
std::vector<DirRow> readDirectory(const Bytes& icon);

// The image with the colour of every fully transparent pixel set to black.
tfi::RgbaImage transparentCleared(tfi::RgbaImage image);

bool samePixels(const tfi::RgbaImage& a, const tfi::RgbaImage& b);

// The icon's entry of that side, decoded by the library's reader; a test failure when none.
tfi::RgbaImage entryOfSide(const Bytes& icon, uint32_t side);

} // namespace testimg
