#include "ColorSpace.h"

#include <cmath>

namespace tfi {
namespace {

// The D50 white of ICC's profile connection space, as lcms2 and the ICC header write it.
constexpr double kD50[3] = {0.9642, 1.0, 0.8249};
// Smaller than any determinant of real primaries (about 0.1 to 1), larger than rounding's.
constexpr double kSingularDeterminant = 1e-9;

// sRGB profiles as files carry them differ from sRGB's own matrix by up to 0.0005 (colorants
// rounded to 16 bits, adapted to D50 by slightly different matrices); a real other space by 0.01
// at the least.
constexpr double kSrgbMatrixTolerance = 0.001;
constexpr double kHalfLevel = 0.5 / 255;
constexpr int kEightBitMax = 255;

// Cone responses of the Bradford chromatic adaptation.
const Matrix3 kBradford = {{{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};

bool whiteXyz(const Chromaticity& white, double xyz[3]) {
    if (white.y <= 0)
        return false;
    xyz[0] = white.x / white.y;
    xyz[1] = 1;
    xyz[2] = (1 - white.x - white.y) / white.y;
    return true;
}

void apply(const Matrix3& a, const double in[3], double out[3]) {
    for (int r = 0; r < 3; ++r)
        out[r] = a.m[r][0] * in[0] + a.m[r][1] * in[1] + a.m[r][2] * in[2];
}

// From a white to D50, by scaling cone responses.
bool bradfordToD50(const double white[3], Matrix3& adaptation) {
    Matrix3 inverse;
    if (!invert(kBradford, inverse))
        return false;
    double from[3], to[3];
    apply(kBradford, white, from);
    apply(kBradford, kD50, to);
    Matrix3 scale;
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(from[i]) < kSingularDeterminant)
            return false;
        scale.m[i][i] = to[i] / from[i];
    }
    adaptation = inverse * scale * kBradford;
    return true;
}

// RGB to XYZ relative to the primaries' own white, whose Y is 1.
bool rgbToXyzOwnWhite(const Primaries& p, Matrix3& matrix) {
    const Chromaticity* colours[3] = {&p.red, &p.green, &p.blue};
    Matrix3 unscaled;
    for (int c = 0; c < 3; ++c) {
        if (colours[c]->y <= 0)
            return false;
        unscaled.m[0][c] = colours[c]->x / colours[c]->y;
        unscaled.m[1][c] = 1;
        unscaled.m[2][c] = (1 - colours[c]->x - colours[c]->y) / colours[c]->y;
    }
    Matrix3 inverse;
    double white[3], weights[3];
    if (!whiteXyz(p.white, white) || !invert(unscaled, inverse))
        return false;
    apply(inverse, white, weights);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            matrix.m[r][c] = unscaled.m[r][c] * weights[c];
    return true;
}

} // namespace

Matrix3 operator*(const Matrix3& a, const Matrix3& b) {
    Matrix3 product;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            product.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c];
    return product;
}

bool invert(const Matrix3& a, Matrix3& inverse) {
    const auto& m = a.m;
    const double cofactor[3][3] = {
        {m[1][1] * m[2][2] - m[1][2] * m[2][1], m[0][2] * m[2][1] - m[0][1] * m[2][2], m[0][1] * m[1][2] - m[0][2] * m[1][1]},
        {m[1][2] * m[2][0] - m[1][0] * m[2][2], m[0][0] * m[2][2] - m[0][2] * m[2][0], m[0][2] * m[1][0] - m[0][0] * m[1][2]},
        {m[1][0] * m[2][1] - m[1][1] * m[2][0], m[0][1] * m[2][0] - m[0][0] * m[2][1], m[0][0] * m[1][1] - m[0][1] * m[1][0]}};
    const double determinant = m[0][0] * cofactor[0][0] + m[0][1] * cofactor[1][0] + m[0][2] * cofactor[2][0];
    if (!std::isfinite(determinant) || std::fabs(determinant) < kSingularDeterminant)
        return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            inverse.m[r][c] = cofactor[r][c] / determinant;
    return true;
}

bool rgbToXyzD50(const Primaries& primaries, Matrix3& matrix) {
    Matrix3 ownWhite, adaptation;
    double white[3];
    if (!rgbToXyzOwnWhite(primaries, ownWhite) || !whiteXyz(primaries.white, white) || !bradfordToD50(white, adaptation))
        return false;
    matrix = adaptation * ownWhite;
    return true;
}

const Primaries& srgbPrimaries() {
    static const Primaries primaries = {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, {0.3127, 0.3290}};
    return primaries;
}

const Matrix3& xyzD50ToLinearSrgb() {
    static const Matrix3 matrix = [] {
        Matrix3 toXyz, inverse;
        rgbToXyzD50(srgbPrimaries(), toXyz);
        invert(toXyz, inverse);
        return inverse;
    }();
    return matrix;
}

bool isSrgbUpToRounding(const ColorSpace& space) {
    for (int r = 0; r < 3 && !space.grey; ++r)
        for (int c = 0; c < 3; ++c)
            if (std::fabs(space.toLinearSrgb.m[r][c] - (r == c ? 1.0 : 0.0)) > kSrgbMatrixTolerance)
                return false;
    for (int c = 0; c < (space.grey ? 1 : 3); ++c)
        for (int level = 0; level <= kEightBitMax; ++level) {
            const double stored = double(level) / kEightBitMax;
            if (std::fabs(srgbEncode(space.curves[c].linear(stored)) - stored) > kHalfLevel)
                return false;
        }
    return true;
}

bool colorSpaceOf(const Primaries& primaries, const ToneCurve& curve, ColorSpace& space) {
    Matrix3 toXyz;
    if (!rgbToXyzD50(primaries, toXyz))
        return false;
    space.grey = false;
    for (ToneCurve& c : space.curves)
        c = curve;
    space.toLinearSrgb = xyzD50ToLinearSrgb() * toXyz;
    return true;
}

} // namespace tfi
