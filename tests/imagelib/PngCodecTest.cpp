#include <gtest/gtest.h>
#include <stb_image.h>

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "TestFiles.h"
#include "TestImages.h"
#include "core/Converter.h"
#include "core/PngDecoder.h"
#include "core/PngEncoder.h"

using testimg::Bytes;

namespace {

// Fixtures made by other encoders, one for each colour type, depth and interlacing the
// decoder has a separate path for. 16-bit samples may round one step differently.
struct Fixture {
    const char* name;
    int tolerance;
};
const Fixture kFixtures[] = {
    {"gray1.png", 0},      {"gray2.png", 0},        {"gray4.png", 0},     {"gray16.png", 1},
    {"gray8-adam7.png", 0}, {"grayalpha8.png", 0},  {"pal4-trns.png", 0}, {"rgb8-key.png", 0},
    {"rgb16.png", 1},      {"rgb8-adam7.png", 0},   {"rgba8.png", 0},     {"rgba16-adam7.png", 1},
};

TEST(PngDecoder, MatchesReferenceReaderOnEveryColourTypeAndDepth) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const Bytes file = testfiles::readFile(testfiles::sourcePath(std::string("tests/imagelib/png/") + f.name));
        ASSERT_FALSE(file.empty());
        tfi::RgbaImage ours;
        ASSERT_EQ(tfi::decodePng(tfi::ByteView(file), ours), ERCI_OK);

        int w = 0, h = 0, n = 0;
        stbi_uc* ref = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 4);
        ASSERT_NE(ref, nullptr);
        ASSERT_EQ(int(ours.width), w);
        ASSERT_EQ(int(ours.height), h);
        int worst = 0;
        for (size_t i = 0; i < ours.pixels.size(); ++i)
            worst = std::max(worst, std::abs(int(ours.pixels[i]) - int(ref[i])));
        stbi_image_free(ref);
        EXPECT_LE(worst, f.tolerance);
    }
}

TEST(PngCodec, EncodeDecodeRoundTripIsExact) {
    const uint32_t sizes[][2] = {{1, 1}, {7, 3}, {33, 17}, {256, 256}, {1, 300}};
    for (const auto& s : sizes) {
        const tfi::RgbaImage image = testimg::pattern(s[0], s[1], s[0] + s[1]);
        Bytes png;
        ASSERT_EQ(tfi::encodePng(image, png), ERCI_OK);
        tfi::RgbaImage back;
        ASSERT_EQ(tfi::decodePng(tfi::ByteView(png), back), ERCI_OK);
        EXPECT_TRUE(testimg::samePixels(image, back)) << s[0] << "x" << s[1];

        int w, h, n; // the reference reader accepts our files too
        stbi_uc* ref = stbi_load_from_memory(png.data(), int(png.size()), &w, &h, &n, 4);
        ASSERT_NE(ref, nullptr);
        EXPECT_EQ(0, memcmp(ref, image.pixels.data(), image.pixels.size()));
        stbi_image_free(ref);
    }
}

TEST(PngDecoder, RefusesHugeDeclaredSizeFromTheHeaderAlone) {
    // Signature and IHDR only: no image data needed to refuse it.
    Bytes png = testimg::encodePng(testimg::pattern(2, 2, 1));
    png[16] = 0x00; png[17] = 0x01; png[18] = 0x86; png[19] = 0xA0; // width 100000
    png[20] = 0x00; png[21] = 0x01; png[22] = 0x86; png[23] = 0xA0; // height 100000
    const uint32_t crc = uint32_t(crc32(0, png.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = uint8_t(crc >> (24 - 8 * i));
    png.resize(33);
    tfi::PngHeader header;
    EXPECT_EQ(tfi::readPngHeader(tfi::ByteView(png), header), ERCI_ERR_TOO_LARGE);
    tfi::RgbaImage image;
    EXPECT_EQ(tfi::decodePng(tfi::ByteView(png), image), ERCI_ERR_TOO_LARGE);
}

TEST(PngDecoder, EveryTruncationFailsCleanly) {
    const Bytes png = testimg::encodePng(testimg::pattern(40, 30, 9));
    for (size_t cut = 0; cut < png.size(); ++cut) {
        tfi::RgbaImage image;
        const tfi::Result r = tfi::decodePng(tfi::ByteView(png.data(), cut), image);
        EXPECT_NE(r, ERCI_OK) << "cut at " << cut;
    }
}

// A PNG file is held to its critical chunks alone: an ancillary chunk with a wrong CRC is
// ignored, as the common readers ignore it, and left out of the copy.
TEST(PngDecoder, AncillaryChunkWithAWrongCrcIsLeftOut) {
    const Bytes png = testimg::encodePng(testimg::pattern(20, 20, 3));
    const Bytes damaged = testimg::withChunk(png, "tEXt", {'k', 0, 'v'}, false);
    Bytes copy, icon;
    ASSERT_EQ(tfi::convertImage(tfi::ByteView(damaged), tfi::OutputFormat::Png, tfi::ConvertOptions(), copy), ERCI_OK);
    EXPECT_EQ(copy, png);
    EXPECT_EQ(tfi::convertImage(tfi::ByteView(damaged), tfi::OutputFormat::Icon, tfi::ConvertOptions(), icon), ERCI_OK);
}

} // namespace
