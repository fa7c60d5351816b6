// PNG sources beyond the caps of a decode in memory: read in pieces and reduced as they are
// unfiltered, or checked and copied in pieces.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "TestFiles.h"
#include "TestImages.h"
#include "core/LargePng.h"
#include "core/PngDecoder.h"

using testimg::Bytes;

namespace {

const char* const kFixtureNames[] = {"gray1.png",     "gray2.png",      "gray4.png",        "gray16.png",
                                     "gray8-adam7.png", "grayalpha8.png", "pal4-trns.png",    "rgb8-key.png",
                                     "rgb16.png",     "rgb8-adam7.png", "rgba8.png",        "rgba16-adam7.png"};

Bytes fixture(const std::string& name) {
    return testfiles::readFile(testfiles::sourcePath("tests/imagelib/png/" + name));
}

void appendChunk(Bytes& png, const char type[4], const uint8_t* data, size_t size) {
    const uint32_t length = uint32_t(size);
    for (int shift = 24; shift >= 0; shift -= 8)
        png.push_back(uint8_t(length >> shift));
    const size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data, data + size);
    const uint32_t crc = uint32_t(crc32(0, png.data() + typeAt, uInt(size + 4)));
    for (int shift = 24; shift >= 0; shift -= 8)
        png.push_back(uint8_t(crc >> shift));
}

constexpr uint8_t kUnknownFilter = 5;

// A grey PNG of 1 bit a pixel, unfiltered rows but the last, whose filter is `lastFilter`:
// black on the left half, white on the right; its image data cut into IDAT chunks of
// `idatChunk` bytes.
Bytes halvesPng(uint32_t width, uint32_t height, size_t idatChunk = 1 << 16, uint8_t lastFilter = 0) {
    Bytes row(1 + (width + 7) / 8, 0);
    for (uint32_t x = width / 2; x < width; ++x)
        row[1 + x / 8] |= uint8_t(0x80 >> (x % 8));
    Bytes raw;
    raw.reserve(row.size() * height);
    for (uint32_t y = 0; y < height; ++y)
        raw.insert(raw.end(), row.begin(), row.end());
    raw[raw.size() - row.size()] = lastFilter;
    Bytes data(compressBound(uLong(raw.size())));
    uLongf size = uLongf(data.size());
    compress(data.data(), &size, raw.data(), uLong(raw.size()));
    data.resize(size);

    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const uint8_t ihdr[13] = {uint8_t(width >> 24), uint8_t(width >> 16), uint8_t(width >> 8), uint8_t(width),
                              uint8_t(height >> 24), uint8_t(height >> 16), uint8_t(height >> 8), uint8_t(height),
                              1, 0, 0, 0, 0};
    appendChunk(png, "IHDR", ihdr, sizeof(ihdr));
    for (size_t at = 0; at < data.size(); at += idatChunk)
        appendChunk(png, "IDAT", data.data() + at, std::min(idatChunk, data.size() - at));
    appendChunk(png, "IEND", nullptr, 0);
    return png;
}

// More pixels than the decode in memory takes (32 Mi), as a file of a few KB.
constexpr uint32_t kLargeWidth = 8192, kLargeHeight = 4097;

tfi::Result reduce(const Bytes& png, tfi::RgbaImage& reduced, uint32_t maxSide = tfi::kMaxReducedSide) {
    tfi::MemorySourceFile file{tfi::ByteView(png)};
    return tfi::decodeLargePngReduced(file, reduced, maxSide);
}

// A file of any size whose bytes start with `start`.
class SizedSource : public tfi::SourceFile {
public:
    SizedSource(const Bytes& start, uint64_t size) : bytes_(tfi::ByteView(start)), size_(size) {}
    uint64_t size() const override { return size_; }
    bool readAt(uint64_t offset, uint8_t* out, size_t length) override { return bytes_.readAt(offset, out, length); }

private:
    tfi::MemorySourceFile bytes_;
    uint64_t size_;
};

