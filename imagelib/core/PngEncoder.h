// PNG writing: 8-bit RGBA, non-interlaced, each row filtered with the filter that suits it
// best, deflated by zlib.
#pragma once

#include <cstdint>
#include <vector>

#include "Image.h"
#include "Result.h"

namespace tfi {

Result encodePng(const RgbaImage& image, std::vector<uint8_t>& out);

} // namespace tfi
