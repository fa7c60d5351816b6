#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <cstring>

#include <stb_image.h>

#include "TestImages.h"
#include "core/DibEntry.h"
#include "core/IconReader.h"

using testimg::Bytes;

namespace {

const uint32_t kWidths[] = {1, 7, 33, 256};
const uint16_t kDepths[] = {1, 4, 8, 16, 24, 32};
constexpr uint32_t kRows = 3;

uint8_t scale5(uint32_t v) { return uint8_t(v << 3 | v >> 2); }

struct Case {
    Bytes dib;
    tfi::RgbaImage expected;
};

// A bitmap entry of the given depth and width with a pattern that changes in every pixel, so
// that a wrong row stride or bit order shows.
Case makeCase(uint16_t bits, uint32_t width) {
    std::vector<uint32_t> palette, pixels;
    std::vector<uint8_t> mask;
    if (bits <= 8)
        for (uint32_t i = 0; i < (1u << bits); ++i)
            palette.push_back(((i * 37) % 256) << 16 | ((i * 91) % 256) << 8 | ((i * 13 + 5) % 256));
    Case c;
    tfi::allocateImage(c.expected, width, kRows);
    for (uint32_t y = 0; y < kRows; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* e = c.expected.row(y) + 4 * x;
            const bool masked = (x + y) % 3 == 0;
            uint32_t v = 0;
            if (bits <= 8) {
                v = (x * 5 + y * 3) % palette.size();
                e[0] = uint8_t(palette[v] >> 16), e[1] = uint8_t(palette[v] >> 8), e[2] = uint8_t(palette[v]);
            } else if (bits == 16) {
                const uint32_t r = (x * 7 + y) % 32, g = (x * 3) % 32, b = (y * 11 + x) % 32;
                v = r << 10 | g << 5 | b;
                e[0] = scale5(r), e[1] = scale5(g), e[2] = scale5(b);
            } else {
                e[0] = uint8_t(x * 3 + y), e[1] = uint8_t(x * 5), e[2] = uint8_t(y * 40 + x);
                v = uint32_t(e[0]) << 16 | uint32_t(e[1]) << 8 | e[2];
            }
            if (bits == 32) { // real alpha: the mask must be ignored
                e[3] = uint8_t(1 + (x * 7 + y) % 255);
                v |= uint32_t(e[3]) << 24;
            } else {
                e[3] = masked ? 0 : 255;
            }
            pixels.push_back(v);
            mask.push_back(masked ? 1 : 0);
        }
    c.dib = testimg::buildDib(width, kRows, bits, palette, pixels, mask);
    return c;
}

tfi::Result decodeThroughIcon(const Bytes& dib, tfi::RgbaImage& image) {
    testimg::IconRow row;
    row.data = dib;
    const Bytes icon = testimg::buildIcon({row});
    return tfi::decodeBestIconEntry(tfi::ByteView(icon), image);
}

TEST(DibEntry, RowPaddingAndBitOrderForEveryDepthAndWidth) {
    for (uint16_t bits : kDepths)
        for (uint32_t width : kWidths) {
            SCOPED_TRACE(testing::Message() << bits << " bpp, width " << width);
            const Case c = makeCase(bits, width);
            tfi::RgbaImage image;
            ASSERT_EQ(decodeThroughIcon(c.dib, image), ERCI_OK);
            EXPECT_TRUE(testimg::samePixels(image, c.expected));
            // One byte short of the colour rows: damage, not a guess.
            const size_t maskBytes = (width + 31) / 32 * 4 * kRows;
            Bytes cut(c.dib.begin(), c.dib.end() - maskBytes - 1);
            EXPECT_EQ(decodeThroughIcon(cut, image), ERCI_ERR_CORRUPT_SOURCE);
        }
}

TEST(DibEntry, TrueColourWithAllZeroAlphaFallsBackToTheMask) {
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> mask;
    for (uint32_t i = 0; i < 9 * 2; ++i) {
        pixels.push_back(0x00102030u + i); // alpha byte 0 everywhere
        mask.push_back(i % 4 == 1);
    }
    tfi::RgbaImage image;
    ASSERT_EQ(decodeThroughIcon(testimg::buildDib(9, 2, 32, {}, pixels, mask), image), ERCI_OK);
    for (uint32_t i = 0; i < 18; ++i) {
        EXPECT_EQ(image.pixels[4 * i + 3], i % 4 == 1 ? 0 : 255) << i;
        EXPECT_EQ(image.pixels[4 * i + 2], uint8_t(0x30 + i));
    }
}

TEST(DibEntry, BitfieldsDepthsUseTheirMasks) {
    // 16 bpp 5-6-5, masks after the 40-byte header.
    std::vector<uint32_t> pixels = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    Bytes dib = testimg::buildDib(4, 1, 16, {}, pixels, {0, 0, 0, 0});
    dib[16] = 3; // BI_BITFIELDS
    const uint8_t masks[] = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    dib.insert(dib.begin() + 40, masks, masks + sizeof(masks));
    tfi::RgbaImage image;
    ASSERT_EQ(decodeThroughIcon(dib, image), ERCI_OK);
    const uint8_t expected[] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    EXPECT_EQ(0, memcmp(image.pixels.data(), expected, sizeof(expected)));
}

TEST(DibEntry, ColourTableOfDirectDepthsIsSkipped) {
    // biClrUsed entries stand before the pixels at every depth, not only the indexed ones.
    const std::vector<uint32_t> table = {0x111111, 0x222222, 0x333333, 0x444444};
    for (uint16_t bits : {16, 24, 32}) {
        SCOPED_TRACE(bits);
        const uint32_t opaque = bits == 32 ? 0xFF000000u : 0;
        const std::vector<uint32_t> pixels = {opaque | 0x7C00, opaque | 0x03E0, opaque | 0x001F, opaque | 0x7FFF};
        tfi::RgbaImage plain, withTable;
        ASSERT_EQ(decodeThroughIcon(testimg::buildDib(2, 2, bits, {}, pixels, {0, 0, 0, 1}), plain), ERCI_OK);
        ASSERT_EQ(decodeThroughIcon(testimg::buildDib(2, 2, bits, table, pixels, {0, 0, 0, 1}), withTable), ERCI_OK);
        EXPECT_TRUE(testimg::samePixels(plain, withTable));
        EXPECT_EQ(withTable.pixels[3], 255);
    }
}

// A 2 x 1 BI_BITFIELDS entry with `masks` (red, green, blue, alpha) in a header of `headerSize`
// (40: three masks after it; 56: all four inside it).
Bytes bitfieldsDib(uint16_t bits, const uint32_t (&masks)[4], uint32_t headerSize, const std::vector<uint32_t>& pixels) {
    Bytes dib = testimg::buildDib(2, 1, bits, {}, pixels, {0, 0});
    dib[0] = uint8_t(headerSize);
    dib[16] = 3; // BI_BITFIELDS
    Bytes stored;
    for (size_t i = 0; i < (headerSize == 40 ? 3u : 4u); ++i)
        for (int b = 0; b < 4; ++b)
            stored.push_back(uint8_t(masks[i] >> (8 * b)));
    dib.insert(dib.begin() + 40, stored.begin(), stored.end());
    return dib;
}

TEST(DibEntry, BitfieldsMasksAreOneRunEachAndDisjoint) {
    // 10-10-10-2, values whose scaling to 8 bits is exact: 341/1023 = 85/255, alpha 1/3.
    const uint32_t wide[4] = {0x3FF00000u, 0x000FFC00u, 0x000003FFu, 0xC0000000u};
    tfi::RgbaImage image;
    ASSERT_EQ(decodeThroughIcon(bitfieldsDib(32, wide, 56, {1u << 30 | 341u << 20 | 682u << 10 | 1023u,
                                                             3u << 30 | 1023u << 10}),
                                image),
              ERCI_OK);
    const uint8_t expected[] = {85, 170, 255, 85, 0, 255, 0, 255};
    EXPECT_EQ(0, memcmp(image.pixels.data(), expected, sizeof(expected)));

    const struct {
        const char* what;
        uint16_t bits;
        uint32_t masks[4];
    } bad[] = {
        {"no red", 16, {0, 0x07E0, 0x001F, 0}},
        {"red and green overlap", 16, {0xF800, 0x0FE0, 0x001F, 0}},
        {"red in two runs", 16, {0xF801, 0x07E0, 0x001C, 0}},
        {"blue beyond 16 bits", 16, {0xF800, 0x07E0, 0x1F0000, 0}},
        {"alpha overlaps blue", 32, {0xFF0000, 0xFF00, 0xFF, 0xFF}},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.what);
        EXPECT_EQ(decodeThroughIcon(bitfieldsDib(b.bits, b.masks, 56, {0, 0}), image), ERCI_ERR_CORRUPT_SOURCE);
    }
}

