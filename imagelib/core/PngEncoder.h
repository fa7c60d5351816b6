// PNG writing: non-interlaced, rows filtered as the layout suits, deflated by zlib. Icon
// entries are 8-bit RGBA; a picture written on its own takes the smallest lossless layout.
#pragma once

#include <cstdint>
#include <vector>

#include "Image.h"
#include "PngLayout.h"
#include "Result.h"

namespace tfi {

enum class TransparentColour {
    Keep,  // every byte as given: a PNG made from an icon entry gives back exactly its pixels
    Clear, // colour under alpha 0 written as black: nothing a reader shows changes, and the
           // transparent margin of an icon entry deflates to almost nothing
};

// 8-bit RGBA, the layout Windows and icon tools expect of an icon entry.
Result encodePng(const RgbaImage& image, std::vector<uint8_t>& out,
                 TransparentColour transparent = TransparentColour::Keep);

// The smallest lossless layout (smallestLayout), every pixel kept as it is.
Result encodeSmallestPng(const RgbaImage& image, std::vector<uint8_t>& out);

// The writer's choices, open so that bench/ can measure the alternatives.
enum class FilterRule : uint8_t { None, Sub, Up, Average, Paeth, Adaptive }; // fixed ones in PNG's order

struct DeflateSettings {
    int level;
    int strategy;
    int memLevel;
    int windowBits;
    // deflateTune values; chain 0 keeps the level's own table.
    int goodLength;
    int maxLazy;
    int niceLength;
    int maxChain;
};

struct PngEncoding {
    PngLayout layout;
    FilterRule filters = FilterRule::Adaptive;
    // Small pictures are deflated with each and the smallest result kept; larger ones take the
    // first.
    std::vector<DeflateSettings> trials;
};

// What the writer does with a layout: filters and deflate settings as measured (PngEncoder.cpp).
PngEncoding encodingFor(PngLayout layout);

Result encodePngWith(const RgbaImage& image, const PngEncoding& encoding, std::vector<uint8_t>& out);

} // namespace tfi
