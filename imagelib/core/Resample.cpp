#include "Resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "Limits.h"

namespace tfi {
namespace {

// The filter and the working levels were chosen by bench/icon_fidelity.py, which compares
// downscaled entries with the sizes designers drew by hand for two icon themes (see the table
// there). A soft cubic (Mitchell-Netravali, B = C = 1/3) came closer to the hand than sharper
// ones (Catmull-Rom, Lanczos) and than any sharpening; filtering the stored sRGB levels, raised
// to a power below 1 so that dark lines keep their weight, came closer than linear light, which
// thins the dark outlines designers draw at full strength.
constexpr float kFilterSupport = 2.0f;
constexpr float kCubicB = 1.0f / 3.0f;
constexpr float kCubicC = 1.0f / 3.0f;
constexpr double kWorkingExponent = 0.8;

float cubicFilter(float x) {
    x = std::fabs(x);
    constexpr float B = kCubicB, C = kCubicC;
    if (x < 1.0f)
        return ((12 - 9 * B - 6 * C) * x * x * x + (-18 + 12 * B + 6 * C) * x * x + (6 - 2 * B)) / 6;
    if (x < 2.0f)
        return ((-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x + (-12 * B - 48 * C) * x + (8 * B + 24 * C)) / 6;
    return 0.0f;
}

uint32_t scaledExtent(uint32_t extent, uint32_t side, uint32_t longer) {
    const uint64_t scaled = (uint64_t(extent) * side + longer / 2) / longer;
    return static_cast<uint32_t>(std::max<uint64_t>(1, std::min<uint64_t>(scaled, side)));
}

// One output sample along an axis: weights for input samples first .. first + count - 1.
struct Taps {
    uint32_t first = 0;
    uint32_t count = 0;
    size_t weightsAt = 0;
};

// Filter weights along one axis. Input samples beyond the edge repeat the edge sample, so
// their weights fold onto it; each output's weights sum to 1.
struct AxisFilter {
    std::vector<Taps> taps;
    std::vector<float> weights;

    AxisFilter(uint32_t inSize, uint32_t outSize) : taps(outSize) {
        const float scale = float(outSize) / float(inSize);
        const float stretch = scale < 1.0f ? 1.0f / scale : 1.0f; // widen the kernel when reducing
        const float radius = kFilterSupport * stretch;
        weights.reserve(size_t(outSize) * (size_t(std::ceil(2 * radius)) + 2));
        for (uint32_t o = 0; o < outSize; ++o) {
            const float centre = (float(o) + 0.5f) / scale - 0.5f;
            const int lo = int(std::floor(centre - radius)), hi = int(std::ceil(centre + radius));
            const int first = std::max(lo, 0), last = std::min(hi, int(inSize) - 1);
            Taps& t = taps[o];
            t.first = uint32_t(first);
            t.count = uint32_t(last - first + 1);
            t.weightsAt = weights.size();
            weights.resize(weights.size() + t.count, 0.0f);
            float* w = weights.data() + t.weightsAt;
            float sum = 0.0f;
            for (int i = lo; i <= hi; ++i) {
                const float v = cubicFilter((float(i) - centre) / stretch);
                w[std::min(std::max(i, first), last) - first] += v;
                sum += v;
            }
            if (sum != 0.0f)
                for (uint32_t k = 0; k < t.count; ++k)
                    w[k] /= sum;
        }
    }
};

// Four channels in one vector register where the target has them (GCC and Clang vector
// extension; plain code elsewhere). std::vector allocates them aligned (C++17).
typedef float Float4 __attribute__((vector_size(16)));

// Stored byte to working level.
struct LevelTable {
    float value[256];
    // Byte k + 1 starts at working level threshold[k]: the midpoint between the bytes.
    float threshold[255];
    LevelTable() {
        auto toWorking = [](double s) { return std::pow(s, kWorkingExponent); };
        for (int i = 0; i < 256; ++i)
            value[i] = float(toWorking(i / 255.0));
        for (int i = 0; i < 255; ++i)
            threshold[i] = float(toWorking((i + 0.5) / 255.0));
        fillBuckets();
    }
    // The byte nearest to a working level in [0, 1]: a bucket table gives the byte at the
    // bucket's start, the thresholds within the bucket finish it.
    uint8_t toByte(float level) const {
        unsigned byte = start[static_cast<unsigned>(level * float(kBuckets - 1))];
        while (byte < 255 && threshold[byte] <= level)
            ++byte;
        return static_cast<uint8_t>(byte);
    }

private:
    static constexpr unsigned kBuckets = 4096;
    uint8_t start[kBuckets];

    void fillBuckets() {
        unsigned byte = 0;
        for (unsigned b = 0; b < kBuckets; ++b) {
            const float at = float(b) / float(kBuckets - 1);
            while (byte < 255 && threshold[byte] <= at)
                ++byte;
            start[b] = static_cast<uint8_t>(byte);
        }
    }
};

const LevelTable& levelTable() {
    static const LevelTable table;
    return table;
}

// One source row as alpha-weighted working levels.
void decodeRow(const uint8_t* src, uint32_t width, const LevelTable& table, Float4* out) {
    constexpr float kByte = 1.0f / 255.0f;
    for (uint32_t x = 0; x < width; ++x, src += 4) {
        const float a = float(src[3]) * kByte;
        const Float4 colour = {table.value[src[0]], table.value[src[1]], table.value[src[2]], 1.0f};
        out[x] = colour * a;
    }
}

void encodePixel(const Float4& p, const LevelTable& table, uint8_t* out) {
    const float a = std::min(std::max(p[3], 0.0f), 1.0f);
    const uint8_t alpha = static_cast<uint8_t>(a * 255.0f + 0.5f);
    if (alpha == 0) {
        out[0] = out[1] = out[2] = out[3] = 0;
        return;
    }
    const float inverse = 1.0f / a;
    for (int c = 0; c < 3; ++c)
        out[c] = table.toByte(std::min(std::max(p[c] * inverse, 0.0f), 1.0f));
    out[3] = alpha;
}

// A source row reduced horizontally to the target width, in alpha-weighted working levels.
void reduceRow(const uint8_t* src, uint32_t width, const AxisFilter& horizontal, const LevelTable& table,
               Float4* decoded, Float4* out) {
    decodeRow(src, width, table, decoded);
    const Taps* taps = horizontal.taps.data();
    const float* weights = horizontal.weights.data();
    const size_t outWidth = horizontal.taps.size();
    for (size_t o = 0; o < outWidth; ++o) {
        const Taps& t = taps[o];
        const float* w = weights + t.weightsAt;
        const Float4* in = decoded + t.first;
        // Two running sums: a reduction's long kernels are not one chain of dependent adds.
        Float4 even = {0, 0, 0, 0}, odd = {0, 0, 0, 0};
        uint32_t k = 0;
        for (; k + 1 < t.count; k += 2) {
            even += in[k] * w[k];
            odd += in[k + 1] * w[k + 1];
        }
        if (k < t.count)
            even += in[k] * w[k];
        out[o] = even + odd;
    }
}

// The horizontally reduced source rows one target row needs, kept in a ring: the target rows'
// windows only move down, so each source row is reduced once, and the ring (a kernel's height
// of target-width rows) stays in the processor's cache where a whole reduced image would not.
class ReducedRows {
public:
    ReducedRows(const PixelRect& content, const AxisFilter& horizontal, const AxisFilter& vertical,
                const LevelTable& table)
        : content_(content), horizontal_(horizontal), table_(table), width_(horizontal.taps.size()),
          slots_(tallestWindow(vertical)), decoded_(content.width), ring_(slots_ * width_) {}

    // Source row y, reduced. Reducing a row overwrites the one `slots_` rows above it, so the
    // rows of one window, asked for top to bottom, all stay valid.
    const Float4* row(uint32_t y) {
        for (; next_ <= y; ++next_)
            reduceRow(content_.pixels + next_ * content_.stride, content_.width, horizontal_, table_, decoded_.data(),
                      ring_.data() + (next_ % slots_) * width_);
        return ring_.data() + (y % slots_) * width_;
    }

private:
    static size_t tallestWindow(const AxisFilter& vertical) {
        uint32_t tallest = 1;
        for (const Taps& t : vertical.taps)
            tallest = std::max(tallest, t.count);
        return tallest;
    }

    const PixelRect& content_;
    const AxisFilter& horizontal_;
    const LevelTable& table_;
    const size_t width_;
    const size_t slots_;
    std::vector<Float4> decoded_;
    std::vector<Float4> ring_;
    uint32_t next_ = 0;
};

// Separable resampling: each source row is decoded and reduced horizontally once, then every
// target row is formed from the reduced rows under its vertical kernel.
Result resample(const PixelRect& content, uint32_t outWidth, uint32_t outHeight, uint8_t* target,
                size_t targetStride) {
    const LevelTable& table = levelTable();
    const AxisFilter horizontal(content.width, outWidth);
    const AxisFilter vertical(content.height, outHeight);
    ReducedRows reduced(content, horizontal, vertical, table);

    std::vector<Float4> sum(outWidth);
    for (uint32_t o = 0; o < outHeight; ++o) {
        const Taps& t = vertical.taps[o];
        const float* w = vertical.weights.data() + t.weightsAt;
        std::fill(sum.begin(), sum.end(), Float4{0, 0, 0, 0});
        for (uint32_t k = 0; k < t.count; ++k) {
            const Float4* in = reduced.row(t.first + k);
            const float wk = w[k];
            for (uint32_t x = 0; x < outWidth; ++x)
                sum[x] += in[x] * wk;
        }
        uint8_t* dest = target + o * targetStride;
        for (uint32_t x = 0; x < outWidth; ++x)
            encodePixel(sum[x], table, dest + 4 * size_t(x));
    }
    return ERCI_OK;
}

// --- Crisp outlines of solid shapes (see Resample.h)

// Solid: at least half opaque, more shape than background.
constexpr uint8_t kSolidAlphaByte = 128;
// A solid part grows by as much as it already covers: its share of the pixel doubles.
constexpr float kSolidGrowth = 2.0f;

// Where a footprint edge falls along one source axis: after `index` whole samples and `fraction`
// of the next.
struct Edge {
    uint32_t index = 0;
    double fraction = 0;
};

std::vector<Edge> footprintEdges(uint32_t sourceExtent, uint32_t outExtent) {
    std::vector<Edge> edges(size_t(outExtent) + 1);
    for (uint32_t o = 0; o <= outExtent; ++o) {
        const double at = double(o) * double(sourceExtent) / double(outExtent);
        const uint32_t index = std::min(uint32_t(at), sourceExtent);
        edges[o] = Edge{index, index < sourceExtent ? at - double(index) : 0.0};
    }
    return edges;
}

// Summed-area table of the source, kept one row at a time: entry x of row k sums the samples
// above row k and left of column x. Two quantities share a 64-bit word: alpha bytes in the low
// kAlphaBits, solid samples above them; the solid samples' alpha has a word of its own. At the
// caps (kMaxImagePixels = 2^25 samples) alpha sums stay below 2^33 and counts below 2^26.
constexpr unsigned kAlphaBits = 34;
constexpr uint64_t kAlphaMask = (uint64_t(1) << kAlphaBits) - 1;
static_assert(kMaxImagePixels <= (uint64_t(1) << 25), "sums must fit their bits");

// The three sums (solid samples, their alpha, all alpha) at each column edge of one placement,
// on one row of the table, fractional rows and columns interpolated: kSums values an edge.
constexpr size_t kSums = 3;

void readTableRow(const std::vector<uint64_t>& packed, const std::vector<uint64_t>& solidAlpha,
                  const std::vector<Edge>& columns, double* out) {
    for (const Edge& c : columns) {
        const uint64_t p0 = packed[c.index], s0 = solidAlpha[c.index];
        double solid = double(p0 >> kAlphaBits), sa = double(s0), alpha = double(p0 & kAlphaMask);
        if (c.fraction != 0.0) {
            const uint64_t p1 = packed[c.index + 1], s1 = solidAlpha[c.index + 1];
            solid += c.fraction * (double(p1 >> kAlphaBits) - solid);
            sa += c.fraction * (double(s1) - sa);
            alpha += c.fraction * (double(p1 & kAlphaMask) - alpha);
        }
        *out++ = solid;
        *out++ = sa;
        *out++ = alpha;
    }
}

// One placement: its footprints' edges, and the table at each of its row edges as the source
// rows go by.
struct CoverPlan {
    uint32_t width = 0, height = 0;
    std::vector<Edge> columns, rows;
    std::vector<double> atRows; // per row edge, per column edge, kSums values
    std::vector<double> scratch;
    uint32_t next = 0;          // the first row edge not yet complete

    double* atRow(size_t j) { return atRows.data() + j * columns.size() * kSums; }
};

// Table row k of the source is available: every row edge of `plan` that needs it takes it.
void takeTableRow(uint32_t k, const std::vector<uint64_t>& packed, const std::vector<uint64_t>& solidAlpha,
                  CoverPlan& plan) {
    const size_t n = plan.columns.size() * kSums;
    bool read = false;
    auto row = [&]() -> const double* {
        if (!read)
            readTableRow(packed, solidAlpha, plan.columns, plan.scratch.data());
        read = true;
        return plan.scratch.data();
    };
    for (uint32_t j = plan.next; j < plan.rows.size(); ++j) {
        const Edge& r = plan.rows[j];
        double* at = plan.atRow(j);
        if (r.index == k) { // the edge's own row; complete unless it lies inside the next one
            std::copy(row(), row() + n, at);
            if (r.fraction == 0.0)
                plan.next = j + 1;
        } else if (r.index + 1 == k && r.fraction != 0.0) {
            const double* below = row();
            for (size_t v = 0; v < n; ++v)
                at[v] += r.fraction * (below[v] - at[v]);
            plan.next = j + 1;
        } else {
            break;
        }
    }
}

} // namespace

Result measureSolidCover(const PixelRect& source, const std::vector<Placement>& placements,
                         std::vector<SolidCover>& covers) {
    if (uint64_t(source.width) * source.height > kMaxImagePixels)
        return ERCI_ERR_TOO_LARGE;
    try {
        std::vector<CoverPlan> plans(placements.size());
        for (size_t i = 0; i < placements.size(); ++i) {
            CoverPlan& plan = plans[i];
            plan.width = placements[i].width;
            plan.height = placements[i].height;
            plan.columns = footprintEdges(source.width, plan.width);
            plan.rows = footprintEdges(source.height, plan.height);
            plan.atRows.resize(plan.rows.size() * plan.columns.size() * kSums);
            plan.scratch.resize(plan.columns.size() * kSums);
        }
        // One more entry than the row needs, so that an edge's next sample can always be read.
        std::vector<uint64_t> packed(size_t(source.width) + 2, 0), solidAlpha(size_t(source.width) + 2, 0);
        for (CoverPlan& plan : plans)
            takeTableRow(0, packed, solidAlpha, plan);
        for (uint32_t y = 0; y < source.height; ++y) {
            const uint8_t* alpha = source.pixels + y * source.stride + 3;
            uint64_t rowPacked = 0, rowSolidAlpha = 0;
            for (uint32_t x = 1; x <= source.width; ++x, alpha += kRgbaBytesPerPixel) {
                const uint64_t a = *alpha;
                const uint64_t isSolid = a >= kSolidAlphaByte;
                rowPacked += a | (isSolid << kAlphaBits);
                rowSolidAlpha += isSolid * a;
                packed[x] += rowPacked;
                solidAlpha[x] += rowSolidAlpha;
            }
            packed[source.width + 1] = packed[source.width];
            solidAlpha[source.width + 1] = solidAlpha[source.width];
            for (CoverPlan& plan : plans)
                takeTableRow(y + 1, packed, solidAlpha, plan);
        }
        covers.assign(placements.size(), SolidCover());
        for (size_t i = 0; i < plans.size(); ++i) {
            CoverPlan& plan = plans[i];
            const double area = double(source.width) / plan.width * double(source.height) / plan.height;
            SolidCover& cover = covers[i];
            cover.width = plan.width;
            cover.height = plan.height;
            cover.samples.resize(size_t(plan.width) * plan.height);
            SolidCover::Sample* s = cover.samples.data();
            auto share = [](double sum, double whole) { return float(std::min(1.0, std::max(0.0, sum / whole))); };
            for (uint32_t j = 0; j < plan.height; ++j) {
                const double *top = plan.atRow(j), *bottom = plan.atRow(j + 1);
                for (uint32_t o = 0; o < plan.width; ++o, ++s, top += kSums, bottom += kSums) {
                    // The footprint's sums: the table's four corners, each value its own.
                    double footprint[kSums];
                    for (size_t v = 0; v < kSums; ++v)
                        footprint[v] = (bottom[kSums + v] - bottom[v]) - (top[kSums + v] - top[v]);
                    s->solid = share(footprint[0], area);
                    s->solidAlpha = share(footprint[1], 255.0 * area);
                    s->alpha = share(footprint[2], 255.0 * area);
                }
            }
        }
        return ERCI_OK;
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

void sharpenSolidEdges(const SolidCover& cover, const Placement& placement, RgbaImage& entry) {
    for (uint32_t y = 0; y < placement.height; ++y) {
        uint8_t* px = entry.row(placement.top + y) + size_t(placement.left) * kRgbaBytesPerPixel;
        const SolidCover::Sample* s = cover.samples.data() + size_t(y) * cover.width;
        for (uint32_t x = 0; x < placement.width; ++x, px += kRgbaBytesPerPixel, ++s) {
            // Nothing solid to grow, or no colour to show where it would.
            if (s->solid <= 0.0f || px[3] == 0)
                continue;
            const float restShare = 1.0f - s->solid;
            const float solidMean = std::min(1.0f, s->solidAlpha / s->solid);
            const float restMean =
                restShare > 0.0f ? std::min(std::max((s->alpha - s->solidAlpha) / restShare, 0.0f), 1.0f) : 0.0f;
            const float grown = std::min((kSolidGrowth - 1.0f) * s->solid, restShare);
            const float gain = grown * std::max(solidMean - restMean, 0.0f);
            // From the larger of the downscale's alpha and the footprint's own (the filter's
            // blur pales an edge pixel below its cover), and never above the solid part's alpha.
            const float plain = float(px[3]) / 255.0f;
            const float alpha = std::max(plain, std::min(solidMean, std::max(plain, s->alpha) + gain));
            px[3] = static_cast<uint8_t>(std::min(alpha, 1.0f) * 255.0f + 0.5f);
        }
    }
}

PixelRect wholeImage(const RgbaImage& image) {
    return PixelRect{image.pixels.data(), image.width, image.height, size_t(image.width) * kRgbaBytesPerPixel};
}

Placement placeInSquare(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t side) {
    const uint32_t longer = std::max(sourceWidth, sourceHeight);
    Placement p;
    p.width = scaledExtent(sourceWidth, side, longer);
    p.height = scaledExtent(sourceHeight, side, longer);
    p.left = (side - p.width) / 2;
    p.top = (side - p.height) / 2;
    return p;
}

Result renderSquare(const PixelRect& content, uint32_t side, const Placement& placement, RgbaImage& out) {
    Result r = allocateImage(out, side, side);
    if (r != ERCI_OK)
        return r;
    uint8_t* target = out.row(placement.top) + size_t(placement.left) * kRgbaBytesPerPixel;
    const size_t targetStride = size_t(side) * kRgbaBytesPerPixel;

    if (placement.width == content.width && placement.height == content.height) {
        for (uint32_t y = 0; y < content.height; ++y)
            std::memcpy(target + y * targetStride, content.pixels + y * content.stride,
                        size_t(content.width) * kRgbaBytesPerPixel);
        return ERCI_OK;
    }
    try {
        return resample(content, placement.width, placement.height, target, targetStride);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

} // namespace tfi