// A one-row bitmap with a 108-byte header holding the four masks, of 16 or 32 bits a pixel:
// as an icon entry (height doubled, an empty AND mask after the colours) or as a .bmp file.
Bytes v4BitfieldsDib(uint16_t bits, const uint32_t (&masks)[4], const std::vector<uint32_t>& pixels, bool asBmpFile) {
    constexpr uint32_t kV4HeaderSize = 108, kFileHeaderSize = 14;
    const uint32_t width = uint32_t(pixels.size());
    Bytes dib = testimg::buildDib(width, 1, bits, {}, pixels, std::vector<uint8_t>(width, 0));
    dib[0] = uint8_t(kV4HeaderSize);
    dib[16] = 3; // BI_BITFIELDS
    Bytes rest(kV4HeaderSize - 40, 0);
    for (size_t i = 0; i < 4; ++i)
        for (int b = 0; b < 4; ++b)
            rest[4 * i + b] = uint8_t(masks[i] >> (8 * b));
    dib.insert(dib.begin() + 40, rest.begin(), rest.end());
    if (!asBmpFile)
        return dib;
    dib[8] = 1; // the real height
    dib.resize(dib.size() - (width + 31) / 32 * 4);
    const uint32_t fileSize = kFileHeaderSize + uint32_t(dib.size()), pixelsAt = kFileHeaderSize + kV4HeaderSize;
    Bytes file = {'B', 'M', uint8_t(fileSize), uint8_t(fileSize >> 8), uint8_t(fileSize >> 16), 0, 0, 0, 0, 0,
                  uint8_t(pixelsAt), 0, 0, 0};
    file.insert(file.end(), dib.begin(), dib.end());
    return file;
}

