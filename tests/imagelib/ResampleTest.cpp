#include <gtest/gtest.h>

#include <cmath>
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

// A 512 px source: a solid disc (radius 100 at x = 150, opaque, dark) and, apart from it, a
// soft round shadow (alpha at most 0.4, falling off smoothly, at x = 390).
constexpr double kDiscX = 150, kDiscY = 256, kDiscRadius = 100, kShadowX = 390, kShadowY = 256;

tfi::RgbaImage discAndShadow(uint8_t discAlpha) {
    tfi::RgbaImage image;
    EXPECT_EQ(tfi::allocateImage(image, 512, 512), ERCI_OK);
    for (uint32_t y = 0; y < 512; ++y)
        for (uint32_t x = 0; x < 512; ++x) {
            uint8_t* p = image.row(y) + 4 * x;
            const double dx = x + 0.5 - kDiscX, dy = y + 0.5 - kDiscY;
            const double sx = x + 0.5 - kShadowX, sy = y + 0.5 - kShadowY;
            if (dx * dx + dy * dy <= kDiscRadius * kDiscRadius) {
                p[0] = 40, p[1] = 60, p[2] = 120, p[3] = discAlpha;
            } else {
                p[0] = p[1] = p[2] = 0;
                p[3] = uint8_t(std::lround(102 * std::exp(-(sx * sx + sy * sy) / (2 * 30.0 * 30.0))));
            }
        }
    return image;
}

// The share of a 16 px entry's pixel (x, y) that the disc covers, sampled on a 32 x 32 grid.
double discShare(uint32_t x, uint32_t y) {
    int inside = 0;
    for (int j = 0; j < 32; ++j)
        for (int i = 0; i < 32; ++i) {
            const double dx = x * 32 + i + 0.5 - kDiscX, dy = y * 32 + j + 0.5 - kDiscY;
            inside += dx * dx + dy * dy <= kDiscRadius * kDiscRadius;
        }
    return inside / 1024.0;
}

// The downscale of `source` to 16 px, and the same with crisp outlines.
void plainAndCrisp(const tfi::RgbaImage& source, tfi::RgbaImage& plain, tfi::RgbaImage& crisp) {
    plain = render(source, 16);
    crisp = plain;
    const tfi::Placement placement = tfi::placeInSquare(512, 512, 16);
    std::vector<tfi::SolidCover> covers;
    ASSERT_EQ(tfi::measureSolidCover(tfi::wholeImage(source), {placement}, covers), ERCI_OK);
    ASSERT_EQ(covers.size(), 1u);
    tfi::sharpenSolidEdges(covers[0], placement, crisp);
}

TEST(CrispOutlines, SolidDiscsOutlineTurnsOpaqueWhileASoftShadowBesideItStaysAsLight) {
    tfi::RgbaImage plain, crisp;
    plainAndCrisp(discAndShadow(255), plain, crisp);
    int paleBefore = 0, shadowPixels = 0;
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const uint8_t* p = plain.row(y) + 4 * x;
            const uint8_t* c = crisp.row(y) + 4 * x;
            ASSERT_EQ(0, std::memcmp(p, c, 3)); // colour kept
            ASSERT_GE(c[3], p[3]);
            const double share = discShare(x, y);
            if (share >= 0.5) { // at least half in the disc: opaque, as a designer draws it
                EXPECT_EQ(c[3], 255);
                paleBefore += p[3] < 255;
            } else if (share == 0.0) { // no part of the disc: exactly as the downscale made it
                EXPECT_EQ(c[3], p[3]);
                shadowPixels += p[3] > 0 && x >= 9;
            }
        }
    EXPECT_GE(paleBefore, 8);    // the downscale left the rim pale
    EXPECT_GE(shadowPixels, 16); // and the shadow is there, as light as before
}

TEST(CrispOutlines, TranslucentShapeStaysAsTranslucentAndOnlyItsEdgeGrows) {
    // A disc of alpha 0.7 is a solid shape too: its crisp edge takes the disc's own alpha, not
    // more, and so do the pixels wholly inside it.
    tfi::RgbaImage plain, crisp;
    plainAndCrisp(discAndShadow(179), plain, crisp);
    int grown = 0;
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 8; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const uint8_t* p = plain.row(y) + 4 * x;
            const uint8_t* c = crisp.row(y) + 4 * x;
            // (the filter itself may overshoot a little next to an edge; that is kept)
            const int own = std::max<int>(p[3], 179);
            EXPECT_LE(c[3], own);
            const double share = discShare(x, y);
            if (share == 1.0) {
                EXPECT_EQ(c[3], own);
            } else if (share >= 0.5) {
                EXPECT_NEAR(c[3], own, 1);
                grown += c[3] > p[3];
            }
        }
    EXPECT_GE(grown, 8);
}

TEST(CrispOutlines, PlainCopyWhereNothingIsSolid) {
    // A picture all soft (a glow, alpha below one half everywhere) keeps the plain downscale.
    const uint8_t glow[4] = {255, 220, 0, 120};
    tfi::RgbaImage plain, crisp;
    plainAndCrisp(solid(512, 512, glow), plain, crisp);
    EXPECT_EQ(plain.pixels, crisp.pixels);
}

} // namespace