TEST(LargePng, ReadInPiecesGivesTheWholeDecodeOnEveryColourTypeAndDepth) {
    for (const char* name : kFixtureNames) {
        SCOPED_TRACE(name);
        const Bytes png = fixture(name);
        tfi::RgbaImage whole, streamed;
        ASSERT_EQ(tfi::decodePng(tfi::ByteView(png), whole), ERCI_OK);
        ASSERT_EQ(reduce(png, streamed), ERCI_OK);
        EXPECT_TRUE(testimg::samePixels(testimg::transparentCleared(whole), streamed));
    }
}

TEST(LargePng, CellsAverageTheirPixelsWeighedByAlphaInterlacedOrNot) {
    // Two cells of 2 x 2: red, red, red and transparent green; then four greys.
    tfi::RgbaImage picture;
    ASSERT_EQ(tfi::allocateImage(picture, 4, 2), ERCI_OK);
    const uint8_t pixels[2][4][4] = {{{255, 0, 0, 255}, {255, 0, 0, 255}, {10, 10, 10, 255}, {20, 20, 20, 255}},
                                     {{255, 0, 0, 255}, {0, 255, 0, 0}, {30, 30, 30, 255}, {41, 41, 41, 255}}};
    std::memcpy(picture.pixels.data(), pixels, sizeof(pixels));
    tfi::RgbaImage reduced;
    ASSERT_EQ(reduce(testimg::encodePng(picture), reduced, 2), ERCI_OK);
    ASSERT_EQ(reduced.width, 2u);
    ASSERT_EQ(reduced.height, 1u);
    const uint8_t expected[8] = {255, 0, 0, 191, 25, 25, 25, 255};
    EXPECT_TRUE(std::equal(expected, expected + 8, reduced.pixels.begin()));

    // An interlaced picture adds each pixel to the same cell as its plain twin.
    const Bytes interlaced = fixture("rgba16-adam7.png");
    tfi::RgbaImage whole, fromInterlaced, fromPlain;
    ASSERT_EQ(tfi::decodePng(tfi::ByteView(interlaced), whole), ERCI_OK);
    ASSERT_EQ(reduce(interlaced, fromInterlaced, 7), ERCI_OK);
    ASSERT_EQ(reduce(testimg::encodePng(whole), fromPlain, 7), ERCI_OK);
    EXPECT_TRUE(testimg::samePixels(fromInterlaced, fromPlain));
}

TEST(LargePng, ALargeSourceIsReducedToTheLargestSideKept) {
    for (size_t idatChunk : {size_t(1) << 16, size_t(1)}) { // one-byte chunks: every piece boundary
        SCOPED_TRACE(idatChunk);
        tfi::RgbaImage reduced;
        ASSERT_EQ(reduce(halvesPng(kLargeWidth, kLargeHeight, idatChunk), reduced), ERCI_OK);
        ASSERT_EQ(reduced.width, 1024u);
        ASSERT_EQ(reduced.height, 512u);
        for (uint32_t y : {0u, 511u}) {
            EXPECT_EQ(reduced.row(y)[0], 0);
            EXPECT_EQ(reduced.row(y)[4 * 1023], 255);
            EXPECT_EQ(reduced.row(y)[4 * 511 + 3], 255);
        }
    }
}

TEST(LargePng, OnlyPngsBeyondTheCapsAndWithinTheLargeCapsTakeThePath) {
    const Bytes small = fixture("rgba8.png");
    const struct {
        uint32_t width, height;
        uint64_t fileSize;
        bool large;
    } cases[] = {
        {0, 0, 1000, false},                         // as it is
        {0, 0, tfi::kMaxSourceFileBytes + 1, true},  // a small picture in a large file
        {0, 0, tfi::kMaxLargeSourceFileBytes + 1, false},
        {5792, 5792, 1000, false},
        {kLargeWidth, kLargeHeight, 1000, true},
        {16384, 16384, 1000, true},
        {16385, 16384, 1000, false},
        {32768, 8192, 1000, true},
        {32769, 100, 1000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + ", " + std::to_string(c.fileSize));
        const Bytes png = c.width ? testimg::withDeclaredSize(small, c.width, c.height) : small;
        SizedSource file(png, c.fileSize);
        EXPECT_EQ(tfi::isLargePngSource(file), c.large);
    }
    SizedSource icon(testimg::buildIcon({}), tfi::kMaxSourceFileBytes + 1);
    EXPECT_FALSE(tfi::isLargePngSource(icon));
}

