#include "PngEncoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Bytes.h"
#include "CheckedMath.h"

namespace tfi {
namespace {

const uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kBitDepth8 = 8;
constexpr uint8_t kColorTypeRgba = 6;
constexpr size_t kBpp = kRgbaBytesPerPixel;
constexpr size_t kIhdrSize = 13;
// Signature, IHDR, the IDAT chunk's length, type and CRC, IEND.
constexpr size_t kChunkBytes = 64;

enum Filter : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

struct DeflateSettings {
    int level;
    int strategy;
    int memLevel;
    int windowBits;
    // deflateTune values; chain 0 keeps the level's own table.
    int goodLength;
    int maxLazy;
    int niceLength;
    int maxChain;
};

// Measured on the benchmark's artwork (gradients, shapes, soft edges, light noise) as 256 px
// icon entries, filtered rows. Residues of such pictures collide a lot in zlib's hash, so the
// time goes into walking match chains: full level 9 is about 8% smaller than this but twenty
// times slower, and a chain of 96 saves another 1.6% for half as much time again. Long
// lazy/nice lengths cost little here and keep the long runs of flat areas; memLevel 8 came out
// slightly smaller than 9, Z_FILTERED 2-3% smaller than the default strategy.
constexpr DeflateSettings kMainSettings = {6, Z_FILTERED, 8, 15, 4, 128, 258, 48};
// Small entries (every entry PNG) are cheap to deflate twice; the smaller result is kept.
constexpr DeflateSettings kSmallTrials[] = {
    kMainSettings,
    {6, Z_DEFAULT_STRATEGY, 8, 15, 4, 128, 258, 48},
};
constexpr size_t kSmallImageBytes = 64 * 64 * kBpp;
// Filtered rows are handed to zlib in pieces of about this size: large pictures are never
// held twice.
constexpr size_t kStreamPieceBytes = 64 * 1024;

inline uint32_t magnitude(uint8_t residue) {
    const int8_t s = static_cast<int8_t>(residue);
    return static_cast<uint32_t>(s < 0 ? -s : s);
}

// Each filter writes its residues to `out` and returns the sum of their magnitudes read as
// signed bytes: the row whose residues stay nearest zero usually deflates best. The first
// row's prior is a row of zeros, as a reader assumes. Separate loops keep each one simple
// enough for the compiler to vectorise.
uint32_t filterSub(const uint8_t* row, size_t n, uint8_t* out) {
    uint32_t cost = 0;
    for (size_t i = 0; i < kBpp; ++i) {
        out[i] = row[i];
        cost += magnitude(out[i]);
    }
    for (size_t i = kBpp; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - row[i - kBpp]);
        cost += magnitude(out[i]);
    }
    return cost;
}

uint32_t filterUp(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out) {
    uint32_t cost = 0;
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - prior[i]);
        cost += magnitude(out[i]);
    }
    return cost;
}

uint32_t filterAverage(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out) {
    uint32_t cost = 0;
    for (size_t i = 0; i < kBpp; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - (prior[i] >> 1));
        cost += magnitude(out[i]);
    }
    for (size_t i = kBpp; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - ((row[i - kBpp] + prior[i]) >> 1));
        cost += magnitude(out[i]);
    }
    return cost;
}

