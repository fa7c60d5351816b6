// PNG writing: 8-bit RGBA, non-interlaced, each row filtered with the filter that suits it
// best, deflated by zlib.
#pragma once

#include <cstdint>
#include <vector>

#include "Image.h"
#include "Result.h"

namespace tfi {

enum class TransparentColour {
    Keep,  // every byte as given: a PNG made from an icon entry gives back exactly its pixels
    Clear, // colour under alpha 0 written as black: nothing a reader shows changes, and the
           // transparent margin of an icon entry deflates to almost nothing
};

Result encodePng(const RgbaImage& image, std::vector<uint8_t>& out,
                 TransparentColour transparent = TransparentColour::Keep);

} // namespace tfi
