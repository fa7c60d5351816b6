#include "PngEncoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#include "Bytes.h"
#include "CheckedMath.h"
#include "ZlibStatus.h"

namespace tfi {
namespace {

const uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kIhdrSize = 13;
// Signature, IHDR, the IDAT chunk's length, type and CRC, IEND.
constexpr size_t kChunkBytes = 64;
constexpr size_t kPaletteEntryBytes = 3;
// PLTE and tRNS at their largest, with their lengths, types and CRCs.
constexpr size_t kPaletteChunksBytes = 2 * 12 + kMaxPngPaletteEntries * (kPaletteEntryBytes + 1);

enum Filter : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };
constexpr int kPredictingFilters = 4;

// Icon entries (8-bit RGBA), measured on the benchmark's artwork (gradients, shapes, soft
// edges, light noise) as 256 px icon entries, filtered rows. Residues of such pictures collide
// a lot in zlib's hash, so the time goes into walking match chains: full level 9 is about 8%
// smaller than this but twenty times slower, and a chain of 96 saves another 1.6% for half as
// much time again. Long lazy/nice lengths cost little here and keep the long runs of flat
// areas; memLevel 8 came out slightly smaller than 9, Z_FILTERED 2-3% smaller than the default
// strategy.
constexpr DeflateSettings kFilteredChain48 = {6, Z_FILTERED, 8, 15, 4, 128, 258, 48};
constexpr DeflateSettings kDefaultChain48 = {6, Z_DEFAULT_STRATEGY, 8, 15, 4, 128, 258, 48};
// Small pictures (every entry PNG, most bitmap entries) are cheap to deflate twice; the
// smaller result is kept.
constexpr DeflateSettings kFilteredRowTrials[] = {kFilteredChain48, kDefaultChain48};

// Pictures written on their own (icon to PNG: bitmap entries, mostly 16 to 256 px), measured by
// bench/png_tuning on icon-theme artwork: 48 px as drawn, 256 px scaled from 512, and both
// quantised to 200 and 15 colours. This 2-core machine was shared while it ran: times are the
// quickest of five runs and still noisy. Bytes against the choice made here, then ms:
//
//   8-bit grey/RGB/RGBA, 59 pictures        palette and packed grey, 169 pictures
//   filter None            0.927   53       filter None (chosen)     1.000   54
//   filter Sub/Up/Average  1.06-1.20 67     filter Sub/Up/Average    1.10-1.23 28
//   filter Paeth           1.023   73       filter Paeth             1.113   32
//   filter adaptive (ch.)  1.000   83       filter adaptive          1.118   34
//   deflate level 1 / 3    1.33/1.17 62     deflate level 1 / 3      1.14/1.10 13
//   deflate level 6        1.004   97       deflate level 6          1.000   20
//   deflate level 9        0.934  485       deflate level 9          0.988   50
//   6 filtered, chain 48   1.000   87       6 filtered, chain 48     1.038   18
//   6 default, chain 48    1.010   83       6 default, chain 48      1.000   17
//   6 filtered, chain 96   0.990   99       6 filtered, chain 96     1.032   19
//
// Palette indices say little about their neighbours: unfiltered rows deflate best, as PNG
// advises. True colour is split: 48 px artwork is 6% larger unfiltered than with the adaptive
// choice (Paeth alone 3%), smooth 256 px pictures 5% smaller, and flat pictures of a few
// hundred colours (quantised, colour kept under transparency, so no palette) 25% smaller. The
// bitmap entries this path mostly writes are the small kind, so true colour keeps adaptive
// filters and the icon entries' settings. Unfiltered indices have none of the small residues
// Z_FILTERED favours: for them the default strategy comes first, 4% smaller. Level 9 would save
// 1-7% for five times the time.
constexpr DeflateSettings kUnfilteredRowTrials[] = {kDefaultChain48, kFilteredChain48};

constexpr size_t kSmallImageBytes = 64 * 64 * kRgbaBytesPerPixel;
// Filtered rows are handed to zlib in pieces of about this size: large pictures are never
// held twice.
constexpr size_t kStreamPieceBytes = 64 * 1024;

inline uint32_t magnitude(uint8_t residue) {
    const int8_t s = static_cast<int8_t>(residue);
    return static_cast<uint32_t>(s < 0 ? -s : s);
}

// Each filter writes its residues to `out` and returns the sum of their magnitudes read as
// signed bytes: the row whose residues stay nearest zero usually deflates best. The first
// row's prior is a row of zeros, as a reader assumes. `Bpp` is the filter's unit (bytes a
// pixel, at least 1); separate loops with it fixed keep each one simple enough for the
// compiler to vectorise.
template <size_t Bpp>
uint32_t filterSub(const uint8_t* row, const uint8_t*, size_t n, uint8_t* out) {
    uint32_t cost = 0;
    for (size_t i = 0; i < Bpp; ++i) {
        out[i] = row[i];
        cost += magnitude(out[i]);
    }
    for (size_t i = Bpp; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - row[i - Bpp]);
        cost += magnitude(out[i]);
    }
    return cost;
}

