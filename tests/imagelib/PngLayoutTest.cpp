#include <gtest/gtest.h>
#include <stb_image.h>

#include <zlib.h>

#include <cstring>
#include <functional>

#include "TestImages.h"
#include "core/Converter.h"
#include "core/PngDecoder.h"
#include "core/PngEncoder.h"

using testimg::Bytes;

namespace {

constexpr size_t kIhdrDepthAt = 24, kIhdrColourTypeAt = 25;

// A picture whose pixel i is colour(i), with colours from a generator over a count of values.
tfi::RgbaImage picture(uint32_t width, uint32_t height, const std::function<uint32_t(uint32_t)>& colour) {
    tfi::RgbaImage image;
    tfi::allocateImage(image, width, height);
    for (uint32_t i = 0; i < width * height; ++i) {
        const uint32_t c = colour(i); // 0xAARRGGBB
        uint8_t* p = &image.pixels[size_t(i) * 4];
        p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c), p[3] = uint8_t(c >> 24);
    }
    return image;
}

uint32_t grey(uint32_t level, uint32_t alpha = 255) { return alpha << 24 | level * 0x010101u; }
// n distinct colours cycling; the first `translucent` of them half transparent, one fully
// transparent with colour under it.
std::function<uint32_t(uint32_t)> cycle(uint32_t n, uint32_t translucent = 0) {
    return [=](uint32_t i) {
        const uint32_t k = (i * 7) % n;
        const uint32_t alpha = k >= translucent ? 255u : k == 0 ? 0u : 128u;
        return alpha << 24 | (k * 2654435761u >> 8 & 0xFFFFFF);
    };
}

TEST(PngLayout, EachColourTypeAndDepthRoundTripsExactly) {
    struct Row {
        const char* name;
        std::function<uint32_t(uint32_t)> colour;
        uint8_t colourType, depth;
    } rows[] = {
        {"grey 1", [](uint32_t i) { return grey(i % 3 ? 255 : 0); }, 0, 1},
        {"grey 2", [](uint32_t i) { return grey(85 * (i % 4)); }, 0, 2},
        {"grey 4", [](uint32_t i) { return grey(17 * (i % 16)); }, 0, 4},
        {"grey 8", [](uint32_t i) { return grey(i % 256); }, 0, 8},
        {"grey levels a palette holds in fewer bits", [](uint32_t i) { return grey(10 + i % 3); }, 3, 2},
        {"grey with alpha", [](uint32_t i) { return grey(i % 256, (i / 7) % 256); }, 4, 8},
        {"RGB", [](uint32_t i) { return 0xFF000000u | (i * 40503u & 0xFFFFFF); }, 2, 8},
        {"palette 1", cycle(2), 3, 1},
        {"palette 2", cycle(4), 3, 2},
        {"palette 4", cycle(16), 3, 4},
        {"palette 8", cycle(200), 3, 8},
        {"palette 1 with tRNS", cycle(2, 1), 3, 1},
        {"palette 2 with tRNS", cycle(3, 2), 3, 2},
        {"palette 4 with tRNS", cycle(9, 3), 3, 4},
        {"palette 8 with tRNS", cycle(100, 50), 3, 8},
        {"256 colours", cycle(256, 10), 3, 8},
        {"257 opaque colours", cycle(257), 2, 8},
        {"257 colours", cycle(257, 10), 6, 8},
        {"RGBA", [](uint32_t i) { return i * 2654435761u; }, 6, 8},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        // 61 wide: packed rows end in a partial byte.
        const tfi::RgbaImage image = picture(61, 23, r.colour);
        Bytes png;
        ASSERT_EQ(tfi::encodeSmallestPng(image, png), ERCI_OK);
        EXPECT_EQ(png[kIhdrColourTypeAt], r.colourType);
        EXPECT_EQ(png[kIhdrDepthAt], r.depth);

        tfi::RgbaImage back;
        ASSERT_EQ(tfi::decodePng(tfi::ByteView(png), back), ERCI_OK);
        EXPECT_TRUE(testimg::samePixels(image, back));
        int w = 0, h = 0, n = 0;
        stbi_uc* ref = stbi_load_from_memory(png.data(), int(png.size()), &w, &h, &n, 4);
        ASSERT_NE(ref, nullptr);
        EXPECT_EQ(0, memcmp(ref, image.pixels.data(), image.pixels.size()));
        stbi_image_free(ref);
    }
}

Bytes iconHolding(const Bytes& entry) {
    testimg::IconRow row;
    row.width = row.height = 32;
    row.data = entry;
    return testimg::buildIcon({row});
}

Bytes iconToPng(const Bytes& icon) {
    Bytes out;
    EXPECT_EQ(tfi::convertImage(tfi::ByteView(icon), tfi::OutputFormat::Png, tfi::ConvertOptions(), out), ERCI_OK);
    return out;
}

TEST(IconToPng, ASoundPngEntryIsHandedOnAndAnInexactOneRebuilt) {
    const tfi::RgbaImage image = testimg::pattern(32, 32, 4);
    const Bytes entry = testimg::encodePng(image);
    EXPECT_EQ(iconToPng(iconHolding(entry)), entry);

    Bytes trailing = entry;
    trailing.push_back(0);
    Bytes restreamed = entry; // IDAT's zlib stream followed by a stray byte, CRC made right
    const size_t idatLength = (size_t(entry[33]) << 24 | entry[34] << 16 | entry[35] << 8 | entry[36]);
    ASSERT_LT(idatLength % 256, 255u); // the length grows in its last byte alone
    restreamed.insert(restreamed.begin() + 41 + idatLength, 0);
    restreamed[36] = uint8_t(idatLength + 1);
    const uint32_t crc = uint32_t(crc32(0, restreamed.data() + 37, uInt(idatLength + 5)));
    for (int b = 0; b < 4; ++b)
        restreamed[42 + idatLength + b] = uint8_t(crc >> (24 - 8 * b));

    for (const Bytes& inexact : {trailing, restreamed}) {
        const Bytes png = iconToPng(iconHolding(inexact));
        EXPECT_NE(png, inexact);
        EXPECT_FALSE(tfi::isExactPng(tfi::ByteView(inexact)));
        tfi::RgbaImage back;
        ASSERT_EQ(tfi::decodePng(tfi::ByteView(png), back), ERCI_OK);
        EXPECT_TRUE(testimg::samePixels(image, back));
    }
}

} // namespace
