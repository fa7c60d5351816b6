// Making one square icon picture from a source of any shape.
#pragma once

#include <cstdint>

#include "Image.h"
#include "Result.h"

namespace tfi {

// A `side` x `side` picture with the source scaled to fit, centred on transparency and never
// stretched. Filtering happens in linear light on alpha-weighted colour, so a coloured shape
// on transparency keeps clean edges. At the source's own size the pixels are copied exactly.
Result renderSquare(const RgbaImage& source, uint32_t side, RgbaImage& out);

} // namespace tfi
