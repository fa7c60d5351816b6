#include <gtest/gtest.h>

#include <cstring>

#include "IconsWindowsReads.h"
#include "TestImages.h"
#include "core/ConvertOptions.h"
#include "core/Converter.h"
#include "core/IconReader.h"
#include "core/IconSizes.h"
#include "core/Limits.h"
#include "core/PngDecoder.h"

using testimg::Bytes;
using Sizes = std::vector<uint32_t>;

namespace {

Bytes convert(const Bytes& source, tfi::OutputFormat format, const std::string& option = "",
              tfi::Result expected = ERCI_OK) {
    tfi::ConvertOptions options;
    EXPECT_EQ(tfi::parseConvertOptions(option, options), ERCI_OK);
    Bytes out;
    EXPECT_EQ(tfi::convertImage(tfi::ByteView(source), format, options, out), expected);
    return out;
}

tfi::RgbaImage decodeEntry(const Bytes& icon, size_t index) {
    tfi::IconDirectory dir;
    tfi::RgbaImage image;
    EXPECT_EQ(tfi::readIconDirectory(tfi::ByteView(icon), dir), ERCI_OK);
    EXPECT_EQ(tfi::decodeIconEntry(dir.entries.at(index), image), ERCI_OK);
    return image;
}

TEST(IconSizes, PlanTable) {
    struct Row {
        uint32_t side;
        Sizes requested, expected;
    } rows[] = {
        {1000, {}, {16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 256}},
        {256, {}, {16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 256}},
        {100, {}, {16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 100}},
        {50, {}, {16, 20, 24, 30, 32, 36, 40, 48, 50}},
        {48, {}, {16, 20, 24, 30, 32, 36, 40, 48}},
        {16, {}, {16}},
        {12, {}, {12}},
        {10, {}, {10}},
        {1, {}, {1}},
        {300, {}, {16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 256}},
        {100, {16, 32, 256}, {16, 32}},
        {8, {16, 32}, {8}},
        {1000, {24}, {24}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(tfi::planIconSizes(r.side, r.requested), r.expected) << r.side;
}

TEST(ConvertOptions, ParseTable) {
    struct Row {
        const char* text;
        tfi::Result result;
        Sizes sizes;
        bool png;
        bool keepColor;
    } rows[] = {
        {"", ERCI_OK, {}, false, false},
        {"  ", ERCI_OK, {}, false, false},
        {"png", ERCI_OK, {}, true, false},
        {" PNG ", ERCI_OK, {}, true, false},
        {"sizes=48,16,32", ERCI_OK, {16, 32, 48}, false, false},
        {"Sizes = 16, 256 ; png", ERCI_OK, {16, 256}, true, false},
        {"png;sizes=1", ERCI_OK, {1}, true, false},
        {"sizes=", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"sizes=0", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"sizes=257", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"sizes=16,16", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"sizes=16,,32", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"sizes=+16", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"sizes=0016", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"sizes=16;sizes=32", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"png;png", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"png;", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"bmp", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"png=1", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"quality=9", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"color=keep", ERCI_OK, {}, false, true},
        {"sizes=16;COLOR = Keep;png", ERCI_OK, {16}, true, true},
        {"color=srgb", ERCI_OK, {}, false, false},
        {"color=", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"color=raw", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"color", ERCI_ERR_BAD_OPTION, {}, false, false},
        {"color=keep;color=keep", ERCI_ERR_BAD_OPTION, {}, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        tfi::ConvertOptions options;
        ASSERT_EQ(tfi::parseConvertOptions(r.text, options), r.result);
        if (r.result == ERCI_OK) {
            EXPECT_EQ(options.sizes, r.sizes);
            EXPECT_EQ(options.everyEntryPng, r.png);
            EXPECT_EQ(options.keepStoredColor, r.keepColor);
        }
    }
}

TEST(IconWriter, DirectoryFieldsAreExact) {
    const Bytes icon = convert(testimg::encodePng(testimg::pattern(300, 300, 1)), tfi::OutputFormat::Icon);
    const auto dir = testimg::readDirectory(icon);
    const Sizes expected = {16, 20, 24, 30, 32, 36, 40, 48, 60, 64, 72, 80, 96, 256};
    ASSERT_EQ(dir.size(), expected.size());
    uint32_t offset = uint32_t(6 + 16 * dir.size());
    for (size_t i = 0; i < dir.size(); ++i) {
        SCOPED_TRACE(expected[i]);
        const uint8_t sideByte = expected[i] == 256 ? 0 : uint8_t(expected[i]);
        EXPECT_EQ(dir[i].width, sideByte);
        EXPECT_EQ(dir[i].height, sideByte);
        EXPECT_EQ(dir[i].planes, 1);
        EXPECT_EQ(dir[i].bitCount, 32);
        EXPECT_EQ(dir[i].offset, offset);
        offset += dir[i].size;
        const bool png = tfi::hasPngSignature(tfi::ByteView(icon.data() + dir[i].offset, dir[i].size));
        EXPECT_EQ(png, expected[i] > 48);
        if (!png) { // colour rows plus a mask padded to 32 bits
            EXPECT_EQ(dir[i].size, 40 + expected[i] * expected[i] * 4 + (expected[i] + 31) / 32 * 4 * expected[i]);
        }
        EXPECT_EQ(decodeEntry(icon, i).width, expected[i]);
    }
    EXPECT_EQ(offset, icon.size());
}

TEST(IconWriter, PngOptionStoresEveryEntryAsPng) {
    const Bytes icon = convert(testimg::encodePng(testimg::pattern(64, 64, 2)), tfi::OutputFormat::Icon, "png;sizes=16,64");
    const auto dir = testimg::readDirectory(icon);
    ASSERT_EQ(dir.size(), 2u);
    for (const auto& row : dir)
        EXPECT_TRUE(tfi::hasPngSignature(tfi::ByteView(icon.data() + row.offset, row.size)));
}

TEST(Conversion, RoundTripAtTheSourceSizeIsPixelExact) {
    const uint32_t sides[] = {1, 10, 16, 37, 48, 49, 100, 256};
    for (uint32_t side : sides) {
        for (bool alpha : {false, true}) {
            SCOPED_TRACE(testing::Message() << side << (alpha ? " alpha" : " opaque"));
            const tfi::RgbaImage source = testimg::pattern(side, side, side, alpha);
            const Bytes icon = convert(testimg::encodePng(source), tfi::OutputFormat::Icon);
            const Bytes png = convert(icon, tfi::OutputFormat::Png);
            tfi::RgbaImage back;
            ASSERT_EQ(tfi::decodePng(tfi::ByteView(png), back), ERCI_OK);
            // Bitmap entries (up to 48) keep every byte; PNG entries store the colour under
            // alpha 0 as black.
            const bool pngEntry = side > 48;
            EXPECT_TRUE(testimg::samePixels(pngEntry ? testimg::transparentCleared(source) : source, back));
            if (pngEntry && alpha) { // the pattern has colour under alpha 0
                EXPECT_FALSE(testimg::samePixels(source, back));
            }
        }
    }
}

TEST(Conversion, PngEntriesStoreTransparentColourAsBlackAndBitmapsKeepIt) {
    const tfi::RgbaImage source = testimg::pattern(48, 48, 11);
    const Bytes icon = convert(testimg::encodePng(source), tfi::OutputFormat::Icon, "sizes=48,32;png");
    const Bytes bitmaps = convert(testimg::encodePng(source), tfi::OutputFormat::Icon, "sizes=48,32");
    EXPECT_TRUE(testimg::samePixels(decodeEntry(icon, 1), testimg::transparentCleared(source)));
    EXPECT_TRUE(testimg::samePixels(decodeEntry(bitmaps, 1), source));
}

TEST(Conversion, TransparentPartOfThePngEntryCostsAlmostNothing) {
    // Noise everywhere, visible only in the middle half of the rows: the noise under alpha 0
    // must not be stored.
    tfi::RgbaImage source = testimg::pattern(256, 256, 12, false);
    for (uint32_t y = 0; y < 256; ++y)
        if (y < 64 || y >= 192)
            for (uint32_t x = 0; x < 256; ++x)
                source.row(y)[4 * x + 3] = 0;
    const Bytes icon = convert(testimg::encodePng(source), tfi::OutputFormat::Icon, "sizes=256");
    const Bytes visibleHalf = convert(testimg::encodePng(testimg::pattern(256, 128, 12, false)),
                                      tfi::OutputFormat::Icon, "sizes=256");
    ASSERT_EQ(testimg::readDirectory(icon).size(), 1u);
    EXPECT_LT(icon.size(), visibleHalf.size() + 2048);

    for (size_t i = 3; i < source.pixels.size(); i += 4)
        source.pixels[i] = 0;
    const Bytes invisible = convert(testimg::encodePng(source), tfi::OutputFormat::Icon, "sizes=256");
    EXPECT_LT(invisible.size(), 1024u);
    const tfi::RgbaImage back = decodeEntry(invisible, 0);
    for (size_t i = 0; i < back.pixels.size(); ++i)
        ASSERT_EQ(back.pixels[i], 0) << i;
}

TEST(Conversion, FullyTransparentSourceSurvivesTheRoundTrip) {
    tfi::RgbaImage source = testimg::pattern(20, 20, 3);
    for (size_t i = 3; i < source.pixels.size(); i += 4)
        source.pixels[i] = 0;
    const Bytes png = convert(convert(testimg::encodePng(source), tfi::OutputFormat::Icon), tfi::OutputFormat::Png);
    tfi::RgbaImage back;
    ASSERT_EQ(tfi::decodePng(tfi::ByteView(png), back), ERCI_OK);
    EXPECT_TRUE(testimg::samePixels(source, back));
}

TEST(Conversion, NonSquareSourceIsCentredNotStretched) {
    const tfi::RgbaImage source = testimg::pattern(40, 20, 4, false);
    const Bytes icon = convert(testimg::encodePng(source), tfi::OutputFormat::Icon);
    const auto dir = testimg::readDirectory(icon);
    ASSERT_EQ(dir.back().width, 40); // the source's own side, as a square
    const tfi::RgbaImage own = decodeEntry(icon, dir.size() - 1);
    for (uint32_t y = 0; y < 40; ++y)
        for (uint32_t x = 0; x < 40; ++x) {
            const uint8_t* p = own.row(y) + 4 * x;
            if (y < 10 || y >= 30)
                ASSERT_EQ(p[3], 0) << x << "," << y;
            else
                ASSERT_EQ(0, memcmp(p, source.row(y - 10) + 4 * x, 4)) << x << "," << y;
        }
    const tfi::RgbaImage small = decodeEntry(icon, 0); // 16 px: content 16 x 8 in rows 4..11
    EXPECT_EQ(small.row(3)[4 * 8 + 3], 0);
    EXPECT_EQ(small.row(4)[4 * 8 + 3], 255);
    EXPECT_EQ(small.row(11)[4 * 8 + 3], 255);
    EXPECT_EQ(small.row(12)[4 * 8 + 3], 0);
}

TEST(Conversion, DownscaledEdgesOnTransparencyKeepTheirColour) {
    // Without alpha weighting, the transparent black around the disc darkens its rim; nor may
    // any other colour hidden under alpha 0 show.
    const uint8_t orange[3] = {255, 160, 0};
    const uint8_t hiddenColours[][3] = {{0, 0, 0}, {0, 0, 255}, {255, 255, 255}};
    for (const auto& hidden : hiddenColours) {
        tfi::RgbaImage disc = testimg::disc(512, orange);
        for (size_t p = 0; p < disc.pixels.size(); p += 4)
            if (disc.pixels[p + 3] == 0)
                std::memcpy(&disc.pixels[p], hidden, 3);
        const Bytes icon = convert(testimg::encodePng(disc), tfi::OutputFormat::Icon);
        for (size_t i = 0; i < testimg::readDirectory(icon).size(); ++i) {
            const tfi::RgbaImage entry = decodeEntry(icon, i);
            SCOPED_TRACE(testing::Message() << entry.width << " px, hidden " << int(hidden[2]));
            int partial = 0;
            for (size_t p = 0; p < entry.pixels.size(); p += 4) {
                const uint8_t* px = &entry.pixels[p];
                if (px[3] < 8)
                    continue;
                partial += px[3] < 255;
                EXPECT_GE(px[0], 245);
                EXPECT_NEAR(px[1], 160, 12);
                EXPECT_LE(px[2], 10);
            }
            EXPECT_GT(partial, 0); // the rim is antialiased, not cut
        }
    }
}

TEST(IconReader, ChoosesLargestAreaThenDeepestEntry) {
    auto solid = [](uint32_t side, uint16_t bits, uint32_t color) {
        testimg::IconRow row;
        row.width = row.height = uint8_t(side);
        row.bitCount = bits;
        std::vector<uint32_t> palette;
        if (bits <= 8)
            palette.assign(1u << bits, color);
        const uint32_t value = bits <= 8 ? 0 : (bits == 32 ? 0xFF000000u | color : color);
        row.data = testimg::buildDib(side, side, bits, palette, std::vector<uint32_t>(side * side, value),
                                     std::vector<uint8_t>(side * side, 0));
        return row;
    };
    const Bytes icon = testimg::buildIcon({solid(16, 32, 0x000001), solid(48, 8, 0x000002), solid(48, 32, 0x000003),
                                           solid(48, 24, 0x000004), solid(32, 32, 0x000005)});
    tfi::RgbaImage best;
    ASSERT_EQ(tfi::decodeBestIconEntry(tfi::ByteView(icon), best), ERCI_OK);
    EXPECT_EQ(best.width, 48u);
    EXPECT_EQ(best.pixels[2], 3);
}

TEST(IconReader, TrustsTheStoredImageOverTheDirectory) {
    testimg::IconRow big, small;
    big.width = big.height = 16; // claims 16, holds 64
    big.data = testimg::buildDib(64, 64, 24, {}, std::vector<uint32_t>(64 * 64, 0x00FF00), std::vector<uint8_t>(64 * 64, 0));
    small.width = small.height = 0; // claims 256, holds a 32 px PNG
    small.data = testimg::encodePng(testimg::pattern(32, 32, 5));
    const Bytes icon = testimg::buildIcon({small, big});
    tfi::RgbaImage best;
    ASSERT_EQ(tfi::decodeBestIconEntry(tfi::ByteView(icon), best), ERCI_OK);
    EXPECT_EQ(best.width, 64u);
    EXPECT_EQ(best.pixels[1], 255);
}

TEST(IconReader, SkipsAnEntryThatLiesWhenASoundOneRemains) {
    testimg::IconRow good, lying;
    good.width = good.height = 16;
    good.data = testimg::encodePng(testimg::pattern(16, 16, 6));
    lying.width = lying.height = 0;
    lying.data = testimg::encodePng(testimg::pattern(256, 256, 7));
    lying.data.resize(60); // header of a 256 px image, almost no data
    tfi::RgbaImage best;
    ASSERT_EQ(tfi::decodeBestIconEntry(tfi::ByteView(testimg::buildIcon({lying, good})), best), ERCI_OK);
    EXPECT_EQ(best.width, 16u);
}

// A PNG entry whose header promises a row more than its data holds: it fails only once decoding
// has been paid for.
testimg::IconRow failingRow(uint32_t seed) {
    testimg::IconRow row;
    row.data = testimg::withDeclaredSize(testimg::encodePng(testimg::pattern(16, 16, seed)), 16, 17);
    return row;
}

testimg::IconRow goodRow(uint32_t side, uint32_t seed) {
    testimg::IconRow row;
    row.data = testimg::encodePng(testimg::pattern(side, side, seed));
    return row;
}

struct Decoded {
    tfi::Result result;
    size_t decodes;
    bool sound;
    uint32_t width;
};

Decoded decodeWith(const Bytes& icon, bool checkEveryEntry, tfi::WorkBudget budget = tfi::WorkBudget()) {
    tfi::DecodedIcon decoded;
    const tfi::Result r = tfi::decodeIcon(tfi::ByteView(icon), checkEveryEntry, budget, decoded);
    return {r, budget.decodes(), decoded.everyEntrySound, decoded.best.width};
}

TEST(IconReader, DecodesEachStoredImageOnceAndOnlyTheBestFew) {
    std::vector<testimg::IconRow> shared(256);
    shared[0] = failingRow(1);
    for (testimg::IconRow& row : shared) { // every row points at the first one's data
        row.overrideOffset = row.overrideSize = true;
        row.offset = 6 + 16 * 256;
        row.size = uint32_t(shared[0].data.size());
    }
    for (bool checkEveryEntry : {false, true}) {
        const Decoded d = decodeWith(testimg::buildIcon(shared), checkEveryEntry);
        EXPECT_EQ(d.result, ERCI_ERR_CORRUPT_SOURCE);
        EXPECT_EQ(d.decodes, 1u);
    }

    std::vector<testimg::IconRow> damaged;
    for (uint32_t i = 0; i < 20; ++i)
        damaged.push_back(failingRow(i));
    damaged.push_back(goodRow(8, 1)); // ranked last: smaller than every damaged entry
    const Decoded d = decodeWith(testimg::buildIcon(damaged), false);
    EXPECT_EQ(d.result, ERCI_ERR_CORRUPT_SOURCE);
    EXPECT_EQ(d.decodes, tfi::kMaxEntriesTried);

    const Bytes sound = testimg::buildIcon({goodRow(16, 1), goodRow(48, 2), goodRow(32, 3)});
    const Decoded check = decodeWith(sound, true);
    EXPECT_EQ(check.result, ERCI_OK);
    EXPECT_TRUE(check.sound);
    EXPECT_EQ(check.width, 48u);
    EXPECT_EQ(check.decodes, 3u); // the best one is not decoded again for the copy
}

TEST(IconReader, TheBudgetEndsTheCheckAndLeavesTheBestEntry) {
    const Bytes icon = testimg::buildIcon({goodRow(16, 1), goodRow(16, 2), goodRow(16, 3), goodRow(16, 4)});
    const Decoded partly = decodeWith(icon, true, tfi::WorkBudget(2 * 16 * 16));
    EXPECT_EQ(partly.result, ERCI_OK);
    EXPECT_FALSE(partly.sound); // not all checked: rebuilt, not copied
    EXPECT_EQ(partly.decodes, 2u);
    EXPECT_EQ(partly.width, 16u);
    EXPECT_EQ(decodeWith(icon, false, tfi::WorkBudget(16 * 16 - 1)).result, ERCI_ERR_TOO_LARGE);
    EXPECT_EQ(decodeWith(icon, false, tfi::WorkBudget(16 * 16, 16 * (16 * 4 + 1) - 1)).result, ERCI_ERR_TOO_LARGE);
}

TEST(IconReader, EntriesBeyondTheReadableSideAreRefusedButPngSourcesAreNot) {
    const Bytes wide = testimg::encodePng(testimg::pattern(tfi::kMaxReadableEntrySide + 1, 1, 3));
    EXPECT_FALSE(convert(wide, tfi::OutputFormat::Icon).empty());
    testimg::IconRow row;
    row.data = wide;
    convert(testimg::buildIcon({row}), tfi::OutputFormat::Png, "", ERCI_ERR_TOO_LARGE);
}

// What Windows draws is what the user sees of an icon: each such file converts to that picture,
// re-encoded, never as the damaged bytes; and being damaged, it is never copied as an icon.
TEST(IconReader, ReadsAsWindowsReads) {
    for (const testimg::IconWindowsReads& icon : testimg::iconsWindowsReads()) {
        SCOPED_TRACE(icon.name);
        const Bytes png = convert(icon.file, tfi::OutputFormat::Png);
        EXPECT_TRUE(tfi::pngChecksumsRight(tfi::ByteView(png)));
        tfi::RgbaImage back;
        ASSERT_EQ(tfi::decodePng(tfi::ByteView(png), back), ERCI_OK);
        EXPECT_TRUE(testimg::samePixels(testimg::transparentCleared(back), testimg::transparentCleared(icon.shown)));
        EXPECT_NE(convert(icon.file, tfi::OutputFormat::Icon), icon.file);
    }
}

TEST(Conversion, SoundIconIsCopiedAndCursorOrDamagedIconRebuilt) {
    testimg::IconRow row;
    row.width = row.height = 32;
    row.data = testimg::encodePng(testimg::pattern(32, 32, 8));
    const Bytes icon = testimg::buildIcon({row});
    EXPECT_EQ(convert(icon, tfi::OutputFormat::Icon), icon);

    const Bytes cursor = testimg::buildIcon({row}, 2);
    const Bytes fromCursor = convert(cursor, tfi::OutputFormat::Icon);
    ASSERT_GE(fromCursor.size(), 6u);
    EXPECT_EQ(fromCursor[2], 1); // an icon now, with the default entries up to 32
    EXPECT_EQ(testimg::readDirectory(fromCursor).size(), 5u);

    testimg::IconRow broken = row;
    broken.data.resize(50);
    const Bytes damaged = testimg::buildIcon({row, broken});
    const Bytes rebuilt = convert(damaged, tfi::OutputFormat::Icon);
    EXPECT_NE(rebuilt, damaged);
    EXPECT_EQ(testimg::readDirectory(rebuilt).size(), 5u);
}

TEST(Conversion, ValidPngToPngIsByteIdentical) {
    const Bytes png = testimg::encodePng(testimg::pattern(30, 10, 9));
    EXPECT_EQ(convert(png, tfi::OutputFormat::Png), png);
}

} // namespace
