#include "LargePng.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "AreaReducer.h"
#include "CheckedMath.h"
#include "IconWriter.h"
#include "Limits.h"
#include "PngDecoder.h"
#include "PngRows.h"
#include "WorkBudget.h"

namespace tfi {
namespace {

using namespace png;

// Image data and copies move through one window of this size; chunk headers are read with a
// smaller read-ahead, so that walking past large chunks does not read them.
constexpr size_t kPieceBytes = 1024 * 1024;
constexpr size_t kHeaderReadAhead = 64 * 1024;
constexpr size_t kIhdrChunkEnd = kPngSignatureSize + kChunkHeaderSize + kIhdrDataSize + kChunkCrcSize;
// Real files carry a handful of chunks besides their image data; a file of 1 GiB could hold
// tens of millions, each costing a walk and a CRC.
constexpr size_t kMaxOtherChunks = kMaxIdatChunks;

// A window over the file: a view of bytes stays valid until the next call.
class PieceReader {
public:
    explicit PieceReader(SourceFile& file) : file_(file) {}

    uint64_t fileSize() const { return file_.size(); }

    // [offset, offset + length), length at most kPieceBytes; null when the file cannot give it.
    const uint8_t* at(uint64_t offset, size_t length, size_t readAhead) {
        if (offset >= start_ && offset - start_ <= held_ && length <= held_ - (offset - start_))
            return window_.data() + (offset - start_);
        if (length > kPieceBytes || !rangeFits(offset, length, file_.size()))
            return nullptr;
        const size_t want = static_cast<size_t>(
            std::min<uint64_t>(std::max(length, std::min(readAhead, kPieceBytes)), file_.size() - offset));
        window_.resize(kPieceBytes);
        held_ = 0;
        if (!file_.readAt(offset, window_.data(), want))
            return nullptr;
        start_ = offset;
        held_ = want;
        return window_.data();
    }

private:
    SourceFile& file_;
    std::vector<uint8_t> window_;
    uint64_t start_ = 0;
    size_t held_ = 0;
};

struct ChunkHead {
    uint32_t type = 0;
    uint32_t length = 0;
    uint64_t start = 0; // of the length field
    uint64_t dataStart() const { return start + kChunkHeaderSize; }
    uint64_t crcStart() const { return dataStart() + length; }
    uint64_t end() const { return crcStart() + kChunkCrcSize; }
};

// Walks the chunk sequence from the one after IHDR.
class ChunkWalker {
public:
    explicit ChunkWalker(PieceReader& reader) : reader_(reader) {}

    Result next(ChunkHead& head) {
        const uint8_t* bytes = reader_.at(offset_, kChunkHeaderSize, kHeaderReadAhead);
        if (!bytes)
            return ERCI_ERR_CORRUPT_SOURCE;
        head.start = offset_;
        head.length = readBe32(bytes);
        head.type = readBe32(bytes + 4);
        if (head.length > kMaxChunkLength ||
            !rangeFits(head.dataStart(), uint64_t(head.length) + kChunkCrcSize, reader_.fileSize()))
            return ERCI_ERR_CORRUPT_SOURCE;
        offset_ = head.end();
        return ERCI_OK;
    }

private:
    PieceReader& reader_;
    uint64_t offset_ = kIhdrChunkEnd;
};

uint32_t typeCrc(uint32_t type) {
    const uint8_t name[4] = {uint8_t(type >> 24), uint8_t(type >> 16), uint8_t(type >> 8), uint8_t(type)};
    return static_cast<uint32_t>(crc32(0L, name, 4));
}

// Hands [offset, offset + length) to `use` in pieces; false when a piece cannot be read or
// `use` refuses it.
template <class Use>
bool forEachPiece(PieceReader& reader, uint64_t offset, uint64_t length, Use use) {
    while (length > 0) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(length, kPieceBytes));
        const uint8_t* bytes = reader.at(offset, piece, piece);
        if (!bytes || !use(bytes, piece))
            return false;
        offset += piece;
        length -= piece;
    }
    return true;
}

bool storedCrcIs(PieceReader& reader, const ChunkHead& head, uint32_t crc) {
    const uint8_t* stored = reader.at(head.crcStart(), kChunkCrcSize, kHeaderReadAhead);
    return stored && readBe32(stored) == crc;
}

bool chunkCrcRight(PieceReader& reader, const ChunkHead& head) {
    uint32_t crc = typeCrc(head.type);
    const bool read = forEachPiece(reader, head.dataStart(), head.length, [&](const uint8_t* bytes, size_t size) {
        crc = static_cast<uint32_t>(crc32(crc, bytes, static_cast<uInt>(size)));
        return true;
    });
    return read && storedCrcIs(reader, head, crc);
}

// What the decode needs before the image data, found by one walk over the chunks that reads
// everything but the image data itself, as the decode in memory reads its chunks.
struct LargePngLayout {
    PngHeader header;
    ColorInfo info;
    PngColorChunks color;
    uint64_t idatBytes = 0;
    size_t wrongCrcs = 0;
};

