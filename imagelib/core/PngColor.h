// The colour space a PNG declares, by the precedence of the PNG format's third edition: cICP,
// then iCCP, then sRGB, then gAMA with cHRM. Each chunk is optional and ancillary: one that
// cannot be used leaves the stored levels as they are, and says why, never fails the picture.
#pragma once

#include <cstdint>
#include <vector>

#include "Bytes.h"
#include "ColorSpace.h"

namespace tfi {

// An iCCP chunk of a profile we would apply compresses to a few kilobytes.
constexpr size_t kMaxIccpChunkBytes = 1024 * 1024;

// Why the pixels of a PNG that declares a colour space were left as stored.
enum class ColorNote : uint8_t {
    None, // converted to sRGB, already sRGB, untagged, or kept as stored on request
    ProfileUnsupported,
    ProfileDamaged,
    ProfileMismatch, // a grey profile for a colour picture, or the other way round
    HdrTransfer,
    CicpUnsupported,
};

// The short text imagecore appends to a file's line; empty for ColorNote::None.
const char* colorNoteMessage(ColorNote note);

struct KeptChunk {
    bool present = false;
    bool oversized = false; // present, its data beyond what we keep
    std::vector<uint8_t> data;
};

// The first chunk of each kind, as the format allows only one.
struct PngColorChunks {
    KeptChunk cicp, iccp, srgb, gama, chrm;
};

bool isColorChunk(uint32_t type);
void keepColorChunk(uint32_t type, ByteView data, PngColorChunks& chunks);

// True with `space` when the pixels are to be converted; false when they stay as stored, with
// `note` saying why when the PNG declared a space we do not apply (None when it is sRGB or
// declares nothing).
bool declaredColorSpace(const PngColorChunks& chunks, bool greyPicture, ColorSpace& space, ColorNote& note);

} // namespace tfi
