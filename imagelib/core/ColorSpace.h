// A source's colour space as the conversion to sRGB needs it: a curve per channel to linear
// light, then a matrix to linear sRGB. Matrices are built as ICC's profile connection space
// builds them: colours relative to their white, adapted to D50 by Bradford, so that a source
// white becomes sRGB white (relative colorimetric, what browsers show).
#pragma once

#include "ToneCurve.h"

namespace tfi {

struct Matrix3 {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

Matrix3 operator*(const Matrix3& a, const Matrix3& b);
// False when `a` has no usable inverse.
bool invert(const Matrix3& a, Matrix3& inverse);

struct Chromaticity {
    double x = 0, y = 0;
};

struct Primaries {
    Chromaticity red, green, blue, white;
};

// RGB of these primaries to XYZ relative to D50; false when they span no space (on a line,
// y of 0, a white outside them).
bool rgbToXyzD50(const Primaries& primaries, Matrix3& matrix);

// XYZ relative to D50 to linear sRGB, the inverse of sRGB's own primaries adapted to D50.
const Matrix3& xyzD50ToLinearSrgb();

const Primaries& srgbPrimaries();

struct ColorSpace {
    bool grey = false;        // one channel: its curve gives the light of a neutral
    ToneCurve curves[3];      // red, green, blue; grey uses the first
    Matrix3 toLinearSrgb;     // unused for grey
};

// sRGB up to the rounding of the file that declares it (an embedded sRGB profile, the most
// common of all): the matrix within kSrgbMatrixTolerance of sRGB's own and every curve within
// half a level of sRGB's at every 8-bit level. Converting from it would only move some levels
// by one, so such sources keep their stored levels, as untagged ones do.
bool isSrgbUpToRounding(const ColorSpace& space);

// A space of these primaries and one curve for all channels.
bool colorSpaceOf(const Primaries& primaries, const ToneCurve& curve, ColorSpace& space);

} // namespace tfi
