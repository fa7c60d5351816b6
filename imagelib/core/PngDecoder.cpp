#include "PngDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "CheckedMath.h"
#include "Limits.h"
#include "ZlibStatus.h"

namespace tfi {
namespace {

const uint8_t kPngSignature[kPngSignatureSize] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kChunkHeaderSize = 8; // length + type
constexpr size_t kChunkCrcSize = 4;
constexpr size_t kIhdrDataSize = 13;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;
constexpr size_t kMaxPaletteEntries = 256;
// Real files split their data into at most thousands of chunks; the list of them stays small.
constexpr size_t kMaxIdatChunks = 1u << 20;

enum ColorType : uint8_t { kGray = 0, kRgb = 2, kPalette = 3, kGrayAlpha = 4, kRgba = 6 };

struct Chunk {
    uint32_t type = 0;
    ByteView data;
    bool crcRight = false;
};

constexpr uint32_t chunkType(char a, char b, char c, char d) {
    return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(b) << 16) | (static_cast<uint32_t>(c) << 8) |
           static_cast<uint32_t>(d);
}
constexpr uint32_t kIHDR = chunkType('I', 'H', 'D', 'R');
constexpr uint32_t kPLTE = chunkType('P', 'L', 'T', 'E');
constexpr uint32_t kTRNS = chunkType('t', 'R', 'N', 'S');
constexpr uint32_t kIDAT = chunkType('I', 'D', 'A', 'T');
constexpr uint32_t kIEND = chunkType('I', 'E', 'N', 'D');

bool isCriticalChunk(uint32_t type) { return (type & 0x20000000u) == 0; }

// Walks the chunk sequence; `next` leaves `offset` at the following chunk. What a wrong CRC
// means is for the caller to decide.
class ChunkCursor {
public:
    // Without `checkCrcs` chunks come with crcRight false and cost nothing but their length.
    explicit ChunkCursor(ByteView file, bool checkCrcs = true)
        : file_(file), offset_(kPngSignatureSize), checkCrcs_(checkCrcs) {}

    Result next(Chunk& chunk) {
        if (!rangeFits(offset_, kChunkHeaderSize, file_.size))
            return ERCI_ERR_CORRUPT_SOURCE;
        const uint8_t* header = file_.data + offset_;
        const uint32_t length = readBe32(header);
        if (length > kMaxChunkLength || !rangeFits(offset_ + kChunkHeaderSize, uint64_t(length) + kChunkCrcSize, file_.size))
            return ERCI_ERR_CORRUPT_SOURCE;
        const uint8_t* body = header + kChunkHeaderSize;
        chunk.crcRight = checkCrcs_ && crcOf(header + 4, length) == readBe32(body + length);
        chunk.type = readBe32(header + 4);
        chunk.data = ByteView(body, length);
        offset_ += kChunkHeaderSize + length + kChunkCrcSize;
        return ERCI_OK;
    }

    size_t offset() const { return offset_; }

    // The whole chunk `next` just returned, length and CRC included.
    ByteView lastChunk(const Chunk& chunk) const {
        return file_.sub(offset_ - chunk.data.size - kChunkHeaderSize - kChunkCrcSize,
                         chunk.data.size + kChunkHeaderSize + kChunkCrcSize);
    }

private:
    // Over the chunk type and the data that follows it.
    static uint32_t crcOf(const uint8_t* typeAndData, uint32_t length) {
        return static_cast<uint32_t>(crc32(crc32(0L, typeAndData, 4), typeAndData + 4, length));
    }

    ByteView file_;
    size_t offset_;
    bool checkCrcs_;
};

bool validDepthForColorType(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
    case kGray: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kRgb:
    case kGrayAlpha:
    case kRgba: return depth == 8 || depth == 16;
    default: return false;
    }
}

