#include "SrgbTransform.h"

#include <algorithm>
#include <cmath>

#include "Bytes.h"

namespace tfi {
namespace {

constexpr unsigned kSixteenBits = 16;
constexpr double kMaxLevel = 255.0;

} // namespace

bool matrixFitsTransform(const Matrix3& matrix) {
    for (const auto& row : matrix.m)
        for (double v : row)
            if (!(std::fabs(v) <= kMaxMatrixCoefficient))
                return false;
    return true;
}

SrgbTransform::SrgbTransform(const ColorSpace& space, uint8_t bitDepth) {
    static const std::vector<uint8_t> encodeTable = [] {
        std::vector<uint8_t> table(kLinearUnit + 1);
        for (int32_t i = 0; i <= kLinearUnit; ++i)
            table[i] = static_cast<uint8_t>(std::lround(srgbEncode(double(i) / kLinearUnit) * kMaxLevel));
        return table;
    }();
    toSrgb_ = encodeTable.data();

    coarse_ = bitDepth == kSixteenBits;
    const uint32_t maxSample = (1u << bitDepth) - 1;
    const uint32_t entries = coarse_ ? (1u << (kSixteenBits - kCoarseShift)) + 1 : maxSample + 1;
    const uint32_t step = coarse_ ? kCoarseStep : 1;
    for (int c = 0; c < (space.grey ? 1 : 3); ++c) {
        toLinear_[c].resize(entries);
        for (uint32_t i = 0; i < entries; ++i)
            toLinear_[c][i] =
                static_cast<uint16_t>(std::lround(space.curves[c].linear(double(i * step) / maxSample) * kLinearUnit));
        linearOf_[c] = toLinear_[c].data();
        for (int earlier = 0; earlier < c; ++earlier)
            if (toLinear_[earlier] == toLinear_[c])
                linearOf_[c] = linearOf_[earlier];
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            matrix_[r][c] = static_cast<int32_t>(std::lround(space.toLinearSrgb.m[r][c] * (1 << kMatrixBits)));
    buildClippedTable();
    if (bitDepth != 8 || space.grey)
        return;
    buildShares();
}

void SrgbTransform::buildShares() {
    constexpr int kProductToShare = kMatrixBits + kLinearBits - kShareBits;
    shares_.assign(3 * kEightBitLevels, 0);
    for (int in = 0; in < 3; ++in)
        for (size_t level = 0; level < kEightBitLevels; ++level) {
            uint64_t word = 0;
            for (int out = 0; out < 3; ++out) {
                const int32_t product = matrix_[out][in] * linearOf_[in][level];
                const int32_t share = (product + (1 << (kProductToShare - 1))) >> kProductToShare;
                word |= uint64_t(share + kShareBias + (in == 0 ? 1 : 0)) << (kShareFieldBits * out);
            }
            shares_[in * kEightBitLevels + level] = word;
        }
}

void SrgbTransform::buildClippedTable() {
    int32_t lowest = 0, highest = kLinearUnit;
    for (const auto& row : matrix_) {
        int64_t negative = 0, positive = 0;
        for (int32_t coefficient : row)
            (coefficient < 0 ? negative : positive) += int64_t(coefficient) * kLinearUnit;
        lowest = std::min<int32_t>(lowest, static_cast<int32_t>((negative + kMatrixHalf) >> kMatrixBits));
        highest = std::max<int32_t>(highest, static_cast<int32_t>((positive + kMatrixHalf) >> kMatrixBits));
    }
    // The shares of 8-bit samples are rounded one by one: their sum may lie a step beyond.
    constexpr int32_t kRoundingRoom = 2;
    lowest -= kRoundingRoom;
    highest += kRoundingRoom;
    clippedTable_.assign(size_t(highest - lowest) + 1, toSrgb_[kLinearUnit]);
    std::fill(clippedTable_.begin(), clippedTable_.begin() - lowest, toSrgb_[0]);
    std::copy(toSrgb_, toSrgb_ + kLinearUnit + 1, clippedTable_.begin() - lowest);
    clippedToSrgb_ = clippedTable_.data() - lowest;
}

// Runs of one colour (flat fills, transparent margins: most of a drawing) are converted once.
void SrgbTransform::rgbRow8(const uint8_t* samples, size_t inStep, uint32_t count, uint8_t* out,
                            size_t outStep) const {
    // Held in locals: the stores through `out` could otherwise alias them and force reloads.
    const uint8_t* const encode = clippedToSrgb_;
    const uint64_t* const shares = shares_.data();
    uint32_t lastColour = ~0u; // no 24-bit colour
    uint32_t levels = 0;
    for (uint32_t i = 0; i < count; ++i, samples += inStep, out += outStep) {
        const uint32_t colour = samples[0] | (samples[1] << 8) | (samples[2] << 16);
        if (colour != lastColour) {
            levels = mixedLevels(encode, shares, samples[0], samples[1], samples[2]);
            lastColour = colour;
        }
        out[0] = uint8_t(levels);
        out[1] = uint8_t(levels >> 8);
        out[2] = uint8_t(levels >> 16);
    }
}

void SrgbTransform::rgbaRow8(const uint8_t* samples, uint32_t count, uint8_t* out) const {
    const uint8_t* const encode = clippedToSrgb_;
    const uint64_t* const shares = shares_.data();
    constexpr uint32_t kColourMask = 0xFFFFFF, kAlphaMask = 0xFF000000;
    uint32_t lastColour = ~0u; // no 24-bit colour
    uint32_t levels = 0;
    for (uint32_t i = 0; i < count; ++i, samples += 4, out += 4) {
        const uint32_t pixel = readLe32(samples);
        const uint32_t colour = pixel & kColourMask;
        if (colour != lastColour) {
            levels = mixedLevels(encode, shares, colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16);
            lastColour = colour;
        }
        writeLe32(out, levels | (pixel & kAlphaMask));
    }
}

// Runs of one colour as in rgbRow8.
void SrgbTransform::rgbRow16(const uint8_t* samples, size_t inStep, uint32_t count, uint8_t* out,
                             size_t outStep) const {
    uint64_t lastColour = ~0ull; // no 48-bit colour
    uint8_t levels[3] = {0, 0, 0};
    for (uint32_t i = 0; i < count; ++i, samples += inStep, out += outStep) {
        const uint16_t stored[3] = {readBe16(samples), readBe16(samples + 2), readBe16(samples + 4)};
        const uint64_t colour = stored[0] | (uint64_t(stored[1]) << 16) | (uint64_t(stored[2]) << 32);
        if (colour != lastColour) {
            rgb(stored, levels);
            lastColour = colour;
        }
        out[0] = levels[0];
        out[1] = levels[1];
        out[2] = levels[2];
    }
}

} // namespace tfi