template <size_t Bpp>
uint32_t filterUp(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out) {
    uint32_t cost = 0;
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - prior[i]);
        cost += magnitude(out[i]);
    }
    return cost;
}

template <size_t Bpp>
uint32_t filterAverage(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out) {
    uint32_t cost = 0;
    for (size_t i = 0; i < Bpp; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - (prior[i] >> 1));
        cost += magnitude(out[i]);
    }
    for (size_t i = Bpp; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - ((row[i - Bpp] + prior[i]) >> 1));
        cost += magnitude(out[i]);
    }
    return cost;
}

template <size_t Bpp>
uint32_t filterPaeth(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out) {
    uint32_t cost = 0;
    for (size_t i = 0; i < Bpp; ++i) { // no left neighbour: the predictor is the byte above
        out[i] = static_cast<uint8_t>(row[i] - prior[i]);
        cost += magnitude(out[i]);
    }
    for (size_t i = Bpp; i < n; ++i) {
        const int a = row[i - Bpp], b = prior[i], c = prior[i - Bpp];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        out[i] = static_cast<uint8_t>(row[i] - predicted);
        cost += magnitude(out[i]);
    }
    return cost;
}

uint32_t costNone(const uint8_t* row, size_t n) {
    uint32_t cost = 0;
    for (size_t i = 0; i < n; ++i)
        cost += magnitude(row[i]);
    return cost;
}

using FilterFunction = uint32_t (*)(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out);

struct FilterSet {
    FilterFunction predicting[kPredictingFilters]; // Sub, Up, Average, Paeth
};

template <size_t Bpp>
constexpr FilterSet filterSetFor() {
    return {{filterSub<Bpp>, filterUp<Bpp>, filterAverage<Bpp>, filterPaeth<Bpp>}};
}
const FilterSet kFilterSets[] = {filterSetFor<1>(), filterSetFor<2>(), filterSetFor<3>(), filterSetFor<4>()};
constexpr size_t kMaxFilterUnit = 4;

// The image's rows in the layout's samples. A row stays valid while the next one is made, so
// that it can serve as the prior row.
class RawRows {
public:
    RawRows(const RgbaImage& image, const PngLayout& layout, TransparentColour transparent)
        : image_(image), packer_(image, layout), clear_(transparent == TransparentColour::Clear),
          direct_(layout.colorType == kPngRgba && !clear_) {
        if (!direct_)
            for (auto& buffer : buffers_)
                buffer.resize(packer_.rowBytes());
    }

    size_t rowBytes() const { return packer_.rowBytes(); }

    const uint8_t* row(uint32_t y) {
        if (direct_)
            return image_.row(y);
        uint8_t* to = buffers_[y & 1].data();
        if (clear_)
            clearTransparent(image_.row(y), to);
        else
            packer_.pack(y, to);
        return to;
    }

private:
    // Only RGBA rows are cleared: icon entries are written in that layout alone.
    void clearTransparent(const uint8_t* row, uint8_t* to) const {
        for (size_t i = 0; i < rowBytes(); i += kRgbaBytesPerPixel) {
            uint32_t pixel;
            std::memcpy(&pixel, row + i, kRgbaBytesPerPixel);
            pixel &= row[i + 3] ? 0xFFFFFFFFu : 0u;
            std::memcpy(to + i, &pixel, kRgbaBytesPerPixel);
        }
    }

