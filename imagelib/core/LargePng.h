// PNG sources beyond the caps of a decode in memory (Limits.h): read from the file in pieces,
// inflated as they come, and never held whole. To an icon, rows are reduced as they are
// unfiltered to a picture of at most kMaxReducedSide a side, from which the icon is made as
// from any picture; to PNG, the file is checked as a decode would check it and then copied in
// pieces.
#pragma once

#include <cstdint>
#include <vector>

#include "ConvertOptions.h"
#include "Image.h"
#include "Limits.h"
#include "PngColor.h"
#include "Result.h"
#include "SourceFile.h"

namespace tfi {

// A PNG that a decode in memory refuses as too large (more pixels than the image cap, or a file
// larger than the source-file cap) and that the large caps take. Looks at the signature and IHDR
// only; any other file is for the decode in memory to judge.
bool isLargePngSource(SourceFile& file);

// The source reduced by area averaging to at most `maxSide` a side (a smaller source comes out
// as it is, but for the colour under fully transparent pixels, which is black). Bounded work:
// the deflate-ratio check refuses data that cannot hold the declared rows before any of it is
// inflated. With `toSrgb` each row is converted to sRGB from the colour space the file declares
// before it is reduced (PngColor.h), and `toSrgb` says why not when that space cannot be
// applied; without it the levels are kept as stored.
Result decodeLargePngReduced(SourceFile& file, RgbaImage& reduced, uint32_t maxSide = kMaxReducedSide,
                             ColorNote* toSrgb = nullptr);

Result largePngToIcon(SourceFile& file, const ConvertOptions& options, std::vector<uint8_t>& out, ColorNote& note);

// Every check a decode of the file would make: chunk CRCs, the image data inflating to every
// row with known filters.
Result checkLargePng(SourceFile& file);

// Writes a file that checkLargePng accepted to `out`, in pieces: as it is, or without its
// ancillary chunks whose CRC is wrong, as the copy of a smaller PNG leaves them out.
Result copyLargePng(SourceFile& file, ByteSink& out);

} // namespace tfi
