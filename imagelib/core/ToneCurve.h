// Transfer functions from stored levels to linear light, both over [0, 1]: the curves an ICC
// profile carries (a gamma, a table, a parametric curve) and those cICP and gAMA name.
#pragma once

#include <cstdint>
#include <vector>

namespace tfi {

class ToneCurve {
public:
    // Y = (aX + b)^g + e for X >= d, else cX + f: the richest ICC parametric form, which holds
    // every other parametric type, a plain gamma and the sRGB and BT.709 curves.
    struct Parameters {
        double g = 1, a = 1, b = 0, c = 0, d = 0, e = 0, f = 0;
    };

    ToneCurve() = default; // the identity
    explicit ToneCurve(const Parameters& p) : p_(p) {}
    // Evenly spaced samples over [0, 1], 65535 standing for 1, joined by straight lines.
    explicit ToneCurve(std::vector<uint16_t> table) : table_(std::move(table)) {}

    static ToneCurve gamma(double exponent);
    static ToneCurve srgb();
    // The inverse of the BT.709 camera curve (BT.601 and BT.2020 share it).
    static ToneCurve bt709();

    // Clamped to [0, 1], as a colour-managed viewer clamps it.
    double linear(double x) const;

private:
    double fromTable(double x) const;

    Parameters p_;
    std::vector<uint16_t> table_;
};

// Linear sRGB light to the stored sRGB level, both over [0, 1].
double srgbEncode(double linear);

} // namespace tfi
