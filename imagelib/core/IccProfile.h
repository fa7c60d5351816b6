// ICC profiles, versions 2 and 4, of RGB and grey devices, read as far as a matrix/TRC
// conversion needs: the colorants and the tone curves. Every offset, size and count comes from
// the file and is checked before use. Profiles that only carry lookup tables are recognised
// and left alone.
#pragma once

#include "Bytes.h"
#include "ColorSpace.h"

namespace tfi {

// Matrix/TRC profiles are a few hundred bytes to a few kilobytes; LUT profiles, which we do
// not apply, reach a megabyte or two.
constexpr size_t kMaxIccProfileBytes = 4 * 1024 * 1024;

enum class IccVerdict {
    Usable,
    Unsupported, // sound, but not an RGB or grey matrix/TRC profile (LUT-only, CMYK, a link)
    Damaged,
};

// The source colour space the profile describes, relative colorimetric: its colorants are in
// ICC's connection space, already adapted to D50 (the `chad` tag records how they were, which
// this rendering needs no more), so the profile's white becomes sRGB white.
IccVerdict readIccProfile(ByteView profile, ColorSpace& space);

} // namespace tfi
