// One conversion, bytes in and bytes out: the whole codec behind the file layers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "ConvertOptions.h"
#include "Image.h"
#include "PngColor.h"
#include "Result.h"
#include "WorkBudget.h"

namespace tfi {

enum class OutputFormat { Icon, Png };

enum class SourceFormat { Png, Icon, Unknown };

// Judged by content only: the PNG signature, or an ICO/CUR header.
SourceFormat detectSourceFormat(ByteView source);

// PNG to icon builds the multi-size icon; icon to PNG writes the best entry. A PNG asked for as
// PNG is checked and passed on byte for byte (less any ancillary chunk with a wrong CRC); an
// icon asked for as icon likewise when every entry is sound, and is otherwise rebuilt from its
// best entry.
// A PNG becomes an icon in sRGB, converted from the colour space it declares unless the options
// keep the stored levels; `note`, when given, says why a declared space was not applied.
// Decoding is bounded for the whole conversion by a WorkBudget of the default amounts.
Result convertImage(ByteView source, OutputFormat format, const ConvertOptions& options, std::vector<uint8_t>& out,
                    ColorNote* note = nullptr);
// The same, taking the source: its bytes are freed as soon as they are decoded, and become the
// output when that is the source unchanged.
Result convertImage(std::vector<uint8_t>&& source, OutputFormat format, const ConvertOptions& options,
                    std::vector<uint8_t>& out, ColorNote* note = nullptr);

// Entry `index` of an icon or cursor file (a directory slot, see readIconDirectory) as a PNG,
// by the rule of icon to PNG: a sound PNG entry as it is, anything else in its smallest
// lossless layout. Bounded by a WorkBudget of its own.
Result convertIconEntryToPng(ByteView file, size_t index, std::vector<uint8_t>& out);

// A picture for an icon made of pictures (buildIconFromPictures): a PNG of at most
// kMaxIconEntrySide on its longer side. A larger one is refused from its header as too large,
// before it is decoded. Its colour as in convertImage.
Result decodeIconPicture(ByteView file, const ConvertOptions& options, RgbaImage& picture, WorkBudget& budget,
                         ColorNote& note);

} // namespace tfi
