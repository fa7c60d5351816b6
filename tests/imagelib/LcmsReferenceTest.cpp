// Every RGB and grey matrix/TRC profile that Debian's colord-data and icc-profiles-free ship,
// applied by us and by lcms2 (relative colorimetric, to its own sRGB profile): a picture of
// many colours, out of sRGB's gamut too, must come out within 1 level of lcms2's per channel
// on average and within 2 at worst, at the source's own size and in every smaller entry
// against the icon of lcms2's converted picture.
#include <gtest/gtest.h>

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "TestImages.h"
#include "core/Converter.h"
#include "core/IconReader.h"
#include "core/PngDecoder.h"

using testimg::Bytes;

namespace {

const char* const kProfileFolders[] = {"/usr/share/color/icc/colord", "/usr/share/color/icc"};
constexpr uint32_t kSide = 64;
constexpr double kMaxMeanLevels = 1.0;
constexpr int kMaxLevels = 2;

std::vector<std::string> profileFiles() {
    std::vector<std::string> files;
    for (const char* folder : kProfileFolders)
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".icc" || entry.path().extension() == ".ICM")
                files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

using Profile = std::unique_ptr<void, cmsBool (*)(cmsHPROFILE)>;

// The profiles a matrix/TRC conversion is meant for: RGB or grey, with no lookup table that
// lcms2 would use in its place.
bool isMatrixProfile(cmsHPROFILE profile) {
    const cmsColorSpaceSignature space = cmsGetColorSpace(profile);
    return (space == cmsSigRgbData || space == cmsSigGrayData) && cmsIsMatrixShaper(profile) &&
           !cmsIsCLUT(profile, INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_INPUT);
}

// Every level of each channel, their mixtures, and the cube's corners (outside sRGB for wide
// spaces).
Bytes manyColours(int channels) {
    Bytes samples;
    for (uint32_t y = 0; y < kSide; ++y)
        for (uint32_t x = 0; x < kSide; ++x) {
            const uint32_t i = y * kSide + x;
            const uint8_t levels[3] = {uint8_t(x * 255 / (kSide - 1)), uint8_t(y * 255 / (kSide - 1)),
                                       uint8_t((i * 37) % 256)};
            samples.insert(samples.end(), levels, levels + (channels == 3 ? 3 : 1));
            if (channels == 1)
                samples.back() = uint8_t(i % 256);
        }
    return samples;
}

// lcms2 at 16 bits without its optimisations, the most exact it gives, rounded to 8.
tfi::RgbaImage lcmsReference(cmsHPROFILE profile, const Bytes& samples, int channels) {
    Profile srgb(cmsCreate_sRGBProfile(), cmsCloseProfile);
    const cmsUInt32Number inFormat = channels == 3 ? TYPE_RGB_16 : TYPE_GRAY_16;
    cmsHTRANSFORM transform = cmsCreateTransform(profile, inFormat, srgb.get(), TYPE_RGB_16,
                                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
    EXPECT_NE(transform, nullptr);
    std::vector<uint16_t> in(samples.size()), out(size_t(kSide) * kSide * 3);
    for (size_t i = 0; i < samples.size(); ++i)
        in[i] = uint16_t(samples[i] * 257);
    if (transform) {
        cmsDoTransform(transform, in.data(), out.data(), kSide * kSide);
        cmsDeleteTransform(transform);
    }
    tfi::RgbaImage image;
    tfi::allocateImage(image, kSide, kSide);
    for (size_t p = 0; p < size_t(kSide) * kSide; ++p) {
        for (int c = 0; c < 3; ++c)
            image.pixels[4 * p + c] = uint8_t(std::lround(out[3 * p + c] / 257.0));
        image.pixels[4 * p + 3] = 255;
    }
    return image;
}

std::vector<tfi::RgbaImage> iconEntries(const Bytes& icon) {
    tfi::IconDirectory dir;
    EXPECT_EQ(tfi::readIconDirectory(tfi::ByteView(icon), dir), ERCI_OK);
    std::vector<tfi::RgbaImage> entries;
    for (const tfi::IconEntry& entry : dir.entries) {
        entries.emplace_back();
        EXPECT_EQ(tfi::decodeIconEntry(entry, entries.back()), ERCI_OK);
    }
    return entries;
}

Bytes toIcon(const Bytes& png) {
    Bytes icon;
    tfi::ColorNote note = tfi::ColorNote::None;
    EXPECT_EQ(tfi::convertImage(tfi::ByteView(png), tfi::OutputFormat::Icon, tfi::ConvertOptions(), icon, &note),
              ERCI_OK);
    EXPECT_EQ(note, tfi::ColorNote::None);
    return icon;
}

struct Difference {
    double worstMean = 0;
    int worst = 0;
};

// Per channel: the mean and the largest difference over the opaque pixels.
Difference compare(const tfi::RgbaImage& ours, const tfi::RgbaImage& theirs) {
    Difference d;
    EXPECT_EQ(ours.width, theirs.width);
    if (ours.pixels.size() != theirs.pixels.size())
        return {255, 255};
    for (int c = 0; c < 3; ++c) {
        double sum = 0;
        size_t counted = 0;
        for (size_t p = 0; p < ours.pixels.size(); p += 4) {
            if (theirs.pixels[p + 3] == 0)
                continue;
            const int diff = std::abs(int(ours.pixels[p + c]) - int(theirs.pixels[p + c]));
            sum += diff;
            ++counted;
            d.worst = std::max(d.worst, diff);
        }
        d.worstMean = std::max(d.worstMean, counted ? sum / counted : 0);
    }
    return d;
}

TEST(LcmsReference, EveryMatrixProfileShippedConvertsAsLcms2Does) {
    size_t checked = 0;
    for (const std::string& path : profileFiles()) {
        Profile profile(cmsOpenProfileFromFile(path.c_str(), "r"), cmsCloseProfile);
        if (!profile || !isMatrixProfile(profile.get()))
            continue;
        SCOPED_TRACE(path);
        const int channels = cmsGetColorSpace(profile.get()) == cmsSigRgbData ? 3 : 1;
        const Bytes samples = manyColours(channels);
        const Bytes plain = testimg::rawPng(kSide, kSide, channels == 3 ? 2 : 0, 8, samples);
        const Bytes png = testimg::withChunk(plain, "iCCP", testimg::iccpData(testfiles::readFile(path)), true);
        const tfi::RgbaImage reference = lcmsReference(profile.get(), samples, channels);

        const std::vector<tfi::RgbaImage> ours = iconEntries(toIcon(png));
        const std::vector<tfi::RgbaImage> theirs = iconEntries(toIcon(testimg::encodePng(reference)));
        ASSERT_EQ(ours.size(), theirs.size());
        ASSERT_EQ(ours.back().width, kSide);
        const Difference own = compare(ours.back(), reference);
        Difference smaller;
        for (size_t i = 0; i + 1 < ours.size(); ++i) {
            const Difference d = compare(ours[i], theirs[i]);
            smaller = {std::max(smaller.worstMean, d.worstMean), std::max(smaller.worst, d.worst)};
        }
        std::printf("%-60s own size: mean %.3f max %d; smaller entries: mean %.3f max %d\n", path.c_str(),
                    own.worstMean, own.worst, smaller.worstMean, smaller.worst);
        EXPECT_LE(own.worstMean, kMaxMeanLevels);
        EXPECT_LE(own.worst, kMaxLevels);
        EXPECT_LE(smaller.worstMean, kMaxMeanLevels);
        EXPECT_LE(smaller.worst, kMaxLevels);
        ++checked;
    }
    // colord-data alone ships more than twenty; none found means the packages are missing.
    EXPECT_GE(checked, 20u);
}

} // namespace
