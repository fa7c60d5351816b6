// Stored levels of a declared colour space to 8-bit sRGB, by lookup tables: a table per
// channel to linear light, a 3x3 matrix, clipping to sRGB's gamut, and a fine table back to
// sRGB levels. Integer arithmetic throughout and no power function per pixel, so that a tagged
// source costs at most a tenth more than an untagged one. Alpha is not its business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ColorSpace.h"

namespace tfi {

// The matrix is held in fixed point: coefficients beyond this (no real pair of spaces comes
// near; sRGB from ProPhoto needs about 2) would overflow it, and such a space is not applied.
constexpr double kMaxMatrixCoefficient = 8.0;
bool matrixFitsTransform(const Matrix3& matrix);

class SrgbTransform {
public:
    // For samples of `bitDepth` bits: 1, 2, 4, 8 or 16. The matrix must fit (above).
    SrgbTransform(const ColorSpace& space, uint8_t bitDepth);

    void rgb(const uint16_t samples[3], uint8_t* out) const {
        const int32_t r = linear(0, samples[0]), g = linear(1, samples[1]), b = linear(2, samples[2]);
        const uint8_t red = encode(matrix_[0][0] * r + matrix_[0][1] * g + matrix_[0][2] * b);
        const uint8_t green = encode(matrix_[1][0] * r + matrix_[1][1] * g + matrix_[1][2] * b);
        const uint8_t blue = encode(matrix_[2][0] * r + matrix_[2][1] * g + matrix_[2][2] * b);
        // stored last: a store through `out` could alias the tables and force them to be reloaded
        out[0] = red;
        out[1] = green;
        out[2] = blue;
    }

    uint8_t grey(uint16_t sample) const { return toSrgb_[linear(0, sample)]; }

    // `count` pixels of 8-bit samples `inStep` bytes apart, red first, to RGB `outStep` bytes
    // apart: rgb() pixel by pixel, up to a step of linear light in rounding, with each
    // sample's shares of the output channels looked up rather than multiplied. For a transform
    // made for 8 bits.
    void rgbRow8(const uint8_t* samples, size_t inStep, uint32_t count, uint8_t* out, size_t outStep) const;
    // rgbRow8 for packed 8-bit RGBA in and out, alpha carried along: a pixel read and written
    // as one word.
    void rgbaRow8(const uint8_t* samples, uint32_t count, uint8_t* out) const;
    // The same for big-endian 16-bit samples, `inStep` bytes apart.
    void rgbRow16(const uint8_t* samples, size_t inStep, uint32_t count, uint8_t* out, size_t outStep) const;

private:
    // Linear light in units of 1/2^14: a step of a fifth of a level where sRGB levels are
    // densest (near black, 12.92 x 255 levels over the whole unit).
    static constexpr int kLinearBits = 14;
    static constexpr int32_t kLinearUnit = 1 << kLinearBits;
    // Matrix coefficients in units of 1/2^12: three products of a linear value and a
    // coefficient within kMaxMatrixCoefficient stay inside 31 bits.
    static constexpr int kMatrixBits = 12;
    // 16-bit samples: a table at every 16th level, straight lines between.
    static constexpr unsigned kCoarseShift = 4;
    static constexpr unsigned kCoarseStep = 1u << kCoarseShift;

    void buildClippedTable();

    int32_t linear(int channel, uint16_t sample) const {
        const uint16_t* table = linearOf_[channel];
        if (!coarse_)
            return table[sample];
        const unsigned below = sample >> kCoarseShift;
        const int32_t step = int32_t(table[below + 1]) - int32_t(table[below]);
        return table[below] + ((step * int32_t(sample & (kCoarseStep - 1))) >> kCoarseShift);
    }

    static constexpr int32_t kMatrixHalf = 1 << (kMatrixBits - 1);
    // Clipped to sRGB's gamut by the table itself (clippedToSrgb_), without a test.
    uint8_t encode(int32_t mixed) const { return clippedToSrgb_[(mixed + kMatrixHalf) >> kMatrixBits]; }

    static constexpr size_t kEightBitLevels = 256;

    // For 8 bits, each sample's shares of the three output channels, looked up in one word
    // rather than multiplied: matrix_[out][in] x toLinear_[in][level] in units of 2^-15, each
    // raised by kShareBias so that it is never negative, in a field of kShareFieldBits per
    // output channel. Three biased shares stay below 6 x kShareBias < 2^21: no field carries
    // into the next.
    static constexpr int kShareBits = kLinearBits + 1;
    static constexpr int kShareFieldBits = 21;
    static constexpr uint64_t kShareFieldMask = (uint64_t(1) << kShareFieldBits) - 1;
    static constexpr int32_t kShareBias = static_cast<int32_t>(kMaxMatrixCoefficient) << kShareBits;
    // A field, halved to units of 2^-14, less the three biases: the light it holds.
    static constexpr int32_t kShareFieldZero = 3 * kShareBias / 2;

    // The three 8-bit sRGB levels of one 8-bit colour (red in the low byte), through the shares.
    static uint32_t mixedLevels(const uint8_t* encode, const uint64_t* shares, uint32_t red, uint32_t green,
                                uint32_t blue) {
        const uint64_t mixed = shares[red] + shares[kEightBitLevels + green] + shares[2 * kEightBitLevels + blue];
        return encode[int32_t((mixed & kShareFieldMask) >> 1) - kShareFieldZero] |
               (uint32_t(encode[int32_t(((mixed >> kShareFieldBits) & kShareFieldMask) >> 1) - kShareFieldZero]) << 8) |
               (uint32_t(encode[int32_t((mixed >> (2 * kShareFieldBits)) >> 1) - kShareFieldZero]) << 16);
    }

    void buildShares();

    bool coarse_ = false;
    // At [in x 256 + level]; red's carry the half that rounds the halving.
    std::vector<uint64_t> shares_;
    int32_t matrix_[3][3] = {};
    std::vector<uint16_t> toLinear_[3];
    // Channels with one curve (most spaces) share one table, which keeps the tables of a
    // 16-bit source in the first cache.
    const uint16_t* linearOf_[3] = {};
    const uint8_t* toSrgb_; // kLinearUnit + 1 entries, shared by every transform
    // toSrgb_ with room on both sides for every light the matrix can mix from light within
    // [0, 1], holding 0 below and 255 above: relative colorimetric, clipped per channel as
    // browsers clip. Indexed from the light 0 of clippedTable_.
    std::vector<uint8_t> clippedTable_;
    const uint8_t* clippedToSrgb_ = nullptr;
};

} // namespace tfi
