// Building an icon file from a picture.
#pragma once

#include <cstdint>
#include <vector>

#include "ConvertOptions.h"
#include "Image.h"
#include "Result.h"

namespace tfi {

// The multi-size icon of `source` (any shape, any size within the caps), entries chosen by
// planIconSizes and sorted by size. Entries above kMaxBitmapEntrySide (and every entry with
// options.everyEntryPng) are PNG-compressed; the rest are 32-bit bitmaps with an AND mask.
Result buildIcon(const RgbaImage& source, const ConvertOptions& options, std::vector<uint8_t>& out);

// One icon from pictures drawn at their own sizes (each at most kMaxIconEntrySide on its longer
// side, else ERCI_ERR_TOO_LARGE): each goes in as it is, centred on a transparent square when
// not square; every default size up to the largest that no picture gives is made from the
// smallest picture larger than it. Of two pictures of one size the first is used.
Result buildIconFromPictures(const std::vector<RgbaImage>& pictures, std::vector<uint8_t>& out);

} // namespace tfi