// The start of a small chunk's data (PLTE, tRNS: the decode uses no more of it).
ByteView smallChunkData(PieceReader& reader, const ChunkHead& head) {
    const size_t used = std::min<size_t>(head.length, 3 * kMaxPaletteEntries);
    const uint8_t* bytes = reader.at(head.dataStart(), used, used);
    return bytes ? ByteView(bytes, used) : ByteView();
}

// A colour chunk's data; for one beyond what we keep, only its length matters.
ByteView colorChunkData(PieceReader& reader, const ChunkHead& head) {
    if (head.length > kMaxIccpChunkBytes)
        return ByteView(nullptr, head.length);
    const uint8_t* bytes = reader.at(head.dataStart(), head.length, head.length);
    return bytes ? ByteView(bytes, head.length) : ByteView();
}

Result useChunk(PieceReader& reader, const ChunkHead& head, LargePngLayout& layout, size_t& paletteSize) {
    switch (head.type) {
    case kPLTE:
        if (head.length > 3 * kMaxPaletteEntries)
            return ERCI_ERR_CORRUPT_SOURCE;
        return readPalette(smallChunkData(reader, head), layout.info, paletteSize);
    case kTRNS: readTransparency(smallChunkData(reader, head), layout.header, layout.info); return ERCI_OK;
    case kIHDR: return ERCI_ERR_CORRUPT_SOURCE;
    default:
        if (isCriticalChunk(head.type))
            return ERCI_ERR_CORRUPT_SOURCE;
        if (isColorChunk(head.type))
            keepColorChunk(head.type, colorChunkData(reader, head), layout.color);
        return ERCI_OK;
    }
}

Result readHeader(PieceReader& reader, PngHeader& header) {
    const uint8_t* start = reader.at(0, kIhdrChunkEnd, kHeaderReadAhead);
    if (!start)
        return ERCI_ERR_CORRUPT_SOURCE;
    return readPngDimensions(ByteView(start, kIhdrChunkEnd), header);
}

// IDAT chunks are counted and measured here, their CRCs checked as they are inflated.
Result scanChunks(PieceReader& reader, LargePngLayout& layout) {
    Result r = readHeader(reader, layout.header);
    if (r != ERCI_OK)
        return r;
    ChunkWalker walker(reader);
    ChunkHead head;
    size_t paletteSize = 0, idatChunks = 0, otherChunks = 0;
    for (;;) {
        r = walker.next(head);
        if (r != ERCI_OK)
            return r;
        if (head.type == kIDAT) {
            if (++idatChunks > kMaxIdatChunks)
                return ERCI_ERR_TOO_LARGE;
            layout.idatBytes += head.length;
            continue;
        }
        if (++otherChunks > kMaxOtherChunks)
            return ERCI_ERR_TOO_LARGE;
        if (!chunkCrcRight(reader, head)) {
            if (isCriticalChunk(head.type))
                return ERCI_ERR_CORRUPT_SOURCE;
            ++layout.wrongCrcs;
            continue;
        }
        if (head.type == kIEND)
            break;
        r = useChunk(reader, head, layout, paletteSize);
        if (r != ERCI_OK)
            return r;
    }
    if (idatChunks == 0 || (layout.header.colorType == kPalette && paletteSize == 0))
        return ERCI_ERR_CORRUPT_SOURCE;
    return ERCI_OK;
}

// The image data, read from the IDAT chunks in pieces, each chunk's CRC checked at its end.
class LargeIdat : public ByteParts {
public:
    LargeIdat(PieceReader& reader) : reader_(reader), walker_(reader) {}

    bool next(ByteView& part) override {
        while (left_ == 0) {
            if (failed_ || ended_ || !finishChunk() || !startNextIdat())
                return false;
        }
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(left_, kPieceBytes));
        const uint8_t* bytes = reader_.at(offset_, piece, piece);
        if (!bytes)
            return fail();
        crc_ = static_cast<uint32_t>(crc32(crc_, bytes, static_cast<uInt>(piece)));
        offset_ += piece;
        left_ -= piece;
        part = ByteView(bytes, piece);
        return true;
    }

    // After the rows: the CRCs of the image data that the rows did not need.
    Result checkRest() {
        ByteView part;
        while (next(part)) {
        }
        return failed_ ? ERCI_ERR_CORRUPT_SOURCE : ERCI_OK;
    }

