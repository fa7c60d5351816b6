// PNG reading: every colour type and bit depth of the format, interlaced or not, decoded
// straight to 8-bit RGBA. Image data is inflated row by row, so apart from the file itself
// only the output image and two rows are held. Sources beyond the caps: LargePng.h.
#pragma once

#include <cstdint>
#include <vector>

#include "Bytes.h"
#include "Image.h"
#include "PngColor.h"
#include "Result.h"
#include "WorkBudget.h"

namespace tfi {

constexpr size_t kPngSignatureSize = 8;

struct PngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colorType = 0;
    uint8_t interlace = 0;

    uint32_t channels() const;
    uint32_t bitsPerPixel() const { return channels() * bitDepth; }
};

// How chunk CRCs are taken.
enum class PngChecks {
    // A PNG file: a wrong CRC in a critical chunk is damage; an ancillary chunk with a wrong CRC
    // is ignored, as the common readers ignore it.
    File,
    // A PNG entry of an icon, read as Windows reads one: CRCs are not looked at, every chunk is
    // used, and instead the image data's zlib stream must end, its own checksum right, after
    // the last row.
    IconEntry,
};

bool hasPngSignature(ByteView data);

// Reads and checks the signature and IHDR only: cheap enough to run before any decoding, so
// that an image declaring absurd dimensions is refused without work (ERCI_ERR_TOO_LARGE).
Result readPngHeader(ByteView data, PngHeader& header, PngChecks checks = PngChecks::File);
// The same without the caps: whatever size the header declares.
Result readPngDimensions(ByteView data, PngHeader& header, PngChecks checks = PngChecks::File);

// Decodes the whole image; IEND is required. The decode is paid from `budget` before the image
// is allocated; ERCI_ERR_TOO_LARGE when it cannot be.
Result decodePng(ByteView data, RgbaImage& image, WorkBudget& budget, PngChecks checks = PngChecks::File);
// The same as a conversion of its own.
Result decodePng(ByteView data, RgbaImage& image, PngChecks checks = PngChecks::File);
// A PNG file decoded to sRGB from the colour space it declares (PngColor.h); `note` says why
// the levels were kept as stored when that space could not be applied. decodePng keeps them
// always: for checking a file, and for an icon's entries, which Windows draws as stored.
Result decodePngToSrgb(ByteView data, RgbaImage& image, WorkBudget& budget, ColorNote& note);

// Where IEND ends, found by the chunk lengths alone; false, and `end` the size of `data`, when
// no IEND is reached.
bool findPngEnd(ByteView data, size_t& end);

// Every chunk's CRC right, as far as decodePng reads.
bool pngChecksumsRight(ByteView data);

// For a PNG that decodePng accepts as a file: the same PNG without the ancillary chunks whose
// CRC is wrong, which no reader would use.
void copyChunksWithRightCrcs(ByteView data, std::vector<uint8_t>& out);

// For a PNG that decodePng accepts: true when nothing in it is cut short, left over or wrong.
// Every CRC is right, the image data's zlib stream ends, checksum verified, right after the
// last row, and the data ends with IEND. Such a file can be handed on as it is. It inflates the
// image data again, into a small scratch buffer: no more work than the decode it follows,
// which the budget paid for.
bool isExactPng(ByteView data);

} // namespace tfi
