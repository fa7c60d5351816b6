#include "ToneCurve.h"

#include <algorithm>
#include <cmath>

namespace tfi {
namespace {

constexpr double kTableUnit = 65535.0;

// The sRGB curve as ICC version 4 writes it (and as lcms2 builds its sRGB profile).
constexpr double kSrgbGamma = 2.4;
constexpr double kSrgbOffset = 0.055;
constexpr double kSrgbSlope = 12.92;
constexpr double kSrgbBreak = 0.04045;

constexpr double kBt709Exponent = 0.45;
constexpr double kBt709Offset = 0.099;
constexpr double kBt709Slope = 4.5;
constexpr double kBt709Break = 0.081;

double clampUnit(double v) { return std::min(1.0, std::max(0.0, v)); }

} // namespace

ToneCurve ToneCurve::gamma(double exponent) {
    Parameters p;
    p.g = exponent;
    return ToneCurve(p);
}

ToneCurve ToneCurve::srgb() {
    Parameters p;
    p.g = kSrgbGamma;
    p.a = 1 / (1 + kSrgbOffset);
    p.b = kSrgbOffset / (1 + kSrgbOffset);
    p.c = 1 / kSrgbSlope;
    p.d = kSrgbBreak;
    return ToneCurve(p);
}

ToneCurve ToneCurve::bt709() {
    Parameters p;
    p.g = 1 / kBt709Exponent;
    p.a = 1 / (1 + kBt709Offset);
    p.b = kBt709Offset / (1 + kBt709Offset);
    p.c = 1 / kBt709Slope;
    p.d = kBt709Break;
    return ToneCurve(p);
}

double ToneCurve::fromTable(double x) const {
    if (table_.size() == 1)
        return table_[0] / kTableUnit;
    const double position = clampUnit(x) * double(table_.size() - 1);
    const size_t below = std::min(static_cast<size_t>(position), table_.size() - 2);
    const double t = position - double(below);
    return (table_[below] * (1 - t) + table_[below + 1] * t) / kTableUnit;
}

double ToneCurve::linear(double x) const {
    if (!table_.empty())
        return clampUnit(fromTable(x));
    if (x < p_.d)
        return clampUnit(p_.c * x + p_.f);
    const double base = p_.a * x + p_.b;
    return clampUnit((base > 0 ? std::pow(base, p_.g) : 0.0) + p_.e);
}

double srgbEncode(double linear) {
    linear = clampUnit(linear);
    if (linear <= kSrgbBreak / kSrgbSlope)
        return linear * kSrgbSlope;
    return (1 + kSrgbOffset) * std::pow(linear, 1 / kSrgbGamma) - kSrgbOffset;
}

} // namespace tfi
