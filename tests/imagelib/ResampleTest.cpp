#include <gtest/gtest.h>

#include <cstring>

#include "core/Resample.h"

namespace {

tfi::RgbaImage solid(uint32_t width, uint32_t height, const uint8_t rgba[4]) {
    tfi::RgbaImage image;
    EXPECT_EQ(tfi::allocateImage(image, width, height), ERCI_OK);
    for (size_t i = 0; i < image.pixels.size(); i += 4)
        std::memcpy(&image.pixels[i], rgba, 4);
    return image;
}

tfi::RgbaImage render(const tfi::RgbaImage& source, uint32_t side) {
    const tfi::Placement placement = tfi::placeInSquare(source.width, source.height, side);
    tfi::RgbaImage out;
    EXPECT_EQ(tfi::renderSquare(tfi::wholeImage(source), side, placement, out), ERCI_OK);
    return out;
}

TEST(Resample, FlatColourStaysExactlyTheSameAtEveryReduction) {
    const uint8_t colours[][4] = {{200, 100, 30, 255}, {10, 200, 90, 77}, {255, 255, 255, 1}, {0, 0, 0, 255}};
    for (const auto& c : colours) {
        for (uint32_t side : {255u, 96u, 37u, 16u, 1u}) {
            SCOPED_TRACE(testing::Message() << int(c[3]) << " " << side);
            const tfi::RgbaImage out = render(solid(300, 300, c), side);
            for (size_t i = 0; i < out.pixels.size(); i += 4)
                ASSERT_EQ(0, std::memcmp(&out.pixels[i], c, 4)) << i / 4;
        }
    }
}

TEST(Resample, AveragesInWorkingLevelsThatKeepDarkLinesDark) {
    // One-pixel black and white columns halved: the middle of the working levels (bytes raised
    // to the power 0.8) is byte 107, darker than the bytes' own average 128 and far from linear
    // light's 188, which pales the dark outlines of small icons.
    tfi::RgbaImage stripes;
    ASSERT_EQ(tfi::allocateImage(stripes, 64, 64), ERCI_OK);
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 64; ++x) {
            uint8_t* p = stripes.row(y) + 4 * x;
            p[0] = p[1] = p[2] = x % 2 ? 255 : 0;
            p[3] = 255;
        }
    const tfi::RgbaImage out = render(stripes, 32);
    for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t x = 2; x < 30; ++x) { // away from the clamped edges
            const uint8_t* p = out.row(y) + 4 * x;
            EXPECT_NEAR(p[0], 107, 1) << x << "," << y;
            EXPECT_EQ(p[0], p[1]);
            EXPECT_EQ(p[3], 255);
        }
}

TEST(Resample, FullyTransparentSourceGivesTransparentBlack) {
    const uint8_t invisible[4] = {250, 20, 140, 0};
    const tfi::RgbaImage out = render(solid(200, 100, invisible), 48);
    for (uint8_t b : out.pixels)
        ASSERT_EQ(b, 0);
}

TEST(Resample, SameSizeIsAnExactCopyIntoThePlacement) {
    tfi::RgbaImage source;
    ASSERT_EQ(tfi::allocateImage(source, 20, 10), ERCI_OK);
    for (size_t i = 0; i < source.pixels.size(); ++i)
        source.pixels[i] = uint8_t(i * 7);
    const tfi::RgbaImage out = render(source, 20);
    for (uint32_t y = 0; y < 20; ++y) {
        const bool inside = y >= 5 && y < 15;
        for (uint32_t x = 0; x < 20; ++x) {
            const uint8_t* p = out.row(y) + 4 * x;
            if (inside)
                ASSERT_EQ(0, std::memcmp(p, source.row(y - 5) + 4 * x, 4));
            else
                ASSERT_EQ(p[0] | p[1] | p[2] | p[3], 0);
        }
    }
}

} // namespace