uint32_t filterPaeth(const uint8_t* row, const uint8_t* prior, size_t n, uint8_t* out) {
    uint32_t cost = 0;
    for (size_t i = 0; i < kBpp; ++i) { // no left neighbour: the predictor is the byte above
        out[i] = static_cast<uint8_t>(row[i] - prior[i]);
        cost += magnitude(out[i]);
    }
    for (size_t i = kBpp; i < n; ++i) {
        const int a = row[i - kBpp], b = prior[i], c = prior[i - kBpp];
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

// Produces the filtered rows (filter byte, then residues) one after another.
class RowFilter {
public:
    RowFilter(const RgbaImage& image, TransparentColour transparent)
        : image_(image), rowBytes_(size_t(image.width) * kBpp), clear_(transparent == TransparentColour::Clear),
          zeros_(rowBytes_, 0), candidates_(4 * rowBytes_) {
        if (clear_) {
            cleared_[0].resize(rowBytes_);
            cleared_[1].resize(rowBytes_);
        }
        prior_ = zeros_.data();
    }

    size_t rowBytes() const { return rowBytes_; }

    // Writes row `y` (rows come in order) to `out`, rowBytes() + 1 bytes.
    void filterNext(uint32_t y, uint8_t* out) {
        const uint8_t* row = image_.row(y);
        if (clear_)
            row = clearTransparent(row, cleared_[y & 1].data());
        const size_t n = rowBytes_;
        // A row equal to the one above (the transparent margin, flat areas) is all zeros
        // under Up: no filter can do better, and none needs trying.
        if (std::memcmp(row, prior_, n) == 0) {
            out[0] = kUp;
            std::memset(out + 1, 0, n);
        } else {
            uint8_t* c = candidates_.data();
            uint32_t best = costNone(row, n);
            const uint8_t* bestData = row;
            uint8_t bestFilter = kNone;
            const uint32_t costs[4] = {filterSub(row, n, c), filterUp(row, prior_, n, c + n),
                                       filterAverage(row, prior_, n, c + 2 * n), filterPaeth(row, prior_, n, c + 3 * n)};
            for (int f = 0; f < 4; ++f)
                if (costs[f] < best) {
                    best = costs[f];
                    bestData = c + f * n;
                    bestFilter = static_cast<uint8_t>(kSub + f);
                }
            out[0] = bestFilter;
            std::memcpy(out + 1, bestData, n);
        }
        prior_ = row;
    }

private:
    const uint8_t* clearTransparent(const uint8_t* row, uint8_t* to) const {
        for (size_t i = 0; i < rowBytes_; i += kBpp) {
            uint32_t pixel;
            std::memcpy(&pixel, row + i, kBpp);
            pixel &= row[i + 3] ? 0xFFFFFFFFu : 0u;
            std::memcpy(to + i, &pixel, kBpp);
        }
        return to;
    }

    const RgbaImage& image_;
    const size_t rowBytes_;
    const bool clear_;
    std::vector<uint8_t> zeros_;
    std::vector<uint8_t> candidates_;
    std::vector<uint8_t> cleared_[2]; // this row and the one above, with transparent colour cleared
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
        ready_ = deflateInit2(&stream_, s.level, Z_DEFLATED, s.windowBits, s.memLevel, s.strategy) == Z_OK;
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

void appendHeader(const RgbaImage& image, std::vector<uint8_t>& out) {
    out.insert(out.end(), kSignature, kSignature + sizeof(kSignature));
    appendChunkHeader(out, "IHDR", kIhdrSize);
    const size_t typeAt = out.size() - 4;
    appendBe32(out, image.width);
    appendBe32(out, image.height);
    const uint8_t rest[] = {kBitDepth8, kColorTypeRgba, 0, 0, 0}; // compression, filter, interlace
    out.insert(out.end(), rest, rest + sizeof(rest));
    appendCrc(out, typeAt);
}

// Small pictures: every filtered row at once, deflated with each trial setting.
bool deflateSmall(RowFilter& rows, uint32_t height, std::vector<uint8_t>& out) {
    const size_t stride = rows.rowBytes() + 1;
    std::vector<uint8_t> filtered(stride * height);
    for (uint32_t y = 0; y < height; ++y)
        rows.filterNext(y, filtered.data() + y * stride);
    const size_t at = out.size();
    std::vector<uint8_t> trial;
    bool any = false;
    for (const DeflateSettings& s : kSmallTrials) {
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

// Larger pictures: rows filtered and deflated piece by piece.
bool deflateStreaming(RowFilter& rows, uint32_t height, std::vector<uint8_t>& out) {
    Deflater deflater;
    if (!deflater.begin(kMainSettings))
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

Result encodeChecked(const RgbaImage& image, std::vector<uint8_t>& out, TransparentColour transparent) {
    RowFilter rows(image, transparent);
    const size_t rawBytes = (rows.rowBytes() + 1) * image.height;

    out.clear();
    // Room for the worst case (incompressible rows) at once: a vector that grows holds its old
    // and new buffer together, next to the picture.
    out.reserve(kChunkBytes + compressBound(static_cast<uLong>(rawBytes)));
    appendHeader(image, out);
    appendChunkHeader(out, "IDAT", 0);
    const size_t idatTypeAt = out.size() - 4;
    const bool ok = rawBytes <= kSmallImageBytes + image.height ? deflateSmall(rows, image.height, out)
                                                                : deflateStreaming(rows, image.height, out);
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

} // namespace

Result encodePng(const RgbaImage& image, std::vector<uint8_t>& out, TransparentColour transparent) {
    if (!imageWithinCaps(image.width, image.height))
        return ERCI_ERR_TOO_LARGE;
    try {
        return encodeChecked(image, out, transparent);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }
}

} // namespace tfi