    const RgbaImage& image_;
    const RowPacker packer_;
    const bool clear_;
    const bool direct_; // the image's own rows serve as they are
    std::vector<uint8_t> buffers_[2];
};

// Produces the filtered rows (filter byte, then residues) one after another.
class RowFilter {
public:
    RowFilter(RawRows& rows, const PngLayout& layout, FilterRule rule)
        : rows_(rows), rowBytes_(rows.rowBytes()), rule_(rule),
          filters_(kFilterSets[std::min(layout.filterUnit(), kMaxFilterUnit) - 1]), zeros_(rowBytes_, 0),
          candidates_(kPredictingFilters * rowBytes_) {
        prior_ = zeros_.data();
    }

    size_t rowBytes() const { return rowBytes_; }

    // Writes row `y` (rows come in order) to `out`, rowBytes() + 1 bytes.
    void filterNext(uint32_t y, uint8_t* out) {
        const uint8_t* row = rows_.row(y);
        if (rule_ == FilterRule::None)
            writeUnfiltered(row, out);
        else if (rule_ == FilterRule::Adaptive)
            writeBestFiltered(row, out);
        else
            writeFiltered(static_cast<uint8_t>(rule_), row, out);
        prior_ = row;
    }

private:
    void writeUnfiltered(const uint8_t* row, uint8_t* out) const {
        out[0] = kNone;
        std::memcpy(out + 1, row, rowBytes_);
    }

    void writeFiltered(uint8_t filter, const uint8_t* row, uint8_t* out) const {
        out[0] = filter;
        filters_.predicting[filter - kSub](row, prior_, rowBytes_, out + 1);
    }

    void writeBestFiltered(const uint8_t* row, uint8_t* out) {
        const size_t n = rowBytes_;
        // A row equal to the one above (the transparent margin, flat areas) is all zeros
        // under Up: no filter can do better, and none needs trying.
        if (std::memcmp(row, prior_, n) == 0) {
            out[0] = kUp;
            std::memset(out + 1, 0, n);
            return;
        }
        uint8_t* c = candidates_.data();
        uint32_t best = costNone(row, n);
        const uint8_t* bestData = row;
        uint8_t bestFilter = kNone;
        for (int f = 0; f < kPredictingFilters; ++f) {
            const uint32_t cost = filters_.predicting[f](row, prior_, n, c + f * n);
            if (cost < best) {
                best = cost;
                bestData = c + f * n;
                bestFilter = static_cast<uint8_t>(kSub + f);
            }
        }
        out[0] = bestFilter;
        std::memcpy(out + 1, bestData, n);
    }

    RawRows& rows_;
    const size_t rowBytes_;
    const FilterRule rule_;
    const FilterSet& filters_;
    std::vector<uint8_t> zeros_;
    std::vector<uint8_t> candidates_;
    const uint8_t* prior_ = nullptr;
};

// A zlib stream appending to a vector from `out.size()` on.
class Deflater {
public:
    Deflater() { std::memset(&stream_, 0, sizeof(stream_)); }
    ~Deflater() {
        if (ready_)
            deflateEnd(&stream_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    bool begin(const DeflateSettings& s) {
        ready_ = orOutOfMemory(deflateInit2(&stream_, s.level, Z_DEFLATED, s.windowBits, s.memLevel, s.strategy)) == Z_OK;
        if (ready_ && s.maxChain > 0)
            deflateTune(&stream_, s.goodLength, s.maxLazy, s.niceLength, s.maxChain);
        return ready_;
    }

    // Compresses `data`; the stream ends with the piece marked `last`. Between pieces `out`
    // may hold unused room at its end; the last piece trims it.
    bool write(const uint8_t* data, size_t size, bool last, std::vector<uint8_t>& out) {
        if (!started_) {
            written_ = out.size();
            started_ = true;
        }
        stream_.next_in = const_cast<Bytef*>(data);
        stream_.avail_in = static_cast<uInt>(size);
        for (;;) {
            if (out.size() - written_ < kMinRoom)
                out.resize(std::max(written_ + kMinRoom, std::min(out.capacity(), written_ + kGrowthBytes)));
            stream_.next_out = out.data() + written_;
            stream_.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - written_, UINT32_MAX));
            const int status = deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH);
            written_ = size_t(stream_.next_out - out.data());
            if (status == Z_STREAM_END) {
                out.resize(written_);
                return true;
            }
            if (status != Z_OK && status != Z_BUF_ERROR)
                return false;
            if (!last && stream_.avail_in == 0)
                return true;
        }
    }

