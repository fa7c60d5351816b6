// The parts of PNG reading shared by the decoder of a file held in memory and the one that
// reads a large file in pieces: chunk names, colour information, filters, interlace passes,
// and rows expanded to RGBA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Bytes.h"
#include "Inflate.h"
#include "PngColor.h"
#include "PngDecoder.h"
#include "Result.h"
#include "SrgbTransform.h"
#include "WorkBudget.h"

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

constexpr uint32_t chunkType(char a, char b, char c, char d) { return fourCharCode(a, b, c, d); }
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
    // Set when the stored levels are converted to sRGB; a palette is converted in place instead.
    std::shared_ptr<const SrgbTransform> toSrgb;

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

// Makes expandRow give sRGB from the colour space `chunks` declare. The transparent key stays
// a match of the stored samples, and the palette is converted once, here.
ColorNote convertToSrgb(const PngColorChunks& chunks, const PngHeader& header, ColorInfo& info);

// Pixels of one pass are at x = x0 + i * dx of rows y0 + j * dy.
struct Pass {
    uint32_t x0, y0, dx, dy;
};

// Inflated bytes the image data must hold: one filter byte plus the packed samples per row.
bool rawDataBytes(const PngHeader& h, uint64_t& total);

// Refuses image data too small to inflate to the rows the header declares, whatever the inflater
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
Result inflateRows(const PngHeader& h, Inflater& inflater, RowSink& rows);

// Packed samples of `count` pixels to RGBA, `outStep` bytes apart.
void expandRow(const uint8_t* row, uint32_t count, const PngHeader& h, const ColorInfo& info, uint8_t* out,
               size_t outStep);

} // namespace png
} // namespace tfi