Result parseIhdr(ByteView data, PngHeader& header) {
    if (data.size != kIhdrDataSize)
        return ERCI_ERR_CORRUPT_SOURCE;
    const uint8_t* p = data.data;
    header.width = readBe32(p);
    header.height = readBe32(p + 4);
    header.bitDepth = p[8];
    header.colorType = p[9];
    header.interlace = p[12];
    const uint8_t compression = p[10];
    const uint8_t filter = p[11];
    if (header.width == 0 || header.height == 0 || header.width > kMaxChunkLength || header.height > kMaxChunkLength)
        return ERCI_ERR_CORRUPT_SOURCE;
    if (!validDepthForColorType(header.colorType, header.bitDepth) || compression != 0 || filter != 0 ||
        header.interlace > 1)
        return ERCI_ERR_CORRUPT_SOURCE;
    if (!imageWithinCaps(header.width, header.height))
        return ERCI_ERR_TOO_LARGE;
    return ERCI_OK;
}

// Colour lookup for palette images and the single transparent colour of grey and RGB images.
struct ColorInfo {
    uint8_t palette[kMaxPaletteEntries][4];
    bool hasTransparentKey = false;
    uint16_t key[3] = {0, 0, 0}; // raw sample values, grey uses key[0]

    ColorInfo() {
        for (auto& entry : palette) {
            entry[0] = entry[1] = entry[2] = 0;
            entry[3] = 255;
        }
    }
};

Result readPalette(ByteView data, ColorInfo& info, size_t& paletteSize) {
    if (data.size == 0 || data.size % 3 != 0 || data.size / 3 > kMaxPaletteEntries)
        return ERCI_ERR_CORRUPT_SOURCE;
    paletteSize = data.size / 3;
    for (size_t i = 0; i < paletteSize; ++i)
        std::memcpy(info.palette[i], data.data + 3 * i, 3);
    return ERCI_OK;
}

void readTransparency(ByteView data, const PngHeader& header, ColorInfo& info) {
    // A malformed tRNS is ancillary: ignoring it keeps the picture, only without the key.
    if (header.colorType == kPalette) {
        const size_t n = std::min(data.size, kMaxPaletteEntries);
        for (size_t i = 0; i < n; ++i)
            info.palette[i][3] = data.data[i];
    } else if (header.colorType == kGray && data.size >= 2) {
        info.hasTransparentKey = true;
        info.key[0] = static_cast<uint16_t>((data.data[0] << 8) | data.data[1]);
    } else if (header.colorType == kRgb && data.size >= 6) {
        info.hasTransparentKey = true;
        for (int c = 0; c < 3; ++c)
            info.key[c] = static_cast<uint16_t>((data.data[2 * c] << 8) | data.data[2 * c + 1]);
    }
}

// Pulls inflated bytes across consecutive IDAT chunks.
class IdatInflater {
public:
    explicit IdatInflater(const std::vector<ByteView>& parts) : parts_(parts) {
        std::memset(&stream_, 0, sizeof(stream_));
        ready_ = orOutOfMemory(inflateInit(&stream_)) == Z_OK;
    }
    ~IdatInflater() {
        if (ready_)
            inflateEnd(&stream_);
    }
    IdatInflater(const IdatInflater&) = delete;
    IdatInflater& operator=(const IdatInflater&) = delete;

    bool read(uint8_t* out, size_t size) {
        if (!ready_)
            return false;
        stream_.next_out = out;
        stream_.avail_out = static_cast<uInt>(size);
        while (stream_.avail_out > 0) {
            if (stream_.avail_in == 0 && !feedNextPart())
                return false;
            const int status = orOutOfMemory(inflate(&stream_, Z_NO_FLUSH));
            if (status == Z_STREAM_END) {
                ended_ = true;
                return stream_.avail_out == 0;
            }
            if (status != Z_OK && !(status == Z_BUF_ERROR && stream_.avail_in == 0))
                return false;
        }
        return true;
    }

    // Inflates on past the rows read so far until the zlib stream ends, which verifies its
    // checksum; false when more image data than the rows follows, or the stream is cut short.
    bool reachEnd() {
        if (!ready_)
            return false;
        uint8_t extra = 0;
        stream_.next_out = &extra;
        stream_.avail_out = 1;
        while (!ended_) {
            if (stream_.avail_in == 0 && !feedNextPart())
                return false;
            const int status = orOutOfMemory(inflate(&stream_, Z_NO_FLUSH));
            ended_ = status == Z_STREAM_END;
            const bool stuck = status == Z_BUF_ERROR && stream_.avail_in > 0;
            if (stream_.avail_out == 0 || stuck || (!ended_ && status != Z_OK && status != Z_BUF_ERROR))
                return false;
        }
        return true;
    }

