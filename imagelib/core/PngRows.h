// The parts of PNG reading shared by the decoder of a file held in memory and the one that
// reads a large file in pieces: chunk names, colour information, zlib over the image data,
// filters, interlace passes, and rows expanded to RGBA.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Bytes.h"
#include "PngDecoder.h"
#include "Result.h"
#include "WorkBudget.h"
#include "ZlibStatus.h"

namespace tfi {
namespace png {

constexpr size_t kChunkHeaderSize = 8; // length + type
constexpr size_t kChunkCrcSize = 4;
constexpr size_t kIhdrDataSize = 13;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;
constexpr size_t kMaxPaletteEntries = 256;
// Real files split their data into at most thousands of chunks; the list of them stays small.
constexpr size_t kMaxIdatChunks = 1u << 20;

enum ColorType : uint8_t { kGray = 0, kRgb = 2, kPalette = 3, kGrayAlpha = 4, kRgba = 6 };

constexpr uint32_t chunkType(char a, char b, char c, char d) {
    return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(b) << 16) | (static_cast<uint32_t>(c) << 8) |
           static_cast<uint32_t>(d);
}
constexpr uint32_t kIHDR = chunkType('I', 'H', 'D', 'R');
constexpr uint32_t kPLTE = chunkType('P', 'L', 'T', 'E');
constexpr uint32_t kTRNS = chunkType('t', 'R', 'N', 'S');
constexpr uint32_t kIDAT = chunkType('I', 'D', 'A', 'T');
constexpr uint32_t kIEND = chunkType('I', 'E', 'N', 'D');

inline bool isCriticalChunk(uint32_t type) { return (type & 0x20000000u) == 0; }

// The fields of IHDR checked against the format, but not against the caps.
Result parseIhdrFields(ByteView data, PngHeader& header);

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

Result readPalette(ByteView data, ColorInfo& info, size_t& paletteSize);
// A malformed tRNS is ancillary: ignoring it keeps the picture, only without the key.
void readTransparency(ByteView data, const PngHeader& header, ColorInfo& info);

// The image data in the order of its IDAT chunks; false when there is no more (or it cannot
// be read).
class IdatParts {
public:
    virtual ~IdatParts() = default;
    virtual bool next(ByteView& part) = 0;
};

// Pulls inflated bytes across consecutive IDAT chunks.
class IdatInflater {
public:
    // Without `adler` the stream's checksum is neither computed nor checked: for a file whose
    // chunk CRCs are checked and whose rows end before the checksum is reached anyway, and
    // whose inflating is most of the work.
    explicit IdatInflater(IdatParts& parts, bool adler = true) : parts_(parts) {
        std::memset(&stream_, 0, sizeof(stream_));
        ready_ = orOutOfMemory(inflateInit(&stream_)) == Z_OK;
        if (ready_ && !adler)
            inflateValidate(&stream_, 0);
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
        ByteView part;
        while (parts_.next(part)) {
            if (part.size > 0) {
                stream_.next_in = const_cast<Bytef*>(part.data);
                stream_.avail_in = static_cast<uInt>(part.size);
                return true;
            }
        }
        return false;
    }

    IdatParts& parts_;
    z_stream stream_;
    bool ready_ = false;
    bool ended_ = false;
};

// Pixels of one pass are at x = x0 + i * dx of rows y0 + j * dy.
struct Pass {
    uint32_t x0, y0, dx, dy;
};

// Inflated bytes the image data must hold: one filter byte plus the packed samples per row.
bool rawDataBytes(const PngHeader& h, uint64_t& total);

// Refuses image data too small to inflate to the rows the header declares, whatever zlib
// makes of it, before any of it is inflated; then pays for the decode from `budget`.
Result payForImageData(const PngHeader& h, uint64_t compressedBytes, WorkBudget& budget);

// Where unfiltered rows go, each as it is unfiltered: the packed samples of `count` pixels of
// row `y`, at x = pass.x0, pass.x0 + pass.dx, ...
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void put(const uint8_t* samples, uint32_t count, uint32_t y, const Pass& pass) = 0;
};

// Inflates and unfilters every row of every pass into `rows`; ERCI_ERR_CORRUPT_SOURCE when the
// data ends early or a filter type is unknown.
Result inflateRows(const PngHeader& h, IdatInflater& inflater, RowSink& rows);

// Packed samples of `count` pixels to RGBA, `outStep` bytes apart.
void expandRow(const uint8_t* row, uint32_t count, const PngHeader& h, const ColorInfo& info, uint8_t* out,
               size_t outStep);

} // namespace png
} // namespace tfi
