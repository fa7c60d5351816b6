#include "PngDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "CheckedMath.h"
#include "Limits.h"
#include "PngRows.h"

namespace tfi {
namespace {

using namespace png;

const uint8_t kPngSignature[kPngSignatureSize] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct Chunk {
    uint32_t type = 0;
    ByteView data;
    bool crcRight = false;
};

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

// The image data of a file held whole: its IDAT chunks, in order.
class IdatList : public ByteParts {
public:
    explicit IdatList(const std::vector<ByteView>& parts) : parts_(parts) {}
    bool next(ByteView& part) override {
        if (next_ == parts_.size())
            return false;
        part = parts_[next_++];
        return true;
    }

private:
    const std::vector<ByteView>& parts_;
    size_t next_ = 0;
};

// Rows straight into the decoded picture.
class ImageRows : public RowSink {
public:
    ImageRows(const PngHeader& h, const ColorInfo& info, RgbaImage& image) : h_(h), info_(info), image_(image) {}
    void put(const uint8_t* samples, uint32_t count, uint32_t y, const Pass& pass) override {
        expandRow(samples, count, h_, info_, image_.row(y) + size_t(pass.x0) * kRgbaBytesPerPixel,
                  size_t(pass.dx) * kRgbaBytesPerPixel);
    }

private:
    const PngHeader& h_;
    const ColorInfo& info_;
    RgbaImage& image_;
};

Result decodeImageData(const PngHeader& h, const ColorInfo& info, const std::vector<ByteView>& idat, PngChecks checks,
                       WorkBudget& budget, RgbaImage& image) {
    uint64_t compressedBytes = 0;
    for (const ByteView& part : idat)
        compressedBytes += part.size;
    Result r = payForImageData(h, compressedBytes, budget);
    if (r == ERCI_OK)
        r = allocateImage(image, h.width, h.height);
    if (r != ERCI_OK)
        return r;

    IdatList parts(idat);
    Inflater inflater(parts);
    ImageRows rows(h, info, image);
    r = inflateRows(h, inflater, rows);
    // With the chunk CRCs not looked at, the stream's own checksum is what tells damage apart.
    if (r == ERCI_OK && checks == PngChecks::IconEntry && !inflater.reachEnd())
        return ERCI_ERR_CORRUPT_SOURCE;
    return r;
}

// The chunks that carry the picture; `end` is where IEND ends.
struct PngChunks {
    PngHeader header;
    ColorInfo info;
    std::vector<ByteView> idat;
    PngColorChunks color;
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
            keepColorChunk(chunk.type, chunk.data, chunks.color);
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
    const Result r = readPngDimensions(data, header, checks);
    if (r == ERCI_OK && !imageWithinCaps(header.width, header.height))
        return ERCI_ERR_TOO_LARGE;
    return r;
}

Result readPngDimensions(ByteView data, PngHeader& header, PngChecks checks) {
    if (!hasPngSignature(data))
        return ERCI_ERR_UNSUPPORTED_SOURCE;
    ChunkCursor cursor(data);
    Chunk chunk;
    Result r = cursor.next(chunk);
    if (r != ERCI_OK)
        return r;
    if (chunk.type != kIHDR || (!chunk.crcRight && checks == PngChecks::File))
        return ERCI_ERR_CORRUPT_SOURCE;
    return parseIhdrFields(chunk.data, header);
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

Result decodePngToSrgb(ByteView data, RgbaImage& image, WorkBudget& budget, ColorNote& note) {
    note = ColorNote::None;
    PngChunks chunks;
    Result r = readChunks(data, PngChecks::File, chunks);
    if (r != ERCI_OK)
        return r;
    note = convertToSrgb(chunks.color, chunks.header, chunks.info);
    return decodeImageData(chunks.header, chunks.info, chunks.idat, PngChecks::File, budget, image);
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
    if (!rawDataBytes(chunks.header, rawBytes))
        return false;
    IdatList parts(chunks.idat);
    Inflater inflater(parts);
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