    // True when the zlib stream, its checksum verified, ends exactly where reading stopped and
    // no image data follows it.
    bool endsHere() { return reachEnd() && stream_.avail_in == 0 && !feedNextPart(); }

private:
    bool feedNextPart() {
        while (nextPart_ < parts_.size()) {
            const ByteView& part = parts_[nextPart_++];
            if (part.size > 0) {
                stream_.next_in = const_cast<Bytef*>(part.data);
                stream_.avail_in = static_cast<uInt>(part.size);
                return true;
            }
        }
        return false;
    }

    const std::vector<ByteView>& parts_;
    size_t nextPart_ = 0;
    z_stream stream_;
    bool ready_ = false;
    bool ended_ = false;
};

uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Reverses the row filter in place; `prior` is the previous unfiltered row (zeros for the
// first row of a pass). Unknown filter types are damage.
bool unfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t length, size_t bpp) {
    switch (filter) {
    case 0: return true;
    case 1:
        for (size_t i = bpp; i < length; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (size_t i = 0; i < length; ++i)
            row[i] = static_cast<uint8_t>(row[i] + prior[i]);
        return true;
    case 3:
        for (size_t i = 0; i < length; ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0;
            row[i] = static_cast<uint8_t>(row[i] + ((left + prior[i]) >> 1));
        }
        return true;
    case 4:
        for (size_t i = 0; i < length; ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0;
            const int upLeft = i >= bpp ? prior[i - bpp] : 0;
            row[i] = static_cast<uint8_t>(row[i] + paeth(left, prior[i], upLeft));
        }
        return true;
    default: return false;
    }
}

uint8_t scale16To8(uint16_t v) { return static_cast<uint8_t>((v * 255u + 32767u) / 65535u); }

// Sample `index` of a row of packed samples of `depth` bits, as the raw integer.
uint16_t rawSample(const uint8_t* row, size_t index, uint8_t depth) {
    switch (depth) {
    case 16: return static_cast<uint16_t>((row[2 * index] << 8) | row[2 * index + 1]);
    case 8: return row[index];
    default: {
        const size_t bit = index * depth;
        const unsigned shift = 8 - depth - (bit & 7);
        return static_cast<uint16_t>((row[bit >> 3] >> shift) & ((1u << depth) - 1));
    }
    }
}

uint8_t sampleTo8(uint16_t raw, uint8_t depth) {
    switch (depth) {
    case 16: return scale16To8(raw);
    case 8: return static_cast<uint8_t>(raw);
    default: return static_cast<uint8_t>(raw * 255u / ((1u << depth) - 1));
    }
}

// Expands one unfiltered row into RGBA pixels at x = start, start + step, ...
// The common rows (8-bit palette, 8- and 16-bit RGB(A) without a transparent key) without the
// per-sample dispatch.
bool expandRowFast(const uint8_t* row, uint32_t count, const PngHeader& h, const ColorInfo& info, uint8_t* out,
                   size_t outStep) {
    if (outStep != kRgbaBytesPerPixel)
        return false;
    if (h.bitDepth == 16 && (h.colorType == kRgba || (h.colorType == kRgb && !info.hasTransparentKey))) {
        const uint32_t channels = h.colorType == kRgba ? 4 : 3;
        for (uint32_t x = 0; x < count; ++x, out += 4) {
            for (uint32_t c = 0; c < channels; ++c, row += 2)
                out[c] = scale16To8(static_cast<uint16_t>((row[0] << 8) | row[1]));
            if (channels == 3)
                out[3] = 255;
        }
        return true;
    }
    if (h.bitDepth != 8)
        return false;
    if (h.colorType == kPalette) {
        for (uint32_t x = 0; x < count; ++x, out += 4)
            std::memcpy(out, info.palette[row[x]], 4);
        return true;
    }
    if (h.colorType == kRgba) {
        std::memcpy(out, row, size_t(count) * kRgbaBytesPerPixel);
        return true;
    }
    if (h.colorType != kRgb || info.hasTransparentKey)
        return false;
    for (uint32_t x = 0; x < count; ++x, row += 3, out += 4) {
        out[0] = row[0];
        out[1] = row[1];
        out[2] = row[2];
        out[3] = 255;
    }
    return true;
}

void expandRow(const uint8_t* row, uint32_t count, const PngHeader& h, const ColorInfo& info, uint8_t* out,
               size_t outStep) {
    if (expandRowFast(row, count, h, info, out, outStep))
        return;
    const uint8_t d = h.bitDepth;
    for (uint32_t x = 0; x < count; ++x, out += outStep) {
        switch (h.colorType) {
        case kGray: {
            const uint16_t g = rawSample(row, x, d);
            out[0] = out[1] = out[2] = sampleTo8(g, d);
            out[3] = info.hasTransparentKey && g == info.key[0] ? 0 : 255;
            break;
        }
        case kRgb: {
            uint16_t s[3];
            for (int c = 0; c < 3; ++c) {
                s[c] = rawSample(row, 3 * size_t(x) + c, d);
                out[c] = sampleTo8(s[c], d);
            }
            const bool keyed = info.hasTransparentKey && s[0] == info.key[0] && s[1] == info.key[1] && s[2] == info.key[2];
            out[3] = keyed ? 0 : 255;
            break;
        }
        case kPalette: std::memcpy(out, info.palette[rawSample(row, x, d)], 4); break;
        case kGrayAlpha:
            out[0] = out[1] = out[2] = sampleTo8(rawSample(row, 2 * size_t(x), d), d);
            out[3] = sampleTo8(rawSample(row, 2 * size_t(x) + 1, d), d);
            break;
        default:
            for (int c = 0; c < 4; ++c)
                out[c] = sampleTo8(rawSample(row, 4 * size_t(x) + c, d), d);
            break;
        }
    }
}

struct Pass {
    uint32_t x0, y0, dx, dy;
};
const Pass kSinglePass[] = {{0, 0, 1, 1}};
const Pass kAdam7Passes[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t passExtent(uint32_t full, uint32_t start, uint32_t step) {
    return full > start ? (full - start + step - 1) / step : 0;
}

// Inflated bytes the image data must hold: one filter byte plus the packed samples per row.
bool rawDataBytes(const PngHeader& h, const Pass* passes, size_t passCount, uint64_t& total) {
    total = 0;
    for (size_t i = 0; i < passCount; ++i) {
        const uint32_t w = passExtent(h.width, passes[i].x0, passes[i].dx);
        const uint32_t rows = passExtent(h.height, passes[i].y0, passes[i].dy);
        if (w == 0 || rows == 0)
            continue;
        uint64_t rowBytes = 0, passBytes = 0;
        if (!paddedRowBytes(w, h.bitsPerPixel(), 1, rowBytes) || !checkedMultiply(rowBytes + 1, rows, passBytes) ||
            !checkedAdd(total, passBytes, total))
            return false;
    }
    return true;
}

Result decodeImageData(const PngHeader& h, const ColorInfo& info, const std::vector<ByteView>& idat, PngChecks checks,
                       WorkBudget& budget, RgbaImage& image) {
    const Pass* passes = h.interlace ? kAdam7Passes : kSinglePass;
    const size_t passCount = h.interlace ? 7 : 1;

    uint64_t rawBytes = 0, compressedBytes = 0;
    for (const ByteView& part : idat)
        compressedBytes += part.size;
    if (!rawDataBytes(h, passes, passCount, rawBytes))
        return ERCI_ERR_TOO_LARGE;
    if (rawBytes > compressedBytes * kMaxDeflateRatio + kDeflateSlackBytes)
        return ERCI_ERR_CORRUPT_SOURCE;
    if (!budget.spend(uint64_t(h.width) * h.height, rawBytes))
        return ERCI_ERR_TOO_LARGE;

    Result r = allocateImage(image, h.width, h.height);
    if (r != ERCI_OK)
        return r;

    const size_t bpp = std::max<size_t>(1, h.bitsPerPixel() / 8);
    uint64_t maxRowBytes = 0;
    paddedRowBytes(h.width, h.bitsPerPixel(), 1, maxRowBytes);
    std::vector<uint8_t> current, prior;
    try {
        current.resize(static_cast<size_t>(maxRowBytes) + 1);
        prior.resize(static_cast<size_t>(maxRowBytes) + 1);
    } catch (const std::bad_alloc&) {
        return ERCI_ERR_OUT_OF_MEMORY;
    }

    IdatInflater inflater(idat);
    for (size_t p = 0; p < passCount; ++p) {
        const Pass& pass = passes[p];
        const uint32_t w = passExtent(h.width, pass.x0, pass.dx);
        const uint32_t rows = passExtent(h.height, pass.y0, pass.dy);
        if (w == 0 || rows == 0)
            continue;
        uint64_t rowBytes = 0;
        paddedRowBytes(w, h.bitsPerPixel(), 1, rowBytes);
        std::fill(prior.begin(), prior.end(), 0);
        for (uint32_t passRow = 0; passRow < rows; ++passRow) {
            if (!inflater.read(current.data(), static_cast<size_t>(rowBytes) + 1))
                return ERCI_ERR_CORRUPT_SOURCE;
            if (!unfilterRow(current[0], current.data() + 1, prior.data() + 1, static_cast<size_t>(rowBytes), bpp))
                return ERCI_ERR_CORRUPT_SOURCE;
            const uint32_t y = pass.y0 + passRow * pass.dy;
            expandRow(current.data() + 1, w, h, info, image.row(y) + size_t(pass.x0) * kRgbaBytesPerPixel,
                      size_t(pass.dx) * kRgbaBytesPerPixel);
            current.swap(prior);
        }
    }
    // With the chunk CRCs not looked at, zlib's own checksum is what tells damage apart.
    if (checks == PngChecks::IconEntry && !inflater.reachEnd())
        return ERCI_ERR_CORRUPT_SOURCE;
    return ERCI_OK;
}

// The chunks that carry the picture; `end` is where IEND ends.
struct PngChunks {
    PngHeader header;
    ColorInfo info;
    std::vector<ByteView> idat;
    size_t end = 0;
    size_t wrongCrcs = 0; // chunks ignored or, in an icon entry, used despite their CRC
};

// A chunk with a wrong CRC: damage when critical in a file; skipped when ancillary in a file;
// used in an icon entry.
Result judgeCrc(const Chunk& chunk, PngChecks checks, PngChunks& chunks, bool& use) {
    use = chunk.crcRight || checks == PngChecks::IconEntry;
    if (chunk.crcRight)
        return ERCI_OK;
    ++chunks.wrongCrcs;
    return checks == PngChecks::File && isCriticalChunk(chunk.type) ? ERCI_ERR_CORRUPT_SOURCE : ERCI_OK;
}

Result readChunks(ByteView data, PngChecks checks, PngChunks& chunks) {
    Result r = readPngHeader(data, chunks.header, checks);
    if (r != ERCI_OK)
        return r;

    ChunkCursor cursor(data);
    Chunk chunk;
    cursor.next(chunk); // IHDR, checked above
    chunks.wrongCrcs = chunk.crcRight ? 0 : 1;
    size_t paletteSize = 0;
    bool sawEnd = false;
    while (!sawEnd) {
        r = cursor.next(chunk);
        bool use = false;
        if (r == ERCI_OK)
            r = judgeCrc(chunk, checks, chunks, use);
        if (r != ERCI_OK)
            return r;
        if (!use)
            continue;
        switch (chunk.type) {
        case kPLTE:
            r = readPalette(chunk.data, chunks.info, paletteSize);
            if (r != ERCI_OK)
                return r;
            break;
        case kTRNS: readTransparency(chunk.data, chunks.header, chunks.info); break;
        case kIDAT:
            if (chunks.idat.size() >= kMaxIdatChunks)
                return ERCI_ERR_TOO_LARGE;
            chunks.idat.push_back(chunk.data);
            break;
        case kIEND: sawEnd = true; break;
        case kIHDR: return ERCI_ERR_CORRUPT_SOURCE;
        default:
            if (isCriticalChunk(chunk.type))
                return ERCI_ERR_CORRUPT_SOURCE;
            break;
        }
    }
    chunks.end = cursor.offset();
    if (chunks.idat.empty() || (chunks.header.colorType == kPalette && paletteSize == 0))
        return ERCI_ERR_CORRUPT_SOURCE;
    return ERCI_OK;
}

} // namespace

uint32_t PngHeader::channels() const {
    switch (colorType) {
    case kRgb: return 3;
    case kGrayAlpha: return 2;
    case kRgba: return 4;
    default: return 1;
    }
}

bool hasPngSignature(ByteView data) {
    return data.size >= kPngSignatureSize && std::memcmp(data.data, kPngSignature, kPngSignatureSize) == 0;
}

Result readPngHeader(ByteView data, PngHeader& header, PngChecks checks) {
    if (!hasPngSignature(data))
        return ERCI_ERR_UNSUPPORTED_SOURCE;
    ChunkCursor cursor(data);
    Chunk chunk;
    Result r = cursor.next(chunk);
    if (r != ERCI_OK)
        return r;
    if (chunk.type != kIHDR || (!chunk.crcRight && checks == PngChecks::File))
        return ERCI_ERR_CORRUPT_SOURCE;
    return parseIhdr(chunk.data, header);
}

Result decodePng(ByteView data, RgbaImage& image, PngChecks checks) {
    WorkBudget budget;
    return decodePng(data, image, budget, checks);
}

Result decodePng(ByteView data, RgbaImage& image, WorkBudget& budget, PngChecks checks) {
    PngChunks chunks;
    const Result r = readChunks(data, checks, chunks);
    return r == ERCI_OK ? decodeImageData(chunks.header, chunks.info, chunks.idat, checks, budget, image) : r;
}

bool findPngEnd(ByteView data, size_t& end) {
    end = data.size;
    if (!hasPngSignature(data))
        return false;
    ChunkCursor cursor(data, false);
    Chunk chunk;
    while (cursor.next(chunk) == ERCI_OK) {
        if (chunk.type == kIEND) {
            end = cursor.offset();
            return true;
        }
    }
    return false;
}

bool pngChecksumsRight(ByteView data) {
    PngChunks chunks;
    return readChunks(data, PngChecks::File, chunks) == ERCI_OK && chunks.wrongCrcs == 0;
}

void copyChunksWithRightCrcs(ByteView data, std::vector<uint8_t>& out) {
    out.assign(data.data, data.data + kPngSignatureSize);
    ChunkCursor cursor(data);
    Chunk chunk;
    while (cursor.next(chunk) == ERCI_OK) {
        const ByteView whole = cursor.lastChunk(chunk);
        if (chunk.crcRight)
            out.insert(out.end(), whole.data, whole.data + whole.size);
        if (chunk.type == kIEND)
            return;
    }
}

bool isExactPng(ByteView data) {
    PngChunks chunks;
    uint64_t rawBytes = 0;
    if (readChunks(data, PngChecks::File, chunks) != ERCI_OK || chunks.wrongCrcs != 0 || chunks.end != data.size)
        return false;
    const bool interlaced = chunks.header.interlace != 0;
    if (!rawDataBytes(chunks.header, interlaced ? kAdam7Passes : kSinglePass, interlaced ? 7 : 1, rawBytes))
        return false;
    IdatInflater inflater(chunks.idat);
    uint8_t scratch[4096];
    for (uint64_t left = rawBytes; left > 0;) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, sizeof(scratch)));
        if (!inflater.read(scratch, piece))
            return false;
        left -= piece;
    }
    return inflater.endsHere();
}

} // namespace tfi