private:
    bool fail() {
        failed_ = true;
        return false;
    }

    bool finishChunk() {
        if (inChunk_ && !storedCrcIs(reader_, head_, crc_))
            return fail();
        inChunk_ = false;
        return true;
    }

    bool startNextIdat() {
        do {
            if (walker_.next(head_) != ERCI_OK)
                return fail();
            if (head_.type == kIEND) {
                ended_ = true;
                return false;
            }
        } while (head_.type != kIDAT);
        inChunk_ = true;
        crc_ = typeCrc(kIDAT);
        offset_ = head_.dataStart();
        left_ = head_.length;
        return true;
    }

    PieceReader& reader_;
    ChunkWalker walker_;
    ChunkHead head_;
    uint64_t offset_ = 0;
    uint64_t left_ = 0;
    uint32_t crc_ = 0;
    bool inChunk_ = false;
    bool ended_ = false;
    bool failed_ = false;
};

// Rows unfiltered only to check them.
class DiscardedRows : public RowSink {
public:
    void put(const uint8_t*, uint32_t, uint32_t, const Pass&) override {}
};

// The scan, then `decode` over the image data, paid from a budget of the large caps.
template <class Decode>
Result decodeLarge(SourceFile& file, LargePngLayout& layout, Decode decode) {
    PieceReader reader(file);
    Result r = scanChunks(reader, layout);
    WorkBudget budget(kMaxLargeSourcePixels, kMaxLargeInflatedBytes);
    if (r == ERCI_OK && std::max(layout.header.width, layout.header.height) > kMaxImageSide)
        r = ERCI_ERR_TOO_LARGE;
    if (r == ERCI_OK)
        r = payForImageData(layout.header, layout.idatBytes, budget);
    if (r != ERCI_OK)
        return r;
    LargeIdat idat(reader);
    Inflater inflater(idat, false);
    return decode(inflater, idat);
}

} // namespace

bool isLargePngSource(SourceFile& file) {
    uint8_t start[kIhdrChunkEnd];
    PngHeader header;
    if (!file.readAt(0, start, sizeof(start)) || readPngDimensions(ByteView(start, sizeof(start)), header) != ERCI_OK)
        return false;
    const uint64_t pixels = uint64_t(header.width) * header.height;
    const bool beyondCaps = !imageWithinCaps(header.width, header.height) || file.size() > kMaxSourceFileBytes;
    return beyondCaps && header.width <= kMaxImageSide && header.height <= kMaxImageSide &&
           pixels <= kMaxLargeSourcePixels && file.size() <= kMaxLargeSourceFileBytes;
}

Result decodeLargePngReduced(SourceFile& file, RgbaImage& reduced, uint32_t maxSide, ColorNote* toSrgb) {
    LargePngLayout layout;
    return decodeLarge(file, layout, [&](Inflater& inflater, LargeIdat& idat) {
        if (toSrgb)
            *toSrgb = convertToSrgb(layout.color, layout.header, layout.info);
        AreaReducer reducer(layout.header, layout.info);
        Result r = reducer.start(maxSide);
        if (r == ERCI_OK)
            r = inflateRows(layout.header, inflater, reducer);
        if (r == ERCI_OK)
            r = idat.checkRest();
        return r == ERCI_OK ? reducer.finish(reduced) : r;
    });
}

Result largePngToIcon(SourceFile& file, const ConvertOptions& options, std::vector<uint8_t>& out, ColorNote& note) {
    note = ColorNote::None;
    RgbaImage reduced;
    const Result r = decodeLargePngReduced(file, reduced, kMaxReducedSide, options.keepStoredColor ? nullptr : &note);
    return r == ERCI_OK ? buildIcon(reduced, options, out) : r;
}

Result checkLargePng(SourceFile& file) {
    LargePngLayout layout;
    return decodeLarge(file, layout, [&](Inflater& inflater, LargeIdat& idat) {
        DiscardedRows rows;
        const Result r = inflateRows(layout.header, inflater, rows);
        return r == ERCI_OK ? idat.checkRest() : r;
    });
}

Result copyLargePng(SourceFile& file, ByteSink& out) {
    PieceReader reader(file);
    LargePngLayout layout;
    const Result scanned = scanChunks(reader, layout);
    if (scanned != ERCI_OK)
        return scanned;
    const bool checksumsRight = layout.wrongCrcs == 0;
    bool writeFailed = false;
    const auto write = [&](const uint8_t* bytes, size_t size) {
        writeFailed = !out.write(bytes, size);
        return !writeFailed;
    };
    const auto failure = [&] { return writeFailed ? ERCI_ERR_WRITE_DESTINATION : ERCI_ERR_READ_SOURCE; };
    if (checksumsRight)
        return forEachPiece(reader, 0, file.size(), write) ? ERCI_OK : failure();
    // The signature and IHDR, then every chunk with a right CRC up to IEND.
    if (!forEachPiece(reader, 0, kIhdrChunkEnd, write))
        return failure();
    ChunkWalker walker(reader);
    ChunkHead head;
    do {
        if (walker.next(head) != ERCI_OK)
            return ERCI_ERR_READ_SOURCE;
        if (chunkCrcRight(reader, head) && !forEachPiece(reader, head.start, head.end() - head.start, write))
            return failure();
    } while (head.type != kIEND);
    return ERCI_OK;
}

} // namespace tfi