private:
    static constexpr size_t kMinRoom = 16 * 1024;
    // Room is added in steps inside what the caller reserved: only what is written is touched.
    static constexpr size_t kGrowthBytes = 1024 * 1024;
    z_stream stream_;
    bool ready_ = false;
    bool started_ = false;
    size_t written_ = 0;
};

void appendChunkHeader(std::vector<uint8_t>& out, const char* type, size_t size) {
    appendBe32(out, static_cast<uint32_t>(size));
    out.insert(out.end(), type, type + 4);
}

// The CRC of the chunk whose type starts at `typeAt` and runs to the end of `out`.
void appendCrc(std::vector<uint8_t>& out, size_t typeAt) {
    const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    appendBe32(out, static_cast<uint32_t>(crc));
}

void appendHeader(const RgbaImage& image, const PngLayout& layout, std::vector<uint8_t>& out) {
    out.insert(out.end(), kSignature, kSignature + sizeof(kSignature));
    appendChunkHeader(out, "IHDR", kIhdrSize);
    const size_t typeAt = out.size() - 4;
    appendBe32(out, image.width);
    appendBe32(out, image.height);
    const uint8_t rest[] = {layout.bitDepth, layout.colorType, 0, 0, 0}; // compression, filter, interlace
    out.insert(out.end(), rest, rest + sizeof(rest));
    appendCrc(out, typeAt);
}

// PLTE, and tRNS for the leading entries that are not opaque.
void appendPalette(const PngLayout& layout, std::vector<uint8_t>& out) {
    appendChunkHeader(out, "PLTE", layout.palette.size() * kPaletteEntryBytes);
    size_t typeAt = out.size() - 4;
    uint8_t rgba[kRgbaBytesPerPixel];
    for (uint32_t colour : layout.palette) {
        std::memcpy(rgba, &colour, kRgbaBytesPerPixel);
        out.insert(out.end(), rgba, rgba + kPaletteEntryBytes);
    }
    appendCrc(out, typeAt);
    if (layout.translucentEntries == 0)
        return;
    appendChunkHeader(out, "tRNS", layout.translucentEntries);
    typeAt = out.size() - 4;
    for (size_t i = 0; i < layout.translucentEntries; ++i) {
        std::memcpy(rgba, &layout.palette[i], kRgbaBytesPerPixel);
        out.push_back(rgba[3]);
    }
    appendCrc(out, typeAt);
}

// Small pictures: every filtered row at once, deflated with each trial setting.
bool deflateSmall(RowFilter& rows, uint32_t height, const std::vector<DeflateSettings>& trials,
                  std::vector<uint8_t>& out) {
    const size_t stride = rows.rowBytes() + 1;
    std::vector<uint8_t> filtered(stride * height);
    for (uint32_t y = 0; y < height; ++y)
        rows.filterNext(y, filtered.data() + y * stride);
    const size_t at = out.size();
    std::vector<uint8_t> trial;
    bool any = false;
    for (const DeflateSettings& s : trials) {
        trial.clear();
        Deflater deflater;
        if (!deflater.begin(s) || !deflater.write(filtered.data(), filtered.size(), true, trial))
            continue;
        if (!any || trial.size() < out.size() - at) {
            out.resize(at);
            out.insert(out.end(), trial.begin(), trial.end());
            any = true;
        }
    }
    return any;
}

