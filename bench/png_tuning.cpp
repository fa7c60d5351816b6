// The PNG writer's filter and deflate choices, measured: every PNG named on the command line is
// decoded and written again with each alternative, in the layout the writer would pick for it.
// Prints, per kind of layout, total bytes and time of each filter rule and deflate setting.
//
//     /usr/bin/python3 bench/benchmark.py IMAGECORE --tuning-pictures DIR
//     build/native/bench/png_tuning DIR/*.png
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/PngDecoder.h"
#include "core/PngEncoder.h"

namespace {

using tfi::DeflateSettings;
using tfi::FilterRule;

struct Named {
    const char* name;
    FilterRule rule;
};
const Named kFilters[] = {{"None", FilterRule::None},   {"Sub", FilterRule::Sub},     {"Up", FilterRule::Up},
                          {"Average", FilterRule::Average}, {"Paeth", FilterRule::Paeth}, {"adaptive", FilterRule::Adaptive}};

struct NamedSettings {
    const char* name;
    DeflateSettings settings;
};
const NamedSettings kSettings[] = {
    {"level 1", {1, Z_DEFAULT_STRATEGY, 8, 15, 0, 0, 0, 0}},
    {"level 3", {3, Z_DEFAULT_STRATEGY, 8, 15, 0, 0, 0, 0}},
    {"level 6", {6, Z_DEFAULT_STRATEGY, 8, 15, 0, 0, 0, 0}},
    {"level 9", {9, Z_DEFAULT_STRATEGY, 8, 15, 0, 0, 0, 0}},
    {"level 6 filtered", {6, Z_FILTERED, 8, 15, 0, 0, 0, 0}},
    {"level 9 filtered", {9, Z_FILTERED, 8, 15, 0, 0, 0, 0}},
    {"6 filtered chain 48", {6, Z_FILTERED, 8, 15, 4, 128, 258, 48}},
    {"6 default chain 48", {6, Z_DEFAULT_STRATEGY, 8, 15, 4, 128, 258, 48}},
    {"6 filtered chain 96", {6, Z_FILTERED, 8, 15, 4, 128, 258, 96}},
    {"the writer's own", {0, 0, 0, 0, 0, 0, 0, 0}},
};

bool readFile(const char* path, std::vector<uint8_t>& data) {
    std::ifstream in(path, std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

struct Total {
    size_t bytes = 0;
    double seconds = 0;
};

// The quickest of a few runs: on a shared machine the others measure the neighbours.
constexpr int kRuns = 5;

Total measure(const std::vector<tfi::RgbaImage>& images, const std::vector<tfi::PngEncoding>& encodings) {
    Total total;
    std::vector<uint8_t> out;
    for (int run = 0; run < kRuns; ++run) {
        total.bytes = 0;
        const auto start = std::chrono::steady_clock::now();
        for (size_t i = 0; i < images.size(); ++i) {
            tfi::encodePngWith(images[i], encodings[i], out);
            total.bytes += out.size();
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        total.seconds = run == 0 ? seconds : std::min(total.seconds, seconds);
    }
    return total;
}

void printRow(const std::string& what, const Total& t, const Total& base) {
    std::printf("  %-34s %10zu B  %6.3f  %8.1f ms\n", what.c_str(), t.bytes, double(t.bytes) / double(base.bytes),
                t.seconds * 1000);
}

// The writer's own choices for these images, with the filters or the deflate settings swapped.
void compareKind(const char* kind, const std::vector<tfi::RgbaImage>& images) {
    if (images.empty())
        return;
    std::vector<tfi::PngEncoding> own;
    for (const tfi::RgbaImage& image : images)
        own.push_back(tfi::encodingFor(tfi::smallestLayout(image)));
    const Total base = measure(images, own);
    std::printf("%s: %zu pictures; bytes, against the writer's own choice, and time\n", kind, images.size());
    for (const Named& f : kFilters) {
        std::vector<tfi::PngEncoding> e = own;
        for (tfi::PngEncoding& one : e)
            one.filters = f.rule;
        printRow(std::string("filter ") + f.name, measure(images, e), base);
    }
    for (const NamedSettings& s : kSettings) {
        std::vector<tfi::PngEncoding> e = own;
        if (s.settings.level != 0)
            for (tfi::PngEncoding& one : e)
                one.trials = {s.settings};
        printRow(std::string("deflate ") + s.name, measure(images, e), base);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<tfi::RgbaImage> trueColour, indexed;
    for (int i = 1; i < argc; ++i) {
        std::vector<uint8_t> file;
        tfi::RgbaImage image;
        if (!readFile(argv[i], file) || tfi::decodePng(tfi::ByteView(file), image) != ERCI_OK) {
            std::fprintf(stderr, "png_tuning: cannot read %s\n", argv[i]);
            return 1;
        }
        (tfi::smallestLayout(image).usesAdaptiveFilters() ? trueColour : indexed).push_back(std::move(image));
    }
    compareKind("grey, RGB, RGBA (8-bit samples)", trueColour);
    compareKind("palette and packed grey", indexed);
    return 0;
}
