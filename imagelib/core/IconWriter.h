// Building an icon file from a picture.
#pragma once

#include <cstdint>
#include <vector>

#include "ConvertOptions.h"
#include "Image.h"
#include "Result.h"

namespace tfi {

// The multi-size icon of `source` (any shape, any size within the caps), entries chosen by
// planIconSizes and sorted by size. 256 px entries (and every entry with options.everyEntryPng)
// are PNG-compressed; the rest are 32-bit bitmaps with an AND mask.
Result buildIcon(const RgbaImage& source, const ConvertOptions& options, std::vector<uint8_t>& out);

} // namespace tfi