// Every value of every channel, decoded by us from an icon and by stb from the same pixels in a
// .bmp file. stb reads channels of at most 8 bits, so for the 10-bit ones it is given masks cut
// to their top 8 bits: what a channel scaled by keeping its top bits must show.
// Narrow channels read as stb's reader reads them (their bits repeated downwards); 10-bit ones,
// which stb refuses, land on the nearest 8-bit level, computed here in floating point.
TEST(DibEntry, BitfieldChannelsMatchAnIndependentReader) {
    const struct {
        const char* name;
        uint16_t bits;
        uint32_t masks[4];
        bool stbReads;
    } layouts[] = {
        {"5-5-5", 16, {0x7C00, 0x03E0, 0x001F, 0}, true},
        {"5-6-5", 16, {0xF800, 0x07E0, 0x001F, 0}, true},
        {"10-10-10-2", 32, {0x3FF00000u, 0x000FFC00u, 0x000003FFu, 0xC0000000u}, false},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const uint32_t levels = layout.bits == 16 ? 64 : 1024;
        std::vector<uint32_t> pixels;
        std::vector<uint8_t> nearest;
        for (uint32_t i = 0; i < levels; ++i) { // each channel through all its values, shifted apart
            uint32_t v = 0;
            for (int c = 0; c < 4; ++c) {
                const uint32_t m = layout.masks[c];
                const uint32_t low = m & (~m + 1);
                v |= (((i + 7u * c) * low) & m);
                nearest.push_back(m ? uint8_t(std::lround(((v & m) / low) * 255.0 / (m / low))) : 255);
            }
            pixels.push_back(v);
        }
        tfi::RgbaImage ours;
        ASSERT_EQ(decodeThroughIcon(v4BitfieldsDib(layout.bits, layout.masks, pixels, false), ours), ERCI_OK);
        if (!layout.stbReads) {
            EXPECT_TRUE(std::equal(nearest.begin(), nearest.end(), ours.pixels.begin()));
            continue;
        }
        const Bytes bmp = v4BitfieldsDib(layout.bits, layout.masks, pixels, true);
        int w = 0, h = 0, n = 0;
        stbi_uc* ref = stbi_load_from_memory(bmp.data(), int(bmp.size()), &w, &h, &n, 4);
        ASSERT_NE(ref, nullptr) << stbi_failure_reason();
        ASSERT_EQ(uint32_t(w), levels);
        EXPECT_EQ(0, memcmp(ours.pixels.data(), ref, size_t(levels) * 4));
        stbi_image_free(ref);
    }
}

TEST(DibEntry, WriterPadsRowsAndSetsMaskBitsWhereAlphaIsZero) {
    for (uint32_t width : kWidths) {
        SCOPED_TRACE(width);
        tfi::RgbaImage image = testimg::pattern(width, 2, width);
        for (uint32_t x = 0; x < width; ++x)
            image.row(1)[4 * x + 3] = (x % 3 == 0) ? 0 : 200; // the top-down last row
        Bytes dib;
        tfi::appendDibEntry(image, dib);
        const uint32_t maskStride = (width + 31) / 32 * 4;
        ASSERT_EQ(dib.size(), 40 + width * 2 * 4 + maskStride * 2);
        EXPECT_EQ(dib[8], 4); // height doubled: colour rows and mask rows
        EXPECT_EQ(dib[14], 32);
        // The bottom-up first mask row is the picture's last row.
        const uint8_t* mask = dib.data() + 40 + width * 2 * 4;
        for (uint32_t x = 0; x < width; ++x)
            EXPECT_EQ((mask[x / 8] >> (7 - x % 8)) & 1, x % 3 == 0 ? 1 : 0) << x;
        for (uint32_t pad = width; pad < maskStride * 8; ++pad)
            EXPECT_EQ((mask[pad / 8] >> (7 - pad % 8)) & 1, 0);

        tfi::RgbaImage back;
        ASSERT_EQ(tfi::decodeDibEntry(tfi::ByteView(dib), back), ERCI_OK);
        EXPECT_TRUE(testimg::samePixels(image, back));
    }
}

} // namespace
