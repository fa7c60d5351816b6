#include "SrgbTransform.h"

#include <cmath>

namespace tfi {
namespace {

constexpr unsigned kSixteenBits = 16;
constexpr double kMaxLevel = 255.0;

} // namespace

SrgbTransform::SrgbTransform(const ColorSpace& space, uint8_t bitDepth) : grey_(space.grey) {
    coarse_ = bitDepth == kSixteenBits;
    const uint32_t maxSample = (1u << bitDepth) - 1;
    const uint32_t entries = coarse_ ? (1u << (kSixteenBits - kCoarseShift)) + 1 : maxSample + 1;
    const uint32_t step = coarse_ ? kCoarseStep : 1;
    for (int c = 0; c < (grey_ ? 1 : 3); ++c) {
        toLinear_[c].resize(entries);
        for (uint32_t i = 0; i < entries; ++i)
            toLinear_[c][i] = static_cast<float>(space.curves[c].linear(double(i * step) / maxSample));
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            matrix_[r][c] = static_cast<float>(space.toLinearSrgb.m[r][c]);
    toSrgb_.resize(kEncodeSteps + 1);
    for (unsigned i = 0; i <= kEncodeSteps; ++i)
        toSrgb_[i] = static_cast<uint8_t>(std::lround(srgbEncode(double(i) / kEncodeSteps) * kMaxLevel));
}

} // namespace tfi