TEST(LargePng, DamageIsRefusedBeforeOrWhileReading) {
    const Bytes png = halvesPng(kLargeWidth, kLargeHeight);
    const struct {
        const char* what;
        Bytes file;
        tfi::Result expected;
    } cases[] = {
        {"wrong IDAT CRC", testimg::withWrongCrc(png, "IDAT"), ERCI_ERR_CORRUPT_SOURCE},
        {"cut in the image data", Bytes(png.begin(), png.begin() + png.size() / 2), ERCI_ERR_CORRUPT_SOURCE},
        {"no IEND", Bytes(png.begin(), png.end() - 12), ERCI_ERR_CORRUPT_SOURCE},
        {"unknown filter type", halvesPng(kLargeWidth, kLargeHeight, 1 << 16, kUnknownFilter),
         ERCI_ERR_CORRUPT_SOURCE},
        {"data too small for 16384 x 16384", testimg::withDeclaredSize(fixture("rgba8.png"), 16384, 16384),
         ERCI_ERR_CORRUPT_SOURCE},
        {"wrong critical CRC before the data", testimg::withChunk(png, "PLTE", Bytes(3), false),
         ERCI_ERR_CORRUPT_SOURCE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tfi::RgbaImage reduced;
        tfi::MemorySourceFile file{tfi::ByteView(c.file)};
        EXPECT_EQ(reduce(c.file, reduced), c.expected);
        EXPECT_EQ(tfi::checkLargePng(file), c.expected);
    }
}

TEST(LargePng, ConvertsToAnIconAndCopiesToPngOnDisk) {
    testfiles::ScratchFolder folder;
    const Bytes png = halvesPng(kLargeWidth, kLargeHeight);
    const Bytes withBadText = testimg::withChunk(png, "tEXt", Bytes(5, 'a'), false);
    testfiles::writeFile(folder.file("large.png"), png);
    testfiles::writeFile(folder.file("text.PNG"), withBadText);
    testfiles::writeFile(folder.file("damaged.PNG"), testimg::withWrongCrc(png, "IDAT"));
    const Bytes kept = {'k', 'e', 'p', 't'};
    testfiles::writeFile(folder.file("existing.png"), kept);

    ASSERT_EQ(testfiles::convertFile(folder.file("large.png"), folder.file("large.ico")), ERCI_OK);
    EXPECT_EQ(testimg::readDirectory(testfiles::readFile(folder.file("large.ico"))).size(), 14u);
    ASSERT_EQ(testfiles::convertFile(folder.file("large.png"), folder.file("copy.png")), ERCI_OK);
    EXPECT_EQ(testfiles::readFile(folder.file("copy.png")), png);
    // The copy leaves out the ancillary chunk whose CRC is wrong, as a smaller file's copy does;
    // where names ignore letter case, over the source itself.
    ASSERT_EQ(testfiles::convertFile(folder.file("text.PNG"), folder.file("text.png")), ERCI_OK);
    EXPECT_EQ(testfiles::readFile(folder.file("text.png")), png);
    EXPECT_EQ(testfiles::convertFile(folder.file("damaged.PNG"), folder.file("existing.png")), ERCI_ERR_CORRUPT_SOURCE);
    EXPECT_EQ(testfiles::readFile(folder.file("existing.png")), kept);
    for (const std::string& name : folder.names())
        EXPECT_EQ(name.find("tfi"), std::string::npos) << name; // no temporary file left
}

} // namespace
