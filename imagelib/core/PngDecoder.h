// PNG reading: every colour type and bit depth of the format, interlaced or not, decoded
// straight to 8-bit RGBA. Image data is inflated row by row, so apart from the file itself
// only the output image and two rows are held.
#pragma once

#include <cstdint>

#include "Bytes.h"
#include "Image.h"
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

bool hasPngSignature(ByteView data);

// Reads and checks the signature and IHDR only: cheap enough to run before any decoding, so
// that an image declaring absurd dimensions is refused without work (ERCI_ERR_TOO_LARGE).
Result readPngHeader(ByteView data, PngHeader& header);

// Decodes the whole image; chunk CRCs are verified and IEND is required. The decode is paid
// from `budget` before the image is allocated; ERCI_ERR_TOO_LARGE when it cannot be.
Result decodePng(ByteView data, RgbaImage& image, WorkBudget& budget);
// The same as a conversion of its own.
Result decodePng(ByteView data, RgbaImage& image);

// For a PNG that decodePng accepts: true when nothing in it is cut short or left over. The
// image data's zlib stream ends, checksum verified, right after the last row, and the data
// ends with IEND. Such a file can be handed on as it is. It inflates the image data again, into
// a small scratch buffer: no more work than the decode it follows, which the budget paid for.
bool isExactPng(ByteView data);

} // namespace tfi