// Larger pictures: rows filtered and deflated piece by piece, with the first setting.
bool deflateStreaming(RowFilter& rows, uint32_t height, const DeflateSettings& settings, std::vector<uint8_t>& out) {
    Deflater deflater;
    if (!deflater.begin(settings))
        return false;
    const size_t stride = rows.rowBytes() + 1;
    const size_t piece = std::max<size_t>(1, kStreamPieceBytes / stride);
    std::vector<uint8_t> buffer(stride * std::min<size_t>(piece, height));
    for (uint32_t y = 0; y < height;) {
        const uint32_t count = static_cast<uint32_t>(std::min<size_t>(piece, height - y));
        for (uint32_t i = 0; i < count; ++i)
            rows.filterNext(y + i, buffer.data() + i * stride);
        y += count;
        if (!deflater.write(buffer.data(), count * stride, y == height, out))
            return false;
    }
    return true;
}

Result encodeChecked(const RgbaImage& image, const PngEncoding& encoding, TransparentColour transparent,
                     std::vector<uint8_t>& out) {
    RawRows raw(image, encoding.layout, transparent);
    RowFilter rows(raw, encoding.layout, encoding.filters);
    const size_t rawBytes = (rows.rowBytes() + 1) * image.height;

    out.clear();
    // Room for the worst case (incompressible rows) at once: a vector that grows holds its old
    // and new buffer together, next to the picture.
    out.reserve(kChunkBytes + kPaletteChunksBytes + compressBound(static_cast<uLong>(rawBytes)));
    appendHeader(image, encoding.layout, out);
    if (encoding.layout.colorType == kPngPalette)
        appendPalette(encoding.layout, out);
    appendChunkHeader(out, "IDAT", 0);
    const size_t idatTypeAt = out.size() - 4;
    const bool ok = rawBytes <= kSmallImageBytes + image.height
                        ? deflateSmall(rows, image.height, encoding.trials, out)
                        : deflateStreaming(rows, image.height, encoding.trials.front(), out);
    if (!ok)
        return ERCI_ERR_OUT_OF_MEMORY;
    const size_t idatSize = out.size() - idatTypeAt - 4;
    for (int b = 0; b < 4; ++b)
        out[idatTypeAt - 4 + b] = static_cast<uint8_t>(idatSize >> (24 - 8 * b));
    appendCrc(out, idatTypeAt);

    appendChunkHeader(out, "IEND", 0);
    appendCrc(out, out.size() - 4);
    return ERCI_OK;
}

Result encodeGuarded(const RgbaImage& image, const PngEncoding& encoding, TransparentColour transparent,
                     std::vector<uint8_t>& out) {
    if (!imageWithinCaps(image.width, image.height))
        return ERCI_ERR_TOO_LARGE;
    if (encoding.trials.empty())
        return ERCI_ERR_INVALID_ARGUMENT;
    try {
        return encodeChecked(image, encoding, transparent, out);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

} // namespace

PngEncoding encodingFor(PngLayout layout) {
    PngEncoding encoding;
    const bool adaptive = layout.usesAdaptiveFilters();
    encoding.filters = adaptive ? FilterRule::Adaptive : FilterRule::None;
    if (adaptive)
        encoding.trials.assign(std::begin(kFilteredRowTrials), std::end(kFilteredRowTrials));
    else
        encoding.trials.assign(std::begin(kUnfilteredRowTrials), std::end(kUnfilteredRowTrials));
    encoding.layout = std::move(layout);
    return encoding;
}

Result encodePngWith(const RgbaImage& image, const PngEncoding& encoding, std::vector<uint8_t>& out) {
    return encodeGuarded(image, encoding, TransparentColour::Keep, out);
}

Result encodePng(const RgbaImage& image, std::vector<uint8_t>& out, TransparentColour transparent) {
    return encodeGuarded(image, encodingFor(rgbaLayout()), transparent, out);
}

Result encodeSmallestPng(const RgbaImage& image, std::vector<uint8_t>& out) {
    return encodePngWith(image, encodingFor(smallestLayout(image)), out);
}

} // namespace tfi
