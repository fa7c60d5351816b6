// PNG sources in the colour space they declare, converted to sRGB: cICP and gAMA/cHRM against
// their formulas, the cases left as stored, and every way a PNG becomes pixels for an icon.
// Real ICC profiles are checked against lcms2 in LcmsReferenceTest.cpp (native build).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "TestImages.h"
#include "core/ConvertOptions.h"
#include "core/Converter.h"
#include "core/IconReader.h"
#include "core/LargePng.h"
#include "core/PngDecoder.h"

using testimg::Bytes;

namespace {

constexpr uint8_t kGrey = 0, kRgb = 2;

struct Chunk {
    const char* type;
    Bytes data;
};

Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Bytes be32s(std::initializer_list<uint32_t> values) {
    Bytes out;
    for (uint32_t v : values) {
        const Bytes b = be32(v);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

Bytes tagged(Bytes png, const std::vector<Chunk>& chunks) {
    for (auto c = chunks.rbegin(); c != chunks.rend(); ++c)
        png = testimg::withChunk(png, c->type, c->data, true);
    return png;
}

// 256 pixels whose channels each run through every level, in different orders, so that a
// matrix mixing them is seen at all levels.
Bytes levelSamples(uint8_t colorType, uint8_t depth) {
    Bytes samples;
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t levels[3] = {i, (i * 37 + 11) % 256, (i * 101 + 7) % 256};
        for (int c = 0; c < (colorType == kRgb ? 3 : 1); ++c) {
            if (depth == 16) // low bytes that rounding to 8 bits first would lose
                samples.insert(samples.end(), {uint8_t(levels[c] >> 2), uint8_t(levels[c] * 7)});
            else
                samples.push_back(uint8_t(levels[c]));
        }
    }
    return samples;
}

double sampleValue(const Bytes& samples, size_t index, uint8_t depth) {
    return depth == 16 ? ((samples[2 * index] << 8) | samples[2 * index + 1]) / 65535.0 : samples[index] / 255.0;
}

// The published formulas, written out here independently of the library.
double srgbEncode(double l) {
    l = std::min(1.0, std::max(0.0, l));
    return l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}
double srgbDecode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double bt709Decode(double v) { return v < 0.081 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1 / 0.45); }
double linearDecode(double v) { return v; }

using Matrix = std::array<std::array<double, 3>, 3>;
const Matrix kIdentity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
// Linear RGB of each space to linear sRGB (all D65), as published to four places.
const Matrix kDisplayP3ToSrgb = {{{1.2249, -0.2247, 0}, {-0.0420, 1.0419, 0}, {-0.0197, -0.0786, 1.0979}}};
const Matrix kBt2020ToSrgb = {{{1.6605, -0.5876, -0.0728}, {-0.1246, 1.1329, -0.0083}, {-0.0182, -0.1006, 1.1187}}};
const Matrix kAdobeToSrgb = {{{1.3982, -0.3982, 0}, {0, 1, 0}, {0, -0.0429, 1.0429}}};

Bytes cicp(uint8_t primaries, uint8_t transfer, uint8_t matrix = 0, uint8_t fullRange = 1) {
    return {primaries, transfer, matrix, fullRange};
}
const Bytes kAdobeChromaticities = be32s({31270, 32900, 64000, 33000, 21000, 71000, 15000, 6000});
const Bytes kSrgbChromaticities = be32s({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000});

tfi::RgbaImage decodeToSrgb(const Bytes& png, tfi::ColorNote& note) {
    tfi::RgbaImage image;
    tfi::WorkBudget budget;
    EXPECT_EQ(tfi::decodePngToSrgb(tfi::ByteView(png), image, budget, note), ERCI_OK);
    return image;
}

Bytes toIcon(const Bytes& png, const std::string& option, tfi::ColorNote* note = nullptr) {
    tfi::ConvertOptions options;
    EXPECT_EQ(tfi::parseConvertOptions(option, options), ERCI_OK);
    Bytes icon;
    EXPECT_EQ(tfi::convertImage(tfi::ByteView(png), tfi::OutputFormat::Icon, options, icon, note), ERCI_OK);
    return icon;
}

TEST(Colour, CicpAndGammaChunksGiveTheirFormulas) {
    const struct Row {
        const char* name;
        uint8_t colorType, depth;
        std::vector<Chunk> chunks;
        std::function<double(double)> decode;
        Matrix toSrgb;
    } rows[] = {
        {"cICP linear", kRgb, 8, {{"cICP", cicp(1, 8)}}, linearDecode, kIdentity},
        {"cICP BT.709", kRgb, 8, {{"cICP", cicp(1, 1)}}, bt709Decode, kIdentity},
        {"cICP Display P3", kRgb, 8, {{"cICP", cicp(12, 13)}}, srgbDecode, kDisplayP3ToSrgb},
        {"cICP BT.2020", kRgb, 8, {{"cICP", cicp(9, 14)}}, bt709Decode, kBt2020ToSrgb},
        {"cICP first of all", kRgb, 8, {{"gAMA", be32(100000)}, {"cICP", cicp(12, 13)}}, srgbDecode, kDisplayP3ToSrgb},
        {"cICP linear, 16 bits converted before they are 8", kRgb, 16, {{"cICP", cicp(1, 8)}}, linearDecode, kIdentity},
        {"cICP P3 on grey keeps neutrals", kGrey, 8, {{"cICP", cicp(12, 13)}}, srgbDecode, kIdentity},
        {"gAMA 1", kRgb, 8, {{"gAMA", be32(100000)}}, linearDecode, kIdentity},
        {"gAMA 1/2", kRgb, 8, {{"gAMA", be32(50000)}}, [](double v) { return v * v; }, kIdentity},
        {"gAMA 1 on grey", kGrey, 8, {{"gAMA", be32(100000)}}, linearDecode, kIdentity},
        {"gAMA 1, 16-bit grey", kGrey, 16, {{"gAMA", be32(100000)}}, linearDecode, kIdentity},
        {"gAMA 1/2.2 with other primaries",
         kRgb,
         8,
         {{"gAMA", be32(45455)}, {"cHRM", kAdobeChromaticities}},
         [](double v) { return std::pow(v, 100000.0 / 45455); },
         kAdobeToSrgb},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Bytes samples = levelSamples(r.colorType, r.depth);
        tfi::ColorNote note = tfi::ColorNote::ProfileDamaged;
        const tfi::RgbaImage image = decodeToSrgb(tagged(testimg::rawPng(256, 1, r.colorType, r.depth, samples), r.chunks), note);
        EXPECT_EQ(note, tfi::ColorNote::None);
        ASSERT_EQ(image.width, 256u);
        const int channels = r.colorType == kRgb ? 3 : 1;
        int worst = 0;
        for (uint32_t x = 0; x < 256; ++x) {
            double linear[3];
            for (int c = 0; c < 3; ++c)
                linear[c] = r.decode(sampleValue(samples, x * channels + (channels == 3 ? c : 0), r.depth));
            for (int c = 0; c < 3; ++c) {
                const auto& row = r.toSrgb[c];
                const double expected = 255 * srgbEncode(row[0] * linear[0] + row[1] * linear[1] + row[2] * linear[2]);
                worst = std::max(worst, int(std::lround(std::fabs(image.row(0)[4 * x + c] - expected) + 0.49)));
            }
        }
        EXPECT_LE(worst, 1);
    }
}

// A minimal ICC profile of `space` whose tag table holds `tags`, each an (signature, data) pair.
Bytes iccProfile(const char space[4], const std::vector<std::pair<const char*, Bytes>>& tags, uint32_t version = 4) {
    Bytes profile(128, 0);
    profile[8] = uint8_t(version);
    std::copy_n("mntr", 4, profile.begin() + 12);
    std::copy_n(space, 4, profile.begin() + 16);
    std::copy_n("XYZ ", 4, profile.begin() + 20);
    const Bytes count = be32(uint32_t(tags.size()));
    profile.insert(profile.end(), count.begin(), count.end());
    size_t dataAt = profile.size() + 12 * tags.size();
    Bytes data;
    for (const auto& tag : tags) {
        const Bytes entry = be32s({0, uint32_t(dataAt + data.size()), uint32_t(tag.second.size())});
        profile.insert(profile.end(), tag.first, tag.first + 4);
        profile.insert(profile.end(), entry.begin() + 4, entry.end());
        data.insert(data.end(), tag.second.begin(), tag.second.end());
    }
    profile.insert(profile.end(), data.begin(), data.end());
    const Bytes size = be32(uint32_t(profile.size()));
    std::copy(size.begin(), size.end(), profile.begin());
    return profile;
}

using testimg::iccpData;

Bytes xyzTag(double x, double y, double z) {
    Bytes tag = {'X', 'Y', 'Z', ' ', 0, 0, 0, 0};
    const Bytes values = be32s({uint32_t(int32_t(std::lround(x * 65536))), uint32_t(int32_t(std::lround(y * 65536))),
                                uint32_t(int32_t(std::lround(z * 65536)))});
    tag.insert(tag.end(), values.begin(), values.end());
    return tag;
}

Bytes gammaTag(double gamma) {
    const uint32_t fixed = uint32_t(std::lround(gamma * 256));
    return {'c', 'u', 'r', 'v', 0, 0, 0, 0, 0, 0, 0, 1, uint8_t(fixed >> 8), uint8_t(fixed)};
}

// sRGB's parametric curve, as ICC version 4 profiles carry it.
Bytes srgbCurveTag() {
    Bytes tag = {'p', 'a', 'r', 'a', 0, 0, 0, 0, 0, 3, 0, 0};
    for (double v : {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}) {
        const Bytes fixed = be32(uint32_t(std::lround(v * 65536)));
        tag.insert(tag.end(), fixed.begin(), fixed.end());
    }
    return tag;
}

// The sRGB colorants as the ICC connection space holds them, with `curve` for each channel;
// red's off by `redError`, as profiles' rounding leaves them.
Bytes srgbColorantsProfile(const Bytes& curve, double redError = 0) {
    return iccProfile("RGB ", {{"rXYZ", xyzTag(0.4361 + redError, 0.2225 + redError, 0.0139)},
                               {"gXYZ", xyzTag(0.3851, 0.7169, 0.0971)},
                               {"bXYZ", xyzTag(0.1431, 0.0606, 0.7141)},
                               {"rTRC", curve},
                               {"gTRC", curve},
                               {"bTRC", curve}});
}

Bytes linearSrgbProfile() { return srgbColorantsProfile(gammaTag(1)); }

// What an untagged source gives, byte for byte, is what each of these gives.
TEST(Colour, SrgbAndUnusableDeclarationsGiveTheUntaggedIcon) {
    const Bytes plain = testimg::encodePng(testimg::pattern(40, 40, 5));
    const Bytes untaggedIcon = toIcon(plain, "");
    const struct Row {
        const char* name;
        std::vector<Chunk> chunks;
        std::string option;
        tfi::ColorNote note;
    } rows[] = {
        {"sRGB", {{"sRGB", {0}}}, "", tfi::ColorNote::None},
        {"an sRGB profile", {{"iCCP", iccpData(srgbColorantsProfile(srgbCurveTag(), 0.0005))}}, "",
         tfi::ColorNote::None},
        {"sRGB before gAMA", {{"sRGB", {0}}, {"gAMA", be32(100000)}}, "", tfi::ColorNote::None},
        {"gAMA 1/2.2 means sRGB", {{"gAMA", be32(45455)}}, "", tfi::ColorNote::None},
        {"gAMA within 5 %", {{"gAMA", be32(47000)}}, "", tfi::ColorNote::None},
        {"gAMA 1/2.2 with sRGB's cHRM", {{"gAMA", be32(45455)}, {"cHRM", kSrgbChromaticities}}, "",
         tfi::ColorNote::None},
        {"cHRM alone names no curve", {{"cHRM", kAdobeChromaticities}}, "", tfi::ColorNote::None},
        {"gAMA 0 is nonsense", {{"gAMA", be32(0)}}, "", tfi::ColorNote::None},
        {"gAMA cut short", {{"gAMA", {1, 2}}}, "", tfi::ColorNote::None},
        {"cICP sRGB", {{"cICP", cicp(1, 13)}}, "", tfi::ColorNote::None},
        {"cICP PQ", {{"cICP", cicp(9, 16)}}, "", tfi::ColorNote::HdrTransfer},
        {"cICP HLG", {{"cICP", cicp(9, 18)}}, "", tfi::ColorNote::HdrTransfer},
        {"cICP unknown primaries", {{"cICP", cicp(22, 13)}}, "", tfi::ColorNote::CicpUnsupported},
        {"cICP YCbCr", {{"cICP", cicp(1, 13, 1)}}, "", tfi::ColorNote::CicpUnsupported},
        {"cICP narrow range", {{"cICP", cicp(12, 13, 0, 0)}}, "", tfi::ColorNote::CicpUnsupported},
        {"cICP cut short", {{"cICP", {12, 13}}}, "", tfi::ColorNote::CicpUnsupported},
        {"color=keep", {{"cICP", cicp(12, 13)}}, "color=keep", tfi::ColorNote::None},
        {"COLOR = Keep", {{"gAMA", be32(100000)}}, "png; COLOR = Keep", tfi::ColorNote::None},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        tfi::ColorNote note = tfi::ColorNote::ProfileDamaged;
        const Bytes icon = toIcon(tagged(plain, r.chunks), r.option, &note);
        EXPECT_EQ(note, r.note);
        const Bytes expected = r.option.find("png") == std::string::npos ? untaggedIcon : toIcon(plain, "png");
        EXPECT_EQ(icon, expected);
    }
}

TEST(Colour, AProfileIsAppliedWhenItCanBeAndOtherwiseSaysWhyNot) {
    const Bytes lutOnly = iccProfile("RGB ", {{"A2B0", Bytes(64, 0)}});
    Bytes truncated = linearSrgbProfile();
    truncated.resize(truncated.size() - 10);
    Bytes outside = linearSrgbProfile();
    outside[128 + 4 + 4 + 3] = 0xF0; // the first tag's offset beyond the profile
    const struct Row {
        const char* name;
        Bytes chunk;
        uint8_t colorType;
        tfi::ColorNote note;
    } rows[] = {
        {"a linear matrix profile", iccpData(linearSrgbProfile()), kRgb, tfi::ColorNote::None},
        {"a grey profile", iccpData(iccProfile("GRAY", {{"kTRC", gammaTag(1)}})), kGrey, tfi::ColorNote::None},
        {"LUT-only", iccpData(lutOnly), kRgb, tfi::ColorNote::ProfileUnsupported},
        {"CMYK", iccpData(iccProfile("CMYK", {})), kRgb, tfi::ColorNote::ProfileUnsupported},
        {"version 5", iccpData(iccProfile("RGB ", {}, 5)), kRgb, tfi::ColorNote::ProfileUnsupported},
        {"a grey profile on colour", iccpData(iccProfile("GRAY", {{"kTRC", gammaTag(1)}})), kRgb,
         tfi::ColorNote::ProfileMismatch},
        {"a colour profile on grey", iccpData(linearSrgbProfile()), kGrey, tfi::ColorNote::ProfileMismatch},
        {"cut short", iccpData(truncated), kRgb, tfi::ColorNote::ProfileDamaged},
        {"a tag outside", iccpData(outside), kRgb, tfi::ColorNote::ProfileDamaged},
        {"no colorants", iccpData(iccProfile("RGB ", {{"rTRC", gammaTag(1)}})), kRgb, tfi::ColorNote::ProfileDamaged},
        {"not zlib", {'p', 0, 0, 1, 2, 3, 4, 5}, kRgb, tfi::ColorNote::ProfileDamaged},
        {"no name", {0, 0, 0x78, 0x9c}, kRgb, tfi::ColorNote::ProfileDamaged},
        {"a size beyond the cap", iccpData(be32s({0x7FFFFFFF, 0, 0})), kRgb, tfi::ColorNote::ProfileUnsupported},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Bytes plain = testimg::rawPng(256, 1, r.colorType, 8, levelSamples(r.colorType, 8));
        tfi::ColorNote note = tfi::ColorNote::None;
        const tfi::RgbaImage image = decodeToSrgb(tagged(plain, {{"iCCP", r.chunk}}), note);
        EXPECT_EQ(note, r.note);
        tfi::RgbaImage stored;
        ASSERT_EQ(tfi::decodePng(tfi::ByteView(plain), stored), ERCI_OK);
        if (note != tfi::ColorNote::None) {
            EXPECT_TRUE(testimg::samePixels(image, stored));
            continue;
        }
        for (uint32_t x = 0; x < 256; ++x) // linear light shown in sRGB: brighter, never darker
            EXPECT_NEAR(image.row(0)[4 * x], 255 * srgbEncode(stored.row(0)[4 * x] / 255.0), 1.0);
    }
}

TEST(Colour, EveryWayAPngBecomesAnIconsPixelsConverts) {
    const Bytes png = tagged(testimg::encodePng(testimg::pattern(48, 48, 3)), {{"cICP", cicp(12, 13)}});
    tfi::ColorNote note = tfi::ColorNote::None;
    const tfi::RgbaImage inMemory = decodeToSrgb(png, note);
    tfi::RgbaImage stored;
    ASSERT_EQ(tfi::decodePng(tfi::ByteView(png), stored), ERCI_OK);
    ASSERT_FALSE(testimg::samePixels(inMemory, stored));

    tfi::MemorySourceFile file{tfi::ByteView(png)};
    tfi::RgbaImage inPieces;
    ASSERT_EQ(tfi::decodeLargePngReduced(file, inPieces, tfi::kMaxReducedSide, &note), ERCI_OK);
    EXPECT_TRUE(testimg::samePixels(testimg::transparentCleared(inMemory), inPieces));

    tfi::RgbaImage picture;
    tfi::WorkBudget budget;
    ASSERT_EQ(tfi::decodeIconPicture(tfi::ByteView(png), tfi::ConvertOptions(), picture, budget, note), ERCI_OK);
    EXPECT_TRUE(testimg::samePixels(picture, inMemory));

    EXPECT_TRUE(testimg::samePixels(testimg::entryOfSide(toIcon(png, ""), 48), inMemory));
    EXPECT_TRUE(testimg::samePixels(testimg::entryOfSide(toIcon(png, "color=keep"), 48), stored));
}

// Interlaced rows land a pass's step apart: each pixel is converted where it lands.
TEST(Colour, InterlacedRowsConvertAsPlainOnes) {
    const std::vector<Chunk> p3 = {{"cICP", cicp(12, 13)}};
    const Bytes interlaced = testfiles::readFile(testfiles::sourcePath("tests/imagelib/png/rgb8-adam7.png"));
    tfi::RgbaImage stored;
    ASSERT_EQ(tfi::decodePng(tfi::ByteView(interlaced), stored), ERCI_OK);
    tfi::ColorNote note = tfi::ColorNote::None;
    EXPECT_TRUE(testimg::samePixels(decodeToSrgb(tagged(interlaced, p3), note),
                                    decodeToSrgb(tagged(testimg::encodePng(stored), p3), note)));
}

// A palette is converted once, entry by entry; its transparency stays.
TEST(Colour, APaletteIsConvertedEntryByEntry) {
    Bytes palette, indices;
    for (uint32_t i = 0; i < 256; ++i) {
        palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
        indices.push_back(uint8_t(i));
    }
    Bytes png = testimg::rawPng(256, 1, 3, 8, indices);
    png = tagged(png, {{"gAMA", be32(100000)}, {"PLTE", palette}, {"tRNS", {0, 128}}});
    tfi::ColorNote note = tfi::ColorNote::ProfileDamaged;
    const tfi::RgbaImage image = decodeToSrgb(png, note);
    EXPECT_EQ(note, tfi::ColorNote::None);
    for (uint32_t x = 0; x < 256; ++x)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(image.row(0)[4 * x + c], 255 * srgbEncode(palette[3 * x + c] / 255.0), 1.0);
    EXPECT_EQ(image.row(0)[3], 0);
    EXPECT_EQ(image.row(0)[7], 128);
    EXPECT_EQ(image.row(0)[11], 255);
}

} // namespace
