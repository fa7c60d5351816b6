// Stored levels of a declared colour space to 8-bit sRGB, by lookup tables: a table per
// channel to linear light, a 3x3 matrix, clipping to sRGB's gamut, and a fine table back to
// sRGB levels. No power function per pixel. Alpha is not its business.
#pragma once

#include <cstdint>
#include <vector>

#include "ColorSpace.h"

namespace tfi {

class SrgbTransform {
public:
    // For samples of `bitDepth` bits: 1, 2, 4, 8 or 16.
    SrgbTransform(const ColorSpace& space, uint8_t bitDepth);

    bool grey() const { return grey_; }

    void rgb(const uint16_t samples[3], uint8_t* out) const {
        const float r = linear(0, samples[0]), g = linear(1, samples[1]), b = linear(2, samples[2]);
        for (int c = 0; c < 3; ++c)
            out[c] = encode(matrix_[c][0] * r + matrix_[c][1] * g + matrix_[c][2] * b);
    }

    uint8_t grey(uint16_t sample) const { return encode(linear(0, sample)); }

private:
    // 16-bit samples: a table at every 16th level, straight lines between.
    static constexpr unsigned kCoarseShift = 4;
    static constexpr unsigned kCoarseStep = 1u << kCoarseShift;
    // Linear light has a fine step where sRGB levels are dense (near black: 12.92 x 255 levels
    // over the whole unit); 2^14 steps keep the table within a tenth of a level there.
    static constexpr unsigned kEncodeSteps = 1u << 14;

    float linear(int channel, uint16_t sample) const {
        const float* table = toLinear_[channel].data();
        if (!coarse_)
            return table[sample];
        const unsigned below = sample >> kCoarseShift;
        const float t = float(sample & (kCoarseStep - 1)) * (1.0f / kCoarseStep);
        return table[below] + (table[below + 1] - table[below]) * t;
    }

    uint8_t encode(float v) const {
        v = v > 0 ? (v < 1 ? v : 1) : 0;
        return toSrgb_[static_cast<unsigned>(v * kEncodeSteps + 0.5f)];
    }

    bool grey_ = false;
    bool coarse_ = false;
    float matrix_[3][3] = {};
    std::vector<float> toLinear_[3];
    std::vector<uint8_t> toSrgb_;
};

} // namespace tfi
